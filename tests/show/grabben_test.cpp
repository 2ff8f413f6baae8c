#include <gtest/gtest.h>

#include "show/grabben.h"
#include "tests/show/format_test_support.h"

namespace lumarex {
namespace {

using samples::Bytes;
using testing::Point;

class GrabbenTest : public ::testing::Test {
 protected:
  void Read(const Bytes& bytes, bool merge = false) {
    ReadGrabben(store, dir.Write("show.gr1", bytes), merge, desktop);
  }

  testing::ScratchDir dir;
  testing::RecordingDesktop desktop;
  ShowStore store;
};

TEST_F(GrabbenTest, PointsKeepTheirColourWhenBlanked) {
  Read(samples::GrabbenFile(samples::SampleFrames()));
  EXPECT_EQ(store.IoStatus, "I.O.");
  EXPECT_EQ(store.SourceFormatCode, 22);
  ASSERT_EQ(store.FrameCount, 3);
  ASSERT_EQ(store.LastPointIndex[0], 4);
  EXPECT_EQ(store.RealPointCount(0), 4u);
  EXPECT_EQ(store.Frame(0)[0], Point(100, 200, 0, 255, 0, 0, 1));
  EXPECT_EQ(store.Frame(0)[1], Point(-300, 400, 0, 0, 255, 0, 0));
  EXPECT_EQ(store.Frame(0)[4], ShowPoint{});
}

TEST_F(GrabbenTest, ATruncatedFrameIsNotStored) {
  const Bytes full = samples::GrabbenFile(samples::SampleFrames());
  const size_t secondFrame = 8 + 4 * 8;
  struct Case {
    size_t length;
    const char* message;
    int frames;
  };
  // Fewer than 10 bytes after a frame are passed by, so a cut header shows in the first one.
  const Case cases[] = {
      {3, "Lesefehler Gabben File in Punkte je Frame", 0},
      {6, "Lesefehler Grabben im Header", 0},
      {secondFrame + 8 + 15, "Lesefehler Grabben in XY RGB", 1},
      {secondFrame + 9, "I.O.", 1},
  };
  for (const Case& c : cases) {
    Bytes cut = full;
    cut.data.resize(c.length);
    Read(cut);
    EXPECT_EQ(store.IoStatus, c.message) << c.length;
    EXPECT_EQ(store.FrameCount, c.frames) << c.length;
  }
  ReadGrabben(store, dir.File("none.gr1"), false, desktop);
  EXPECT_EQ(store.IoStatus, "Grabben Datei Lesefehler2");
}

TEST_F(GrabbenTest, MergeLeavesOneEmptyFrame) {
  Read(samples::GrabbenFile(samples::SampleFrames()));
  Read(samples::GrabbenFile({samples::SampleFrames()[0]}), true);
  ASSERT_EQ(store.FrameCount, 5);
  EXPECT_EQ(store.LastPointIndex[3], 0);
  EXPECT_EQ(store.LastPointIndex[4], 4);
}

}  // namespace
}  // namespace lumarex
