#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/desktop_services.h"
#include "show/show_store.h"
#include "tests/show/format_samples.h"

namespace lumarex::testing {

// A folder of its own for each test, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "lumarex-formats-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::string Write(const std::string& name, const samples::Bytes& bytes) const {
    const std::string path = File(name);
    EXPECT_TRUE(samples::WriteBytes(path, bytes.data));
    return path;
  }

 private:
  std::string path_;
};

// Records every message box.
class RecordingDesktop final : public DesktopServices {
 public:
  void ProcessPendingMessages() override { ++processed; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }

  int processed = 0;
  std::vector<std::string> messages;
};

inline ShowPoint Point(int x, int y, int z, int r, int g, int b, int visible, int index = 0) {
  return {static_cast<int16_t>(x),       static_cast<int16_t>(y),    static_cast<int16_t>(z),
          static_cast<uint8_t>(r),       static_cast<uint8_t>(g),    static_cast<uint8_t>(b),
          static_cast<uint8_t>(visible), static_cast<uint8_t>(index)};
}

// The points a writer stores for frame n.
inline std::vector<ShowPoint> RealPoints(const ShowStore& store, uint32_t n) {
  const uint32_t count = store.RealPointCount(n);
  return {store.FramePoints[n].begin(), store.FramePoints[n].begin() + count};
}

// What a point becomes in the ILDA and RGB writers' files: blanked points black, no index.
inline ShowPoint AsWritten(ShowPoint p) {
  if (p.Visible == 0) p.R = p.G = p.B = 0;
  p.ColourIndex = 0;
  return p;
}

inline std::vector<ShowPoint> AsWritten(std::vector<ShowPoint> points) {
  for (ShowPoint& p : points) p = AsWritten(p);
  return points;
}

// The store's promises to every consumer, whatever a reader met in its file.
inline void ExpectConsistent(const ShowStore& store) {
  for (uint32_t n = 0; n < store.FrameCount; ++n) {
    const uint32_t last = store.LastPointIndex[n];
    if (last > 0) {
      ASSERT_GE(store.FramePoints[n].size(), last + 1u) << "frame " << n;
    }
    ASSERT_LE(store.RealPointCount(n), last + 1u) << "frame " << n;
    if (last == 0) {
      ASSERT_EQ(store.RealPointCount(n), 0u) << "frame " << n;
    }
  }
  const uint32_t end = std::min<uint32_t>(ShowStore::kSlotCount, store.FrameCount + 64u);
  for (uint32_t n = store.FrameCount; n < end; ++n) {
    ASSERT_EQ(store.LastPointIndex[n], 0) << "slot " << n;
  }
}

}  // namespace lumarex::testing
