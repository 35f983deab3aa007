#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>

#include "engine/bmp_image.h"
#include "settings/value_step.h"

class QTimer;

namespace tolvane {

struct CameraLineState;
class EmulationRun;
class Machine;
class PageEgectorsController;
class PageTest;
class ResearchRun;
class TKeyForm;
class TouchLabel;

// The service page (TabTest): the hidden system parameters MaxTime and MaxObject with their arrows, its
// ejector test "Тест|эжектора" (asSwitch3) with the pulse time of SpinEdit1, run on the ejector
// selected on the ejector page and shown on its cells; the colour calculator; and the engineers' tools:
// the research run over "test.bmp", the object dumps, the line capture, test marks, the line-dump
// switch, the emulation run over the research picture and the analysis timing.
//
// The research run and the emulation run go one picture row at a time from the event loop, taking the
// engine lock per row, so the window stays usable and shows their progress. Both, and the timing
// test, refuse to start while sorting runs: their objects would reach the valves. Files go to the
// program folder; nothing is written while the engine lock is held.
//
// Threads: main thread.
class PageTestController : public QObject {
  Q_OBJECT

 public:
  using TellFunction = std::function<void(const QString& text)>;

  PageTestController(PageTest& page, Machine& machine, PageEgectorsController& ejectors,
                     QObject* parent = nullptr);
  ~PageTestController() override;

  // asSwitch3: five shots of SpinEdit1 + 50 ms to the selected ejector.
  void asSwitch3Click();
  // One press of MaxTime's (maxObject false) or MaxObject's arrows, within their limits.
  void stepHiddenParameter(bool maxObject, StepDirection direction);
  // ">>>" (toHsv) and "<<<" of the colour calculator.
  void convertColour(bool toHsv);
  // A touch on a calculator field opens the on-screen keyboard for it; Ok writes the text back.
  void bindKeyboard(std::function<TKeyForm&()> keyboard);
  // How the operator is told results and refusals; without it a message box opens.
  void setTell(TellFunction tell);
  // A double touch on the ejector page's object counter writes "CurObjects.txt".
  void bindObjectCounter(TouchLabel& countLabel);
  // The GenICam cameras' stream counters ("Камера N: кадры ..."); simulated cameras show nothing.
  void showCameraStreams();

  // --- The tools (also driven directly by tests) ---
  // "Исследование": starts the research run; its caption shows the progress, "test_x.bmp" is
  // written at the end.
  void researchButtonClick();
  // "Буфер в файл": "bufer.txt".
  void masButtonClick();
  // "CurObjects.txt".
  void writeCurrentObjectsDump();
  // "Изображение в файл": the next 4000 lines of camera 1 into a time-named picture.
  void button8Click();
  // "Тестовый|объект": test marks of 10, 20 ... 60 lines, 100 ms apart.
  void testObjectButtonClick();
  // "Регистрировать неулевые строки".
  void checkBox5Changed(bool on);
  // "Эмуляция": the emulation run over the research picture, the button disabled while it runs.
  void emulButtonClick();
  // "TimeTester": the analysis timing, its milliseconds told.
  void button4Click();
  // Writes a full line-dump picture if one waits (the page's 1 s timer calls it).
  void saveLineDump();

  bool researchRunning() const { return research_ != nullptr; }
  bool emulationRunning() const { return emulation_ != nullptr; }
  bool captureRunning() const { return captureTicks_ >= 0; }
  // The research picture shown in Image and fed to the emulation.
  const BmpImage& researchPicture() const { return researchPicture_; }

  // The line capture gives up when camera 1 delivers no 4000 lines in this time.
  static constexpr int kCaptureTimeoutMs = 60000;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void tell(const QString& text);
  bool sortingRuns() const;
  bool refuseWhileBusy();
  void setToolsBusy(bool busy);
  // Camera i's line data: the camera thread's own while it is stopped, else the page's scratch lines.
  CameraLineState& cameraLine(int camera);
  void researchTick();
  void finishResearch();
  void emulationTick();
  void captureTick();
  void testMarkTick();

  PageTest& page_;
  Machine& machine_;
  PageEgectorsController& ejectors_;
  std::function<TKeyForm&()> keyboard_;
  TellFunction tell_;
  BmpImage researchPicture_;
  std::array<std::unique_ptr<CameraLineState>, 2> scratch_;
  std::unique_ptr<ResearchRun> research_;
  std::unique_ptr<EmulationRun> emulation_;
  QTimer* researchTimer_;
  QTimer* emulationTimer_;
  QTimer* captureTimer_;
  int captureTicks_ = -1;  // -1: no capture
  QTimer* testMarkTimer_;
  int testMarkStep_ = 0;
  QTimer* lineDumpTimer_;
};

}  // namespace tolvane
