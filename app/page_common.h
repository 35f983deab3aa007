#pragma once

#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

#include "ui/tas_switch.h"

class QPainter;

// Building blocks shared by the pages of the main window: switches, stepping arrows, labels and panels
// with the look of the operator screens, and the picture lists of the mode and program bars.
namespace tolvane {

// Colours of the screens.
inline constexpr QRgb kWindowColor = 0xFF4B4B4B;  // window background without texture
inline constexpr QRgb kPanelColor = 0xFF5A5A5A;   // raised panels
inline constexpr QRgb kPanelFrameColor = 0xFF7A7A7A;
inline constexpr QRgb kTextColor = 0xFFF0F0F0;       // captions on the dark background
inline constexpr QRgb kValueBackColor = 0xFFF4F4EC;  // number labels
inline constexpr QRgb kGreyTextColor = 0xFF808080;   // a value whose condition is off
inline constexpr QRgb kMaroonColor = 0xFF800000;     // working-range bands

// A font of the screens, sized in pixels so that every machine draws the same.
QFont screenFont(int pixelSize, bool bold = false);

// A switch face (as SwitchGlyph) with a picture drawn over it by draw; the picture must not use pure
// black, which a switch leaves out.
QImage faceWithPicture(QSize size, bool on, const QColor& lit,
                       const std::function<void(QPainter&, const QRectF&)>& draw);
// A face that carries its text in the picture itself (the start/stop switch).
QImage faceWithText(QSize size, bool on, const QString& text, const QColor& lit, const QColor& textColor,
                    int fontPixels);

// A latching switch with the given caption ("|" splits it into two lines), a face as large as the
// switch, and the object name the stored values and the handlers know it by.
TasSwitch* addSwitch(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                     int fontPixels = 13);

// A momentary stepping button "<<" or ">>": on only while held, repeating while held, and switched
// off again by its release handler, so that it never stays lit.
TasSwitch* addArrow(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry);

// A caption on the dark background.
QLabel* addLabel(QWidget* parent, const QString& name, const QString& text, const QRect& geometry,
                 int fontPixels = 14, bool bold = false,
                 Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);

// A number shown with at least three digits in a light box ("012").
QLabel* addValueLabel(QWidget* parent, const QString& name, const QString& text, const QRect& geometry,
                      int fontPixels = 20);

// Colours a label's text (black for an active value, grey for an inactive one).
void setLabelTextColor(QLabel* label, const QColor& color);

// A raised panel; with a title, the title sits in its top left corner.
QFrame* addPanel(QWidget* parent, const QString& name, const QRect& geometry, const QString& title = {});

// A row "<< value >>" with the arrows beside a value label; returns the label.
struct StepperRow {
  TasSwitch* left = nullptr;
  QLabel* value = nullptr;
  TasSwitch* right = nullptr;
};
StepperRow addStepper(QWidget* parent, const QString& leftName, const QString& valueName,
                      const QString& rightName, const QString& text, QPoint topLeft, int arrowWidth = 48,
                      int valueWidth = 64, int height = 40);

// A list whose items are pictures, one row or one column of equal cells: the mode list and the
// program list. An item is selected by a touch; index -1 means no selection.
class PictureList : public QWidget {
  Q_OBJECT

 public:
  using ItemPainter = std::function<void(QPainter& painter, int index, bool selected, const QRect& cell)>;

  PictureList(int count, Qt::Orientation orientation, QWidget* parent = nullptr);

  int count() const { return count_; }
  int currentIndex() const { return current_; }
  // Selects an item (or none with -1) without raising itemTouched.
  void setCurrentIndex(int index);
  void setItemPainter(ItemPainter painter);
  QRect itemRect(int index) const;
  int itemAt(QPoint point) const;

 signals:
  // A touch selected this item (the list already shows it selected).
  void itemTouched(int index);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  int count_;
  Qt::Orientation orientation_;
  int current_ = -1;
  ItemPainter painter_;
};

// A label that reports single and double touches (the service gesture on "[///]").
class TouchLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 signals:
  void touched();
  void doubleTouched();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// A strip of 1000 points, 1 pixel each, as tall as the widget (the live colour strips PaintC1/PaintC2).
class StripView : public QWidget {
  Q_OBJECT

 public:
  explicit StripView(QWidget* parent = nullptr);
  // One colour per point; point i at x = i.
  void setPoints(const QImage& strip);
  const QImage& strip() const { return strip_; }
  // The colour shown at x; nothing outside the strip or before the first line.
  std::optional<QColor> colourAt(int x) const;

 signals:
  // A touch on the strip: the colour shown there (the live-strip probe of the colour map).
  void colourTouched(QColor colour);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QImage strip_;
};

// A hatched band (working-range marks) or a plain framed bar (block markers).
class ShapeBar : public QWidget {
  Q_OBJECT

 public:
  enum class Style { Hatched, Framed };
  ShapeBar(Style style, QColor color, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Style style_;
  QColor color_;
};

}  // namespace tolvane
