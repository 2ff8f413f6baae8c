#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace lumarex::test {

// A program the test started, with its standard input and output on pipes and its errors in
// a file. It is ended (SIGTERM, SIGKILL when that is not enough) when the object goes, so a
// failing test leaves nothing running.
class PipedProcess {
 public:
  PipedProcess(const std::vector<std::string>& argv, const std::string& errorFile) {
    // A child that died must fail the write, not end the test program.
    ::signal(SIGPIPE, SIG_IGN);
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
      ::close(in[0]);
      ::close(in[1]);
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_ = out[0];
  }
  ~PipedProcess() { End(); }
  PipedProcess(const PipedProcess&) = delete;
  PipedProcess& operator=(const PipedProcess&) = delete;

  bool Started() const { return pid_ > 0; }

  bool WriteLine(const std::string& line) {
    const std::string text = line + "\n";
    return input_ >= 0 &&
           ::write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  }

  // The next line of its output without the newline; empty when none came within `timeout`.
  std::string ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (buffered_.find('\n') == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd ready{output_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) return {};
      char chunk[512];
      const ssize_t got = ::read(output_, chunk, sizeof chunk);
      if (got <= 0) return {};
      buffered_.append(chunk, static_cast<size_t>(got));
    }
    const size_t end = buffered_.find('\n');
    std::string line = buffered_.substr(0, end);
    buffered_.erase(0, end + 1);
    return line;
  }

  // Closes its input and gives it `ownWay` to end by itself (a sender closes its ports when
  // its input ends), then asks with SIGTERM and kills it when that is not enough in 3 s.
  void End(std::chrono::milliseconds ownWay = std::chrono::milliseconds(0)) {
    if (input_ >= 0) ::close(std::exchange(input_, -1));
    if (pid_ > 0 && !ExitedWithin(ownWay)) {
      ::kill(pid_, SIGTERM);
      if (!ExitedWithin(std::chrono::seconds(3))) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
      }
    }
    pid_ = -1;
    if (output_ >= 0) ::close(std::exchange(output_, -1));
  }

 private:
  bool ExitedWithin(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffered_;
};

}  // namespace lumarex::test
