#include "app/regulator_controller.h"

#include <QEvent>
#include <QListWidget>
#include <QSignalBlocker>
#include <mutex>

#include "app/machine.h"
#include "app/page_common.h"
#include "app/page_simple_work.h"
#include "app/page_simple_work_settings.h"
#include "app/page_work.h"
#include "app/sector_tables_refresh.h"
#include "engine/color_convert.h"
#include "settings/sector_tables.h"
#include "settings/stored_controls.h"

namespace tolvane {

namespace {

// Rows of the conditions page that the regulator drives, in RegulatorParameter order.
constexpr std::array<std::size_t, kRegulatorThresholds> kConditionRowOf = {0, 2, 3, 8};

QString labelText(int32_t value) { return QString::fromStdString(numberLabelText(value)); }

void selectRow(QListWidget* list, int row) {
  const QSignalBlocker blocker(list);
  list->setCurrentRow(row);
  if (row < 0) list->clearSelection();
}

}  // namespace

RegulatorController::RegulatorController(PageSimpleWorkSettings& page, PageSimpleWork& workingPage,
                                         PageWork& conditionsPage, Machine& machine, Actions actions,
                                         QObject* parent)
    : QObject(parent),
      page_(page),
      workingPage_(workingPage),
      conditionsPage_(conditionsPage),
      machine_(machine),
      actions_(std::move(actions)) {
  bindRows();
  connect(workingPage_.RegulatorLeftButton, &TasSwitch::clicked, this,
          [this](QObject*) { knobStepped(StepDirection::kDown); });
  connect(workingPage_.RegulatorRightButton, &TasSwitch::clicked, this,
          [this](QObject*) { knobStepped(StepDirection::kUp); });
  page_.installEventFilter(this);
}

void RegulatorController::bindRows() {
  for (int k = 0; k < kRegulatorRows; ++k) {
    const auto i = static_cast<std::size_t>(k);
    connect(page_.okButtons[i], &TasSwitch::switchedOn, this, [this, k](QObject*) { rowSwitched(k, true); });
    connect(page_.okButtons[i], &TasSwitch::switchedOff, this,
            [this, k](QObject*) { rowSwitched(k, false); });
    connect(page_.paramBoxes[i], &QListWidget::currentRowChanged, this,
            [this, k](int item) { parameterChosen(k, item); });
    connect(page_.boundBoxes[i], &QListWidget::currentRowChanged, this,
            [this, k](int bound) { boundChosen(k, bound); });
    const auto arrow = [this, k](TasSwitch* control, BoundSide side, StepDirection direction) {
      connect(control, &TasSwitch::clicked, this,
              [this, k, side, direction](QObject*) { boundStepped(k, side, direction); });
    };
    arrow(page_.leftBounds[i].left, BoundSide::kLeft, StepDirection::kDown);
    arrow(page_.leftBounds[i].right, BoundSide::kLeft, StepDirection::kUp);
    arrow(page_.rightBounds[i].left, BoundSide::kRight, StepDirection::kDown);
    arrow(page_.rightBounds[i].right, BoundSide::kRight, StepDirection::kUp);
  }
}

bool RegulatorController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &page_ && event->type() == QEvent::Show) showSettingsPage();
  return QObject::eventFilter(watched, event);
}

void RegulatorController::showProgram() {
  regulator_.load(machine_.sorter());
  rebuildLists();
  // Not stored back: a load leaves the program's keys as read until the operator changes a row.
  apply(false);
}

void RegulatorController::recompute() { apply(false); }

void RegulatorController::showSettingsPage() {
  regulator_.rebuildItems(machine_.sorter().Sectors[0]);
  rebuildLists();
  apply(true);
}

void RegulatorController::rowSwitched(int k, bool on) {
  regulator_.setActive(k, on, machine_.sorter());
  showRows();
  apply(true);
}

void RegulatorController::parameterChosen(int k, int item) {
  regulator_.chooseParameter(k, item, machine_.sorter());
  showRows();
  apply(true);
}

void RegulatorController::boundChosen(int k, int bound) {
  regulator_.chooseBound(k, bound, machine_.sorter());
  showRows();
  apply(true);
}

void RegulatorController::boundStepped(int k, BoundSide side, StepDirection direction) {
  regulator_.stepBound(k, side, direction);
  showRows();
  // At once, so the driven threshold follows the bound it is sitting on.
  apply(true);
}

void RegulatorController::knobStepped(StepDirection direction) {
  regulator_.stepValue(direction);
  apply(true);
}

void RegulatorController::apply(bool storeRows) {
  const Regulation regulation = regulator_.regulation();
  RegulationChanges changes;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    changes = applyRegulation(regulation, machine_.sorter());
    if (storeRows) regulator_.store(machine_.sorter());
  }
  if (changes.sectors) {
    refreshSectorTables(machine_);
    if (actions_.sectorsChanged) actions_.sectorsChanged();
  }

  const SorterSettings& s = machine_.sorter();
  for (std::size_t p = 0; p < kRegulatorThresholds; ++p) {
    const StepperRow& threshold = conditionsPage_.conditions[kConditionRowOf[p]].threshold;
    const bool driven = regulation.thresholds[p].has_value();
    threshold.left->setEnabled(!driven);
    threshold.right->setEnabled(!driven);
    if (!driven) continue;
    const QString text = labelText(regulatorThreshold(s, static_cast<RegulatorParameter>(p)));
    threshold.value->setText(text);
    if (static_cast<RegulatorParameter>(p) == RegulatorParameter::kFast)
      workingPage_.FastSort_valD->setText(text);
  }
  showKnob();
}

void RegulatorController::rebuildLists() {
  QStringList items;
  for (const std::string& item : regulator_.items()) items.append(QString::fromStdString(item));
  for (QListWidget* list : page_.paramBoxes) {
    const QSignalBlocker blocker(list);
    list->clear();
    list->addItems(items);
  }
  showRows();
}

void RegulatorController::showRows() {
  for (int k = 0; k < kRegulatorRows; ++k) {
    const auto i = static_cast<std::size_t>(k);
    const RegulatorRow& row = regulator_.row(k);
    {
      const QSignalBlocker blocker(page_.okButtons[i]);
      page_.okButtons[i]->setStateOn(row.active);
    }
    selectRow(page_.paramBoxes[i], row.parameter);
    selectRow(page_.boundBoxes[i], row.bound);
    page_.boundBoxes[i]->setEnabled(row.drivesSector());
    page_.leftBounds[i].value->setText(labelText(row.left));
    page_.rightBounds[i].value->setText(labelText(row.right));
  }
}

// As the working page shows it: usable only with a row active.
void RegulatorController::showKnob() {
  workingPage_.RegulatorLabel->setText(labelText(regulator_.value()));
  const bool usable = regulator_.anyActive();
  workingPage_.RegulatorLeftButton->setEnabled(usable);
  workingPage_.RegulatorRightButton->setEnabled(usable);
  setLabelTextColor(workingPage_.RegulatorLabel,
                    usable ? QColor(Qt::black) : QColor::fromRgb(kGreyTextColor));
  setLabelTextColor(workingPage_.RegulatorPercentLabel,
                    usable ? QColor::fromRgb(kTextColor) : QColor::fromRgb(kGreyTextColor));
}

}  // namespace tolvane
