#pragma once

#include <functional>
#include <string>
#include <utility>

#include "widgets/control.h"

namespace lumarex {

// A picture control (a lock, a note, an indicator): which picture it shows, visibility and a
// click handler. The picture is named, the view maps the name to its bitmap.
class Image final : public Control {
 public:
  using ClickHandler = std::function<void()>;

  explicit Image(std::string picture = {}) : picture_(std::move(picture)) {}

  const std::string& Picture() const { return picture_; }
  void SetPicture(std::string picture) {
    picture_ = std::move(picture);
    NotifyView();
  }

  void OnClick(ClickHandler handler) { onClick_ = std::move(handler); }
  void Click() const {
    if (onClick_) onClick_();
  }
  // Only a visible, enabled image can be clicked by the operator.
  void ClickByOperator() const {
    if (TakesInput()) Click();
  }

 private:
  std::string picture_;
  ClickHandler onClick_;
};

}  // namespace lumarex
