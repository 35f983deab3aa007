#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/digital_board.h"
#include "platform/valve_port_image.h"

namespace tolvane {

// Which coil drives which valve: "1-48" puts output 1 on the base coil, "48-1" output 48.
enum class CoilOrder { kAscending, kDescending };

// A terminal's network address: "host[:port][/unit]", an IPv6 host in brackets ("[::1]:1502/3").
struct ModbusAddress {
  std::string host;
  int port = 502;
  int unit = 1;

  bool operator==(const ModbusAddress&) const = default;
};

// nullopt for an empty host, a port outside 1..65535, a unit outside 0..255 or anything else that is
// not a number where one belongs.
std::optional<ModbusAddress> parseModbusAddress(std::string_view text);
// "1-48" or "48-1".
std::optional<CoilOrder> parseCoilOrder(std::string_view text);

struct ModbusValveConfig {
  static constexpr int kValves = 48;
  static constexpr int kMaxCoilBase = 65536 - kValves;

  ModbusAddress address;
  int coilBase = 0;  // 0..kMaxCoilBase: the protocol address of the first coil
  CoilOrder order = CoilOrder::kAscending;
  // How long the valves may go without a link before they cannot be trusted and sorting must stop.
  std::chrono::milliseconds giveUpAfter{2000};
  std::chrono::milliseconds retryInterval{200};    // between connection attempts
  std::chrono::milliseconds responseTimeout{200};  // per request and per connection attempt
  // An unchanged table is sent again this often: a dead link shows up without valve traffic, and a
  // terminal that restarted gets its outputs back.
  std::chrono::milliseconds refreshInterval{500};
};

// Protocol address of the coil of output 1..48.
int coilAddress(const ModbusValveConfig& config, int output);

// True for a TCP socket whose peer is its own address: a loopback connect to a port nobody listens on
// may pick that port as its own and talk to itself.
bool connectedToItself(int fd);

// A valve terminal on Modbus TCP standing in for the digital I/O board: it takes the board's port
// writes, decodes the 48 valves from them as the board would (enable bit at 0x00, control registers,
// data ports 0xD0..0xE8; see SimulatedDigitalBoard) and writes them as coils (function 15) whenever
// they change.
//
// The writer never waits on the network: a port write that changes the valves stores the new table
// and wakes the terminal's output thread, which always sends the newest table (tables that came and
// went while a request was on the wire are skipped, never queued). A lost link is retried every
// retryInterval; linkStatus() says what the board label should show, and outputsUntrusted() turns true
// when the link stayed down for giveUpAfter, which must stop sorting. After a reconnection the newest
// table goes out first.
//
// Lifecycle: PIODIO_DriverInit starts the output thread (and the first connection attempt);
// PIODIO_DriverClose sends all coils off when connected, closes the link and ends the thread. The card
// search finds the terminal as soon as the driver is open, whatever the link: a terminal that is
// switched on late is taken up when it answers.
//
// Threads: port writes may come from any thread (camera 1's thread while sorting, the main thread for
// stop, tests and start-up). A write that changes nothing is a few atomic operations; one that changes
// a valve takes a short mutex and notifies, with no allocation and no I/O. DriverInit and DriverClose
// run on the main thread.
class ModbusValveTerminal : public DigitalBoard {
 public:
  static constexpr int kValves = ModbusValveConfig::kValves;

  enum class Link { kClosed, kConnecting, kConnected, kLost };

  explicit ModbusValveTerminal(ModbusValveConfig config);
  ~ModbusValveTerminal() override;
  ModbusValveTerminal(const ModbusValveTerminal&) = delete;
  ModbusValveTerminal& operator=(const ModbusValveTerminal&) = delete;

  void PIODIO_DriverInit() override;
  // 0 and a count of 1 while the driver is open and the identifier is the board's.
  std::uint16_t PIODIO_SearchCard(std::uint16_t* boardsFound, std::uint32_t cardId) override;
  // Base address 0 and result 0 for board 0 while the driver is open; otherwise 0 and 1.
  std::uint16_t PIODIO_GetConfigAddressSpace(std::uint16_t boardNumber, std::uint32_t* baseAddress,
                                             std::uint16_t* interruptNumber, std::uint16_t* subVendor,
                                             std::uint16_t* subDevice, std::uint16_t* subAux,
                                             std::uint16_t* slotBus, std::uint16_t* slotDevice) override;
  // Throws std::runtime_error while the driver is not open, as a closed driver fails.
  std::uint16_t PIODIO_OutputByte(std::uint32_t port, std::uint16_t value) override;
  std::uint16_t PIODIO_DriverClose() override;

  std::string linkStatus() const override;
  bool outputsUntrusted() const override;

  const ModbusValveConfig& config() const { return config_; }
  Link link() const { return link_.load(std::memory_order_acquire); }
  // Valves the port image drives (bit output - 1), and the last table the terminal acknowledged.
  std::uint64_t openValves() const { return wanted_.load(std::memory_order_acquire); }
  std::uint64_t sentValves() const { return sent_.load(std::memory_order_acquire); }
  std::uint64_t tablesSent() const { return tablesSent_.load(std::memory_order_relaxed); }
  std::uint64_t connections() const { return connections_.load(std::memory_order_relaxed); }
  std::uint64_t linkLosses() const { return linkLosses_.load(std::memory_order_relaxed); }

 private:
  void run();
  void setLink(Link link, std::string error);
  std::uint64_t decodeLocked() const;

  const ModbusValveConfig config_;
  const std::string name_;  // "host:port" for the texts

  std::atomic<bool> open_{false};
  ValvePortImage image_{};

  // Guards the image changes, wanted_ changes, quit_ and the thread's sleep.
  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::atomic<std::uint64_t> wanted_{0};
  std::thread thread_;

  std::atomic<std::uint64_t> sent_{0};
  std::atomic<std::uint64_t> tablesSent_{0};
  std::atomic<std::uint64_t> connections_{0};
  std::atomic<std::uint64_t> linkLosses_{0};
  std::atomic<Link> link_{Link::kClosed};
  // steady_clock ticks since the link was last known good (or the driver opened).
  std::atomic<std::int64_t> downSince_{0};

  mutable std::mutex statusMutex_;
  std::string linkError_;
};

}  // namespace tolvane
