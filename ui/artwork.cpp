#include "ui/artwork.h"

#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cstdint>

namespace tolvane {

namespace {

// Never pure black: black is the colour a switch leaves out of its picture.
QColor notBlack(QColor c) {
  if (c.red() == 0 && c.green() == 0 && c.blue() == 0) {
    return QColor(1, 1, 1);
  }
  return c;
}

// Small deterministic hash for the texture grain.
std::uint32_t hash32(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

}  // namespace

QImage SwitchGlyph(QSize size, bool on, QColor lit) {
  if (size.width() <= 0 || size.height() <= 0) {
    return {};
  }
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::black);
  const int w = size.width();
  const int h = size.height();
  const int inset = std::min({2, (w - 1) / 2, (h - 1) / 2});
  const QRectF face(inset, inset, w - 2 * inset, h - 2 * inset);
  const qreal radius = std::min({6.0, face.width() / 4, face.height() / 4});

  QPainter painter(&image);
  // Hard edges: a smoothed rim would fade into the left-out black and leave near-black fringes.
  painter.setRenderHint(QPainter::Antialiasing, false);
  QPainterPath path;
  path.addRoundedRect(face, radius, radius);

  QLinearGradient gradient(face.topLeft(), face.bottomLeft());
  if (on) {
    gradient.setColorAt(0.0, notBlack(lit.lighter(150)));
    gradient.setColorAt(0.5, notBlack(lit));
    gradient.setColorAt(1.0, notBlack(lit.darker(140)));
  } else {
    gradient.setColorAt(0.0, QColor(222, 222, 222));
    gradient.setColorAt(0.5, QColor(192, 192, 192));
    gradient.setColorAt(1.0, QColor(150, 150, 150));
  }
  painter.setPen(QPen(QColor(48, 48, 48), 1));
  painter.setBrush(gradient);
  painter.drawPath(path);

  // A bevel line under the top edge; a lit switch also shows a bright strip like a lamp.
  const int x0 = static_cast<int>(face.left()) + 3;
  const int x1 = static_cast<int>(face.right()) - 3;
  if (x1 > x0 && face.height() > 8) {
    const int top = static_cast<int>(face.top()) + 2;
    painter.setPen(on ? notBlack(lit.lighter(175)) : QColor(245, 245, 245));
    painter.drawLine(x0, top, x1, top);
    if (on) {
      painter.setPen(QColor(250, 255, 220));
      painter.drawLine(x0 + 2, top + 2, x1 - 2, top + 2);
      painter.drawLine(x0 + 2, top + 3, x1 - 2, top + 3);
    }
  }
  painter.end();
  return image;
}

QImage BuiltinSwitchGlyph(bool on) {
  return SwitchGlyph(QSize(kBuiltinGlyphWidth, kBuiltinGlyphHeight), on);
}

QImage LampImage(LampColor color, bool lit, int diameter) {
  if (diameter <= 0) {
    return {};
  }
  QColor base;
  switch (color) {
    case LampColor::Red:
      base = QColor(235, 40, 30);
      break;
    case LampColor::Green:
      base = QColor(40, 210, 60);
      break;
    case LampColor::Blue:
      base = QColor(40, 110, 240);
      break;
  }
  const QColor glass = lit ? base : base.darker(330);
  QImage image(diameter, diameter, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const qreal d = diameter;
  const QRectF rim(0.5, 0.5, d - 1, d - 1);
  painter.setPen(QPen(QColor(30, 30, 30), 1));
  painter.setBrush(QColor(70, 70, 70));
  painter.drawEllipse(rim);
  const qreal inner = std::max<qreal>(1.0, d * 0.12);
  const QRectF bulb = rim.adjusted(inner, inner, -inner, -inner);
  QRadialGradient gradient(bulb.center() - QPointF(bulb.width() * 0.18, bulb.height() * 0.2),
                           bulb.width() * 0.65);
  gradient.setColorAt(0.0, lit ? glass.lighter(170) : glass.lighter(140));
  gradient.setColorAt(0.6, glass);
  gradient.setColorAt(1.0, glass.darker(160));
  painter.setPen(Qt::NoPen);
  painter.setBrush(gradient);
  painter.drawEllipse(bulb);
  // A small reflection on the glass.
  const QRectF spot(bulb.left() + bulb.width() * 0.22, bulb.top() + bulb.height() * 0.14, bulb.width() * 0.28,
                    bulb.height() * 0.2);
  painter.setBrush(QColor(255, 255, 255, lit ? 150 : 60));
  painter.drawEllipse(spot);
  painter.end();
  return image;
}

QImage BackgroundTexture() {
  QImage image(kTextureWidth, kTextureHeight, QImage::Format_RGB32);
  // Brushed metal: every row has its own slight tone, every pixel a fine grain. Both repeat exactly
  // with the tile, so tiled copies meet without seams.
  for (int y = 0; y < kTextureHeight; ++y) {
    const int row = static_cast<int>(hash32(0x9e3779b9U + static_cast<std::uint32_t>(y)) % 9) - 4;
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < kTextureWidth; ++x) {
      const std::uint32_t h = hash32(static_cast<std::uint32_t>(y * kTextureWidth + x) * 2654435761U + 17U);
      const int grain = static_cast<int>(h % 7) - 3;
      // Short bright streaks along the rows.
      const int streak = (h >> 8) % 61 == 0 ? 6 : 0;
      const int v = std::clamp(0x4B + row + grain + streak, 0, 255);
      line[x] = qRgb(v, v, std::min(255, v + 2));
    }
  }
  return image;
}

Lamp::Lamp(LampColor color, QWidget* parent, int diameter)
    : QWidget(parent), color_(color), diameter_(std::max(1, diameter)) {
  setAttribute(Qt::WA_TranslucentBackground);
  resize(diameter_, diameter_);
  rebuild();
}

void Lamp::setLampColor(LampColor color) {
  color_ = color;
  rebuild();
}

void Lamp::setLit(bool lit) {
  lit_ = lit;
  rebuild();
}

QSize Lamp::sizeHint() const { return {diameter_, diameter_}; }

void Lamp::resizeEvent(QResizeEvent*) {
  diameter_ = std::max(1, std::min(width(), height()));
  rebuild();
}

void Lamp::rebuild() {
  image_ = LampImage(color_, lit_, diameter_);
  update();
}

void Lamp::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage((width() - image_.width()) / 2, (height() - image_.height()) / 2, image_);
}

}  // namespace tolvane
