// The rules of the server update without a server: addresses, what counts as present, what is a
// program of this machine or a settings file, the copy's percent.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "service/curl_tls.h"
#include "service/update_download.h"
#include "service/update_install.h"
#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

using test::TempDir;
using test::writeBytes;

TEST(UpdateUrl, IdentifierIsOneEncodedSegment) {
  struct Case {
    const char* server;
    const char* id;
    const char* file;
    std::optional<std::string> url;
  } const cases[] = {
      {"http://h:8080", "MK-0042", "TolvaneGrain", "http://h:8080/updates/MK-0042/TolvaneGrain"},
      {"https://h/", "000", "TolvaneGrain.ini", "https://h/updates/000/TolvaneGrain.ini"},
      {" http://h// ", "a_b.c~", "TolvaneGrain", "http://h/updates/a_b.c~/TolvaneGrain"},
      {"http://h", "/../x?#", "TolvaneGrain", "http://h/updates/%2F..%2Fx%3F%23/TolvaneGrain"},
      {"http://h", "a%2Fb", "TolvaneGrain", "http://h/updates/a%252Fb/TolvaneGrain"},
      {"http://h", "a b\\c&d=e;f", "TolvaneGrain", "http://h/updates/a%20b%5Cc%26d%3De%3Bf/TolvaneGrain"},
      {"http://h", "МК", "TolvaneGrain", "http://h/updates/%D0%9C%D0%9A/TolvaneGrain"},
      {"http://h", "..x", "TolvaneGrain", "http://h/updates/..x/TolvaneGrain"},
      {"http://h", "", "TolvaneGrain", std::nullopt},
      {"http://h", ".", "TolvaneGrain", std::nullopt},
      {"http://h", "..", "TolvaneGrain", std::nullopt},
      {"http://h", "...", "TolvaneGrain", std::nullopt},
      {"", "MK", "TolvaneGrain", std::nullopt},
      {" / ", "MK", "TolvaneGrain", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.server) + " | " + c.id);
    EXPECT_EQ(updateUrl(c.server, c.id, c.file), c.url);
  }
}

TEST(UpdateUrl, EveryByteButTheUnreservedIsEncoded) {
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const bool unreserved = std::isalnum(b) != 0 || one == "-" || one == "_" || one == "." || one == "~";
    EXPECT_EQ(percentEncode(one).size(), unreserved ? 1u : 3u) << b;
  }
}

TEST(UpdatePresence, SuccessStatusAndMoreThanAThousandBytes) {
  struct Case {
    long status;
    std::int64_t length;
    bool present;
  } const cases[] = {
      {200, 1001, true}, {200, 1000, false}, {200, -1, false},  {200, 0, false},   {206, 5000, true},
      {299, 5000, true}, {300, 5000, false}, {302, 5000, false}, {404, 5000, false}, {500, 5000, false},
      {199, 5000, false}, {0, 5000, false},
  };
  for (const Case& c : cases) EXPECT_EQ(responsePresent(c.status, c.length), c.present) << c.status << " " << c.length;
}

std::string runningHead() {
  std::ifstream in("/proc/self/exe", std::ios::binary);
  std::string head(64, '\0');
  in.read(head.data(), 64);
  return head;
}

TEST(UpdateProgramCheck, OnlyAnExecutableOfThisMachine) {
  TempDir dir;
  const std::string head = runningHead();
  const auto with = [&head](int at, char value) {
    std::string h = head;
    h[static_cast<size_t>(at)] = value;
    return h;
  };
  struct Case {
    const char* name;
    std::string bytes;
    bool program;
  } const cases[] = {
      {"this machine's ELF", head + std::string(2000, 'x'), true},
      {"exactly 1000 bytes", head + std::string(936, 'x'), true},
      {"999 bytes", head + std::string(935, 'x'), false},
      {"executable type", with(16, 2) + std::string(2000, 'x'), true},
      {"relocatable object", with(16, 1) + std::string(2000, 'x'), false},
      {"core file", with(16, 4) + std::string(2000, 'x'), false},
      {"other machine", with(18, static_cast<char>(head[18] ^ 0x40)) + std::string(2000, 'x'), false},
      {"other class", with(4, static_cast<char>(head[4] == 2 ? 1 : 2)) + std::string(2000, 'x'), false},
      {"other byte order", with(5, static_cast<char>(head[5] == 1 ? 2 : 1)) + std::string(2000, 'x'), false},
      {"no magic", with(1, 'X') + std::string(2000, 'x'), false},
      {"HTML page", "<html>" + std::string(3000, ' '), false},
      {"shell script", "#!/bin/sh\n" + std::string(3000, '#'), false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes(dir / "candidate", c.bytes);
    EXPECT_EQ(isExecutableFor(dir / "candidate"), c.program);
  }
  EXPECT_FALSE(isExecutableFor(dir / "missing"));
  writeBytes(dir / "candidate", head + std::string(2000, 'x'));
  EXPECT_FALSE(isExecutableFor(dir / "candidate", dir / "missing-reference"));
}

TEST(UpdateSettingsCheck, LoadsWithAnOptionsSection) {
  struct Case {
    const char* name;
    std::string bytes;
    bool settings;
  } const cases[] = {
      {"options", "[options]\r\nActiveProg=1\r\n", true},
      {"options in another case", "[OPTIONS]\nActiveProg=1\n", true},
      {"options after programs", "[program0]\r\nFonMin=1\r\n[options]\r\n", true},
      {"UTF-8 mark", "\xEF\xBB\xBF[options]\r\n", true},
      {"programs only", "[program0]\r\nFonMin=1\r\n", false},
      {"HTML page", "<html><body>[options]</body></html>", false},
      {"empty", "", false},
      {"binary", std::string("\x7F" "ELF\0\0\0", 7), false},
  };
  for (const Case& c : cases) EXPECT_EQ(isSettingsFileText(c.bytes), c.settings) << c.name;
}

TEST(UpdateTexts, StatusLines) {
  EXPECT_EQ(fileOkText("TolvaneGrain.update"), "Файл TolvaneGrain.update ok.");
  EXPECT_EQ(fileErrorText("TolvaneGrain.ini"), "Ошибка: TolvaneGrain.ini");
  EXPECT_EQ(mediaUpdateQuestion({"/media/usb", "/media/usb/TolvaneGrain.update"}),
            "Найдено обновление по адресу /media/usb/. Установить?");
  EXPECT_EQ(mediaUpdateQuestion({"/", "/TolvaneGrain.update"}), "Найдено обновление по адресу /. Установить?");
}

TEST(UpdateCopyPercent, TruncatedAndCapped) {
  struct Case {
    std::uintmax_t copied, size;
    int percent;
  } const cases[] = {{0, 1000, 0}, {9, 1000, 0}, {10, 1000, 1}, {999, 1000, 99}, {1000, 1000, 100},
                     {1500, 1000, 100}, {0, 0, 100}, {1, 3, 33}, {2, 3, 66}};
  for (const Case& c : cases) EXPECT_EQ(copyPercent(c.copied, c.size), c.percent) << c.copied << "/" << c.size;
}

TEST(UpdateTrust, ExtraCaIsAddedToTheSystemBundle) {
  TempDir dir;
  const std::string cert = "-----BEGIN CERTIFICATE-----\nAAA\n-----END CERTIFICATE-----\n";
  writeBytes(dir / "system.pem", "SYSTEM BUNDLE");
  writeBytes(dir / "extra.pem", cert);
  writeBytes(dir / "junk.pem", "no certificate here");

  EXPECT_EQ(trustedAuthoritiesPem(dir / "system.pem", dir / "extra.pem"), "SYSTEM BUNDLE\n" + cert);
  // Without a readable system bundle the extra CA still counts.
  EXPECT_EQ(trustedAuthoritiesPem(dir / "missing.pem", dir / "extra.pem"), cert);
  EXPECT_EQ(trustedAuthoritiesPem({}, dir / "extra.pem"), cert);
  EXPECT_EQ(trustedAuthoritiesPem(dir / "system.pem", dir / "junk.pem"), std::nullopt);
  EXPECT_EQ(trustedAuthoritiesPem(dir / "system.pem", dir / "missing.pem"), std::nullopt);
}

}  // namespace
}  // namespace tolvane
