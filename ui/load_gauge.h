#pragma once

#include <QSize>
#include <QString>
#include <QWidget>

namespace tolvane {

// Dial of the working screen's load gauges ("НАГРУЗКА"): a half-circle scale from 0 to the scale value,
// a coloured indicator band and a needle at the position. It only shows what it is given; the run
// control decides how the position moves.
class LoadGauge : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kDefaultScale = 100;
  static constexpr int kDefaultWidth = 200;
  static constexpr int kDefaultHeight = 150;

  explicit LoadGauge(QWidget* parent = nullptr);

  static QString defaultCaption();

  QString caption() const { return caption_; }
  void setCaption(const QString& caption);

  // Scales below 1 count as 1.
  int scale() const { return scale_; }
  void setScale(int scale);
  // Negative positions count as 0; a position above the scale is kept but the needle stops at the end.
  int position() const { return position_; }
  void setPosition(int position);
  // The band is kept as given; it is drawn ordered and within 0..scale.
  int indicatorMin() const { return bandMin_; }
  int indicatorMax() const { return bandMax_; }
  void setIndicatorBand(int from, int to);
  // Takes over the scale and band of another gauge (the second gauge follows the first).
  void copyScaleAndBand(const LoadGauge& other);

  // Where the needle stands, 0 at the start of the scale and 1 at its end.
  double needleFraction() const { return fractionOf(position_, scale_); }
  // The band as drawn, as fractions of the scale (from <= to).
  double bandFromFraction() const;
  double bandToFraction() const;
  static double fractionOf(int value, int scale);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
  int scale_ = kDefaultScale;
  int position_ = 0;
  int bandMin_ = 0;
  int bandMax_ = 0;
};

}  // namespace tolvane
