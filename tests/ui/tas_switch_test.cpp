#include "ui/tas_switch.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <string>
#include <vector>

#include "ui/artwork.h"

namespace tolvane {
namespace {

// Records every event of a switch in order, with who sent it and the state at that moment.
class EventLog {
 public:
  explicit EventLog(TasSwitch& sw) : sw_(sw) {
    QObject::connect(&sw, &TasSwitch::switchedOn, [this](QObject* s) { add("On", s); });
    QObject::connect(&sw, &TasSwitch::switchedOff, [this](QObject* s) { add("Off", s); });
    QObject::connect(&sw, &TasSwitch::clicked, [this](QObject* s) { add("Click", s); });
    QObject::connect(&sw, &TasSwitch::mouseDown, [this](QObject* s, Qt::MouseButton, QPoint) { add("Down", s); });
    QObject::connect(&sw, &TasSwitch::mouseUp, [this](QObject* s, Qt::MouseButton, QPoint) { add("Up", s); });
  }

  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& e : entries_) {
      out.push_back(e.name);
    }
    return out;
  }

  struct Entry {
    std::string name;
    QObject* sender;
    bool stateAtEvent;
  };
  const std::vector<Entry>& entries() const { return entries_; }
  void clear() { entries_.clear(); }

 private:
  void add(const char* name, QObject* sender) { entries_.push_back({name, sender, sw_.stateOn()}); }

  TasSwitch& sw_;
  std::vector<Entry> entries_;
};

using Names = std::vector<std::string>;

const QPoint kInside(25, 30);

TEST(TasSwitchTest, MomentarySwitchIsOnWhileHeldAndClicksBeforeTurningOff) {
  TasSwitch sw;
  sw.setAutoOff(true);
  EventLog log(sw);

  QTest::mousePress(&sw, Qt::LeftButton, Qt::NoModifier, kInside);
  EXPECT_EQ(log.names(), (Names{"On", "Down"}));
  EXPECT_TRUE(sw.stateOn());

  QTest::mouseRelease(&sw, Qt::LeftButton, Qt::NoModifier, kInside);
  EXPECT_EQ(log.names(), (Names{"On", "Down", "Click", "Off", "Up"}));
  EXPECT_TRUE(log.entries()[2].stateAtEvent) << "the click comes while the switch is still on";
  EXPECT_EQ(log.entries()[2].sender, &sw);
  EXPECT_FALSE(sw.stateOn());
}

TEST(TasSwitchTest, LatchingSwitchPressedTwiceTogglesAtEachPressAndClicksAtEachRelease) {
  TasSwitch sw;
  EventLog log(sw);

  QTest::mouseClick(&sw, Qt::LeftButton, Qt::NoModifier, kInside);
  EXPECT_TRUE(sw.stateOn());
  QTest::mouseClick(&sw, Qt::LeftButton, Qt::NoModifier, kInside);
  EXPECT_FALSE(sw.stateOn());

  // No mouse-up event for a latching switch: only the momentary release raises it.
  EXPECT_EQ(log.names(), (Names{"On", "Down", "Click", "Off", "Down", "Click"}));
  EXPECT_TRUE(log.entries()[2].stateAtEvent);
  EXPECT_FALSE(log.entries()[5].stateAtEvent);
}

TEST(TasSwitchTest, SettingStateFromCodeRaisesOnlyOnOrOffAndNothingWhenUnchanged) {
  TasSwitch sw;
  EventLog log(sw);

  sw.setStateOn(false);
  EXPECT_TRUE(log.names().empty());

  sw.setStateOn(true);
  sw.setStateOn(true);
  EXPECT_EQ(log.names(), (Names{"On"}));
  EXPECT_EQ(log.entries()[0].sender, &sw);

  sw.toggle();
  sw.setStateOn(false);
  EXPECT_EQ(log.names(), (Names{"On", "Off"}));
  EXPECT_FALSE(sw.stateOn());
}

TEST(TasSwitchTest, ReleaseOutsideTheSwitchGivesNoClick) {
  TasSwitch sw;
  sw.setAutoOff(true);
  EventLog log(sw);

  QTest::mousePress(&sw, Qt::LeftButton, Qt::NoModifier, kInside);
  QTest::mouseRelease(&sw, Qt::LeftButton, Qt::NoModifier, QPoint(sw.width() + 5, 10));
  // The momentary switch still returns to off.
  EXPECT_EQ(log.names(), (Names{"On", "Down", "Off", "Up"}));
  EXPECT_FALSE(sw.stateOn());
}

TEST(TasSwitchTest, OtherButtonsRaiseMouseDownButDoNotToggleOrClick) {
  TasSwitch sw;
  sw.setAutoRepeat(true);
  EventLog log(sw);

  QTest::mousePress(&sw, Qt::RightButton, Qt::NoModifier, kInside);
  EXPECT_FALSE(sw.repeatTimer()->isActive());
  QTest::mouseRelease(&sw, Qt::RightButton, Qt::NoModifier, kInside);
  EXPECT_EQ(log.names(), (Names{"Down"}));
  EXPECT_FALSE(sw.stateOn());
}

TEST(TasSwitchTest, DisabledSwitchIgnoresTouchesAndShowsItsEmbossedLook) {
  QWidget host;
  host.resize(100, 100);
  auto* sw = new TasSwitch(&host);
  host.show();
  sw->setColor(QColor(90, 90, 90));
  sw->setStateOn(true);
  sw->setEnabled(false);
  EventLog log(*sw);

  QTest::mouseClick(sw, Qt::LeftButton, Qt::NoModifier, kInside);
  QTest::keyClick(sw, Qt::Key_Space);
  EXPECT_TRUE(log.names().empty());
  EXPECT_TRUE(sw->stateOn());

  // The picture is the disabled look of the on glyph, not the glyph itself.
  const QImage shot = sw->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QRect at = sw->glyphRect();
  const QImage expected = ComposeGlyph(sw->disabledGlyphOn(), sw->color());
  const QImage normal = ComposeGlyph(sw->glyphOn(), sw->color());
  const QImage shown = shot.copy(at);
  // Compare away from the caption (which is empty here) — the whole picture must match.
  EXPECT_EQ(shown, expected.convertToFormat(QImage::Format_RGB32));
  EXPECT_NE(shown, normal.convertToFormat(QImage::Format_RGB32));
}

TEST(TasSwitchTest, AutoRepeatClicksWithTheTimerAsSenderWhileHeldAndOnceWithTheSwitchAtRelease) {
  TasSwitch sw;
  sw.setAutoOff(true);
  sw.setAutoRepeat(true);
  sw.setAutoRepeatTime(50);
  EventLog log(sw);

  QElapsedTimer held;
  QTest::mousePress(&sw, Qt::LeftButton, Qt::NoModifier, kInside);
  held.start();
  ASSERT_TRUE(sw.repeatTimer()->isActive());
  EXPECT_EQ(sw.repeatTimer()->interval(), 50);

  auto ticks = [&] {
    int n = 0;
    for (const auto& e : log.entries()) {
      n += (e.name == "Click" && e.sender == sw.repeatTimer()) ? 1 : 0;
    }
    return n;
  };
  QTRY_VERIFY_WITH_TIMEOUT(ticks() >= 2, 10000);
  QTest::mouseRelease(&sw, Qt::LeftButton, Qt::NoModifier, kInside);
  const qint64 heldMs = held.elapsed();
  const int repeats = ticks();

  // A tick never comes before its interval has passed: at most one per elapsed 50 ms.
  EXPECT_LE(repeats, heldMs / 50);
  EXPECT_FALSE(sw.repeatTimer()->isActive());
  const auto& entries = log.entries();
  ASSERT_GE(entries.size(), 5u);
  EXPECT_EQ(entries[0].name, "On");
  EXPECT_EQ(entries[1].name, "Down");
  for (int i = 0; i < repeats; ++i) {
    EXPECT_EQ(entries[2 + i].name, "Click");
    EXPECT_EQ(entries[2 + i].sender, sw.repeatTimer());
    EXPECT_EQ(TasSwitch::fromSender(entries[2 + i].sender), &sw);
  }
  const std::size_t release = 2 + static_cast<std::size_t>(repeats);
  ASSERT_EQ(entries.size(), release + 3);
  EXPECT_EQ(entries[release].name, "Click");
  EXPECT_EQ(entries[release].sender, &sw);
  EXPECT_EQ(entries[release + 1].name, "Off");
  EXPECT_EQ(entries[release + 2].name, "Up");

  // Released: no further clicks.
  log.clear();
  QTest::qWait(200);
  EXPECT_TRUE(log.names().empty());
}

TEST(TasSwitchTest, RepeatStopsWhenTheSwitchIsDisabledWhileHeld) {
  QWidget host;
  auto* sw = new TasSwitch(&host);
  host.show();
  sw->setAutoRepeat(true);
  sw->setAutoRepeatTime(20);
  QTest::mousePress(sw, Qt::LeftButton, Qt::NoModifier, kInside);
  ASSERT_TRUE(sw->repeatTimer()->isActive());
  sw->setEnabled(false);
  EXPECT_FALSE(sw->repeatTimer()->isActive());
}

TEST(TasSwitchTest, NoRepeatWithoutAutoRepeatOrWithANonPositiveInterval) {
  TasSwitch sw;
  QTest::mousePress(&sw, Qt::LeftButton, Qt::NoModifier, kInside);
  EXPECT_FALSE(sw.repeatTimer()->isActive());
  QTest::mouseRelease(&sw, Qt::LeftButton, Qt::NoModifier, kInside);

  sw.setAutoRepeat(true);
  sw.setAutoRepeatTime(0);
  QTest::mousePress(&sw, Qt::LeftButton, Qt::NoModifier, kInside);
  EXPECT_FALSE(sw.repeatTimer()->isActive());
  QTest::mouseRelease(&sw, Qt::LeftButton, Qt::NoModifier, kInside);
}

TEST(TasSwitchTest, FromSenderKnowsTheSwitchAndItsTimerOnly) {
  TasSwitch sw;
  TasSwitch other;
  QTimer stray(&sw);
  EXPECT_EQ(TasSwitch::fromSender(&sw), &sw);
  EXPECT_EQ(TasSwitch::fromSender(sw.repeatTimer()), &sw);
  EXPECT_EQ(TasSwitch::fromSender(other.repeatTimer()), &other);
  EXPECT_EQ(TasSwitch::fromSender(&stray), nullptr);
  EXPECT_EQ(TasSwitch::fromSender(nullptr), nullptr);
}

TEST(TasSwitchTest, ToggleKeyTogglesOnlyWithItsModifiers) {
  QWidget host;
  auto* sw = new TasSwitch(&host);
  host.show();
  sw->setFocus();
  EventLog log(*sw);

  QTest::keyClick(sw, Qt::Key_Space);
  EXPECT_TRUE(sw->stateOn());
  QTest::keyClick(sw, Qt::Key_Space, Qt::ShiftModifier);
  QTest::keyClick(sw, Qt::Key_A);
  EXPECT_TRUE(sw->stateOn());

  sw->setToggleKey(QKeyCombination(Qt::ControlModifier, Qt::Key_T));
  QTest::keyClick(sw, Qt::Key_Space);
  EXPECT_TRUE(sw->stateOn());
  QTest::keyClick(sw, Qt::Key_T, Qt::ControlModifier);
  EXPECT_FALSE(sw->stateOn());
  EXPECT_EQ(log.names(), (Names{"On", "Off"}));
}

TEST(TasSwitchTest, PressTakesTheFocusOnlyWithTabStop) {
  QWidget host;
  host.resize(200, 100);
  auto* a = new TasSwitch(&host);
  auto* b = new TasSwitch(&host);
  b->move(60, 0);
  host.show();
  QApplication::setActiveWindow(&host);

  QTest::mouseClick(a, Qt::LeftButton, Qt::NoModifier, kInside);
  EXPECT_TRUE(a->hasFocus());
  b->setTabStop(false);
  QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, kInside);
  EXPECT_FALSE(b->hasFocus());
  EXPECT_TRUE(a->hasFocus());
  EXPECT_TRUE(b->stateOn()) << "without tab stop the press still toggles";
}

TEST(TasSwitchTest, GlyphAssignmentSetsItsStoredBitAndNoneRestoresTheBuiltInPicture) {
  TasSwitch sw;
  EXPECT_EQ(sw.glyphData(), 0);
  EXPECT_EQ(sw.glyphOff(), BuiltinSwitchGlyph(false));
  EXPECT_EQ(sw.glyphOn(), BuiltinSwitchGlyph(true));

  QImage red(10, 8, QImage::Format_RGB32);
  red.fill(QColor(200, 0, 0));
  sw.setGlyphOn(red);
  EXPECT_EQ(sw.glyphData(), 2);
  EXPECT_EQ(sw.glyphOn(), red);
  EXPECT_EQ(sw.disabledGlyphOn(), MakeDisabledGlyph(red));

  sw.setGlyphOff(red);
  EXPECT_EQ(sw.glyphData(), 3);
  sw.setGlyphOn(QImage());
  EXPECT_EQ(sw.glyphData(), 1);
  EXPECT_EQ(sw.glyphOn(), BuiltinSwitchGlyph(true));
  EXPECT_EQ(sw.disabledGlyphOn(), MakeDisabledGlyph(BuiltinSwitchGlyph(true)));
}

TEST(TasSwitchTest, DisabledLookEmbossesEveryPixelThatIsNotBlack) {
  // 4 × 4, black except a bright pixel at (1, 1) and a dark grey one at (2, 2).
  QImage glyph(4, 4, QImage::Format_RGB32);
  glyph.fill(Qt::black);
  glyph.setPixel(1, 1, qRgb(250, 250, 0));
  glyph.setPixel(2, 2, qRgb(10, 10, 10));
  const QImage look = MakeDisabledGlyph(glyph);
  ASSERT_EQ(look.size(), glyph.size());
  EXPECT_EQ(look.pixel(1, 1), kButtonShadow);
  EXPECT_EQ(look.pixel(2, 2), kButtonShadow) << "shadow wins over the highlight from (1, 1)";
  EXPECT_EQ(look.pixel(3, 3), kButtonHighlight);
  EXPECT_EQ(look.pixel(0, 0), kButtonFace);
  EXPECT_EQ(look.pixel(2, 1), kButtonFace);
  EXPECT_EQ(look.pixel(0, 3), kButtonFace);
  EXPECT_TRUE(MakeDisabledGlyph(QImage()).isNull());
}

TEST(TasSwitchTest, ComposeLeavesOutTheBottomLeftColour) {
  QImage glyph(3, 2, QImage::Format_RGB32);
  glyph.fill(qRgb(0, 255, 0));
  glyph.setPixel(1, 0, qRgb(9, 9, 9));
  const QImage out = ComposeGlyph(glyph, QColor(1, 2, 3));
  EXPECT_EQ(out.pixel(0, 0), qRgb(1, 2, 3));
  EXPECT_EQ(out.pixel(2, 1), qRgb(1, 2, 3));
  EXPECT_EQ(out.pixel(1, 0), qRgb(9, 9, 9));
}

TEST(TasSwitchTest, PicturePlacementFollowsTheTextPosition) {
  TasSwitch sw;
  sw.resize(100, 80);
  QImage glyph(20, 10, QImage::Format_RGB32);
  glyph.fill(Qt::white);
  sw.setGlyphOff(glyph);
  sw.setGlyphOn(glyph);

  EXPECT_EQ(sw.glyphRect(), QRect(40, 35, 20, 10));
  EXPECT_EQ(sw.textArea(), QRect(0, 0, 100, 80));
  sw.setTextPosition(TTextPos::tpLeft);
  EXPECT_EQ(sw.glyphRect(), QRect(80, 35, 20, 10));
  EXPECT_EQ(sw.textArea(), QRect(0, 0, 80, 80));
  sw.setTextPosition(TTextPos::tpRight);
  EXPECT_EQ(sw.glyphRect(), QRect(0, 35, 20, 10));
  EXPECT_EQ(sw.textArea(), QRect(20, 0, 80, 80));
  sw.setTextPosition(TTextPos::tpAbove);
  EXPECT_EQ(sw.glyphRect(), QRect(40, 70, 20, 10));
  EXPECT_EQ(sw.textArea(), QRect(0, 0, 100, 70));
  sw.setTextPosition(TTextPos::tpBelow);
  EXPECT_EQ(sw.glyphRect(), QRect(40, 0, 20, 10));
  EXPECT_EQ(sw.textArea(), QRect(0, 10, 100, 70));

  // A single border takes one pixel on each side off the client area.
  sw.setTextPosition(TTextPos::tpNone);
  sw.setBorderStyle(TasSwitch::BorderStyle::Single);
  EXPECT_EQ(sw.clientSize(), QSize(98, 78));
  EXPECT_EQ(sw.glyphRect(), QRect(39, 34, 20, 10));
}

TEST(TasSwitchTest, CaptionSplitsAtTheBarIntoTwoCentredLinesMeetingAtTheMiddle) {
  TasSwitch sw;
  sw.resize(120, 90);
  sw.setCaption(QStringLiteral("Тест|эжектора"));
  const QFontMetrics fm(sw.font());
  const QList<QPoint> anchors = sw.captionAnchors();
  ASSERT_EQ(anchors.size(), 2);
  const int tw1 = fm.horizontalAdvance(QStringLiteral("Тест"));
  const int tw2 = fm.horizontalAdvance(QStringLiteral("эжектора"));
  EXPECT_EQ(anchors[0], QPoint((120 - tw1) / 2, 45 - fm.height()));
  EXPECT_EQ(anchors[1], QPoint((120 - tw2) / 2, 45));

  sw.setCaption(QStringLiteral("Настройка"));
  const QList<QPoint> one = sw.captionAnchors();
  ASSERT_EQ(one.size(), 1);
  EXPECT_EQ(one[0], QPoint((120 - fm.horizontalAdvance(QStringLiteral("Настройка"))) / 2, (90 - fm.height()) / 2));
}

// Rows holding pixels of `color` within the image.
std::vector<int> rowsWith(const QImage& image, QRgb color) {
  std::vector<int> rows;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) == (color & 0xFFFFFF)) {
        rows.push_back(y);
        break;
      }
    }
  }
  return rows;
}

TEST(TasSwitchTest, TwoLineCaptionIsPaintedAboveAndBelowTheMiddleWithAHalo) {
  TasSwitch sw;
  sw.resize(140, 100);
  QImage plain(4, 4, QImage::Format_RGB32);
  plain.fill(Qt::black);  // all left out: only the caption shows
  sw.setGlyphOff(plain);
  sw.setColor(QColor(0, 0, 120));
  sw.setFontColor(QColor(255, 0, 0));
  sw.setCaption(QStringLiteral("Тест|эжектора"));
  const QImage shot = sw.grab().toImage().convertToFormat(QImage::Format_RGB32);

  const std::vector<int> text = rowsWith(shot, qRgb(255, 0, 0));
  ASSERT_FALSE(text.empty());
  const int middle = 50;
  EXPECT_LT(text.front(), middle);
  EXPECT_GE(text.back(), middle);
  const std::vector<int> halo = rowsWith(shot, TasSwitch::kHaloColor);
  ASSERT_FALSE(halo.empty());
  EXPECT_LT(halo.front(), text.front()) << "the halo reaches one pixel above the text";
  EXPECT_GT(halo.back(), text.back());
}

}  // namespace
}  // namespace tolvane
