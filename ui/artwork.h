#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QWidget>

// Pictures of the operator screens that are ours to draw: switch faces, lamps and the window texture.
// Everything is drawn by code, the same on every start.
namespace tolvane {

// Colour the built-in switch face takes when on.
inline constexpr QRgb kSwitchLitColor = 0xFF4CC83C;

// A push-button face of the given size for TasSwitch: a rounded, framed face, grey when off and lit in
// `lit` when on. The corners are black, the colour a switch leaves out (its bottom-left pixel), and no
// pixel of the face itself is black, so the disabled look embosses the whole face.
QImage SwitchGlyph(QSize size, bool on, QColor lit = QColor::fromRgb(kSwitchLitColor));

// The built-in pictures "SWITCH_OFF" and "SWITCH_ON" that a switch shows until it is given its own.
inline constexpr int kBuiltinGlyphWidth = 46;
inline constexpr int kBuiltinGlyphHeight = 56;
QImage BuiltinSwitchGlyph(bool on);

enum class LampColor { Red, Green, Blue };

// A round signal lamp, `diameter` pixels across, on a transparent background: glowing when lit, a dark
// glass of the same hue when not.
QImage LampImage(LampColor color, bool lit, int diameter = 20);

// The 100 × 99 window background: a dark grey brushed-metal grain that tiles without seams.
inline constexpr int kTextureWidth = 100;
inline constexpr int kTextureHeight = 99;
QImage BackgroundTexture();

// A lamp on a screen: shows LampImage and nothing else; hide() it to show no lamp at all.
class Lamp : public QWidget {
  Q_OBJECT
 public:
  explicit Lamp(LampColor color, QWidget* parent = nullptr, int diameter = 20);

  LampColor lampColor() const { return color_; }
  void setLampColor(LampColor color);
  bool isLit() const { return lit_; }
  void setLit(bool lit);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void rebuild();

  LampColor color_;
  bool lit_ = true;
  int diameter_;
  QImage image_;
};

}  // namespace tolvane
