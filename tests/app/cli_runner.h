#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace lumarex::test {

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output only
};

// Runs lumarex-cli from the build's bin folder with the given arguments (already quoted),
// after the environment assignments in `environment` ("NAME=value ...").
inline CommandResult RunCliWith(const std::string& environment, const std::string& arguments) {
  const std::string command =
      environment + " '" + std::string(LUMAREX_BIN_DIR) + "/lumarex-cli' " + arguments;
  CommandResult result;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 65536> chunk{};
  for (size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) {
    result.output.append(chunk.data(), got);
  }
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline CommandResult RunCli(const std::string& arguments) {
  return RunCliWith("", arguments);
}

inline std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

}  // namespace lumarex::test
