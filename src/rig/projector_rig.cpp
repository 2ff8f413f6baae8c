#include "rig/projector_rig.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "params/parameter_record.h"
#include "platform/atomic_file.h"
#include "projection/projection_file.h"
#include "widgets/scroll_bar.h"

namespace lumarex {

// A further output: its own calibration controls and transform, with the controls a parameter
// record sets beside the calibration (rate, preview effect, lock images), which nothing reads.
struct ProjectorRig::Further {
  Further(const ShowStore& store, JMLaser& dac, StatusImage& scanninfo, StatusImage& deviceFenster)
      : output(store, dac, scanninfo, deviceFenster) {
    output.WriteToHandle(&handle);
  }
  LaserAusgabe output;
  int32_t handle = -1;
  std::string device;
  bool enabled = true;
  uint32_t accepted = 0;
  uint32_t refused = 0;
  bool ready = false;  // of the frame being sent: its device was ready
  bool due = false;    // and its list prepared for the write
  ScrollBar rate{1, 50, 25};
  TrackBar effect{0, 3, 0};
  Image parameterOpen;
  Image parameterLocked;
  Image parameter;
};

ProjectorRig::ProjectorRig(const ShowStore& store, JMLaser& dac, LaserAusgabe& first,
                           const ParameterControls& firstControls, DeviceSelection& devices,
                           StatusImage& scanninfo, StatusImage& deviceFenster)
    : store_(store),
      dac_(dac),
      first_(first),
      firstControls_(firstControls),
      devices_(devices),
      scanninfo_(scanninfo),
      deviceFenster_(deviceFenster) {
  Projektor.SetHint("Projektor");
  Projektor.OnChange([this] {
    SyncCorners();
    ShowSelected();
    if (OnSelectionChanged) OnSelectionChanged();
  });
  for (size_t k = 0; k < Ecken.size(); ++k) {
    Ecken[k].SetRange(0, static_cast<int32_t>(Projection::kFieldMax));
    Ecken[k].SetHint(CornerName(k));
    Ecken[k].OnChange([this, k] { CornerMoved(k); });
  }
  SyncCorners();
}

ProjectorRig::~ProjectorRig() {
  Clear();
}

std::string ProjectorRig::CornerName(size_t index) {
  return "Ecke" + std::to_string(index / 2 + 1) + (index % 2 == 0 ? "_X" : "_Y");
}

ProjectorRig::Further& ProjectorRig::At(int k) {
  return *further_[static_cast<size_t>(k - 2)];
}
const ProjectorRig::Further& ProjectorRig::At(int k) const {
  return *further_[static_cast<size_t>(k - 2)];
}

LaserAusgabe& ProjectorRig::Output(int k) {
  if (k <= 1 || k > Count()) return first_;
  return At(k).output;
}

int ProjectorRig::AddOutput() {
  if (Count() >= kMaxOutputs) return 0;
  FinishPreparing();
  further_.push_back(std::make_unique<Further>(store_, dac_, scanninfo_, deviceFenster_));
  LaserAusgabe& o = further_.back()->output;
  o.OnWritten = [this, k = Count()] {
    if (OnWritten) OnWritten(k);
  };
  o.ApplyStartupSettings();
  Projektor.SetRange(1, Count());
  ShowSelected();
  Changed();
  return Count();
}

void ProjectorRig::RemoveOutput(int k) {
  if (k < 2 || k > Count()) return;
  const int selected = Selected();
  // The views let go of the output's controls before it goes: output 1 takes over.
  if (selected == k) Projektor.SetPosition(1);
  CloseDevice(At(k));
  FinishPreparing();
  further_.erase(further_.begin() + (k - 2));
  for (int j = k; j <= Count(); ++j) {
    At(j).output.OnWritten = [this, j] {
      if (OnWritten) OnWritten(j);
    };
  }
  UpdateCompanions();
  // The same output stays selected where it moved down.
  if (selected > k) Projektor.SetPosition(selected - 1);
  Projektor.SetRange(1, Count());
  Changed();
}

void ProjectorRig::Clear() {
  while (Count() > 1) RemoveOutput(Count());
}

bool ProjectorRig::Enabled(int k) const {
  return k <= 1 || k > Count() || At(k).enabled;
}

void ProjectorRig::SetEnabled(int k, bool enabled) {
  if (k < 2 || k > Count() || At(k).enabled == enabled) return;
  At(k).enabled = enabled;
  Changed();
}

std::string ProjectorRig::DeviceName(int k) const {
  if (k <= 1) {
    for (const DeviceEntry& e : devices_.DeviceTable) {
      if (e.IsOpen && e.Handle == dac_.DeviceHandle) return e.Name;
    }
    return {};
  }
  return k <= Count() ? At(k).device : std::string{};
}

int32_t ProjectorRig::Handle(int k) const {
  if (k <= 1) return dac_.DeviceHandle;
  return k <= Count() ? At(k).handle : -1;
}

std::optional<int32_t> ProjectorRig::FindDevice(const std::string& device) const {
  const int32_t count = std::clamp(devices_.DeviceCount, 0, DeviceSelection::kTableSize);
  if (!device.empty() &&
      std::all_of(device.begin(), device.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    const long index = device.size() <= 3 ? std::stol(device) : -1;
    if (index >= 0 && index < count) return static_cast<int32_t>(index);
    return std::nullopt;
  }
  for (int32_t i = 0; i < count; ++i) {
    const DeviceEntry& e = devices_.DeviceTable[static_cast<size_t>(i)];
    if (e.Name == device || e.FriendlyName == device) return i;
  }
  return std::nullopt;
}

std::string ProjectorRig::OpenDevice(int k, const std::string& device) {
  if (k < 1 || k > Count()) return "there is no output " + std::to_string(k);
  const std::optional<int32_t> index = FindDevice(device);
  if (!index) return "no device \"" + device + "\"";
  const std::string name = devices_.DeviceTable[static_cast<size_t>(*index)].Name;
  for (int j = 1; j <= Count(); ++j) {
    if (j != k && !name.empty() && DeviceName(j) == name) {
      return "device \"" + device + "\" is output " + std::to_string(j) + "'s";
    }
  }
  if (k == 1) {
    if (DeviceName(1) != name || dac_.DeviceHandle < 0) {
      // As the operator chooses it: the list is filled by a search the first time.
      if (devices_.Ausgabedevice.ItemCount() <= *index + 1) devices_.Search();
      devices_.Ausgabedevice.ChooseByOperator(*index + 1);
    }
    if (dac_.DeviceHandle < 0) return "device \"" + device + "\" could not be opened";
    dac_.jmLaserStartOutput(dac_.DeviceHandle);
    Changed();
    return {};
  }
  Further& f = At(k);
  CloseDevice(f);
  // The library's own name: the list shows it filtered to letters, digits and blanks.
  std::array<char, DeviceSelection::kTextBufferSize + 1> raw{};
  dac_.jmLaserGetDeviceListEntry(*index, raw.data(), DeviceSelection::kTextBufferSize);
  const int32_t handle = dac_.jmLaserOpenDevice(raw.data());
  if (handle < 0) {
    UpdateCompanions();
    Changed();
    return "device \"" + device + "\" could not be opened (" + std::to_string(handle) + ")";
  }
  f.handle = handle;
  f.device = name;
  dac_.jmLaserStartOutput(handle);
  UpdateCompanions();
  Changed();
  return {};
}

void ProjectorRig::CloseDevice(Further& f) {
  if (f.handle < 0) return;
  dac_.jmLaserStopOutput(f.handle);
  dac_.jmLaserCloseDevice(f.handle);
  f.handle = -1;
  f.device.clear();
}

void ProjectorRig::UpdateCompanions() {
  dac_.Companions.clear();
  for (const auto& f : further_) {
    if (f->handle >= 0) dac_.Companions.push_back(f->handle);
  }
}

ParameterControls ProjectorRig::Controls(int k) {
  if (k <= 1 || k > Count()) return firstControls_;
  Further& f = At(k);
  LaserAusgabe& o = f.output;
  return ParameterControls{
      o.Scanspeed,       o.Framewechsel,   o.FrameChangeMode, o.Farbverschiebung,
      o.Extrapoints,     o.Scanner_Invers, o.Achse_X,         o.Achse_Y,
      o.Rot_to_Laser,    o.Gruen_to_Laser, o.Blau_to_Laser,   o.Dimmen_RGB,
      o.PowerUnlocked,   f.rate,           f.effect,          f.parameterOpen,
      f.parameterLocked, f.parameter};
}

bool ProjectorRig::SetProjection(int k, std::optional<Projection> projection) {
  if (!Output(k).OutputProjection.Set(std::move(projection))) return false;
  if (k == Selected()) SyncCorners();
  Changed();
  return true;
}

const std::optional<Projection>& ProjectorRig::GetProjection(int k) {
  return Output(k).OutputProjection.Get();
}

void ProjectorRig::BeginFrame(uint16_t n) {
  helper_.Finish();
  preparing_.clear();
  for (const auto& f : further_) {
    f->due = false;
    f->ready = f->enabled && f->handle >= 0 && dac_.jmLaserIsDeviceReady(f->handle) == 1;
    if (f->ready) preparing_.push_back(f.get());
  }
  begun_ = n;
  if (preparing_.empty()) return;
  helper_.Start(preparing_.size(), [this, n](size_t k) {
    preparing_[k]->due = preparing_[k]->output.PrepareFrame(n);
  });
}

void ProjectorRig::FinishPreparing() {
  helper_.Finish();
  preparing_.clear();
  begun_.reset();
}

void ProjectorRig::SendFrame(uint16_t n) {
  if (begun_ != n) BeginFrame(n);
  helper_.Finish();
  begun_.reset();
  for (const auto& f : further_) {
    if (!f->enabled) continue;
    const bool sent = f->ready && (!f->due || f->output.WritePrepared());
    ++(sent ? f->accepted : f->refused);
  }
}

void ProjectorRig::SendStaged(std::span<const SequencePoint> staged) {
  for (const auto& f : further_) {
    if (!f->enabled || f->handle < 0 || dac_.jmLaserIsDeviceReady(f->handle) != 1) continue;
    const std::span<SequencePoint> into = f->output.StagedPoints();
    const size_t count = std::min(staged.size(), into.size());
    std::copy_n(staged.begin(), count, into.begin());
    f->output.TransformAndSend(static_cast<uint32_t>(count));
  }
}

uint32_t ProjectorRig::Accepted(int k) const {
  return k >= 2 && k <= Count() ? At(k).accepted : 0;
}

uint32_t ProjectorRig::Refused(int k) const {
  return k >= 2 && k <= Count() ? At(k).refused : 0;
}

void ProjectorRig::ResetCounters() {
  for (const auto& f : further_) f->accepted = f->refused = 0;
}

std::string ProjectorRig::Load(const std::string& path) {
  const RigRead read = ReadRigFile(path);
  if (!read.ok) return read.error;
  // Everything read and found first: a fault anywhere leaves the rig as it was.
  struct Prepared {
    std::optional<ParameterRecord> record;
    std::optional<std::optional<Projection>> projection;
  };
  std::vector<Prepared> prepared(read.outputs.size());
  std::vector<std::string> names;
  for (size_t k = 0; k < read.outputs.size(); ++k) {
    const RigEntry& e = read.outputs[k];
    const std::string field = "outputs[" + std::to_string(k) + "]";
    if (e.device) {
      const std::optional<int32_t> index = FindDevice(*e.device);
      if (!index) return field + ".device: no device \"" + *e.device + "\"";
      const std::string& name = devices_.DeviceTable[static_cast<size_t>(*index)].Name;
      if (std::find(names.begin(), names.end(), name) != names.end()) {
        return field + ".device: \"" + *e.device + "\" is another output's too";
      }
      names.push_back(name);
    }
    if (e.params) {
      ParameterRecord record;
      if (ReadParameterRecordFile(*e.params, record) != ParameterFileRead::kOk) {
        return field + ".params: cannot read " + *e.params + " (a .PRO file of 50 or 51 bytes)";
      }
      prepared[k].record = record;
    }
    if (e.projection) {
      const ProjectionRead projection = ReadProjectionFile(*e.projection);
      if (!projection.ok) return field + ".projection: " + projection.error;
      prepared[k].projection = projection.projection;
    }
  }

  // The further devices go first, so that choosing output 1's cannot meet one of them open.
  for (const auto& f : further_) CloseDevice(*f);
  UpdateCompanions();
  while (Count() > static_cast<int>(read.outputs.size())) RemoveOutput(Count());
  while (Count() < static_cast<int>(read.outputs.size())) AddOutput();
  std::string fault;
  for (int k = 1; k <= Count(); ++k) {
    const RigEntry& e = read.outputs[static_cast<size_t>(k - 1)];
    const Prepared& p = prepared[static_cast<size_t>(k - 1)];
    if (p.record) ApplyParameterRecord(Controls(k), *p.record, false);
    if (p.projection) SetProjection(k, *p.projection);
    SetEnabled(k, e.enabled);
    if (e.device) {
      const std::string result = OpenDevice(k, *e.device);
      if (!result.empty() && fault.empty()) fault = "output " + std::to_string(k) + ": " + result;
    }
    Output(k).LastEndX = 0;
    Output(k).LastEndY = 0;
  }
  ResetCounters();
  SyncCorners();
  ShowSelected();
  Changed();
  return fault;
}

std::string ProjectorRig::Save(const std::string& path) {
  namespace fs = std::filesystem;
  std::string stem = fs::path(path).filename().string();
  for (const char* ending : {".rig.json", ".json"}) {
    const std::string e = ending;
    if (stem.size() > e.size() && stem.compare(stem.size() - e.size(), e.size(), e) == 0) {
      stem.resize(stem.size() - e.size());
      break;
    }
  }
  const fs::path folder = fs::path(path).parent_path();
  std::vector<RigEntry> entries;
  for (int k = 1; k <= Count(); ++k) {
    RigEntry e;
    if (!DeviceName(k).empty()) e.device = DeviceName(k);
    const std::string params = stem + "." + std::to_string(k) + ".PRO";
    const ParameterRecord record = CaptureParameterRecord(Controls(k));
    AtomicFile file;
    if (!file.Open((folder / params).string()) ||
        !file.Write(record.bytes.data(), record.bytes.size()) || !file.Commit()) {
      return "cannot write " + (folder / params).string();
    }
    e.params = params;
    if (const std::optional<Projection>& projection = GetProjection(k)) {
      const std::string name = stem + "." + std::to_string(k) + ".projection.json";
      if (!WriteProjectionFile((folder / name).string(), *projection)) {
        return "cannot write " + (folder / name).string();
      }
      e.projection = name;
    }
    e.enabled = Enabled(k);
    entries.push_back(e);
  }
  if (!WriteRigFile(path, entries)) return "cannot write " + path;
  return {};
}

void ProjectorRig::SyncCorners() {
  const std::optional<Projection>& projection = GetProjection(Selected());
  const Projection identity;
  const Projection& p = projection ? *projection : identity;
  syncing_ = true;
  for (size_t k = 0; k < Ecken.size(); ++k) {
    const FieldPoint& c = p.corners[k / 2];
    Ecken[k].SetPositionQuietly(static_cast<int32_t>(std::lround(k % 2 == 0 ? c.x : c.y)));
  }
  syncing_ = false;
}

void ProjectorRig::CornerMoved(size_t index) {
  if (syncing_) return;
  const int k = Selected();
  Projection p = GetProjection(k).value_or(Projection{});
  FieldPoint& c = p.corners[index / 2];
  (index % 2 == 0 ? c.x : c.y) = Ecken[index].Position();
  // A corner that would fold the picture goes back where it was.
  if (!SetProjection(k, p)) SyncCorners();
}

void ProjectorRig::ShowSelected() {
  LaserAusgabe& o = Output(Selected());
  o.Achse_XChange();
  o.Achse_YChange();
  o.Scanner_InversChange();
  o.Dimmen_RGBChange();
  o.Rot_to_LaserChange();
  o.Gruen_to_LaserChange();
  o.Blau_to_LaserChange();
  o.ScanspeedChange();
  o.FarbverschiebungChange();
  o.ExtrapointsChange();
}

void ProjectorRig::Changed() {
  if (OnChanged) OnChanged();
}

}  // namespace lumarex
