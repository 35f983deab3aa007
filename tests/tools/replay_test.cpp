#include "engine/replay.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ejection/valve_outputs.h"
#include "engine/bmp_image.h"
#include "engine/bmp_row_reader.h"
#include "engine/object_tracker.h"
#include "engine/product_curtain.h"
#include "engine/reject_decision.h"
#include "engine/replay_annotation.h"
#include "platform/recording_digital_board.h"
#include "tools/offline_sorter.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

namespace fs = std::filesystem;

constexpr int kCaptureLines = 2500;
constexpr std::uint32_t kBoardBase = 0xE000;

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

ToolRun run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = runTool(args, out, err);
  return {code, out.str(), err.str()};
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// Wired outputs the board was last told (bit output - 1), from the data ports of its latest writes.
std::uint64_t boardOutputs(const RecordingDigitalBoard& board, std::uint64_t previous) {
  std::uint64_t open = previous;
  for (const RecordingDigitalBoard::Call& call : board.outputs()) {
    for (int g = 0; g < 6; ++g) {
      if (call.address != kBoardBase + kValvePorts[g]) continue;
      open &= ~(std::uint64_t{0xFF} << (8 * g));
      open |= std::uint64_t{static_cast<std::uint8_t>(call.value)} << (8 * g);
    }
  }
  return open;
}

// What a replay reported.
struct Recorded : ReplaySink {
  std::vector<ReplayObject> objects;
  std::vector<ReplayValveChange> changes;
  void object(const ReplayObject& o) override { objects.push_back(o); }
  void valveChange(const ReplayValveChange& c) override { changes.push_back(c); }
};

class ReplayTest : public ::testing::Test {
 protected:
  ReplayTest() {
    std::string pattern = (fs::temp_directory_path() / "replay_test_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
  }
  ~ReplayTest() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  // A calibrated machine (four blocks over pixels 1..2048 on both sides), 20 lines delay, 5 lines
  // pulse; program 0 rejects every object with colour-2 pixels (the curtain's defect spots).
  std::string writeSettings(const std::string& extra = "") const {
    const std::string file = path("TolvaneGrain.ini");
    std::ofstream ini(file, std::ios::binary);
    ini << "[options]\r\nActiveProg=0\r\nTimeLabel_Caption=005\r\nDelayLabel_Caption=020\r\n"
           "MinVesLabel_Caption=004\r\nMaxTimeLabel_Caption=300\r\nMaxObjectLabel_Caption=200\r\n";
    for (int n = 0; n < 4; ++n) {
      for (const char* side : {"A", "B"}) {
        ini << "Egec" << side << n << '=' << 1 + 512 * n << "\r\n";
        ini << "Egec" << side << 'x' << n << '=' << 1 + 512 * (n + 1) << "\r\n";
      }
    }
    ini << "[program0]\r\nFonMin=200\r\nFonMax=255\r\nFonBlack=0\r\nFonLight=200\r\nP1Min=0\r\nP1Max=150\r\n"
           "P2Min=150\r\nP2Max=200\r\nifAND=0\r\nenP1=0\r\nenP2=1\r\nifP2=0\r\nbP2=1\r\n"
        << extra;
    return file;
  }

  // The product curtain as camera 1 would have delivered it, stored as the line capture stores lines.
  std::string writeCapture(const std::string& name, int lines, int width = kPixelsPerLine) const {
    const std::string file = path(name);
    CurtainOptions options;
    options.seed = 13;
    options.defectShare = 0.3;
    ProductCurtain curtain(options);
    std::vector<std::uint8_t> line(kLineElements);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    BmpRowWriter writer(file, width, lines);
    for (int y = 0; y < lines; ++y) {
      curtain.nextMonoLine(line);
      for (int x = 0; x < width; ++x) {
        const std::uint8_t grey = line[static_cast<std::size_t>(x) + 1];
        row[3 * static_cast<std::size_t>(x)] = row[3 * static_cast<std::size_t>(x) + 1] =
            row[3 * static_cast<std::size_t>(x) + 2] = grey;
      }
      writer.writeRow(y, row);
    }
    writer.finish();
    return file;
  }

  fs::path dir_;
};

std::unique_ptr<OfflineSorter> loadSettings(const std::string& settings) {
  std::ostringstream out, err;
  ToolIo io{out, err};
  auto s = loadOfflineSorter({settings}, 0, "test", io);
  applySingleToneFill(*s->state, s->sorter);
  return s;
}

TEST_F(ReplayTest, ReplayGivesTheObjectsAndValveChangesOfCameraOneDrivenLineByLine) {
  const std::string settings = writeSettings();
  const std::string capture = writeCapture("capture.bmp", kCaptureLines);

  // Sorting with camera 2 off: camera 1's thread analyses each line, counts it and runs the ejection
  // step with its valve write, line after line.
  std::vector<ReplayObject> judged;
  std::vector<ReplayValveChange> changes;
  std::int32_t seen = 0;
  std::int32_t rejected = 0;
  {
    const auto s = loadSettings(settings);
    EngineState& state = *s->state;
    CameraLineState& camera = *s->camera1;
    RecordingDigitalBoard board;
    board.setFound(true, kBoardBase);
    BoardValveOutput output(board);
    CurtainOptions options;
    options.seed = 13;
    options.defectShare = 0.3;
    ProductCurtain curtain(options);
    std::uint64_t open = 0;
    for (int y = 0; y < kCaptureLines; ++y) {
      curtain.nextMonoLine(camera.LineMono);
      analyseLine(state, camera, s->sorter, s->machine, camera.LineCounter.load());
      camera.countLine();
      const std::int64_t now = camera.LineCounter.load();
      std::vector<int> due;
      for (int k = 1; k <= state.ObjectCount; ++k) {
        const ObjectRecord& r = state.ObjectTable[k];
        if (r.Open == 0 && r.InUse != 0 && r.Done == 0 && r.DueAt <= now && r.Mass > 10) due.push_back(k);
      }
      board.clear();
      runEjectionPass(state, s->sorter, s->machine, now, false, &output);
      for (int k : due) {
        ObjectRecord& r = state.ObjectTable[k];
        ReplayObject o;
        o.firstLine = r.FirstLine;
        o.xMin = r.XMin;
        o.xMax = r.XMax;
        o.mass = r.Mass;
        o.ejector = r.Ejector;
        o.outcome = IsReject(r, s->sorter) ? ReplayOutcome::Rejected : ReplayOutcome::Kept;
        o.endLine = y;
        judged.push_back(o);
      }
      const std::uint64_t after = boardOutputs(board, open);
      for (int m = 1; m <= kWiredOutputs; ++m) {
        const std::uint64_t bit = std::uint64_t{1} << (m - 1);
        if ((after & bit) != (open & bit)) changes.push_back({y, m, (after & bit) != 0});
      }
      open = after;
    }
    seen = state.ejection.EngineCounters.seen(kSideA);
    rejected = state.ejection.EngineCounters.rejected(kSideA);
  }
  ASSERT_GT(std::count_if(judged.begin(), judged.end(),
                          [](const ReplayObject& o) { return o.outcome == ReplayOutcome::Rejected; }),
            5);
  ASSERT_GT(std::count_if(judged.begin(), judged.end(),
                          [](const ReplayObject& o) { return o.outcome == ReplayOutcome::Kept; }),
            50);
  ASSERT_FALSE(changes.empty());

  // The replay of the stored lines, valves written to a recording board.
  Recorded recorded;
  {
    const auto s = loadSettings(settings);
    RecordingDigitalBoard board;
    board.setFound(true, kBoardBase);
    BoardValveOutput output(board);
    std::uint64_t open = 0;
    CaptureReplay replay(*s->state, *s->camera1, s->sorter, s->machine, &output, recorded, [&] {
      open = boardOutputs(board, open);
      board.clear();
      return open;
    });
    BmpRowReader reader(capture);
    for (int y = 0; y < reader.height(); ++y) replay.feed(reader.row(y));
    replay.finish();
  }
  std::vector<ReplayObject> replayJudged;
  for (ReplayObject o : recorded.objects) {
    if (o.outcome != ReplayOutcome::Kept && o.outcome != ReplayOutcome::Rejected) continue;
    ReplayObject key;  // the fields the direct drive recorded
    key.firstLine = o.firstLine;
    key.xMin = o.xMin;
    key.xMax = o.xMax;
    key.mass = o.mass;
    key.ejector = o.ejector;
    key.outcome = o.outcome;
    key.endLine = o.endLine;
    replayJudged.push_back(key);
  }
  const auto order = [](const ReplayObject& a, const ReplayObject& b) {
    return std::tie(a.endLine, a.firstLine, a.xMin) < std::tie(b.endLine, b.firstLine, b.xMin);
  };
  std::sort(judged.begin(), judged.end(), order);
  std::sort(replayJudged.begin(), replayJudged.end(), order);
  EXPECT_EQ(replayJudged, judged);
  EXPECT_EQ(recorded.changes, changes);
  // Every object the step counted is reported as judged, and nothing else is.
  EXPECT_EQ(static_cast<std::int32_t>(replayJudged.size()), seen);
  EXPECT_EQ(std::count_if(replayJudged.begin(), replayJudged.end(),
                          [](const ReplayObject& o) { return o.outcome == ReplayOutcome::Rejected; }),
            rejected);

  // The command prints the same objects and counts the valve openings as shots.
  const ToolRun r = run({"replay", capture, settings, "--out", path("annotated.bmp")});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<std::string> out = linesOf(r.out);
  const auto printed =
      std::count_if(out.begin(), out.end(), [](const std::string& l) { return l.rfind("line ", 0) == 0; });
  EXPECT_EQ(printed, static_cast<std::ptrdiff_t>(recorded.objects.size()));
  EXPECT_NE(r.out.find("\nrejects " + std::to_string(rejected) + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("lines " + std::to_string(kCaptureLines) + "\n"), std::string::npos);
  const auto openings =
      std::count_if(changes.begin(), changes.end(), [](const ReplayValveChange& c) { return c.open; });
  const std::size_t shots = r.out.find("\nshots ");
  ASSERT_NE(shots, std::string::npos);
  int shotSum = 0;
  std::istringstream shotLine(r.out.substr(shots + 7, r.out.find('\n', shots + 1) - shots - 7));
  for (std::string word; shotLine >> word;) {
    if (!word.empty() && std::isdigit(static_cast<unsigned char>(word[0])) && word.back() != ':') {
      shotSum += std::stoi(word);
    }
  }
  EXPECT_EQ(shotSum, openings) << r.out.substr(shots);

  // The annotated picture: the capture, frames, and the valve bars on the right.
  const BmpImage annotated = BmpImage::load(path("annotated.bmp"));
  ASSERT_EQ(annotated.width(), kPixelsPerLine + ReplayAnnotator::kBarColumns);
  ASSERT_EQ(annotated.height(), kCaptureLines);
  const ReplayObject& reject = *std::find_if(judged.begin(), judged.end(), [](const ReplayObject& o) {
    return o.outcome == ReplayOutcome::Rejected;
  });
  EXPECT_EQ(annotated.at(reject.xMin - 2, static_cast<int>(reject.firstLine) + 2), kReplayRejectFrame);
  EXPECT_EQ(annotated.at(reject.xMax - 1, static_cast<int>(reject.firstLine) + 2), kReplayRejectFrame);
  const ReplayObject& kept = *std::find_if(
      judged.begin(), judged.end(), [](const ReplayObject& o) { return o.outcome == ReplayOutcome::Kept; });
  EXPECT_EQ(annotated.at(kept.xMin - 2, static_cast<int>(kept.firstLine) + 1), kReplayKeptFrame);
  const ReplayValveChange& opening =
      *std::find_if(changes.begin(), changes.end(), [](const ReplayValveChange& c) { return c.open; });
  const int bar =
      kPixelsPerLine + ReplayAnnotator::kBarGap + (opening.output - 1) * ReplayAnnotator::kBarWidth;
  EXPECT_EQ(annotated.at(bar, static_cast<int>(opening.line)), kReplayValveOpen);
  EXPECT_EQ(annotated.at(bar, static_cast<int>(opening.line) - 1), kReplayValveClosed);
  // A pixel away from every object keeps the capture's value.
  const BmpImage source = BmpImage::load(capture);
  EXPECT_EQ(annotated.at(0, 0), source.at(0, 0));
}

TEST_F(ReplayTest, BadInputsGiveAClearMessage) {
  const std::string settings = writeSettings();
  const std::string good = writeCapture("good.bmp", 40);
  std::vector<std::uint8_t> bytes;
  {
    std::ifstream in(good, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const auto writeBytes = [&](const std::string& name, std::vector<std::uint8_t> b) {
    std::ofstream(path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return path(name);
  };
  std::vector<std::uint8_t> eightBit = bytes;
  eightBit[28] = 8;
  std::vector<std::uint8_t> zeroHeight = bytes;
  ASSERT_GT(zeroHeight.size(), 54u);
  for (std::size_t i = 22; i < 26; ++i) zeroHeight[i] = 0;  // the height field
  std::vector<std::uint8_t> truncated(bytes.begin(),
                                      bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));

  struct Case {
    const char* name;
    std::vector<std::string> args;
    int code;
    const char* message;  // in the error output
  };
  const std::vector<Case> cases = {
      {"not a bitmap",
       {"replay",
        writeBytes("text.bmp", {'h', 'e', 'l', 'l', 'o', '!', '!', '!', '!', '!', '!', '!', '!', '!', '!',
                                '!', '!', '!'}),
        settings},
       1,
       "not a bitmap"},
      {"8-bit picture", {"replay", writeBytes("grey.bmp", eightBit), settings}, 1, "only 24-bit"},
      {"truncated", {"replay", writeBytes("half.bmp", truncated), settings}, 1, "truncated"},
      {"zero height", {"replay", writeBytes("flat.bmp", zeroHeight), settings}, 1, "empty bitmap"},
      {"narrower than the line",
       {"replay", writeCapture("narrow.bmp", 40, 1000), settings},
       1,
       "narrower than the camera line"},
      {"missing capture", {"replay", path("none.bmp"), settings}, 1, "none.bmp"},
      {"missing settings", {"replay", good, path("none.ini")}, 0, "using the default settings"},
      {"no arguments", {"replay"}, 2, "usage"},
      {"--out without a file", {"replay", good, settings, "--out"}, 2, "usage"},
      {"bad program", {"replay", good, settings, "12"}, 2, "PROGRAM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolRun r = run(c.args);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    if (c.code != 0) {
      EXPECT_EQ(r.out, "");
    } else {
      EXPECT_NE(r.out.find("lines 40\n"), std::string::npos) << r.out;
    }
  }
  // A failed run leaves no annotated picture behind.
  EXPECT_EQ(run({"replay", path("half.bmp"), settings, "--out", path("half_out.bmp")}).code, 1);
  EXPECT_FALSE(fs::exists(path("half_out.bmp")));
}

TEST_F(ReplayTest, LongCaptureReplaysInBoundedMemory) {
  // 100 000 lines of a narrow picture: the default machine reads no pixel past the first.
  constexpr int kLines = 100000;
  constexpr int kWidth = 16;
  {
    BmpRowWriter writer(path("long.bmp"), kWidth, kLines);
    std::vector<std::uint8_t> row(kWidth * 3);
    for (int y = 0; y < kLines; ++y) {
      std::fill(row.begin(), row.end(), static_cast<std::uint8_t>(y));
      writer.writeRow(y, row);
    }
    writer.finish();
  }
  OfflineSorter s;
  prepareCameraForRun(*s.camera1, *s.state, s.machine);
  BmpRowReader reader(path("long.bmp"));
  ReplayAnnotator annotator(path("long_out.bmp"), reader.columns(), reader.height(),
                            ReplayAnnotator::windowRowsFor(s.machine));
  CaptureReplay replay(*s.state, *s.camera1, s.sorter, s.machine, nullptr, annotator);
  const std::size_t readerBytes = reader.bufferBytes();
  const std::size_t annotatorBytes = annotator.bufferBytes();
  for (int y = 0; y < kLines; ++y) replay.feed(reader.row(y));
  replay.finish();
  annotator.finish();
  EXPECT_EQ(replay.lines(), kLines);
  EXPECT_EQ(readerBytes, std::size_t{kWidth} * 3) << "one row";
  EXPECT_EQ(reader.bufferBytes(), readerBytes);
  EXPECT_EQ(annotator.bufferBytes(), annotatorBytes);
  EXPECT_LT(annotator.windowRows(), 2000);
  EXPECT_EQ(annotatorBytes,
            static_cast<std::size_t>(annotator.windowRows()) * (kWidth + ReplayAnnotator::kBarColumns) * 3);

  BmpRowReader out(path("long_out.bmp"));
  ASSERT_EQ(out.height(), kLines);
  for (int y : {0, 1, kLines / 2, kLines - annotator.windowRows(), kLines - 1}) {
    EXPECT_EQ(out.row(y)[0], static_cast<std::uint8_t>(y)) << "row " << y;
  }
}

TEST_F(ReplayTest, RowsBecomeCameraLinesAndUncoveredPixelsShowThePlate) {
  const std::vector<std::uint8_t> row = {10, 20, 30, 40, 50, 60, 70, 80, 90};  // three pixels
  for (const bool mono : {true, false}) {
    SCOPED_TRACE(mono ? "single-tone" : "colour");
    OfflineSorter s;
    s.state->singleToneCamera = mono;
    s.state->BackgroundFill = {1, 2, 3};
    prepareCameraForRun(*s.camera1, *s.state, s.machine);
    Recorded sink;
    CaptureReplay replay(*s.state, *s.camera1, s.sorter, s.machine, nullptr, sink);
    const CameraLineState& line = *s.camera1;
    replay.feed(std::vector<std::uint8_t>(kLineBufferPixels * 3 + 30, 99));  // wider than the buffer
    replay.feed(row);
    EXPECT_EQ(line.LineCounter.load(), 2) << "counted per row";
    if (mono) {
      EXPECT_EQ(line.LineMono[1], 10);
      EXPECT_EQ(line.LineMono[3], 70);
      const std::uint8_t plate = line.LineMono[4];
      EXPECT_EQ(line.classifier.grey(plate), kClassBackground);
      EXPECT_NE(line.classifier.grey(static_cast<std::uint8_t>(plate + 1)), kClassBackground)
          << "the brightest background grey";
      EXPECT_EQ(line.LineMono[kLineBufferPixels], plate);
    } else {
      EXPECT_TRUE(std::equal(row.begin(), row.end(), line.LineRGB.begin() + 3));
      for (int p : {4, 2048, kLineBufferPixels}) {
        EXPECT_EQ(line.LineRGB[3 * static_cast<std::size_t>(p)], 1) << p;
        EXPECT_EQ(line.LineRGB[3 * static_cast<std::size_t>(p) + 2], 3) << p;
      }
    }
  }
}

}  // namespace
}  // namespace tolvane::tool
