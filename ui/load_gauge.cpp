#include "ui/load_gauge.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace tolvane {

namespace {

constexpr int kMajorTicks = 10;
constexpr int kMinorPerMajor = 5;

// Angle in degrees (counter-clockwise from the right) of a scale fraction: the scale runs over the
// upper half circle from the left end to the right end.
double angleOf(double fraction) { return 180.0 - 180.0 * fraction; }

QPointF onCircle(QPointF centre, double radius, double degrees) {
  const double a = qDegreesToRadians(degrees);
  return {centre.x() + radius * std::cos(a), centre.y() - radius * std::sin(a)};
}

}  // namespace

LoadGauge::LoadGauge(QWidget* parent) : QWidget(parent), caption_(defaultCaption()) {
  resize(kDefaultWidth, kDefaultHeight);
}

QString LoadGauge::defaultCaption() { return QStringLiteral("НАГРУЗКА"); }

void LoadGauge::setCaption(const QString& caption) {
  caption_ = caption;
  update();
}

void LoadGauge::setScale(int scale) {
  scale_ = std::max(1, scale);
  update();
}

void LoadGauge::setPosition(int position) {
  const int value = std::max(0, position);
  if (value != position_) {
    position_ = value;
    update();
  }
}

void LoadGauge::setIndicatorBand(int from, int to) {
  bandMin_ = from;
  bandMax_ = to;
  update();
}

void LoadGauge::copyScaleAndBand(const LoadGauge& other) {
  scale_ = other.scale_;
  bandMin_ = other.bandMin_;
  bandMax_ = other.bandMax_;
  update();
}

double LoadGauge::fractionOf(int value, int scale) {
  if (scale < 1) {
    scale = 1;
  }
  return std::clamp(static_cast<double>(value) / scale, 0.0, 1.0);
}

double LoadGauge::bandFromFraction() const {
  return fractionOf(std::min(bandMin_, bandMax_), scale_);
}

double LoadGauge::bandToFraction() const { return fractionOf(std::max(bandMin_, bandMax_), scale_); }

QSize LoadGauge::sizeHint() const { return {kDefaultWidth, kDefaultHeight}; }

void LoadGauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);

  // Face.
  painter.setPen(QPen(QColor(40, 40, 40), 1.5));
  painter.setBrush(QColor(238, 236, 226));
  painter.drawRoundedRect(area, 6, 6);

  QFont small = font();
  small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
  const QFontMetrics smallMetrics(small);
  QFont bold = font();
  bold.setBold(true);
  const QFontMetrics boldMetrics(bold);

  const double captionSpace = boldMetrics.height() + 6;
  const double radius =
      std::max(10.0, std::min(area.width() / 2 - 14, area.height() - captionSpace - smallMetrics.height() - 8));
  const QPointF centre(area.center().x(), area.top() + smallMetrics.height() + 6 + radius);

  // Indicator band: a thick arc just inside the scale line.
  const double bandFrom = bandFromFraction();
  const double bandTo = bandToFraction();
  if (bandTo > bandFrom) {
    const double r = radius - 5;
    QPen band(QColor(220, 40, 30), 7, Qt::SolidLine, Qt::FlatCap);
    painter.setPen(band);
    painter.setBrush(Qt::NoBrush);
    const QRectF box(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
    const double start = angleOf(bandFrom);
    const double span = angleOf(bandTo) - start;
    painter.drawArc(box, qRound(start * 16), qRound(span * 16));
  }

  // Scale line and ticks.
  painter.setPen(QPen(QColor(30, 30, 30), 1.5));
  painter.setBrush(Qt::NoBrush);
  const QRectF scaleBox(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  painter.drawArc(scaleBox, 0, 180 * 16);
  for (int i = 0; i <= kMajorTicks * kMinorPerMajor; ++i) {
    const double f = static_cast<double>(i) / (kMajorTicks * kMinorPerMajor);
    const bool major = i % kMinorPerMajor == 0;
    const double a = angleOf(f);
    painter.setPen(QPen(QColor(30, 30, 30), major ? 1.8 : 1.0));
    painter.drawLine(onCircle(centre, radius, a), onCircle(centre, radius + (major ? 8 : 4), a));
  }
  // Numbers at the ends and the middle of the scale.
  painter.setFont(small);
  painter.setPen(QColor(30, 30, 30));
  const int labels[3] = {0, scale_ / 2, scale_};
  const double fractions[3] = {0.0, 0.5, 1.0};
  for (int k = 0; k < 3; ++k) {
    const QString text = QString::number(labels[k]);
    const QPointF at = onCircle(centre, radius + 10, angleOf(fractions[k]));
    const double tw = smallMetrics.horizontalAdvance(text);
    double x = at.x() - tw / 2;
    if (k == 0) {
      x = at.x() - tw / 2 + 2;
    } else if (k == 2) {
      x = at.x() - tw / 2 - 2;
    }
    const double y = k == 1 ? at.y() - 2 : at.y() - smallMetrics.height() / 2.0 + smallMetrics.ascent() - 12;
    painter.drawText(QPointF(std::clamp(x, area.left() + 2, area.right() - tw - 2), std::max(y, area.top() + smallMetrics.ascent() + 1)), text);
  }

  // Caption under the hub.
  painter.setFont(bold);
  painter.setPen(QColor(20, 20, 20));
  const QRectF captionBox(area.left(), centre.y() + 4, area.width(), boldMetrics.height());
  painter.drawText(captionBox, Qt::AlignHCenter | Qt::AlignTop, caption_);

  // Needle and hub.
  const double a = angleOf(needleFraction());
  QPainterPath needle;
  const QPointF tip = onCircle(centre, radius - 2, a);
  const QPointF left = onCircle(centre, 4, a + 90);
  const QPointF right = onCircle(centre, 4, a - 90);
  needle.moveTo(tip);
  needle.lineTo(left);
  needle.lineTo(right);
  needle.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(200, 20, 20));
  painter.drawPath(needle);
  painter.setBrush(QColor(40, 40, 40));
  painter.drawEllipse(centre, 5, 5);
}

}  // namespace tolvane
