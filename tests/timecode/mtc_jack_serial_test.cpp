// MIDI timecode from a sender nobody here wrote (mido over python-rtmidi, in a Python process
// of its own) through a JACK server of the test's own (jackd with its dummy driver). Both
// sides read CLOCK_MONOTONIC (Python's time.monotonic and our SteadyClock), so the sender's
// send times and our readings compare directly.
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/midi/piped_process.h"
#include "tests/support/machine_pauses.h"
#include "tests/support/test_files.h"
#include "timecode/mtc_input.h"

namespace lumarex {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Quarter frames paced by the sender's own clock from the moment it is told, and full-frame
// messages on a second port connected to ours.
constexpr const char* kSenderScript = R"(import sys, time
import mido

def now_ms():
    return int(time.monotonic() * 1000) & 0xFFFFFFFF

mido.set_backend('mido.backends.rtmidi/UNIX_JACK')
out = mido.open_output(sys.argv[2], client_name=sys.argv[1])
direct = None
print('ready', flush=True)
for line in sys.stdin:
    words = line.split()
    if not words:
        continue
    try:
        if words[0] == 'connect':
            direct = mido.open_output(' '.join(words[1:]))
            print('ok', flush=True)
        elif words[0] == 'run':
            # run H M S F FPS SECONDS (24, 25 or 30 fps): the starting piece of each set goes
            # out at the start of the frame it names.
            h, m, s, f, fps, length = map(int, words[1:7])
            rate = {24: 0, 25: 1, 30: 3}[fps]
            first = ((h * 60 + m) * 60 + s) * fps + f
            start = time.monotonic() + 0.05
            sent = []
            for k in range(length * fps * 4):
                n = first + 2 * (k // 8)
                ff, ss, mm, hh = n % fps, n // fps % 60, n // (fps * 60) % 60, n // (fps * 3600) % 24
                piece = k % 8
                value = [ff & 15, ff >> 4, ss & 15, ss >> 4, mm & 15, mm >> 4, hh & 15,
                         (hh >> 4) | rate << 1][piece]
                wait = start + k / (4.0 * fps) - time.monotonic()
                if wait > 0:
                    time.sleep(wait)
                out.send(mido.Message('quarter_frame', frame_type=piece, frame_value=value))
                if piece == 0:
                    sent.append(now_ms())
            print('ok', int(start * 1000) & 0xFFFFFFFF, *sent, flush=True)
        elif words[0] == 'full':
            # full H M S F RATECODE, on the port connected to ours
            h, m, s, f, rate = map(int, words[1:6])
            direct.send(mido.Message('sysex', data=[0x7F, 0x7F, 1, 1, rate << 5 | h, m, s, f]))
            print('ok', now_ms(), flush=True)
        else:
            print('error unknown command', words[0], flush=True)
    except (IOError, ValueError, AttributeError) as error:
        print('error', str(error).replace('\n', ' '), flush=True)
)";

std::vector<uint32_t> Numbers(const std::string& line) {
  std::istringstream in(line.substr(line.find(' ') + 1));
  return {std::istream_iterator<uint32_t>(in), std::istream_iterator<uint32_t>()};
}

// How long the machine stood still since `fromMs` on the steady clock.
milliseconds PausedSince(const SteadyClock& clock, uint32_t fromMs) {
  const auto now = std::chrono::steady_clock::now();
  return test::MachinePauses::Watch().PausedWithin(now - milliseconds(clock.NowMs() - fromMs), now);
}

class MtcJackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::MachinePauses::Watch();
    for (const char* tool : {"/usr/bin/jackd", "/usr/bin/python3"}) {
      if (::access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is missing (Debian jackd2, python3)";
    }
    const std::string pid = std::to_string(::getpid());
    server = "lumarex-mtc-" + pid;
    sender = "lumarex-mtc-sender-" + pid;
    ::setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    ::unsetenv("LUMAREX_MIDI_API");
    // Periods of 256 frames (5.3 ms) rather than the dummy driver's 1024 (21 ms): JACK hands
    // MIDI over a period at a time, and a quarter frame at 25 fps is 10 ms.
    jackd = std::make_unique<test::PipedProcess>(
        std::vector<std::string>{"jackd", "-n", server, "--no-realtime", "-d", "dummy", "-r",
                                 "48000", "-p", "256", "-w", "5333"},
        dir.File("jackd.log"));
    ASSERT_TRUE(jackd->Started());
    // The server takes a moment; a JACK client fails at once until it is there.
    MtcInputOptions jack;
    jack.api = "jack";
    std::string error;
    for (const auto until = std::chrono::steady_clock::now() + seconds(5);
         !MtcInput::Open(clock, jack, error) && std::chrono::steady_clock::now() < until;) {
      std::this_thread::sleep_for(milliseconds(100));
    }
    ASSERT_TRUE(MtcInput::Open(clock, jack, error)) << error << "\n" << Log("jackd.log");

    std::ofstream(dir.File("mtc_sender.py")) << kSenderScript;
    python = std::make_unique<test::PipedProcess>(
        std::vector<std::string>{"/usr/bin/python3", dir.File("mtc_sender.py"), sender, "out"},
        dir.File("python.log"));
    ASSERT_EQ(python->ReadLine(seconds(5)), "ready") << Log("python.log");
  }
  void TearDown() override {
    // Our clients and the sender's go before their server.
    input.reset();
    if (python) python->End(seconds(2));
    jackd.reset();
    ::unsetenv("JACK_DEFAULT_SERVER");
    ::unsetenv("JACK_NO_START_SERVER");
  }

  std::string Log(const std::string& name) const {
    std::ifstream in(dir.File(name));
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // One command to the sender; its answer, "ok ..." or the test fails. Readings that come
  // meanwhile are kept.
  std::string Tell(const std::string& command, milliseconds timeout = seconds(3)) {
    EXPECT_TRUE(python->WriteLine(command));
    const auto until = std::chrono::steady_clock::now() + timeout;
    std::string answer;
    while (answer.empty() && std::chrono::steady_clock::now() < until) {
      Collect();
      answer = python->ReadLine(milliseconds(2));
    }
    Collect();
    EXPECT_EQ(answer.rfind("ok", 0), 0u) << command << " -> " << answer << Log("python.log");
    return answer;
  }

  void Collect() {
    const auto latest = input->Latest();
    if (latest && (readings.empty() || latest->count != readings.back().count)) {
      readings.push_back(*latest);
    }
  }

  void CollectFor(milliseconds duration) {
    for (const auto until = std::chrono::steady_clock::now() + duration;
         std::chrono::steady_clock::now() < until;) {
      Collect();
      std::this_thread::sleep_for(milliseconds(1));
    }
  }

  SteadyClock clock;
  test::TempDir dir;
  std::string server;
  std::string sender;
  std::unique_ptr<test::PipedProcess> jackd;
  std::unique_ptr<test::PipedProcess> python;
  std::unique_ptr<MtcInput> input;
  std::vector<TimecodeReading> readings;
};

// Two seconds of quarter frames at 25 fps from 01:00:00:00, then a locate by full frame: the
// readings follow the sender within two frames, the first one as soon as the first set is
// whole, the full frame at once.
TEST_F(MtcJackTest, QuarterFramesLockWithinTwoFramesAndAFullFrameAtOnce) {
  // Ours connects to the sender's port by a part of its name, in any case; the sender
  // connects a second port to our virtual one.
  std::string error;
  input = MtcInput::Open(clock, *ParseMtcSource("mtc:SENDER-" + std::to_string(::getpid())), error);
  ASSERT_TRUE(input) << error;
  EXPECT_EQ(input->Api(), "jack") << "JACK runs, so it is the default";
  EXPECT_EQ(input->ConnectedPorts(), std::vector<std::string>{sender + ":out"});
  Tell(std::string("connect ") + MtcInput::kPortName + ":" + MtcInput::kPortName);
  EXPECT_FALSE(input->Latest());

  const std::vector<uint32_t> run = Numbers(Tell("run 1 0 0 0 25 2", seconds(6)));
  CollectFor(milliseconds(200));
  ASSERT_EQ(run.size(), 1u + 25u) << "the start and the send time of each set's piece 0";
  const uint32_t startMs = run[0];
  const Timecode first{1, 0, 0, 0, TimecodeRate::k25};
  constexpr uint32_t kFrameMs = 40;

  // Every reading is one of the sets sent, in order; a set is lost only when a stall of this
  // machine cut it (the decoder drops a set whose pieces come more than 100 ms apart).
  ASSERT_FALSE(readings.empty()) << Log("python.log");
  EXPECT_EQ(readings.front().tc, first);
  std::vector<int32_t> latencies;
  std::vector<int32_t> timeline;  // against the sender's schedule, for the record
  uint64_t lastSet = 0;
  for (size_t k = 0; k < readings.size(); ++k) {
    const TimecodeReading& r = readings[k];
    const uint64_t frames = FrameNumber(r.tc) - FrameNumber(first);
    ASSERT_EQ(frames % 2, 0u) << TimecodeText(r.tc);
    const uint64_t set = frames / 2;
    ASSERT_LT(set, 25u) << TimecodeText(r.tc);
    ASSERT_TRUE(k == 0 || set > lastSet) << TimecodeText(r.tc);
    lastSet = set;
    // The moment the reading names against the moment the sender sent that set's piece 0:
    // JACK's delivery and our decoding, the sender's pacing left out. The goal is two frames
    // for the whole chase; the input's part stays under one (a few ms here).
    const auto latency = static_cast<int32_t>(r.atMs - run[1 + set]);
    const auto allowance = static_cast<int32_t>(PausedSince(clock, startMs).count());
    EXPECT_LE(latency, static_cast<int32_t>(kFrameMs) + allowance) << TimecodeText(r.tc);
    EXPECT_GE(latency, -static_cast<int32_t>(kFrameMs / 2) - allowance) << TimecodeText(r.tc);
    timeline.push_back(static_cast<int32_t>(r.atMs - startMs - set * 2 * kFrameMs));
    latencies.push_back(latency);
  }
  const auto now = std::chrono::steady_clock::now();
  const int stalls =
      test::MachinePauses::Watch().CountWithin(now - seconds(4), now, milliseconds(50));
  EXPECT_LE(25 - readings.size(), static_cast<size_t>(2 + stalls));
  // The first set is reported with its eighth piece, 1.75 frames after its first, not a set
  // later.
  EXPECT_LE(readings.front().receivedMs - run[1],
            70 + kFrameMs + static_cast<uint32_t>(PausedSince(clock, startMs).count()));

  std::sort(latencies.begin(), latencies.end());
  std::sort(timeline.begin(), timeline.end());
  std::cout << "MTC over JACK: " << readings.size() << " of 25 sets; piece 0 sent to reading "
            << "median " << latencies[latencies.size() / 2] << " ms, max " << latencies.back()
            << " ms; against the schedule median " << timeline[timeline.size() / 2] << " ms, "
            << timeline.front() << ".." << timeline.back() << " ms\n";

  // A locate: the full frame is the time at its arrival.
  const std::vector<uint32_t> full = Numbers(Tell("full 10 20 30 4 1"));
  ASSERT_EQ(full.size(), 1u);
  CollectFor(milliseconds(100));
  ASSERT_EQ(readings.back().tc, (Timecode{10, 20, 30, 4, TimecodeRate::k25}));
  EXPECT_EQ(readings.back().atMs, readings.back().receivedMs);
  EXPECT_LE(readings.back().atMs - full[0],
            kFrameMs + static_cast<uint32_t>(PausedSince(clock, full[0]).count()));

  // Every quarter frame came once, over the port it was sent on, and nothing was refused; a
  // JACK server starved by a stalled machine may drop one, and then its set is the one missing.
  const MtcCounters counters = input->Counters();
  EXPECT_LE(counters.quarterFrames, 200u);
  EXPECT_LE(200u - counters.quarterFrames, 8u * (25u - readings.size()));
  EXPECT_EQ(counters.fullFrames, 1u);
  EXPECT_EQ(counters.ignored, 0u);
  EXPECT_EQ(input->Ignored(), 0u);
  EXPECT_GE(counters.times, readings.size());
  EXPECT_LE(counters.times, 25u + 1u);
}

// Without a MIDI system the factory says why; the source names are "mtc" and "mtc:PORT".
TEST(MtcInput, RefusesWhatItCannotOpenAndSaysWhy) {
  SteadyClock clock;
  std::unique_ptr<MtcInput> input;
  ASSERT_TRUE(ParseMtcSource("mtc"));
  EXPECT_EQ(ParseMtcSource("mtc")->portNamePart, "");
  EXPECT_EQ(ParseMtcSource("mtc:Ardour")->portNamePart, "Ardour");
  for (const char* bad : {"mtc:", "mtcx", "midi", ""}) EXPECT_FALSE(ParseMtcSource(bad)) << bad;

  // A JACK server of this name does not run, and none is started for it.
  ::setenv("JACK_DEFAULT_SERVER", ("lumarex-none-" + std::to_string(::getpid())).c_str(), 1);
  ::setenv("JACK_NO_START_SERVER", "1", 1);
  MtcInputOptions options;
  options.api = "jack";
  std::string error;
  EXPECT_FALSE(MtcInput::Open(clock, options, error));
  EXPECT_EQ(error.rfind("jack: ", 0), 0u) << error;

  options.api = "";
  error.clear();
  const bool alsa = std::filesystem::exists("/dev/snd/seq");
  input = MtcInput::Open(clock, options, error);
  EXPECT_EQ(input != nullptr, alsa) << error;
  if (input) {
    EXPECT_EQ(input->Api(), "alsa");
  } else {
    EXPECT_EQ(error.rfind("no MIDI system runs (jack: ", 0), 0u) << error;
  }

  ::setenv("LUMAREX_MIDI_API", "coremidi", 1);
  input = MtcInput::Open(clock, options, error);
  EXPECT_FALSE(input);
  EXPECT_EQ(error, "LUMAREX_MIDI_API=coremidi: jack or alsa expected");
  ::unsetenv("LUMAREX_MIDI_API");
  ::unsetenv("JACK_DEFAULT_SERVER");
  ::unsetenv("JACK_NO_START_SERVER");
}

}  // namespace
}  // namespace lumarex
