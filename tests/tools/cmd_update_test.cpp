// tolvane-tool update: the server update into a folder against a real server, the media update and
// the rollback prepared without starting anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/settings/settings_test_util.h"
#include "tests/update/update_test_server.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

ToolRun run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = runTool(args, out, err);
  return {code, out.str(), err.str()};
}

TEST(UpdateTool, RollbackPreparesTheExchangeFromTheBackup) {
  TempDir dir;
  const ToolRun none = run({"update", "rollback", dir.path().string()});
  EXPECT_EQ(none.code, 1);
  EXPECT_EQ(none.out, "Точек отката нет.\n");

  writeBytes(dir / "TolvaneGrain.bak", "old version");
  writeBytes(dir / "TolvaneGrain_", "left over");
  const ToolRun done = run({"update", "rollback", dir.path().string()});
  EXPECT_EQ(done.code, 0);
  EXPECT_EQ(done.out, "Файл TolvaneGrain_ ok.\n");
  EXPECT_EQ(readBytes(dir / "TolvaneGrain_"), "old version");
  EXPECT_EQ(readBytes(dir / "TolvaneGrain.bak"), "old version");
}

TEST(UpdateTool, MediaListsWithoutYesAndPreparesTheFirstWithYes) {
  TempDir dir, machine;
  fs::create_directories(dir / "block" / "sdb");
  writeBytes(dir / "block" / "sdb" / "removable", "1\n");
  for (const char* m : {"b", "a"}) {
    fs::create_directories(dir / m);
    writeBytes(dir / m / "TolvaneGrain.update", std::string("program on ") + m);
  }
  writeBytes(dir / "mounts", "/dev/sdb " + (dir / "b").string() + " vfat rw 0 0\n/dev/sr0 " +
                                 (dir / "a").string() + " iso9660 ro 0 0\n");
  const std::vector<std::string> base = {"update",
                                         "media",
                                         machine.path().string(),
                                         "--mounts",
                                         (dir / "mounts").string(),
                                         "--block-root",
                                         (dir / "block").string()};

  const ToolRun list = run(base);
  EXPECT_EQ(list.code, 0);
  EXPECT_EQ(list.out, (dir / "a" / "TolvaneGrain.update").string() + "\n" +
                          (dir / "b" / "TolvaneGrain.update").string() + "\n");
  EXPECT_FALSE(fs::exists(machine / "TolvaneGrain_"));

  std::vector<std::string> yes = base;
  yes.push_back("--yes");
  const ToolRun install = run(yes);
  EXPECT_EQ(install.code, 0);
  EXPECT_EQ(install.out, (dir / "a" / "TolvaneGrain.update").string() + "\nФайл TolvaneGrain_ ok.\n");
  EXPECT_EQ(readBytes(machine / "TolvaneGrain_"), "program on a");

  writeBytes(dir / "mounts", "");
  const ToolRun nothing = run(base);
  EXPECT_EQ(nothing.code, 1);
  EXPECT_EQ(nothing.out, "Обновление не найдено.\n");
}

TEST(UpdateTool, UsageErrors) {
  TempDir dir;
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"update"},
                                             {"update", "download"},
                                             {"update", "fly", dir.path().string()},
                                             {"update", "rollback", (dir / "none").string()},
                                             {"update", "media", dir.path().string(), "--maybe"},
                                             {"update", "media", dir.path().string(), "--mounts"}}) {
    EXPECT_EQ(run(args).code, 2) << args.size();
  }
}

TEST(UpdateTool, DownloadIntoTheFolderWithoutStartingIt) {
  if (!test::onPath("python3")) GTEST_SKIP() << "python3 is not installed";
  test::UpdateTestServer server;
  std::string reason;
  if (!server.start(reason)) GTEST_SKIP() << reason;
  TempDir machine;
  writeBytes(server.folder() / "program", test::programBytes(4000));
  test::Route program;
  program.bodyFile = server.folder() / "program";
  server.route("/updates/MK%207/TolvaneGrain", program);
  writeBytes(machine / "TolvaneGrain.ini", "[options]\r\npath=\"MK 7\"\r\n");
  writeBytes(machine / "TolvaneGrain.platform",
             "hardware = simulated\nupdate_server = " + server.base() + "\n");

  const ToolRun done = run({"update", "download", machine.path().string()});

  EXPECT_EQ(done.code, 0) << done.err;
  EXPECT_EQ(done.out,
            "Поиск обновления...\nОбновление найдено. Загрузка...\nФайл TolvaneGrain.update ok.\n"
            "Поиск обновления...\nОшибка: TolvaneGrain.ini\n");
  EXPECT_EQ(readBytes(machine / "TolvaneGrain.update"), test::programBytes(4000));
  EXPECT_FALSE(fs::exists(machine / "TolvaneGrain_"));
  EXPECT_EQ(readBytes(machine / "TolvaneGrain.ini"), "[options]\r\npath=\"MK 7\"\r\n");

  // No server configured: the line says so and nothing is asked.
  writeBytes(machine / "TolvaneGrain.platform", "hardware = simulated\n");
  const ToolRun none = run({"update", "download", machine.path().string()});
  EXPECT_EQ(none.code, 1);
  EXPECT_EQ(none.out, "Сервер обновлений не задан.\n");
  EXPECT_EQ(server.requests().size(), 2u);
}

}  // namespace
}  // namespace tolvane::tool
