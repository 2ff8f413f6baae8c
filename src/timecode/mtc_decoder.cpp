#include "timecode/mtc_decoder.h"

namespace lumarex {
namespace {

constexpr uint8_t kSysexStart = 0xF0;
constexpr uint8_t kQuarterFrameStatus = 0xF1;
constexpr uint8_t kSysexEnd = 0xF7;
constexpr uint8_t kFirstRealTime = 0xF8;
constexpr uint8_t kUniversalRealTime = 0x7F;
constexpr uint8_t kSubIdMtc = 0x01;
constexpr uint8_t kSubIdFullFrame = 0x01;

// The rate codes of piece 7 and of the full frame's hours byte. Code 2 is "30 drop-frame" in
// the 1987 text; everything that sends it runs at 29.97.
constexpr TimecodeRate kRates[4] = {TimecodeRate::k24, TimecodeRate::k25, TimecodeRate::k2997Drop,
                                    TimecodeRate::k30};

uint8_t Low(uint8_t value, unsigned bits) {
  return static_cast<uint8_t>(value & ((1u << bits) - 1u));
}

}  // namespace

std::optional<MtcTime> MtcDecoder::Push(uint8_t byte, uint32_t nowMs) {
  if (byte >= kFirstRealTime) return std::nullopt;
  if (byte < 0x80) {
    switch (parse_) {
      case Parse::kQuarterFrameData:
        parse_ = Parse::kOther;
        return QuarterFrame(byte, nowMs);
      case Parse::kSysex:
        if (sysexLength_ < sysex_.size()) sysex_[sysexLength_] = byte;
        if (sysexLength_ <= sysex_.size()) ++sysexLength_;
        return std::nullopt;
      case Parse::kOther:
        return std::nullopt;
    }
    return std::nullopt;
  }
  if (byte == kSysexEnd && parse_ == Parse::kSysex) {
    parse_ = Parse::kOther;
    return SysexEnd(nowMs);
  }
  Interrupted();
  if (byte == kQuarterFrameStatus) {
    parse_ = Parse::kQuarterFrameData;
  } else if (byte == kSysexStart) {
    parse_ = Parse::kSysex;
    sysex_[0] = byte;
    sysexLength_ = 1;
  }
  return std::nullopt;
}

std::optional<MtcTime> MtcDecoder::Feed(std::span<const uint8_t> bytes, uint32_t nowMs) {
  std::optional<MtcTime> last;
  for (const uint8_t byte : bytes) {
    if (auto time = Push(byte, nowMs)) last = time;
  }
  return last;
}

void MtcDecoder::Reset() {
  parse_ = Parse::kOther;
  sysexLength_ = 0;
  ForgetSet();
}

void MtcDecoder::ForgetSet() {
  direction_ = Direction::kUnknown;
  runLength_ = 0;
}

void MtcDecoder::Interrupted() {
  if (parse_ == Parse::kQuarterFrameData || (parse_ == Parse::kSysex && SysexIsMtc())) {
    ++counters_.ignored;
  }
  parse_ = Parse::kOther;
}

bool MtcDecoder::SysexIsMtc() const {
  // F0 7F dev 01 01 is a full frame; F0 7F dev 01 02 (user bits) is not ours to judge.
  return sysexLength_ >= 4 && sysex_[1] == kUniversalRealTime && sysex_[3] == kSubIdMtc &&
         (sysexLength_ < 5 || sysex_[4] == kSubIdFullFrame);
}

std::optional<MtcTime> MtcDecoder::SysexEnd(uint32_t nowMs) {
  if (!SysexIsMtc()) return std::nullopt;
  if (sysexLength_ != sysex_.size()) {
    ++counters_.ignored;
    return std::nullopt;
  }
  const uint8_t hoursAndRate = sysex_[5];
  Timecode tc;
  tc.rate = kRates[(hoursAndRate >> 5) & 3u];
  tc.hours = Low(hoursAndRate, 5);
  tc.minutes = sysex_[6];
  tc.seconds = sysex_[7];
  tc.frames = sysex_[8];
  if (!IsValid(tc)) {
    ++counters_.ignored;
    return std::nullopt;
  }
  // A locate: the quarter frames after it start a new set.
  ForgetSet();
  ++counters_.fullFrames;
  ++counters_.times;
  return MtcTime{tc, nowMs, true, false};
}

std::optional<MtcTime> MtcDecoder::QuarterFrame(uint8_t data, uint32_t nowMs) {
  ++counters_.quarterFrames;
  const auto piece = static_cast<uint8_t>((data >> 4) & 7u);
  if (runLength_ > 0 && nowMs - lastArrivalMs_ > kMaxQuarterFrameGapMs) ForgetSet();

  // The direction shows in the order of two pieces in a row; a piece out of order starts
  // a new run, and a turn keeps only the piece after it (the one before was sent the other
  // way).
  if (runLength_ == 0) {
    runLength_ = 1;
  } else {
    const bool forwards = piece == ((lastPiece_ + 1u) & 7u);
    const bool backwards = piece == ((lastPiece_ + 7u) & 7u);
    const Direction step = forwards    ? Direction::kForwards
                           : backwards ? Direction::kBackwards
                                       : Direction::kUnknown;
    if (step == Direction::kUnknown) {
      direction_ = Direction::kUnknown;
      runLength_ = 1;
    } else if (direction_ == Direction::kUnknown || step == direction_) {
      direction_ = step;
      // Only "eight or more" matters.
      if (runLength_ < 8) ++runLength_;
    } else {
      direction_ = step;
      runLength_ = 1;
    }
  }
  lastPiece_ = piece;
  lastArrivalMs_ = nowMs;
  pieces_[piece] = Low(data, 4);
  if (piece == 0) piece0ArrivalMs_ = nowMs;
  if (piece == 7) piece7ArrivalMs_ = nowMs;

  const bool complete = runLength_ >= 8 && ((direction_ == Direction::kForwards && piece == 7) ||
                                            (direction_ == Direction::kBackwards && piece == 0));
  if (!complete) return std::nullopt;

  // Unused bits are sent as 0 and ignored.
  Timecode tc;
  tc.frames = static_cast<uint8_t>(pieces_[0] | Low(pieces_[1], 1) << 4);
  tc.seconds = static_cast<uint8_t>(pieces_[2] | Low(pieces_[3], 2) << 4);
  tc.minutes = static_cast<uint8_t>(pieces_[4] | Low(pieces_[5], 2) << 4);
  tc.hours = static_cast<uint8_t>(pieces_[6] | Low(pieces_[7], 1) << 4);
  tc.rate = kRates[(pieces_[7] >> 1) & 3u];
  if (!IsValid(tc)) {
    ++counters_.ignored;
    return std::nullopt;
  }
  ++counters_.times;
  const bool reverse = direction_ == Direction::kBackwards;
  return MtcTime{tc, reverse ? piece7ArrivalMs_ : piece0ArrivalMs_, false, reverse};
}

}  // namespace lumarex
