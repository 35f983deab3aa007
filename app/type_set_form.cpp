#include "app/type_set_form.h"

namespace tolvane {

TTypeSetForm::TTypeSetForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("TypeSetForm"));
}

TTypeSetForm::~TTypeSetForm() = default;

}  // namespace tolvane
