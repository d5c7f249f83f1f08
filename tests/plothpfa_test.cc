#include "plothpfa/plothpfa.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace {

using plothpfa::PenMove;
using plothpfa::Plotter;
using Lines = std::vector<std::string>;

// The lines of a plot file; every line must end in CR LF.
using testutil::crlf_lines;

// A writer initialised on a string stream; lines() gives what it wrote after
// "IN;".
class PlotterTest : public ::testing::Test {
 protected:
  PlotterTest() { plot.PINITF(2, out); }
  Lines lines() {
    Lines all = crlf_lines(out.str());
    EXPECT_FALSE(all.empty());
    if (!all.empty()) all.erase(all.begin());
    return all;
  }
  std::ostringstream out;
  Plotter plot;
};

TEST(Plotter, InitialisationWritesInFirstAndNothingBeforeIt) {
  std::ostringstream out;
  Plotter plot;
  plot.PPEN(1);
  plot.MOVEAP(PenMove::down, 1.0f, 1.0f);
  plot.MOVEPP(PenMove::up, 0.0f, 0.0f, 6);
  plot.MOVEPP(PenMove::down, 1.0f, 0.0f, 6);
  plot.ARROW(0.3f, 0.0f, 0.0f, 1.0f, 0.0f, 1);
  plot.SPLOT(1, 1, 1, 100, 100);
  EXPECT_FALSE(plot.initialised());
  plot.PINITF(2, out);
  EXPECT_TRUE(plot.initialised());
  EXPECT_EQ(out.str(), "IN;\r\n");
}

TEST_F(PlotterTest, MovesAndDrawsConvertInchesToPlotterUnits) {
  plot.MOVEAP(PenMove::up, 0.0f, 0.0f);
  plot.MOVEAP(PenMove::down, 1.0f, -0.2f);  // 1000 -> 1016.1; -200 -> -203.2, truncated towards zero
  plot.MOVEAP(PenMove::down, -0.2f, 1.0f);
  plot.PPEN(2);
  EXPECT_EQ(lines(), (Lines{"PU;PA     0,     0;", "PD;PA  1016,  -203;", "PD;PA  -203,  1016;",
                            "SP2;"}));
}

TEST_F(PlotterTest, MoveWithAnotherCodeWritesNothing) {
  plot.MOVEAP(static_cast<PenMove>(0), 1.0f, 1.0f);
  plot.MOVEAP(static_cast<PenMove>(2), 1.0f, 1.0f);
  plot.MOVEAP(static_cast<PenMove>(-2), 1.0f, 1.0f);
  EXPECT_TRUE(lines().empty());
}

TEST_F(PlotterTest, WindowScaleIsTheRoundedRatioAndTheQuotientIsTruncated) {
  // 9999 / 0.98415357 = 10159.99996 and 10000 / 0.98415357 = 10161.0162: the
  // 32-bit scale is a hair below 9999/10160, so the window's edge falls short.
  plot.SPLOT(1, -1, 1, 9999, 10000);
  plot.SPLOT(1, 1, 1, -9999, -10000);
  // Any other pen code writes nothing; b = 0 selects a pen whatever a is.
  plot.SPLOT(1, 0, 1, 5, 5);
  plot.SPLOT(1, 7, 0, 3, 0);
  // Codes other than -3 and 1 are ignored.
  plot.SPLOT(2, 1, 1, 5, 5);
  EXPECT_EQ(lines(), (Lines{"PU;PA 10159, 10161;", "PD;PA-10159,-10161;", "SP3;"}));
}

TEST_F(PlotterTest, OutOfFieldValuesPrintAsAsterisks) {
  // 1000 inches is 1016101 plotter units (seven digits); -100 inches -101610.
  plot.MOVEAP(PenMove::down, 1000.0f, -100.0f);
  // Beyond any integer, infinite or NaN: still asterisks, never undefined.
  plot.MOVEAP(PenMove::down, 1.0e30f, -1.0e30f);
  plot.MOVEAP(PenMove::down, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN());
  plot.SPLOT(1, 1, 1, std::numeric_limits<int>::max(), std::numeric_limits<int>::min());
  plot.PPEN(10);
  plot.PPEN(-1);
  const std::string stars = "PD;PA******,******;";
  EXPECT_EQ(lines(), (Lines{stars, stars, stars, stars, "SP*;", "SP*;"}));
}

// Window x of each step along the axis: 0.1 inch per step is 101 or 102 units.
TEST_F(PlotterTest, ChainLineRestartsItsPatternAtAPenUpMove) {
  plot.MOVEPP(PenMove::up, 0.0f, 0.0f, 6);
  plot.MOVEPP(PenMove::down, 0.55f, 0.0f, 6);  // five steps, 0.05 inch left undrawn
  EXPECT_EQ(lines(), (Lines{"PU;PA     0,     0;", "PD;PA   101,     0;", "PD;PA   203,     0;",
                            "PU;PA   304,     0;", "PD;PA   406,     0;", "PU;PA   508,     0;"}));
}

TEST_F(PlotterTest, ExactlyOneInchMakesNineStepsAndThePatternRunsOn) {
  plot.MOVEPP(PenMove::up, 0.0f, 0.0f, 6);
  // 1.0 - 9 * 0.1 in 32-bit steps leaves 0.09999993, less than one dash.
  plot.MOVEPP(PenMove::down, 1.0f, 0.0f, 6);
  EXPECT_EQ(lines(), (Lines{"PU;PA     0,     0;", "PD;PA   101,     0;", "PD;PA   203,     0;",
                            "PU;PA   304,     0;", "PD;PA   406,     0;", "PU;PA   508,     0;",
                            "PD;PA   609,     0;", "PD;PA   711,     0;", "PD;PA   812,     0;",
                            "PU;PA   914,     0;"}));
}

TEST_F(PlotterTest, ChainLineCarriesItsPatternAndLastPointAcrossCorners) {
  plot.MOVEPP(PenMove::up, 0.0f, 0.0f, 6);
  plot.MOVEPP(PenMove::down, 0.55f, 0.0f, 6);  // steps 0-4; stands at x = 0.5
  // Less than one step away: nothing is written and the point stays.
  plot.MOVEPP(PenMove::down, 0.55f, 0.05f, 6);
  // Measured from (0.5, 0): steps 5, 0, 1 of the pattern, all drawn.
  plot.MOVEPP(PenMove::down, 0.5f, 0.35f, 6);
  Lines all = lines();
  ASSERT_EQ(all.size(), 9u);
  EXPECT_EQ(Lines(all.begin() + 6, all.end()),
            (Lines{"PD;PA   508,   101;", "PD;PA   508,   203;", "PD;PA   508,   304;"}));
}

TEST_F(PlotterTest, PatternsFollowTheirTableAndUnknownPatternsDrawSolid) {
  // Ten steps of 0.25 inch each (dash exact in binary) per pattern; one
  // character per step, 'd' drawn and 'g' skipped.
  const std::vector<std::pair<int, std::string>> cases = {
      {1, "dddddddddd"}, {2, "dgdgdgdgdg"}, {3, "ddgddgddgd"}, {4, "dddgdddgdd"},
      {5, "ddgdgddgdg"}, {6, "ddgdgdddgd"}, {7, "ddgdgdgddg"}, {0, "dddddddddd"},
      {8, "dddddddddd"}, {-6, "dddddddddd"}};
  for (const auto& [pattern, expected] : cases) {
    std::ostringstream out;
    Plotter plot(plothpfa::PLOTIF{0.25f});
    plot.PINITF(2, out);
    plot.MOVEPP(PenMove::up, 0.0f, 0.0f, pattern);
    plot.MOVEPP(PenMove::down, 0.0f, 2.5f, pattern);
    Lines all = crlf_lines(out.str());
    ASSERT_EQ(all.size(), 12u) << "pattern " << pattern;
    std::string steps;
    for (size_t i = 2; i < all.size(); ++i) steps += all[i].starts_with("PD;") ? 'd' : 'g';
    EXPECT_EQ(steps, expected) << "pattern " << pattern;
  }
}

TEST(Plotter, ChainLineEndsWhenTheDashNoLongerShortensTheRemainder) {
  // In 32-bit reals 1e30 - 0.1 is 1e30, and a dash of 0 or less never
  // shortens anything: each such line must still come to an end.
  struct Case {
    float dash;
    float x;
  };
  for (const Case c : {Case{0.1f, 1.0e30f}, Case{0.1f, std::numeric_limits<float>::infinity()},
                       Case{0.0f, 1.0f}, Case{-0.1f, 1.0f}}) {
    std::ostringstream out;
    Plotter plot(plothpfa::PLOTIF{c.dash});
    plot.PINITF(2, out);
    plot.MOVEPP(PenMove::up, 0.0f, 0.0f, 6);
    plot.MOVEPP(PenMove::down, c.x, 0.0f, 6);
    EXPECT_LE(crlf_lines(out.str()).size(), 4u) << c.dash << " " << c.x;
  }
}

TEST_F(PlotterTest, FilledArrowheadVisitsItsThirteenPointsInOrder) {
  plot.ARROW(1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 1);
  // The points in inches and window units (32-bit sums truncated):
  //   L  (-1/3, 0.035) (-2/3, 0.09) (-1, 0.18)   -> -333, -666, -1000 / 35, 90, 180
  //   N  (-0.94, 0.12) (-0.9, 0.06) (-0.88, 0)   -> -939, -899, -879 / 120, 60, 0
  //   Q  (-0.88, 0) (-0.9, -0.06) (-0.94, -0.12)
  //   R  (-1, -0.18) (-2/3, -0.09) (-1/3, -0.035), then the tip.
  // -1 + 0.06f is -0.93999999762 in 32-bit, so it truncates to -939; likewise
  // -0.9 and -0.88 land just above their thousandths.
  EXPECT_EQ(lines(), (Lines{"PU;PA     0,     0;", "PM0;",
                            "PD;PA  -338,    35;", "PD;PA  -676,    91;", "PD;PA -1016,   182;",
                            "PD;PA  -954,   121;", "PD;PA  -913,    60;", "PD;PA  -893,     0;",
                            "PD;PA  -893,     0;", "PD;PA  -913,   -60;", "PD;PA  -954,  -121;",
                            "PD;PA -1016,  -182;", "PD;PA  -676,   -91;", "PD;PA  -338,   -35;",
                            "PD;PA     0,     0;", "PM2;FP;"}));
}

TEST_F(PlotterTest, OpenArrowheadLeavesItsBackOpen) {
  // Pointing left mirrors the head: its left side lies below the axis.
  plot.ARROW(1.0f, 0.0f, 0.0f, -1.0f, 0.0f, 0);
  EXPECT_EQ(lines(), (Lines{"PU;PA     0,     0;", "PD;PA   338,   -35;", "PD;PA   676,   -91;",
                            "PD;PA  1016,  -182;", "PU;PA  1016,   182;", "PD;PA   676,    91;",
                            "PD;PA   338,    35;", "PD;PA     0,     0;"}));
}

TEST_F(PlotterTest, ArrowheadFollowsItsDirection) {
  // Pointing up: the back corners lie one inch below the tip, 0.18 inch to
  // the left (the left side) and to the right.
  plot.ARROW(1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 2);
  Lines all = lines();
  ASSERT_EQ(all.size(), 8u);
  EXPECT_EQ(all[3], "PD;PA  -182, -1016;");  // L_3 = (-0.18, -1)
  EXPECT_EQ(all[4], "PU;PA   182, -1016;");  // R_3 = (0.18, -1)
}

TEST(Plotter, NamedPlotFileIsRewrittenWithCrLfLines) {
  testutil::TempDir dir;
  testutil::write_file(dir.path() / "fig.plt", std::string(100, 'x'));
  Plotter plot;
  ASSERT_TRUE(plot.PINITF(2, "fig.plt                                 ", dir.path()));
  plot.PPEN(1);
  EXPECT_TRUE(plot.close());
  EXPECT_FALSE(plot.initialised());
  EXPECT_EQ(testutil::read_file(dir.path() / "fig.plt"), "IN;\r\nSP1;\r\n");
  EXPECT_TRUE(plot.close());  // a second close is harmless
}

TEST(Plotter, PlotFileThatCannotBeOpenedIsReported) {
  testutil::TempDir dir;
  std::filesystem::create_directory(dir.path() / "folder");
  Plotter plot;
  EXPECT_FALSE(plot.PINITF(2, "folder", dir.path()));
  EXPECT_FALSE(plot.PINITF(2, "missing/fig.plt", dir.path()));
  EXPECT_FALSE(plot.PINITF(2, std::string(40, ' '), dir.path()));
  EXPECT_FALSE(plot.initialised());
  plot.PPEN(1);  // still writes nowhere
}

}  // namespace
