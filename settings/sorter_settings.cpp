#include "settings/sorter_settings.h"

#include <array>

namespace tolvane {
namespace {

using S = SorterSettings;
using K = ProgramKey::Kind;

constexpr ProgramKey cam(const char* key, int camera, S::CameraPair S::*pair, int32_t def) {
  ProgramKey k{key, K::kCameraInt};
  k.camera = camera;
  k.pair = pair;
  k.defaultValue = def;
  k.hasRange = true;
  k.range = {0, 255};
  return k;
}

constexpr ProgramKey num(const char* key, int32_t S::*field, int32_t def, bool hasRange = false,
                         KeyRange range = {0, 0}) {
  ProgramKey k{key, K::kInt};
  k.integer = field;
  k.defaultValue = def;
  k.hasRange = hasRange;
  k.range = range;
  return k;
}

constexpr ProgramKey flag(const char* key, bool S::*field, bool def) {
  ProgramKey k{key, K::kBool};
  k.flag = field;
  k.defaultValue = def ? 1 : 0;
  return k;
}

constexpr ProgramKey text(const char* key, std::string S::*field, const char* def, KeyRange range) {
  ProgramKey k{key, K::kString};
  k.text = field;
  k.defaultText = def;
  k.hasRange = true;
  k.range = range;
  return k;
}

constexpr KeyRange kRegulatorBound{0, 360};

// Write order of a program section; the sector lists follow.
const std::array kProgramKeys = {
    cam("FonMin", 0, &S::FonMin, 200),
    cam("FonMax", 0, &S::FonMax, 255),
    cam("FonBlack", 0, &S::FonBlack, 0),
    cam("FonLight", 0, &S::FonLight, 255),
    cam("P1Min", 0, &S::P1Min, 0),
    cam("P1Max", 0, &S::P1Max, 150),
    cam("P2Min", 0, &S::P2Min, 150),
    cam("P2Max", 0, &S::P2Max, 200),
    cam("C2FonMin", 1, &S::FonMin, 200),
    cam("C2FonMax", 1, &S::FonMax, 255),
    cam("C2FonBlack", 1, &S::FonBlack, 0),
    cam("C2FonLight", 1, &S::FonLight, 255),
    cam("C2P1Min", 1, &S::P1Min, 0),
    cam("C2P1Max", 1, &S::P1Max, 150),
    cam("C2P2Min", 1, &S::P2Min, 150),
    cam("C2P2Max", 1, &S::P2Max, 200),
    num("ifMassa", &S::ifMassa, 20, true, {1, 999}),
    num("ifMassa2", &S::ifMassa2, 20, true, {1, 999}),
    num("ifP1", &S::ifP1, 12, true, {0, 999}),
    num("ifP2", &S::ifP2, 12, true, {0, 999}),
    num("ifLength", &S::ifLength, 5, true, {1, 200}),
    num("ifWeight", &S::ifWeight, 5, true, {1, 100}),
    num("ifEks", &S::ifEks, 1, true, {1, 999}),
    num("ifForma", &S::ifForma, 81),
    num("ifFast", &S::ifFast, 10, true, {1, 50}),
    flag("ifAND", &S::ifAND, false),
    flag("enMassa", &S::enMassa, false),
    flag("enMassa2", &S::enMassa2, false),
    flag("enP1", &S::enP1, false),
    flag("enP2", &S::enP2, false),
    flag("enLength", &S::enLength, false),
    flag("enWeight", &S::enWeight, false),
    flag("enEks", &S::enEks, false),
    flag("enForma", &S::enForma, false),
    flag("enFast", &S::enFast, false),
    flag("enFonBlue", &S::enFonBlue, false),
    flag("enFonBlack", &S::enFonBlack, false),
    flag("enTripleShot", &S::enTripleShot, false),
    flag("bMassa", &S::bMassa, true),
    flag("bMassa2", &S::bMassa2, true),
    flag("bP1", &S::bP1, true),
    flag("bP2", &S::bP2, true),
    flag("bLength", &S::bLength, true),
    flag("bWeight", &S::bWeight, true),
    flag("bEks", &S::bEks, true),
    flag("bForma", &S::bForma, true),
    flag("tipP1", &S::tipP1, false),
    flag("tipP2", &S::tipP2, false),
    num("valN1", &S::valN1, 40),
    num("valN2", &S::valN2, 90),
    flag("OCR", &S::OCR, false),
    flag("OCG", &S::OCG, false),
    flag("OCB", &S::OCB, false),
    flag("BrightMode", &S::BrightMode, false),
    flag("onCamera1", &S::onCamera1, false),
    flag("onCamera2", &S::onCamera2, false),
    flag("bParam1", &S::bParam1, false),
    flag("bParam2", &S::bParam2, false),
    flag("bParam3", &S::bParam3, false),
    num("reg_ParamBox1", &S::reg_ParamBox1, -1),
    num("reg_ParamBox1s", &S::reg_ParamBox1s, -1),
    num("reg_ParamBox2", &S::reg_ParamBox2, -1),
    num("reg_ParamBox2s", &S::reg_ParamBox2s, -1),
    num("reg_ParamBox3", &S::reg_ParamBox3, -1),
    num("reg_ParamBox3s", &S::reg_ParamBox3s, -1),
    text("reg_ParamBox1left", &S::reg_ParamBox1left, "000", kRegulatorBound),
    text("reg_ParamBox1right", &S::reg_ParamBox1right, "000", kRegulatorBound),
    text("reg_ParamBox2left", &S::reg_ParamBox2left, "000", kRegulatorBound),
    text("reg_ParamBox2right", &S::reg_ParamBox2right, "000", kRegulatorBound),
    text("reg_ParamBox3left", &S::reg_ParamBox3left, "000", kRegulatorBound),
    text("reg_ParamBox3right", &S::reg_ParamBox3right, "000", kRegulatorBound),
    text("Regulator", &S::Regulator, "50", {0, 100}),
};

}  // namespace

std::span<const ProgramKey> programKeys() { return kProgramKeys; }

const ProgramKey* findProgramKey(std::string_view key) {
  for (const ProgramKey& k : kProgramKeys) {
    if (key == k.key) return &k;
  }
  return nullptr;
}

const KeyRange* programKeyRange(std::string_view key) {
  const ProgramKey* k = findProgramKey(key);
  return k != nullptr && k->hasRange ? &k->range : nullptr;
}

int32_t& programInt(SorterSettings& s, const ProgramKey& k) {
  return k.kind == ProgramKey::Kind::kCameraInt ? (s.*k.pair)[static_cast<size_t>(k.camera)] : s.*k.integer;
}

int32_t programInt(const SorterSettings& s, const ProgramKey& k) {
  return k.kind == ProgramKey::Kind::kCameraInt ? (s.*k.pair)[static_cast<size_t>(k.camera)] : s.*k.integer;
}

}  // namespace tolvane
