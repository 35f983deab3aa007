#include "engine/engine_state.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace tolvane {
namespace {

class TempDir {
 public:
  TempDir() {
    path_ = std::filesystem::temp_directory_path() /
            ("tolvane_engine_state_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::vector<char> readAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ObjectRecordTest, ImagePixelAddressesMatchTheFileLayout) {
  auto rec = std::make_unique<ObjectRecord>();
  std::memset(static_cast<void*>(rec.get()), 0, sizeof(ObjectRecord));
  const auto* base = reinterpret_cast<const std::uint8_t*>(rec.get());
  for (int c : {1, 2, 50, 99, 100}) {
    for (int r : {1, 2, 51, 100}) {
      EXPECT_EQ(imagePixel(*rec, c, r) - base, static_cast<std::ptrdiff_t>(877 + 300 * c + 3 * r));
    }
  }
  writeImagePixel(*rec, 100, 100, {1, 2, 3});
  EXPECT_EQ(base[31177], 1);
  EXPECT_EQ(base[31179], 3);
  EXPECT_EQ(rec->ImgXMin, 0);  // the last pixel ends right before ImgXMin
}

TEST(ObjectRecordTest, PixelsOutsideTheImageReadBlackAndAreNotWritten) {
  auto rec = std::make_unique<ObjectRecord>();
  std::memset(static_cast<void*>(rec.get()), 0x55, sizeof(ObjectRecord));
  const RgbPixel black{};
  EXPECT_EQ(readImagePixel(*rec, 0, 5), black);
  EXPECT_EQ(readImagePixel(*rec, 5, 0), black);
  EXPECT_EQ(readImagePixel(*rec, 101, 5), black);
  EXPECT_EQ(readImagePixel(*rec, 5, 101), black);
  EXPECT_EQ(readImagePixel(*rec, 5, 5), (RgbPixel{0x55, 0x55, 0x55}));
  writeImagePixel(*rec, 0, 1, {9, 9, 9});
  writeImagePixel(*rec, 1, 0, {9, 9, 9});
  writeImagePixel(*rec, 101, 1, {9, 9, 9});
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(rec.get());
  for (std::size_t i = 0; i < sizeof(ObjectRecord); ++i) {
    ASSERT_EQ(bytes[i], 0x55) << "byte " << i;
  }
}

TEST(EngineStateTest, StartsWithZeroedTablesAndRecordNumbersFromOne) {
  EngineState state;
  EXPECT_EQ(state.ObjectCount, 0);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(state.ObjectTable.get());
  for (std::size_t i = 0; i < sizeof(ObjectRecord) * (kObjectTableSize + 1); i += 997) {
    ASSERT_EQ(bytes[i], 0);
  }
  // Record 1000 exists (the scratch record) and is addressable by its number.
  state.ObjectTable[kScratchRecord].Mass = 7;
  state.SampleTable[kSampleSlots - 1].Mass = 8;
  state.ObjectCount = 4;
  state.clearTables();
  EXPECT_EQ(state.ObjectTable[kScratchRecord].Mass, 0);
  EXPECT_EQ(state.SampleTable[kSampleSlots - 1].Mass, 0);
  EXPECT_EQ(state.ObjectCount, 0);
}

TEST(EngineStateTest, SamplesFileIsTheWholeTableAndLoadsBackUnchanged) {
  TempDir dir;
  const auto file = dir.path() / "TolvaneGrain.samples";
  EngineState out;
  for (int s = 0; s < kSampleSlots; ++s) {
    ObjectRecord& rec = out.SampleTable[s];
    rec.InUse = 1;
    rec.Camera = s >= 6 ? 1 : 0;
    rec.Mass = 100 + s;
    rec.Angle = 0.25 * s;
    rec.ClassCount[4] = s;
    rec.SampleTried = 1;
    writeImagePixel(rec, 1 + s, 100 - s, {static_cast<std::uint8_t>(s), 2, 3});
  }
  ASSERT_TRUE(saveSampleTable(out, file));
  EXPECT_EQ(std::filesystem::file_size(file), 655200u);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "TolvaneGrain.samples.tmp"));

  // Field offsets as they land in the file.
  const std::vector<char> bytes = readAll(file);
  std::int32_t mass = 0;
  std::memcpy(&mass, bytes.data() + 5 * 31200 + 108, 4);
  EXPECT_EQ(mass, 105);
  EXPECT_EQ(bytes[7 * 31200 + 1], 1);

  EngineState in;
  EXPECT_EQ(loadSampleTable(in, file), kSamplesFileSize);
  EXPECT_EQ(std::memcmp(in.SampleTable.get(), out.SampleTable.get(), kSamplesFileSize), 0);
}

TEST(EngineStateTest, ShortOrMissingSamplesFileLeavesTheRestOfTheTable) {
  TempDir dir;
  EngineState state;
  state.SampleTable[0].Mass = 11;
  state.SampleTable[1].Mass = 22;

  EXPECT_EQ(loadSampleTable(state, dir.path() / "missing.samples"), 0u);
  EXPECT_EQ(state.SampleTable[0].Mass, 11);

  const auto file = dir.path() / "short.samples";
  {
    std::ofstream f(file, std::ios::binary);
    const std::vector<char> zeros(100, 0);
    f.write(zeros.data(), 100);
  }
  state.SampleTable[0].Camera = 5;
  EXPECT_EQ(loadSampleTable(state, file), 100u);
  EXPECT_EQ(state.SampleTable[0].Camera, 0);  // within the first 100 bytes: overwritten
  EXPECT_EQ(state.SampleTable[0].Mass, 11);   // byte 108: left as it was
  EXPECT_EQ(state.SampleTable[1].Mass, 22);
}

TEST(EngineStateTest, SaveIntoAMissingFolderFailsAndLeavesNothing) {
  TempDir dir;
  EngineState state;
  EXPECT_FALSE(saveSampleTable(state, dir.path() / "no" / "such" / "x.samples"));
}

TEST(EngineStateTest, StripRequestAllocatesOnceAndRestartsTheCapture) {
  EngineState state;
  EXPECT_EQ(state.StripImage, nullptr);
  state.requestStripCapture();
  ASSERT_NE(state.StripImage, nullptr);
  std::uint8_t* first = state.StripImage.get();
  state.StripRows = 17;
  state.requestStripCapture();
  EXPECT_EQ(state.StripImage.get(), first);
  EXPECT_EQ(state.StripRows.load(), 0);
  EXPECT_TRUE(state.StripCaptureOn.load());
}

}  // namespace
}  // namespace tolvane
