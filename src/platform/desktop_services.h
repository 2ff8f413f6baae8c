#pragma once

#include <optional>
#include <string>

namespace lumarex {

// What the core asks of the desktop: file dialogs, message boxes, a chance for the window system
// to process pending messages during long operations, and where the mouse pointer is. The Qt
// front end implements it; the CLI and the tests use their own. Called on the user-interface
// thread only.
class DesktopServices {
 public:
  virtual ~DesktopServices() = default;

  // Lets pending window messages be processed (once per file or per frame of long work).
  virtual void ProcessPendingMessages() {}
  // As ProcessPendingMessages, and what those messages asked to be repainted is repainted
  // before it returns: for the breaks of long work that come seldom (a load's, every 50 ms),
  // where a repaint left to the next call would wait that long.
  virtual void ProcessPendingMessagesAndRepaint() { ProcessPendingMessages(); }
  // A message box with an OK button; returns when the operator has closed it.
  virtual void ShowMessage(const std::string& text) = 0;
  // An error box that stays on top and has no owner window; the caption names its sender.
  virtual void ShowErrorMessage(const std::string& caption, const std::string& text) {
    (void)caption;
    ShowMessage(text);
  }

  // A file dialog. `dialog` names it (the main window's own names, such as "OpenDialog1" or
  // "Save_Ilda", so a desktop can remember a folder per dialog); `filter` is the program's
  // filter text, pairs of description and patterns separated by "|" ("Ilda Files | *.Ild").
  // Answers the chosen path, or nothing when the operator cancelled.
  virtual std::optional<std::string> ChooseFileToOpen(const std::string& dialog,
                                                      const std::string& filter) {
    (void)dialog;
    (void)filter;
    return std::nullopt;
  }
  virtual std::optional<std::string> ChooseFileToSave(const std::string& dialog,
                                                      const std::string& filter) {
    (void)dialog;
    (void)filter;
    return std::nullopt;
  }
  // A question with the buttons Yes and No; true for Yes.
  virtual bool ConfirmYesNo(const std::string& question) {
    (void)question;
    return false;
  }
  // The mouse pointer's vertical position on the screen and the main window's top edge, in
  // pixels growing downwards (the start animation leans with the pointer). Without a pointer
  // both are 0 and the ball leans the way the pointer at the window's top would make it.
  virtual int PointerScreenY() const { return 0; }
  virtual int MainWindowTop() const { return 0; }
};

// Swallows everything: for code paths that run without any front end.
class SilentDesktopServices final : public DesktopServices {
 public:
  void ShowMessage(const std::string&) override {}
};

}  // namespace lumarex
