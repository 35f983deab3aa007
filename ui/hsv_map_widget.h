#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <cstddef>
#include <optional>

#include "colour_tools/hsv_map.h"
#include "colour_tools/sector_drag.h"
#include "engine/color_convert.h"
#include "settings/color_sector.h"
#include "settings/sector_list.h"
#include "ui/bitmap_util.h"

namespace tolvane {

// The HSV colour map of the colour page: shows the working map (the picture plus sector outlines,
// the rubber band and the sample tool's marks), lets the finger drag out a sector, and holds the
// pending sector that the sector buttons take over. Called on the UI thread only.
class HsvMapWidget : public QWidget {
  Q_OBJECT

 public:
  explicit HsvMapWidget(const QString& objectName, QWidget* parent = nullptr);

  // The edited camera's list and its selected entry, drawn by redrawMap(). The list must outlive the
  // widget or be replaced before it goes; nullptr draws no sectors.
  void setSectorList(const SectorLines* lines, std::optional<std::size_t> selected);
  // Working map := picture, outlines of the active sectors with their IDs (the selected one thick, with
  // its bounds in white at the top right), repaint; then mapRedrawn().
  void redrawMap();

  const ColorSector& pending() const { return drag_.pending(); }
  void setPending(const ColorSector& pending);
  bool dragging() const { return drag_.dragging(); }

  // The sector proposal from the sample image touched at `at` (a null image gives the default
  // proposal): marks on the working map, pending := the proposal (built on the pending record). A right
  // press only clears the pending bounds. Returns the text for the mean-brightness label, or an empty
  // string when the label keeps its text (right press, default proposal).
  QString proposeFromSample(const QImage& sample, QPoint at, bool rightButton);

  // The live-strip probe: the colour's H/S/V and R/G/B in white and a cross at its map position, on
  // the screen only; the next change of the map removes them.
  void showStripProbe(const QColor& colour);

  const TBitMapUtil& workingMap() const { return working_; }
  const TBitMapUtil& picture() const { return picture_; }

 signals:
  // A press on the map, before its redraw (the sector editor closes here).
  void pressed();
  void pendingChanged();
  // After every redraw with the sector list: the 3D view and the sample view follow the map.
  void mapRedrawn();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  struct StripProbe {
    Hsv hsv;
    QColor rgb;
    MapPoint cross;
  };

  void showWorkingMap();

  TBitMapUtil picture_;
  TBitMapUtil working_;
  TBitMapUtil snapshot_;
  SectorDrag drag_;
  const SectorLines* lines_ = nullptr;
  std::optional<std::size_t> selected_;
  std::optional<StripProbe> probe_;
};

}  // namespace tolvane
