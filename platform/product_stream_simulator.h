#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/camera_driver.h"

namespace tolvane {

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  bool operator==(const Rgb&) const = default;
};

// What the simulated cameras see. Both cameras look at the same curtain (front and back), so an item
// passes both at the same stream line and at the same pixels.
struct ProductStreamConfig {
  std::array<bool, 2> cameraPresent{true, true};
  bool colour = false;          // false: single-tone, 1 byte per pixel; true: R, G, B per pixel
  int pixelsPerLine = 2048;     // pixels written per line, at most kMaxLinePixels
  double lineRateHz = 4000;     // lines per second of each camera
  bool waitForLineTime = true;  // false: every read returns the next line at once (tests, benchmarks)
  // Lines a camera holds for a late reader; older lines are lost. A frame grabber's memory holds
  // many milliseconds of lines (4096 lines of 2048 colour pixels are 24 MB), so a reader held up for a
  // moment falls behind instead of losing lines (a lost line would shift every later valve time of
  // camera 1's line clock).
  int fifoLines = 4096;
  // Lines a camera packs into one frame (readFrame); 1: line by line only. With frames the camera
  // holds fifoLines / linesPerFrame whole frames for a late reader.
  int linesPerFrame = 1;
  std::uint64_t seed = 1;

  double productShare = 0.06;        // share of all pixels covered by product, roughly
  double defectShare = 0.05;         // share of items that are defective
  double oneSidedDefectShare = 0.0;  // share of defective items whose defect only one camera sees
  int minItemWidth = 8;              // pixels across the line
  int maxItemWidth = 16;
  double minElongation = 1.0;  // item length / width
  double maxElongation = 1.8;
  double linesPerPixel = 1.0;  // fall speed: camera lines per pixel of item length (less = faster)
  int minGap = 2;              // pixels and lines kept free between items, so each stays one object

  // Single-tone cameras: a bright plate behind darker product; defects darker still.
  int backgroundGrey = 230;
  int productGrey = 150;
  int defectGrey = 70;
  // Colour cameras: a blue-ish plate; defects of another, darker colour.
  Rgb backgroundColour{60, 90, 200};
  Rgb productColour{205, 175, 95};
  Rgb defectColour{85, 55, 35};

  int toneJitter = 12;  // each item's brightness varies by up to this
  int shading = 25;     // items darken towards their rim by up to this
  int noise = 3;        // every pixel varies by up to this
  // Ground truth kept (about 110 bytes an item); the oldest items are dropped beyond this, so a long
  // run should collect them as it goes with itemsFrom().
  std::size_t maxKeptItems = 200'000;
};

// Ground truth of one item. Lines are stream lines: line n is the n-th line of the curtain, and a
// camera that is never late delivers line n as its n-th line. The extent is tight: the item has pixels
// on its first and last line and in its left and right pixel column.
struct ProductItem {
  std::uint64_t id = 0;  // 1, 2, ... in order of first line
  double xCentre = 0;    // pixel number (from 1) of the centre
  int left = 0;          // first and last pixel (from 1) the item covers
  int right = 0;
  int width = 0;        // right - left + 1
  int heightLines = 0;  // lastLine - firstLine + 1
  std::int64_t firstLine = 0;
  std::int64_t lastLine = 0;
  bool defective = false;          // should be blown out
  std::uint8_t defectCameras = 0;  // bit i set: camera i sees the defect

  bool operator==(const ProductItem&) const = default;
};

// The clock the line times follow; tests replace it to make lateness reproducible.
class LineClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~LineClock() = default;
  virtual TimePoint now() = 0;
  virtual void sleepUntil(TimePoint when) = 0;
};

// The steady clock and a real sleep.
class SteadyLineClock : public LineClock {
 public:
  TimePoint now() override;
  void sleepUntil(TimePoint when) override;
};

// The default camera driver: a falling curtain of elliptical product items on a background plate, seeded
// and reproducible. A camera delivers lines at the set rate: CCD_GetDataByte waits for the next line's
// time; a reader more than fifoLines behind loses lines, and they are counted. The stream itself does
// not depend on how fast it is read: the same seed gives the same lines and the same items.
//
// Calls follow the real driver's rules: CCD_Init must have found the camera before any other call works,
// CCD_StartMeasuring needs CCD_InitMeasuring, lines come only while measuring, CCD_CameraReset stops
// measuring. Parameters 4 and 7 read as the pixels per line, 8 as 1; parameters 0..31 can be set.
// Thread-safe in the way the driver is used: camera i's calls on camera i's thread, both at once, and
// the accessors from any thread. A reader that counts its own lines can compare them with
// lineStats().lastLine to find lines it lost, and must use that line number to match ground truth.
// Being a stand-in for hardware, a read may allocate now and then as the kept ground truth grows.
//
// With linesPerFrame > 1 the camera delivers frames: readFrame waits until the frame's last line is
// due and renders the whole frame into the camera's frame buffer (made at CCD_InitMeasuring); frames
// start at the line the camera started measuring with. A reader too late for the held frames loses
// whole frames, reported in the next frame's lostLinesBefore. CCD_GetDataByte hands the current frame
// out line by line, for readers that take lines.
class ProductStreamSimulator : public CameraDriver {
 public:
  struct CameraLineStats {
    bool measuring = false;
    std::int64_t lastLine = -1;       // stream line of the last delivered line
    std::uint64_t delivered = 0;      // lines handed out
    std::uint64_t skipped = 0;        // lines lost because the reader was late
    std::uint64_t frames = 0;         // frames rendered (frame mode)
    std::uint64_t skippedFrames = 0;  // whole frames lost because the reader was late
    // The camera's line clock since its last start of measuring: stream line `anchorLine` was due at
    // `anchorTime`, each later line one line period after the one before.
    std::int64_t anchorLine = 0;
    LineClock::TimePoint anchorTime{};
  };

  // Throws std::invalid_argument with the reason when the configuration is unusable.
  explicit ProductStreamSimulator(ProductStreamConfig config, std::shared_ptr<LineClock> clock = nullptr);
  ~ProductStreamSimulator() override;

  // Empty when usable, else the reason.
  static std::string validate(const ProductStreamConfig& config);

  CcdResult CCD_Init(void* windowHandle, std::int32_t reserved, std::int32_t* cameraIndex) override;
  CcdResult CCD_SetParameter(std::int32_t cameraIndex, std::int32_t parameter, float value) override;
  CcdResult CCD_GetParameter(std::int32_t cameraIndex, std::int32_t parameter, float* value) override;
  CcdResult CCD_HitTest(std::int32_t cameraIndex) override;
  CcdResult CCD_InitMeasuring(std::int32_t cameraIndex) override;
  CcdResult CCD_StartMeasuring(std::int32_t cameraIndex) override;
  CcdResult CCD_GetDataByte(std::int32_t cameraIndex, std::uint8_t* lineBuffer) override;
  CcdResult CCD_CameraReset(std::int32_t cameraIndex) override;
  int linesPerFrame(std::int32_t cameraIndex) override;
  CcdResult readFrame(std::int32_t cameraIndex, CameraFrame* frame) override;

  const ProductStreamConfig& config() const { return config_; }
  int bytesPerLine() const { return config_.pixelsPerLine * (config_.colour ? 3 : 1); }
  // Items arriving per stream line on average.
  double itemsPerLine() const { return itemsPerLine_; }

  CameraLineStats lineStats(std::int32_t cameraIndex) const;
  // Every kept item whose first line has been reached by some reader.
  std::vector<ProductItem> groundTruth() const;
  // Kept items with id >= firstId, for scoring as the run goes.
  std::vector<ProductItem> itemsFrom(std::uint64_t firstId) const;
  // Renders stream line `line` as camera `cameraIndex` sees it, outside the call protocol and without
  // touching the cameras' line counters (bytesPerLine() bytes).
  void renderLine(std::int32_t cameraIndex, std::int64_t line, std::uint8_t* lineBuffer);

 private:
  struct Item {
    ProductItem truth;
    std::int64_t startLine = 0;           // top of the ellipse's box; items are kept in this order
    double cx = 0, cy = 0, a = 0, b = 0;  // ellipse centre (pixel, line) and half axes
    int toneOffset = 0;
  };
  struct Camera {
    bool initialised = false;
    bool prepared = false;
    bool measuring = false;
    std::int64_t nextLine = 0;
    std::int64_t anchorLine = 0;
    LineClock::TimePoint anchorTime{};
    CameraLineStats stats;
    std::array<float, 32> parameters{};
    std::vector<Item> active;  // used only by the camera's own thread
    // Frame mode, the camera's own thread only: the current frame, its first stream line, the next
    // line CCD_GetDataByte hands out and the lines lost before it.
    std::vector<std::uint8_t> frame;
    std::int64_t frameFirstLine = 0;
    int frameCursor = 0;
    int frameLines = 0;
    std::int64_t frameLostBefore = 0;
    std::int64_t pendingLost = 0;  // lost since the last frame; under the lock
  };
  class Random;

  bool usable(std::int32_t cameraIndex) const;
  // Creates the items of all stream lines up to `line`; the caller holds the lock.
  void generateThrough(std::int64_t line);
  bool placeItem(std::int64_t line);
  // Copies the items on lines first..last into `out`; the caller holds the lock.
  void collectActive(std::int64_t first, std::int64_t last, std::vector<Item>& out) const;
  // Waits for, skips to and renders the camera's next frame into its frame buffer; false
  // when the camera is not measuring.
  bool nextFrame(std::int32_t cameraIndex, Camera& camera);
  void render(std::int32_t cameraIndex, std::int64_t line, const std::vector<Item>& items,
              std::uint8_t* buffer) const;
  static bool span(const Item& item, std::int64_t line, int& first, int& last);

  const ProductStreamConfig config_;
  const std::shared_ptr<LineClock> clock_;
  const double periodNs_;
  double itemsPerLine_ = 0;
  double arrivalLimit_ = 1;  // exp(-itemsPerLine_), for the arrival draws
  // The noisy plate: a line is a window of this at an offset drawn from seed, camera and line, so a
  // line costs a copy instead of a random number per pixel. Pixels (mono) or R, G, B (colour).
  std::vector<std::uint8_t> plate_;

  mutable std::mutex mutex_;
  std::array<Camera, 2> cameras_;
  std::unique_ptr<Random> random_;
  std::int64_t generatedThrough_ = -1;
  int pendingArrivals_ = 0;
  std::uint64_t nextId_ = 1;
  int maxHeight_ = 1;
  std::deque<Item> items_;
  struct Footprint {
    int left, right;
    std::int64_t lastLine;
  };
  std::vector<Footprint> openItems_;  // recent items still close enough to block a new one
};

}  // namespace tolvane
