#include "platform/modbus_valve_terminal.h"

#include <modbus/modbus.h>

#include <sys/socket.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <cstdio>
#include <stdexcept>

namespace tolvane {

namespace {

constexpr std::uint32_t kPortSpan = 0x100;

std::optional<int> parseNumber(std::string_view text, int low, int high) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) return std::nullopt;
  return value;
}

std::int64_t nowTicks() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

}  // namespace

bool connectedToItself(int fd) {
  sockaddr_storage local{};
  sockaddr_storage peer{};
  socklen_t localLength = sizeof local;
  socklen_t peerLength = sizeof peer;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) return false;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) return false;
  return localLength == peerLength && std::memcmp(&local, &peer, localLength) == 0;
}

namespace {

std::string addressName(const ModbusAddress& address) {
  const bool v6 = address.host.find(':') != std::string::npos;
  return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

}  // namespace

std::optional<ModbusAddress> parseModbusAddress(std::string_view text) {
  ModbusAddress address;
  if (const auto slash = text.rfind('/'); slash != std::string_view::npos) {
    const auto unit = parseNumber(text.substr(slash + 1), 0, 255);
    if (!unit) return std::nullopt;
    address.unit = *unit;
    text = text.substr(0, slash);
  }
  std::string_view host = text;
  std::string_view port;
  if (text.starts_with('[')) {
    const auto close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = text.substr(1, close - 1);
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (!rest.starts_with(':')) return std::nullopt;
      port = rest.substr(1);
      if (port.empty()) return std::nullopt;
    }
  } else if (const auto colon = text.find(':'); colon != std::string_view::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (port.empty()) return std::nullopt;
  }
  if (host.empty() || host.find_first_of(" \t/[]") != std::string_view::npos) return std::nullopt;
  if (!text.starts_with('[') && host.find(':') != std::string_view::npos) return std::nullopt;
  if (!port.empty()) {
    const auto number = parseNumber(port, 1, 65535);
    if (!number) return std::nullopt;
    address.port = *number;
  }
  address.host = std::string(host);
  return address;
}

std::optional<CoilOrder> parseCoilOrder(std::string_view text) {
  if (text == "1-48") return CoilOrder::kAscending;
  if (text == "48-1") return CoilOrder::kDescending;
  return std::nullopt;
}

int coilAddress(const ModbusValveConfig& config, int output) {
  return config.coilBase +
         (config.order == CoilOrder::kAscending ? output - 1 : ModbusValveConfig::kValves - output);
}

ModbusValveTerminal::ModbusValveTerminal(ModbusValveConfig config)
    : config_(std::move(config)), name_(addressName(config_.address)) {}

ModbusValveTerminal::~ModbusValveTerminal() { PIODIO_DriverClose(); }

void ModbusValveTerminal::PIODIO_DriverInit() {
  std::lock_guard lock(mutex_);
  if (thread_.joinable()) return;
  quit_ = false;
  downSince_.store(nowTicks(), std::memory_order_relaxed);
  setLink(Link::kConnecting, {});
  open_.store(true, std::memory_order_release);
  thread_ = std::thread([this] { run(); });
}

std::uint16_t ModbusValveTerminal::PIODIO_SearchCard(std::uint16_t* boardsFound, std::uint32_t cardId) {
  const bool found = open_.load(std::memory_order_acquire) && cardId == kCardId;
  if (boardsFound != nullptr) *boardsFound = found ? 1 : 0;
  return found ? 0 : 1;
}

std::uint16_t ModbusValveTerminal::PIODIO_GetConfigAddressSpace(
    std::uint16_t boardNumber, std::uint32_t* baseAddress, std::uint16_t* interruptNumber,
    std::uint16_t* subVendor, std::uint16_t* subDevice, std::uint16_t* subAux, std::uint16_t* slotBus,
    std::uint16_t* slotDevice) {
  const bool known = open_.load(std::memory_order_acquire) && boardNumber == 0;
  if (baseAddress != nullptr) *baseAddress = 0;
  for (std::uint16_t* p : {interruptNumber, subVendor, subDevice, subAux, slotBus, slotDevice}) {
    if (p != nullptr) *p = 0;
  }
  return known ? 0 : 1;
}

std::uint16_t ModbusValveTerminal::PIODIO_OutputByte(std::uint32_t port, std::uint16_t value) {
  if (!open_.load(std::memory_order_acquire)) throw std::runtime_error("valve terminal driver is not open");
  if (port >= kPortSpan) return 1;
  const auto byte = static_cast<std::uint8_t>(value & 0xFF);
  if (image_[port].load(std::memory_order_relaxed) == byte) return 0;

  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    image_[port].store(byte, std::memory_order_relaxed);
    const std::uint64_t valves = decodeLocked();
    changed = valves != wanted_.load(std::memory_order_relaxed);
    if (changed) wanted_.store(valves, std::memory_order_release);
  }
  if (changed) wake_.notify_one();
  return 0;
}

std::uint16_t ModbusValveTerminal::PIODIO_DriverClose() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
  open_.store(false, std::memory_order_release);
  setLink(Link::kClosed, {});
  return 0;
}

std::uint64_t ModbusValveTerminal::decodeLocked() const { return openValvesOf(image_); }

void ModbusValveTerminal::setLink(Link link, std::string error) {
  std::lock_guard lock(statusMutex_);
  linkError_ = std::move(error);
  link_.store(link, std::memory_order_release);
}

bool ModbusValveTerminal::outputsUntrusted() const {
  const Link link = link_.load(std::memory_order_acquire);
  if (link != Link::kConnecting && link != Link::kLost) return false;
  const auto down =
      std::chrono::steady_clock::duration(nowTicks() - downSince_.load(std::memory_order_relaxed));
  return down >= config_.giveUpAfter;
}

std::string ModbusValveTerminal::linkStatus() const {
  std::string error;
  Link link;
  {
    std::lock_guard lock(statusMutex_);
    error = linkError_;
    link = link_.load(std::memory_order_acquire);
  }
  const std::string detail = error.empty() ? std::string() : " (" + error + ")";
  switch (link) {
    case Link::kClosed:
      return {};
    case Link::kConnected:
      return "Клапанный терминал " + name_ + ": связь есть.";
    case Link::kConnecting:
    case Link::kLost:
      break;
  }
  if (outputsUntrusted()) {
    const auto seconds = std::chrono::duration<double>(config_.giveUpAfter).count();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", seconds);
    return "Нет связи с клапанным терминалом " + name_ + " дольше " + buffer + " с: клапаны не управляются" +
           detail + ".";
  }
  if (link == Link::kConnecting && error.empty()) return "Клапанный терминал " + name_ + ": соединение...";
  return "Нет связи с клапанным терминалом " + name_ + ", повтор" + detail + ".";
}

void ModbusValveTerminal::run() {
  modbus_t* ctx =
      modbus_new_tcp_pi(config_.address.host.c_str(), std::to_string(config_.address.port).c_str());
  if (ctx != nullptr) {
    modbus_set_slave(ctx, config_.address.unit);
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(config_.responseTimeout).count();
    modbus_set_response_timeout(ctx, static_cast<std::uint32_t>(us / 1000000),
                                static_cast<std::uint32_t>(us % 1000000));
  }

  std::array<std::uint8_t, kValves> coils{};
  const auto send = [&](std::uint64_t valves) {
    for (int output = 1; output <= kValves; ++output) {
      coils[static_cast<std::size_t>(coilAddress(config_, output) - config_.coilBase)] =
          static_cast<std::uint8_t>((valves >> (output - 1)) & 1u);
    }
    return modbus_write_bits(ctx, config_.coilBase, kValves, coils.data()) == kValves;
  };

  bool connected = false;
  bool sentValid = false;
  std::uint64_t sent = 0;
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (!connected) {
      lock.unlock();
      if (ctx == nullptr) {
        setLink(Link::kLost, "адрес не разобран");
      } else if (const bool opened = modbus_connect(ctx) == 0;
                 opened && !connectedToItself(modbus_get_socket(ctx))) {
        connected = true;
        sentValid = false;
        connections_.fetch_add(1, std::memory_order_relaxed);
      } else {
        const std::string error = opened ? "нет ответа" : modbus_strerror(errno);
        modbus_close(ctx);
        const Link previous = link_.load(std::memory_order_acquire);
        setLink(previous == Link::kConnecting ? Link::kConnecting : Link::kLost, error);
      }
      lock.lock();
      if (!connected) {
        wake_.wait_for(lock, config_.retryInterval, [&] { return quit_; });
        continue;
      }
    }
    if (sentValid && wanted_.load(std::memory_order_acquire) == sent) {
      wake_.wait_for(lock, config_.refreshInterval,
                     [&] { return quit_ || wanted_.load(std::memory_order_acquire) != sent; });
      if (quit_) break;
    }
    const std::uint64_t table = wanted_.load(std::memory_order_acquire);
    lock.unlock();
    const bool ok = send(table);
    if (ok) {
      sent = table;
      sentValid = true;
      sent_.store(table, std::memory_order_release);
      tablesSent_.fetch_add(1, std::memory_order_relaxed);
      if (link_.load(std::memory_order_acquire) != Link::kConnected) setLink(Link::kConnected, {});
      downSince_.store(nowTicks(), std::memory_order_relaxed);
    } else {
      // A failed or unanswered request leaves the stream in an unknown state: start a new connection.
      const std::string error = modbus_strerror(errno);
      modbus_close(ctx);
      connected = false;
      linkLosses_.fetch_add(1, std::memory_order_relaxed);
      setLink(Link::kLost, error);
    }
    lock.lock();
  }
  lock.unlock();
  if (connected) {
    // The program or the board is going away: leave no valve open behind it.
    if (send(0)) sent_.store(0, std::memory_order_release);
    modbus_close(ctx);
  }
  if (ctx != nullptr) modbus_free(ctx);
}

}  // namespace tolvane
