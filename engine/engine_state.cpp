#include "engine/engine_state.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

namespace tolvane {

EngineState::EngineState()
    : ObjectTable(new ObjectRecord[kObjectTableSize + 1]()), SampleTable(new ObjectRecord[kSampleSlots]()) {}

void EngineState::clearTables() {
  std::memset(static_cast<void*>(ObjectTable.get()), 0, sizeof(ObjectRecord) * (kObjectTableSize + 1));
  std::memset(static_cast<void*>(SampleTable.get()), 0, sizeof(ObjectRecord) * kSampleSlots);
  ObjectCount = 0;
  objectIndex.clear();
}

void applySingleToneFill(EngineState& state, const SorterSettings& sorter) {
  if (state.singleToneCamera) state.BackgroundFill = singleToneBackgroundFill(sorter);
}

void EngineState::requestStripCapture() {
  std::lock_guard guard(engineLock);
  if (!StripImage) {
    StripImage.reset(new std::uint8_t[static_cast<std::size_t>(kStripWidth) * kStripHeight * 3]());
  }
  StripRows.store(0, std::memory_order_release);
  StripCaptureOn.store(true, std::memory_order_release);
}

bool saveSampleTable(const EngineState& state, const std::filesystem::path& path) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (file == nullptr) {
    return false;
  }
  bool ok = std::fwrite(state.SampleTable.get(), 1, kSamplesFileSize, file) == kSamplesFileSize;
  ok = std::fflush(file) == 0 && ok;
  // A power cut after the rename must find the new bytes on disk.
  ok = ::fsync(::fileno(file)) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  std::error_code ec;
  if (ok) {
    std::filesystem::rename(temp, path, ec);
    ok = !ec;
  }
  if (!ok) {
    std::filesystem::remove(temp, ec);
  }
  return ok;
}

std::size_t loadSampleTable(EngineState& state, const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return 0;
  }
  // Read into a copy first so that a read error in the middle cannot leave half-copied records
  // mixed with the bytes of a failed read.
  auto buffer = std::make_unique<char[]>(kSamplesFileSize);
  in.read(buffer.get(), static_cast<std::streamsize>(kSamplesFileSize));
  const auto taken = static_cast<std::size_t>(in.gcount());
  if (in.bad()) {
    return 0;
  }
  std::memcpy(static_cast<void*>(state.SampleTable.get()), buffer.get(), taken);
  return taken;
}

}  // namespace tolvane
