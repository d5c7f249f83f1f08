#include "ravost/synthesis.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "numerics/runge.h"
#include "ravost/aperture.h"
#include "ravost/driver.h"
#include "ravost/feed.h"
#include "ravost/files.h"
#include "tests/test_util.h"

// Counts every allocation of the test program, to show that the integration
// allocates nothing.
namespace {
long g_allocations = 0;
}  // namespace

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using ravost::Design;
using ravost::DUREF;
using ravost::RayTable;
namespace ray = ravost::ray;

// The geometry, feed and intervals of a design; the rest is derived as the
// design dialog and the power balance do it.
struct Inputs {
  float hole_to_feed = 0.2f;
  float feed_to_sub = 0.5f;
  float sub_radius = 0.25f;
  float inner_radius = 0.12f;
  float beamwidth = 40.0f;
  float level_db = -10.0f;
  int kind = 1;
  float taper_db = 0.0f;
  float calc = 0.001f;
  float output = 0.02f;
};

// A design state as the dialog leaves it: half angle in radians, the vector's
// starting values, feed exponent and power balance, absolute intervals.
Design make_design(const Inputs& in) {
  Design d;
  d.pi = 3.1415927f;
  d.deg = d.pi / 180.0f;
  d.main_hole_to_feed = in.hole_to_feed;
  d.feed_to_sub_rim = in.feed_to_sub;
  d.sub_radius = in.sub_radius;
  d.main_inner_radius = in.inner_radius;
  d.feed_half_angle = std::atan(in.sub_radius / in.feed_to_sub) / d.deg * d.deg;
  auto& v = d.ray_state;
  v[ray::main_z] = -in.hole_to_feed;
  v[ray::hole_to_feed] = in.hole_to_feed;
  v[ray::feed_to_sub] = in.feed_to_sub;
  v[ray::feed_angle] = d.feed_half_angle;
  v[ray::sub_distance] = in.sub_radius / std::sin(d.feed_half_angle);

  d.feed_beamwidth = in.beamwidth;
  d.beamwidth_level_db = in.level_db;
  ravost::set_feed_power(d);
  d.apert.distribution_kind = in.kind;
  d.apert.edge_taper_db = in.taper_db;
  ravost::set_aperture_power(d);
  ravost::set_power_ratio(d);
  d.calc_interval = std::fabs(in.calc);
  d.output_interval = std::fabs(in.output);
  return d;
}

// What a run of the stage wrote.
struct Output {
  std::string console;
  std::string listing;
};

// Runs the synthesis stage on `d` with `duref` (a remembering one when null).
Output synthesize(Design& d, DUREF* duref = nullptr) {
  testutil::TempDir dir;
  std::istringstream in;
  std::ostringstream out;
  ravost::Dialog dialog(in, out);
  Output result;
  {
    ravost::OutFile listing(dir.path() / "ravost.out", "ravost.out");
    ravost::Session session{dialog, listing, dir.path(), plothpfa::PLOTIF{0.1f}};
    if (duref) {
      ravost::synthesize(d, session, *duref);
    } else {
      ravost::synthesize(d, session);
    }
    listing.close();
  }
  result.console = out.str();
  result.listing = testutil::read_file(dir.path() / "ravost.out");
  return result;
}

std::vector<std::string> split(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size()) {
    lines.push_back(text.substr(start, at - start));
  }
  EXPECT_EQ(start, text.size()) << "text after the last line end";
  return lines;
}

// The path length of ray i, in double, from the stored table.
double path_length(const RayTable& t, int i) {
  const auto e = static_cast<std::size_t>(i);
  const double xs = t.sub_r[e], zs = t.sub_z[e], zm = t.main_z[e], r = t.main_r[e];
  return std::hypot(xs - r, zs - zm) + std::hypot(xs, zs) - zm;
}

bool same_bits(float a, float b) {
  return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// Rays i of a and j of b agree bit for bit.
::testing::AssertionResult same_ray(const RayTable& a, int i, const RayTable& b, int j) {
  const auto e = static_cast<std::size_t>(i), f = static_cast<std::size_t>(j);
  if (same_bits(a.sub_z[e], b.sub_z[f]) && same_bits(a.sub_r[e], b.sub_r[f]) &&
      same_bits(a.main_z[e], b.main_z[f]) && same_bits(a.main_r[e], b.main_r[f])) {
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

// The feed angle of ray i, recovered from its subreflector point.
double feed_angle(const RayTable& t, int i) {
  const auto e = static_cast<std::size_t>(i);
  return std::atan2(static_cast<double>(t.sub_r[e]), static_cast<double>(t.sub_z[e]));
}

TEST(Synthesis, TheTableGoesToBothStreamsWithTheInputGeometryAsItsFirstRow) {
  Design d = make_design(Inputs{});
  const Output out = synthesize(d);

  const std::vector<std::string> listing = split(out.listing, "\r\n");
  EXPECT_EQ(split(out.console, "\n"), listing);
  ASSERT_EQ(listing.size(), 4u + 45u);
  EXPECT_EQ(listing[0], "");
  EXPECT_EQ(listing[1], "  Feed      Subreflector      Main Reflector");
  EXPECT_EQ(listing[2], "  Angle      Z       Radius      Z       Radius Path length");
  EXPECT_EQ(listing[3], "");
  // half angle atan(0.5) = 26.565 degrees; path 0.71197 + 0.55902 + 0.2
  EXPECT_EQ(listing[4], "  26.57   0.50000   0.25000  -0.20000   0.12000 1.47099E+00");
  for (std::size_t i = 4; i < listing.size(); ++i) EXPECT_EQ(listing[i].size(), 59u) << i;
  EXPECT_EQ(listing.back().substr(0, 7), "   0.07");

  EXPECT_EQ(d.ray_count(), 45);
  EXPECT_EQ(d.rays.sub_r[0], 0.25f);
  EXPECT_EQ(d.rays.main_r[0], 0.12f);
  EXPECT_EQ(d.rays.main_z[0], -0.2f);
  // R0 cos(theta0) with R0 = 0.25 / sin(theta0): 0.5 to rounding
  EXPECT_NEAR(d.rays.sub_z[0], 0.5f, 2e-7f);
}

TEST(Synthesis, ThePathLengthIsConstantDownTheTable) {
  Design d = make_design(Inputs{});
  synthesize(d);
  const double first = path_length(d.rays, 0);
  EXPECT_NEAR(first, 1.470986, 1e-6);
  for (int i = 1; i < d.ray_count(); ++i) EXPECT_NEAR(path_length(d.rays, i), first, kPathDrift) << i;
}

TEST(Synthesis, AFlatFeedOnAUniformApertureFollowsTheClosedForm) {
  Inputs in;
  in.level_db = 0.0f;
  Design d = make_design(in);
  ASSERT_EQ(d.feed_exponent, 0.0f);
  synthesize(d);
  // cos(theta) = cos(theta0) + (1 - cos(theta0)) (r^2 - r0^2) / (1 - r0^2)
  const double c0 = std::cos(static_cast<double>(d.feed_half_angle));
  const double r0 = d.main_inner_radius;
  for (int i = 0; i < d.ray_count(); ++i) {
    const double r = d.rays.main_r[static_cast<std::size_t>(i)];
    const double want = c0 + (1.0 - c0) * (r * r - r0 * r0) / (1.0 - r0 * r0);
    EXPECT_NEAR(std::cos(feed_angle(d.rays, i)), want, kFlatFeedCos) << i;
  }
  EXPECT_NEAR(d.ray_state[ray::feed_angle], 0.0f, kLastTheta);
}

TEST(Synthesis, TheLastRayMeetsTheMainReflectorRimAlongTheAxis) {
  Design d = make_design(Inputs{});
  synthesize(d);
  const int last = d.ray_count() - 1;
  const auto e = static_cast<std::size_t>(last);
  EXPECT_NEAR(d.ray_state[ray::feed_angle], 0.0f, kLastTheta);
  EXPECT_NEAR(feed_angle(d.rays, last), 0.0, kLastTheta);
  EXPECT_NEAR(d.rays.main_r[e], 1.0f, kLastRadius);
  // the vector is left at the last ray
  EXPECT_EQ(d.ray_state[ray::radius], d.rays.main_r[e]);
  EXPECT_EQ(d.ray_state[ray::main_z], d.rays.main_z[e]);
  // theta falls and r grows from ray to ray
  for (int i = 1; i <= last; ++i) {
    EXPECT_LT(feed_angle(d.rays, i), feed_angle(d.rays, i - 1)) << i;
    EXPECT_GT(d.rays.main_r[static_cast<std::size_t>(i)],
              d.rays.main_r[static_cast<std::size_t>(i - 1)]) << i;
  }
}

TEST(Synthesis, EqualIntervalsGiveOneRowPerIntegrationStep) {
  Inputs every;
  every.calc = 0.01f;
  every.output = 0.01f;
  Design a = make_design(every);
  Design b = a;
  b.output_interval = 0.05f;
  synthesize(a);
  synthesize(b);
  EXPECT_EQ(a.steps_per_output, 1);
  EXPECT_EQ(a.output_steps, 88);  // trunc(0.88 / 0.01 + 0.1)
  EXPECT_EQ(b.steps_per_output, 5);
  EXPECT_EQ(b.output_steps, 17);  // trunc(0.88 / 0.05 + 0.1)
  for (int k = 0; k < b.ray_count(); ++k) EXPECT_TRUE(same_ray(a.rays, 5 * k, b.rays, k));
}

TEST(Synthesis, AnOutputIntervalBelowTheStepRepeatsTheFirstRay) {
  Inputs in;
  in.inner_radius = 0.8f;
  in.calc = 0.001f;
  in.output = 0.0005f;  // trunc(0.5 + 0.1) = 0 steps per row
  Design d = make_design(in);
  const ravost::RayState start = d.ray_state;
  const Output out = synthesize(d);
  EXPECT_EQ(d.steps_per_output, 0);
  EXPECT_EQ(d.output_steps, 400);
  EXPECT_EQ(d.ray_state, start);
  const std::vector<std::string> rows = split(out.listing, "\r\n");
  ASSERT_EQ(rows.size(), 4u + 401u);
  // Ray 1 takes the subreflector rim as entered, the others R0 sin(theta0)
  // and R0 cos(theta0): equal to rounding.
  EXPECT_NEAR(d.rays.sub_r[1], d.rays.sub_r[0], 1e-7f);
  EXPECT_NEAR(d.rays.sub_z[1], d.rays.sub_z[0], 1e-7f);
  EXPECT_EQ(d.rays.main_r[1], d.rays.main_r[0]);
  EXPECT_EQ(d.rays.main_z[1], d.rays.main_z[0]);
  for (int i = 1; i < d.ray_count(); ++i) {
    EXPECT_TRUE(same_ray(d.rays, i, d.rays, 1));
    EXPECT_EQ(rows[4 + static_cast<std::size_t>(i)], rows[4]);
  }
}

TEST(Synthesis, NegativeIntervalsBehaveAsTheirAbsoluteValues) {
  Inputs in;
  Design positive = make_design(in);
  Design negative = positive;
  negative.calc_interval = -in.calc;
  negative.output_interval = -in.output;
  const Output a = synthesize(positive);
  const Output b = synthesize(negative);
  EXPECT_EQ(b.listing, a.listing);
  EXPECT_EQ(b.console, a.console);
  EXPECT_EQ(negative.calc_interval, in.calc);
  EXPECT_EQ(negative.output_interval, in.output);
  ASSERT_EQ(negative.ray_count(), positive.ray_count());
  for (int i = 0; i < positive.ray_count(); ++i) EXPECT_TRUE(same_ray(negative.rays, i, positive.rays, i));
}

TEST(Synthesis, ATableOfExactly1001RaysFillsTheMainReflectorArrays) {
  Inputs in;
  in.inner_radius = 0.0f;
  in.calc = 0.001f;
  in.output = 0.001f;  // trunc(1 / 0.001 + 0.1) = 1000 steps
  Design d = make_design(in);
  d.rays.sub_r[ravost::kMaxRays] = 7.0f;  // the extrapolation slot stays untouched
  const Output out = synthesize(d);
  EXPECT_EQ(d.output_steps, 1000);
  EXPECT_EQ(d.ray_count(), ravost::kMaxRays);
  EXPECT_EQ(split(out.listing, "\r\n").size(), 4u + 1001u);
  EXPECT_NEAR(d.rays.main_r[1000], 1.0f, kLastRadius);
  EXPECT_EQ(d.rays.main_r[1000], d.ray_state[ray::radius]);
  EXPECT_EQ(d.rays.sub_r[ravost::kMaxRays], 7.0f);
}

// Runs the stage on a design it must refuse, and checks that it wrote
// nothing and left the table and the vector alone.
void expect_refused(Design d) {
  d.rays.main_r.fill(5.0f);
  const ravost::RayState start = d.ray_state;
  testutil::TempDir dir;
  std::istringstream in;
  std::ostringstream out;
  ravost::Dialog dialog(in, out);
  ravost::OutFile listing(dir.path() / "ravost.out", "ravost.out");
  ravost::Session session{dialog, listing, dir.path(), plothpfa::PLOTIF{0.1f}};
  EXPECT_THROW(ravost::synthesize(d, session), ravost::RunError);
  listing.close();
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(testutil::read_file(dir.path() / "ravost.out"), "");
  EXPECT_EQ(d.ray_state, start);
  EXPECT_TRUE(std::all_of(d.rays.main_r.begin(), d.rays.main_r.end(),
                          [](float r) { return r == 5.0f; }));
}

TEST(Synthesis, IntervalsThatWouldOverrunTheTableOrNeverEndAreRefused) {
  Inputs in;
  in.inner_radius = 0.0f;
  in.calc = 0.000999f;
  in.output = 0.000999f;  // trunc(1001.1) = 1001 steps, 1002 rays
  expect_refused(make_design(in));

  Inputs zero_calc;
  zero_calc.calc = 0.0f;
  expect_refused(make_design(zero_calc));
  Inputs zero_output;
  zero_output.output = 0.0f;
  expect_refused(make_design(zero_output));
  Inputs tiny_calc;
  tiny_calc.calc = 1e-30f;  // 2e28 steps per row do not fit an int
  expect_refused(make_design(tiny_calc));
}

TEST(Synthesis, AHoleRadiusBeyondTheRimGivesTheFirstRayAlone) {
  Inputs in;
  in.inner_radius = 1.5f;  // trunc(-0.5 / 0.02 + 0.1) would be -24
  Design d = make_design(in);
  const Output out = synthesize(d);
  EXPECT_EQ(d.output_steps, 0);
  EXPECT_EQ(d.ray_count(), 1);
  EXPECT_EQ(split(out.listing, "\r\n").size(), 4u + 1u);
  EXPECT_EQ(d.rays.main_r[0], 1.5f);
}

TEST(Duref, ASubreflectorPointAboveTheMainPointGivesAFlatMainReflector) {
  // theta = 30 degrees, R = 1: x_s = 0.5 = r, so phi = 0 and dz_m/dr = 0;
  // with a flat feed, a uniform aperture and K = 1:
  // dtheta/dr = -0.5 / sin(30) = -1, dR/dr = tan(15 degrees) (-1 * 1).
  ravost::APERT uniform;
  uniform.distribution_kind = 1;
  DUREF duref(uniform);
  ravost::RayState v{};
  v[ray::feed_angle] = 0.52359878f;
  v[ray::sub_distance] = 1.0f;
  v[ray::radius] = std::sin(v[ray::feed_angle]);
  v[ray::main_z] = -0.2f;
  v[ray::power_ratio] = 1.0f;
  v[ray::feed_exponent] = 0.0f;
  EXPECT_FLOAT_EQ(duref(v, 1), -1.0f);
  EXPECT_FLOAT_EQ(duref(v, 2), -0.26794919f);
  EXPECT_EQ(duref(v, 3), 0.0f);
}

TEST(Duref, ComponentsTwoAndThreeAreTheOnesOfTheLastCallForComponentOne) {
  ravost::APERT uniform;
  uniform.distribution_kind = 1;
  DUREF duref(uniform);
  ravost::RayState v = make_design(Inputs{}).ray_state;
  ravost::RayState other = v;
  other[ray::radius] = 0.6f;
  other[ray::feed_angle] = 0.2f;
  const float d1 = duref(v, 1);
  const float d2 = duref(v, 2);
  const float d3 = duref(v, 3);
  EXPECT_LT(d1, 0.0f);
  EXPECT_TRUE(same_bits(duref(other, 2), d2));
  EXPECT_TRUE(same_bits(duref(other, 3), d3));
  duref(other, 1);
  EXPECT_FALSE(same_bits(duref(v, 2), d2));
}

TEST(Duref, RememberingTheApertureDensityHalvesItsCallsAndChangesNoBit) {
  Inputs in;
  in.kind = 2;  // Gaussian, 10 dB edge taper: the density varies with r
  in.taper_db = 10.0f;
  in.calc = 0.002f;
  Design a = make_design(in);
  Design b = a;
  DUREF remembering(a.apert);
  DUREF plain(b.apert, false);
  const Output out_a = synthesize(a, &remembering);
  const Output out_b = synthesize(b, &plain);
  EXPECT_EQ(out_a.listing, out_b.listing);
  for (int i = 0; i < a.ray_count(); ++i) EXPECT_TRUE(same_ray(a.rays, i, b.rays, i));
  // per step: start (the last step's end), midpoint twice, end
  const long steps = static_cast<long>(a.output_steps) * a.steps_per_output;
  EXPECT_EQ(steps, 44 * 10);
  EXPECT_EQ(plain.appl_calls(), 4 * steps);
  EXPECT_EQ(remembering.appl_calls(), 2 * steps + 1);
}

TEST(Duref, TheIntegrationAllocatesNothing) {
  Design d = make_design(Inputs{});
  DUREF duref(d.apert);
  std::array<float, 3> k1{}, k2{}, k3{}, k4{};
  ravost::RayState work = d.ray_state;
  const long before = g_allocations;
  numerics::RUNGE(d.ray_state, 3, d.calc_interval, 100, duref, k1, k2, k3, k4, work);
  EXPECT_EQ(g_allocations, before);
  EXPECT_GT(d.ray_state[ray::radius], 0.2f);
}

// The lines of ravost.out from the ray table's header on, up to the next
// empty line after its rows.
std::vector<std::string> ray_table_lines(const std::string& listing) {
  const std::vector<std::string> lines = split(listing, "\r\n");
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
  const std::string example = ::example();
  std::size_t at = 0;
  for (int line = 0; line < 8; ++line) at = example.find('\n', at) + 1;
  return design + example.substr(at);
}

// Runs the whole program on an answer file; returns the exit status.
int run_answer_file(const testutil::TempDir& dir, const std::string& answers, std::string& console) {
  testutil::write_file(dir.path() / "design.ans", answers);
  std::istringstream in("y\ndesign.ans\n");
  std::ostringstream out;
  const int status = ravost::run(in, out, dir.path());
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
