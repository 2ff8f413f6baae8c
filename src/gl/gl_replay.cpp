#include "gl/gl_replay.h"

#include <GL/gl.h>

namespace lumarex {

namespace {

GLenum ToGl(Primitive primitive) {
  switch (primitive) {
    case Primitive::kLines:
      return GL_LINES;
    case Primitive::kQuads:
      return GL_QUADS;
    case Primitive::kLineStrip:
      return GL_LINE_STRIP;
    case Primitive::kTriangles:
      return GL_TRIANGLES;
  }
  return GL_LINES;
}

}  // namespace

void ApplyView(const OrthoView& view, int width, int height) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(view.left, view.right, view.bottom, view.top, view.nearPlane, view.farPlane);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glViewport(0, 0, width, height);
  glDisable(GL_DEPTH_TEST);
}

void ReplayDrawList(const DrawList& list) {
  if (list.Clears()) glClear(GL_COLOR_BUFFER_BIT);
  for (const Batch& batch : list.Batches()) {
    glLineWidth(batch.lineWidth);
    if (batch.blend) {
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    } else {
      glDisable(GL_BLEND);
    }
    glShadeModel(batch.smooth ? GL_SMOOTH : GL_FLAT);
    glBegin(ToGl(batch.primitive));
    for (const Vertex& v : list.VerticesOf(batch)) {
      glColor4ub(v.r, v.g, v.b, v.a);
      glVertex2i(v.x, v.y);
    }
    glEnd();
  }
  glDisable(GL_BLEND);
}

}  // namespace lumarex
