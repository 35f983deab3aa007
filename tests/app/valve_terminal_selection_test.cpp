// The valve outputs chosen in the platform configuration: a Modbus valve terminal behind the machine's
// board initialisation, valve writes, link report and closing.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "app/machine.h"
#include "ejection/valve_outputs.h"
#include "platform/modbus_coil_server.h"
#include "platform/modbus_valve_terminal.h"
#include "platform/simulated_boards.h"
#include "tests/app/main_window_rig.h"
#include "tests/thread_test_support.h"

namespace tolvane {
namespace {

using namespace std::chrono_literals;

TEST(ValveTerminalSelection, ValveKeysOfThePlatformConfiguration) {
  struct Case {
    const char* text;
    const char* named;  // what the refusal names; null when accepted
    ModbusAddress address{};
    int coilBase = 0;
    CoilOrder order = CoilOrder::kAscending;
    int timeoutMs = 2000;
  };
  const Case cases[] = {
      {"valves = modbus:10.0.0.9\n", nullptr, {"10.0.0.9", 502, 1}},
      {"valves = modbus:io.local:1502/4\nvalves_coil_base = 512\nvalves_coil_order = 48-1\n"
       "valves_timeout_ms = 750\n",
       nullptr,
       {"io.local", 1502, 4},
       512,
       CoilOrder::kDescending,
       750},
      {"valves = modbus:[::1]/0\n", nullptr, {"::1", 502, 0}},
      {"valves = modbus\n", "\"modbus\""},
      {"valves = modbus:\n", "\"modbus:\""},
      {"valves = modbus:host:70000\n", "\"modbus:host:70000\""},
      {"valves = Simulated\n", "\"Simulated\""},
      {"valves = pci\n", "\"pci\""},
      {"valves = modbus:h\nvalves_coil_base = -1\n", "valves_coil_base \"-1\""},
      {"valves = modbus:h\nvalves_coil_base = 65489\n", "valves_coil_base \"65489\""},
      {"valves = modbus:h\nvalves_coil_base = ten\n", "valves_coil_base \"ten\""},
      {"valves = modbus:h\nvalves_coil_order = 1..48\n", "valves_coil_order \"1..48\""},
      {"valves = modbus:h\nvalves_timeout_ms = 99\n", "valves_timeout_ms \"99\""},
      {"valves = modbus:h\nvalves_timeout_ms = 2s\n", "valves_timeout_ms \"2s\""},
      // A bad layout key is refused even while the valves are simulated: it would surprise later.
      {"valves_coil_order = 2-49\n", "valves_coil_order \"2-49\""},
      {"valves = simulated\nvalves_coil_base = 8\n", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const PlatformConfigResult result = parsePlatformConfig(c.text, nullptr);
    std::string error;
    const auto terminal = valveTerminalConfig(result.config, error);
    if (c.named != nullptr) {
      EXPECT_NE(result.error.find(c.named), std::string::npos) << result.error;
      EXPECT_NE(result.error.find("TolvaneGrain.platform"), std::string::npos) << result.error;
      continue;
    }
    EXPECT_EQ(result.error, "");
    if (result.config.valves == "simulated") {
      EXPECT_FALSE(terminal.has_value());
      continue;
    }
    ASSERT_TRUE(terminal.has_value()) << error;
    EXPECT_EQ(terminal->address, c.address);
    EXPECT_EQ(terminal->coilBase, c.coilBase);
    EXPECT_EQ(terminal->order, c.order);
    EXPECT_EQ(terminal->giveUpAfter, std::chrono::milliseconds(c.timeoutMs));
  }
}

TEST(ValveTerminalSelection, PartsCarryTheTerminalOrTheSimulatedBoard) {
  test::TempDir dir;
  PlatformConfig config;
  std::string error;
  auto parts = machinePartsFromConfig(config, dir / "TolvaneGrain", error);
  ASSERT_TRUE(parts.has_value()) << error;
  EXPECT_NE(dynamic_cast<SimulatedDigitalBoard*>(parts->digitalBoard.get()), nullptr);

  config.valves = "modbus:127.0.0.1:1502/9";
  config.valvesCoilOrder = "48-1";
  parts = machinePartsFromConfig(config, dir / "TolvaneGrain", error);
  ASSERT_TRUE(parts.has_value()) << error;
  const auto* terminal = dynamic_cast<ModbusValveTerminal*>(parts->digitalBoard.get());
  ASSERT_NE(terminal, nullptr);
  EXPECT_EQ(terminal->config().address, (ModbusAddress{"127.0.0.1", 1502, 9}));
  EXPECT_EQ(terminal->config().order, CoilOrder::kDescending);

  config.valves = "modbus:";
  EXPECT_FALSE(machinePartsFromConfig(config, dir / "TolvaneGrain", error).has_value());
  EXPECT_NE(error.find("\"modbus:\""), std::string::npos) << error;
}

// Board initialisation, a valve write, the link text of the run control and the closing sequence of a
// machine whose valves are on a terminal.
TEST(ValveTerminalSelection, MachineDrivesTheTerminalFromStartToClose) {
  ModbusCoilServer server;
  ASSERT_TRUE(server.listening());
  server.setAllCoils(true);  // whatever the terminal held before, the start closes every valve
  test::TempDir dir;
  PlatformConfig config;
  config.valves = "modbus:127.0.0.1:" + std::to_string(server.port()) + "/3";
  config.valvesCoilBase = "16";
  std::string error;
  auto parts = machinePartsFromConfig(config, dir / "TolvaneGrain", error);
  ASSERT_TRUE(parts.has_value()) << error;
  Machine machine(std::move(*parts));

  EXPECT_EQ(machine.initIoBoards(), kDigitalBoardReadyText);
  EXPECT_TRUE(server.waitForCoils(16, 48, 0, 3s));
  EXPECT_EQ(server.coils(15, 1), std::vector<std::uint8_t>{1});
  EXPECT_EQ(server.lastUnit(), 3);

  EjectionState& ejection = machine.engine().ejection;
  ejection.ValveStates.open(5);
  ejection.ValveStates.open(48);
  WriteValveOutputs(machine.digitalBoard(), ejection);
  EXPECT_TRUE(server.waitForCoils(16, 48, (std::uint64_t{1} << 4) | (std::uint64_t{1} << 47), 3s));

  ASSERT_TRUE(test::waitFor(
      [&] { return machine.digitalBoard().linkStatus().find("связь есть") != std::string::npos; }));
  machine.run().Timer1Timer();
  EXPECT_NE(machine.run().view().boardLinkLabel.find("связь есть"), std::string::npos);

  machine.closeSequence();
  EXPECT_EQ(server.coilMask(16, 48), 0u);
}

}  // namespace
}  // namespace tolvane
