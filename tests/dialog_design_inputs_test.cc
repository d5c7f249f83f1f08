// The opening dialog: console and listing text for each distribution, typed
// and from an answer file, the two stops, the design inputs it leaves, and the
// answers it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "design/synthesis.h"
#include "dialog/stages.h"
#include "tests/test_util.h"
#include "writers/tables.h"

namespace dialog {
namespace {

using design::Design;
namespace ray = design::ray;

struct Outcome {
  std::string console;
  std::string listing;
  Design<float> design;
  bool stopped = false;
};

// Runs the dialog on `answers`, typed or read from an answer file.
Outcome run(const std::string& answers, bool from_file) {
  testutil::StageRun stage(answers, from_file);
  Outcome o;
  try {
    o.design = ask_design(stage.session);
  } catch (const DialogStop&) {
    o.stopped = true;
  }
  o.console = stage.console();
  o.listing = stage.listing_text();
  return o;
}

// The report that ends a run from an answer file, or "" when none does.
std::string file_error(const std::string& answers) {
  try {
    run(answers, true);
  } catch (const RunError& e) {
    return e.what();
  }
  return "";
}

const std::string kGeometry = "0.6\n0.5\n0.25\n0.1\n40,-10\n";
const std::string kBanner =
    " Dual Shaped Axisymmetric Displaced Axis Reflector\n\n Supplement to Tarnwick by Quessary\n\n"
    " Initial design normalized to radius of one\n";
const std::string kGeometryListing =
    " Normalized Shaped Axisymmetric Dual ADE Reflector\r\n\r\n"
    " Supplement to Tarnwick by Quessary\r\n\r\n"
    " Main Hole to Feed along axis:          0.6000\r\n"
    " Feed to Subreflector Rim along axis:   0.5000\r\n"
    " Subreflector max. radius:              0.2500\r\n"
    " Main reflector inner radius:           0.1000\r\n"
    " Feed Half Subtended Angle:             26.565\r\n"
    " Feed beamwidth:  40.00 level dB: -10.0\r\n";
// The coefficient table of 30 dB, nbar = 5 (its values are checked with the
// aperture) as console lines.
std::string taylor_table() {
  std::string text;
  for (const std::string& line : writers::taylor_table(design::taylor_aperture(30.0f, 5))) {
    text += line + "\n";
  }
  return text;
}

TEST(DesignDialog, UniformTypedAtTheConsole) {
  const Outcome o = run(kGeometry + "1\n0.01\n0.05\n", false);
  EXPECT_FALSE(o.stopped);
  EXPECT_EQ(o.console, kBanner +
                           " Enter Axis Distance from Main Hole Rim to Feed "
                           " Enter Axis Distance from Feed to Subreflector Rim "
                           " Radius of subreflector "
                           " Enter Inner Radius of Main Reflector "
                           " Subreflector subtended angle:    53.13\n"
                           " Enter Feed Beamwidth, Beamwidth level dB "
                           " Enter aperture distr: 1 Uniform, 2 Gaussian, 3 Taylor "
                           " Enter Calculation Main Aperture Interval "
                           " Enter Output Aperture Interval ");
  EXPECT_EQ(o.listing, kGeometryListing +
                           " Uniform aperture distribution\r\n"
                           " Calculation Main Aperture interval:    0.010\r\n"
                           " Output Aperture Interval:    0.050\r\n");
}

TEST(DesignDialog, GaussianFromTheAnswerFileEchoesEveryAnswer) {
  const Outcome o = run(kGeometry + "2\n-3.5\n-0.01\n-0.05\n", true);
  EXPECT_EQ(o.console, kBanner +
                           " Enter Axis Distance from Main Hole Rim to Feed  0.6\n"
                           " Enter Axis Distance from Feed to Subreflector Rim  0.5\n"
                           " Radius of subreflector  0.25\n"
                           " Enter Inner Radius of Main Reflector  0.1\n"
                           " Subreflector subtended angle:    53.13\n"
                           " Enter Feed Beamwidth, Beamwidth level dB  40 -10\n"
                           " Enter aperture distr: 1 Uniform, 2 Gaussian, 3 Taylor  2\n"
                           " Enter edge taper (dB)  -3.5\n"
                           "Warning: an edge taper of -3.5 dB makes the aperture's edge brighter "
                           "than its centre; the taper is the drop in dB from the centre to the "
                           "edge.\n"
                           " Enter Calculation Main Aperture Interval  -0.01\n"
                           " Enter Output Aperture Interval  -0.05\n");
  // Taper and intervals are listed with their sign; the intervals are used by size.
  EXPECT_EQ(o.listing, kGeometryListing +
                           " Gaussian aperture distribution edge taper dB:  -3.5\r\n"
                           " Calculation Main Aperture interval:   -0.010\r\n"
                           " Output Aperture Interval:   -0.050\r\n");
  EXPECT_EQ(o.design.aperture.edge_taper_db, -3.5f);
  EXPECT_EQ(o.design.calc_interval(), 0.01f);
  EXPECT_EQ(o.design.output_interval(), 0.05f);
}

TEST(DesignDialog, TaylorShowsItsCoefficientTableOnTheConsoleOnly) {
  const Outcome o = run(kGeometry + "3\n-30\n5\n0.01\n0.05\n", true);
  const std::string tail =
      " Enter aperture distr: 1 Uniform, 2 Gaussian, 3 Taylor  3\n"
      " Taylor Circular Distribution\n"
      " Enter Sidelobe Level  -30\n"
      " Enter Number of First Unchanged Zero of Uniform Distribution  5\n" +
      taylor_table() +
      " Enter Calculation Main Aperture Interval  0.01\n"
      " Enter Output Aperture Interval  0.05\n";
  ASSERT_GE(o.console.size(), tail.size());
  EXPECT_EQ(o.console.substr(o.console.size() - tail.size()), tail);
  EXPECT_EQ(o.listing, kGeometryListing +
                           "\r\n Taylor Circular Aperture Distribution\r\n\r\n"
                           " Sidelobe Level (dB):             30.00\r\n"
                           " First Unchanged Zero, NB:            5\r\n"
                           " Calculation Main Aperture interval:    0.010\r\n"
                           " Output Aperture Interval:    0.050\r\n");
}

TEST(DesignDialog, ListingIsTheSameTypedOrFromTheFileAndForEitherSidelobeSign) {
  for (const std::string kind : {"1\n", "2\n10\n", "3\n30\n5\n", "3\n-30\n5\n"}) {
    const std::string answers = kGeometry + kind + "0.01\n0.05\n";
    const Outcome typed = run(answers, false);
    const Outcome file = run(answers, true);
    EXPECT_EQ(typed.listing, file.listing) << kind;
    EXPECT_EQ(typed.design.power_ratio, file.design.power_ratio) << kind;
  }
  const Outcome plus = run(kGeometry + "3\n30\n5\n0.01\n0.05\n", false);
  const Outcome minus = run(kGeometry + "3\n-30\n5\n0.01\n0.05\n", false);
  EXPECT_EQ(plus.console, minus.console);
  EXPECT_EQ(plus.listing, minus.listing);
  EXPECT_EQ(plus.design.aperture.coefficients, minus.design.aperture.coefficients);
  EXPECT_EQ(plus.design.aperture_power, minus.design.aperture_power);
}

TEST(DesignDialog, ZeroTaperStopsAfterItsEchoWithOnlyGeometryAndFeedListed) {
  for (bool from_file : {false, true}) {
    const Outcome o = run(kGeometry + "2\n0\n0.01\n0.05\n", from_file);
    EXPECT_TRUE(o.stopped);
    EXPECT_EQ(o.listing, kGeometryListing);
    const std::string end = from_file ? " Enter edge taper (dB)  0\n" : " Enter edge taper (dB) ";
    EXPECT_EQ(o.console.substr(o.console.size() - end.size()), end);
  }
}

TEST(DesignDialog, MoreThanTwentyZerosStopsBeforeTheTaylorSetUp) {
  const Outcome o = run(kGeometry + "3\n30\n21\n", true);
  EXPECT_TRUE(o.stopped);
  EXPECT_EQ(o.listing, kGeometryListing);
  EXPECT_EQ(o.console.find("UNNORMALIZED"), std::string::npos);
  const Outcome twenty = run(kGeometry + "3\n30\n20\n0.01\n0.05\n", true);
  EXPECT_FALSE(twenty.stopped);
  EXPECT_NE(twenty.listing.find(" First Unchanged Zero, NB:           20\r\n"), std::string::npos);
}

TEST(DesignDialog, LeaveTheSynthesisItsStartingVector) {
  const Design<float> d = run(kGeometry + "1\n0.01\n0.05\n", false).design;
  const float deg = design::Constants<float>::deg;
  // The radian value is the listed degree value times pi/180.
  const float degrees = std::atan(0.25f / 0.5f) / deg;
  EXPECT_EQ(d.feed_half_angle_deg, degrees);
  EXPECT_EQ(d.feed_half_angle_rad, degrees * deg);
  EXPECT_NEAR(d.feed.exponent, 75.2f, 0.05f);
  EXPECT_NEAR(d.aperture_power, 0.495f, 1e-6f);
  EXPECT_EQ(d.power_ratio, d.feed_power / d.aperture_power);
  const design::RayState<float> v = design::start_state(d);
  EXPECT_EQ(v[ray::radius], 0.1f);
  EXPECT_EQ(v[ray::feed_angle], d.feed_half_angle_rad);
  EXPECT_EQ(v[ray::sub_distance], 0.25f / std::sin(d.feed_half_angle_rad));
  EXPECT_EQ(v[ray::main_z], -0.6f);
  EXPECT_EQ(v[ray::hole_to_feed], 0.6f);
  EXPECT_EQ(v[ray::feed_to_sub], 0.5f);
  EXPECT_EQ(v[ray::feed_exponent], d.feed.exponent);
  EXPECT_EQ(v[ray::power_ratio], d.power_ratio);
}

// An answer that would leave the computation undefined: typed, the problem is
// shown and the question asked again; from the answer file, the run ends with
// a report naming the line.
struct Refusal {
  std::string answers;  // the bad answer at `line`, then a good one
  int line;
  std::string problem;  // part of the one-line report
  std::string prompt;   // the question asked again
};

TEST(DesignDialog, UndefinedAnswersAreAskedAgainOrEndTheFileRun) {
  const std::string tail = "0.01\n0.05\n";
  const std::string feed = "0.6\n0.5\n0.25\n0.1\n";
  const std::string kBeam = " Enter Feed Beamwidth";
  const std::string kCalc = " Enter Calculation";
  const std::string kOutput = " Enter Output";
  const Refusal cases[] = {
      {"0.6\n0.5\n0\n0.25\n0.1\n40,-10\n1\n" + tail, 3, "radius of the subreflector must not be 0", " Radius of subreflector "},
      {"0.6\n0\n0.5\n0.25\n0.1\n40,-10\n1\n" + tail, 2, "feed to the subreflector rim must not be 0", " Enter Axis Distance from Feed to Subreflector Rim "},
      {feed + "0,-10\n40,-10\n1\n" + tail, 5, "feed beamwidth must not be 0", kBeam},
      {feed + "360,-10\n40,-10\n1\n" + tail, 5, "less than 360 degrees", kBeam},
      {feed + "0.01,-10\n40,-10\n1\n" + tail, 5, "too narrow to define", kBeam},
      {feed + "2,-10\n40,-10\n1\n" + tail, 5, "no feed power reaches its rim", kBeam},
      {kGeometry + "4\n1\n" + tail, 6, "must be 1 (uniform), 2 (Gaussian) or 3 (Taylor)", " Enter aperture distr"},
      {kGeometry + "3\n30\n0\n5\n" + tail, 8, "must be at least 1", " Enter Number of First"},
      {kGeometry + "3\n400\n30\n5\n" + tail, 7, "sidelobe level is too large", " Enter Sidelobe Level "},
      {kGeometry + "2\n5000\n10\n" + tail, 7, "edge taper is too large", " Enter edge taper (dB) "},
      {kGeometry + "2\n-1000\n10\n" + tail, 7, "edge taper is too large", " Enter edge taper (dB) "},
      {kGeometry + "1\n0\n" + tail, 7, "calculation interval must not be 0", kCalc},
      {kGeometry + "1\n1e-8\n" + tail, 7, "more than 10000000 steps across", kCalc},
      {kGeometry + "1\n0.01\n0\n0.05\n", 8, "output interval must not be 0", kOutput},
      {kGeometry + "1\n0.0001\n0.000899\n0.05\n", 8, "at most 1001 rays", kOutput},
      {kGeometry + "1\n1e-6\n100\n0.05\n", 8, "more than 10000000 steps per output", kOutput},
  };
  for (const Refusal& c : cases) {
    const Outcome typed = run(c.answers, false);
    const size_t at = typed.console.find(c.problem);
    ASSERT_NE(at, std::string::npos) << c.answers;
    const size_t end = typed.console.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(typed.console.substr(end + 1, c.prompt.size()), c.prompt) << c.answers;
    EXPECT_NE(typed.listing.find(" Output Aperture Interval:    0.050\r\n"), std::string::npos)
        << c.answers;
    const std::string report = file_error(c.answers);
    EXPECT_EQ(report.rfind("Error in design.ans, line " + std::to_string(c.line) + ": ", 0), 0u)
        << report;
    EXPECT_NE(report.find(c.problem), std::string::npos) << report;
  }
}

TEST(DesignDialog, TakesAsGivenWhatStaysDefined) {
  // A negative beamwidth, exactly 1000 output steps.
  for (const std::string& answers : std::initializer_list<std::string>{
           "0.6\n0.5\n0.25\n0.1\n-40,-10\n1\n0.01\n0.05\n",
        "0.6\n0.5\n0.25\n0.1\n40,-10\n1\n0.0009\n0.0009\n",
        kGeometry + "3\n385\n5\n0.01\n0.05\n", kGeometry + "2\n300\n0.01\n0.05\n"}) {
    EXPECT_EQ(file_error(answers), "") << answers;
  }
}

TEST(DesignDialog, RimRayWithoutDirectionIsRefusedAtTheInnerRadius) {
  // Hole rim exactly on the subreflector rim, as the synthesis computes it.
  const Design<float> probe = run(kGeometry + "1\n0.01\n0.05\n", false).design;
  const float r0 = design::start_values(probe).distance;
  const float xs = r0 * std::sin(probe.feed_half_angle_rad);
  const float zs = r0 * std::cos(probe.feed_half_angle_rad);
  std::ostringstream answers;
  answers.precision(9);
  answers << -zs << "\n0.5\n0.25\n" << xs << "\n0.1\n40,-10\n1\n0.01\n0.05\n";
  const std::string report = file_error(answers.str());
  EXPECT_EQ(report.rfind("Error in design.ans, line 4: ", 0), 0u) << report;
  EXPECT_NE(report.find("first ray has no direction"), std::string::npos) << report;
}

}  // namespace
}  // namespace dialog
