#include "app/update_controller.h"

#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <climits>
#include <exception>

#include "app/machine.h"
#include "app/page_settings.h"
#include "app/page_simple_work.h"
#include "app/page_work.h"
#include "app/program_restart.h"
#include "service/curl_tls.h"
#include "ui/tas_switch.h"

namespace tolvane {

namespace fs = std::filesystem;

namespace {

QString qs(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

UpdateController::UpdateController(PageWork& work, PageSettings& settings, PageSimpleWork& simpleWork,
                                   Machine& machine, Actions actions, QObject* parent)
    : QObject(parent),
      work_(work),
      settings_(settings),
      simpleWork_(simpleWork),
      machine_(machine),
      actions_(std::move(actions)) {
  connect(work_.CheckUpdateButton, &TasSwitch::clicked, this, [this] { checkMediaUpdate(); });
  connect(work_.UpdateUnableButton, &TasSwitch::clicked, this, [this] { rollback(); });
}

UpdateController::~UpdateController() {
  stop_ = true;
  { std::lock_guard lock(pauseMutex_); }
  pauseWake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void UpdateController::endProgram() {
  if (actions_.endProgram) {
    actions_.endProgram();
  } else {
    // As a restart: the event loop returns without the closing sequence.
    QCoreApplication::exit(0);
  }
}

InstallOutcome UpdateController::install(const fs::path& source) {
  QProgressBar* gauge = settings_.UpdateGauge;
  InstallOutcome outcome = InstallOutcome::kCopyFailed;
  try {
    outcome = installUpdate(
        machine_.programFolder(), source, machine_.launcher(),
        [gauge](int percent) {
          gauge->setRange(0, 100);
          gauge->setValue(percent);
          gauge->show();
          gauge->repaint();
        },
        [this] { endProgram(); });
  } catch (const std::exception&) {
    outcome = InstallOutcome::kCopyFailed;
  }
  gauge->hide();
  TasSwitch* button = work_.CheckUpdateButton;
  button->setCaption(qs(outcome == InstallOutcome::kStarted ? kCheckUpdateCaption : kUpdateFailedCaption));
  button->setStateOn(false);
  button->repaint();
  return outcome;
}

void UpdateController::checkMediaUpdate() {
  try {
    const std::vector<MediaUpdate> media = findMediaUpdates(sources_.mountTable, sources_.blockRoot);
    const MediaCheckOutcome outcome = checkMediaUpdates(
        media,
        [this](const std::string& question) {
          return actions_.ask && actions_.ask(qs(kUpdateQuestionTitle), QString::fromStdString(question));
        },
        [this](const fs::path& file) { return install(file); });
    if (outcome == MediaCheckOutcome::kNotFound && actions_.tell) actions_.tell(qs(kNoMediaUpdateText));
  } catch (const std::exception&) {
    work_.CheckUpdateButton->setCaption(qs(kUpdateFailedCaption));
  }
  // A latching switch: it does not stay on once the check is over.
  work_.CheckUpdateButton->setStateOn(false);
}

void UpdateController::rollback() {
  try {
    if (!rollbackPointPresent(machine_.programFolder())) {
      if (actions_.tell) actions_.tell(qs(kNoRollbackText));
      return;
    }
    if (!actions_.ask || !actions_.ask(qs(kUpdateQuestionTitle), qs(kRollbackQuestion))) return;
    install(rollbackFile(machine_.programFolder()));
  } catch (const std::exception&) {
    work_.CheckUpdateButton->setCaption(qs(kUpdateFailedCaption));
  }
}

void UpdateController::setProgressRange(std::int64_t maximum) {
  progressShift_ = 0;
  while ((maximum >> progressShift_) > INT_MAX) ++progressShift_;
  simpleWork_.PBar->setRange(0, static_cast<int>(maximum >> progressShift_));
  simpleWork_.PBar->setValue(0);
}

void UpdateController::setProgress(std::int64_t position) {
  QProgressBar* bar = simpleWork_.PBar;
  bar->setValue(static_cast<int>(std::min<std::int64_t>(position >> progressShift_, bar->maximum())));
}

bool UpdateController::downloadUpdate() {
  if (worker_.joinable()) return false;
  // libcurl's global set-up is not for a worker thread to do.
  ensureCurlGlobalInit();
  UpdateRequest request;
  request.server = links_.updateServer;
  request.machineId = machine_.machine().MachineId;
  request.folder = machine_.programFolder();
  request.caFile = links_.caFile;
  request.userAgent = machine_.programFile().filename().string();
  request.referenceExecutable = sources_.referenceExecutable;
  const std::uint32_t pauseMs = sources_.pauseMs;

  simpleWork_.ParLabel->setText(qs(kSearchingText));
  setProgressRange(0);
  simpleWork_.DownloadPanel->show();
  simpleWork_.DownloadPanel->raise();

  stop_ = false;
  worker_ = std::thread([this, request, pauseMs] {
    UpdateEvents events;
    events.status = [this](const std::string& text) {
      QMetaObject::invokeMethod(
          this, [this, t = QString::fromStdString(text)] { simpleWork_.ParLabel->setText(t); },
          Qt::QueuedConnection);
    };
    events.range = [this](std::int64_t maximum) {
      QMetaObject::invokeMethod(
          this, [this, maximum] { setProgressRange(maximum); }, Qt::QueuedConnection);
    };
    events.progress = [this](std::int64_t position) {
      QMetaObject::invokeMethod(
          this, [this, position] { setProgress(position); }, Qt::QueuedConnection);
    };
    events.pause = [this, pauseMs](std::uint32_t) {
      std::unique_lock lock(pauseMutex_);
      pauseWake_.wait_for(lock, std::chrono::milliseconds(pauseMs), [this] { return stop_.load(); });
    };
    events.cancelled = [this] { return stop_.load(); };
    UpdateDownloadResult result;
    try {
      result = tolvane::downloadUpdate(request, events);
    } catch (const std::exception&) {
      result = UpdateDownloadResult{};  // any failure: nothing counts as received
    }
    QMetaObject::invokeMethod(
        this, [this, result] { finishDownload(result); }, Qt::QueuedConnection);
  });
  return true;
}

void UpdateController::finishDownload(const UpdateDownloadResult& result) {
  if (worker_.joinable()) worker_.join();
  simpleWork_.DownloadPanel->hide();
  if (result.settingsInstalled && actions_.freezeSettingsFile) actions_.freezeSettingsFile();
  bool started = false;
  if (result.programReceived) {
    started = install(machine_.programFolder() / kUpdateDownloadName) == InstallOutcome::kStarted;
  }
  // New settings are the ones the machine must run, even without a new program.
  if (!started && result.settingsInstalled) {
    if (actions_.restart) {
      actions_.restart();
    } else {
      restartProgram(machine_.launcher(), machine_.programFile(), machine_.programFolder());
    }
  }
  emit downloadFinished(result.programReceived);
}

}  // namespace tolvane
