#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/clock.h"
#include "platform/desktop_services.h"
#include "show/file_names.h"
#include "show/ilda.h"
#include "show/mamba_black.h"
#include "show/save_progress.h"
#include "show/show_store.h"

namespace lumarex {

// How far a running load has read its file, for a progress display.
struct ReadProgress {
  uint64_t position = 0;
  uint64_t size = 0;  // 0: no file is being read
};

// The readers whose state lives from one read to the next, owned with the store.
struct ShowReaders {
  IldaReader ilda;
  // Where a Mamba Black show is converted to ILDA before it is read.
  std::string mambaBlackTempFile = kMambaBlackTempFile;
  // Of the last load, as its last break saw it, and at its end once the reader is done.
  ReadProgress progress;
};

// How far apart the breaks of a load begin (ReadBreaks): half of the 100 ms within which the
// window should repaint, the other half left for the block being read and the paint itself.
constexpr uint32_t kLoadBreakIntervalMs = 50;

using ShowReadFunction = void (*)(ShowStore& store, ShowReaders& readers,
                                  const std::string& fileName, bool merge,
                                  DesktopServices& desktop);

// One line of the extension dispatch of the load and merge commands.
struct ShowFormat {
  const char* extension;  // upper case, with its dot
  ShowReadFunction read;
  uint8_t sourceFormatCode;  // set before the reader runs; the Cat reader refines it
};

// Every readable show format, in the order of the load command's table.
std::span<const ShowFormat> ShowFormats();
// The format that reads fileName (its extension compared in upper case), or nullptr.
const ShowFormat* FindShowFormat(const std::string& fileName);

// What a load or merge did, for its status lines.
struct LoadResult {
  std::string fileName;  // the chosen file; empty when the dialog was cancelled
  bool merge = false;
  bool readerRan = false;   // false for an extension without a reader
  uint32_t durationMs = 0;  // LoadDuration
};

// The load command ("Load File", merge off) and the merge command ("Merge File", merge on):
// runs the reader of the file's extension, sets SourceFormatCode and, after a load,
// ShowFileName; then sets the save range to the whole show. An extension without a reader
// leaves the show as it was. The reader's outcome is in store.IoStatus. The duration is what
// `clock` says between the start and the end, its only two readings. While the file is read,
// desktop processes pending messages and repaints in breaks (ReadBreaks, kLoadBreakIntervalMs)
// timed by `breakClock`, the system's clock when none is given.
LoadResult LoadShow(ShowStore& store, ShowReaders& readers, const std::string& fileName, bool merge,
                    DesktopServices& desktop, const Clock& clock,
                    const Clock* breakClock = nullptr);

// As LoadShow, timed by the system clock. False when no reader takes the extension.
bool LoadShowFile(ShowStore& store, ShowReaders& readers, const std::string& fileName, bool merge,
                  DesktopServices& desktop);

// Whether a reader's IoStatus tells of a show read whole (an ILDA file with a palette section
// reports "Ildafile IO" and is read all the same), and a writer's of a file written.
bool LoadSucceeded(const std::string& ioStatus);
bool WriteSucceeded(const std::string& ioStatus);

// The "Load Pal for Cat" command: reads the file as a palette when its upper-case extension
// contains "PAL". False (nothing read) otherwise; the outcome is in store.IoStatus.
bool LoadPaletteFile(ShowStore& store, const std::string& fileName);

// The writers of the "Save File @" menu.
enum class ShowWriter : uint8_t { kIlda, kCat2008, kPhoenixCat, kUlf };

// The writer for a file name's extension: ".ILD", ".CAT" (LDS 2008, or Phoenix RGB when
// phoenixLayout) and ".ULF". Nothing for another extension.
std::optional<ShowWriter> WriterForFileName(const std::string& fileName,
                                            bool phoenixLayout = false);

// The name the writer really writes (its extension appended unless already there).
std::string SavedFileName(ShowWriter writer, const std::string& fileName);

// A save command: writes frames first..last with the writer. The Cat and ULF commands
// refuse an empty show with the message box "Keine Frames vorhanden  :-(" and return
// false; otherwise the writer's outcome is in store.IoStatus.
bool SaveShow(ShowStore& store, ShowWriter writer, const std::string& fileName, int32_t firstFrame,
              int32_t lastFrame, DesktopServices& desktop, SaveProgress* progress = nullptr);

// Writes frames first..last with the writer that the extension of fileName selects (".CAT"
// as LDS 2008). False when no writer takes the extension or the show is refused as empty.
bool SaveShowFile(ShowStore& store, const std::string& fileName, int32_t firstFrame,
                  int32_t lastFrame, DesktopServices& desktop, SaveProgress* progress = nullptr);

}  // namespace lumarex
