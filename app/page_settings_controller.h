#pragma once

#include <QLabel>
#include <QObject>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ejection/reject_regulator.h"
#include "settings/colour_ranges.h"
#include "settings/sector_list.h"

namespace tolvane {

class Machine;
class PageSettings;
class SectorListBox;
class View3D;

// The colour page (TabSettings): the sector lists of both cameras and every operation on them, the
// sector editor, the report of sector lines that were left out, the background readout switch, the
// copy to the other camera, the blue-background values (a touch on one of the six labels chooses the
// one the arrows step) and the black-background level of the edited camera.
//
// Every change of a list is immediate in memory (it reaches the file with the program's save) and
// hands new sector tables to the engine at once; the map is drawn again where the outline changes.
//
// Threads: main thread. Machine settings change under the engine lock; the tables are swapped in
// under it (refreshSectorTables).
class PageSettingsController : public QObject {
  Q_OBJECT

 public:
  struct Actions {
    std::function<void(bool shown)> showBackgroundReadout;  // "фон|>>": the readout over the program bar
    std::function<bool(const QString& title, const QString& question)> ask;
    // A sector of camera 1 was chosen in the list: the regulator applies itself again.
    std::function<void()> sectorChosen;
    // Sector editor pairs the regulator holds for the chosen camera-1 sector.
    std::function<HeldSectorBounds(std::optional<int32_t> sectorId)> heldSectorBounds;
    // The map was drawn again: the 3D view and the sample images follow it.
    std::function<void()> mapRedrawn;
  };

  PageSettingsController(PageSettings& page, Machine& machine, Actions actions, QObject* parent = nullptr);
  ~PageSettingsController() override;

  // 0 while "Камера 1" is on, else 1.
  int editedCamera() const;
  SectorListBox& editedList() const;
  const SectorLines& editedLines() const;
  std::optional<std::size_t> selectedEntry() const;

  // After a program load: the sector lines and the report of lines left out.
  void showProgram();
  // The regulator rewrote camera-1 sector lines: the list and the map show them, the selection stays.
  void sectorsChangedElsewhere();
  // "Скопировать в другую камеру": asks, then replaces the other camera's lines and black level.
  void copyToOtherCamera();

  // --- Sector list ---
  // A touch x pixels from the list's left edge on an entry (or below the last: nothing).
  void touchEntry(std::optional<std::size_t> index, int x);
  // "Фоновый|сектор", "Красный|сектор", "Синий|сектор": a new sector from the pending one.
  void createSector(int32_t type);
  // "X": asks, then empties the edited list.
  void deleteAllSectors();
  // "круг": asks, then the selected sector covers the whole colour space.
  void fullCircle();
  void stepBrightness(BrightnessStep step);
  void stepShape(ShapeStep step);
  // "ред|<<" / "ред|>>".
  void showSectorEditor(bool shown);

  // The sector the map's tools proposed (drag or sample); the sector buttons take it over.
  void setPendingSector(const ColorSector& pending);
  const ColorSector& pendingSector() const;
  // Draws the map with the edited list and its selection; the 3D view (when shown) and the sample
  // images follow.
  void redrawMap();
  // A touch on a sample image (Paint2, Paint3, and their copies on the single-tone page): the sector
  // proposal from the picture shown there.
  void sampleTouched(const QImage& picture, QPoint at, bool rightButton);
  // A sample picture elsewhere (the single-tone page's copies) whose touches propose sectors too.
  void watchSamplePicture(QLabel* picture);

  // --- 3D view ---
  // "3D|>>" / "3D|<<".
  void show3D(bool shown);
  void stepTilt(int delta);
  void stepTurn(int delta);
  // "Исходное|положение": the view turns back to its start in 21 frames.
  void returnToStart();
  const View3D& view3D() const { return *view3d_; }

  // A touch on blue-background label index (FRminLabel ... FBmaxLabel): it alone turns opaque grey
  // and is the one the arrows step. An index that names no label leaves none chosen.
  void chooseBlueFon(std::size_t index);
  std::optional<std::size_t> chosenBlueFon() const { return blueChoice_.chosen(); }
  // BlueFonLeftButton / BlueFonRightButton: the chosen value; nothing while none is chosen.
  void stepBlueFon(StepDirection direction);
  // BlackFonLeftButton / BlackFonRightButton: BlackFon of the edited camera, from its label.
  void stepBlackFon(StepDirection direction);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  SectorLines& editedLinesForChange();
  void editCamera(int camera);
  void showSectorList();
  void showBrightness(const BrightnessTexts& texts);
  void showHeldPairs();
  void placeSectorEditor();
  void listChanged(bool redraw);
  void showBlueFonChoice();
  // After every map redraw.
  void followMap();
  void show3DPicture();

  PageSettings& page_;
  Machine& machine_;
  Actions actions_;
  BlueFonChoice blueChoice_;
  std::unique_ptr<View3D> view3d_;
  std::vector<QLabel*> samplePictures_;
  bool switchingCamera_ = false;
};

}  // namespace tolvane
