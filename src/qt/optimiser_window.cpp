#include "qt/optimiser_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QScreen>
#include <tuple>

namespace lumarex::qt {

OptimiserWindow::OptimiserWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle("Lumarex - Optimiere auf Scannerpfade");
  setFixedSize(kWidth, kHeight);
  QPalette grey = palette();
  grey.setColor(QPalette::Window, QColor(150, 150, 150));
  setPalette(grey);
  // A Tahoma-like sans of 11 pixels.
  QFont small("Liberation Sans");
  small.setPixelSize(11);
  setFont(small);
  central_ = new QWidget(this);
  central_->setAutoFillBackground(true);
  setCentralWidget(central_);
  showFrame_ = new GlPanel(kComparisonView, central_);
  showFrame_->setGeometry(4, 4, 1000, 500);
  showFrame_->setObjectName("Show_Frame");
  widgets_.Add("Show_Frame", showFrame_);
  if (const QScreen* screen = QApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));
  }
}

OptimiserWindow::~OptimiserWindow() {
  for (MenuItem* item : boundMenus_) UnbindAction(*item);
}

template <typename W, typename... A>
W* OptimiserWindow::Add(const QString& name, int x, int y, int w, int h, A&&... args) {
  auto* widget = new W(std::forward<A>(args)..., central_);
  widget->setGeometry(x, y, w, h);
  widget->setObjectName(name);
  widgets_.Add(name, widget);
  return widget;
}

void OptimiserWindow::Bind(OptimiserSession& s) {
  session_ = &s;
  OptimiserControls& c = s.Controls;
  Add<StatusImageView>("Statusfenster", 8, 505, 320, 95, s.Statusfenster)
      ->setToolTip(QString::fromStdString(s.Statusfenster.Hint()));
  // Over the comparison view, in the top left corner of each half: the field's corners are
  // where frames rarely draw, and no text of the window has to move for them.
  for (auto [name, model, x] :
       {std::tuple<const char*, Label*, int>{"Scannerlast_Original", &s.Scannerlast_Original, 4},
        {"Scannerlast_Optimiert", &s.Scannerlast_Optimiert, 504}}) {
    Add<LabelWidget>(name, x + 6, 6, 150, 15, *model)->raise();
  }
  Add<ScrollBarWidget>("Bildposition", 392, 518, 249, 18, s.Bildposition, Qt::Horizontal);
  Add<StatusImageView>("Info_Center", 806, 504, 203, 193, c.Info_Center)
      ->setToolTip(QString::fromStdString(c.Info_Center.Hint()));
  Add<StatusImageView>("Sichtbarpoints", 592, 559, 103, 20, c.Sichtbarpoints);
  Add<StatusImageView>("Geblanktepoints", 592, 586, 103, 20, c.Geblanktepoints);
  Add<ImageWidget>("Optimiere_Frame", 4, 604, 55, 50, s.Optimiere_Frame)
      ->setCursor(Qt::ArrowCursor);
  Add<ImageWidget>("Optimiere_File", 272, 604, 55, 50, s.Optimiere_File)
      ->setCursor(Qt::ArrowCursor);
  Add<ButtonWidget>("Opti_Frame", 64, 604, 100, 32, s.Opti_Frame);
  Add<ButtonWidget>("Optimieren_File_Seek", 168, 604, 100, 32, s.Optimieren_File_Seek);
  Add<ButtonWidget>("Optimieren_File_Speed", 168, 637, 100, 32, s.Optimieren_File_Speed);
  Add<ButtonWidget>("Optimieren_Stop", 168, 670, 100, 32, s.Optimieren_Stop);
  Add<TrackBarWidget>("Interpolation_Seek", 690, 505, 120, 26, c.Interpolation_Seek,
                      Qt::Horizontal);
  Add<TrackBarWidget>("Interpolation_Geblankt", 690, 532, 120, 26, c.Interpolation_Geblankt,
                      Qt::Horizontal);
  Add<TrackBarWidget>("Seek_Start", 500, 557, 100, 26, c.Seek_Start, Qt::Horizontal);
  Add<TrackBarWidget>("Seek_End", 690, 557, 100, 26, c.Seek_End, Qt::Horizontal);
  Add<TrackBarWidget>("Blank_Start", 500, 582, 100, 26, c.Blank_Start, Qt::Horizontal);
  Add<TrackBarWidget>("Blank_End", 690, 582, 100, 26, c.Blank_End, Qt::Horizontal);
  Add<TrackBarWidget>("Suchraster", 690, 613, 60, 26, c.Suchraster, Qt::Horizontal);
  Add<TrackBarWidget>("Min_Points", 690, 640, 80, 26, c.Min_Points, Qt::Horizontal);
  Add<TrackBarWidget>("Richtungsrechenfaktor", 690, 667, 80, 26, c.Richtungsrechenfaktor,
                      Qt::Horizontal);
  Add<TrackBarWidget>("Minuspunkte", 536, 608, 60, 26, c.Minuspunkte, Qt::Horizontal);

  QMenu* files = menuBar()->addMenu(QString::fromStdString(s.Files.Caption()));
  for (auto [name, model] : {std::pair<const char*, MenuItem*>{"Zurueck", &s.Zurueck},
                             {"Save_Ini", &s.Save_Ini},
                             {"Load_Ini", &s.Load_Ini}}) {
    auto* action = new QAction(files);
    action->setObjectName(name);
    files->addAction(action);
    BindAction(*model, *action);
    boundMenus_.push_back(model);
    actions_.Add(name, action);
  }
}

QWidget* OptimiserWindow::ControlWidget(const QString& name) const {
  return widgets_.Find(name);
}

QAction* OptimiserWindow::Action(const QString& name) const {
  return actions_.Find(name);
}

void OptimiserWindow::closeEvent(QCloseEvent* event) {
  // Closing the window is the way back to the player, as "Exit to Player" is.
  event->ignore();
  if (session_ != nullptr && isVisible()) session_->Zurueckclick();
}

}  // namespace lumarex::qt
