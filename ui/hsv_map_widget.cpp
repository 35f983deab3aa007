#include "ui/hsv_map_widget.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "colour_tools/map_redraw.h"
#include "colour_tools/sample_proposal.h"

namespace tolvane {

namespace {

QFont mapFont(bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(11);  // size 8 at the screen's 96 dpi
  font.setBold(bold);
  return font;
}

// The strip probe's columns: H/S/V and R/G/B side by side on the same rows.
constexpr int kProbeHsvX = 40;
constexpr int kProbeRgbX = 140;
constexpr int kProbeRows[] = {460, 475, 490};
constexpr int kProbeCrossReach = 10;

}  // namespace

HsvMapWidget::HsvMapWidget(const QString& objectName, QWidget* parent) : QWidget(parent) {
  setObjectName(objectName);
  setAccessibleName(QStringLiteral("Цветовая карта HSV"));
  setAccessibleDescription(objectName);
  setFixedSize(kHsvMapSize, kHsvMapSize);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);  // moves without a button end a drag that lost its release
  drawHsvMapPicture(picture_);
  working_ = picture_;
  snapshot_ = picture_;
}

void HsvMapWidget::setSectorList(const SectorLines* lines, std::optional<std::size_t> selected) {
  lines_ = lines;
  selected_ = selected;
}

void HsvMapWidget::redrawMap() {
  static const SectorLines kNoLines;
  const std::vector<MapText> texts =
      redrawSectorMap(working_, picture_, lines_ ? *lines_ : kNoLines, selected_);
  if (!texts.empty()) {
    BitmapPainter painter(working_);
    const QFont labelFont = mapFont(true);
    const QFont plainFont = mapFont(false);
    for (const MapText& t : texts) {
      const QFont& font = t.bold ? labelFont : plainFont;
      painter->setFont(font);
      painter->setPen(TBitMapUtil::toQColor(t.colour));
      painter->drawText(t.x, t.y + QFontMetrics(font).ascent(), QString::fromStdString(t.text));
    }
  }
  showWorkingMap();
  emit mapRedrawn();
}

void HsvMapWidget::setPending(const ColorSector& pending) {
  drag_.setPending(pending);
  emit pendingChanged();
}

QString HsvMapWidget::proposeFromSample(const QImage& sample, QPoint at, bool rightButton) {
  if (rightButton) {
    drag_.setPending(clearedBounds(drag_.pending()));
    emit pendingChanged();
    return {};
  }
  const QImage rgb = sample.isNull() ? QImage() : sample.convertToFormat(QImage::Format_RGB888);
  const RgbImageView view =
      rgb.isNull() ? RgbImageView{}
                   : RgbImageView{rgb.width(), rgb.height(), rgb.bytesPerLine(), rgb.constBits()};
  const SampleProposal proposal = proposeSector(view, at.x(), at.y(), drag_.pending());
  drawProposalMarks(working_, proposal);
  drag_.setPending(proposal.sector);
  showWorkingMap();
  emit pendingChanged();
  return QString::fromStdString(proposal.vLabel);
}

void HsvMapWidget::showStripProbe(const QColor& colour) {
  const QColor c = colour.toRgb();
  const Hsv hsv = RgbToHsv(c.red(), c.green(), c.blue());
  probe_ = StripProbe{hsv, c, stripProbePosition(hsv.h, hsv.s)};
  update();
}

void HsvMapWidget::showWorkingMap() {
  probe_.reset();
  update();
}

void HsvMapWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, working_.image());
  if (!probe_) {
    return;
  }
  const QFont font = mapFont(true);
  const int ascent = QFontMetrics(font).ascent();
  const QString blanks(4, QLatin1Char(' '));
  const QString hsvTexts[] = {QStringLiteral("H=%1").arg(probe_->hsv.h),
                              QStringLiteral("S=%1").arg(probe_->hsv.s),
                              QStringLiteral("V=%1").arg(probe_->hsv.v)};
  const QString rgbTexts[] = {QStringLiteral("R=%1").arg(probe_->rgb.red()),
                              QStringLiteral("G=%1").arg(probe_->rgb.green()),
                              QStringLiteral("B=%1").arg(probe_->rgb.blue())};
  painter.setFont(font);
  painter.setPen(Qt::white);
  for (int row = 0; row < 3; ++row) {
    painter.drawText(kProbeHsvX, kProbeRows[row] + ascent, hsvTexts[row] + blanks);
    painter.drawText(kProbeRgbX, kProbeRows[row] + ascent, rgbTexts[row] + blanks);
  }
  painter.setPen(Qt::black);
  const MapPoint p = probe_->cross;
  painter.drawLine(p.x - kProbeCrossReach, p.y, p.x + kProbeCrossReach - 1, p.y);
  painter.drawLine(p.x, p.y - kProbeCrossReach, p.x, p.y + kProbeCrossReach - 1);
}

void HsvMapWidget::mousePressEvent(QMouseEvent* event) {
  emit pressed();
  redrawMap();
  const QPoint at = event->position().toPoint();
  drag_.press(picture_, at.x(), at.y());
  emit pendingChanged();
}

void HsvMapWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) {
    unsetCursor();
    drag_.stopDragging();
    return;
  }
  setCursor(Qt::PointingHandCursor);
  const QPoint at = event->position().toPoint();
  drag_.moveHeld(picture_, working_, snapshot_, at.x(), at.y());
  showWorkingMap();
  emit pendingChanged();
}

void HsvMapWidget::mouseReleaseEvent(QMouseEvent* event) {
  drag_.stopDragging();
  redrawMap();
  const QPoint at = event->position().toPoint();
  drag_.release(picture_, working_, at.x(), at.y());
  showWorkingMap();
  emit pendingChanged();
}

}  // namespace tolvane
