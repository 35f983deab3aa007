// The service page's tools on the main window: research run over "test.bmp", the object dumps, the
// line capture, test marks, the line-dump switch, the emulation run over the research picture and
// the analysis timing, each through its control, with the files it writes and what the operator is
// told.
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "app/machine.h"
#include "app/page_egectors.h"
#include "app/page_simple_work.h"
#include "app/page_test.h"
#include "app/page_test_controller.h"
#include "engine/research.h"
#include "engine/research_picture.h"
#include "engine/service_tools.h"
#include "tests/app/main_window_rig.h"

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::WindowRig;

class ServicePage {
 public:
  explicit ServicePage(std::string_view settings = test::kTwoCameraSettings) {
    rig.writeSettings(settings);
    form = &rig.create();
    test::stopTimers(*form);
    controller().setTell([this](const QString& text) { rig.messages.push_back(text.toStdString()); });
    controller().bindObjectCounter(*form->tabEgectors()->CountLabel);
    form->showPage(page());
  }

  PageTest* page() const { return form->tabTest(); }
  PageTestController& controller() const { return form->testController(); }
  Machine& machine() { return rig.machine(); }
  EngineState& engine() { return machine().engine(); }
  fs::path file(std::string_view name) const { return rig.file(name); }
  std::vector<std::string>& told() { return rig.messages; }
  void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

  WindowRig rig;
  TmForm* form = nullptr;
};

std::vector<std::string> crlfLines(const fs::path& path) {
  const std::string text = test::readBytes(path);
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) return {"<line without CR LF>"};
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

TEST(ServicePageDumps, BufferDumpHasNineLinesPerRecordUpToMaxObject) {
  for (const std::int32_t maxObject : {30, 10, 600}) {
    ServicePage p;
    p.machine().machine().MaxObject = maxObject;
    p.click(p.page()->MasButton);
    const std::vector<std::string> lines = crlfLines(p.file(kBufferDumpName));
    EXPECT_EQ(lines.size(), 2u + 9u * static_cast<std::size_t>(maxObject)) << maxObject;
    ASSERT_GE(lines.size(), 11u);
    EXPECT_EQ(lines[0].rfind("время ", 0), 0u);
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "========> Объект 1");
    EXPECT_EQ(lines[10], "ves 0");
    EXPECT_TRUE(p.told().empty());
  }
}

TEST(ServicePageDumps, DoubleTouchOnTheObjectCounterWritesTheCurrentObjects) {
  ServicePage p;
  QTest::mouseDClick(p.form->tabEgectors()->CountLabel, Qt::LeftButton);
  ASSERT_TRUE(fs::exists(p.file(kCurrentObjectsName)));
  EXPECT_EQ(fs::file_size(p.file(kCurrentObjectsName)), 0u);  // no objects: an empty file

  // After the emulation the table holds its objects: one line each.
  p.click(p.page()->EmulButton);
  QTRY_VERIFY_WITH_TIMEOUT(!p.controller().emulationRunning(), 20000);
  std::int32_t count = 0;
  {
    std::lock_guard lock(p.engine().engineLock);
    count = p.engine().ObjectCount;
  }
  ASSERT_GT(count, 0);
  QTest::mouseDClick(p.form->tabEgectors()->CountLabel, Qt::LeftButton);
  const std::vector<std::string> lines = crlfLines(p.file(kCurrentObjectsName));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(count));
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(1: [01](\t-?\d+){7})"))) << lines[0];
}

TEST(ServicePageDumps, AFileThatCannotBeWrittenIsToldNotThrown) {
  struct Case {
    const char* blocked;
    void (*act)(ServicePage&);
  };
  const Case cases[] = {
      {kBufferDumpName, [](ServicePage& p) { p.click(p.page()->MasButton); }},
      {kCurrentObjectsName, [](ServicePage& p) { p.controller().writeCurrentObjectsDump(); }},
  };
  for (const Case& c : cases) {
    ServicePage p;
    fs::create_directory(p.file(c.blocked));  // a folder where the file should go
    c.act(p);
    EXPECT_EQ(p.told(), std::vector<std::string>{std::string("Не удалось записать файл ") + c.blocked});
  }
}

TEST(ServicePageResearch, RunsOverTestBmpShowingProgressAndWritesTheLabelledPicture) {
  ServicePage p;
  makeResearchPicture().save(p.file(kResearchPictureName));
  p.click(p.page()->ResearchButton);
  EXPECT_TRUE(p.controller().researchRunning());
  EXPECT_EQ(p.page()->ResearchButton->text(), "0 %");
  EXPECT_FALSE(p.page()->ResearchButton->isEnabled());
  EXPECT_FALSE(p.page()->EmulButton->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(!p.controller().researchRunning(), 20000);
  EXPECT_EQ(p.page()->ResearchButton->text(), "Исследование");
  EXPECT_TRUE(p.page()->ResearchButton->isEnabled());
  EXPECT_TRUE(p.page()->EmulButton->isEnabled());
  ASSERT_TRUE(fs::exists(p.file(kResearchOutputName)));
  const BmpImage out = BmpImage::load(p.file(kResearchOutputName));
  EXPECT_EQ(out.width(), 1280);
  EXPECT_EQ(out.height(), 200);
  EXPECT_FALSE(out == makeResearchPicture());  // frames, labels and marks were drawn
  EXPECT_TRUE(p.told().empty());
}

TEST(ServicePageResearch, BadPicturesAndUnwritableResultsAreTold) {
  struct Case {
    const char* what;
    std::string testBmp;  // empty: no file
    bool blockOutput;
    std::string toldPrefix;
  };
  const std::string picture = [] {
    const std::vector<std::uint8_t> bytes = BmpImage(40, 30, {230, 230, 230}).encode();
    return std::string(bytes.begin(), bytes.end());
  }();
  std::string huge(54, '\0');
  huge[0] = 'B';
  huge[1] = 'M';
  huge[14] = 40;
  huge[19] = 0x40;  // width 16384
  huge[23] = 0x40;  // height 16384
  const Case cases[] = {
      {"missing", "", false, "Нет файла test.bmp в папке программы"},
      {"not a bitmap", "garbage", false, "Файл test.bmp не прочитан: "},
      {"truncated", picture.substr(0, 200), false, "Файл test.bmp не прочитан: "},
      {"absurd size", huge, false, "Рисунок test.bmp слишком велик: 16384 x 16384"},
      {"result not writable", picture, true, "Не удалось записать файл test_x.bmp"},
  };
  for (const Case& c : cases) {
    ServicePage p;
    if (!c.testBmp.empty()) test::writeBytes(p.file(kResearchPictureName), c.testBmp);
    if (c.blockOutput) fs::create_directory(p.file(kResearchOutputName));
    p.click(p.page()->ResearchButton);
    QTRY_VERIFY_WITH_TIMEOUT(!p.controller().researchRunning(), 20000);
    ASSERT_EQ(p.told().size(), 1u) << c.what;
    EXPECT_EQ(p.told()[0].rfind(c.toldPrefix, 0), 0u) << c.what << ": " << p.told()[0];
    EXPECT_EQ(p.page()->ResearchButton->text(), "Исследование") << c.what;
    EXPECT_TRUE(p.page()->ResearchButton->isEnabled()) << c.what;
  }
}

TEST(ServicePageEmulation, ButtonIsDisabledWhileItRunsAndObjectsAreLeftInTheTable) {
  ServicePage p;
  EXPECT_EQ(p.controller().researchPicture().width(), 1280);
  EXPECT_EQ(p.controller().researchPicture().height(), 200);
  EXPECT_FALSE(p.page()->Image->pixmap().isNull());

  p.click(p.page()->EmulButton);
  EXPECT_TRUE(p.controller().emulationRunning());
  EXPECT_FALSE(p.page()->EmulButton->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(!p.controller().emulationRunning(), 20000);
  EXPECT_TRUE(p.page()->EmulButton->isEnabled());
  std::lock_guard lock(p.engine().engineLock);
  int live = 0;
  for (int k = 1; k <= p.engine().ObjectCount; ++k) live += p.engine().ObjectTable[k].Done == 0;
  EXPECT_EQ(live, 28);  // fourteen objects per camera
  EXPECT_TRUE(p.told().empty());
}

TEST(ServicePageEmulation, TimeTesterTellsMillisecondsAndLeavesTheSettings) {
  ServicePage p;
  const auto settingsOf = [&p] {
    const SorterSettings& s = p.machine().sorter();
    return std::vector<std::int32_t>{s.FonMin[0], s.FonMax[0], s.P1Min[0], s.P1Max[0], s.P2Min[0],
                                     s.P2Max[0],  s.ifMassa,   s.ifP1,     s.ifP2,     s.ifLength};
  };
  const std::vector<std::int32_t> before = settingsOf();
  p.click(p.page()->Button4);
  ASSERT_EQ(p.told().size(), 1u);
  EXPECT_TRUE(std::regex_match(p.told()[0], std::regex(R"(\d+)"))) << p.told()[0];
  EXPECT_EQ(settingsOf(), before);
}

TEST(ServicePageSorting, AnalysisToolsRefuseWhileSortingRunsAndTheLineCaptureNeedsCamera1) {
  ServicePage p;
  makeResearchPicture().save(p.file(kResearchPictureName));
  p.click(p.page()->Button8);
  EXPECT_EQ(p.told(), std::vector<std::string>{"Камера 1 не работает: запустите сортировку"});
  EXPECT_FALSE(p.controller().captureRunning());

  test::touch(p.form->tabSimpleWork()->PuskSwitch);
  ASSERT_TRUE(p.machine().run().view().puskSwitchOn);
  p.told().clear();
  for (QPushButton* button : {p.page()->ResearchButton, p.page()->EmulButton, p.page()->Button4}) {
    p.click(button);
  }
  EXPECT_EQ(p.told(), std::vector<std::string>(3, "Сначала остановите сортировку"));
  EXPECT_FALSE(p.controller().researchRunning());
  EXPECT_FALSE(p.controller().emulationRunning());

  // The capture: 4000 lines of camera 1 into a picture named after the time.
  p.told().clear();
  p.click(p.page()->Button8);
  EXPECT_TRUE(p.controller().captureRunning());
  EXPECT_FALSE(p.page()->Button8->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(!p.controller().captureRunning(), 30000);
  EXPECT_TRUE(p.page()->Button8->isEnabled());
  ASSERT_EQ(p.told().size(), 1u);
  std::smatch name;
  const std::string message = p.told()[0];
  ASSERT_TRUE(std::regex_match(message, name, std::regex(R"(Файл (\d\d_\d\d_\d\d\.bmp) сохранен)")))
      << message;
  const BmpImage capture = BmpImage::load(p.file(name[1].str()));
  EXPECT_EQ(capture.width(), kStripWidth);
  EXPECT_EQ(capture.height(), kStripHeight);
  EXPECT_FALSE(p.engine().StripCaptureOn.load());
  test::touch(p.form->tabSimpleWork()->PuskSwitch);  // the switch takes a touch once per period
  p.form->Timer5sekTimer();
  test::touch(p.form->tabSimpleWork()->PuskSwitch);
  EXPECT_FALSE(p.machine().run().view().puskSwitchOn);
}

TEST(ServicePageMarks, TestMarksCountUpTo60And100MsApartAndTheDumpSwitchFollowsTheBox) {
  ServicePage p;
  test::touch(p.page()->TestObjectButton);
  EXPECT_EQ(p.engine().TestMarkCountdown.load(), 10);
  QTRY_COMPARE_WITH_TIMEOUT(p.engine().TestMarkCountdown.load(), 60, 5000);

  p.page()->CheckBox5->setChecked(true);
  EXPECT_TRUE(p.engine().CheckBox5.load());
  {
    std::lock_guard lock(p.engine().engineLock);
    EXPECT_TRUE(p.engine().lineDump.enabled());
  }
  p.page()->CheckBox5->setChecked(false);
  EXPECT_FALSE(p.engine().CheckBox5.load());
}

}  // namespace
}  // namespace tolvane
