#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/program_launcher.h"
#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::TempDir;
using test::writeBytes;

TEST(InstanceLock, ASecondLockOnTheFolderFailsUntilTheFirstIsReleased) {
  TempDir dir;
  InstanceLock first = InstanceLock::tryAcquire(dir.path());
  ASSERT_EQ(first.state(), InstanceLockState::kHeld);
  EXPECT_EQ(first.file(), dir / "TolvaneGrain.lock");
  EXPECT_TRUE(fs::is_regular_file(dir / "TolvaneGrain.lock"));

  const InstanceLock second = InstanceLock::tryAcquire(dir.path());
  EXPECT_EQ(second.state(), InstanceLockState::kHeldElsewhere);
  EXPECT_FALSE(second.held());
  EXPECT_EQ(second.error(), 0);

  first.release();
  EXPECT_FALSE(first.held());
  EXPECT_TRUE(InstanceLock::tryAcquire(dir.path()).held());
  // The file stays for the next start; an existing file is locked the same way.
  EXPECT_TRUE(fs::exists(dir / "TolvaneGrain.lock"));
  EXPECT_TRUE(InstanceLock::tryAcquire(dir.path()).held());
}

TEST(InstanceLock, OtherFoldersAreIndependent) {
  TempDir one;
  TempDir two;
  const InstanceLock a = InstanceLock::tryAcquire(one.path());
  const InstanceLock b = InstanceLock::tryAcquire(two.path());
  EXPECT_TRUE(a.held());
  EXPECT_TRUE(b.held());
}

TEST(InstanceLock, AMovedLockKeepsTheFolderUntilItsLastOwnerEnds) {
  TempDir dir;
  InstanceLock first = InstanceLock::tryAcquire(dir.path());
  {
    InstanceLock moved = std::move(first);
    EXPECT_FALSE(first.held());  // NOLINT(bugprone-use-after-move): the moved-from state is defined
    EXPECT_TRUE(moved.held());
    EXPECT_EQ(InstanceLock::tryAcquire(dir.path()).state(), InstanceLockState::kHeldElsewhere);
    InstanceLock assigned;
    assigned = std::move(moved);
    EXPECT_EQ(InstanceLock::tryAcquire(dir.path()).state(), InstanceLockState::kHeldElsewhere);
  }
  EXPECT_TRUE(InstanceLock::tryAcquire(dir.path()).held());
}

TEST(InstanceLock, AcquireWaitsForTheHolderToLeaveAndGivesUpAfterItsTime) {
  TempDir dir;
  InstanceLock holder = InstanceLock::tryAcquire(dir.path());
  ASSERT_TRUE(holder.held());

  EXPECT_EQ(InstanceLock::acquire(dir.path(), 300ms, 50ms).state(), InstanceLockState::kHeldElsewhere);

  // The instance that hands over leaves while the new one is retrying.
  std::thread leaving([&holder] {
    std::this_thread::sleep_for(200ms);
    holder.release();
  });
  const InstanceLock taken = InstanceLock::acquire(dir.path(), 20s, 20ms);
  leaving.join();
  EXPECT_TRUE(taken.held());
}

// A folder where no lock file can be opened: the caller runs without the lock and warns.
TEST(InstanceLock, WithoutALockFileTheStateIsUnavailableWithTheReason) {
  TempDir dir;
  writeBytes(dir / "plain-file", "x");
  fs::create_directory(dir / "lock-is-folder");
  fs::create_directory(dir / "lock-is-folder" / "TolvaneGrain.lock");
  const struct {
    fs::path folder;
    int error;
  } cases[] = {
      {dir / "missing", ENOENT},
      {dir / "plain-file", ENOTDIR},
      {dir / "lock-is-folder", EISDIR},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    const InstanceLock lock = InstanceLock::acquire(c.folder, 2s);
    EXPECT_EQ(lock.state(), InstanceLockState::kUnavailable);
    EXPECT_EQ(lock.error(), c.error);
    EXPECT_EQ(lock.file(), c.folder / "TolvaneGrain.lock");
  }
}

TEST(InstanceLock, AReadOnlyFolderIsLockedThroughAnExistingLockFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the super-user";
  TempDir withFile;
  writeBytes(withFile / "TolvaneGrain.lock", "");
  fs::permissions(withFile / "TolvaneGrain.lock", fs::perms::owner_read);
  fs::permissions(withFile.path(), fs::perms::owner_read | fs::perms::owner_exec);
  TempDir withoutFile;
  fs::permissions(withoutFile.path(), fs::perms::owner_read | fs::perms::owner_exec);

  {
    const InstanceLock first = InstanceLock::tryAcquire(withFile.path());
    EXPECT_TRUE(first.held());
    EXPECT_EQ(InstanceLock::tryAcquire(withFile.path()).state(), InstanceLockState::kHeldElsewhere);
    const InstanceLock none = InstanceLock::tryAcquire(withoutFile.path());
    EXPECT_EQ(none.state(), InstanceLockState::kUnavailable);
    EXPECT_EQ(none.error(), EACCES);
  }
  fs::permissions(withFile.path(), fs::perms::owner_all);
  fs::permissions(withoutFile.path(), fs::perms::owner_all);
}

// A restart starts the new instance while this one still holds the folder; the new one must be able
// to take it as soon as this one is gone, so the lock must not travel into the child.
TEST(InstanceLock, AProgramStartedWhileHoldingItDoesNotInheritTheLock) {
  TempDir dir;
  const fs::path child = dir / "child";
  writeBytes(child, "#!/bin/sh\nexec sleep 30\n");
  fs::permissions(child, fs::perms::owner_all);
  InstanceLock lock = InstanceLock::tryAcquire(dir.path());
  ASSERT_TRUE(lock.held());

  SpawnProgramLauncher launcher;
  const LaunchResult started = launcher.start(child, dir.path());
  ASSERT_TRUE(started.ok());
  lock.release();
  const InstanceLock next = InstanceLock::tryAcquire(dir.path());

  ::kill(started.pid, SIGKILL);
  int status = 0;
  ::waitpid(started.pid, &status, 0);
  EXPECT_TRUE(next.held());
}

}  // namespace
}  // namespace tolvane
