#include "app/shape_template_controller.h"

#include <mutex>

#include "app/machine.h"
#include "app/page_common.h"
#include "app/page_work.h"
#include "settings/stored_controls.h"

namespace tolvane {

ShapeTemplateController::ShapeTemplateController(PageWork& page, Machine& machine, QObject* parent)
    : QObject(parent), page_(page), machine_(machine) {
  connect(page_.Forma_Edit, &TasSwitch::clicked, this, [this](QObject*) { open(); });
  connect(page_.FormImage, &TouchLabel::touched, this, &ShapeTemplateController::draw);
  connect(page_.FormaLeftUp, &TasSwitch::clicked, this, [this](QObject*) { bend(true); });
  connect(page_.FormaRightDown, &TasSwitch::clicked, this, [this](QObject*) { bend(false); });
  connect(page_.FormaOk, &TasSwitch::clicked, this, [this](QObject*) { confirm(); });
}

void ShapeTemplateController::open() {
  page_.FrmEditPanel->show();
  page_.FrmEditPanel->raise();
  draw();
}

void ShapeTemplateController::draw() {
  const SorterSettings& s = machine_.sorter();
  view_ = drawShapeTemplate(picture_, ShapeTemplate{s.valN1, s.valN2});
  picture_.SetColor(QColor(Qt::black));
  picture_.TextOut(kShapeRatioTextX, kShapeRatioTextY, QString::fromStdString(view_.ratioText),
                   screenFont(48, true));
  page_.FormImage->setPixmap(QPixmap::fromImage(picture_.toImage()));
}

void ShapeTemplateController::bend(bool left) {
  SorterSettings& s = machine_.sorter();
  ShapeTemplate shape{s.valN1, s.valN2};
  if (left ? bendLeft(shape) : bendRight(shape)) {
    std::lock_guard lock(machine_.engine().engineLock);
    s.valN1 = shape.valN1;
    s.valN2 = shape.valN2;
  }
  draw();
}

void ShapeTemplateController::confirm() {
  draw();
  if (view_.ratio) {
    {
      std::lock_guard lock(machine_.engine().engineLock);
      machine_.sorter().ifForma = *view_.ratio;
    }
    page_.conditions[PageWork::kFormaRow].threshold.value->setText(
        QString::fromStdString(numberLabelText(*view_.ratio)));
  }
  page_.FrmEditPanel->hide();
  // Hidden under the finger, "Ok" sees no release to spring back with.
  page_.FormaOk->setStateOn(false);
}

void ShapeTemplateController::showProgram() {
  if (!page_.FrmEditPanel->isHidden()) draw();
}

}  // namespace tolvane
