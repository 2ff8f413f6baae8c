#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rgba_image.h"

namespace lumarex {

// An OpenGL context without any display: EGL on Mesa's surfaceless platform (software
// rendering where there is no GPU), drawing into an off-screen framebuffer of a fixed size
// with 8 bits per colour channel, like the preview panel. Made current on creation; one
// thread at a time.
class HeadlessContext {
 public:
  // An empty `error` after construction means the context is current and ready.
  HeadlessContext(int width, int height);
  ~HeadlessContext();
  HeadlessContext(const HeadlessContext&) = delete;
  HeadlessContext& operator=(const HeadlessContext&) = delete;

  bool Ready() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // Makes this context current on the calling thread again.
  bool MakeCurrent();
  // Waits for the drawing and reads the framebuffer back.
  RgbaImage ReadPixels() const;

 private:
  struct Egl;
  std::unique_ptr<Egl> egl_;
  int width_;
  int height_;
  std::string error_;
};

}  // namespace lumarex
