// Message boxes for a finger: Russian buttons, sizes, text size and placement on the screen.
#include "app/operator_dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <functional>

namespace tolvane {
namespace {

using Factory = std::unique_ptr<QMessageBox> (*)(QWidget*, const QString&, const QString&);

struct Expected {
  const char* what;
  Factory make;
  QMessageBox::Icon icon;
  std::vector<std::pair<QMessageBox::StandardButton, QString>> buttons;
  QMessageBox::StandardButton escape;
};

std::vector<Expected> boxes() {
  return {
      {"question",
       makeQuestionBox,
       QMessageBox::Question,
       {{QMessageBox::Yes, QStringLiteral("Да")}, {QMessageBox::No, QStringLiteral("Нет")}},
       QMessageBox::No},
      {"message",
       makeMessageBox,
       QMessageBox::Information,
       {{QMessageBox::Ok, QStringLiteral("ОК")}},
       QMessageBox::Ok},
      {"error",
       makeErrorBox,
       QMessageBox::Critical,
       {{QMessageBox::Ok, QStringLiteral("ОК")}},
       QMessageBox::Ok},
  };
}

QLabel* textLabel(QMessageBox& box) { return box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")); }

TEST(OperatorDialogs, BoxesCarryTheirTextsAndRussianButtonsOnly) {
  for (const Expected& e : boxes()) {
    const auto box = e.make(nullptr, QStringLiteral("Сохранение"), QStringLiteral("Сохранить настройки?"));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Сохранение")) << e.what;
    EXPECT_EQ(box->text(), QStringLiteral("Сохранить настройки?")) << e.what;
    EXPECT_EQ(box->icon(), e.icon) << e.what;
    ASSERT_EQ(box->buttons().size(), qsizetype(e.buttons.size())) << e.what;
    for (const auto& [which, caption] : e.buttons) {
      ASSERT_NE(box->button(which), nullptr) << e.what;
      EXPECT_EQ(box->button(which)->text(), caption) << e.what;
    }
    EXPECT_EQ(box->escapeButton(), box->button(e.escape)) << e.what;
  }
}

TEST(OperatorDialogs, ShownBoxesHaveFingerSizedButtonsReadableTextAndSitInTheScreenCentre) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  // A parent in a corner: the box still goes to the middle of the screen.
  QWidget parent;
  parent.setGeometry(screen.x(), screen.y(), 200, 150);
  parent.show();
  for (const Expected& e : boxes()) {
    for (QWidget* owner : {static_cast<QWidget*>(nullptr), &parent}) {
      const auto box = e.make(owner, QStringLiteral("Ошибка"),
                              QStringLiteral("Не найдена интерфейсная плата №1 digital."));
      box->show();
      for (QAbstractButton* button : box->buttons()) {
        EXPECT_GE(button->height(), kDialogButtonHeight) << e.what;
        EXPECT_GE(button->width(), kDialogButtonWidth) << e.what;
        EXPECT_GE(button->font().pixelSize(), kDialogFontPixels) << e.what;
      }
      ASSERT_NE(textLabel(*box), nullptr);
      EXPECT_GE(textLabel(*box)->font().pixelSize(), kDialogFontPixels) << e.what;
      EXPECT_LE((box->frameGeometry().center() - screen.center()).manhattanLength(), 2)
          << e.what << (owner ? " with parent" : "");
      box->hide();
    }
  }
}

// An earlier test may have asked the application to exit (the restart handling does) while no main
// loop ran; until one has run, every nested loop, exec() of a box included, returns at once. Running
// the main loop once, empty, clears that request.
void clearPendingExit() {
  QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
}

// Answers the box that the function under test is about to run, from inside its event loop.
void answerNextBox(const std::function<void(QMessageBox&)>& answer) {
  QTimer::singleShot(0, [answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    answer(*box);
  });
}

// For a person to look at: TOLVANE_SCREENSHOT_DIR/question_box.png.
TEST(OperatorDialogs, Screenshot) {
  const auto box = makeQuestionBox(nullptr, QStringLiteral("MK Grain"),
                                   QStringLiteral("Сохранить изменения настроек программы?"));
  box->show();
  QDir().mkpath(QStringLiteral(TOLVANE_SCREENSHOT_DIR));
  EXPECT_TRUE(box->grab().save(QStringLiteral(TOLVANE_SCREENSHOT_DIR "/question_box.png")));
}

TEST(OperatorDialogs, AskQuestionIsTrueOnlyForDa) {
  struct Case {
    const char* what;
    std::function<void(QMessageBox&)> answer;
    bool result;
  };
  const Case cases[] = {
      {"Да", [](QMessageBox& b) { b.button(QMessageBox::Yes)->click(); }, true},
      {"Нет", [](QMessageBox& b) { b.button(QMessageBox::No)->click(); }, false},
      {"closed", [](QMessageBox& b) { b.reject(); }, false},
  };
  clearPendingExit();
  for (const Case& c : cases) {
    answerNextBox(c.answer);
    EXPECT_EQ(askQuestion(nullptr, QStringLiteral("Выключение"), QStringLiteral("Выключить?")), c.result)
        << c.what;
  }
}

TEST(OperatorDialogs, MessageAndErrorReturnAfterOk) {
  clearPendingExit();
  int shown = 0;
  const auto ok = [&shown](QMessageBox& b) {
    ++shown;
    EXPECT_EQ(b.buttons().size(), 1);
    b.button(QMessageBox::Ok)->click();
  };
  answerNextBox(ok);
  showMessage(nullptr, QStringLiteral("MK Grain"), QStringLiteral("Настройки сохранены"));
  answerNextBox([&](QMessageBox& b) {
    EXPECT_EQ(b.icon(), QMessageBox::Critical);
    ok(b);
  });
  showError(nullptr, QStringLiteral("MK Grain"), QStringLiteral("Ошибка записи"));
  EXPECT_EQ(shown, 2);
}

}  // namespace
}  // namespace tolvane
