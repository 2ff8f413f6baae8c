#pragma once

#include <QListWidget>
#include <QWidget>

#include "control/set_list_panel.h"

namespace lumarex::qt {

// The "Setliste" tool window bound to its panel model: the entries (the current one in bold
// with a marker), Go, Cue, Next, Previous, Add, Remove, move up and down, Save. Shows dropped on
// it are added; a double-click is Go.
class SetListWindow final : public QWidget {
 public:
  SetListWindow(SetListPanel& panel, QWidget* parent);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void Refresh();

  SetListPanel& panel_;
  QListWidget* list_;
  bool refreshing_ = false;
};

}  // namespace lumarex::qt
