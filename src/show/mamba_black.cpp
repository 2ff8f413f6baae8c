#include "show/mamba_black.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "show/input_file.h"
#include "show/reader_support.h"

namespace lumarex {

bool ConvertMambaBlack(ShowStore& store, const std::string& fileName,
                       const std::string& tempFileName) {
  InputFile show;
  if (!show.Open(fileName)) {
    store.IoStatus = WithErrorNumber("Mamba Black Lesefehler", errno);
    return false;
  }
  // The name is fixed and lies in a shared folder: create it exclusively, so that a link
  // planted under that name is never followed and an existing file never overwritten.
  const int fd =
      open(tempFileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    store.IoStatus = WithErrorNumber("EIL Datei Allgemeiner Fehler", errno);
    return false;
  }
  close(fd);
  unlink(tempFileName.c_str());
  store.IoStatus = "EIL Datei Allgemeiner Fehler";
  return false;
}

}  // namespace lumarex
