#include "colour_tools/objects_3d.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace tolvane {
namespace {

std::string sectorLine(int32_t type, int32_t hMin, int32_t hMax, int32_t sMin, int32_t sMax, int32_t vMin,
                       int32_t vMax, bool active = true) {
  return formatSectorLine(ColorSector{active, type, 0, hMin, hMax, sMin, sMax, vMin, vMax});
}

ColorSector hueRange(int32_t hMin, int32_t hMax) {
  return ColorSector{true, kSectorRed, 0, hMin, hMax, 0, 255, 0, 255};
}

std::vector<std::int64_t> anglesOf(const ColorSector& sector) {
  const SolidAngles a = sectorSolidAngles(sector);
  return {a.degrees.begin(), a.degrees.begin() + a.count};
}

TEST(Objects3D, AxisEndsProjectAtTheStartAngles) {
  struct Case {
    int point;
    ScreenPoint expected;
  };
  const Case cases[] = {{1, {350, 434}}, {2, {632, 434}}, {3, {350, 613}},
                        {4, {65, 434}},  {5, {350, 329}}, {6, {350, 151}}};
  Objects3D view;
  Rgb24Canvas canvas(kView3DCanvasSize, kView3DCanvasSize);
  const ViewLabels labels = view.redraw(canvas);
  for (const Case& c : cases) {
    EXPECT_EQ(view.axes().screenPoint(c.point), c.expected) << "point " << c.point;
  }
  // The labels stand 2 px right of and 4 px above the axis ends 2..6.
  const char* texts[] = {"H=0", "H=90", "H=180", "H=270", "V=255"};
  for (int i = 0; i < 5; ++i) {
    const ScreenPoint end = cases[i + 1].expected;
    EXPECT_EQ(labels[static_cast<std::size_t>(i)].text, texts[i]);
    EXPECT_EQ(labels[static_cast<std::size_t>(i)].x, end.x + 2) << texts[i];
    EXPECT_EQ(labels[static_cast<std::size_t>(i)].y, end.y - 4) << texts[i];
  }
}

TEST(Objects3D, AnAngleOfExactlyZeroSkipsItsStep) {
  // (296, 0, -150): unrotated it lands at (646, 450). At tilt 360 the tilt step runs and exchanges Y
  // and Z (Y1 = Z, Z1 = Y), which is a different picture; turn 360 leaves it where turn 0 does.
  struct Case {
    ViewAngles angles;
    ScreenPoint expected;
  };
  const Case cases[] = {
      {{0, 0}, {646, 450}},
      {{360, 0}, {698, 300}},
      {{0, 360}, {646, 450}},
      {{110, 90}, {310, 409}},
      {{110 + 3600, 90 - 720}, {310, 409}},  // whole turns do not matter apart from the zero rule
  };
  for (const Case& c : cases) {
    const Point3D rotated = ViewRotation(c.angles).rotate({296, 0, -150});
    EXPECT_EQ(projectPoint(rotated), c.expected) << c.angles.tilt << ", " << c.angles.turn;
  }
  // Stepping the tilt from 1 to 0 jumps: the point moves by far more than a degree's worth.
  const ScreenPoint at1 = projectPoint(ViewRotation({1, 0}).rotate({296, 0, -150}));
  const ScreenPoint at0 = projectPoint(ViewRotation({0, 0}).rotate({296, 0, -150}));
  EXPECT_GT(std::abs(at1.y - at0.y), 100);
}

TEST(Objects3D, ProjectionRoundsHalvesToEvenAndStaysFinite) {
  struct Case {
    Point3D rotated;
    ScreenPoint expected;
  };
  const Case cases[] = {
      {{2.5, 0, 2.5}, {352, 298}},
      {{3.5, 0, -3.5}, {354, 304}},
      {{-2.5, 0, 0}, {348, 300}},
      {{100, 1000, 0}, {400, 300}},  // e = 1/2
      // At or behind the eye: held at the eye plane, coordinates within reach of int.
      {{1, -1000, 1}, {1350, -700}},
      {{1e300, -5000, -1e300}, {350 + 1000000, 300 + 1000000}},
      {{NAN, NAN, INFINITY}, {350, 300 - 1000000}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(projectPoint(c.rotated), c.expected)
        << c.rotated.x << ", " << c.rotated.y << ", " << c.rotated.z;
  }
}

TEST(Objects3D, DepthShadeIsLighterWhenNearer) {
  struct Case {
    double y;
    std::uint8_t grey;
    Rgb24 dot;
  };
  const Case cases[] = {
      {0.0, 156, {156, 156, 100}},        // t = 100
      {3.0, 155, {155, 155, 99}},         // t = 101
      {34.20201, 145, {145, 145, 89}},    // t = Trunc(111.4)
      {-34.20201, 168, {168, 168, 111}},  // t = Trunc(88.6), blue 100 - Trunc(-11.4)
      {-300.0, 0, {0, 0, 200}},           // t = 0
      {-296.0, 255, {255, 255, 198}},     // t = 1
      {600.0, 212, {212, 212, 156}},      // t = 300: (-300) mod 256 as a byte; 100 - 200 likewise
      {-1e12, 177, {177, 177, 121}},      // held at -1e6, no overflow
  };
  for (const Case& c : cases) {
    EXPECT_EQ(depthGrey({0, c.y, 0}), c.grey) << c.y;
    EXPECT_EQ(depthDotColor({0, c.y, 0}), c.dot) << c.y;
  }
}

TEST(Objects3D, SolidAnglesFollowTheHueRange) {
  struct Case {
    int32_t hMin;
    int32_t hMax;
    std::vector<std::int64_t> angles;
  };
  const Case cases[] = {
      {350, 20, {350, 360, 370, 380}},  // across 0: HMAX + 360, a wedge through 0
      {350, 15, {350, 360, 370}},
      {0, 25, {0, 10, 20}},  // ends at the last multiple of 10 from HMIN
      {0, 30, {0, 10, 20, 30}},
      {10, 10, {10}},
      {1000, 5, {}},  // still above after + 360: no angles
      {INT32_MAX, INT32_MIN, {}},
      {-45, -20, {-45, -35, -25}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(anglesOf(hueRange(c.hMin, c.hMax)), c.angles) << c.hMin << ".." << c.hMax;
  }
  // Wider than a turn: held at 37 angles, whatever the numbers.
  const ColorSector wide[] = {hueRange(0, 360), hueRange(0, 100000), hueRange(INT32_MIN, INT32_MAX)};
  for (const ColorSector& s : wide) {
    const SolidAngles a = sectorSolidAngles(s);
    EXPECT_EQ(a.count, kMaxSolidAngles) << s.HMIN << ".." << s.HMAX;
    EXPECT_EQ(a.degrees[36], std::int64_t{s.HMIN} + 360);
  }
}

TEST(Objects3D, SolidHasTwoRingsAndVerticals) {
  EdgeObject3D solid;
  buildSectorSolid(ColorSector{true, kSectorRed, 7, 0, 20, 100, 200, 50, 250}, solid);
  // Three angles: each ring 3 outer + 3 inner points, 6 edges; 6 verticals.
  ASSERT_EQ(solid.pointCount(), 12);
  ASSERT_EQ(solid.edgeCount(), 18);
  const double c20 = std::cos(20 * std::numbers::pi / 180);
  const double s20 = std::sin(20 * std::numbers::pi / 180);
  struct PointCase {
    int number;
    Point3D expected;
  };
  const PointCase points[] = {
      {1, {200, 0, -100}},                // bottom outer, first angle
      {3, {200 * c20, 200 * s20, -100}},  // bottom outer, last angle
      {4, {100 * c20, 100 * s20, -100}},  // bottom inner, back down from the last angle
      {6, {100, 0, -100}},
      {7, {200, 0, 100}},  // top ring
      {12, {100, 0, 100}},
  };
  for (const PointCase& p : points) {
    EXPECT_NEAR(solid.point(p.number).x, p.expected.x, 1e-9) << p.number;
    EXPECT_NEAR(solid.point(p.number).y, p.expected.y, 1e-9) << p.number;
    EXPECT_NEAR(solid.point(p.number).z, p.expected.z, 1e-9) << p.number;
  }
  const EdgeObject3D::Edge edges[] = {
      {1, 2}, {2, 3},  {3, 4},  {4, 5},   {5, 6},   {6, 1},   // bottom ring, closed
      {7, 8}, {8, 9},  {9, 10}, {10, 11}, {11, 12}, {12, 7},  // top ring
      {1, 7}, {6, 12}, {2, 8},  {5, 11},  {3, 9},   {4, 10},  // outer and inner verticals per angle
  };
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(solid.edge(i), edges[i]) << "edge " << i;
  }
}

TEST(Objects3D, SolidColourFollowsTypeAndActivity) {
  struct Case {
    int32_t type;
    bool active;
    Rgb24 expected;
  };
  const Case cases[] = {
      {kSectorBackground, true, {255, 255, 255}},
      {kSectorRed, true, {255, 0, 0}},
      {kSectorBlue, true, {0, 0, 255}},
      {kSectorBlueBackground, true, {120, 190, 255}},
      {kSectorBlackBackground, true, {80, 80, 80}},
      {kSectorRed, false, {128, 128, 128}},
      {kSectorBackground, false, {128, 128, 128}},
      {17, true, {128, 128, 128}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sectorSolidColor(ColorSector{c.active, c.type, 0, 0, 10, 0, 10, 0, 10}), c.expected)
        << c.type << (c.active ? " active" : " inactive");
  }
}

TEST(Objects3D, KnownSolidLandsOnTheExpectedPixels) {
  Objects3D view;
  Rgb24Canvas canvas(kView3DCanvasSize, kView3DCanvasSize);
  view.rebuild(canvas, {sectorLine(kSectorRed, 0, 90, 100, 200, 50, 250)});
  ASSERT_EQ(view.solidCount(), 1);
  struct Case {
    int x;
    int y;
    Rgb24 expected;
  };
  // At tilt 110, turn 0: (200, 0, -100) -> (543, 391), Y2 = 34.2; (200, 0, 100) -> (557, 203),
  // Y2 = -34.2; (0, 200, -100) -> (350, 492), Y2 = -153.7.
  const Case cases[] = {
      {543, 391, {145, 145, 89}},  // end dots in their depth colours
      {540, 389, {145, 145, 89}},  // the dot reaches 3 px left and up
      {557, 203, {168, 168, 111}}, {350, 492, {208, 208, 151}},
      {550, 297, {255, 0, 0}},  // middle of the outer vertical at 0 degrees, 3 px wide
      {549, 297, {255, 0, 0}},     {551, 297, {255, 0, 0}},
      {495, 391, {255, 0, 0}},  // bottom radial edge at 0 degrees
      {999, 999, {3, 3, 3}},    // rebuild background
  };
  for (const Case& c : cases) {
    EXPECT_EQ(canvas.pixel(c.x, c.y), c.expected) << c.x << ", " << c.y;
  }
  view.redraw(canvas);
  EXPECT_EQ(canvas.pixel(999, 999), kRgbBlack);
  EXPECT_EQ(canvas.pixel(550, 297), (Rgb24{255, 0, 0}));
}

TEST(Objects3D, AxesAndMeshPixels) {
  Objects3D view;
  Rgb24Canvas canvas(kView3DCanvasSize, kView3DCanvasSize);
  view.redraw(canvas);
  struct Case {
    int x;
    int y;
    Rgb24 expected;
  };
  const Case cases[] = {
      {610, 434, {0, 255, 0}},  // the H=0 axis beyond the rim, 3 px wide
      {610, 433, {0, 255, 0}},     {610, 435, {0, 255, 0}}, {610, 437, {0, 0, 0}},
      {355, 434, {139, 139, 139}},  // mesh drawn over the axis: the grey of the centre, Y2 = 51.3
      {632, 434, {139, 139, 83}},   // end dot of point 2 (Y2 = 51.3)
  };
  for (const Case& c : cases) {
    EXPECT_EQ(canvas.pixel(c.x, c.y), c.expected) << c.x << ", " << c.y;
  }
}

TEST(Objects3D, MeshProfileAndTurns) {
  const MeshObject3D mesh;
  struct Case {
    int polyline;
    int index;
    Point3D expected;
  };
  const Case cases[] = {
      {0, 0, {0, 0, -150}},
      {0, 15, {255, 0, -150}},
      {0, 16, {255, 0, -150}},
      {0, 31, {255, 0, 105}},
      {0, 47, {0, 0, 105}},
      {9, 16, {0, 255, -150}},
      {18, 1, {-17, 0, -150}},
      {27, 40, {0, -119, 105}},
      {35,
       32,
       {255 * std::cos(350 * std::numbers::pi / 180), 255 * std::sin(350 * std::numbers::pi / 180), 105}},
  };
  for (const Case& c : cases) {
    const Point3D& p = mesh.point(c.polyline, c.index);
    EXPECT_NEAR(p.x, c.expected.x, 1e-9) << c.polyline << "/" << c.index;
    EXPECT_NEAR(p.y, c.expected.y, 1e-9) << c.polyline << "/" << c.index;
    EXPECT_NEAR(p.z, c.expected.z, 1e-9) << c.polyline << "/" << c.index;
  }
}

TEST(Objects3D, ReturnToStartFrames) {
  const std::vector<ViewAngles> frames = Objects3D::returnToStartFrames({130, 40});
  ASSERT_EQ(frames.size(), 21u);
  for (int k = 0; k <= 20; ++k) {
    EXPECT_EQ(frames[static_cast<std::size_t>(k)], (ViewAngles{130 - k, 40 - 2 * k})) << "frame " << k;
  }
  struct Case {
    ViewAngles from;
    int frame;
    ViewAngles expected;
  };
  const Case cases[] = {
      {{110, 0}, 0, {110, 0}},
      {{110, 0}, 20, {110, 0}},
      {{90, -30}, 19, {109, -2}},  // n = 1: -1.5 rounds to -2 (even)
      {{90, -30}, 17, {107, -4}},  // n = 3: -4.5 rounds to -4 (even)
      {{115, 5}, 10, {112, 2}},    // n = 10: 2.5 -> 2, 112.5 stays from 2.5 -> 2
      {{INT_MIN, INT_MAX}, 0, {INT_MIN, INT_MAX}},
      {{INT_MAX, INT_MIN}, 20, {110, 0}},
  };
  for (const Case& c : cases) {
    const std::vector<ViewAngles> f = Objects3D::returnToStartFrames(c.from);
    ASSERT_EQ(f.size(), 21u);
    EXPECT_EQ(f[static_cast<std::size_t>(c.frame)], c.expected) << c.from.tilt << ", " << c.from.turn;
  }
}

TEST(Objects3D, StepsHoldTheAnglesWithinInt) {
  Objects3D view;
  EXPECT_EQ(view.angles(), (ViewAngles{110, 0}));
  view.stepTilt(1);
  view.stepTurn(-1);
  EXPECT_EQ(view.angles(), (ViewAngles{111, -1}));
  view.setAngles({INT_MAX, INT_MIN});
  view.stepTilt(1);
  view.stepTurn(-1);
  EXPECT_EQ(view.angles(), (ViewAngles{INT_MAX, INT_MIN}));
}

TEST(Objects3D, AtMost99SolidsAndLinesThatDoNotParseGiveNone) {
  SectorLines lines{"garbage", "##ID=\"1\" ##TYPE=\"x\"", ""};
  for (int i = 0; i < 120; ++i) {
    lines.push_back(sectorLine(kSectorBlue, i, i + 30, 10, 200, 0, 255));
  }
  Objects3D view;
  Rgb24Canvas canvas(kView3DCanvasSize, kView3DCanvasSize);
  view.rebuild(canvas, lines);
  EXPECT_EQ(view.solidCount(), Objects3D::kMaxSolids);
  EXPECT_EQ(lines.size(), 123u);  // the list keeps them all
  // The first solid is the first line that parses.
  EXPECT_NEAR(view.solid(0).point(1).x, 200.0, 1e-9);
  view.rebuild(canvas, {"garbage"});
  EXPECT_EQ(view.solidCount(), 0);
}

TEST(Objects3D, AbsurdBoundsStayDefinedAndInsideTheColourSpace) {
  const SectorLines lines = {
      sectorLine(kSectorRed, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX),
      sectorLine(kSectorBackground, INT32_MAX, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MIN),
      sectorLine(kSectorBlue, -100000, 100000, -5, 300, -40, 1000),
      sectorLine(kSectorBlackBackground, 5, 5, 0, 0, 0, 0),
  };
  const ViewAngles angles[] = {{110, 0}, {0, 0}, {270, 45}, {INT_MAX, INT_MIN}, {-90, 180}};
  Objects3D view;
  Rgb24Canvas canvas(kView3DCanvasSize, kView3DCanvasSize);
  for (const ViewAngles& a : angles) {
    view.setAngles(a);
    view.rebuild(canvas, lines);
    view.redraw(canvas);
    ASSERT_EQ(view.solidCount(), 4);
    for (int s = 0; s < view.solidCount(); ++s) {
      const EdgeObject3D& solid = view.solid(s);
      EXPECT_LE(solid.pointCount(), 4 * kMaxSolidAngles);
      for (int p = 1; p <= solid.pointCount(); ++p) {
        const Point3D& w = solid.point(p);
        EXPECT_LE(std::hypot(w.x, w.y), 255.0 + 1e-9) << "solid " << s << " point " << p;
        EXPECT_GE(w.z, -150.0);
        EXPECT_LE(w.z, 105.0);
        const ScreenPoint sp = solid.screenPoint(p);
        // The colour space's extreme reach at any angle is well within +-1000 of the centre.
        EXPECT_LT(std::abs(sp.x - 350), 1000);
        EXPECT_LT(std::abs(sp.y - 300), 1000);
      }
    }
  }
  EXPECT_EQ(canvas.width(), kView3DCanvasSize);
}

TEST(Objects3D, EdgeObjectLimits) {
  EdgeObject3D object;
  EXPECT_FALSE(object.addEdge(1, 1));  // no points yet
  for (int i = 1; i <= EdgeObject3D::kMaxPoints; ++i) {
    ASSERT_EQ(object.addPoint({double(i), 0, 0}), i);
  }
  EXPECT_EQ(object.addPoint({0, 0, 0}), 0);
  EXPECT_FALSE(object.addEdge(0, 1));
  EXPECT_FALSE(object.addEdge(1, 1001));
  for (int i = 0; i < EdgeObject3D::kMaxEdges; ++i) {
    ASSERT_TRUE(object.addEdge(1 + i % 1000, 1 + (i + 1) % 1000));
  }
  EXPECT_FALSE(object.addEdge(1, 2));
  object.addPoint({NAN, INFINITY, -INFINITY});  // full: ignored
  object.clear();
  EXPECT_EQ(object.addPoint({NAN, INFINITY, -INFINITY}), 1);
  EXPECT_EQ(object.point(1), (Point3D{0, 1e6, -1e6}));
}

// The thin line is the canvas's own 1-pixel LineTo, only faster; both must agree pixel for pixel,
// also for lines that leave the canvas.
TEST(Objects3D, ThinLineMatchesTheCanvasLine) {
  struct Case {
    ScreenPoint from;
    ScreenPoint to;
  };
  const Case cases[] = {
      {{10, 10}, {50, 20}},
      {{50, 20}, {10, 10}},
      {{10, 10}, {13, 60}},
      {{60, 5}, {5, 60}},
      {{0, 0}, {63, 63}},
      {{-30, 10}, {90, 40}},
      {{30, -50}, {35, 120}},
      {{-1000000, 30}, {1000000, 31}},
      {{32, 32}, {32, 32}},
      {{5, 70}, {70, -5}},
      {{-5, -5}, {-1, -100}},
      {{20, 1}, {21, 2}},
      {{1000000, 1000000}, {-1000000, -999999}},
  };
  for (const Case& c : cases) {
    Rgb24Canvas fast(64, 64);
    Rgb24Canvas direct(64, 64);
    drawThinLine(fast, c.from, c.to, {1, 2, 3});
    direct.SetColor({1, 2, 3});
    direct.MoveTo(c.from.x, c.from.y);
    direct.LineTo(c.to.x, c.to.y);
    int drawn = 0;
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) {
        ASSERT_EQ(fast.pixel(x, y), direct.pixel(x, y))
            << "(" << c.from.x << "," << c.from.y << ")-(" << c.to.x << "," << c.to.y << ") at " << x << ","
            << y;
        drawn += fast.pixel(x, y) == Rgb24{1, 2, 3};
      }
    }
    // The thick line covers the thin one and its neighbours across the major axis.
    Rgb24Canvas thick(64, 64);
    drawThickLine(thick, c.from, c.to, {1, 2, 3});
    int thickDrawn = 0;
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) {
        if (fast.pixel(x, y) == Rgb24{1, 2, 3}) {
          EXPECT_EQ(thick.pixel(x, y), (Rgb24{1, 2, 3})) << x << "," << y;
        }
        thickDrawn += thick.pixel(x, y) == Rgb24{1, 2, 3};
      }
    }
    EXPECT_GE(thickDrawn, drawn);
  }
}

TEST(Objects3D, DotIsADiscOfDiameterSixClippedAtTheEdges) {
  Rgb24Canvas canvas(20, 20);
  drawDot(canvas, {10, 10}, kRgbBlack);
  int count = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      const bool inside = (x + 0.5 - 10) * (x + 0.5 - 10) + (y + 0.5 - 10) * (y + 0.5 - 10) <= 9.0;
      EXPECT_EQ(canvas.pixel(x, y) == kRgbBlack, inside) << x << "," << y;
      count += inside;
    }
  }
  EXPECT_EQ(count, 32);
  // At the corners and far away: only what lies on the canvas.
  drawDot(canvas, {0, 0}, {9, 9, 9});
  drawDot(canvas, {20, 20}, {9, 9, 9});
  drawDot(canvas, {INT_MIN, INT_MAX}, {9, 9, 9});
  EXPECT_EQ(canvas.pixel(0, 0), (Rgb24{9, 9, 9}));
  EXPECT_EQ(canvas.pixel(1, 1), (Rgb24{9, 9, 9}));
  EXPECT_EQ(canvas.pixel(2, 2), kRgbWhite);
  EXPECT_EQ(canvas.pixel(3, 0), kRgbWhite);
  EXPECT_EQ(canvas.pixel(19, 19), (Rgb24{9, 9, 9}));
}

}  // namespace
}  // namespace tolvane
