#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "timecode/ltc_decoder.h"
#include "timecode/ltc_reading_slot.h"
#include "timecode/timecode_input.h"

namespace lumarex {

// Who feeds the file's samples to the decoder once Play was pressed.
enum class LtcFilePacing : uint8_t {
  kOwnThread,  // the input's thread, every 10 ms, by the clock (read on that thread)
  kCaller,     // whoever calls Pump: tests step a ManualClock and pump, without a thread
};

// LTC from a sound file (WAV, AIFF, FLAC: whatever libsndfile reads; the first channel),
// played as if it came in live: from PlayPressed on, the samples that would have sounded by
// now (the time since Play times the sample rate) go to the decoder, so readings arrive at the
// pace a sound card would deliver them, and each reading's atMs is the clock time at which
// its frame's first sample sounded. Stopped stops and rewinds; the latest reading stays.
//
// The methods of TimecodeInput are for the user-interface thread (Latest and Ignored for any);
// the clock must outlive the input. With kOwnThread, the input's thread runs from PlayPressed
// to Stopped (or the end of the file) and is joined by Stopped, the next PlayPressed and the
// destructor.
class LtcFileInput final : public TimecodeInput {
 public:
  // The file opened and checked for audio; none, with the reason in `error`, when it is
  // missing, unreadable or holds no audio.
  static std::unique_ptr<LtcFileInput> Open(const std::string& path, const Clock& clock,
                                            LtcFilePacing pacing, std::string& error);
  ~LtcFileInput() override;
  LtcFileInput(const LtcFileInput&) = delete;
  LtcFileInput& operator=(const LtcFileInput&) = delete;

  std::optional<TimecodeReading> Latest() const override { return readings_.Latest(); }
  // Starts from the beginning of the file at the clock's present time (a running file
  // starts over).
  void PlayPressed() override;
  void Stopped() override;
  std::string Name() const override { return "ltc-file"; }
  uint64_t Ignored() const override { return readings_.Ignored(); }

  // Feeds the decoder the samples due by `nowMs` since PlayPressed, publishing what they
  // complete with receivedMs = nowMs. Does nothing before Play, after Stop or past the end.
  // With kCaller this is how the file plays (on the thread that presses Play); with
  // kOwnThread only the input's thread calls it.
  void Pump(uint32_t nowMs);

  uint32_t SampleRate() const { return sampleRate_; }

 private:
  struct Stream;

  LtcFileInput(std::unique_ptr<Stream> stream, uint32_t sampleRate, const Clock& clock,
               LtcFilePacing pacing);
  void JoinThread();
  void Rewind();
  void RunThread();

  std::unique_ptr<Stream> stream_;
  const uint32_t sampleRate_;
  const Clock& clock_;
  const LtcFilePacing pacing_;
  LtcDecoder decoder_;
  LtcReadingSlot readings_;
  // Pump's state: the thread's while it runs, else the user-interface thread's.
  bool playing_ = false;
  uint32_t startMs_ = 0;
  uint64_t position_ = 0;  // the next sample frame of the file
  std::vector<float> interleaved_;
  std::vector<float> mono_;
  std::vector<LtcFrameTime> frames_;

  std::mutex stopMutex_;
  std::condition_variable stopSignal_;
  bool stopRequested_ = false;
  std::thread thread_;
};

}  // namespace lumarex
