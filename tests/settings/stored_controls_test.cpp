#include "settings/stored_controls.h"

#include <gtest/gtest.h>

#include "settings/settings_file.h"

namespace tolvane {
namespace {

TEST(NumberLabel, AtLeastThreeCharacters) {
  EXPECT_EQ(numberLabelText(7), "007");
  EXPECT_EQ(numberLabelText(0), "000");
  EXPECT_EQ(numberLabelText(42), "042");
  EXPECT_EQ(numberLabelText(255), "255");
  EXPECT_EQ(numberLabelText(1350), "1350");
  // A sign is no digit: the text still reads back as the same number.
  EXPECT_EQ(numberLabelText(-5), "-05");
  EXPECT_EQ(numberLabelText(-123), "-123");
  EXPECT_EQ(numberLabelText(INT32_MIN), "-2147483648");
  for (int32_t v : {-100, -5, 0, 7, 999, 1000}) EXPECT_EQ(captionNumber(numberLabelText(v)), v);
}

TEST(CaptionNumber, FractionIsDroppedAndJunkIsNoNumber) {
  EXPECT_EQ(captionNumber("12.7"), 12);
  EXPECT_EQ(captionNumber("012"), 12);
  EXPECT_EQ(captionNumber("-3,9"), -3);
  EXPECT_EQ(captionNumber(" 40 "), 40);
  EXPECT_EQ(captionNumber(".5"), 0);
  EXPECT_EQ(captionNumber("1e2"), 100);
  EXPECT_EQ(captionNumber(""), std::nullopt);
  EXPECT_EQ(captionNumber("abc"), std::nullopt);
  EXPECT_EQ(captionNumber("12abc"), std::nullopt);
  EXPECT_EQ(captionNumber("1.2.3"), std::nullopt);
  EXPECT_EQ(captionNumber("."), std::nullopt);
  EXPECT_EQ(captionNumber("1e"), std::nullopt);
  EXPECT_EQ(captionNumber("1e999"), std::nullopt);
  EXPECT_EQ(captionNumber("3000000000"), std::nullopt);
  EXPECT_EQ(captionNumber("nan"), std::nullopt);
}

TEST(StoredControls, RestoreTakesPresentKeysOnly) {
  const IniDocument doc = IniDocument::parse(
      "[options]\r\n"
      "TimeLabel_Caption=12.7\r\n"
      "DelayLabel_Caption=020\r\n"
      "MinVesLabel_Caption=junk\r\n"
      "BlackFonLabelB_Caption=045\r\n"
      "MaskSwitch_StateOn=True\r\n"
      "FineTimerButton_StateOn=false\r\n"
      "ColorTuneButton_StateOn=1\r\n");
  MachineSettings m;
  m.FineTimerButton_StateOn = true;
  EXPECT_TRUE(readStoredControls(doc, m));
  EXPECT_EQ(m.Time, 12);
  EXPECT_EQ(m.Delay, 20);
  EXPECT_EQ(m.MinVes, 10);  // not a number: initial value kept
  EXPECT_EQ(m.MaxTime, 300);
  EXPECT_EQ(m.MaxObject, 30);
  EXPECT_EQ(m.BlackFon[0], 0);
  EXPECT_EQ(m.BlackFon[1], 45);
  EXPECT_TRUE(m.MaskSwitch_StateOn);
  EXPECT_FALSE(m.FineTimerButton_StateOn);
  EXPECT_FALSE(m.ColorTuneButton_StateOn);  // only the words count
}

TEST(StoredControls, NegativeFormVersionRestoresNothing) {
  MachineSettings m;
  EXPECT_FALSE(readStoredControls(IniDocument::parse("[options]\r\nFormVersion=-1\r\nTimeLabel_Caption=99\r\n"), m));
  EXPECT_EQ(m.Time, 12);
  EXPECT_TRUE(readStoredControls(IniDocument::parse("[options]\r\nFormVersion=3\r\nTimeLabel_Caption=99\r\n"), m));
  EXPECT_EQ(m.Time, 99);
}

TEST(StoredControls, WriteAndRestoreRoundTrip) {
  MachineSettings m;
  m.Time = 34;
  m.Delay = 5;
  m.MinVes = 2;
  m.MaxTime = 600;
  m.MaxObject = 40;
  m.FRmin = 1;
  m.FRmax = 2;
  m.FGmin = 3;
  m.FGmax = 4;
  m.FBmin = 5;
  m.FBmax = 6;
  m.BlackFon = {7, 8};
  m.BrightModeButton_StateOn = true;
  m.RGBshiftButton_StateOn = true;
  IniDocument doc = IniDocument::parse("[options]\r\nActiveProg=1\r\n");
  const std::pair<std::string, std::string> window[] = {{"ShowCmd", "3"}, {"NormPos", "0,0,1024,768"}};
  writeStoredControls(doc, m, window);

  EXPECT_EQ(doc.readString("options", "TimeLabel_Caption", ""), "034");
  EXPECT_EQ(doc.readString("options", "DelayLabel_Caption", ""), "005");
  EXPECT_EQ(doc.readString("options", "BrightModeButton_StateOn", ""), "True");
  EXPECT_EQ(doc.readString("options", "MaskSwitch_StateOn", ""), "False");
  EXPECT_EQ(doc.readString("options", "NormPos", ""), "0,0,1024,768");
  const std::vector<std::string> keys = doc.keyNames("options");
  ASSERT_GE(keys.size(), 4u);
  EXPECT_EQ(keys[0], "ActiveProg");
  EXPECT_EQ(keys[1], "FormVersion");
  EXPECT_EQ(keys[2], "ShowCmd");
  EXPECT_EQ(keys.size(), 1 + 1 + 2 + storedSwitches().size() + storedCaptions().size());

  MachineSettings back;
  EXPECT_TRUE(readStoredControls(IniDocument::parse(doc.serialize()), back));
  EXPECT_EQ(back.Time, 34);
  EXPECT_EQ(back.Delay, 5);
  EXPECT_EQ(back.MinVes, 2);
  EXPECT_EQ(back.MaxTime, 600);
  EXPECT_EQ(back.MaxObject, 40);
  EXPECT_EQ(back.FRmin, 1);
  EXPECT_EQ(back.FRmax, 2);
  EXPECT_EQ(back.FGmin, 3);
  EXPECT_EQ(back.FGmax, 4);
  EXPECT_EQ(back.FBmin, 5);
  EXPECT_EQ(back.FBmax, 6);
  EXPECT_EQ(back.BlackFon, m.BlackFon);
  EXPECT_TRUE(back.BrightModeButton_StateOn);
  EXPECT_TRUE(back.RGBshiftButton_StateOn);
  EXPECT_FALSE(back.MaskSwitch_StateOn);
}

}  // namespace
}  // namespace tolvane
