#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "engine/bmp_image.h"
#include "engine/bmp_row_reader.h"
#include "engine/replay.h"
#include "settings/machine_settings.h"

namespace tolvane {

inline constexpr BmpPixel kReplayKeptFrame{0, 220, 0};
inline constexpr BmpPixel kReplayRejectFrame{255, 0, 0};
inline constexpr BmpPixel kReplayValveOpen{255, 0, 0};
inline constexpr BmpPixel kReplayValveClosed{48, 48, 48};
inline constexpr BmpPixel kReplayBarGap{0, 0, 0};

// Writes the replayed capture as a picture while the replay runs: each row as fed, each judged object
// framed in green (kept) or red (rejected), and at the right edge one bar per wired output, lit on the
// rows after whose pass that valve was open.
//
// An object's frame is known only when the object ends, which is up to Delay + MaxTime lines after
// its first line. The annotator keeps a window of the latest rows and writes a row out when it leaves
// the window, so memory is the window, not the capture. Frame parts older than the window are lost;
// windowRowsFor() makes the window long enough for every object of the settings.
class ReplayAnnotator : public ReplaySink {
 public:
  static constexpr int kBarGap = 2;    // black columns between the capture and the bars
  static constexpr int kBarWidth = 3;  // columns per output: two lit, one dark
  static constexpr int kBarColumns = kBarGap + kWiredOutputs * kBarWidth;

  // Rows an object can span from its first line to the pass that ends it, with room for its frame.
  static int windowRowsFor(const MachineSettings& machine);

  // columns: the capture columns fed (the picture gets kBarColumns more); height: rows to come.
  // Throws BmpError when the file cannot be created.
  ReplayAnnotator(const std::filesystem::path& path, int columns, int height, int windowRows);

  void object(const ReplayObject& object) override;
  void row(std::int64_t line, std::span<const std::uint8_t> rgb, std::uint64_t openValves) override;

  // Writes the rows still in the window and puts the file in place. Rows never fed stay black.
  void finish();

  int windowRows() const { return window_; }
  // Bytes of picture the annotator holds.
  std::size_t bufferBytes() const { return rows_.capacity(); }

 private:
  std::uint8_t* rowData(std::int64_t line) {
    return rows_.data() + static_cast<std::size_t>(line % window_) * static_cast<std::size_t>(stride_);
  }
  void set(std::int64_t line, int x, BmpPixel colour);
  void flush(std::int64_t line);

  BmpRowWriter writer_;
  int columns_;
  int window_;
  int stride_;
  std::int64_t next_ = 0;  // rows fed so far
  std::vector<std::uint8_t> rows_;
};

}  // namespace tolvane
