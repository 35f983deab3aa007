#include "app/key_form.h"

namespace tolvane {

TKeyForm::TKeyForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("KeyForm"));
}

TKeyForm::~TKeyForm() = default;

void TKeyForm::openFor(int, const QString&) {}

}  // namespace tolvane
