// The whole sorting path over the real GigE Vision protocol: fake camera, Aravis driver, camera
// thread, simulated valve board, and the ejector bar scoring what was blown out.
#include <gtest/gtest.h>

#include "tools/aravis_fake_run.h"

namespace tolvane {
namespace {

TEST(AravisEndToEndTest, DefectsSentByTheFakeCameraAreBlownOut) {
  struct Case {
    const char* what;
    bool colour;
  };
  const Case cases[] = {{"single-tone, Mono8", false}, {"colour, RGB8", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeCameraRunOptions options;
    options.colour = c.colour;
    options.seconds = 2.5;
    options.defectShare = 0.2;  // enough defects for a short run to mean something
    const FakeCameraRunResult r = runFakeCamera(options);
    if (r.error.find("cannot bind") != std::string::npos) GTEST_SKIP() << r.error;
    ASSERT_EQ(r.error, "");
    EXPECT_GT(r.counters.deliveredLines, static_cast<std::uint64_t>(options.lineRateHz)) << "lines flowed";
    EXPECT_FALSE(r.counters.lost);
    EXPECT_GE(r.score.defective, 20U) << "enough defects scored";
    // The fake camera paces its frames by sleeping: its line times wander by a line or two, and the
    // items of frames it failed to fill in time cannot be blown out. Wrong valve timing removes under 30 %.
    EXPECT_GE(r.score.defectsRemovedPct(), 80.0) << r.score.defectsRemoved << " of " << r.score.defective;
    EXPECT_LE(r.score.goodLostPct(), 20.0);
  }
}

}  // namespace
}  // namespace tolvane
