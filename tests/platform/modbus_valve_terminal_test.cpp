#include "platform/modbus_valve_terminal.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/modbus_coil_server.h"
#include "tests/thread_test_support.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

constexpr std::uint64_t kAllValves = (std::uint64_t{1} << 48) - 1;
constexpr auto kCoilWait = 3000ms;

std::uint64_t bitOf(int output) { return std::uint64_t{1} << (output - 1); }

// What the valve writer sends: enable, the four control registers, the six valve ports.
void writeTable(DigitalBoard& board, std::uint64_t valves) {
  board.PIODIO_OutputByte(0x00, 1);
  for (std::uint32_t control : {0xCCu, 0xDCu, 0xECu, 0xFCu}) board.PIODIO_OutputByte(control, 7);
  constexpr std::uint32_t kPorts[6] = {0xD0, 0xD4, 0xD8, 0xE0, 0xE4, 0xE8};
  for (int group = 0; group < 6; ++group) {
    board.PIODIO_OutputByte(kPorts[group], static_cast<std::uint16_t>((valves >> (8 * group)) & 0xFF));
  }
}

// The coils a table should leave on the server, as a mask over the 48 coils from the base.
std::uint64_t expectedCoils(const ModbusValveConfig& config, std::uint64_t valves) {
  std::uint64_t coils = 0;
  for (int output = 1; output <= 48; ++output) {
    if ((valves & bitOf(output)) != 0)
      coils |= std::uint64_t{1} << (coilAddress(config, output) - config.coilBase);
  }
  return coils;
}

ModbusValveConfig configFor(const ModbusCoilServer& server) {
  ModbusValveConfig config;
  config.address = {"127.0.0.1", server.port(), 1};
  config.retryInterval = 20ms;
  config.responseTimeout = 200ms;
  config.refreshInterval = 50ms;
  return config;
}

TEST(ModbusAddressTest, ParsesHostPortAndUnit) {
  struct Case {
    std::string_view text;
    std::optional<ModbusAddress> expected;
  };
  const std::vector<Case> cases = {
      {"10.0.0.5", ModbusAddress{"10.0.0.5", 502, 1}},
      {"10.0.0.5:1502", ModbusAddress{"10.0.0.5", 1502, 1}},
      {"10.0.0.5/7", ModbusAddress{"10.0.0.5", 502, 7}},
      {"terminal.local:503/0", ModbusAddress{"terminal.local", 503, 0}},
      {"[::1]:1502/3", ModbusAddress{"::1", 1502, 3}},
      {"[fe80::1]", ModbusAddress{"fe80::1", 502, 1}},
      {"", std::nullopt},
      {":502", std::nullopt},
      {"host:", std::nullopt},
      {"host:0", std::nullopt},
      {"host:65536", std::nullopt},
      {"host:50x", std::nullopt},
      {"host/256", std::nullopt},
      {"host/-1", std::nullopt},
      {"host/", std::nullopt},
      {"::1", std::nullopt},
      {"[::1", std::nullopt},
      {"[::1]x", std::nullopt},
      {"my host", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parseModbusAddress(c.text), c.expected) << c.text;
}

TEST(ModbusAddressTest, CoilOrderAndAddresses) {
  EXPECT_EQ(parseCoilOrder("1-48"), CoilOrder::kAscending);
  EXPECT_EQ(parseCoilOrder("48-1"), CoilOrder::kDescending);
  EXPECT_EQ(parseCoilOrder("1..48"), std::nullopt);
  EXPECT_EQ(parseCoilOrder(""), std::nullopt);

  struct Case {
    int base;
    CoilOrder order;
    int output;
    int coil;
  };
  const Case cases[] = {{0, CoilOrder::kAscending, 1, 0},     {0, CoilOrder::kAscending, 48, 47},
                        {100, CoilOrder::kAscending, 9, 108}, {0, CoilOrder::kDescending, 1, 47},
                        {0, CoilOrder::kDescending, 48, 0},   {16, CoilOrder::kDescending, 40, 24}};
  for (const Case& c : cases) {
    ModbusValveConfig config;
    config.coilBase = c.base;
    config.order = c.order;
    EXPECT_EQ(coilAddress(config, c.output), c.coil) << c.base << " " << c.output;
  }
}

TEST(ModbusAddressTest, ASocketConnectedToItselfIsNoLink) {
  const auto loopback = [](int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
  };
  ModbusCoilServer server;
  ASSERT_TRUE(server.listening());
  const int toServer = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback(server.port());
  ASSERT_EQ(connect(toServer, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_FALSE(connectedToItself(toServer));
  close(toServer);

  // Bound to a port and connected to that same port: the simultaneous open succeeds.
  const int self = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in any = loopback(0);
  ASSERT_EQ(bind(self, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  socklen_t length = sizeof any;
  ASSERT_EQ(getsockname(self, reinterpret_cast<sockaddr*>(&any), &length), 0);
  ASSERT_EQ(connect(self, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  EXPECT_TRUE(connectedToItself(self));
  close(self);
  EXPECT_FALSE(connectedToItself(-1));
}

TEST(ModbusValveTerminalTest, CoilsFollowEveryTableChange) {
  struct Case {
    int coilBase;
    CoilOrder order;
    int unit;
  };
  const Case cases[] = {{0, CoilOrder::kAscending, 1},
                        {100, CoilOrder::kAscending, 17},
                        {0, CoilOrder::kDescending, 255},
                        {ModbusCoilServer::kCoils - 48, CoilOrder::kDescending, 0}};
  const std::uint64_t tables[] = {bitOf(1),   bitOf(1) | bitOf(48), bitOf(9) | bitOf(24) | bitOf(25),
                                  kAllValves, 0x00FF00FF00FFull,    bitOf(48),
                                  0};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "base " << c.coilBase << " unit " << c.unit);
    ModbusCoilServer server;
    ASSERT_TRUE(server.listening());
    // Coils around the 48 must stay as they were.
    server.setAllCoils(false);
    ModbusValveConfig config = configFor(server);
    config.coilBase = c.coilBase;
    config.order = c.order;
    config.address.unit = c.unit;
    ModbusValveTerminal terminal(config);
    terminal.PIODIO_DriverInit();
    for (std::uint64_t table : tables) {
      writeTable(terminal, table);
      EXPECT_EQ(terminal.openValves(), table);
      EXPECT_TRUE(server.waitForCoils(c.coilBase, 48, expectedCoils(config, table), kCoilWait))
          << std::hex << table << " got " << server.coilMask(c.coilBase, 48);
    }
    EXPECT_EQ(server.lastUnit(), c.unit);
    if (c.coilBase > 0) {
      EXPECT_EQ(server.coils(c.coilBase - 1, 1), std::vector<std::uint8_t>{0});
    }
    if (c.coilBase + 48 < ModbusCoilServer::kCoils) {
      EXPECT_EQ(server.coils(c.coilBase + 48, 1), std::vector<std::uint8_t>{0});
    }
  }
}

TEST(ModbusValveTerminalTest, DecodesThePortsAsTheBoardDoes) {
  ModbusCoilServer server;
  ASSERT_TRUE(server.listening());
  ModbusValveConfig config = configFor(server);
  ModbusValveTerminal terminal(config);
  terminal.PIODIO_DriverInit();
  writeTable(terminal, bitOf(1) | bitOf(30));
  ASSERT_TRUE(server.waitForCoils(0, 48, bitOf(1) | bitOf(30), kCoilWait));

  // Control bit of port 0xE0 cleared: outputs 25-32 no longer driven.
  terminal.PIODIO_OutputByte(0xEC, 6);
  EXPECT_EQ(terminal.openValves(), bitOf(1));
  EXPECT_TRUE(server.waitForCoils(0, 48, bitOf(1), kCoilWait));
  // Enable bit cleared: everything closed. Only the low byte of a value reaches a port.
  terminal.PIODIO_OutputByte(0x00, 0x100);
  EXPECT_EQ(terminal.openValves(), 0u);
  EXPECT_TRUE(server.waitForCoils(0, 48, 0, kCoilWait));
  // Writes outside the ports are refused and change nothing.
  EXPECT_EQ(terminal.PIODIO_OutputByte(0x100, 0xFF), 1);
  writeTable(terminal, bitOf(2));
  EXPECT_TRUE(server.waitForCoils(0, 48, bitOf(2), kCoilWait));
}

TEST(ModbusValveTerminalTest, NewestTableWinsUnderARushOfChanges) {
  ModbusCoilServer server;
  ASSERT_TRUE(server.listening());
  ModbusValveTerminal terminal(configFor(server));
  terminal.PIODIO_DriverInit();
  std::uint64_t table = 0;
  constexpr int kChanges = 3000;
  for (int i = 0; i < kChanges; ++i) {
    table = (table * 6364136223846793005ull + 1442695040888963407ull);
    writeTable(terminal, (table >> 11) & kAllValves);
  }
  const std::uint64_t last = (table >> 11) & kAllValves;
  EXPECT_TRUE(server.waitForCoils(0, 48, last, kCoilWait));
  EXPECT_TRUE(test::waitFor([&] { return terminal.sentValves() == last; }));
}

TEST(ModbusValveTerminalTest, DriverLifecycleAndClosingWritesAllCoilsOff) {
  ModbusCoilServer server;
  ASSERT_TRUE(server.listening());
  ModbusValveTerminal terminal(configFor(server));
  std::uint16_t found = 9;
  EXPECT_EQ(terminal.PIODIO_SearchCard(&found, DigitalBoard::kCardId), 1);
  EXPECT_EQ(found, 0);
  EXPECT_THROW(terminal.PIODIO_OutputByte(0xD0, 1), std::runtime_error);
  EXPECT_EQ(terminal.linkStatus(), "");

  terminal.PIODIO_DriverInit();
  EXPECT_EQ(terminal.PIODIO_SearchCard(&found, DigitalBoard::kCardId), 0);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(terminal.PIODIO_SearchCard(&found, 0x800400), 1);
  std::uint32_t base = 7;
  EXPECT_EQ(
      terminal.PIODIO_GetConfigAddressSpace(0, &base, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
      0);
  EXPECT_EQ(base, 0u);

  writeTable(terminal, kAllValves);
  ASSERT_TRUE(server.waitForCoils(0, 48, kAllValves, kCoilWait));
  ASSERT_TRUE(test::waitFor([&] { return terminal.link() == ModbusValveTerminal::Link::kConnected; }));
  EXPECT_NE(terminal.linkStatus().find("связь есть"), std::string::npos) << terminal.linkStatus();

  terminal.PIODIO_DriverClose();
  // Closing waits for the all-off write.
  EXPECT_EQ(server.coilMask(0, 48), 0u);
  EXPECT_THROW(terminal.PIODIO_OutputByte(0xD0, 1), std::runtime_error);
  EXPECT_EQ(terminal.link(), ModbusValveTerminal::Link::kClosed);
  EXPECT_FALSE(terminal.outputsUntrusted());

  // Opened again, it connects again and sends what the ports say.
  terminal.PIODIO_DriverInit();
  EXPECT_TRUE(server.waitForCoils(0, 48, kAllValves, kCoilWait));
}

TEST(ModbusValveTerminalTest, ADroppedLinkIsReportedAndTheReconnectBringsTheNewestTable) {
  ModbusCoilServer server;
  ASSERT_TRUE(server.listening());
  ModbusValveConfig config = configFor(server);
  config.giveUpAfter = 60s;  // this test is about the report and the retry only
  ModbusValveTerminal terminal(config);
  terminal.PIODIO_DriverInit();
  writeTable(terminal, bitOf(5));
  ASSERT_TRUE(server.waitForCoils(0, 48, bitOf(5), kCoilWait));

  server.drop();
  // Seen without any valve traffic, through the refresh.
  ASSERT_TRUE(test::waitFor([&] { return terminal.link() == ModbusValveTerminal::Link::kLost; }));
  EXPECT_NE(terminal.linkStatus().find("Нет связи с клапанным терминалом 127.0.0.1:"), std::string::npos)
      << terminal.linkStatus();
  EXPECT_FALSE(terminal.outputsUntrusted());

  // Tables written while the link is down: only the newest matters.
  writeTable(terminal, bitOf(6));
  writeTable(terminal, bitOf(7) | bitOf(47));
  server.setAllCoils(false);
  ASSERT_TRUE(server.resume());
  EXPECT_TRUE(server.waitForCoils(0, 48, bitOf(7) | bitOf(47), kCoilWait));
  EXPECT_TRUE(test::waitFor([&] { return terminal.link() == ModbusValveTerminal::Link::kConnected; }));
  EXPECT_GE(terminal.connections(), 2u);
  EXPECT_GE(terminal.linkLosses(), 1u);

  // A server that only drops the client is reconnected at once.
  server.dropClient();
  writeTable(terminal, bitOf(8));
  EXPECT_TRUE(server.waitForCoils(0, 48, bitOf(8), kCoilWait));
}

TEST(ModbusValveTerminalTest, AfterTheGiveUpTimeTheValvesAreUntrusted) {
  struct Case {
    const char* name;
    bool connectFirst;  // the link was up once and then lost; otherwise it never comes up
  };
  for (const Case c : {Case{"lost", true}, Case{"never up", false}}) {
    SCOPED_TRACE(c.name);
    ModbusCoilServer server;
    ASSERT_TRUE(server.listening());
    if (!c.connectFirst) server.drop();
    ModbusValveConfig config = configFor(server);
    config.giveUpAfter = 300ms;
    ModbusValveTerminal terminal(config);
    const auto opened = std::chrono::steady_clock::now();
    terminal.PIODIO_DriverInit();
    EXPECT_FALSE(terminal.outputsUntrusted());
    auto lostAt = opened;
    if (c.connectFirst) {
      writeTable(terminal, bitOf(3));
      ASSERT_TRUE(server.waitForCoils(0, 48, bitOf(3), kCoilWait));
      lostAt = std::chrono::steady_clock::now();
      server.drop();
    }
    ASSERT_TRUE(test::waitFor([&] { return terminal.outputsUntrusted(); }));
    EXPECT_GE(std::chrono::steady_clock::now() - lostAt, config.giveUpAfter - config.refreshInterval);
    EXPECT_NE(terminal.linkStatus().find("дольше 0.3 с: клапаны не управляются"), std::string::npos)
        << terminal.linkStatus();

    // The terminal answers again: trusted again, with the table of the ports.
    ASSERT_TRUE(server.resume());
    EXPECT_TRUE(test::waitFor([&] { return !terminal.outputsUntrusted(); }));
    EXPECT_TRUE(server.waitForCoils(0, 48, c.connectFirst ? bitOf(3) : 0, kCoilWait));
  }
}

}  // namespace
}  // namespace tolvane
