// The shape template editor on the conditions page and the colour calculator of the service page, by
// finger.
#include <gtest/gtest.h>

#include <QTest>
#include <mutex>

#include "app/key_form.h"
#include "app/machine.h"
#include "app/page_test.h"
#include "app/page_work.h"
#include "app/shape_template_controller.h"
#include "tests/app/accessible_driver.h"
#include "tests/app/main_window_rig.h"

namespace tolvane {
namespace {

using test::stopTimers;
using test::touch;
using test::WindowRig;

struct EditorRig {
  WindowRig rig;
  TmForm& form;
  PageWork& page;
  ShapeTemplateController& editor;
  test::AccessibleDriver driver;

  EditorRig()
      : form(rig.create()), page(*form.tabWork()), editor(form.shapeTemplateController()), driver(&form) {
    stopTimers(form);
    form.show();
    form.enterSetupMode();
    form.modeListSelect(3);
  }
  Machine& machine() { return rig.machine(); }
  void setTemplate(std::int32_t valN1, std::int32_t valN2) {
    std::lock_guard lock(machine().engine().engineLock);
    machine().sorter().valN1 = valN1;
    machine().sorter().valN2 = valN2;
  }
  QLabel* formaVal() { return page.conditions[PageWork::kFormaRow].threshold.value; }
};

TEST(ShapeTemplateEditor, OpensHiddenAndDrawsTheProgramsTemplate) {
  EditorRig r;
  EXPECT_TRUE(r.page.FrmEditPanel->isHidden());
  EXPECT_EQ(r.editor.view().heights, (TemplateHalfHeights{0, 0}));
  ASSERT_TRUE(r.driver.pressByDescription(QStringLiteral("Forma_Edit")));
  EXPECT_TRUE(r.page.FrmEditPanel->isVisible());
  EXPECT_EQ(r.editor.view().heights, (TemplateHalfHeights{40, 49}));
  EXPECT_EQ(r.editor.view().ratioText, "81");
  ASSERT_FALSE(r.page.FormImage->pixmap().isNull());
  EXPECT_EQ(r.page.FormImage->pixmap().size(), QSize(200, 140));
  // The ratio is written over the picture: dark pixels right of the left handle, in the text's band.
  const QImage shown = r.page.FormImage->pixmap().toImage();
  int dark = 0;
  for (int y = 50; y < 90; ++y)
    for (int x = 70; x < 130; ++x) dark += qGray(shown.pixel(x, y)) < 64 ? 1 : 0;
  EXPECT_GT(dark, 50);

  // A template changed behind the picture's back (a load) shows again when the picture is touched.
  r.setTemplate(65, 65);
  touch(r.page.FormImage);
  EXPECT_EQ(r.editor.view().ratioText, "100");
}

TEST(ShapeTemplateEditor, BendsChangeTheProgramValuesAndDrawAgain) {
  struct Case {
    std::int32_t valN1, valN2;
    const char* button;
    std::int32_t after1, after2;
    const char* ratio;
  };
  const Case cases[] = {
      {40, 90, "FormaLeftUp", 41, 89, "83"},    {40, 90, "FormaRightDown", 39, 91, "80"},
      {65, 65, "FormaLeftUp", 65, 65, "100"},   {64, 66, "FormaLeftUp", 65, 65, "100"},
      {3, 127, "FormaRightDown", 3, 127, "60"}, {0, 0, "FormaRightDown", 0, 0, "---"},
  };
  EditorRig r;
  ASSERT_TRUE(r.driver.pressByDescription(QStringLiteral("Forma_Edit")));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.valN1 << "/" << c.valN2 << " " << c.button);
    r.setTemplate(c.valN1, c.valN2);
    ASSERT_TRUE(r.driver.pressByDescription(QString::fromLatin1(c.button)));
    EXPECT_EQ(r.machine().sorter().valN1, c.after1);
    EXPECT_EQ(r.machine().sorter().valN2, c.after2);
    EXPECT_EQ(r.editor.view().ratioText, c.ratio);
    EXPECT_FALSE(r.page.FrmEditPanel->isHidden());
  }
  // Held down, the arrow goes on bending.
  r.setTemplate(40, 90);
  QTest::mousePress(r.page.FormaLeftUp, Qt::LeftButton);
  QTest::qWait(350);
  QTest::mouseRelease(r.page.FormaLeftUp, Qt::LeftButton);
  EXPECT_GE(r.machine().sorter().valN1, 42);
  EXPECT_EQ(r.machine().sorter().valN1 + r.machine().sorter().valN2, 130);
  EXPECT_FALSE(r.page.FormaLeftUp->stateOn());
}

TEST(ShapeTemplateEditor, OkTakesTheRatioAsThresholdAndCloses) {
  struct Case {
    std::int32_t valN1, valN2;
    std::int32_t ifForma;  // after "Ok", from 77
    const char* shown;
  };
  const Case cases[] = {
      {41, 89, 83, "083"},
      {65, 65, 100, "100"},
      {3, 127, 60, "060"},
      // No ratio: the threshold stays, and the panel still closes (neither bend could move 0/0).
      {0, 0, 77, "077"},
      {5, -3, 77, "077"},
  };
  EditorRig r;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.valN1 << "/" << c.valN2);
    {
      std::lock_guard lock(r.machine().engine().engineLock);
      r.machine().sorter().ifForma = 77;
    }
    r.formaVal()->setText(QStringLiteral("077"));
    r.setTemplate(c.valN1, c.valN2);
    ASSERT_TRUE(r.driver.pressByDescription(QStringLiteral("Forma_Edit")));
    ASSERT_FALSE(r.page.FrmEditPanel->isHidden());
    ASSERT_TRUE(r.driver.pressByDescription(QStringLiteral("FormaOk")));
    EXPECT_EQ(r.machine().sorter().ifForma, c.ifForma);
    EXPECT_EQ(r.formaVal()->text(), QString::fromLatin1(c.shown));
    EXPECT_TRUE(r.page.FrmEditPanel->isHidden());
    EXPECT_FALSE(r.page.FormaOk->stateOn());
  }
}

TEST(ShapeTemplateEditor, AProgramLoadRedrawsAnOpenPanelOnly) {
  EditorRig r;
  r.editor.showProgram();
  EXPECT_EQ(r.editor.view().ratioText, "");  // closed: nothing drawn
  ASSERT_TRUE(r.driver.pressByDescription(QStringLiteral("Forma_Edit")));
  r.setTemplate(39, 91);
  r.editor.showProgram();
  EXPECT_EQ(r.editor.view().ratioText, "80");
  // On another page the panel stays open and still follows the program.
  r.form.modeListSelect(0);
  r.setTemplate(65, 65);
  r.editor.showProgram();
  EXPECT_EQ(r.editor.view().ratioText, "100");
}

TEST(ColourCalculatorPage, ButtonsConvertTheFields) {
  WindowRig rig;
  TmForm& form = rig.create();
  stopTimers(form);
  form.show();
  form.serviceDoubleTouch();
  PageTest& page = *form.tabTest();

  // A touch on a field opens the on-screen keyboard; Ok writes the typed number into that field only.
  page.R_ed->setText(QStringLiteral("7"));
  touch(page.R_ed);
  TKeyForm& keys = form.keyboard();
  ASSERT_TRUE(keys.isOpen());
  for (const char* key : {"BkSp", "2", "5", "5", "Ok"})
    ASSERT_TRUE(keys.pressKey(QString::fromLatin1(key))) << key;
  EXPECT_FALSE(keys.isOpen());
  EXPECT_EQ(page.R_ed->text(), QStringLiteral("255"));
  page.G_ed->setText(QStringLiteral("0"));
  page.B_ed->setText(QStringLiteral("0"));
  touch(page.RgbToHsvButton);
  EXPECT_EQ(page.H_ed->text(), QStringLiteral("000.0"));
  EXPECT_EQ(page.S_ed->text(), QStringLiteral("255.0"));
  EXPECT_EQ(page.V_ed->text(), QStringLiteral("255.0"));

  page.H_ed->setText(QStringLiteral("240"));
  page.S_ed->setText(QStringLiteral("255"));
  page.V_ed->setText(QStringLiteral(" 255"));
  touch(page.HsvToRgbButton);
  EXPECT_EQ(page.R_ed->text(), QStringLiteral("000"));
  EXPECT_EQ(page.G_ed->text(), QStringLiteral("000"));
  EXPECT_EQ(page.B_ed->text(), QStringLiteral("255"));

  page.G_ed->setText(QStringLiteral("x"));
  touch(page.RgbToHsvButton);
  for (QLineEdit* out : {page.H_ed, page.S_ed, page.V_ed}) EXPECT_EQ(out->text(), QStringLiteral("error"));
}

}  // namespace
}  // namespace tolvane
