#pragma once

#include <QLineEdit>
#include <QStackedWidget>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/page_common.h"
#include "app/type_set_controller.h"
#include "colour_tools/background_readout.h"

namespace tolvane {

class Machine;
class PageData;
class PageDataController;
class PageEgectorsController;
class PageOneChanalController;
class PageSettingsController;
class PageSimpleWorkController;
class PageTestController;
class PageWorkController;
class RegulatorController;
class ShapeTemplateController;
class ProgramController;
class TKeyForm;
class PageEgectors;
class PageOneChanal;
class PageSettings;
class PageSimpleWork;
class PageSimpleWorkSettings;
class PageTest;
class PageWork;
class StripView;
class ShapeBar;
class WindowStateStore;
class TTypeSetForm;
class OperatingStatisticsController;
class UpdateController;
class SupportRequestController;

// The operator's main window: a 1024x768 frameless full-screen window holding every page.
//
// The window runs the start-up sequence in its constructor (settings, cameras, boards, side files)
// and the closing sequence when it closes. Show it with show(); it sizes itself to the screen.
//
// Threads: everything runs on the main thread; the machine's camera threads never touch a widget.
class TmForm : public QWidget {
  Q_OBJECT

 public:
  // Yes/No question (title, text) and a message; replaceable so that tests answer instead of a person.
  using AskFunction = std::function<bool(const QString& title, const QString& question)>;
  using TellFunction = std::function<void(const QString& text)>;

  // Builds the machine from the platform configuration beside the program file (simulated
  // hardware unless configured otherwise). When the configuration cannot be served the operator is
  // told why and the application quits as soon as its event loop runs.
  explicit TmForm(QWidget* parent = nullptr);
  // With a machine prepared by the caller (tests, tools).
  explicit TmForm(std::unique_ptr<Machine> machine, QWidget* parent = nullptr);
  ~TmForm() override;

  // Asks both camera threads to stop; for the unhandled-error handler before it restarts the program.
  void stopCameraThreads();

  // Why the platform configuration could not be served; empty when it could.
  const QString& startupError() const { return startupError_; }

  Machine& machine() { return *machine_; }
  void setDialogs(AskFunction ask, TellFunction tell);
  // The on-screen keyboard that the program name fields open (the program entry creates it after
  // this window); without one the window makes its own when first needed.
  void setKeyboard(TKeyForm* keyboard);
  TKeyForm& keyboard();
  // The preset set-ups window (the program entry creates it after this window) and where its pictures
  // come from; without one the window makes its own, without pictures, when first needed.
  void setPresetWindow(TTypeSetForm* form, PresetPictureSource pictures);
  TypeSetController& typeSetController();
  // What the operator was told at start about the settings file; empty when all was well.
  const QString& settingsFileReport() const { return settingsFileReport_; }

  // Window sizing for a screen of this size: the window covers it, the content panel is centred
  // vertically and stays at x = 2.
  void applyScreenSize(QSize screen);

  const std::array<QLabel*, 12>& backgroundReadoutLabels() const { return fonInfoLabels_; }

  // --- Pages and regions ---
  QWidget* fonPanel() const { return fonPanel_; }
  QStackedWidget* pageControl() const { return pageControl_; }
  PictureList* modeList() const { return modeList_; }
  QWidget* modeListPanel() const { return modeListPanel_; }
  PictureList* programList() const { return programList_; }
  const std::array<QLineEdit*, 9>& nameFields() const { return nameFields_; }
  QLabel* mainCaption() const { return mainCaption_; }
  QLabel* powerLabel() const { return powerLabel_; }
  TouchLabel* serviceLabel() const { return serviceLabel_; }
  StripView* strip(int camera) const { return strips_[camera == 1 ? 1 : 0]; }
  PageSimpleWork* tabSimpleWork() const { return tabSimpleWork_; }
  PageData* tabData() const { return tabData_; }
  PageSettings* tabSettings() const { return tabSettings_; }
  PageOneChanal* tabOneChanal() const { return tabOneChanal_; }
  PageEgectors* tabEgectors() const { return tabEgectors_; }
  PageWork* tabWork() const { return tabWork_; }
  PageSimpleWorkSettings* tabSimpleWorkSettings() const { return tabSimpleWorkSettings_; }
  PageTest* tabTest() const { return tabTest_; }
  QTimer* timer1() const { return timer1_; }
  QTimer* timer2() const { return timer2_; }
  QTimer* timer5sek() const { return timer5sek_; }
  PageSimpleWorkController& simpleWorkController() const { return *simpleWorkController_; }
  PageWorkController& workController() const { return *workController_; }
  PageEgectorsController& egectorsController() const { return *egectorsController_; }
  PageOneChanalController& oneChanalController() const { return *oneChanalController_; }
  PageSettingsController& settingsController() const { return *settingsController_; }
  PageDataController& dataController() const { return *dataController_; }
  ProgramController& programController() const { return *programController_; }
  PageTestController& testController() const { return *testController_; }
  RegulatorController& regulatorController() const { return *regulatorController_; }
  ShapeTemplateController& shapeTemplateController() const { return *shapeTemplateController_; }
  OperatingStatisticsController& statisticsController() const { return *statisticsController_; }
  UpdateController& updateController() const { return *updateController_; }
  SupportRequestController& supportRequestController() const { return *supportRequestController_; }

  // --- Handlers (also driven directly by tests) ---
  void showPage(QWidget* page);
  // "Настройка": mode list, samples page, first mode selected, program name fields.
  void enterSetupMode();
  // A mode list selection: 0 samples, 1 colour set-up (single-tone or HSV), 2 ejectors, 3 conditions.
  void modeListSelect(int index);
  // "[///]": a single touch clears the mode list selection; a double touch also shows the service page.
  void serviceTouch();
  void serviceDoubleTouch();
  // A touch on the program list.
  void programListTouch(int index);
  // "СОХРАНИТЬ|НАСТРОЙКИ". With interactive false a failure is not shown (automatic power-off).
  bool saveSettings(bool interactive = true);
  // "Сброс|программы" and "ОТМЕНИТЬ|НАСТРОЙКИ".
  void restartProgram();
  // After a factory reset, a rollback or an installed settings file: this instance writes nothing more
  // into the settings file (not even as its window is destroyed) and starts the program again.
  void restartOnNewSettings();
  // Preset index (0-based) applied to the active program, live, and shown on every page.
  void applyPreset(std::size_t index);
  void powerOffButtomClick();
  void puskSwitchClick();
  void waitModeButtonClick();
  void Timer1Timer();
  void Timer2Timer();
  void Timer5sekTimer();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildWindow();
  void buildPages();
  void buildControllers();
  void formCreate();
  // Every page shows the program just loaded, in the order of a load.
  void showProgram();
  void refreshCalibrationMarkers();
  // "фон|>>": the readout panel over the program bar with the last background readout.
  void showBackgroundReadout(bool shown);
  void applyRunView();
  void tell(const QString& text);
  // Nothing of this instance writes the settings file any more (it was replaced on disk).
  void freezeSettingsFile();

  std::unique_ptr<Machine> machine_;
  // After the machine: its destruction write needs the machine settings and the controls.
  std::unique_ptr<WindowStateStore> store_;
  QString startupError_;
  QString settingsFileReport_;
  AskFunction ask_;
  TellFunction tell_;
  bool firstShowDone_ = false;
  bool closingDone_ = false;

  QWidget* fonPanel_ = nullptr;
  QLabel* mainCaption_ = nullptr;
  QLabel* powerLabel_ = nullptr;
  TouchLabel* serviceLabel_ = nullptr;
  QWidget* modeListPanel_ = nullptr;
  PictureList* modeList_ = nullptr;
  QStackedWidget* pageControl_ = nullptr;
  std::array<ShapeBar*, 5> blockMarkersA_{};
  std::array<ShapeBar*, 5> blockMarkersB_{};
  std::array<ShapeBar*, 4> workBands_{};  // WorkSpaseShapeA, B, C, D
  std::array<StripView*, 2> strips_{};
  QWidget* programsPanel_ = nullptr;
  PictureList* programList_ = nullptr;
  std::array<QLineEdit*, 9> nameFields_{};
  QWidget* fonInfoPanel_ = nullptr;
  std::array<QLabel*, 12> fonInfoLabels_{};  // LH1, LS1, LV1 ... LH4, LS4, LV4
  BackgroundReadout backgroundReadout_{};
  std::vector<std::uint8_t> readoutLine_;

  PageSimpleWork* tabSimpleWork_ = nullptr;
  PageData* tabData_ = nullptr;
  PageSettings* tabSettings_ = nullptr;
  PageOneChanal* tabOneChanal_ = nullptr;
  PageEgectors* tabEgectors_ = nullptr;
  PageWork* tabWork_ = nullptr;
  PageSimpleWorkSettings* tabSimpleWorkSettings_ = nullptr;
  PageTest* tabTest_ = nullptr;

  PageSimpleWorkController* simpleWorkController_ = nullptr;
  PageWorkController* workController_ = nullptr;
  PageEgectorsController* egectorsController_ = nullptr;
  PageOneChanalController* oneChanalController_ = nullptr;
  PageSettingsController* settingsController_ = nullptr;
  PageDataController* dataController_ = nullptr;
  ProgramController* programController_ = nullptr;
  PageTestController* testController_ = nullptr;
  RegulatorController* regulatorController_ = nullptr;
  ShapeTemplateController* shapeTemplateController_ = nullptr;
  OperatingStatisticsController* statisticsController_ = nullptr;
  UpdateController* updateController_ = nullptr;
  SupportRequestController* supportRequestController_ = nullptr;
  TTypeSetForm* typeSetForm_ = nullptr;
  std::unique_ptr<TTypeSetForm> ownTypeSetForm_;
  std::unique_ptr<TypeSetController> typeSetController_;

  QTimer* timer1_ = nullptr;
  QTimer* timer2_ = nullptr;
  QTimer* timer5sek_ = nullptr;
};

}  // namespace tolvane
