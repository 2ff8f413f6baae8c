#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "control/set_list.h"
#include "mainwindow/tform1.h"
#include "platform/ui_dispatcher.h"

namespace lumarex {

// Where a command came from: the window's keys and widgets, a remote input, or the hour of
// the timecode choosing the set list entry.
enum class CommandSource : uint8_t { kKey, kWidget, kOsc, kArtnet, kSacn, kMidi, kTimecode };
// "key", "widget", "osc", "artnet", "sacn", "midi", "timecode".
const char* SourceName(CommandSource source);

// A value of the main window that an input may set, by its control's name. A range slider
// gives two of them, NAME.Left and NAME.Right. The range is the control's at the time asked
// (the frame scroll bar's follows the show, the device list's the devices found).
struct NamedControl {
  std::string name;
  int32_t min = 0;
  int32_t max = 0;
};

// What a command did, for the log and the event stream.
struct CommandRecord {
  CommandSource source = CommandSource::kWidget;
  std::string command;   // "Play", "Go", ..., or a control's name
  std::string argument;  // the value, entry or path; empty when the command takes none
  bool done = false;     // false: refused (during a load, a control taking no input, ...)
};

// The one place through which keys, widgets and remote inputs act on the main window: every
// control model by its name, the player's commands and the set list. A control is set as the
// operator would move its widget (so clamping, the power lock and the panels' texts are the
// widget's), a command is the button or key it stands for. User-interface thread only: inputs
// on other threads post to the dispatcher and call from there.
//
// The registry follows the set list: when a show played from it ends, the next entry is loaded
// and played (from the start again at the end of the list when Extras > Wiederholen is on).
// Meanwhile Wiederholen repeats the list, not the show. It takes the player's OnShowEnded and
// the Wiederholen menu item for that, so one registry serves one window.
class ControlRegistry {
 public:
  ControlRegistry(Tform1& form, UiDispatcher& dispatcher);
  ~ControlRegistry();
  ControlRegistry(const ControlRegistry&) = delete;
  ControlRegistry& operator=(const ControlRegistry&) = delete;

  // --- Controls ---
  std::vector<NamedControl> Controls() const;
  std::optional<NamedControl> FindControl(std::string_view name) const;
  std::optional<int32_t> Value(std::string_view name) const;
  // False when the name is unknown or the control takes no input now (hidden, disabled by the
  // power lock, during a load). The value is clamped to the control's range.
  bool Set(std::string_view name, int32_t value, CommandSource source);

  // --- Commands ---
  bool Play(CommandSource source);
  bool Stop(CommandSource source);
  // Escape: the player stopped and the laser dark at once, during the start animation too.
  bool Blackout(CommandSource source);
  // Twenty frames back or on, as the buttons "<< 20" and "20 >>".
  bool Ruecklauf(CommandSource source);
  bool Vorlauf(CommandSource source);
  // "Load File" of a path (a running show is stopped first); a set list (.m3u, .m3u8) is read
  // instead and its first entry cued. False when nothing playable was loaded.
  bool Load(const std::string& path, CommandSource source);
  // The set list's entries, counted from 1: Go loads entry n and plays it, Cue loads it only.
  bool Go(size_t entry, CommandSource source);
  bool Cue(size_t entry, CommandSource source);
  // The neighbour of the current entry, played when the show plays, cued otherwise.
  bool Next(CommandSource source);
  bool Previous(CommandSource source);
  // The window's keys: Space toggles Play and Stop, Left and Right step, Escape is Blackout.
  // True when the key did something, as Tform1::KeyPressed.
  bool Key(Tform1::Key key);

  // --- The set list ---
  SetList& List() { return list_; }
  const SetList& List() const { return list_; }
  // Reads a set list and cues its first entry (none for an empty list); the read's error text
  // when it fails, the list then as it was.
  SetList::ReadResult OpenSetList(const std::string& path, CommandSource source);

  // --- State, as the feedback of remote inputs reports it ---
  bool Playing() const;
  uint16_t Frame() const;
  // The file name of the show loaded (without its folder); empty when none.
  std::string ShowName() const;
  // The set list entry on show, counted from 1; 0 when the show is not the current entry.
  size_t SetListEntry() const;

  // --- Listeners (the log, the event stream, the feedback of remote inputs, the windows) ---
  using ListenerId = uint64_t;
  // Called for every command and control set, done or refused.
  ListenerId AddCommandListener(std::function<void(const CommandRecord&)> listener);
  // Called when the show, the set list entry or the playing state may have changed (after a
  // command, and when a show ends); the frame is polled.
  ListenerId AddStateListener(std::function<void()> listener);
  void RemoveListener(ListenerId id);

 private:
  struct Binding;
  const Binding* FindBinding(std::string_view name) const;
  // The calibration controls' bindings, first in the list, on `out`.
  void BindCalibration(LaserAusgabe& out) const;
  bool Record(CommandSource source, std::string command, std::string argument, bool done);
  bool LoadEntry(size_t index);
  bool StopIfPlaying();
  bool FollowsList() const;
  void SyncRepeat();
  void ShowEnded();
  void StateChanged();

  Tform1& form_;
  UiDispatcher& dispatcher_;
  SetList list_;
  // Rebound when the selected projector changes, which a lookup notices.
  mutable std::vector<Binding> bindings_;
  mutable LaserAusgabe* boundOutput_ = nullptr;
  ListenerId nextListener_ = 1;
  std::vector<std::pair<ListenerId, std::function<void(const CommandRecord&)>>> commandListeners_;
  std::vector<std::pair<ListenerId, std::function<void()>>> stateListeners_;
  // Posted tasks find the registry gone through this.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace lumarex
