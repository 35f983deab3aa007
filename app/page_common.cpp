#include "app/page_common.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/artwork.h"

namespace tolvane {

QFont screenFont(int pixelSize, bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

QImage faceWithPicture(QSize size, bool on, const QColor& lit,
                       const std::function<void(QPainter&, const QRectF&)>& draw) {
  QImage face = SwitchGlyph(size, on, lit);
  if (face.isNull()) return face;
  QPainter painter(&face);
  painter.setRenderHint(QPainter::Antialiasing, true);
  draw(painter, QRectF(4, 4, size.width() - 8, size.height() - 8));
  return face;
}

QImage faceWithText(QSize size, bool on, const QString& text, const QColor& lit, const QColor& textColor,
                    int fontPixels) {
  return faceWithPicture(size, on, lit, [&](QPainter& painter, const QRectF& area) {
    painter.setFont(screenFont(fontPixels, true));
    painter.setPen(textColor);
    painter.drawText(area, Qt::AlignCenter, text);
  });
}

TasSwitch* addSwitch(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                     int fontPixels) {
  auto* s = new TasSwitch(caption, parent);
  s->setObjectName(name);
  s->setGeometry(geometry);
  s->setFont(screenFont(fontPixels, true));
  s->setColor(QColor::fromRgb(kWindowColor));
  s->setShowFocus(false);
  s->setGlyphOff(SwitchGlyph(geometry.size(), false));
  s->setGlyphOn(SwitchGlyph(geometry.size(), true));
  return s;
}

TasSwitch* addArrow(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry) {
  TasSwitch* s = addSwitch(parent, name, caption, geometry, 16);
  s->setAutoOff(true);
  s->setAutoRepeat(true);
  s->setTabStop(false);
  QObject::connect(s, &TasSwitch::mouseUp, s,
                   [s](QObject*, Qt::MouseButton, QPoint) { s->setStateOn(false); });
  return s;
}

QLabel* addLabel(QWidget* parent, const QString& name, const QString& text, const QRect& geometry,
                 int fontPixels, bool bold, Qt::Alignment alignment) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  // Scripts and tests find a label over the accessibility tree by the name the settings know it by.
  label->setAccessibleDescription(name);
  label->setGeometry(geometry);
  label->setFont(screenFont(fontPixels, bold));
  label->setAlignment(alignment);
  setLabelTextColor(label, QColor::fromRgb(kTextColor));
  return label;
}

void setLabelTextColor(QLabel* label, const QColor& color) {
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  palette.setColor(QPalette::Text, color);
  label->setPalette(palette);
}

QLabel* addValueLabel(QWidget* parent, const QString& name, const QString& text, const QRect& geometry,
                      int fontPixels) {
  QLabel* label = addLabel(parent, name, text, geometry, fontPixels, true, Qt::AlignCenter);
  label->setAutoFillBackground(true);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, QColor::fromRgb(kValueBackColor));
  label->setPalette(palette);
  setLabelTextColor(label, Qt::black);
  label->setFrameShape(QFrame::Panel);
  label->setFrameShadow(QFrame::Sunken);
  return label;
}

QFrame* addPanel(QWidget* parent, const QString& name, const QRect& geometry, const QString& title) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(name);
  panel->setGeometry(geometry);
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Raised);
  panel->setLineWidth(1);
  panel->setAutoFillBackground(true);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, QColor::fromRgb(kPanelColor));
  palette.setColor(QPalette::Light, QColor::fromRgb(kPanelFrameColor).lighter(130));
  palette.setColor(QPalette::Dark, QColor::fromRgb(0xFF303030));
  panel->setPalette(palette);
  if (!title.isEmpty()) {
    addLabel(panel, name + QStringLiteral("Title"), title, QRect(8, 4, geometry.width() - 16, 20), 14, true);
  }
  return panel;
}

StepperRow addStepper(QWidget* parent, const QString& leftName, const QString& valueName,
                      const QString& rightName, const QString& text, QPoint topLeft, int arrowWidth,
                      int valueWidth, int height) {
  StepperRow row;
  const int x = topLeft.x();
  const int y = topLeft.y();
  row.left = addArrow(parent, leftName, QStringLiteral("<<"), QRect(x, y, arrowWidth, height));
  row.value = addValueLabel(parent, valueName, text, QRect(x + arrowWidth + 4, y + 2, valueWidth, height - 4),
                            height >= 40 ? 20 : 16);
  row.right = addArrow(parent, rightName, QStringLiteral(">>"),
                       QRect(x + arrowWidth + valueWidth + 8, y, arrowWidth, height));
  return row;
}

PictureList::PictureList(int count, Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), count_(count), orientation_(orientation) {}

void PictureList::setCurrentIndex(int index) {
  if (index < -1 || index >= count_) index = -1;
  if (index == current_) return;
  current_ = index;
  update();
}

void PictureList::setItemPainter(ItemPainter painter) {
  painter_ = std::move(painter);
  update();
}

QRect PictureList::itemRect(int index) const {
  if (index < 0 || index >= count_ || count_ == 0) return {};
  if (orientation_ == Qt::Horizontal) {
    const int left = width() * index / count_;
    const int right = width() * (index + 1) / count_;
    return QRect(left, 0, right - left, height());
  }
  const int top = height() * index / count_;
  const int bottom = height() * (index + 1) / count_;
  return QRect(0, top, width(), bottom - top);
}

int PictureList::itemAt(QPoint point) const {
  for (int i = 0; i < count_; ++i) {
    if (itemRect(i).contains(point)) return i;
  }
  return -1;
}

void PictureList::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  for (int i = 0; i < count_; ++i) {
    if (painter_) painter_(painter, i, i == current_, itemRect(i));
  }
}

void PictureList::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const int index = itemAt(event->position().toPoint());
  if (index < 0) return;
  setCurrentIndex(index);
  emit itemTouched(index);
}

void TouchLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit touched();
}

void TouchLabel::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit doubleTouched();
}

StripView::StripView(QWidget* parent) : QWidget(parent) {}

void StripView::setPoints(const QImage& strip) {
  strip_ = strip;
  update();
}

std::optional<QColor> StripView::colourAt(int x) const {
  if (strip_.isNull() || x < 0 || x >= strip_.width()) return std::nullopt;
  return strip_.pixelColor(x, 0);
}

void StripView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (const std::optional<QColor> colour = colourAt(event->position().toPoint().x()))
    emit colourTouched(*colour);
}

void StripView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (strip_.isNull()) {
    painter.fillRect(rect(), Qt::black);
    return;
  }
  // Each point is a bar one pixel wide and as tall as the strip.
  painter.drawImage(QRect(0, 0, strip_.width(), height()), strip_);
}

ShapeBar::ShapeBar(Style style, QColor color, QWidget* parent)
    : QWidget(parent), style_(style), color_(color) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (style_ == Style::Hatched) {
    painter.fillRect(rect(), QBrush(color_, Qt::BDiagPattern));
    painter.setPen(color_);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    return;
  }
  painter.fillRect(rect(), color_);
  painter.setPen(color_.darker(180));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace tolvane
