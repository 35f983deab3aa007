// How long a changed valve table takes to reach a Modbus valve terminal: the terminal's output thread
// against a coil server on the loopback address, both in this process. For each change: the time the
// writer spends in its port writes (what a camera thread pays) and the time until the server holds
// the new coils.
//
//   build/bin/modbus_valve_bench [--changes N] [--gap-us US]

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/modbus_coil_server.h"
#include "platform/modbus_valve_terminal.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  int changes = 5000;
  int gapUs = 200;  // between changes, as valve edges come at line times
};

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const int value = std::atoi(argv[++i]);
    if (a == "--changes" && value >= 10 && value <= 10'000'000) {
      o.changes = value;
    } else if (a == "--gap-us" && value >= 0 && value <= 1'000'000) {
      o.gapUs = value;
    } else {
      return false;
    }
  }
  return true;
}

void writeTable(tolvane::DigitalBoard& board, std::uint64_t valves) {
  board.PIODIO_OutputByte(0x00, 1);
  for (std::uint32_t control : {0xCCu, 0xDCu, 0xECu, 0xFCu}) board.PIODIO_OutputByte(control, 7);
  constexpr std::uint32_t kPorts[6] = {0xD0, 0xD4, 0xD8, 0xE0, 0xE4, 0xE8};
  for (int group = 0; group < 6; ++group) {
    board.PIODIO_OutputByte(kPorts[group], static_cast<std::uint16_t>((valves >> (8 * group)) & 0xFF));
  }
}

double percentileUs(std::vector<double>& values, double p) {
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  return values[index];
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr, "usage: modbus_valve_bench [--changes N] [--gap-us US]\n");
    return 2;
  }
  tolvane::ModbusCoilServer server;
  if (!server.listening()) {
    std::fprintf(stderr, "no loopback port for the coil server\n");
    return 1;
  }
  tolvane::ModbusValveConfig config;
  config.address = {"127.0.0.1", server.port(), 1};
  tolvane::ModbusValveTerminal terminal(config);
  terminal.PIODIO_DriverInit();
  writeTable(terminal, 0);
  if (!server.waitForCoils(0, 48, 0, std::chrono::seconds(5))) {
    std::fprintf(stderr, "the terminal did not connect\n");
    return 1;
  }

  std::vector<double> writeUs;
  std::vector<double> arrivalUs;
  writeUs.reserve(static_cast<std::size_t>(options.changes));
  arrivalUs.reserve(static_cast<std::size_t>(options.changes));
  int lost = 0;
  for (int i = 0; i < options.changes; ++i) {
    // One valve opens or closes per change, as a single shot edge does.
    const std::uint64_t table = std::uint64_t{1} << (i % 48);
    const auto start = Clock::now();
    writeTable(terminal, table);
    const auto written = Clock::now();
    if (!server.waitForCoils(0, 48, table, std::chrono::seconds(1))) ++lost;
    const auto arrived = Clock::now();
    writeUs.push_back(std::chrono::duration<double, std::micro>(written - start).count());
    arrivalUs.push_back(std::chrono::duration<double, std::micro>(arrived - start).count());
    if (options.gapUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(options.gapUs));
  }
  terminal.PIODIO_DriverClose();

  std::printf("changes %d, requests %llu, not arrived within 1 s %d\n", options.changes,
              static_cast<unsigned long long>(server.writeRequests()), lost);
  std::printf("writer's port writes (us):   p50 %.2f  p99 %.2f  max %.2f\n", percentileUs(writeUs, 0.5),
              percentileUs(writeUs, 0.99), percentileUs(writeUs, 1.0));
  std::printf("table to coils changed (us): p50 %.1f  p99 %.1f  max %.1f\n", percentileUs(arrivalUs, 0.5),
              percentileUs(arrivalUs, 0.99), percentileUs(arrivalUs, 1.0));
  return lost == 0 ? 0 : 1;
}
