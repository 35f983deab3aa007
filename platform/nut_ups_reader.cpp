#include "platform/nut_ups_reader.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>

namespace tolvane {
namespace {

using Clock = std::chrono::steady_clock;

// upsd answers fit in a few dozen bytes; a longer line is not an answer to our question.
constexpr std::size_t kMaxAnswerBytes = 1024;

bool validUpsName(std::string_view name) {
  if (name.empty() || name.size() > 128) return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F || c == '"' || c == '\\' || c == '@' || c == '[' || c == ']') return false;
  }
  return true;
}

bool validHost(std::string_view host) {
  if (host.empty() || host.size() > 255) return false;
  for (char c : host) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F || c == '/' || c == '@' || c == '[' || c == ']') return false;
  }
  return true;
}

int remainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

// Waits until the socket is ready for `events` or the deadline has passed.
bool waitReady(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const int ms = remainingMs(deadline);
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, ms);
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) return false;
  }
}

class Connection {
 public:
  explicit Connection(Clock::time_point deadline) : deadline_(deadline) {}
  ~Connection() {
    if (fd_ >= 0) close(fd_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool open(const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) return false;
    bool connected = false;
    for (addrinfo* a = found; a != nullptr && !connected; a = a->ai_next) {
      connected = tryConnect(a);
    }
    freeaddrinfo(found);
    return connected;
  }

  bool sendLine(const std::string& line) {
    std::size_t sent = 0;
    while (sent < line.size()) {
      const ssize_t n = send(fd_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (!waitReady(fd_, POLLOUT, deadline_)) return false;
      } else {
        return false;
      }
    }
    return true;
  }

  // One answer line without its line end; nullopt on timeout, closed connection or an overlong line.
  std::optional<std::string> readLine() {
    for (;;) {
      const std::size_t eol = pending_.find('\n');
      if (eol != std::string::npos) {
        std::string line = pending_.substr(0, eol);
        pending_.erase(0, eol + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
      }
      if (pending_.size() > kMaxAnswerBytes) return std::nullopt;
      if (!waitReady(fd_, POLLIN, deadline_)) return std::nullopt;
      char chunk[512];
      const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n > 0) {
        pending_.append(chunk, static_cast<std::size_t>(n));
      } else if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
        continue;
      } else {
        return std::nullopt;
      }
    }
  }

 private:
  bool tryConnect(const addrinfo* a) {
    const int fd = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) return false;
    bool ok = connect(fd, a->ai_addr, a->ai_addrlen) == 0;
    if (!ok && errno == EINPROGRESS && waitReady(fd, POLLOUT, deadline_)) {
      int error = 0;
      socklen_t length = sizeof error;
      ok = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    if (!ok) {
      close(fd);
      return false;
    }
    fd_ = fd;
    return true;
  }

  Clock::time_point deadline_;
  int fd_ = -1;
  std::string pending_;
};

}  // namespace

std::optional<NutUpsAddress> parseNutUpsAddress(std::string_view text) {
  NutUpsAddress address;
  const std::size_t at = text.find('@');
  address.ups = std::string(text.substr(0, at));
  if (!validUpsName(address.ups)) return std::nullopt;
  if (at == std::string_view::npos) return address;

  std::string_view rest = text.substr(at + 1);
  std::string_view portText;
  if (!rest.empty() && rest.front() == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    address.host = std::string(rest.substr(1, close - 1));
    rest = rest.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      portText = rest.substr(1);
      if (portText.empty()) return std::nullopt;
    }
  } else {
    const std::size_t colon = rest.find(':');
    address.host = std::string(rest.substr(0, colon));
    if (colon != std::string_view::npos) {
      portText = rest.substr(colon + 1);
      if (portText.empty()) return std::nullopt;
    }
  }
  if (!validHost(address.host)) return std::nullopt;
  if (!portText.empty()) {
    unsigned port = 0;
    const char* end = portText.data() + portText.size();
    const auto [ptr, ec] = std::from_chars(portText.data(), end, port);
    if (ec != std::errc() || ptr != end || port == 0 || port > 65535) return std::nullopt;
    address.port = static_cast<std::uint16_t>(port);
  }
  return address;
}

NutStatusWords parseNutStatusWords(std::string_view status) {
  NutStatusWords words;
  std::size_t pos = 0;
  while (pos < status.size()) {
    while (pos < status.size() && status[pos] == ' ') ++pos;
    const std::size_t end = std::min(status.find(' ', pos), status.size());
    const std::string_view word = status.substr(pos, end - pos);
    if (word == "OL") words.onLine = true;
    if (word == "OB") words.onBattery = true;
    if (word == "LB") words.lowBattery = true;
    pos = end;
  }
  return words;
}

std::optional<std::string> parseNutVarAnswer(std::string_view line, std::string_view ups,
                                             std::string_view var) {
  std::string prefix = "VAR ";
  prefix.append(ups).append(" ").append(var).append(" \"");
  if (line.substr(0, prefix.size()) != prefix) return std::nullopt;
  std::string value;
  for (std::size_t i = prefix.size(); i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\') {
      if (++i == line.size()) return std::nullopt;
      value.push_back(line[i]);
    } else if (c == '"') {
      if (i + 1 != line.size()) return std::nullopt;
      return value;
    } else {
      value.push_back(c);
    }
  }
  return std::nullopt;  // no closing quote
}

int parseNutCharge(std::string_view value) {
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  double number = 0;
  const char* end = value.data() + value.size();
  const auto [ptr, ec] = std::from_chars(value.data(), end, number);
  if (value.empty() || ec != std::errc() || ptr != end || !std::isfinite(number)) return -1;
  const double rounded = std::nearbyint(number);  // default rounding: halves to even
  if (rounded < 0 || rounded > 100) return -1;
  return static_cast<int>(rounded);
}

NutUpsReader::NutUpsReader(NutUpsAddress address, std::chrono::milliseconds timeout)
    : address_(std::move(address)), timeout_(timeout) {}

PowerStatus NutUpsReader::read() {
  PowerStatus result;
  try {
    if (!validUpsName(address_.ups) || !validHost(address_.host) || address_.port == 0) return result;
    Connection connection(Clock::now() + timeout_);
    if (!connection.open(address_.host, address_.port)) return result;

    const std::string prefix = "GET VAR " + address_.ups + " ";
    if (!connection.sendLine(prefix + "ups.status\n")) return result;
    const auto statusLine = connection.readLine();
    if (!statusLine) return result;
    const auto status = parseNutVarAnswer(*statusLine, address_.ups, "ups.status");
    if (!status && statusLine->rfind("ERR ", 0) != 0) return result;  // out of step with the server
    if (status) {
      const NutStatusWords words = parseNutStatusWords(*status);
      // Both or neither of OL and OB (e.g. "OFF", "WAIT", "BYPASS") says nothing about the mains.
      result.known = words.onLine != words.onBattery;
      result.onMains = result.known ? words.onLine : true;
      result.lowBattery = words.lowBattery;
    }

    if (!connection.sendLine(prefix + "battery.charge\n")) return result;
    if (const auto chargeLine = connection.readLine()) {
      if (const auto charge = parseNutVarAnswer(*chargeLine, address_.ups, "battery.charge")) {
        result.batteryPercent = parseNutCharge(*charge);
      }
    }
    connection.sendLine("LOGOUT\n");
    return result;
  } catch (...) {
    return PowerStatus{};
  }
}

}  // namespace tolvane
