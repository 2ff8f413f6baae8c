#pragma once

#include "preview/draw_list.h"

namespace lumarex {

// The preview panel Zeichenflaeche as the main window sees it: a drawing surface that shows
// one picture at a time. The window binds it to OpenGL; without a window the pictures go
// nowhere (or to a test's record).
class PreviewSurface {
 public:
  virtual ~PreviewSurface() = default;

  // Draws the picture (clear included) and presents it.
  virtual void Present(const DrawList& picture) = 0;
  // Gives up the rendering context while the optimiser window has the screen, and takes it
  // back, with the view set up as at start-up, when it returns.
  virtual void Release() {}
  virtual void Restore() {}
};

// A surface without a screen: counts what it was given.
class CountingPreview final : public PreviewSurface {
 public:
  void Present(const DrawList& picture) override {
    ++presented;
    lastHadBatches = !picture.Batches().empty();
  }
  void Release() override { released = true; }
  void Restore() override { released = false; }

  uint64_t presented = 0;
  bool lastHadBatches = false;
  bool released = false;
};

}  // namespace lumarex
