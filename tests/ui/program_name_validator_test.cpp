// Program names keep to what the Windows-1251 settings file can hold, however they are typed.
#include "ui/program_name_validator.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>

#include "ui/program_name.h"

namespace tolvane {
namespace {

TEST(ProgramNameValidator, AcceptsWhatWindows1251CarriesAndRefusesTheRest) {
  struct Case {
    QString text;
    bool accepted;
  };
  const Case cases[] = {
      {QString(), true},
      {QStringLiteral("Wheat 2024"), true},
      {QStringLiteral("Пшеница"), true},
      {QStringLiteral("Ёлка ёж"), true},
      {QStringLiteral("«Люкс»"), true},
      {QStringLiteral("0123456789-+,."), true},
      {QStringLiteral("Їжак є Ґ ґ ў"), true},  // Ukrainian and Belarusian letters of 1251
      {QStringLiteral("№ 5 — 10 € ™"), true},
      {QStringLiteral("рис 😀"), false},  // outside the BMP
      {QStringLiteral("小麦"), false},
      {QStringLiteral("Әлем"), false},             // Kazakh letter 1251 lacks
      {QStringLiteral("Weizen Qualität"), false},  // Latin-1 letters are not in 1251
      {QStringLiteral("e\u0301"), false},          // combining accent
      {QString(QChar(0x0098)), false},             // 1251 keeps it only as a foreign byte; a control
      {QStringLiteral("a\tb"), false},
      {QStringLiteral("a\nb"), false},  // would split the INI line
      {QStringLiteral("a\rb"), false},
      {QString(QChar(0x007F)), false},
      {QString(QChar(0xD800)), false},  // lone surrogate
      {QString(QChar(0xDC00)) + QStringLiteral("a"), false},
  };
  ProgramNameValidator validator;
  for (const Case& c : cases) {
    QString text = c.text;
    int pos = 0;
    EXPECT_EQ(validator.validate(text, pos), c.accepted ? QValidator::Acceptable : QValidator::Invalid)
        << c.text.toStdString();
    EXPECT_EQ(text, c.text) << "validate leaves the text alone";
  }
}

TEST(ProgramNameValidator, FixupAndStorableNameDropOnlyTheForeignCharacters) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"Овёс №2", "Овёс №2"},
      {"Ж\xF0\x9F\x98\x80Ж", "ЖЖ"},
      {"a\xC3", "a"},                      // truncated sequence at the end
      {"\xE2\x82z", "z"},                  // truncated sequence before ASCII keeps the ASCII
      {"\x80x\xBF", "x"},                  // stray continuation bytes
      {"\xC2\x98q\xC2\xA0", "q\xC2\xA0"},  // U+0098 dropped, no-break space kept
      {"line\r\nbreak", "linebreak"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(storableProgramName(c.in), c.out) << c.in;
    EXPECT_EQ(isStorableProgramName(c.in), c.in == c.out) << c.in;
  }
  ProgramNameValidator validator;
  QString text = QStringLiteral("Ab😀ä") + QChar(0xD800) + QStringLiteral("Я");
  validator.fixup(text);
  EXPECT_EQ(text, QStringLiteral("AbЯ"));
}

TEST(ProgramNameValidator, LineEditRefusesForeignTypingAndPastes) {
  QLineEdit edit;
  edit.setValidator(new ProgramNameValidator(&edit));
  edit.show();
  // Key events carrying text, as a hardware keyboard's would.
  for (const QString& typed :
       {QStringLiteral("A"), QStringLiteral("б"), QStringLiteral("ä"), QStringLiteral("😀")}) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
    QApplication::sendEvent(&edit, &press);
  }
  EXPECT_EQ(edit.text(), QStringLiteral("Aб"));

  QClipboard* clipboard = QApplication::clipboard();
  clipboard->setText(QStringLiteral("x😀y"));
  edit.paste();
  EXPECT_EQ(edit.text(), QStringLiteral("Aб")) << "a paste holding a foreign character is refused whole";
  clipboard->setText(QStringLiteral("Ёж"));
  edit.paste();
  EXPECT_EQ(edit.text(), QStringLiteral("AбЁж"));
}

}  // namespace
}  // namespace tolvane
