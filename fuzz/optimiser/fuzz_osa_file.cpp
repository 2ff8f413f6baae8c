// Any bytes as an optimisation set: decoding must refuse what is not 8..16 bytes, and a set
// loaded into the controls must leave every control within its range.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "optimiser/optimiser_controls.h"
#include "optimiser/osa_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const std::optional<lumarex::ParameterSet> set = lumarex::DecodeParameterSet(bytes);
  if (set.has_value() != (size >= 8 && size <= 16)) std::abort();
  if (!set) return 0;
  // What is written back decodes to the same positions.
  if (lumarex::DecodeParameterSet(lumarex::EncodeParameterSet(*set)) != set) std::abort();

  static lumarex::ShowStore store;
  lumarex::SilentDesktopServices desktop;
  lumarex::OptimiserControls controls(store, desktop);
  controls.ApplyPositions(*set);
  const lumarex::OptimiserParameters p = controls.Parameters();
  const bool inRange = p.VisibleStep >= 768 && p.BlankStep >= 768 && p.BlankStep <= 4096 &&
                       p.SeekStartCount <= 10 && p.SeekEndCount <= 10 && p.BlankStartCount <= 10 &&
                       p.BlankEndCount <= 10 && p.SearchMode <= 3 && p.MinPoints <= 200 &&
                       controls.Richtungsrechenfaktor.Position() == 0;
  if (!inRange) std::abort();
  return 0;
}
