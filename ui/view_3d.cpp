#include "ui/view_3d.h"

#include <QFont>
#include <QRect>
#include <QString>

namespace tolvane {

View3D::View3D() : canvas_(kView3DCanvasSize, kView3DCanvasSize) {
  canvas_.ClearCol(0, 0, 0);
  canvas_.SetColor(kRgbWhite);
}

void View3D::rebuild(const SectorLines& lines) { objects_.rebuild(canvas_, lines); }

void View3D::redraw() {
  objects_.redraw(canvas_, [this](const ViewLabels& labels) {
    QFont font;
    font.setBold(true);
    canvas_.SetColor(Objects3D::kAxesColor);
    for (const ViewLabel& label : labels) {
      canvas_.TextOut(label.x, label.y,
                      QString::fromLatin1(label.text.data(), static_cast<qsizetype>(label.text.size())),
                      font);
    }
  });
}

void View3D::stepTilt(int delta) {
  objects_.stepTilt(delta);
  redraw();
}

void View3D::stepTurn(int delta) {
  objects_.stepTurn(delta);
  redraw();
}

std::vector<std::pair<int, int>> View3D::returnToStartFrames() const {
  std::vector<std::pair<int, int>> frames;
  for (const ViewAngles& a : Objects3D::returnToStartFrames(objects_.angles())) {
    frames.emplace_back(a.tilt, a.turn);
  }
  return frames;
}

void View3D::setAngles(int tilt, int turn) { objects_.setAngles({tilt, turn}); }

QImage View3D::viewImage(QSize size) const {
  if (size.isEmpty()) {
    return {};
  }
  const QImage whole(canvas_.data(), canvas_.width(), canvas_.height(), canvas_.stride(),
                     QImage::Format_RGB888);
  return whole.copy(QRect(QPoint(0, 0), size));
}

}  // namespace tolvane
