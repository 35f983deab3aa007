#include "app/page_work_controller.h"

#include <mutex>

#include "app/machine.h"
#include "app/page_common.h"
#include "app/page_work.h"
#include "settings/stored_controls.h"

namespace tolvane {

namespace {

const QString kSingleToneCaption = QStringLiteral("Монохромная|камера");

int32_t thresholdOf(const SorterSettings& s, std::size_t row) {
  const std::array<int32_t, 9> values = {s.ifMassa,  s.ifMassa2, s.ifP1,    s.ifP2,  s.ifLength,
                                         s.ifWeight, s.ifEks,    s.ifForma, s.ifFast};
  return values[row];
}

}  // namespace

PageWorkController::PageWorkController(PageWork& page, TasSwitch* fonBlueButton, TasSwitch* fonBlackButton,
                                       Machine& machine, Actions actions, QObject* parent)
    : QObject(parent),
      page_(page),
      machine_(machine),
      actions_(std::move(actions)),
      brightModeCaption_(page.BrightModeButton->caption()) {
  for (std::size_t row = 0; row < kConditionRows.size(); ++row) {
    switches_[static_cast<std::size_t>(kConditionRows[row])] = page_.conditions[row].enable;
    switches_[static_cast<std::size_t>(kConditionDirections[row])] = page_.conditions[row].direction;
  }
  switches_[static_cast<std::size_t>(ConditionSwitch::AND_Button)] = page_.AND_Button;
  switches_[static_cast<std::size_t>(ConditionSwitch::TripleShotSwitch)] = page_.TripleShotSwitch;
  switches_[static_cast<std::size_t>(ConditionSwitch::P1_type)] = page_.P1_type;
  switches_[static_cast<std::size_t>(ConditionSwitch::P2_type)] = page_.P2_type;
  switches_[static_cast<std::size_t>(ConditionSwitch::FonBlueButton)] = fonBlueButton;
  switches_[static_cast<std::size_t>(ConditionSwitch::FonBlackButton)] = fonBlackButton;

  for (std::size_t i = 0; i < kConditionSwitchCount; ++i) {
    TasSwitch* control = switches_[i];
    if (control == nullptr) continue;
    const auto which = static_cast<ConditionSwitch>(i);
    connect(control, &TasSwitch::switchedOn, this,
            [this, which](QObject*) { conditionTouched(which, true); });
    connect(control, &TasSwitch::switchedOff, this,
            [this, which](QObject*) { conditionTouched(which, false); });
  }
  bindOptionSwitches();
  for (std::size_t row = 0; row < page_.conditions.size(); ++row) {
    const StepperRow& threshold = page_.conditions[row].threshold;
    if (threshold.left == nullptr || threshold.right == nullptr) continue;
    connect(threshold.left, &TasSwitch::clicked, this,
            [this, row](QObject*) { stepThreshold(row, StepDirection::kDown); });
    connect(threshold.right, &TasSwitch::clicked, this,
            [this, row](QObject*) { stepThreshold(row, StepDirection::kUp); });
  }

  connect(page_.SaveButton, &TasSwitch::clicked, this, [this](QObject*) {
    if (actions_.save) actions_.save();
  });
  connect(page_.CancelButton, &TasSwitch::clicked, this, [this](QObject*) {
    if (actions_.cancel) actions_.cancel();
  });
  connect(page_.RegulatorSetupButton, &TasSwitch::clicked, this, [this](QObject*) {
    if (actions_.showRegulatorPage) actions_.showRegulatorPage();
  });
}

void PageWorkController::bindLineModeArrows(TasSwitch* left, TasSwitch* right, QLabel* shownOnWorkPage) {
  lineModeOnWorkPage_ = shownOnWorkPage;
  connect(left, &TasSwitch::clicked, this,
          [this](QObject*) { stepThreshold(kLineModeRow, StepDirection::kDown); });
  connect(right, &TasSwitch::clicked, this,
          [this](QObject*) { stepThreshold(kLineModeRow, StepDirection::kUp); });
}

void PageWorkController::stepThreshold(std::size_t row, StepDirection direction) {
  if (row >= page_.conditions.size()) return;
  const ConditionThreshold threshold = conditionThreshold(row);
  QLabel* label = page_.conditions[row].threshold.value;
  // A label that does not hold a number (it never should) leaves the value as it is.
  const std::optional<std::int32_t> stepped =
      threshold.range
          ? stepLabel(label->text().toStdString(), direction, threshold.range->min, threshold.range->max)
          : std::nullopt;
  if (stepped) {
    const std::int32_t value = *stepped;
    {
      std::lock_guard lock(machine_.engine().engineLock);
      machine_.sorter().*threshold.field = value;
    }
    const QString text = QString::fromStdString(numberLabelText(value));
    label->setText(text);
    if (row == kLineModeRow && lineModeOnWorkPage_ != nullptr) lineModeOnWorkPage_->setText(text);
  }
  if (actions_.thresholdStepped) actions_.thresholdStepped();
}

void PageWorkController::bindOptionSwitches() {
  connect(page_.FineTimerButton, &TasSwitch::switchedOn, this,
          [this](QObject*) { machine_.run().FineTimerButtonOn(); });
  connect(page_.FineTimerButton, &TasSwitch::switchedOff, this,
          [this](QObject*) { machine_.run().FineTimerButtonOff(); });
  auto colorTune = [this](bool on) { machine_.engine().ColorTune.store(on, std::memory_order_relaxed); };
  connect(page_.ColorTuneButton, &TasSwitch::switchedOn, this, [colorTune](QObject*) { colorTune(true); });
  connect(page_.ColorTuneButton, &TasSwitch::switchedOff, this, [colorTune](QObject*) { colorTune(false); });
  auto brightMode = [this](bool on) {
    machine_.engine().BrightMode.store(on, std::memory_order_relaxed);
    std::lock_guard lock(machine_.engine().engineLock);
    machine_.sorter().BrightMode = on;
  };
  connect(page_.BrightModeButton, &TasSwitch::switchedOn, this, [brightMode](QObject*) { brightMode(true); });
  connect(page_.BrightModeButton, &TasSwitch::switchedOff, this,
          [brightMode](QObject*) { brightMode(false); });
  auto camera = [this](int index, bool on) {
    std::lock_guard lock(machine_.engine().engineLock);
    (index == 0 ? machine_.sorter().onCamera1 : machine_.sorter().onCamera2) = on;
  };
  connect(page_.Cam1enableSwitch, &TasSwitch::switchedOn, this, [camera](QObject*) { camera(0, true); });
  connect(page_.Cam1enableSwitch, &TasSwitch::switchedOff, this, [camera](QObject*) { camera(0, false); });
  connect(page_.Cam2enableSwitch, &TasSwitch::switchedOn, this, [camera](QObject*) { camera(1, true); });
  connect(page_.Cam2enableSwitch, &TasSwitch::switchedOff, this, [camera](QObject*) { camera(1, false); });
}

void PageWorkController::takeOptionFlags() {
  if (page_.FineTimerButton->stateOn()) {
    machine_.run().FineTimerButtonOn();
  } else {
    machine_.run().FineTimerButtonOff();
  }
  EngineState& engine = machine_.engine();
  engine.ColorTune.store(page_.ColorTuneButton->stateOn(), std::memory_order_relaxed);
  engine.BrightMode.store(page_.BrightModeButton->stateOn(), std::memory_order_relaxed);
}

void PageWorkController::showProgram() {
  const SorterSettings& loaded = machine_.sorter();
  page_.BrightModeButton->setStateOn(loaded.BrightMode);
  page_.Cam1enableSwitch->setStateOn(loaded.onCamera1);
  page_.Cam2enableSwitch->setStateOn(loaded.onCamera2);
  // Single-tone cameras know only the brightness test: the switch stays on and says why.
  if (machine_.singleToneCamera()) {
    page_.BrightModeButton->setStateOn(true);
    page_.BrightModeButton->setEnabled(false);
    page_.BrightModeButton->setCaption(kSingleToneCaption);
  } else {
    page_.BrightModeButton->setEnabled(true);
    page_.BrightModeButton->setCaption(brightModeCaption_);
  }
  machine_.engine().BrightMode.store(page_.BrightModeButton->stateOn(), std::memory_order_relaxed);

  showThresholds();

  std::vector<ConditionSwitch> changed;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    changed = conditions_.load(machine_.sorter());
  }
  showConditionSwitches(changed);
}

void PageWorkController::showThresholds() {
  const SorterSettings& s = machine_.sorter();
  for (std::size_t row = 0; row < page_.conditions.size(); ++row) {
    page_.conditions[row].threshold.value->setText(
        QString::fromStdString(numberLabelText(thresholdOf(s, row))));
  }
}

void PageWorkController::changeConditions(
    const std::function<std::vector<ConditionSwitch>(SorterSettings&, ConditionSwitches&)>& change) {
  std::vector<ConditionSwitch> changed;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    changed = change(machine_.sorter(), conditions_);
  }
  showThresholds();
  // The working page's copy would otherwise show, and step from, the old sensitivity.
  if (lineModeOnWorkPage_ != nullptr) {
    lineModeOnWorkPage_->setText(page_.conditions[kLineModeRow].threshold.value->text());
  }
  showConditionSwitches(changed);
}

void PageWorkController::conditionTouched(ConditionSwitch which, bool on) {
  if (showing_) return;
  std::vector<ConditionSwitch> changed;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    changed = conditions_.set(which, on, machine_.sorter());
  }
  showConditionSwitches(changed);
}

void PageWorkController::showConditionSwitches(const std::vector<ConditionSwitch>& changed) {
  showing_ = true;
  for (const ConditionSwitch which : changed) {
    TasSwitch* control = switches_[static_cast<std::size_t>(which)];
    if (control == nullptr) continue;
    control->setStateOn(conditions_.isOn(which));
  }
  for (std::size_t i = 0; i < kConditionSwitchCount; ++i) {
    const auto which = static_cast<ConditionSwitch>(i);
    if (const auto caption = conditions_.caption(which); caption && switches_[i] != nullptr) {
      switches_[i]->setCaption(QString::fromUtf8(caption->data(), static_cast<qsizetype>(caption->size())));
    }
  }
  showing_ = false;
  showThresholdColours();
}

void PageWorkController::showThresholdColours() {
  const SorterSettings& s = machine_.sorter();
  for (std::size_t row = 0; row < page_.conditions.size(); ++row) {
    setLabelTextColor(page_.conditions[row].threshold.value, ConditionSwitches::rowActive(row, s)
                                                                 ? QColor(Qt::black)
                                                                 : QColor::fromRgb(kGreyTextColor));
  }
}

}  // namespace tolvane
