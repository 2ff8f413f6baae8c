#pragma once

#include <QOpenGLWidget>

#include "mainwindow/preview_surface.h"
#include "preview/draw_list.h"
#include "qt/paint_throttle.h"

namespace lumarex::qt {

// An OpenGL panel that shows the last picture handed to it, replayed through the program's
// OpenGL 1.1 replay in its view (the preview's, or the optimiser's side-by-side one).
// Double-buffered, no waiting for the vertical retrace.
class GlPanel final : public QOpenGLWidget, public PreviewSurface {
 public:
  GlPanel(const OrthoView& view, QWidget* parent);

  void Present(const DrawList& picture) override;
  // While another window has the screen the panel keeps no picture; back, it starts black.
  void Release() override;
  void Restore() override;

  uint64_t Presented() const { return presented_; }

 protected:
  void initializeGL() override;
  void paintGL() override;

 private:
  OrthoView view_;
  // 50 pictures a second at most: the most the player previews is 25.
  PaintThrottle throttle_{20, [this] { update(); }};
  DrawList picture_;
  uint64_t presented_ = 0;
  bool released_ = false;
};

}  // namespace lumarex::qt
