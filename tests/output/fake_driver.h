#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/dac_point.h"
#include "platform/desktop_services.h"
#include "platform/dynamic_library.h"
#include "tests/support/test_files.h"

namespace lumarex::testing {

using RecordingDesktop = test::RecordingDesktop;

// The steering side of the stand-in library. Opening the same file as the binding gives the
// same loaded instance, so what is set here is what the binding sees.
class FakeDriver {
 public:
  explicit FakeDriver(const std::string& folder = FAKE_JMLASER_DIR) {
    EXPECT_TRUE(library_.Open(folder + "libjmlaser.so")) << library_.LastError();
    reset_ = reinterpret_cast<void (*)(int32_t)>(library_.Symbol("FakeJmReset"));
    add_ = reinterpret_cast<void (*)(const char*, const char*, int32_t)>(
        library_.Symbol("FakeJmAddDevice"));
    log_ = reinterpret_cast<const char* (*)()>(library_.Symbol("FakeJmLog"));
    clearLog_ = reinterpret_cast<void (*)()>(library_.Symbol("FakeJmClearLog"));
    lastFrame_ = reinterpret_cast<int32_t (*)(void*, int32_t)>(library_.Symbol("FakeJmLastFrame"));
    lastSpeed_ = reinterpret_cast<int32_t (*)()>(library_.Symbol("FakeJmLastSpeed"));
    setReady_ = reinterpret_cast<void (*)(int32_t)>(library_.Symbol("FakeJmSetReady"));
    writes_ = reinterpret_cast<int32_t (*)()>(library_.Symbol("FakeJmWrites"));
    setOpenResult_ = reinterpret_cast<void (*)(int32_t)>(library_.Symbol("FakeJmSetOpenResult"));
    setWriteResult_ = reinterpret_cast<void (*)(int32_t)>(library_.Symbol("FakeJmSetWriteResult"));
    Reset(0x120);
  }

  int32_t LastSpeed() const { return lastSpeed_(); }
  void SetReady(bool ready) { setReady_(ready ? 1 : 0); }
  int32_t Writes() const { return writes_(); }
  // What every later open answers instead of a handle (0: the device's handle again).
  void SetOpenResult(int32_t result) { setOpenResult_(result); }
  // What every later write answers (0 takes the frame; a negative error code refuses it).
  void SetWriteResult(int32_t result) { setWriteResult_(result); }

  void Reset(int32_t version) { reset_(version); }
  void AddDevice(const char* name, const char* friendly, int32_t maxSpeed) {
    add_(name, friendly, maxSpeed);
  }
  std::string Log() const { return log_(); }
  void ClearLog() { clearLog_(); }
  std::vector<DacPoint> LastFrame() const {
    std::vector<DacPoint> points(static_cast<size_t>(lastFrame_(nullptr, 0)));
    lastFrame_(points.data(), static_cast<int32_t>(points.size()));
    return points;
  }

 private:
  DynamicLibrary library_;
  void (*reset_)(int32_t) = nullptr;
  void (*add_)(const char*, const char*, int32_t) = nullptr;
  const char* (*log_)() = nullptr;
  void (*clearLog_)() = nullptr;
  int32_t (*lastFrame_)(void*, int32_t) = nullptr;
  int32_t (*lastSpeed_)() = nullptr;
  void (*setReady_)(int32_t) = nullptr;
  int32_t (*writes_)() = nullptr;
  void (*setOpenResult_)(int32_t) = nullptr;
  void (*setWriteResult_)(int32_t) = nullptr;
};

}  // namespace lumarex::testing
