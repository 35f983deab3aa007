// What the machine itself allows: two threads scheduled as the camera threads are (processor 1 and
// 2, real-time when permitted) that only sleep until each line time and note how late they woke.
// Lines that the simulated run reports as late but that this baseline also shows come from the
// machine's scheduling, not from the program.
//
//   build/bin/wakeup_jitter_bench [--rate HZ] [--seconds S]

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "platform/line_latency_probe.h"
#include "platform/thread_priority.h"

namespace {

struct Options {
  double rate = 10'000;
  double seconds = 20;
};

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const double value = std::atof(argv[++i]);
    if (a == "--rate" && value >= 1 && value <= 1e6) {
      o.rate = value;
    } else if (a == "--seconds" && value > 0 && value <= 3600) {
      o.seconds = value;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, o)) {
    std::cerr << "usage: wakeup_jitter_bench [--rate 1..1000000] [--seconds 0..3600]\n";
    return 2;
  }
  using Clock = std::chrono::steady_clock;
  const double periodNs = 1e9 / o.rate;
  const auto lines = static_cast<long long>(o.rate * o.seconds);
  const Clock::time_point start = Clock::now() + std::chrono::milliseconds(10);

  tolvane::LatencyHistogram lateness[2];
  std::atomic<long long> late[2] = {0, 0};
  bool realTime[2] = {false, false};
  auto run = [&](int camera) {
    realTime[camera] = tolvane::applyCameraThreadScheduling(camera + 1).realTime;
    for (long long n = 0; n < lines; ++n) {
      const Clock::time_point due = start + std::chrono::nanoseconds(static_cast<long long>(n * periodNs));
      std::this_thread::sleep_until(due);
      const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - due).count();
      lateness[camera].record(ns);
      if (static_cast<double>(ns) > periodNs) late[camera].fetch_add(1, std::memory_order_relaxed);
    }
  };
  std::thread first(run, 0), second(run, 1);
  first.join();
  second.join();

  std::cout << "rate_hz=" << o.rate << "\nseconds=" << o.seconds << '\n';
  for (int c = 0; c < 2; ++c) {
    const std::string name = "thread" + std::to_string(c + 1);
    std::cout << name << "_realtime=" << (realTime[c] ? 1 : 0) << '\n'
              << name << "_wakeups=" << lateness[c].count() << '\n'
              << name << "_late=" << late[c].load() << '\n'
              << name << "_lateness_p50_us=" << static_cast<double>(lateness[c].percentileNs(0.5)) / 1000 << '\n'
              << name << "_lateness_p99_us=" << static_cast<double>(lateness[c].percentileNs(0.99)) / 1000 << '\n'
              << name << "_lateness_max_us=" << static_cast<double>(lateness[c].maxNs()) / 1000 << '\n';
  }
  return 0;
}
