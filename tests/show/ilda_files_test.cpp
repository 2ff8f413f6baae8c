// Every ILDA file that other people's tools wrote, read as they are in the shared folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "show/ilda.h"
#include "tests/support/store_checks.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

namespace fs = std::filesystem;

struct Expected {
  uint32_t frames = 0;
  uint64_t points = 0;
  uint32_t minPoints = 0;
  uint32_t maxPoints = 0;
};

fs::path IldaFolder() {
  return fs::path(test::SharedDir()) / "testdata" / "ilda";
}

std::vector<fs::path> IldaFiles() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(IldaFolder())) {
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    if (entry.is_regular_file() && ext == ".ild") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// What the collection's manifest says each file holds, with the files where this reader
// by design stores something else.
std::map<std::string, Expected> ExpectedContents() {
  std::ifstream in(IldaFolder() / "manifest.json");
  const auto manifest = nlohmann::json::parse(in);
  std::map<std::string, Expected> out;
  for (const auto& [name, entry] : manifest.items()) {
    if (!entry["points"].is_array()) continue;
    Expected e;
    e.frames = entry["frames"].get<uint32_t>();
    e.minPoints = entry["points"][0].get<uint32_t>();
    e.maxPoints = entry["points"][1].get<uint32_t>();
    e.points = entry["points"][2].get<uint64_t>();
    out[name] = e;
  }
  // One point with only eight bytes left after its header reads like a closing section.
  out["shownet__013.ild"] = {0, 0, 0, 0};
  // The zero padding after the closing section makes that section one more empty frame.
  out["ildagen__dottedwaves.ild"].frames = 2;
  // Its colour-table section carries a longer header than the format has, which ends the
  // reading after the first two frames.
  out["laserboy__formatt.ild"] = {2, 1213, 511, 702};
  return out;
}

TEST(IldaFiles, EveryFileReadsWithTheFramesAndPointsItHolds) {
  const auto expected = ExpectedContents();
  const auto files = IldaFiles();
  ASSERT_GE(files.size(), 30u);
  IldaReader reader;
  test::RecordingDesktop desktop;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.filename().string());
    ShowStore store;
    reader.ReadIlda(store, file.string(), false, desktop);
    const bool palette = file.filename() == "laserboy__formatt.ild";
    EXPECT_EQ(store.IoStatus, palette ? "Ildafile IO" : "I.O.");
    EXPECT_EQ(store.ShowFileSize, fs::file_size(file));
    test::ExpectConsistent(store);
    const Expected& e = expected.at(file.filename().string());
    EXPECT_EQ(store.FrameCount, e.frames);
    uint64_t points = 0;
    for (uint32_t n = 0; n < store.FrameCount; ++n) {
      const uint32_t count = store.RealPointCount(n);
      points += count;
      if (count > 0) {
        EXPECT_GE(count, e.minPoints) << n;
        EXPECT_LE(count, e.maxPoints) << n;
      }
    }
    EXPECT_EQ(points, e.points);
  }
}

TEST(IldaFiles, EveryFileSurvivesWritingAndReadingBack) {
  test::TempDir dir;
  IldaReader reader;
  test::RecordingDesktop desktop;
  for (const fs::path& file : IldaFiles()) {
    SCOPED_TRACE(file.filename().string());
    ShowStore original;
    reader.ReadIlda(original, file.string(), false, desktop);
    const std::string copyName = dir.File("copy.ild");
    WriteIlda(original, copyName, 0, original.FrameCount - 1, desktop);
    ASSERT_EQ(original.IoStatus, "I.O.");
    ShowStore copy;
    reader.ReadIlda(copy, copyName, false, desktop);
    EXPECT_EQ(copy.IoStatus, "I.O.");
    ASSERT_EQ(copy.FrameCount, original.FrameCount);
    for (uint32_t n = 0; n < original.FrameCount; ++n) {
      ASSERT_EQ(copy.LastPointIndex[n], original.LastPointIndex[n]) << n;
      ASSERT_EQ(copy.RealPointCount(n), original.RealPointCount(n)) << n;
      for (uint32_t i = 0; i < original.RealPointCount(n); ++i) {
        ShowPoint want = original.FramePoints[n][i];
        if (want.Visible == 0) want.R = want.G = want.B = 0;
        ASSERT_EQ(copy.FramePoints[n][i], want) << n << ":" << i;
      }
    }
  }
}

// A file cut short keeps the frames that arrived whole, exactly as the full read has them.
TEST(IldaFiles, TruncatedFilesKeepTheFramesThatArrivedWhole) {
  test::TempDir dir;
  IldaReader reader;
  test::RecordingDesktop desktop;
  for (const fs::path& file : IldaFiles()) {
    SCOPED_TRACE(file.filename().string());
    const auto bytes = test::ReadBytes(file.string());
    ShowStore full;
    reader.ReadIlda(full, file.string(), false, desktop);
    // Every length of the small files, a dense sample of the large ones, cut from the end
    // of one copy so that no length costs a rewrite.
    const size_t step = std::max<size_t>(1, bytes.size() / 400);
    const std::string cut = dir.File("cut.ild");
    test::WriteBytes(cut, bytes);
    ShowStore store;
    for (size_t cutOff = 1;; cutOff += step) {
      const size_t length = cutOff >= bytes.size() ? 0 : bytes.size() - cutOff;
      ASSERT_EQ(truncate(cut.c_str(), static_cast<off_t>(length)), 0);
      reader.ReadIlda(store, cut, false, desktop);
      test::ExpectConsistent(store);
      ASSERT_LE(store.FrameCount, full.FrameCount + 1u) << length;
      // The last frame may be a cut closing section read as an empty frame.
      const uint32_t whole = std::min<uint32_t>(store.FrameCount, full.FrameCount);
      for (uint32_t n = 0; n + 1 < whole; ++n) {
        ASSERT_EQ(store.LastPointIndex[n], full.LastPointIndex[n]) << length << " frame " << n;
        ASSERT_TRUE(std::equal(store.FramePoints[n].begin(),
                               store.FramePoints[n].begin() + store.LastPointIndex[n] + 1,
                               full.FramePoints[n].begin()))
            << length << " frame " << n;
      }
      if (length == 0) break;
    }
  }
}

}  // namespace
}  // namespace lumarex
