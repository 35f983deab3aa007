// Any bytes of any length as a .samples, .stat or .shots file: the part that fits is read, the rest of
// the table stays as it was, and what the sample panels show from a damaged record never crashes.

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/engine_state.h"
#include "engine/sample_info.h"
#include "settings/side_files.h"
#include "settings/sorter_settings.h"

namespace {

std::filesystem::path scratchFile() {
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("tolvane_side_fuzz_" + std::to_string(::getpid()));
  return path;
}

constexpr std::byte kUntouched{0xA5};

// Reads file into a table prefilled with kUntouched and checks the documented outcome.
void readInto(const std::filesystem::path& file, std::span<std::byte> table, std::span<const uint8_t> data) {
  static const std::vector<std::byte> untouched(tolvane::kSamplesFileSize, kUntouched);
  std::memset(table.data(), static_cast<int>(kUntouched), table.size());
  const std::optional<size_t> placed = tolvane::readSideFile(file, table);
  const size_t expect = std::min(data.size(), table.size());
  if (!placed || *placed != expect) std::abort();
  if (std::memcmp(table.data(), data.data(), expect) != 0) std::abort();
  if (std::memcmp(table.data() + expect, untouched.data(), table.size() - expect) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tolvane;
  static EngineState* const state = new EngineState();  // large tables: made once
  static const SorterSettings settings;
  static const std::unique_ptr<DailyStatsTable> stat = std::make_unique<DailyStatsTable>();
  static ShotsPerOutputTable shots;

  const std::filesystem::path file = scratchFile();
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) std::abort();
  }
  const std::span<const uint8_t> bytes(data, size);
  readInto(file, std::as_writable_bytes(std::span(state->SampleTable.get(), kSampleSlots)), bytes);
  readInto(file, std::as_writable_bytes(std::span(stat.get(), 1)), bytes);
  readInto(file, std::as_writable_bytes(std::span(&shots, 1)), bytes);

  // The damaged records as the sample panels show them, in both camera kinds.
  const size_t filled = std::min<size_t>(kSampleSlots, (size + kObjectRecordSize - 1) / kObjectRecordSize);
  for (size_t slot = 0; slot < filled; ++slot) {
    (void)sampleInformation(*state, settings, static_cast<int>(slot), {}, true);
    (void)sampleInformation(*state, settings, static_cast<int>(slot), {1, 2, 3, 4}, false);
  }
  // The counters as the ejector page and the statistics read them.
  for (int output = 0; output <= 65; ++output) (void)shots.of(output);
  for (const int day : {0, 1, 60, 365, 366, 367}) (void)stat->countOf(day, kSideB, kEjectorSlots);
  std::filesystem::remove(file);
  return 0;
}
