#include "settings/settings_file_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <limits>

#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

using test::TempDir;
using test::writeBytes;

TEST(SettingsFileCheck, WhatTheOperatorIsToldAtStart) {
  struct Case {
    const char* what;
    std::function<void(const std::filesystem::path& file)> prepare;
    SettingsFileState state;
    bool writable;
    const char* saying;  // part of the message; empty: no message
  };
  const Case cases[] = {
      {"a file with settings", [](const auto& f) { writeBytes(f, "[options]\r\nActiveProg=2\r\n"); },
       SettingsFileState::kFine, true, ""},
      {"only a program section", [](const auto& f) { writeBytes(f, "[Program3]\r\nFonMin=1\r\n"); },
       SettingsFileState::kFine, true, ""},
      {"missing", [](const auto&) {}, SettingsFileState::kMissing, true, "не найден"},
      {"empty", [](const auto& f) { writeBytes(f, ""); }, SettingsFileState::kNoSettings, true,
       "пуст или повреждён"},
      {"garbage", [](const auto& f) { writeBytes(f, std::string("\0\x01\xFF[x\n", 6)); },
       SettingsFileState::kNoSettings, true, "пуст или повреждён"},
      {"a folder of that name", [](const auto& f) { std::filesystem::create_directory(f); },
       SettingsFileState::kUnreadable, true, "не читается"},
      {"the save's temporary file cannot be made",
       [](const auto& f) {
         writeBytes(f, "[options]\r\n");
         std::filesystem::create_directory(f.string() + ".tmp");
       },
       SettingsFileState::kFine, false, "невозможна"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const auto file = dir / "TolvaneGrain.ini";
    c.prepare(file);
    const SettingsFileCheck check = checkSettingsFile(file);
    EXPECT_EQ(check.state, c.state);
    EXPECT_EQ(check.writable, c.writable);
    if (*c.saying == '\0') {
      EXPECT_EQ(check.message, "");
    } else {
      EXPECT_NE(check.message.find(c.saying), std::string::npos) << check.message;
      EXPECT_NE(check.message.find(file.string()), std::string::npos);
    }
    // The probe leaves nothing behind.
    if (c.writable) {
      EXPECT_FALSE(std::filesystem::exists(file.string() + ".tmp"));
    }
  }
}

TEST(SettingsFileCheck, AFullDiskIsReported) {
  TempDir dir;
  const auto file = dir / "TolvaneGrain.ini";
  writeBytes(file, "[options]\r\n");
  EXPECT_FALSE(checkSettingsFile(file).diskFull);
  const SettingsFileCheck full = checkSettingsFile(file, std::numeric_limits<std::uintmax_t>::max());
  EXPECT_TRUE(full.diskFull);
  EXPECT_NE(full.message.find("нет места"), std::string::npos);
}

}  // namespace
}  // namespace tolvane
