#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "service/service_links.h"

// Sending the support mail over SMTP with libcurl.
namespace tolvane {

// kSent: the server took the message. kNoConnection: no connection was attempted because the
// configuration names no mail server or mailbox ("Связь отсутствует.", the update check still runs).
// kFailed: connecting, TLS, login or sending failed; the request ends silently.
enum class MailOutcome { kSent, kNoConnection, kFailed };

struct MailResult {
  MailOutcome outcome = MailOutcome::kFailed;
  std::string detail;  // why it failed, for the engineer tool; never holds the password
};

// Sends message (complete MIME text, CR LF line ends) from links.mailUser to links.mailUser through
// links.mailServer with LOGIN authentication. mail_tls: starttls uses STARTTLS when offered, required
// refuses to go on (and to log in) without TLS, none never asks for it; smtps:// is TLS throughout.
// Certificates are checked against the system's authorities plus links.caFile. While cancel (if given)
// turns true the transfer is abandoned (kFailed). Blocks until done: call it off the UI thread.
MailResult sendMail(const ServiceLinks& links, std::string_view message,
                    const std::atomic<bool>* cancel = nullptr);

// "Запрос отправлен.", "Связь отсутствует.", or empty for a failure (nothing is shown then).
std::string_view mailStatusText(MailOutcome outcome);

}  // namespace tolvane
