#pragma once

// Aravis's own GigE Vision fake camera on a loopback address, sending the product-stream simulator's
// lines: stream line n with n in its first 4 bytes, so a reader can tell which lines it got.

#include <arv.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/product_stream_simulator.h"

namespace tolvane::test {

// When a frame was sent: its last stream line was taken at `time`.
struct SentFrame {
  std::int64_t lastLine = 0;
  std::chrono::steady_clock::time_point time{};
};

struct FakeStream {
  explicit FakeStream(ProductStreamConfig config)
      : simulator(config), bytesPerLine(simulator.bytesPerLine()) {}

  // Stream line n as the camera sends it.
  void line(std::uint32_t n, std::uint8_t* out) {
    simulator.renderLine(0, n, out);
    if (stampLineNumbers) std::memcpy(out, &n, sizeof n);
  }

  // Stream position (in lines, fractional) at steady time t, from the send times of the frames; the
  // first frame's line period stands in before it, the last one's after it.
  double lineAt(std::chrono::steady_clock::time_point t) const {
    std::lock_guard lock(mutex);
    if (sent.empty()) return 0;
    const double periodNs = 1e9 / simulator.config().lineRateHz;
    std::size_t i = 0;
    while (i + 1 < sent.size() && sent[i + 1].time <= t) ++i;
    const double sinceNs = std::chrono::duration<double, std::nano>(t - sent[i].time).count();
    if (i + 1 < sent.size() && sinceNs >= 0) {
      const double spanNs = std::chrono::duration<double, std::nano>(sent[i + 1].time - sent[i].time).count();
      const double lines = static_cast<double>(sent[i + 1].lastLine - sent[i].lastLine);
      if (spanNs > 0) return static_cast<double>(sent[i].lastLine) + sinceNs / spanNs * lines;
    }
    return static_cast<double>(sent[i].lastLine) + sinceNs / periodNs;
  }

  ProductStreamSimulator simulator;
  const int bytesPerLine;
  // The line number in the first 4 bytes, for readers that check which lines they got; a sorting run
  // leaves it out, since the engine would see it as product at the edge.
  bool stampLineNumbers = true;
  std::atomic<std::uint32_t> nextLine{0};
  // Skip the lines of frames a stalled fake camera did not fill (the stream's line rate must be the
  // camera's); otherwise every filled frame takes the next lines.
  bool skipStalledLines = false;
  std::uint64_t lastStampNs = 0;  // the fake camera's stamp of the last frame filled
  std::atomic<int> frames{0};
  mutable std::mutex mutex;
  std::vector<SentFrame> sent;
};

// As the driver's AravisCameraDriver::kStampGapPeriods.
inline constexpr double kFakeStampGapPeriods = 1.6;

inline void fillFakeFrame(ArvBuffer* buffer, void* data, guint32 /*exposure*/, guint32 /*gain*/,
                          ArvPixelFormat /*format*/) {
  auto* stream = static_cast<FakeStream*>(data);
  const auto filledAt = std::chrono::steady_clock::now();
  // The fake camera hands its own buffer, sized for the frame, to the pattern to be written; the size
  // it reports is still 0 then, the image's width and height are set.
  auto* bytes = static_cast<std::uint8_t*>(const_cast<void*>(arv_buffer_get_data(buffer, nullptr)));
  if (bytes == nullptr || arv_buffer_get_image_width(buffer) != stream->simulator.config().pixelsPerLine)
    return;
  const int lines = arv_buffer_get_image_height(buffer);
  // The curtain does not wait for a camera that stalls: a stall shows in the frame's time stamp, and
  // the lines of the frames missed meanwhile are skipped, as the driver counts them lost.
  const std::uint64_t stampNs = arv_buffer_get_timestamp(buffer);
  if (stream->skipStalledLines && stream->lastStampNs != 0 && stampNs > stream->lastStampNs && lines > 0) {
    const double framePeriodNs = 1e9 * lines / stream->simulator.config().lineRateHz;
    const double periods = static_cast<double>(stampNs - stream->lastStampNs) / framePeriodNs;
    if (periods >= kFakeStampGapPeriods)
      stream->nextLine.fetch_add(static_cast<std::uint32_t>((std::llround(periods) - 1) * lines));
  }
  stream->lastStampNs = stampNs;
  std::uint32_t n = 0;
  for (int row = 0; row < lines; ++row) {
    n = stream->nextLine.fetch_add(1);
    stream->line(n, bytes + static_cast<std::size_t>(row) * static_cast<std::size_t>(stream->bytesPerLine));
  }
  if (lines > 0) {
    // Aravis's fake camera fills a frame at the end of its frame period and sends it at once, as a
    // real camera sends a frame right after its last line: the frame's lines count as taken then.
    std::lock_guard lock(stream->mutex);
    stream->sent.push_back({n, filledAt});
  }
  ++stream->frames;
}

class FakeGigeCamera {
 public:
  explicit FakeGigeCamera(FakeStream& stream, const char* address = "127.0.0.1")
      : FakeGigeCamera(fillFakeFrame, &stream, address) {}
  // A camera whose frames `fill` writes (data is handed to it).
  FakeGigeCamera(ArvFakeCameraFillPattern fill, void* data, const char* address = "127.0.0.1") {
    camera_ = arv_gv_fake_camera_new(address, "TOLVANE1");
    if (running()) arv_fake_camera_set_fill_pattern(fake(), fill, data);
  }
  ~FakeGigeCamera() { stop(); }
  FakeGigeCamera(const FakeGigeCamera&) = delete;
  FakeGigeCamera& operator=(const FakeGigeCamera&) = delete;
  bool running() const { return camera_ != nullptr && arv_gv_fake_camera_is_running(camera_); }
  ArvFakeCamera* fake() { return arv_gv_fake_camera_get_fake_camera(camera_); }
  void stop() {
    if (camera_ != nullptr) g_object_unref(camera_);
    camera_ = nullptr;
  }

 private:
  ArvGvFakeCamera* camera_ = nullptr;
};

}  // namespace tolvane::test
