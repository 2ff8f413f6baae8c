#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "widgets/control.h"

namespace lumarex {

// A text shown on the window (the windows' reflection labels): caption and text colour.
class Label final : public Control {
 public:
  explicit Label(std::string caption = {}) { SetCaption(std::move(caption)); }

  uint32_t Colour() const { return colour_; }  // 0xRRGGBB
  void SetColour(uint32_t colour) {
    if (colour_ == colour) return;
    colour_ = colour;
    NotifyView();
  }

 private:
  uint32_t colour_ = 0x000000;
};

}  // namespace lumarex
