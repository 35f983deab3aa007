#pragma once

#include <QListWidget>
#include <optional>

namespace tolvane {

// The sector list of one camera on the colour page. Each item's text is a sector line as stored; an
// entry is drawn as the operator knows it: check box, number and type in the type's colour, the
// brightness bar and the red delete box. A line that does not parse is shown marked, as read.
//
// Touches do not select by themselves: the page controller decides what a touch does from where it
// landed (entryPressed), then sets the current row.
class SectorListBox : public QListWidget {
  Q_OBJECT

 public:
  // Entry height and the width the touch zones are measured in (toggle left of 16, delete right of
  // 228); the scroll bar lies beyond it.
  static constexpr int kEntryHeight = 21;
  static constexpr int kEntryWidth = 248;
  static constexpr int kScrollBarWidth = 30;

  explicit SectorListBox(QWidget* parent = nullptr);

  // The selected entry, if any.
  std::optional<std::size_t> selectedEntry() const;
  // Lines in order, the selection kept when it still names an entry.
  void showLines(const std::vector<std::string>& lines, std::optional<std::size_t> selected);

 signals:
  // A touch x pixels from the list's left edge on entry row, or below the last entry (no row).
  void entryPressed(std::optional<std::size_t> row, int x);
  void entryReleased();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace tolvane
