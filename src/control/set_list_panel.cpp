#include "control/set_list_panel.h"

#include <filesystem>

namespace lumarex {

namespace {
constexpr const char kFilter[] = "Setliste  *.m3u|*.m3u;*.m3u8";
}  // namespace

SetListPanel::SetListPanel(ControlRegistry& registry, DesktopServices& desktop)
    : registry_(registry),
      desktop_(desktop),
      stateListener_(registry.AddStateListener([this] { Changed(); })) {}

SetListPanel::~SetListPanel() {
  registry_.RemoveListener(stateListener_);
}

void SetListPanel::Changed() {
  const size_t count = registry_.List().Count();
  if (selected_ && *selected_ >= count) {
    selected_ = count == 0 ? std::nullopt : std::optional<size_t>(count - 1);
  }
  if (OnChanged) OnChanged();
}

std::vector<SetListPanel::Row> SetListPanel::Rows() const {
  const SetList& list = registry_.List();
  const size_t onStage = registry_.SetListEntry();
  std::vector<Row> rows;
  rows.reserve(list.Count());
  for (size_t n = 0; n < list.Count(); ++n) {
    const std::string name = std::filesystem::path(list.Entries()[n]).filename().string();
    const bool current = onStage == n + 1;
    rows.push_back({(current ? "\u25B6 " : "   ") + std::to_string(n + 1) + "  " + name, current});
  }
  return rows;
}

std::string SetListPanel::Title() const {
  const std::string& path = registry_.List().Path();
  return path.empty() ? std::string("(neu)") : path;
}

void SetListPanel::Select(std::optional<size_t> row) {
  selected_ = row && *row < registry_.List().Count() ? row : std::nullopt;
  if (OnChanged) OnChanged();
}

std::optional<size_t> SetListPanel::Target() const {
  if (selected_) return selected_;
  if (registry_.List().Empty()) return std::nullopt;
  return registry_.List().Current().value_or(0);
}

bool SetListPanel::Go() {
  const auto row = Target();
  return row && registry_.Go(*row + 1, CommandSource::kWidget);
}

bool SetListPanel::Cue() {
  const auto row = Target();
  return row && registry_.Cue(*row + 1, CommandSource::kWidget);
}

bool SetListPanel::Next() {
  return registry_.Next(CommandSource::kWidget);
}

bool SetListPanel::Previous() {
  return registry_.Previous(CommandSource::kWidget);
}

bool SetListPanel::Activate(size_t row) {
  Select(row);
  return Go();
}

void SetListPanel::Add() {
  if (const auto chosen = desktop_.ChooseFileToOpen("OpenDialog1", Tform1::LoadFilter())) {
    AddFiles({*chosen});
  }
}

void SetListPanel::AddFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (SetList::IsSetListPath(path)) {
      registry_.OpenSetList(path, CommandSource::kWidget);
      selected_.reset();
    } else {
      registry_.List().Add(std::filesystem::absolute(path).lexically_normal().string());
    }
  }
  Changed();
}

void SetListPanel::Remove() {
  if (!selected_) return;
  registry_.List().Remove(*selected_);
  Changed();
}

void SetListPanel::MoveUp() {
  if (selected_ && registry_.List().MoveUp(*selected_)) --*selected_;
  Changed();
}

void SetListPanel::MoveDown() {
  if (selected_ && registry_.List().MoveDown(*selected_)) ++*selected_;
  Changed();
}

bool SetListPanel::Save() {
  std::optional<std::string> path = registry_.List().Path();
  if (path->empty()) path = desktop_.ChooseFileToSave("Setliste", kFilter);
  return path && SaveAs(*path);
}

bool SetListPanel::SaveAs(const std::string& path) {
  const bool written = registry_.List().Write(path);
  if (!written) desktop_.ShowMessage("Setliste nicht gespeichert: " + path);
  Changed();
  return written;
}

}  // namespace lumarex
