#include "app/support_request_controller.h"

#include <QLabel>
#include <ctime>
#include <memory>
#include <mutex>

#include "app/machine.h"
#include "app/page_simple_work.h"
#include "app/window_wait.h"
#include "service/support_mail.h"

namespace tolvane {

namespace {

constexpr std::uint32_t kStatusPauseMs = 3000;

// What the worker needs, copied on the main thread so that it touches nothing shared.
struct MailInputs {
  SupportMailFacts facts;
  std::unique_ptr<DailyStatsTable> stats = std::make_unique<DailyStatsTable>();
  std::array<PreviewPoints, kCameraCount> preview{};
  std::filesystem::path folder;
  ServiceLinks links;
};

MailResult buildAndSend(MailInputs& in, const std::atomic<bool>& cancel) {
  in.facts.clock = mailClockAt(std::time(nullptr));
  in.facts.localAddress = localIpv4Address();
  in.facts.computerName = computerName();
  const SupportMessage message = supportMessage(
      in.facts.machineId, in.links.mailUser, in.facts.clock.dateHeader,
      supportMailBody(in.facts, *in.stats, in.preview[0], in.preview[1]), settingsFileAttachment(in.folder));
  return sendMail(in.links, mimeText(message, newMimeBoundary()), &cancel);
}

}  // namespace

SupportRequestController::SupportRequestController(PageSimpleWork& page, Machine& machine, Options options,
                                                   QObject* parent)
    : QObject(parent), page_(page), machine_(machine), options_(std::move(options)) {
  if (!options_.wait) {
    options_.wait = windowWaitMs;
  }
  connect(page_.SupportButton, &TasSwitch::clicked, this, [this](QObject*) { request(); });
}

SupportRequestController::~SupportRequestController() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

void SupportRequestController::request() {
  if (busy_) return;
  busy_ = true;
  page_.DownloadPanel->show();
  page_.ParLabel->setText(QStringLiteral("Отправка запроса..."));
  page_.DownloadPanel->repaint();

  auto inputs = std::make_shared<MailInputs>();
  const MachineSettings& m = machine_.machine();
  inputs->facts.machineId = m.MachineId;
  inputs->facts.egaMin = m.EGA_Min;
  inputs->facts.egaMax = m.EGA_Max;
  inputs->facts.egbMin = m.EGB_Min;
  inputs->facts.egbMax = m.EGB_Max;
  inputs->folder = machine_.programFolder();
  inputs->links = options_.links;
  {
    EngineState& engine = machine_.engine();
    std::lock_guard lock(engine.engineLock);
    *inputs->stats = engine.ejection.DailyStats;
    inputs->preview = engine.PreviewLine;
  }
  if (worker_.joinable()) worker_.join();
  cancel_ = false;
  worker_ = std::thread([this, inputs] {
    const MailResult result = buildAndSend(*inputs, cancel_);
    // Dropped by Qt if the controller is gone by then.
    QMetaObject::invokeMethod(
        this, [this, result] { sent(result); }, Qt::QueuedConnection);
  });
}

void SupportRequestController::sent(const MailResult& result) {
  if (worker_.joinable()) worker_.join();
  if (result.outcome != MailOutcome::kFailed) {
    const std::string_view status = mailStatusText(result.outcome);
    page_.ParLabel->setText(QString::fromUtf8(status.data(), static_cast<qsizetype>(status.size())));
    page_.DownloadPanel->repaint();
    options_.wait(kStatusPauseMs);
    if (options_.downloadUpdate) {
      // The update takes the panel over and hides it when it is done.
      options_.downloadUpdate();
      busy_ = false;
      emit finished(result.outcome);
      return;
    }
  }
  page_.DownloadPanel->hide();
  busy_ = false;
  emit finished(result.outcome);
}

}  // namespace tolvane
