#include "ui/bitmap_util.h"

#include <QFontMetrics>
#include <QPen>
#include <algorithm>

namespace tolvane {

Rgb24 TBitMapUtil::toRgb(const QColor& color) {
  const QColor c = color.toRgb();
  return {static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
          static_cast<std::uint8_t>(c.blue())};
}

QColor TBitMapUtil::toQColor(Rgb24 color) { return QColor(color.r, color.g, color.b); }

QImage TBitMapUtil::image() {
  if (width() == 0 || height() == 0) {
    return {};
  }
  return QImage(data(), width(), height(), stride(), QImage::Format_RGB888);
}

QImage TBitMapUtil::toImage() const {
  if (width() == 0 || height() == 0) {
    return {};
  }
  return QImage(data(), width(), height(), stride(), QImage::Format_RGB888).copy();
}

BitmapPainter::BitmapPainter(TBitMapUtil& bitmap) : image_(bitmap.image()) {
  if (image_.isNull()) {
    return;
  }
  painter_.begin(&image_);
  QPen pen(TBitMapUtil::toQColor(bitmap.penColor()));
  pen.setWidth(bitmap.penWidth());
  painter_.setPen(pen);
  painter_.setBrush(TBitMapUtil::toQColor(bitmap.brushColor()));
}

BitmapPainter::~BitmapPainter() {
  if (painter_.isActive()) {
    painter_.end();
  }
}

void TBitMapUtil::Ellipse(int x1, int y1, int x2, int y2) {
  BitmapPainter p(*this);
  if (!p.isActive()) {
    return;
  }
  const QRect box = QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)))
                        .adjusted(0, 0, -1, -1);
  p->drawEllipse(box.adjusted(0, 0, -1, -1));
}

void TBitMapUtil::Rectangle(int x1, int y1, int x2, int y2) {
  BitmapPainter p(*this);
  if (!p.isActive()) {
    return;
  }
  const QRect box = QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)))
                        .adjusted(0, 0, -1, -1);
  p->drawRect(box.adjusted(0, 0, -1, -1));
}

void TBitMapUtil::TextOut(int x, int y, const QString& text, const QFont& font) {
  BitmapPainter p(*this);
  if (!p.isActive()) {
    return;
  }
  p->setFont(font);
  p->drawText(x, y + QFontMetrics(font).ascent(), text);
}

void TBitMapUtil::Draw(int x, int y, const QImage& source) {
  BitmapPainter p(*this);
  if (!p.isActive() || source.isNull()) {
    return;
  }
  p->drawImage(x, y, source);
}

}  // namespace tolvane
