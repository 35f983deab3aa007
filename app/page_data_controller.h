#pragma once

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>

#include "app/page_data.h"
#include "colour_tools/sample_page.h"
#include "engine/engine_constants.h"
#include "ui/bitmap_util.h"

class QLabel;
class QListWidget;

namespace tolvane {

class Machine;

// The samples page: catching samples from the running product, the two lists with their occupancy
// and marking boxes, the enlarged pictures with the sample information, the mask and channel
// switches, clearing, and the small sample pictures of the colour pages.
//
// Engine data is copied under the engine lock and drawn from the copies; what the page changes in
// the sample table (occupancy, marking, clearing, the counts of a redraw) is written back under the
// lock. A redraw writes its counts back only while the slot still holds the sample it measured.
class PageDataController : public QObject {
  Q_OBJECT

 public:
  // The small sample pictures on the colour pages: camera 1 on Paint2 (TabSettings) and Paint4
  // (TabOneChanal), camera 2 on Paint3 and Paint5. Any of them may be null.
  struct SmallPictures {
    QLabel* Paint2 = nullptr;
    QLabel* Paint3 = nullptr;
    QLabel* Paint4 = nullptr;
    QLabel* Paint5 = nullptr;
  };

  PageDataController(PageData& page, Machine& machine, SmallPictures small, QObject* parent = nullptr);
  ~PageDataController() override;

  // Start-up, after the sample file was read: thumbnails 0..15 from the table, lists repainted.
  void rebuildThumbnails();
  // Both cameras' selected samples drawn again under the colour settings in force and measured
  // again; wanted after program switches, colour range changes and every redraw of the colour map.
  void maskRedraw();
  // Looks whether the engine caught samples since the last look; repaints the lists if so. A timer
  // of the controller calls it; tests call it directly.
  void pollCaptures();

  // What the page shows (tests).
  int selectedSlot(int camera) const;
  QImage thumbnail(int slot) const { return thumbnails_[static_cast<std::size_t>(slot)].toImage(); }
  QImage listItemPicture(int slot, bool selected, QSize size) const;
  QImage bigPicture(int camera) const { return big_[static_cast<std::size_t>(camera)].toImage(); }
  QImage smallPicture(int camera) const { return small_[static_cast<std::size_t>(camera)].toImage(); }
  bool channelOn(int channel) const { return channels_[static_cast<std::size_t>(channel)]; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void syncFlags();
  void setScanExam(bool on);
  void listTouch(int camera, QPoint at);
  void drawSlot(int camera, int slot);
  void pick(int camera, QPoint at);
  void clearAll();
  void toggleChannel(int channel);
  void copyTable();
  void rebuildThumbnail(int slot);
  void repaintLists();
  // The redraw of one camera's selected sample into its pictures; with `overlays` the list touch's
  // marks, measures and re-measuring too.
  void redrawCamera(int camera, bool overlays);
  void showPictures(int camera, const std::vector<CanvasText>& bigTexts,
                    const std::vector<CanvasText>& smallTexts);
  QListWidget* list(int camera) const;

  PageData& page_;
  Machine& machine_;
  SmallPictures smallLabels_;
  QTimer poll_;

  // Copy of the sample table taken under the lock, with each slot's reject decision.
  std::unique_ptr<ObjectRecord[]> table_;
  std::unique_ptr<ObjectRecord[]> previous_;  // the copy before the last look for captures
  std::unique_ptr<ObjectRecord> before_;      // a redrawn slot as read, and as drawn
  std::unique_ptr<ObjectRecord> work_;
  std::array<bool, kSampleSlots> reject_{};
  std::array<std::uint64_t, kCameraCount> captures_{};
  std::array<TBitMapUtil, kSampleSlots> thumbnails_;
  std::array<TBitMapUtil, kCameraCount> big_;
  std::array<TBitMapUtil, kCameraCount> small_;
  std::array<QPoint, kCameraCount> picked_{};
  std::array<bool, 3> channels_{true, true, true};
};

}  // namespace tolvane
