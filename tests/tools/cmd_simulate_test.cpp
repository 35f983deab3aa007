#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

struct SimRun {
  int code;
  std::string out;
  std::string err;
  std::map<std::string, std::string> values;

  // Scores depend on timing only through lost lines: a loaded machine (or a sanitizer build) may lose
  // some, and then the valves miss items that the cameras never saw whole.
  bool noLinesLost() const { return num("camera1_lines_lost") == 0 && num("camera2_lines_lost") == 0; }

  double num(const std::string& name) const {
    const auto it = values.find(name);
    if (it == values.end()) {
      ADD_FAILURE() << "no " << name << " in the output:\n" << out;
      return -1;
    }
    return std::stod(it->second);
  }
};

SimRun run(std::vector<std::string> args) {
  args.insert(args.begin(), "simulate");
  std::ostringstream out, err;
  SimRun r;
  r.code = runTool(args, out, err);
  r.out = out.str();
  r.err = err.str();
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) r.values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return r;
}

// Short runs at a modest rate with ordinary priority, so the tests do not lean on the machine.
std::vector<std::string> shortRun(std::vector<std::string> more) {
  std::vector<std::string> args{"--lines", "6000", "--rate", "4000", "--no-realtime", "--seed", "7"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

std::string readBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CmdSimulate : public ::testing::Test {
 protected:
  CmdSimulate()
      : dir_(std::filesystem::temp_directory_path() / ("cmd_simulate_test_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(dir_);
  }
  ~CmdSimulate() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::filesystem::path dir_;
};

TEST_F(CmdSimulate, SortingRunReportsEveryFigureInRange) {
  const SimRun r = run(shortRun({}));
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* name : {"program",
                           "colour",
                           "rate_hz",
                           "product_pct",
                           "defects_pct",
                           "run_s",
                           "camera1_lines",
                           "camera1_lines_per_s",
                           "camera1_lines_lost",
                           "camera1_lines_late",
                           "camera1_lateness_p99_us",
                           "camera1_lateness_max_us",
                           "camera2_lines",
                           "camera2_lines_per_s",
                           "camera2_lines_lost",
                           "camera2_lines_late",
                           "objects_seen_a",
                           "objects_accepted_a",
                           "objects_rejected_a",
                           "objects_seen_b",
                           "objects_accepted_b",
                           "objects_rejected_b",
                           "valve_pulses",
                           "valve_edges_lost",
                           "items_defective",
                           "items_good",
                           "items_unreachable",
                           "items_pending",
                           "defects_removed",
                           "good_lost",
                           "defects_removed_pct",
                           "good_lost_pct",
                           "latency_samples",
                           "latency_p50_us",
                           "latency_p99_us",
                           "latency_max_us"}) {
    EXPECT_TRUE(r.values.count(name)) << name;
  }
  EXPECT_EQ(r.num("program"), 0);
  EXPECT_EQ(r.num("colour"), 0);
  // Camera 1 reached line 6000 of the stream; lines it lost still count as reached.
  EXPECT_GE(r.num("camera1_lines") + r.num("camera1_lines_lost"), 6000);
  EXPECT_GT(r.num("camera2_lines"), 0);
  EXPECT_GT(r.num("camera1_lines_per_s"), 0);
  // About one item a line, 5 % of them defective: both cameras see objects and reject some.
  EXPECT_GT(r.num("objects_seen_a"), 100);
  EXPECT_GT(r.num("objects_seen_b"), 100);
  EXPECT_GT(r.num("objects_rejected_a"), 0);
  EXPECT_GT(r.num("objects_rejected_b"), 0);
  EXPECT_EQ(r.num("objects_seen_a"), r.num("objects_accepted_a") + r.num("objects_rejected_a"));
  EXPECT_GT(r.num("valve_pulses"), 0);
  EXPECT_EQ(r.num("valve_edges_lost"), 0);
  EXPECT_GT(r.num("items_defective"), 0);
  EXPECT_GT(r.num("items_good"), r.num("items_defective"));
  EXPECT_EQ(r.num("items_unreachable"), 0);  // the bar covers the whole line
  EXPECT_LE(r.num("defects_removed"), r.num("items_defective"));
  EXPECT_LE(r.num("good_lost"), r.num("items_good"));
  EXPECT_GE(r.num("defects_removed_pct"), 0);
  EXPECT_LE(r.num("defects_removed_pct"), 100);
  EXPECT_GE(r.num("good_lost_pct"), 0);
  EXPECT_LE(r.num("good_lost_pct"), 100);
  // Every camera-1 pass with a line ends in a valve write.
  EXPECT_GT(r.num("latency_samples"), 0);
  EXPECT_LE(r.num("latency_p50_us"), r.num("latency_p99_us"));
  EXPECT_LE(r.num("latency_p99_us"), r.num("latency_max_us"));
}

TEST_F(CmdSimulate, GoodProductIsNeverRejectedAndDefectsAlways) {
  // Whatever the timing, the decision itself is fixed by the product's grey levels.
  const SimRun clean = run(shortRun({"--defects", "0"}));
  ASSERT_EQ(clean.code, 0) << clean.err;
  EXPECT_GT(clean.num("objects_seen_a"), 100);
  EXPECT_EQ(clean.num("objects_rejected_a"), 0);
  EXPECT_EQ(clean.num("objects_rejected_b"), 0);
  EXPECT_EQ(clean.num("valve_pulses"), 0);
  EXPECT_EQ(clean.num("items_defective"), 0);
  EXPECT_EQ(clean.num("good_lost"), 0);
  EXPECT_EQ(clean.num("defects_removed_pct"), 100);  // nothing to remove

  const SimRun dirty = run(shortRun({"--defects", "100"}));
  ASSERT_EQ(dirty.code, 0) << dirty.err;
  EXPECT_GT(dirty.num("objects_rejected_a"), 100);
  EXPECT_EQ(dirty.num("objects_accepted_a"), 0);
  EXPECT_EQ(dirty.num("objects_accepted_b"), 0);
  EXPECT_EQ(dirty.num("items_good"), 0);
  EXPECT_GT(dirty.num("valve_pulses"), 10);
  // The right valves open at the right time: a wrong valve or a wrong delay would blow out almost
  // nothing.
  EXPECT_GT(dirty.num("defects_removed"), 0);
  if (dirty.noLinesLost()) {
    EXPECT_GT(dirty.num("defects_removed_pct"), 50);
  }
}

TEST_F(CmdSimulate, EmptyCurtainGivesNothingToSort) {
  const SimRun r = run(shortRun({"--product", "0"}));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.num("product_pct"), 0);
  EXPECT_GE(r.num("camera1_lines") + r.num("camera1_lines_lost"), 6000);
  EXPECT_EQ(r.num("objects_seen_a"), 0);
  EXPECT_EQ(r.num("objects_seen_b"), 0);
  EXPECT_EQ(r.num("valve_pulses"), 0);
  EXPECT_EQ(r.num("items_good") + r.num("items_defective") + r.num("items_pending"), 0);
  EXPECT_EQ(r.num("defects_removed_pct"), 100);
  EXPECT_EQ(r.num("good_lost_pct"), 0);
}

TEST_F(CmdSimulate, ColourProgramSortsTheColourStream) {
  const SimRun clean = run(shortRun({"--colour", "--defects", "0"}));
  ASSERT_EQ(clean.code, 0) << clean.err;
  EXPECT_EQ(clean.num("program"), 1);
  EXPECT_EQ(clean.num("colour"), 1);
  EXPECT_GT(clean.num("objects_seen_a"), 100);
  EXPECT_EQ(clean.num("objects_rejected_a"), 0);
  EXPECT_EQ(clean.num("valve_pulses"), 0);

  const SimRun dirty = run(shortRun({"--colour", "--defects", "100"}));
  ASSERT_EQ(dirty.code, 0) << dirty.err;
  EXPECT_GT(dirty.num("objects_rejected_a"), 100);
  EXPECT_EQ(dirty.num("objects_accepted_a"), 0);
  EXPECT_GT(dirty.num("defects_removed"), 0);
  if (dirty.noLinesLost()) {
    EXPECT_GT(dirty.num("defects_removed_pct"), 50);
  }
}

TEST_F(CmdSimulate, BuiltInSettingsAreTheMachineFile) {
  const std::filesystem::path written = dir_ / "simulated.ini";
  const SimRun r = run({"--write-settings", written.string()});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string bytes = readBytes(written);
  EXPECT_EQ(bytes, readBytes(std::filesystem::path(TOLVANE_SOURCE_DIR) / "machine" / "simulated.ini"));
  // A settings file like any other: CR LF line ends, single-byte text.
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      ASSERT_EQ(bytes[i - 1], '\r') << "at byte " << i;
    }
    ASSERT_LT(static_cast<unsigned char>(bytes[i]), 0x80) << "at byte " << i;
  }
  EXPECT_EQ(run({"--write-settings", (dir_ / "no" / "such" / "folder.ini").string()}).code, 1);
}

TEST_F(CmdSimulate, SettingsFileAndProgramAreUsed) {
  const std::string machine =
      (std::filesystem::path(TOLVANE_SOURCE_DIR) / "machine" / "simulated.ini").string();
  // Program index 5 has no section: every condition off, so nothing is rejected although defects pass.
  const SimRun none = run(shortRun({"--settings", machine, "--program", "5"}));
  ASSERT_EQ(none.code, 0) << none.err;
  EXPECT_EQ(none.num("program"), 5);
  EXPECT_GT(none.num("objects_seen_a"), 100);
  EXPECT_EQ(none.num("objects_rejected_a"), 0);
  EXPECT_EQ(none.num("valve_pulses"), 0);
  EXPECT_GT(none.num("items_defective"), 0);
  EXPECT_EQ(none.num("defects_removed"), 0);

  // A machine that was never calibrated has empty ejector zones: objects are seen but none lies in a
  // zone, so nothing fires, and the bar cannot reach a single item.
  const std::filesystem::path bare = dir_ / "bare.ini";
  std::ofstream(bare, std::ios::binary) << "[options]\r\nActiveProg=0\r\n[program0]\r\nenP2=1\r\n";
  const SimRun uncalibrated = run(shortRun({"--settings", bare.string()}));
  ASSERT_EQ(uncalibrated.code, 0) << uncalibrated.err;
  EXPECT_GT(uncalibrated.num("objects_seen_a"), 0);
  EXPECT_EQ(uncalibrated.num("valve_pulses"), 0);
  EXPECT_GT(uncalibrated.num("items_good"), 0);
  EXPECT_EQ(uncalibrated.num("items_unreachable"),
            uncalibrated.num("items_good") + uncalibrated.num("items_defective"));

  const SimRun missing = run({"--settings", (dir_ / "none.ini").string()});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("none.ini"), std::string::npos);
}

TEST_F(CmdSimulate, BadArgumentsExitTwo) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--rate"},
           {"--rate", "0"},
           {"--rate", "fast"},
           {"--rate", "1e7"},
           {"--seconds", "-1"},
           {"--seconds", "2", "--lines", "100"},
           {"--lines", "0"},
           {"--lines", "1.5"},
           {"--defects", "101"},
           {"--product", "-1"},
           {"--product", "61"},
           {"--program", "10"},
           {"--seed", "-3"},
           {"--gap", "x"},
           {"--fifo", "0"},
           {"--lines-per-frame", "0"},
           {"--lines-per-frame", "4097"},
           {"--lines-per-frame", "8", "--fifo", "7"},
           {"--rate", "20000", "--fifo", "63"},
           {"--settings"},
           {"--turbo"},
           {"--write-settings"},
       }) {
    const SimRun r = run(args);
    EXPECT_EQ(r.code, 2) << args[0];
    EXPECT_EQ(r.out, "") << args[0];
    ASSERT_FALSE(r.err.empty()) << args[0];
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << args[0];
  }
}

// Faster cameras see the same fall in more lines: bar, item lengths and valve timing follow the rate,
// and frames are on from 20 000 lines/s. Runs of a few thousand lines only.
TEST_F(CmdSimulate, GeometryAndFramesFollowTheRate) {
  struct Case {
    std::vector<std::string> args;
    double rate;
    int linesPerFrame;
    double barLines;
    int time;  // Time of the built-in settings (14) at the run's geometry
  };
  const Case cases[] = {
      {{"--rate", "4000"}, 4000, 1, 40, 14},
      {{"--rate", "20000"}, 20000, 64, 80, 28},
      {{"--rate", "20000", "--lines-per-frame", "1"}, 20000, 1, 80, 28},
      {{"--rate", "30000", "--lines-per-frame", "16", "--bar-lines", "100"}, 30000, 16, 100, 42},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--lines", "3000", "--no-realtime", "--seed", "7"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(::testing::PrintToString(args));
    const SimRun r = run(args);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.num("rate_hz"), c.rate);
    EXPECT_EQ(r.num("lines_per_frame"), c.linesPerFrame);
    EXPECT_EQ(r.num("bar_lines"), c.barLines);
    EXPECT_EQ(r.num("time"), c.time);
    // The camera thread takes frames: valves act a frame and half a millisecond after their line;
    // Delay makes up for it.
    const double latency = r.num("valve_latency_lines");
    EXPECT_EQ(latency, c.linesPerFrame == 1 ? 0 : c.linesPerFrame + std::ceil(c.rate / 2000)) << latency;
    EXPECT_EQ(r.num("delay"), c.barLines + 2 - latency);
    EXPECT_GE(r.num("camera1_lines") + r.num("camera1_lines_lost"), 3000);
    EXPECT_LE(r.num("camera1_frames_lost") * c.linesPerFrame, r.num("camera1_lines_lost"));
    if (r.noLinesLost()) {
      EXPECT_GT(r.num("items_defective"), 0);
      EXPECT_GT(r.num("defects_removed"), 0);
    }
  }
}

}  // namespace
}  // namespace tolvane::tool
