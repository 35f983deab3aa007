#include "platform/product_stream_simulator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>
#include <thread>

namespace tolvane {
namespace {

constexpr int kParameterCount = 32;
// New items that could not be placed wait at most this many; a curtain that is too dense drops the rest.
constexpr int kMaxPendingArrivals = 64;
constexpr int kPlacementTries = 8;
// Line windows start at one of this many pixels of the noisy plate.
constexpr std::size_t kPlateOffsets = 1 << 16;
constexpr int kMaxLinesPerFrame = 4096;

std::uint64_t splitMix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::uint8_t clampByte(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

// xoshiro256**: small, fast and the same on every platform, unlike the standard distributions.
class ProductStreamSimulator::Random {
 public:
  explicit Random(std::uint64_t seed) {
    for (auto& word : state_) word = splitMix(seed);
  }
  std::uint64_t next() {
    const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
    const std::uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = rotl(state_[3], 45);
    return result;
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  double uniform(double low, double high) { return low + (high - low) * uniform(); }
  int uniformInt(int low, int high) {
    return low + static_cast<int>(next() % static_cast<std::uint64_t>(high - low + 1));
  }
  bool chance(double p) { return uniform() < p; }
  // Poisson draw with the given exp(-mean).
  int poisson(double limit) {
    int k = 0;
    double product = uniform();
    while (product > limit) {
      ++k;
      product *= uniform();
    }
    return k;
  }

 private:
  static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::array<std::uint64_t, 4> state_{};
};

LineClock::TimePoint SteadyLineClock::now() { return std::chrono::steady_clock::now(); }

void SteadyLineClock::sleepUntil(TimePoint when) { std::this_thread::sleep_until(when); }

std::string ProductStreamSimulator::validate(const ProductStreamConfig& c) {
  const auto byte = [](int v) { return v >= 0 && v <= 255; };
  if (c.pixelsPerLine < 1 || c.pixelsPerLine > static_cast<int>(kMaxLinePixels))
    return "pixels per line must be 1.." + std::to_string(kMaxLinePixels);
  if (!(c.lineRateHz >= 1 && c.lineRateHz <= 1e6)) return "line rate must be 1..1000000 lines per second";
  if (c.fifoLines < 1) return "the camera must hold at least one line";
  if (c.linesPerFrame < 1 || c.linesPerFrame > kMaxLinesPerFrame)
    return "lines per frame must be 1.." + std::to_string(kMaxLinesPerFrame);
  if (c.linesPerFrame > c.fifoLines) return "the camera must hold at least one frame";
  if (!(c.productShare >= 0 && c.productShare <= 0.6)) return "product share must be 0..0.6";
  if (!(c.defectShare >= 0 && c.defectShare <= 1)) return "defect share must be 0..1";
  if (!(c.oneSidedDefectShare >= 0 && c.oneSidedDefectShare <= 1))
    return "one-sided defect share must be 0..1";
  if (c.minItemWidth < 1 || c.maxItemWidth < c.minItemWidth || c.maxItemWidth > c.pixelsPerLine ||
      c.maxItemWidth > 400)
    return "item widths must satisfy 1 <= min <= max <= min(pixels per line, 400)";
  if (!(c.minElongation > 0 && c.maxElongation >= c.minElongation && c.maxElongation <= 10))
    return "elongation must satisfy 0 < min <= max <= 10";
  if (!(c.linesPerPixel >= 0.05 && c.linesPerPixel <= 20)) return "lines per pixel must be 0.05..20";
  if (c.minGap < 0 || c.minGap > 100) return "gap must be 0..100";
  if (!byte(c.backgroundGrey) || !byte(c.productGrey) || !byte(c.defectGrey))
    return "grey levels must be 0..255";
  if (c.toneJitter < 0 || c.toneJitter > 100 || c.shading < 0 || c.shading > 255 || c.noise < 0 ||
      c.noise > 100)
    return "jitter, shading and noise must be 0..100, 0..255, 0..100";
  if (c.maxKeptItems < 1000) return "at least 1000 items must be kept";
  return {};
}

ProductStreamSimulator::ProductStreamSimulator(ProductStreamConfig config, std::shared_ptr<LineClock> clock)
    : config_(std::move(config)),
      clock_(clock ? std::move(clock) : std::make_shared<SteadyLineClock>()),
      periodNs_(1e9 / config_.lineRateHz) {
  if (const std::string problem = validate(config_); !problem.empty()) {
    throw std::invalid_argument("product stream: " + problem);
  }
  random_ = std::make_unique<Random>(config_.seed);

  // Mean item area from the width and elongation ranges; the arrival rate follows from the share.
  double meanWidthSquared = 0;
  for (int w = config_.minItemWidth; w <= config_.maxItemWidth; ++w) meanWidthSquared += double(w) * w;
  meanWidthSquared /= config_.maxItemWidth - config_.minItemWidth + 1;
  const double meanElongation = (config_.minElongation + config_.maxElongation) / 2;
  const double meanArea = std::numbers::pi / 4 * meanWidthSquared * meanElongation * config_.linesPerPixel;
  itemsPerLine_ = config_.productShare * config_.pixelsPerLine / meanArea;
  if (itemsPerLine_ > 50)
    throw std::invalid_argument("product stream: items too small for the product share");
  arrivalLimit_ = std::exp(-itemsPerLine_);

  // The plate's noise, drawn once; its own generator keeps the item draws as they were.
  const int channels = config_.colour ? 3 : 1;
  const std::array<int, 3> plate =
      config_.colour ? std::array<int, 3>{config_.backgroundColour.r, config_.backgroundColour.g,
                                          config_.backgroundColour.b}
                     : std::array<int, 3>{config_.backgroundGrey, 0, 0};
  const auto samples =
      (kPlateOffsets + static_cast<std::size_t>(config_.pixelsPerLine)) * static_cast<std::size_t>(channels);
  plate_.resize(samples);
  Random noise(config_.seed ^ 0x6E6F697365ull);
  const auto range = static_cast<std::uint64_t>(2 * config_.noise + 1);
  for (std::size_t i = 0; i < samples; ++i) {
    const int value = plate[i % static_cast<std::size_t>(channels)] + static_cast<int>(noise.next() % range) -
                      config_.noise;
    plate_[i] = clampByte(value);
  }

  for (auto& camera : cameras_) {
    camera.parameters[4] = static_cast<float>(config_.pixelsPerLine);
    camera.parameters[7] = static_cast<float>(config_.pixelsPerLine);
    camera.parameters[8] = 1.0f;
    camera.active.reserve(512);
  }
}

ProductStreamSimulator::~ProductStreamSimulator() = default;

bool ProductStreamSimulator::usable(std::int32_t cameraIndex) const {
  return cameraIndex >= 0 && cameraIndex < 2 && config_.cameraPresent[static_cast<std::size_t>(cameraIndex)];
}

CcdResult ProductStreamSimulator::CCD_Init(void*, std::int32_t, std::int32_t* cameraIndex) {
  if (cameraIndex == nullptr || !usable(*cameraIndex)) return kCcdFailure;
  std::lock_guard lock(mutex_);
  cameras_[static_cast<std::size_t>(*cameraIndex)].initialised = true;
  return kCcdSuccess;
}

CcdResult ProductStreamSimulator::CCD_SetParameter(std::int32_t cameraIndex, std::int32_t parameter,
                                                   float value) {
  if (!usable(cameraIndex) || parameter < 0 || parameter >= kParameterCount) return kCcdFailure;
  std::lock_guard lock(mutex_);
  Camera& camera = cameras_[static_cast<std::size_t>(cameraIndex)];
  if (!camera.initialised) return kCcdFailure;
  camera.parameters[static_cast<std::size_t>(parameter)] = value;
  return kCcdSuccess;
}

CcdResult ProductStreamSimulator::CCD_GetParameter(std::int32_t cameraIndex, std::int32_t parameter,
                                                   float* value) {
  if (!usable(cameraIndex) || value == nullptr || parameter < 0 || parameter >= kParameterCount)
    return kCcdFailure;
  std::lock_guard lock(mutex_);
  const Camera& camera = cameras_[static_cast<std::size_t>(cameraIndex)];
  if (!camera.initialised) return kCcdFailure;
  *value = camera.parameters[static_cast<std::size_t>(parameter)];
  return kCcdSuccess;
}

CcdResult ProductStreamSimulator::CCD_HitTest(std::int32_t cameraIndex) {
  if (!usable(cameraIndex)) return kCcdFailure;
  std::lock_guard lock(mutex_);
  return cameras_[static_cast<std::size_t>(cameraIndex)].initialised ? kCcdSuccess : kCcdFailure;
}

CcdResult ProductStreamSimulator::CCD_InitMeasuring(std::int32_t cameraIndex) {
  if (!usable(cameraIndex)) return kCcdFailure;
  std::lock_guard lock(mutex_);
  Camera& camera = cameras_[static_cast<std::size_t>(cameraIndex)];
  if (!camera.initialised) return kCcdFailure;
  camera.prepared = true;
  // Frame mode: the frame buffer is made here once, never per frame.
  if (config_.linesPerFrame > 1)
    camera.frame.resize(static_cast<std::size_t>(config_.linesPerFrame) *
                        static_cast<std::size_t>(bytesPerLine()));
  return kCcdSuccess;
}

CcdResult ProductStreamSimulator::CCD_StartMeasuring(std::int32_t cameraIndex) {
  if (!usable(cameraIndex)) return kCcdFailure;
  std::lock_guard lock(mutex_);
  Camera& camera = cameras_[static_cast<std::size_t>(cameraIndex)];
  if (!camera.initialised || !camera.prepared) return kCcdFailure;
  if (!camera.measuring) {
    // The curtain was paused while the camera stood still; its clock starts again now.
    camera.measuring = true;
    camera.stats.measuring = true;
    camera.anchorLine = camera.nextLine;
    camera.anchorTime = clock_->now();
    camera.stats.anchorLine = camera.anchorLine;
    camera.stats.anchorTime = camera.anchorTime;
    camera.frameCursor = camera.frameLines = 0;
    camera.pendingLost = 0;
  }
  return kCcdSuccess;
}

CcdResult ProductStreamSimulator::CCD_CameraReset(std::int32_t cameraIndex) {
  if (!usable(cameraIndex)) return kCcdFailure;
  std::lock_guard lock(mutex_);
  Camera& camera = cameras_[static_cast<std::size_t>(cameraIndex)];
  if (!camera.initialised) return kCcdFailure;
  camera.prepared = false;
  camera.measuring = false;
  camera.stats.measuring = false;
  camera.frameCursor = camera.frameLines = 0;  // a stop is not lateness: the rest is simply gone
  return kCcdSuccess;
}

// Called on camera i's thread only.
CcdResult ProductStreamSimulator::CCD_GetDataByte(std::int32_t cameraIndex, std::uint8_t* lineBuffer) {
  if (!usable(cameraIndex) || lineBuffer == nullptr) return kCcdFailure;
  Camera& camera = cameras_[static_cast<std::size_t>(cameraIndex)];
  if (config_.linesPerFrame > 1) {
    if (camera.frameCursor >= camera.frameLines && !nextFrame(cameraIndex, camera)) return kCcdFailure;
    const std::size_t bytes = static_cast<std::size_t>(bytesPerLine());
    std::memcpy(lineBuffer, camera.frame.data() + static_cast<std::size_t>(camera.frameCursor) * bytes,
                bytes);
    std::lock_guard lock(mutex_);
    camera.stats.lastLine = camera.frameFirstLine + camera.frameCursor;
    ++camera.stats.delivered;
    ++camera.frameCursor;
    return kCcdSuccess;
  }
  std::int64_t line = 0;
  bool wait = false;
  LineClock::TimePoint due{};
  {
    std::lock_guard lock(mutex_);
    if (!camera.measuring) return kCcdFailure;
    line = camera.nextLine;
    if (config_.waitForLineTime) {
      const double sinceAnchor =
          std::chrono::duration<double, std::nano>(clock_->now() - camera.anchorTime).count();
      const std::int64_t latest =
          camera.anchorLine + static_cast<std::int64_t>(std::floor(sinceAnchor / periodNs_));
      if (latest < line) {
        wait = true;
        due = camera.anchorTime +
              std::chrono::nanoseconds(std::llround(double(line - camera.anchorLine) * periodNs_));
      } else if (const std::int64_t oldest = latest - (config_.fifoLines - 1); oldest > line) {
        camera.stats.skipped += static_cast<std::uint64_t>(oldest - line);
        line = oldest;
      }
    }
  }
  if (wait) clock_->sleepUntil(due);
  {
    std::lock_guard lock(mutex_);
    generateThrough(line);
    collectActive(line, line, camera.active);
    camera.nextLine = line + 1;
    camera.stats.lastLine = line;
    ++camera.stats.delivered;
  }
  render(cameraIndex, line, camera.active, lineBuffer);
  return kCcdSuccess;
}

int ProductStreamSimulator::linesPerFrame(std::int32_t cameraIndex) {
  return usable(cameraIndex) ? config_.linesPerFrame : 1;
}

// Called on camera i's thread only.
CcdResult ProductStreamSimulator::readFrame(std::int32_t cameraIndex, CameraFrame* frame) {
  if (!usable(cameraIndex) || frame == nullptr || config_.linesPerFrame <= 1) return kCcdFailure;
  Camera& camera = cameras_[static_cast<std::size_t>(cameraIndex)];
  if (!nextFrame(cameraIndex, camera)) return kCcdFailure;
  const std::int64_t last = camera.frameFirstLine + camera.frameLines - 1;
  std::int64_t lastTimeNs = 0;
  {
    std::lock_guard lock(mutex_);
    camera.stats.lastLine = last;
    camera.stats.delivered += static_cast<std::uint64_t>(camera.frameLines);
    const auto due = camera.anchorTime +
                     std::chrono::nanoseconds(std::llround(double(last - camera.anchorLine) * periodNs_));
    lastTimeNs = std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch()).count();
  }
  camera.frameCursor = camera.frameLines;  // handed over whole
  frame->data = camera.frame.data();
  frame->bytesPerLine = static_cast<std::size_t>(bytesPerLine());
  frame->lineCount = camera.frameLines;
  frame->lostLinesBefore = camera.frameLostBefore;
  frame->lastLineTimeNs = lastTimeNs;
  frame->linePeriodNs = std::llround(periodNs_);
  return kCcdSuccess;
}

bool ProductStreamSimulator::nextFrame(std::int32_t cameraIndex, Camera& camera) {
  const int lines = config_.linesPerFrame;
  std::int64_t first = 0;
  bool wait = false;
  LineClock::TimePoint due{};
  {
    std::lock_guard lock(mutex_);
    if (!camera.measuring) return false;
    // Lines of the current frame never handed out are lost to this reader.
    if (camera.frameCursor < camera.frameLines) {
      const int rest = camera.frameLines - camera.frameCursor;
      camera.pendingLost += rest;
      camera.stats.skipped += static_cast<std::uint64_t>(rest);
    }
    camera.frameCursor = camera.frameLines = 0;
    first = camera.nextLine;
    const std::int64_t last = first + lines - 1;
    if (config_.waitForLineTime) {
      const double sinceAnchor =
          std::chrono::duration<double, std::nano>(clock_->now() - camera.anchorTime).count();
      const std::int64_t latest =
          camera.anchorLine + static_cast<std::int64_t>(std::floor(sinceAnchor / periodNs_));
      if (latest < last) {
        wait = true;
        due = camera.anchorTime +
              std::chrono::nanoseconds(std::llround(double(last - camera.anchorLine) * periodNs_));
      } else {
        // The camera holds the newest whole frames; a reader behind them loses the older ones.
        // Frames start at the anchor line, so first and these stay on frame boundaries.
        const std::int64_t held = config_.fifoLines / lines;
        const std::int64_t newestFirst =
            camera.anchorLine + ((latest - camera.anchorLine + 1) / lines - 1) * lines;
        const std::int64_t oldestFirst = newestFirst - (held - 1) * lines;
        if (oldestFirst > first) {
          const std::int64_t lost = oldestFirst - first;
          camera.stats.skipped += static_cast<std::uint64_t>(lost);
          camera.stats.skippedFrames += static_cast<std::uint64_t>(lost / lines);
          camera.pendingLost += lost;
          first = oldestFirst;
        }
      }
    }
  }
  // The frame is made while its lines are being taken, as a camera fills its buffer, so it is handed
  // over as soon as its last line is due.
  {
    std::lock_guard lock(mutex_);
    generateThrough(first + lines - 1);
    collectActive(first, first + lines - 1, camera.active);
    camera.nextLine = first + lines;
    ++camera.stats.frames;
    camera.frameLostBefore = camera.pendingLost;
    camera.pendingLost = 0;
  }
  const std::size_t bytes = static_cast<std::size_t>(bytesPerLine());
  for (int i = 0; i < lines; ++i)
    render(cameraIndex, first + i, camera.active, camera.frame.data() + static_cast<std::size_t>(i) * bytes);
  if (wait) clock_->sleepUntil(due);
  camera.frameFirstLine = first;
  camera.frameLines = lines;
  camera.frameCursor = 0;
  return true;
}

ProductStreamSimulator::CameraLineStats ProductStreamSimulator::lineStats(std::int32_t cameraIndex) const {
  if (cameraIndex < 0 || cameraIndex > 1) return {};
  std::lock_guard lock(mutex_);
  return cameras_[static_cast<std::size_t>(cameraIndex)].stats;
}

std::vector<ProductItem> ProductStreamSimulator::groundTruth() const { return itemsFrom(0); }

std::vector<ProductItem> ProductStreamSimulator::itemsFrom(std::uint64_t firstId) const {
  std::lock_guard lock(mutex_);
  std::vector<ProductItem> result;
  if (items_.empty()) return result;
  // Ids are consecutive, so the first wanted item is found by subtraction.
  const std::uint64_t frontId = items_.front().truth.id;
  const std::size_t skip =
      firstId <= frontId
          ? 0
          : static_cast<std::size_t>(std::min<std::uint64_t>(firstId - frontId, items_.size()));
  result.reserve(items_.size() - skip);
  for (auto it = items_.begin() + static_cast<std::ptrdiff_t>(skip); it != items_.end(); ++it)
    result.push_back(it->truth);
  return result;
}

void ProductStreamSimulator::renderLine(std::int32_t cameraIndex, std::int64_t line,
                                        std::uint8_t* lineBuffer) {
  if (cameraIndex < 0 || cameraIndex > 1 || line < 0 || lineBuffer == nullptr) return;
  std::vector<Item> items;
  {
    std::lock_guard lock(mutex_);
    generateThrough(line);
    collectActive(line, line, items);
  }
  render(cameraIndex, line, items, lineBuffer);
}

void ProductStreamSimulator::generateThrough(std::int64_t line) {
  while (generatedThrough_ < line) {
    const std::int64_t current = ++generatedThrough_;
    std::erase_if(openItems_, [&](const Footprint& f) { return f.lastLine + config_.minGap < current; });
    pendingArrivals_ = std::min(pendingArrivals_ + random_->poisson(arrivalLimit_), kMaxPendingArrivals);
    // Arrivals that find no free place wait for the next line, so the share holds in a busy curtain.
    while (pendingArrivals_ > 0 && placeItem(current)) --pendingArrivals_;
  }
}

bool ProductStreamSimulator::placeItem(std::int64_t line) {
  const int width = random_->uniformInt(config_.minItemWidth, config_.maxItemWidth);
  const double elongation = random_->uniform(config_.minElongation, config_.maxElongation);
  const int height = std::max(1, static_cast<int>(std::lround(width * elongation * config_.linesPerPixel)));
  const bool defective = random_->chance(config_.defectShare);
  std::uint8_t defectCameras = 0;
  if (defective) {
    defectCameras = random_->chance(config_.oneSidedDefectShare)
                        ? std::uint8_t(1u << random_->uniformInt(0, 1))
                        : std::uint8_t(3);
  }
  const int toneOffset = random_->uniformInt(-config_.toneJitter, config_.toneJitter);

  const int gap = config_.minGap;
  for (int attempt = 0; attempt < kPlacementTries; ++attempt) {
    const int left = random_->uniformInt(1, config_.pixelsPerLine - width + 1);
    const int right = left + width - 1;
    const bool blocked = std::any_of(openItems_.begin(), openItems_.end(), [&](const Footprint& f) {
      return left <= f.right + gap && right + gap >= f.left;
    });
    if (blocked) continue;

    Item item;
    item.startLine = line;
    item.cx = left + (width - 1) / 2.0;
    item.cy = static_cast<double>(line) + (height - 1) / 2.0;
    item.a = width / 2.0;
    item.b = height / 2.0;
    item.toneOffset = toneOffset;
    // The reported extent is the pixels actually drawn.
    int minPixel = right, maxPixel = left;
    std::int64_t firstLine = -1, lastLine = -1;
    for (std::int64_t n = line; n < line + height; ++n) {
      int p0 = 0, p1 = 0;
      if (!span(item, n, p0, p1)) continue;
      if (firstLine < 0) firstLine = n;
      lastLine = n;
      minPixel = std::min(minPixel, p0);
      maxPixel = std::max(maxPixel, p1);
    }
    ProductItem& truth = item.truth;
    truth.id = nextId_++;
    truth.xCentre = item.cx;
    truth.left = minPixel;
    truth.right = maxPixel;
    truth.width = maxPixel - minPixel + 1;
    truth.firstLine = firstLine;
    truth.lastLine = lastLine;
    truth.heightLines = static_cast<int>(lastLine - firstLine + 1);
    truth.defective = defective;
    truth.defectCameras = defectCameras;
    maxHeight_ = std::max(maxHeight_, height);
    openItems_.push_back({left, right, line + height - 1});
    items_.push_back(item);
    if (items_.size() > config_.maxKeptItems) items_.pop_front();
    return true;
  }
  return false;
}

bool ProductStreamSimulator::span(const Item& item, std::int64_t line, int& first, int& last) {
  const double dy = (static_cast<double>(line) - item.cy) / item.b;
  if (dy < -1 || dy > 1) return false;
  const double half = item.a * std::sqrt(1 - dy * dy);
  first = static_cast<int>(std::ceil(item.cx - half));
  last = static_cast<int>(std::floor(item.cx + half));
  // The ellipse never reaches beyond its box.
  first = std::max(first, static_cast<int>(std::ceil(item.cx - item.a + 0.5)));
  last = std::min(last, static_cast<int>(std::floor(item.cx + item.a - 0.5)));
  return first <= last;
}

void ProductStreamSimulator::collectActive(std::int64_t first, std::int64_t last,
                                           std::vector<Item>& out) const {
  out.clear();
  // Items are in order of their first line; one on `first` began at most maxHeight_ lines before it.
  const auto begin = std::lower_bound(items_.begin(), items_.end(), first - maxHeight_ + 1,
                                      [](const Item& item, std::int64_t l) { return item.startLine < l; });
  for (auto it = begin; it != items_.end() && it->startLine <= last; ++it) {
    if (it->truth.firstLine <= last && it->truth.lastLine >= first) out.push_back(*it);
  }
}

void ProductStreamSimulator::render(std::int32_t cameraIndex, std::int64_t line,
                                    const std::vector<Item>& items, std::uint8_t* buffer) const {
  // Noise depends only on seed, camera and line, so a line looks the same however it is reached.
  std::uint64_t key = config_.seed ^ (static_cast<std::uint64_t>(line) * 0xD1B54A32D192ED03ull) ^
                      (static_cast<std::uint64_t>(cameraIndex + 1) << 56);
  const std::size_t window = static_cast<std::size_t>(splitMix(key) % kPlateOffsets);
  const int pixels = config_.pixelsPerLine;
  const std::uint8_t bit = static_cast<std::uint8_t>(1u << cameraIndex);

  if (!config_.colour) {
    std::memcpy(buffer, plate_.data() + window, static_cast<std::size_t>(pixels));
    for (const Item& item : items) {
      int p0 = 0, p1 = 0;
      if (!span(item, line, p0, p1)) continue;
      const int base =
          ((item.truth.defectCameras & bit) ? config_.defectGrey : config_.productGrey) + item.toneOffset;
      const double dy = (static_cast<double>(line) - item.cy) / item.b;
      for (int p = p0; p <= p1; ++p) {
        const double dx = (p - item.cx) / item.a;
        const int shade = static_cast<int>(config_.shading * std::min(1.0, dx * dx + dy * dy));
        // Reuse the plate's noise at this pixel.
        const int n = buffer[p - 1] - config_.backgroundGrey;
        buffer[p - 1] = clampByte(base - shade + n);
      }
    }
    return;
  }

  const Rgb plate = config_.backgroundColour;
  std::memcpy(buffer, plate_.data() + 3 * window, 3 * static_cast<std::size_t>(pixels));
  for (const Item& item : items) {
    int p0 = 0, p1 = 0;
    if (!span(item, line, p0, p1)) continue;
    const Rgb colour = (item.truth.defectCameras & bit) ? config_.defectColour : config_.productColour;
    const double dy = (static_cast<double>(line) - item.cy) / item.b;
    for (int p = p0; p <= p1; ++p) {
      const double dx = (p - item.cx) / item.a;
      const double r2 = std::min(1.0, dx * dx + dy * dy);
      const int offset = item.toneOffset - static_cast<int>(config_.shading * r2);
      std::uint8_t* px = buffer + 3 * (p - 1);
      // Noise from the (unclamped) random draw is lost only where the plate clamps; good enough.
      px[0] = clampByte(colour.r + offset + (px[0] - plate.r));
      px[1] = clampByte(colour.g + offset + (px[1] - plate.g));
      px[2] = clampByte(colour.b + offset + (px[2] - plate.b));
    }
  }
}

}  // namespace tolvane
