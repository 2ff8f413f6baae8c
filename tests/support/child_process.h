#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace lumarex::test {

// A program started by a test, its standard output read line by line as it comes: the
// lumarex-cli under test, or a real client (an OSC sender, a DMX daemon) it is held against.
// The program is killed when the object goes, whatever the test's outcome.
class ChildProcess {
 public:
  // `environment` holds extra NAME=value entries added to the test's own.
  explicit ChildProcess(const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment = {}) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      for (const std::string& e : environment) putenv(const_cast<char*>(e.c_str()));
      std::vector<char*> argv;
      for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    fd_ = out[0];
  }
  ~ChildProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) close(fd_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }

  // Reads lines until one satisfies `wanted` or `timeout` passes; that line, or empty.
  std::string WaitForLine(const std::function<bool(const std::string&)>& wanted,
                          std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      while (scanned_ < lines_.size()) {
        const std::string& line = lines_[scanned_++];
        if (wanted(line)) return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) return {};
    }
  }
  // Every line read so far.
  const std::vector<std::string>& Lines() const { return lines_; }

  // Sends `signal` and waits up to `timeout` for the exit; the exit code, or -1.
  int Stop(int signal, std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        while (ReadSome(0)) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      ReadSome(20);
    }
    return -1;
  }

 private:
  // Waits up to `ms` for output and takes what came; false at the end of the output or when
  // nothing came.
  bool ReadSome(int ms) {
    pollfd p{fd_, POLLIN, 0};
    if (fd_ < 0 || poll(&p, 1, ms) <= 0) return false;
    char chunk[4096];
    const ssize_t got = read(fd_, chunk, sizeof chunk);
    if (got <= 0) return false;
    partial_.append(chunk, static_cast<size_t>(got));
    for (size_t end; (end = partial_.find('\n')) != std::string::npos;) {
      lines_.push_back(partial_.substr(0, end));
      partial_.erase(0, end + 1);
    }
    return true;
  }

  pid_t pid_ = -1;
  int fd_ = -1;
  bool exited_ = false;
  std::string partial_;
  std::vector<std::string> lines_;
  size_t scanned_ = 0;
};

// A UDP port that was free a moment ago on loopback.
inline int FreeUdpPort() {
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = -1;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(s);
  return port;
}

}  // namespace lumarex::test
