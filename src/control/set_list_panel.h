#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "control/control_registry.h"
#include "platform/desktop_services.h"

namespace lumarex {

// The "Setliste" tool window without its window: the entries with the current one marked, a
// selection, and the buttons Go, Cue, Next, Previous, Add, Remove, move up and down and Save.
// Everything it does goes through the registry as the widget source. User-interface thread
// only.
class SetListPanel {
 public:
  SetListPanel(ControlRegistry& registry, DesktopServices& desktop);
  ~SetListPanel();
  SetListPanel(const SetListPanel&) = delete;
  SetListPanel& operator=(const SetListPanel&) = delete;

  static constexpr const char* kCaption = "Setliste";

  struct Row {
    std::string text;  // "▶ 1  a.ild" for the show on stage, "   2  b.ild" for the others
    bool current = false;
  };
  std::vector<Row> Rows() const;
  // The list's file, or "(neu)" for a list not saved yet.
  std::string Title() const;

  std::optional<size_t> Selected() const { return selected_; }
  void Select(std::optional<size_t> row);

  // The buttons; each acts on the selected row where it needs one (Go and Cue without a
  // selection take the current entry, else the first).
  bool Go();
  bool Cue();
  bool Next();
  bool Previous();
  // Add asks with the load dialog; shows dropped onto the window come through AddFiles. Shows
  // are appended, a set list is opened instead.
  void Add();
  void AddFiles(const std::vector<std::string>& paths);
  void Remove();
  void MoveUp();
  void MoveDown();
  // Save writes to the list's own file, or asks for one for a new list; SaveAs writes to the
  // file named. False when nothing was written (the old file then stands, and a failure is
  // told in a message).
  bool Save();
  bool SaveAs(const std::string& path);
  // A double-click on a row.
  bool Activate(size_t row);

  // Called whenever the rows, the title or the selection may have changed.
  std::function<void()> OnChanged;

 private:
  std::optional<size_t> Target() const;
  void Changed();

  ControlRegistry& registry_;
  DesktopServices& desktop_;
  std::optional<size_t> selected_;
  ControlRegistry::ListenerId stateListener_;
};

}  // namespace lumarex
