#include "qt/remote_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <string>

namespace lumarex::qt {

RemoteWindow::RemoteWindow(RemotePanel& panel, QWidget* parent)
    : QWidget(parent, Qt::Tool),
      panel_(panel),
      osc_(new QCheckBox("OSC, Port", this)),
      oscPort_(new QSpinBox(this)),
      artnet_(new QCheckBox("Art-Net", this)),
      sacn_(new QCheckBox("sACN", this)),
      midi_(new QCheckBox("MIDI", this)),
      states_(new QLabel(this)),
      messages_(new QListWidget(this)),
      learnTarget_(new QComboBox(this)),
      learnLine_(new QLabel(this)),
      clock_(new QComboBox(this)),
      timecode_(new QLineEdit(this)),
      tcStart_(new QLineEdit(this)),
      tcFreewheel_(new QSpinBox(this)),
      tcHourSelects_(new QCheckBox("Stunde wählt Eintrag", this)),
      clockLine_(new QLabel(this)) {
  setObjectName("Fernsteuerung");
  setWindowTitle(RemotePanel::kCaption);
  resize(420, 600);
  osc_->setObjectName("OSC");
  oscPort_->setObjectName("OSC_Port");
  oscPort_->setRange(1, 65535);
  oscPort_->setValue(panel.Settings().oscPort.value_or(RemotePanel::kDefaultOscPort));
  artnet_->setObjectName("ArtNet");
  sacn_->setObjectName("sACN");
  midi_->setObjectName("MIDI");
  states_->setObjectName("Zustand");
  messages_->setObjectName("Meldungen");
  learnTarget_->setObjectName("Lernziel");
  learnLine_->setObjectName("Lernen_Zustand");

  auto* layout = new QVBoxLayout(this);
  auto* switches = new QGridLayout;
  layout->addLayout(switches);
  switches->addWidget(osc_, 0, 0);
  switches->addWidget(oscPort_, 0, 1);
  switches->addWidget(artnet_, 1, 0);
  switches->addWidget(sacn_, 1, 1);
  switches->addWidget(midi_, 2, 0);
  layout->addWidget(states_);
  layout->addWidget(new QLabel("Letzte Befehle:", this));
  layout->addWidget(messages_);
  auto* learn = new QHBoxLayout;
  layout->addLayout(learn);
  learn->addWidget(learnTarget_, 1);
  auto* begin = new QPushButton("Lernen", this);
  auto* cancel = new QPushButton("Abbrechen", this);
  auto* save = new QPushButton("Speichern", this);
  begin->setObjectName("Lernen");
  cancel->setObjectName("Lernen_Abbrechen");
  save->setObjectName("Zuordnung_Speichern");
  learn->addWidget(begin);
  learn->addWidget(cancel);
  learn->addWidget(save);
  layout->addWidget(learnLine_);
  BuildClockOptions(layout);
  for (const std::string& target : panel.LearnTargets()) {
    learnTarget_->addItem(QString::fromStdString(target));
  }

  const auto onToggle = [this](QCheckBox* box, auto set) {
    connect(box, &QCheckBox::toggled, this, [this, set](bool on) {
      if (!refreshing_) (panel_.*set)(on);
    });
  };
  connect(oscPort_, &QSpinBox::valueChanged, this,
          [this](int port) { panel_.Settings().oscPort = static_cast<uint16_t>(port); });
  onToggle(osc_, &RemotePanel::SetOsc);
  onToggle(artnet_, &RemotePanel::SetArtnet);
  onToggle(sacn_, &RemotePanel::SetSacn);
  onToggle(midi_, &RemotePanel::SetMidi);
  connect(begin, &QPushButton::clicked, this, [this] {
    panel_.BeginLearn(static_cast<size_t>(std::max(0, learnTarget_->currentIndex())));
  });
  connect(cancel, &QPushButton::clicked, this, [this] { panel_.CancelLearn(); });
  connect(save, &QPushButton::clicked, this, [this] { panel_.SaveMidiMap(); });

  panel_.OnChanged = [this] { Refresh(); };
  connect(&poll_, &QTimer::timeout, this, [this] { panel_.Poll(); });
  poll_.start(250);
  Refresh();
}

void RemoteWindow::Refresh() {
  refreshing_ = true;
  osc_->setChecked(panel_.OscOn());
  artnet_->setChecked(panel_.ArtnetOn());
  sacn_->setChecked(panel_.SacnOn());
  midi_->setChecked(panel_.MidiOn());
  QString states;
  for (const std::string& line : panel_.StateLines()) {
    states += QString::fromStdString(line) + "\n";
  }
  states_->setText(states.trimmed());
  messages_->clear();
  for (const std::string& line : panel_.Messages()) {
    messages_->addItem(QString::fromStdString(line));
  }
  messages_->scrollToBottom();
  learnLine_->setText(QString::fromStdString(panel_.LearnLine()));
  clockLine_->setText(QString::fromStdString(panel_.ClockLine()));
  refreshing_ = false;
}

void RemoteWindow::BuildClockOptions(QVBoxLayout* layout) {
  clock_->setObjectName("Uhr");
  timecode_->setObjectName("Timecode");
  tcStart_->setObjectName("Timecode_Start");
  tcFreewheel_->setObjectName("Timecode_Freilauf");
  tcHourSelects_->setObjectName("Timecode_Stunde");
  clockLine_->setObjectName("Uhr_Zustand");
  clock_->addItem("System");
  clock_->addItem("Audio");
  timecode_->setPlaceholderText("artnet, mtc, ltc, ltc-file:PFAD");
  tcStart_->setInputMask("99:99:99:99");
  tcFreewheel_->setRange(0, 60000);
  tcFreewheel_->setSuffix(" ms");
  auto* apply = new QPushButton("Übernehmen", this);
  apply->setObjectName("Uhr_Uebernehmen");

  auto* grid = new QGridLayout;
  layout->addWidget(new QLabel("Uhr und Timecode:", this));
  layout->addLayout(grid);
  grid->addWidget(new QLabel("Uhr", this), 0, 0);
  grid->addWidget(clock_, 0, 1);
  grid->addWidget(new QLabel("Timecode", this), 1, 0);
  grid->addWidget(timecode_, 1, 1);
  grid->addWidget(new QLabel("Start", this), 2, 0);
  grid->addWidget(tcStart_, 2, 1);
  grid->addWidget(new QLabel("Freilauf", this), 3, 0);
  grid->addWidget(tcFreewheel_, 3, 1);
  grid->addWidget(tcHourSelects_, 4, 1);
  grid->addWidget(apply, 5, 1);
  layout->addWidget(clockLine_);

  const ClockSettings& draft = panel_.ClockDraft();
  clock_->setCurrentIndex(draft.audio ? 1 : 0);
  timecode_->setText(QString::fromStdString(draft.timecode));
  tcStart_->setText(QString::fromStdString(draft.start));
  tcFreewheel_->setValue(static_cast<int>(draft.freewheelMs));
  tcHourSelects_->setChecked(draft.hourSelects);
  connect(clock_, &QComboBox::currentIndexChanged, this,
          [this](int index) { panel_.ClockDraft().audio = index == 1; });
  connect(timecode_, &QLineEdit::textChanged, this, [this](const QString& text) {
    panel_.ClockDraft().timecode = text.trimmed().toStdString();
  });
  connect(tcStart_, &QLineEdit::textChanged, this,
          [this](const QString& text) { panel_.ClockDraft().start = text.toStdString(); });
  connect(tcFreewheel_, &QSpinBox::valueChanged, this,
          [this](int ms) { panel_.ClockDraft().freewheelMs = static_cast<uint32_t>(ms); });
  connect(tcHourSelects_, &QCheckBox::toggled, this,
          [this](bool on) { panel_.ClockDraft().hourSelects = on; });
  connect(apply, &QPushButton::clicked, this, [this] { panel_.ApplyClock(); });
}

}  // namespace lumarex::qt
