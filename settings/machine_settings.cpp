#include "settings/machine_settings.h"

#include <array>
#include <utility>

namespace tolvane {
namespace {

const std::array<std::pair<std::string_view, KeyRange>, 17> kMachineRanges = {{
    {"ActiveProg", {0, kProgramCount - 1}},
    {"EGA_Min", {1, kEjectorsPerSide}},
    {"EGA_Max", {1, kEjectorsPerSide}},
    {"EGB_Min", {1, kEjectorsPerSide}},
    {"EGB_Max", {1, kEjectorsPerSide}},
    {"Time", {1, 300}},
    {"Delay", {0, 999}},
    {"MinVes", {0, 600}},
    {"MaxTime", {80, 600}},
    {"MaxObject", {10, 600}},
    {"FRmin", {0, 255}},
    {"FRmax", {0, 255}},
    {"FGmin", {0, 255}},
    {"FGmax", {0, 255}},
    {"FBmin", {0, 255}},
    {"FBmax", {0, 255}},
    {"BlackFon", {0, 255}},
}};

}  // namespace

const KeyRange* machineKeyRange(std::string_view name) {
  for (const auto& [key, range] : kMachineRanges) {
    if (key == name) return &range;
  }
  return nullptr;
}

}  // namespace tolvane
