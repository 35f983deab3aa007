#pragma once

#include <QImage>
#include <QSize>
#include <utility>
#include <vector>

#include "colour_tools/objects_3d.h"
#include "settings/sector_list.h"
#include "ui/bitmap_util.h"

namespace tolvane {

// The 3D colour-space view of the colour page: the canvas it is drawn on and the scene. The page shows
// viewImage() in its Paint3D label; the arrow buttons step the angles, which persist while the program
// runs (hiding the view keeps them).
class View3D {
 public:
  // Canvas 1000 x 1000, black, pen white; tilt 110, turn 0; no solids yet.
  View3D();

  // New solids from the edited camera's sector lines; the canvas cleared to (3, 3, 3) and drawn
  // without labels.
  void rebuild(const SectorLines& lines);
  // The canvas black, axes, labels in bold green, mesh and solids at the current angles.
  void redraw();

  int tilt() const { return objects_.angles().tilt; }
  int turn() const { return objects_.angles().turn; }
  // One arrow step, then redraw().
  void stepTilt(int delta);
  void stepTurn(int delta);
  // The (tilt, turn) frames of the way back to the start position from the current angles, 21 of
  // them; the caller sets each with setAngles, redraws and repaints.
  std::vector<std::pair<int, int>> returnToStartFrames() const;
  // Sets the angles only; nothing is drawn.
  void setAngles(int tilt, int turn);

  // The top-left area of the canvas of that size (black beyond the canvas, empty for an empty size).
  QImage viewImage(QSize size) const;
  const TBitMapUtil& canvas() const { return canvas_; }

 private:
  TBitMapUtil canvas_;
  Objects3D objects_;
};

}  // namespace tolvane
