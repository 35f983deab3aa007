#include "app/page_one_chanal_controller.h"

#include <mutex>

#include "app/machine.h"
#include "app/page_one_chanal.h"
#include "settings/build_constants.h"
#include "settings/stored_controls.h"

namespace tolvane {

namespace {

void showNumber(const StepperRow& row, int32_t value) {
  row.value->setText(QString::fromStdString(numberLabelText(value)));
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
}

void PageOneChanalController::channelSwitched(int channel, bool on) {
  if (showing_) return;
  SorterSettings& s = machine_.sorter();
  {
    std::lock_guard lock(machine_.engine().engineLock);
    bool* flags[3] = {&s.OCR, &s.OCG, &s.OCB};
    if (on) {
      for (int c = 1; c <= 3; ++c) *flags[c - 1] = c == channel;
      s.SingleChannel = channel;
      machine_.engine().SingleChannel.store(channel, std::memory_order_relaxed);
    } else {
      // The channel stays in use until another one is chosen.
      *flags[channel - 1] = false;
    }
  }
  if (on) showProgram();
}

void PageOneChanalController::showProgram() {
  const SorterSettings& s = machine_.sorter();
  showing_ = true;
  page_.OC_R_Button->setStateOn(s.OCR);
  page_.OC_G_Button->setStateOn(s.OCG);
  page_.OC_B_Button->setStateOn(s.OCB);
  showing_ = false;
  if (kSingleToneCamera) {
    page_.OC_R_Button->hide();
    page_.OC_G_Button->hide();
    page_.OC_B_Button->hide();
  }
  for (std::size_t c = 0; c < 2; ++c) {
    const CameraRangeSteppers& r = page_.ranges[c];
    showNumber(r.fonMin, s.FonMin[c]);
    showNumber(r.fonMax, s.FonMax[c]);
    showNumber(r.p1Min, s.P1Min[c]);
    showNumber(r.p1Max, s.P1Max[c]);
    showNumber(r.p2Min, s.P2Min[c]);
    showNumber(r.p2Max, s.P2Max[c]);
    showNumber(r.fonBlack, s.FonBlack[c]);
    showNumber(r.fonLight, s.FonLight[c]);
  }
}

}  // namespace tolvane
