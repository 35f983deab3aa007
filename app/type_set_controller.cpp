#include "app/type_set_controller.h"

#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>

#include "app/type_set_form.h"
#include "service/dw_time.h"
#include "service/jpeg_picture.h"
#include "settings/preset_setups.h"
#include "settings/settings_recovery.h"
#include "settings/side_files.h"
#include "ui/tas_switch.h"

namespace tolvane {

namespace {

QString qText(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

const QString kQuestionTitle = QStringLiteral("Вопрос...");

}  // namespace

TypeSetController::TypeSetController(TTypeSetForm& form, std::filesystem::path programFile,
                                     PresetPictureSource pictures, Actions actions, QObject* parent)
    : QObject(parent),
      form_(form),
      programFile_(std::move(programFile)),
      pictures_(std::move(pictures)),
      actions_(std::move(actions)) {
  for (const PresetSetup& preset : presetSetups()) {
    auto* item = new QListWidgetItem(qText(preset.listText), form_.BoxSettings);
    item->setSizeHint(QSize(0, 42));
  }
  connect(form_.BoxSettings, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) choosePreset(row);
  });
  connect(form_.SettingsPictureButton, &TasSwitch::clicked, this, [this] { showPicture(false); });
  connect(form_.WorkPictureButton, &TasSwitch::clicked, this, [this] { showPicture(true); });
  connect(form_.ApplyButton, &TasSwitch::clicked, this, [this] { applyChosen(); });
  connect(form_.FactoryButton, &TasSwitch::clicked, this, [this] { factoryReset(); });
  connect(form_.RollbackButton, &TasSwitch::clicked, this, [this] { rollback(); });
  connect(form_.ExitButton, &TasSwitch::clicked, &form_, &QWidget::hide);

  choosePreset(0);
  showRollbackButton();
}

void TypeSetController::open() {
  showRollbackButton();
  form_.show();
  form_.raise();
  form_.activateWindow();
}

void TypeSetController::choosePreset(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= kPresetCount) return;
  chosen_ = static_cast<std::size_t>(index);
  work_ = false;
  if (form_.BoxSettings->currentRow() != index) form_.BoxSettings->setCurrentRow(index);
  showChosen();
}

void TypeSetController::showPicture(bool work) {
  work_ = work;
  showChosen();
}

void TypeSetController::showChosen() {
  const PresetSetup& preset = presetSetups()[chosen_];
  form_.Description->setText(qText(preset.description));
  form_.SettingsPictureButton->setStateOn(!work_);
  form_.WorkPictureButton->setStateOn(work_);

  const std::string_view name = work_ ? preset.workPicture : preset.settingsPicture;
  const std::span<const std::byte> bytes = pictures_ ? pictures_(name) : std::span<const std::byte>();
  const std::optional<Rgb24Canvas> picture = decodeJpeg(bytes);
  if (!picture) {
    // The window stays usable without its pictures; the text says which one is missing.
    form_.Picture->setPixmap(QPixmap());
    form_.Picture->setText(QStringLiteral("Картинка %1 отсутствует").arg(qText(name)));
    return;
  }
  const QImage image(picture->data(), picture->width(), picture->height(),
                     static_cast<qsizetype>(picture->stride()), QImage::Format_RGB888);
  form_.Picture->setText(QString());
  form_.Picture->setPixmap(QPixmap::fromImage(image.copy()));
}

void TypeSetController::applyChosen() {
  if (!actions_.ask(kQuestionTitle, qText(kApplyPresetQuestion))) return;
  actions_.applyPreset(chosen_);
}

void TypeSetController::factoryReset() {
  if (!actions_.ask(kQuestionTitle, qText(kFactoryResetQuestion))) return;
  const RecoveryResult result = tolvane::factoryReset(programFile_);
  showRollbackButton();
  if (result.outcome != RecoveryOutcome::kDone) {
    actions_.tell(QString::fromStdString(result.message));
    return;
  }
  actions_.restartOnNewSettings();
}

void TypeSetController::rollback() {
  if (!actions_.ask(kQuestionTitle, qText(kRollbackQuestion))) return;
  const RecoveryResult result = rollbackToBackup(programFile_);
  showRollbackButton();
  if (result.outcome != RecoveryOutcome::kDone) {
    actions_.tell(QString::fromStdString(result.message));
    return;
  }
  actions_.restartOnNewSettings();
}

void TypeSetController::showRollbackButton() {
  const RollbackButtonView view = rollbackButtonView(FileDateText(settingsBackupPath(programFile_)));
  form_.RollbackButton->setEnabled(view.enabled);
  form_.RollbackButton->setCaption(QString::fromStdString(view.caption));
}

}  // namespace tolvane
