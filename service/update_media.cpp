#include "service/update_media.h"

#include <map>
#include <system_error>

#include "settings/atomic_file.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

// "\040" for a blank, "\011" for a tab, "\012" for a line end, "\134" for a backslash.
std::string decodeMountField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string_view digits = field.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string_view::npos) {
        out += static_cast<char>(((digits[0] - '0') << 6) | ((digits[1] - '0') << 3) | (digits[2] - '0'));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool flagSet(const fs::path& file) {
  const FileContents contents = readWholeFile(file);
  return contents.status == ReadStatus::kOk && !contents.bytes.empty() && contents.bytes[0] == '1';
}

bool plainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// The kernel's name of the block device behind a /dev path, following /dev links ("/dev/disk/by-label/X").
std::string blockName(std::string_view device) {
  if (!device.starts_with("/dev/")) return {};
  std::error_code error;
  const fs::path resolved = fs::canonical(fs::path(device), error);
  std::string name = error ? std::string(device.substr(5)) : resolved.filename().string();
  return plainName(name) ? name : std::string{};
}

}  // namespace

std::vector<MountEntry> parseMountTable(std::string_view text) {
  std::vector<MountEntry> entries;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    const std::vector<std::string_view> fields = splitFields(line);
    if (fields.size() < 2) continue;
    entries.push_back({decodeMountField(fields[0]), fs::path(decodeMountField(fields[1]))});
  }
  return entries;
}

bool isRemovableDevice(std::string_view device, const fs::path& blockRoot) {
  const std::string name = blockName(device);
  if (name.empty()) return false;
  if (name.starts_with("sr")) return true;
  const fs::path entry = blockRoot / name;
  std::error_code error;
  if (!fs::is_directory(entry, error)) return false;
  if (!fs::exists(entry / "partition", error)) return flagSet(entry / "removable");
  // A partition's folder lies inside its disk's folder (the class entry is a link to it).
  const fs::path disk = fs::canonical(entry, error).parent_path();
  if (!error && fs::exists(disk / "removable", error)) return flagSet(disk / "removable");
  // Without the link: the disk is the name without its partition number ("sdb1", "mmcblk0p1").
  std::string diskName = name;
  while (!diskName.empty() && diskName.back() >= '0' && diskName.back() <= '9') diskName.pop_back();
  if (diskName.size() > 1 && diskName.back() == 'p' && diskName[diskName.size() - 2] >= '0' &&
      diskName[diskName.size() - 2] <= '9') {
    diskName.pop_back();
  }
  if (diskName.empty() || diskName == name) return false;
  return flagSet(blockRoot / diskName / "removable");
}

std::vector<MediaUpdate> findMediaUpdates(const fs::path& mountTable, const fs::path& blockRoot) {
  const FileContents table = readWholeFile(mountTable);
  if (table.status != ReadStatus::kOk) return {};
  // Ordered by mount point; a later line for the same point is a mount over the earlier one.
  std::map<std::string, std::string> mounted;
  for (const MountEntry& entry : parseMountTable(table.bytes))
    mounted[entry.mountPoint.string()] = entry.device;

  std::vector<MediaUpdate> media;
  for (const auto& [point, device] : mounted) {
    if (!isRemovableDevice(device, blockRoot)) continue;
    const fs::path file = fs::path(point) / kUpdateDownloadName;
    std::error_code error;
    if (fs::is_regular_file(file, error)) media.push_back({fs::path(point), file});
  }
  return media;
}

}  // namespace tolvane
