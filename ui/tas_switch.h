#pragma once

#include <QColor>
#include <QImage>
#include <QKeyCombination>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

class QTimer;

namespace tolvane {

// Where an extra caption goes beside the picture.
enum class TTextPos { tpNone, tpLeft, tpRight, tpAbove, tpBelow };

// The two-picture touch switch used for every button of the operator screens. It is a latching switch,
// or with AutoOff a momentary push button that is on exactly while the finger is down; with AutoRepeat
// it keeps clicking while held.
//
// Events are signals that carry the sender, so that one handler serves a switch and its repeat timer:
// clicked() comes with the switch at the release and with repeatTimer() on every repeat tick. Use
// TasSwitch::fromSender() in a handler to get the switch in both cases. The repeat ticks are emitted by
// the switch itself; do not connect the timer's timeout() a second time.
//
// Event order: press = switchedOn/switchedOff (the toggle), then mouseDown; release inside = clicked,
// then (AutoOff only) the toggle back and mouseUp. Setting StateOn from code raises switchedOn or
// switchedOff, never clicked; setting the state it already has raises nothing.
class TasSwitch : public QWidget {
  Q_OBJECT
  Q_PROPERTY(bool StateOn READ stateOn WRITE setStateOn)
  Q_PROPERTY(bool AutoOff READ autoOff WRITE setAutoOff)
  Q_PROPERTY(bool AutoRepeat READ autoRepeat WRITE setAutoRepeat)
  Q_PROPERTY(int AutoRepeatTime READ autoRepeatTime WRITE setAutoRepeatTime)
  Q_PROPERTY(QString Caption READ caption WRITE setCaption)

 public:
  enum class BorderStyle { None, Single };

  static constexpr int kDefaultWidth = 50;
  static constexpr int kDefaultHeight = 60;
  static constexpr int kDefaultRepeatTime = 100;  // ms
  // The light halo drawn around every caption.
  static constexpr QRgb kHaloColor = 0xFFD5D5D5;  // (213, 213, 213)

  explicit TasSwitch(QWidget* parent = nullptr);
  TasSwitch(const QString& caption, QWidget* parent);
  ~TasSwitch() override;

  // The switch whose event this is: the switch itself or the switch owning the repeat timer that sent
  // it; nullptr for anything else.
  static TasSwitch* fromSender(QObject* sender);

  bool stateOn() const { return stateOn_; }
  void setStateOn(bool on);
  void toggle();

  // A null image restores the built-in picture and marks the glyph as not assigned.
  QImage glyphOff() const { return glyphOff_; }
  QImage glyphOn() const { return glyphOn_; }
  void setGlyphOff(const QImage& glyph);
  void setGlyphOn(const QImage& glyph);
  // Disabled look of each glyph, rebuilt whenever the glyph changes.
  QImage disabledGlyphOff() const { return disabledOff_; }
  QImage disabledGlyphOn() const { return disabledOn_; }
  // Bit 0: GlyphOff assigned explicitly, bit 1: GlyphOn assigned explicitly (the stored "Data").
  int glyphData() const { return glyphData_; }

  bool autoOff() const { return autoOff_; }
  void setAutoOff(bool on);
  bool autoRepeat() const { return autoRepeat_; }
  void setAutoRepeat(bool on);
  int autoRepeatTime() const { return autoRepeatTime_; }
  void setAutoRepeatTime(int ms);
  QTimer* repeatTimer() const { return repeatTimer_; }

  TTextPos textPosition() const { return textPosition_; }
  void setTextPosition(TTextPos position);
  BorderStyle borderStyle() const { return borderStyle_; }
  void setBorderStyle(BorderStyle style);
  // Key (with its modifiers) that toggles the switch while it has the focus; Space by default.
  QKeyCombination toggleKey() const { return toggleKey_; }
  void setToggleKey(QKeyCombination key);
  bool showFocus() const { return showFocus_; }
  void setShowFocus(bool on);
  bool tabStop() const { return tabStop_; }
  void setTabStop(bool on);

  // "|" splits the caption into two lines; "&x" makes Alt+x focus the switch.
  QString caption() const { return caption_; }
  void setCaption(const QString& caption);
  // Background of the client area and of the glyph's transparent parts.
  QColor color() const { return color_; }
  void setColor(const QColor& color);
  QColor fontColor() const { return fontColor_; }
  void setFontColor(const QColor& color);

  // Geometry of the paint, in client coordinates (inside a single border).
  QSize clientSize() const;
  QRect glyphRect() const;
  QRect textArea() const;
  // Top-left anchors of the caption lines (one or two) for the current font.
  QList<QPoint> captionAnchors() const;

  QSize sizeHint() const override;

 signals:
  void switchedOn(QObject* sender);
  void switchedOff(QObject* sender);
  void clicked(QObject* sender);
  void doubleClicked(QObject* sender);
  void mouseDown(QObject* sender, Qt::MouseButton button, QPoint pos);
  void mouseMoved(QObject* sender, QPoint pos);
  void mouseUp(QObject* sender, Qt::MouseButton button, QPoint pos);
  void entered(QObject* sender);
  void exited(QObject* sender);

 protected:
  // The two notifications behind switchedOn/switchedOff; subclasses may add to them.
  virtual void doOn();
  virtual void doOff();

  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void init();
  void takeFocus();
  void onRepeatTick();
  void updateMnemonic();

  bool stateOn_ = false;
  QImage glyphOff_;
  QImage glyphOn_;
  QImage disabledOff_;
  QImage disabledOn_;
  int glyphData_ = 0;
  bool autoOff_ = false;
  bool autoRepeat_ = false;
  int autoRepeatTime_ = kDefaultRepeatTime;
  TTextPos textPosition_ = TTextPos::tpNone;
  BorderStyle borderStyle_ = BorderStyle::None;
  QKeyCombination toggleKey_{Qt::Key_Space};
  bool showFocus_ = true;
  bool tabStop_ = true;
  QString caption_;
  QColor color_;
  QColor fontColor_{Qt::black};
  bool focused_ = false;
  bool leftPressed_ = false;
  int mnemonicId_ = 0;
  QTimer* repeatTimer_ = nullptr;
};

// Disabled look of a glyph: the pixels that are not black, embossed in the button shadow colour with a
// highlight one pixel down and right, on the button face colour.
QImage MakeDisabledGlyph(const QImage& glyph);
// Colours of that look.
inline constexpr QRgb kButtonFace = 0xFFF0F0F0;
inline constexpr QRgb kButtonShadow = 0xFFA0A0A0;
inline constexpr QRgb kButtonHighlight = 0xFFFFFFFF;

// The glyph composed on a bitmap of its own size filled with `background`, leaving out the glyph's
// transparent colour (its bottom-left pixel); glyphs with an alpha channel are blended instead.
QImage ComposeGlyph(const QImage& glyph, const QColor& background);

}  // namespace tolvane
