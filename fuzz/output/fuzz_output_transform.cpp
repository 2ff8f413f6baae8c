// Any calibration and any staged frame, from the start animation's full 32-bit coordinates
// to the largest show frame: the transform stays inside its buffers and leaves every DAC
// point well formed.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "output/jm_laser.h"
#include "output/laser_ausgabe.h"
#include "show/show_store.h"
#include "widgets/status_image.h"

namespace {

struct Rig {
  lumarex::ShowStore store;
  lumarex::JMLaser dac;
  lumarex::StatusImage scanninfo{250, 430};
  lumarex::StatusImage deviceFenster{250, 243};
  lumarex::LaserAusgabe output{store, dac, scanninfo, deviceFenster};
};

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t Byte() { return at < size ? data[at++] : 0; }
  int32_t Int(int bytes) {
    uint32_t v = 0;
    for (int k = 0; k < bytes; ++k) v |= uint32_t{Byte()} << (8 * k);
    if (bytes == 2) return static_cast<int16_t>(v);
    return static_cast<int32_t>(v);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Rig* rig = new Rig;
  lumarex::LaserAusgabe& o = rig->output;
  Reader in{data, size};

  o.Scanspeed.SetPosition(in.Byte());
  const uint8_t resize = in.Byte();
  // A new size rebuilds the axis tables, the slowest step by far; one run in eight moves it.
  if ((resize & 7) == 0) {
    o.Achse_X.SetLeft(in.Byte() % 101);
    o.Achse_X.SetRight(in.Byte() % 101);
    o.Achse_Y.SetLeftQuietly(in.Byte() % 101);  // around the handler, as a stray writer could
    o.Achse_Y.SetRightQuietly(in.Byte() % 101);
  }
  o.Scanner_Invers.SetPosition(in.Byte());
  o.Orientation = in.Byte() % 9;  // 8: the orientation nobody should set
  o.Farbverschiebung.SetPosition(in.Byte());
  o.Extrapoints.SetPosition(in.Byte());
  if (in.Byte() & 1) o.Framewechsel.Click();
  o.Rot_to_Laser.SetLeft(in.Byte());
  o.Rot_to_Laser.SetRight(in.Byte());
  o.Dimmen_RGB.SetPosition(in.Byte());
  const uint8_t mode = in.Byte();
  const bool wide = (mode & 1) != 0;
  // Short inputs stand for long frames too: the points repeat up to the chosen length.
  // Most runs take short frames, to keep the fuzzer quick; one in four may reach the largest.
  const uint32_t span = (mode & 6) == 6 ? 65536 : 600;
  const uint32_t length = 1 + (uint32_t{in.Byte()} | uint32_t{in.Byte()} << 8) % span;

  const auto staged = o.StagedPoints();
  const size_t pointBytes = wide ? 11 : 7;
  const size_t first = in.at;
  const size_t available = (size - std::min(size, first)) / pointBytes;
  for (uint32_t k = 0; k < length; ++k) {
    Reader p{data, size, available == 0 ? size : first + (k % available) * pointBytes};
    lumarex::SequencePoint& s = staged[k];
    s.x = p.Int(wide ? 4 : 2);
    s.y = p.Int(wide ? 4 : 2);
    s.r = p.Byte();
    s.g = p.Byte();
    s.b = p.Byte();
  }
  o.TransformAndSend(length);

  const auto sent = o.LastDacPoints();
  if (sent.empty() || sent.size() > lumarex::LaserAusgabe::kMaxSequence) std::abort();
  for (const lumarex::DacPoint& d : sent) {
    const bool dark = d.r == 0 && d.g == 0 && d.b == 0 && d.i == 0;
    if (!dark && d.i != (d.r + d.g + d.b) / 3) std::abort();
    if (d.reserved[0] | d.reserved[1] | d.reserved[2] | d.reserved[3]) std::abort();
  }
  return 0;
}
