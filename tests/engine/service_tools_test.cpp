// The service page's cores: the object buffer dump, text and capture files, the research picture
// check that keeps memory bounded, the row-by-row research and emulation runs against the one-go
// runs, and the research picture itself.
#include "engine/service_tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/emulation_run.h"
#include "engine/research.h"
#include "engine/research_picture.h"
#include "engine/service_runs.h"
#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;

void calibrate(EngineState& state) {
  for (int j = 1; j <= kEjectorsPerSide; ++j) {
    EjectorZone& z = state.ejection.EjectorZones[j];
    z.aStart = z.bStart = 1 + (j - 1) * kPixelsPerLine / kEjectorsPerSide;
    z.aEnd = z.bEnd = 1 + j * kPixelsPerLine / kEjectorsPerSide;
  }
}

// A machine as a loaded single-tone program leaves it.
struct Rig {
  Rig() : camera1(0), camera2(1) {
    calibrate(state);
    state.BackgroundFill = {255, 255, 255};
    sorter.FonBlack[0] = sorter.FonBlack[1] = 1;
    sorter.enLength = true;
  }
  EngineState state;
  CameraLineState camera1;
  CameraLineState camera2;
  SorterSettings sorter;
  MachineSettings machine;
};

std::vector<std::string> splitCrlf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back(text.substr(at) + "<no CR LF>");
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

TEST(BufferDump, LineCountFollowsMaxObjectWithinTheTable) {
  struct Case {
    std::int32_t maxObject;
    std::size_t lines;
  };
  const Case cases[] = {{30, 272}, {10, 92}, {600, 5402}, {0, 2}, {-5, 2}, {5000, 2 + 1000 * 9}};
  EngineState state;
  for (const Case& c : cases) {
    std::vector<BufferDumpEntry> records(static_cast<std::size_t>(bufferDumpRecords(c.maxObject)));
    copyBufferDump(state, records);
    EXPECT_EQ(bufferDumpLines(7, records).size(), c.lines) << "MaxObject " << c.maxObject;
  }
}

TEST(BufferDump, NineLinesPerRecordFromTheRecordsFields) {
  EngineState state;
  ObjectRecord& rec = state.ObjectTable[2];
  rec.Open = 1;
  rec.InUse = 1;
  rec.Done = 0;
  rec.Camera = 1;
  rec.reserved64 = -3;
  rec.Verdict = 2;
  rec.DueAt = 123456;
  rec.Mass = 88;
  std::vector<BufferDumpEntry> records(2);
  copyBufferDump(state, records);
  const std::vector<std::string> lines = bufferDumpLines(4711, records);
  const std::vector<std::string> expected = {"время 4711",
                                             "",
                                             "========> Объект 1",
                                             "actived false",
                                             "ok false",
                                             "isFree false",
                                             "cam 0",
                                             "good 0",
                                             "sort 0",
                                             "TimeToShot 0",
                                             "ves 0",
                                             "========> Объект 2",
                                             "actived true",
                                             "ok true",
                                             "isFree false",
                                             "cam 1",
                                             "good -3",
                                             "sort 2",
                                             "TimeToShot 123456",
                                             "ves 88"};
  EXPECT_EQ(lines, expected);
}

TEST(ServiceText, LinesEndWithCrLfAndWriteFailuresBecomeAMessage) {
  test::TempDir dir;
  EXPECT_EQ(crlfText({}), "");
  EXPECT_EQ(crlfText({"a", "", "b"}), "a\r\n\r\nb\r\n");

  EXPECT_FALSE(writeServiceText(dir.path(), kCurrentObjectsName, {}).has_value());
  EXPECT_TRUE(fs::exists(dir / kCurrentObjectsName));
  EXPECT_EQ(fs::file_size(dir / kCurrentObjectsName), 0u);

  std::vector<BufferDumpEntry> records(30);
  ASSERT_FALSE(writeServiceText(dir.path(), kBufferDumpName, bufferDumpLines(1, records)).has_value());
  EXPECT_EQ(splitCrlf(test::readBytes(dir / kBufferDumpName)).size(), 272u);

  // A folder where the file should be: the write fails whoever runs the test.
  fs::create_directory(dir / "blocked.txt");
  EXPECT_EQ(writeServiceText(dir.path(), "blocked.txt", {"x"}), "Не удалось записать файл blocked.txt");
  EXPECT_EQ(writeServiceText(dir / "no-such-folder", kBufferDumpName, {"x"}),
            "Не удалось записать файл bufer.txt");
}

TEST(LineCapture, FileNameIsTheTimeOfDayAndThePictureKeepsTheRows) {
  std::tm local{};
  local.tm_year = 124;
  local.tm_mon = 4;
  local.tm_mday = 7;
  local.tm_hour = 14;
  local.tm_min = 5;
  local.tm_sec = 33;
  local.tm_isdst = -1;
  const std::time_t when = std::mktime(&local);
  EXPECT_EQ(captureFileName(when), "14_05_33.bmp");
  EXPECT_EQ(captureSavedMessage("14_05_33.bmp"), "Файл 14_05_33.bmp сохранен");

  std::vector<std::uint8_t> rows(3 * 4 * 2);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<std::uint8_t>(i * 10);
  const BmpImage picture = stripPicture(rows.data(), 4, 2);
  ASSERT_EQ(picture.width(), 4);
  ASSERT_EQ(picture.height(), 2);
  EXPECT_EQ(picture.at(0, 0), (BmpPixel{0, 10, 20}));
  EXPECT_EQ(picture.at(3, 1), (BmpPixel{210, 220, 230}));
}

// A bitmap header of the given sides and no pixels: enough for the size check, which must answer
// before anything the size of the picture is read.
std::string headerOnly(std::int32_t width, std::int32_t height) {
  std::string bytes(54, '\0');
  bytes[0] = 'B';
  bytes[1] = 'M';
  auto put = [&bytes](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
  };
  put(10, 54);
  put(14, 40);
  put(18, static_cast<std::uint32_t>(width));
  put(22, static_cast<std::uint32_t>(height));
  bytes[26] = 1;
  bytes[28] = 24;
  return bytes;
}

TEST(ResearchPictureCheck, MissingOrOversizedPicturesAreRefusedWithAMessage) {
  struct Case {
    const char* what;
    std::string bytes;  // empty: no file
    std::string message;
  };
  const std::string tooBig = "Рисунок test.bmp слишком велик: ";
  const std::string limit = " (наибольший 4097 x 4096)";
  const Case cases[] = {
      {"missing", "", "Нет файла test.bmp в папке программы"},
      {"16384 square", headerOnly(16384, 16384), tooBig + "16384 x 16384" + limit},
      {"long strip", headerOnly(2048, 65536), tooBig + "2048 x 65536" + limit},
      {"top-down, too tall", headerOnly(2048, -5000), tooBig + "2048 x 5000" + limit},
      {"one column too wide", headerOnly(4098, 10), tooBig + "4098 x 10" + limit},
      {"a line capture", headerOnly(2048, 4000), ""},
      {"largest", headerOnly(4097, 4096), ""},
      {"not a bitmap: the full read tells", "hello", ""},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    if (!c.bytes.empty()) test::writeBytes(dir / kResearchPictureName, c.bytes);
    EXPECT_EQ(researchPictureProblem(dir.path()).value_or(""), c.message) << c.what;
  }
}

TEST(ResearchRunSteps, RowByRowGivesWhatTheOneGoRunGives) {
  const BmpImage picture = makeResearchPicture();
  Rig once;
  const ResearchResult expected = runResearch(once.state, once.camera1, once.sorter, once.machine, picture);

  Rig stepped;
  ResearchRun run(picture);
  run.start(stepped.state, stepped.camera1, stepped.sorter, stepped.machine);
  EXPECT_EQ(run.caption(), "0 %");
  int rows = 0;
  while (run.step(stepped.state, stepped.camera1, stepped.sorter, stepped.machine)) {
    ++rows;
    if (rows == 100) {
      EXPECT_EQ(run.caption(), "50 %");
    }
  }
  EXPECT_EQ(rows, picture.height());
  EXPECT_TRUE(run.finished());
  const ResearchResult result = run.takeResult();
  EXPECT_FALSE(expected.labels.empty());
  EXPECT_EQ(result.labels, expected.labels);
  EXPECT_TRUE(result.output == expected.output);
  EXPECT_EQ(stepped.state.ObjectCount, once.state.ObjectCount);
}

TEST(EmulationRunSteps, RowByRowGivesWhatTheOneGoRunGives) {
  for (const bool singleTone : {true, false}) {
    const BmpImage picture = makeResearchPicture();
    Rig once;
    Rig stepped;
    once.state.singleToneCamera = stepped.state.singleToneCamera = singleTone;
    once.state.ObjectCount = stepped.state.ObjectCount = 5;  // left from earlier work
    runEmulation(once.state, once.camera1, once.camera2, once.sorter, once.machine, picture);

    EmulationRun run(picture);
    run.start(stepped.state, stepped.camera1, stepped.camera2);
    EXPECT_EQ(stepped.state.ObjectCount, 0);
    int rows = 0;
    while (run.step(stepped.state, stepped.camera1, stepped.camera2, stepped.sorter, stepped.machine)) ++rows;
    EXPECT_EQ(rows, 199);
    EXPECT_EQ(stepped.camera1.LineCounter.load(), 200);
    EXPECT_EQ(stepped.camera2.LineCounter.load(), 200);
    ASSERT_EQ(stepped.state.ObjectCount, once.state.ObjectCount) << "single-tone " << singleTone;
    for (int k = 1; k <= once.state.ObjectCount; ++k) {
      EXPECT_EQ(std::memcmp(&stepped.state.ObjectTable[k], &once.state.ObjectTable[k], sizeof(ObjectRecord)),
                0)
          << "record " << k << ", single-tone " << singleTone;
    }
  }
  EXPECT_THROW(EmulationRun{BmpImage(1200, 200)}, std::invalid_argument);
}

// Live objects of camera c the emulation left in the table (too small ones are done at once).
int objectsOf(const EngineState& state, int camera) {
  int n = 0;
  for (int k = 1; k <= state.ObjectCount; ++k) {
    const ObjectRecord& rec = state.ObjectTable[k];
    n += rec.InUse != 0 && rec.Done == 0 && rec.Camera == camera;
  }
  return n;
}

TEST(ResearchPicture, EachItemIsOneObjectForBothCamerasAndTheLongOnesAreMarked) {
  const BmpImage picture = makeResearchPicture();
  ASSERT_EQ(picture.width(), 1280);
  ASSERT_EQ(picture.height(), 200);
  EXPECT_TRUE(picture == makeResearchPicture());

  // Thirteen items, the touching pair two objects as the tracker sees them; the dust specks are too
  // small to stay. Both cameras' objects fit the default table of 30.
  Rig emulated;
  runEmulation(emulated.state, emulated.camera1, emulated.camera2, emulated.sorter, emulated.machine,
               picture);
  EXPECT_EQ(objectsOf(emulated.state, 0), 14);
  EXPECT_EQ(objectsOf(emulated.state, 1), 14);
  EXPECT_LE(emulated.state.ObjectCount, emulated.machine.MaxObject);

  Rig researched;
  const ResearchResult result =
      runResearch(researched.state, researched.camera1, researched.sorter, researched.machine, picture);
  EXPECT_EQ(result.labels.size(), 14u);
  // The straw piece and the awn are the elongated ones.
  std::vector<int> elongatedAt;
  for (const ResearchLabel& label : result.labels) {
    if (label.elongated) elongatedAt.push_back(label.xMin);
  }
  std::sort(elongatedAt.begin(), elongatedAt.end());
  ASSERT_EQ(elongatedAt.size(), 2u);
  EXPECT_NEAR(elongatedAt[0], 420 - 24, 4);
  EXPECT_NEAR(elongatedAt[1], 630 - 10, 6);
}

}  // namespace
}  // namespace tolvane
