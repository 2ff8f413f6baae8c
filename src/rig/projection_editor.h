#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop_services.h"
#include "projection/projection.h"
#include "rig/projector_rig.h"

namespace lumarex {

// The behaviour of the "Projektion" window on the selected projector's projection: the four
// corner handles, masks (drawn vertex by vertex, vertices dragged, deleted, a limit percent
// each), the safe area with its two corner handles, and the projection's file. Every change
// is set on the output at once, so the next frame sent shows it; a change the stage refuses
// (corners that fold the picture) is not made. Positions are in DAC units where the light
// lands. User-interface thread only.
class ProjectionEditor {
 public:
  ProjectionEditor(ProjectorRig& rig, DesktopServices& desktop) : rig_(rig), desktop_(desktop) {}

  // The selected output's projection, the identity when it has none.
  Projection Current() const;

  // A handle the pointer can take.
  enum class HandleKind : uint8_t { kNone, kCorner, kVertex, kSafeArea };
  struct Handle {
    HandleKind kind = HandleKind::kNone;
    size_t mask = 0;   // kVertex
    size_t index = 0;  // corner 0..3, vertex, or safe area corner 0 (x0, y0) / 1 (x1, y1)
    friend bool operator==(const Handle&, const Handle&) = default;
  };
  // The nearest handle within `radius` of `at` (corners before vertices before the safe area).
  Handle HandleAt(FieldPoint at, double radius) const;
  // Moves a handle; false when the projection refused the move.
  bool MoveHandle(const Handle& handle, FieldPoint to);

  // --- Masks ---
  // Starts a new mask: the clicks that follow add its vertices; from the third on it blanks.
  void BeginMask();
  bool Drawing() const { return drawing_; }
  // A click while drawing: the next vertex of the new mask.
  void AddVertex(FieldPoint at);
  // Ends the drawing; a mask of fewer than three vertices is dropped.
  void EndMask();
  // The mask the window works on (the last drawn, or the one a vertex was taken of).
  std::optional<size_t> SelectedMask() const { return selectedMask_; }
  void SelectMask(std::optional<size_t> mask) { selectedMask_ = mask; }
  void DeleteSelectedMask();
  // The selected mask's limit: none blanks it, a percent 0..100 makes it a limit zone.
  void SetLimit(std::optional<double> percent);
  // The vertices of the mask being drawn that are not yet a mask (fewer than three).
  const std::vector<FieldPoint>& Pending() const { return pending_; }

  // --- Safe area ---
  // On: the whole field less a tenth on each side, to be moved by its handles; off: none.
  void SetSafeArea(bool on);

  // Resets the selected output's projection to none.
  void Reset();

  // --- Files of the selected output ---
  // Answers the reason when it fails ("" when done); a bad file changes nothing.
  std::string LoadProjection(const std::string& path);
  std::string SaveProjection(const std::string& path) const;
  // The window's four file buttons: the file chosen in the desktop's dialog, then loaded or
  // saved (the projection of the selected output, or the whole rig). Answers the reason when it
  // fails; "" when done or cancelled.
  std::string OpenProjection();
  std::string SaveProjectionAs();
  std::string OpenRig();
  std::string SaveRigAs();

 private:
  bool Apply(Projection p);

  ProjectorRig& rig_;
  DesktopServices& desktop_;
  bool drawing_ = false;
  std::vector<FieldPoint> pending_;
  std::optional<size_t> selectedMask_;
};

}  // namespace lumarex
