// The change handlers of the calibration controls and the texts they write.

#include <algorithm>
#include <cstdio>
#include <string>

#include "output/laser_ausgabe.h"

namespace lumarex {

namespace {

std::string Decimal(int32_t value) {
  return std::to_string(value);
}

std::string Volts(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f V", value);
  return text;
}

constexpr const char* kOrientationLabels[8] = {
    " X + Y : Normal",
    " X + Y : Invers",
    " X : Invers",
    " Y : Invers",
    " Swap X Y",
    " Swap Y X  |  X + Y : Invers",
    " Swap Y X  |  X : Invers",
    " Swap Y X  |  Y : Invers",
};

// Every label is padded to the longest so that it wipes whichever label stood before.
std::string PaddedOrientationLabel(int32_t orientation) {
  size_t width = 0;
  for (const char* label : kOrientationLabels) width = std::max(width, std::string(label).size());
  std::string label = kOrientationLabels[orientation];
  label.resize(width, ' ');
  return label;
}

constexpr int32_t kVoltageRow[3] = {322, 347, 372};

}  // namespace

void LaserAusgabe::ScanspeedChange() {
  deviceFenster_.TextOut(90, 85, ": " + Decimal(Scanspeed.Position()) + " K    ");
}

void LaserAusgabe::FarbverschiebungChange() {
  deviceFenster_.TextOut(57, 130, ": " + Decimal(Farbverschiebung.Position()) + " Vect  ");
}

void LaserAusgabe::ExtrapointsChange() {
  deviceFenster_.TextOut(177, 130, ": " + Decimal(Extrapoints.Position()) + " Stck");
}

void LaserAusgabe::Scanner_InversChange() {
  const int32_t position = Scanner_Invers.Position();
  Orientation = static_cast<uint8_t>(position);
  if (position >= 0 && position < 8) {
    scanninfo_.TextOut(100, 275, PaddedOrientationLabel(position));
  }
}

void LaserAusgabe::FramewechselClick() {
  if (FrameChangeMode != 0) {
    FrameChangeMode = 0;
    Framewechsel.SetCaption("Centerfahrt");
  } else {
    FrameChangeMode = 1;
    Framewechsel.SetCaption("IQ-Fahrt");
  }
}

void LaserAusgabe::Achse_XChange() {
  AxisChange(Axis::kX);
}
void LaserAusgabe::Achse_YChange() {
  AxisChange(Axis::kY);
}

void LaserAusgabe::AxisChange(Axis axis) {
  RangeSlider& slider = axis == Axis::kX ? Achse_X : Achse_Y;
  int32_t l = slider.Left();
  int32_t r = slider.Right();
  // Keep the window at least about 10 % wide; each adjustment moves the other thumb a step.
  if (r < l + 10 && l > 0) l -= 1;
  if (l > r - 10 && r < 100) r += 1;
  if (l > 90) l = 90;
  if (r < 10) r = 10;
  // Written back without running this handler again: a nested run would compute the offset
  // from a half-written pair and leave it stale.
  slider.SetLeftQuietly(l);
  slider.SetRightQuietly(r);
  l = slider.Left();
  r = slider.Right();

  scanninfo_.TextOut(
      30, 255, "Output    Size X : " + Decimal(Achse_X.Right() - Achse_X.Left()) + " %        ");
  scanninfo_.TextOut(150, 255, " Size Y : " + Decimal(Achse_Y.Right() - Achse_Y.Left()) + " %  ");
  const int32_t offset = ((l + r) / 2 - 50) * 655;
  if (axis == Axis::kX) {
    OffsetX = offset;
  } else {
    OffsetY = offset;
  }
  DrawOutputWindow();
}

void LaserAusgabe::DrawOutputWindow() {
  scanninfo_.FillRectangle(36, 51, 237, 252);
  scanninfo_.PenColour = kColourGrey;
  scanninfo_.Rectangle(36, 51, 237, 252);
  scanninfo_.PenColour = kColourRed;
  scanninfo_.Rectangle(36 + 2 * Achse_X.Left(), 251 - 2 * Achse_Y.Right(), 36 + 2 * Achse_X.Right(),
                       251 - 2 * Achse_Y.Left());
  scanninfo_.PenColour = kColourBlack;
}

RangeSlider& LaserAusgabe::ColourSlider(Channel channel) {
  switch (channel) {
    case Channel::kRed:
      return Rot_to_Laser;
    case Channel::kGreen:
      return Gruen_to_Laser;
    case Channel::kBlue:
      break;
  }
  return Blau_to_Laser;
}

void LaserAusgabe::RebuildColourTable(Channel channel) {
  const RangeSlider& slider = ColourSlider(channel);
  const ColourTable table = BuildColourTable(slider.Left(), slider.Right(), Dimmen_RGB.Position());
  switch (channel) {
    case Channel::kRed:
      RedTable = table;
      break;
    case Channel::kGreen:
      GreenTable = table;
      break;
    case Channel::kBlue:
      BlueTable = table;
      break;
  }
}

void LaserAusgabe::WriteUpperVoltage(Channel channel) {
  const RangeSlider& slider = ColourSlider(channel);
  scanninfo_.TextOut(200, kVoltageRow[static_cast<int>(channel)],
                     Volts(UpperVoltage(slider.Right(), Dimmen_RGB.Position())));
}

void LaserAusgabe::Rot_to_LaserChange() {
  ColourRangeChange(Channel::kRed);
}
void LaserAusgabe::Gruen_to_LaserChange() {
  ColourRangeChange(Channel::kGreen);
}
void LaserAusgabe::Blau_to_LaserChange() {
  ColourRangeChange(Channel::kBlue);
}

void LaserAusgabe::ColourRangeChange(Channel channel) {
  RangeSlider& slider = ColourSlider(channel);
  // The channel never drops below 45 at the top nor starts above 40, so it always reaches the
  // laser. Written back quietly, as for the size sliders.
  if (slider.Right() < 45) slider.SetRightQuietly(45);
  if (slider.Left() > 40) slider.SetLeftQuietly(40);
  RebuildColourTable(channel);
  scanninfo_.TextOut(4, kVoltageRow[static_cast<int>(channel)], Volts(LowerVoltage(slider.Left())));
  WriteUpperVoltage(channel);
}

void LaserAusgabe::Dimmen_RGBChange() {
  const int32_t power = Dimmen_RGB.Position();
  scanninfo_.TextOut(200, 410, Decimal(power * 10) + "  ");
  scanninfo_.TextOut(220, 410, "% ");
  for (const Channel channel : {Channel::kRed, Channel::kGreen, Channel::kBlue}) {
    RebuildColourTable(channel);
    WriteUpperVoltage(channel);
  }
}

void LaserAusgabe::Schloss_AufClick() {
  Schloss_Auf.SetVisible(false);
  Schloss_Zu.SetVisible(true);
  PowerUnlocked = false;
  Dimmen_RGB.SetEnabled(false);
}

void LaserAusgabe::Schloss_ZuClick() {
  Schloss_Zu.SetVisible(false);
  Schloss_Auf.SetVisible(true);
  PowerUnlocked = true;
  Dimmen_RGB.SetEnabled(true);
}

void LaserAusgabe::ResetColourTables() {
  RedTable = IdentityColourTable();
  GreenTable = IdentityColourTable();
  BlueTable = IdentityColourTable();
}

void LaserAusgabe::ApplyStartupSettings() {
  PowerUnlocked = true;
  Schloss_Auf.SetVisible(true);
  Schloss_Zu.SetVisible(false);
  Dimmen_RGB.SetEnabled(true);
  Orientation = static_cast<uint8_t>(Scanner_Invers.Position());
  Dimmen_RGB.SetPosition(10);
  for (RangeSlider* slider : {&Rot_to_Laser, &Gruen_to_Laser, &Blau_to_Laser}) {
    slider->SetLeft(5);
    slider->SetRight(80);
  }
  // The handlers build the tables only when a position moved; at start-up the tables must
  // stand whatever positions the controls came with.
  Dimmen_RGBChange();
  Rot_to_LaserChange();
  Gruen_to_LaserChange();
  Blau_to_LaserChange();
}

}  // namespace lumarex
