#include "app/window_state_store.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QSignalSpy>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "settings/ini_file.h"
#include "settings/machine_settings.h"
#include "tests/settings/settings_test_util.h"
#include "ui/tas_switch.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

// A stand-in for the main window with the stored controls under their names.
struct Window {
  QWidget widget;
  QLabel* time;
  QLabel* delay;
  QLabel* blackFonB;
  TasSwitch* mask;
  TasSwitch* brightMode;

  Window() {
    auto* page = new QWidget(&widget);  // controls sit on pages, not directly on the window
    time = label(page, "TimeLabel", "012");
    delay = label(page, "DelayLabel", "000");
    blackFonB = label(page, "BlackFonLabelB", "000");
    mask = toggle(page, "MaskSwitch");
    brightMode = toggle(page, "BrightModeButton");
  }

  static QLabel* label(QWidget* parent, const char* name, const char* text) {
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
  }
  static TasSwitch* toggle(QWidget* parent, const char* name) {
    auto* s = new TasSwitch(parent);
    s->setObjectName(QString::fromLatin1(name));
    return s;
  }
};

std::string option(const fs::path& file, const char* key) {
  return IniDocument::load(file).readString("options", key, "<missing>");
}

TEST(WindowStateStore, RoundTripThroughTheSettingsFile) {
  TempDir dir;
  const fs::path file = dir / "TolvaneGrain.ini";
  {
    Window w;
    MachineSettings machine;
    WindowStateStore store(&w.widget, file, machine);
    w.time->setText("034");
    w.blackFonB->setText("117");
    w.mask->setStateOn(true);
    machine.MaxTime = 450;  // a value without a control on this window
    machine.FineTimerButton_StateOn = true;
    ASSERT_TRUE(store.save());
    EXPECT_TRUE(store.writtenSinceRead());
    // The controls' values were taken into the machine record too.
    EXPECT_EQ(machine.Time, 34);
    EXPECT_EQ(machine.BlackFon[1], 117);
    EXPECT_TRUE(machine.MaskSwitch_StateOn);
  }
  EXPECT_EQ(option(file, "FormVersion"), "0");
  EXPECT_EQ(option(file, "TimeLabel_Caption"), "034");
  EXPECT_EQ(option(file, "DelayLabel_Caption"), "000");
  EXPECT_EQ(option(file, "BlackFonLabelB_Caption"), "117");
  EXPECT_EQ(option(file, "MaxTimeLabel_Caption"), "450");
  EXPECT_EQ(option(file, "MaskSwitch_StateOn"), "True");
  EXPECT_EQ(option(file, "BrightModeButton_StateOn"), "False");
  EXPECT_EQ(option(file, "FineTimerButton_StateOn"), "True");
  EXPECT_NE(option(file, "NormPos"), "<missing>");
  EXPECT_NE(option(file, "ShowCmd"), "<missing>");
  EXPECT_EQ(readBytes(file).find('\n'), readBytes(file).find("\r\n") + 1);  // CR LF lines

  Window w;
  MachineSettings machine;
  WindowStateStore store(&w.widget, file, machine);
  QSignalSpy restored(&store, &WindowStateStore::restored);
  ASSERT_TRUE(store.restore());
  EXPECT_EQ(restored.count(), 1);
  EXPECT_FALSE(store.writtenSinceRead());
  EXPECT_EQ(w.time->text(), "034");
  EXPECT_EQ(w.blackFonB->text(), "117");
  EXPECT_TRUE(w.mask->stateOn());
  EXPECT_FALSE(w.brightMode->stateOn());
  EXPECT_EQ(machine.Time, 34);
  EXPECT_EQ(machine.BlackFon[1], 117);
  EXPECT_EQ(machine.MaxTime, 450);
  EXPECT_TRUE(machine.MaskSwitch_StateOn);
  EXPECT_TRUE(machine.FineTimerButton_StateOn);
}

TEST(WindowStateStore, ValuesGoIntoTheMachineSettingsOnlyUnderTheGivenLock) {
  TempDir dir;
  const fs::path file = dir / "TolvaneGrain.ini";
  Window w;
  MachineSettings machine;
  EngineLock lock;
  WindowStateStore store(&w.widget, file, machine, &lock);
  w.time->setText("021");
  const std::int32_t before = machine.Time;
  ASSERT_NE(before, 21);

  // A camera thread busy with a line holds the lock; the save waits for it.
  std::atomic<bool> holding{false};
  std::atomic<bool> released{false};
  std::thread camera([&] {
    std::lock_guard guard(lock);
    holding = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(machine.Time, before);  // not changed while the lock is held
    released = true;
  });
  while (!holding) std::this_thread::yield();
  ASSERT_TRUE(store.save());
  EXPECT_TRUE(released);
  EXPECT_EQ(machine.Time, 21);
  camera.join();

  // A restore puts the stored values in the same way, and the lock is free again afterwards.
  machine.Time = 0;
  ASSERT_TRUE(store.restore());
  EXPECT_EQ(machine.Time, 21);
  EXPECT_TRUE(lock.try_lock());
  lock.unlock();
}

TEST(WindowStateStore, StoredValuesAreCleanedOnRestore) {
  TempDir dir;
  const fs::path file = dir / "TolvaneGrain.ini";
  writeBytes(file,
             "[options]\r\n"
             "TimeLabel_Caption=12.7\r\n"
             "DelayLabel_Caption=abc\r\n"
             "MaskSwitch_StateOn=true\r\n"
             "BrightModeButton_StateOn=Maybe\r\n");
  Window w;
  w.delay->setText("020");
  w.brightMode->setStateOn(true);
  MachineSettings machine;
  WindowStateStore store(&w.widget, file, machine);
  QSignalSpy switchedOn(w.mask, &TasSwitch::switchedOn);

  ASSERT_TRUE(store.restore());

  EXPECT_EQ(machine.Time, 12);  // fraction dropped
  EXPECT_EQ(w.time->text(), "012");
  // Not a number / not a word: the control's value stands and the machine record takes it.
  EXPECT_EQ(w.delay->text(), "020");
  EXPECT_EQ(machine.Delay, 20);
  EXPECT_TRUE(w.brightMode->stateOn());
  EXPECT_TRUE(machine.BrightModeButton_StateOn);
  // The word is matched without regard to case, and the switch raises its usual event.
  EXPECT_TRUE(w.mask->stateOn());
  EXPECT_EQ(switchedOn.count(), 1);
}

TEST(WindowStateStore, MissingKeysKeepTheControlsInitialValues) {
  TempDir dir;
  const fs::path file = dir / "TolvaneGrain.ini";
  writeBytes(file, "[options]\r\nActiveProg=3\r\nMaskSwitch_StateOn=True\r\n");
  Window w;
  w.time->setText("045");
  MachineSettings machine;
  machine.Time = 12;
  machine.MinVes = 77;  // no control and no key: untouched
  WindowStateStore store(&w.widget, file, machine);

  ASSERT_TRUE(store.restore());

  EXPECT_EQ(w.time->text(), "045");
  EXPECT_EQ(machine.Time, 45);
  EXPECT_EQ(machine.MinVes, 77);
  EXPECT_TRUE(machine.MaskSwitch_StateOn);
}

TEST(WindowStateStore, NothingIsRestoredWithoutAFileOrBelowFormVersionZero) {
  TempDir dir;
  const fs::path file = dir / "TolvaneGrain.ini";
  Window w;
  w.time->setText("099");
  MachineSettings machine;
  WindowStateStore store(&w.widget, file, machine);
  QSignalSpy restored(&store, &WindowStateStore::restored);

  EXPECT_FALSE(store.restore());
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(machine.Time, 12);

  writeBytes(file, "[options]\r\nFormVersion=-1\r\nTimeLabel_Caption=300\r\nMaskSwitch_StateOn=True\r\n");
  EXPECT_FALSE(store.restore());
  EXPECT_EQ(w.time->text(), "099");
  EXPECT_FALSE(w.mask->stateOn());
  EXPECT_EQ(machine.Time, 12);
  EXPECT_EQ(restored.count(), 0);

  // The first write creates the file or, here, overwrites the stored values with FormVersion 0.
  ASSERT_TRUE(store.save());
  EXPECT_EQ(option(file, "FormVersion"), "0");
  EXPECT_EQ(option(file, "TimeLabel_Caption"), "099");
}

TEST(WindowStateStore, WritingKeepsEverythingElseInTheFile) {
  TempDir dir;
  const fs::path file = dir / "TolvaneGrain.ini";
  const std::string program = "[program0]\r\nFonMin=190\r\nSector0=x y z\r\n";
  writeBytes(file, "path=\"042\"\r\n[options]\r\nActiveProg=2\r\nEgecA1=600\r\n\r\n" + program);
  Window w;
  MachineSettings machine;
  WindowStateStore store(&w.widget, file, machine);
  ASSERT_TRUE(store.save());
  const std::string text = readBytes(file);
  EXPECT_EQ(text.rfind("path=\"042\"\r\n[options]\r\nActiveProg=2\r\nEgecA1=600\r\nFormVersion=0\r\n", 0),
            0u);
  EXPECT_NE(text.find("\r\n\r\n" + program), std::string::npos);
}

TEST(WindowStateStore, DestructionWritesOnlyWhenNotWrittenSinceTheLastRead) {
  TempDir dir;
  const fs::path file = dir / "TolvaneGrain.ini";
  writeBytes(file, "[options]\r\nTimeLabel_Caption=020\r\n");
  {
    Window w;
    MachineSettings machine;
    WindowStateStore store(&w.widget, file, machine);
    ASSERT_TRUE(store.restore());
    w.time->setText("055");
  }
  EXPECT_EQ(option(file, "TimeLabel_Caption"), "055");

  {
    Window w;
    MachineSettings machine;
    WindowStateStore store(&w.widget, file, machine);
    ASSERT_TRUE(store.restore());
    ASSERT_TRUE(store.save());
    w.time->setText("066");  // changed after the save: the destruction does not write it
  }
  EXPECT_EQ(option(file, "TimeLabel_Caption"), "055");

  {
    Window w;
    MachineSettings machine;
    WindowStateStore store(&w.widget, file, machine);
    ASSERT_TRUE(store.restore());
    w.time->setText("077");
    store.writeOnDestroy();  // as the error handler does before the process ends
    EXPECT_EQ(option(file, "TimeLabel_Caption"), "077");
    w.time->setText("088");
    store.writeOnDestroy();  // once only
  }
  EXPECT_EQ(option(file, "TimeLabel_Caption"), "077");
}

TEST(WindowStateStore, CloseRequestWritesAndFirstShowRestoresWhenNotRestoredYet) {
  TempDir dir;
  const fs::path file = dir / "TolvaneGrain.ini";
  writeBytes(file, "[options]\r\nTimeLabel_Caption=021\r\n");
  Window w;
  MachineSettings machine;
  WindowStateStore store(&w.widget, file, machine);

  w.widget.show();  // no restore before: the first show restores
  EXPECT_EQ(w.time->text(), "021");
  EXPECT_EQ(machine.Time, 21);

  w.time->setText("031");
  w.widget.close();
  EXPECT_EQ(option(file, "TimeLabel_Caption"), "031");
  EXPECT_TRUE(store.writtenSinceRead());

  // A later show does not read again over what the program has set meanwhile.
  writeBytes(file, "[options]\r\nTimeLabel_Caption=041\r\n");
  w.widget.show();
  EXPECT_EQ(w.time->text(), "031");
  w.widget.hide();
}

TEST(WindowStateStore, ShowAfterTheStartRestoreDoesNotReadAgain) {
  TempDir dir;
  const fs::path file = dir / "TolvaneGrain.ini";
  writeBytes(file, "[options]\r\nBrightModeButton_StateOn=False\r\n");
  Window w;
  MachineSettings machine;
  WindowStateStore store(&w.widget, file, machine);
  ASSERT_TRUE(store.restore());
  w.brightMode->setStateOn(true);  // as the load of a program forces it in a single-tone machine
  w.widget.show();
  EXPECT_TRUE(w.brightMode->stateOn());
  w.widget.hide();
}

TEST(WindowStateStore, AFileThatCannotBeWrittenIsReportedBySaveOnly) {
  TempDir dir;
  const fs::path file = dir / "missing-folder" / "TolvaneGrain.ini";
  Window w;
  MachineSettings machine;
  auto store = std::make_unique<WindowStateStore>(&w.widget, file, machine);
  EXPECT_FALSE(store->save());
  EXPECT_FALSE(store->writtenSinceRead());
  w.widget.show();
  w.widget.close();  // the close write fails quietly
  EXPECT_NO_THROW(store.reset());
  EXPECT_FALSE(fs::exists(file));

  // A settings file that cannot be read is never replaced by the store.
  fs::create_directory(dir / "TolvaneGrain.ini");
  WindowStateStore blocked(&w.widget, dir / "TolvaneGrain.ini", machine);
  EXPECT_FALSE(blocked.restore());
  EXPECT_FALSE(blocked.save());
  EXPECT_TRUE(fs::is_directory(dir / "TolvaneGrain.ini"));
}

TEST(WindowStateStore, WithoutControlsTheMachineRecordIsStored) {
  TempDir dir;
  const fs::path file = dir / "TolvaneGrain.ini";
  QWidget bare;
  MachineSettings machine;
  machine.Time = 7;
  machine.BlackFon[0] = 250;
  machine.RGBshiftButton_StateOn = true;
  {
    WindowStateStore store(&bare, file, machine);
    ASSERT_TRUE(store.save());
  }
  EXPECT_EQ(option(file, "TimeLabel_Caption"), "007");
  EXPECT_EQ(option(file, "BlackFonLabelA_Caption"), "250");
  EXPECT_EQ(option(file, "RGBshiftButton_StateOn"), "True");

  MachineSettings restoredMachine;
  WindowStateStore store(&bare, file, restoredMachine);
  ASSERT_TRUE(store.restore());
  EXPECT_EQ(restoredMachine.Time, 7);
  EXPECT_EQ(restoredMachine.BlackFon[0], 250);
  EXPECT_TRUE(restoredMachine.RGBshiftButton_StateOn);
}

TEST(WindowStateStore, PlacementIsRestoredForTheCurrentScreenFirst) {
  TempDir dir;
  const fs::path file = dir / "TolvaneGrain.ini";
  {
    QWidget window;
    window.setGeometry(10, 20, 300, 200);
    MachineSettings machine;
    WindowStateStore store(&window, file, machine);
    ASSERT_TRUE(store.save());
  }
  EXPECT_EQ(option(file, "NormPos"), "10,20,310,220");
  {
    QWidget window;
    MachineSettings machine;
    WindowStateStore store(&window, file, machine);
    ASSERT_TRUE(store.restore());
    EXPECT_EQ(window.geometry(), QRect(10, 20, 300, 200));
    // The key for this screen size wins over the general one.
    const auto keys = store.placementKeys();
    std::string sized;
    for (const auto& [key, value] : keys) {
      if (key.rfind("NormPos(", 0) == 0) sized = key;
    }
    ASSERT_FALSE(sized.empty());
    IniDocument doc = IniDocument::load(file);
    doc.writeString("options", sized, "5,6,405,306");
    doc.writeString("options", "NormPos", "garbage");
    doc.save(file);
    ASSERT_TRUE(store.restore());
    EXPECT_EQ(window.geometry(), QRect(5, 6, 400, 300));
    // A damaged placement leaves the window where it is.
    doc.writeString("options", sized, "1,2,3");
    doc.save(file);
    ASSERT_TRUE(store.restore());
    EXPECT_EQ(window.geometry(), QRect(5, 6, 400, 300));
    doc.writeString("options", sized, "50,50,40,40");
    doc.save(file);
    ASSERT_TRUE(store.restore());
    EXPECT_EQ(window.geometry(), QRect(5, 6, 400, 300));
  }
}

}  // namespace
}  // namespace tolvane
