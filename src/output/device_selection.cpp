#include "output/device_selection.h"

#include <algorithm>
#include <utility>

#include "output/device_text.h"

namespace lumarex {

DeviceSelection::DeviceSelection(JMLaser& dac, LaserAusgabe& output, StatusImage& deviceFenster)
    : dac_(dac), output_(output), deviceFenster_(deviceFenster) {
  Suche_Device.SetHint("Suche Ausgabemedium");
  Suche_Device.OnClick([this] { Search(); });
  Ausgabedevice.OnChange([this] { Select(Ausgabedevice.ItemIndex()); });
}

void DeviceSelection::ClearTable() {
  DeviceTable.fill(DeviceEntry{});
}

int32_t DeviceSelection::ProbedCount() const {
  return std::clamp(DeviceCount, 0, kTableSize);
}

void DeviceSelection::ReadNames(int32_t index) {
  nameBuffer_.back() = '\0';
  friendlyBuffer_.back() = '\0';
  dac_.jmLaserGetDeviceListEntry(index, nameBuffer_.data(), kTextBufferSize);
  dac_.jmLaserGetFriendlyName(nameBuffer_.data(), friendlyBuffer_.data(), kTextBufferSize);
}

void DeviceSelection::Probe(int32_t index) {
  DeviceEntry& entry = DeviceTable[static_cast<size_t>(index)];
  ReadNames(index);
  entry.Name = FilterDeviceText(nameBuffer_.data(), kTextBufferSize);
  entry.FriendlyName = FilterDeviceText(friendlyBuffer_.data(), kTextBufferSize);
  entry.Handle = dac_.jmLaserOpenDevice(nameBuffer_.data());
  entry.IsOpen = true;
  const int32_t speed = dac_.jmLaserGetMaxSpeed(entry.Handle);
  // An error code is no speed; shown as 0 K rather than as four thousand million.
  entry.MaxSpeed = speed > 0 ? static_cast<uint32_t>(speed) : 0;
  dac_.jmLaserCloseDevice(entry.Handle);
  entry.IsOpen = false;
}

void DeviceSelection::StartupProbe() {
  DeviceCount = dac_.jmLaserEnumerateDevices();
  dac_.DeviceHandle = -1;
  output_.ResetColourTables();
  ClearTable();
  if (DeviceCount <= 0) return;
  for (int32_t i = 0; i < ProbedCount(); ++i) Probe(i);
  ReadNames(0);
  OpenDevice(0);
  SelectedDeviceName = FilterDeviceText(friendlyBuffer_.data(), kTextBufferSize);
  output_.LastEndX = 0;
  output_.LastEndY = 0;
  output_.FrameChangeMode = 0;
}

void DeviceSelection::OpenDevice(int32_t index) {
  const int32_t handle = dac_.jmLaserOpenDevice(nameBuffer_.data());
  DeviceEntry& entry = DeviceTable[static_cast<size_t>(index)];
  // A failed open answers an error code, which is no handle: nothing is open then.
  entry.IsOpen = handle >= 0;
  entry.Handle = handle >= 0 ? handle : -10;
  dac_.DeviceHandle = handle >= 0 ? handle : -1;
}

void DeviceSelection::WriteSelected(const DeviceEntry& entry) {
  // A device that would not open is named with that mark in place of "Ausgewählt", so that
  // the operator does not take a dark laser for a chosen one.
  deviceFenster_.TextOut(
      10, 20,
      entry.IsOpen ? "Ausgewählt                       " : "Nicht geöffnet                   ");
}

void DeviceSelection::WriteDeviceCount() {
  // Without the library the count is the wrappers' -999; the operator reads "0 Stck".
  deviceFenster_.TextOut(130, 5, ": " + std::to_string(std::max(DeviceCount, 0)) + "  Stck");
}

void DeviceSelection::DrawStartupPanel() {
  deviceFenster_.TextOut(10, 5, "Ausgabedevice           ");
  WriteDeviceCount();
  // A failed enumeration (negative) finds nothing either.
  if (DeviceCount <= 0) {
    deviceFenster_.TextOut(10, 20, "Kein Ausgabedevice gefunden");
    return;
  }
  WriteSelected(DeviceTable[0]);
  deviceFenster_.TextOut(130, 20, ": " + DeviceTable[0].FriendlyName + "          ");
  deviceFenster_.TextOut(10, 35, "Max Ausgabespeed     ");
  deviceFenster_.TextOut(130, 35, ": " + std::to_string(DeviceTable[0].MaxSpeed / 1000) + " K");
}

void DeviceSelection::Search() {
  if (stopPlayback_) stopPlayback_();
  dac_.jmLaserStopOutput(dac_.DeviceHandle);

  Ausgabedevice.Clear();
  SelectedDeviceName = "Nix";
  DeviceCount = dac_.jmLaserEnumerateDevices();
  dac_.DeviceHandle = -1;
  for (DeviceEntry& entry : DeviceTable) {
    if (entry.IsOpen) dac_.jmLaserCloseDevice(entry.Handle);
  }
  ClearTable();

  if (DeviceCount > 0) {
    Ausgabedevice.AddItem("Bitte wählen ");
    for (int32_t i = 0; i < ProbedCount(); ++i) {
      Probe(i);
      Ausgabedevice.AddItem(DeviceTable[static_cast<size_t>(i)].FriendlyName);
    }
  }
  Ausgabedevice.SetItemIndex(0);

  deviceFenster_.TextOut(10, 5, "Ausgabedevice           ");
  WriteDeviceCount();
  // A failed enumeration answers a negative count; it found no device either.
  if (DeviceCount > 0) {
    deviceFenster_.TextOut(10, 20, "Ausgewählt                       ");
    deviceFenster_.TextOut(130, 20, ":  Noch keine          ");
    deviceFenster_.TextOut(10, 35, "Max Ausgabespeed                 ");
    deviceFenster_.TextOut(130, 35, ":  0 K                       ");
  } else {
    deviceFenster_.TextOut(10, 20, "Kein Ausgabedevice gefunden");
  }
}

void DeviceSelection::Select(int32_t item) {
  const int32_t index = item - 1;
  // Item 0 is the prompt, not a device; an index beyond what the search probed has no entry.
  if (index < 0 || index >= ProbedCount()) return;

  dac_.jmLaserStopOutput(dac_.DeviceHandle);
  dac_.jmLaserCloseDevice(dac_.DeviceHandle);
  for (DeviceEntry& entry : DeviceTable) entry.IsOpen = false;

  ReadNames(index);
  OpenDevice(index);
  const DeviceEntry& entry = DeviceTable[static_cast<size_t>(index)];
  dac_.jmLaserStartOutput(dac_.DeviceHandle);

  WriteSelected(entry);
  deviceFenster_.TextOut(130, 20, ": " + entry.FriendlyName + "   ");
  deviceFenster_.TextOut(10, 35, "Max Ausgabespeed     ");
  deviceFenster_.TextOut(130, 35, ": " + std::to_string(entry.MaxSpeed / 1000) + " K");
}

}  // namespace lumarex
