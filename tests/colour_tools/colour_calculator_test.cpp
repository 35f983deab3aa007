#include "colour_tools/colour_calculator.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

const ColourFields kErrors = {"error", "error", "error"};

TEST(ColourCalculator, RgbToHsv) {
  struct Case {
    const char* r;
    const char* g;
    const char* b;
    ColourFields hsv;
  };
  const Case cases[] = {
      {"255", "0", "0", {"000.0", "255.0", "255.0"}},
      {"0", "255", "0", {"120.0", "255.0", "255.0"}},
      {"0", "0", "255", {"240.0", "255.0", "255.0"}},
      {"128", "128", "128", {"000.0", "000.0", "128.0"}},
      {" 255 ", "000", "-0", {"000.0", "255.0", "255.0"}},
      // Beyond 0..255 counts as the nearest end.
      {"300", "-5", "0", {"000.0", "255.0", "255.0"}},
      // Anything that is not an integer, in any field.
      {"1.5", "0", "0", kErrors},
      {"0", "", "0", kErrors},
      {"0", "0", "12a", kErrors},
      {"abc", "0", "0", kErrors},
      {"0", "99999999999", "0", kErrors},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rgbToHsvFields(c.r, c.g, c.b), c.hsv) << c.r << "," << c.g << "," << c.b;
  }
}

TEST(ColourCalculator, HsvToRgb) {
  struct Case {
    const char* h;
    const char* s;
    const char* v;
    ColourFields rgb;
  };
  const Case cases[] = {
      {"0", "255", "255", {"255", "000", "000"}},
      {"120", "255", "255", {"000", "255", "000"}},
      {"240", "255", "255", {"000", "000", "255"}},
      {"60", "255", "255", {"254", "255", "000"}},  // the conversion's degree factor lands just short
      {"200", "0", "128", {"128", "128", "128"}},
      {"0", "255", "7", {"007", "000", "000"}},
      // Beyond the ranges counts as the nearest end: H 0..359, S and V 0..255.
      {"-5", "255", "255", {"255", "000", "000"}},
      {"400", "255", "255", {"255", "000", "004"}},
      {"0", "300", "-1", {"000", "000", "000"}},
      {"2147483647", "-2147483648", "2147483647", {"255", "255", "255"}},
      {"120.0", "255", "255", kErrors},
      {"120", " ", "255", kErrors},
      {"120", "255", "0x10", kErrors},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hsvToRgbFields(c.h, c.s, c.v), c.rgb) << c.h << "," << c.s << "," << c.v;
  }
}

}  // namespace
}  // namespace tolvane
