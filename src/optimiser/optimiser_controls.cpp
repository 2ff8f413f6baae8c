#include "optimiser/optimiser_controls.h"

#include <algorithm>
#include <cmath>

namespace lumarex {

namespace {

constexpr uint32_t kIndicatorBlue = 0x0000FF;
constexpr uint32_t kIndicatorGreen = 0x00FF00;
constexpr uint32_t kIndicatorRed = 0xFF0000;

const char* SearchModeLabel(int32_t position) {
  switch (position) {
    case 1:
      return "Vom Center Optimieren                             ";
    case 2:
      return "Vom Framestart Optimieren + Centerfahrt";
    case 3:
      return "Vom Center Optimieren + Centerfahrt        ";
    default:
      return "Vom Framestart Optimieren                             ";
  }
}

// The count as the indicators write it: one blank on either side of a single digit.
std::string CountText(int count) {
  return count < 10 ? " " + std::to_string(count) + " " : std::to_string(count);
}

// A filled dot as horizontal spans, the way a canvas fills a small ellipse.
void FilledDot(StatusImage& image, int32_t cx, int32_t cy, int32_t radius) {
  if (radius <= 0) return;  // a count of 0 shows no dot
  for (int32_t dy = -radius; dy <= radius; ++dy) {
    const auto half =
        static_cast<int32_t>(std::sqrt(static_cast<double>(radius * radius - dy * dy)));
    // Canvas lines leave out their last pixel.
    image.Line(cx - half, cy + dy, cx + half + 1, cy + dy);
  }
}

}  // namespace

int DwellDotRadius(int count) {
  if (count <= 4) return std::max(0, count);
  if (count <= 6) return 5;
  if (count <= 8) return 6;
  return 7;
}

OptimiserControls::OptimiserControls(ShowStore& store, DesktopServices& desktop)
    : store_(store), desktop_(desktop) {
  Interpolation_Seek.OnChange([this] { Interpolation_Seekchange(); });
  Interpolation_Geblankt.OnChange([this] { Interpolation_Geblanktchange(); });
  Seek_Start.OnChange([this] { Seek_Startchange(); });
  Seek_End.OnChange([this] { Seek_Endchange(); });
  Blank_Start.OnChange([this] { Blank_Startchange(); });
  Blank_End.OnChange([this] { Blank_Endchange(); });
  Suchraster.OnChange([this] { Suchrasterchange(); });
  Min_Points.OnChange([this] { Min_PointsChange(); });
  Richtungsrechenfaktor.OnChange([this] { RichtungsrechenfaktorChange(); });
  // The indicators show the counts from the start, not only after the first change.
  DrawDwellIndicators(true);
  DrawDwellIndicators(false);
}

void OptimiserControls::Reoptimise() const {
  if (reoptimise_) reoptimise_();
}

void OptimiserControls::Open() {
  Info_Center.Fill(kColourGrey);
  Info_Center.TextOut(5, 5, "Sprungweite sichtbar max  :4096");
  Info_Center.TextOut(5, 32, "Sprungweite blank max     :4096");
  Info_Center.TextOut(5, 59, "Start/Endpunkte des Sichtbaren Pfades");
  Info_Center.TextOut(5, 86, "Start/Endpunkte des geblankten Pfades");
  Info_Center.TextOut(8, 113, "Vom Framestart Optimieren  ");
  Info_Center.TextOut(8, 140, "Min Punkte je Frame :      0");
  Info_Center.TextOut(8, 167, "Sort Richtungsfaktor: .00");
  Seek_Start.SetPosition(10);
  Blank_Start.SetPosition(8);
  Seek_End.SetPosition(0);
  Blank_End.SetPosition(2);
  Interpolation_Geblankt.SetPosition(32);
  Interpolation_Seek.SetPosition(34);
  Min_Points.SetPosition(0);
  Suchraster.SetPosition(0);
  Min_Points.SetPosition(1);
  Richtungsrechenfaktor.SetPosition(0);
  // The opening text claims a visible width of 4096 while the opening position leaves lit
  // segments as they are; when the position did not move, no handler has corrected it.
  DrawVisibleWidthLabel();
  directionFactor_ = 1.0;
}

OptimiserParameters OptimiserControls::Parameters() const {
  OptimiserParameters p;
  const int32_t seek = Interpolation_Seek.Position();
  p.VisibleStep =
      seek >= 34 ? OptimiserParameters::kVisibleStepAsIs : static_cast<uint16_t>(seek * 128);
  p.BlankStep = static_cast<uint16_t>(Interpolation_Geblankt.Position() * 128);
  p.SeekStartCount = static_cast<uint8_t>(10 - Seek_Start.Position());
  p.SeekEndCount = static_cast<uint8_t>(Seek_End.Position());
  p.BlankStartCount = static_cast<uint8_t>(10 - Blank_Start.Position());
  p.BlankEndCount = static_cast<uint8_t>(Blank_End.Position());
  p.SearchMode = static_cast<uint8_t>(Suchraster.Position());
  p.CenterStep = p.SearchMode >= 2 ? p.BlankStep : 0;
  p.MinPoints = kMinPointsByPosition[Min_Points.Position()];
  return p;
}

ParameterSet OptimiserControls::Positions() const {
  const auto byte = [](const TrackBar& t) { return static_cast<uint8_t>(t.Position()); };
  return {byte(Seek_Start),
          byte(Blank_Start),
          byte(Seek_End),
          byte(Blank_End),
          byte(Interpolation_Geblankt),
          byte(Interpolation_Seek),
          byte(Min_Points),
          byte(Suchraster),
          byte(Richtungsrechenfaktor)};
}

void OptimiserControls::ApplyPositions(const ParameterSet& set) {
  Seek_Start.SetPosition(set.SeekStart);
  Blank_Start.SetPosition(set.BlankStart);
  Seek_End.SetPosition(set.SeekEnd);
  Blank_End.SetPosition(set.BlankEnd);
  Interpolation_Geblankt.SetPosition(set.InterpolationBlank);
  Interpolation_Seek.SetPosition(set.InterpolationSeek);
  Min_Points.SetPosition(set.MinPoints);
  Suchraster.SetPosition(set.SearchRaster);
  Richtungsrechenfaktor.SetPosition(set.DirectionFactor);
}

void OptimiserControls::DrawVisibleWidthLabel() {
  const int32_t position = Interpolation_Seek.Position();
  if (position >= 34) {
    Info_Center.TextOut(5, 5, "Sprungweite sichtbar belassen                 ");
  } else {
    // The width actually used, position x 128.
    Info_Center.TextOut(5, 5,
                        "Sprungweite sichtbar max : " + std::to_string(position * 128) + "    ");
  }
}

void OptimiserControls::Interpolation_Seekchange() {
  DrawVisibleWidthLabel();
  Reoptimise();
}

void OptimiserControls::Interpolation_Geblanktchange() {
  Info_Center.TextOut(5, 32,
                      "Sprungweite blank max     : " +
                          std::to_string(Interpolation_Geblankt.Position() * 128) + "    ");
  Reoptimise();
}

void OptimiserControls::DrawDwellIndicators(bool lit) {
  StatusImage& image = lit ? Sichtbarpoints : Geblanktepoints;
  const OptimiserParameters p = Parameters();
  const int startCount = lit ? p.SeekStartCount : p.BlankStartCount;
  const int endCount = lit ? p.SeekEndCount : p.BlankEndCount;
  image.Fill(kColourGrey);
  for (int32_t y = 6; y <= 11; ++y) {
    uint32_t colour = kColourBlack;
    if (lit) colour = y <= 7 ? kIndicatorBlue : (y <= 9 ? kIndicatorGreen : kIndicatorRed);
    image.PenColour = colour;
    image.Line(22, y, 77, y);
  }
  image.PenColour = kColourBlack;
  image.FontColour = kColourBlack;
  image.BrushColour = kColourGrey;
  image.TextOut(6, 2, CountText(startCount));
  image.TextOut(83, 2, CountText(endCount));
  image.PenColour = lit ? kColourWhite : kColourBlack;
  FilledDot(image, lit ? 27 : 25, 10, DwellDotRadius(startCount));
  FilledDot(image, 75, 10, DwellDotRadius(endCount));
  image.PenColour = kColourBlack;
}

void OptimiserControls::Seek_Startchange() {
  DrawDwellIndicators(true);
  Reoptimise();
}

void OptimiserControls::Seek_Endchange() {
  DrawDwellIndicators(true);
  Reoptimise();
}

void OptimiserControls::Blank_Startchange() {
  DrawDwellIndicators(false);
  Reoptimise();
}

void OptimiserControls::Blank_Endchange() {
  DrawDwellIndicators(false);
  Reoptimise();
}

void OptimiserControls::Suchrasterchange() {
  Info_Center.TextOut(8, 113, SearchModeLabel(Suchraster.Position()));
  Reoptimise();
}

void OptimiserControls::Min_PointsChange() {
  const uint16_t value = kMinPointsByPosition[Min_Points.Position()];
  const char* blanks = value < 10 ? "      " : (value < 100 ? "   " : (value < 1000 ? " " : ""));
  Info_Center.TextOut(8, 140,
                      std::string("Min Punkte je Frame :") + blanks + std::to_string(value) + "  ");
  Reoptimise();
}

void OptimiserControls::RichtungsrechenfaktorChange() {
  // No ordering weighs the direction yet, so the control always returns to its only value.
  Richtungsrechenfaktor.SetPositionQuietly(0);
  directionFactor_ = 1.0;
  Info_Center.TextOut(8, 167, "Sort Richtungsfaktor: .00");
}

void OptimiserControls::SaveParameterSet(const std::optional<std::string>& chosen) {
  if (!chosen) {
    Reoptimise();
    return;
  }
  switch (WriteParameterSetFile(ParameterSetSaveName(*chosen), Positions())) {
    case ParameterSetWrite::kOk:
      Reoptimise();
      return;
    case ParameterSetWrite::kCannotCreate:
      store_.IoStatus = "K";
      break;
    case ParameterSetWrite::kShortWrite:
      store_.IoStatus.clear();
      break;
    case ParameterSetWrite::kFailed:
      break;
  }
  // Every failed save is said, so that nobody relies on a set that was never written.
  desktop_.ShowMessage("Not Save OSA File");
  Reoptimise();
}

bool OptimiserControls::LoadParameterSet(const std::optional<std::string>& chosen) {
  if (!chosen) {
    Reoptimise();
    return false;
  }
  if (!IsParameterSetName(*chosen)) {
    desktop_.ShowMessage("Ungültige Datei");
    Reoptimise();
    return false;
  }
  ParameterSet set;
  switch (ReadParameterSetFile(*chosen, set)) {
    case ParameterSetRead::kOk:
      break;
    case ParameterSetRead::kCannotOpen:
      desktop_.ShowMessage("Lesefehler");
      return false;
    case ParameterSetRead::kBadLength:
      desktop_.ShowMessage("Ungültige Dateilänge");
      return false;
    case ParameterSetRead::kReadFailed:
      desktop_.ShowMessage("Optimierungs Satz nicht gefunden");
      desktop_.ShowMessage("Ungültige Datei");
      Reoptimise();
      return false;
  }
  ApplyPositions(set);
  desktop_.ProcessPendingMessages();
  Reoptimise();
  return true;
}

}  // namespace lumarex
