#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "show/show_point.h"

namespace lumarex {

// Breaks in a long read, in which the window processes its events. While one is installed,
// every InputFile on the installing thread calls `take` between two blocks, with its position
// and size, once `intervalMs` have passed since the install or since the last break began,
// and half of that since it ended: a window slow to paint still leaves the read its share.
// The readers make their InputFiles themselves, deep inside; the load installs the breaks for
// its own length instead of handing them through every reader. Only the installing thread
// sees them, and a read that runs inside a break takes none of its own.
class ReadBreaks {
 public:
  using Take = std::function<void(uint64_t position, uint64_t size)>;

  ReadBreaks(const Clock& clock, uint32_t intervalMs, Take take);
  ~ReadBreaks();  // the breaks installed before it are the thread's again
  ReadBreaks(const ReadBreaks&) = delete;
  ReadBreaks& operator=(const ReadBreaks&) = delete;

  // The breaks of this thread, if any.
  static ReadBreaks* Current();
  // Takes a break if one is due. Costs one clock reading when none is.
  void Between(uint64_t position, uint64_t size);

 private:
  const Clock& clock_;
  uint32_t intervalMs_;
  Take take_;
  uint32_t lastStartMs_;
  uint32_t lastEndMs_;
  bool inBreak_ = false;
  ReadBreaks* previous_;
};

// A show file opened for reading, read sequentially. The file is read in blocks that header
// reads and record blocks are served from, so a reader makes one system call per block
// rather than per frame and allocates nothing per frame.
//
// Frames may be converted later: the reader hands a record block and the frame's new array
// to ConvertLater, and for a large file the conversion runs on a helper thread while the
// reader reads on (the helper writes only into the arrays it is given). Every conversion is
// done when FinishConversions, Close or the destructor returns. Everything else, the store
// included, stays on the reader's thread. Between blocks it takes the thread's ReadBreaks.
class InputFile {
 public:
  // Writes `count` points converted from `records` to out[0..count) and zero points to
  // out[count..outSize). Must not throw; `context` stays valid until the conversions finish.
  using ConvertFunction = void (*)(const uint8_t* records, uint32_t count, ShowPoint* out,
                                   size_t outSize, const void* context);

  InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // Opens read-only; false with errno set when that fails (also for a folder).
  bool Open(const std::string& path);
  // Finishes the conversions and closes.
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  uint64_t Size() const { return size_; }
  uint64_t Position() const { return position_; }
  bool AtEnd() const { return position_ >= size_; }

  // Reads up to n bytes into dst; returns how many arrived.
  size_t Read(void* dst, size_t n);
  // Up to n bytes in place (never more than Size() - Position()); the span holds what
  // arrived. Valid until the next Read, ReadBlock, Skip or Seek; when handed to ConvertLater,
  // its bytes stay until they are converted.
  std::span<const uint8_t> ReadBlock(size_t n);
  // Moves forward by up to n bytes (never past Size()); returns how far it moved.
  uint64_t Skip(uint64_t n);
  // Goes to an absolute offset (clamped to the size).
  bool Seek(uint64_t offset);

  // Converts `count` records of the block the last ReadBlock gave into `out`, at once or on
  // the helper thread. The reader touches `out` again only after FinishConversions.
  void ConvertLater(std::span<const uint8_t> records, uint32_t count, std::span<ShowPoint> out,
                    ConvertFunction convert, const void* context);
  // Returns when every conversion handed over is done.
  void FinishConversions();

 private:
  struct Job {
    ConvertFunction convert;
    const uint8_t* records;
    uint32_t count;
    ShowPoint* out;
    size_t outSize;
    const void* context;
  };
  class Buffers;
  class Helper;

  // Starts a new block whose first bytes are the `keep` unread bytes of the current one and
  // that holds `want` bytes if the file has them; false when the file gave no more bytes.
  bool Refill(size_t keep, size_t want);
  size_t Available() const { return static_cast<size_t>(end_ - cursor_); }
  size_t ReadAt(uint8_t* dst, size_t n);

  int fd_ = -1;
  uint64_t size_ = 0;
  uint64_t position_ = 0;      // bytes handed to the reader (or skipped)
  uint64_t filePosition_ = 0;  // where the next block starts in the file
  std::unique_ptr<Buffers> buffers_;
  int current_ = -1;  // the buffer that cursor_ and end_ point into
  const uint8_t* cursor_ = nullptr;
  const uint8_t* end_ = nullptr;
  std::vector<uint8_t> large_;  // a record block larger than a buffer's block
  std::vector<Job> batch_;      // conversions of frames in the current buffer, not yet queued
  std::unique_ptr<Helper> helper_;
};

}  // namespace lumarex
