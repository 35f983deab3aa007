#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_lock.h"
#include "settings/machine_settings.h"

namespace tolvane {

class IniDocument;

// Keeps the main window's placement and its stored control values in section "options" of the
// settings file, each under "<control>_<property>" (TimeLabel_Caption, MaskSwitch_StateOn, ...).
//
// Controls are found among the window's descendants by object name: "TimeLabel", "MaskSwitch", ...
// A caption goes to the control's "Caption" property, or its "text" (QLabel) when it has none; a
// switch state to its "StateOn" property. A control that does not exist is simply skipped; the
// values then live in MachineSettings alone.
//
// MachineSettings and the controls are kept alike at every read and write: a restore puts the stored
// numbers into MachineSettings (any fraction dropped) and shows them in the labels as three-digit
// texts; a write first takes the controls' values into MachineSettings.
//
// Moments: restore() at start, before the active program is loaded, or else when the window is first
// shown (not both: a second restore would undo what the program load set, such as the forced
// single-tone switch); save() by the save button; a write when the window is asked to close (its
// Close event, seen before the window's own handler); and on destruction unless written since the
// last read. Hold the store as a member of the window (not as a QObject child), so that its
// destructor runs while the window's controls still exist. Write errors are dropped, as for every
// settings write, except that save() reports them.
class WindowStateStore : public QObject {
  Q_OBJECT

 public:
  // machineLock, when given, is held while values are put into machine: the camera threads read
  // those settings under it while sorting.
  WindowStateStore(QWidget* window, std::filesystem::path settingsFile, MachineSettings& machine,
                   EngineLock* machineLock = nullptr);
  ~WindowStateStore() override;

  WindowStateStore(const WindowStateStore&) = delete;
  WindowStateStore& operator=(const WindowStateStore&) = delete;

  const std::filesystem::path& settingsFile() const { return settingsFile_; }

  // Reads the file: placement and controls. Returns whether a restore was done (a missing file, or a
  // stored FormVersion below 0, restores nothing and leaves every control as it is).
  bool restore();
  // Writes placement and controls. Returns false when the file could not be written.
  bool save();
  // The destruction write: writes unless written since the last read. Runs at most once; the
  // destructor calls it, and the unhandled-error handler may call it before the process ends.
  void writeOnDestroy();

  bool writtenSinceRead() const { return writtenSinceRead_; }

  // The settings file was replaced (factory reset, rollback, installed update): every later write,
  // the destruction write included, is dropped so the new file stays as it is.
  void freeze() { frozen_ = true; }

  // The window's own keys as they would be written now, in write order.
  std::vector<std::pair<std::string, std::string>> placementKeys() const;

 signals:
  // After every restore, when controls and MachineSettings hold the restored values.
  void restored();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool read(bool placement);
  bool write();
  void controlsToMachine();
  // Puts updated into machine_, under machineLock_ when there is one.
  void setMachine(const MachineSettings& updated);
  void machineToControls();
  void applyPlacement(const IniDocument& doc);

  QPointer<QWidget> window_;
  std::filesystem::path settingsFile_;
  MachineSettings& machine_;
  EngineLock* machineLock_;
  bool writtenSinceRead_ = false;
  bool destroyWriteDone_ = false;
  bool readOnce_ = false;
  bool frozen_ = false;
};

}  // namespace tolvane
