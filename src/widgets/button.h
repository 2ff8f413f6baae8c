#pragma once

#include <functional>
#include <string>
#include <utility>

#include "widgets/control.h"

namespace lumarex {

// A push button (the windows' glass buttons): a caption and a click handler.
class Button final : public Control {
 public:
  using ClickHandler = std::function<void()>;

  explicit Button(std::string caption = {}) { SetCaption(std::move(caption)); }

  void OnClick(ClickHandler handler) { onClick_ = std::move(handler); }
  // The program's click runs the handler whatever the state, like a direct handler call.
  void Click() const {
    if (onClick_) onClick_();
  }
  // The operator's click: a hidden or disabled button does nothing.
  void ClickByOperator() const {
    if (TakesInput()) Click();
  }

 private:
  ClickHandler onClick_;
};

}  // namespace lumarex
