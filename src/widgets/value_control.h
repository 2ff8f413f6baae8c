#pragma once

#include <cstdint>
#include <functional>

#include "widgets/control.h"

namespace lumarex {

// A control with one position on a range: the base of the track bar and the scroll bar.
// The position always lies within Min..Max. The change handler runs whenever the position
// really changes, whether the operator or the program moved it: start-up and parameter
// loading set positions from code and rely on the handlers recomputing the derived state.
class ValueControl : public Control {
 public:
  using ChangeHandler = std::function<void()>;

  ValueControl(int32_t min, int32_t max, int32_t position);

  int32_t Min() const { return min_; }
  int32_t Max() const { return max_; }
  int32_t Position() const { return position_; }

  // Sets the range (swapped when given the wrong way round) and pulls the position into it;
  // the handler runs when that moved the position.
  void SetRange(int32_t min, int32_t max);
  // Clamps to the range; runs the handler only when the position changed.
  void SetPosition(int32_t position);
  // For a handler that corrects its own control: clamps and stores without running any handler.
  void SetPositionQuietly(int32_t position);
  // The operator's move: ignored while the control is hidden or disabled.
  void MoveByOperator(int32_t position);

  void OnChange(ChangeHandler handler) { onChange_ = std::move(handler); }

 private:
  int32_t Clamp(int32_t position) const;
  bool Store(int32_t position);

  int32_t min_;
  int32_t max_;
  int32_t position_;
  ChangeHandler onChange_;
};

}  // namespace lumarex
