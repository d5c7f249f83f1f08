// The dual reflector figure drawn from a hand-made ray table, and the figure
// stage that asks for the plot file.
#include "writers/figure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "dialog/stages.h"
#include "tests/test_util.h"

namespace writers {
namespace {

using testutil::crlf_lines;
using testutil::StageRun;
using Lines = std::vector<std::string>;

// A hand-made table of n + 1 rays, every value exact in binary.  Row i
// (1-based), in figure inches (8 per unit):
//   main reflector (-2.25 + (i-1)/16, 2 + (i-1)/2)
//   subreflector   ( 5 - (i-1)/16,    1 - (i-1)/16)
// The axis runs from x = -2.25 to x_end = 8 * 0.625 + 1 = 6: 8.25 inches,
// which the 0.1-inch chain line covers in 82 steps.
design::RayTable<float> table_with_steps(int n) {
  design::RayTable<float> t;
  t.counts.output_steps = n;
  for (int i = 0; i <= n; ++i) {
    const float row = static_cast<float>(i);
    t.rays.push_back({0.0f, 0.625f - row / 128.0f, 0.125f - row / 128.0f, -0.28125f + row / 128.0f,
                      0.25f + row / 16.0f, 0.0f});
  }
  return t;
}
constexpr int kAxisSteps = 82;

// The lines of the figure drawn from `t`.
Lines plot_of(const design::RayTable<float>& t) {
  std::ostringstream out;
  plothpfa::Plotter plot;
  plot.PINITF(2, out);
  draw_figure(plot, t);
  return crlf_lines(out.str());
}

TEST(DualReflectorFigure, DrawsProfilesAxisFeedMarkAndRayInOrder) {
  const int n = 10;
  const Lines p = plot_of(table_with_steps(n));
  ASSERT_EQ(p.size(), static_cast<size_t>(2 * n + kAxisSteps + 76));

  EXPECT_EQ(p[0], "IN;");
  EXPECT_EQ(p[1], "SP1;");
  // Main reflector rows 1 to n; row n + 1 is not part of the curve.
  EXPECT_EQ(p[2], "PU;PA -2286,  2032;");              // (-2.25, 2)
  EXPECT_EQ(p[3], "PD;PA -2222,  2540;");              // (-2.1875, 2.5)
  EXPECT_EQ(p[1 + n], "PD;PA -1714,  6604;");          // row 10: (-1.6875, 6.5)
  // Subreflector rows 1 to n.
  EXPECT_EQ(p[2 + n], "PU;PA  5080,  1016;");          // (5, 1)
  EXPECT_EQ(p[1 + 2 * n], "PD;PA  4508,   444;");      // row 10: (4.4375, 0.4375)
  // The axis: a restart at the hole rim's Z, then the chain line, then the
  // arrowhead at x_end = 6.
  size_t at = 2 + 2 * n;
  EXPECT_EQ(p[at], "PU;PA -2286,     0;");
  EXPECT_EQ(p[at + 1], "PD;PA -2184,     0;");
  EXPECT_EQ(p[at + 3], "PU;PA -1981,     0;");
  at += 1 + kAxisSteps;
  EXPECT_EQ(p[at], "PU;PA  6096,     0;");
  EXPECT_EQ(p[at + 1], "PM0;");
  EXPECT_EQ(p[at + 15], "PM2;FP;");
  at += 16;
  // Feed mark, pen 2, and the ray from the feed to the subreflector.
  EXPECT_EQ(Lines(p.begin() + static_cast<long>(at), p.begin() + static_cast<long>(at) + 5),
            (Lines{"PU;PA     0,  -203;", "PD;PA     0,   203;", "SP2;", "PU;PA     0,     0;",
                   "PD;PA  4953,   889;"}));  // row 3: (4.875, 0.875)
  at += 5;
  EXPECT_EQ(p[at + 1], "PM0;");
  at += 16;
  // Back onto S, on to M, back onto M, out to the exit point level with M.
  EXPECT_EQ(p[at], "PU;PA  4953,   889;");
  EXPECT_EQ(p[at + 1], "PD;PA -2159,  3048;");  // row 3: (-2.125, 3)
  at += 2 + 16;
  EXPECT_EQ(p[at], "PU;PA -2159,  3048;");
  EXPECT_EQ(p[at + 1], "PD;PA  6096,  3048;");
  // The outgoing arrowhead points along +x: it repeats the axis arrowhead
  // 3 inches higher, and ends the file.
  EXPECT_EQ(p[at + 2], "PU;PA  6096,  3048;");
  EXPECT_EQ(p[at + 3], "PM0;");
  EXPECT_EQ(p[at + 4], "PD;PA  5994,  3058;");  // L_1 = (6 - 0.1, 3 + 0.0105): 5900 -> 5994.9996
  EXPECT_EQ(p.back(), "PM2;FP;");
  EXPECT_EQ(at + 2 + 16, p.size());

  for (const std::string& line : p) EXPECT_EQ(line.find("PG"), std::string::npos) << line;
}

TEST(DualReflectorFigure, TracesRowNDivThreeAndRowOneForShortTables) {
  struct Case {
    int n;
    const char* draw_to_s;
  };
  for (const Case c : {Case{10, "PD;PA  4953,   889;"},    // row 3: (4.875, 0.875)
                       Case{11, "PD;PA  4953,   889;"},    // row 3
                       Case{12, "PD;PA  4889,   825;"},    // row 4: (4.8125, 0.8125)
                       Case{2, "PD;PA  5080,  1016;"},     // row 1: (5, 1)
                       Case{1, "PD;PA  5080,  1016;"}}) {  // row 1
    const Lines p = plot_of(table_with_steps(c.n));
    ASSERT_EQ(p.size(), static_cast<size_t>(2 * c.n + kAxisSteps + 76)) << "n = " << c.n;
    const auto feed = std::find(p.begin(), p.end(), "PU;PA     0,     0;");
    ASSERT_NE(feed, p.end()) << "n = " << c.n;
    EXPECT_EQ(*(feed + 1), c.draw_to_s) << "n = " << c.n;
  }
}

TEST(DualReflectorFigure, SingleStepTableDrawsNoReflectorLines) {
  const Lines p = plot_of(table_with_steps(1));
  ASSERT_GE(p.size(), 5u);
  EXPECT_EQ(p[2], "PU;PA -2286,  2032;");
  EXPECT_EQ(p[3], "PU;PA  5080,  1016;");
  EXPECT_EQ(p[4], "PU;PA -2286,     0;");
}

TEST(FigureStage, WritesTheFigureToTheFileNamedTypedOrFromTheAnswerFile) {
  const design::RayTable<float> t = table_with_steps(10);
  StageRun typed("fig.plt   \n");
  dialog::figure_stage(t, typed.session);
  EXPECT_EQ(typed.console(), " Enter plot file ");  // not echoed
  EXPECT_EQ(crlf_lines(typed.file("fig.plt")), plot_of(t));

  StageRun filed("fig.plt\n", /*from_file=*/true);
  dialog::figure_stage(t, filed.session);
  EXPECT_EQ(filed.console(), " Enter plot file fig.plt" + std::string(33, ' ') + "\n");
  EXPECT_EQ(crlf_lines(filed.file("fig.plt")), plot_of(t));

  // Forty characters fill the name's field; a longer name is refused, not cut.
  const std::string name(40, 'f');
  StageRun exact(name + "\n");
  dialog::figure_stage(t, exact.session);
  EXPECT_EQ(crlf_lines(exact.file(name)).front(), "IN;");
  StageRun longer(name + "tail\n");
  EXPECT_EQ(testutil::run_error([&] { dialog::figure_stage(t, longer.session); }),
            "Error: the name \"" + name + "tail\" has 44 characters; a name here has at most 40.");
  EXPECT_FALSE(std::filesystem::exists(longer.dir.path() / name));
}

TEST(FigureStage, PlotFileThatCannotBeCreatedEndsTheRunNamingIt) {
  for (const std::string name : {"plots", "missing/fig.plt"}) {
    StageRun run(name + "\n");
    std::filesystem::create_directory(run.dir.path() / "plots");
    try {
      dialog::figure_stage(table_with_steps(10), run.session);
      ADD_FAILURE() << "no error for " << name;
    } catch (const dialog::RunError& e) {
      EXPECT_NE(std::string(e.what()).find("\"" + name + "\""), std::string::npos) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(run.dir.path() / "missing"));
  }
}

}  // namespace
}  // namespace writers
