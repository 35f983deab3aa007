#include "app/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QSignalBlocker>
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "app/machine.h"
#include "app/main_window_layout.h"
#include "app/page_data.h"
#include "app/page_egectors.h"
#include "app/page_one_chanal.h"
#include "app/page_settings.h"
#include "app/page_simple_work.h"
#include "app/page_simple_work_settings.h"
#include "app/page_test.h"
#include "app/page_work.h"
#include "app/program_restart.h"
#include "app/unhandled_error.h"
#include "app/window_state_store.h"
#include "ejection/ejector_zones.h"
#include "ejection/valve_outputs.h"
#include "ejection/valve_tests.h"
#include "settings/build_constants.h"
#include "settings/stored_controls.h"

namespace tolvane {

namespace {

const QString kDesignCaption = QStringLiteral(" Markavel Grain v2 ");
const QString kSingleToneCaption = QStringLiteral("Монохромная|камера");
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
  ask_ = [this](const QString& title, const QString& question) {
    return QMessageBox::question(this, title, question, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  };
  tell_ = [this](const QString& text) { QMessageBox::information(this, windowTitle(), text); };

  buildWindow();
  buildPages();
  wireControls();

  if (!startupError_.isEmpty()) {
    std::fprintf(stderr, "TolvaneGrain: %s\n", startupError_.toUtf8().constData());
    QTimer::singleShot(0, this, [this] {
      QMessageBox::critical(this, QStringLiteral("MK Grain"), startupError_);
      QCoreApplication::exit(2);
    });
    return;
  }
  formCreate();
}

TmForm::~TmForm() {
  timer1_->stop();
  timer2_->stop();
  timer5sek_->stop();
  if (UnhandledErrorHandler* handler = GuardedApplication::current()) {
    handler->setStopCameraThreads({});
    handler->setBeforeExit({});
  }
  // The camera threads end first: the stored control values written next feed values they read.
  if (machine_) machine_->run().stopAndJoinCameraThreads();
  store_.reset();
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
    field->hide();
    nameFields_[static_cast<std::size_t>(n)] = field;
  }

  fonInfoPanel_ = addPanel(fonPanel_, QStringLiteral("FonInfo_Panel"), QRect(5, 636, 1006, 44));
  for (int block = 1; block <= 4; ++block) {
    const char* channels[3] = {"LH", "LS", "LV"};
    for (int c = 0; c < 3; ++c) {
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

void TmForm::wireControls() {
  connect(timer1_, &QTimer::timeout, this, &TmForm::Timer1Timer);
  connect(timer2_, &QTimer::timeout, this, &TmForm::Timer2Timer);
  connect(timer5sek_, &QTimer::timeout, this, &TmForm::Timer5sekTimer);

  connect(modeList_, &PictureList::itemTouched, this, &TmForm::modeListSelect);
  connect(programList_, &PictureList::itemTouched, this, &TmForm::programListTouch);
  connect(serviceLabel_, &TouchLabel::touched, this, &TmForm::serviceTouch);
  connect(serviceLabel_, &TouchLabel::doubleTouched, this, &TmForm::serviceDoubleTouch);
  connect(pageControl_, &QStackedWidget::currentChanged, this, [this](int) {
    if (pageControl_->currentWidget() == tabSimpleWork_) tabSimpleWorkShow();
  });

  PageSimpleWork* work = tabSimpleWork_;
  connect(work->PuskSwitch, &TasSwitch::clicked, this, [this](QObject*) { puskSwitchClick(); });
  connect(work->WaitModeButton, &TasSwitch::clicked, this, [this](QObject*) { waitModeButtonClick(); });
  connect(work->asSwitch17, &TasSwitch::clicked, this, [this](QObject*) { enterSetupMode(); });
  connect(work->RebootButton, &TasSwitch::clicked, this, [this](QObject*) { restartProgram(); });
  connect(work->PowerOffButtom, &TasSwitch::clicked, this, [this](QObject*) { powerOffButtomClick(); });

  PageWork* options = tabWork_;
  connect(options->CancelButton, &TasSwitch::clicked, this, [this](QObject*) { restartProgram(); });
  connect(options->SaveButton, &TasSwitch::clicked, this, [this](QObject*) { saveSettings(); });
  connect(options->RegulatorSetupButton, &TasSwitch::clicked, this,
          [this](QObject*) { showPage(tabSimpleWorkSettings_); });

  // Option flags follow their switches.
  connect(options->FineTimerButton, &TasSwitch::switchedOn, this,
          [this](QObject*) { machine_->run().FineTimerButtonOn(); });
  connect(options->FineTimerButton, &TasSwitch::switchedOff, this,
          [this](QObject*) { machine_->run().FineTimerButtonOff(); });
  connect(options->ColorTuneButton, &TasSwitch::switchedOn, this,
          [this](QObject*) { machine_->engine().ColorTune.store(true, std::memory_order_relaxed); });
  connect(options->ColorTuneButton, &TasSwitch::switchedOff, this,
          [this](QObject*) { machine_->engine().ColorTune.store(false, std::memory_order_relaxed); });
  auto brightMode = [this](bool on) {
    machine_->engine().BrightMode.store(on, std::memory_order_relaxed);
    std::lock_guard lock(machine_->engine().engineLock);
    machine_->sorter().BrightMode = on;
  };
  connect(options->BrightModeButton, &TasSwitch::switchedOn, this,
          [brightMode](QObject*) { brightMode(true); });
  connect(options->BrightModeButton, &TasSwitch::switchedOff, this,
          [brightMode](QObject*) { brightMode(false); });
  auto cameraSwitch = [this](int camera, bool on) {
    std::lock_guard lock(machine_->engine().engineLock);
    (camera == 0 ? machine_->sorter().onCamera1 : machine_->sorter().onCamera2) = on;
  };
  connect(options->Cam1enableSwitch, &TasSwitch::switchedOn, this,
          [cameraSwitch](QObject*) { cameraSwitch(0, true); });
  connect(options->Cam1enableSwitch, &TasSwitch::switchedOff, this,
          [cameraSwitch](QObject*) { cameraSwitch(0, false); });
  connect(options->Cam2enableSwitch, &TasSwitch::switchedOn, this,
          [cameraSwitch](QObject*) { cameraSwitch(1, true); });
  connect(options->Cam2enableSwitch, &TasSwitch::switchedOff, this,
          [cameraSwitch](QObject*) { cameraSwitch(1, false); });

  connect(tabSettings_->FonSwitch, &TasSwitch::switchedOn, this, [this](QObject*) { fonInfoPanel_->show(); });
  connect(tabSettings_->FonSwitch, &TasSwitch::switchedOff, this,
          [this](QObject*) { fonInfoPanel_->hide(); });

  machine_->setSaveSettings([this] { saveSettings(false); });
  machine_->setFullEjectorTest([this] {
    ValveTestHooks hooks;
    hooks.wait = [this](int ms) { machine_->testWait(ms); };
    hooks.repaint = [this] { tabEgectors_->EgectorBoxA->repaint(); };
    hooks.selectCell = [this](int cell) { tabEgectors_->EgectorBoxA->selectCell(cell); };
    hooks.processMessages = [] { QCoreApplication::processEvents(); };
    hooks.countersLock = &machine_->engine().engineLock;
    ValveTests tests(machine_->digitalBoard(), machine_->engine().ejection, std::move(hooks));
    const ValveTestResult result = tests.fullTestButton(machine_->run().view().puskSwitchOn);
    if (result.boardLabel)
      tabEgectors_->DASP1->setText(
          QString::fromUtf8(result.boardLabel->data(), static_cast<int>(result.boardLabel->size())));
  });
}

// The non-visual steps of the window's creation, in their order; the visible set-up is done above.
void TmForm::formCreate() {
  Machine& m = *machine_;
  m.setDayIndex();

  store_ = std::make_unique<WindowStateStore>(this, m.settingsFile(), m.machine(), &m.engine().engineLock);
  store_->restore();
  // Installed after the store's filter, so it sees a close request first (see eventFilter).
  installEventFilter(this);

  const QScreen* screen = QGuiApplication::primaryScreen();
  applyScreenSize(screen != nullptr ? screen->geometry().size() : QSize(1024, 768));

  if (UnhandledErrorHandler* handler = GuardedApplication::current()) {
    handler->setStopCameraThreads([this] { stopCameraThreads(); });
    handler->setBeforeExit([this] {
      if (store_) store_->writeOnDestroy();
    });
  }

  m.probeCameras();
  for (int camera = 0; camera < kCameraCount; ++camera) {
    const bool found =
        m.engine().CameraFound[static_cast<std::size_t>(camera)].load(std::memory_order_relaxed);
    (camera == 0 ? tabEgectors_->Cam1 : tabEgectors_->Cam2)
        ->setText(QString::fromStdString(cameraProbeText(camera, found)));
  }

  const std::string_view boardText = m.initIoBoards();
  tabEgectors_->DASP1->setText(QString::fromUtf8(boardText.data(), static_cast<int>(boardText.size())));

  m.clearEjectorTiming();

  timer1_->start();
  blockMarkersA_[4]->hide();
  blockMarkersB_[4]->hide();

  m.readMachineSettingsAndLoadActive();
  for (int n = 0; n < kProgramNameCount; ++n) {
    nameFields_[static_cast<std::size_t>(n)]->setText(
        QString::fromStdString(m.machine().ProgramName[static_cast<std::size_t>(n)]));
  }
  refreshProgramControls();

  modeList_->setCurrentIndex(0);

  m.clearEngineTables();
  m.readSideFiles();

  m.computeZonesAndWriteState();
  refreshCalibrationMarkers();

  showPage(tabSimpleWork_);
  tabSimpleWorkShow();

  tabEgectors_->EgectorBoxA->createItems();
  refreshBlockLists();

  m.readMachineId();

  const bool network = m.networkPresent();
  tabSimpleWork_->iLEDgreen->setVisible(network);
  tabSimpleWork_->SupportButton->setEnabled(network);

  timer2_->start();
  timer5sek_->start();
  applyRunView();
}

// --- Program values on the screen --------------------------------------------------------------

void TmForm::refreshProgramControls() {
  Machine& m = *machine_;
  const SorterSettings& s = m.sorter();
  programList_->setCurrentIndex(m.machine().ActiveProg);
  programList_->update();

  tabWork_->BrightModeButton->setStateOn(s.BrightMode);
  tabWork_->Cam1enableSwitch->setStateOn(s.onCamera1);
  tabWork_->Cam2enableSwitch->setStateOn(s.onCamera2);
  if (kSingleToneCamera) {
    tabWork_->BrightModeButton->setStateOn(true);
    tabWork_->BrightModeButton->setEnabled(false);
    tabWork_->BrightModeButton->setCaption(kSingleToneCaption);
    tabOneChanal_->OC_R_Button->hide();
    tabOneChanal_->OC_G_Button->hide();
    tabOneChanal_->OC_B_Button->hide();
  }
  const bool bright = tabWork_->BrightModeButton->stateOn();
  m.engine().BrightMode.store(bright, std::memory_order_relaxed);
  QWidget* current = pageControl_->currentWidget();
  if (current == tabOneChanal_ || current == tabSettings_)
    showPage(bright ? static_cast<QWidget*>(tabOneChanal_) : tabSettings_);

  auto setNumber = [this](const char* name, int value) {
    if (auto* label = findChild<QLabel*>(QString::fromLatin1(name))) {
      label->setText(QString::fromStdString(numberLabelText(value)));
    }
  };
  setNumber("cam1blackLabel", s.FonBlack[0]);
  setNumber("cam1lightLabel", s.FonLight[0]);
  setNumber("cam2blackLabel", s.FonBlack[1]);
  setNumber("cam2lightLabel", s.FonLight[1]);
  for (int camera = 0; camera < kCameraCount; ++camera) {
    const auto c = static_cast<std::size_t>(camera);
    const QString p = camera == 0 ? QString() : QStringLiteral("C2");
    const std::pair<const char*, int> ranges[] = {{"FonMin", s.FonMin[c]},     {"FonMax", s.FonMax[c]},
                                                  {"P1min", s.P1Min[c]},       {"P1max", s.P1Max[c]},
                                                  {"P2min", s.P2Min[c]},       {"P2max", s.P2Max[c]},
                                                  {"FonBlack", s.FonBlack[c]}, {"FonLight", s.FonLight[c]}};
    for (const auto& [name, value] : ranges) {
      if (auto* label = tabOneChanal_->findChild<QLabel*>(p + QString::fromLatin1(name))) {
        label->setText(QString::fromStdString(numberLabelText(value)));
      }
    }
  }
  setNumber("Massa_val", s.ifMassa);
  setNumber("Massa2_val", s.ifMassa2);
  setNumber("P1_val", s.ifP1);
  setNumber("P2_val", s.ifP2);
  setNumber("Length_val", s.ifLength);
  setNumber("Weight_val", s.ifWeight);
  setNumber("Eks_val", s.ifEks);
  setNumber("Forma_val", s.ifForma);
  setNumber("FastSort_Val", s.ifFast);
  setNumber("FastSort_valD", s.ifFast);
  setNumber("EGA_MinLabel", m.machine().EGA_Min);
  setNumber("EGA_MaxLabel", m.machine().EGA_Max);
  setNumber("EGB_MinLabel", m.machine().EGB_Min);
  setNumber("EGB_MaxLabel", m.machine().EGB_Max);
  tabSimpleWork_->RegulatorLabel->setText(QString::fromStdString(s.Regulator));
  if (pageControl_->currentWidget() == tabSimpleWork_) tabSimpleWorkShow();
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

void TmForm::refreshBlockLists() {
  const MachineSettings& ms = machine_->machine();
  QStringList a;
  QStringList b;
  for (int block = 0; block < kEjectorBlocks; ++block) {
    const auto i = static_cast<std::size_t>(block);
    a.append(QString::fromStdString(blockListItemText(block, ms.EgecA[i], ms.EgecAx[i])));
    b.append(QString::fromStdString(blockListItemText(block, ms.EgecB[i], ms.EgecBx[i])));
  }
  tabEgectors_->BlockListCam1->setItems(a);
  tabEgectors_->BlockListCam2->setItems(b);
}

// --- Navigation ----------------------------------------------------------------------------------

void TmForm::showPage(QWidget* page) {
  if (page != nullptr) pageControl_->setCurrentWidget(page);
}

void TmForm::setProgramNamesVisible(bool visible) {
  for (QLineEdit* field : nameFields_) field->setVisible(visible);
}

void TmForm::enterSetupMode() {
  modeListPanel_->show();
  showPage(tabData_);
  modeList_->setCurrentIndex(0);
  setProgramNamesVisible(true);
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
  showPage(tabTest_);
}

void TmForm::programListTouch(int index) {
  const int before = machine_->machine().ActiveProg;
  if (const auto error = machine_->switchProgram(index)) {
    programList_->setCurrentIndex(before);
    tell_(QString::fromStdString(*error));
    return;
  }
  refreshProgramControls();
}

bool TmForm::saveSettings(bool interactive) {
  Machine& m = *machine_;
  if (const auto error = m.switchProgram(m.machine().ActiveProg)) {
    if (interactive) {
      tell_(QString::fromStdString(*error));
    } else {
      std::fprintf(stderr, "TolvaneGrain: %s\n", error->c_str());
    }
    return false;
  }
  refreshProgramControls();
  // The store takes the labels' values into the machine settings under the engine lock itself.
  if (store_) store_->save();
  modeListPanel_->hide();
  showPage(tabSimpleWork_);
  for (int n = 0; n < kProgramNameCount; ++n) {
    m.machine().ProgramName[static_cast<std::size_t>(n)] =
        nameFields_[static_cast<std::size_t>(n)]->text().toStdString();
  }
  m.writeProgramNames();
  setProgramNamesVisible(false);
  m.writeSamplesFile();
  programList_->update();
  return true;
}

void TmForm::restartProgram() {
  if (!tolvane::restartProgram(machine_->launcher(), machine_->programFile(), machine_->programFolder())) {
    std::fprintf(stderr, "TolvaneGrain: the program could not be started again\n");
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

void TmForm::puskSwitchClick() {
  machine_->run().touchPuskSwitch();
  applyRunView();
}

void TmForm::waitModeButtonClick() {
  const std::optional<std::string> message = machine_->run().touchWaitModeButton();
  applyRunView();
  if (message) tell_(QString::fromStdString(*message));
}

void TmForm::tabSimpleWorkShow() {
  machine_->run().TabSimpleWorkShow();
  const SorterSettings& s = machine_->sorter();
  const bool regulator = s.bParam1 || s.bParam2 || s.bParam3;
  tabSimpleWork_->RegulatorLeftButton->setEnabled(regulator);
  tabSimpleWork_->RegulatorRightButton->setEnabled(regulator);
  const QColor text = regulator ? QColor(Qt::black) : QColor::fromRgb(kGreyTextColor);
  setLabelTextColor(tabSimpleWork_->RegulatorLabel, text);
  setLabelTextColor(tabSimpleWork_->RegulatorPercentLabel,
                    regulator ? QColor::fromRgb(kTextColor) : QColor::fromRgb(kGreyTextColor));
  applyRunView();
}

void TmForm::Timer1Timer() {
  machine_->run().Timer1Timer();
  applyRunView();
  if (machine_->run().cameraThread(0) == nullptr) return;
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
  if (pageControl_->currentWidget() == tabEgectors_) {
    std::array<bool, EjectorCells::kCells> open{};
    const EjectionState& ejection = machine_->engine().ejection;
    for (int n = 1; n <= EjectorCells::kCells; ++n) {
      open[static_cast<std::size_t>(n - 1)] = ejection.ValveStates.isOpen(ejection.EjectorOutputMap[n]);
    }
    tabEgectors_->EgectorBoxA->setValveOpen(open);
  }
}

void TmForm::Timer5sekTimer() {
  machine_->run().Timer5sekTimer();
  applyRunView();
}

void TmForm::applyGauges() {
  const RunControlView& view = machine_->run().view();
  for (int g = 0; g < 2; ++g) {
    const LoadGaugeState& shown = view.gauges[static_cast<std::size_t>(g)];
    // The second gauge keeps its own place beside the first.
    const int x = g == 0 ? shown.x : tabSimpleWork_->gauges[1]->x();
    tabSimpleWork_->setGauge(g, shown.scale, shown.bandFrom, shown.bandTo, shown.position, x, shown.visible);
  }
}

void TmForm::applyRunView() {
  const RunControlView& view = machine_->run().view();
  PageSimpleWork* work = tabSimpleWork_;
  {
    const QSignalBlocker blocker(work->PuskSwitch);
    work->PuskSwitch->setStateOn(view.puskSwitchOn);
  }
  work->showPuskCaption();
  work->PuskSwitch->setEnabled(view.puskSwitchEnabled);
  programList_->setEnabled(view.programListEnabled);
  {
    const QSignalBlocker blocker(work->WaitModeButton);
    work->WaitModeButton->setStateOn(view.waitModeButtonOn);
  }
  for (int camera = 0; camera < kCameraCount; ++camera) {
    const CameraIndicator& indicator = view.cameras[static_cast<std::size_t>(camera)];
    if (indicator.label.empty()) continue;
    CameraLamps& lamps = work->cameras[static_cast<std::size_t>(camera)];
    lamps.label->setText(QString::fromStdString(indicator.label));
    lamps.red->setVisible(indicator.redLamp);
    lamps.green->setVisible(indicator.greenLamp);
    lamps.blue->setVisible(indicator.blueLamp);
  }
  if (!view.windowCaption.empty()) setWindowTitle(QString::fromStdString(view.windowCaption));
  if (!view.mainCaption.empty()) mainCaption_->setText(QString::fromStdString(view.mainCaption));
  if (!view.powerLabel.empty()) powerLabel_->setText(QString::fromStdString(view.powerLabel));
  if (!view.brakLabel.empty()) tabEgectors_->BrakLabel->setText(QString::fromStdString(view.brakLabel));
  if (!view.fpsLabels[0].empty()) tabEgectors_->FPS1->setText(QString::fromStdString(view.fpsLabels[0]));
  if (!view.fpsLabels[1].empty()) tabEgectors_->FPS2->setText(QString::fromStdString(view.fpsLabels[1]));
  if (!view.countLabel.empty()) tabEgectors_->CountLabel->setText(QString::fromStdString(view.countLabel));
  if (!view.normaLabel.empty()) work->NormaLabel->setText(QString::fromStdString(view.normaLabel));
  if (!view.cntLabel.empty() && work->cntLabel->isVisible())
    work->cntLabel->setText(QString::fromStdString(view.cntLabel));
  applyGauges();
  work->LineModePanel->setVisible(view.lineModePanelVisible);
  work->RegulatorPanel->setVisible(view.regulatorPanelVisible);
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
  EngineState& engine = machine_->engine();
  if (tabWork_->FineTimerButton->stateOn()) {
    machine_->run().FineTimerButtonOn();
  } else {
    machine_->run().FineTimerButtonOff();
  }
  engine.ColorTune.store(tabWork_->ColorTuneButton->stateOn(), std::memory_order_relaxed);
  engine.BrightMode.store(tabWork_->BrightModeButton->stateOn(), std::memory_order_relaxed);
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
    machine_->switchProgram(machine_->machine().ActiveProg);
    machine_->closeSequence();
  }
  event->accept();
}

}  // namespace tolvane
