#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "platform/product_stream_simulator.h"

namespace tolvane {

// The valve whose jet covers camera pixels [start, end) (pixels from 1) at the ejector bar.
struct BarValveZone {
  int valve = 0;
  int start = 0;
  int end = 0;
};

// A valve opening or closing, in nanoseconds since stream line 0 crossed the camera line.
struct BarValveEdge {
  int valve = 0;
  bool open = false;
  std::int64_t timeNs = 0;
};

// Where the bar sits and what counts as a hit.
struct BarGeometry {
  double lineRateHz = 4000;      // stream lines per second crossing the camera line
  double barDistanceLines = 40;  // the bar is this many lines below the camera line
  // An item is blown out when valves in front of it are open for at least this share of the time
  // it takes to pass the bar: a jet that only grazes its tip or tail does not move it.
  double minCoverFraction = 0.5;
};

struct BarScore {
  std::uint64_t defective = 0;       // scored defective items
  std::uint64_t defectsRemoved = 0;  // of those, blown out
  std::uint64_t good = 0;            // scored good items
  std::uint64_t goodLost = 0;        // of those, blown out
  std::uint64_t unreachable = 0;     // scored items with no valve in front of them
  std::uint64_t pending = 0;         // items not yet past the bar

  // With nothing to score, nothing was missed: 100 % removed and 0 % lost.
  double defectsRemovedPct() const;
  double goodLostPct() const;
};

// The virtual ejector bar: knows from the ground truth where each item is and when it passes the
// bar, and from the valve trace which valves were open meanwhile. Fed as a run goes: items and edges
// are added in batches, and settle() scores the items that have passed the bar by a given time.
// Not thread-safe; one owner feeds it.
class EjectorBarScorer {
 public:
  // Throws std::invalid_argument for a rate, distance or cover fraction that makes no sense.
  EjectorBarScorer(std::vector<BarValveZone> zones, BarGeometry geometry);

  // Edges may come in any order; a valve is closed before its first edge, and at any time it is in
  // the state of its latest edge (repeated opens or closes change nothing).
  void addEdges(std::span<const BarValveEdge> edges);
  // Items whose id is above every id added before are queued; others are ignored.
  void addItems(std::span<const ProductItem> items);
  // Scores every queued item that has left the bar by timeNs. Edges up to timeNs must be known.
  void settle(std::int64_t timeNs);

  const BarScore& score() const { return score_; }
  std::uint64_t lastItemId() const { return lastItemId_; }

  // When the item is at the bar: [first, end) in nanoseconds.
  std::int64_t passStartNs(const ProductItem& item) const;
  std::int64_t passEndNs(const ProductItem& item) const;
  // Nanoseconds of [fromNs, toNs) during which at least one of the valves in front of the item was open.
  std::int64_t openTimeInFront(const ProductItem& item, std::int64_t fromNs, std::int64_t toNs) const;
  // Whether valves in front of the item covered its pass well enough; false when none is in front.
  bool blownOut(const ProductItem& item) const;
  // Whether any valve's zone lies in front of the item.
  bool reachable(const ProductItem& item) const;

 private:
  struct Edge {
    std::int64_t timeNs;
    bool open;
  };
  std::int64_t lineTimeNs(double line) const;
  // Open stretches of one valve within [fromNs, toNs), appended to out.
  void openStretches(int valve, std::int64_t fromNs, std::int64_t toNs,
                     std::vector<std::pair<std::int64_t, std::int64_t>>& out) const;

  std::vector<BarValveZone> zones_;
  BarGeometry geometry_;
  std::vector<std::vector<Edge>> edges_;  // by valve number, each sorted by time
  std::vector<ProductItem> queue_;
  std::uint64_t lastItemId_ = 0;
  BarScore score_;
};

}  // namespace tolvane
