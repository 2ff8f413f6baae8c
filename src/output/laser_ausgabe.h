#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "output/colour_table.h"
#include "output/dac_point.h"
#include "output/jm_laser.h"
#include "projection/projection_stage.h"
#include "show/show_store.h"
#include "widgets/button.h"
#include "widgets/image.h"
#include "widgets/range_slider.h"
#include "widgets/status_image.h"
#include "widgets/track_bar.h"

namespace lumarex {

// The device output: turns one frame into the calibrated DacPoint list and writes it to the
// open device. It owns the calibration controls of the main window's right-hand column (the
// Qt view binds to them; the parameter files set them) and writes their texts on the status
// images Scanninfo and DeviceFenster. All buffers are allocated once, for the largest frame
// the store can hold, so no frame is cut and nothing is allocated per frame.
// User-interface thread only.
class LaserAusgabe {
 public:
  static constexpr int32_t MaxBlankStep = 1500;
  static constexpr uint32_t kMaxStagedPoints = ShowStore::kMaxPointsPerFrame;
  // The longest sequence any staged frame can give: a blanked move between two points of the
  // show's coordinate range takes at most 65535 div 1500 = 43 steps; entry 0, the two
  // blanked ends of the frame and the closing centre point add four; every transition
  // between blanked and lit adds twice the extra points, and there are fewer transitions
  // than entries.
  static constexpr uint32_t kMaxMoveSteps = 65535 / MaxBlankStep;
  static constexpr uint32_t kMaxExtraPoints = 5;
  static constexpr uint32_t kMaxBaseSequence = kMaxStagedPoints + 2 * kMaxMoveSteps + 4;
  static constexpr uint32_t kMaxSequence = kMaxBaseSequence * (1 + 2 * kMaxExtraPoints);

  LaserAusgabe(const ShowStore& store, JMLaser& dac, StatusImage& scanninfo,
               StatusImage& deviceFenster);
  LaserAusgabe(const LaserAusgabe&) = delete;
  LaserAusgabe& operator=(const LaserAusgabe&) = delete;

  // --- The calibration controls (range, default, hint as on the main window) ---
  TrackBar Scanspeed{20, 80, 25};
  RangeSlider Achse_X{0, 100, 25, 75};
  RangeSlider Achse_Y{0, 100, 25, 75};
  TrackBar Farbverschiebung{0, 10, 5};
  TrackBar Extrapoints{0, 5, 0};
  TrackBar Scanner_Invers{0, 7, 0};
  Button Framewechsel{"Centerfahrt"};
  RangeSlider Rot_to_Laser{0, 80, 0, 80};
  RangeSlider Gruen_to_Laser{0, 80, 0, 80};
  RangeSlider Blau_to_Laser{0, 80, 0, 80};
  TrackBar Dimmen_RGB{4, 10, 10};
  Image Schloss_Auf{"Schloss_Auf"};
  Image Schloss_Zu{"Schloss_Zu"};

  // --- Calibration state ---
  int32_t ScanSpeedPps = 0;  // of the last TransformAndSend
  double ScaleX = 0.5;
  double ScaleY = 0.5;
  int32_t OffsetX = 0;
  int32_t OffsetY = 0;
  uint16_t ColourShift = 0;
  uint16_t ExtraPoints = 0;
  uint8_t Orientation = 0;
  uint8_t FrameChangeMode = 0;  // 0 centre move, 1 direct move
  int32_t LastEndX = 0;
  int32_t LastEndY = 0;
  ColourTable RedTable = IdentityColourTable();
  ColourTable GreenTable = IdentityColourTable();
  ColourTable BlueTable = IdentityColourTable();
  bool PowerUnlocked = true;

  // --- Output ---
  // Stages frame n (blanked points black) and sends it; an empty frame sends one dark centre
  // point, an empty show nothing. Answers whether the device took the frame (a device may
  // refuse one it said it was ready for, e.g. beyond its point limit; an empty show sends
  // nothing and counts as taken).
  bool OutputFrame(uint16_t n);
  // The input of TransformAndSend, kMaxStagedPoints entries; the start animation fills it.
  std::span<SequencePoint> StagedPoints() { return {staged_.get(), kMaxStagedPoints}; }
  // Sends StagedPoints()[0..count-1] (count clamped to 1..kMaxStagedPoints; 0 sends nothing).
  // Answers whether the device took it, as OutputFrame.
  bool TransformAndSend(uint32_t count);
  // OutputFrame in two steps: the first prepares the list (its own state only: outputs of a rig
  // may prepare on several threads at once) and answers whether there is one to write; the
  // second writes it to the device, on the thread that owns the device.
  bool PrepareFrame(uint16_t n);
  bool WritePrepared();
  // Fits the calibrated list to the surface (corners, warp, masks, safe area) before it is
  // written; none set (the default) writes the calibrated list itself.
  ProjectionStage OutputProjection;
  // The DacPoint list of the last write (after the projection), and the point rate it was
  // written at.
  std::span<const DacPoint> LastDacPoints() const { return lastSent_; }
  int32_t LastWriteRate() const { return lastWriteRate_; }
  // Called after every write to the device (an output view redraws from LastDacPoints).
  std::function<void()> OnWritten;
  // The device handle the writes go to: the DAC binding's open device unless another is given
  // (a further projector of a rig keeps its own). The handle is read at every write.
  void WriteToHandle(const int32_t* handle) { handle_ = handle ? handle : &device_.DeviceHandle; }

  // --- Change handlers, bound to the controls above ---
  void ScanspeedChange();
  void Achse_XChange();
  void Achse_YChange();
  void FarbverschiebungChange();
  void ExtrapointsChange();
  void Scanner_InversChange();
  void FramewechselClick();
  void Rot_to_LaserChange();
  void Gruen_to_LaserChange();
  void Blau_to_LaserChange();
  void Dimmen_RGBChange();
  void Schloss_AufClick();
  void Schloss_ZuClick();

  // The calibration part of the main window's start-up: power unlocked with the open lock
  // showing, power 10, every colour range 5..80 with its tables and voltages.
  void ApplyStartupSettings();
  void ResetColourTables();
  // The grey square and, in red, the output window of the two size sliders on Scanninfo.
  void DrawOutputWindow();

 private:
  enum class Axis { kX, kY };
  enum class Channel { kRed, kGreen, kBlue };

  // Turns StagedPoints()[0..count-1] (1..kMaxStagedPoints) into the list the next write sends.
  void Transform(uint32_t count);
  void AxisChange(Axis axis);
  void ColourRangeChange(Channel channel);
  void RebuildColourTable(Channel channel);
  void WriteUpperVoltage(Channel channel);
  RangeSlider& ColourSlider(Channel channel);

  // The output sequence without extra points: the blanked start and move (prefix), the
  // staged frame in place, and the blanked end and move (suffix). Read where it lies
  // instead of copied together: the copy cost a quarter of the transform.
  struct SequenceParts {
    const SequencePoint* part[3];
    uint32_t end[3];  // one past each part's last index in the whole sequence
  };
  static uint32_t AppendMove(SequencePoint* out, uint32_t n, int32_t ax, int32_t ay, int32_t bx,
                             int32_t by);
  uint32_t ExpandExtraPoints(const SequenceParts& parts, uint32_t extra);
  void MapToDac(const SequenceParts& parts, uint32_t count, uint32_t shift);
  // A DAC coordinate for every show coordinate -32768..32768 of one axis.
  struct AxisTable {
    std::unique_ptr<uint16_t[]> values;
    double scale = -1.0;  // no table yet
    int32_t offset = 0;
  };
  static void UpdateAxisTable(AxisTable& table, double scale, int32_t offset);

  const ShowStore& store_;
  JMLaser& device_;
  StatusImage& scanninfo_;
  StatusImage& deviceFenster_;
  std::unique_ptr<SequencePoint[]> staged_;
  std::unique_ptr<SequencePoint[]> sequence_;
  // Entry 0, the longest move and the blanked end point on each side of the frame.
  SequencePoint prefix_[kMaxMoveSteps + 2];
  SequencePoint suffix_[kMaxMoveSteps + 2];
  std::unique_ptr<DacPoint[]> dacList_;
  const int32_t* handle_;
  std::span<const DacPoint> lastSent_;
  int32_t lastWriteRate_ = 0;
  AxisTable xTable_;
  AxisTable yTable_;
};

}  // namespace lumarex
