#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "service/update_install.h"

// Removable media on Linux: the mounted file systems whose block device is removable (USB sticks,
// card readers, optical drives). The mount table and the sysfs block folder are parameters, so that
// tests stand in for both with temporary folders.
namespace tolvane {

inline constexpr std::string_view kMountTable = "/proc/self/mounts";
inline constexpr std::string_view kBlockDevices = "/sys/class/block";

struct MountEntry {
  std::string device;                // as the table names it, e.g. "/dev/sdb1"
  std::filesystem::path mountPoint;  // octal escapes ("\040") decoded
};

// The lines of a mount table in the /proc/mounts form ("device mountpoint type options 0 0"); lines
// with fewer than two fields are skipped.
std::vector<MountEntry> parseMountTable(std::string_view text);

// Whether device ("/dev/sdb1", "/dev/sr0", a /dev symbolic link) is a removable block device:
// blockRoot/<name>/removable is "1", where a partition takes the flag of its disk; sr* (optical
// drives) always count. Anything that is not a /dev node is not removable.
bool isRemovableDevice(std::string_view device, const std::filesystem::path& blockRoot);

// The media holding "TolvaneGrain.update" in their root: mounted on a removable device, in mount-point
// order; a mount point mounted over counts once, with the device mounted last.
std::vector<MediaUpdate> findMediaUpdates(const std::filesystem::path& mountTable = kMountTable,
                                          const std::filesystem::path& blockRoot = kBlockDevices);

}  // namespace tolvane
