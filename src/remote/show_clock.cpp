#include "remote/show_clock.h"

#include <optional>

#include "timecode/timecode_sources.h"

namespace lumarex {

ShowClock::ShowClock(Tform1& form, ControlRegistry& registry, UiDispatcher& dispatcher,
                     const Clock& clock)
    : form_(form), registry_(registry), dispatcher_(dispatcher), clock_(clock) {}

ShowClock::~ShowClock() {
  Detach();
}

void ShowClock::Detach() {
  form_.Player.SetTimeSource(nullptr);
  if (form_.Music) form_.Music->SetDeviceClocked(false);
  setListChase_.reset();
  chase_.reset();
  audio_.reset();
}

bool ShowClock::Apply(const ClockSettings& settings, std::string& error) {
  if (form_.Player.Playing()) registry_.Stop(CommandSource::kWidget);
  Detach();
  settings_ = ClockSettings{};
  const std::optional<Timecode> start = ParseTimecode(settings.start, TimecodeRate::k30);
  if (!start) {
    error = "the start takes HH:MM:SS:FF, not " + settings.start;
    return false;
  }
  if (settings.audio && !settings.timecode.empty()) {
    error = "the music's clock and timecode cannot both set the show's time";
    return false;
  }
  if (!settings.timecode.empty()) {
    std::unique_ptr<TimecodeInput> input = OpenTimecodeInput(settings.timecode, clock_, error);
    if (!input) return false;
    chase_ = std::make_unique<ChaseTimeSource>(
        std::move(input), ChaseOptions{*start, settings.freewheelMs, settings.hourSelects});
    setListChase_ = std::make_unique<SetListChase>(registry_, *chase_, dispatcher_);
    form_.Player.SetTimeSource(chase_.get());
  } else if (settings.audio) {
    if (form_.Music) form_.Music->SetDeviceClocked(true);
    const ShowPlayer& player = form_.Player;
    audio_ = std::make_unique<AudioTimeSource>([&player] { return player.MusicHeardMs(); });
    form_.Player.SetTimeSource(audio_.get());
  }
  settings_ = settings;
  return true;
}

std::string ShowClock::StatusLine() const {
  if (audio_) {
    return form_.Player.MusicHeardMs() ? "Uhr: Audio (Musik)" : "Uhr: Audio (System, keine Musik)";
  }
  if (!chase_) return "Uhr: System";
  std::string line = "Timecode " + chase_->Name() + ": ";
  const ChasePosition& last = chase_->Last();
  const std::optional<TimecodeReading> reading = chase_->Input().Latest();
  if (reading) line += TimecodeText(reading->tc) + " ";
  line += ChaseStateName(last.state);
  if (last.showMs && form_.Player.FramesAccepted() > 0) {
    const auto offset =
        static_cast<int64_t>(*last.showMs) - static_cast<int64_t>(form_.Player.LastPlayedFrame) *
                                                 static_cast<int64_t>(form_.Player.FramePeriodMs);
    line += ", Versatz " + std::string(offset >= 0 ? "+" : "") + std::to_string(offset) + " ms";
  }
  return line;
}

}  // namespace lumarex
