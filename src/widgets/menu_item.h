#pragma once

#include <functional>
#include <string>
#include <utility>

#include "widgets/control.h"

namespace lumarex {

// A menu entry: caption, check mark, visibility, enabled state and a click handler.
class MenuItem final : public Control {
 public:
  using ClickHandler = std::function<void()>;

  explicit MenuItem(std::string caption = {}) { SetCaption(std::move(caption)); }

  bool Checked() const { return checked_; }
  void SetChecked(bool checked) {
    if (checked_ == checked) return;
    checked_ = checked;
    NotifyView();
  }

  void OnClick(ClickHandler handler) { onClick_ = std::move(handler); }
  void Click() const {
    if (onClick_) onClick_();
  }
  // The operator's choice: a hidden or disabled entry cannot be chosen.
  void ClickByOperator() const {
    if (TakesInput()) Click();
  }

 private:
  bool checked_ = false;
  ClickHandler onClick_;
};

}  // namespace lumarex
