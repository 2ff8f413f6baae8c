#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "output/jm_laser.h"
#include "output/laser_ausgabe.h"
#include "widgets/button.h"
#include "widgets/combo_box.h"
#include "widgets/status_image.h"

namespace lumarex {

struct DeviceEntry {
  int32_t Handle = -10;  // -10 in an empty entry
  std::string Name;
  std::string FriendlyName;
  uint32_t MaxSpeed = 0;  // points per second
  bool IsOpen = false;
};

// Finds the devices the driver library knows, lists them in the drop-down Ausgabedevice,
// opens the one the operator chooses and sets JMLaser::DeviceHandle. At start-up it opens the
// first device by itself, so a single-device setup works without a choice. The texts go to
// the status image DeviceFenster. User-interface thread only.
class DeviceSelection {
 public:
  static constexpr int32_t kTableSize = 17;
  static constexpr int32_t kTextBufferSize = 100;

  DeviceSelection(JMLaser& dac, LaserAusgabe& output, StatusImage& deviceFenster);
  DeviceSelection(const DeviceSelection&) = delete;
  DeviceSelection& operator=(const DeviceSelection&) = delete;

  ComboBox Ausgabedevice;
  Button Suche_Device{"Suche Device"};

  int32_t DeviceCount = 0;
  std::string SelectedDeviceName;
  std::array<DeviceEntry, kTableSize> DeviceTable{};

  // Program start, before the main window: enumerates, probes every device for its speed and
  // opens device 0.
  void StartupProbe();
  // The device part of the main window's first drawing of DeviceFenster.
  void DrawStartupPanel();
  // Suche_Device: stops playback (through the hook) and the output, closes what is open,
  // enumerates and probes anew and fills Ausgabedevice, item i + 1 standing for device i.
  void Search();
  // The change of Ausgabedevice: item k opens device k - 1. Item 0 ("Bitte wählen ") stands
  // for no device and does nothing.
  void Select(int32_t item);

  // Set by the main window: stops the player, the start animation and the music.
  void SetStopPlayback(std::function<void()> stopPlayback) {
    stopPlayback_ = std::move(stopPlayback);
  }

 private:
  void ClearTable();
  void WriteDeviceCount();
  void ReadNames(int32_t index);
  void Probe(int32_t index);
  // Opens the device whose name ReadNames read last as entry `index` and the open device.
  void OpenDevice(int32_t index);
  void WriteSelected(const DeviceEntry& entry);
  int32_t ProbedCount() const;

  JMLaser& dac_;
  LaserAusgabe& output_;
  StatusImage& deviceFenster_;
  std::function<void()> stopPlayback_;
  // One spare byte beyond what the library may fill keeps every answer terminated.
  std::array<char, kTextBufferSize + 1> nameBuffer_{};
  std::array<char, kTextBufferSize + 1> friendlyBuffer_{};
};

}  // namespace lumarex
