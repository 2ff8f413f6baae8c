#include "osc/status_throttle.h"

#include <algorithm>

namespace lumarex {

const char* StatusThrottle::Address(Line line) {
  switch (line) {
    case Line::kPlaying:
      return "/lumarex/status/playing";
    case Line::kFrame:
      return "/lumarex/status/frame";
    case Line::kShow:
      return "/lumarex/status/show";
    case Line::kSetList:
      return "/lumarex/status/setlist";
  }
  return "/lumarex/status/playing";
}

void StatusThrottle::SendAll() {
  sendAgain_.fill(true);
}

bool StatusThrottle::Waiting(size_t line, const OscStatus& status) const {
  if (sendAgain_[line]) return true;
  switch (static_cast<Line>(line)) {
    case Line::kPlaying:
      return status.playing != sent_.playing;
    case Line::kFrame:
      return status.frame != sent_.frame;
    case Line::kShow:
      return status.show != sent_.show;
    case Line::kSetList:
      return status.setListEntry != sent_.setListEntry;
  }
  return false;
}

std::vector<StatusThrottle::Line> StatusThrottle::TakeDue(const OscStatus& status,
                                                          Clock::time_point now) {
  std::vector<Line> due;
  for (size_t line = 0; line < kLineCount; ++line) {
    if (!Waiting(line, status)) continue;
    if (sentAt_[line] && now - *sentAt_[line] < kSpacing) continue;
    sentAt_[line] = now;
    sendAgain_[line] = false;
    switch (static_cast<Line>(line)) {
      case Line::kPlaying:
        sent_.playing = status.playing;
        break;
      case Line::kFrame:
        sent_.frame = status.frame;
        break;
      case Line::kShow:
        sent_.show = status.show;
        break;
      case Line::kSetList:
        sent_.setListEntry = status.setListEntry;
        break;
    }
    due.push_back(static_cast<Line>(line));
  }
  return due;
}

std::optional<StatusThrottle::Clock::time_point> StatusThrottle::NextDue(
    const OscStatus& status) const {
  std::optional<Clock::time_point> next;
  for (size_t line = 0; line < kLineCount; ++line) {
    if (!Waiting(line, status)) continue;
    // Never sent: due at once (the earliest time there is).
    const Clock::time_point at = sentAt_[line] ? *sentAt_[line] + kSpacing : Clock::time_point{};
    next = next ? std::min(*next, at) : at;
  }
  return next;
}

}  // namespace lumarex
