#include "app/page_one_chanal_controller.h"

#include <mutex>

#include "app/machine.h"
#include "app/page_one_chanal.h"
#include "app/page_simple_work.h"
#include "settings/stored_controls.h"

namespace tolvane {

namespace {

constexpr std::array<StepperRow CameraRangeSteppers::*, kRangeFieldCount> kRows = {
    &CameraRangeSteppers::fonMin,   &CameraRangeSteppers::fonMax,  &CameraRangeSteppers::p1Min,
    &CameraRangeSteppers::p1Max,    &CameraRangeSteppers::p2Min,   &CameraRangeSteppers::p2Max,
    &CameraRangeSteppers::fonBlack, &CameraRangeSteppers::fonLight};

constexpr std::size_t slot(int camera) { return camera == 1 ? 1 : 0; }

void place(QWidget* bar, const BarSpan& span) {
  bar->setGeometry(span.left, bar->y(), span.width, bar->height());
  bar->setVisible(span.width > 0);
}

}  // namespace

PageOneChanalController::PageOneChanalController(PageOneChanal& page, Machine& machine, QObject* parent)
    : QObject(parent), page_(page), machine_(machine) {
  const std::array<TasSwitch*, 3> channels = {page_.OC_R_Button, page_.OC_G_Button, page_.OC_B_Button};
  for (int c = 0; c < 3; ++c) {
    TasSwitch* control = channels[static_cast<std::size_t>(c)];
    connect(control, &TasSwitch::switchedOn, this, [this, c](QObject*) { channelSwitched(c + 1, true); });
    connect(control, &TasSwitch::switchedOff, this, [this, c](QObject*) { channelSwitched(c + 1, false); });
  }
  for (const RangeControl& pair : rangeControls()) {
    const StepperRow& row = page_.ranges[slot(pair.camera)].*kRows[static_cast<std::size_t>(pair.field)];
    const RangeField field = pair.field;
    const int camera = pair.camera;
    connect(row.left, &TasSwitch::clicked, this,
            [this, field, camera](QObject*) { step(field, camera, StepDirection::kDown); });
    connect(row.right, &TasSwitch::clicked, this,
            [this, field, camera](QObject*) { step(field, camera, StepDirection::kUp); });
  }
  placeBars();
}

QLabel* PageOneChanalController::label(RangeField field, int camera) const {
  return (page_.ranges[slot(camera)].*kRows[static_cast<std::size_t>(field)]).value;
}

void PageOneChanalController::bindWorkingPageLevels(PageSimpleWork& work) {
  for (const QMetaObject::Connection& connection : workConnections_) disconnect(connection);
  workConnections_.clear();
  work_ = &work;
  for (int camera = 0; camera < 2; ++camera) {
    const auto add = [this, camera](const StepperRow& row, RangeField field) {
      workConnections_ << connect(row.left, &TasSwitch::clicked, this, [this, field, camera](QObject*) {
        step(field, camera, StepDirection::kDown);
      });
      workConnections_ << connect(row.right, &TasSwitch::clicked, this, [this, field, camera](QObject*) {
        step(field, camera, StepDirection::kUp);
      });
    };
    add(work.blackLevels[slot(camera)], RangeField::kFonBlack);
    add(work.lightLevels[slot(camera)], RangeField::kFonLight);
  }
  copyLevelsToWorkingPage();
}

void PageOneChanalController::step(RangeField field, int camera, StepDirection direction) {
  QLabel* shown = label(field, camera);
  const std::string text = shown->text().toStdString();
  std::optional<LabelStep> stepped;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    stepped = stepRange(machine_.sorter(), machine_.machine().ActiveProg, field, camera, direction, text);
    // A level step, or the test program's opened ranges, may move camera 1's levels.
    applySingleToneFill(machine_.engine(), machine_.sorter());
  }
  // A label that is not a number stays as it is, and so does its field.
  if (stepped) shown->setText(QString::fromStdString(stepped->text));
  if (isBackgroundLevel(field)) copyLevelsToWorkingPage();
  placeBars();
  if (refreshSampleView_) refreshSampleView_();
}

void PageOneChanalController::channelSwitched(int channel, bool on) {
  if (showing_) return;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    switchChannel(machine_.sorter(), channel, on);
    machine_.engine().SingleChannel.store(machine_.sorter().SingleChannel, std::memory_order_relaxed);
  }
  if (on) showChannels();
}

void PageOneChanalController::showChannels() {
  const SorterSettings& s = machine_.sorter();
  showing_ = true;
  page_.OC_R_Button->setStateOn(s.OCR);
  page_.OC_G_Button->setStateOn(s.OCG);
  page_.OC_B_Button->setStateOn(s.OCB);
  showing_ = false;
  // Single-channel work needs colour cameras.
  const bool shown = !machine_.singleToneCamera();
  page_.OC_R_Button->setVisible(shown);
  page_.OC_G_Button->setVisible(shown);
  page_.OC_B_Button->setVisible(shown);
}

void PageOneChanalController::showProgram() {
  showChannels();
  const SorterSettings& s = machine_.sorter();
  for (const RangeControl& pair : rangeControls()) {
    label(pair.field, pair.camera)
        ->setText(QString::fromStdString(numberLabelText(rangeValue(s, pair.field, pair.camera))));
  }
  copyLevelsToWorkingPage();
  evaluate();
}

void PageOneChanalController::evaluate() {
  {
    std::lock_guard lock(machine_.engine().engineLock);
    openTestProgramRanges(machine_.sorter(), machine_.machine().ActiveProg);
    applySingleToneFill(machine_.engine(), machine_.sorter());
  }
  placeBars();
  if (refreshSampleView_) refreshSampleView_();
}

void PageOneChanalController::placeBars() {
  const SorterSettings& s = machine_.sorter();
  for (int camera = 0; camera < 2; ++camera) {
    const RangeBarWidgets& widgets = page_.bars[slot(camera)];
    const RangeBars bars = rangeBars(s, camera, page_.scales[slot(camera)]->scaleLeft());
    place(widgets.darkZone, bars.darkZone);
    place(widgets.lightZone, bars.lightZone);
    place(widgets.fonRange, bars.fonRange);
    place(widgets.p1, bars.p1);
    place(widgets.p2, bars.p2);
    place(widgets.darkEdge, bars.darkEdge);
    place(widgets.lightEdge, bars.lightEdge);
    place(widgets.fonLeftMarker, bars.fonLeftMarker);
    place(widgets.fonRightMarker, bars.fonRightMarker);
  }
}

void PageOneChanalController::copyLevelsToWorkingPage() {
  if (work_ == nullptr) return;
  for (int camera = 0; camera < 2; ++camera) {
    work_->blackLevels[slot(camera)].value->setText(label(RangeField::kFonBlack, camera)->text());
    work_->lightLevels[slot(camera)].value->setText(label(RangeField::kFonLight, camera)->text());
  }
}

}  // namespace tolvane
