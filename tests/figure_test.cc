#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "ravost/stages.h"
#include "tests/test_util.h"

namespace ravost {
namespace {

using Lines = std::vector<std::string>;

// The lines of a plot file; every line must end in CR LF.
using testutil::crlf_lines;

// A hand-made table of n + 1 rays, every value exact in binary.  Row i
// (1-based), in figure inches (8 per unit):
//   main reflector (-2.25 + (i-1)/16, 2 + (i-1)/2)
//   subreflector   ( 5 - (i-1)/16,    1 - (i-1)/16)
// The axis runs from x = -2.25 to x_end = 8 * 0.625 + 1 = 6: 8.25 inches,
// which the 0.1-inch chain line covers in 82 steps.
Design design_with_steps(int n) {
  Design d;
  d.output_steps = n;
  for (int i = 0; i <= n; ++i) {
    const float row = static_cast<float>(i);
    d.rays.main_z[static_cast<size_t>(i)] = -0.28125f + row / 128.0f;
    d.rays.main_r[static_cast<size_t>(i)] = 0.25f + row / 16.0f;
    d.rays.sub_z[static_cast<size_t>(i)] = 0.625f - row / 128.0f;
    d.rays.sub_r[static_cast<size_t>(i)] = 0.125f - row / 128.0f;
  }
  return d;
}
constexpr int kAxisSteps = 82;

// Runs the stage with `answers` on the console (or, when `answer_file` is
// set, from an answer file) in a fresh folder.
struct StageRun {
  explicit StageRun(const Design& d, const std::string& answers, bool answer_file = false)
      : console_in(answer_file ? "" : answers), file(answers) {
    Dialog dialog(console_in, console);
    if (answer_file) dialog.use_answer_file(file, "answers.txt");
    OutFile listing(dir.path() / "ravost.out", "ravost.out");
    Session session{dialog, listing, dir.path(), plothpfa::PLOTIF{0.1f}};
    dual_reflector_figure(d, session);
  }
  Lines plot(const std::string& name = "fig.plt") const {
    return crlf_lines(testutil::read_file(dir.path() / name));
  }

  testutil::TempDir dir;
  std::istringstream console_in;
  std::istringstream file;
  std::ostringstream console;
};

TEST(DualReflectorFigure, DrawsProfilesAxisFeedMarkAndRayInOrder) {
  const int n = 10;
  StageRun run(design_with_steps(n), "fig.plt\n");
  const Lines p = run.plot();
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
    StageRun run(design_with_steps(c.n), "fig.plt\n");
    const Lines p = run.plot();
    ASSERT_EQ(p.size(), static_cast<size_t>(2 * c.n + kAxisSteps + 76)) << "n = " << c.n;
    const auto feed = std::find(p.begin(), p.end(), "PU;PA     0,     0;");
    ASSERT_NE(feed, p.end()) << "n = " << c.n;
    EXPECT_EQ(*(feed + 1), c.draw_to_s) << "n = " << c.n;
  }
}

TEST(DualReflectorFigure, SingleStepTableDrawsNoReflectorLines) {
  StageRun run(design_with_steps(1), "fig.plt\n");
  const Lines p = run.plot();
  ASSERT_GE(p.size(), 5u);
  EXPECT_EQ(p[2], "PU;PA -2286,  2032;");
  EXPECT_EQ(p[3], "PU;PA  5080,  1016;");
  EXPECT_EQ(p[4], "PU;PA -2286,     0;");
}

TEST(DualReflectorFigure, NameTypedOnTheConsoleIsNotEchoed) {
  StageRun run(design_with_steps(10), "fig.plt   \n");
  EXPECT_EQ(run.console.str(), " Enter plot file ");
  EXPECT_EQ(run.plot().front(), "IN;");
}

TEST(DualReflectorFigure, NameFromTheAnswerFileIsEchoedAtFullWidth) {
  StageRun run(design_with_steps(10), "fig.plt\n", /*answer_file=*/true);
  EXPECT_EQ(run.console.str(), " Enter plot file fig.plt" + std::string(33, ' ') + "\n");
  EXPECT_EQ(run.plot().front(), "IN;");
}

TEST(DualReflectorFigure, OnlyTheFirstFortyCharactersNameTheFile) {
  const std::string name(40, 'f');
  StageRun run(design_with_steps(10), name + "tail\n");
  EXPECT_EQ(run.plot(name).front(), "IN;");
}

TEST(DualReflectorFigure, PlotFileThatCannotBeCreatedEndsTheRunNamingIt) {
  testutil::TempDir dir;
  std::filesystem::create_directory(dir.path() / "plots");
  for (const std::string name : {"plots", "missing/fig.plt"}) {
    std::istringstream in(name + "\n");
    std::ostringstream console;
    Dialog dialog(in, console);
    OutFile listing(dir.path() / "ravost.out", "ravost.out");
    Session session{dialog, listing, dir.path(), plothpfa::PLOTIF{0.1f}};
    try {
      dual_reflector_figure(design_with_steps(10), session);
      ADD_FAILURE() << "no error for " << name;
    } catch (const RunError& e) {
      EXPECT_NE(std::string(e.what()).find("\"" + name + "\""), std::string::npos) << e.what();
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

}  // namespace
}  // namespace ravost
