// The on-screen keyboard window: its layout, keys, touches, modality and what it hands back.
#include "app/key_form.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "ui/on_screen_keyboard.h"

namespace tolvane {
namespace {

struct Confirmation {
  int index;
  QString text;
};

// Records confirmations, and whether the window was still open when each came.
class Confirmations {
 public:
  explicit Confirmations(TKeyForm& form) {
    QObject::connect(&form, &TKeyForm::confirmed, [this, &form](int index, const QString& text) {
      list.push_back({index, text});
      openDuringSignal = openDuringSignal || form.isOpen();
    });
  }
  std::vector<Confirmation> list;
  bool openDuringSignal = false;
};

TEST(KeyForm, WindowIsAFramelessModalGreyPanelWithItsTexts) {
  TKeyForm form;
  EXPECT_EQ(form.size(), QSize(866, 250));
  EXPECT_TRUE(form.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(form.windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(form.nameEdit()->objectName(), QStringLiteral("NameEdit"));

  QStringList texts;
  for (const QLabel* label : form.findChildren<QLabel*>()) {
    texts << label->text();
  }
  EXPECT_TRUE(texts.contains(QStringLiteral("Название настроек")));
  EXPECT_TRUE(
      texts.contains(QStringLiteral("Введите или исправьте название настройки.\nЗавершение ввода - Ok.")));

  const QImage shot = form.grab().toImage();
  EXPECT_EQ(shot.pixel(300, 240), qRgb(128, 128, 128)) << "background below the space bar";
  EXPECT_NE(shot.pixel(0, 125), qRgb(128, 128, 128)) << "thin border";
}

TEST(KeyForm, KeysAreFlatNonFocusButtonsPlacedAndNamedAsTheLayoutSays) {
  TKeyForm form;
  const auto keys = OnScreenKeyboard::keys();
  ASSERT_EQ(form.keyButtons().size(), keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    QPushButton* button = form.keyButtons()[i];
    const QString caption = QString::fromUtf8(keys[i].normal.data(), qsizetype(keys[i].normal.size()));
    EXPECT_EQ(button->geometry(), QRect(keys[i].x, keys[i].y, keys[i].width, keys[i].height))
        << caption.toStdString();
    EXPECT_EQ(button->text(), caption);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name), caption);
    EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << "NameEdit keeps the focus";
    EXPECT_TRUE(button->font().bold() && button->font().pixelSize() == 16);
  }
}

TEST(KeyForm, SevenLetterNameTwoBackspacesAndOkGiveFiveLetters) {
  TKeyForm form;
  Confirmations confirmations(form);
  form.openFor(3, QStringLiteral("Пшеница"));
  ASSERT_TRUE(form.isOpen());
  EXPECT_EQ(form.editedIndex(), 3);
  EXPECT_EQ(form.text(), QStringLiteral("Пшеница"));

  EXPECT_TRUE(form.pressKey(QStringLiteral("BkSp")));
  EXPECT_TRUE(form.pressKey(QStringLiteral("BkSp")));
  EXPECT_TRUE(form.pressKey(QStringLiteral("Ok")));
  ASSERT_EQ(confirmations.list.size(), 1u);
  EXPECT_EQ(confirmations.list[0].index, 3);
  EXPECT_EQ(confirmations.list[0].text, QStringLiteral("Пшени"));
  EXPECT_FALSE(form.isOpen());
  EXPECT_FALSE(confirmations.openDuringSignal) << "the window hides before it reports";
}

TEST(KeyForm, ShiftRelabelsTheKeysAndIsKeptBetweenOpenings) {
  TKeyForm form;
  form.openFor(0, QString());
  form.pressKey(QStringLiteral("Shift"));
  form.pressKey(QStringLiteral("й"));
  EXPECT_EQ(form.text(), QStringLiteral("Й"));
  EXPECT_NE(form.keyButton(QStringLiteral("Й")), nullptr);
  EXPECT_NE(form.keyButton(QStringLiteral("Ю")), nullptr);
  EXPECT_EQ(form.keyButton(QStringLiteral("й")), nullptr);
  EXPECT_EQ(form.keyButton(QStringLiteral(".")), nullptr) << "the full stop reads \",\" while shifted";
  EXPECT_EQ(
      QAccessible::queryAccessibleInterface(form.keyButton(QStringLiteral("Й")))->text(QAccessible::Name),
      QStringLiteral("Й"));

  form.close();
  form.openFor(1, QStringLiteral("а"));
  EXPECT_TRUE(form.shift());
  form.pressKey(QStringLiteral("."));
  form.pressKey(QStringLiteral("Shift"));
  form.pressKey(QStringLiteral("й"));
  form.pressKey(QStringLiteral("."));
  EXPECT_EQ(form.text(), QStringLiteral("а,й."));
  EXPECT_NE(form.keyButton(QStringLiteral("й")), nullptr);
}

TEST(KeyForm, EnterAndAHardwareReturnConfirmToo) {
  TKeyForm form;
  Confirmations confirmations(form);
  form.openFor(8, QStringLiteral("Рожь"));
  form.pressKey(QStringLiteral(" "));
  form.pressKey(QStringLiteral("2"));
  form.pressKey(QStringLiteral("Enter"));
  form.openFor(5, QStringLiteral("Овёс"));
  QTest::keyClick(form.nameEdit(), Qt::Key_Return);
  ASSERT_EQ(confirmations.list.size(), 2u);
  EXPECT_EQ(confirmations.list[0].index, 8);
  EXPECT_EQ(confirmations.list[0].text, QStringLiteral("Рожь 2"));
  EXPECT_EQ(confirmations.list[1].index, 5);
  EXPECT_EQ(confirmations.list[1].text, QStringLiteral("Овёс"));
}

TEST(KeyForm, ClosingOtherwiseCopiesNothing) {
  TKeyForm form;
  Confirmations confirmations(form);
  form.openFor(2, QStringLiteral("Ячмень"));
  form.pressKey(QStringLiteral("BkSp"));
  form.close();
  EXPECT_FALSE(form.isOpen());
  EXPECT_TRUE(confirmations.list.empty());
}

TEST(KeyForm, BadRequestsChangeNothing) {
  TKeyForm form;
  Confirmations confirmations(form);
  EXPECT_EQ(form.editedIndex(), -1);
  EXPECT_FALSE(form.pressKey(QStringLiteral("Ok"))) << "a closed keyboard takes no touches";
  form.openFor(9, QStringLiteral("x"));
  form.openFor(-1, QStringLiteral("x"));
  EXPECT_FALSE(form.isOpen());
  EXPECT_EQ(form.editedIndex(), -1);

  form.openFor(4, QStringLiteral("Рис😀\n"));
  EXPECT_EQ(form.text(), QStringLiteral("Рис")) << "what a name cannot hold is left out";
  for (const QString& unknown :
       {QStringLiteral("Esc"), QString(), QStringLiteral("ё"), QStringLiteral("ok")}) {
    EXPECT_FALSE(form.pressKey(unknown)) << unknown.toStdString();
  }
  form.openFor(10, QStringLiteral("y"));
  EXPECT_EQ(form.editedIndex(), 4);
  EXPECT_EQ(form.text(), QStringLiteral("Рис"));
  EXPECT_TRUE(confirmations.list.empty());
}

TEST(KeyForm, TouchingAKeyTypesItsCaption) {
  TKeyForm form;
  form.openFor(0, QStringLiteral("Го"));
  QTest::mouseClick(form.keyButton(QStringLiteral("р")), Qt::LeftButton);
  QTest::mouseClick(form.keyButton(QStringLiteral("х")), Qt::LeftButton);
  EXPECT_EQ(form.text(), QStringLiteral("Горх"));
  EXPECT_EQ(form.nameEdit()->cursorPosition(), 4);
}

TEST(KeyForm, NameEditRefusesForeignCharactersAndStaysInStepWithTheKeys) {
  TKeyForm form;
  form.openFor(0, QString());
  for (const QString& typed : {QStringLiteral("Б"), QStringLiteral("ä"), QStringLiteral("1")}) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
    QApplication::sendEvent(form.nameEdit(), &press);
  }
  EXPECT_EQ(form.text(), QStringLiteral("Б1"));
  form.pressKey(QStringLiteral("а"));
  EXPECT_EQ(form.text(), QStringLiteral("Б1а")) << "keys continue from what was typed";
}

TEST(KeyForm, TouchOnNameEditPutsTheCaretAtTheEndWithoutSelection) {
  TKeyForm form;
  form.openFor(0, QStringLiteral("Кукуруза"));
  form.nameEdit()->setSelection(0, 3);
  QTest::mouseClick(form.nameEdit(), Qt::LeftButton, {}, QPoint(6, 15));
  QTest::mouseDClick(form.nameEdit(), Qt::LeftButton, {}, QPoint(6, 15));
  EXPECT_FALSE(form.nameEdit()->hasSelectedText());
  EXPECT_EQ(form.nameEdit()->cursorPosition(), 8);
}

TEST(KeyForm, OpensCentredAndIsDraggedByItsBackground) {
  TKeyForm form;
  form.openFor(0, QString());
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_LE((form.frameGeometry().center() - screen.center()).manhattanLength(), 2);

  const QPoint start = form.pos();
  const QPoint grip = form.mapToGlobal(QPoint(300, 240));
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(300, 240), grip, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(&form, &press);
  const QPoint to = grip + QPoint(-40, 25);
  QMouseEvent move(QEvent::MouseMove, QPointF(form.mapFromGlobal(to)), to, Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(&form, &move);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(form.mapFromGlobal(to)), to, Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &release);
  EXPECT_EQ(form.pos(), start + QPoint(-40, 25));

  // A move without the finger down does not drag.
  QMouseEvent hover(QEvent::MouseMove, QPointF(10, 240), form.mapToGlobal(QPoint(10, 240)), Qt::NoButton,
                    Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&form, &hover);
  EXPECT_EQ(form.pos(), start + QPoint(-40, 25));

  form.close();
  form.openFor(1, QString());
  EXPECT_EQ(form.pos(), start) << "centred again at the next opening";
}

// For a person to look at: TOLVANE_SCREENSHOT_DIR/key_form.png and key_form_shift.png.
TEST(KeyForm, Screenshots) {
  TKeyForm form;
  form.openFor(0, QStringLiteral("Пшеница мягкая"));
  QDir().mkpath(QStringLiteral(TOLVANE_SCREENSHOT_DIR));
  EXPECT_TRUE(form.grab().save(QStringLiteral(TOLVANE_SCREENSHOT_DIR "/key_form.png")));
  form.pressKey(QStringLiteral("Shift"));
  EXPECT_TRUE(form.grab().save(QStringLiteral(TOLVANE_SCREENSHOT_DIR "/key_form_shift.png")));
}

}  // namespace
}  // namespace tolvane
