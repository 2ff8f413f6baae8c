#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>

#include "app/cli_context.h"
#include "music/audio_binding.h"
#include "music/audio_engine.h"
#include "music/bassdll_player.h"

namespace lumarex::cli {

namespace {

int WavePeak(const WaveBuffer& wave) {
  int peak = 0;
  for (size_t i = 0; i < 512; ++i) {
    const auto left = static_cast<int16_t>(wave[i] & 0xFFFFu);
    const auto right = static_cast<int16_t>(wave[i] >> 16);
    peak = std::max({peak, std::abs(int{left}), std::abs(int{right})});
  }
  return peak;
}

void PlayMusic(CliContext& context, const std::string& file, double seconds) {
  AudioEngine engine;
  AudioBinding binding(engine);
  binding.Bind();
  TBassdllPlayer player(binding.Table(), context.desktop);
  if (player.StartupFailed()) {
    context.Failed();
    return;
  }
  player.LoadFromFile(file);
  if (player.Channel == 0) {
    std::cerr << "Cannot play " << file << '\n';
    context.Failed();
    return;
  }
  const int32_t length = player.SongLength();
  std::cout << "Length: " << length / 60 << ':' << (length % 60 < 10 ? "0" : "") << length % 60
            << " (" << length << " s)" << (engine.UsingNullOutput() ? ", null output" : "")
            << std::endl;
  const double limit = seconds > 0 ? seconds : length + 1.0;

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  player.Play();
  WaveBuffer wave{};
  auto nextReport = start + std::chrono::seconds(1);
  auto nextFadeTick = start + std::chrono::milliseconds(TBassdllPlayer::kFadeTimerIntervalMs);
  for (;;) {
    const auto now = Clock::now();
    if (std::chrono::duration<double>(now - start).count() >= limit) break;
    if (player.Status() != TPlayerStatus::sndPlaying) break;
    if (now >= nextFadeTick) {
      if (player.FadeTimerEnabled()) player.FadeTimerTick();
      nextFadeTick += std::chrono::milliseconds(TBassdllPlayer::kFadeTimerIntervalMs);
    }
    if (now >= nextReport) {
      wave.fill(0);
      player.GetWaveData(wave);
      std::cout << "Position: " << player.Position() << " s, peak " << WavePeak(wave) << std::endl;
      nextReport += std::chrono::seconds(1);
    }
    std::this_thread::sleep_until(std::min(nextReport, nextFadeTick));
  }
  player.Stop();
}

void AddMusicCommand(CLI::App& app, CliContext& context) {
  struct Options {
    std::string file;
    double seconds = 0;
  };
  auto options = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand(
      "music", "Play a music file (WAV, MP3, FLAC, Ogg) and report its position and level");
  cmd->add_option("FILE", options->file, "Music file")->required();
  cmd->add_option("--seconds", options->seconds, "Stop after this many seconds")
      ->check(CLI::NonNegativeNumber);
  cmd->callback([options, &context] { PlayMusic(context, options->file, options->seconds); });
}

const CommandRegistration kRegistration{70, AddMusicCommand};

}  // namespace

}  // namespace lumarex::cli
