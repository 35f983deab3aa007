#include "platform/modbus_coil_server.h"

#include <modbus/modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>

namespace tolvane {

namespace {

constexpr int kWriteMultipleCoils = 0x0F;
constexpr int kUnitOffset = 6;  // in the MBAP header
constexpr int kPollMs = 5;

modbus_t* ctxOf(void* p) { return static_cast<modbus_t*>(p); }
modbus_mapping_t* mappingOf(void* p) { return static_cast<modbus_mapping_t*>(p); }

}  // namespace

ModbusCoilServer::ModbusCoilServer(int port) {
  modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
  if (ctx == nullptr) return;
  listenFd_ = modbus_tcp_listen(ctx, 1);
  if (listenFd_ < 0) {
    modbus_free(ctx);
    return;
  }
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    close(listenFd_);
    listenFd_ = -1;
    modbus_free(ctx);
    return;
  }
  port_ = ntohs(bound.sin_port);
  if (port == 0) {
    // Later listens (resume) must take the same port, which the context then has to name.
    modbus_free(ctx);
    ctx = modbus_new_tcp("127.0.0.1", port_);
  }
  // A client that stops in the middle of a request must not hang the server.
  modbus_set_indication_timeout(ctx, 1, 0);
  ctx_ = ctx;
  mapping_ = modbus_mapping_new(kCoils, 0, 0, 0);
  thread_ = std::thread([this] { run(); });
}

ModbusCoilServer::~ModbusCoilServer() {
  quit_.store(true, std::memory_order_release);
  if (thread_.joinable()) thread_.join();
  if (clientFd_ >= 0) close(clientFd_);
  if (listenFd_ >= 0) close(listenFd_);
  if (mapping_ != nullptr) modbus_mapping_free(mappingOf(mapping_));
  if (ctx_ != nullptr) modbus_free(ctxOf(ctx_));
}

void ModbusCoilServer::applyRequestsLocked() {
  if (dropClient_ && clientFd_ >= 0) {
    close(clientFd_);
    clientFd_ = -1;
  }
  dropClient_ = false;
  if (!wantListening_ && listenFd_ >= 0) {
    close(listenFd_);
    listenFd_ = -1;
  }
  if (wantListening_ && listenFd_ < 0 && !listenFailed_) {
    listenFd_ = modbus_tcp_listen(ctxOf(ctx_), 1);
    listenFailed_ = listenFd_ < 0;
  }
  changed_.notify_all();
}

void ModbusCoilServer::run() {
  std::array<std::uint8_t, MODBUS_TCP_MAX_ADU_LENGTH> query{};
  while (!quit_.load(std::memory_order_acquire)) {
    std::array<pollfd, 2> fds{};
    int listenFd = -1;
    int clientFd = -1;
    {
      std::lock_guard lock(mutex_);
      applyRequestsLocked();
      listenFd = listenFd_;
      clientFd = clientFd_;
    }
    fds[0] = {listenFd, POLLIN, 0};
    fds[1] = {clientFd, POLLIN, 0};
    if (poll(fds.data(), fds.size(), kPollMs) <= 0) continue;

    if (listenFd >= 0 && (fds[0].revents & POLLIN) != 0) {
      int s = listenFd;
      const int client = modbus_tcp_accept(ctxOf(ctx_), &s);
      if (client >= 0) {
        std::lock_guard lock(mutex_);
        if (clientFd_ >= 0) close(clientFd_);
        clientFd_ = client;
        ++accepted_;
        continue;  // the old client's events are stale
      }
    }
    if (clientFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      modbus_set_socket(ctxOf(ctx_), clientFd);
      const int length = modbus_receive(ctxOf(ctx_), query.data());
      std::lock_guard lock(mutex_);
      if (length > 0) {
        lastUnit_ = query[kUnitOffset];
        if (query[kUnitOffset + 1] == kWriteMultipleCoils) ++writeRequests_;
        modbus_reply(ctxOf(ctx_), query.data(), length, mappingOf(mapping_));
        changed_.notify_all();
      } else if (length < 0 && clientFd_ == clientFd) {
        close(clientFd_);
        clientFd_ = -1;
      }
    }
  }
}

std::vector<std::uint8_t> ModbusCoilServer::coils(int first, int count) const {
  std::vector<std::uint8_t> out;
  std::lock_guard lock(mutex_);
  if (mapping_ == nullptr || first < 0 || count < 0 || first + count > kCoils) return out;
  const modbus_mapping_t* m = mappingOf(mapping_);
  out.assign(m->tab_bits + first, m->tab_bits + first + count);
  return out;
}

std::uint64_t ModbusCoilServer::coilMask(int first, int count) const {
  const std::vector<std::uint8_t> bits = coils(first, count > 64 ? 64 : count);
  std::uint64_t mask = 0;
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (bits[i] != 0) mask |= std::uint64_t{1} << i;
  }
  return mask;
}

bool ModbusCoilServer::waitForCoils(int first, int count, std::uint64_t mask,
                                    std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (coilMask(first, count) != mask) {
    std::unique_lock lock(mutex_);
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      lock.unlock();
      return coilMask(first, count) == mask;
    }
  }
  return true;
}

void ModbusCoilServer::setAllCoils(bool on) {
  std::lock_guard lock(mutex_);
  if (mapping_ == nullptr) return;
  modbus_mapping_t* m = mappingOf(mapping_);
  for (int i = 0; i < kCoils; ++i) m->tab_bits[i] = on ? 1 : 0;
}

std::uint64_t ModbusCoilServer::writeRequests() const {
  std::lock_guard lock(mutex_);
  return writeRequests_;
}

int ModbusCoilServer::lastUnit() const {
  std::lock_guard lock(mutex_);
  return lastUnit_;
}

std::uint64_t ModbusCoilServer::connectionsAccepted() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

void ModbusCoilServer::drop() {
  std::unique_lock lock(mutex_);
  if (!thread_.joinable()) return;
  wantListening_ = false;
  dropClient_ = true;
  changed_.wait(lock, [&] { return listenFd_ < 0 && clientFd_ < 0; });
}

bool ModbusCoilServer::resume() {
  // A client retrying meanwhile may hold the port for a moment (a loopback connect that picked the
  // port itself), so the listen is tried again for a while.
  constexpr int kAttempts = 100;
  constexpr auto kBetweenAttempts = std::chrono::milliseconds(20);
  std::unique_lock lock(mutex_);
  if (!thread_.joinable()) return false;
  wantListening_ = true;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    listenFailed_ = false;
    changed_.wait(lock, [&] { return listenFd_ >= 0 || listenFailed_; });
    if (listenFd_ >= 0) return true;
    changed_.wait_for(lock, kBetweenAttempts, [] { return false; });
  }
  return false;
}

void ModbusCoilServer::dropClient() {
  std::unique_lock lock(mutex_);
  if (!thread_.joinable()) return;
  dropClient_ = true;
  changed_.wait(lock, [&] { return !dropClient_; });
}

}  // namespace tolvane
