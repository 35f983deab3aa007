#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "settings/condition_switches.h"
#include "settings/sorter_settings.h"

namespace tolvane {

// The ten typical set-ups of the preset window: what the list, the description box and the two
// pictures show, and how a set-up is written into the active program.

inline constexpr std::size_t kPresetCount = 10;

struct PresetSetup {
  std::string_view listText;         // the line of the preset list
  std::string_view description;      // paragraphs for the description box, lines separated by '\n'
  std::string_view settingsPicture;  // "НАСТРОЙКИ": the colour-range page with these values ("ZAWOD1")
  std::string_view workPicture;      // "РАБОТА": the sorting-conditions page ("USL1")
};

std::span<const PresetSetup, kPresetCount> presetSetups();

// Asked (Yes/No, titled "Вопрос...") before a preset replaces the program's colours and conditions.
inline constexpr std::string_view kApplyPresetQuestion =
    "Настройки текущей программы будут заменены на заводские.\n"
    "Никаких других изменений, кроме настроек цвета и фона, а также\n"
    "условий отстрела программа не сделает. Продолжить?";

// Writes preset `index` (0-based) into the active program's record: the eight colour values to both
// cameras, the thresholds, then the condition and background switches through `switches`, so that
// their on/off handling sets the flags. Every preset ends with the eight direction switches off
// (">", direction flags true) and both count types off ("ТОЧЕК"). The shape threshold, the single
// channel, the sectors, the triple shot and the regulator are left as they are.
// Returns the switches whose state changed, in the order they changed; an index out of range changes
// nothing and returns an empty list.
//
// The caller holds the engine lock: the camera threads read these fields while sorting.
std::vector<ConditionSwitch> applyPreset(std::size_t index, SorterSettings& sorter,
                                         ConditionSwitches& switches);

}  // namespace tolvane
