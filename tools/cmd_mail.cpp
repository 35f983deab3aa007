// The support request mail from a machine folder: shown without sending, or sent.

#include <ctime>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "service/service_links.h"
#include "service/support_mail.h"
#include "service/support_mail_sender.h"
#include "settings/atomic_file.h"
#include "settings/build_constants.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "settings/side_files.h"
#include "tools/tool_command.h"

namespace tolvane::tool {
namespace {

constexpr const char* kMailUsage =
    "mail preview FOLDER | mail send FOLDER   the support request from FOLDER's TolvaneGrain.ini and "
    ".stat (send: with FOLDER's TolvaneGrain.platform)";

struct FolderMail {
  std::vector<std::string> notes;  // what was missing, one line each
  SupportMessage message;
};

// Everything the running program would put into the mail, read from the folder's files. There are no
// cameras here: the preview lines are zeros.
FolderMail folderMail(const std::filesystem::path& folder, const ServiceLinks& links) {
  FolderMail result;
  SupportMailFacts facts;
  facts.clock = mailClockAt(std::time(nullptr));
  facts.localAddress = localIpv4Address();
  facts.computerName = computerName();
  const std::filesystem::path ini = folder / "TolvaneGrain.ini";
  const FileContents settings = readWholeFile(ini);
  const IniDocument doc = IniDocument::parse(settings.status == ReadStatus::kOk ? settings.bytes : "");
  if (settings.status == ReadStatus::kOk) {
    facts.machineId = readMachineId(settings.bytes, "000");  // UTF-8 already
  } else {
    result.notes.push_back("TolvaneGrain.ini не прочитан: идентификатор 000, ряды эжекторов по умолчанию");
  }
  facts.egaMin = doc.readInt("options", "EGA_Min", 1);
  facts.egaMax = doc.readInt("options", "EGA_Max", kEjectorsPerSide);
  facts.egbMin = doc.readInt("options", "EGB_Min", 1);
  facts.egbMax = doc.readInt("options", "EGB_Max", kEjectorsPerSide);

  auto stats = std::make_unique<DailyStatsTable>();
  const auto placed =
      readSideFile(folder / "TolvaneGrain.stat", std::as_writable_bytes(std::span(stats.get(), 1)));
  if (!placed) {
    result.notes.emplace_back("TolvaneGrain.stat не прочитан: статистика нулевая");
  } else if (*placed < kStatFileSize) {
    result.notes.push_back("TolvaneGrain.stat короче " + std::to_string(kStatFileSize) +
                           " байт: остальное нулевое");
  }
  result.notes.emplace_back("Изображение с камер: камер нет, значения нулевые");
  auto attachment = settingsFileAttachment(folder);
  result.message = supportMessage(facts.machineId, links.mailUser, facts.clock.dateHeader,
                                  supportMailBody(facts, *stats, {}, {}), std::move(attachment));
  return result;
}

int mailCommand(const std::vector<std::string>& args, ToolIo& io) {
  if (args.size() != 2 || (args[0] != "preview" && args[0] != "send")) throw UsageError(kMailUsage);
  const std::filesystem::path folder = args[1];
  if (!std::filesystem::is_directory(folder)) {
    io.out << "Папки нет: " << folder.string() << '\n';
    return 1;
  }
  std::string error;
  const ServiceLinks links = readServiceLinks(folder / "TolvaneGrain.platform", error);
  if (args[0] == "preview") {
    if (!error.empty()) io.out << error << '\n';
    const FolderMail mail = folderMail(folder, links);
    for (const std::string& note : mail.notes) io.out << note << '\n';
    io.out << '\n';
    for (const std::string& line : previewLines(mail.message)) io.out << line << '\n';
    return 0;
  }
  if (!error.empty()) {
    io.out << error << '\n';
    return 1;
  }
  const FolderMail mail = folderMail(folder, links);
  io.out << "Отправка запроса..." << '\n';
  const MailResult result = sendMail(links, mimeText(mail.message, newMimeBoundary()));
  if (result.outcome == MailOutcome::kFailed) {
    io.out << "Запрос не отправлен: " << result.detail << '\n';
    return 1;
  }
  io.out << mailStatusText(result.outcome) << '\n';
  return result.outcome == MailOutcome::kSent ? 0 : 1;
}

TOLVANE_TOOL_COMMAND("mail", kMailUsage, mailCommand);

}  // namespace
}  // namespace tolvane::tool
