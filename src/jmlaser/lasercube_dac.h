#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jmlaser/dac_driver.h"
#include "jmlaser/net_socket.h"

namespace lumarex::jmlaser {

struct LaserCubeOptions {
  // Cubes named by the user, by host name or address, asked besides the broadcast.
  std::vector<std::string> hosts;
  // The cube's three ports, alive, command and data; the host binds the same numbers.
  uint16_t alivePort = 45456;
  uint16_t commandPort = 45457;
  uint16_t dataPort = 45458;
  BroadcastScope broadcast;
  int searchWindowMs = 300;
  // A cube that answers nothing for this long has gone. The maker's host waits 4 s, but it
  // only asks four times a second; we also hear the reply to every data packet while output
  // is on, so a second of silence is a cube switched off or out of reach, and the cost of a
  // false alarm is a moment of dark while the cube is set up again.
  int goneAfterMs = 1000;
  // Full info is asked this often while output is off, and while it is on.
  int pollIdleMs = 250;
  int pollStreamingMs = 2500;
  int openWaitMs = 20;
  std::chrono::milliseconds watchdogHold{1000};
};

// LaserCube and LaserDock network DACs: found by the alive request (broadcast and to named
// hosts) and their full info; a worker thread per open cube keeps its ring buffer partly
// filled, paced by the free counts it reports, and sets a cube that went away up again by
// itself when it answers again.
class LaserCubeFamily final : public DacFamily {
 public:
  explicit LaserCubeFamily(LaserCubeOptions options);
  ~LaserCubeFamily() override;
  LaserCubeFamily(const LaserCubeFamily&) = delete;
  LaserCubeFamily& operator=(const LaserCubeFamily&) = delete;

  const char* FamilyName() const override { return "LaserCube"; }
  void Discover(std::vector<DeviceInfo>& devices) override;
  bool SearchListens() const override { return true; }
  std::unique_ptr<DacStream> Open(const DeviceInfo& device) override;

  // The host side of the three ports, shared by the search and every open cube: replies come
  // to fixed port numbers, so one process can hold each of them only once.
  class Link;

 private:
  std::shared_ptr<Link> TheLink();

  LaserCubeOptions options_;
  std::mutex linkMutex_;  // the background search and Open both reach for the link
  std::shared_ptr<Link> link_;
};

}  // namespace lumarex::jmlaser
