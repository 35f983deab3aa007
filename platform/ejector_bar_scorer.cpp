#include "platform/ejector_bar_scorer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace tolvane {
namespace {

// A jet that reaches any pixel of the item moves it.
bool inFront(const BarValveZone& z, const ProductItem& item) {
  return z.start < z.end && z.start <= item.right && z.end > item.left;
}

}  // namespace

double BarScore::defectsRemovedPct() const {
  return defective == 0 ? 100.0
                        : 100.0 * static_cast<double>(defectsRemoved) / static_cast<double>(defective);
}

double BarScore::goodLostPct() const {
  return good == 0 ? 0.0 : 100.0 * static_cast<double>(goodLost) / static_cast<double>(good);
}

EjectorBarScorer::EjectorBarScorer(std::vector<BarValveZone> zones, BarGeometry geometry)
    : zones_(std::move(zones)), geometry_(geometry) {
  if (!(geometry_.lineRateHz > 0 && std::isfinite(geometry_.lineRateHz)))
    throw std::invalid_argument("ejector bar: the line rate must be above 0");
  if (!(geometry_.barDistanceLines >= 0 && geometry_.barDistanceLines < 1e9))
    throw std::invalid_argument("ejector bar: the bar distance must be 0 or more lines");
  if (!(geometry_.minCoverFraction > 0 && geometry_.minCoverFraction <= 1))
    throw std::invalid_argument("ejector bar: the cover fraction must be above 0 and at most 1");
  int highest = 0;
  for (const BarValveZone& z : zones_) {
    if (z.valve < 1) throw std::invalid_argument("ejector bar: valve numbers start at 1");
    highest = std::max(highest, z.valve);
  }
  edges_.resize(static_cast<std::size_t>(highest) + 1);
}

void EjectorBarScorer::addEdges(std::span<const BarValveEdge> edges) {
  for (const BarValveEdge& e : edges) {
    // Valves that no zone uses blow nothing out.
    if (e.valve < 1 || static_cast<std::size_t>(e.valve) >= edges_.size()) continue;
    std::vector<Edge>& list = edges_[static_cast<std::size_t>(e.valve)];
    // Usually in order; an edge from the past goes after the others of the same time.
    const auto at = std::upper_bound(list.begin(), list.end(), e.timeNs,
                                     [](std::int64_t t, const Edge& x) { return t < x.timeNs; });
    list.insert(at, Edge{e.timeNs, e.open});
  }
}

void EjectorBarScorer::addItems(std::span<const ProductItem> items) {
  for (const ProductItem& item : items) {
    if (item.id <= lastItemId_) continue;
    lastItemId_ = item.id;
    queue_.push_back(item);
    ++score_.pending;
  }
}

void EjectorBarScorer::settle(std::int64_t timeNs) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < queue_.size(); ++i) {
    const ProductItem& item = queue_[i];
    if (passEndNs(item) > timeNs) {
      queue_[kept++] = item;
      continue;
    }
    --score_.pending;
    if (!reachable(item)) ++score_.unreachable;
    const bool out = blownOut(item);
    if (item.defective) {
      ++score_.defective;
      if (out) ++score_.defectsRemoved;
    } else {
      ++score_.good;
      if (out) ++score_.goodLost;
    }
  }
  queue_.resize(kept);
}

std::int64_t EjectorBarScorer::lineTimeNs(double line) const {
  return std::llround(line * 1e9 / geometry_.lineRateHz);
}

std::int64_t EjectorBarScorer::passStartNs(const ProductItem& item) const {
  return lineTimeNs(static_cast<double>(item.firstLine) + geometry_.barDistanceLines);
}

std::int64_t EjectorBarScorer::passEndNs(const ProductItem& item) const {
  return lineTimeNs(static_cast<double>(item.lastLine) + 1 + geometry_.barDistanceLines);
}

bool EjectorBarScorer::reachable(const ProductItem& item) const {
  return std::any_of(zones_.begin(), zones_.end(), [&](const BarValveZone& z) { return inFront(z, item); });
}

void EjectorBarScorer::openStretches(int valve, std::int64_t fromNs, std::int64_t toNs,
                                     std::vector<std::pair<std::int64_t, std::int64_t>>& out) const {
  const std::vector<Edge>& list = edges_[static_cast<std::size_t>(valve)];
  // State at fromNs: that of the last edge at or before it.
  auto it = std::upper_bound(list.begin(), list.end(), fromNs,
                             [](std::int64_t t, const Edge& x) { return t < x.timeNs; });
  bool open = it != list.begin() && std::prev(it)->open;
  std::int64_t openedAt = fromNs;
  for (; it != list.end() && it->timeNs < toNs; ++it) {
    if (it->open == open) continue;
    if (open) out.emplace_back(openedAt, it->timeNs);
    open = it->open;
    openedAt = it->timeNs;
  }
  if (open) out.emplace_back(openedAt, toNs);
}

std::int64_t EjectorBarScorer::openTimeInFront(const ProductItem& item, std::int64_t fromNs,
                                               std::int64_t toNs) const {
  if (toNs <= fromNs) return 0;
  std::vector<std::pair<std::int64_t, std::int64_t>> stretches;
  for (const BarValveZone& z : zones_) {
    if (inFront(z, item)) openStretches(z.valve, fromNs, toNs, stretches);
  }
  // Two valves open at once blow no harder than one: count the union.
  std::sort(stretches.begin(), stretches.end());
  std::int64_t total = 0;
  std::int64_t reached = std::numeric_limits<std::int64_t>::min();
  for (const auto& [from, to] : stretches) {
    const std::int64_t start = std::max(from, reached);
    if (to > start) total += to - start;
    reached = std::max(reached, to);
  }
  return total;
}

bool EjectorBarScorer::blownOut(const ProductItem& item) const {
  const std::int64_t from = passStartNs(item);
  const std::int64_t to = passEndNs(item);
  const std::int64_t open = openTimeInFront(item, from, to);
  if (open <= 0) return false;
  return static_cast<double>(open) >= geometry_.minCoverFraction * static_cast<double>(to - from);
}

}  // namespace tolvane
