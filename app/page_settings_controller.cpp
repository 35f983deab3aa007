#include "app/page_settings_controller.h"

#include <QEvent>
#include <QMouseEvent>
#include <mutex>

#include "app/machine.h"
#include "app/page_common.h"
#include "app/page_settings.h"
#include "ejection/run_control.h"
#include "settings/sector_list.h"

namespace tolvane {

namespace {

// The chosen blue-background label (RGB 167, 167, 167).
constexpr QRgb kChosenLabelColor = 0xFFA7A7A7;

const QString kCopyQuestion = QStringLiteral(
    "Настройки цвета для другой камеры будут\nзамещены текущими настройками.\nВосстановление невозможно!\n"
    "Продолжить копирование?");

}  // namespace

PageSettingsController::PageSettingsController(PageSettings& page, Machine& machine, Actions actions,
                                               QObject* parent)
    : QObject(parent), page_(page), machine_(machine), actions_(std::move(actions)) {
  connect(page_.FonSwitch, &TasSwitch::switchedOn, this, [this](QObject*) {
    if (actions_.showBackgroundReadout) actions_.showBackgroundReadout(true);
  });
  connect(page_.FonSwitch, &TasSwitch::switchedOff, this, [this](QObject*) {
    if (actions_.showBackgroundReadout) actions_.showBackgroundReadout(false);
  });
  connect(page_.CopySectorsButton, &TasSwitch::clicked, this, [this](QObject*) { copyToOtherCamera(); });
  connect(page_.ColorCamEditSwitch1, &TasSwitch::switchedOn, this, [this](QObject*) { showSectorList(); });
  connect(page_.ColorCamEditSwitch1, &TasSwitch::switchedOff, this, [this](QObject*) { showSectorList(); });
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

bool PageSettingsController::eventFilter(QObject* watched, QEvent* event) {
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

int PageSettingsController::editedCamera() const { return page_.ColorCamEditSwitch1->stateOn() ? 0 : 1; }

void PageSettingsController::showProgram() {
  showSectorList();
  const std::string& report = machine_.sectorReport();
  page_.SectorStatusLabel->setText(report.empty() ? QString()
                                                  : QStringLiteral("Строки секторов не загружены:\n") +
                                                        QString::fromStdString(report));
  page_.SectorStatusLabel->setVisible(!report.empty());
  page_.Label33->setVisible(report.empty());
}

void PageSettingsController::showSectorList() {
  page_.BoxSectorA->clear();
  for (const std::string& line : machine_.sorter().Sectors[static_cast<std::size_t>(editedCamera())]) {
    page_.BoxSectorA->addItem(QString::fromStdString(line));
  }
}

void PageSettingsController::copyToOtherCamera() {
  if (!actions_.ask ||
      !actions_.ask(QString::fromUtf8(kQuestionTitle.data(), static_cast<qsizetype>(kQuestionTitle.size())),
                    kCopyQuestion))
    return;
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
}

}  // namespace tolvane
