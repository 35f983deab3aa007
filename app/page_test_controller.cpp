#include "app/page_test_controller.h"

#include <QEvent>
#include <QLineEdit>
#include <QPointer>
#include <array>
#include <mutex>
#include <string>

#include "app/key_form.h"
#include "app/machine.h"
#include "app/page_egectors_controller.h"
#include "app/page_test.h"
#include "colour_tools/colour_calculator.h"
#include "settings/machine_settings.h"
#include "settings/stored_controls.h"

namespace tolvane {

PageTestController::PageTestController(PageTest& page, Machine& machine, PageEgectorsController& ejectors,
                                       QObject* parent)
    : QObject(parent), page_(page), machine_(machine), ejectors_(ejectors) {
  connect(page_.asSwitch3, &TasSwitch::clicked, this, [this](QObject*) { asSwitch3Click(); });
  for (const bool maxObject : {false, true}) {
    const StepperRow& row = maxObject ? page_.MaxObject : page_.MaxTime;
    connect(row.left, &TasSwitch::clicked, this,
            [this, maxObject](QObject*) { stepHiddenParameter(maxObject, StepDirection::kDown); });
    connect(row.right, &TasSwitch::clicked, this,
            [this, maxObject](QObject*) { stepHiddenParameter(maxObject, StepDirection::kUp); });
  }
  connect(page_.RgbToHsvButton, &QPushButton::clicked, this, [this] { convertColour(true); });
  connect(page_.HsvToRgbButton, &QPushButton::clicked, this, [this] { convertColour(false); });
}

void PageTestController::convertColour(bool toHsv) {
  const std::array<QLineEdit*, 3> rgb = {page_.R_ed, page_.G_ed, page_.B_ed};
  const std::array<QLineEdit*, 3> hsv = {page_.H_ed, page_.S_ed, page_.V_ed};
  const std::array<QLineEdit*, 3>& from = toHsv ? rgb : hsv;
  const std::array<QLineEdit*, 3>& to = toHsv ? hsv : rgb;
  const std::string a = from[0]->text().toStdString();
  const std::string b = from[1]->text().toStdString();
  const std::string c = from[2]->text().toStdString();
  const ColourFields result = toHsv ? rgbToHsvFields(a, b, c) : hsvToRgbFields(a, b, c);
  for (std::size_t i = 0; i < to.size(); ++i) to[i]->setText(QString::fromStdString(result[i]));
}

void PageTestController::stepHiddenParameter(bool maxObject, StepDirection direction) {
  const KeyRange* range = machineKeyRange(maxObject ? "MaxObject" : "MaxTime");
  QLabel* label = (maxObject ? page_.MaxObject : page_.MaxTime).value;
  if (range == nullptr) return;
  const std::optional<std::int32_t> stepped =
      stepLabel(label->text().toStdString(), direction, range->min, range->max);
  if (!stepped) return;  // a label without a number leaves the value alone
  const std::int32_t value = *stepped;
  {
    std::lock_guard lock(machine_.engine().engineLock);
    (maxObject ? machine_.machine().MaxObject : machine_.machine().MaxTime) = value;
  }
  label->setText(QString::fromStdString(numberLabelText(value)));
}

void PageTestController::asSwitch3Click() { ejectors_.runServiceEjectorTest(page_.SpinEdit1->value()); }

void PageTestController::bindKeyboard(std::function<TKeyForm&()> keyboard) {
  keyboard_ = std::move(keyboard);
  for (QLineEdit* field : {page_.R_ed, page_.G_ed, page_.B_ed, page_.H_ed, page_.S_ed, page_.V_ed}) {
    field->installEventFilter(this);
  }
}

bool PageTestController::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease && keyboard_) {
    if (auto* field = qobject_cast<QLineEdit*>(watched)) {
      // The field's own letter ("R", "H" ...) heads the keyboard.
      const QString heading = QStringLiteral("Цветовой калькулятор: ") + field->objectName().left(1);
      QPointer<QLineEdit> target(field);
      keyboard_().openForValue(heading, field->text(), [target](const QString& text) {
        if (target) target->setText(text);
      });
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tolvane
