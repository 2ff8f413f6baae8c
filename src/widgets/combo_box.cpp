#include "widgets/combo_box.h"

#include <utility>

namespace lumarex {

std::string ComboBox::Text() const {
  if (itemIndex_ < 0 || itemIndex_ >= ItemCount()) return {};
  return items_[static_cast<size_t>(itemIndex_)];
}

void ComboBox::Clear() {
  items_.clear();
  itemIndex_ = -1;
  NotifyView();
}

void ComboBox::AddItem(std::string item) {
  items_.push_back(std::move(item));
  NotifyView();
}

void ComboBox::SetItemIndex(int32_t index) {
  itemIndex_ = (index >= 0 && index < ItemCount()) ? index : -1;
  NotifyView();
}

void ComboBox::ChooseByOperator(int32_t index) {
  if (!TakesInput() || index < 0 || index >= ItemCount()) return;
  SetItemIndex(index);
  if (onChange_) onChange_();
}

}  // namespace lumarex
