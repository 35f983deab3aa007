#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "engine/bmp_image.h"
#include "engine/engine_constants.h"

namespace tolvane {

struct CameraLineState;

// The line dump: while the operator's dump switch is on, every line on which a run reached the
// object step is drawn into the next row of an 800-row picture; a full picture is saved as
// "x_<time of day>.bmp". The saving happens off the line path: the full picture is handed over and
// the UI's timer writes it, so a line never waits for the disk.
class LineDump {
 public:
  // Allocates the two pictures; until then lines are not drawn.
  // Called on the UI thread under the engine lock.
  void enable();
  bool enabled() const { return !drawing_.empty(); }

  // Draws pixels 1..2550 of the line (as far as the picture is wide) into row DumpRow, from
  // LineMono as grey or from LineRGB. A full picture is handed over unless the previous one still
  // waits to be saved; then it is drawn over again.
  // Called on camera threads under the engine lock.
  void addLine(const CameraLineState& camera, bool mono);

  int dumpRow() const { return dumpRow_; }
  bool pictureWaiting() const { return waiting_.load(std::memory_order_acquire); }

  // Writes the waiting picture into folder; returns its path, or nothing when no picture waits or
  // the file cannot be written (the picture is then dropped, as side-file failures are).
  // Called on the UI thread, without the engine lock.
  std::optional<std::filesystem::path> saveWaiting(const std::filesystem::path& folder);

  // "x_" + time of day with ":" replaced by "_" + ".bmp".
  static std::string fileName(std::time_t when);

 private:
  BmpImage drawing_;
  BmpImage full_;
  std::time_t fullTime_ = 0;
  int dumpRow_ = 0;
  std::atomic<bool> waiting_{false};
};

}  // namespace tolvane
