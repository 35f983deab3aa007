#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/program_launcher.h"

// Copying a new program file under the hand-over name "TolvaneGrain_" and starting it: the common end
// of the media update, the server update and the rollback. The started copy finishes the exchange
// itself (service/self_update_completion.h).
namespace tolvane {

// The update file in a medium's root, and the program file a server update downloads.
inline constexpr std::string_view kUpdateDownloadName = "TolvaneGrain.update";

inline constexpr std::string_view kUpdateQuestionTitle = "Вопрос...";
inline constexpr std::string_view kNoMediaUpdateText = "Обновление не найдено.";
inline constexpr std::string_view kNoRollbackText = "Точек отката нет.";
inline constexpr std::string_view kRollbackQuestion =
    "Найдена точка отката. Вернуть старую версию программы?";
inline constexpr std::string_view kCheckUpdateCaption = "Проверка|обновления";
inline constexpr std::string_view kUpdateFailedCaption = "Сбой|обновления";

// Percent of the copy done: Trunc(copied / size * 100); 100 for an empty source.
using CopyProgress = std::function<void(int percent)>;

struct CopyResult {
  bool ok = false;
  std::uintmax_t bytes = 0;  // bytes written
  std::string error;         // what failed, for a log or a tool; empty on success
};

// The percent a copy reports after `copied` of `size` bytes (truncated, at most 100).
int copyPercent(std::uintmax_t copied, std::uintmax_t size);

// Copies source to destination (created or truncated, with mode), reporting the percent done each
// time it changes. The data is flushed to disk before success is reported. Any failure (open, read,
// write, flush) removes the destination, so no partial file is left to be started.
CopyResult copyFileWithProgress(const std::filesystem::path& source, const std::filesystem::path& destination,
                                const CopyProgress& progress, mode_t mode = 0644);

// "TolvaneGrain_" in folder.
std::filesystem::path exchangeFile(const std::filesystem::path& folder);
// "TolvaneGrain.bak" in folder: the rollback point.
std::filesystem::path rollbackFile(const std::filesystem::path& folder);
bool rollbackPointPresent(const std::filesystem::path& folder);

// Deletes a left-over "TolvaneGrain_" and copies source there as an executable file.
CopyResult prepareExchange(const std::filesystem::path& folder, const std::filesystem::path& source,
                           const CopyProgress& progress);

enum class InstallOutcome {
  kStarted,      // "TolvaneGrain_" runs; endProgram was called
  kCopyFailed,   // nothing was started; the installation is abandoned
  kStartFailed,  // the copy is there but could not be started; this program goes on
};

// prepareExchange, then, only after a complete copy, starts "TolvaneGrain_" (working folder = folder)
// and calls endProgram.
InstallOutcome installUpdate(const std::filesystem::path& folder, const std::filesystem::path& source,
                             ProgramLauncher& launcher, const CopyProgress& progress,
                             const std::function<void()>& endProgram);

// One medium holding an update file.
struct MediaUpdate {
  std::filesystem::path root;  // the mount point
  std::filesystem::path file;  // root / "TolvaneGrain.update"
};

// "Найдено обновление по адресу /media/usb/. Установить?" (the root with its trailing "/").
std::string mediaUpdateQuestion(const MediaUpdate& medium);

enum class MediaCheckOutcome { kNotFound, kDeclined, kStarted, kCopyFailed, kStartFailed };

// The media check: for each medium in order, asks; Yes installs that one and ends the scan, No goes on
// with the next. install gets the medium's file.
MediaCheckOutcome checkMediaUpdates(
    const std::vector<MediaUpdate>& media, const std::function<bool(const std::string& question)>& ask,
    const std::function<InstallOutcome(const std::filesystem::path&)>& install);

}  // namespace tolvane
