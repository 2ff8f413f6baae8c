#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lumarex {

// One output of a rig file. Every field is optional: an output without "device" keeps the
// device it has, without "params" its calibration, without "projection" its projection.
struct RigEntry {
  std::optional<std::string> device;      // a device's name, its friendly name, or its index
  std::optional<std::string> params;      // a projector parameter file (.PRO)
  std::optional<std::string> projection;  // a projection file (*.projection.json)
  bool enabled = true;
  friend bool operator==(const RigEntry&, const RigEntry&) = default;
};

// A rig file (*.rig.json):
//   {"outputs": [{"device": "name or index", "params": "A.PRO",
//                 "projection": "A.projection.json", "enabled": true}, ...]}
// one to eight outputs, the first being the main window's. Relative paths are taken from the
// rig file's folder; ReadRigFile answers them resolved.
struct RigRead {
  bool ok = false;
  std::string error;  // names the field at fault: "outputs[1].enabled: not true or false"
  std::vector<RigEntry> outputs;
};

inline constexpr size_t kMaxRigOutputs = 8;

RigRead ParseRig(const std::string& text);
RigRead ReadRigFile(const std::string& path);
// The rig's JSON; paths are written as given.
std::string RigJson(const std::vector<RigEntry>& outputs);
// Written whole or not at all; false when it could not be.
bool WriteRigFile(const std::string& path, const std::vector<RigEntry>& outputs);

}  // namespace lumarex
