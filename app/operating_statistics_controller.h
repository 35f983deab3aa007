#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "ejection/operating_statistics.h"

namespace tolvane {

class Machine;
class PageSimpleWork;

// The operating-statistics recorder and the network lamp of the working page: every ten minutes
// (inetTimer) the lamp "СЕТЬ" shows whether network is present, and the hour's run state and program
// are recorded with DayIndex moved to today and the ".stat" and ".shots" files written. At start the
// support button is enabled by the same network test, once for the whole run.
//
// Threads: main thread.
class OperatingStatisticsController : public QObject {
  Q_OBJECT

 public:
  static constexpr int kInetIntervalMs = 600000;

  // Day number (1..366) and hour (0..23) of a tick.
  struct TickTime {
    int day = 0;
    int hour = 0;
  };

  // Starts inetTimer.
  OperatingStatisticsController(PageSimpleWork& page, Machine& machine, QObject* parent = nullptr);

  // Start-up: iLEDgreen shown and SupportButton enabled exactly when network is present.
  void showNetworkAtStart();
  // One tick of inetTimer.
  void tick();

  QTimer* inetTimer() const { return inetTimer_; }
  // The day and hour the ticks see; by default today's day number and the current hour.
  void setClock(std::function<TickTime()> clock) { clock_ = std::move(clock); }
  // What the last tick wrote.
  OperatingStatisticsWritten lastWritten() const { return lastWritten_; }

 private:
  PageSimpleWork& page_;
  Machine& machine_;
  QTimer* inetTimer_;
  std::function<TickTime()> clock_;
  OperatingStatisticsWritten lastWritten_;
};

}  // namespace tolvane
