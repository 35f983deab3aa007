#include "engine/sample_info.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <stdexcept>

#include "engine/color_convert.h"
#include "engine/reject_decision.h"

namespace tolvane {

namespace {

constexpr int kMainX = 10;
constexpr int kMainTop = 209;
constexpr int kMainStep = 13;
constexpr int kSmallX = 5;
constexpr int kSmallTop = 48;
constexpr int kSmallStep = 12;

// A sample loaded from a damaged file may hold any bit pattern in its floating fields.
int roundToInt(double value) {
  if (!std::isfinite(value)) return 0;
  const double r = roundHalfEven(value);
  if (r >= 2147483647.0) return 2147483647;
  if (r <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(r);
}

std::string colourText(const char* label, int count, double percent) {
  return std::string(label) + std::to_string(count) + " (" + formatFixed2(percent, 1) + "%)";
}

}  // namespace

std::string formatFixed2(double value, int integerDigits) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.2f", std::fabs(value));
  std::string digits = buffer;
  const std::size_t point = digits.find('.');
  if (point != std::string::npos && static_cast<int>(point) < integerDigits) {
    digits.insert(0, static_cast<std::size_t>(integerDigits) - point, '0');
  }
  // A value that shows as zero shows without sign.
  const bool allZero = digits.find_first_not_of("0.") == std::string::npos;
  return value < 0 && !allZero ? "-" + digits : digits;
}

SampleInfo sampleInformation(EngineState& state, const SorterSettings& settings, int slot,
                             const PickedColour& picked, bool singleToneCamera) {
  if (slot < 0 || slot >= kSampleSlots) {
    throw std::out_of_range("sample slot " + std::to_string(slot) + " is not in 0.." +
                            std::to_string(kSampleSlots - 1));
  }
  SampleInfo info;
  info.slot = slot;
  info.camera = slot <= kSampleSlotsPerCamera - 1 ? 0 : 1;

  if (singleToneCamera) {
    info.colourLines.push_back("ЦВЕТ B/W:" + std::to_string(picked.grey));
  } else {
    const Hsv hsv = RgbToHsv(picked.r, picked.g, picked.b);
    info.colourLines.push_back("ЦВЕТ H:" + std::to_string(hsv.h) + " S:" + std::to_string(hsv.s) +
                               " V:" + std::to_string(hsv.v));
    info.colourLines.push_back("ЦВЕТ R:" + std::to_string(picked.r) + " G:" + std::to_string(picked.g) +
                               " B:" + std::to_string(picked.b));
  }

  const ObjectRecord& sample = state.SampleTable[static_cast<std::size_t>(slot)];
  ObjectRecord& scratch = state.ObjectTable[kScratchRecord];
  std::memcpy(static_cast<void*>(&scratch), &sample, sizeof(ObjectRecord));
  info.reject = IsReject(scratch, settings);

  info.mass = sample.Mass;
  info.colour1 = sample.ClassCount[1];
  info.colour2 = sample.ClassCount[2];
  info.colour1Percent = 100.0 * sample.ClassCount[1] / (sample.Mass + 0.001);
  info.colour2Percent = 100.0 * sample.ClassCount[2] / (sample.Mass + 0.001);
  info.eks = roundToInt(sample.Eks);
  info.angleDegrees = sample.Angle * 180.0 / std::numbers::pi;

  const std::string mass = "Вес = " + std::to_string(info.mass);
  const std::vector<std::string> mainTexts{
      mass,
      colourText("Цвет 1 = ", info.colour1, info.colour1Percent),
      colourText("Цвет 2 = ", info.colour2, info.colour2Percent),
      info.reject ? "Результат = ОТСТРЕЛ" : "Результат = нет",
      "Экс-т=" + std::to_string(info.eks),
      "Ориентация = " + formatFixed2(info.angleDegrees, 2),
  };
  const std::vector<std::string> smallTexts{
      mass,
      colourText("Цв. 1 = ", info.colour1, info.colour1Percent),
      colourText("Цв. 2 = ", info.colour2, info.colour2Percent),
      info.reject ? "Рез. = ОТСТРЕЛ" : "Рез. = нет",
  };
  for (std::size_t i = 0; i < mainTexts.size(); ++i) {
    info.mainPanel.push_back({kMainX, kMainTop + kMainStep * static_cast<int>(i), mainTexts[i]});
  }
  for (std::size_t i = 0; i < smallTexts.size(); ++i) {
    info.smallPanel.push_back({kSmallX, kSmallTop + kSmallStep * static_cast<int>(i), smallTexts[i]});
  }
  return info;
}

}  // namespace tolvane
