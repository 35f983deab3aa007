#include "app/page_settings_controller.h"

#include <mutex>

#include "app/machine.h"
#include "app/page_settings.h"
#include "ejection/run_control.h"
#include "settings/sector_list.h"

namespace tolvane {

namespace {

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
