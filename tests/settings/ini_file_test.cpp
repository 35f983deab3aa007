#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "settings/cp1251.h"
#include "tests/settings/settings_test_util.h"

namespace tolvane {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

TEST(IniRead, NamesMatchWithoutRegardToCaseAndValuesAreTrimmed) {
  const IniDocument doc = IniDocument::parse(
      "[Options]\r\n"
      "  activeprog =  3  \r\n"
      "Name=  two  words  \r\n"
      "[\xCF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xE0]\r\n"  // [Программа]
      "\xD4\xEE\xED=\xE4\xE0\r\n");                 // Фон=да
  EXPECT_EQ(doc.readInt("OPTIONS", "ActiveProg", 0), 3);
  EXPECT_EQ(doc.readString("options", "NAME", ""), "two  words");
  EXPECT_EQ(doc.readString("ПРОГРАММА", "фОН", ""), "да");
  EXPECT_EQ(doc.readString("options", "Фон", "none"), "none");  // other section
  EXPECT_EQ(doc.readString("missing", "x", "dflt"), "dflt");
}

TEST(IniRead, LinesBeforeTheFirstSectionAndMalformedHeadersHoldNoKeys) {
  const IniDocument doc = IniDocument::parse(
      "Loose=1\n"
      "[ options ]\n"
      "A=1\n"
      "[broken\n"
      "B=2\n"
      "=3\n"
      "no equals sign\n");
  EXPECT_FALSE(doc.hasKey("options", "Loose"));
  EXPECT_EQ(doc.readInt("options", "A", 0), 1);
  // "[broken" is no header, so B still belongs to options.
  EXPECT_EQ(doc.readInt("options", "B", 0), 2);
  EXPECT_FALSE(doc.hasSection("broken"));
  EXPECT_EQ(doc.keyNames("options"), (std::vector<std::string>{"A", "B"}));
}

TEST(IniRead, IntegersTakeLeadingDigitsAndFallBackToTheDefault) {
  const IniDocument doc = IniDocument::parse(
      "[s]\n"
      "a=12abc\nb=abc\nc=-7\nd=  42  \ne=-\nf=\ng=99999999999\nh=2147483647\ni=-2147483648\n"
      "j=2147483648\nk=+5\nl=0x10\nm=- 5\n");
  EXPECT_EQ(doc.readInt("s", "a", -1), 12);
  EXPECT_EQ(doc.readInt("s", "b", -1), -1);
  EXPECT_EQ(doc.readInt("s", "c", -1), -7);
  EXPECT_EQ(doc.readInt("s", "d", -1), 42);
  EXPECT_EQ(doc.readInt("s", "e", -1), -1);
  EXPECT_EQ(doc.readInt("s", "f", -1), -1);
  EXPECT_EQ(doc.readInt("s", "g", -1), -1);
  EXPECT_EQ(doc.readInt("s", "h", -1), 2147483647);
  EXPECT_EQ(doc.readInt("s", "i", -1), INT32_MIN);
  EXPECT_EQ(doc.readInt("s", "j", -1), -1);
  EXPECT_EQ(doc.readInt("s", "k", -1), -1);
  EXPECT_EQ(doc.readInt("s", "l", -1), 0);
  EXPECT_EQ(doc.readInt("s", "m", -1), -1);
  EXPECT_EQ(doc.readInt("s", "missing", 77), 77);
}

TEST(IniRead, BooleansAreAnyNonZeroInteger) {
  const IniDocument doc = IniDocument::parse("[s]\na=1\nb=0\nc=5\nd=-1\ne=True\nf=\ng=2x\n");
  EXPECT_TRUE(doc.readBool("s", "a", false));
  EXPECT_FALSE(doc.readBool("s", "b", true));
  EXPECT_TRUE(doc.readBool("s", "c", false));
  EXPECT_TRUE(doc.readBool("s", "d", false));
  EXPECT_FALSE(doc.readBool("s", "e", false));
  EXPECT_TRUE(doc.readBool("s", "e", true));
  EXPECT_TRUE(doc.readBool("s", "f", true));
  EXPECT_TRUE(doc.readBool("s", "g", false));
  EXPECT_TRUE(doc.readBool("s", "missing", true));
}

TEST(IniRead, PathLinesAreNeverKeys) {
  const IniDocument doc = IniDocument::parse(
      "[options]\r\n"
      "path=\"M-17\"\r\n"
      "pathology=1\r\n"
      "Path=2\r\n");
  // Only a line starting with lower-case "path" is the identifier line; "Path" is an ordinary key.
  EXPECT_EQ(doc.readInt("options", "path", -1), 2);
  EXPECT_FALSE(doc.hasKey("options", "pathology"));
}

TEST(IniRead, FirstOfDuplicateSectionsAndKeysWins) {
  IniDocument doc = IniDocument::parse(
      "[a]\n"
      "k=1\n"
      "k=2\n"
      "[b]\n"
      "x=0\n"
      "[A]\n"
      "k=3\n"
      "j=4\n");
  EXPECT_EQ(doc.readInt("a", "k", 0), 1);
  EXPECT_FALSE(doc.hasKey("a", "j"));
  EXPECT_EQ(doc.sectionNames(), (std::vector<std::string>{"a", "b"}));

  doc.writeInt("a", "k", 9);
  doc.writeInt("a", "j", 5);
  EXPECT_EQ(doc.serialize(),
            "[a]\n"
            "k=9\n"
            "k=2\n"
            "j=5\n"
            "[b]\n"
            "x=0\n"
            "[A]\n"
            "k=3\n"
            "j=4\n");
}

TEST(IniWrite, InPlaceEditsLeaveEveryOtherByteAlone) {
  IniDocument doc = IniDocument::parse(
      "; kept comment\r\n"
      "[Options]\r\n"
      "  activeprog = 3   \r\n"
      "Unknown=keep me\r\n"
      "\r\n"
      "[program0]\r\n"
      "fonmin=100\r\n"
      "Odd  =  x  y  \r\n"
      "\r\n"
      "\r\n"
      "[program1]\r\n"
      "FonMax=9");
  doc.writeInt("options", "ActiveProg", 5);
  doc.writeInt("PROGRAM0", "FonMin", 210);
  doc.writeInt("program0", "NewKey", 1);
  doc.writeInt("program1", "P1Min", 7);
  doc.writeString("program5", "A", "b c");
  EXPECT_EQ(doc.serialize(),
            "; kept comment\r\n"
            "[Options]\r\n"
            "  activeprog = 5\r\n"
            "Unknown=keep me\r\n"
            "\r\n"
            "[program0]\r\n"
            "fonmin=210\r\n"
            "Odd  =  x  y  \r\n"
            "NewKey=1\r\n"
            "\r\n"
            "\r\n"
            "[program1]\r\n"
            "FonMax=9\r\n"
            "P1Min=7\r\n"
            "\r\n"
            "[program5]\r\n"
            "A=b c\r\n");
}

TEST(IniWrite, NewSectionAfterATrailingBlankLineGetsNoSecondOne) {
  IniDocument doc = IniDocument::parse("[a]\r\nx=1\r\n\r\n");
  doc.writeInt("b", "y", 2);
  doc.writeInt("a", "z", 3);
  EXPECT_EQ(doc.serialize(), "[a]\r\nx=1\r\nz=3\r\n\r\n[b]\r\ny=2\r\n");
}

TEST(IniWrite, EmptyDocumentStartsWithCrLf) {
  IniDocument doc;
  doc.writeInt("options", "ActiveProg", 2);
  doc.writeInt("options", "EGA_Min", 1);
  EXPECT_EQ(doc.serialize(), "[options]\r\nActiveProg=2\r\nEGA_Min=1\r\n");
}

TEST(IniWrite, LfOnlyFilesKeepLfLineEnds) {
  IniDocument doc = IniDocument::parse("[a]\nx=1\n");
  doc.writeInt("a", "y", 2);
  doc.writeInt("b", "z", 3);
  EXPECT_EQ(doc.serialize(), "[a]\nx=1\ny=2\n\n[b]\nz=3\n");
}

TEST(IniWrite, LinesAddedToDamagedOrMixedFilesEndInCrLf) {
  const struct {
    const char* file;
    const char* after;
  } cases[] = {
      {"\x01\x02garbage\nmore\x7F", "\x01\x02garbage\nmore\x7F\r\n\r\n[options]\r\nActiveProg=1\r\n"},
      {"[a]\nx=1\r\n", "[a]\nx=1\r\n\r\n[options]\r\nActiveProg=1\r\n"},
      {"no section at all\n", "no section at all\n\r\n[options]\r\nActiveProg=1\r\n"},
      {"[options]\nA=1", "[options]\nA=1\nActiveProg=1\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    IniDocument doc = IniDocument::parse(c.file);
    doc.writeInt("options", "ActiveProg", 1);
    EXPECT_EQ(doc.serialize(), c.after);
  }
}

TEST(IniWrite, Utf8FileWithByteOrderMarkStaysUtf8) {
  IniDocument doc = IniDocument::parse("\xEF\xBB\xBF[options]\r\nИмя=Пшеница\r\n");
  EXPECT_EQ(doc.encoding(), IniDocument::Encoding::kUtf8WithBom);
  EXPECT_EQ(doc.readString("OPTIONS", "имя", ""), "Пшеница");
  doc.writeString("options", "ИМЯ", "Рожь");
  doc.writeString("options", "ProgramName0", "Ячмень");
  EXPECT_EQ(doc.serialize(), "\xEF\xBB\xBF[options]\r\nИмя=Рожь\r\nProgramName0=Ячмень\r\n");
}

TEST(IniWrite, TextIsWindows1251OnDisk) {
  IniDocument doc;
  doc.writeString("options", "ProgramName0", "Рис");
  EXPECT_EQ(doc.serialize(), "[options]\r\nProgramName0=\xD0\xE8\xF1\r\n");
  doc.writeString("options", "ProgramName1", "日本");
  EXPECT_EQ(IniDocument::parse(doc.serialize()).readString("options", "ProgramName1", ""), "??");
}

TEST(IniWrite, ValuesCannotBreakIntoASecondLine) {
  IniDocument doc;
  doc.writeString("s", "a", std::string("x\r\nb=2\0z", 8));
  const IniDocument back = IniDocument::parse(doc.serialize());
  EXPECT_EQ(back.readString("s", "a", ""), "x  b=2 z");
  EXPECT_FALSE(back.hasKey("s", "b"));
}

TEST(IniWrite, NamesThatCannotBeStoredAreRefused) {
  IniDocument doc;
  for (const char* key : {"", "   ", "a=b", "[x", ";c", "path", "pathX", "a\nb", "中"}) {
    EXPECT_THROW(doc.writeInt("s", key, 1), std::invalid_argument) << key;
  }
  for (const char* section : {"", "a]b", "a\rb", "中"}) {
    EXPECT_THROW(doc.writeInt(section, "k", 1), std::invalid_argument) << section;
  }
  EXPECT_EQ(doc.serialize(), "");
  // Names are trimmed like the reader trims them.
  doc.writeInt(" s ", " k ", 1);
  EXPECT_EQ(doc.serialize(), "[s]\r\nk=1\r\n");
}

// Many writes in random order and letter case agree with a simple model, and the text they produce
// reads back the same after a fresh parse.
TEST(IniWrite, RandomWritesAgreeWithAModel) {
  std::mt19937 rng(1234);
  const std::vector<std::string> sections = {"options", "program0", "Program1", "PROGRAM9", "Ряд"};
  const std::vector<std::string> keys = {"FonMin", "ifMassa", "Sector0", "Sector10", "Имя", "x"};
  const auto randomCase = [&rng](std::string s) {
    std::string folded = foldCaseUtf8(s);
    return rng() % 2 ? folded : s;
  };
  IniDocument doc = IniDocument::parse("; header\n[options]\nkeep=1\n\n");
  std::map<std::pair<std::string, std::string>, std::string> model;
  for (int i = 0; i < 400; ++i) {
    const std::string section = sections[rng() % sections.size()];
    const std::string key = keys[rng() % keys.size()];
    const std::string value = std::to_string(rng() % 1000);
    doc.writeString(randomCase(section), randomCase(key), value);
    model[{foldCaseUtf8(section), foldCaseUtf8(key)}] = value;
  }
  const IniDocument back = IniDocument::parse(doc.serialize());
  for (const auto& [name, value] : model) {
    EXPECT_EQ(doc.readString(name.first, name.second, "?"), value);
    EXPECT_EQ(back.readString(name.first, name.second, "?"), value);
  }
  EXPECT_EQ(back.readInt("options", "keep", 0), 1);
  EXPECT_EQ(back.sectionNames().size(), sections.size());
  EXPECT_EQ(back.serialize(), doc.serialize());
}

TEST(IniDamagedInput, AnythingParsesAndSerializesBackUnchanged) {
  std::mt19937 rng(99);
  const std::vector<std::string> fragments = {"[",
                                              "]",
                                              "=",
                                              "\r",
                                              "\n",
                                              "\r\n",
                                              " ",
                                              "\t",
                                              "path",
                                              "options",
                                              "FonMin",
                                              "\"",
                                              std::string(1, '\0'),
                                              "\xFF",
                                              "\xEF\xBB\xBF",
                                              "5"};
  for (int round = 0; round < 300; ++round) {
    std::string bytes;
    const int pieces = static_cast<int>(rng() % 60);
    for (int i = 0; i < pieces; ++i) {
      if (rng() % 4 == 0) {
        bytes += static_cast<char>(rng() % 256);
      } else {
        bytes += fragments[rng() % fragments.size()];
      }
    }
    IniDocument doc = IniDocument::parse(bytes);
    ASSERT_EQ(doc.serialize(), bytes) << "round " << round;
    (void)doc.readInt("options", "FonMin", 0);
    doc.writeInt("options", "FonMin", 5);
    EXPECT_EQ(IniDocument::parse(doc.serialize()).readInt("options", "FonMin", 0), 5) << "round " << round;
  }
}

TEST(IniDamagedInput, HugeLinesNulBytesAndTruncationReadDefaults) {
  const std::string hugeLine(1 << 20, 'A');
  IniDocument doc = IniDocument::parse("[options]\r\n" + hugeLine + "\r\nActiveProg=4\r\n");
  EXPECT_EQ(doc.readInt("options", "ActiveProg", 0), 4);
  doc = IniDocument::parse("[options]\r\nFon" + hugeLine + "=1\r\nKey=" + hugeLine + "\r\n");
  EXPECT_EQ(doc.readString("options", "Key", "").size(), hugeLine.size());

  const char withNul[] = "[opt\0ions]\r\nActiveProg=4\r\n[options]\r\nActive\0Prog=5\r\n";
  doc = IniDocument::parse(std::string(withNul, sizeof withNul - 1));
  EXPECT_EQ(doc.readInt("options", "ActiveProg", 9), 9);

  const std::string whole = "[options]\r\nActiveProg=4\r\n";
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    const IniDocument part = IniDocument::parse(whole.substr(0, cut));
    const int32_t value = part.readInt("options", "ActiveProg", -1);
    EXPECT_TRUE(value == -1 || value == 4) << cut;
  }
}

TEST(IniFile, FirstWriteCreatesTheFileAndEveryWriteReachesItAtOnce) {
  TempDir dir;
  const IniFile ini(dir / "TolvaneGrain.ini");
  EXPECT_FALSE(std::filesystem::exists(ini.path()));
  EXPECT_EQ(ini.readInt("options", "ActiveProg", 0), 0);
  ini.writeInt("options", "ActiveProg", 3);
  EXPECT_EQ(readBytes(ini.path()), "[options]\r\nActiveProg=3\r\n");
  ini.writeBool("program2", "enFast", true);
  EXPECT_EQ(readBytes(ini.path()), "[options]\r\nActiveProg=3\r\n\r\n[program2]\r\nenFast=1\r\n");
  EXPECT_TRUE(ini.readBool("program2", "enfast", false));
  EXPECT_EQ(ini.readString("OPTIONS", "activeprog", ""), "3");
}

TEST(IniFile, RefusedWriteThrowsWithTheFileNameAndChangesNothing) {
  TempDir dir;
  const IniFile missingFolder(dir / "no-such-folder" / "TolvaneGrain.ini");
  try {
    missingFolder.writeInt("options", "ActiveProg", 1);
    FAIL() << "write into a missing folder succeeded";
  } catch (const FileWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + missingFolder.path().string());
  }

  // A settings "file" that cannot be read is never replaced by a file holding one key.
  std::filesystem::create_directory(dir / "folder.ini");
  writeBytes(dir / "folder.ini" / "inside", "x");
  const IniFile folder(dir / "folder.ini");
  EXPECT_THROW(folder.writeInt("options", "ActiveProg", 1), FileWriteError);
  EXPECT_TRUE(std::filesystem::is_directory(folder.path()));
  EXPECT_EQ(readBytes(dir / "folder.ini" / "inside"), "x");
}

TEST(IniFile, BatchWritesReplaceTheFileOnce) {
  TempDir dir;
  const IniFile ini(dir / "TolvaneGrain.ini");
  writeBytes(ini.path(), "[options]\r\nUnknown=1\r\n");
  IniDocument doc = ini.load();
  for (int i = 0; i < 100; ++i) doc.writeInt("program0", "k" + std::to_string(i), i);
  EXPECT_EQ(readBytes(ini.path()), "[options]\r\nUnknown=1\r\n");  // nothing on disk until saved
  ini.save(doc);
  const IniDocument back = ini.load();
  EXPECT_EQ(back.readInt("program0", "k99", -1), 99);
  EXPECT_EQ(back.readInt("options", "Unknown", -1), 1);
}

}  // namespace
}  // namespace tolvane
