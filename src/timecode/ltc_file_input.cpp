#include "timecode/ltc_file_input.h"

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <span>

namespace lumarex {

namespace {

// Sample frames read from the file at a time.
constexpr size_t kBlockFrames = 2048;
// How often the thread hands due samples over: a sound card's usual period.
constexpr auto kPumpPeriod = std::chrono::milliseconds(10);

}  // namespace

struct LtcFileInput::Stream {
  ~Stream() { sf_close(file); }
  SNDFILE* file = nullptr;
  size_t channels = 1;
};

std::unique_ptr<LtcFileInput> LtcFileInput::Open(const std::string& path, const Clock& clock,
                                                 LtcFilePacing pacing, std::string& error) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    error = path + ": " + sf_strerror(nullptr);
    return nullptr;
  }
  auto stream = std::make_unique<Stream>();
  stream->file = file;
  if (info.channels <= 0 || info.samplerate <= 0 || info.frames <= 0) {
    error = path + ": no audio in the file";
    return nullptr;
  }
  stream->channels = static_cast<size_t>(info.channels);
  return std::unique_ptr<LtcFileInput>(
      new LtcFileInput(std::move(stream), static_cast<uint32_t>(info.samplerate), clock, pacing));
}

LtcFileInput::LtcFileInput(std::unique_ptr<Stream> stream, uint32_t sampleRate, const Clock& clock,
                           LtcFilePacing pacing)
    : stream_(std::move(stream)),
      sampleRate_(sampleRate),
      clock_(clock),
      pacing_(pacing),
      decoder_(sampleRate),
      interleaved_(kBlockFrames * stream_->channels),
      mono_(kBlockFrames) {}

LtcFileInput::~LtcFileInput() {
  JoinThread();
}

void LtcFileInput::PlayPressed() {
  JoinThread();
  Rewind();
  startMs_ = clock_.NowMs();
  playing_ = true;
  if (pacing_ == LtcFilePacing::kOwnThread) {
    stopRequested_ = false;
    thread_ = std::thread(&LtcFileInput::RunThread, this);
  }
}

void LtcFileInput::Stopped() {
  JoinThread();
  playing_ = false;
  Rewind();
}

void LtcFileInput::Pump(uint32_t nowMs) {
  if (!playing_) return;
  // Signed, so that a clock read just before Play counts as no time at all.
  const auto elapsedMs = static_cast<int32_t>(nowMs - startMs_);
  if (elapsedMs <= 0) return;
  const uint64_t due = static_cast<uint64_t>(elapsedMs) * sampleRate_ / 1000u;
  frames_.clear();
  while (playing_ && position_ < due) {
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(due - position_, kBlockFrames));
    const sf_count_t got =
        sf_readf_float(stream_->file, interleaved_.data(), static_cast<sf_count_t>(wanted));
    const size_t read = got > 0 ? static_cast<size_t>(got) : 0;
    for (size_t k = 0; k < read; ++k) mono_[k] = interleaved_[k * stream_->channels];
    const double firstSampleMs =
        startMs_ + static_cast<double>(position_) * 1000.0 / static_cast<double>(sampleRate_);
    decoder_.Write(std::span<const float>(mono_.data(), read), firstSampleMs, frames_);
    position_ += read;
    if (read < wanted) playing_ = false;  // the end of the file
  }
  for (const LtcFrameTime& frame : frames_) readings_.Publish(frame, nowMs);
  readings_.SetIgnored(decoder_.Ignored());
}

void LtcFileInput::JoinThread() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(stopMutex_);
    stopRequested_ = true;
  }
  stopSignal_.notify_all();
  thread_.join();
}

void LtcFileInput::Rewind() {
  sf_seek(stream_->file, 0, SEEK_SET);
  position_ = 0;
  decoder_.Reset();
}

// The thread belongs to the input: PlayPressed starts it, it ends at the end of the file or
// when asked to stop, and Stopped, PlayPressed and the destructor join it.
void LtcFileInput::RunThread() {
  std::unique_lock lock(stopMutex_);
  while (!stopRequested_) {
    lock.unlock();
    Pump(clock_.NowMs());
    const bool more = playing_;
    lock.lock();
    if (!more) break;
    stopSignal_.wait_for(lock, kPumpPeriod, [this] { return stopRequested_; });
  }
}

}  // namespace lumarex
