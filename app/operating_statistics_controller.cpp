#include "app/operating_statistics_controller.h"

#include <cstdio>
#include <exception>

#include "app/machine.h"
#include "app/page_simple_work.h"
#include "service/dw_time.h"

namespace tolvane {

OperatingStatisticsController::OperatingStatisticsController(PageSimpleWork& page, Machine& machine,
                                                             QObject* parent)
    : QObject(parent), page_(page), machine_(machine), inetTimer_(new QTimer(this)), clock_([] {
        return TickTime{.day = DayNumber(), .hour = HourOfNow()};
      }) {
  inetTimer_->setObjectName(QStringLiteral("inetTimer"));
  inetTimer_->setInterval(kInetIntervalMs);
  connect(inetTimer_, &QTimer::timeout, this, &OperatingStatisticsController::tick);
  inetTimer_->start();
}

void OperatingStatisticsController::showNetworkAtStart() {
  bool present = false;
  try {
    present = machine_.networkPresent();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "TolvaneGrain: network state not read: %s\n", error.what());
  }
  page_.iLEDgreen->setVisible(present);
  page_.SupportButton->setEnabled(present);
}

void OperatingStatisticsController::tick() {
  try {
    page_.iLEDgreen->setVisible(machine_.networkPresent());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "TolvaneGrain: network state not read: %s\n", error.what());
  }
  try {
    const TickTime at = clock_();
    lastWritten_ = machine_.recordOperatingHour(at.day, at.hour);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "TolvaneGrain: operating statistics not recorded: %s\n", error.what());
  }
}

}  // namespace tolvane
