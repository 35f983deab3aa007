#include "settings/side_files.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

std::vector<std::byte> filled(size_t size, unsigned char value) {
  return std::vector<std::byte>(size, std::byte{value});
}

TEST(SideFiles, NamesAreFixedInTheProgramFolderWhateverTheProgramIsCalled) {
  // The update hand-over runs as TolvaneGrain_ and must use the machine's own files.
  for (const char* program : {"/opt/machine/TolvaneGrain", "/opt/machine/TolvaneGrain_",
                              "/opt/machine/TolvaneGrain.exe", "/opt/machine/Other.bin"}) {
    SCOPED_TRACE(program);
    EXPECT_EQ(settingsFilePath(program), "/opt/machine/TolvaneGrain.ini");
    EXPECT_EQ(sideFilePath(program, SideFile::kSamples), "/opt/machine/TolvaneGrain.samples");
    EXPECT_EQ(sideFilePath(program, SideFile::kStat), "/opt/machine/TolvaneGrain.stat");
    EXPECT_EQ(sideFilePath(program, SideFile::kShots), "/opt/machine/TolvaneGrain.shots");
    EXPECT_EQ(settingsBackupPath(program), "/opt/machine/TolvaneGrainINI.bak");
  }
  EXPECT_EQ(sideFileSize(SideFile::kSamples), 655200u);
  EXPECT_EQ(sideFileSize(SideFile::kStat), 297840u);
  EXPECT_EQ(sideFileSize(SideFile::kShots), 256u);
}

TEST(SideFiles, MissingLeavesTheTableAndShortFillsTheBeginning) {
  TempDir dir;
  const auto program = dir / "TolvaneGrain";
  auto table = filled(kShotsFileSize, 0xAA);
  EXPECT_EQ(readSideFile(sideFilePath(program, SideFile::kShots), table), std::nullopt);
  EXPECT_EQ(table, filled(kShotsFileSize, 0xAA));

  writeBytes(sideFilePath(program, SideFile::kShots), std::string(100, '\x01'));
  EXPECT_EQ(readSideFile(sideFilePath(program, SideFile::kShots), table), 100u);
  for (size_t i = 0; i < table.size(); ++i)
    ASSERT_EQ(table[i], std::byte{static_cast<unsigned char>(i < 100 ? 1 : 0xAA)}) << i;

  // A longer file fills the table and the rest is ignored.
  writeBytes(sideFilePath(program, SideFile::kShots), std::string(300, '\x02'));
  EXPECT_EQ(readSideFile(sideFilePath(program, SideFile::kShots), table), kShotsFileSize);
  EXPECT_EQ(table, filled(kShotsFileSize, 2));

  // A folder where the file should be is unreadable: table untouched.
  std::filesystem::create_directory(sideFilePath(program, SideFile::kStat));
  auto stat = filled(16, 9);
  EXPECT_EQ(readSideFile(sideFilePath(program, SideFile::kStat), stat), std::nullopt);
  EXPECT_EQ(stat, filled(16, 9));
}

TEST(SideFiles, WholeTablesRoundTrip) {
  TempDir dir;
  const auto program = dir / "TolvaneGrain";
  std::vector<std::byte> samples(kSamplesFileSize);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = std::byte{static_cast<unsigned char>(i * 31 + 7)};
  const auto stat = filled(kStatFileSize, 5);
  const auto shots = filled(kShotsFileSize, 6);
  const SideFileWriteStatus status = writeSideFiles(program, {samples, stat, shots});
  EXPECT_TRUE(status.allWritten());
  EXPECT_EQ(std::filesystem::file_size(sideFilePath(program, SideFile::kSamples)), kSamplesFileSize);
  std::vector<std::byte> back(kSamplesFileSize);
  EXPECT_EQ(readSideFile(sideFilePath(program, SideFile::kSamples), back), kSamplesFileSize);
  EXPECT_EQ(back, samples);
  EXPECT_EQ(readBytes(sideFilePath(program, SideFile::kShots)), std::string(kShotsFileSize, '\x06'));
}

TEST(SideFiles, OneFailedWriteDoesNotStopTheOthers) {
  TempDir dir;
  const auto program = dir / "TolvaneGrain";
  std::filesystem::create_directory(sideFilePath(program, SideFile::kStat));  // cannot be replaced
  const auto samples = filled(kSamplesFileSize, 1);
  const auto stat = filled(kStatFileSize, 2);
  const auto shots = filled(kShotsFileSize, 3);
  const SideFileWriteStatus status = writeSideFiles(program, {samples, stat, shots});
  EXPECT_TRUE(status.samples);
  EXPECT_FALSE(status.stat);
  EXPECT_TRUE(status.shots);
  EXPECT_FALSE(status.allWritten());
  EXPECT_EQ(readBytes(sideFilePath(program, SideFile::kShots)), std::string(kShotsFileSize, '\x03'));

  // Skipped tables are not written; a table of the wrong size is refused.
  const auto shortShots = filled(10, 4);
  const SideFileWriteStatus partial = writeSideFiles(program, {{}, {}, shortShots});
  EXPECT_TRUE(partial.samples);
  EXPECT_FALSE(partial.shots);
  EXPECT_EQ(readBytes(sideFilePath(program, SideFile::kShots)), std::string(kShotsFileSize, '\x03'));
  EXPECT_FALSE(writeSideFile(dir / "missing" / "x.shots", shots));
}

}  // namespace
}  // namespace tolvane
