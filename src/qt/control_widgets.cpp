#include "qt/control_widgets.h"

#include <QAction>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <algorithm>

#include "qt/pictures.h"

namespace lumarex::qt {

namespace {

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

void ShowCommonState(const Control& control, QWidget& widget) {
  widget.setToolTip(Text(control.Hint()));
  widget.setVisible(control.Visible());
  widget.setEnabled(control.Enabled());
}

TrackBarWidget::TrackBarWidget(TrackBar& model, Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent), model_(model) {
  setFocusPolicy(Qt::NoFocus);
  setTickPosition(QSlider::TicksBelow);
  setPageStep(1);
  Refresh();
  model_.SetViewObserver([this] { throttle_.Request(); });
  connect(this, &QSlider::valueChanged, [this](int value) {
    model_.MoveByOperator(value);
    // The handler may have corrected the position; show what the model holds.
    Refresh();
  });
}

TrackBarWidget::~TrackBarWidget() {
  model_.SetViewObserver(nullptr);
}

void TrackBarWidget::Refresh() {
  const QSignalBlocker quiet(this);
  setRange(model_.Min(), model_.Max());
  setValue(model_.Position());
  ShowCommonState(model_, *this);
}

ScrollBarWidget::ScrollBarWidget(ScrollBar& model, Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent), model_(model) {
  setFocusPolicy(Qt::NoFocus);
  Refresh();
  model_.SetViewObserver([this] { throttle_.Request(); });
  connect(this, &QScrollBar::valueChanged, [this](int value) {
    model_.MoveByOperator(value);
    Refresh();
  });
}

ScrollBarWidget::~ScrollBarWidget() {
  model_.SetViewObserver(nullptr);
}

void ScrollBarWidget::Refresh() {
  const QSignalBlocker quiet(this);
  setRange(model_.Min(), model_.Max());
  setSingleStep(std::max(1, model_.SmallChange));
  setPageStep(std::max(1, model_.LargeChange));
  setValue(model_.Position());
  ShowCommonState(model_, *this);
}

ButtonWidget::ButtonWidget(Button& model, QWidget* parent) : QPushButton(parent), model_(model) {
  // The keys of the window (Space above all) belong to the window, not to a focused button.
  setFocusPolicy(Qt::NoFocus);
  setStyleSheet(
      "QPushButton { color: white; border: 1px solid #202020; border-radius: 6px;"
      " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #8a8a8a, stop:0.5 #4a4a4a,"
      " stop:0.51 #333333, stop:1 #505050); padding: 2px 6px; }"
      "QPushButton:pressed { background: #2a2a2a; }"
      "QPushButton:disabled { color: #909090; }");
  Refresh();
  model_.SetViewObserver([this] { Refresh(); });
  connect(this, &QPushButton::clicked, [this] { model_.ClickByOperator(); });
}

ButtonWidget::~ButtonWidget() {
  model_.SetViewObserver(nullptr);
}

void ButtonWidget::Refresh() {
  setText(Text(model_.Caption()));
  ShowCommonState(model_, *this);
  FitCaption();
}

void ButtonWidget::resizeEvent(QResizeEvent* event) {
  QPushButton::resizeEvent(event);
  FitCaption();
}

// A caption wider than its button (the buttons keep the sizes made for a narrower font) is
// set in a smaller size rather than clipped.
void ButtonWidget::FitCaption() {
  constexpr int kFrameAndPadding = 2 * (1 + 6);  // the style sheet's border and padding
  QFont fitted = parentWidget() != nullptr ? parentWidget()->font() : QFont();
  const int room = width() - kFrameAndPadding;
  // A window may give its font in pixels or in points.
  const bool inPixels = fitted.pixelSize() > 0;
  while (QFontMetrics(fitted).horizontalAdvance(text()) > room) {
    if (inPixels && fitted.pixelSize() > 8) {
      fitted.setPixelSize(fitted.pixelSize() - 1);
    } else if (!inPixels && fitted.pointSizeF() > 6.0) {
      fitted.setPointSizeF(fitted.pointSizeF() - 0.5);
    } else {
      break;
    }
  }
  setFont(fitted);
}

LabelWidget::LabelWidget(Label& model, QWidget* parent) : QLabel(parent), model_(model) {
  Refresh();
  model_.SetViewObserver([this] { Refresh(); });
}

LabelWidget::~LabelWidget() {
  model_.SetViewObserver(nullptr);
}

void LabelWidget::Refresh() {
  setText(Text(model_.Caption()));
  setStyleSheet(QString("color: #%1;").arg(model_.Colour(), 6, 16, QChar('0')));
  ShowCommonState(model_, *this);
}

ComboBoxWidget::ComboBoxWidget(ComboBox& model, QWidget* parent)
    : QComboBox(parent), model_(model) {
  setFocusPolicy(Qt::NoFocus);
  Refresh();
  model_.SetViewObserver([this] { Refresh(); });
  connect(this, QOverload<int>::of(&QComboBox::activated), [this](int index) {
    if (!refreshing_) model_.ChooseByOperator(index);
  });
}

ComboBoxWidget::~ComboBoxWidget() {
  model_.SetViewObserver(nullptr);
}

void ComboBoxWidget::Refresh() {
  refreshing_ = true;
  const QSignalBlocker quiet(this);
  clear();
  for (const std::string& item : model_.Items()) addItem(Text(item));
  setCurrentIndex(model_.ItemIndex());
  ShowCommonState(model_, *this);
  refreshing_ = false;
}

ImageWidget::ImageWidget(Image& model, QWidget* parent) : QWidget(parent), model_(model) {
  setCursor(Qt::PointingHandCursor);
  Refresh();
  model_.SetViewObserver([this] { Refresh(); });
}

ImageWidget::~ImageWidget() {
  model_.SetViewObserver(nullptr);
}

void ImageWidget::Refresh() {
  ShowCommonState(model_, *this);
  update();
}

void ImageWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  DrawPicture(painter, Text(model_.Picture()), rect());
}

void ImageWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) model_.ClickByOperator();
}

RangeSliderWidget::RangeSliderWidget(RangeSlider& model, Qt::Orientation orientation,
                                     QWidget* parent)
    : QWidget(parent), model_(model), orientation_(orientation) {
  Refresh();
  model_.SetViewObserver([this] { Refresh(); });
}

RangeSliderWidget::~RangeSliderWidget() {
  model_.SetViewObserver(nullptr);
}

void RangeSliderWidget::Refresh() {
  ShowCommonState(model_, *this);
  update();
}

namespace {
constexpr int kThumb = 8;  // the thumbs' width along the slider
}

int RangeSliderWidget::Length() const {
  return (orientation_ == Qt::Horizontal ? width() : height()) - kThumb;
}

int RangeSliderWidget::ToPixel(int value) const {
  const int span = std::max(1, model_.Max() - model_.Min());
  const int along = kThumb / 2 + (value - model_.Min()) * Length() / span;
  return orientation_ == Qt::Horizontal ? along : height() - along;
}

int RangeSliderWidget::ToValue(int pixel) const {
  const int along = orientation_ == Qt::Horizontal ? pixel : height() - pixel;
  const int span = model_.Max() - model_.Min();
  const int value =
      model_.Min() + ((along - kThumb / 2) * span + Length() / 2) / std::max(1, Length());
  return std::clamp(value, model_.Min(), model_.Max());
}

int RangeSliderWidget::Along(const QPoint& point) const {
  return orientation_ == Qt::Horizontal ? point.x() : point.y();
}

int RangeSliderWidget::ThumbPosition(bool right) const {
  return ToPixel(right ? model_.Right() : model_.Left());
}

void RangeSliderWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const bool horizontal = orientation_ == Qt::Horizontal;
  const int across = horizontal ? height() : width();
  const int mid = across / 2;
  const int a = ToPixel(model_.Left());
  const int b = ToPixel(model_.Right());
  p.setPen(QPen(QColor(90, 90, 90), 1));
  p.setBrush(QColor(60, 60, 60));
  if (horizontal) {
    p.drawRoundedRect(QRect(kThumb / 2, mid - 2, width() - kThumb, 4), 2, 2);
    p.fillRect(QRect(std::min(a, b), mid - 2, std::abs(b - a), 4), QColor(220, 40, 40));
  } else {
    p.drawRoundedRect(QRect(mid - 2, kThumb / 2, 4, height() - kThumb), 2, 2);
    p.fillRect(QRect(mid - 2, std::min(a, b), 4, std::abs(b - a)), QColor(220, 40, 40));
  }
  const QColor thumb = isEnabled() ? QColor(200, 200, 200) : QColor(140, 140, 140);
  p.setBrush(thumb);
  p.setPen(QPen(QColor(40, 40, 40), 1));
  for (const int at : {a, b}) {
    const QRect r = horizontal ? QRect(at - kThumb / 2, 1, kThumb, height() - 2)
                               : QRect(1, at - kThumb / 2, width() - 2, kThumb);
    p.drawRoundedRect(r, 2, 2);
  }
}

void RangeSliderWidget::mousePressEvent(QMouseEvent* event) {
  const int at = Along(event->position().toPoint());
  const int left = ToPixel(model_.Left());
  const int right = ToPixel(model_.Right());
  // The nearer thumb; on a tie the one the pointer lies beyond.
  drag_ = std::abs(at - left) < std::abs(at - right) ? Drag::kLeft : Drag::kRight;
  if (std::abs(at - left) == std::abs(at - right)) {
    const bool beyond = orientation_ == Qt::Horizontal ? at > right : at < right;
    drag_ = beyond ? Drag::kRight : Drag::kLeft;
  }
  mouseMoveEvent(event);
}

void RangeSliderWidget::mouseMoveEvent(QMouseEvent* event) {
  const int value = ToValue(Along(event->position().toPoint()));
  if (drag_ == Drag::kLeft) model_.MoveLeftByOperator(value);
  if (drag_ == Drag::kRight) model_.MoveRightByOperator(value);
}

void RangeSliderWidget::mouseReleaseEvent(QMouseEvent*) {
  drag_ = Drag::kNone;
}

SpinBoxWidget::SpinBoxWidget(ValueControl& model, QWidget* parent)
    : QSpinBox(parent), model_(model) {
  setFocusPolicy(Qt::ClickFocus);
  // A value is taken when typing ends, not at every digit on the way.
  setKeyboardTracking(false);
  Refresh();
  model_.SetViewObserver([this] { Refresh(); });
  connect(this, &QSpinBox::valueChanged, [this](int value) {
    model_.MoveByOperator(value);
    Refresh();
  });
}

SpinBoxWidget::~SpinBoxWidget() {
  model_.SetViewObserver(nullptr);
}

void SpinBoxWidget::Refresh() {
  const QSignalBlocker quiet(this);
  setRange(model_.Min(), model_.Max());
  setValue(model_.Position());
  ShowCommonState(model_, *this);
}

CheckBoxWidget::CheckBoxWidget(MenuItem& model, QWidget* parent)
    : QCheckBox(parent), model_(model) {
  setFocusPolicy(Qt::NoFocus);
  Refresh();
  model_.SetViewObserver([this] { Refresh(); });
  connect(this, &QCheckBox::clicked, [this] {
    model_.ClickByOperator();
    Refresh();
  });
}

CheckBoxWidget::~CheckBoxWidget() {
  model_.SetViewObserver(nullptr);
}

void CheckBoxWidget::Refresh() {
  const QSignalBlocker quiet(this);
  setText(Text(model_.Caption()));
  setChecked(model_.Checked());
  ShowCommonState(model_, *this);
}

void BindAction(MenuItem& model, QAction& action) {
  auto refresh = [&model, &action] {
    action.setText(Text(model.Caption()));
    action.setToolTip(Text(model.Hint()));
    action.setVisible(model.Visible());
    action.setEnabled(model.Enabled());
    if (action.isCheckable()) action.setChecked(model.Checked());
  };
  refresh();
  model.SetViewObserver(refresh);
  QObject::connect(&action, &QAction::triggered, [&model, &action] {
    model.ClickByOperator();
    if (action.isCheckable()) action.setChecked(model.Checked());
  });
}

void UnbindAction(MenuItem& model) {
  model.SetViewObserver(nullptr);
}

}  // namespace lumarex::qt
