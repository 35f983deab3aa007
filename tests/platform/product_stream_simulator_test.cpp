#include "platform/product_stream_simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tolvane {
namespace {

using Line = std::vector<std::uint8_t>;

ProductStreamConfig fastConfig(std::uint64_t seed = 7) {
  ProductStreamConfig config;
  config.seed = seed;
  config.waitForLineTime = false;
  return config;
}

// The start-up and thread-start calls in the order the camera thread makes them.
bool startCamera(CameraDriver& driver, std::int32_t index) {
  std::int32_t cameraIndex = index;
  float value = 0;
  return ccdSucceeded(driver.CCD_Init(nullptr, 0, &cameraIndex)) &&
         ccdSucceeded(driver.CCD_SetParameter(index, 10, 4.0f)) &&
         ccdSucceeded(driver.CCD_SetParameter(index, 5, 0.5f)) &&
         ccdSucceeded(driver.CCD_GetParameter(index, 7, &value)) &&
         ccdSucceeded(driver.CCD_GetParameter(index, 8, &value)) &&
         ccdSucceeded(driver.CCD_GetParameter(index, 4, &value)) && ccdSucceeded(driver.CCD_HitTest(index)) &&
         ccdSucceeded(driver.CCD_InitMeasuring(index)) && ccdSucceeded(driver.CCD_StartMeasuring(index));
}

std::vector<Line> readLines(ProductStreamSimulator& sim, std::int32_t camera, int count) {
  std::vector<Line> lines;
  Line buffer(kLineRgbBytes);
  for (int i = 0; i < count; ++i) {
    if (!ccdSucceeded(sim.CCD_GetDataByte(camera, buffer.data()))) break;
    lines.emplace_back(buffer.begin(), buffer.begin() + sim.bytesPerLine());
  }
  return lines;
}

// Clock that moves only when told to, or when a reader sleeps until a line's time.
class ManualClock : public LineClock {
 public:
  TimePoint now() override { return now_; }
  void sleepUntil(TimePoint when) override {
    ++sleeps;
    now_ = std::max(now_, when);
  }
  void advance(std::chrono::nanoseconds by) { now_ += by; }
  int sleeps = 0;

 private:
  TimePoint now_{std::chrono::seconds(1000)};
};

TEST(CcdResultTest, OnlyTheLowByteCounts) {
  EXPECT_TRUE(ccdSucceeded(1));
  EXPECT_TRUE(ccdSucceeded(0x101));
  EXPECT_TRUE(ccdSucceeded(-1));
  EXPECT_FALSE(ccdSucceeded(0));
  EXPECT_FALSE(ccdSucceeded(0x100));
  EXPECT_FALSE(ccdSucceeded(0x7FFFFF00));
}

TEST(ProductStreamSimulatorTest, CallOrderAndSuccessRules) {
  ProductStreamSimulator sim(fastConfig());
  Line buffer(kLineMonoBytes);
  float value = -1;

  // Nothing works before CCD_Init has found the camera.
  EXPECT_FALSE(ccdSucceeded(sim.CCD_SetParameter(0, 10, 4.0f)));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_GetParameter(0, 7, &value)));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_HitTest(0)));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_InitMeasuring(0)));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_StartMeasuring(0)));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_CameraReset(0)));

  std::int32_t index = 0;
  ASSERT_TRUE(ccdSucceeded(sim.CCD_Init(nullptr, 0, &index)));
  EXPECT_TRUE(ccdSucceeded(sim.CCD_HitTest(0)));
  // No lines before measuring runs; measuring needs InitMeasuring first.
  EXPECT_FALSE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_StartMeasuring(0)));
  ASSERT_TRUE(ccdSucceeded(sim.CCD_InitMeasuring(0)));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));
  ASSERT_TRUE(ccdSucceeded(sim.CCD_StartMeasuring(0)));
  EXPECT_TRUE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_GetDataByte(0, nullptr)));
  EXPECT_EQ(sim.lineStats(0).delivered, 1u);

  // Reset stops the lines; a new thread starts over from InitMeasuring without another CCD_Init.
  ASSERT_TRUE(ccdSucceeded(sim.CCD_CameraReset(0)));
  EXPECT_FALSE(sim.lineStats(0).measuring);
  EXPECT_FALSE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_StartMeasuring(0)));
  EXPECT_TRUE(ccdSucceeded(sim.CCD_HitTest(0)));
  ASSERT_TRUE(ccdSucceeded(sim.CCD_InitMeasuring(0)));
  ASSERT_TRUE(ccdSucceeded(sim.CCD_StartMeasuring(0)));
  EXPECT_TRUE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));
  // Lines go on from where the camera stopped.
  EXPECT_EQ(sim.lineStats(0).lastLine, 1);

  // Camera 2 is independent: still not initialised.
  EXPECT_FALSE(ccdSucceeded(sim.CCD_HitTest(1)));
}

TEST(ProductStreamSimulatorTest, InitReportsOnlyPresentCameras) {
  ProductStreamConfig config = fastConfig();
  config.cameraPresent = {true, false};
  ProductStreamSimulator sim(config);
  std::int32_t index = 0;
  EXPECT_TRUE(ccdSucceeded(sim.CCD_Init(nullptr, 0, &index)));
  index = 1;
  EXPECT_FALSE(ccdSucceeded(sim.CCD_Init(nullptr, 0, &index)));
  EXPECT_FALSE(startCamera(sim, 1));
  index = 2;
  EXPECT_FALSE(ccdSucceeded(sim.CCD_Init(nullptr, 0, &index)));
  index = -1;
  EXPECT_FALSE(ccdSucceeded(sim.CCD_Init(nullptr, 0, &index)));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_Init(nullptr, 0, nullptr)));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_HitTest(7)));
  EXPECT_TRUE(startCamera(sim, 0));
}

TEST(ProductStreamSimulatorTest, ParametersDescribeTheLine) {
  ProductStreamSimulator sim(fastConfig());
  ASSERT_TRUE(startCamera(sim, 0));
  float value = 0;
  ASSERT_TRUE(ccdSucceeded(sim.CCD_GetParameter(0, 7, &value)));
  EXPECT_EQ(value, 2048.0f);
  ASSERT_TRUE(ccdSucceeded(sim.CCD_GetParameter(0, 4, &value)));
  EXPECT_EQ(value, 2048.0f);
  ASSERT_TRUE(ccdSucceeded(sim.CCD_GetParameter(0, 8, &value)));
  EXPECT_EQ(value, 1.0f);
  ASSERT_TRUE(ccdSucceeded(sim.CCD_GetParameter(0, 10, &value)));
  EXPECT_EQ(value, 4.0f);  // as set by startCamera
  ASSERT_TRUE(ccdSucceeded(sim.CCD_GetParameter(0, 5, &value)));
  EXPECT_EQ(value, 0.5f);
  EXPECT_FALSE(ccdSucceeded(sim.CCD_GetParameter(0, 32, &value)));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_GetParameter(0, -1, &value)));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_GetParameter(0, 7, nullptr)));
  EXPECT_FALSE(ccdSucceeded(sim.CCD_SetParameter(0, 99, 1.0f)));
}

TEST(ProductStreamSimulatorTest, WritesExactlyOneLineOfTheCameraKind) {
  for (const bool colour : {false, true}) {
    ProductStreamConfig config = fastConfig();
    config.colour = colour;
    ProductStreamSimulator sim(config);
    ASSERT_TRUE(startCamera(sim, 0));
    Line buffer(kLineRgbBytes, 0xEE);
    ASSERT_TRUE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));
    const std::size_t written = colour ? 3 * 2048 : 2048;
    EXPECT_EQ(sim.bytesPerLine(), static_cast<int>(written));
    EXPECT_TRUE(std::all_of(buffer.begin() + written, buffer.end(), [](std::uint8_t b) { return b == 0xEE; }))
        << "colour=" << colour;
    if (!colour) {
      // A bright plate.
      EXPECT_GT(*std::max_element(buffer.begin(), buffer.begin() + 2048), 220);
    } else {
      // A blue-ish plate: at the plate pixels blue is the largest channel.
      int bluePixels = 0;
      for (std::size_t p = 0; p < 2048; ++p) bluePixels += buffer[3 * p + 2] > buffer[3 * p] + 50;
      EXPECT_GT(bluePixels, 1024);
    }
  }
}

TEST(ProductStreamSimulatorTest, SameSeedGivesSameLinesAndItems) {
  ProductStreamSimulator a(fastConfig(11));
  ProductStreamSimulator b(fastConfig(11));
  ProductStreamSimulator other(fastConfig(12));
  ASSERT_TRUE(startCamera(a, 0));
  ASSERT_TRUE(startCamera(other, 0));
  const std::vector<Line> linesA = readLines(a, 0, 3000);
  ASSERT_EQ(linesA.size(), 3000u);

  // b is reached out of order and without the call protocol: the stream must not care.
  Line buffer(kLineMonoBytes);
  b.renderLine(0, 2999, buffer.data());
  EXPECT_EQ(Line(buffer.begin(), buffer.begin() + 2048), linesA[2999]);
  for (int n = 0; n < 3000; ++n) {
    b.renderLine(0, n, buffer.data());
    ASSERT_EQ(Line(buffer.begin(), buffer.begin() + 2048), linesA[static_cast<std::size_t>(n)])
        << "line " << n;
  }
  EXPECT_EQ(a.groundTruth(), b.groundTruth());
  EXPECT_GT(a.groundTruth().size(), 100u);

  EXPECT_NE(readLines(other, 0, 3000), linesA);
  EXPECT_NE(other.groundTruth(), a.groundTruth());
}

TEST(ProductStreamSimulatorTest, TwoCameraThreadsSeeTheSameCurtain) {
  ProductStreamConfig config = fastConfig(5);
  config.oneSidedDefectShare = 0.5;
  config.defectShare = 0.3;
  ProductStreamSimulator sim(config);
  ASSERT_TRUE(startCamera(sim, 0));
  ASSERT_TRUE(startCamera(sim, 1));
  std::vector<Line> lines0, lines1;
  std::thread t0([&] { lines0 = readLines(sim, 0, 4000); });
  std::thread t1([&] { lines1 = readLines(sim, 1, 4000); });
  t0.join();
  t1.join();
  ASSERT_EQ(lines0.size(), 4000u);
  ASSERT_EQ(lines1.size(), 4000u);

  // The items do not depend on which thread got ahead.
  ProductStreamSimulator reference(config);
  Line buffer(kLineMonoBytes);
  reference.renderLine(1, 3999, buffer.data());
  EXPECT_EQ(Line(buffer.begin(), buffer.begin() + 2048), lines1[3999]);
  const std::vector<ProductItem> items = sim.groundTruth();
  EXPECT_EQ(items, reference.groundTruth());

  // Same items at the same pixels; a defect seen from one side only darkens that camera's view.
  int oneSided = 0;
  for (const ProductItem& item : items) {
    if (item.lastLine >= 4000) continue;
    const std::size_t centre = static_cast<std::size_t>(std::lround(item.xCentre)) - 1;
    const std::size_t line = static_cast<std::size_t>((item.firstLine + item.lastLine) / 2);
    const bool dark0 = lines0[line][centre] < 110;
    const bool dark1 = lines1[line][centre] < 110;
    EXPECT_EQ(dark0, (item.defectCameras & 1) != 0) << "item " << item.id;
    EXPECT_EQ(dark1, (item.defectCameras & 2) != 0) << "item " << item.id;
    EXPECT_EQ(item.defective, item.defectCameras != 0);
    oneSided += item.defectCameras == 1 || item.defectCameras == 2;
  }
  EXPECT_GT(oneSided, 50);
}

// Product share and defect share over a long stretch, single-tone and colour.
TEST(ProductStreamSimulatorTest, SharesAreRoughlyAsSet) {
  struct Case {
    bool colour;
    double productShare;
    int minWidth, maxWidth;
  };
  for (const Case c : {Case{false, 0.08, 8, 16}, Case{true, 0.08, 8, 16}, Case{false, 0.25, 20, 30}}) {
    ProductStreamConfig config = fastConfig(3);
    config.colour = c.colour;
    config.productShare = c.productShare;
    config.minItemWidth = c.minWidth;
    config.maxItemWidth = c.maxWidth;
    ProductStreamSimulator sim(config);
    ASSERT_TRUE(startCamera(sim, 0));
    const int lineCount = 20000;
    Line buffer(kLineRgbBytes);
    std::uint64_t product = 0;
    for (int n = 0; n < lineCount; ++n) {
      ASSERT_TRUE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));
      for (std::size_t p = 0; p < 2048; ++p) {
        // Plate: grey 230 or blue 200; product: grey <= 165 or blue <= 110.
        product += c.colour ? buffer[3 * p + 2] < 150 : buffer[p] < 200;
      }
    }
    const double share = static_cast<double>(product) / (2048.0 * lineCount);
    EXPECT_NEAR(share, c.productShare, c.productShare * 0.2) << "colour=" << c.colour;

    int finished = 0, defective = 0;
    for (const ProductItem& item : sim.groundTruth()) {
      if (item.lastLine >= lineCount) continue;
      ++finished;
      defective += item.defective;
    }
    ASSERT_GT(finished, 1000);
    EXPECT_NEAR(static_cast<double>(defective) / finished, 0.05, 0.015);
  }
}

// Every product pixel belongs to exactly one item's reported extent, and each extent is tight.
TEST(ProductStreamSimulatorTest, GroundTruthMatchesThePixels) {
  for (const bool colour : {false, true}) {
    ProductStreamConfig config = fastConfig(21);
    config.colour = colour;
    config.defectShare = 0.2;
    config.minItemWidth = 3;
    config.maxItemWidth = 24;
    config.minElongation = 0.5;
    config.maxElongation = 3.0;
    ProductStreamSimulator sim(config);
    ASSERT_TRUE(startCamera(sim, 0));
    const int lineCount = 3000;
    const std::vector<Line> lines = readLines(sim, 0, lineCount);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(lineCount));
    const auto isProduct = [&](std::int64_t n, int p) {
      const Line& line = lines[static_cast<std::size_t>(n)];
      return colour ? line[3 * static_cast<std::size_t>(p - 1) + 2] < 150
                    : line[static_cast<std::size_t>(p - 1)] < 200;
    };
    const auto isDefect = [&](std::int64_t n, int p) {
      const Line& line = lines[static_cast<std::size_t>(n)];
      // Defect: grey <= 85 or red <= 100; good product: grey >= 110 or red >= 160.
      return colour ? line[3 * static_cast<std::size_t>(p - 1)] < 130
                    : line[static_cast<std::size_t>(p - 1)] < 100;
    };

    const std::vector<ProductItem> items = sim.groundTruth();
    std::vector<std::vector<int>> owners(static_cast<std::size_t>(lineCount), std::vector<int>(2049, 0));
    for (const ProductItem& item : items) {
      ASSERT_GE(item.left, 1);
      ASSERT_LE(item.right, 2048);
      ASSERT_EQ(item.width, item.right - item.left + 1);
      ASSERT_EQ(item.heightLines, item.lastLine - item.firstLine + 1);
      ASSERT_GE(item.xCentre, item.left);
      ASSERT_LE(item.xCentre, item.right);
      for (std::int64_t n = item.firstLine; n <= std::min<std::int64_t>(item.lastLine, lineCount - 1); ++n) {
        for (int p = item.left; p <= item.right; ++p)
          ++owners[static_cast<std::size_t>(n)][static_cast<std::size_t>(p)];
      }
    }
    for (std::int64_t n = 0; n < lineCount; ++n) {
      for (int p = 1; p <= 2048; ++p) {
        const int owner = owners[static_cast<std::size_t>(n)][static_cast<std::size_t>(p)];
        ASSERT_LE(owner, 1) << "extents overlap at line " << n << " pixel " << p;
        if (isProduct(n, p)) {
          ASSERT_EQ(owner, 1) << "stray product pixel at line " << n << " pixel " << p;
        }
      }
    }
    int checked = 0;
    for (const ProductItem& item : items) {
      if (item.lastLine >= lineCount) continue;
      ++checked;
      bool onFirst = false, onLast = false, atLeft = false, atRight = false;
      for (std::int64_t n = item.firstLine; n <= item.lastLine; ++n) {
        for (int p = item.left; p <= item.right; ++p) {
          if (!isProduct(n, p)) continue;
          onFirst |= n == item.firstLine;
          onLast |= n == item.lastLine;
          atLeft |= p == item.left;
          atRight |= p == item.right;
          ASSERT_EQ(isDefect(n, p), item.defective) << "item " << item.id << " line " << n << " pixel " << p;
        }
      }
      EXPECT_TRUE(onFirst && onLast && atLeft && atRight) << "extent of item " << item.id << " is not tight";
    }
    EXPECT_GT(checked, 300);
  }
}

TEST(ProductStreamSimulatorTest, LateReaderLosesLinesAndTheyAreCounted) {
  auto clock = std::make_shared<ManualClock>();
  ProductStreamConfig config = fastConfig();
  config.waitForLineTime = true;
  config.lineRateHz = 1000;  // one line per millisecond
  config.fifoLines = 4;
  ProductStreamSimulator sim(config, clock);
  ProductStreamSimulator reference(fastConfig());
  ASSERT_TRUE(startCamera(sim, 0));
  Line buffer(kLineMonoBytes), expected(kLineMonoBytes);

  ASSERT_TRUE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));  // line 0 is due at once
  EXPECT_EQ(clock->sleeps, 0);
  ASSERT_TRUE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));  // waits for line 1
  EXPECT_EQ(clock->sleeps, 1);
  EXPECT_EQ(sim.lineStats(0).lastLine, 1);

  // The reader stalls 10 ms: lines 2..11 have passed, the camera holds only 8..11.
  clock->advance(std::chrono::milliseconds(10));
  ASSERT_TRUE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));
  ProductStreamSimulator::CameraLineStats stats = sim.lineStats(0);
  EXPECT_EQ(stats.lastLine, 8);
  EXPECT_EQ(stats.skipped, 6u);
  EXPECT_EQ(stats.delivered, 3u);
  reference.renderLine(0, 8, expected.data());
  EXPECT_EQ(buffer, expected);

  // The held lines come without waiting, then the reader waits again.
  for (int n = 9; n <= 11; ++n) ASSERT_TRUE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));
  EXPECT_EQ(clock->sleeps, 1);
  ASSERT_TRUE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));
  EXPECT_EQ(clock->sleeps, 2);
  EXPECT_EQ(sim.lineStats(0).lastLine, 12);
  EXPECT_EQ(sim.lineStats(0).skipped, 6u);

  // A stop is not lateness: after a restart the curtain goes on from the next line.
  ASSERT_TRUE(ccdSucceeded(sim.CCD_CameraReset(0)));
  clock->advance(std::chrono::seconds(5));
  ASSERT_TRUE(ccdSucceeded(sim.CCD_InitMeasuring(0)));
  ASSERT_TRUE(ccdSucceeded(sim.CCD_StartMeasuring(0)));
  ASSERT_TRUE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));
  EXPECT_EQ(sim.lineStats(0).lastLine, 13);
  EXPECT_EQ(sim.lineStats(0).skipped, 6u);
}

TEST(ProductStreamSimulatorTest, FastModeNeverWaitsNorSkips) {
  auto clock = std::make_shared<ManualClock>();
  ProductStreamSimulator sim(fastConfig(), clock);
  ASSERT_TRUE(startCamera(sim, 0));
  EXPECT_EQ(readLines(sim, 0, 500).size(), 500u);
  clock->advance(std::chrono::hours(1));
  EXPECT_EQ(readLines(sim, 0, 500).size(), 500u);
  EXPECT_EQ(clock->sleeps, 0);
  const auto stats = sim.lineStats(0);
  EXPECT_EQ(stats.lastLine, 999);
  EXPECT_EQ(stats.skipped, 0u);
  EXPECT_EQ(stats.delivered, 1000u);
}

TEST(ProductStreamSimulatorTest, RealClockKeepsLineNumbersConsistent) {
  ProductStreamConfig config = fastConfig();
  config.waitForLineTime = true;
  config.lineRateHz = 20000;
  ProductStreamSimulator sim(config);
  ASSERT_TRUE(startCamera(sim, 0));
  EXPECT_EQ(readLines(sim, 0, 200).size(), 200u);
  const auto stats = sim.lineStats(0);
  EXPECT_EQ(stats.delivered, 200u);
  EXPECT_EQ(static_cast<std::uint64_t>(stats.lastLine) + 1, stats.delivered + stats.skipped);
}

TEST(ProductStreamSimulatorTest, ItemsFromGivesTheNewerItems) {
  ProductStreamSimulator sim(fastConfig());
  ASSERT_TRUE(startCamera(sim, 0));
  readLines(sim, 0, 1000);
  const std::vector<ProductItem> all = sim.groundTruth();
  ASSERT_GT(all.size(), 10u);
  const std::vector<ProductItem> later = sim.itemsFrom(all[5].id);
  ASSERT_EQ(later.size(), all.size() - 5);
  EXPECT_EQ(later.front(), all[5]);
  for (std::size_t i = 1; i < all.size(); ++i) {
    EXPECT_EQ(all[i].id, all[i - 1].id + 1);
    EXPECT_LE(all[i - 1].firstLine - all[i - 1].heightLines, all[i].firstLine);
  }
  EXPECT_TRUE(sim.itemsFrom(all.back().id + 1).empty());
}

TEST(ProductStreamSimulatorTest, OldestItemsAreDroppedBeyondTheLimit) {
  ProductStreamConfig config = fastConfig();
  config.maxKeptItems = 1000;
  ProductStreamSimulator sim(config);
  ProductStreamSimulator unlimited(fastConfig());
  ASSERT_TRUE(startCamera(sim, 0));
  ASSERT_TRUE(startCamera(unlimited, 0));
  // Dropping ground truth must not change what the camera shows.
  EXPECT_EQ(readLines(sim, 0, 3000), readLines(unlimited, 0, 3000));
  const std::vector<ProductItem> all = unlimited.groundTruth();
  ASSERT_GT(all.size(), 1500u);
  const std::vector<ProductItem> kept = sim.groundTruth();
  ASSERT_EQ(kept.size(), 1000u);
  EXPECT_EQ(kept.front(), all[all.size() - 1000]);
  EXPECT_EQ(kept.back(), all.back());
  EXPECT_EQ(sim.itemsFrom(1), kept);
  EXPECT_EQ(sim.itemsFrom(all.back().id).size(), 1u);
}

TEST(ProductStreamSimulatorTest, EmptyCurtainShowsOnlyThePlate) {
  ProductStreamConfig config = fastConfig();
  config.productShare = 0;
  config.noise = 0;
  ProductStreamSimulator sim(config);
  ASSERT_TRUE(startCamera(sim, 0));
  for (const Line& line : readLines(sim, 0, 100)) {
    EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](std::uint8_t v) { return v == 230; }));
  }
  EXPECT_TRUE(sim.groundTruth().empty());
}

TEST(ProductStreamSimulatorTest, PlateNoiseStaysInRangeAndDiffersBetweenLinesAndCameras) {
  for (const bool colour : {false, true}) {
    ProductStreamConfig config = fastConfig();
    config.colour = colour;
    config.productShare = 0;
    config.noise = 3;
    ProductStreamSimulator sim(config);
    const std::array<int, 3> plate = colour ? std::array<int, 3>{60, 90, 200} : std::array<int, 3>{230, 0, 0};
    const std::size_t channels = colour ? 3 : 1;
    Line previous;
    std::vector<int> seen(7, 0);
    for (std::int64_t n = 0; n < 200; ++n) {
      Line line(static_cast<std::size_t>(sim.bytesPerLine()));
      sim.renderLine(0, n, line.data());
      for (std::size_t i = 0; i < line.size(); ++i) {
        const int deviation = line[i] - plate[i % channels];
        ASSERT_LE(std::abs(deviation), 3) << "line " << n << " byte " << i;
        ++seen[static_cast<std::size_t>(deviation + 3)];
      }
      // Neither a copy of the line before nor of the other camera's view of it.
      EXPECT_NE(line, previous) << n;
      Line other(line.size());
      sim.renderLine(1, n, other.data());
      EXPECT_NE(line, other) << n;
      previous = line;
    }
    // Every value of the range occurs, none of them overwhelmingly.
    const int total = std::accumulate(seen.begin(), seen.end(), 0);
    for (int count : seen) {
      EXPECT_GT(count, total / 14) << "colour " << colour;
      EXPECT_LT(count, total / 4) << "colour " << colour;
    }
  }
}

TEST(ProductStreamSimulatorTest, UnusableConfigurationsAreRefused) {
  const auto refused = [](auto change) {
    ProductStreamConfig config;
    change(config);
    EXPECT_FALSE(ProductStreamSimulator::validate(config).empty());
    EXPECT_THROW(ProductStreamSimulator{config}, std::invalid_argument);
  };
  refused([](ProductStreamConfig& c) { c.pixelsPerLine = 4097; });
  refused([](ProductStreamConfig& c) { c.pixelsPerLine = 0; });
  refused([](ProductStreamConfig& c) { c.lineRateHz = 0; });
  refused([](ProductStreamConfig& c) { c.fifoLines = 0; });
  refused([](ProductStreamConfig& c) { c.productShare = 0.9; });
  refused([](ProductStreamConfig& c) { c.defectShare = -0.1; });
  refused([](ProductStreamConfig& c) { c.maxItemWidth = c.minItemWidth - 1; });
  refused([](ProductStreamConfig& c) { c.minElongation = 0; });
  refused([](ProductStreamConfig& c) { c.backgroundGrey = 256; });
  refused([](ProductStreamConfig& c) { c.linesPerFrame = 0; });
  refused([](ProductStreamConfig& c) { c.linesPerFrame = 4097; });
  refused([](ProductStreamConfig& c) {
    c.fifoLines = 100;
    c.linesPerFrame = 101;  // the camera could not hold one frame
  });
  // Valid one by one, but far too many tiny items per line.
  ProductStreamConfig dense;
  dense.productShare = 0.6;
  dense.minItemWidth = dense.maxItemWidth = 1;
  dense.minElongation = dense.maxElongation = 0.1;
  dense.linesPerPixel = 0.05;
  EXPECT_THROW(ProductStreamSimulator{dense}, std::invalid_argument);
  EXPECT_TRUE(ProductStreamSimulator::validate(ProductStreamConfig{}).empty());
  ProductStreamConfig framed;
  framed.linesPerFrame = framed.fifoLines = 4096;
  EXPECT_TRUE(ProductStreamSimulator::validate(framed).empty());
}

TEST(ProductStreamSimulatorTest, FramesHoldTheSameLinesAsLineByLine) {
  struct Case {
    bool colour;
    int linesPerFrame;
  };
  for (const Case c : {Case{false, 2}, Case{false, 64}, Case{true, 64}, Case{true, 7}}) {
    SCOPED_TRACE(::testing::Message() << "colour " << c.colour << ", lines per frame " << c.linesPerFrame);
    ProductStreamConfig config = fastConfig(11);
    config.colour = c.colour;
    config.lineRateHz = 50'000;
    ProductStreamSimulator lineByLine(config);
    config.linesPerFrame = c.linesPerFrame;
    ProductStreamSimulator framed(config), framedLines(config);
    for (ProductStreamSimulator* sim : {&lineByLine, &framed, &framedLines})
      ASSERT_TRUE(startCamera(*sim, 1));
    EXPECT_EQ(lineByLine.linesPerFrame(1), 1);
    EXPECT_EQ(framed.linesPerFrame(1), c.linesPerFrame);

    const int frames = 600 / c.linesPerFrame + 1;
    const std::vector<Line> expected = readLines(lineByLine, 1, frames * c.linesPerFrame);
    // A reader of lines gets the frames' lines one by one.
    EXPECT_EQ(readLines(framedLines, 1, frames * c.linesPerFrame), expected);
    for (int f = 0; f < frames; ++f) {
      CameraFrame frame;
      ASSERT_TRUE(ccdSucceeded(framed.readFrame(1, &frame)));
      ASSERT_EQ(frame.lineCount, c.linesPerFrame);
      ASSERT_EQ(frame.bytesPerLine, static_cast<std::size_t>(framed.bytesPerLine()));
      EXPECT_EQ(frame.lostLinesBefore, 0);
      EXPECT_EQ(frame.linePeriodNs, 20'000);
      for (int i = 0; i < frame.lineCount; ++i) {
        const std::uint8_t* line = frame.data + static_cast<std::size_t>(i) * frame.bytesPerLine;
        ASSERT_EQ(Line(line, line + frame.bytesPerLine),
                  expected[static_cast<std::size_t>(f * c.linesPerFrame + i)])
            << "frame " << f << " line " << i;
      }
      EXPECT_EQ(framed.lineStats(1).lastLine, std::int64_t{f + 1} * c.linesPerFrame - 1);
    }
    EXPECT_EQ(framed.lineStats(1).delivered, static_cast<std::uint64_t>(frames * c.linesPerFrame));
    EXPECT_EQ(framed.lineStats(1).frames, static_cast<std::uint64_t>(frames));
    EXPECT_EQ(framedLines.lineStats(1).lastLine, lineByLine.lineStats(1).lastLine);
    // Same curtain, so the same ground truth however it was read.
    EXPECT_EQ(framed.groundTruth(), lineByLine.groundTruth());
  }
}

TEST(ProductStreamSimulatorTest, LateFrameReaderLosesWholeFrames) {
  auto clock = std::make_shared<ManualClock>();
  ProductStreamConfig config = fastConfig();
  config.waitForLineTime = true;
  config.lineRateHz = 1000;  // one line per millisecond
  config.linesPerFrame = 4;
  config.fifoLines = 9;  // two whole frames
  ProductStreamSimulator sim(config, clock);
  ProductStreamSimulator reference(fastConfig());
  ASSERT_TRUE(startCamera(sim, 0));
  const auto start = clock->now();
  const auto nsAfterStart = [&](int ms) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               (start + std::chrono::milliseconds(ms)).time_since_epoch())
        .count();
  };
  CameraFrame frame;
  ASSERT_TRUE(ccdSucceeded(sim.readFrame(0, &frame)));  // waits for line 3
  EXPECT_EQ(clock->sleeps, 1);
  EXPECT_EQ(frame.lostLinesBefore, 0);
  EXPECT_EQ(frame.lastLineTimeNs, nsAfterStart(3));
  EXPECT_EQ(frame.linePeriodNs, 1'000'000);

  // The reader stalls 20 ms: lines up to 23 are taken, the camera holds frames 16..19 and 20..23.
  clock->advance(std::chrono::milliseconds(20));
  struct Step {
    std::int64_t firstLine;
    std::int64_t lostBefore;
    int sleeps;
  };
  for (const Step step : {Step{16, 12, 1}, Step{20, 0, 1}, Step{24, 0, 2}}) {
    SCOPED_TRACE(step.firstLine);
    ASSERT_TRUE(ccdSucceeded(sim.readFrame(0, &frame)));
    EXPECT_EQ(frame.lostLinesBefore, step.lostBefore);
    EXPECT_EQ(frame.lastLineTimeNs, nsAfterStart(static_cast<int>(step.firstLine) + 3));
    EXPECT_EQ(clock->sleeps, step.sleeps);
    EXPECT_EQ(sim.lineStats(0).lastLine, step.firstLine + 3);
    Line expected(kLineMonoBytes);
    reference.renderLine(0, step.firstLine + 2, expected.data());
    EXPECT_EQ(0, std::memcmp(frame.data + 2 * frame.bytesPerLine, expected.data(), frame.bytesPerLine));
  }
  const ProductStreamSimulator::CameraLineStats stats = sim.lineStats(0);
  EXPECT_EQ(stats.skipped, 12u);
  EXPECT_EQ(stats.skippedFrames, 3u);
  EXPECT_EQ(stats.delivered + stats.skipped, static_cast<std::uint64_t>(stats.lastLine + 1));

  // A frame half handed out as lines, then read whole: its rest counts as lost before the next.
  Line buffer(kLineMonoBytes);
  ASSERT_TRUE(ccdSucceeded(sim.CCD_GetDataByte(0, buffer.data())));
  EXPECT_EQ(sim.lineStats(0).lastLine, 28);
  ASSERT_TRUE(ccdSucceeded(sim.readFrame(0, &frame)));
  EXPECT_EQ(frame.lostLinesBefore, 3);
  EXPECT_EQ(sim.lineStats(0).lastLine, 35);
  // Not measuring: no frame.
  ASSERT_TRUE(ccdSucceeded(sim.CCD_CameraReset(0)));
  EXPECT_FALSE(ccdSucceeded(sim.readFrame(0, &frame)));
}

}  // namespace
}  // namespace tolvane
