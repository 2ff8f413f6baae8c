// The status images of the main window: the frame information panel Statusfenster with its
// mode label, the start-up drawing of the other panels, and the oscilloscope.

#include <array>
#include <string>

#include "mainwindow/tform1.h"
#include "preview/frame_picture.h"

namespace lumarex {

namespace {

constexpr uint32_t kPurple = 0x800080;

// The labels DrawStatusFrame writes; they have never matched the mode names everywhere.
constexpr const char* kFrameLabels[kPreviewModeCount] = {"Grafik Show", "Beam Show", "Seziermodus",
                                                         "Seziermodus", "ML - Effekt"};

std::string Padded(std::string_view text, size_t width) {
  std::string padded(text);
  if (padded.size() < width) padded.resize(width, ' ');
  return padded;
}

std::string TwoDigits(uint64_t value) {
  return (value < 10 ? "0" : "") + std::to_string(value);
}

// A value of the frame information panel: ": " and the value, blanks after it so that a
// shorter value wipes a longer one.
std::string PanelValue(const std::string& value) {
  return Padded(": " + value, 16);
}

// The labels of the frame information, in their column.
void WriteFrameLabels(StatusImage& image, int32_t x, const char* number, const char* format) {
  image.TextOut(x, 10, number);
  image.TextOut(x, 25, format);
  image.TextOut(x, 45, "Pfade");
  image.TextOut(x, 60, "Vektoren");
  image.TextOut(x, 75, "Sichtbare");
  image.TextOut(x, 90, "Unsichtbare");
}

void FramedGrey(StatusImage& image) {
  image.BrushColour = kColourGrey;
  image.Fill(kColourGrey);
  image.PenColour = kColourBlack;
  image.Rectangle(0, 0, image.Width(), image.Height());
}

}  // namespace

void Tform1::DrawStatusLabels() {
  Statusfenster.BrushColour = kColourGrey;
  Statusfenster.Fill(kColourGrey);
  Statusfenster.PenColour = kColourBlack;
  WriteFrameLabels(Statusfenster, 10, "Frame Nr", "Frame Format");
  PreviewMode = static_cast<uint8_t>(OGL_Effekt.Position());
  Statusfenster.TextOut(60, 195, PreviewModeLabel(PreviewMode));
  Statusfenster.Rectangle(1, 1, Statusfenster.Width(), Statusfenster.Height());
}

void Tform1::DrawStatusFrame() {
  FramedGrey(Statusfenster);
  PreviewMode = static_cast<uint8_t>(OGL_Effekt.Position());
  const uint8_t mode = PreviewMode < kPreviewModeCount ? PreviewMode : 0;
  Statusfenster.TextOut(mode <= 2 ? 65 : 60, 195, Padded(kFrameLabels[mode], 26));
}

void Tform1::DrawFrameInformation(uint32_t n) {
  const FrameStats s = Store.FrameStatistics(n);
  Statusfenster.TextOut(110, 10, PanelValue(std::to_string(n)));
  Statusfenster.TextOut(110, 25, PanelValue(s.Dimension()));
  Statusfenster.TextOut(110, 45, PanelValue(std::to_string(s.paths)));
  Statusfenster.TextOut(110, 60, PanelValue(std::to_string(s.vectors)));
  Statusfenster.TextOut(110, 75, PanelValue(std::to_string(s.visible)));
  Statusfenster.TextOut(110, 90, PanelValue(std::to_string(s.blanked)));
  const uint64_t ms = Player.PlayTimeMs;
  Statusfenster.TextOut(110, 115,
                        PanelValue(TwoDigits(ms / 60000) + " : " + TwoDigits(ms / 1000 % 60) +
                                   " : " + TwoDigits(ms / 10 % 100)));
}

void Tform1::SaveStarted() {
  Statusfenster.PenColour = kColourBlack;
  WriteFrameLabels(Statusfenster, 30, "Save Frame Nr", "Format");
  Statusfenster.Rectangle(0, 0, Statusfenster.Width(), Statusfenster.Height());
}

void Tform1::FrameSaved(uint32_t frame) {
  DrawFrameInformation(frame);
}

void Tform1::ClearScope() {
  Player.MusicPlaying = false;
  FramedGrey(Oszilloskop);
  Oszilloskop.PenColour = kPurple;
  const int32_t m = Oszilloskop.Height() / 2;
  Oszilloskop.Line(0, m, 255, m);
}

void Tform1::DrawScope(const WaveBuffer& wave) {
  // The old trace goes with a fill rather than with grey lines over it: the picture is the
  // same, and the image's record of drawing stays as short as the picture.
  FramedGrey(Oszilloskop);
  const int32_t m = Oszilloskop.Height() / 2;
  Oszilloskop.PenColour = kPurple;
  Oszilloskop.Line(0, m, 255, m);
  Oszilloskop.PenColour = kColourWhite;
  int32_t lastX = 1;
  int32_t lastY = 0;
  for (int32_t x = 1; x <= 253; ++x) {
    const uint32_t word = wave[static_cast<size_t>(2 * x)];
    const auto left = static_cast<int16_t>(word & 0xFFFFu);
    const auto right = static_cast<int16_t>(word >> 16);
    const int32_t y = ((int32_t{left} + int32_t{right}) * 180) / 131070;
    ScopeTrace[static_cast<size_t>(x)] = static_cast<uint8_t>((m + y) % 256);
    if (x > 1) Oszilloskop.Line(lastX, lastY, x, m + y);
    lastX = x;
    lastY = m + y;
  }
}

void Tform1::RestoreMainDisplays() {
  preview_.Restore();
  ClearPreview();
  DrawStatusFrame();
  DrawStatusLabels();
}

void Tform1::DrawScanninfoFrame() {
  FramedGrey(Scanninfo);
  Scanninfo.Line(0, 298, Scanninfo.Width(), 298);
  Scanninfo.Line(0, 400, Scanninfo.Width(), 400);
  Scanninfo.TextOut(30, 5, "Output : Size + Move + Invers + Swap");
  Scanninfo.TextOut(
      30, 255,
      "Output        Size X : " + std::to_string(Output.Achse_X.Right() - Output.Achse_X.Left()) +
          " %        ");
  Scanninfo.TextOut(
      160, 255,
      " Size Y : " + std::to_string(Output.Achse_Y.Right() - Output.Achse_Y.Left()) + " %  ");
  Scanninfo.TextOut(100, 275, " X + Y : Normal");
  Scanninfo.TextOut(10, 305, "Min");
  Scanninfo.TextOut(100, 305, "Color RGB");
  Scanninfo.TextOut(210, 305, "Max");
  Scanninfo.TextOut(4, 410, "Power");
  Output.DrawOutputWindow();
}

void Tform1::DrawSavefromFrame() {
  FramedGrey(Savefrom);
  Savefrom.TextOut(10, 9, "Save File Start");
  Savefrom.TextOut(10, 33, "Save File End");
  const std::string position = ": " + std::to_string(Player.Framescroll.Position()) + "          ";
  Savefrom.TextOut(83, 9, position);
  Savefrom.TextOut(83, 33, position);
}

void Tform1::DrawDeviceFensterFrame() {
  FramedGrey(DeviceFenster);
  DeviceFenster.Line(0, 81, DeviceFenster.Width(), 81);
  DeviceFenster.Line(0, 126, DeviceFenster.Width(), 126);
  DeviceFenster.Line(0, 176, DeviceFenster.Width(), 176);
  Devices.DrawStartupPanel();
  DeviceFenster.TextOut(10, 85, "Scannerspeed");
  DeviceFenster.TextOut(10, 130, "Colorshift");
  DeviceFenster.TextOut(120, 130, "Extrapoints");
  Output.ScanspeedChange();
  Output.FarbverschiebungChange();
  Output.ExtrapointsChange();
  DeviceFenster.TextOut(10, 180, "Timer anfragen 200 je Sek");
  DeviceFenster.TextOut(10, 195, "Timer unsyncron");
  DeviceFenster.TextOut(10, 210, "Frames angenommen");
  DeviceFenster.TextOut(10, 225, "Frames verweigert");
  for (const int32_t y : {180, 195, 210, 225}) DeviceFenster.TextOut(150, y, ": 0");
}

}  // namespace lumarex
