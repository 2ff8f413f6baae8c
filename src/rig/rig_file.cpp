#include "rig/rig_file.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/atomic_file.h"

namespace lumarex {

namespace {

using nlohmann::json;

struct Fault {
  std::string text;
};

std::optional<std::string> Text(const json& entry, const char* key, const std::string& field) {
  if (!entry.contains(key)) return std::nullopt;
  const json& value = entry[key];
  if (!value.is_string() || value.get<std::string>().empty()) {
    throw Fault{field + "." + key + ": a name that is not empty"};
  }
  return value.get<std::string>();
}

RigEntry EntryFromJson(const json& entry, const std::string& field) {
  if (!entry.is_object()) throw Fault{field + ": an object"};
  for (const auto& [key, value] : entry.items()) {
    if (key != "device" && key != "params" && key != "projection" && key != "enabled") {
      throw Fault{field + "." + key + ": not a field of an output"};
    }
  }
  RigEntry e;
  if (entry.contains("device")) {
    const json& device = entry["device"];
    if (device.is_number_integer()) {
      if (device.get<int64_t>() < 0) throw Fault{field + ".device: an index of 0 or more"};
      e.device = std::to_string(device.get<int64_t>());
    } else {
      e.device = Text(entry, "device", field);
    }
  }
  e.params = Text(entry, "params", field);
  e.projection = Text(entry, "projection", field);
  if (entry.contains("enabled")) {
    if (!entry["enabled"].is_boolean()) throw Fault{field + ".enabled: true or false"};
    e.enabled = entry["enabled"].get<bool>();
  }
  return e;
}

}  // namespace

RigRead ParseRig(const std::string& text) {
  RigRead read;
  const json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded()) {
    read.error = "the file: not JSON";
    return read;
  }
  try {
    if (!doc.is_object()) throw Fault{"the file: a JSON object"};
    for (const auto& [key, value] : doc.items()) {
      if (key != "outputs") throw Fault{key + ": not a field of a rig"};
    }
    if (!doc.contains("outputs") || !doc["outputs"].is_array()) {
      throw Fault{"outputs: a list of outputs"};
    }
    const json& outputs = doc["outputs"];
    if (outputs.empty() || outputs.size() > kMaxRigOutputs) {
      throw Fault{"outputs: 1.." + std::to_string(kMaxRigOutputs) + " outputs"};
    }
    for (size_t k = 0; k < outputs.size(); ++k) {
      read.outputs.push_back(EntryFromJson(outputs[k], "outputs[" + std::to_string(k) + "]"));
    }
    read.ok = true;
  } catch (const Fault& fault) {
    read.outputs.clear();
    read.error = fault.text;
  }
  return read;
}

RigRead ReadRigFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    RigRead read;
    read.error = "cannot open " + path;
    return read;
  }
  std::ostringstream text;
  text << in.rdbuf();
  RigRead read = ParseRig(text.str());
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  const auto resolve = [&folder](std::optional<std::string>& file) {
    if (file && std::filesystem::path(*file).is_relative()) file = (folder / *file).string();
  };
  for (RigEntry& e : read.outputs) {
    resolve(e.params);
    resolve(e.projection);
  }
  return read;
}

std::string RigJson(const std::vector<RigEntry>& outputs) {
  json list = json::array();
  for (const RigEntry& e : outputs) {
    json entry = json::object();
    if (e.device) entry["device"] = *e.device;
    if (e.params) entry["params"] = *e.params;
    if (e.projection) entry["projection"] = *e.projection;
    entry["enabled"] = e.enabled;
    list.push_back(entry);
  }
  return json{{"outputs", list}}.dump(2) + "\n";
}

bool WriteRigFile(const std::string& path, const std::vector<RigEntry>& outputs) {
  const std::string text = RigJson(outputs);
  AtomicFile file;
  return file.Open(path) && file.Write(text.data(), text.size()) && file.Commit();
}

}  // namespace lumarex
