#include "qt/main_window.h"

#include "qt/projection_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include "qt/remote_window.h"
#include "qt/set_list_window.h"
#include "show/file_names.h"

namespace lumarex::qt {

namespace {

constexpr int kMiddle = 700;  // left edge of the middle column
constexpr int kRight = 965;   // left edge of the right column
constexpr int kScanninfoTop = 256;
constexpr int kOutputBar = 30;  // the output view's controls below its picture

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle("Lumarex");
  setFixedSize(Tform1::kWidth, Tform1::kHeight);
  setAcceptDrops(true);
  QPalette grey = palette();
  grey.setColor(QPalette::Window, QColor(150, 150, 150));
  grey.setColor(QPalette::WindowText, Qt::black);
  setPalette(grey);
  central_ = new QWidget(this);
  central_->setAutoFillBackground(true);
  setCentralWidget(central_);
  zeichenflaeche_ = new GlPanel(kPreviewView, central_);
  zeichenflaeche_->setGeometry(8, 8, 680, 680);
  zeichenflaeche_->setObjectName("Zeichenflaeche");
  widgets_.Add("Zeichenflaeche", zeichenflaeche_);

  // What the laser draws, in a small window of its own beside the main window.
  outputWindow_ = new QWidget(this, Qt::Tool);
  outputWindow_->setWindowTitle("Ausgabeansicht");
  outputWindow_->setFixedSize(340, 340 + kOutputBar);
  // A window of its own takes no palette from the main window: its bar is grey as that is.
  outputWindow_->setPalette(grey);
  outputView_ = new GlPanel(kPreviewView, outputWindow_);
  outputView_->setGeometry(0, 0, 340, 340);

  // Centred on the screen the window opens on.
  if (const QScreen* screen = QApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(Tform1::kWidth / 2, Tform1::kHeight / 2));
  }
}

MainWindow::~MainWindow() {
  if (form_ != nullptr) form_->OnSelectedOutputChanged = nullptr;
  for (MenuItem* item : boundMenus_) UnbindAction(*item);
}

template <typename W, typename... A>
W* MainWindow::Add(const QString& name, int x, int y, int w, int h, A&&... args) {
  auto* widget = new W(std::forward<A>(args)..., central_);
  widget->setGeometry(x, y, w, h);
  widget->setObjectName(name);
  widgets_.Add(name, widget);
  return widget;
}

QAction* MainWindow::AddAction(QMenu& menu, const QString& name, MenuItem& model, bool checkable) {
  auto* action = new QAction(&menu);
  action->setObjectName(name);
  action->setCheckable(checkable);
  menu.addAction(action);
  BindAction(model, *action);
  boundMenus_.push_back(&model);
  actions_.Add(name, action);
  return action;
}

void MainWindow::BuildMenus(Tform1& f) {
  QMenuBar* bar = menuBar();
  QMenu* files = bar->addMenu(QString::fromStdString(f.Files.Caption()));
  AddAction(*files, "Lade_File", f.Lade_File)->setShortcut(QKeySequence("Ctrl+O"));
  AddAction(*files, "Merge_File", f.Merge_File);
  QMenu* save = files->addMenu(QString::fromStdString(f.Speichern.Caption()));
  // The submenu's own enabled state follows its model like an entry's.
  QAction* saveMenu = save->menuAction();
  saveMenu->setObjectName("Speichern");
  BindAction(f.Speichern, *saveMenu);
  boundMenus_.push_back(&f.Speichern);
  actions_.Add("Speichern", saveMenu);
  AddAction(*save, "Save_LDS_Cat_2008", f.Save_LDS_Cat_2008);
  AddAction(*save, "Save_PHO_Cat_2008", f.Save_PHO_Cat_2008);
  AddAction(*save, "Ilda_True_Save", f.Ilda_True_Save);
  AddAction(*save, "ULF1", f.ULF1);
  AddAction(*files, "Load_Farben", f.Load_Farben);
  files->addSeparator();
  AddAction(*files, "Exit1", f.Exit1)->setShortcut(QKeySequence("Ctrl+Q"));

  QMenu* projector = bar->addMenu(QString::fromStdString(f.Projektorparameter.Caption()));
  AddAction(*projector, "Load_Parameter", f.Load_Parameter);
  AddAction(*projector, "SaveParameter", f.SaveParameter);
  QMenu* show = bar->addMenu(QString::fromStdString(f.Showparameter.Caption()));
  AddAction(*show, "SaveParameter1", f.SaveParameter1);
  QMenu* extras = bar->addMenu(QString::fromStdString(f.Extras.Caption()));
  extras_ = extras;
  AddAction(*extras, "Kill_Frame_2_4", f.Kill_Frame_2_4);
  AddAction(*extras, "Wiederholen", f.Wiederholen, true);
  QAction* outputView = AddAction(*extras, "Ausgabeansicht", f.Ausgabeansicht, true);
  connect(outputView, &QAction::toggled, [this](bool on) {
    if (on) outputWindow_->move(geometry().topRight() + QPoint(8, 0));
    outputWindow_->setVisible(on);
  });

  auto addTop = [&](const QString& name, MenuItem& model) {
    auto* action = new QAction(bar);
    action->setObjectName(name);
    bar->addAction(action);
    BindAction(model, *action);
    boundMenus_.push_back(&model);
    actions_.Add(name, action);
    return action;
  };
  addTop("Optimiereaufscannerwege1", f.Optimiereaufscannerwege1);
  addTop("Info", f.Info)->setShortcut(QKeySequence(Qt::Key_F1));
}

void MainWindow::BindSetList(SetListPanel& panel) {
  setListWindow_ = new SetListWindow(panel, this);
  QAction* open = extras_->addAction(SetListPanel::kCaption);
  open->setObjectName("Setliste");
  actions_.Add("Setliste", open);
  connect(open, &QAction::triggered, [this] {
    setListWindow_->move(geometry().topRight() + QPoint(8, 360));
    setListWindow_->show();
    setListWindow_->raise();
  });
}

void MainWindow::BindProjection(ProjectionEditor& editor) {
  auto* window = new ProjectionWindow(*form_, editor, this);
  projectionWindow_ = window;
  QAction* open = extras_->addAction(ProjectionWindow::kCaption);
  open->setObjectName("Projektion");
  actions_.Add("Projektion", open);
  connect(open, &QAction::triggered, [this, window] {
    window->Refresh();
    window->move(geometry().topRight() + QPoint(8, 0));
    window->show();
    window->raise();
  });
}

void MainWindow::BindRemote(RemotePanel& panel) {
  remoteWindow_ = new RemoteWindow(panel, this);
  QAction* open = extras_->addAction(RemotePanel::kCaption);
  open->setObjectName("Fernsteuerung");
  actions_.Add("Fernsteuerung", open);
  connect(open, &QAction::triggered, [this] {
    remoteWindow_->move(geometry().topRight() + QPoint(8, 0));
    remoteWindow_->show();
    remoteWindow_->raise();
  });
}

void MainWindow::ReleaseTools() {
  delete remoteWindow_;
  remoteWindow_ = nullptr;
  delete setListWindow_;
  setListWindow_ = nullptr;
  delete projectionWindow_;
  projectionWindow_ = nullptr;
}

void MainWindow::Bind(Tform1& f, ControlRegistry& registry) {
  form_ = &f;
  registry_ = &registry;
  BuildMenus(f);
  BindOutputView(f);
  ShowPlayer& p = f.Player;
  DeviceSelection& d = f.Devices;

  // Middle column: frame information, player, save range, scope.
  auto* status = Add<StatusImageView>("Statusfenster", kMiddle, 8, 255, 220, f.Statusfenster);
  status->setToolTip(QString::fromStdString(f.Statusfenster.Hint()));
  Add<ScrollBarWidget>("Framescroll", kMiddle, 234, 255, 17, p.Framescroll, Qt::Horizontal);
  Add<ButtonWidget>("Ruecklauf", kMiddle, 256, 60, 28, p.Ruecklauf);
  Add<ButtonWidget>("Play", kMiddle + 64, 256, 60, 28, p.Play);
  Add<ButtonWidget>("Stop", kMiddle + 128, 256, 60, 28, p.Stop);
  Add<ButtonWidget>("Vorlauf", kMiddle + 192, 256, 63, 28, p.Vorlauf);
  Add<ScrollBarWidget>("Irq_Speed", kMiddle, 290, 255, 17, p.Irq_Speed, Qt::Horizontal);
  Add<LabelWidget>("Speedanzeige", kMiddle, 309, 255, 18, p.Speedanzeige);
  Add<TrackBarWidget>("OGL_Effekt", kMiddle, 330, 160, 28, f.OGL_Effekt, Qt::Horizontal);
  Add<StatusImageView>("Savefrom", kMiddle, 364, 255, 60, f.Savefrom);
  Add<ButtonWidget>("Filestart", kMiddle, 428, 125, 26, f.Filestart);
  Add<ButtonWidget>("Fileende", kMiddle + 130, 428, 125, 26, f.Fileende);
  Add<StatusImageView>("Oszilloskop", kMiddle, 460, 255, 180, f.Oszilloskop);
  Add<ImageWidget>("Parameter", kMiddle, 646, 36, 40, f.Parameter);
  Add<ImageWidget>("Musik", kMiddle + 40, 646, 36, 40, f.Musik);
  Add<ImageWidget>("Parameter_Auf", kMiddle + 84, 646, 36, 40, f.Parameter_Auf);
  Add<ImageWidget>("Parameter_Zu", kMiddle + 84, 646, 36, 40, f.Parameter_Zu);
  progress_ = new QProgressBar(central_);
  progress_->setObjectName("Ladefortschritt");
  widgets_.Add("Ladefortschritt", progress_);
  progress_->setGeometry(kMiddle + 128, 656, 127, 20);
  progress_->setRange(0, 1000);
  progress_->hide();

  // Right column: device, calibration, power; controls lie in the panels' free bands.
  Add<StatusImageView>("DeviceFenster", kRight, 8, 250, 243, f.DeviceFenster);
  Add<ButtonWidget>("Suche_Device", kRight + 6, 8 + 53, 104, 24, d.Suche_Device);
  Add<ComboBoxWidget>("Ausgabedevice", kRight + 114, 8 + 53, 130, 24, d.Ausgabedevice);
  Add<StatusImageView>("Scanninfo", kRight, kScanninfoTop, 250, 430, f.Scanninfo);
  BindCalibration(f.Projectors.Output(f.Projectors.Selected()));
  f.OnSelectedOutputChanged = [this] {
    BindCalibration(form_->Projectors.Output(form_->Projectors.Selected()));
  };

  // The operator's keys.
  auto key = [this](QKeySequence sequence, Tform1::Key k) {
    auto* shortcut = new QShortcut(sequence, this);
    connect(shortcut, &QShortcut::activated, [this, k] { registry_->Key(k); });
  };
  key(QKeySequence(Qt::Key_Space), Tform1::Key::kSpace);
  key(QKeySequence(Qt::Key_Left), Tform1::Key::kLeft);
  key(QKeySequence(Qt::Key_Right), Tform1::Key::kRight);
  key(QKeySequence(Qt::Key_Escape), Tform1::Key::kEscape);

  f.OnShowNameChanged = [this](const std::string& path) {
    setWindowTitle("Lumarex - " + QString::fromStdString(BaseName(path)));
  };
  f.OnCloseWindow = [this] { close(); };
  // A long load shows the frame it has reached; the bar goes once the load is done.
  auto* progressTimer = new QTimer(this);
  connect(progressTimer, &QTimer::timeout, [this] { ShowProgress(); });
  progressTimer->start(250);
}

void MainWindow::BindOutputView(Tform1& f) {
  auto* simulation = new CheckBoxWidget(f.Scanner_Simulation, outputWindow_);
  simulation->setGeometry(8, 340 + 4, 150, 22);
  simulation->setObjectName("Scanner_Simulation");
  widgets_.Add("Scanner_Simulation", simulation);
  auto* kpps = new SpinBoxWidget(f.Scanner_Kpps, outputWindow_);
  kpps->setGeometry(162, 340 + 4, 90, 22);
  kpps->setSuffix(" kpps");
  kpps->setObjectName("Scanner_Kpps");
  widgets_.Add("Scanner_Kpps", kpps);
}

void MainWindow::BindCalibration(LaserAusgabe& o) {
  // The selected projector's controls: the widgets of the one before go.
  for (const char* name : {"Scanspeed", "Farbverschiebung", "Extrapoints", "Achse_X", "Achse_Y",
                           "Scanner_Invers", "Rot_to_Laser", "Gruen_to_Laser", "Blau_to_Laser",
                           "Dimmen_RGB", "Framewechsel", "Schloss_Auf", "Schloss_Zu"}) {
    delete widgets_.Find(name);
    widgets_.Remove(name);
  }
  Add<TrackBarWidget>("Scanspeed", kRight + 5, 8 + 100, 240, 24, o.Scanspeed, Qt::Horizontal);
  Add<TrackBarWidget>("Farbverschiebung", kRight + 5, 8 + 148, 110, 24, o.Farbverschiebung,
                      Qt::Horizontal);
  Add<TrackBarWidget>("Extrapoints", kRight + 125, 8 + 148, 120, 24, o.Extrapoints, Qt::Horizontal);
  Add<RangeSliderWidget>("Achse_X", kRight + 32, kScanninfoTop + 30, 210, 18, o.Achse_X,
                         Qt::Horizontal);
  Add<RangeSliderWidget>("Achse_Y", kRight + 12, kScanninfoTop + 47, 18, 210, o.Achse_Y,
                         Qt::Vertical);
  Add<TrackBarWidget>("Scanner_Invers", kRight + 4, kScanninfoTop + 272, 92, 24, o.Scanner_Invers,
                      Qt::Horizontal);
  Add<RangeSliderWidget>("Rot_to_Laser", kRight + 55, kScanninfoTop + 320, 140, 18, o.Rot_to_Laser,
                         Qt::Horizontal);
  Add<RangeSliderWidget>("Gruen_to_Laser", kRight + 55, kScanninfoTop + 345, 140, 18,
                         o.Gruen_to_Laser, Qt::Horizontal);
  Add<RangeSliderWidget>("Blau_to_Laser", kRight + 55, kScanninfoTop + 370, 140, 18,
                         o.Blau_to_Laser, Qt::Horizontal);
  Add<TrackBarWidget>("Dimmen_RGB", kRight + 45, kScanninfoTop + 404, 150, 24, o.Dimmen_RGB,
                      Qt::Horizontal);
  Add<ButtonWidget>("Framewechsel", kRight, kScanninfoTop + 436, 110, 26, o.Framewechsel);
  Add<ImageWidget>("Schloss_Auf", kRight + 118, kScanninfoTop + 434, 28, 32, o.Schloss_Auf);
  Add<ImageWidget>("Schloss_Zu", kRight + 118, kScanninfoTop + 434, 28, 32, o.Schloss_Zu);

  for (const char* name : {"Scanspeed", "Farbverschiebung", "Extrapoints", "Achse_X", "Achse_Y",
                           "Scanner_Invers", "Rot_to_Laser", "Gruen_to_Laser", "Blau_to_Laser",
                           "Dimmen_RGB", "Framewechsel", "Schloss_Auf", "Schloss_Zu"}) {
    if (isVisible()) widgets_.Find(name)->show();
  }
}

StatusImageView* MainWindow::StatusView(const QString& name) const {
  return dynamic_cast<StatusImageView*>(ControlWidget(name));
}

QWidget* MainWindow::ControlWidget(const QString& name) const {
  return widgets_.Find(name);
}

QAction* MainWindow::Action(const QString& name) const {
  return actions_.Find(name);
}

void MainWindow::ShowProgress() {
  if (form_ == nullptr) return;
  if (form_->Loading) {
    const Tform1::LoadProgress read = form_->Progress();
    // A new value would repaint the bar at once, and with the OpenGL panels in the window
    // every paint composes the whole window: the bar waits for the one paint of the events
    // processed next.
    progress_->setUpdatesEnabled(false);
    progress_->setValue(static_cast<int>(read.permille));
    progress_->setFormat(QString("Frame %1").arg(read.frames));
    progress_->setUpdatesEnabled(true);
    progress_->show();
  } else {
    progress_->hide();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Closing the window in any way first stops the frame clock and the output.
  if (form_ != nullptr) form_->FormClose();
  outputWindow_->hide();
  event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (form_ != nullptr && form_->TakesDroppedFiles() && event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (form_ == nullptr || urls.isEmpty() || !urls.front().isLocalFile()) return;
  if (form_->DropFile(urls.front().toLocalFile().toStdString())) event->acceptProposedAction();
}

}  // namespace lumarex::qt
