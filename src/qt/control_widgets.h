#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QWidget>

#include "qt/paint_throttle.h"
#include "widgets/button.h"
#include "widgets/combo_box.h"
#include "widgets/image.h"
#include "widgets/label.h"
#include "widgets/menu_item.h"
#include "widgets/range_slider.h"
#include "widgets/scroll_bar.h"
#include "widgets/track_bar.h"

class QAction;

namespace lumarex::qt {

// Each widget here shows one control model and hands the operator's input to it. The model
// stays the truth: a position the program sets moves the widget, and the widget's own moves
// go through the model's operator calls, which run the change handlers. Hint, visibility and
// enabled state follow the model too.

// Copies what every control has (hint, visibility, enabled) onto a widget.
void ShowCommonState(const Control& control, QWidget& widget);

class TrackBarWidget final : public QSlider {
 public:
  TrackBarWidget(TrackBar& model, Qt::Orientation orientation, QWidget* parent);
  ~TrackBarWidget() override;

 private:
  void Refresh();
  TrackBar& model_;
  PaintThrottle throttle_{40, [this] { Refresh(); }};
};

// The frame scroll bars move with every frame a player or an optimiser run handles.
class ScrollBarWidget final : public QScrollBar {
 public:
  ScrollBarWidget(ScrollBar& model, Qt::Orientation orientation, QWidget* parent);
  ~ScrollBarWidget() override;

 private:
  void Refresh();
  ScrollBar& model_;
  PaintThrottle throttle_{40, [this] { Refresh(); }};
};

// A push button with the rounded, lit look of the program's glass buttons.
class ButtonWidget final : public QPushButton {
 public:
  ButtonWidget(Button& model, QWidget* parent);
  ~ButtonWidget() override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Refresh();
  void FitCaption();
  Button& model_;
};

class LabelWidget final : public QLabel {
 public:
  LabelWidget(Label& model, QWidget* parent);
  ~LabelWidget() override;

 private:
  void Refresh();
  Label& model_;
};

class ComboBoxWidget final : public QComboBox {
 public:
  ComboBoxWidget(ComboBox& model, QWidget* parent);
  ~ComboBoxWidget() override;

 private:
  void Refresh();
  ComboBox& model_;
  bool refreshing_ = false;
};

// A value typed or stepped as a number (a track bar model without a slider's room).
class SpinBoxWidget final : public QSpinBox {
 public:
  SpinBoxWidget(ValueControl& model, QWidget* parent);
  ~SpinBoxWidget() override;

 private:
  void Refresh();
  ValueControl& model_;
};

// A check box for an on/off entry: caption, check mark, enabled and visible state, click.
class CheckBoxWidget final : public QCheckBox {
 public:
  CheckBoxWidget(MenuItem& model, QWidget* parent);
  ~CheckBoxWidget() override;

 private:
  void Refresh();
  MenuItem& model_;
};

// A picture the program draws itself (locks, the parameter sheet, the music note), clickable.
class ImageWidget final : public QWidget {
 public:
  ImageWidget(Image& model, QWidget* parent);
  ~ImageWidget() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void Refresh();
  Image& model_;
};

// Two thumbs on one scale. Horizontal: left thumb low; vertical: the right (upper) value at
// the top, as the output window's Y edges lie.
class RangeSliderWidget final : public QWidget {
 public:
  RangeSliderWidget(RangeSlider& model, Qt::Orientation orientation, QWidget* parent);
  ~RangeSliderWidget() override;

  // The thumbs' centres in widget pixels along the slider, for tests that drag them.
  int ThumbPosition(bool right) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int Length() const;
  int ToPixel(int value) const;
  int ToValue(int pixel) const;
  int Along(const QPoint& point) const;
  void Refresh();

  RangeSlider& model_;
  Qt::Orientation orientation_;
  enum class Drag { kNone, kLeft, kRight } drag_ = Drag::kNone;
};

// A menu entry bound to its model: caption, check mark, enabled and visible state, click.
void BindAction(MenuItem& model, QAction& action);
// Forgets the view of a menu model when its action goes.
void UnbindAction(MenuItem& model);

}  // namespace lumarex::qt
