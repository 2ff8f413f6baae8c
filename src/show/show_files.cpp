#include "show/show_files.h"

#include "show/file_names.h"

namespace lumarex {

bool LoadShowFile(ShowStore& store, ShowReaders& readers, const std::string& fileName, bool merge,
                  DesktopServices& desktop) {
  const std::string ext = UpperExtension(fileName);
  if (ext != ".ILD") return false;
  store.ShowFileName = fileName;
  store.SourceFormatCode = 1;
  readers.ilda.ReadIlda(store, fileName, merge, desktop);
  store.SaveRangeStart = 0;
  store.SaveRangeEnd = store.FrameCount > 0 ? store.FrameCount - 1 : 0;
  return true;
}

bool SaveShowFile(ShowStore& store, const std::string& fileName, int32_t firstFrame,
                  int32_t lastFrame, DesktopServices& desktop, SaveProgress* progress) {
  const std::string ext = UpperExtension(fileName);
  if (ext != ".ILD") return false;
  WriteIlda(store, fileName, firstFrame, lastFrame, desktop, progress);
  return true;
}

}  // namespace lumarex
