#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QString>

#include "service/bitmap_util_core.h"

namespace tolvane {

// The 24-bit drawing surface of the colour map and the 3D view. The drawing operations with numbers
// (lines, fills, the blending pixel write, the anti-aliased line and ellipse) come from Rgb24Canvas;
// this layer adds Qt colours, a QImage over the same pixels and the canvas shapes that need a painter
// (outlined and filled ellipses, rectangles, text).
class TBitMapUtil : public Rgb24Canvas {
 public:
  TBitMapUtil() = default;
  TBitMapUtil(int width, int height) : Rgb24Canvas(width, height) {}

  static Rgb24 toRgb(const QColor& color);
  static QColor toQColor(Rgb24 color);

  using Rgb24Canvas::BackColor;
  using Rgb24Canvas::SetColor;
  void SetColor(const QColor& color) { Rgb24Canvas::SetColor(toRgb(color)); }
  void BackColor(const QColor& color) { Rgb24Canvas::BackColor(toRgb(color)); }

  // A QImage (Format_RGB888) over the surface's own pixels, valid until the size changes: drawing on it
  // draws on the surface. Null when the surface is empty.
  QImage image();
  // A deep copy, for showing on a widget or saving.
  QImage toImage() const;

  // Canvas shapes in the pen (outline) and brush (fill) colours; boxes as (x1, y1)–(x2, y2), right and
  // bottom edges excluded.
  void Ellipse(int x1, int y1, int x2, int y2);
  void Rectangle(int x1, int y1, int x2, int y2);
  // Text with its top-left at (x, y) in the pen colour, without background.
  void TextOut(int x, int y, const QString& text, const QFont& font = QFont());
  // Copies `source` with its top-left at (x, y).
  void Draw(int x, int y, const QImage& source);
};

// A painter on a TBitMapUtil's pixels, set up with its pen (colour and width) and brush:
//   BitmapPainter p(bitmap); p->drawArc(...);
// Inactive on an empty surface.
class BitmapPainter {
 public:
  explicit BitmapPainter(TBitMapUtil& bitmap);
  ~BitmapPainter();
  BitmapPainter(const BitmapPainter&) = delete;
  BitmapPainter& operator=(const BitmapPainter&) = delete;

  bool isActive() const { return painter_.isActive(); }
  QPainter& operator*() { return painter_; }
  QPainter* operator->() { return &painter_; }

 private:
  QImage image_;  // before the painter: it must outlive it
  QPainter painter_;
};

}  // namespace tolvane
