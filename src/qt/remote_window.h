#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>

#include "remote/remote_panel.h"

namespace lumarex::qt {

// The "Fernsteuerung" tool window bound to its panel model: a switch for OSC (with its port),
// Art-Net, sACN and MIDI, each input's state line, the last remote commands, and MIDI learn.
class RemoteWindow final : public QWidget {
 public:
  RemoteWindow(RemotePanel& panel, QWidget* parent);

 private:
  void Refresh();

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
  QTimer poll_;
  bool refreshing_ = false;
};

}  // namespace lumarex::qt
