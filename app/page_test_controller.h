#pragma once

#include <QObject>
#include <functional>

#include "settings/value_step.h"

namespace tolvane {

class Machine;
class PageEgectorsController;
class PageTest;
class TKeyForm;

// The service page (TabTest): the hidden system parameters MaxTime and MaxObject with their arrows, and
// its ejector test "Тест|эжектора" (asSwitch3) with the pulse time of SpinEdit1, run on the ejector
// selected on the ejector page and shown on its cells; and the colour calculator.
//
// Threads: main thread.
class PageTestController : public QObject {
  Q_OBJECT

 public:
  PageTestController(PageTest& page, Machine& machine, PageEgectorsController& ejectors,
                     QObject* parent = nullptr);

  // asSwitch3: five shots of SpinEdit1 + 50 ms to the selected ejector.
  void asSwitch3Click();
  // One press of MaxTime's (maxObject false) or MaxObject's arrows, within their limits.
  void stepHiddenParameter(bool maxObject, StepDirection direction);
  // ">>>" (toHsv) and "<<<" of the colour calculator.
  void convertColour(bool toHsv);
  // A touch on a calculator field opens the on-screen keyboard for it; Ok writes the text back.
  void bindKeyboard(std::function<TKeyForm&()> keyboard);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  PageTest& page_;
  Machine& machine_;
  PageEgectorsController& ejectors_;
  std::function<TKeyForm&()> keyboard_;
};

}  // namespace tolvane
