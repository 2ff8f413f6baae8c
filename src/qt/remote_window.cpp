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
      learnLine_(new QLabel(this)) {
  setObjectName("Fernsteuerung");
  setWindowTitle(RemotePanel::kCaption);
  resize(420, 460);
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
  refreshing_ = false;
}

}  // namespace lumarex::qt
