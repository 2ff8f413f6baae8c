#include "timecode/ltc_decoder.h"

#include <ltc.h>

#include <algorithm>
#include <cmath>

namespace lumarex {

namespace {

// libltc keeps this many completed frames; we read them after every chunk, and a chunk holds
// at most a few frames at any usable sample rate.
constexpr int kQueueFrames = 32;

// A frame spanning more than this many times its bit timing has a gap inside: its last bit
// ended only when the signal came back.
constexpr double kStretchedFrame = 1.5;

uint8_t ToLtcSample(float sample) {
  const float clamped = std::clamp(sample, -1.0f, 1.0f);
  return static_cast<uint8_t>(std::lround(128.0f + clamped * 127.0f));
}

uint8_t ToLtcSample(int16_t sample) {
  return static_cast<uint8_t>(128 + (sample >> 8));
}

// The frame's length in samples from the median of its 80 bit periods: unlike off_end -
// off_start it holds when the first bit's start was guessed (the stream's first frame) or the
// last bit's end came late (the frame before a dropout).
double SamplesPerFrame(const LTCFrameExt& frame) {
  std::array<float, LTC_FRAME_BIT_COUNT> tics;
  std::copy(std::begin(frame.biphase_tics), std::end(frame.biphase_tics), tics.begin());
  std::nth_element(tics.begin(), tics.begin() + LTC_FRAME_BIT_COUNT / 2, tics.end());
  return static_cast<double>(tics[LTC_FRAME_BIT_COUNT / 2]) * LTC_FRAME_BIT_COUNT;
}

// 24, 25 and 30 frames a second lie 4 % and 20 % apart, far more than a frame's measured length
// wavers; the middles between them part the bands. The 30-frame count is 29.97 drop-frame when
// the frame says so (the flag means nothing at 24 or 25).
TimecodeRate RateOf(double framesPerSecond, bool dropFrameFlag) {
  if (framesPerSecond < 24.5) return TimecodeRate::k24;
  if (framesPerSecond < 27.5) return TimecodeRate::k25;
  return dropFrameFlag ? TimecodeRate::k2997Drop : TimecodeRate::k30;
}

bool BcdDigitsValid(const LTCFrame& ltc) {
  return ltc.frame_units <= 9 && ltc.secs_units <= 9 && ltc.mins_units <= 9 && ltc.hours_units <= 9;
}

}  // namespace

LtcDecoder::LtcDecoder(uint32_t sampleRate) : sampleRate_(std::max(sampleRate, 1u)) {
  Reset();
}

LtcDecoder::~LtcDecoder() {
  if (decoder_ != nullptr) ltc_decoder_free(decoder_);
}

void LtcDecoder::Reset() {
  if (decoder_ != nullptr) ltc_decoder_free(decoder_);
  // The samples per frame are only libltc's first guess; it follows the real bit rate from
  // the first transitions on.
  decoder_ = ltc_decoder_create(static_cast<int>(sampleRate_ / 25u), kQueueFrames);
  position_ = 0;
  anchorCount_ = 0;
  newestAnchor_ = 0;
}

void LtcDecoder::Write(std::span<const float> samples, double firstSampleMs,
                       std::vector<LtcFrameTime>& frames) {
  WriteSamples(samples, firstSampleMs, frames);
}

void LtcDecoder::Write(std::span<const int16_t> samples, double firstSampleMs,
                       std::vector<LtcFrameTime>& frames) {
  WriteSamples(samples, firstSampleMs, frames);
}

template <typename Sample>
void LtcDecoder::WriteSamples(std::span<const Sample> samples, double firstSampleMs,
                              std::vector<LtcFrameTime>& frames) {
  if (samples.empty() || decoder_ == nullptr) return;
  newestAnchor_ = (newestAnchor_ + 1) % kAnchors;
  anchors_[newestAnchor_] = {position_, firstSampleMs};
  anchorCount_ = std::min(anchorCount_ + 1, kAnchors);
  for (size_t at = 0; at < samples.size(); at += kChunk) {
    const size_t count = std::min(kChunk, samples.size() - at);
    for (size_t k = 0; k < count; ++k) chunk_[k] = ToLtcSample(samples[at + k]);
    ltc_decoder_write(decoder_, chunk_.data(), count, position_);
    position_ += static_cast<int64_t>(count);
    Collect(frames);
  }
}

void LtcDecoder::Collect(std::vector<LtcFrameTime>& frames) {
  LTCFrameExt frame;
  while (ltc_decoder_read(decoder_, &frame) == 1) {
    const double samplesPerFrame = SamplesPerFrame(frame);
    const auto span = static_cast<double>(frame.off_end - frame.off_start + 1);
    if (frame.reverse != 0 || samplesPerFrame <= 0.0 || !BcdDigitsValid(frame.ltc) ||
        span > kStretchedFrame * samplesPerFrame) {
      ++ignored_;
      continue;
    }
    LtcFrameTime read;
    read.tc.rate = RateOf(sampleRate_ / samplesPerFrame, frame.ltc.dfbit != 0);
    read.tc.hours = static_cast<uint8_t>(frame.ltc.hours_tens * 10u + frame.ltc.hours_units);
    read.tc.minutes = static_cast<uint8_t>(frame.ltc.mins_tens * 10u + frame.ltc.mins_units);
    read.tc.seconds = static_cast<uint8_t>(frame.ltc.secs_tens * 10u + frame.ltc.secs_units);
    read.tc.frames = static_cast<uint8_t>(frame.ltc.frame_tens * 10u + frame.ltc.frame_units);
    if (!IsValid(read.tc)) {
      ++ignored_;
      continue;
    }
    read.startMs = MsOfSample(frame.off_start);
    frames.push_back(read);
  }
}

double LtcDecoder::MsOfSample(int64_t position) const {
  // The newest block that holds the position, else the oldest one remembered (the frame
  // began before it: the clock runs on evenly enough for that).
  size_t index = newestAnchor_;
  for (size_t k = 1; k < anchorCount_ && anchors_[index].position > position; ++k) {
    index = (index + kAnchors - 1) % kAnchors;
  }
  const Anchor& anchor = anchors_[index];
  return anchor.ms + static_cast<double>(position - anchor.position) * 1000.0 / sampleRate_;
}

}  // namespace lumarex
