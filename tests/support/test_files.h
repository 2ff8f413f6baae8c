#pragma once

#include <stdlib.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop_services.h"

namespace lumarex::test {

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fresh folder under the system's temp folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lumarex-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string File(const std::string& name) const { return (path_ / name).string(); }
  // Writes a file of the folder and answers its path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string path = File(name);
    WriteBytes(path, bytes);
    return path;
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Records what the core asked of the desktop; runs `onMessages` where the window would
// process pending messages. Dialogs answer from the scripted queues (cancelled when empty),
// recording which dialog asked with which filter; questions get `confirm`.
class RecordingDesktop final : public DesktopServices {
 public:
  void ProcessPendingMessages() override {
    ++processed;
    if (onMessages) onMessages();
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::optional<std::string> ChooseFileToOpen(const std::string& dialog,
                                              const std::string& filter) override {
    return Answer(openAnswers, dialog, filter);
  }
  std::optional<std::string> ChooseFileToSave(const std::string& dialog,
                                              const std::string& filter) override {
    return Answer(saveAnswers, dialog, filter);
  }
  bool ConfirmYesNo(const std::string& question) override {
    questions.push_back(question);
    return confirm;
  }
  int PointerScreenY() const override { return pointerY; }
  int MainWindowTop() const override { return windowTop; }

  int processed = 0;
  std::vector<std::string> messages;
  std::function<void()> onMessages;
  std::deque<std::string> openAnswers;
  std::deque<std::string> saveAnswers;
  std::vector<std::string> dialogs;  // "name|filter" of every dialog shown
  std::vector<std::string> questions;
  bool confirm = true;
  int pointerY = 0;
  int windowTop = 0;

 private:
  std::optional<std::string> Answer(std::deque<std::string>& answers, const std::string& dialog,
                                    const std::string& filter) {
    dialogs.push_back(dialog + "|" + filter);
    if (answers.empty()) return std::nullopt;
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

inline std::string SharedDir() {
  return LUMAREX_SHARED_DIR;
}

}  // namespace lumarex::test
