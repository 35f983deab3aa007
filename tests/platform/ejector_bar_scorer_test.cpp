#include "platform/ejector_bar_scorer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace tolvane {
namespace {

// 1000 lines per second, so one line is one millisecond; the bar 10 lines below the camera line.
constexpr std::int64_t kMs = 1'000'000;

BarGeometry geometry(double cover = 0.5) {
  BarGeometry g;
  g.lineRateHz = 1000;
  g.barDistanceLines = 10;
  g.minCoverFraction = cover;
  return g;
}

// Two blocks of three valves with a gap between them: valves 1..3 cover pixels 1..126 in steps of 42,
// valves 4..6 cover 141..266; pixels 127..140 are in front of no valve.
std::vector<BarValveZone> zones() {
  return {{1, 1, 43}, {2, 43, 85}, {3, 85, 127}, {4, 141, 183}, {5, 183, 225}, {6, 225, 267}};
}

// An item over pixels left..right that is in the camera line during lines first..last, so it is at
// the bar from (first + 10) ms to (last + 11) ms.
ProductItem item(std::uint64_t id, int left, int right, std::int64_t first, std::int64_t last,
                 bool defective) {
  ProductItem p;
  p.id = id;
  p.left = left;
  p.right = right;
  p.width = right - left + 1;
  p.xCentre = (left + right) / 2.0;
  p.firstLine = first;
  p.lastLine = last;
  p.heightLines = static_cast<int>(last - first + 1);
  p.defective = defective;
  p.defectCameras = defective ? 3 : 0;
  return p;
}

// Valve open from..to milliseconds.
std::vector<BarValveEdge> pulse(int valve, double fromMs, double toMs) {
  return {{valve, true, static_cast<std::int64_t>(fromMs * kMs)},
          {valve, false, static_cast<std::int64_t>(toMs * kMs)}};
}

EjectorBarScorer scorerWith(const std::vector<BarValveEdge>& edges, double cover = 0.5) {
  EjectorBarScorer s(zones(), geometry(cover));
  s.addEdges(edges);
  return s;
}

// Pixels 50..61 lie in front of valve 2 only; the item is at the bar from 30 ms to 40 ms.
const ProductItem kInValve2 = item(1, 50, 61, 20, 29, true);

TEST(EjectorBarScorer, PassTimesFollowTheLineRateAndBarDistance) {
  const EjectorBarScorer s = scorerWith({});
  EXPECT_EQ(s.passStartNs(kInValve2), 30 * kMs);
  EXPECT_EQ(s.passEndNs(kInValve2), 40 * kMs);

  BarGeometry fast = geometry();
  fast.lineRateHz = 50'000;  // 20 microseconds a line
  fast.barDistanceLines = 40;
  const EjectorBarScorer f(zones(), fast);
  EXPECT_EQ(f.passStartNs(kInValve2), (20 + 40) * 20'000);
  EXPECT_EQ(f.passEndNs(kInValve2), (29 + 1 + 40) * 20'000);
}

TEST(EjectorBarScorer, ValveInFrontOpenDuringThePassBlowsTheItemOut) {
  EXPECT_TRUE(scorerWith(pulse(2, 29, 41)).blownOut(kInValve2));
  EXPECT_TRUE(scorerWith(pulse(2, 30, 40)).blownOut(kInValve2));
  // The neighbouring valves are not in front of it.
  EXPECT_FALSE(scorerWith(pulse(1, 29, 41)).blownOut(kInValve2));
  EXPECT_FALSE(scorerWith(pulse(3, 29, 41)).blownOut(kInValve2));
}

TEST(EjectorBarScorer, PulsesTooEarlyOrTooLateMissTheItem) {
  EXPECT_FALSE(scorerWith(pulse(2, 10, 25)).blownOut(kInValve2));
  EXPECT_FALSE(scorerWith(pulse(2, 20, 30)).blownOut(kInValve2));  // closes as the item arrives
  EXPECT_FALSE(scorerWith(pulse(2, 40, 60)).blownOut(kInValve2));  // opens as it leaves
  EXPECT_FALSE(scorerWith(pulse(2, 45, 60)).blownOut(kInValve2));
  // Half the pass is enough, less is not: the jet must not merely graze a tip.
  EXPECT_TRUE(scorerWith(pulse(2, 35, 50)).blownOut(kInValve2));
  EXPECT_FALSE(scorerWith(pulse(2, 35.1, 50)).blownOut(kInValve2));
  EXPECT_TRUE(scorerWith(pulse(2, 20, 35)).blownOut(kInValve2));
  EXPECT_FALSE(scorerWith(pulse(2, 20, 34.9)).blownOut(kInValve2));
  // A stricter bar wants the whole pass.
  EXPECT_FALSE(scorerWith(pulse(2, 30.5, 50), 1.0).blownOut(kInValve2));
  EXPECT_TRUE(scorerWith(pulse(2, 30, 40), 1.0).blownOut(kInValve2));
}

TEST(EjectorBarScorer, OpenTimeCountsOnlyThePass) {
  const EjectorBarScorer s = scorerWith(pulse(2, 33, 80));
  EXPECT_EQ(s.openTimeInFront(kInValve2, s.passStartNs(kInValve2), s.passEndNs(kInValve2)), 7 * kMs);
  EXPECT_EQ(s.openTimeInFront(kInValve2, 50 * kMs, 40 * kMs), 0);
}

TEST(EjectorBarScorer, ItemStraddlingTwoValvesIsHitByEither) {
  const ProductItem straddling = item(2, 80, 95, 20, 29, true);  // valves 2 (80..84) and 3 (85..95)
  EXPECT_TRUE(scorerWith(pulse(2, 30, 40)).blownOut(straddling));
  EXPECT_TRUE(scorerWith(pulse(3, 30, 40)).blownOut(straddling));
  EXPECT_FALSE(scorerWith(pulse(1, 30, 40)).blownOut(straddling));
  EXPECT_FALSE(scorerWith(pulse(4, 30, 40)).blownOut(straddling));

  // Together the two valves cover 60 % of the pass although each alone covers 40 %.
  std::vector<BarValveEdge> relay = pulse(2, 30, 34);
  for (const BarValveEdge& e : pulse(3, 32, 36)) relay.push_back(e);
  EXPECT_TRUE(scorerWith(relay).blownOut(straddling));
  EXPECT_FALSE(scorerWith(pulse(2, 30, 34)).blownOut(straddling));
  EXPECT_FALSE(scorerWith(pulse(3, 32, 36)).blownOut(straddling));
  // Two valves open over the same 40 % are still 40 %.
  std::vector<BarValveEdge> together = pulse(2, 30, 34);
  for (const BarValveEdge& e : pulse(3, 30, 34)) together.push_back(e);
  EXPECT_FALSE(scorerWith(together).blownOut(straddling));
}

TEST(EjectorBarScorer, ItemBetweenBlocksCannotBeReached) {
  const ProductItem between = item(3, 128, 139, 20, 29, true);
  std::vector<BarValveEdge> all;
  for (int v = 1; v <= 6; ++v) {
    for (const BarValveEdge& e : pulse(v, 0, 100)) all.push_back(e);
  }
  EjectorBarScorer s = scorerWith(all);
  EXPECT_FALSE(s.reachable(between));
  EXPECT_FALSE(s.blownOut(between));
  // One pixel further and valve 3 reaches it.
  EXPECT_TRUE(s.blownOut(item(4, 126, 139, 20, 29, true)));
  EXPECT_TRUE(s.blownOut(item(5, 128, 141, 20, 29, true)));

  s.addItems(std::vector<ProductItem>{between});
  s.settle(100 * kMs);
  EXPECT_EQ(s.score().unreachable, 1u);
  EXPECT_EQ(s.score().defective, 1u);
  EXPECT_EQ(s.score().defectsRemoved, 0u);

  // Empty zones (uncalibrated: start = end) reach nothing either.
  EjectorBarScorer empty({{1, 625, 625}, {2, 700, 650}}, geometry());
  empty.addEdges(pulse(1, 0, 100));
  empty.addEdges(pulse(2, 0, 100));
  EXPECT_FALSE(empty.reachable(item(6, 600, 720, 20, 29, true)));
  EXPECT_FALSE(empty.blownOut(item(6, 600, 720, 20, 29, true)));
}

TEST(EjectorBarScorer, EmptyTraceBlowsNothingOut) {
  EjectorBarScorer s(zones(), geometry());
  const std::vector<ProductItem> items{item(1, 50, 61, 20, 29, true), item(2, 150, 161, 25, 40, false)};
  EXPECT_FALSE(s.blownOut(items[0]));
  s.addItems(items);
  s.settle(1000 * kMs);
  EXPECT_EQ(s.score().defective, 1u);
  EXPECT_EQ(s.score().defectsRemoved, 0u);
  EXPECT_EQ(s.score().good, 1u);
  EXPECT_EQ(s.score().goodLost, 0u);
  EXPECT_DOUBLE_EQ(s.score().defectsRemovedPct(), 0.0);
  EXPECT_DOUBLE_EQ(s.score().goodLostPct(), 0.0);

  const EjectorBarScorer nothing(zones(), geometry());
  EXPECT_DOUBLE_EQ(nothing.score().defectsRemovedPct(), 100.0);
  EXPECT_DOUBLE_EQ(nothing.score().goodLostPct(), 0.0);
}

TEST(EjectorBarScorer, ValveStateIsThatOfItsLatestEdge) {
  // Still open at the end of the trace.
  EXPECT_TRUE(scorerWith({{2, true, 25 * kMs}}).blownOut(kInValve2));
  // Repeated opens and closes change nothing: open 30..32 and 37..38 ms.
  const EjectorBarScorer repeated = scorerWith({{2, true, 30 * kMs},
                                                {2, true, 31 * kMs},
                                                {2, false, 32 * kMs},
                                                {2, false, 34 * kMs},
                                                {2, true, 37 * kMs},
                                                {2, false, 38 * kMs}});
  EXPECT_EQ(repeated.openTimeInFront(kInValve2, 0, 100 * kMs), 3 * kMs);
  EXPECT_FALSE(repeated.blownOut(kInValve2));
  // A close before any open leaves the valve closed.
  EXPECT_EQ(scorerWith({{2, false, 1 * kMs}}).openTimeInFront(kInValve2, 0, 100 * kMs), 0);
  // Edges out of order are put in order; edges of unknown valves are ignored.
  EXPECT_TRUE(scorerWith({{2, false, 41 * kMs}, {2, true, 29 * kMs}, {0, true, 0}, {99, true, 0}})
                  .blownOut(kInValve2));
  // Added in two batches, the later batch holding the earlier edge.
  EjectorBarScorer s(zones(), geometry());
  s.addEdges(std::vector<BarValveEdge>{{2, false, 36 * kMs}});
  s.addEdges(std::vector<BarValveEdge>{{2, true, 31 * kMs}});
  EXPECT_TRUE(s.blownOut(kInValve2));
}

TEST(EjectorBarScorer, SettleScoresOnlyItemsPastTheBar) {
  EjectorBarScorer s(zones(), geometry());
  s.addEdges(pulse(2, 29, 41));    // hits the defect
  s.addEdges(pulse(5, 100, 120));  // hits the good item at 190..200 in lines 95..104
  s.addEdges(pulse(1, 200, 230));  // misses the late defect, which passes at 300..310
  const std::vector<ProductItem> items{
      item(1, 50, 61, 20, 29, true),      // at the bar 30..40 ms, removed
      item(2, 190, 200, 95, 104, false),  // 105..115 ms, lost
      item(3, 10, 20, 150, 159, false),   // 160..170 ms, kept
      item(4, 10, 20, 290, 299, true),    // 300..310 ms, missed
  };
  s.addItems(items);
  EXPECT_EQ(s.lastItemId(), 4u);
  EXPECT_EQ(s.score().pending, 4u);

  s.settle(39 * kMs);
  EXPECT_EQ(s.score().pending, 4u);
  s.settle(40 * kMs);
  EXPECT_EQ(s.score().pending, 3u);
  EXPECT_EQ(s.score().defective, 1u);
  EXPECT_EQ(s.score().defectsRemoved, 1u);

  // Items seen again in the next batch are not counted twice.
  s.addItems(items);
  EXPECT_EQ(s.score().pending, 3u);
  s.settle(200 * kMs);
  EXPECT_EQ(s.score().pending, 1u);
  EXPECT_EQ(s.score().good, 2u);
  EXPECT_EQ(s.score().goodLost, 1u);
  s.settle(400 * kMs);
  const BarScore& score = s.score();
  EXPECT_EQ(score.pending, 0u);
  EXPECT_EQ(score.defective, 2u);
  EXPECT_EQ(score.defectsRemoved, 1u);
  EXPECT_EQ(score.unreachable, 0u);
  EXPECT_DOUBLE_EQ(score.defectsRemovedPct(), 50.0);
  EXPECT_DOUBLE_EQ(score.goodLostPct(), 50.0);
}

TEST(EjectorBarScorer, UnusableGeometryIsRefused) {
  BarGeometry g = geometry();
  g.lineRateHz = 0;
  EXPECT_THROW(EjectorBarScorer(zones(), g), std::invalid_argument);
  g = geometry();
  g.barDistanceLines = -1;
  EXPECT_THROW(EjectorBarScorer(zones(), g), std::invalid_argument);
  EXPECT_THROW(EjectorBarScorer(zones(), geometry(0.0)), std::invalid_argument);
  EXPECT_THROW(EjectorBarScorer(zones(), geometry(1.5)), std::invalid_argument);
  EXPECT_THROW(EjectorBarScorer({{0, 1, 10}}, geometry()), std::invalid_argument);
  EXPECT_NO_THROW(EjectorBarScorer({}, geometry()));
}

}  // namespace
}  // namespace tolvane
