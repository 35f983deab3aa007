#pragma once

#include <QObject>
#include <QString>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>

namespace tolvane {

class TTypeSetForm;

// The JPEG bytes of a preset picture by name ("ZAWOD1", "USL3"); empty when the program carries no
// picture of that name.
using PresetPictureSource = std::function<std::span<const std::byte>(std::string_view name)>;

// The preset set-ups window: the list of presets with description and pictures, applying a preset to
// the active program, the factory reset of the settings file and the rollback to its backup.
//
// Threads: main thread.
class TypeSetController : public QObject {
  Q_OBJECT

 public:
  struct Actions {
    std::function<bool(const QString& title, const QString& question)> ask;
    std::function<void(const QString& text)> tell;
    // Applies preset index (0-based) to the active program and shows it on the pages.
    std::function<void(std::size_t index)> applyPreset;
    // Starts the program again on the settings file now on disk, writing nothing more into it.
    std::function<void()> restartOnNewSettings;
  };

  TypeSetController(TTypeSetForm& form, std::filesystem::path programFile, PresetPictureSource pictures,
                    Actions actions, QObject* parent = nullptr);

  // Shown modally over the main window; keeps the last chosen preset.
  void open();
  void choosePreset(int index);
  // "НАСТРОЙКИ" (false) or "РАБОТА" (true).
  void showPicture(bool work);
  void applyChosen();
  void factoryReset();
  void rollback();

  std::size_t chosen() const { return chosen_; }
  bool showingWorkPicture() const { return work_; }
  // The rollback button from the backup on disk.
  void showRollbackButton();

 private:
  void showChosen();

  TTypeSetForm& form_;
  std::filesystem::path programFile_;
  PresetPictureSource pictures_;
  Actions actions_;
  std::size_t chosen_ = 0;
  bool work_ = false;
};

}  // namespace tolvane
