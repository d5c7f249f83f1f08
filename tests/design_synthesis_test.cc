// The surface synthesis: the ray table against the geometry, the closed form
// of a flat feed and the constant path length; the step counts; the
// derivative routine; and the synthesis stage that prints the table.
#include "design/synthesis.h"
#include "numerics/runge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "design/feed.h"
#include "dialog/driver.h"
#include "dialog/stages.h"
#include "run/stages.h"
#include "tests/test_util.h"
#include "writers/tables.h"

namespace design {
namespace {

using Table = RayTable<float>;

// The example design (examples/uniform.ans), and its variants.
DesignSpec example_choices() { return testutil::example_choices(); }
Design<float> example_design() { return make_design<float>(example_choices()); }

// The path length of a ray, in double, from its points.
double path_length(const Ray<float>& t) {
  const double xs = t.sub_r, zs = t.sub_z, zm = t.main_z, r = t.main_r;
  return std::hypot(xs - r, zs - zm) + std::hypot(xs, zs) - zm;
}

// Rays i of a and j of b agree bit for bit.
::testing::AssertionResult same_ray(const Table& a, std::size_t i, const Table& b, std::size_t j) {
  const Ray<float>& x = a.rays[i];
  const Ray<float>& y = b.rays[j];
  if (bits_of(x.sub_z) == bits_of(y.sub_z) && bits_of(x.sub_r) == bits_of(y.sub_r) &&
      bits_of(x.main_z) == bits_of(y.main_z) && bits_of(x.main_r) == bits_of(y.main_r) &&
      bits_of(x.feed_angle_deg) == bits_of(y.feed_angle_deg) &&
      bits_of(x.path_length) == bits_of(y.path_length)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "ray " << i + 1 << " differs from ray " << j + 1;
}

// Tolerances, measured on the example design (hole rim to feed 0.2, feed to
// subreflector rim 0.5, subreflector radius 0.25, hole radius 0.12, feed 40
// degrees at -10 dB, calculation interval 0.001, 45 rays) and its flat-feed
// variant.
// The path length drifts by at most 4.6e-6 (3 ppm of 1.471): 32-bit rounding
// over 880 steps, not truncation error (a step of 0.01 drifts less).  A wrong
// reflection law moves it by 1e-3 or more.
constexpr double kPathDrift = 1e-5;
// cos(theta) against the closed form: 1.2e-6 at a step of 0.001 (2.6e-5 at
// 0.01; the error grows near the axis, where dtheta/dr has sin(theta) below).
constexpr double kFlatFeedCos = 5e-6;
// The last ray: theta 0.0012 rad (0.0025 for the flat feed), and r from 880
// additions of 0.001 ends 9e-6 below 1.
constexpr double kLastTheta = 0.005;
constexpr double kLastRadius = 1e-4;

// The feed angle of a ray, recovered from its subreflector point.
double feed_angle(const Ray<float>& ray) {
  return std::atan2(static_cast<double>(ray.sub_r), static_cast<double>(ray.sub_z));
}

TEST(Synthesis, TheFirstRayIsTheInputGeometry) {
  const Table t = synthesize(example_design());
  ASSERT_EQ(t.rays.size(), 45u);
  EXPECT_FALSE(t.broken_ray);
  const Ray<float>& first = t.rays[0];
  EXPECT_EQ(first.sub_r, 0.25f);
  EXPECT_EQ(first.main_r, 0.12f);
  EXPECT_EQ(first.main_z, -0.2f);
  // R0 cos(theta0) with R0 = 0.25 / sin(theta0): 0.5 to rounding
  EXPECT_NEAR(first.sub_z, 0.5f, 2e-7f);
  // half angle atan(0.5) = 26.565 degrees; path 0.71197 + 0.55902 + 0.2
  EXPECT_EQ(writers::ray_row(first), "  26.57   0.50000   0.25000  -0.20000   0.12000 1.47099E+00");
}

TEST(Synthesis, ThePathLengthIsConstantDownTheTable) {
  const Table t = synthesize(example_design());
  const double first = path_length(t.rays[0]);
  EXPECT_NEAR(first, 1.470986, 1e-6);
  for (std::size_t i = 0; i < t.rays.size(); ++i) {
    EXPECT_NEAR(path_length(t.rays[i]), first, kPathDrift) << i;
    EXPECT_NEAR(t.rays[i].path_length, first, kPathDrift) << i;
  }
}

TEST(Synthesis, AFlatFeedOnAUniformApertureFollowsTheClosedForm) {
  DesignSpec flat = example_choices();
  flat.feed.level_db = 0.0;
  const Design<float> in = make_design<float>(flat);
  ASSERT_EQ(in.feed.exponent, 0.0f);
  const Table t = synthesize(in);
  // cos(theta) = cos(theta0) + (1 - cos(theta0)) (r^2 - r0^2) / (1 - r0^2)
  const double c0 = std::cos(static_cast<double>(in.feed_half_angle_rad));
  const double r0 = in.main_inner_radius;
  for (const Ray<float>& ray : t.rays) {
    const double r = ray.main_r;
    const double want = c0 + (1.0 - c0) * (r * r - r0 * r0) / (1.0 - r0 * r0);
    EXPECT_NEAR(std::cos(feed_angle(ray)), want, kFlatFeedCos) << r;
  }
  EXPECT_NEAR(static_cast<double>(t.rays.back().feed_angle_deg) * Constants<double>::deg, 0.0, kLastTheta);
}

TEST(Synthesis, TheLastRayMeetsTheMainReflectorRimAlongTheAxis) {
  const Table t = synthesize(example_design());
  const Ray<float>& last = t.rays.back();
  EXPECT_NEAR(static_cast<double>(last.feed_angle_deg) * Constants<double>::deg, 0.0, kLastTheta);
  EXPECT_NEAR(feed_angle(last), 0.0, kLastTheta);
  EXPECT_NEAR(last.main_r, 1.0f, kLastRadius);
  // theta falls and r grows from ray to ray
  for (std::size_t i = 1; i < t.rays.size(); ++i) {
    EXPECT_LT(feed_angle(t.rays[i]), feed_angle(t.rays[i - 1])) << i;
    EXPECT_LT(t.rays[i].feed_angle_deg, t.rays[i - 1].feed_angle_deg) << i;
    EXPECT_GT(t.rays[i].main_r, t.rays[i - 1].main_r) << i;
  }
}

TEST(Synthesis, The64BitDesignAgreesWithThe32BitOne) {
  const Table narrow = synthesize(example_design());
  DesignSpec choices = example_choices();
  choices.precision = Precision::double_;
  const Design<double> in = make_design<double>(choices);
  const RayTable<double> wide = synthesize(in);
  ASSERT_EQ(wide.rays.size(), narrow.rays.size());
  for (std::size_t i = 0; i < wide.rays.size(); ++i) {
    // Without the 32-bit rounding only the truncation error near the axis
    // (3.5e-7) moves the path length.
    EXPECT_NEAR(wide.rays[i].path_length, wide.rays[0].path_length, 1e-6) << i;
    EXPECT_NEAR(wide.rays[i].main_z, narrow.rays[i].main_z, 1e-5) << i;
    // Near the axis the 32-bit angle has drifted by 5e-5 of a radian.
    EXPECT_NEAR(wide.rays[i].sub_r, narrow.rays[i].sub_r, 1e-4) << i;
  }
}

TEST(Synthesis, EqualIntervalsGiveOneRowPerIntegrationStep) {
  DesignSpec every = example_choices();
  every.synthesis = {0.01, 0.01};
  DesignSpec fifth = every;
  fifth.synthesis.output_interval = 0.05;
  const Table a = synthesize(make_design<float>(every));
  const Table b = synthesize(make_design<float>(fifth));
  EXPECT_EQ(a.counts.steps_per_output, 1);
  EXPECT_EQ(a.counts.output_steps, 88);  // trunc(0.88 / 0.01 + 0.1)
  EXPECT_EQ(b.counts.steps_per_output, 5);
  EXPECT_EQ(b.counts.output_steps, 17);  // trunc(0.88 / 0.05 + 0.1)
  ASSERT_EQ(b.rays.size(), 18u);
  for (std::size_t k = 0; k < b.rays.size(); ++k) EXPECT_TRUE(same_ray(a, 5 * k, b, k));
}

// A row of 22,000 steps (0.22 / 1e-5): the caller is asked within it,
// every kStepsBetweenAsks steps, and a "stop" ends the synthesis at once.
TEST(Synthesis, TheCallerIsAskedWithinALongRowAndItsStopEndsTheSynthesisThere) {
  DesignSpec long_rows = example_choices();
  long_rows.synthesis = {0.00001, 0.22};
  const Design<float> d = make_design<float>(long_rows);
  ASSERT_EQ(step_counts(d).steps_per_output, 22000);
  int asked = 0, rows = 0;
  SynthesisOptions stop_at_first;
  stop_at_first.on_row = [&rows](int, int) { return ++rows, true; };
  stop_at_first.keep_going = [&asked] { return ++asked, false; };
  const Table stopped = synthesize(d, stop_at_first);
  EXPECT_TRUE(stopped.stopped);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(rows, 0);  // stopped in the first row, before its end
  EXPECT_EQ(stopped.rays.size(), 1u);
  EXPECT_EQ(stopped.steps, 0);

  // Asked and going on, the table is the one made without asking, bit for
  // bit: the integration is only cut into runs.
  asked = 0;
  SynthesisOptions go_on;
  go_on.keep_going = [&asked] { return ++asked, true; };
  const Table asked_table = synthesize(d, go_on);
  const Table plain = synthesize(d);
  EXPECT_FALSE(asked_table.stopped);
  EXPECT_EQ(asked, static_cast<int>(plain.steps / kStepsBetweenAsks));
  ASSERT_EQ(asked_table.rays.size(), plain.rays.size());
  ASSERT_EQ(asked_table.rays.size(), 5u);
  for (std::size_t i = 0; i < plain.rays.size(); ++i) EXPECT_TRUE(same_ray(asked_table, i, plain, i));
}

TEST(Synthesis, AnOutputIntervalBelowTheStepRepeatsTheFirstRay) {
  DesignSpec in = example_choices();
  in.geometry.main_inner_radius = 0.8;
  in.synthesis = {0.001, 0.0005};  // trunc(0.5 + 0.1) = 0 steps per row
  const Table t = synthesize(make_design<float>(in));
  EXPECT_EQ(t.counts.steps_per_output, 0);
  EXPECT_EQ(t.counts.output_steps, 400);
  ASSERT_EQ(t.rays.size(), 401u);
  // Ray 1 takes the subreflector rim as entered, the others R0 sin(theta0)
  // and R0 cos(theta0): equal to rounding.
  EXPECT_NEAR(t.rays[1].sub_r, t.rays[0].sub_r, 1e-7f);
  EXPECT_NEAR(t.rays[1].sub_z, t.rays[0].sub_z, 1e-7f);
  EXPECT_EQ(t.rays[1].main_r, t.rays[0].main_r);
  EXPECT_EQ(t.rays[1].main_z, t.rays[0].main_z);
  for (std::size_t i = 1; i < t.rays.size(); ++i) {
    EXPECT_TRUE(same_ray(t, i, t, 1));
    EXPECT_EQ(writers::ray_row(t.rays[i]), writers::ray_row(t.rays[0]));
  }
}

TEST(Synthesis, NegativeIntervalsBehaveAsTheirAbsoluteValues) {
  DesignSpec negative = example_choices();
  negative.synthesis = {-0.001, -0.02};
  const Table a = synthesize(example_design());
  const Table b = synthesize(make_design<float>(negative));
  ASSERT_EQ(b.rays.size(), a.rays.size());
  for (std::size_t i = 0; i < a.rays.size(); ++i) EXPECT_TRUE(same_ray(b, i, a, i));
}

TEST(Synthesis, ATableOfExactly1001RaysReachesTheRim) {
  DesignSpec in = example_choices();
  in.geometry.main_inner_radius = 0.0;
  in.synthesis = {0.001, 0.001};  // trunc(1 / 0.001 + 0.1) = 1000 steps
  const Table t = synthesize(make_design<float>(in));
  EXPECT_EQ(t.counts.output_steps, 1000);
  EXPECT_EQ(t.rays.size(), static_cast<std::size_t>(kMaxRays));
  EXPECT_NEAR(t.rays.back().main_r, 1.0f, kLastRadius);
}

TEST(Synthesis, IntervalsThatWouldOverrunTheTableOrNeverEndGiveNoRaysAndTheStageWritesNothing) {
  DesignSpec too_many = example_choices();
  too_many.geometry.main_inner_radius = 0.0;
  too_many.synthesis = {0.000999, 0.000999};  // trunc(1001.1) = 1001 steps, 1002 rays
  DesignSpec zero_calc = example_choices();
  zero_calc.synthesis.calc_interval = 0.0;
  DesignSpec zero_output = example_choices();
  zero_output.synthesis.output_interval = 0.0;
  DesignSpec tiny_calc = example_choices();
  tiny_calc.synthesis.calc_interval = 1e-30;  // 2e28 steps per row do not fit an int
  for (const DesignSpec& i : {too_many, zero_calc, zero_output, tiny_calc}) {
    const Design<float> in = make_design<float>(i);
    EXPECT_FALSE(step_counts(in).problem.empty())
        << i.synthesis.calc_interval << " " << i.synthesis.output_interval;
    EXPECT_TRUE(synthesize(in).rays.empty());
    // validate() refuses what the synthesis cannot run.
    EXPECT_FALSE(validate(i).empty()) << i.synthesis.calc_interval;
    testutil::StageRun run("");
    EXPECT_THROW(run::synthesise(run.context, in), io::RunError);
    EXPECT_EQ(run.console(), "");
    EXPECT_EQ(run.listing_text(), "");
  }
}

TEST(Synthesis, AHoleRadiusBeyondTheRimGivesTheFirstRayAlone) {
  DesignSpec in = example_choices();
  in.geometry.main_inner_radius = 1.5;  // trunc(-0.5 / 0.02 + 0.1) would be -24
  const Table t = synthesize(make_design<float>(in));
  EXPECT_EQ(t.counts.output_steps, 0);
  ASSERT_EQ(t.rays.size(), 1u);
  EXPECT_EQ(t.rays[0].main_r, 1.5f);
}

TEST(SynthesisStage, TheTableGoesToBothStreams) {
  const Design<float> in = example_design();
  testutil::StageRun run("");
  const Table t = run::synthesise(run.context, in);
  const std::string listing = run.listing_text();
  EXPECT_EQ(testutil::crlf(run.console()), listing);
  const std::vector<std::string> lines = testutil::crlf_lines(listing);
  ASSERT_EQ(lines.size(), 4u + 45u);
  const writers::Lines header = writers::ray_table_header();
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4), header);
  EXPECT_EQ(header[1], "  Feed      Subreflector      Main Reflector");
  EXPECT_EQ(header[2], "  Angle      Z       Radius      Z       Radius Path length");
  for (std::size_t i = 0; i < t.rays.size(); ++i) {
    EXPECT_EQ(lines[4 + i], writers::ray_row(t.rays[i]));
    EXPECT_EQ(lines[4 + i].size(), 59u) << i;
  }
  EXPECT_EQ(lines.back().substr(0, 7), "   0.07");
}

TEST(SurfaceDerivatives, ASubreflectorPointAboveTheMainPointGivesAFlatMainReflector) {
  // theta = 30 degrees, R = 1: x_s = 0.5 = r, so phi = 0 and dz_m/dr = 0;
  // with a flat feed, a uniform aperture and K = 1:
  // dtheta/dr = -0.5 / sin(30) = -1, dR/dr = tan(15 degrees) (-1 * 1).
  const Aperture<float> uniform = uniform_aperture<float>();
  SurfaceDerivatives<float> f(uniform);
  RayState<float> v{};
  v[ray::feed_angle] = 0.52359878f;
  v[ray::sub_distance] = 1.0f;
  v[ray::radius] = std::sin(v[ray::feed_angle]);
  v[ray::main_z] = -0.2f;
  v[ray::power_ratio] = 1.0f;
  v[ray::feed_exponent] = 0.0f;
  EXPECT_FLOAT_EQ(f(v, 1), -1.0f);
  EXPECT_FLOAT_EQ(f(v, 2), -0.26794919f);
  EXPECT_EQ(f(v, 3), 0.0f);
}

TEST(SurfaceDerivatives, ComponentsTwoAndThreeAreTheOnesOfTheLastCallForComponentOne) {
  const Aperture<float> uniform = uniform_aperture<float>();
  SurfaceDerivatives<float> f(uniform);
  const RayState<float> v = start_state(example_design());
  RayState<float> other = v;
  other[ray::radius] = 0.6f;
  other[ray::feed_angle] = 0.2f;
  const float d1 = f(v, 1);
  const float d2 = f(v, 2);
  const float d3 = f(v, 3);
  EXPECT_LT(d1, 0.0f);
  EXPECT_EQ(bits_of(f(other, 2)), bits_of(d2));
  EXPECT_EQ(bits_of(f(other, 3)), bits_of(d3));
  f(other, 1);
  EXPECT_NE(bits_of(f(v, 2)), bits_of(d2));
}

TEST(SurfaceDerivatives, RememberingTheApertureDensityHalvesItsEvaluationsAndChangesNoBit) {
  DesignSpec in = example_choices();
  in.aperture = {Distribution::gaussian, 10.0};  // the density varies with r
  in.synthesis.calc_interval = 0.002;
  const Design<float> d = make_design<float>(in);
  SurfaceDerivatives<float> remembering(d.aperture);
  SurfaceDerivatives<float> plain(d.aperture, false);
  const Table a = synthesize(d, remembering);
  const Table b = synthesize(d, plain);
  ASSERT_EQ(a.rays.size(), b.rays.size());
  for (std::size_t i = 0; i < a.rays.size(); ++i) EXPECT_TRUE(same_ray(a, i, b, i));
  // per step: start (the last step's end), midpoint twice, end
  const long steps = static_cast<long>(a.counts.output_steps) * a.counts.steps_per_output;
  EXPECT_EQ(steps, 44 * 10);
  EXPECT_EQ(plain.density_evaluations(), 4 * steps);
  EXPECT_EQ(remembering.density_evaluations(), 2 * steps + 1);
}

TEST(SurfaceDerivatives, TaylorDensitiesWorkedOutAheadChangeNoBitAndNoneIsWasted) {
  DesignSpec in = example_choices();
  in.aperture = {Distribution::taylor, 0.0, 30.0, 20};
  in.synthesis.calc_interval = 0.0004;  // 50 steps per ray: several passes ahead each
  const Design<float> d = make_design<float>(in);
  SurfaceDerivatives<float> remembering(d.aperture);
  SurfaceDerivatives<float> plain(d.aperture, false);
  const Table a = synthesize(d, remembering);
  const Table b = synthesize(d, plain);
  ASSERT_EQ(a.rays.size(), b.rays.size());
  for (std::size_t i = 0; i < a.rays.size(); ++i) EXPECT_TRUE(same_ray(a, i, b, i));
  const long steps = static_cast<long>(a.counts.output_steps) * a.counts.steps_per_output;
  EXPECT_EQ(remembering.density_evaluations(), 2 * steps + 1);
}

TEST(SurfaceDerivatives, AWrongExpectationCostsOnlyTime) {
  // Steps expected from the wrong radius, with the wrong interval, and more
  // or fewer of them than are taken: the integration keeps the bits of one
  // that evaluates every density on its own.
  DesignSpec in = example_choices();
  in.aperture = {Distribution::taylor, 0.0, 25.0, 6};
  const Design<float> d = make_design<float>(in);
  const float r0 = d.main_inner_radius;
  const float h = d.calc_interval();
  struct Expectation {
    float r0, h;
    int steps;
  };
  for (const Expectation e : {Expectation{r0 + h, h, 100}, Expectation{r0, 2.0f * h, 100},
                              Expectation{r0, h, 30}, Expectation{r0, h, 300}}) {
    RayState<float> a = start_state(d), b = a, work = a;
    std::array<float, 3> k1{}, k2{}, k3{}, k4{};
    SurfaceDerivatives<float> ahead(d.aperture);
    SurfaceDerivatives<float> plain(d.aperture, false);
    ahead.expect_steps(e.r0, e.h, e.steps);
    numerics::RUNGE(std::span<float>(a), 3, h, 100, ahead, k1, k2, k3, k4, work);
    numerics::RUNGE(std::span<float>(b), 3, h, 100, plain, k1, k2, k3, k4, work);
    for (std::size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(bits_of(a[i]), bits_of(b[i])) << e.r0 << " " << e.h << " " << e.steps;
    }
  }
}

// The lines of ravost.out from the ray table's header on, up to the next
// empty line after its rows.
std::vector<std::string> ray_table_lines(const std::string& listing) {
  const std::vector<std::string> lines = testutil::crlf_lines(listing);
  auto at = std::find(lines.begin(), lines.end(), "  Feed      Subreflector      Main Reflector");
  if (at == lines.end()) return {};
  auto end = std::find(at + 3, lines.end(), "");
  return {at, end};
}

// The bundled example answer file.
std::string example() {
  return testutil::read_file(std::filesystem::path(RAVOST_SOURCE_DIR) / "examples/uniform.ans");
}

// The example answer file with its design answers (the first eight lines)
// replaced by `design`.
std::string example_with_design(const std::string& design) {
  const std::string text = example();
  std::size_t at = 0;
  for (int line = 0; line < 8; ++line) at = text.find('\n', at) + 1;
  return design + text.substr(at);
}

// Runs the whole program on an answer file; returns the exit status.
int run_answer_file(const testutil::TempDir& dir, const std::string& answers, std::string& console) {
  testutil::write_file(dir.path() / "design.ans", answers);
  std::istringstream in("y\ndesign.ans\n");
  std::ostringstream out;
  const int status = dialog::run(in, out, dir.path());
  console = out.str();
  return status;
}

TEST(SynthesisRun, TheExampleDesignPrintsItsRayTableWithAConstantPathLength) {
  testutil::TempDir dir;
  std::string console;
  ASSERT_EQ(run_answer_file(dir, example(), console), 0) << console;
  const std::vector<std::string> table =
      ray_table_lines(testutil::read_file(dir.path() / "ravost.out"));
  ASSERT_EQ(table.size(), 3u + 45u);
  EXPECT_EQ(table[3], "  26.57   0.50000   0.25000  -0.20000   0.12000 1.47099E+00");
  // the last ray: feed angle near 0 at the main reflector's rim
  EXPECT_EQ(table.back().substr(0, 7), "   0.07");
  EXPECT_EQ(table.back().substr(37, 10), "   0.99999");
  // within kPathDrift the printed path length moves by one unit at most
  for (std::size_t i = 3; i < table.size(); ++i) {
    const std::string path = table[i].substr(47);
    EXPECT_TRUE(path == " 1.47099E+00" || path == " 1.47098E+00") << i << ": " << path;
  }
  EXPECT_NE(console.find(table[3] + "\n"), std::string::npos);
}

TEST(SynthesisRun, ADialogAsking1001RaysGetsThemAndOneMoreIsRefused) {
  const std::string design = "0.2\n0.5\n0.25\n0\n40, -10\n1\n";
  {
    testutil::TempDir dir;
    std::string console;
    // trunc(1 / 0.001 + 0.1) = 1000 steps; the intervals entered negative
    ASSERT_EQ(run_answer_file(dir, example_with_design(design + "-0.001\n-0.001\n"), console), 0)
        << console;
    const std::vector<std::string> table =
        ray_table_lines(testutil::read_file(dir.path() / "ravost.out"));
    ASSERT_EQ(table.size(), 3u + 1001u);
    EXPECT_NEAR(std::stof(table.back().substr(37, 10)), 1.0f, kLastRadius);
  }
  {
    testutil::TempDir dir;
    std::string console;
    // trunc(1 / 0.000999 + 0.1) = 1001 steps
    EXPECT_NE(run_answer_file(dir, example_with_design(design + "0.000999\n0.000999\n"), console),
              0);
    EXPECT_NE(console.find("1001 rays"), std::string::npos) << console;
    EXPECT_TRUE(ray_table_lines(testutil::read_file(dir.path() / "ravost.out")).empty());
  }
}

}  // namespace
}  // namespace design
