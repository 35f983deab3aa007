#include "app/page_test_controller.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <array>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "app/key_form.h"
#include "app/machine.h"
#include "app/operator_dialogs.h"
#include "app/page_egectors_controller.h"
#include "app/page_test.h"
#include "colour_tools/colour_calculator.h"
#include "engine/analysis_timing.h"
#include "engine/emulation_run.h"
#include "engine/research.h"
#include "engine/research_picture.h"
#include "engine/service_runs.h"
#include "engine/service_tools.h"
#include "platform/aravis_camera_driver.h"
#include "settings/machine_settings.h"
#include "settings/stored_controls.h"

namespace tolvane {

namespace {

constexpr int kCapturePollMs = 50;
constexpr int kTestMarkIntervalMs = 100;
constexpr int kTestMarkSteps = 6;     // countdowns 10, 20 ... 60
constexpr int kResearchSliceMs = 30;  // rows per event-loop turn: as many as fit in this time
const QString kResearchCaption = QStringLiteral("Исследование");
const QString kStopSortingFirst = QStringLiteral("Сначала остановите сортировку");

QImage toQImage(const BmpImage& picture) {
  QImage image(picture.width(), picture.height(), QImage::Format_RGB888);
  for (int y = 0; y < picture.height(); ++y) {
    const auto row = picture.row(y);
    std::copy(row.begin(), row.end(), image.scanLine(y));
  }
  return image;
}

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

PageTestController::PageTestController(PageTest& page, Machine& machine, PageEgectorsController& ejectors,
                                       QObject* parent)
    : QObject(parent),
      page_(page),
      machine_(machine),
      ejectors_(ejectors),
      researchPicture_(makeResearchPicture()),
      researchTimer_(new QTimer(this)),
      emulationTimer_(new QTimer(this)),
      captureTimer_(new QTimer(this)),
      testMarkTimer_(new QTimer(this)),
      lineDumpTimer_(new QTimer(this)) {
  for (int camera = 0; camera < 2; ++camera) scratch_[camera] = std::make_unique<CameraLineState>(camera);
  page_.Image->setPixmap(QPixmap::fromImage(toQImage(researchPicture_)));

  researchTimer_->setInterval(0);
  connect(researchTimer_, &QTimer::timeout, this, &PageTestController::researchTick);
  emulationTimer_->setInterval(0);
  connect(emulationTimer_, &QTimer::timeout, this, &PageTestController::emulationTick);
  captureTimer_->setInterval(kCapturePollMs);
  connect(captureTimer_, &QTimer::timeout, this, &PageTestController::captureTick);
  testMarkTimer_->setInterval(kTestMarkIntervalMs);
  connect(testMarkTimer_, &QTimer::timeout, this, &PageTestController::testMarkTick);
  lineDumpTimer_->setInterval(1000);
  connect(lineDumpTimer_, &QTimer::timeout, this, &PageTestController::saveLineDump);

  connect(page_.ResearchButton, &QPushButton::clicked, this, &PageTestController::researchButtonClick);
  connect(page_.MasButton, &QPushButton::clicked, this, &PageTestController::masButtonClick);
  connect(page_.Button8, &QPushButton::clicked, this, &PageTestController::button8Click);
  connect(page_.EmulButton, &QPushButton::clicked, this, &PageTestController::emulButtonClick);
  connect(page_.Button4, &QPushButton::clicked, this, &PageTestController::button4Click);
  connect(page_.TestObjectButton, &TasSwitch::clicked, this, [this](QObject*) { testObjectButtonClick(); });
  connect(page_.CheckBox5, &QCheckBox::toggled, this, &PageTestController::checkBox5Changed);
  connect(page_.asSwitch3, &TasSwitch::clicked, this, [this](QObject*) { asSwitch3Click(); });
  for (const bool maxObject : {false, true}) {
    const StepperRow& row = maxObject ? page_.MaxObject : page_.MaxTime;
    connect(row.left, &TasSwitch::clicked, this,
            [this, maxObject](QObject*) { stepHiddenParameter(maxObject, StepDirection::kDown); });
    connect(row.right, &TasSwitch::clicked, this,
            [this, maxObject](QObject*) { stepHiddenParameter(maxObject, StepDirection::kUp); });
  }
  connect(page_.RgbToHsvButton, &QPushButton::clicked, this, [this] { convertColour(true); });
  connect(page_.HsvToRgbButton, &QPushButton::clicked, this, [this] { convertColour(false); });
}

void PageTestController::convertColour(bool toHsv) {
  const std::array<QLineEdit*, 3> rgb = {page_.R_ed, page_.G_ed, page_.B_ed};
  const std::array<QLineEdit*, 3> hsv = {page_.H_ed, page_.S_ed, page_.V_ed};
  const std::array<QLineEdit*, 3>& from = toHsv ? rgb : hsv;
  const std::array<QLineEdit*, 3>& to = toHsv ? hsv : rgb;
  const std::string a = from[0]->text().toStdString();
  const std::string b = from[1]->text().toStdString();
  const std::string c = from[2]->text().toStdString();
  const ColourFields result = toHsv ? rgbToHsvFields(a, b, c) : hsvToRgbFields(a, b, c);
  for (std::size_t i = 0; i < to.size(); ++i) to[i]->setText(QString::fromStdString(result[i]));
}

void PageTestController::stepHiddenParameter(bool maxObject, StepDirection direction) {
  const KeyRange* range = machineKeyRange(maxObject ? "MaxObject" : "MaxTime");
  QLabel* label = (maxObject ? page_.MaxObject : page_.MaxTime).value;
  if (range == nullptr) return;
  const std::optional<std::int32_t> stepped =
      stepLabel(label->text().toStdString(), direction, range->min, range->max);
  if (!stepped) return;  // a label without a number leaves the value alone
  const std::int32_t value = *stepped;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    (maxObject ? machine_.machine().MaxObject : machine_.machine().MaxTime) = value;
  }
  label->setText(QString::fromStdString(numberLabelText(value)));
}

void PageTestController::asSwitch3Click() { ejectors_.runServiceEjectorTest(page_.SpinEdit1->value()); }

void PageTestController::bindKeyboard(std::function<TKeyForm&()> keyboard) {
  keyboard_ = std::move(keyboard);
  for (QLineEdit* field : {page_.R_ed, page_.G_ed, page_.B_ed, page_.H_ed, page_.S_ed, page_.V_ed}) {
    field->installEventFilter(this);
  }
}

bool PageTestController::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease && keyboard_) {
    if (auto* field = qobject_cast<QLineEdit*>(watched)) {
      // The field's own letter ("R", "H" ...) heads the keyboard.
      const QString heading = QStringLiteral("Цветовой калькулятор: ") + field->objectName().left(1);
      QPointer<QLineEdit> target(field);
      keyboard_().openForValue(heading, field->text(), [target](const QString& text) {
        if (target) target->setText(text);
      });
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tolvane

namespace tolvane {

PageTestController::~PageTestController() = default;

void PageTestController::setTell(TellFunction tell) { tell_ = std::move(tell); }

void PageTestController::tell(const QString& text) {
  if (tell_) {
    tell_(text);
  } else {
    showMessage(page_.window(), page_.window()->windowTitle(), text);
  }
}

void PageTestController::bindObjectCounter(TouchLabel& countLabel) {
  connect(&countLabel, &TouchLabel::doubleTouched, this, &PageTestController::writeCurrentObjectsDump,
          Qt::UniqueConnection);
}

bool PageTestController::sortingRuns() const {
  if (machine_.run().view().puskSwitchOn) return true;
  for (int camera = 0; camera < 2; ++camera) {
    const TCameraThread* thread = machine_.run().cameraThread(camera);
    if (thread != nullptr && thread->running()) return true;
  }
  return false;
}

bool PageTestController::refuseWhileBusy() {
  if (researchRunning() || emulationRunning()) return true;  // their buttons are disabled meanwhile
  if (sortingRuns()) {
    tell(kStopSortingFirst);
    return true;
  }
  return false;
}

void PageTestController::setToolsBusy(bool busy) {
  for (QPushButton* button : {page_.ResearchButton, page_.EmulButton, page_.Button4})
    button->setEnabled(!busy);
}

CameraLineState& PageTestController::cameraLine(int camera) {
  TCameraThread* thread = machine_.run().cameraThread(camera);
  if (thread != nullptr && !thread->running()) return thread->line();
  return *scratch_[static_cast<std::size_t>(camera)];
}

// --- Research run ---

void PageTestController::researchButtonClick() {
  if (refuseWhileBusy()) return;
  const std::filesystem::path folder = machine_.programFolder();
  if (const std::optional<std::string> problem = researchPictureProblem(folder)) {
    tell(fromStd(*problem));
    return;
  }
  BmpImage picture;
  try {
    picture = BmpImage::load(folder / kResearchPictureName);
  } catch (const std::exception& e) {
    tell(QStringLiteral("Файл %1 не прочитан: %2")
             .arg(QString::fromLatin1(kResearchPictureName), fromStd(e.what())));
    return;
  }
  research_ = std::make_unique<ResearchRun>(std::move(picture));
  {
    std::lock_guard lock(machine_.engine().engineLock);
    research_->start(machine_.engine(), cameraLine(0), machine_.sorter(), machine_.machine());
  }
  setToolsBusy(true);
  page_.ResearchButton->setText(fromStd(research_->caption()));
  researchTimer_->start();
}

void PageTestController::researchTick() {
  if (!research_) {
    researchTimer_->stop();
    return;
  }
  if (sortingRuns()) {
    researchTimer_->stop();
    research_.reset();
    setToolsBusy(false);
    page_.ResearchButton->setText(kResearchCaption);
    tell(QStringLiteral("Исследование прервано: запущена сортировка"));
    return;
  }
  QElapsedTimer slice;
  slice.start();
  CameraLineState& camera1 = cameraLine(0);
  while (!research_->finished() && slice.elapsed() < kResearchSliceMs) {
    std::lock_guard lock(machine_.engine().engineLock);
    research_->step(machine_.engine(), camera1, machine_.sorter(), machine_.machine());
  }
  if (research_->finished()) {
    finishResearch();
  } else {
    page_.ResearchButton->setText(fromStd(research_->caption()));
  }
}

void PageTestController::finishResearch() {
  researchTimer_->stop();
  const ResearchResult result = research_->takeResult();
  research_.reset();
  setToolsBusy(false);
  page_.ResearchButton->setText(kResearchCaption);
  try {
    result.output.save(machine_.programFolder() / kResearchOutputName);
  } catch (const std::exception&) {
    tell(QStringLiteral("Не удалось записать файл %1").arg(QString::fromLatin1(kResearchOutputName)));
  }
}

// --- Dumps ---

void PageTestController::masButtonClick() {
  std::vector<BufferDumpEntry> records(
      static_cast<std::size_t>(bufferDumpRecords(machine_.machine().MaxObject)));
  std::int64_t lineCounter = 0;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    lineCounter = cameraLine(0).LineCounter.load(std::memory_order_relaxed);
    copyBufferDump(machine_.engine(), records);
  }
  if (auto failed = writeServiceText(machine_.programFolder(), kBufferDumpName,
                                     bufferDumpLines(lineCounter, records))) {
    tell(fromStd(*failed));
  }
}

void PageTestController::writeCurrentObjectsDump() {
  std::vector<std::string> lines;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    lines = currentObjectsDump(machine_.engine());
  }
  if (auto failed = writeServiceText(machine_.programFolder(), kCurrentObjectsName, lines))
    tell(fromStd(*failed));
}

// --- Line capture ---

void PageTestController::button8Click() {
  if (captureRunning()) return;
  const TCameraThread* camera1 = machine_.run().cameraThread(0);
  if (camera1 == nullptr || !camera1->running()) {
    tell(QStringLiteral("Камера 1 не работает: запустите сортировку"));
    return;
  }
  machine_.engine().requestStripCapture();
  captureTicks_ = 0;
  page_.Button8->setEnabled(false);
  captureTimer_->start();
}

void PageTestController::captureTick() {
  EngineState& engine = machine_.engine();
  ++captureTicks_;
  const bool full = engine.StripRows.load(std::memory_order_acquire) >= kStripHeight;
  if (!full && captureTicks_ * kCapturePollMs < kCaptureTimeoutMs) return;
  captureTimer_->stop();
  captureTicks_ = -1;
  engine.StripCaptureOn.store(false, std::memory_order_release);
  page_.Button8->setEnabled(true);
  if (!full) {
    tell(QStringLiteral("Камера 1 не дала %1 строк за %2 с").arg(kStripHeight).arg(kCaptureTimeoutMs / 1000));
    return;
  }
  // The camera thread writes no row past the last one, and the rows were published with StripRows:
  // the picture is read without the lock.
  const std::string name = captureFileName(std::time(nullptr));
  try {
    stripPicture(engine.StripImage.get(), kStripWidth, kStripHeight).save(machine_.programFolder() / name);
  } catch (const std::exception&) {
    tell(fromStd("Не удалось записать файл " + name));
    return;
  }
  tell(fromStd(captureSavedMessage(name)));
}

// --- Test marks and line dump ---

void PageTestController::testObjectButtonClick() {
  testMarkStep_ = 0;
  testMarkTick();
  testMarkTimer_->start();
}

void PageTestController::testMarkTick() {
  ++testMarkStep_;
  machine_.engine().TestMarkCountdown.store(10 * testMarkStep_, std::memory_order_relaxed);
  if (testMarkStep_ >= kTestMarkSteps) testMarkTimer_->stop();
}

void PageTestController::checkBox5Changed(bool on) {
  {
    std::lock_guard lock(machine_.engine().engineLock);
    if (on) machine_.engine().lineDump.enable();
    machine_.engine().CheckBox5.store(on, std::memory_order_relaxed);
  }
  if (on) {
    lineDumpTimer_->start();
  } else {
    lineDumpTimer_->stop();
    saveLineDump();  // a picture that filled up just before
  }
}

void PageTestController::saveLineDump() {
  // A failed write drops the picture, as for the side files.
  if (machine_.engine().lineDump.pictureWaiting())
    machine_.engine().lineDump.saveWaiting(machine_.programFolder());
}

// --- Emulation and timing ---

void PageTestController::emulButtonClick() {
  if (refuseWhileBusy()) return;
  emulation_ = std::make_unique<EmulationRun>(researchPicture_);
  {
    std::lock_guard lock(machine_.engine().engineLock);
    emulation_->start(machine_.engine(), cameraLine(0), cameraLine(1));
  }
  setToolsBusy(true);
  emulationTimer_->start();
}

void PageTestController::emulationTick() {
  if (!emulation_) {
    emulationTimer_->stop();
    return;
  }
  const bool interrupted = sortingRuns();
  if (!interrupted) {
    {
      std::lock_guard lock(machine_.engine().engineLock);
      emulation_->step(machine_.engine(), cameraLine(0), cameraLine(1), machine_.sorter(),
                       machine_.machine());
    }
    if (!emulation_->finished()) return;  // the next row after the window's events
  }
  emulationTimer_->stop();
  emulation_.reset();
  setToolsBusy(false);
  if (interrupted) tell(QStringLiteral("Эмуляция прервана: запущена сортировка"));
}

void PageTestController::button4Click() {
  if (refuseWhileBusy()) return;
  std::int64_t ms = 0;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    ms = runAnalysisTiming(machine_.engine(), cameraLine(0), machine_.sorter(), machine_.machine());
  }
  tell(QString::number(ms));
}

void PageTestController::showCameraStreams() {
  for (std::size_t i = 0; i < page_.cameraStreamLabels.size(); ++i) {
    QLabel* label = page_.cameraStreamLabels[i];
    const auto counters = aravisCounters(machine_.cameras(), static_cast<std::int32_t>(i));
    label->setVisible(counters.has_value());
    if (counters) {
      label->setText(QStringLiteral("Камера %1: %2")
                         .arg(i + 1)
                         .arg(QString::fromStdString(aravisCountersText(*counters))));
    }
  }
}

}  // namespace tolvane
