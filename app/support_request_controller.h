#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "service/service_links.h"
#include "service/support_mail_sender.h"

namespace tolvane {

class Machine;
class PageSimpleWork;

// "Отправить|настройки" (SupportButton on TabSimpleWork): shows DownloadPanel, sends the support mail
// off the UI thread, shows the outcome in ParLabel for 3 s and then runs the server update. A failed
// send ends the request silently: the panel is hidden and no update check follows.
//
// Threads: main thread; the mail is built and sent on a worker from copies taken under the engine lock.
class SupportRequestController : public QObject {
  Q_OBJECT

 public:
  struct Options {
    ServiceLinks links;
    // The server update; it takes DownloadPanel over (hides it when done) and may end the program.
    std::function<void()> downloadUpdate;
    std::function<void(std::uint32_t)> wait;  // the 3-s pause; empty: WaitMs with the window's messages
  };

  SupportRequestController(PageSimpleWork& page, Machine& machine, Options options,
                           QObject* parent = nullptr);
  // Abandons a send still running and waits for its worker.
  ~SupportRequestController() override;

  // The button's click; ignored while a request runs.
  void request();
  bool busy() const { return busy_; }

 signals:
  // After the request ended and the panel was hidden.
  void finished(tolvane::MailOutcome outcome);

 private:
  void sent(const MailResult& result);

  PageSimpleWork& page_;
  Machine& machine_;
  Options options_;
  bool busy_ = false;
  std::atomic<bool> cancel_{false};
  std::thread worker_;
};

}  // namespace tolvane
