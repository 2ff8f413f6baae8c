#pragma once

#include <QMainWindow>
#include <vector>

#include "optimiser/optimiser_session.h"
#include "qt/control_widgets.h"
#include "qt/gl_panel.h"
#include "qt/named_objects.h"
#include "qt/status_image_view.h"

class QAction;

namespace lumarex::qt {

// The optimiser window: the comparison view Show_Frame and every control at its place, bound
// to the optimiser session. Closing it is "Exit to Player".
class OptimiserWindow final : public QMainWindow {
 public:
  static constexpr int kWidth = 1020;
  static constexpr int kHeight = 760;

  explicit OptimiserWindow(QWidget* parent = nullptr);
  ~OptimiserWindow() override;

  GlPanel& Show_Frame() { return *showFrame_; }
  void Bind(OptimiserSession& session);
  QWidget* ControlWidget(const QString& name) const;
  QAction* Action(const QString& name) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  template <typename W, typename... A>
  W* Add(const QString& name, int x, int y, int w, int h, A&&... args);

  OptimiserSession* session_ = nullptr;
  QWidget* central_;
  GlPanel* showFrame_;
  NamedObjects<QWidget> widgets_;
  NamedObjects<QAction> actions_;
  std::vector<MenuItem*> boundMenus_;
};

}  // namespace lumarex::qt
