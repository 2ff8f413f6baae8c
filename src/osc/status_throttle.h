#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumarex {

// The state a subscriber is told of, as the registry reports it.
struct OscStatus {
  bool playing = false;
  uint16_t frame = 0;
  std::string show;          // the show's file name, empty when none is loaded
  int32_t setListEntry = 0;  // counted from 1; 0 when the show is no entry of the set list

  bool operator==(const OscStatus&) const = default;
};

// The four status addresses of one subscriber. Each goes out when its value differs from the
// one sent last, but never sooner than kSpacing after the last message on that address (25 a
// second): changes in between are coalesced, and the latest value goes out as soon as the
// address is free again, so the subscriber always ends up with the current state. Plain
// data, one thread.
class StatusThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kSpacing = std::chrono::milliseconds(40);

  enum class Line : uint8_t { kPlaying, kFrame, kShow, kSetList };
  static constexpr size_t kLineCount = 4;
  // "/lumarex/status/playing", ...
  static const char* Address(Line line);

  // Every address goes out again at its next chance, changed or not: the greeting of a
  // (renewed) subscription.
  void SendAll();
  // The addresses due at `now` for `status`; from now on they count as sent with its values.
  std::vector<Line> TakeDue(const OscStatus& status, Clock::time_point now);
  // When the next address held back for `status` may go; none while nothing waits.
  std::optional<Clock::time_point> NextDue(const OscStatus& status) const;

 private:
  bool Waiting(size_t line, const OscStatus& status) const;

  OscStatus sent_;
  std::array<std::optional<Clock::time_point>, kLineCount> sentAt_{};
  std::array<bool, kLineCount> sendAgain_{};
};

}  // namespace lumarex
