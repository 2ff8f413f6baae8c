// Every shared show, optimised as `lumarex-cli optimise` does it, must play the same lit
// segments in the same colours and travel no further blanked, in both orderings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "optimiser/optimiser_session.h"
#include "optimiser/show_measure.h"
#include "show/show_files.h"
#include "tests/optimiser/test_support.h"

namespace lumarex {
namespace {

std::vector<std::string> SharedShows() {
  std::vector<std::string> shows;
  const std::filesystem::path dir = std::filesystem::path(LUMAREX_SHARED_DIR) / "testdata/ilda";
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".ild" || ext == ".ILD") shows.push_back(entry.path().string());
  }
  std::sort(shows.begin(), shows.end());
  return shows;
}

class SharedShow : public testing::TestWithParam<std::string> {};

TEST_P(SharedShow, PlaysTheSameLitPathsWithNoLongerBlankedTravel) {
  const std::string& file = GetParam();
  for (int mode : {0, 1}) {
    SCOPED_TRACE("search " + std::to_string(mode));
    ShowStore store;
    ShowReaders readers;
    test::RecordingDesktop desktop;
    ASSERT_TRUE(LoadShowFile(store, readers, file, false, desktop));
    std::vector<std::vector<test::Segment>> before;
    for (uint32_t f = 0; f < store.FrameCount; ++f)
      before.push_back(test::LitSegments(store.Frame(f)));
    const FrameMeasure measureBefore = MeasureShow(store);

    uint16_t currentFrame = 0;
    auto session = std::make_unique<OptimiserSession>(store, desktop, currentFrame);
    session->Open();
    session->Controls.Suchraster.SetPosition(mode);
    session->Bildposition.SetPosition(0);
    const WholeFileRun run = session->RunWholeFile(true);
    EXPECT_FALSE(run.stopped);
    EXPECT_EQ(run.framesStored + run.leftUnchanged.size(), store.FrameCount);

    for (uint32_t f = 0; f < store.FrameCount; ++f) {
      ASSERT_EQ(test::LitSegments(store.Frame(f)), before[f]) << "frame " << f;
    }
    const FrameMeasure measureAfter = MeasureShow(store);
    EXPECT_EQ(measureAfter.litUnits, measureBefore.litUnits);
    EXPECT_LE(measureAfter.blankedUnits, measureBefore.blankedUnits);
  }
}

INSTANTIATE_TEST_SUITE_P(Ilda, SharedShow, testing::ValuesIn(SharedShows()),
                         [](const testing::TestParamInfo<std::string>& param) {
                           std::string name = std::filesystem::path(param.param).stem().string();
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

TEST(SharedShows, AreThere) {
  EXPECT_GT(SharedShows().size(), 20u);
}

}  // namespace
}  // namespace lumarex
