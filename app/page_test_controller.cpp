#include "app/page_test_controller.h"

#include "app/page_egectors_controller.h"
#include "app/page_test.h"

namespace tolvane {

PageTestController::PageTestController(PageTest& page, Machine& machine, PageEgectorsController& ejectors,
                                       QObject* parent)
    : QObject(parent), page_(page), machine_(machine), ejectors_(ejectors) {
  connect(page_.asSwitch3, &TasSwitch::clicked, this, [this](QObject*) { asSwitch3Click(); });
}

void PageTestController::asSwitch3Click() { ejectors_.runServiceEjectorTest(page_.SpinEdit1->value()); }

}  // namespace tolvane
