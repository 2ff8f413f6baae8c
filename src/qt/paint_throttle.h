#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace lumarex::qt {

// Keeps a view from redrawing more often than an eye can use. Long runs change the status
// texts, the scroll bars and the pictures thousands of times a second, and processing pending
// events once per frame would redraw (and compose the whole window, in software where there is
// no GPU) every time. A change that comes within `minimumMs` of the last redraw is shown once
// that time is up; the first change after a quiet time is shown at once.
class PaintThrottle {
 public:
  PaintThrottle(int minimumMs, std::function<void()> redraw)
      : minimumMs_(minimumMs), redraw_(std::move(redraw)) {
    deferred_.setSingleShot(true);
    QObject::connect(&deferred_, &QTimer::timeout, [this] { Run(); });
    sinceRedraw_.start();
  }

  void Request() {
    const qint64 since = sinceRedraw_.elapsed();
    if (since >= minimumMs_) {
      Run();
    } else if (!deferred_.isActive()) {
      deferred_.start(static_cast<int>(minimumMs_ - since));
    }
  }

 private:
  void Run() {
    sinceRedraw_.restart();
    redraw_();
  }

  int minimumMs_;
  std::function<void()> redraw_;
  QTimer deferred_;
  QElapsedTimer sinceRedraw_;
};

}  // namespace lumarex::qt
