#include "app/an_form.h"

namespace tolvane {

TAnForm::TAnForm(QWidget* parent) : QWidget(parent, Qt::Window) { setObjectName(QStringLiteral("AnForm")); }

TAnForm::~TAnForm() = default;

}  // namespace tolvane
