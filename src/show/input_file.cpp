#include "show/input_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

namespace lumarex {

namespace {

// The largest header or record block served in place: every frame of the formats that
// convert later (65535 Cat RGB records are 721 KB).
constexpr size_t kLargestInPlace = size_t{1} << 20;
// What one read fetches unless a request needs more: 800 reads for a 200 MB show, and the
// four buffers' blocks together stay within a core's 2 MiB second-level cache.
constexpr size_t kReadStep = size_t{256} << 10;
// From this size on a helper thread converts frames while the reader reads; below it the
// thread's start and hand-over would cost more than they save.
constexpr uint64_t kHelperFrom = uint64_t{16} << 20;
// Blocks in flight with a helper: the one being read and three waiting or being converted.
constexpr int kHelperBuffers = 4;

}  // namespace

// The block buffers. Each has room in front of its block for the unread end of the previous
// block, so that a header or record block that crosses from one block to the next is still
// contiguous; requests up to `capacity` bytes are served in place.
class InputFile::Buffers {
 public:
  Buffers(int count, size_t capacity, size_t step)
      : count_(count), capacity_(capacity), step_(step) {
    bytes_ = static_cast<size_t>(count) * 2 * capacity;
    if (count == 1) {
      owned_ = std::make_unique_for_overwrite<uint8_t[]>(bytes_);
      memory_ = owned_.get();
      return;
    }
    // Mapped for the read and unmapped after it, so that a large show's resident memory is
    // its points; in huge pages where offered (four faults instead of two thousand).
    void* mapping =
        mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) throw std::bad_alloc();
    madvise(mapping, bytes_, MADV_HUGEPAGE);
    memory_ = static_cast<uint8_t*>(mapping);
  }
  ~Buffers() {
    if (!owned_) munmap(memory_, bytes_);
  }
  Buffers(const Buffers&) = delete;
  Buffers& operator=(const Buffers&) = delete;

  int Count() const { return count_; }
  size_t Capacity() const { return capacity_; }
  size_t Step() const { return step_; }
  // Where buffer b's block starts; the room for carried bytes lies before it.
  uint8_t* BlockStart(int b) const {
    return memory_ + (2 * static_cast<size_t>(b) + 1) * capacity_;
  }
  bool Holds(int b, const uint8_t* p) const {
    return b >= 0 && p >= BlockStart(b) - capacity_ && p <= BlockStart(b) + capacity_;
  }

 private:
  int count_;
  size_t capacity_;
  size_t step_;
  size_t bytes_ = 0;
  uint8_t* memory_ = nullptr;
  std::unique_ptr<uint8_t[]> owned_;
};

// The helper thread and its queue: one batch per block, holding the conversions of the
// frames whose records lie in that block. A block's buffer is reused only when its batches
// are done. The reader's thread converts batches too whenever it would otherwise wait.
class InputFile::Helper {
 public:
  Helper() : thread_([this] { Serve(); }) {}
  ~Helper() {
    Finish();
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    work_.notify_one();
    thread_.join();
  }
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;

  void Submit(std::vector<Job>& jobs, int buffer) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(Batch{std::move(jobs), buffer});
      ++pending_[static_cast<size_t>(buffer)];
    }
    jobs.clear();
    work_.notify_one();
  }

  // A buffer other than `current` whose batches are all done.
  int FreeBuffer(int current, int count) {
    std::unique_lock lock(mutex_);
    for (;;) {
      for (int b = 0; b < count; ++b) {
        if (b != current && pending_[static_cast<size_t>(b)] == 0) return b;
      }
      if (!RunOne(lock)) done_.wait(lock);
    }
  }

  void Finish() {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (RunOne(lock)) continue;
      if (std::all_of(pending_.begin(), pending_.end(), [](int p) { return p == 0; })) return;
      done_.wait(lock);
    }
  }

 private:
  struct Batch {
    std::vector<Job> jobs;
    int buffer;
  };

  // Runs the oldest queued batch, if there is one, with the lock released meanwhile.
  bool RunOne(std::unique_lock<std::mutex>& lock) {
    if (queue_.empty()) return false;
    Batch batch = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    for (const Job& j : batch.jobs) j.convert(j.records, j.count, j.out, j.outSize, j.context);
    lock.lock();
    --pending_[static_cast<size_t>(batch.buffer)];
    done_.notify_all();
    return true;
  }

  void Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      work_.wait(lock, [this] { return quit_ || !queue_.empty(); });
      if (!RunOne(lock) && quit_) return;
    }
  }

  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable done_;
  std::deque<Batch> queue_;
  std::array<int, kHelperBuffers> pending_{};  // batches queued or running, per buffer
  bool quit_ = false;
  std::thread thread_;  // last: it starts serving as soon as it is made
};

namespace {

thread_local ReadBreaks* currentBreaks = nullptr;

}  // namespace

ReadBreaks::ReadBreaks(const Clock& clock, uint32_t intervalMs, Take take)
    : clock_(clock),
      intervalMs_(intervalMs),
      take_(std::move(take)),
      lastStartMs_(clock.NowMs()),
      lastEndMs_(lastStartMs_),
      previous_(currentBreaks) {
  currentBreaks = this;
}

ReadBreaks::~ReadBreaks() {
  currentBreaks = previous_;
}

ReadBreaks* ReadBreaks::Current() {
  return currentBreaks;
}

void ReadBreaks::Between(uint64_t position, uint64_t size) {
  if (inBreak_) return;
  const uint32_t now = clock_.NowMs();
  if (now - lastStartMs_ < intervalMs_ || now - lastEndMs_ < intervalMs_ / 2) return;
  inBreak_ = true;
  take_(position, size);
  lastStartMs_ = now;
  lastEndMs_ = clock_.NowMs();
  inBreak_ = false;
}

InputFile::InputFile() = default;

InputFile::~InputFile() {
  Close();
}

bool InputFile::Open(const std::string& path) {
  Close();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    errno = EISDIR;
    return false;
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  position_ = 0;
  filePosition_ = 0;
  // A small file fits one block, read at once; a page at least, for a file that grows.
  const size_t capacity = size_ >= kLargestInPlace
                              ? kLargestInPlace
                              : std::max<size_t>(static_cast<size_t>(size_), 4096);
  buffers_ = std::make_unique<Buffers>(size_ >= kHelperFrom ? kHelperBuffers : 1, capacity,
                                       std::min(capacity, kReadStep));
  return true;
}

void InputFile::Close() {
  FinishConversions();
  helper_.reset();
  buffers_.reset();
  current_ = -1;
  cursor_ = end_ = nullptr;
  std::vector<uint8_t>().swap(large_);
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  size_ = 0;
  position_ = 0;
  filePosition_ = 0;
}

size_t InputFile::ReadAt(uint8_t* dst, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = pread(fd_, dst + done, n - done, static_cast<off_t>(filePosition_));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // the end, or an error, which reads as the end as fread's did
    done += static_cast<size_t>(got);
    filePosition_ += static_cast<uint64_t>(got);
  }
  return done;
}

bool InputFile::Refill(size_t keep, size_t want) {
  if (fd_ < 0) return false;
  if (buffers_->Count() > 1) {
    if (!batch_.empty() && !helper_) helper_ = std::make_unique<Helper>();
    if (helper_ && !batch_.empty()) helper_->Submit(batch_, current_);
  }
  // After the hand-over, so that the helper converts while the window has its break.
  if (ReadBreaks* breaks = ReadBreaks::Current()) breaks->Between(position_, size_);
  int next = 0;
  if (helper_) {
    next = helper_->FreeBuffer(current_, buffers_->Count());
  } else if (buffers_->Count() > 1) {
    next = (current_ + 1) % buffers_->Count();
  }
  uint8_t* block = buffers_->BlockStart(next);
  // The carried bytes fit the room in front: a request larger than the capacity takes
  // another way.
  if (keep != 0) std::memmove(block - keep, cursor_, keep);
  const size_t fetch = std::max(buffers_->Step(), want > keep ? want - keep : size_t{0});
  const size_t got = ReadAt(block, std::min(fetch, buffers_->Capacity()));
  current_ = next;
  cursor_ = block - keep;
  end_ = block + got;
  return got != 0;
}

size_t InputFile::Read(void* dst, size_t n) {
  auto* out = static_cast<uint8_t*>(dst);
  size_t got = 0;
  while (got < n) {
    if (Available() == 0 && !Refill(0, n - got)) break;
    const size_t take = std::min(n - got, Available());
    std::memcpy(out + got, cursor_, take);
    cursor_ += take;
    got += take;
  }
  position_ += got;
  return got;
}

std::span<const uint8_t> InputFile::ReadBlock(size_t n) {
  // Never more than the file can still give, whatever count the file claims.
  const uint64_t left = size_ > position_ ? size_ - position_ : 0;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(n, left));
  if (want == 0 || fd_ < 0) return {};
  if (Available() < want) {
    if (want > buffers_->Capacity()) {
      // Larger than a block (a whole Bilda file): a buffer of its own, as before.
      const size_t have = Available();
      if (large_.size() < want) large_.resize(want);
      std::memcpy(large_.data(), cursor_, have);
      cursor_ = end_;
      const size_t got = have + ReadAt(large_.data() + have, want - have);
      position_ += got;
      return {large_.data(), got};
    }
    Refill(Available(), want);
  }
  const size_t got = std::min(want, Available());
  const std::span<const uint8_t> out{cursor_, got};
  cursor_ += got;
  position_ += got;
  return out;
}

uint64_t InputFile::Skip(uint64_t n) {
  const uint64_t left = size_ > position_ ? size_ - position_ : 0;
  const uint64_t step = std::min(n, left);
  if (fd_ < 0 || step == 0) return 0;
  const size_t buffered = static_cast<size_t>(std::min<uint64_t>(step, Available()));
  cursor_ += buffered;
  filePosition_ += step - buffered;
  position_ += step;
  return step;
}

bool InputFile::Seek(uint64_t offset) {
  if (fd_ < 0) return false;
  offset = std::min(offset, size_);
  cursor_ = end_;  // the buffered bytes are dropped
  filePosition_ = offset;
  position_ = offset;
  return true;
}

void InputFile::ConvertLater(std::span<const uint8_t> records, uint32_t count,
                             std::span<ShowPoint> out, ConvertFunction convert,
                             const void* context) {
  // Only records lying in the current block can wait: the block stays until its batch is
  // done. Without a helper, or for records elsewhere, the conversion runs now.
  if (buffers_ == nullptr || buffers_->Count() == 1 || records.empty() ||
      !buffers_->Holds(current_, records.data())) {
    convert(records.data(), count, out.data(), out.size(), context);
    return;
  }
  batch_.push_back(Job{convert, records.data(), count, out.data(), out.size(), context});
}

void InputFile::FinishConversions() {
  if (!helper_) {
    // The whole show fitted the first block: no thread is worth starting for it.
    for (const Job& j : batch_) j.convert(j.records, j.count, j.out, j.outSize, j.context);
    batch_.clear();
    return;
  }
  if (!batch_.empty()) helper_->Submit(batch_, current_);
  helper_->Finish();
}

}  // namespace lumarex
