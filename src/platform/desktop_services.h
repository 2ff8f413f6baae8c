#pragma once

#include <string>

namespace lumarex {

// What the core asks of the desktop: message boxes and a chance for the window system to
// process pending messages during long operations. The Qt front end implements it; the CLI
// and the tests use their own. Called on the user-interface thread only.
class DesktopServices {
 public:
  virtual ~DesktopServices() = default;

  // Lets pending window messages be processed (once per file or per frame of long work).
  virtual void ProcessPendingMessages() {}
  // A message box with an OK button; returns when the operator has closed it.
  virtual void ShowMessage(const std::string& text) = 0;
  // An error box that stays on top and has no owner window; the caption names its sender.
  virtual void ShowErrorMessage(const std::string& caption, const std::string& text) {
    (void)caption;
    ShowMessage(text);
  }
};

// Swallows everything: for code paths that run without any front end.
class SilentDesktopServices final : public DesktopServices {
 public:
  void ShowMessage(const std::string&) override {}
};

}  // namespace lumarex
