#include "app/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>
#include <QSignalBlocker>
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "app/machine.h"
#include "app/main_window_layout.h"
#include "app/operating_statistics_controller.h"
#include "app/operator_dialogs.h"
#include "app/page_data.h"
#include "app/page_data_controller.h"
#include "app/page_egectors.h"
#include "app/page_egectors_controller.h"
#include "app/page_one_chanal.h"
#include "app/page_one_chanal_controller.h"
#include "app/page_settings.h"
#include "app/page_settings_controller.h"
#include "app/page_simple_work.h"
#include "app/page_simple_work_controller.h"
#include "app/page_simple_work_settings.h"
#include "app/page_test.h"
#include "app/page_test_controller.h"
#include "app/page_work.h"
#include "app/page_work_controller.h"
#include "app/program_controller.h"
#include "app/program_restart.h"
#include "app/regulator_controller.h"
#include "app/shape_template_controller.h"
#include "app/support_request_controller.h"
#include "app/type_set_form.h"
#include "app/unhandled_error.h"
#include "app/update_controller.h"
#include "app/window_state_store.h"
#include "colour_tools/background_readout.h"
#include "ejection/ejector_zones.h"
#include "ejection/valve_outputs.h"
#include "ejection/valve_tests.h"
#include "settings/build_constants.h"
#include "settings/preset_setups.h"
#include "settings/stored_controls.h"
#include "ui/program_name_validator.h"

namespace tolvane {

namespace {

const QString kDesignCaption = QStringLiteral(" Markavel Grain v2 ");
constexpr int kModeItems = 4;
const char* const kModeNames[kModeItems] = {"ДАННЫЕ", "НАСТРОЙКА 1", "НАСТРОЙКА 2", "РАБОТА"};

// The blue tint of a selected picture.
const QColor kSelectedTint(70, 120, 220);

std::unique_ptr<Machine> machineFromPlatform(QString& error) {
  const std::filesystem::path programFile = runningProgramFile();
  const PlatformConfigResult config = readPlatformConfig(programFile);
  std::string problem = config.error;
  std::optional<MachineParts> parts;
  if (problem.empty()) parts = machinePartsFromConfig(config.config, programFile, problem);
  if (!parts) {
    error = QString::fromStdString(problem);
    // Nothing is started with this machine: it only carries the window until the program ends.
    return std::make_unique<Machine>(simulatedMachineParts(programFile));
  }
  return std::make_unique<Machine>(std::move(*parts));
}

// A picture tile: a framed face, tinted blue when selected.
void drawTile(QPainter& painter, const QRect& cell, bool selected) {
  const QRect face = cell.adjusted(3, 3, -3, -3);
  QLinearGradient gradient(face.topLeft(), face.bottomLeft());
  const QColor base = selected ? kSelectedTint : QColor(150, 150, 150);
  gradient.setColorAt(0.0, base.lighter(150));
  gradient.setColorAt(1.0, base.darker(130));
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(QPen(selected ? QColor(250, 250, 160) : QColor(40, 40, 40), selected ? 3 : 1));
  painter.setBrush(gradient);
  painter.drawRoundedRect(face, 8, 8);
}

void drawModeIcon(QPainter& painter, int index, const QRect& area) {
  painter.setPen(QPen(QColor(30, 30, 30), 3));
  painter.setBrush(Qt::NoBrush);
  const QPoint c = area.center();
  switch (index) {
    case 0:  // samples: three grains
      for (int i = -1; i <= 1; ++i) painter.drawEllipse(QPoint(c.x() + i * 26, c.y()), 10, 14);
      break;
    case 1:  // colour ranges: a scale with a marked range
      painter.drawRect(QRect(c.x() - 45, c.y() - 8, 90, 16));
      painter.fillRect(QRect(c.x() - 15, c.y() - 6, 35, 13), QColor(230, 60, 40));
      break;
    case 2:  // ejectors: a row of nozzles
      for (int i = -3; i <= 3; ++i) painter.drawLine(c.x() + i * 13, c.y() - 14, c.x() + i * 13, c.y() + 14);
      break;
    default:  // conditions: a check list
      for (int i = -1; i <= 1; ++i) {
        painter.drawRect(QRect(c.x() - 40, c.y() + i * 18 - 6, 12, 12));
        painter.drawLine(c.x() - 20, c.y() + i * 18, c.x() + 40, c.y() + i * 18);
      }
      break;
  }
}

}  // namespace

TmForm::TmForm(QWidget* parent) : TmForm(nullptr, parent) {}

TmForm::TmForm(std::unique_ptr<Machine> machine, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("mForm"));
  setWindowTitle(kDesignCaption);
  machine_ = machine ? std::move(machine) : machineFromPlatform(startupError_);
  ask_ = [this](const QString& title, const QString& question) { return askQuestion(this, title, question); };
  tell_ = [this](const QString& text) { showMessage(this, windowTitle(), text); };

  buildWindow();
  buildPages();
  buildControllers();

  if (!startupError_.isEmpty()) {
    std::fprintf(stderr, "TolvaneGrain: %s\n", startupError_.toUtf8().constData());
    QTimer::singleShot(0, this, [this] {
      showError(this, QStringLiteral("MK Grain"), startupError_);
      QCoreApplication::exit(2);
    });
    return;
  }
  formCreate();
}

TmForm::~TmForm() {
  if (statisticsController_ != nullptr) statisticsController_->inetTimer()->stop();
  timer1_->stop();
  timer2_->stop();
  timer5sek_->stop();
  if (UnhandledErrorHandler* handler = GuardedApplication::current()) handler->clearHooks();
  // The camera threads end first: the stored control values written next feed values they read.
  if (machine_) machine_->run().stopAndJoinCameraThreads();
  store_.reset();
  if (machine_ && machine_->run().threadsLeftRunning() > 0) {
    // A camera thread stuck in a driver call still uses the drivers and the engine state: they stay
    // until the process ends.
    static_cast<void>(machine_.release());
  }
  machine_.reset();
}

void TmForm::stopCameraThreads() {
  for (int camera = 0; camera < kCameraCount; ++camera) {
    if (TCameraThread* thread = machine_->run().cameraThread(camera)) thread->requestStop();
  }
}

void TmForm::setDialogs(AskFunction ask, TellFunction tell) {
  if (ask) ask_ = std::move(ask);
  if (tell) tell_ = std::move(tell);
}

void TmForm::applyScreenSize(QSize screen) {
  setGeometry(0, 0, screen.width(), screen.height());
  fonPanel_->move(kFonPanelLeft, fonPanelTop(screen.height()));
}

// --- Construction -----------------------------------------------------------------------------

void TmForm::buildWindow() {
  fonPanel_ = new QWidget(this);
  fonPanel_->setObjectName(QStringLiteral("FonPanel"));
  fonPanel_->setGeometry(kFonPanelLeft, 0, kFonPanelWidth, kFonPanelHeight);

  QFrame* panel8 = addPanel(fonPanel_, QStringLiteral("Panel8"), QRect(5, 5, 1006, 25));
  mainCaption_ =
      addLabel(panel8, QStringLiteral("MainCaption"), kDesignCaption, QRect(8, 1, 560, 23), 14, true);
  powerLabel_ = addLabel(panel8, QStringLiteral("PowerLabel"), QString(), QRect(570, 1, 380, 23), 14, true,
                         Qt::AlignRight | Qt::AlignVCenter);
  serviceLabel_ = new TouchLabel(QStringLiteral("[///]"), panel8);
  serviceLabel_->setObjectName(QStringLiteral("Label17"));
  serviceLabel_->setGeometry(956, 1, 46, 23);
  serviceLabel_->setFont(screenFont(14, true));
  serviceLabel_->setAlignment(Qt::AlignCenter);
  setLabelTextColor(serviceLabel_, QColor::fromRgb(kTextColor));

  modeListPanel_ = addPanel(fonPanel_, QStringLiteral("Panel2"), QRect(5, 32, 192, 569));
  modeList_ = new PictureList(kModeItems, Qt::Vertical, modeListPanel_);
  modeList_->setObjectName(QStringLiteral("ModeList"));
  modeList_->setGeometry(2, 2, 188, 565);
  modeList_->setItemPainter([](QPainter& painter, int index, bool selected, const QRect& cell) {
    drawTile(painter, cell, selected);
    drawModeIcon(painter, index, QRect(cell.left(), cell.top() + 14, cell.width(), 60));
    painter.setPen(selected ? QColor(255, 255, 255) : QColor(20, 20, 20));
    painter.setFont(screenFont(19, true));
    painter.drawText(QRect(cell.left(), cell.top() + 80, cell.width(), 40), Qt::AlignCenter,
                     QString::fromUtf8(kModeNames[index]));
  });
  modeList_->setCurrentIndex(0);
  modeListPanel_->hide();

  QFrame* panel1 = addPanel(fonPanel_, QStringLiteral("Panel1"), QRect(199, 32, 812, 569));
  pageControl_ = new QStackedWidget(panel1);
  pageControl_->setObjectName(QStringLiteral("PageControl"));
  pageControl_->setGeometry(3, 4, 806, 560);

  for (int n = 0; n < 5; ++n) {
    const QColor tone = n % 2 == 0 ? QColor(96, 160, 210) : QColor(210, 186, 90);
    blockMarkersA_[static_cast<std::size_t>(n)] = new ShapeBar(ShapeBar::Style::Framed, tone, fonPanel_);
    blockMarkersA_[static_cast<std::size_t>(n)]->setObjectName(QStringLiteral("ShapeA_block%1").arg(n + 1));
    blockMarkersA_[static_cast<std::size_t>(n)]->setGeometry(5 + 200 * n, 604, 200, 12);
    blockMarkersB_[static_cast<std::size_t>(n)] = new ShapeBar(ShapeBar::Style::Framed, tone, fonPanel_);
    blockMarkersB_[static_cast<std::size_t>(n)]->setObjectName(QStringLiteral("ShapeB_block%1").arg(n + 1));
    blockMarkersB_[static_cast<std::size_t>(n)]->setGeometry(5 + 200 * n, 616, 200, 12);
  }
  for (int c = 0; c < 2; ++c) {
    strips_[static_cast<std::size_t>(c)] = new StripView(fonPanel_);
    strips_[static_cast<std::size_t>(c)]->setObjectName(QStringLiteral("PaintC%1").arg(c + 1));
    strips_[static_cast<std::size_t>(c)]->setGeometry(8, c == 0 ? 607 : 619, 1000, 6);
  }
  const char* bandNames[4] = {"WorkSpaseShapeA", "WorkSpaseShapeB", "WorkSpaseShapeC", "WorkSpaseShapeD"};
  for (int b = 0; b < 4; ++b) {
    workBands_[static_cast<std::size_t>(b)] =
        new ShapeBar(ShapeBar::Style::Hatched, QColor::fromRgb(kMaroonColor), fonPanel_);
    workBands_[static_cast<std::size_t>(b)]->setObjectName(QString::fromLatin1(bandNames[b]));
    workBands_[static_cast<std::size_t>(b)]->setGeometry(b % 2 == 0 ? 5 : 911, b < 2 ? 603 : 616, 100, 13);
  }

  programsPanel_ = addPanel(fonPanel_, QStringLiteral("ProgramsPanel"), QRect(5, 631, 1006, 126));
  programList_ = new PictureList(kProgramCount, Qt::Horizontal, programsPanel_);
  programList_->setObjectName(QStringLiteral("ProgramList"));
  programList_->setGeometry(0, 0, 1006, 126);
  programList_->setItemPainter([this](QPainter& painter, int index, bool selected, const QRect& cell) {
    drawTile(painter, cell, selected);
    painter.setPen(selected ? QColor(255, 255, 255) : QColor(25, 25, 25));
    painter.setFont(screenFont(index == kProgramCount - 1 ? 26 : 40, true));
    painter.drawText(QRect(cell.left(), cell.top() + 6, cell.width(), 58), Qt::AlignCenter,
                     index == kProgramCount - 1 ? QStringLiteral("ТЕСТ") : QString::number(index + 1));
    if (index < kProgramNameCount && machine_) {
      // The name at a fixed height of 70 pixels, centred.
      painter.setFont(screenFont(13, true));
      painter.drawText(
          QRect(cell.left() + 4, cell.top() + 70, cell.width() - 8, 18), Qt::AlignHCenter | Qt::AlignTop,
          QString::fromStdString(machine_->machine().ProgramName[static_cast<std::size_t>(index)]));
    }
  });
  for (int n = 0; n < kProgramNameCount; ++n) {
    auto* field = new QLineEdit(programsPanel_);
    field->setObjectName(QStringLiteral("ProgramNameEdit%1").arg(n));
    field->setGeometry(nameFieldX(n), kNameFieldY, kNameFieldWidth, 26);
    field->setFont(screenFont(13, true));
    // Only what the settings file can hold, also from a physical keyboard or a paste.
    field->setValidator(new ProgramNameValidator(field));
    field->hide();
    nameFields_[static_cast<std::size_t>(n)] = field;
  }

  fonInfoPanel_ = addPanel(fonPanel_, QStringLiteral("FonInfo_Panel"), QRect(5, 636, 1006, 44));
  for (int block = 1; block <= 4; ++block) {
    const char* channels[3] = {"LH", "LS", "LV"};
    for (int c = 0; c < 3; ++c) {
      fonInfoLabels_[static_cast<std::size_t>((block - 1) * 3 + c)] =
          addLabel(fonInfoPanel_, QString::fromLatin1(channels[c]) + QString::number(block),
                   QStringLiteral("0 - 0"), QRect(10 + (block - 1) * 250 + c * 80, 10, 76, 24), 13, true);
    }
  }
  fonInfoPanel_->hide();

  timer1_ = new QTimer(this);
  timer1_->setObjectName(QStringLiteral("Timer1"));
  timer1_->setInterval(1000);
  timer2_ = new QTimer(this);
  timer2_->setObjectName(QStringLiteral("Timer2"));
  timer2_->setInterval(500);
  timer5sek_ = new QTimer(this);
  timer5sek_->setObjectName(QStringLiteral("Timer5sek"));
  timer5sek_->setInterval(5000);
}

void TmForm::buildPages() {
  tabSimpleWork_ = new PageSimpleWork(pageControl_);
  tabData_ = new PageData(pageControl_);
  tabSettings_ = new PageSettings(pageControl_);
  tabOneChanal_ = new PageOneChanal(pageControl_);
  tabEgectors_ = new PageEgectors(pageControl_);
  tabWork_ = new PageWork(pageControl_);
  tabSimpleWorkSettings_ = new PageSimpleWorkSettings(pageControl_);
  tabTest_ = new PageTest(pageControl_);
  for (QWidget* page :
       std::initializer_list<QWidget*>{tabSimpleWork_, tabData_, tabSettings_, tabOneChanal_, tabEgectors_,
                                       tabWork_, tabSimpleWorkSettings_, tabTest_}) {
    pageControl_->addWidget(page);
  }
  pageControl_->setCurrentWidget(tabSimpleWork_);
}

void TmForm::buildControllers() {
  Machine& m = *machine_;
  connect(timer1_, &QTimer::timeout, this, &TmForm::Timer1Timer);
  connect(timer2_, &QTimer::timeout, this, &TmForm::Timer2Timer);
  connect(timer5sek_, &QTimer::timeout, this, &TmForm::Timer5sekTimer);

  connect(modeList_, &PictureList::itemTouched, this, &TmForm::modeListSelect);
  connect(tabWork_->FactoryResetButton, &TasSwitch::clicked, this, [this] { typeSetController().open(); });
  connect(serviceLabel_, &TouchLabel::touched, this, &TmForm::serviceTouch);
  connect(serviceLabel_, &TouchLabel::doubleTouched, this, &TmForm::serviceDoubleTouch);
  connect(pageControl_, &QStackedWidget::currentChanged, this, [this](int) {
    if (pageControl_->currentWidget() == tabSimpleWork_) simpleWorkController_->show();
  });

  simpleWorkController_ = new PageSimpleWorkController(*tabSimpleWork_, m,
                                                       {.enterSetupMode = [this] { enterSetupMode(); },
                                                        .restart = [this] { restartProgram(); },
                                                        .powerOff = [this] { powerOffButtomClick(); },
                                                        .runViewChanged = [this] { applyRunView(); },
                                                        .tell = [this](const QString& text) { tell(text); }},
                                                       this);
  workController_ =
      new PageWorkController(*tabWork_, tabSettings_->FonBlueButton, tabSettings_->FonBlackButton, m,
                             {.save = [this] { saveSettings(); },
                              .cancel = [this] { programController_->cancelSettings(); },
                              .showRegulatorPage = [this] { showPage(tabSimpleWorkSettings_); },
                              .thresholdStepped = [this] { regulatorController_->recompute(); }},
                             this);
  workController_->bindLineModeArrows(tabSimpleWork_->FastSort_LeftDouble,
                                      tabSimpleWork_->FastSort_RightDouble, tabSimpleWork_->FastSort_valD);
  egectorsController_ = new PageEgectorsController(*tabEgectors_, m, this);
  egectorsController_->setActions({.calibrationChanged = [this] { refreshCalibrationMarkers(); },
                                   .tell = [this](const QString& text) { tell(text); }});
  testController_ = new PageTestController(*tabTest_, m, *egectorsController_, this);
  testController_->bindKeyboard([this]() -> TKeyForm& { return keyboard(); });
  testController_->setTell([this](const QString& text) { tell(text); });
  testController_->bindObjectCounter(*tabEgectors_->CountLabel);
  oneChanalController_ = new PageOneChanalController(*tabOneChanal_, m, this);
  oneChanalController_->bindWorkingPageLevels(*tabSimpleWork_);
  dataController_ = new PageDataController(*tabData_, m,
                                           {.Paint2 = tabSettings_->Paint2,
                                            .Paint3 = tabSettings_->Paint3,
                                            .Paint4 = tabOneChanal_->Paint4,
                                            .Paint5 = tabOneChanal_->Paint5},
                                           this);
  oneChanalController_->setRefreshSampleView([this] { dataController_->maskRedraw(); });
  settingsController_ = new PageSettingsController(
      *tabSettings_, m,
      {.showBackgroundReadout = [this](bool shown) { showBackgroundReadout(shown); },
       .ask = [this](const QString& title, const QString& question) { return ask_(title, question); },
       .sectorChosen = [this] { regulatorController_->recompute(); },
       .heldSectorBounds =
           [this](std::optional<int32_t> id) { return regulatorController_->heldSectorBounds(id); },
       .mapRedrawn = [this] { dataController_->maskRedraw(); }},
      this);
  regulatorController_ = new RegulatorController(
      *tabSimpleWorkSettings_, *tabSimpleWork_, *tabWork_, m,
      {.sectorsChanged = [this] { settingsController_->sectorsChangedElsewhere(); }}, this);
  programController_ = new ProgramController(m, *programList_, nameFields_,
                                             {.showProgram = [this] { showProgram(); },
                                              .leaveSetupMode =
                                                  [this] {
                                                    modeListPanel_->hide();
                                                    showPage(tabSimpleWork_);
                                                  },
                                              .restart = [this] { restartProgram(); },
                                              .tell = [this](const QString& text) { tell(text); }},
                                             this);

  settingsController_->watchSamplePicture(tabOneChanal_->Paint4);
  settingsController_->watchSamplePicture(tabOneChanal_->Paint5);
  shapeTemplateController_ = new ShapeTemplateController(*tabWork_, m, this);
  statisticsController_ = new OperatingStatisticsController(*tabSimpleWork_, m, this);
  UpdateController::Actions updateActions;
  updateActions.ask = [this](const QString& title, const QString& question) { return ask_(title, question); };
  updateActions.tell = [this](const QString& text) { tell(text); };
  updateActions.freezeSettingsFile = [this] { freezeSettingsFile(); };
  updateController_ = new UpdateController(*tabWork_, *tabSettings_, *tabSimpleWork_, m, updateActions, this);
  updateController_->setServiceLinks(m.serviceLinks());
  SupportRequestController::Options mailOptions;
  mailOptions.links = m.serviceLinks();
  mailOptions.downloadUpdate = [this] { updateController_->downloadUpdate(); };
  supportRequestController_ = new SupportRequestController(*tabSimpleWork_, m, std::move(mailOptions), this);
  // The live-strip probe: a touch on a strip marks its colour on the map.
  for (StripView* strip : strips_) {
    connect(strip, &StripView::colourTouched, this,
            [this](const QColor& colour) { tabSettings_->HSVpaint->showStripProbe(colour); });
  }

  m.setSaveSettings([this] { saveSettings(false); });
  m.setFullEjectorTest([this] { egectorsController_->runFullEjectorTest(); });
}

// The non-visual steps of the window's creation, in their order; the visible set-up is done above.
// A step that fails costs what it would have read, never the start.
void TmForm::formCreate() {
  Machine& m = *machine_;
  const auto guarded = [](const char* step, const std::function<void()>& run) {
    try {
      run();
    } catch (const std::exception& error) {
      std::fprintf(stderr, "TolvaneGrain: start-up step \"%s\" failed: %s\n", step, error.what());
    }
  };
  m.setDayIndex();

  const SettingsFileCheck check = m.checkSettingsFileAtStart();
  settingsFileReport_ = QString::fromStdString(check.message);
  store_ = std::make_unique<WindowStateStore>(this, m.settingsFile(), m.machine(), &m.engine().engineLock);
  programController_->setStore(store_.get());
  // Restored background levels are checked against the ranges again.
  connect(store_.get(), &WindowStateStore::restored, oneChanalController_,
          &PageOneChanalController::evaluate);
  guarded("stored control values", [this] { store_->restore(); });
  // Installed after the store's filter, so it sees a close request first (see eventFilter).
  installEventFilter(this);

  const QScreen* screen = QGuiApplication::primaryScreen();
  applyScreenSize(screen != nullptr ? screen->geometry().size() : QSize(1024, 768));

  if (UnhandledErrorHandler* handler = GuardedApplication::current()) {
    // An open valve must not wait for the next instance.
    handler->setCloseValves(
        [this] { closeValvesAndBlock(machine_->digitalBoard(), machine_->engine().ejection); });
    handler->setStopCameraThreads([this] { stopCameraThreads(); });
    handler->setBeforeExit([this] {
      if (store_) store_->writeOnDestroy();
    });
  }

  m.probeCameras();
  egectorsController_->showCameraProbe();
  egectorsController_->showBoard(m.initIoBoards());

  m.clearEjectorTiming();

  timer1_->start();
  blockMarkersA_[4]->hide();
  blockMarkersB_[4]->hide();

  m.readMachineSettingsAndLoadActive();
  for (int n = 0; n < kProgramNameCount; ++n) {
    nameFields_[static_cast<std::size_t>(n)]->setText(
        QString::fromStdString(m.machine().ProgramName[static_cast<std::size_t>(n)]));
  }
  showProgram();

  modeList_->setCurrentIndex(0);

  m.clearEngineTables();
  guarded("side files", [&m] { m.readSideFiles(); });
  dataController_->rebuildThumbnails();

  m.computeZonesAndWriteState();
  refreshCalibrationMarkers();

  showPage(tabSimpleWork_);
  simpleWorkController_->show();

  egectorsController_->showEjectors();
  egectorsController_->showBlocks();

  guarded("machine identifier", [&m] { m.readMachineId(); });

  statisticsController_->showNetworkAtStart();

  timer2_->start();
  timer5sek_->start();
  applyRunView();

  if (!settingsFileReport_.isEmpty()) {
    std::fprintf(stderr, "TolvaneGrain: %s\n", settingsFileReport_.toUtf8().constData());
    // Once the window is up, so the operator sees it over the working page.
    QTimer::singleShot(0, this, [this] { tell(settingsFileReport_); });
  }
}

void TmForm::setKeyboard(TKeyForm* keyboard) { programController_->setKeyboard(keyboard); }

TKeyForm& TmForm::keyboard() { return programController_->keyboard(); }

void TmForm::setPresetWindow(TTypeSetForm* form, PresetPictureSource pictures) {
  typeSetForm_ = form;
  typeSetController_ = std::make_unique<TypeSetController>(
      *form, machine_->programFile(), std::move(pictures),
      TypeSetController::Actions{
          .ask = [this](const QString& title, const QString& q) { return ask_(title, q); },
          .tell = [this](const QString& text) { tell(text); },
          .applyPreset = [this](std::size_t index) { applyPreset(index); },
          .restartOnNewSettings = [this] { restartOnNewSettings(); }});
}

TypeSetController& TmForm::typeSetController() {
  if (!typeSetController_) {
    ownTypeSetForm_ = std::make_unique<TTypeSetForm>();
    setPresetWindow(ownTypeSetForm_.get(), {});
  }
  return *typeSetController_;
}

void TmForm::applyPreset(std::size_t index) {
  workController_->changeConditions([index](SorterSettings& sorter, ConditionSwitches& switches) {
    return tolvane::applyPreset(index, sorter, switches);
  });
  // The sixteen values in their labels, the bars and zones of both cameras, the working page's levels.
  oneChanalController_->showProgram();
  regulatorController_->recompute();
}

void TmForm::tell(const QString& text) { tell_(text); }

// --- Program values on the screen --------------------------------------------------------------

void TmForm::showProgram() {
  programList_->setCurrentIndex(machine_->machine().ActiveProg);
  programList_->update();
  workController_->showProgram();
  egectorsController_->showProgram();
  // The colour set-up page follows the single-tone mode just loaded.
  QWidget* current = pageControl_->currentWidget();
  if (current == tabOneChanal_ || current == tabSettings_) {
    showPage(machine_->engine().BrightMode.load(std::memory_order_relaxed)
                 ? static_cast<QWidget*>(tabOneChanal_)
                 : tabSettings_);
  }
  settingsController_->showProgram();
  simpleWorkController_->showProgram();
  // After the working page's labels: program 10 opens its ranges in the settings only, and the
  // regulator shows the thresholds it drives.
  oneChanalController_->showProgram();
  regulatorController_->showProgram();
  shapeTemplateController_->showProgram();
  dataController_->maskRedraw();
  if (pageControl_->currentWidget() == tabSimpleWork_) simpleWorkController_->show();
}

void TmForm::showBackgroundReadout(bool shown) {
  if (shown) {
    // The values of the last tick; they stay until the panel is opened again.
    const auto texts = backgroundReadoutTexts(backgroundReadout_);
    for (std::size_t i = 0; i < texts.size(); ++i)
      fonInfoLabels_[i]->setText(QString::fromStdString(texts[i]));
    fonInfoPanel_->raise();
  }
  fonInfoPanel_->setVisible(shown);
}

void TmForm::refreshCalibrationMarkers() {
  const MachineSettings& ms = machine_->machine();
  for (int n = 0; n < 5; ++n) {
    const auto i = static_cast<std::size_t>(n);
    const HorizontalSpan a = blockMarkerSpan(ms.EgecA[i], ms.EgecAx[i]);
    blockMarkersA_[i]->setGeometry(a.left, 604, std::max(0, a.width), 12);
    const HorizontalSpan b = blockMarkerSpan(ms.EgecB[i], ms.EgecBx[i]);
    blockMarkersB_[i]->setGeometry(b.left, 616, std::max(0, b.width), 12);
  }
  // A working range outside the bar (a damaged settings value) is read at the bar's ends.
  auto ejector = [](std::int32_t n) { return std::clamp<std::int32_t>(n, 1, kEjectorsPerSide); };
  WorkRangeBands a;
  WorkRangeBands b;
  {
    EngineState& engine = machine_->engine();
    std::lock_guard lock(engine.engineLock);
    const auto& zones = engine.ejection.EjectorZones;
    a = workRangeBands(zones[ejector(ms.EGA_Min)].aStart, zones[ejector(ms.EGA_Max)].aEnd);
    b = workRangeBands(zones[ejector(ms.EGB_Min)].bStart, zones[ejector(ms.EGB_Max)].bEnd);
  }
  workBands_[0]->setGeometry(a.left.left, 603, std::max(0, a.left.width), 13);
  workBands_[1]->setGeometry(a.right.left, 603, std::max(0, a.right.width), 13);
  workBands_[2]->setGeometry(b.left.left, 616, std::max(0, b.left.width), 13);
  workBands_[3]->setGeometry(b.right.left, 616, std::max(0, b.right.width), 13);
}

// --- Navigation ----------------------------------------------------------------------------------

void TmForm::showPage(QWidget* page) {
  if (page != nullptr) pageControl_->setCurrentWidget(page);
}

void TmForm::enterSetupMode() {
  modeListPanel_->show();
  showPage(tabData_);
  modeList_->setCurrentIndex(0);
  programController_->setNamesVisible(true);
}

void TmForm::modeListSelect(int index) {
  switch (index) {
    case 0:
      showPage(tabData_);
      break;
    case 1:
      showPage(machine_->engine().BrightMode.load(std::memory_order_relaxed)
                   ? static_cast<QWidget*>(tabOneChanal_)
                   : tabSettings_);
      break;
    case 2:
      showPage(tabEgectors_);
      break;
    case 3:
      showPage(tabWork_);
      break;
    default:
      break;
  }
}

void TmForm::serviceTouch() { modeList_->setCurrentIndex(-1); }

void TmForm::serviceDoubleTouch() {
  modeList_->setCurrentIndex(-1);
  // The mode list is the way back from the service page, also when it was reached from work.
  modeListPanel_->show();
  showPage(tabTest_);
}

void TmForm::programListTouch(int index) {
  programList_->setCurrentIndex(index);
  programController_->touchProgram(index);
}

bool TmForm::saveSettings(bool interactive) { return programController_->saveSettings(interactive); }

void TmForm::restartProgram() {
  if (!tolvane::restartProgram(machine_->launcher(), machine_->programFile(), machine_->programFolder())) {
    std::fprintf(stderr, "TolvaneGrain: the program could not be started again\n");
  }
}

void TmForm::freezeSettingsFile() {
  machine_->freezeSettingsFile();
  if (store_) store_->freeze();
}

void TmForm::restartOnNewSettings() {
  freezeSettingsFile();
  if (!tolvane::restartProgram(machine_->launcher(), machine_->programFile(), machine_->programFolder())) {
    tell(QStringLiteral(
        "Программа не запустилась заново; новые настройки будут загружены при следующем запуске."));
  }
}

void TmForm::powerOffButtomClick() {
  machine_->run().PowerOffButtomClick(
      [this](std::string_view title, std::string_view question) {
        return ask_(QString::fromUtf8(title.data(), static_cast<int>(title.size())),
                    QString::fromUtf8(question.data(), static_cast<int>(question.size())));
      },
      [this] { close(); });
}

// --- Run control ---------------------------------------------------------------------------------

void TmForm::puskSwitchClick() { simpleWorkController_->touchPuskSwitch(); }

void TmForm::waitModeButtonClick() { simpleWorkController_->touchWaitModeButton(); }

void TmForm::Timer1Timer() {
  const int linkStopsBefore = machine_->run().valveLinkStops();
  machine_->run().Timer1Timer();
  applyRunView();
  // A valve terminal's link: its state on the ejector page, and why sorting stopped when it was lost.
  if (const std::string& link = machine_->run().view().boardLinkLabel; !link.empty()) {
    egectorsController_->showBoard(link);
  }
  if (machine_->run().valveLinkStops() != linkStopsBefore) {
    tell(QStringLiteral("Сортировка остановлена: нет связи с клапанами (%1).")
             .arg(QString::fromStdString(machine_->run().view().boardLinkLabel)));
  }
  testController_->showCameraStreams();
  if (machine_->run().cameraThread(0) == nullptr) return;
  try {
    // Camera 1's latest published line; the readout panel shows it when it is opened.
    if (machine_->copyReadoutLine(readoutLine_)) {
      backgroundReadout_ = computeBackgroundReadout(machine_->machine(), readoutLine_);
    }
  } catch (...) {
    // A lost readout tick shows the previous values.
  }
  const RunControlView& view = machine_->run().view();
  for (int camera = 0; camera < kCameraCount; ++camera) {
    const PreviewPoints& points = view.previewStrips[static_cast<std::size_t>(camera)];
    QImage strip(static_cast<int>(points.size()), 1, QImage::Format_RGB888);
    for (std::size_t i = 0; i < points.size(); ++i) {
      strip.setPixel(static_cast<int>(i), 0, qRgb(points[i].r, points[i].g, points[i].b));
    }
    strips_[static_cast<std::size_t>(camera)]->setPoints(strip);
  }
}

void TmForm::Timer2Timer() {
  machine_->run().Timer2Timer();
  applyRunView();
  if (pageControl_->currentWidget() == tabEgectors_) egectorsController_->showValves();
}

void TmForm::Timer5sekTimer() {
  machine_->run().Timer5sekTimer();
  applyRunView();
}

void TmForm::applyRunView() {
  const RunControlView& view = machine_->run().view();
  simpleWorkController_->applyRunView(view);
  egectorsController_->applyRunView(view);
  programList_->setEnabled(view.programListEnabled);
  if (!view.windowCaption.empty()) setWindowTitle(QString::fromStdString(view.windowCaption));
  if (!view.mainCaption.empty()) mainCaption_->setText(QString::fromStdString(view.mainCaption));
  if (!view.powerLabel.empty()) powerLabel_->setText(QString::fromStdString(view.powerLabel));
}

// --- Window events -------------------------------------------------------------------------------

void TmForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPixmap texture = tabTest_ != nullptr ? tabTest_->ssImage->pixmap() : QPixmap();
  if (!texture.isNull()) {
    painter.fillRect(rect(), QBrush(texture));
  } else {
    painter.fillRect(rect(), QColor::fromRgb(kWindowColor));
  }
}

void TmForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (firstShowDone_ || !startupError_.isEmpty()) return;
  firstShowDone_ = true;
  // The option flags start from their switches, as restored and loaded.
  workController_->takeOptionFlags();
}

bool TmForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == this && event->type() == QEvent::Close && !closingDone_ && startupError_.isEmpty()) {
    // Sorting ends with the window: the threads stop before the closing writes touch what they read,
    // and no valve stays open after the boards are closed.
    machine_->run().stopAndJoinCameraThreads();
    closeValvesAndBlock(machine_->digitalBoard(), machine_->engine().ejection);
  }
  return QWidget::eventFilter(watched, event);
}

void TmForm::closeEvent(QCloseEvent* event) {
  if (!closingDone_ && startupError_.isEmpty()) {
    closingDone_ = true;
    // The close request saves the active program and reads it back; the window always closes.
    programController_->closeRequest();
    machine_->closeSequence();
  }
  event->accept();
}

}  // namespace tolvane
