#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "widgets/control.h"

namespace lumarex {

// A drop-down list. The program sets the selection without raising the change event (the
// device search relies on selecting item 0 quietly); only the operator's choice raises it.
class ComboBox final : public Control {
 public:
  using ChangeHandler = std::function<void()>;

  const std::vector<std::string>& Items() const { return items_; }
  int32_t ItemCount() const { return static_cast<int32_t>(items_.size()); }
  // -1 when nothing is selected.
  int32_t ItemIndex() const { return itemIndex_; }
  // The text of the selected item, empty when none.
  std::string Text() const;

  void Clear();
  void AddItem(std::string item);
  // Selects from code: an index outside the items selects nothing. No change event.
  void SetItemIndex(int32_t index);
  // The operator's choice of an item: ignored when hidden, disabled or out of range; raises the
  // change event, as the desktop's list does, even when the item was selected already.
  void ChooseByOperator(int32_t index);

  void OnChange(ChangeHandler handler) { onChange_ = std::move(handler); }

 private:
  std::vector<std::string> items_;
  int32_t itemIndex_ = -1;
  ChangeHandler onChange_;
};

}  // namespace lumarex
