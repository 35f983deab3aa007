#include "settings/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <thread>

#include "settings/settings_file.h"
#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

TEST(AtomicFile, ReplacesContentKeepsPermissionsAndFollowsLinks) {
  TempDir dir;
  const auto file = dir / "TolvaneGrain.ini";
  writeBytes(file, "old");
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  writeFileAtomically(file, std::string_view("new content"));
  EXPECT_EQ(readBytes(file), "new content");
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_FALSE(std::filesystem::exists(dir / "TolvaneGrain.ini.tmp"));

  const auto link = dir / "link.ini";
  std::filesystem::create_symlink(file, link);
  writeFileAtomically(link, std::string_view("through the link"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(readBytes(file), "through the link");
}

TEST(AtomicFile, StaleTemporaryFileFromAnInterruptedSaveIsReplaced) {
  TempDir dir;
  const auto file = dir / "TolvaneGrain.stat";
  writeBytes(dir / "TolvaneGrain.stat.tmp", "half written");
  writeFileAtomically(file, std::string_view("whole"));
  EXPECT_EQ(readBytes(file), "whole");
  EXPECT_FALSE(std::filesystem::exists(dir / "TolvaneGrain.stat.tmp"));
}

TEST(AtomicFile, FailureLeavesTheTargetAndNoTemporaryFile) {
  TempDir dir;
  std::filesystem::create_directory(dir / "target");
  EXPECT_THROW(writeFileAtomically(dir / "target", std::string_view("x")), FileWriteError);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "target"));
  EXPECT_FALSE(std::filesystem::exists(dir / "target.tmp"));
  EXPECT_THROW(writeFileAtomically(dir / "missing" / "f", std::string_view("x")), FileWriteError);
}

TEST(AtomicFile, ReadReportsMissingAndUnreadableApart) {
  TempDir dir;
  EXPECT_EQ(readWholeFile(dir / "none").status, ReadStatus::kMissing);
  EXPECT_EQ(readWholeFile(dir.path()).status, ReadStatus::kUnreadable);
  writeBytes(dir / "f", std::string("a\0b", 3));
  const FileContents c = readWholeFile(dir / "f");
  EXPECT_EQ(c.status, ReadStatus::kOk);
  EXPECT_EQ(c.bytes, std::string("a\0b", 3));
}

// Every int key of the program holds the same generation number, so a torn or mixed file shows.
SorterSettings generation(int32_t g) {
  SorterSettings s;
  for (const ProgramKey& k : programKeys()) {
    if (k.kind == ProgramKey::Kind::kCameraInt || k.kind == ProgramKey::Kind::kInt) programInt(s, k) = g;
  }
  for (int32_t i = 0; i < g % 7; ++i) s.Sectors[0].push_back("##ID=\"" + std::to_string(g) + "\"");
  return s;
}

void expectWholeGeneration(const std::filesystem::path& file, int attempt) {
  const FileContents contents = readWholeFile(file);
  ASSERT_EQ(contents.status, ReadStatus::kOk) << "attempt " << attempt;
  ASSERT_GE(contents.bytes.size(), 2u);
  EXPECT_EQ(contents.bytes.substr(contents.bytes.size() - 2), "\r\n") << "attempt " << attempt;
  const IniDocument doc = IniDocument::parse(contents.bytes);
  const int32_t g = doc.readInt("program4", "FonMin", -1);
  ASSERT_GE(g, 0) << "attempt " << attempt;
  for (const ProgramKey& k : programKeys()) {
    if (k.kind == ProgramKey::Kind::kCameraInt || k.kind == ProgramKey::Kind::kInt) {
      ASSERT_EQ(doc.readInt("program4", k.key, -1), g) << k.key << " attempt " << attempt;
    }
  }
  SorterSettings loaded;
  MachineSettings machine;
  ReadProgramSection(doc, 4, loaded, machine);
  EXPECT_EQ(loaded.Sectors[0], generation(g).Sectors[0]) << "attempt " << attempt;
  EXPECT_EQ(doc.readInt("options", "Keep", 0), 1);
}

// A child saves the program over and over and is killed at random moments; the file is always the
// old or a new whole file, never torn.
TEST(AtomicFile, KilledWriterNeverLeavesATornSettingsFile) {
  TempDir dir;
  const auto file = dir / "TolvaneGrain.ini";
  writeBytes(file, "[options]\r\nKeep=1\r\n");
  WriteProgramSection(file, 4, generation(0), MachineSettings{});
  std::mt19937 rng(20240607);
  for (int attempt = 0; attempt < 30; ++attempt) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int32_t g = 1;; ++g) {
        try {
          WriteProgramSection(file, 4, generation(g), MachineSettings{});
        } catch (...) {
          ::_exit(3);
        }
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % 30000));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer failed with status " << status;
    expectWholeGeneration(file, attempt);
  }
  // The next save clears the temporary file a killed writer may have left.
  WriteProgramSection(file, 4, generation(1), MachineSettings{});
  EXPECT_FALSE(std::filesystem::exists(dir / "TolvaneGrain.ini.tmp"));
  expectWholeGeneration(file, -1);
}

}  // namespace
}  // namespace tolvane
