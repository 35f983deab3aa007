#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "service/service_links.h"
#include "service/update_download.h"
#include "service/update_install.h"
#include "service/update_media.h"

namespace tolvane {

class Machine;
class PageSettings;
class PageSimpleWork;
class PageWork;

// The program's updates: "Проверка|обновления" (a removable medium), "Откат|обновления" (back to
// "TolvaneGrain.bak") and the server update that follows the support mail. Each ends by copying the
// new program file to "TolvaneGrain_" with UpdateGauge showing the copy, starting it and ending this
// program; a failed copy starts nothing and shows "Сбой|обновления".
//
// The server update runs on a worker thread (libcurl, blocking); its texts and progress come back to
// DownloadPanel, ParLabel and PBar through queued calls, so the window stays live throughout, the
// 10-s pauses included. The controller's destruction cancels a running download and waits for it.
//
// Threads: main thread, except the worker, which touches no widget and no machine data.
class UpdateController : public QObject {
  Q_OBJECT

 public:
  struct Actions {
    std::function<bool(const QString& title, const QString& question)> ask;
    std::function<void(const QString& text)> tell;
    // After a settings file was installed: nothing may write it any more (Machine::freezeSettingsFile).
    std::function<void()> freezeSettingsFile;
    // Ends the program after the exchange was started; empty: the event loop returns (as a restart).
    std::function<void()> endProgram;
    // Starts the program again (new settings, no new program); empty: restartProgram().
    std::function<bool()> restart;
  };

  // Where the media and the running program are looked up; tests put temporary folders here.
  struct Sources {
    std::filesystem::path mountTable{kMountTable};
    std::filesystem::path blockRoot{kBlockDevices};
    std::filesystem::path referenceExecutable{"/proc/self/exe"};
    std::uint32_t pauseMs = kStatusPauseMs;
  };

  UpdateController(PageWork& work, PageSettings& settings, PageSimpleWork& simpleWork, Machine& machine,
                   Actions actions, QObject* parent = nullptr);
  ~UpdateController() override;

  // update_server and ca_file of the platform configuration.
  void setServiceLinks(const ServiceLinks& links) { links_ = links; }
  void setSources(Sources sources) { sources_ = std::move(sources); }

  // CheckUpdateButton: asks for each removable medium holding "TolvaneGrain.update" in turn;
  // "Обновление не найдено." when none does. The button is off again afterwards.
  void checkMediaUpdate();
  // UpdateUnableButton: "Точек отката нет." or the question, then the exchange from the backup.
  void rollback();
  // The server update after the support mail: shows DownloadPanel and returns at once (false, and
  // nothing happens, while one runs). When it ends the panel hides, a new settings file freezes the
  // running one, a new program file is installed (the program ends), or with new settings alone the
  // program restarts; downloadFinished tells whether a program file came.
  bool downloadUpdate();
  bool downloading() const { return worker_.joinable(); }

 signals:
  void downloadFinished(bool programReceived);

 private:
  InstallOutcome install(const std::filesystem::path& source);
  void finishDownload(const UpdateDownloadResult& result);
  void setProgressRange(std::int64_t maximum);
  void setProgress(std::int64_t position);
  void endProgram();

  PageWork& work_;
  PageSettings& settings_;
  PageSimpleWork& simpleWork_;
  Machine& machine_;
  Actions actions_;
  ServiceLinks links_;
  Sources sources_;
  int progressShift_ = 0;  // PBar counts bytes >> shift, so that large files fit its int range

  std::thread worker_;
  std::atomic<bool> stop_{false};
  std::mutex pauseMutex_;
  std::condition_variable pauseWake_;
};

}  // namespace tolvane
