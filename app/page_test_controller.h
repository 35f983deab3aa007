#pragma once

#include <QObject>

namespace tolvane {

class Machine;
class PageEgectorsController;
class PageTest;

// The service page (TabTest): its ejector test "Тест|эжектора" (asSwitch3) with the pulse time of
// SpinEdit1, run on the ejector selected on the ejector page and shown on its cells.
//
// Threads: main thread.
class PageTestController : public QObject {
  Q_OBJECT

 public:
  PageTestController(PageTest& page, Machine& machine, PageEgectorsController& ejectors,
                     QObject* parent = nullptr);

  // asSwitch3: five shots of SpinEdit1 + 50 ms to the selected ejector.
  void asSwitch3Click();

 private:
  PageTest& page_;
  Machine& machine_;  // the hidden system parameters' steppers will use it
  PageEgectorsController& ejectors_;
};

}  // namespace tolvane
