#include "app/page_test_controller.h"

#include <mutex>

#include "app/machine.h"
#include "app/page_egectors_controller.h"
#include "app/page_test.h"
#include "settings/machine_settings.h"
#include "settings/stored_controls.h"

namespace tolvane {

PageTestController::PageTestController(PageTest& page, Machine& machine, PageEgectorsController& ejectors,
                                       QObject* parent)
    : QObject(parent), page_(page), machine_(machine), ejectors_(ejectors) {
  connect(page_.asSwitch3, &TasSwitch::clicked, this, [this](QObject*) { asSwitch3Click(); });
  for (const bool maxObject : {false, true}) {
    const StepperRow& row = maxObject ? page_.MaxObject : page_.MaxTime;
    connect(row.left, &TasSwitch::clicked, this,
            [this, maxObject](QObject*) { stepHiddenParameter(maxObject, StepDirection::kDown); });
    connect(row.right, &TasSwitch::clicked, this,
            [this, maxObject](QObject*) { stepHiddenParameter(maxObject, StepDirection::kUp); });
  }
}

void PageTestController::stepHiddenParameter(bool maxObject, StepDirection direction) {
  const KeyRange* range = machineKeyRange(maxObject ? "MaxObject" : "MaxTime");
  QLabel* label = (maxObject ? page_.MaxObject : page_.MaxTime).value;
  if (range == nullptr) return;
  const std::optional<std::int32_t> stepped =
      stepLabel(label->text().toStdString(), direction, range->min, range->max);
  if (!stepped) return;  // a label without a number leaves the value alone
  const std::int32_t value = *stepped;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    (maxObject ? machine_.machine().MaxObject : machine_.machine().MaxTime) = value;
  }
  label->setText(QString::fromStdString(numberLabelText(value)));
}

void PageTestController::asSwitch3Click() { ejectors_.runServiceEjectorTest(page_.SpinEdit1->value()); }

}  // namespace tolvane
