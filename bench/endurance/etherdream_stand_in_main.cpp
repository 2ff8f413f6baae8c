// The Ether Dream stand-in of the driver tests on 127.0.0.1, as a program: prints its port,
// plays out what it is sent in real time until SIGINT or SIGTERM, then prints its counters as
// one JSON line.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/jmlaser/etherdream_stand_in.h"

int main(int argc, char** argv) {
  lumarex::jmlaser::testing::EtherDreamStandIn::Options options;
  options.keepPoints = 0;  // hours of points are not kept
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--port") == 0)
      options.port = static_cast<uint16_t>(std::atoi(argv[i + 1]));
  }
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  // Blocked before the stand-in's threads start, so that only sigwait below takes them.
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  lumarex::jmlaser::testing::EtherDreamStandIn standIn(options);
  if (!standIn.Listening()) {
    std::fprintf(stderr, "etherdream_stand_in: cannot listen\n");
    return 1;
  }
  std::printf("port %u\n", standIn.Port());
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stop, &signal);
  const auto s = standIn.Snapshot();
  std::printf(
      "{\"connections\":%d,\"underflows\":%d,\"overflows\":%d,\"begins\":%d,\"naks\":%d,"
      "\"pointsReceived\":%llu,\"pointsPlayed\":%llu,\"rate\":%u}\n",
      s.connections, s.underflows, s.overflows, s.begins, s.naksSent,
      static_cast<unsigned long long>(s.pointsReceived),
      static_cast<unsigned long long>(s.pointsPlayed), s.rate);
  return 0;
}
