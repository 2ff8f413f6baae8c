#include "control/control_registry.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "show/show_files.h"

namespace lumarex {

// One named value: a track bar or scroll bar, a thumb of a range slider, or a drop-down list.
struct ControlRegistry::Binding {
  std::string name;
  ValueControl* value = nullptr;
  RangeSlider* range = nullptr;
  bool left = false;
  ComboBox* list = nullptr;

  const Control& Model() const {
    if (value) return *value;
    if (range) return *range;
    return *list;
  }
  int32_t Min() const {
    if (value) return value->Min();
    if (range) return range->Min();
    return 0;
  }
  int32_t Max() const {
    if (value) return value->Max();
    if (range) return range->Max();
    return std::max(0, list->ItemCount() - 1);
  }
  int32_t Get() const {
    if (value) return value->Position();
    if (range) return left ? range->Left() : range->Right();
    return list->ItemIndex();
  }
  void MoveByOperator(int32_t position) const {
    if (value) {
      value->MoveByOperator(position);
    } else if (range) {
      left ? range->MoveLeftByOperator(position) : range->MoveRightByOperator(position);
    } else {
      list->ChooseByOperator(std::clamp(position, Min(), Max()));
    }
  }
};

const char* SourceName(CommandSource source) {
  switch (source) {
    case CommandSource::kKey:
      return "key";
    case CommandSource::kWidget:
      return "widget";
    case CommandSource::kOsc:
      return "osc";
    case CommandSource::kArtnet:
      return "artnet";
    case CommandSource::kSacn:
      return "sacn";
    case CommandSource::kMidi:
      return "midi";
    case CommandSource::kTimecode:
      return "timecode";
  }
  return "widget";
}

ControlRegistry::ControlRegistry(Tform1& form, UiDispatcher& dispatcher)
    : form_(form), dispatcher_(dispatcher) {
  BindCalibration(form.Output);
  const auto value = [this](std::string name, ValueControl& control) {
    bindings_.push_back({std::move(name), &control, nullptr, false, nullptr});
  };
  value("Irq_Speed", form.Player.Irq_Speed);
  value("Framescroll", form.Player.Framescroll);
  value("OGL_Effekt", form.OGL_Effekt);
  bindings_.push_back({"Ausgabedevice", nullptr, nullptr, false, &form.Devices.Ausgabedevice});
  value("Projektor", form.Projectors.Projektor);
  for (size_t k = 0; k < form.Projectors.Ecken.size(); ++k) {
    value(ProjectorRig::CornerName(k), form.Projectors.Ecken[k]);
  }

  form.Player.OnShowEnded = [this] { ShowEnded(); };
  form.Wiederholen.OnClick([this] {
    form_.Wiederholen.SetChecked(!form_.Wiederholen.Checked());
    SyncRepeat();
  });
  SyncRepeat();
}

ControlRegistry::~ControlRegistry() {
  *alive_ = false;
  form_.Player.OnShowEnded = nullptr;
  form_.Wiederholen.OnClick([this] {
    form_.Wiederholen.SetChecked(!form_.Wiederholen.Checked());
    form_.Player.Repeat = form_.Wiederholen.Checked();
  });
  form_.Player.Repeat = form_.Wiederholen.Checked();
}

void ControlRegistry::BindCalibration(LaserAusgabe& out) const {
  std::vector<Binding> calibration;
  const auto value = [&calibration](std::string name, ValueControl& control) {
    calibration.push_back({std::move(name), &control, nullptr, false, nullptr});
  };
  const auto range = [&calibration](const std::string& name, RangeSlider& slider) {
    calibration.push_back({name + ".Left", nullptr, &slider, true, nullptr});
    calibration.push_back({name + ".Right", nullptr, &slider, false, nullptr});
  };
  value("Scanspeed", out.Scanspeed);
  range("Achse_X", out.Achse_X);
  range("Achse_Y", out.Achse_Y);
  value("Farbverschiebung", out.Farbverschiebung);
  value("Extrapoints", out.Extrapoints);
  value("Scanner_Invers", out.Scanner_Invers);
  range("Rot_to_Laser", out.Rot_to_Laser);
  range("Gruen_to_Laser", out.Gruen_to_Laser);
  range("Blau_to_Laser", out.Blau_to_Laser);
  value("Dimmen_RGB", out.Dimmen_RGB);
  if (bindings_.size() < calibration.size()) {
    bindings_.insert(bindings_.begin(), calibration.begin(), calibration.end());
  } else {
    std::copy(calibration.begin(), calibration.end(), bindings_.begin());
  }
  boundOutput_ = &out;
}

const ControlRegistry::Binding* ControlRegistry::FindBinding(std::string_view name) const {
  // The calibration controls are the selected projector's, as the window shows them.
  LaserAusgabe& selected = form_.Projectors.Output(form_.Projectors.Selected());
  if (&selected != boundOutput_) BindCalibration(selected);
  const auto found = std::find_if(bindings_.begin(), bindings_.end(),
                                  [&](const Binding& b) { return b.name == name; });
  return found == bindings_.end() ? nullptr : &*found;
}

std::vector<NamedControl> ControlRegistry::Controls() const {
  std::vector<NamedControl> controls;
  controls.reserve(bindings_.size());
  for (const Binding& b : bindings_) controls.push_back({b.name, b.Min(), b.Max()});
  return controls;
}

std::optional<NamedControl> ControlRegistry::FindControl(std::string_view name) const {
  const Binding* b = FindBinding(name);
  if (!b) return std::nullopt;
  return NamedControl{b->name, b->Min(), b->Max()};
}

std::optional<int32_t> ControlRegistry::Value(std::string_view name) const {
  const Binding* b = FindBinding(name);
  if (!b) return std::nullopt;
  return b->Get();
}

bool ControlRegistry::Set(std::string_view name, int32_t value, CommandSource source) {
  const Binding* b = FindBinding(name);
  const bool takes = b && !form_.Loading && b->Model().TakesInput();
  if (takes) b->MoveByOperator(value);
  return Record(source, std::string(name), std::to_string(value), takes);
}

bool ControlRegistry::Record(CommandSource source, std::string command, std::string argument,
                             bool done) {
  const CommandRecord record{source, std::move(command), std::move(argument), done};
  // A listener may add or remove listeners: call the ones there now, from a copy.
  const auto listeners = commandListeners_;
  for (const auto& [id, listener] : listeners) listener(record);
  StateChanged();
  return done;
}

void ControlRegistry::StateChanged() {
  const auto listeners = stateListeners_;
  for (const auto& [id, listener] : listeners) listener();
}

ControlRegistry::ListenerId ControlRegistry::AddCommandListener(
    std::function<void(const CommandRecord&)> listener) {
  commandListeners_.emplace_back(nextListener_, std::move(listener));
  return nextListener_++;
}

ControlRegistry::ListenerId ControlRegistry::AddStateListener(std::function<void()> listener) {
  stateListeners_.emplace_back(nextListener_, std::move(listener));
  return nextListener_++;
}

void ControlRegistry::RemoveListener(ListenerId id) {
  std::erase_if(commandListeners_, [id](const auto& l) { return l.first == id; });
  std::erase_if(stateListeners_, [id](const auto& l) { return l.first == id; });
}

bool ControlRegistry::Play(CommandSource source) {
  bool done = false;
  if (!form_.Loading && !Playing() && form_.Player.Play.TakesInput()) {
    form_.Player.Play.ClickByOperator();
    done = Playing();
  }
  return Record(source, "Play", {}, done);
}

bool ControlRegistry::Stop(CommandSource source) {
  return Record(source, "Stop", {}, StopIfPlaying());
}

bool ControlRegistry::StopIfPlaying() {
  if (form_.Loading || !Playing()) return false;
  form_.Player.Stop.ClickByOperator();
  return true;
}

bool ControlRegistry::Blackout(CommandSource source) {
  // A load has stopped the output already; otherwise Escape's stop.
  if (!form_.Loading) form_.Player.HaltPlayback();
  return Record(source, "Blackout", {}, true);
}

bool ControlRegistry::Ruecklauf(CommandSource source) {
  const bool takes = !form_.Loading && form_.Player.Ruecklauf.TakesInput();
  if (takes) form_.Player.Ruecklauf.ClickByOperator();
  return Record(source, "Ruecklauf", {}, takes);
}

bool ControlRegistry::Vorlauf(CommandSource source) {
  const bool takes = !form_.Loading && form_.Player.Vorlauf.TakesInput();
  if (takes) form_.Player.Vorlauf.ClickByOperator();
  return Record(source, "Vorlauf", {}, takes);
}

bool ControlRegistry::Key(Tform1::Key key) {
  // The key does what it always did; the registry names it and tells its listeners.
  const char* command = "Blackout";
  switch (key) {
    case Tform1::Key::kSpace:
      command = Playing() ? "Stop" : "Play";
      break;
    case Tform1::Key::kLeft:
      command = "Ruecklauf";
      break;
    case Tform1::Key::kRight:
      command = "Vorlauf";
      break;
    case Tform1::Key::kEscape:
      break;
  }
  return Record(CommandSource::kKey, command, {}, form_.KeyPressed(key));
}

bool ControlRegistry::Load(const std::string& path, CommandSource source) {
  bool done = false;
  if (!form_.Loading) {
    if (SetList::IsSetListPath(path)) {
      return OpenSetList(path, source).ok;
    }
    StopIfPlaying();
    form_.LoadFile(path);
    done = LoadSucceeded(form_.Store.IoStatus) && form_.Store.FrameCount > 0;
    SyncRepeat();
  }
  return Record(source, "Load", path, done);
}

SetList::ReadResult ControlRegistry::OpenSetList(const std::string& path, CommandSource source) {
  SetList::ReadResult result{false, "a show is loading"};
  if (!form_.Loading) {
    result = list_.Read(path);
    if (result.ok && !list_.Empty()) LoadEntry(0);
  }
  Record(source, "Load", path, result.ok);
  return result;
}

bool ControlRegistry::LoadEntry(size_t index) {
  if (form_.Loading || index >= list_.Count()) return false;
  StopIfPlaying();
  list_.SetCurrent(index);
  form_.LoadFile(list_.Entries()[index]);
  SyncRepeat();
  return LoadSucceeded(form_.Store.IoStatus) && form_.Store.FrameCount > 0;
}

bool ControlRegistry::Cue(size_t entry, CommandSource source) {
  const bool done = entry >= 1 && LoadEntry(entry - 1);
  return Record(source, "Cue", std::to_string(entry), done);
}

bool ControlRegistry::Go(size_t entry, CommandSource source) {
  bool done = entry >= 1 && LoadEntry(entry - 1);
  if (done) {
    form_.Player.Play.ClickByOperator();
    done = Playing();
  }
  return Record(source, "Go", std::to_string(entry), done);
}

bool ControlRegistry::Next(CommandSource source) {
  const auto next = list_.Next(form_.Wiederholen.Checked());
  if (!next) return Record(source, "Next", {}, false);
  return Playing() ? Go(*next + 1, source) : Cue(*next + 1, source);
}

bool ControlRegistry::Previous(CommandSource source) {
  const auto previous = list_.Previous(form_.Wiederholen.Checked());
  if (!previous) return Record(source, "Previous", {}, false);
  return Playing() ? Go(*previous + 1, source) : Cue(*previous + 1, source);
}

bool ControlRegistry::Playing() const {
  return form_.Player.Playing();
}

uint16_t ControlRegistry::Frame() const {
  return form_.CurrentFrame;
}

std::string ControlRegistry::ShowName() const {
  if (form_.Store.FrameCount == 0) return {};
  return std::filesystem::path(form_.Store.ShowFileName).filename().string();
}

size_t ControlRegistry::SetListEntry() const {
  return FollowsList() ? *list_.Current() + 1 : 0;
}

// The show on stage is the set list's current entry (not a file loaded by hand since).
bool ControlRegistry::FollowsList() const {
  const auto current = list_.Current();
  return current && form_.Store.FrameCount > 0 &&
         form_.Store.ShowFileName == list_.Entries()[*current];
}

void ControlRegistry::SyncRepeat() {
  form_.Player.Repeat = form_.Wiederholen.Checked() && !FollowsList();
}

// Called inside the frame clock's tick, before the player halts: the next entry is loaded
// once the tick is over.
void ControlRegistry::ShowEnded() {
  if (!FollowsList()) {
    dispatcher_.Post([this, alive = alive_] {
      if (*alive) StateChanged();
    });
    return;
  }
  dispatcher_.Post([this, alive = alive_] {
    if (!*alive) return;
    const auto next = list_.Next(form_.Wiederholen.Checked());
    if (next && LoadEntry(*next)) form_.Player.Play.ClickByOperator();
    StateChanged();
  });
}

}  // namespace lumarex
