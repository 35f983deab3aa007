// The server update against a real HTTP(S) server on loopback: what counts as present, what may
// replace a file, what is left behind, the status texts and the progress, the identifier's path.
#include "service/update_download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "service/update_install.h"
#include "tests/settings/settings_test_util.h"
#include "tests/update/update_test_server.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::Route;
using test::TempDir;
using test::UpdateTestServer;
using test::writeBytes;

constexpr const char* kId = "MK-0042";
constexpr const char* kProgramPath = "/updates/MK-0042/TolvaneGrain";
constexpr const char* kSettingsPath = "/updates/MK-0042/TolvaneGrain.ini";

const std::string kNewSettings = "[options]\r\nActiveProg=3\r\n" + std::string(1200, ';') + "\r\n";

// Routes and fetch options with only the fields a case sets.
Route bodyRoute(const fs::path& file, long chunk = 0, double delay = 0) {
  Route r;
  r.bodyFile = file;
  r.chunk = chunk;
  r.delay = delay;
  return r;
}

Route sizedRoute(int status, long size, const char* length = "auto", long send = -1, long chunk = 0,
                 double delay = 0) {
  Route r;
  r.status = status;
  r.bodySize = size;
  r.length = length;
  r.send = send;
  r.chunk = chunk;
  r.delay = delay;
  return r;
}

FetchOptions withCa(const fs::path& caFile) {
  FetchOptions o;
  o.caFile = caFile;
  return o;
}

std::vector<std::string> folderNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class UpdateDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::onPath("python3")) GTEST_SKIP() << "python3 is not installed";
    std::string reason;
    if (!server.start(reason)) GTEST_SKIP() << reason;
  }

  // A body file in the server's folder.
  fs::path body(const std::string& name, const std::string& bytes) {
    const fs::path file = server.folder() / name;
    writeBytes(file, bytes);
    return file;
  }

  UpdateRequest request() const {
    return {.server = server.base(),
            .machineId = kId,
            .folder = machine.path(),
            .caFile = {},
            .userAgent = "TolvaneGrain"};
  }

  UpdateDownloadResult run(const UpdateRequest& r) {
    UpdateEvents events;
    events.status = [this](const std::string& text) { statuses.push_back(text); };
    events.range = [this](std::int64_t maximum) { ranges.push_back(maximum); };
    events.progress = [this](std::int64_t position) { positions.push_back(position); };
    events.pause = [this](std::uint32_t ms) { pauses.push_back(ms); };
    return downloadUpdate(r, events);
  }

  UpdateTestServer server;
  TempDir machine;
  std::vector<std::string> statuses;
  std::vector<std::int64_t> ranges;
  std::vector<std::int64_t> positions;
  std::vector<std::uint32_t> pauses;
};

// One response on the program path, fetched straight into "TolvaneGrain.update" that held "old".
struct ResponseCase {
  const char* name;
  int status;
  long bodySize;
  const char* length;
  long send;
  FetchStatus expected;
};

TEST_F(UpdateDownload, OnlyACompleteSuccessAboveAThousandBytesReplacesTheFile) {
  const ResponseCase cases[] = {
      {"1001 bytes", 200, 1001, "auto", -1, FetchStatus::kInstalled},
      {"exactly 1000 bytes", 200, 1000, "auto", -1, FetchStatus::kAbsent},
      {"no content length", 200, 5000, "none", -1, FetchStatus::kAbsent},
      {"404 with a large body", 404, 5000, "auto", -1, FetchStatus::kAbsent},
      {"500 with a large body", 500, 5000, "auto", -1, FetchStatus::kAbsent},
      {"truncated body", 200, 5000, "auto", 3000, FetchStatus::kIncomplete},
      {"empty body announced large", 200, 5000, "auto", 0, FetchStatus::kIncomplete},
  };
  for (const ResponseCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir folder;
    const fs::path destination = folder / "TolvaneGrain.update";
    writeBytes(destination, "old");
    server.route(kProgramPath, sizedRoute(c.status, c.bodySize, c.length, c.send));

    const FetchResult result = fetchFile(server.base() + kProgramPath, destination, {});

    EXPECT_EQ(result.status, c.expected) << result.error;
    EXPECT_EQ(result.httpStatus, c.status);
    if (c.expected == FetchStatus::kInstalled) {
      EXPECT_EQ(readBytes(destination), std::string(static_cast<size_t>(c.bodySize), 'x'));
    } else {
      EXPECT_EQ(readBytes(destination), "old");
    }
    // No temporary file is left behind, whatever happened.
    EXPECT_EQ(folderNames(folder.path()), std::vector<std::string>{"TolvaneGrain.update"});
  }
}

TEST_F(UpdateDownload, AbsentResponseBodyIsNotRead) {
  // A 404 page of 5 MB sent slowly: the transfer stops at the head instead of reading it all.
  server.route(kProgramPath, sizedRoute(404, 5'000'000, "auto", -1, 100'000, 0.05));
  TempDir folder;
  std::int64_t received = 0;
  FetchOptions options;
  options.progress = [&received](std::int64_t r) { received = r; };
  const FetchResult result = fetchFile(server.base() + kProgramPath, folder / "f", options);
  EXPECT_EQ(result.status, FetchStatus::kAbsent);
  EXPECT_EQ(received, 0);
}

TEST_F(UpdateDownload, ProgramAndSettingsAreInstalledAndTheOldSettingsKept) {
  server.route(kProgramPath, bodyRoute(body("program", test::programBytes(5000))));
  server.route(kSettingsPath, bodyRoute(body("ini", kNewSettings)));
  writeBytes(machine / "TolvaneGrain.ini", "[options]\r\nActiveProg=1\r\n");

  const UpdateDownloadResult result = run(request());

  EXPECT_TRUE(result.programReceived);
  EXPECT_TRUE(result.settingsInstalled);
  EXPECT_EQ(readBytes(machine / "TolvaneGrain.update"), test::programBytes(5000));
  EXPECT_EQ(readBytes(machine / "TolvaneGrain.ini"), kNewSettings);
  EXPECT_EQ(readBytes(machine / "TolvaneGrainINI.prev"), "[options]\r\nActiveProg=1\r\n");
  EXPECT_EQ(statuses,
            (std::vector<std::string>{"Поиск обновления...", "Обновление найдено. Загрузка...",
                                      "Файл TolvaneGrain.update ok.", "Поиск обновления...",
                                      "Обновление найдено. Загрузка...", "Файл TolvaneGrain.ini ok."}));
  EXPECT_EQ(pauses, (std::vector<std::uint32_t>{10000, 10000}));
  EXPECT_EQ(ranges, (std::vector<std::int64_t>{0, 5000, 0, static_cast<std::int64_t>(kNewSettings.size())}));
  // The agent is the running file's name; both resources under the machine's folder.
  EXPECT_EQ(server.requests(), (std::vector<std::string>{std::string(kProgramPath) + " TolvaneGrain",
                                                         std::string(kSettingsPath) + " TolvaneGrain"}));
}

TEST_F(UpdateDownload, WithoutSettingsOnTheServerTheProgramComesAndTheSettingsStayUntouched) {
  server.route(kProgramPath, bodyRoute(body("program", test::programBytes(5000))));
  writeBytes(machine / "TolvaneGrain.ini", "[options]\r\nActiveProg=1\r\n");

  const UpdateDownloadResult result = run(request());

  EXPECT_TRUE(result.programReceived);
  EXPECT_FALSE(result.settingsInstalled);
  EXPECT_EQ(readBytes(machine / "TolvaneGrain.ini"), "[options]\r\nActiveProg=1\r\n");
  EXPECT_EQ(folderNames(machine.path()),
            (std::vector<std::string>{"TolvaneGrain.ini", "TolvaneGrain.update"}));
  EXPECT_EQ(statuses.back(), "Ошибка: TolvaneGrain.ini");
}

struct RefusedCase {
  const char* name;
  std::string program;
  std::string settings;
  bool programReceived;
  bool settingsInstalled;
};

TEST_F(UpdateDownload, WhatIsNotAProgramOrASettingsFileIsRefused) {
  std::string otherMachine = test::programBytes(5000);
  otherMachine[18] = static_cast<char>(otherMachine[18] ^ 0x7F);  // another e_machine
  const RefusedCase cases[] = {
      {"HTML page as program", "<html>" + std::string(4000, ' ') + "</html>", kNewSettings, false, true},
      {"program of another architecture", otherMachine, kNewSettings, false, true},
      {"settings file without options", test::programBytes(5000), "[program0]\r\n" + std::string(2000, ';'),
       true, false},
      {"settings file that is a program", test::programBytes(5000), test::programBytes(3000), true, false},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir folder;
    writeBytes(folder / "TolvaneGrain.ini", "[options]\r\nActiveProg=1\r\n");
    server.route(kProgramPath, bodyRoute(body("program", c.program)));
    server.route(kSettingsPath, bodyRoute(body("ini", c.settings)));
    UpdateRequest r = request();
    r.folder = folder.path();

    const UpdateDownloadResult result = run(r);

    EXPECT_EQ(result.programReceived, c.programReceived);
    EXPECT_EQ(result.settingsInstalled, c.settingsInstalled);
    EXPECT_EQ(fs::exists(folder / "TolvaneGrain.update"), c.programReceived);
    EXPECT_EQ(readBytes(folder / "TolvaneGrain.ini"),
              c.settingsInstalled ? c.settings : std::string("[options]\r\nActiveProg=1\r\n"));
    EXPECT_EQ(fs::exists(folder / "TolvaneGrainINI.prev"), c.settingsInstalled);
    EXPECT_EQ(statuses[2],
              c.programReceived ? "Файл TolvaneGrain.update ok." : "Ошибка: TolvaneGrain.update");
    statuses.clear();
  }
}

TEST_F(UpdateDownload, SlowBodyProgressFollowsEveryChunk) {
  server.route(kProgramPath, bodyRoute(body("program", test::programBytes(6000)), 1000, 0.05));

  const UpdateDownloadResult result = run(request());

  ASSERT_TRUE(result.programReceived);
  // The position climbs in steps up to the whole length; the range was set to it first.
  ASSERT_GE(positions.size(), 4u);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(std::adjacent_find(positions.begin(), positions.end()), positions.end());
  EXPECT_EQ(positions.back(), 6000);
  EXPECT_EQ(ranges[1], 6000);
}

TEST_F(UpdateDownload, IdentifierStaysOneSegmentOfItsFolder) {
  UpdateRequest r = request();
  r.machineId = "/../x?#";
  run(r);
  EXPECT_EQ(server.requests(),
            (std::vector<std::string>{"/updates/%2F..%2Fx%3F%23/TolvaneGrain TolvaneGrain",
                                      "/updates/%2F..%2Fx%3F%23/TolvaneGrain.ini TolvaneGrain"}));
}

TEST_F(UpdateDownload, IdentifierThatIsAPathStepAsksNothing) {
  for (const char* id : {"", ".", ".."}) {
    SCOPED_TRACE(id);
    UpdateRequest r = request();
    r.machineId = id;
    const UpdateDownloadResult result = run(r);
    EXPECT_FALSE(result.programReceived);
    EXPECT_FALSE(result.settingsInstalled);
  }
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(UpdateDownload, UnreachableServerAndNoServer) {
  UpdateRequest r = request();
  const int port = server.port();
  server.stop();
  r.server = "http://127.0.0.1:" + std::to_string(port);
  UpdateDownloadResult result = run(r);
  EXPECT_EQ(result.program.status, FetchStatus::kUnreachable);
  EXPECT_FALSE(result.program.error.empty());
  EXPECT_EQ(statuses, (std::vector<std::string>{"Поиск обновления...", "Ошибка: TolvaneGrain.update",
                                                "Поиск обновления...", "Ошибка: TolvaneGrain.ini"}));

  statuses.clear();
  r.server = " ";
  result = run(r);
  EXPECT_FALSE(result.programReceived);
  EXPECT_EQ(statuses, std::vector<std::string>{"Сервер обновлений не задан."});
  EXPECT_TRUE(folderNames(machine.path()).empty());
}

TEST_F(UpdateDownload, CancelStopsAtOnceAndLeavesNothing) {
  server.route(kProgramPath, bodyRoute(body("program", test::programBytes(20000)), 1000, 0.05));
  UpdateEvents events;
  events.progress = [this](std::int64_t p) { positions.push_back(p); };
  events.pause = [this](std::uint32_t ms) { pauses.push_back(ms); };
  events.cancelled = [this] { return positions.size() >= 2; };

  const UpdateDownloadResult result = downloadUpdate(request(), events);

  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(result.program.status, FetchStatus::kCancelled);
  EXPECT_TRUE(pauses.empty());
  EXPECT_TRUE(folderNames(machine.path()).empty());
  EXPECT_EQ(server.requests().size(), 1u);
}

class UpdateDownloadTls : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::onPath("python3") || !test::onPath("openssl")) GTEST_SKIP() << "python3 or openssl missing";
    if (!test::makeCertificate(certs.path())) GTEST_SKIP() << "openssl could not make a certificate";
    std::string reason;
    if (!server.start(reason, certs / "cert.pem", certs / "key.pem")) GTEST_SKIP() << reason;
  }
  TempDir certs;
  UpdateTestServer server;
};

TEST_F(UpdateDownloadTls, HttpsWorksWithTheExtraCaAndRefusesWithoutIt) {
  writeBytes(server.folder() / "program", test::programBytes(5000));
  server.route(kProgramPath, bodyRoute(server.folder() / "program"));
  TempDir folder;

  const FetchResult trusted =
      fetchFile(server.base() + kProgramPath, folder / "TolvaneGrain.update", withCa(certs / "cert.pem"));
  EXPECT_EQ(trusted.status, FetchStatus::kInstalled) << trusted.error;
  EXPECT_EQ(readBytes(folder / "TolvaneGrain.update"), test::programBytes(5000));

  // The server's certificate is checked: unknown to the system, it is refused without the extra CA.
  fs::remove(folder / "TolvaneGrain.update");
  const FetchResult untrusted = fetchFile(server.base() + kProgramPath, folder / "TolvaneGrain.update", {});
  EXPECT_EQ(untrusted.status, FetchStatus::kUnreachable);
  EXPECT_FALSE(fs::exists(folder / "TolvaneGrain.update"));

  // A CA file that holds no certificate stops the transfer before it starts.
  writeBytes(folder / "empty.pem", "nothing");
  const FetchResult badCa =
      fetchFile(server.base() + kProgramPath, folder / "TolvaneGrain.update", withCa(folder / "empty.pem"));
  EXPECT_EQ(badCa.status, FetchStatus::kUnreachable);
  EXPECT_EQ(server.requests().size(), 1u);
}

}  // namespace
}  // namespace tolvane
