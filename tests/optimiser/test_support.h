#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/desktop_services.h"
#include "show/show_point.h"
#include "show/show_store.h"

namespace lumarex::test {

// Keeps every message; runs `onMessages` where the window would process pending messages.
class RecordingDesktop final : public DesktopServices {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ProcessPendingMessages() override {
    if (onMessages) onMessages();
  }

  std::vector<std::string> messages;
  std::function<void()> onMessages;
};

// A fresh folder under the system's temp folder, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "lumarex-optimiser-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void AppendFrame(ShowStore& store, const std::vector<ShowPoint>& points) {
  if (points.empty()) {
    store.AppendEmptyFrame();
    return;
  }
  const auto slot = store.NewFrame(static_cast<uint32_t>(points.size()));
  std::copy(points.begin(), points.end(), slot.begin());
  store.CommitFrame(static_cast<uint16_t>(points.size() - 1), FrameTail::kAllReal);
}

inline std::vector<ShowPoint> FramePoints(const ShowStore& store, uint32_t n) {
  const auto span = store.Frame(n);
  return {span.begin(), span.end()};
}

}  // namespace lumarex::test
