// The scaled design: sorting and scaling of both profiles, the printed table,
// the subreflector extrapolation, the natural splines, and the answers the
// stage refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "dialog/stages.h"
#include "tests/test_util.h"

namespace dialog {
namespace {

using testutil::crlf;
using testutil::StageRun;
using design::Reflector;
using design::ScaledDesign;

// The five-ray design with the subreflector radius falling from its rim (0.3)
// to nearly 0 on z = 1 - r^2, except for the axial ray, which sits off that
// curve at z = 0.5 so that an extrapolation using it would show.
testutil::FiveRays five_ray_design() {
  return testutil::five_rays({0.3f, 0.2f, 0.1f, 0.04f, 0.001f},
                                   {0.91f, 0.96f, 0.99f, 0.9984f, 0.5f});
}

// Runs the scaling stage of the five-ray design.
ScaledDesign<float> scale_design(StageRun& run) {
  const testutil::FiveRays f = five_ray_design();
  return scaling_stage(f.table, f.in, run.session);
}

const std::string kHeader =
    "\n"
    " Design scaled to Diameter =    2.000\n"
    "\n"
    " Subreflector dimensions  Main Reflector dimensions\n"
    "    Radius      Z-axis         Radius     Z-axis\n"
    "\n";
const std::string kRows =
    "     0.000       0.500          0.200     -0.960\n"
    "     0.040       0.998          0.400     -0.840\n"
    "     0.100       0.990          0.600     -0.640\n"
    "     0.200       0.960          0.800     -0.360\n"
    "     0.300       0.910          1.000      0.000\n";

TEST(ScaledTable, ConsoleShowsPromptHeaderRowsDiameterAndQuestion) {
  StageRun run("2\nn\n");
  const ScaledDesign<float> d = scale_design(run);
  EXPECT_EQ(run.console(), " Enter main reflector diameter " + kHeader + kRows +
                                       " Subreflector diameter =     0.600\n"
                                       " Extrapolate larger diameter? ");
}

TEST(ScaledTable, ListingGetsHeaderAndRowsOnlyWithCrLf) {
  StageRun run("2\nn\n");
  const ScaledDesign<float> d = scale_design(run);
  EXPECT_EQ(run.listing_text(), crlf(kHeader + kRows));
}

TEST(ScaledTable, AnswersFromTheFileAreEchoedAfterTheirPrompts) {
  StageRun run("2\nno\n", true);
  const ScaledDesign<float> d = scale_design(run);
  const std::string console = run.console();
  EXPECT_EQ(console.substr(0, 34), " Enter main reflector diameter  2\n");
  EXPECT_NE(console.find(" Extrapolate larger diameter? no" + std::string(18, ' ') + "\n"),
            std::string::npos);
}

TEST(ScaledTable, DiameterOfTwoLeavesNormalisedValuesButPutsTheAxisPointAtZero) {
  const std::vector<design::Ray<float>> before = five_ray_design().table.rays;
  StageRun run("2\nn\n");
  const ScaledDesign<float> d = scale_design(run);
  EXPECT_EQ(d.design_scale, 1.0f);
  EXPECT_EQ(d.sub_r[0], 0.0f);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(d.main_r[i], before[i].main_r) << i;
    EXPECT_EQ(d.main_z[i], before[i].main_z) << i;
  }
  // The subreflector comes reversed into increasing radius.
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(d.sub_r[4 - i], before[i].sub_r) << i;
    EXPECT_EQ(d.sub_z[4 - i], before[i].sub_z) << i;
  }
}

TEST(ScaledTable, BothRadiiIncreaseAndTheFirstRowHoldsAxisAndHoleRim) {
  StageRun run("100\nn\n");
  const ScaledDesign<float> d = scale_design(run);
  EXPECT_EQ(d.design_scale, 50.0f);
  EXPECT_EQ(d.sub_r[0], 0.0f);
  EXPECT_EQ(d.main_r[0], 0.2f * 50.0f);
  for (int i = 1; i < 5; ++i) {
    EXPECT_GT(d.sub_r[i], d.sub_r[i - 1]) << i;
    EXPECT_GT(d.main_r[i], d.main_r[i - 1]) << i;
  }
  EXPECT_EQ(d.sub_r[4], 0.3f * 50.0f);  // the rim is in the last row
  EXPECT_EQ(d.sub_r.size(), 5u);
  EXPECT_EQ(d.sub_rim_diameter, 0.3f * 50.0f * 2.0f);
  const std::string console = run.console();
  EXPECT_NE(console.find("\n     0.000      25.000         10.000    -48.000\n"),
            std::string::npos);
  EXPECT_NE(console.find(" Subreflector diameter =    30.000\n"), std::string::npos);
}

TEST(ScaledTable, SplinesAreNaturalAndPassThroughThePoints) {
  StageRun run("2\nn\n");
  const ScaledDesign<float> d = scale_design(run);
  const design::Profile<float> main = d.profile(Reflector::main);
  const design::Profile<float> sub = d.profile(Reflector::sub);
  EXPECT_EQ(main.y2[0], 0.0f);
  EXPECT_EQ(main.y2[4], 0.0f);
  EXPECT_EQ(sub.y2[0], 0.0f);
  EXPECT_EQ(sub.y2[4], 0.0f);
  // A parabola has curvature 2; the natural ends pull the inner points below.
  EXPECT_GT(main.y2[2], 1.0f);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(main.height(d.main_r[i]), d.main_z[i]) << i;
    EXPECT_EQ(sub.height(d.sub_r[i]), d.sub_z[i]) << i;
  }
}

// Lagrange polynomial through four points, in double precision.
double cubic_through(const float* x, const float* y, double at) {
  double sum = 0.0;
  for (int i = 0; i < 4; ++i) {
    double term = y[i];
    for (int j = 0; j < 4; ++j) {
      if (j != i) {
        term *= (at - static_cast<double>(x[j])) /
                (static_cast<double>(x[i]) - static_cast<double>(x[j]));
      }
    }
    sum += term;
  }
  return sum;
}

// Neville's scheme in 32 bits against the exact polynomial.
constexpr double kPolintTolerance = 1e-5;

TEST(Extrapolation, AddsOnePointOnTheCubicThroughTheFourOutermostPoints) {
  StageRun run("2\ny\n0.8\n");
  const ScaledDesign<float> d = scale_design(run);
  ASSERT_EQ(d.sub_r.size(), 6u);
  EXPECT_EQ(d.sub_rim_diameter, 0.8f);
  EXPECT_EQ(d.sub_r[5], 0.4f);
  const float* x = &d.sub_r[1];
  const float* y = &d.sub_z[1];
  EXPECT_NEAR(d.sub_z[5], cubic_through(x, y, 0.4), kPolintTolerance);
  // The four outer points lie on 1 - r^2; the off-curve axial point is unused.
  EXPECT_NEAR(d.sub_z[5], 0.84, kPolintTolerance);
  EXPECT_EQ(d.profile(Reflector::sub).y2[5], 0.0f);  // the natural end moves to the new rim

  const std::string results =
      " Subreflector extrapolated to diameter =     0.800\n"
      " Subreflector Rim Z-axis =     0.840\n";
  const std::string console = run.console();
  EXPECT_EQ(console.substr(console.size() - results.size()), results);
  EXPECT_NE(console.find(" Extrapolate larger diameter?  Enter new outer diameter "),
            std::string::npos);
  // The table is not printed again: the listing ends with the two lines.
  EXPECT_EQ(run.listing_text(), crlf(kHeader + kRows + results));
}

TEST(Extrapolation, ShortTableUsesThePolynomialThroughAllItsPoints) {
  design::RayTable<float> t;
  t.counts.output_steps = 1;
  // ray order: rim first
  t.rays = {{0.0f, 1.2f, 0.2f, 0.0f, 0.5f, 0.0f}, {0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f}};
  design::DesignSpec choices = testutil::example_choices();
  choices.geometry.main_inner_radius = 0.5;
  StageRun run("2\ny\n0.6\n");
  const ScaledDesign<float> d = scaling_stage(t, design::make_design<float>(choices), run.session);
  ASSERT_EQ(d.sub_r.size(), 3u);
  EXPECT_EQ(d.sub_r[2], 0.3f);
  EXPECT_NEAR(d.sub_z[2], 1.3f, kPolintTolerance);  // on the line z = 1 + r
}

TEST(Refusals, DiameterOfZeroOrLessIsAskedAgainAtTheConsole) {
  StageRun run("0\n-3\n2\nn\n");
  const ScaledDesign<float> d = scale_design(run);
  EXPECT_EQ(d.main_diameter, 2.0f);
  const std::string refusal = " The main reflector diameter must be greater than 0.\n";
  // The Enter typed after each answer ended the prompt line.
  const std::string prompt = " Enter main reflector diameter ";
  const std::string console = run.console();
  EXPECT_EQ(console.substr(0, 3 * prompt.size() + 2 * refusal.size()),
            prompt + refusal + prompt + refusal + prompt);
}

TEST(Refusals, DiameterOfZeroFromTheFileEndsTheRunNamingTheLine) {
  StageRun run("0\n", true);
  const std::string report = testutil::run_error([&] { scale_design(run); });
  EXPECT_EQ(report.rfind("Error in design.ans, line 1: ", 0), 0u) << report;
  EXPECT_NE(report.find("greater than 0"), std::string::npos) << report;
}

TEST(Refusals, DiametersThatWouldOverflowOrMergePointsAreRefused) {
  StageRun run("1e30\n1e-44\n2\nn\n");
  const ScaledDesign<float> d = scale_design(run);
  const std::string console = run.console();
  EXPECT_NE(console.find(" The main reflector diameter is too large for this design.\n"),
            std::string::npos);
  EXPECT_NE(console.find(" The main reflector diameter is too small for this design.\n"),
            std::string::npos);
  EXPECT_EQ(d.design_scale, 1.0f);
  EXPECT_EQ(d.main_r[4], 1.0f);  // refused answers left the table alone
}

TEST(Refusals, NewSubreflectorDiameterMustExceedThePresentOne) {
  StageRun run("2\ny\n0.6\n0.5\n0.8\n");
  const ScaledDesign<float> d = scale_design(run);
  const std::string refusal = " The new subreflector diameter must be larger than the present 0.600.\n";
  const std::string console = run.console();
  const size_t first = console.find(refusal);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(console.find(refusal, first + 1), std::string::npos);
  EXPECT_EQ(d.sub_rim_diameter, 0.8f);
  EXPECT_EQ(d.sub_r.size(), 6u);
}

TEST(Refusals, NewDiameterTooFarOutAndFileAnswersEndTheRun) {
  StageRun console_run("2\ny\n1e30\n0.8\n");
  const ScaledDesign<float> d = scale_design(console_run);
  EXPECT_NE(console_run.console().find(" The new subreflector diameter is too large"),
            std::string::npos);
  EXPECT_EQ(d.sub_r.size(), 6u);

  StageRun file_run("2\ny\n0.5\n", true);
  EXPECT_THROW(scale_design(file_run), RunError);
}

}  // namespace
}  // namespace dialog
