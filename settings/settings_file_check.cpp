#include "settings/settings_file_check.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "settings/atomic_file.h"
#include "settings/build_constants.h"
#include "settings/ini_file.h"

namespace tolvane {

namespace {

bool canCreateTemporary(const std::filesystem::path& file) {
  std::filesystem::path probe = file;
  probe += ".tmp";
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

bool freeSpaceBelow(const std::filesystem::path& folder, std::uintmax_t minFreeBytes) {
  struct statvfs fs {};
  if (::statvfs(folder.empty() ? "." : folder.c_str(), &fs) != 0) return false;
  return static_cast<std::uintmax_t>(fs.f_bavail) * fs.f_frsize < minFreeBytes;
}

void addLine(std::string& message, const std::string& line) {
  if (!message.empty()) message += '\n';
  message += line;
}

}  // namespace

bool holdsSettings(std::string_view fileBytes) {
  const IniDocument doc = IniDocument::parse(fileBytes);
  if (doc.hasSection("options")) return true;
  for (int program = 0; program < kProgramCount; ++program) {
    if (doc.hasSection("program" + std::to_string(program))) return true;
  }
  return false;
}

SettingsFileCheck checkSettingsFile(const std::filesystem::path& file, std::uintmax_t minFreeBytes) {
  SettingsFileCheck check;
  const std::string name = file.string();
  const FileContents contents = readWholeFile(file);
  switch (contents.status) {
    case ReadStatus::kMissing:
      check.state = SettingsFileState::kMissing;
      addLine(check.message, "Файл настроек " + name +
                                 " не найден: все значения по умолчанию. Файл будет создан при сохранении.");
      break;
    case ReadStatus::kUnreadable:
      check.state = SettingsFileState::kUnreadable;
      addLine(check.message, "Файл настроек " + name +
                                 " не читается: все значения по умолчанию. Файл не будет перезаписан.");
      break;
    case ReadStatus::kOk:
      if (!holdsSettings(contents.bytes)) {
        check.state = SettingsFileState::kNoSettings;
        addLine(check.message, "Файл настроек " + name + " пуст или повреждён: все значения по умолчанию.");
      }
      break;
  }
  if (check.state != SettingsFileState::kUnreadable) {
    check.writable = canCreateTemporary(file);
    if (!check.writable) {
      addLine(check.message, "Запись в файл настроек " + name + " невозможна: изменения не сохранятся.");
    } else {
      check.diskFull = freeSpaceBelow(file.parent_path(), minFreeBytes);
      if (check.diskFull) {
        addLine(check.message,
                "На диске нет места для файла настроек " + name + ": изменения могут не сохраниться.");
      }
    }
  }
  return check;
}

}  // namespace tolvane
