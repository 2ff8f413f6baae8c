#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QWidget>

#include "mainwindow/tform1.h"
#include "rig/projection_editor.h"

namespace lumarex::qt {

class FieldView;

// The "Projektion" tool window: the projector selector (with its device and enabled box), the
// selected projector's output with its corner, vertex and safe-area handles to drag, the mask
// buttons and limit, "Testbild", and the projection and rig files. The behaviour is the
// editor's and the rig's; this binds them to widgets.
class ProjectionWindow final : public QWidget {
 public:
  static constexpr const char* kCaption = "Projektion";
  ProjectionWindow(Tform1& form, ProjectionEditor& editor, QWidget* parent);
  ~ProjectionWindow() override;

  FieldView* Field() const { return field_; }
  // Refreshes the controls from the models.
  void Refresh();

 private:
  void Report(const std::string& fault);

  Tform1& form_;
  ProjectorRig& rig_;
  ProjectionEditor& editor_;
  QComboBox* projector_;
  QComboBox* device_;
  QCheckBox* enabled_;
  FieldView* field_;
  QCheckBox* limited_;
  QSpinBox* limit_;
  QCheckBox* safeArea_;
  QCheckBox* testPattern_;
  QLabel* state_;
  bool refreshing_ = false;
};

// The selected projector's field: x to the right, y upwards, 0..65535 each way.
class FieldView final : public QWidget {
 public:
  FieldView(Tform1& form, ProjectionEditor& editor, QWidget* parent);
  // Where a field position lies in the widget, and back.
  QPointF ToPixel(FieldPoint p) const;
  FieldPoint ToField(QPointF pixel) const;
  std::function<void()> OnEdited;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  double Side() const;
  Tform1& form_;
  ProjectionEditor& editor_;
  ProjectionEditor::Handle dragged_;
};

}  // namespace lumarex::qt
