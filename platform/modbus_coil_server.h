#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace tolvane {

// A Modbus TCP server on the loopback address that keeps coils, made with libmodbus's own server
// functions: it stands in for a valve terminal in tests, benchmarks and the engineer's trials. One
// client at a time; a new connection replaces the old one.
//
// Threads: the server answers on a thread of its own; every method may be called from any thread.
class ModbusCoilServer {
 public:
  static constexpr int kCoils = 1024;

  // Listens on 127.0.0.1 at port (0: a free port, see port()).
  explicit ModbusCoilServer(int port = 0);
  ~ModbusCoilServer();
  ModbusCoilServer(const ModbusCoilServer&) = delete;
  ModbusCoilServer& operator=(const ModbusCoilServer&) = delete;

  // False when the port could not be taken.
  bool listening() const { return port_ != 0; }
  int port() const { return port_; }

  // Coils first .. first + count - 1 (0 or 1 each).
  std::vector<std::uint8_t> coils(int first, int count) const;
  // Bit i set when coil first + i is on (count at most 64).
  std::uint64_t coilMask(int first, int count) const;
  // Waits until the coils read mask or the time is up; true when they did.
  bool waitForCoils(int first, int count, std::uint64_t mask, std::chrono::milliseconds timeout) const;
  // Every coil on or off.
  void setAllCoils(bool on);

  // Write requests answered, and the unit id of the last request.
  std::uint64_t writeRequests() const;
  int lastUnit() const;
  std::uint64_t connectionsAccepted() const;

  // Drops the client and stops listening (the terminal sees the link go), or listens again on the same
  // port. False when the port could not be taken again.
  void drop();
  bool resume();
  // Drops the client only; the next connection is accepted.
  void dropClient();

 private:
  void run();
  // Carries out drop() and resume(); caller holds mutex_.
  void applyRequestsLocked();

  void* ctx_ = nullptr;      // modbus_t
  void* mapping_ = nullptr;  // modbus_mapping_t
  int port_ = 0;

  mutable std::mutex mutex_;  // guards everything below and the mapping
  mutable std::condition_variable changed_;
  int listenFd_ = -1;
  int clientFd_ = -1;
  bool dropClient_ = false;
  bool wantListening_ = true;
  bool listenFailed_ = false;
  std::uint64_t writeRequests_ = 0;
  std::uint64_t accepted_ = 0;
  int lastUnit_ = -1;

  std::atomic<bool> quit_{false};
  std::thread thread_;
};

}  // namespace tolvane
