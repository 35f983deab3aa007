// Removable media with temporary folders standing for the mount table, the sysfs block folder and the
// media, and the media check's questions.
#include "service/update_media.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::writeBytes;

TEST(MountTable, FieldsAndEscapes) {
  const std::vector<MountEntry> entries = parseMountTable(
      "/dev/sdb1 /media/op/USB\\040STICK vfat rw 0 0\n"
      "proc /proc proc rw 0 0\n"
      "\n"
      "lonely\n"
      "/dev/sdc1\t/mnt/a\\134b\\011c ext4 rw 0 0\n"
      "/dev/sr0 /media/cd\\04 iso9660 ro 0 0");
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].device, "/dev/sdb1");
  EXPECT_EQ(entries[0].mountPoint, "/media/op/USB STICK");
  EXPECT_EQ(entries[1].mountPoint, "/proc");
  EXPECT_EQ(entries[2].mountPoint, "/mnt/a\\b\tc");
  // An escape cut short stays as written.
  EXPECT_EQ(entries[3].mountPoint, "/media/cd\\04");
}

// A sysfs block folder: disks with their removable flag, partitions inside their disk's folder and
// linked from the class folder, as the kernel lays them out.
struct BlockFolder {
  TempDir dir;
  fs::path root() const { return dir / "class-block"; }

  BlockFolder() { fs::create_directories(dir / "class-block"); }

  void disk(const std::string& name, const char* removable) {
    fs::create_directories(dir / "devices" / name);
    if (removable != nullptr) writeBytes(dir / "devices" / name / "removable", removable);
    fs::create_directory_symlink(dir / "devices" / name, root() / name);
  }
  void partition(const std::string& diskName, const std::string& name) {
    fs::create_directories(dir / "devices" / diskName / name);
    writeBytes(dir / "devices" / diskName / name / "partition", "1\n");
    fs::create_directory_symlink(dir / "devices" / diskName / name, root() / name);
  }
  // A partition folder without the link into its disk.
  void loosePartition(const std::string& name) {
    fs::create_directories(root() / name);
    writeBytes(root() / name / "partition", "1\n");
  }
};

TEST(RemovableDevice, FlagOfTheDiskOrOptical) {
  BlockFolder b;
  b.disk("sdb", "1\n");
  b.partition("sdb", "sdb1");
  b.disk("sda", "0\n");
  b.partition("sda", "sda2");
  b.disk("sdd", nullptr);
  b.disk("mmcblk0", "1\n");
  b.loosePartition("mmcblk0p1");
  b.disk("nvme0n1", "0\n");
  b.loosePartition("nvme0n1p1");
  struct Case {
    const char* device;
    bool removable;
  } const cases[] = {
      {"/dev/sdb", true},        {"/dev/sdb1", true},       {"/dev/sda", false},   {"/dev/sda2", false},
      {"/dev/sdd", false},       {"/dev/sr0", true},        {"/dev/sr1", true},    {"/dev/mmcblk0p1", true},
      {"/dev/nvme0n1p1", false}, {"/dev/sdz9", false},      {"sdb1", false},       {"tmpfs", false},
      {"/dev/", false},          {"/dev/../sdb1", false},   {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isRemovableDevice(c.device, b.root()), c.removable) << c.device;
}

struct MediaRig {
  BlockFolder block;
  TempDir media;

  fs::path medium(const std::string& name, bool withUpdate) {
    fs::create_directories(media / name);
    if (withUpdate) writeBytes(media / name / "TolvaneGrain.update", "new program " + name);
    return media / name;
  }
  fs::path table(const std::string& text) {
    writeBytes(block.dir / "mounts", text);
    return block.dir / "mounts";
  }
};

TEST(MediaScan, RemovableMediaWithAnUpdateInMountPointOrder) {
  MediaRig r;
  r.block.disk("sdb", "1");
  r.block.partition("sdb", "sdb1");
  r.block.disk("sdc", "1");
  r.block.partition("sdc", "sdc1");
  r.block.disk("sda", "0");
  r.block.partition("sda", "sda1");
  r.block.disk("sde", "1");
  const fs::path z = r.medium("z-stick", true);
  const fs::path a = r.medium("a stick", true);
  const fs::path fixed = r.medium("fixed", true);
  const fs::path empty = r.medium("empty", false);
  const fs::path cd = r.medium("cd", true);
  const fs::path folderNotFile = r.medium("odd", false);
  fs::create_directory(folderNotFile / "TolvaneGrain.update");
  std::string aEscaped = a.string();
  aEscaped.replace(aEscaped.find(' '), 1, "\\040");
  const fs::path table = r.table("/dev/sdb1 " + z.string() + " vfat rw 0 0\n" +   //
                                 "/dev/sda1 " + fixed.string() + " ext4 rw 0 0\n" +  //
                                 "/dev/sdc1 " + aEscaped + " vfat rw 0 0\n" +        //
                                 "/dev/sde " + empty.string() + " vfat rw 0 0\n" +   //
                                 "/dev/sr0 " + cd.string() + " iso9660 ro 0 0\n" +   //
                                 "/dev/sde " + folderNotFile.string() + " vfat rw 0 0\n" +
                                 "tmpfs " + r.media.path().string() + " tmpfs rw 0 0\n");

  const std::vector<MediaUpdate> found = findMediaUpdates(table, r.block.root());

  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].root, a);
  EXPECT_EQ(found[0].file, a / "TolvaneGrain.update");
  EXPECT_EQ(found[1].root, cd);
  EXPECT_EQ(found[2].root, z);
}

TEST(MediaScan, MountedOverCountsOnceWithTheLastDevice) {
  MediaRig r;
  r.block.disk("sdb", "1");
  r.block.disk("sda", "0");
  const fs::path m = r.medium("m", true);
  EXPECT_TRUE(findMediaUpdates(r.table("/dev/sda " + m.string() + " ext4 rw 0 0\n/dev/sdb " + m.string() +
                                       " vfat rw 0 0\n"),
                               r.block.root())
                  .size() == 1);
  EXPECT_TRUE(findMediaUpdates(r.table("/dev/sdb " + m.string() + " vfat rw 0 0\n/dev/sda " + m.string() +
                                       " ext4 rw 0 0\n"),
                               r.block.root())
                  .empty());
  EXPECT_TRUE(findMediaUpdates(r.block.dir / "no-table", r.block.root()).empty());
}

TEST(MediaCheck, NoOnTheFirstAsksTheSecond) {
  const std::vector<MediaUpdate> media = {{"/media/a", "/media/a/TolvaneGrain.update"},
                                          {"/media/b", "/media/b/TolvaneGrain.update"}};
  struct Case {
    std::vector<bool> answers;
    size_t asked;
    std::vector<std::string> installed;
    MediaCheckOutcome outcome;
  } const cases[] = {
      {{false, true}, 2, {"/media/b/TolvaneGrain.update"}, MediaCheckOutcome::kStarted},
      {{true}, 1, {"/media/a/TolvaneGrain.update"}, MediaCheckOutcome::kStarted},
      {{false, false}, 2, {}, MediaCheckOutcome::kDeclined},
  };
  for (const Case& c : cases) {
    std::vector<std::string> questions;
    std::vector<std::string> installed;
    const MediaCheckOutcome outcome = checkMediaUpdates(
        media,
        [&](const std::string& question) {
          questions.push_back(question);
          return c.answers[questions.size() - 1];
        },
        [&](const fs::path& file) {
          installed.push_back(file.string());
          return InstallOutcome::kStarted;
        });
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(questions.size(), c.asked);
    EXPECT_EQ(questions[0], "Найдено обновление по адресу /media/a/. Установить?");
    EXPECT_EQ(installed, c.installed);
  }
}

TEST(MediaCheck, FailedInstallEndsTheScanAndNothingFoundAsksNothing) {
  const std::vector<MediaUpdate> media = {{"/a", "/a/TolvaneGrain.update"}, {"/b", "/b/TolvaneGrain.update"}};
  int asked = 0;
  const auto yes = [&asked](const std::string&) {
    ++asked;
    return true;
  };
  EXPECT_EQ(checkMediaUpdates(media, yes, [](const fs::path&) { return InstallOutcome::kCopyFailed; }),
            MediaCheckOutcome::kCopyFailed);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(checkMediaUpdates(media, yes, [](const fs::path&) { return InstallOutcome::kStartFailed; }),
            MediaCheckOutcome::kStartFailed);
  EXPECT_EQ(checkMediaUpdates({}, yes, [](const fs::path&) { return InstallOutcome::kStarted; }),
            MediaCheckOutcome::kNotFound);
  EXPECT_EQ(asked, 2);
}

}  // namespace
}  // namespace tolvane
