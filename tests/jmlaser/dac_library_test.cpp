#include "jmlaser/dac_library.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace lumarex::jmlaser {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A family whose search listens for a while, as a network broadcast search does, and finds
// whatever units are switched on at the time.
class ListeningFamily final : public DacFamily {
 public:
  explicit ListeningFamily(bool listens) : listens_(listens) {}
  const char* FamilyName() const override { return "Listening"; }
  bool SearchListens() const override { return listens_; }
  void Discover(std::vector<DeviceInfo>& devices) override {
    if (listens_) std::this_thread::sleep_for(300ms);
    std::lock_guard lock(mutex_);
    for (const std::string& unit : units_) {
      DeviceInfo info;
      info.name = unit;
      info.friendlyName = unit;
      info.family = this;
      devices.push_back(info);
    }
  }
  std::unique_ptr<DacStream> Open(const DeviceInfo&) override { return nullptr; }

  void SwitchOn(const std::string& unit) {
    std::lock_guard lock(mutex_);
    units_.push_back(unit);
  }

 private:
  const bool listens_;
  std::mutex mutex_;
  std::vector<std::string> units_;
};

// A search waits for the listening family once; later searches answer at once with what the
// background search heard, and a unit switched on later shows up within a round or two.
TEST(DacLibrary, OnlyTheFirstSearchWaitsForAListeningFamily) {
  std::vector<std::unique_ptr<DacFamily>> families;
  families.push_back(std::make_unique<ListeningFamily>(false));
  families.push_back(std::make_unique<ListeningFamily>(true));
  auto& local = static_cast<ListeningFamily&>(*families[0]);
  auto& network = static_cast<ListeningFamily&>(*families[1]);
  local.SwitchOn("Virtual");
  network.SwitchOn("Projector A");
  DacLibrary library(std::move(families));

  auto timedSearch = [&library](int32_t& count) {
    const auto start = Clock::now();
    count = library.Enumerate();
    return Clock::now() - start;
  };
  int32_t count = 0;
  EXPECT_GE(timedSearch(count), 300ms);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(library.DeviceAt(1)->name, "Projector A");

  EXPECT_LT(timedSearch(count), 100ms);
  EXPECT_EQ(count, 2);

  network.SwitchOn("Projector B");
  const auto deadline = Clock::now() + 5s;
  while (count < 3 && Clock::now() < deadline) {
    EXPECT_LT(timedSearch(count), 100ms);
    std::this_thread::sleep_for(50ms);
  }
  ASSERT_EQ(count, 3);
  EXPECT_EQ(library.DeviceAt(0)->name, "Virtual");
  EXPECT_EQ(library.DeviceAt(2)->name, "Projector B");
}

}  // namespace
}  // namespace lumarex::jmlaser
