#include "gl/headless_context.h"

#define EGL_EGLEXT_PROTOTYPES 0
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

namespace lumarex {

// The framebuffer-object entry points are not part of OpenGL 1.1; they come through EGL.
struct HeadlessContext::Egl {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLContext context = EGL_NO_CONTEXT;
  GLuint framebuffer = 0;
  GLuint colour = 0;
  PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
  PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
  PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
  PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
  PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
  PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
  PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
  PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
};

namespace {

template <typename Function>
bool Resolve(Function& function, const char* name) {
  function = reinterpret_cast<Function>(eglGetProcAddress(name));
  return function != nullptr;
}

std::string EglError(const char* what) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(eglGetError()));
  return std::string(what) + " failed (EGL error " + code + ")";
}

}  // namespace

HeadlessContext::HeadlessContext(int width, int height)
    : egl_(std::make_unique<Egl>()), width_(width), height_(height) {
  if (width <= 0 || height <= 0) {
    error_ = "the picture needs a positive size";
    return;
  }
  Egl& e = *egl_;
  const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (clientExtensions == nullptr ||
      std::strstr(clientExtensions, "EGL_MESA_platform_surfaceless") == nullptr) {
    error_ = "EGL has no surfaceless platform (Mesa's EGL is needed)";
    return;
  }
  PFNEGLGETPLATFORMDISPLAYEXTPROC getPlatformDisplay = nullptr;
  if (!Resolve(getPlatformDisplay, "eglGetPlatformDisplayEXT")) {
    error_ = "eglGetPlatformDisplayEXT is missing";
    return;
  }
  e.display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (e.display == EGL_NO_DISPLAY || eglInitialize(e.display, nullptr, nullptr) != EGL_TRUE) {
    e.display = EGL_NO_DISPLAY;
    error_ = EglError("eglInitialize");
    return;
  }
  if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
    error_ = EglError("eglBindAPI(OpenGL)");
    return;
  }
  // No config and no surface: the picture goes into a framebuffer object of our own. A
  // context without a version asks for the compatibility profile, which keeps immediate mode.
  e.context = eglCreateContext(e.display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, nullptr);
  if (e.context == EGL_NO_CONTEXT) {
    error_ = EglError("eglCreateContext");
    return;
  }
  if (!MakeCurrent()) {
    error_ = EglError("eglMakeCurrent");
    return;
  }
  if (!Resolve(e.genFramebuffers, "glGenFramebuffers") ||
      !Resolve(e.bindFramebuffer, "glBindFramebuffer") ||
      !Resolve(e.deleteFramebuffers, "glDeleteFramebuffers") ||
      !Resolve(e.genRenderbuffers, "glGenRenderbuffers") ||
      !Resolve(e.bindRenderbuffer, "glBindRenderbuffer") ||
      !Resolve(e.deleteRenderbuffers, "glDeleteRenderbuffers") ||
      !Resolve(e.renderbufferStorage, "glRenderbufferStorage") ||
      !Resolve(e.framebufferRenderbuffer, "glFramebufferRenderbuffer") ||
      !Resolve(e.checkFramebufferStatus, "glCheckFramebufferStatus")) {
    error_ = "the OpenGL driver has no framebuffer objects";
    return;
  }
  e.genRenderbuffers(1, &e.colour);
  e.bindRenderbuffer(GL_RENDERBUFFER, e.colour);
  e.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  e.genFramebuffers(1, &e.framebuffer);
  e.bindFramebuffer(GL_FRAMEBUFFER, e.framebuffer);
  e.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, e.colour);
  if (e.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    error_ = "the off-screen framebuffer is incomplete";
    return;
  }
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
}

HeadlessContext::~HeadlessContext() {
  Egl& e = *egl_;
  if (e.display == EGL_NO_DISPLAY) return;
  if (e.context != EGL_NO_CONTEXT) {
    if (MakeCurrent()) {
      if (e.framebuffer != 0) e.deleteFramebuffers(1, &e.framebuffer);
      if (e.colour != 0) e.deleteRenderbuffers(1, &e.colour);
    }
    eglMakeCurrent(e.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(e.display, e.context);
  }
  // The display is the process's one surfaceless display, shared by every context made on
  // it; terminating it would pull the driver from under another live context.
}

bool HeadlessContext::MakeCurrent() {
  Egl& e = *egl_;
  if (eglMakeCurrent(e.display, EGL_NO_SURFACE, EGL_NO_SURFACE, e.context) != EGL_TRUE) {
    return false;
  }
  if (e.framebuffer != 0) e.bindFramebuffer(GL_FRAMEBUFFER, e.framebuffer);
  return true;
}

RgbaImage HeadlessContext::ReadPixels() const {
  RgbaImage image;
  if (!Ready()) return image;
  image.width = width_;
  image.height = height_;
  const size_t row = static_cast<size_t>(width_) * 4;
  std::vector<uint8_t> bottomUp(row * static_cast<size_t>(height_));
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  image.pixels.resize(bottomUp.size());
  for (int y = 0; y < height_; ++y) {
    std::memcpy(image.pixels.data() + static_cast<size_t>(y) * row,
                bottomUp.data() + static_cast<size_t>(height_ - 1 - y) * row, row);
  }
  return image;
}

}  // namespace lumarex
