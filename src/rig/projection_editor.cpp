#include "rig/projection_editor.h"

#include <algorithm>
#include <cmath>

#include "projection/projection_file.h"

namespace lumarex {

namespace {

double Distance(FieldPoint a, FieldPoint b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

FieldPoint InField(FieldPoint p) {
  return {std::clamp(p.x, 0.0, Projection::kFieldMax), std::clamp(p.y, 0.0, Projection::kFieldMax)};
}

}  // namespace

Projection ProjectionEditor::Current() const {
  return rig_.GetProjection(rig_.Selected()).value_or(Projection{});
}

bool ProjectionEditor::Apply(Projection p) {
  return rig_.SetProjection(rig_.Selected(), std::move(p));
}

ProjectionEditor::Handle ProjectionEditor::HandleAt(FieldPoint at, double radius) const {
  const Projection p = Current();
  Handle best;
  double nearest = radius;
  const auto consider = [&](FieldPoint where, Handle h) {
    const double d = Distance(where, at);
    if (d <= nearest) {
      nearest = d;
      best = h;
    }
  };
  for (size_t k = 0; k < 4; ++k) consider(p.corners[k], {HandleKind::kCorner, 0, k});
  if (best.kind != HandleKind::kNone) return best;
  for (size_t m = 0; m < p.masks.size(); ++m) {
    for (size_t v = 0; v < p.masks[m].polygon.size(); ++v) {
      consider(p.masks[m].polygon[v], {HandleKind::kVertex, m, v});
    }
  }
  if (best.kind != HandleKind::kNone) return best;
  if (p.safeArea) {
    consider({p.safeArea->x0, p.safeArea->y0}, {HandleKind::kSafeArea, 0, 0});
    consider({p.safeArea->x1, p.safeArea->y1}, {HandleKind::kSafeArea, 0, 1});
  }
  return best;
}

bool ProjectionEditor::MoveHandle(const Handle& h, FieldPoint to) {
  to = InField(to);
  Projection p = Current();
  switch (h.kind) {
    case HandleKind::kNone:
      return false;
    case HandleKind::kCorner:
      if (h.index >= 4) return false;
      p.corners[h.index] = to;
      break;
    case HandleKind::kVertex:
      if (h.mask >= p.masks.size() || h.index >= p.masks[h.mask].polygon.size()) return false;
      p.masks[h.mask].polygon[h.index] = to;
      selectedMask_ = h.mask;
      break;
    case HandleKind::kSafeArea: {
      if (!p.safeArea) return false;
      SafeArea& s = *p.safeArea;
      // The area keeps at least a unit between its edges.
      if (h.index == 0) {
        s.x0 = std::min(to.x, s.x1 - 1);
        s.y0 = std::min(to.y, s.y1 - 1);
      } else {
        s.x1 = std::max(to.x, s.x0 + 1);
        s.y1 = std::max(to.y, s.y0 + 1);
      }
      break;
    }
  }
  return Apply(std::move(p));
}

void ProjectionEditor::BeginMask() {
  EndMask();
  drawing_ = true;
}

void ProjectionEditor::AddVertex(FieldPoint at) {
  if (!drawing_) return;
  at = InField(at);
  Projection p = Current();
  if (pending_.size() < 2) {
    pending_.push_back(at);
    return;
  }
  if (pending_.size() == 2) {
    pending_.push_back(at);
    p.masks.push_back({pending_, std::nullopt});
    if (Apply(std::move(p))) selectedMask_ = Current().masks.size() - 1;
    return;
  }
  pending_.push_back(at);
  if (selectedMask_ && *selectedMask_ < p.masks.size()) {
    p.masks[*selectedMask_].polygon = pending_;
    Apply(std::move(p));
  }
}

void ProjectionEditor::EndMask() {
  drawing_ = false;
  pending_.clear();
}

void ProjectionEditor::DeleteSelectedMask() {
  Projection p = Current();
  if (!selectedMask_ || *selectedMask_ >= p.masks.size()) return;
  p.masks.erase(p.masks.begin() + static_cast<std::ptrdiff_t>(*selectedMask_));
  selectedMask_.reset();
  EndMask();
  Apply(std::move(p));
}

void ProjectionEditor::SetLimit(std::optional<double> percent) {
  Projection p = Current();
  if (!selectedMask_ || *selectedMask_ >= p.masks.size()) return;
  if (percent) percent = std::clamp(*percent, 0.0, 100.0);
  p.masks[*selectedMask_].limit = percent;
  Apply(std::move(p));
}

void ProjectionEditor::SetSafeArea(bool on) {
  Projection p = Current();
  if (on == p.safeArea.has_value()) return;
  constexpr double kTenth = Projection::kFieldMax / 10;
  if (on) {
    p.safeArea =
        SafeArea{kTenth, kTenth, Projection::kFieldMax - kTenth, Projection::kFieldMax - kTenth};
  } else {
    p.safeArea.reset();
  }
  Apply(std::move(p));
}

void ProjectionEditor::Reset() {
  EndMask();
  selectedMask_.reset();
  rig_.SetProjection(rig_.Selected(), std::nullopt);
}

std::string ProjectionEditor::LoadProjection(const std::string& path) {
  const ProjectionRead read = ReadProjectionFile(path);
  if (!read.ok) return read.error;
  EndMask();
  selectedMask_.reset();
  if (!Apply(read.projection)) return "corners: not a convex quadrilateral";
  return {};
}

std::string ProjectionEditor::SaveProjection(const std::string& path) const {
  return WriteProjectionFile(path, Current()) ? std::string{} : "cannot write " + path;
}

namespace {

constexpr const char* kProjectionFilter = "Projektion | *.projection.json;*.json";
constexpr const char* kRigFilter = "Rig | *.rig.json;*.json";

}  // namespace

std::string ProjectionEditor::OpenProjection() {
  const std::optional<std::string> path =
      desktop_.ChooseFileToOpen("Projektion_Laden", kProjectionFilter);
  return path ? LoadProjection(*path) : std::string{};
}

std::string ProjectionEditor::SaveProjectionAs() {
  const std::optional<std::string> path =
      desktop_.ChooseFileToSave("Projektion_Speichern", kProjectionFilter);
  return path ? SaveProjection(*path) : std::string{};
}

std::string ProjectionEditor::OpenRig() {
  const std::optional<std::string> path = desktop_.ChooseFileToOpen("Rig_Laden", kRigFilter);
  if (!path) return {};
  EndMask();
  selectedMask_.reset();
  return rig_.Load(*path);
}

std::string ProjectionEditor::SaveRigAs() {
  const std::optional<std::string> path = desktop_.ChooseFileToSave("Rig_Speichern", kRigFilter);
  return path ? rig_.Save(*path) : std::string{};
}

}  // namespace lumarex
