#include "service/support_mail_sender.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "service/curl_tls.h"

namespace tolvane {

namespace {

constexpr long kConnectTimeoutS = 20;
constexpr long kTransferTimeoutS = 120;

struct EasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// libcurl's global set-up is not safe to race with other threads' first use: done once, up front.
struct Upload {
  std::string_view text;
  std::size_t sent = 0;
};

std::size_t readUpload(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto* upload = static_cast<Upload*>(user);
  const std::size_t room = size * count;
  const std::size_t n = std::min(room, upload->text.size() - upload->sent);
  std::memcpy(buffer, upload->text.data() + upload->sent, n);
  upload->sent += n;
  return n;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* cancel = static_cast<const std::atomic<bool>*>(user);
  return cancel != nullptr && cancel->load() ? 1 : 0;
}

// A mailbox that goes between angle brackets in SMTP commands and headers as it is.
bool plainMailbox(std::string_view user) {
  return std::none_of(user.begin(), user.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b <= 0x20 || b == 0x7f || c == '<' || c == '>' || c == '"' || c == '\\' || c == ',';
  });
}

std::string withoutPassword(std::string text, const std::string& password) {
  if (password.empty()) return text;
  for (auto at = text.find(password); at != std::string::npos; at = text.find(password, at)) {
    text.replace(at, password.size(), "***");
    at += 3;
  }
  return text;
}

}  // namespace

MailResult sendMail(const ServiceLinks& links, std::string_view message, const std::atomic<bool>* cancel) {
  if (links.mailServer.empty() || links.mailUser.empty()) {
    return {MailOutcome::kNoConnection,
            links.mailServer.empty() ? "mail_server не задан" : "mail_user не задан"};
  }
  if (!plainMailbox(links.mailUser)) {
    return {MailOutcome::kFailed, "mail_user не годится как адрес: \"" + links.mailUser + "\""};
  }
  ensureCurlGlobalInit();
  std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
  if (!curl) return {MailOutcome::kFailed, "libcurl не запускается"};
  CURL* c = curl.get();

  const std::string mailbox = "<" + links.mailUser + ">";
  std::unique_ptr<curl_slist, ListDeleter> recipients(curl_slist_append(nullptr, mailbox.c_str()));
  Upload upload{message, 0};
  char errorText[CURL_ERROR_SIZE] = {};

  curl_easy_setopt(c, CURLOPT_URL, links.mailServer.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutS);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, kTransferTimeoutS);
  curl_easy_setopt(c, CURLOPT_USERNAME, links.mailUser.c_str());
  curl_easy_setopt(c, CURLOPT_PASSWORD, links.mailPassword.c_str());
  curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
  curl_easy_setopt(c, CURLOPT_MAIL_FROM, mailbox.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c, CURLOPT_READFUNCTION, readUpload);
  curl_easy_setopt(c, CURLOPT_READDATA, &upload);
  curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, progress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(cancel));
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  long useSsl = CURLUSESSL_TRY;
  if (links.mailServer.starts_with("smtps://") || links.mailTls == MailTls::kRequired) {
    useSsl = CURLUSESSL_ALL;
  } else if (links.mailTls == MailTls::kNone) {
    useSsl = CURLUSESSL_NONE;
  }
  curl_easy_setopt(c, CURLOPT_USE_SSL, useSsl);
  // The system's authorities stay trusted beside ca_file.
  if (std::string error; !applyTrustedAuthorities(c, links.caFile, error))
    return {MailOutcome::kFailed, error};

  const CURLcode code = curl_easy_perform(c);
  if (code == CURLE_OK) return {MailOutcome::kSent, {}};
  std::string detail = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
  if (cancel != nullptr && cancel->load()) detail = "отменено";
  return {MailOutcome::kFailed, withoutPassword(std::move(detail), links.mailPassword)};
}

std::string_view mailStatusText(MailOutcome outcome) {
  switch (outcome) {
    case MailOutcome::kSent:
      return "Запрос отправлен.";
    case MailOutcome::kNoConnection:
      return "Связь отсутствует.";
    case MailOutcome::kFailed:
      break;
  }
  return {};
}

}  // namespace tolvane
