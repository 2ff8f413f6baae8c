#pragma once

#include <functional>
#include <string>
#include <utility>

namespace lumarex {

// What every control model shares: hint, caption, visibility and enabled state, and the one
// observer through which a view (the Qt binding) learns that it must repaint. The observer is
// the view's business only; the program's own reactions go through each control's handler.
class Control {
 public:
  using ViewObserver = std::function<void()>;

  Control() = default;
  // A view and a handler hold the address of their control, so controls stay where they are.
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  const std::string& Hint() const { return hint_; }
  void SetHint(std::string hint) {
    hint_ = std::move(hint);
    NotifyView();
  }

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption) {
    caption_ = std::move(caption);
    NotifyView();
  }

  bool Visible() const { return visible_; }
  void SetVisible(bool visible) {
    if (visible_ == visible) return;
    visible_ = visible;
    NotifyView();
  }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    NotifyView();
  }

  // True when the operator can reach the control: a hidden or disabled control takes no input.
  bool TakesInput() const { return visible_ && enabled_; }

  void SetViewObserver(ViewObserver observer) { viewObserver_ = std::move(observer); }

 protected:
  void NotifyView() const {
    if (viewObserver_) viewObserver_();
  }

 private:
  std::string hint_;
  std::string caption_;
  bool visible_ = true;
  bool enabled_ = true;
  ViewObserver viewObserver_;
};

}  // namespace lumarex
