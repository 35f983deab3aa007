#include "service/update_download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

#include "service/curl_tls.h"
#include "service/update_install.h"
#include "settings/atomic_file.h"
#include "settings/ini_file.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kElfHeaderBytes = 20;  // e_ident (16), e_type (2), e_machine (2)

bool isUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '~';
}

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::optional<std::array<unsigned char, kElfHeaderBytes>> elfHeader(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::array<unsigned char, kElfHeaderBytes> header{};
  std::size_t got = 0;
  while (got < header.size()) {
    const ssize_t n = ::read(fd, header.data() + got, header.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (got < header.size()) return std::nullopt;
  if (header[0] != 0x7F || header[1] != 'E' || header[2] != 'L' || header[3] != 'F') return std::nullopt;
  return header;
}

// The transfer's state, shared with libcurl's callbacks.
struct Transfer {
  CURL* curl = nullptr;
  const FetchOptions* options = nullptr;
  int fd = -1;
  bool headSeen = false;
  bool absent = false;
  bool writeFailed = false;
  long httpStatus = 0;
  std::int64_t announced = -1;
  std::int64_t received = 0;

  void readHead() {
    if (headSeen) return;
    headSeen = true;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &httpStatus);
    curl_off_t length = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    announced = length < 0 ? -1 : static_cast<std::int64_t>(length);
    if (options->head) options->head(httpStatus, announced);
    absent = !responsePresent(httpStatus, announced);
  }
};

bool cancelledNow(const Transfer& t) { return t.options->cancelled && t.options->cancelled(); }

size_t writeBody(char* data, size_t size, size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  t.readHead();
  // A response that may not replace anything is not read at all (a 404 page of 5 kB stays there).
  if (t.absent || cancelledNow(t)) return CURL_WRITEFUNC_ERROR;
  std::size_t left = bytes;
  const char* p = data;
  while (left > 0) {
    const ssize_t n = ::write(t.fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      t.writeFailed = true;
      return CURL_WRITEFUNC_ERROR;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  t.received += static_cast<std::int64_t>(bytes);
  if (t.options->progress) t.options->progress(t.received);
  return bytes;
}

int transferInfo(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return cancelledNow(*static_cast<Transfer*>(user)) ? 1 : 0;
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

// "http" or "https", the only schemes a transfer (and its redirects) may use.
std::string schemeOf(const std::string& url) {
  const std::size_t colon = url.find("://");
  return colon == std::string::npos ? std::string{} : url.substr(0, colon);
}

FetchResult fetchTo(const std::string& url, const fs::path& temp, int fd, const FetchOptions& options) {
  FetchResult result;
  ensureCurlGlobalInit();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) {
    result.error = "libcurl could not start";
    return result;
  }
  const std::string scheme = schemeOf(url);
  if (scheme != "http" && scheme != "https") {
    result.error = "not an http(s) address: " + url;
    return result;
  }
  Transfer t;
  t.curl = curl.get();
  t.options = &options;
  t.fd = fd;
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, scheme.c_str());
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, scheme.c_str());
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, options.userAgent.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, options.stallSeconds);
  // The announced length is judged on the bytes as sent.
  curl_easy_setopt(c, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, transferInfo);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  std::array<char, CURL_ERROR_SIZE> curlError{};
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, curlError.data());
  if (!applyTrustedAuthorities(c, options.caFile, result.error)) return result;

  const CURLcode code = curl_easy_perform(c);
  // A response without a body never reached the write callback.
  if (code == CURLE_OK) t.readHead();
  if (!t.headSeen) {
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status != 0) t.readHead();
  }
  result.httpStatus = t.httpStatus;
  result.announced = t.announced;
  result.received = t.received;
  if (code != CURLE_OK) result.error = curlError[0] != '\0' ? curlError.data() : curl_easy_strerror(code);

  if (cancelledNow(t) && code != CURLE_OK) {
    result.status = FetchStatus::kCancelled;
  } else if (t.writeFailed) {
    result.status = FetchStatus::kFileError;
    result.error = "cannot write " + temp.string() + ": " + std::strerror(errno);
  } else if (!t.headSeen) {
    result.status = FetchStatus::kUnreachable;
  } else if (t.absent) {
    result.status = FetchStatus::kAbsent;
  } else if (code != CURLE_OK || t.received != t.announced) {
    result.status = FetchStatus::kIncomplete;
  } else {
    result.status = FetchStatus::kInstalled;  // complete; the caller checks and renames
  }
  return result;
}

}  // namespace

std::string fileOkText(std::string_view fileName) { return "Файл " + std::string(fileName) + " ok."; }

std::string fileErrorText(std::string_view fileName) { return "Ошибка: " + std::string(fileName); }

std::string percentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (isUnreserved(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

std::optional<std::string> updateUrl(std::string_view server, std::string_view machineId,
                                     std::string_view fileName) {
  server = trimmed(server);
  while (!server.empty() && server.back() == '/') server.remove_suffix(1);
  if (server.empty()) return std::nullopt;
  if (machineId.find_first_not_of('.') == std::string_view::npos) return std::nullopt;
  return std::string(server) + "/updates/" + percentEncode(machineId) + "/" + std::string(fileName);
}

bool responsePresent(long httpStatus, std::int64_t announced) {
  return httpStatus >= 200 && httpStatus <= 299 && announced > kPresentAboveBytes;
}

bool isExecutableFor(const fs::path& file, const fs::path& reference) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(file, error);
  if (error || size < static_cast<std::uintmax_t>(kMinProgramBytes)) return false;
  const auto candidate = elfHeader(file);
  const auto running = elfHeader(reference);
  if (!candidate || !running) return false;
  constexpr int kClass = 4, kData = 5, kType = 16, kMachine = 18;
  if ((*candidate)[kClass] != (*running)[kClass] || (*candidate)[kData] != (*running)[kData]) return false;
  // e_type and e_machine in the file's byte order, which is the running program's.
  const bool little = (*candidate)[kData] == 1;
  const auto half = [little](const std::array<unsigned char, kElfHeaderBytes>& h, int at) {
    return little ? (h[at] | (h[at + 1] << 8)) : ((h[at] << 8) | h[at + 1]);
  };
  const int type = half(*candidate, kType);
  constexpr int kExecutable = 2, kSharedObject = 3;
  if (type != kExecutable && type != kSharedObject) return false;
  return half(*candidate, kMachine) == half(*running, kMachine);
}

bool isSettingsFileText(std::string_view bytes) { return IniDocument::parse(bytes).hasSection("options"); }

FetchResult fetchFile(const std::string& url, const fs::path& destination, const FetchOptions& options) {
  std::string pattern =
      (destination.parent_path() / (destination.filename().string() + ".part-XXXXXX")).string();
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    FetchResult result;
    result.status = FetchStatus::kFileError;
    result.error = "cannot create a file beside " + destination.string() + ": " + std::strerror(errno);
    return result;
  }
  const fs::path temp = pattern;
  FetchResult result = fetchTo(url, temp, fd, options);
  if (result.installed() && (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0)) {
    result.status = FetchStatus::kFileError;
    result.error = "cannot flush " + temp.string() + ": " + std::strerror(errno);
  }
  if (::close(fd) != 0 && result.installed()) {
    result.status = FetchStatus::kFileError;
    result.error = "cannot close " + temp.string() + ": " + std::strerror(errno);
  }
  if (result.installed() && options.accept && !options.accept(temp)) result.status = FetchStatus::kRefused;
  if (result.installed()) {
    std::error_code error;
    fs::rename(temp, destination, error);
    if (error) {
      result.status = FetchStatus::kFileError;
      result.error = "cannot rename " + temp.string() + ": " + error.message();
    }
  }
  if (!result.installed()) {
    std::error_code error;
    fs::remove(temp, error);
  }
  return result;
}

UpdateDownloadResult downloadUpdate(const UpdateRequest& request, const UpdateEvents& events) {
  UpdateDownloadResult outcome;
  const auto status = [&events](const std::string& text) {
    if (events.status) events.status(text);
  };
  const auto pause = [&events] {
    if (events.pause) events.pause(kStatusPauseMs);
  };
  const auto cancelled = [&events] { return events.cancelled && events.cancelled(); };

  if (trimmed(request.server).empty()) {
    status(std::string(kNoServerText));
    pause();
    return outcome;
  }

  const auto one = [&](std::string_view serverName, std::string_view fileName,
                       std::function<bool(const fs::path&)> accept) {
    status(std::string(kSearchingText));
    if (events.range) events.range(0);
    FetchResult result;
    if (const auto url = updateUrl(request.server, request.machineId, serverName)) {
      FetchOptions options;
      options.userAgent = request.userAgent;
      options.caFile = request.caFile;
      options.cancelled = events.cancelled;
      options.accept = std::move(accept);
      options.head = [&](long httpStatus, std::int64_t announced) {
        if (events.range) events.range(announced > 0 ? announced : 0);
        if (responsePresent(httpStatus, announced)) status(std::string(kFoundText));
      };
      options.progress = events.progress;
      result = fetchFile(*url, request.folder / fileName, options);
    } else {
      result.status = FetchStatus::kAbsent;
      result.error = "the machine identifier \"" + request.machineId + "\" names no folder on the server";
    }
    if (result.status == FetchStatus::kCancelled || cancelled()) return result;
    status(result.installed() ? fileOkText(fileName) : fileErrorText(fileName));
    pause();
    return result;
  };

  outcome.program = one("TolvaneGrain", kUpdateDownloadName, [&request](const fs::path& file) {
    return isExecutableFor(file, request.referenceExecutable);
  });
  outcome.programReceived = outcome.program.installed();
  if (outcome.program.status == FetchStatus::kCancelled || cancelled()) {
    outcome.cancelled = true;
    return outcome;
  }

  const fs::path settings = request.folder / kSettingsDownloadName;
  outcome.settings =
      one(kSettingsDownloadName, kSettingsDownloadName, [&settings, &request](const fs::path& file) {
        const FileContents downloaded = readWholeFile(file);
        if (downloaded.status != ReadStatus::kOk || !isSettingsFileText(downloaded.bytes)) return false;
        // The settings file it replaces is kept; without that copy nothing is replaced.
        const FileContents current = readWholeFile(settings);
        if (current.status == ReadStatus::kUnreadable) return false;
        if (current.status == ReadStatus::kOk) {
          try {
            writeFileAtomically(request.folder / kPreviousSettingsName, current.bytes);
          } catch (const FileWriteError&) {
            return false;
          }
        }
        return true;
      });
  outcome.settingsInstalled = outcome.settings.installed();
  outcome.cancelled = outcome.settings.status == FetchStatus::kCancelled || cancelled();
  return outcome;
}

}  // namespace tolvane
