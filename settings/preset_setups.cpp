#include "settings/preset_setups.h"

#include <array>
#include <cstdint>

#include "settings/colour_ranges.h"

namespace tolvane {

namespace {

using CS = ConditionSwitch;

const std::array<PresetSetup, kPresetCount> kSetups = {{
    {"Универсальный 1. Темный фон, отстрел по яркости 1 диапазон, без формы",
     "Это самые простые и востребованные настройки.\n"
     "Назначение: удаление светлых включений из темного\n"
     "продукта.\n"
     "Примеры: черные семена подсолнечника, гречка, темная\n"
     "фасоль.\n"
     "Фон: темный. Все, что темнее темного фона, не видно.\n"
     "Фон 50…255: годный продукт темнее 50 и сливается\n"
     "с пластиной; светлый фон 255 не действует.\n"
     "Фоновый диапазон 0…0 не действует.\n"
     "Цвет 1 0…255: все, что светлее фона, — включение.\n"
     "Цвет 2 0…0 не используется.\n"
     "МАССА 200: отстреливается включение от 200 точек.\n"
     "Регулировка: если отстреливается годный продукт,\n"
     "поднимите темный фон (мягче); если проходит брак —\n"
     "опустите (жестче). Меньше МАССА — жестче.",
     "ZAWOD1", "USL1"},
    {"Зерно, семена подсолнечника. Темный фон, отстрел по яркости 2 диапазона, без формы",
     "Это настройки для не слишком темной продукции.\n"
     "Назначение: удаление более темных и более светлых\n"
     "включений из продукта средней яркости.\n"
     "Примеры: пшеница, ячмень, овес, семена подсолнечника.\n"
     "Фон: темный.\n"
     "Фон 50…255: все, что темнее 50, — пластина.\n"
     "Фоновый диапазон 100…150: яркость годного продукта,\n"
     "он сливается с фоном.\n"
     "Цвет 1 0…255: все остальное — включения, темные\n"
     "(50…99) и светлые (151…255).\n"
     "Цвет 2 0…0 не используется.\n"
     "МАССА 200: отстреливается включение от 200 точек.\n"
     "Регулировка: шире фоновый диапазон — мягче, уже —\n"
     "жестче. Меньше МАССА — жестче, больше — мягче.",
     "ZAWOD2", "USL1"},
    {"Ягоды. Темный фон, отстрел по яркости, форма и цвет",
     "Настройки для сортировки по цвету и форме.\n"
     "Назначение: удаление ягод со светлыми пятнами,\n"
     "недозрелых и поврежденных.\n"
     "Примеры: клюква, брусника, вишня, смородина.\n"
     "Фон: темный.\n"
     "Фон 50…255: все, что темнее 50, — пластина.\n"
     "Фоновый диапазон 0…0 не действует.\n"
     "Цвет 1 0…150: темные участки ягоды.\n"
     "Цвет 2 150…255: светлые участки и пятна.\n"
     "ЦВЕТ 1 084 и ЦВЕТ 2 012 вместе: отстреливается\n"
     "ягода от 84 темных точек, на которой есть от 12\n"
     "светлых; мелкий сор не трогается.\n"
     "Регулировка: меньше ЦВЕТ 2 — жестче, больше —\n"
     "мягче. ЦВЕТ 1 задает наименьший размер ягоды,\n"
     "которая проверяется.",
     "ZAWOD3", "USL2"},
    {"Ягоды. Темный фон, отстрел по яркости 2 диапазона, форма и цвет",
     "Настройки для сортировки по цвету и форме.\n"
     "Назначение: удаление ягод с темными и светлыми\n"
     "пятнами, когда годная ягода средней яркости.\n"
     "Примеры: клюква, брусника, вишня, черешня.\n"
     "Фон: темный.\n"
     "Фон 50…255: все, что темнее 50, — пластина.\n"
     "Фоновый диапазон 100…150: средние тона ягоды не\n"
     "учитываются.\n"
     "Цвет 1 0…150: темные участки (50…99).\n"
     "Цвет 2 150…255: светлые участки (151…255).\n"
     "ЦВЕТ 1 084 и ЦВЕТ 2 012 вместе: отстреливается\n"
     "ягода, на которой от 84 темных и от 12 светлых\n"
     "точек.\n"
     "Регулировка: меньше ЦВЕТ 2 — жестче, больше —\n"
     "мягче. Шире фоновый диапазон — мягче.",
     "ZAWOD4", "USL2"},
    {"Универсальный 2. Светлый фон, отстрел по яркости 1 диапазон, без формы",
     "Простые настройки для удаления темного брака из светлого продукта.\n"
     "Назначение: удаление темных зерен, примесей, камней.\n"
     "Примеры: рис, белая фасоль, горох, нут.\n"
     "Фон: светлый. Все, что светлее светлого фона, не\n"
     "видно.\n"
     "Фон 0…220: годный продукт светлее 220 и сливается\n"
     "с пластиной; темный фон 0 не действует.\n"
     "Фоновый диапазон 255…255 не действует.\n"
     "Цвет 1 0…255: все, что темнее фона, — брак.\n"
     "Цвет 2 0…0 не используется.\n"
     "МАССА 200: отстреливается объект от 200 точек.\n"
     "Регулировка: если отстреливается годный продукт,\n"
     "опустите светлый фон (мягче); если проходит брак —\n"
     "поднимите (жестче). Меньше МАССА — жестче.",
     "ZAWOD5", "USL1"},
    {"Орехи, зерно, семена подсолнечника. Светлый фон, отстрел по яркости 2 диапазона, без формы",
     "Это настройки для не слишком светлой продукции.\n"
     "Назначение: удаление более темных и более светлых\n"
     "включений из продукта средней яркости.\n"
     "Примеры: фундук, ядра грецкого ореха, арахис,\n"
     "пшеница, семена подсолнечника.\n"
     "Фон: светлый.\n"
     "Фон 0…220: все, что светлее 220, — пластина.\n"
     "Фоновый диапазон 100…150: яркость годного продукта,\n"
     "он сливается с фоном.\n"
     "Цвет 1 0…255: все остальное — включения, темные\n"
     "(0…99) и светлые (151…220).\n"
     "Цвет 2 0…0 не используется.\n"
     "МАССА 200: отстреливается включение от 200 точек.\n"
     "Регулировка: шире фоновый диапазон — мягче, уже —\n"
     "жестче. Меньше МАССА — жестче, больше — мягче.",
     "ZAWOD6", "USL1"},
    {"Ягоды, орехи. Светлый фон, отстрел по яркости, форма и цвет",
     "Настройки для сортировки по цвету и форме.\n"
     "Назначение: удаление ягод и орехов со светлыми\n"
     "пятнами, поврежденных, недозрелых.\n"
     "Примеры: черника, черная смородина, фундук, миндаль.\n"
     "Фон: светлый.\n"
     "Фон 0…220: все, что светлее 220, — пластина.\n"
     "Фоновый диапазон 255…255 не действует.\n"
     "Цвет 1 0…150: темные участки.\n"
     "Цвет 2 150…255: светлые участки (до 220).\n"
     "ЦВЕТ 1 084 и ЦВЕТ 2 012 вместе: отстреливается\n"
     "объект от 84 темных точек, на котором есть от 12\n"
     "светлых; мелкий сор не трогается.\n"
     "Регулировка: меньше ЦВЕТ 2 — жестче, больше —\n"
     "мягче. ЦВЕТ 1 задает наименьший размер объекта,\n"
     "который проверяется.",
     "ZAWOD7", "USL2"},
    {"Ягоды, орехи, зерно. Светлый фон, отстрел по яркости 2 диапазона, форма и цвет",
     "Настройки для сортировки по цвету и форме.\n"
     "Назначение: удаление ягод, орехов и зерен с темными\n"
     "и светлыми пятнами при продукте средней яркости.\n"
     "Примеры: вишня, фундук, арахис, кукуруза, фасоль.\n"
     "Фон: светлый.\n"
     "Фон 0…220: все, что светлее 220, — пластина.\n"
     "Фоновый диапазон 100…150: средние тона продукта не\n"
     "учитываются.\n"
     "Цвет 1 0…150: темные участки (0…99).\n"
     "Цвет 2 150…255: светлые участки (151…220).\n"
     "ЦВЕТ 1 084 и ЦВЕТ 2 012 вместе: отстреливается\n"
     "объект, на котором от 84 темных и от 12 светлых\n"
     "точек.\n"
     "Регулировка: меньше ЦВЕТ 2 — жестче, больше —\n"
     "мягче. Шире фоновый диапазон — мягче.",
     "ZAWOD8", "USL2"},
    {"Линейный режим, темный фон",
     "Универсальные настройки для удаления любых включений, не соответствующих заданному диапазону.\n"
     "Назначение: удаление всего, что светлее темного\n"
     "фона, при любом размере и форме.\n"
     "Примеры: темные семена и крупы со светлыми примесями.\n"
     "Фон: темный.\n"
     "Фон 50…255: все, что темнее 50, — пластина и годный\n"
     "продукт; светлый фон 255 не действует.\n"
     "Фоновый диапазон 0…0 не действует.\n"
     "Цвет 1 0…255: каждая точка светлее фона — включение.\n"
     "Особенности: включен РЕЖИМ ЛИНИИ, остальные условия\n"
     "выключены. Эжектор срабатывает, когда в его полосе\n"
     "на строке больше 10 точек включений (ЛИНИЯ 010).\n"
     "Регулировка: темный фон и ЛИНИЯ — на главном экране.\n"
     "ЛИНИЯ меньше — жестче, больше — мягче.",
     "ZAWOD1", "USL3"},
    {"Линейный режим, светлый фон",
     "Универсальные настройки для удаления любых включений, не соответствующих заданному диапазону.\n"
     "Назначение: удаление всего, что темнее светлого\n"
     "фона, при любом размере и форме.\n"
     "Примеры: рис, горох, белая фасоль с темными примесями.\n"
     "Фон: светлый.\n"
     "Фон 0…220: все, что светлее 220, — пластина и годный\n"
     "продукт; темный фон 0 не действует.\n"
     "Фоновый диапазон 255…255 не действует.\n"
     "Цвет 1 0…255: каждая точка темнее фона — включение.\n"
     "Особенности: включен РЕЖИМ ЛИНИИ, остальные условия\n"
     "выключены. Эжектор срабатывает, когда в его полосе\n"
     "на строке больше 10 точек включений (ЛИНИЯ 010).\n"
     "Регулировка: светлый фон и ЛИНИЯ — на главном экране.\n"
     "ЛИНИЯ меньше — жестче, больше — мягче.",
     "ZAWOD5", "USL3"},
}};

// What a preset writes besides the switches every preset sets the same way.
struct PresetValues {
  // FonBlack, FonLight, FonMin, FonMax, P1Min, P1Max, P2Min, P2Max, to both cameras.
  std::array<std::int32_t, 8> colours;
  std::int32_t ifP1;
  std::int32_t ifP2;
  bool lineMode;
  std::array<CS, 2> conditionsOn;  // the first conditionsOnCount of them
  std::size_t conditionsOnCount;
};

// Presets 9 and 10 take the colour values of presets 1 and 5, whose colour-range pictures they show.
// Line mode counts every pixel that is not background (colour 1, 2 and other alike), so with the
// background range out of play the counted band is the one between the dark and the light level:
// on the dark plate everything brighter than 50, on the light plate everything darker than 220. The
// operator moves that level on the main work page until good product no longer counts, as with
// presets 1 and 5; colour 1 spanning 0 ... 255 only makes the counted band show as colour 1.
const std::array<PresetValues, kPresetCount> kValues = {{
    {{50, 255, 0, 0, 0, 255, 0, 0}, 100, 100, false, {CS::Massa_Button}, 1},
    {{50, 255, 100, 150, 0, 255, 0, 0}, 100, 100, false, {CS::Massa_Button}, 1},
    {{50, 255, 0, 0, 0, 150, 150, 255}, 84, 12, false, {CS::P1_Button, CS::P2_Button}, 2},
    {{50, 255, 100, 150, 0, 150, 150, 255}, 84, 12, false, {CS::P1_Button, CS::P2_Button}, 2},
    {{0, 220, 255, 255, 0, 255, 0, 0}, 100, 100, false, {CS::Massa_Button}, 1},
    {{0, 220, 100, 150, 0, 255, 0, 0}, 100, 100, false, {CS::Massa_Button}, 1},
    {{0, 220, 255, 255, 0, 150, 150, 255}, 84, 12, false, {CS::P1_Button, CS::P2_Button}, 2},
    {{0, 220, 100, 150, 0, 150, 150, 255}, 84, 12, false, {CS::P1_Button, CS::P2_Button}, 2},
    {{50, 255, 0, 0, 0, 255, 0, 0}, 100, 100, true, {}, 0},
    {{0, 220, 255, 255, 0, 255, 0, 0}, 100, 100, true, {}, 0},
}};

constexpr std::array<RangeField, 8> kColourOrder = {
    RangeField::kFonBlack, RangeField::kFonLight, RangeField::kFonMin, RangeField::kFonMax,
    RangeField::kP1Min,    RangeField::kP1Max,    RangeField::kP2Min,  RangeField::kP2Max,
};

// The eight condition switches, line mode excluded.
constexpr std::size_t kConditionCount = 8;

bool wanted(const PresetValues& preset, CS which) {
  for (std::size_t i = 0; i < preset.conditionsOnCount; ++i) {
    if (preset.conditionsOn[i] == which) return true;
  }
  return false;
}

// Sets a switch and makes sure its flag ends as the switch shows: a switch already in the wanted
// state runs no handling, and a flag that had drifted from its switch would otherwise survive.
void setSwitch(CS which, bool on, SorterSettings& sorter, ConditionSwitches& switches,
               std::vector<CS>& changed) {
  const std::vector<CS> now = switches.set(which, on, sorter);
  changed.insert(changed.end(), now.begin(), now.end());
  const ConditionSwitchInfo& info = conditionSwitchInfo(which);
  if (info.field != nullptr) sorter.*info.field = info.onSetsFieldTrue ? on : !on;
}

}  // namespace

std::span<const PresetSetup, kPresetCount> presetSetups() { return kSetups; }

std::vector<ConditionSwitch> applyPreset(std::size_t index, SorterSettings& sorter,
                                         ConditionSwitches& switches) {
  std::vector<CS> changed;
  if (index >= kPresetCount) return changed;
  const PresetValues& preset = kValues[index];

  for (int camera = 0; camera < 2; ++camera) {
    for (std::size_t i = 0; i < kColourOrder.size(); ++i) {
      rangeValue(sorter, kColourOrder[i], camera) = preset.colours[i];
    }
  }
  sorter.ifMassa = 200;
  sorter.ifMassa2 = 20;
  sorter.ifP1 = preset.ifP1;
  sorter.ifP2 = preset.ifP2;
  sorter.ifLength = 10;
  sorter.ifWeight = 4;
  sorter.ifEks = 3;
  sorter.ifFast = 10;

  // Line mode switched on clears the eight enables and switched off leaves them, so it goes first:
  // the conditions set after it are the ones that stay.
  setSwitch(CS::FastSort_Button, preset.lineMode, sorter, switches, changed);
  for (std::size_t row = 0; row < kConditionCount; ++row) {
    const CS which = kConditionRows[row];
    setSwitch(which, wanted(preset, which), sorter, switches, changed);
  }
  setSwitch(CS::AND_Button, false, sorter, switches, changed);
  setSwitch(CS::FonBlueButton, false, sorter, switches, changed);
  setSwitch(CS::FonBlackButton, false, sorter, switches, changed);

  for (std::size_t row = 0; row < kConditionCount; ++row) {
    setSwitch(kConditionDirections[row], false, sorter, switches, changed);
  }
  setSwitch(CS::P1_type, false, sorter, switches, changed);
  setSwitch(CS::P2_type, false, sorter, switches, changed);
  return changed;
}

}  // namespace tolvane
