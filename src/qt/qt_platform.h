#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

#include "platform/desktop_services.h"
#include "platform/ui_dispatcher.h"
#include "platform/ui_timer.h"

class QWidget;

namespace lumarex::qt {

// Hands tasks to the Qt event loop of the thread this object lives on.
class QtDispatcher final : public QObject, public UiDispatcher {
 public:
  void Post(std::function<void()> task) override;
};

// A UiTimer on a QTimer of the user-interface thread (the start animation's).
class QtUiTimer final : public UiTimer {
 public:
  QtUiTimer();
  bool Enabled() const override { return timer_.isActive(); }
  void SetEnabled(bool enabled) override;
  uint32_t Interval() const override { return static_cast<uint32_t>(timer_.interval()); }
  void SetInterval(uint32_t ms) override;

 private:
  QTimer timer_;
};

// The program's file filter ("Ilda Files | *.Ild", pairs separated by "|") in Qt's form
// ("Ilda Files  (*.Ild)"), each description kept as it stands. Patterns separated by ";" or
// blanks become blank-separated; a pattern list without a description gets its patterns as
// the description.
QString QtFilter(const std::string& filter);

// Dialogs, message boxes, pending events and the pointer, from Qt. Dialogs and boxes belong to
// `owner` (the window in front); `beforeEvents` runs whenever pending events are processed (a
// window shows a load's progress there).
class QtDesktopServices final : public DesktopServices {
 public:
  void SetOwner(QWidget* owner) { owner_ = owner; }
  void SetMainWindow(QWidget* window) { mainWindow_ = window; }
  std::function<void()> beforeEvents;

  void ProcessPendingMessages() override;
  void ProcessPendingMessagesAndRepaint() override;
  void ShowMessage(const std::string& text) override;
  void ShowErrorMessage(const std::string& caption, const std::string& text) override;
  std::optional<std::string> ChooseFileToOpen(const std::string& dialog,
                                              const std::string& filter) override;
  std::optional<std::string> ChooseFileToSave(const std::string& dialog,
                                              const std::string& filter) override;
  bool ConfirmYesNo(const std::string& question) override;
  int PointerScreenY() const override;
  int MainWindowTop() const override;

  // Tests answer the dialogs and boxes instead of an operator: a dialog takes the next
  // scripted path (cancelled when none is left), a box is recorded and not shown.
  bool scripted = false;
  std::vector<std::string> scriptedPaths;
  std::vector<std::string> shownMessages;
  bool scriptedConfirm = false;

 private:
  QWidget* owner_ = nullptr;
  QWidget* mainWindow_ = nullptr;
};

}  // namespace lumarex::qt
