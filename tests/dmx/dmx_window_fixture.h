#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control/control_registry.h"
#include "tests/mainwindow/window_fixture.h"
#include "tests/support/step_show.h"

namespace lumarex::test {

// The main window with a control registry, the user-interface thread being the test's own
// (it drains the dispatcher), and a set list of two short shows opened in the registry.
class DmxWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    registry = std::make_unique<ControlRegistry>(*form, dispatcher);
    registry->AddCommandListener([this](const CommandRecord& r) { log.push_back(r); });
    WriteShow("first.ild", 3);
    WriteShow("second.ild", 5);
    std::ofstream(dir.File("evening.m3u")) << "#EXTM3U\nfirst.ild\nsecond.ild\n";
    ASSERT_TRUE(registry->OpenSetList(dir.File("evening.m3u"), CommandSource::kWidget).ok);
  }
  // Whatever drives the registry goes before it.
  void TearDown() override { registry.reset(); }

  void WriteShow(const std::string& name, uint32_t frames) {
    ASSERT_TRUE(WriteStepShow(dir.File(name), frames));
  }

  // Runs what the receiving thread posts until `done` holds, for at most `timeout`.
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    return dispatcher.RunUntil(done, timeout);
  }

  // Whether the registry did `command` for `source`.
  bool Done(const std::string& command, CommandSource source) const {
    for (const CommandRecord& r : log) {
      if (r.command == command && r.source == source && r.done) return true;
    }
    return false;
  }

  int32_t Value(const char* control) const { return registry->Value(control).value_or(-1); }
  int32_t PowerMax() const { return registry->FindControl("Dimmen_RGB")->max; }

  QueueDispatcher dispatcher;
  std::unique_ptr<ControlRegistry> registry;
  std::vector<CommandRecord> log;
};

}  // namespace lumarex::test
