#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <chrono>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/cli_context.h"
#include "app/cli_load.h"
#include "app/cli_output.h"
#include "app/cli_timecode.h"

namespace lumarex::cli {

namespace {

struct PlayOptions {
  std::string file;
  std::optional<int> rate;
  int device = 0;
  std::optional<double> seconds;
  bool noMusic = false;
  std::optional<std::string> params;
  std::optional<std::string> rig;
  bool protect = false;
  bool powerLock = false;
  bool json = false;
  bool noFrameList = false;
  CalibrationOptions calibration;
  TimecodeOptions timecode;
};

// The chase with the figures `play --json` reports beside it: at each tick where the timecode
// is locked, whether the frame on show (the last one the device took) is more than one frame
// away from the frame the timecode names.
class MeasuredChase final : public ShowTimeSource {
 public:
  MeasuredChase(ChaseTimeSource& chase, const ShowPlayer& player)
      : chase_(chase), player_(player) {}
  void Started(uint32_t nowMs) override {
    onShow_.reset();
    chase_.Started(nowMs);
  }
  void Stopped() override { chase_.Stopped(); }
  std::optional<uint64_t> PositionMs(uint32_t nowMs) override {
    const std::optional<uint64_t> position = chase_.PositionMs(nowMs);
    if (position && onShow_ && chase_.Last().state == ChaseState::kLocked) {
      const uint64_t due = *position / player_.FramePeriodMs;
      if (due > *onShow_ + 1 || *onShow_ > due + 1) ++framesOff_;
    }
    return position;
  }
  std::string Name() const override { return chase_.Name(); }
  void Shown(uint16_t frame) { onShow_ = frame; }
  uint64_t FramesOff() const { return framesOff_; }

 private:
  ChaseTimeSource& chase_;
  const ShowPlayer& player_;
  std::optional<uint64_t> onShow_;
  uint64_t framesOff_ = 0;
};

struct HandledFrame {
  uint16_t frame;
  uint64_t playTimeMs;
  bool sent;
};

// How late the handled frames came, in whole milliseconds (frame f is due f x FramePeriodMs
// after Play), counted in a fixed table: a run of hours costs no memory as it goes.
class LatenessTally {
 public:
  void Add(uint64_t playTimeMs, uint64_t dueMs) {
    const uint64_t late = playTimeMs > dueMs ? playTimeMs - dueMs : 0;
    ++counts_[std::min<uint64_t>(late, kLast)];
    worst_ = std::max(worst_, late);
    ++total_;
  }
  // The lateness at `percent` of the sorted frames (the element at n x percent / 100).
  uint64_t Percentile(uint64_t percent) const {
    if (total_ == 0) return 0;
    const uint64_t wanted = std::min(total_ - 1, total_ * percent / 100);
    uint64_t seen = 0;
    for (size_t ms = 0; ms < kLast; ++ms) {
      seen += counts_[ms];
      if (seen > wanted) return ms;
    }
    return worst_;
  }
  uint64_t Worst() const { return worst_; }

 private:
  static constexpr size_t kLast = 4095;  // this late or later: counted together
  std::array<uint64_t, kLast + 1> counts_{};
  uint64_t worst_ = 0;
  uint64_t total_ = 0;
};

// The four counter lines of DeviceFenster: each label with the value that stands beside it.
void PrintCounters(const Tform1& form) {
  const struct {
    const char* label;
    int32_t y;
  } lines[] = {{"Timer anfragen", 180},
               {"Timer unsyncron", 195},
               {"Frames angenommen", 210},
               {"Frames verweigert", 225}};
  for (const auto& line : lines) {
    std::string value = form.DeviceFenster.TextAt(150, line.y);
    value.erase(value.find_last_not_of(' ') + 1);
    std::cout << line.label << ' ' << value << '\n';
  }
}

void Play(const PlayOptions& o, CliContext& context) {
  OutputRig rig(context, true, !o.noMusic);
  Tform1& form = rig.form;
  if (o.protect) form.Parameter_Auf.Click();
  if (o.powerLock) form.Output.Schloss_Auf.Click();

  if (FindShowFormat(o.file) == nullptr) {
    std::cerr << "lumarex-cli: no reader for the file type of " << o.file << '\n';
    context.exitCode = kExitUsage;
    return;
  }
  form.LoadFile(o.file);
  if (!LoadSucceeded(form.Store.IoStatus)) {
    std::cerr << "lumarex-cli: " << o.file << ": " << form.Store.IoStatus << '\n';
    context.Failed();
  }
  if (o.noMusic && form.MusicLoaded) {
    form.Music->UnloadChannel();
    form.MusicLoaded = false;
    form.Musik.SetVisible(false);
  }
  if (form.MusicLoaded && form.Music->Channel == 0) {
    // The show plays on without it, as in the window; the script hears of it.
    std::cerr << "lumarex-cli: the music beside " << o.file << " could not be opened\n";
    context.Failed();
  }
  if (o.rig && !rig.LoadRig(*o.rig, context)) return;
  if (o.params && !LoadProjectorParameters(context, *o.params)) return;
  if (!rig.ApplyCalibration(o.calibration)) {
    context.exitCode = kExitUsage;
    return;
  }
  if (o.rate) form.Player.Irq_Speed.SetPosition(*o.rate);
  if (!rig.OpenDevice(o.device, context)) return;

  bool failed = false;
  const std::unique_ptr<AudioTimeSource> audioClock =
      OpenAudioClock(o.timecode, form, context, failed);
  if (failed) return;
  std::unique_ptr<ChaseTimeSource> chase = OpenChase(o.timecode, context, failed);
  if (failed) return;
  std::unique_ptr<MeasuredChase> measured;
  const DetachedTimeSource detach{form.Player};
  if (audioClock) form.Player.SetTimeSource(audioClock.get());
  if (chase) {
    measured = std::make_unique<MeasuredChase>(*chase, form.Player);
    form.Player.SetTimeSource(measured.get());
  }

  std::vector<HandledFrame> handled;
  if (!o.noFrameList) handled.reserve(4096);
  LatenessTally lateness;
  bool ended = false;
  uint64_t handledCount = 0;
  uint64_t sentCount = 0;
  form.Player.OnFrameHandled = [&](uint16_t frame, uint64_t ms, bool sent) {
    lateness.Add(ms, uint64_t{frame} * form.Player.FramePeriodMs);
    ++handledCount;
    if (sent) ++sentCount;
    if (!o.noFrameList) handled.push_back({frame, ms, sent});
    if (measured && sent) measured->Shown(frame);
  };
  form.Player.OnShowEnded = [&ended] { ended = true; };

  form.Projectors.ResetCounters();
  form.Player.Play.Click();
  if (form.Player.Playing()) {
    using SteadyClock = std::chrono::steady_clock;
    const auto start = SteadyClock::now();
    const auto limit = o.seconds ? std::chrono::duration_cast<SteadyClock::duration>(
                                       std::chrono::duration<double>(*o.seconds))
                                 : SteadyClock::duration::max();
    CliWindow& cli = context.Cli();
    // Under timecode the show waits past its end for the timecode to come back: the run ends
    // once the last frame was shown and the position has left the show.
    const auto pastTheEnd = [&form] {
      return form.Player.FollowsOutside() && form.Player.Holding() &&
             form.Player.FramesAccepted() > 0 &&
             form.Player.LastPlayedFrame + 1u >= form.Store.FrameCount;
    };
    while (form.Player.Playing() && !pastTheEnd()) {
      const auto elapsed = SteadyClock::now() - start;
      if (elapsed >= limit) break;
      cli.dispatcher.RunUntil(
          [&form, &pastTheEnd] { return !form.Player.Playing() || pastTheEnd(); },
          std::min<SteadyClock::duration>(limit - elapsed, std::chrono::milliseconds(100)));
    }
    ended = ended || pastTheEnd();
    if (form.Player.Playing()) form.Player.Stop.Click();
  }
  form.Player.OnFrameHandled = nullptr;
  form.Player.OnShowEnded = nullptr;
  if (handledCount > 0 && sentCount == 0) {
    std::cerr << "lumarex-cli: the device never became ready: it took none of " << handledCount
              << " frames\n";
    context.Failed();
  }

  if (!o.json) {
    PrintCounters(form);
    rig.ReportFurtherOutputs(std::cout);
    return;
  }
  const ShowPlayer& p = form.Player;
  nlohmann::json frames = nlohmann::json::array();
  for (const HandledFrame& h : handled) {
    frames.push_back({h.frame, h.playTimeMs, h.sent ? "sent" : "refused"});
  }
  nlohmann::json out = {{"TimerRequests", p.TimerRequests},
                        {"UnsyncTicks", p.UnsyncTicks},
                        {"FramesAccepted", p.FramesAccepted()},
                        {"RefusedFrames", p.RefusedFrames},
                        {"LastPlayedFrame", p.LastPlayedFrame},
                        {"PlayTimeMs", p.PlayTimeMs},
                        {"ended", ended ? "end of show" : "stopped"},
                        {"lateness",
                         {{"p50", lateness.Percentile(50)},
                          {"p99", lateness.Percentile(99)},
                          {"worst", lateness.Worst()}}}};
  if (chase) {
    out["timecode"] = {{"source", chase->Name()},
                       {"locked_ms", chase->LockedMs()},
                       {"frames_off_by_more_than_one", measured->FramesOff()},
                       {"freewheels", chase->Chase().Freewheels()},
                       {"losses", chase->Chase().Losses()},
                       {"ignored", chase->Input().Ignored()}};
  }
  if (audioClock) {
    out["clock"] = {{"source", audioClock->Name()},
                    {"music_ticks", audioClock->MusicTicks()},
                    {"system_ticks", audioClock->SystemTicks()}};
  }
  const ProjectorRig& projectors = form.Projectors;
  if (projectors.Count() > 1) {
    nlohmann::json outputs = nlohmann::json::array();
    for (int k = 2; k <= projectors.Count(); ++k) {
      outputs.push_back({{"output", k},
                         {"device", projectors.DeviceName(k)},
                         {"enabled", projectors.Enabled(k)},
                         {"FramesAccepted", projectors.Accepted(k)},
                         {"RefusedFrames", projectors.Refused(k)}});
    }
    out["outputs"] = std::move(outputs);
  }
  if (!o.noFrameList) out["handled"] = std::move(frames);
  std::cout << out.dump() << '\n';
}

void AddPlayCommand(CLI::App& app, CliContext& context) {
  auto o = std::make_shared<PlayOptions>();
  CLI::App* cmd = app.add_subcommand(
      "play", "Play a show with its music to a laser device, locked to the clock, as the window");
  cmd->add_option("SHOW", o->file, "Show file")->required();
  cmd->add_option("--rate", o->rate, "Output rate in frames per second, 1..50")
      ->check(CLI::Range(1, 50));
  cmd->add_option("--device", o->device, "Device index as `devices` lists it (default 0)");
  cmd->add_option("--seconds", o->seconds, "Stop after S seconds (default: at the show's end)")
      ->check(CLI::NonNegativeNumber);
  cmd->add_flag("--no-music", o->noMusic, "Leave the music beside the show unplayed");
  cmd->add_option("--params", o->params, "Projector parameter file (.PRO) loaded after the show");
  cmd->add_flag("--protect", o->protect,
                "Overwrite protection on: the show's parameter file keeps its hands off size, "
                "offset and colour ranges");
  cmd->add_flag("--power-lock", o->powerLock, "Power locked: no parameter file changes it");
  cmd->add_flag("--json", o->json,
                "Print the counters, the lateness of the handled frames and every handled frame "
                "as JSON");
  cmd->add_flag("--no-frame-list", o->noFrameList,
                "With --json: leave out the list of handled frames and do not keep it (for "
                "runs of hours)");
  AddTimecodeOptions(*cmd, o->timecode, false);
  AddCalibrationOptions(*cmd, o->calibration);
  AddRigOption(*cmd, o->rig);
  cmd->callback([o, &context] { Play(*o, context); });
}

const CommandRegistration kRegistration{60, AddPlayCommand};

}  // namespace

}  // namespace lumarex::cli
