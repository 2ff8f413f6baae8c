#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include "remote/remote_panel.h"

namespace lumarex::qt {

// The "Fernsteuerung" tool window bound to its panel model: a switch for OSC (with its port),
// Art-Net, sACN and MIDI, each input's state line, the last remote commands, MIDI learn, and
// the show's clock (system, audio or timecode, with its options and its line of state).
class RemoteWindow final : public QWidget {
 public:
  RemoteWindow(RemotePanel& panel, QWidget* parent);

 private:
  void Refresh();
  void BuildClockOptions(QVBoxLayout* layout);

  RemotePanel& panel_;
  QCheckBox* osc_;
  QSpinBox* oscPort_;
  QCheckBox* artnet_;
  QCheckBox* sacn_;
  QCheckBox* midi_;
  QLabel* states_;
  QListWidget* messages_;
  QComboBox* learnTarget_;
  QLabel* learnLine_;
  QComboBox* clock_;
  QLineEdit* timecode_;
  QLineEdit* tcStart_;
  QSpinBox* tcFreewheel_;
  QCheckBox* tcHourSelects_;
  QLabel* clockLine_;
  QTimer poll_;
  bool refreshing_ = false;
};

}  // namespace lumarex::qt
