// The output of the "no sound" device: a thread that asks the mixer for a buffer at the pace a
// sound card would, and throws the samples away. Unlike a sound system's dummy device it ends
// at once when closed (a dummy device first waits out two buffers of draining).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lumarex {

class NullOutput {
 public:
  // Fills `frames` interleaved stereo frames.
  using Mixer = std::function<void(float* out, uint32_t frames)>;

  // Starts asking at once, then every frames / rate seconds on absolute deadlines.
  NullOutput(uint32_t rate, uint32_t frames, Mixer mixer);
  ~NullOutput();
  NullOutput(const NullOutput&) = delete;
  NullOutput& operator=(const NullOutput&) = delete;

 private:
  void Run();

  const std::chrono::steady_clock::duration period_;
  const uint32_t frames_;
  Mixer mixer_;
  std::vector<float> buffer_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::thread thread_;  // last: it starts asking as soon as it is made
};

}  // namespace lumarex
