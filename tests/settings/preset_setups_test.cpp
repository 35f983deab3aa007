#include "settings/preset_setups.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <string>

#include "settings/colour_ranges.h"
#include "settings/stored_controls.h"

namespace tolvane {
namespace {

using CS = ConditionSwitch;

// Every program key as text, so that two records can be compared key by key.
std::map<std::string, std::string> keyValues(const SorterSettings& s) {
  std::map<std::string, std::string> values;
  for (const ProgramKey& k : programKeys()) {
    switch (k.kind) {
      case ProgramKey::Kind::kCameraInt:
      case ProgramKey::Kind::kInt:
        values[k.key] = std::to_string(programInt(s, k));
        break;
      case ProgramKey::Kind::kBool:
        values[k.key] = s.*k.flag ? "1" : "0";
        break;
      case ProgramKey::Kind::kString:
        values[k.key] = s.*k.text;
        break;
    }
  }
  for (std::size_t camera = 0; camera < 2; ++camera) {
    for (std::size_t i = 0; i < s.Sectors[camera].size(); ++i) {
      values["sector" + std::to_string(camera) + "." + std::to_string(i)] = s.Sectors[camera][i];
    }
  }
  values["SingleChannel"] = std::to_string(s.SingleChannel);
  return values;
}

std::set<std::string> changedKeys(const SorterSettings& before, const SorterSettings& after) {
  const auto a = keyValues(before);
  const auto b = keyValues(after);
  std::set<std::string> changed;
  for (const auto& [key, value] : b) {
    const auto it = a.find(key);
    if (it == a.end() || it->second != value) changed.insert(key);
  }
  for (const auto& [key, value] : a) {
    if (!b.contains(key)) changed.insert(key);
  }
  return changed;
}

// The states the page may be in when the operator applies a preset.
struct Start {
  const char* what;
  std::function<void(SorterSettings&, ConditionSwitches&)> prepare;
};

const std::array<Start, 5> kStarts = {{
    {"a freshly loaded default program", [](SorterSettings& s, ConditionSwitches& b) { b.load(s); }},
    {"line mode on with two conditions on beside it",
     [](SorterSettings& s, ConditionSwitches& b) {
       b.load(s);
       b.set(CS::FastSort_Button, true, s);
       b.set(CS::Massa_Button, true, s);
       b.set(CS::P1_Button, true, s);
     }},
    {"every switch on",
     [](SorterSettings& s, ConditionSwitches& b) {
       b.load(s);
       for (std::size_t i = 0; i < kConditionSwitchCount; ++i) b.set(static_cast<CS>(i), true, s);
       for (CS row : kConditionRows) b.set(row, true, s);  // line mode cleared them
     }},
    {"a loaded program with OR, directions '<', counts in percent and both background modes",
     [](SorterSettings& s, ConditionSwitches& b) {
       s.ifAND = false;
       s.enFonBlue = s.enFonBlack = true;
       s.enLength = s.enEks = s.enForma = true;
       s.bMassa = s.bP1 = s.bEks = s.bForma = false;
       s.tipP1 = s.tipP2 = true;
       b.load(s);
     }},
    {"flags that drifted from switches never loaded",
     [](SorterSettings& s, ConditionSwitches&) {
       s.ifAND = false;  // the switch shows AND, the flag says OR
       s.enMassa2 = s.enWeight = s.enFonBlue = true;
       s.bLength = false;
       s.tipP2 = true;
     }},
}};

struct Expected {
  std::array<std::int32_t, 8> colours;  // FonBlack, FonLight, FonMin, FonMax, P1Min, P1Max, P2Min, P2Max
  std::int32_t ifP1, ifP2;
  bool massa, p1, p2, lineMode;
};

const std::array<Expected, kPresetCount> kExpected = {{
    {{50, 255, 0, 0, 0, 255, 0, 0}, 100, 100, true, false, false, false},
    {{50, 255, 100, 150, 0, 255, 0, 0}, 100, 100, true, false, false, false},
    {{50, 255, 0, 0, 0, 150, 150, 255}, 84, 12, false, true, true, false},
    {{50, 255, 100, 150, 0, 150, 150, 255}, 84, 12, false, true, true, false},
    {{0, 220, 255, 255, 0, 255, 0, 0}, 100, 100, true, false, false, false},
    {{0, 220, 100, 150, 0, 255, 0, 0}, 100, 100, true, false, false, false},
    {{0, 220, 255, 255, 0, 150, 150, 255}, 84, 12, false, true, true, false},
    {{0, 220, 100, 150, 0, 150, 150, 255}, 84, 12, false, true, true, false},
    {{50, 255, 0, 0, 0, 255, 0, 0}, 100, 100, false, false, false, true},
    {{0, 220, 255, 255, 0, 255, 0, 0}, 100, 100, false, false, false, true},
}};

constexpr std::array<RangeField, 8> kColourOrder = {
    RangeField::kFonBlack, RangeField::kFonLight, RangeField::kFonMin, RangeField::kFonMax,
    RangeField::kP1Min,    RangeField::kP1Max,    RangeField::kP2Min,  RangeField::kP2Max,
};

TEST(PresetSetups, EveryPresetFromEveryStartEndsInItsTable) {
  for (std::size_t preset = 0; preset < kPresetCount; ++preset) {
    for (const Start& start : kStarts) {
      SCOPED_TRACE("preset " + std::to_string(preset + 1) + " from " + start.what);
      SorterSettings s;
      s.FonBlack = {7, 9};
      s.P2Max = {3, 250};
      ConditionSwitches board;
      start.prepare(s, board);
      applyPreset(preset, s, board);
      const Expected& e = kExpected[preset];

      for (int camera = 0; camera < 2; ++camera) {
        for (std::size_t i = 0; i < kColourOrder.size(); ++i) {
          EXPECT_EQ(rangeValue(s, kColourOrder[i], camera), e.colours[i])
              << "camera " << camera << " value " << i;
        }
      }
      EXPECT_EQ(s.ifP1, e.ifP1);
      EXPECT_EQ(s.ifP2, e.ifP2);
      EXPECT_EQ(s.ifMassa, 200);
      EXPECT_EQ(s.ifMassa2, 20);
      EXPECT_EQ(s.ifLength, 10);
      EXPECT_EQ(s.ifWeight, 4);
      EXPECT_EQ(s.ifEks, 3);
      EXPECT_EQ(s.ifFast, 10);

      EXPECT_EQ(s.enMassa, e.massa);
      EXPECT_EQ(s.enP1, e.p1);
      EXPECT_EQ(s.enP2, e.p2);
      EXPECT_EQ(s.enFast, e.lineMode);
      EXPECT_FALSE(s.enMassa2 || s.enLength || s.enWeight || s.enEks || s.enForma);
      EXPECT_TRUE(s.ifAND) << "conditions combine with AND";
      EXPECT_FALSE(s.enFonBlue || s.enFonBlack);
      EXPECT_TRUE(s.bMassa && s.bMassa2 && s.bP1 && s.bP2 && s.bLength && s.bWeight && s.bEks && s.bForma);
      EXPECT_FALSE(s.tipP1 || s.tipP2);

      // The switches show what the flags say, so the next load or touch starts from the truth.
      SorterSettings copy = s;
      EXPECT_TRUE(ConditionSwitches(board).load(copy).empty());
      for (CS direction : kConditionDirections) {
        if (direction != CS::FastSort_b_Button) {
          EXPECT_EQ(board.caption(direction), ">");
        }
      }
      EXPECT_EQ(board.caption(CS::P1_type), "ТОЧЕК");
      EXPECT_EQ(board.caption(CS::P2_type), "ТОЧЕК");
    }
  }
}

TEST(PresetSetups, ReturnsExactlyTheSwitchesThatChanged) {
  for (std::size_t preset = 0; preset < kPresetCount; ++preset) {
    for (const Start& start : kStarts) {
      SCOPED_TRACE("preset " + std::to_string(preset + 1) + " from " + start.what);
      SorterSettings s;
      ConditionSwitches board;
      start.prepare(s, board);
      const ConditionSwitches before = board;
      const std::vector<CS> changed = applyPreset(preset, s, board);

      std::set<CS> expected;
      for (std::size_t i = 0; i < kConditionSwitchCount; ++i) {
        const auto which = static_cast<CS>(i);
        if (before.isOn(which) != board.isOn(which)) expected.insert(which);
      }
      EXPECT_EQ(std::set<CS>(changed.begin(), changed.end()), expected);
      EXPECT_EQ(std::set<CS>(changed.begin(), changed.end()).size(), changed.size()) << "listed once";
      // Applying it again finds every switch in place.
      EXPECT_TRUE(applyPreset(preset, s, board).empty());
    }
  }
}

TEST(PresetSetups, ColourConditionsReplaceTheMass) {
  SorterSettings s;
  ConditionSwitches board;
  board.load(s);
  applyPreset(0, s, board);
  ASSERT_TRUE(board.isOn(CS::Massa_Button));

  const std::vector<CS> changed = applyPreset(2, s, board);
  EXPECT_EQ(changed, (std::vector<CS>{CS::Massa_Button, CS::P1_Button, CS::P2_Button}));
  EXPECT_FALSE(board.isOn(CS::Massa_Button));
  EXPECT_TRUE(board.isOn(CS::P1_Button) && board.isOn(CS::P2_Button));
  EXPECT_EQ(numberLabelText(s.ifP1), "084");
  EXPECT_EQ(numberLabelText(s.ifP2), "012");
  EXPECT_TRUE(ConditionSwitches::rowActive(2, s));
  EXPECT_FALSE(ConditionSwitches::rowActive(0, s));
}

TEST(PresetSetups, LineModeOnlyWhereThePresetAsksForIt) {
  struct Case {
    std::size_t preset;
    bool lineModeBefore;
    bool lineModeAfter;
  };
  const Case cases[] = {
      {0, true, false}, {3, true, false}, {7, true, false}, {8, false, true},
      {8, true, true},  {9, false, true}, {9, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("preset " + std::to_string(c.preset + 1));
    SorterSettings s;
    ConditionSwitches board;
    board.load(s);
    board.set(CS::FastSort_Button, c.lineModeBefore, s);
    board.set(CS::Eks_Button, true, s);  // on beside line mode
    applyPreset(c.preset, s, board);
    EXPECT_EQ(board.isOn(CS::FastSort_Button), c.lineModeAfter);
    EXPECT_EQ(s.enFast, c.lineModeAfter);
    EXPECT_FALSE(s.enEks);
    EXPECT_EQ(ConditionSwitches::rowActive(kLineModeRow, s), c.lineModeAfter);
  }
}

TEST(PresetSetups, TouchesNothingButColoursThresholdsAndConditionFlags) {
  const std::set<std::string> allowed = {
      "FonMin",   "FonMax",   "FonBlack",   "FonLight",   "P1Min",    "P1Max",    "P2Min",    "P2Max",
      "C2FonMin", "C2FonMax", "C2FonBlack", "C2FonLight", "C2P1Min",  "C2P1Max",  "C2P2Min",  "C2P2Max",
      "ifMassa",  "ifMassa2", "ifP1",       "ifP2",       "ifLength", "ifWeight", "ifEks",    "ifFast",
      "ifAND",    "enMassa",  "enMassa2",   "enP1",       "enP2",     "enLength", "enWeight", "enEks",
      "enForma",  "enFast",   "enFonBlue",  "enFonBlack", "bMassa",   "bMassa2",  "bP1",      "bP2",
      "bLength",  "bWeight",  "bEks",       "bForma",     "tipP1",    "tipP2",
  };
  for (std::size_t preset = 0; preset < kPresetCount; ++preset) {
    SCOPED_TRACE("preset " + std::to_string(preset + 1));
    SorterSettings s;
    s.ifForma = 67;
    s.SingleChannel = 3;
    s.OCB = true;
    s.enTripleShot = true;
    s.valN1 = 12;
    s.Regulator = "73";
    s.reg_ParamBox2left = "045";
    s.Sectors[0] = {"a sector line"};
    s.Sectors[1] = {"another", "and one more"};
    ConditionSwitches board;
    board.load(s);
    const SorterSettings before = s;
    applyPreset(preset, s, board);
    for (const std::string& key : changedKeys(before, s)) {
      EXPECT_TRUE(allowed.contains(key)) << key << " changed";
    }
    EXPECT_TRUE(board.isOn(CS::TripleShotSwitch));
  }
}

TEST(PresetSetups, AnIndexOutOfRangeChangesNothing) {
  for (std::size_t index : {kPresetCount, kPresetCount + 1, std::numeric_limits<std::size_t>::max()}) {
    SorterSettings s;
    s.enMassa = true;
    s.bP1 = false;
    ConditionSwitches board;
    board.load(s);
    const SorterSettings before = s;
    EXPECT_TRUE(applyPreset(index, s, board).empty());
    EXPECT_TRUE(changedKeys(before, s).empty());
    EXPECT_TRUE(board.isOn(CS::Massa_Button));
    EXPECT_TRUE(board.isOn(CS::P1_b_Button));
  }
}

TEST(PresetSetups, ListPicturesAndQuestion) {
  struct Row {
    std::string_view listText, firstSentence, settingsPicture, workPicture;
  };
  const std::array<Row, kPresetCount> rows = {{
      {"Универсальный 1. Темный фон, отстрел по яркости 1 диапазон, без формы",
       "Это самые простые и востребованные настройки.", "ZAWOD1", "USL1"},
      {"Зерно, семена подсолнечника. Темный фон, отстрел по яркости 2 диапазона, без формы",
       "Это настройки для не слишком темной продукции.", "ZAWOD2", "USL1"},
      {"Ягоды. Темный фон, отстрел по яркости, форма и цвет", "Настройки для сортировки по цвету и форме.",
       "ZAWOD3", "USL2"},
      {"Ягоды. Темный фон, отстрел по яркости 2 диапазона, форма и цвет",
       "Настройки для сортировки по цвету и форме.", "ZAWOD4", "USL2"},
      {"Универсальный 2. Светлый фон, отстрел по яркости 1 диапазон, без формы",
       "Простые настройки для удаления темного брака из светлого продукта.", "ZAWOD5", "USL1"},
      {"Орехи, зерно, семена подсолнечника. Светлый фон, отстрел по яркости 2 диапазона, без формы",
       "Это настройки для не слишком светлой продукции.", "ZAWOD6", "USL1"},
      {"Ягоды, орехи. Светлый фон, отстрел по яркости, форма и цвет",
       "Настройки для сортировки по цвету и форме.", "ZAWOD7", "USL2"},
      {"Ягоды, орехи, зерно. Светлый фон, отстрел по яркости 2 диапазона, форма и цвет",
       "Настройки для сортировки по цвету и форме.", "ZAWOD8", "USL2"},
      {"Линейный режим, темный фон",
       "Универсальные настройки для удаления любых включений, не соответствующих заданному диапазону.",
       "ZAWOD1", "USL3"},
      {"Линейный режим, светлый фон",
       "Универсальные настройки для удаления любых включений, не соответствующих заданному диапазону.",
       "ZAWOD5", "USL3"},
  }};
  for (std::size_t i = 0; i < kPresetCount; ++i) {
    SCOPED_TRACE("preset " + std::to_string(i + 1));
    const PresetSetup& p = presetSetups()[i];
    EXPECT_EQ(p.listText, rows[i].listText);
    EXPECT_TRUE(p.description.starts_with(std::string(rows[i].firstSentence) + "\n"));
    EXPECT_EQ(p.settingsPicture, rows[i].settingsPicture);
    EXPECT_EQ(p.workPicture, rows[i].workPicture);
  }
  EXPECT_EQ(kApplyPresetQuestion,
            "Настройки текущей программы будут заменены на заводские.\nНикаких других изменений, кроме "
            "настроек цвета и фона, а также\nусловий отстрела программа не сделает. Продолжить?");
}

// Code points of a UTF-8 text.
std::size_t codePoints(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string range(std::int32_t low, std::int32_t high) {
  return std::to_string(low) + "…" + std::to_string(high);
}

// The descriptions name the values the preset really sets, have every paragraph the operator looks
// for, and fit the description box (about 55 characters a line, 17 lines, long lines wrapping).
TEST(PresetSetups, DescriptionsMatchTheValuesAndFitTheBox) {
  constexpr std::size_t kCharsPerLine = 55;
  constexpr std::size_t kBoxLines = 17;
  for (std::size_t i = 0; i < kPresetCount; ++i) {
    SCOPED_TRACE("preset " + std::to_string(i + 1));
    const std::string_view text = presetSetups()[i].description;
    SorterSettings s;
    ConditionSwitches board;
    board.load(s);
    applyPreset(i, s, board);
    const bool darkPlate = s.FonBlack[0] > 0;

    std::vector<std::string> wanted = {
        "Назначение: ",
        "Примеры: ",
        darkPlate ? "Фон: темный" : "Фон: светлый",
        "Фон " + range(s.FonBlack[0], s.FonLight[0]) + ":",
        "Фоновый диапазон " + range(s.FonMin[0], s.FonMax[0]),
        "Цвет 1 " + range(s.P1Min[0], s.P1Max[0]) + ":",
        "Регулировка: ",
    };
    if (s.P2Max[0] > 0) wanted.push_back("Цвет 2 " + range(s.P2Min[0], s.P2Max[0]) + ":");
    if (s.enMassa) wanted.push_back("МАССА " + std::to_string(s.ifMassa));
    if (s.enP1) wanted.push_back("ЦВЕТ 1 " + numberLabelText(s.ifP1));
    if (s.enP2) wanted.push_back("ЦВЕТ 2 " + numberLabelText(s.ifP2));
    if (s.enFast) wanted.push_back("ЛИНИЯ " + numberLabelText(s.ifFast));
    for (const std::string& piece : wanted) EXPECT_NE(text.find(piece), std::string_view::npos) << piece;
    EXPECT_EQ(text.find("Особенности: ") != std::string_view::npos, s.enFast);
    EXPECT_EQ(text.find("МАССА") != std::string_view::npos, s.enMassa);

    std::size_t boxLines = 0;
    std::size_t start = 0;
    bool first = true;
    while (start <= text.size()) {
      const std::size_t end = std::min(text.find('\n', start), text.size());
      const std::size_t length = codePoints(text.substr(start, end - start));
      EXPECT_GT(length, 0u) << "empty line";
      if (!first) {
        EXPECT_LE(length, kCharsPerLine) << text.substr(start, end - start);
      }
      boxLines += std::max<std::size_t>(1, (length + kCharsPerLine - 1) / kCharsPerLine);
      first = false;
      start = end + 1;
    }
    EXPECT_LE(boxLines, kBoxLines);
    EXPECT_FALSE(text.ends_with("\n"));
  }
}

}  // namespace
}  // namespace tolvane
