#include "qt/projection_window.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace lumarex::qt {

namespace {

constexpr double kHandlePixels = 9;

QPushButton* Button(const QString& caption, const QString& name, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  return button;
}

}  // namespace

FieldView::FieldView(Tform1& form, ProjectionEditor& editor, QWidget* parent)
    : QWidget(parent), form_(form), editor_(editor) {
  setObjectName("Projektion_Feld");
  setMinimumSize(360, 360);
  setMouseTracking(false);
}

double FieldView::Side() const {
  return std::max(1, std::min(width(), height()) - 1);
}

QPointF FieldView::ToPixel(FieldPoint p) const {
  const double s = Side() / Projection::kFieldMax;
  return {p.x * s, Side() - p.y * s};
}

FieldPoint FieldView::ToField(QPointF pixel) const {
  const double s = Projection::kFieldMax / Side();
  return {pixel.x() * s, (Side() - pixel.y()) * s};
}

void FieldView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(QRectF(0, 0, Side(), Side()), Qt::black);
  const Projection p = editor_.Current();

  // What the projector was sent last, as the light lands.
  const LaserAusgabe& out = form_.Projectors.Output(form_.Projectors.Selected());
  const std::span<const DacPoint> points = out.LastDacPoints();
  for (size_t k = 1; k < points.size(); ++k) {
    const DacPoint& b = points[k];
    if ((b.r | b.g | b.b) == 0) continue;
    painter.setPen(
        QPen(QColor(std::max<int>(b.r, 40), std::max<int>(b.g, 40), std::max<int>(b.b, 40)), 1.5));
    painter.drawLine(ToPixel({double(points[k - 1].x), double(points[k - 1].y)}),
                     ToPixel({double(b.x), double(b.y)}));
  }

  // The warped window, the masks (red, zones amber), the safe area (green).
  QPolygonF window;
  for (const FieldPoint& c : p.corners) window << ToPixel(c);
  painter.setPen(QPen(QColor(120, 160, 255), 1, Qt::DashLine));
  painter.drawPolygon(window);
  for (size_t m = 0; m < p.masks.size(); ++m) {
    QPolygonF polygon;
    for (const FieldPoint& v : p.masks[m].polygon) polygon << ToPixel(v);
    const QColor colour = p.masks[m].limit ? QColor(255, 176, 0) : QColor(230, 40, 40);
    const bool selected = editor_.SelectedMask() == m;
    painter.setPen(QPen(colour, selected ? 2.5 : 1.5));
    QColor fill = colour;
    fill.setAlpha(50);
    painter.setBrush(fill);
    painter.drawPolygon(polygon);
  }
  painter.setBrush(Qt::NoBrush);
  if (p.safeArea) {
    painter.setPen(QPen(QColor(40, 200, 80), 1.5));
    painter.drawRect(QRectF(ToPixel({p.safeArea->x0, p.safeArea->y1}),
                            ToPixel({p.safeArea->x1, p.safeArea->y0})));
  }
  if (!editor_.Pending().empty()) {
    painter.setPen(QPen(QColor(230, 40, 40), 1, Qt::DotLine));
    QPolygonF pending;
    for (const FieldPoint& v : editor_.Pending()) pending << ToPixel(v);
    painter.drawPolyline(pending);
  }

  // The handles.
  const auto handle = [&](FieldPoint at, QColor colour) {
    const QPointF c = ToPixel(at);
    painter.setPen(QPen(colour, 1.5));
    painter.drawRect(QRectF(c.x() - 4, c.y() - 4, 8, 8));
  };
  for (const FieldPoint& c : p.corners) handle(c, QColor(120, 160, 255));
  for (const ProjectionMask& m : p.masks) {
    for (const FieldPoint& v : m.polygon) handle(v, QColor(230, 40, 40));
  }
  if (p.safeArea) {
    handle({p.safeArea->x0, p.safeArea->y0}, QColor(40, 200, 80));
    handle({p.safeArea->x1, p.safeArea->y1}, QColor(40, 200, 80));
  }
}

void FieldView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const FieldPoint at = ToField(event->position());
  if (editor_.Drawing()) {
    editor_.AddVertex(at);
  } else {
    dragged_ = editor_.HandleAt(at, kHandlePixels * Projection::kFieldMax / Side());
    if (dragged_.kind == ProjectionEditor::HandleKind::kVertex) editor_.SelectMask(dragged_.mask);
  }
  update();
  if (OnEdited) OnEdited();
}

void FieldView::mouseMoveEvent(QMouseEvent* event) {
  if (dragged_.kind == ProjectionEditor::HandleKind::kNone) return;
  editor_.MoveHandle(dragged_, ToField(event->position()));
  update();
}

void FieldView::mouseReleaseEvent(QMouseEvent* event) {
  if (dragged_.kind != ProjectionEditor::HandleKind::kNone) {
    editor_.MoveHandle(dragged_, ToField(event->position()));
  }
  dragged_ = {};
  update();
  if (OnEdited) OnEdited();
}

ProjectionWindow::ProjectionWindow(Tform1& form, ProjectionEditor& editor, QWidget* parent)
    : QWidget(parent, Qt::Tool),
      form_(form),
      rig_(form.Projectors),
      editor_(editor),
      projector_(new QComboBox(this)),
      device_(new QComboBox(this)),
      enabled_(new QCheckBox("Aktiv", this)),
      field_(new FieldView(form, editor, this)),
      limited_(new QCheckBox("Begrenzen auf %", this)),
      limit_(new QSpinBox(this)),
      safeArea_(new QCheckBox("Sicherheitsbereich", this)),
      testPattern_(new QCheckBox("Testbild", this)),
      state_(new QLabel(this)) {
  setObjectName("Projektion");
  setWindowTitle(kCaption);
  resize(420, 640);
  projector_->setObjectName("Projektor");
  device_->setObjectName("Projektor_Device");
  enabled_->setObjectName("Projektor_Aktiv");
  limited_->setObjectName("Maske_Begrenzt");
  limit_->setObjectName("Maske_Grenze");
  limit_->setRange(0, 100);
  limit_->setValue(30);
  safeArea_->setObjectName("Sicherheitsbereich");
  testPattern_->setObjectName("Testbild");
  state_->setObjectName("Projektion_Zustand");
  state_->setWordWrap(true);

  auto* add = Button("Hinzufügen", "Projektor_Neu", this);
  auto* remove = Button("Entfernen", "Projektor_Weg", this);
  auto* newMask = Button("Maske neu", "Maske_Neu", this);
  auto* endMask = Button("Fertig", "Maske_Fertig", this);
  auto* deleteMask = Button("Maske löschen", "Maske_Loeschen", this);
  auto* reset = Button("Zurücksetzen", "Projektion_Zuruecksetzen", this);
  auto* loadProjection = Button("Projektion laden", "Projektion_Laden", this);
  auto* saveProjection = Button("Projektion speichern", "Projektion_Speichern", this);
  auto* loadRig = Button("Rig laden", "Rig_Laden", this);
  auto* saveRig = Button("Rig speichern", "Rig_Speichern", this);

  auto* layout = new QVBoxLayout(this);
  auto* selector = new QHBoxLayout;
  selector->addWidget(new QLabel("Projektor", this));
  selector->addWidget(projector_);
  selector->addWidget(add);
  selector->addWidget(remove);
  layout->addLayout(selector);
  auto* deviceRow = new QHBoxLayout;
  deviceRow->addWidget(new QLabel("Device", this));
  deviceRow->addWidget(device_, 1);
  deviceRow->addWidget(enabled_);
  layout->addLayout(deviceRow);
  layout->addWidget(field_, 1);
  auto* masks = new QHBoxLayout;
  masks->addWidget(newMask);
  masks->addWidget(endMask);
  masks->addWidget(deleteMask);
  layout->addLayout(masks);
  auto* limits = new QHBoxLayout;
  limits->addWidget(limited_);
  limits->addWidget(limit_);
  limits->addWidget(safeArea_);
  layout->addLayout(limits);
  auto* test = new QHBoxLayout;
  test->addWidget(testPattern_);
  test->addWidget(reset);
  layout->addLayout(test);
  auto* files = new QHBoxLayout;
  files->addWidget(loadProjection);
  files->addWidget(saveProjection);
  layout->addLayout(files);
  auto* rigFiles = new QHBoxLayout;
  rigFiles->addWidget(loadRig);
  rigFiles->addWidget(saveRig);
  layout->addLayout(rigFiles);
  layout->addWidget(state_);

  connect(projector_, &QComboBox::currentIndexChanged, [this](int index) {
    if (refreshing_ || index < 0) return;
    editor_.EndMask();
    editor_.SelectMask(std::nullopt);
    rig_.Projektor.MoveByOperator(index + 1);
    Refresh();
  });
  connect(add, &QPushButton::clicked, [this] {
    const int k = rig_.AddOutput();
    if (k == 0) {
      Report("acht Projektoren sind das Höchste");
      return;
    }
    rig_.Projektor.MoveByOperator(k);
    Refresh();
  });
  connect(remove, &QPushButton::clicked, [this] {
    rig_.RemoveOutput(rig_.Selected());
    Refresh();
  });
  connect(device_, &QComboBox::activated, [this](int index) {
    if (refreshing_ || index <= 0) return;
    Report(rig_.OpenDevice(rig_.Selected(), std::to_string(index - 1)));
    Refresh();
  });
  connect(enabled_, &QCheckBox::toggled, [this](bool on) {
    if (!refreshing_) rig_.SetEnabled(rig_.Selected(), on);
  });
  connect(newMask, &QPushButton::clicked, [this] {
    editor_.BeginMask();
    Report("Klicks setzen die Ecken der Maske, ab der dritten blendet sie aus");
  });
  connect(endMask, &QPushButton::clicked, [this] {
    editor_.EndMask();
    Refresh();
  });
  connect(deleteMask, &QPushButton::clicked, [this] {
    editor_.DeleteSelectedMask();
    Refresh();
  });
  const auto applyLimit = [this] {
    if (refreshing_) return;
    editor_.SetLimit(limited_->isChecked() ? std::optional<double>(limit_->value()) : std::nullopt);
    field_->update();
  };
  connect(limited_, &QCheckBox::toggled, applyLimit);
  connect(limit_, &QSpinBox::valueChanged, applyLimit);
  connect(safeArea_, &QCheckBox::toggled, [this](bool on) {
    if (refreshing_) return;
    editor_.SetSafeArea(on);
    field_->update();
  });
  connect(testPattern_, &QCheckBox::toggled, [this](bool on) {
    if (!refreshing_) form_.SetTestPattern(on);
  });
  connect(reset, &QPushButton::clicked, [this] {
    editor_.Reset();
    Refresh();
  });
  const auto file = [this](QPushButton* button, std::string (ProjectionEditor::*command)()) {
    connect(button, &QPushButton::clicked, [this, command] {
      Report((editor_.*command)());
      Refresh();
    });
  };
  file(loadProjection, &ProjectionEditor::OpenProjection);
  file(saveProjection, &ProjectionEditor::SaveProjectionAs);
  file(loadRig, &ProjectionEditor::OpenRig);
  file(saveRig, &ProjectionEditor::SaveRigAs);
  field_->OnEdited = [this] { Refresh(); };

  // The field follows the frames sent while the window is open.
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, [this] {
    if (isVisible()) field_->update();
  });
  timer->start(100);
  Refresh();
}

ProjectionWindow::~ProjectionWindow() = default;

void ProjectionWindow::Report(const std::string& fault) {
  state_->setText(fault.empty() ? QString() : QString::fromStdString(fault));
}

void ProjectionWindow::Refresh() {
  refreshing_ = true;
  projector_->clear();
  for (int k = 1; k <= rig_.Count(); ++k) projector_->addItem(QString::number(k));
  projector_->setCurrentIndex(rig_.Selected() - 1);

  const int selected = rig_.Selected();
  device_->clear();
  device_->addItem("Keins");
  const DeviceSelection& devices = form_.Devices;
  const int32_t count = std::clamp(devices.DeviceCount, 0, DeviceSelection::kTableSize);
  int current = 0;
  for (int32_t i = 0; i < count; ++i) {
    const DeviceEntry& e = devices.DeviceTable[static_cast<size_t>(i)];
    device_->addItem(QString::fromStdString(e.FriendlyName.empty() ? e.Name : e.FriendlyName));
    if (!e.Name.empty() && e.Name == rig_.DeviceName(selected)) current = i + 1;
  }
  device_->setCurrentIndex(current);
  enabled_->setChecked(rig_.Enabled(selected));
  enabled_->setEnabled(selected > 1);

  const Projection p = editor_.Current();
  const std::optional<size_t> mask = editor_.SelectedMask();
  const bool hasMask = mask && *mask < p.masks.size();
  limited_->setEnabled(hasMask);
  limit_->setEnabled(hasMask);
  if (hasMask) {
    limited_->setChecked(p.masks[*mask].limit.has_value());
    if (p.masks[*mask].limit) limit_->setValue(static_cast<int>(*p.masks[*mask].limit));
  }
  safeArea_->setChecked(p.safeArea.has_value());
  testPattern_->setChecked(form_.TestPattern());
  refreshing_ = false;
  field_->update();
}

}  // namespace lumarex::qt
