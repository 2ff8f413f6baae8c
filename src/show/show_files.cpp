#include "show/show_files.h"

#include <unistd.h>

#include "show/bilda.h"
#include "show/cat.h"
#include "show/file_names.h"
#include "show/grabben.h"
#include "show/input_file.h"
#include "show/laserpainter.h"
#include "show/mamba_black.h"
#include "show/pangolin.h"
#include "show/pic.h"
#include "show/ulf.h"
#include "show/writer_support.h"

namespace lumarex {

namespace {

template <void (*kRead)(ShowStore&, const std::string&, bool, DesktopServices&)>
void Plain(ShowStore& store, ShowReaders&, const std::string& fileName, bool merge,
           DesktopServices& desktop) {
  kRead(store, fileName, merge, desktop);
}

void Ilda(ShowStore& store, ShowReaders& readers, const std::string& fileName, bool merge,
          DesktopServices& desktop) {
  readers.ilda.ReadIlda(store, fileName, merge, desktop);
}

// Only a converted show goes to the ILDA reader: run on the empty file of a failed
// conversion it would clear the show and report success.
void MambaBlack(ShowStore& store, ShowReaders& readers, const std::string& fileName, bool merge,
                DesktopServices& desktop) {
  if (!ConvertMambaBlack(store, fileName, readers.mambaBlackTempFile)) return;
  readers.ilda.ReadIlda(store, readers.mambaBlackTempFile, merge, desktop);
  unlink(readers.mambaBlackTempFile.c_str());
}

constexpr ShowFormat kShowFormats[] = {
    {".FLA", Plain<ReadFla>, 14},       // LaserPainter (Avantar)
    {".FLX", Plain<ReadFlx>, 14},       // Laserpainter
    {".ILD", Ilda, 1},                  // ILDA formats 0 to 5
    {".SLF", Plain<ReadBilda>, 4},      // Bilda
    {".LF", Plain<ReadBilda>, 4},       // Bilda
    {".LDB", Plain<ReadPangolin>, 20},  // Pangolin QM32
    {".CAT", Plain<ReadCat>, 2},        // LDS and Phoenix; the reader refines the code
    {".PIC", Plain<ReadPic>, 5},        // LDS and Phoenix frames
    {".ULF", Plain<ReadUlf>, 19},       // JoJo
    {".PHO", Plain<ReadPho>, 18},       // Phoenix
    {".EIL", MambaBlack, 15},           // Mamba Black, through a temporary ILDA file
    {".GR1", Plain<ReadGrabben>, 22},   // Grabben
};

}  // namespace

std::span<const ShowFormat> ShowFormats() {
  return kShowFormats;
}

const ShowFormat* FindShowFormat(const std::string& fileName) {
  const std::string ext = UpperExtension(fileName);
  for (const ShowFormat& format : kShowFormats) {
    if (ext == format.extension) return &format;
  }
  return nullptr;
}

LoadResult LoadShow(ShowStore& store, ShowReaders& readers, const std::string& fileName, bool merge,
                    DesktopServices& desktop, const Clock& clock, const Clock* breakClock) {
  LoadResult result;
  result.fileName = fileName;
  result.merge = merge;
  const uint32_t start = clock.NowMs();
  if (!merge) store.ShowFileName = fileName;
  if (const ShowFormat* format = FindShowFormat(fileName)) {
    store.SourceFormatCode = format->sourceFormatCode;
    const SteadyClock systemClock;
    const ReadBreaks breaks(breakClock != nullptr ? *breakClock : systemClock, kLoadBreakIntervalMs,
                            [&](uint64_t position, uint64_t size) {
                              readers.progress = {position, size};
                              desktop.ProcessPendingMessagesAndRepaint();
                            });
    format->read(store, readers, fileName, merge, desktop);
    // Read to its end: a display shows that while the load's last steps run.
    readers.progress.position = readers.progress.size;
    result.readerRan = true;
  }
  result.durationMs = clock.NowMs() - start;
  store.SaveRangeStart = 0;
  store.SaveRangeEnd = store.FrameCount > 0 ? store.FrameCount - 1 : 0;
  return result;
}

bool LoadShowFile(ShowStore& store, ShowReaders& readers, const std::string& fileName, bool merge,
                  DesktopServices& desktop) {
  const SteadyClock clock;
  return LoadShow(store, readers, fileName, merge, desktop, clock).readerRan;
}

bool LoadPaletteFile(ShowStore& store, const std::string& fileName) {
  if (UpperExtension(fileName).find("PAL") == std::string::npos) return false;
  ReadPal(store, fileName);
  return true;
}

std::optional<ShowWriter> WriterForFileName(const std::string& fileName, bool phoenixLayout) {
  const std::string ext = UpperExtension(fileName);
  if (ext == ".ILD") return ShowWriter::kIlda;
  if (ext == ".CAT") return phoenixLayout ? ShowWriter::kPhoenixCat : ShowWriter::kCat2008;
  if (ext == ".ULF") return ShowWriter::kUlf;
  return std::nullopt;
}

std::string SavedFileName(ShowWriter writer, const std::string& fileName) {
  switch (writer) {
    case ShowWriter::kIlda:
      return WithWriterExtension(fileName, ".ILD");
    case ShowWriter::kCat2008:
    case ShowWriter::kPhoenixCat:
      return WithWriterExtension(fileName, ".CAT");
    case ShowWriter::kUlf:
      return WithWriterExtension(fileName, ".ULF");
  }
  return fileName;
}

bool SaveShow(ShowStore& store, ShowWriter writer, const std::string& fileName, int32_t firstFrame,
              int32_t lastFrame, DesktopServices& desktop, SaveProgress* progress) {
  if (writer != ShowWriter::kIlda && store.FrameCount == 0) {
    desktop.ShowMessage("Keine Frames vorhanden  :-(");
    return false;
  }
  switch (writer) {
    case ShowWriter::kIlda:
      WriteIlda(store, fileName, firstFrame, lastFrame, desktop, progress);
      break;
    case ShowWriter::kCat2008:
      WriteCat2008(store, fileName, firstFrame, lastFrame, desktop, progress);
      break;
    case ShowWriter::kPhoenixCat:
      WritePhoenixCat(store, fileName, firstFrame, lastFrame, desktop, progress);
      break;
    case ShowWriter::kUlf:
      WriteUlf(store, fileName, firstFrame, lastFrame, desktop, progress);
      break;
  }
  return true;
}

bool SaveShowFile(ShowStore& store, const std::string& fileName, int32_t firstFrame,
                  int32_t lastFrame, DesktopServices& desktop, SaveProgress* progress) {
  const std::optional<ShowWriter> writer = WriterForFileName(fileName);
  if (!writer) return false;
  return SaveShow(store, *writer, fileName, firstFrame, lastFrame, desktop, progress);
}

bool LoadSucceeded(const std::string& ioStatus) {
  return ioStatus == "I.O." || ioStatus.starts_with("Ildafile IO");
}

bool WriteSucceeded(const std::string& ioStatus) { return ioStatus == "I.O."; }

}  // namespace lumarex
