#pragma once

// The C interface of the laser DAC driver library (libjmlaser.so). The program binds these
// 39 names at run time with dlopen/dlsym, so their names, argument lists and the layout of
// DacPoint are a contract with every build of the program.
//
// Conventions: every call returns a 32-bit integer; 0 or a positive value is success (a
// count, a handle, a speed, a length), a negative value is one of the kJmLaser* error codes.
// Names are 8-bit strings ending in a zero byte. Length calls answer the buffer size a text
// needs, terminating zero included; text calls always terminate what they write and answer
// kJmLaserErrorBufferTooSmall when the text had to be cut.
//
// Blocking: jmLaserEnumerateDevices listens for network DACs for about a second; the waiting
// calls (jmLaserWaitForDeviceReady, jmLaserWriteFrame) wait at most one second;
// jmLaserCloseDll waits until every thread of the drivers has ended, at most about a second
// (a USB transfer that hangs runs into its timeout); every other call returns within a frame
// period whatever the devices or the network do. The library is meant for one calling thread
// but guards itself against several.
//
// Devices that drop out: while output is started on a device that goes away, it reads not
// ready and refuses frames, and its driver tries to reach it again by itself (after 100 ms,
// 250 ms, then every second); once it answers, the next frame plays. After jmLaserCloseDll
// returns, no thread of the library runs, so the library may be unloaded.

#include <cstdint>

namespace lumarex::jmlaser {

// One point as the program hands it over, 12 bytes.
struct DacPoint {
  uint16_t x = 0;  // 0..65535, centre 32768
  uint16_t y = 0;  // 0..65535, centre 32768, upwards
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  uint8_t i = 0;  // intensity, (r + g + b) / 3
  uint8_t reserved[4] = {0, 0, 0, 0};

  friend bool operator==(const DacPoint&, const DacPoint&) = default;
};
static_assert(sizeof(DacPoint) == 12, "DacPoint is a 12-byte record");

}  // namespace lumarex::jmlaser

// 0x0120: our first release; the program accepts 0x0110 and later.
inline constexpr int32_t kJmLaserVersion = 0x0120;

inline constexpr int32_t kJmLaserOk = 0;
inline constexpr int32_t kJmLaserErrorNotOpen = -1;         // jmLaserOpenDll not called
inline constexpr int32_t kJmLaserErrorArgument = -2;        // null pointer, bad length, bad index
inline constexpr int32_t kJmLaserErrorUnknownDevice = -3;   // no device of that name
inline constexpr int32_t kJmLaserErrorInvalidHandle = -4;   // handle not open
inline constexpr int32_t kJmLaserErrorInUse = -5;           // device already open
inline constexpr int32_t kJmLaserErrorNotStarted = -6;      // output not started
inline constexpr int32_t kJmLaserErrorBusy = -7;            // a frame is still waiting
inline constexpr int32_t kJmLaserErrorDisconnected = -8;    // network device not connected
inline constexpr int32_t kJmLaserErrorBufferTooSmall = -9;  // text cut to the buffer
inline constexpr int32_t kJmLaserErrorFrameSize = -10;      // no points or more than the maximum
inline constexpr int32_t kJmLaserErrorNoUniverse = -11;     // no DMX universes on our devices
inline constexpr int32_t kJmLaserErrorTimeout = -12;        // a waiting call gave up

#define JMLASER_API extern "C" __attribute__((visibility("default")))

using JmPoint = lumarex::jmlaser::DacPoint;

// Library: open returns kJmLaserVersion; close closes every device and waits for the drivers'
// threads (see above).
JMLASER_API int32_t jmLaserOpenDll();
JMLASER_API int32_t jmLaserCloseDll();

// Device list: enumerate searches anew and answers the number of devices; the virtual DAC is
// always device 0.
JMLASER_API int32_t jmLaserEnumerateDevices();
JMLASER_API int32_t jmLaserGetDeviceListLength();
JMLASER_API int32_t jmLaserGetDeviceListEntryLength(int32_t index);
JMLASER_API int32_t jmLaserGetDeviceListEntry(int32_t index, char* buffer, int32_t length);

// Facts about a listed device, by name.
JMLASER_API int32_t jmLaserGetDeviceFamilyName(const char* deviceName, char* buffer,
                                               int32_t length);
JMLASER_API int32_t jmLaserGetDeviceFamilyNameLength(const char* deviceName);
JMLASER_API int32_t jmLaserDeviceIsRemote(const char* deviceName);
JMLASER_API int32_t jmLaserDeviceIsInUse(const char* deviceName);
JMLASER_API int32_t jmLaserGetFriendlyName(const char* deviceName, char* buffer, int32_t length);
JMLASER_API int32_t jmLaserGetFriendlyNameLength(const char* deviceName);
// Renames the device for this run of the library.
JMLASER_API int32_t jmLaserSetFriendlyName(const char* deviceName, const char* friendlyName);

// Open answers a handle (>= 1).
JMLASER_API int32_t jmLaserOpenDevice(const char* deviceName);
JMLASER_API int32_t jmLaserCloseDevice(int32_t handle);
JMLASER_API int32_t jmLaserGetDeviceName(int32_t handle, char* buffer, int32_t length);
JMLASER_API int32_t jmLaserGetDeviceNameLength(int32_t handle);

JMLASER_API int32_t jmLaserStartOutput(int32_t handle);
// Darkens the beam and drops the frames it holds.
JMLASER_API int32_t jmLaserStopOutput(int32_t handle);

JMLASER_API int32_t jmLaserGetMinSpeed(int32_t handle);
JMLASER_API int32_t jmLaserGetMaxSpeed(int32_t handle);
JMLASER_API int32_t jmLaserGetSpeedStep(int32_t handle);
JMLASER_API int32_t jmLaserGetMaxFrameSize(int32_t handle);
JMLASER_API int32_t jmLaserGetNumColorChannels(int32_t handle);
// 1 drives all colours from the intensity, 3 uses r, g, b, 4 adds the intensity channel.
JMLASER_API int32_t jmLaserSetNumUsedColorChannels(int32_t handle, int32_t count);
JMLASER_API int32_t jmLaserGetNumUsedColorChannels(int32_t handle);

// 1 when the device takes a frame now (output started, nothing waiting), 0 when not.
JMLASER_API int32_t jmLaserIsDeviceReady(int32_t handle);
// Waits until ready: 1, or kJmLaserErrorTimeout after a second.
JMLASER_API int32_t jmLaserWaitForDeviceReady(int32_t handle);

// Frames: the frame being scanned repeats until the next one has arrived; one frame can wait
// behind it and starts when the current pass ends. Speed is in points per second (clamped to
// the device's range); `repetitions` is reserved and should be 0.
// NL: refuses the frame with kJmLaserErrorBusy when the device is not ready.
JMLASER_API int32_t jmLaserWriteFrameNL(int32_t handle, const JmPoint* points, int32_t count,
                                        int32_t speed, int32_t repetitions);
// Waits (at most a second) until the device is ready, then writes.
JMLASER_API int32_t jmLaserWriteFrame(int32_t handle, const JmPoint* points, int32_t count,
                                      int32_t speed, int32_t repetitions);
// Latest wins: a frame that is still waiting is replaced by this one.
JMLASER_API int32_t jmLaserWriteFrameEL(int32_t handle, const JmPoint* points, int32_t count,
                                        int32_t speed, int32_t repetitions);

// DMX universes: none of our devices has one.
JMLASER_API int32_t jmLaserGetNumUniverses(int32_t handle);
JMLASER_API int32_t jmLaserGetUniverseNameLength(int32_t handle, int32_t universe);
JMLASER_API int32_t jmLaserGetUniverseName(int32_t handle, int32_t universe, char* buffer,
                                           int32_t length);
JMLASER_API int32_t jmLaserGetUniverseResolution(int32_t handle, int32_t universe);
JMLASER_API int32_t jmLaserGetUniverseNumChannels(int32_t handle, int32_t universe);
JMLASER_API int32_t jmLaserUniverseUpdate(int32_t handle, int32_t universe);
JMLASER_API int32_t jmLaserUniverseRead(int32_t handle, int32_t universe, int32_t channel,
                                        uint8_t* buffer, int32_t length);
JMLASER_API int32_t jmLaserUniverseWrite(int32_t handle, int32_t universe, int32_t channel,
                                         const uint8_t* buffer, int32_t length);
