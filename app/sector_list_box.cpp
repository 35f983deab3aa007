#include "app/sector_list_box.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

#include "settings/color_sector.h"

namespace tolvane {

namespace {

QFont entryFont(int pixelSize, bool bold) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

QColor typeTextColour(int32_t type) {
  switch (type) {
    case kSectorRed:
      return {255, 0, 0};
    case kSectorBlue:
      return {0, 0, 255};
    default:
      return {0, 0, 0};
  }
}

bool hasBrightnessBar(int32_t type) {
  return type == kSectorRed || type == kSectorBlue || type == kSectorBackground;
}

// Draws one entry in the rectangle of its row; see SectorListBox.
class SectorEntryDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
    return {SectorListBox::kEntryWidth, SectorListBox::kEntryHeight};
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QRect rect = option.rect;
    const int l = rect.left();
    const int t = rect.top();
    const int r = rect.left() + SectorListBox::kEntryWidth;
    const int b = rect.top() + SectorListBox::kEntryHeight;
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const std::string line = index.data(Qt::DisplayRole).toString().toStdString();
    const std::optional<ColorSector> sector = parseSectorLine(line);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    if (!sector) {
      // Kept as read and left out of the tables: the operator sees that it does nothing.
      painter->fillRect(QRect(l, t, r - l, b - t), selected ? QColor(240, 170, 170) : QColor(255, 222, 222));
      painter->setPen(QColor(140, 0, 0));
      painter->setFont(entryFont(11, true));
      painter->drawText(QRect(l + 4, t, r - l - 8, b - t), Qt::AlignVCenter | Qt::AlignLeft,
                        QStringLiteral("не разобрана: ") + QString::fromStdString(line));
      painter->restore();
      return;
    }
    if (selected) {
      painter->fillRect(QRect(l, t, r - l, b - t), QColor(182, 206, 251));
      painter->setPen(QColor(60, 90, 170));
      painter->drawRect(QRect(l, t, r - l - 1, b - t - 1));
    } else {
      painter->fillRect(QRect(l, t, r - l, b - t), Qt::white);
    }
    // Check box, green when active.
    painter->setPen(Qt::black);
    painter->setBrush(Qt::white);
    painter->drawRect(QRect(l + 3, t + 2, 16, 16));
    if (sector->Active) painter->fillRect(QRect(l + 5, t + 4, 12, 12), QColor(0, 128, 0));

    painter->setPen(typeTextColour(sector->Type));
    painter->setFont(entryFont(10, true));
    const std::string_view typeText = sectorTypeText(sector->Type);
    const QString caption = QString::number(sector->ID) +
                            QString::fromUtf8(typeText.data(), static_cast<qsizetype>(typeText.size()));
    // Up to the brightness bar, which begins at r - 151.
    const int textRight = hasBrightnessBar(sector->Type) ? r - 153 : r - 21;
    const QFontMetrics metrics(painter->font());
    painter->drawText(QPoint(l + 21, t + 3 + metrics.ascent()),
                      metrics.elidedText(caption, Qt::ElideRight, textRight - (l + 21)));

    if (hasBrightnessBar(sector->Type)) {
      painter->setPen(QColor(128, 128, 128));
      painter->setBrush(Qt::white);
      painter->drawRect(QRect(QPoint(r - 151, t + 2), QPoint(r - 22, b - 3)));
      // Halves truncated; a bar outside the box is cut at its frame.
      const int from = std::clamp(r - 150 + sector->VMIN / 2, r - 150, r - 23);
      const int to = std::clamp(r - 150 + sector->VMAX / 2, r - 150, r - 23);
      if (to > from) painter->fillRect(QRect(from, t + 3, to - from, b - t - 6), QColor(192, 192, 192));
      painter->setPen(Qt::black);
      painter->setFont(entryFont(9, false));
      painter->drawText(QPoint(r - 144, t + 3 + QFontMetrics(painter->font()).ascent()),
                        QStringLiteral("диапазон яркостей"));
    }
    // The delete box.
    painter->fillRect(QRect(QPoint(r - 19, t + 2), QPoint(r - 3, b - 3)), QColor(220, 0, 0));
    painter->setPen(QPen(Qt::white, 2));
    painter->drawLine(r - 16, t + 5, r - 6, b - 6);
    painter->drawLine(r - 6, t + 5, r - 16, b - 6);
    painter->restore();
  }
};

}  // namespace

SectorListBox::SectorListBox(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new SectorEntryDelegate(this));
  setUniformItemSizes(true);
  setFrameShape(QFrame::NoFrame);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  verticalScrollBar()->setFixedWidth(kScrollBarWidth);
  setFocusPolicy(Qt::NoFocus);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Base, Qt::white);
  setPalette(palette);
}

std::optional<std::size_t> SectorListBox::selectedEntry() const {
  const int row = currentRow();
  if (row < 0 || row >= count() || !item(row)->isSelected()) return std::nullopt;
  return static_cast<std::size_t>(row);
}

void SectorListBox::showLines(const std::vector<std::string>& lines, std::optional<std::size_t> selected) {
  const QSignalBlocker blocker(this);
  const int scroll = verticalScrollBar()->value();
  clear();
  for (const std::string& line : lines) addItem(QString::fromStdString(line));
  if (selected && *selected < lines.size()) {
    setCurrentRow(static_cast<int>(*selected));
  } else {
    setCurrentRow(-1);
    clearSelection();
  }
  verticalScrollBar()->setValue(scroll);
}

void SectorListBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint at = event->position().toPoint();
  const QModelIndex index = indexAt(at);
  std::optional<std::size_t> row;
  if (index.isValid()) row = static_cast<std::size_t>(index.row());
  emit entryPressed(row, at.x());
}

void SectorListBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit entryReleased();
}

// A drag must not move the selection behind the controller's back.
void SectorListBox::mouseMoveEvent(QMouseEvent*) {}

void SectorListBox::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

}  // namespace tolvane
