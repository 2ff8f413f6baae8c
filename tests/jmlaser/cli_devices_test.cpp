// `lumarex-cli devices` as an operator runs it, with a network DAC named on the command line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "etherdream_stand_in.h"

namespace lumarex::jmlaser::testing {
namespace {

std::string RunDevices(const std::string& environment) {
  const std::string command = environment + " '" LUMAREX_BIN_DIR "/lumarex-cli' devices";
  std::string out;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::array<char, 4096> chunk{};
  for (size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
    out.append(chunk.data(), got);
  EXPECT_EQ(pclose(pipe), 0) << command;
  return out;
}

TEST(CliDevices, ListsTheVirtualDacAndANamedEtherDream) {
  EtherDreamStandIn dac(EtherDreamStandIn::Options{});
  ASSERT_TRUE(dac.Listening());
  const std::string listed =
      RunDevices("LUMAREX_ETHERDREAM_LISTEN_MS=0 LUMAREX_ETHERDREAM=" + dac.Locator());
  EXPECT_NE(listed.find("0\tVirtual DAC 0\t"), std::string::npos) << listed;
  // The device texts pass the program's name filter, which keeps letters, digits and blanks.
  const std::string port = std::to_string(dac.Port());
  EXPECT_NE(listed.find("1\tEtherDream 127001" + port + "\t"), std::string::npos) << listed;
  EXPECT_NE(listed.find("Ether Dream 127-0-0-1-" + port), std::string::npos) << listed;

  const std::string alone = RunDevices("LUMAREX_ETHERDREAM_LISTEN_MS=0 LUMAREX_ETHERDREAM=");
  EXPECT_EQ(alone.find("EtherDream"), std::string::npos) << alone;
}

}  // namespace
}  // namespace lumarex::jmlaser::testing
