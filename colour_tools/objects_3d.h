#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "service/bitmap_util_core.h"
#include "settings/color_sector.h"
#include "settings/sector_list.h"

// The 3D view of the HSV colour space: the cylinder as a wire mesh (hue = angle, saturation = radius,
// value = height), the axes and one solid per colour sector, rotated by two angles and projected in
// perspective onto a 1000 x 1000 canvas. World coordinates: X = S cos H, Y = S sin H, Z = V - 150.
// Called on the UI thread only.
namespace tolvane {

struct Point3D {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  friend bool operator==(const Point3D&, const Point3D&) = default;
};

struct ScreenPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

// View angles in degrees. Any integer is taken; only the sines and cosines depend on it modulo 360,
// but an angle of exactly 0 skips its rotation step (so tilt 0 and tilt 360 are different pictures).
struct ViewAngles {
  int tilt = 110;
  int turn = 0;
  friend bool operator==(const ViewAngles&, const ViewAngles&) = default;
};

inline constexpr int kView3DCanvasSize = 1000;

// Rotation by (tilt, turn) with the sines worked out once.
//   tilt: Y1 = cos t Z - sin t Y, Z1 = sin t Z + cos t Y   (skipped at t == 0)
//   turn: Y2 = sin b X + cos b Y1, X2 = cos b X - sin b Y1  (skipped at b == 0)
class ViewRotation {
 public:
  explicit ViewRotation(ViewAngles angles);
  Point3D rotate(const Point3D& p) const;

 private:
  bool tilt_;
  bool turn_;
  double sinTilt_ = 0.0;
  double cosTilt_ = 1.0;
  double sinTurn_ = 0.0;
  double cosTurn_ = 1.0;
};

// Perspective from distance 1000 onto the centre (350, 300): e = 1000 / (1000 + Y),
// x = 350 + Round(X e), y = 300 - Round(Z e), halves to even. A point at or behind the eye is held at
// the eye plane and the result is kept within +-1e6, so any input gives a usable pixel position.
ScreenPoint projectPoint(const Point3D& rotated);

// Depth shade of a rotated point, lighter when nearer: t = Trunc(Y / 3 + 100), grey (-t) mod 256.
std::uint8_t depthGrey(const Point3D& rotated);
// End dots of edge objects: (grey, grey, (100 - Trunc(Y / 3)) mod 256).
Rgb24 depthDotColor(const Point3D& rotated);

// Drawing primitives of the view; everything outside the canvas is left out.
// A 1-pixel line that leaves out its end point, pixel for pixel as Rgb24Canvas::LineTo draws it.
void drawThinLine(Rgb24Canvas& canvas, ScreenPoint from, ScreenPoint to, Rgb24 color);
// A line 3 pixels thick (across its major axis), end points included.
void drawThickLine(Rgb24Canvas& canvas, ScreenPoint from, ScreenPoint to, Rgb24 color);
// A filled circle of diameter 6 in the box (x - 3, y - 3) .. (x + 3, y + 3), right and bottom excluded.
void drawDot(Rgb24Canvas& canvas, ScreenPoint centre, Rgb24 color);
// The whole canvas in one colour, as ClearCol leaves it (pen colour set, pen below the last row).
void clearCanvas(Rgb24Canvas& canvas, Rgb24 color);

// Points joined by edges, in one colour. Points are numbered from 1.
class EdgeObject3D {
 public:
  static constexpr int kMaxPoints = 1000;
  static constexpr int kMaxEdges = 2000;

  struct Edge {
    int from = 0;
    int to = 0;
    friend bool operator==(const Edge&, const Edge&) = default;
  };

  // Keeps the memory for the next build.
  void clear();
  // The number of the new point, or 0 when the object is full. Coordinates that are not finite
  // count as 0 and the rest are held within +-1e6.
  int addPoint(const Point3D& p);
  // False when the object is full or a number names no point.
  bool addEdge(int from, int to);

  int pointCount() const { return static_cast<int>(points_.size()); }
  int edgeCount() const { return static_cast<int>(edges_.size()); }
  const Point3D& point(int number) const { return points_[static_cast<std::size_t>(number - 1)]; }
  const Point3D& rotatedPoint(int number) const { return rotated_[static_cast<std::size_t>(number - 1)]; }
  const Edge& edge(int index) const { return edges_[static_cast<std::size_t>(index)]; }
  // Where the rotated point lands on the canvas; (0, 0) for a number that names no point.
  ScreenPoint screenPoint(int number) const;
  Rgb24 color() const { return color_; }
  void setColor(Rgb24 color) { color_ = color; }
  void reserve(int points, int edges);

  void rotate(const ViewRotation& rotation);
  // Each edge: a line 3 pixels wide in the object's colour, then a dot at either end in its depth
  // colour. Uses the rotated points.
  void draw(Rgb24Canvas& canvas) const;

 private:
  std::vector<Point3D> points_;
  std::vector<Point3D> rotated_;
  std::vector<ScreenPoint> screen_;
  std::vector<Rgb24> dots_;
  std::vector<Edge> edges_;
  Rgb24 color_ = kRgbWhite;
};

// The cylinder's wire mesh: a profile of 48 points in the plane Y = 0 (bottom centre to rim, up the
// rim, top rim to centre, 17 apart) turned about the Z axis in 36 steps of 10 degrees.
class MeshObject3D {
 public:
  static constexpr int kPolylines = 36;
  static constexpr int kPointsPerPolyline = 48;

  MeshObject3D();
  // Polyline 0..35, point 0..47.
  const Point3D& point(int polyline, int index) const { return points_[slot(polyline, index)]; }
  const Point3D& rotatedPoint(int polyline, int index) const { return rotated_[slot(polyline, index)]; }

  void rotate(const ViewRotation& rotation);
  // The rings (each point position joined around the 36 polylines), then the profiles; each 1-pixel
  // segment in the grey depth shade of its first point.
  void draw(Rgb24Canvas& canvas) const;

 private:
  static std::size_t slot(int polyline, int index) {
    return static_cast<std::size_t>(polyline * kPointsPerPolyline + index);
  }

  std::vector<Point3D> points_;
  std::vector<Point3D> rotated_;
  std::vector<ScreenPoint> screen_;
  std::vector<Rgb24> shade_;
};

// Hue angles of a sector's solid: HMIN, HMIN + 10, ... up to HMAX, after HMAX += 360 when HMIN > HMAX.
// At most 37 angles (a full turn and its closing edge); none when HMIN is still above HMAX.
inline constexpr int kMaxSolidAngles = 37;
struct SolidAngles {
  std::array<std::int64_t, kMaxSolidAngles> degrees{};
  int count = 0;
};
SolidAngles sectorSolidAngles(const ColorSector& sector);

// Colour of a sector's solid: white for the background (-1), red for 1, blue for 2, light blue for the
// blue background (-2), dark grey for the black background (-3); inactive sectors and unknown types grey.
Rgb24 sectorSolidColor(const ColorSector& sector);

// The solid of a sector: bottom ring at Z = VMIN - 150 (outer arc at SMAX up the angles, inner arc at
// SMIN back down, closed), the top ring at Z = VMAX - 150 built the same way, and vertical edges
// between the rings at every angle. S and V are taken within 0..255, the colour space the view shows.
void buildSectorSolid(const ColorSector& sector, EdgeObject3D& solid);

// A label of the axes: text with its top-left at (x, y).
struct ViewLabel {
  int x = 0;
  int y = 0;
  std::string_view text;
};
using ViewLabels = std::array<ViewLabel, 5>;

class Objects3D {
 public:
  static constexpr int kMaxSolids = 99;
  static constexpr Rgb24 kAxesColor{0, 255, 0};
  static constexpr Rgb24 kRebuildBackground{3, 3, 3};

  Objects3D();

  ViewAngles angles() const { return angles_; }
  void setAngles(ViewAngles angles) { angles_ = angles; }
  // Add to one angle, held within the int range.
  void stepTilt(int delta);
  void stepTurn(int delta);

  // New solids from a camera's sector lines (the first 99 that parse; lines that do not parse give
  // none), the canvas cleared to (3, 3, 3), and axes, mesh and solids drawn without labels.
  void rebuild(Rgb24Canvas& canvas, const SectorLines& lines);

  // Writes the labels onto the canvas; it runs after the axes, before the mesh.
  using LabelWriter = std::function<void(const ViewLabels&)>;
  // The canvas black, the axes, the labels (through writeLabels when given), the mesh and the solids.
  // Returns the labels: "H=0", "H=90", "H=180", "H=270", "V=255" at the projected axis ends + (2, -4).
  ViewLabels redraw(Rgb24Canvas& canvas, const LabelWriter& writeLabels = {});

  // The frames of the way back to tilt 110, turn 0 from `from`: for n = 20 down to 0,
  // tilt = Round((a0 - 110) / 20 n) + 110, turn = Round(b0 / 20 n); 21 frames.
  static std::vector<ViewAngles> returnToStartFrames(ViewAngles from);

  const EdgeObject3D& axes() const { return axes_; }
  const MeshObject3D& mesh() const { return mesh_; }
  int solidCount() const { return solidCount_; }
  const EdgeObject3D& solid(int index) const { return solids_[static_cast<std::size_t>(index)]; }

 private:
  void rotateAll();
  ViewLabels labels() const;

  ViewAngles angles_;
  EdgeObject3D axes_;
  MeshObject3D mesh_;
  std::vector<EdgeObject3D> solids_;  // kMaxSolids objects, the first solidCount_ in use
  int solidCount_ = 0;
};

}  // namespace tolvane
