#include "app/page_settings_controller.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <algorithm>
#include <mutex>

#include "app/machine.h"
#include "app/page_common.h"
#include "app/page_settings.h"
#include "app/sector_list_box.h"
#include "app/sector_tables_refresh.h"
#include "ejection/run_control.h"
#include "ui/view_3d.h"

namespace tolvane {

namespace {

// The chosen blue-background label (RGB 167, 167, 167).
constexpr QRgb kChosenLabelColor = 0xFFA7A7A7;

const QString kCopyQuestion = QStringLiteral(
    "Настройки цвета для другой камеры будут\nзамещены текущими настройками.\nВосстановление невозможно!\n"
    "Продолжить копирование?");
const QString kDeleteQuestion = QStringLiteral("Удалить сектор?");
const QString kDeleteAllQuestion =
    QStringLiteral("Будет произведено удаление всех секторов текущей настройки. Продолжить?");
const QString kFullCircleQuestion =
    QStringLiteral("Текущий сектор будет дополнен до полного круга (цилиндра). Продолжить?");

QString questionTitle() {
  return QString::fromUtf8(kQuestionTitle.data(), static_cast<qsizetype>(kQuestionTitle.size()));
}

}  // namespace

PageSettingsController::PageSettingsController(PageSettings& page, Machine& machine, Actions actions,
                                               QObject* parent)
    : QObject(parent),
      page_(page),
      machine_(machine),
      actions_(std::move(actions)),
      view3d_(std::make_unique<View3D>()) {
  // A press on the map closes the sector editor before the map is drawn again.
  connect(page_.HSVpaint, &HsvMapWidget::pressed, this,
          [this] { page_.SectorEditorSwitch->setStateOn(false); });
  connect(page_.HSVpaint, &HsvMapWidget::mapRedrawn, this, [this] { followMap(); });
  watchSamplePicture(page_.Paint2);
  watchSamplePicture(page_.Paint3);

  connect(page_.Panel3DSwitch, &TasSwitch::switchedOn, this, [this](QObject*) { show3D(true); });
  connect(page_.Panel3DSwitch, &TasSwitch::switchedOff, this, [this](QObject*) { show3D(false); });
  connect(page_.turn3DUpButton, &TasSwitch::clicked, this, [this](QObject*) { stepTilt(1); });
  connect(page_.turn3DDownButton, &TasSwitch::clicked, this, [this](QObject*) { stepTilt(-1); });
  connect(page_.turn3DLeftButton, &TasSwitch::clicked, this, [this](QObject*) { stepTurn(-1); });
  connect(page_.turn3DRightButton, &TasSwitch::clicked, this, [this](QObject*) { stepTurn(1); });
  connect(page_.turnBeginButton, &TasSwitch::clicked, this, [this](QObject*) { returnToStart(); });
  connect(page_.FonSwitch, &TasSwitch::switchedOn, this, [this](QObject*) {
    if (actions_.showBackgroundReadout) actions_.showBackgroundReadout(true);
  });
  connect(page_.FonSwitch, &TasSwitch::switchedOff, this, [this](QObject*) {
    if (actions_.showBackgroundReadout) actions_.showBackgroundReadout(false);
  });
  connect(page_.CopySectorsButton, &TasSwitch::clicked, this, [this](QObject*) { copyToOtherCamera(); });

  // The two camera switches work as a pair: exactly one is lit, a touch on the lit one keeps it.
  connect(page_.ColorCamEditSwitch1, &TasSwitch::switchedOn, this, [this](QObject*) { editCamera(0); });
  connect(page_.ColorCamEditSwitch2, &TasSwitch::switchedOn, this, [this](QObject*) { editCamera(1); });
  connect(page_.ColorCamEditSwitch1, &TasSwitch::switchedOff, this, [this](QObject*) {
    if (!switchingCamera_) page_.ColorCamEditSwitch1->setStateOn(true);
  });
  connect(page_.ColorCamEditSwitch2, &TasSwitch::switchedOff, this, [this](QObject*) {
    if (!switchingCamera_) page_.ColorCamEditSwitch2->setStateOn(true);
  });

  for (SectorListBox* list : {page_.BoxSectorA, page_.BoxSectorB}) {
    connect(list, &SectorListBox::entryPressed, this, [this, list](std::optional<std::size_t> row, int x) {
      if (list == &editedList()) touchEntry(row, x);
    });
    // Released: the selected sector is drawn thick.
    connect(list, &SectorListBox::entryReleased, this, [this] { redrawMap(); });
  }
  connect(page_.BackgroundSectorButton, &TasSwitch::clicked, this,
          [this](QObject*) { createSector(kSectorBackground); });
  connect(page_.RedSectorButton, &TasSwitch::clicked, this, [this](QObject*) { createSector(kSectorRed); });
  connect(page_.BlueSectorButton, &TasSwitch::clicked, this, [this](QObject*) { createSector(kSectorBlue); });
  connect(page_.DeleteAllSectorsButton, &TasSwitch::clicked, this, [this](QObject*) { deleteAllSectors(); });
  connect(page_.FullCircleButton, &TasSwitch::clicked, this, [this](QObject*) { fullCircle(); });

  const std::pair<TasSwitch*, BrightnessStep> brightness[] = {
      {page_.vMinMinus, BrightnessStep::kVMinMinus},
      {page_.vMinPlus, BrightnessStep::kVMinPlus},
      {page_.vMaxMinus, BrightnessStep::kVMaxMinus},
      {page_.vMaxPlus, BrightnessStep::kVMaxPlus},
  };
  for (const auto& [button, step] : brightness) {
    connect(button, &TasSwitch::clicked, this, [this, step](QObject*) { stepBrightness(step); });
  }
  const std::pair<TasSwitch*, ShapeStep> shape[] = {
      {page_.SE_LeftM_Button, ShapeStep::kLeftMinus},     {page_.SE_LeftP_Button, ShapeStep::kLeftPlus},
      {page_.SE_RightM_Button, ShapeStep::kRightMinus},   {page_.SE_RightP_Button, ShapeStep::kRightPlus},
      {page_.SE_BottomM_Button, ShapeStep::kBottomMinus}, {page_.SE_BottomP_Button, ShapeStep::kBottomPlus},
      {page_.SE_TopM_Button, ShapeStep::kTopMinus},       {page_.SE_TopP_Button, ShapeStep::kTopPlus},
  };
  for (const auto& [button, step] : shape) {
    connect(button, &TasSwitch::clicked, this, [this, step](QObject*) { stepShape(step); });
  }
  connect(page_.SectorEditorSwitch, &TasSwitch::switchedOn, this,
          [this](QObject*) { showSectorEditor(true); });
  connect(page_.SectorEditorSwitch, &TasSwitch::switchedOff, this,
          [this](QObject*) { showSectorEditor(false); });

  for (QLabel* label : page_.blueFonLabels) label->installEventFilter(this);
  connect(page_.BlueFonLeftButton, &TasSwitch::clicked, this,
          [this](QObject*) { stepBlueFon(StepDirection::kDown); });
  connect(page_.BlueFonRightButton, &TasSwitch::clicked, this,
          [this](QObject*) { stepBlueFon(StepDirection::kUp); });
  connect(page_.BlackFonLeftButton, &TasSwitch::clicked, this,
          [this](QObject*) { stepBlackFon(StepDirection::kDown); });
  connect(page_.BlackFonRightButton, &TasSwitch::clicked, this,
          [this](QObject*) { stepBlackFon(StepDirection::kUp); });
  showBlueFonChoice();
}

PageSettingsController::~PageSettingsController() = default;

bool PageSettingsController::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress &&
      std::find(samplePictures_.begin(), samplePictures_.end(), watched) != samplePictures_.end()) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const auto* sample = static_cast<QLabel*>(watched);
    sampleTouched(sample->pixmap().toImage(), mouse->position().toPoint(),
                  mouse->button() == Qt::RightButton);
    return true;
  }
  if (event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    for (std::size_t i = 0; i < page_.blueFonLabels.size(); ++i) {
      if (watched == page_.blueFonLabels[i]) {
        chooseBlueFon(i);
        return true;
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

// --- Edited camera ---------------------------------------------------------------------------

int PageSettingsController::editedCamera() const { return page_.ColorCamEditSwitch1->stateOn() ? 0 : 1; }

SectorListBox& PageSettingsController::editedList() const {
  return editedCamera() == 0 ? *page_.BoxSectorA : *page_.BoxSectorB;
}

const SectorLines& PageSettingsController::editedLines() const {
  return machine_.sorter().Sectors[static_cast<std::size_t>(editedCamera())];
}

SectorLines& PageSettingsController::editedLinesForChange() {
  return machine_.sorter().Sectors[static_cast<std::size_t>(editedCamera())];
}

std::optional<std::size_t> PageSettingsController::selectedEntry() const {
  return editedList().selectedEntry();
}

void PageSettingsController::editCamera(int camera) {
  switchingCamera_ = true;
  (camera == 0 ? page_.ColorCamEditSwitch2 : page_.ColorCamEditSwitch1)->setStateOn(false);
  switchingCamera_ = false;
  page_.BoxSectorA->setVisible(camera == 0);
  page_.BoxSectorB->setVisible(camera == 1);
  page_.BlackFonLabelB->setVisible(camera == 1);
  showSectorList();
  showHeldPairs();
  refreshSectorTables(machine_);
  redrawMap();
}

// --- Program ---------------------------------------------------------------------------------

void PageSettingsController::showProgram() {
  page_.BoxSectorA->showLines(machine_.sorter().Sectors[0], std::nullopt);
  page_.BoxSectorB->showLines(machine_.sorter().Sectors[1], std::nullopt);
  showBrightness({"000", "000"});
  showHeldPairs();
  const std::string& report = machine_.sectorReport();
  page_.SectorStatusLabel->setText(report.empty() ? QString()
                                                  : QStringLiteral("Строки секторов не загружены:\n") +
                                                        QString::fromStdString(report));
  page_.SectorStatusLabel->setVisible(!report.empty());
  page_.Label33->setVisible(report.empty());
  redrawMap();
}

void PageSettingsController::sectorsChangedElsewhere() {
  showSectorList();
  redrawMap();
}

void PageSettingsController::showSectorList() {
  for (int camera = 0; camera < 2; ++camera) {
    SectorListBox* list = camera == 0 ? page_.BoxSectorA : page_.BoxSectorB;
    list->showLines(machine_.sorter().Sectors[static_cast<std::size_t>(camera)], list->selectedEntry());
  }
}

void PageSettingsController::copyToOtherCamera() {
  if (!actions_.ask || !actions_.ask(questionTitle(), kCopyQuestion)) return;
  const int edited = editedCamera();
  {
    std::lock_guard lock(machine_.engine().engineLock);
    copySectorsToOtherCamera(machine_.sorter().Sectors, edited);
  }
  if (edited == 0) {
    page_.BlackFonLabelB->setText(page_.BlackFonLabelA->text());
  } else {
    page_.BlackFonLabelA->setText(page_.BlackFonLabelB->text());
  }
  showSectorList();
  refreshSectorTables(machine_);
}

// --- Sector list -----------------------------------------------------------------------------

void PageSettingsController::listChanged(bool redraw) {
  showSectorList();
  refreshSectorTables(machine_);
  if (redraw) redrawMap();
}

void PageSettingsController::showBrightness(const BrightnessTexts& texts) {
  page_.vMinLabel->setText(QString::fromStdString(texts.vMin));
  page_.vMaxLabel->setText(QString::fromStdString(texts.vMax));
}

void PageSettingsController::showHeldPairs() {
  HeldSectorBounds held{};
  const std::optional<std::size_t> selected = selectedEntry();
  if (editedCamera() == 0 && selected && actions_.heldSectorBounds) {
    const std::optional<ColorSector> sector = parseSectorLine(editedLines()[*selected]);
    if (sector) held = actions_.heldSectorBounds(sector->ID);
  }
  const auto isHeld = [&held](SectorBound bound) { return held[static_cast<std::size_t>(bound)]; };
  page_.SE_BottomM_Button->setVisible(!isHeld(SectorBound::kSMin));
  page_.SE_BottomP_Button->setVisible(!isHeld(SectorBound::kSMin));
  page_.SE_LeftM_Button->setVisible(!isHeld(SectorBound::kHMin));
  page_.SE_LeftP_Button->setVisible(!isHeld(SectorBound::kHMin));
  page_.SE_TopM_Button->setVisible(!isHeld(SectorBound::kSMax));
  page_.SE_TopP_Button->setVisible(!isHeld(SectorBound::kSMax));
  page_.SE_RightM_Button->setVisible(!isHeld(SectorBound::kHMax));
  page_.SE_RightP_Button->setVisible(!isHeld(SectorBound::kHMax));
}

void PageSettingsController::touchEntry(std::optional<std::size_t> index, int x) {
  SectorListBox& list = editedList();
  SectorLines& lines = editedLinesForChange();
  if (!index || *index >= lines.size()) {
    list.showLines(lines, std::nullopt);
    showHeldPairs();
    return;
  }
  std::optional<std::size_t> selected = index;
  switch (sectorTouchZone(x)) {
    case SectorTouchZone::kToggle:
      toggleSectorActive(lines, *index);
      break;
    case SectorTouchZone::kDelete:
      list.showLines(lines, selected);
      if (actions_.ask && actions_.ask(questionTitle(), kDeleteQuestion)) {
        deleteSector(lines, *index);
        selected.reset();
      }
      break;
    case SectorTouchZone::kSelect:
      break;
  }
  if (selected) showBrightness(sectorBrightnessTexts(lines[*selected]));
  list.showLines(lines, selected);
  refreshSectorTables(machine_);
  redrawMap();
  if (editedCamera() == 0 && selected && actions_.sectorChosen) actions_.sectorChosen();
  showHeldPairs();
  if (!page_.SectorEditorPanel->isHidden()) placeSectorEditor();
}

void PageSettingsController::createSector(int32_t type) {
  SectorListBox& list = editedList();
  SectorLines& lines = editedLinesForChange();
  tolvane::createSector(lines, pendingSector(), type);
  // As after a touch on the entry shown at the top of the list.
  const QModelIndex top = list.indexAt(QPoint(100, 1));
  const std::size_t selected = top.isValid() ? static_cast<std::size_t>(top.row()) : 0;
  if (selected < lines.size()) showBrightness(sectorBrightnessTexts(lines[selected]));
  list.showLines(lines, selected < lines.size() ? std::optional<std::size_t>(selected) : std::nullopt);
  refreshSectorTables(machine_);
  redrawMap();
  showHeldPairs();
}

void PageSettingsController::deleteAllSectors() {
  if (actions_.ask && actions_.ask(questionTitle(), kDeleteAllQuestion)) {
    tolvane::deleteAllSectors(editedLinesForChange());
    editedList().showLines(editedLines(), std::nullopt);
    redrawMap();
    showHeldPairs();
  }
  refreshSectorTables(machine_);
}

void PageSettingsController::fullCircle() {
  if (!actions_.ask || !actions_.ask(questionTitle(), kFullCircleQuestion)) return;
  const std::optional<std::size_t> selected = selectedEntry();
  if (!selected) return;
  if (makeFullCircle(editedLinesForChange(), *selected) != SectorEdit::kDone) return;
  showBrightness(sectorBrightnessTexts(editedLines()[*selected]));
  listChanged(true);
}

void PageSettingsController::stepBrightness(BrightnessStep step) {
  const std::optional<std::size_t> selected = selectedEntry();
  if (selected) {
    if (const auto texts = stepSectorBrightness(editedLinesForChange(), *selected, step))
      showBrightness(*texts);
  }
  // The brightness does not show on the map.
  listChanged(false);
}

void PageSettingsController::stepShape(ShapeStep step) {
  const std::optional<std::size_t> selected = selectedEntry();
  if (!selected) return;
  if (stepSectorShape(editedLinesForChange(), *selected, step) != SectorEdit::kDone) return;
  listChanged(true);
}

void PageSettingsController::showSectorEditor(bool shown) {
  page_.SectorEditorSwitch->setCaption(shown ? QStringLiteral("ред|>>") : QStringLiteral("ред|<<"));
  page_.SectorEditorPanel->setVisible(shown);
  if (!shown) return;
  placeSectorEditor();
  page_.SectorEditorPanel->raise();
}

// The editor covers a quarter of the map: the one opposite the selected sector, so that the operator
// sees the outline move; the map's switches stay free.
void PageSettingsController::placeSectorEditor() {
  std::optional<ColorSector> sector;
  if (const auto selected = selectedEntry()) sector = parseSectorLine(editedLines()[*selected]);
  int64_t middle = 45;  // no selection: the free top-left quarter
  if (sector) {
    const int64_t to = sector->HMAX < sector->HMIN ? int64_t{sector->HMAX} + 360 : int64_t{sector->HMAX};
    middle = ((int64_t{sector->HMIN} + to) / 2 % 360 + 360) % 360;
  }
  const QWidget* map = page_.HSVpaint->parentWidget();
  const int size = page_.SectorEditorPanel->width();
  const int left = map->x() + 72;
  const int right = map->x() + map->width() - size;
  const int top = map->y() + 56;
  const int bottom = map->y() + map->height() - size;
  // Hue runs clockwise from the right: 0..90 is the bottom-right quarter.
  QPoint at;
  if (middle < 90) {
    at = {left, top};
  } else if (middle < 180) {
    at = {right, top};
  } else if (middle < 270) {
    at = {right, bottom};
  } else {
    at = {left, bottom};
  }
  page_.SectorEditorPanel->move(at);
}

void PageSettingsController::setPendingSector(const ColorSector& pending) {
  page_.HSVpaint->setPending(pending);
}

const ColorSector& PageSettingsController::pendingSector() const { return page_.HSVpaint->pending(); }

void PageSettingsController::redrawMap() {
  page_.HSVpaint->setSectorList(&editedLines(), selectedEntry());
  page_.HSVpaint->redrawMap();
}

void PageSettingsController::followMap() {
  if (!page_.Panel3D->isHidden()) {
    view3d_->rebuild(editedLines());
    view3d_->redraw();
    show3DPicture();
  }
  if (actions_.mapRedrawn) actions_.mapRedrawn();
}

void PageSettingsController::watchSamplePicture(QLabel* picture) {
  samplePictures_.push_back(picture);
  picture->installEventFilter(this);
}

void PageSettingsController::sampleTouched(const QImage& picture, QPoint at, bool rightButton) {
  const QString meanV = page_.HSVpaint->proposeFromSample(picture, at, rightButton);
  if (!meanV.isEmpty()) page_.V_Label->setText(meanV);
}

// --- 3D view ---------------------------------------------------------------------------------

void PageSettingsController::show3DPicture() {
  page_.Paint3D->setPixmap(QPixmap::fromImage(view3d_->viewImage(page_.Paint3D->size())));
}

void PageSettingsController::show3D(bool shown) {
  page_.Panel3DSwitch->setCaption(shown ? QStringLiteral("3D|<<") : QStringLiteral("3D|>>"));
  page_.Panel3D->setVisible(shown);
  if (!shown) return;
  page_.Panel3D->raise();
  view3d_->rebuild(editedLines());
  show3DPicture();
}

void PageSettingsController::stepTilt(int delta) {
  view3d_->stepTilt(delta);
  show3DPicture();
}

void PageSettingsController::stepTurn(int delta) {
  view3d_->stepTurn(delta);
  show3DPicture();
}

void PageSettingsController::returnToStart() {
  for (const auto& [tilt, turn] : view3d_->returnToStartFrames()) {
    view3d_->setAngles(tilt, turn);
    view3d_->redraw();
    show3DPicture();
    // Each frame reaches the screen before the next one is drawn.
    page_.Paint3D->repaint();
  }
}

// --- Blue and black background ---------------------------------------------------------------

void PageSettingsController::chooseBlueFon(std::size_t index) {
  blueChoice_.touch(index);
  showBlueFonChoice();
}

void PageSettingsController::showBlueFonChoice() {
  for (std::size_t i = 0; i < page_.blueFonLabels.size(); ++i) {
    QLabel* label = page_.blueFonLabels[i];
    const bool chosen = blueChoice_.isChosen(i);
    label->setAutoFillBackground(chosen);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(kChosenLabelColor));
    label->setPalette(palette);
    setLabelTextColor(label, chosen ? QColor(Qt::black) : QColor::fromRgb(kTextColor));
  }
}

void PageSettingsController::stepBlueFon(StepDirection direction) {
  const std::optional<std::size_t> chosen = blueChoice_.chosen();
  if (!chosen) return;
  QLabel* label = page_.blueFonLabels[*chosen];
  const std::string text = label->text().toStdString();
  std::optional<LabelStep> stepped;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    stepped = tolvane::stepBlueFon(machine_.machine(), chosen, direction, text);
  }
  if (stepped) label->setText(QString::fromStdString(stepped->text));
}

void PageSettingsController::stepBlackFon(StepDirection direction) {
  const int camera = editedCamera();
  QLabel* label = camera == 0 ? page_.BlackFonLabelA : page_.BlackFonLabelB;
  const std::string text = label->text().toStdString();
  std::optional<LabelStep> stepped;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    stepped = tolvane::stepBlackFon(machine_.machine(), camera, direction, text);
  }
  if (stepped) label->setText(QString::fromStdString(stepped->text));
}

}  // namespace tolvane
