#include "settings/colour_ranges.h"

#include <algorithm>

#include "settings/stored_controls.h"

namespace tolvane {

namespace {

constexpr KeyRange kLevelRange{0, 255};

constexpr std::size_t slot(int camera) { return camera == 1 ? 1 : 0; }

constexpr std::array<RangeControl, 16> kControls = {{
    {RangeField::kFonMin, 0, "FonMin", "FonMin", "FonChMinLeft", "FonChMinRight", kLevelRange},
    {RangeField::kFonMax, 0, "FonMax", "FonMax", "FonChMaxLeft", "FonChMaxRight", kLevelRange},
    {RangeField::kP1Min, 0, "P1Min", "P1min", "P1ChMinLeft", "P1ChMinRight", kLevelRange},
    {RangeField::kP1Max, 0, "P1Max", "P1max", "P1ChMaxLeft", "P1ChMaxRight", kLevelRange},
    {RangeField::kP2Min, 0, "P2Min", "P2min", "P2ChMinLeft", "P2ChMinRight", kLevelRange},
    {RangeField::kP2Max, 0, "P2Max", "P2max", "P2ChMaxLeft", "P2ChMaxRight", kLevelRange},
    {RangeField::kFonBlack, 0, "FonBlack", "FonBlack", "FonBlackChMinLeft", "FonBlackChMinRight",
     kLevelRange},
    {RangeField::kFonLight, 0, "FonLight", "FonLight", "FonLightChMinLeft", "FonLightChMinRight",
     kLevelRange},
    {RangeField::kFonMin, 1, "C2FonMin", "C2FonMin", "C2FonChMinLeft", "C2FonChMinRight", kLevelRange},
    {RangeField::kFonMax, 1, "C2FonMax", "C2FonMax", "C2FonChMaxLeft", "C2FonChMaxRight", kLevelRange},
    {RangeField::kP1Min, 1, "C2P1Min", "C2P1min", "C2P1ChMinLeft", "C2P1ChMinRight", kLevelRange},
    {RangeField::kP1Max, 1, "C2P1Max", "C2P1max", "C2P1ChMaxLeft", "C2P1ChMaxRight", kLevelRange},
    {RangeField::kP2Min, 1, "C2P2Min", "C2P2min", "C2P2ChMinLeft", "C2P2ChMinRight", kLevelRange},
    {RangeField::kP2Max, 1, "C2P2Max", "C2P2max", "C2P2ChMaxLeft", "C2P2ChMaxRight", kLevelRange},
    {RangeField::kFonBlack, 1, "C2FonBlack", "C2FonBlack", "C2FonBlackChMinLeft", "C2FonBlackChMinRight",
     kLevelRange},
    {RangeField::kFonLight, 1, "C2FonLight", "C2FonLight", "C2FonLightChMinLeft", "C2FonLightChMinRight",
     kLevelRange},
}};

SorterSettings::CameraPair SorterSettings::*pairOf(RangeField field) {
  switch (field) {
    case RangeField::kFonMin:
      return &SorterSettings::FonMin;
    case RangeField::kFonMax:
      return &SorterSettings::FonMax;
    case RangeField::kP1Min:
      return &SorterSettings::P1Min;
    case RangeField::kP1Max:
      return &SorterSettings::P1Max;
    case RangeField::kP2Min:
      return &SorterSettings::P2Min;
    case RangeField::kP2Max:
      return &SorterSettings::P2Max;
    case RangeField::kFonBlack:
      return &SorterSettings::FonBlack;
    case RangeField::kFonLight:
      break;
  }
  return &SorterSettings::FonLight;
}

constexpr std::array<int32_t MachineSettings::*, kBlueFonCount> kBlueFields = {
    &MachineSettings::FRmin, &MachineSettings::FRmax, &MachineSettings::FGmin,
    &MachineSettings::FGmax, &MachineSettings::FBmin, &MachineSettings::FBmax};
constexpr std::array<std::string_view, kBlueFonCount> kBlueFieldNames = {"FRmin", "FRmax", "FGmin",
                                                                         "FGmax", "FBmin", "FBmax"};

int drawnLevel(int32_t level) { return std::clamp<int32_t>(level, kDrawnLevelMin, kDrawnLevelMax); }

BarSpan span(int left, int width) { return {left, std::max(0, width)}; }

}  // namespace

std::span<const RangeControl, 16> rangeControls() { return kControls; }

const RangeControl& rangeControl(RangeField field, int camera) {
  return kControls[slot(camera) * kRangeFieldCount + static_cast<std::size_t>(field)];
}

int32_t& rangeValue(SorterSettings& s, RangeField field, int camera) {
  return (s.*pairOf(field))[slot(camera)];
}

int32_t rangeValue(const SorterSettings& s, RangeField field, int camera) {
  return (s.*pairOf(field))[slot(camera)];
}

std::optional<LabelStep> stepLabelText(std::string_view labelText, StepDirection direction, KeyRange range) {
  const std::optional<int32_t> value = stepLabel(labelText, direction, range.min, range.max);
  if (!value) return std::nullopt;
  return LabelStep{*value, numberLabelText(*value)};
}

bool openTestProgramRanges(SorterSettings& s, int activeProgram) {
  if (activeProgram != kTestProgramIndex) return false;
  for (std::size_t c = 0; c < 2; ++c) {
    s.FonMin[c] = 0;
    s.FonBlack[c] = 0;
    s.P1Min[c] = 0;
    s.P2Min[c] = 0;
    s.FonMax[c] = 255;
    s.FonLight[c] = 255;
    s.P1Max[c] = 255;
    s.P2Max[c] = 255;
  }
  return true;
}

std::optional<LabelStep> stepRange(SorterSettings& s, int activeProgram, RangeField field, int camera,
                                   StepDirection direction, std::string_view labelText) {
  if (!isBackgroundLevel(field)) openTestProgramRanges(s, activeProgram);
  std::optional<LabelStep> step = stepLabelText(labelText, direction, rangeControl(field, camera).range);
  if (step) rangeValue(s, field, camera) = step->value;
  return step;
}

RangeBars rangeBars(const SorterSettings& s, int camera, int scaleLeft) {
  const auto level = [&](RangeField field) { return drawnLevel(rangeValue(s, field, camera)); };
  const int fonMin = level(RangeField::kFonMin);
  const int fonMax = level(RangeField::kFonMax);
  const int p1Min = level(RangeField::kP1Min);
  const int p1Max = level(RangeField::kP1Max);
  const int p2Min = level(RangeField::kP2Min);
  const int p2Max = level(RangeField::kP2Max);
  const int black = level(RangeField::kFonBlack);
  const int light = level(RangeField::kFonLight);
  RangeBars bars;
  bars.fonLeftMarker = span(scaleLeft + 2 * fonMin, kRangeMarkerWidth);
  bars.fonRightMarker = span(scaleLeft + 2 * fonMax, kRangeMarkerWidth);
  bars.fonRange = span(scaleLeft + 2 * fonMin + 3, bars.fonRightMarker.left - bars.fonLeftMarker.left);
  bars.p1 = span(scaleLeft + 2 * p1Min + 2, 2 * (p1Max - p1Min));
  bars.p2 = span(scaleLeft + 2 * p2Min + 2, 2 * (p2Max - p2Min));
  bars.darkZone = span(scaleLeft - 8, 2 * black + 10);
  bars.darkEdge = span(bars.darkZone.left + 2 * black + 10 - 2, kZoneEdgeWidth);
  bars.lightZone = span(scaleLeft + 1 + 2 * light, 520 - 2 * light);
  bars.lightEdge = span(bars.lightZone.left - 1, kZoneEdgeWidth);
  return bars;
}

int32_t& blueFonValue(MachineSettings& m, std::size_t index) {
  return m.*kBlueFields[std::min(index, kBlueFonCount - 1)];
}

KeyRange blueFonRange(std::size_t index) {
  const KeyRange* range = machineKeyRange(kBlueFieldNames[std::min(index, kBlueFonCount - 1)]);
  return range != nullptr ? *range : kLevelRange;
}

std::optional<LabelStep> stepBlueFon(MachineSettings& m, std::optional<std::size_t> chosen,
                                     StepDirection direction, std::string_view labelText) {
  if (!chosen || *chosen >= kBlueFonCount) return std::nullopt;
  std::optional<LabelStep> step = stepLabelText(labelText, direction, blueFonRange(*chosen));
  if (step) blueFonValue(m, *chosen) = step->value;
  return step;
}

std::optional<LabelStep> stepBlackFon(MachineSettings& m, int camera, StepDirection direction,
                                      std::string_view labelText) {
  const KeyRange* range = machineKeyRange("BlackFon");
  std::optional<LabelStep> step =
      stepLabelText(labelText, direction, range != nullptr ? *range : kLevelRange);
  if (step) m.BlackFon[slot(camera)] = step->value;
  return step;
}

bool switchChannel(SorterSettings& s, int channel, bool on) {
  if (channel < 1 || channel > 3) return false;
  const std::array<bool*, 3> flags = {&s.OCR, &s.OCG, &s.OCB};
  if (on) {
    for (int c = 1; c <= 3; ++c) *flags[static_cast<std::size_t>(c - 1)] = c == channel;
    s.SingleChannel = channel;
  } else {
    *flags[static_cast<std::size_t>(channel - 1)] = false;
  }
  return true;
}

}  // namespace tolvane
