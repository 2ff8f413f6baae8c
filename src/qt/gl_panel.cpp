#include "qt/gl_panel.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>

#include "gl/gl_replay.h"

namespace lumarex::qt {

GlPanel::GlPanel(const OrthoView& view, QWidget* parent) : QOpenGLWidget(parent), view_(view) {
  QSurfaceFormat format;
  format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  format.setSwapInterval(0);
  format.setRedBufferSize(8);
  format.setGreenBufferSize(8);
  format.setBlueBufferSize(8);
  format.setDepthBufferSize(0);
  format.setStencilBufferSize(0);
  setFormat(format);
  setUpdateBehavior(QOpenGLWidget::NoPartialUpdate);
  picture_.Reset(true);  // black until the first picture
}

void GlPanel::Present(const DrawList& picture) {
  if (released_) return;
  picture_.CopyFrom(picture);
  ++presented_;
  throttle_.Request();
}

void GlPanel::Release() {
  released_ = true;
  picture_.Reset(true);
}

void GlPanel::Restore() {
  released_ = false;
  picture_.Reset(true);
  update();
}

void GlPanel::initializeGL() {
  // Black and opaque: the panel is composed into the window, where a clear alpha would let
  // the window's grey show through. The view is set for the panel's size by paintGL.
  context()->functions()->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
}

void GlPanel::paintGL() {
  const qreal ratio = devicePixelRatioF();
  ApplyView(view_, static_cast<int>(width() * ratio), static_cast<int>(height() * ratio));
  ReplayDrawList(picture_);
}

}  // namespace lumarex::qt
