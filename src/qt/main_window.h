#pragma once

#include <QMainWindow>
#include <QProgressBar>
#include <memory>
#include <vector>

#include "control/control_registry.h"
#include "control/set_list_panel.h"
#include "mainwindow/tform1.h"
#include "qt/control_widgets.h"
#include "qt/gl_panel.h"
#include "qt/named_objects.h"
#include "qt/status_image_view.h"
#include "remote/remote_panel.h"
#include "rig/projection_editor.h"

class QAction;

namespace lumarex::qt {

// The main window: the preview panel Zeichenflaeche on the left, the player and the frame
// information in the middle, device, calibration and power on the right, every control bound
// to its model in Tform1. It shows what the model says and hands the operator's input to it;
// the behaviour is all in Tform1.
class MainWindow final : public QMainWindow {
 public:
  // The panels exist before the model: Tform1 draws into them from its start-up on.
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  GlPanel& Zeichenflaeche() { return *zeichenflaeche_; }
  GlPanel& OutputView() { return *outputView_; }
  QWidget& OutputViewWindow() { return *outputWindow_; }

  // Binds every widget to the started model; the operator's keys go through the registry.
  void Bind(Tform1& form, ControlRegistry& registry);
  // Extras > Setliste opens the set list's tool window.
  void BindSetList(SetListPanel& panel);
  // Extras > Fernsteuerung opens the remote inputs' tool window.
  void BindRemote(RemotePanel& panel);
  void BindProjection(ProjectionEditor& editor);
  // Closes the tool windows for good, before their models go.
  void ReleaseTools();
  // The view of a status image, and the widget of a control, by the control's name.
  StatusImageView* StatusView(const QString& name) const;
  QWidget* ControlWidget(const QString& name) const;
  QAction* Action(const QString& name) const;
  // Shows the frame a load has reached (called while pending events are processed).
  void ShowProgress();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BindCalibration(LaserAusgabe& output);
  // The output view's "Scanner-Simulation" box and the rating beside it.
  void BindOutputView(Tform1& form);
  template <typename W, typename... A>
  W* Add(const QString& name, int x, int y, int w, int h, A&&... args);
  QAction* AddAction(QMenu& menu, const QString& name, MenuItem& model, bool checkable = false);
  void BuildMenus(Tform1& form);

  Tform1* form_ = nullptr;
  ControlRegistry* registry_ = nullptr;
  QWidget* central_;
  GlPanel* zeichenflaeche_;
  GlPanel* outputView_;
  QWidget* outputWindow_;
  QMenu* extras_ = nullptr;
  QWidget* setListWindow_ = nullptr;
  QWidget* remoteWindow_ = nullptr;
  QWidget* projectionWindow_ = nullptr;
  QProgressBar* progress_ = nullptr;
  NamedObjects<QWidget> widgets_;
  NamedObjects<QAction> actions_;
  std::vector<MenuItem*> boundMenus_;
};

}  // namespace lumarex::qt
