#include "dmx/dmx_personality.h"

#include <algorithm>

namespace lumarex {
namespace {

constexpr size_t kShow = 0;
constexpr size_t kPlayback = 1;
constexpr size_t kRate = 2;
constexpr size_t kDimmer = 3;
constexpr uint8_t kPlayThreshold = 128;
constexpr int32_t kMaxRate = 50;

}  // namespace

DmxPersonality::DmxPersonality(ControlRegistry& registry, CommandSource source)
    : registry_(registry), source_(source), wasPlaying_(registry.Playing()) {
  listener_ = registry_.AddStateListener([this] { StateChanged(); });
}

DmxPersonality::~DmxPersonality() {
  registry_.RemoveListener(listener_);
}

int32_t DmxPersonality::PowerPosition(uint8_t dimmer, int32_t min, int32_t max) {
  if (dimmer <= 1 || max <= min) return min;
  // Rounded to the nearest position: 1 is the lowest, 255 the highest.
  const int64_t span = int64_t{max} - min;
  return static_cast<int32_t>(min + (2 * (dimmer - 1) * span + 254) / 508);
}

bool DmxPersonality::Run(RemoteCommand::Kind kind, int32_t value, const char* control) {
  RemoteCommand command;
  command.kind = kind;
  command.source = source_;
  command.text = control;
  command.value = value;
  return ApplyRemoteCommand(registry_, command);
}

void DmxPersonality::Apply(const PersonalityValues& values) {
  using Kind = RemoteCommand::Kind;
  const bool first = !last_;
  const PersonalityValues before = last_.value_or(PersonalityValues{0, 0, 0, 255});
  last_ = values;

  if (first || values[kRate] != before[kRate]) {
    wantedRate_.reset();
    if (values[kRate] != 0) wantedRate_ = std::min<int32_t>(values[kRate], kMaxRate);
  }
  // Before the show starts, so that a show started by the same update runs at the new rate.
  ApplyRate();

  const bool dark = values[kDimmer] == 0;
  const bool wasDark = !first && before[kDimmer] == 0;
  if (dark && !wasDark) Run(Kind::kBlackout);
  if (!dark && (first || values[kDimmer] != before[kDimmer])) {
    if (const auto power = registry_.FindControl(kPowerControl)) {
      Run(Kind::kSet, PowerPosition(values[kDimmer], power->min, power->max), kPowerControl);
    }
  }

  const bool playWanted = values[kPlayback] >= kPlayThreshold;
  const bool playWasWanted = before[kPlayback] >= kPlayThreshold;
  if (values[kShow] != 0 && values[kShow] != before[kShow]) {
    Run(dark ? Kind::kCue : Kind::kGo, values[kShow]);
  }
  if (playWanted != playWasWanted && !playWanted) {
    if (registry_.Playing()) Run(Kind::kStop);
  } else if (playWanted && !dark && (playWanted != playWasWanted || wasDark) &&
             !registry_.Playing()) {
    Run(Kind::kPlay);
  }
  ApplyRate();
}

void DmxPersonality::ApplyRate() {
  // The rate bar is hidden while a show plays and would refuse; StateChanged comes back.
  if (!wantedRate_ || settingRate_ || registry_.Playing()) return;
  if (registry_.Value(kRateControl) == *wantedRate_) return;
  settingRate_ = true;
  Run(RemoteCommand::Kind::kSet, *wantedRate_, kRateControl);
  settingRate_ = false;
}

void DmxPersonality::StateChanged() {
  const bool playing = registry_.Playing();
  const bool stopped = wasPlaying_ && !playing;
  wasPlaying_ = playing;
  // Only when a show stops: the operator may move the rate by hand at other times.
  if (stopped) ApplyRate();
}

}  // namespace lumarex
