#include "ui/bitmap_util.h"

#include <gtest/gtest.h>

#include <QPainter>

namespace tolvane {
namespace {

TEST(TBitMapUtilTest, ImageSharesThePixelsOfTheSurface) {
  TBitMapUtil bmp(8, 5);
  bmp.ClearCol(0, 0, 0);
  bmp.SetColor(QColor(10, 20, 30));
  bmp.SetPixel(2, 3, 1.0);

  QImage view = bmp.image();
  ASSERT_EQ(view.format(), QImage::Format_RGB888);
  ASSERT_EQ(view.size(), QSize(8, 5));
  EXPECT_EQ(view.pixel(2, 3), qRgb(10, 20, 30));
  EXPECT_EQ(view.pixel(3, 3), qRgb(0, 0, 0));

  // Drawing on the view draws on the surface.
  view.setPixel(7, 4, qRgb(200, 100, 50));
  EXPECT_EQ(bmp.pixel(7, 4), (Rgb24{200, 100, 50}));

  // A copy stays as it was.
  const QImage copy = bmp.toImage();
  bmp.Clear();
  EXPECT_EQ(copy.pixel(2, 3), qRgb(10, 20, 30));
  EXPECT_EQ(bmp.toImage().pixel(2, 3), qRgb(255, 255, 255));

  TBitMapUtil empty;
  EXPECT_TRUE(empty.image().isNull());
  EXPECT_TRUE(empty.toImage().isNull());
  empty.Ellipse(0, 0, 5, 5);  // no surface, no crash
}

TEST(TBitMapUtilTest, QtColoursSetPenAndBrush) {
  TBitMapUtil bmp(2, 2);
  bmp.SetColor(QColor(Qt::red));
  EXPECT_EQ(bmp.penColor(), (Rgb24{255, 0, 0}));
  bmp.BackColor(QColor(0, 128, 128));
  EXPECT_EQ(bmp.brushColor(), (Rgb24{0, 128, 128}));
  EXPECT_EQ(TBitMapUtil::toQColor(Rgb24{1, 2, 3}), QColor(1, 2, 3));
}

TEST(TBitMapUtilTest, EllipseAndRectangleUsePenForTheOutlineAndBrushInside) {
  TBitMapUtil bmp(20, 20);
  bmp.ClearCol(0, 0, 0);
  bmp.SetColor(QColor(0, 128, 128));
  bmp.BackColor(QColor(0, 128, 128));
  bmp.Ellipse(4, 4, 11, 11);  // a filled circle of diameter 6, as the sample marks use
  EXPECT_EQ(bmp.pixel(7, 7), (Rgb24{0, 128, 128}));
  EXPECT_EQ(bmp.pixel(12, 7), kRgbBlack);
  EXPECT_EQ(bmp.pixel(7, 12), kRgbBlack);

  bmp.ClearCol(0, 0, 0);
  bmp.SetColor(QColor(Qt::white));
  bmp.BackColor(QColor(Qt::blue));
  bmp.Rectangle(2, 2, 8, 6);  // covers x 2…7, y 2…5
  EXPECT_EQ(bmp.pixel(2, 2), kRgbWhite);
  EXPECT_EQ(bmp.pixel(7, 5), kRgbWhite);
  EXPECT_EQ(bmp.pixel(4, 3), (Rgb24{0, 0, 255}));
  EXPECT_EQ(bmp.pixel(8, 3), kRgbBlack);
  EXPECT_EQ(bmp.pixel(4, 6), kRgbBlack);
}

TEST(TBitMapUtilTest, PainterCarriesPenWidthAndTextGoesInThePenColour) {
  TBitMapUtil bmp(60, 30);
  bmp.ClearCol(0, 0, 0);
  bmp.setPenWidth(5);
  bmp.SetColor(QColor(Qt::white));
  {
    BitmapPainter p(bmp);
    ASSERT_TRUE(p.isActive());
    EXPECT_EQ(p->pen().width(), 5);
    p->drawLine(5, 15, 50, 15);
  }
  EXPECT_EQ(bmp.pixel(20, 13), kRgbWhite) << "five pixels wide";
  EXPECT_EQ(bmp.pixel(20, 17), kRgbWhite);

  bmp.ClearCol(0, 0, 0);
  bmp.SetColor(QColor(255, 255, 0));
  bmp.TextOut(2, 2, QStringLiteral("H: 10 - 20"));
  bool yellow = false;
  for (int y = 0; y < 30 && !yellow; ++y) {
    for (int x = 0; x < 60 && !yellow; ++x) {
      const Rgb24 c = bmp.pixel(x, y);
      yellow = c.r > 100 && c.r == c.g && c.b == 0;
    }
  }
  EXPECT_TRUE(yellow);
  EXPECT_EQ(bmp.pixel(0, 0), kRgbBlack) << "no text background";
}

}  // namespace
}  // namespace tolvane
