#pragma once

#include <algorithm>
#include <vector>

#include "widgets/control.h"

namespace lumarex {

// Controls held disabled while a load runs: the load lets the window process its events, and
// a command that reads, changes or replaces the show meanwhile would meet a store that is
// being filled. Released, each control gets back the enabled state it had, or the one the
// program gave it during the hold (a load that brought a show enables "Merge File").
class CommandHold {
 public:
  explicit CommandHold(std::vector<Control*> controls) {
    for (Control* control : controls) entries_.push_back({control, control->Enabled()});
  }

  void Hold() {
    if (held_) return;
    held_ = true;
    for (Entry& e : entries_) {
      e.enabled = e.control->Enabled();
      e.control->SetEnabled(false);
    }
  }

  void Release() {
    if (!held_) return;
    held_ = false;
    for (const Entry& e : entries_) e.control->SetEnabled(e.enabled);
  }

  // The program's change of a control's enabled state; during the hold it waits for the end.
  void SetEnabled(Control& control, bool enabled) {
    const auto held = std::find_if(entries_.begin(), entries_.end(),
                                   [&](const Entry& e) { return e.control == &control; });
    if (held_ && held != entries_.end()) {
      held->enabled = enabled;
    } else {
      control.SetEnabled(enabled);
    }
  }

 private:
  struct Entry {
    Control* control;
    bool enabled;
  };
  std::vector<Entry> entries_;
  bool held_ = false;
};

}  // namespace lumarex
