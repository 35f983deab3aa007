#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The server update: the program file and a settings file from the supplier's server, under
// "<update_server>/updates/<machine identifier>/". Blocking calls with callbacks, so that a worker
// thread of the window or the engineer's tool can run them.
namespace tolvane {

inline constexpr std::string_view kSettingsDownloadName = "TolvaneGrain.ini";
// The settings file a downloaded one replaced ("TolvaneGrainINI.bak" stays the factory-reset backup).
inline constexpr std::string_view kPreviousSettingsName = "TolvaneGrainINI.prev";
// A resource counts as present only above this announced length.
inline constexpr std::int64_t kPresentAboveBytes = 1000;
// A program file below this size is not a program.
inline constexpr std::int64_t kMinProgramBytes = 1000;
// How long each file's outcome stays on the panel.
inline constexpr std::uint32_t kStatusPauseMs = 10000;

inline constexpr std::string_view kSearchingText = "Поиск обновления...";
inline constexpr std::string_view kFoundText = "Обновление найдено. Загрузка...";
inline constexpr std::string_view kNoServerText = "Сервер обновлений не задан.";
// "Файл TolvaneGrain.update ok." and "Ошибка: TolvaneGrain.update".
std::string fileOkText(std::string_view fileName);
std::string fileErrorText(std::string_view fileName);

// Every byte but the unreserved ones (letters, digits, "-", "_", ".", "~") as %XX, upper-case hex.
std::string percentEncode(std::string_view text);

// server + "/updates/" + encoded identifier + "/" + fileName. The identifier stays one path segment:
// "/", "?", "#", "%" and every other reserved byte are encoded; an identifier that is empty or only
// dots ("." and ".." are path steps even when encoded) gives nullopt, as does an empty server. Blanks
// and trailing "/" of the server are dropped.
std::optional<std::string> updateUrl(std::string_view server, std::string_view machineId,
                                     std::string_view fileName);

// A response may replace a file only with a success status (2xx) and an announced length above 1000
// bytes; -1 stands for no announced length.
bool responsePresent(long httpStatus, std::int64_t announced);

// Whether file is an ELF executable (or position-independent executable) of the class, byte order
// and machine of reference (the running program), and at least kMinProgramBytes long.
bool isExecutableFor(const std::filesystem::path& file,
                     const std::filesystem::path& reference = "/proc/self/exe");

// Whether bytes load as a settings file with an "options" section.
bool isSettingsFileText(std::string_view bytes);

enum class FetchStatus {
  kInstalled,    // complete, accepted and renamed into place
  kUnreachable,  // no response (connection, TLS, name)
  kAbsent,       // not a success status, no length, or 1000 bytes or fewer
  kIncomplete,   // fewer bytes than announced, or more
  kRefused,      // complete, but the check refused it
  kFileError,    // the temporary file could not be written or renamed
  kCancelled,
};

struct FetchResult {
  FetchStatus status = FetchStatus::kUnreachable;
  long httpStatus = 0;
  std::int64_t announced = -1;
  std::int64_t received = 0;
  std::string error;  // libcurl's or the file system's words, for a log or a tool

  bool installed() const { return status == FetchStatus::kInstalled; }
};

struct FetchOptions {
  std::string userAgent;
  std::filesystem::path caFile;  // extra trusted CA; empty: the system's only
  // The response head arrived: its status and announced length (-1: none).
  std::function<void(long httpStatus, std::int64_t announced)> head;
  // Bytes received so far.
  std::function<void(std::int64_t received)> progress;
  // Polled during the transfer; true aborts it.
  std::function<bool()> cancelled;
  // Judges the complete temporary file before it is renamed over the destination; empty: accept.
  std::function<bool(const std::filesystem::path& downloaded)> accept;
  long connectTimeoutSeconds = 20;
  long stallSeconds = 60;  // a transfer that moves nothing for this long is given up
};

// Downloads url into a temporary file in destination's folder. Only a present response (see
// responsePresent) is read; the temporary file becomes destination only when exactly the announced
// length arrived and accept agreed. Otherwise nothing is left behind and destination is unchanged.
FetchResult fetchFile(const std::string& url, const std::filesystem::path& destination,
                      const FetchOptions& options);

struct UpdateRequest {
  std::string server;            // update_server
  std::string machineId;         // the settings file's identifier
  std::filesystem::path folder;  // program folder
  std::filesystem::path caFile;
  std::string userAgent;  // the running program file's name
  std::filesystem::path referenceExecutable = "/proc/self/exe";
};

struct UpdateEvents {
  std::function<void(const std::string& text)> status;  // ParLabel
  std::function<void(std::int64_t maximum)> range;      // PBar maximum (position back to 0)
  std::function<void(std::int64_t position)> progress;  // PBar position
  std::function<void(std::uint32_t ms)> pause;          // the pause after each file's outcome
  std::function<bool()> cancelled;
};

struct UpdateDownloadResult {
  bool programReceived = false;    // "TolvaneGrain.update" is a new, checked program file
  bool settingsInstalled = false;  // "TolvaneGrain.ini" was replaced (the old one is ".prev")
  bool cancelled = false;
  FetchResult program;
  FetchResult settings;
};

// The program file into folder/"TolvaneGrain.update" (installed only if it is an executable for this
// machine), then, whatever the first gave, a settings file into folder/"TolvaneGrain.ini" (installed
// only if it is a settings file; the one it replaces is kept as "TolvaneGrainINI.prev"). Each file:
// "Поиск обновления...", "Обновление найдено. Загрузка..." when present, then "Файл <name> ok." or
// "Ошибка: <name>" and the pause. Without a server: kNoServerText and the pause.
UpdateDownloadResult downloadUpdate(const UpdateRequest& request, const UpdateEvents& events);

}  // namespace tolvane
