#include "music/null_output.h"

namespace lumarex {

NullOutput::NullOutput(uint32_t rate, uint32_t frames, Mixer mixer)
    : period_(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(static_cast<double>(frames) / rate))),
      frames_(frames),
      mixer_(std::move(mixer)),
      buffer_(static_cast<size_t>(frames) * 2),
      thread_([this] { Run(); }) {}

NullOutput::~NullOutput() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void NullOutput::Run() {
  auto due = std::chrono::steady_clock::now();
  std::unique_lock lock(mutex_);
  while (!quit_) {
    lock.unlock();
    mixer_(buffer_.data(), frames_);
    lock.lock();
    due += period_;
    // A late buffer is not made up for by a burst: the pace starts again from now.
    const auto now = std::chrono::steady_clock::now();
    if (due < now) due = now;
    wake_.wait_until(lock, due, [this] { return quit_; });
  }
}

}  // namespace lumarex
