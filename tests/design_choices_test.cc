// A design as a value: validate() against the limits of each input, the
// problems it names and their sentences, make_design() against the design a
// dialog run builds from the same answers, and the rounding of a choices to the
// precision of its design.
#include "design/choices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ios>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "design/synthesis.h"
#include "dialog/driver.h"
#include "run/messages.h"
#include "tests/test_util.h"
#include "writers/tables.h"

namespace design {
namespace {

using Fault = Problem::Fault;

DesignSpec gaussian_example() {
  DesignSpec s = testutil::example_choices();
  s.geometry = {0.25, 0.6, 0.2, 0.1};
  s.feed = {30.0, -12.0};
  s.aperture = {Distribution::gaussian, 10.0};
  s.synthesis = {0.0005, 0.025};
  return s;
}

DesignSpec taylor_example() {
  DesignSpec s = testutil::example_choices();
  s.geometry = {0.3, 0.55, 0.22, 0.15};
  s.feed = {50.0, -15.0};
  s.aperture = {Distribution::taylor, 0.0, 25.0, 4};
  s.synthesis = {0.001, 0.05};
  return s;
}

// Every real of both specs, and their kinds, counts and precisions, equal.
::testing::AssertionResult same_spec(const DesignSpec& a, const DesignSpec& b) {
  const std::pair<const char*, std::pair<double, double>> reals[] = {
      {"main_hole_to_feed", {a.geometry.main_hole_to_feed, b.geometry.main_hole_to_feed}},
      {"feed_to_sub_rim", {a.geometry.feed_to_sub_rim, b.geometry.feed_to_sub_rim}},
      {"sub_radius", {a.geometry.sub_radius, b.geometry.sub_radius}},
      {"main_inner_radius", {a.geometry.main_inner_radius, b.geometry.main_inner_radius}},
      {"beamwidth_deg", {a.feed.beamwidth_deg, b.feed.beamwidth_deg}},
      {"level_db", {a.feed.level_db, b.feed.level_db}},
      {"taper_db", {a.aperture.taper_db, b.aperture.taper_db}},
      {"sidelobe_db", {a.aperture.sidelobe_db, b.aperture.sidelobe_db}},
      {"calc_interval", {a.synthesis.calc_interval, b.synthesis.calc_interval}},
      {"output_interval", {a.synthesis.output_interval, b.synthesis.output_interval}}};
  for (const auto& [name, v] : reals) {
    if (v.first != v.second) {
      return ::testing::AssertionFailure() << name << ": " << std::hexfloat << v.first << " vs "
                                           << v.second;
    }
  }
  if (a.aperture.kind != b.aperture.kind || a.aperture.nbar != b.aperture.nbar ||
      a.precision != b.precision) {
    return ::testing::AssertionFailure() << "kind, nbar or precision differ";
  }
  return ::testing::AssertionSuccess();
}

// Every value of both designs, and the ray tables they synthesise, equal bit
// for bit.
template <RealType Real>
::testing::AssertionResult same_design(const Design<Real>& a, const Design<Real>& b) {
  const std::pair<const char*, std::pair<Real, Real>> values[] = {
      {"main_hole_to_feed", {a.main_hole_to_feed, b.main_hole_to_feed}},
      {"feed_to_sub_rim", {a.feed_to_sub_rim, b.feed_to_sub_rim}},
      {"sub_radius", {a.sub_radius, b.sub_radius}},
      {"main_inner_radius", {a.main_inner_radius, b.main_inner_radius}},
      {"feed_half_angle_deg", {a.feed_half_angle_deg, b.feed_half_angle_deg}},
      {"feed_half_angle_rad", {a.feed_half_angle_rad, b.feed_half_angle_rad}},
      {"feed.beamwidth_deg", {a.feed.beamwidth_deg, b.feed.beamwidth_deg}},
      {"feed.level_db", {a.feed.level_db, b.feed.level_db}},
      {"feed.exponent", {a.feed.exponent, b.feed.exponent}},
      {"edge_taper_db", {a.aperture.edge_taper_db, b.aperture.edge_taper_db}},
      {"sidelobe_level_db", {a.aperture.sidelobe_level_db, b.aperture.sidelobe_level_db}},
      {"calc_interval_answer", {a.calc_interval_answer, b.calc_interval_answer}},
      {"output_interval_answer", {a.output_interval_answer, b.output_interval_answer}},
      {"feed_power", {a.feed_power, b.feed_power}},
      {"aperture_power", {a.aperture_power, b.aperture_power}},
      {"power_ratio", {a.power_ratio, b.power_ratio}}};
  for (const auto& [name, v] : values) {
    if (bits_of(v.first) != bits_of(v.second)) {
      return ::testing::AssertionFailure() << name << ": " << std::hexfloat << v.first << " vs "
                                           << v.second;
    }
  }
  if (a.aperture.kind != b.aperture.kind || a.aperture.nbar != b.aperture.nbar) {
    return ::testing::AssertionFailure() << "aperture kind or nbar differ";
  }
  for (std::size_t i = 0; i < a.aperture.coefficients.size(); ++i) {
    if (bits_of(a.aperture.zeros[i]) != bits_of(b.aperture.zeros[i]) ||
        bits_of(a.aperture.coefficients[i]) != bits_of(b.aperture.coefficients[i])) {
      return ::testing::AssertionFailure() << "Taylor zero or coefficient " << i << " differs";
    }
  }
  const RayTable<Real> ta = synthesize(a);
  const RayTable<Real> tb = synthesize(b);
  if (ta.rays.size() != tb.rays.size()) return ::testing::AssertionFailure() << "ray counts differ";
  for (std::size_t i = 0; i < ta.rays.size(); ++i) {
    const Ray<Real>& x = ta.rays[i];
    const Ray<Real>& y = tb.rays[i];
    if (bits_of(x.feed_angle_deg) != bits_of(y.feed_angle_deg) ||
        bits_of(x.sub_z) != bits_of(y.sub_z) || bits_of(x.sub_r) != bits_of(y.sub_r) ||
        bits_of(x.main_z) != bits_of(y.main_z) || bits_of(x.main_r) != bits_of(y.main_r) ||
        bits_of(x.path_length) != bits_of(y.path_length)) {
      return ::testing::AssertionFailure() << "ray " << i + 1 << " differs";
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(Validate, TheExampleSpecsHaveNoProblemInEitherPrecision) {
  for (DesignSpec s : {testutil::example_choices(), gaussian_example(), taylor_example()}) {
    EXPECT_TRUE(validate(s).empty());
    s.precision = Precision::double_;
    EXPECT_TRUE(validate(s).empty());
  }
}

// One input changed from the example, and the first problem validate() then
// finds.
struct Refused {
  const char* what;
  void (*change)(DesignSpec&);
  Input input;
  Fault fault;
  std::string sentence;  // empty: not checked here
};

TEST(Validate, EachProblemNamesItsInputAndFaultAndReadsAsTheDialogSaysIt) {
  const Refused cases[] = {
      {"no subreflector", [](DesignSpec& s) { s.geometry.sub_radius = 0; }, Input::sub_radius,
       Fault::zero,
       "The radius of the subreflector must not be 0: it would subtend no angle at the feed."},
      {"hole at the rim", [](DesignSpec& s) { s.geometry.main_inner_radius = 1; },
       Input::main_inner_radius, Fault::not_below_one,
       "The inner radius of the main reflector must be less than 1, its outer radius."},
      {"no beam", [](DesignSpec& s) { s.feed.beamwidth_deg = 0; }, Input::feed_beamwidth,
       Fault::beamwidth_range, "The feed beamwidth must not be 0 and must be less than 360 degrees."},
      {"full turn", [](DesignSpec& s) { s.feed.beamwidth_deg = -360; }, Input::feed_beamwidth,
       Fault::beamwidth_range, ""},
      {"pencil beam", [](DesignSpec& s) { s.feed.beamwidth_deg = 0.01; }, Input::feed_beamwidth,
       Fault::beamwidth_too_narrow, "The feed beamwidth is too narrow to define the feed pattern."},
      {"no power at the rim", [](DesignSpec& s) { s.feed.beamwidth_deg = 2; },
       Input::feed_beamwidth, Fault::no_power_at_rim, ""},
      {"kind 5", [](DesignSpec& s) { s.aperture.kind = static_cast<Distribution>(5); },
       Input::distribution, Fault::unknown_kind,
       "The aperture distribution must be 1 (uniform), 2 (Gaussian) or 3 (Taylor)."},
      {"no taper", [](DesignSpec& s) { s.aperture = {Distribution::gaussian, 0.0}; },
       Input::taper, Fault::taper_zero, ""},
      {"steep taper", [](DesignSpec& s) { s.aperture = {Distribution::gaussian, 5000.0}; },
       Input::taper, Fault::taper_too_large, ""},
      {"deep sidelobes", [](DesignSpec& s) { s.aperture = {Distribution::taylor, 0, 400, 5}; },
       Input::sidelobe, Fault::sidelobe_too_large, ""},
      {"nbar 0", [](DesignSpec& s) { s.aperture = {Distribution::taylor, 0, 30, 0}; }, Input::nbar,
       Fault::nbar_below_one, "The number of the first unchanged zero must be at least 1."},
      {"nbar 21", [](DesignSpec& s) { s.aperture = {Distribution::taylor, 0, 30, 21}; },
       Input::nbar, Fault::nbar_above_max,
       "The number of the first unchanged zero must be at most 20: no more zeros are held."},
      {"calc 0", [](DesignSpec& s) { s.synthesis.calc_interval = 0; }, Input::calc_interval,
       Fault::zero, "The calculation interval must not be 0."},
      {"calc 1e-8", [](DesignSpec& s) { s.synthesis.calc_interval = 1e-8; },
       Input::calc_interval, Fault::too_many_steps,
       "The calculation interval is too small: more than 10000000 steps across the aperture."},
      {"output 0", [](DesignSpec& s) { s.synthesis.output_interval = 0; },
       Input::output_interval, Fault::zero, "The output interval must not be 0."},
      {"1002 rays",
       [](DesignSpec& s) {
         s.geometry.main_inner_radius = 0;
         s.synthesis = {0.000999, 0.000999};
       },
       Input::output_interval, Fault::too_many_rays,
       "The output interval is too small: the ray table holds at most 1001 rays."},
      {"output 0.0203", [](DesignSpec& s) { s.synthesis.output_interval = 0.0203; },
       Input::output_interval, Fault::not_whole_multiple,
       "The output interval must be a whole multiple of the calculation interval 0.001; try 0.02."},
      {"output 1", [](DesignSpec& s) { s.synthesis.output_interval = 1; }, Input::output_interval,
       Fault::no_row,
       "The output interval is larger than the aperture from the hole to the rim: the table would "
       "hold no row after the first."},
      {"hole 0.121", [](DesignSpec& s) { s.geometry.main_inner_radius = 0.121; },
       Input::output_interval, Fault::past_rim,
       "The last row would land at r = 1.001, past the rim; try an output interval of 0.003."},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.what);
    DesignSpec s = testutil::example_choices();
    c.change(s);
    const std::vector<Problem> all = validate(s);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front().input, c.input);
    EXPECT_EQ(all.front().fault, c.fault);
    // The input's own check finds the same problem.
    const std::vector<Problem> own = validate_input(s, c.input);
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.front().fault, c.fault);
    if (!c.sentence.empty()) {
      EXPECT_EQ(run::sentence(all.front()), c.sentence);
    }
  }
}

TEST(Validate, AGeometryAnsweredInPartIsAProblemNotAFailureInEitherPrecision) {
  // The dialog checks each answer while the later ones are still 0: with no
  // feed-to-rim distance and no subreflector radius the half angle is 0/0
  // and the design's values are NaN, which must not end the program.
  DesignSpec s;
  s.geometry.main_hole_to_feed = 0.2;
  for (const Precision p : {Precision::single, Precision::double_}) {
    s.precision = p;
    EXPECT_NO_THROW(make_design<float>(s));
    EXPECT_NO_THROW(make_design<double>(s));
    std::vector<Problem> found;
    ASSERT_NO_THROW(found = validate_input(s, Input::feed_to_sub_rim));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.front().fault, Fault::zero);
  }
}

TEST(Validate, AProblemHidesOnlyTheChecksThatBuildOnIt) {
  for (const Precision precision : {Precision::single, Precision::double_}) {
    SCOPED_TRACE(precision == Precision::single ? "32-bit" : "64-bit");
    // The hole at the rim: the feed's power at the rim, the number of steps
    // and the rows all build on it and are not reported again.
    DesignSpec s = testutil::example_choices();
    s.precision = precision;
    s.geometry.main_inner_radius = 1;
    s.feed.beamwidth_deg = 2;               // no power at the rim, given a geometry
    s.synthesis = {1e-8, 0.0203};           // too many steps; not a whole multiple
    std::vector<Problem> all = validate(s);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all.front().input, Input::main_inner_radius);

    // Mistakes of inputs that do not build on each other are all reported,
    // in the order of the inputs.
    s = testutil::example_choices();
    s.precision = precision;
    s.geometry.sub_radius = -0.25;
    s.feed.beamwidth_deg = 0;
    s.aperture = {Distribution::gaussian, 0.0};
    s.synthesis = {0, 0};
    all = validate(s);
    const std::vector<std::pair<Input, Fault>> want = {
        {Input::sub_radius, Fault::negative},     {Input::feed_beamwidth, Fault::beamwidth_range},
        {Input::taper, Fault::taper_zero},        {Input::calc_interval, Fault::zero},
        {Input::output_interval, Fault::zero}};
    ASSERT_EQ(all.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
      EXPECT_EQ(all[i].input, want[i].first) << i;
      EXPECT_EQ(all[i].fault, want[i].second) << i;
    }

    // A sound geometry with a bad calculation interval: the output interval's
    // own checks still run, those that divide by the calculation interval not.
    s = testutil::example_choices();
    s.precision = precision;
    s.synthesis = {0, 0.0203};
    all = validate(s);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all.front().input, Input::calc_interval);
  }
}

TEST(Validate, ManyThreadsFindWhatOneFinds) {
  // 64-bit Taylor designs (whose series is the costly part of a design) with
  // and without problems, checked on one thread, then on four at once.
  std::vector<DesignSpec> specs;
  for (int i = 0; i < 200; ++i) {
    DesignSpec s = taylor_example();
    s.precision = Precision::double_;
    s.aperture.nbar = 1 + i % 22;  // 21 and 22 are refused
    s.aperture.sidelobe_db = 20.0 + 0.1 * i;
    if (i % 7 == 0) s.geometry.sub_radius = -0.1;
    if (i % 5 == 0) s.synthesis.output_interval = 0.0203;
    specs.push_back(s);
  }
  auto faults = [](const std::vector<Problem>& found) {
    std::vector<std::pair<Input, Fault>> out;
    for (const Problem& p : found) out.emplace_back(p.input, p.fault);
    return out;
  };
  std::vector<std::vector<std::pair<Input, Fault>>> one;
  for (const DesignSpec& s : specs) one.push_back(faults(validate(s)));
  std::vector<std::vector<std::pair<Input, Fault>>> many(specs.size());
  std::vector<std::thread> threads;
  constexpr std::size_t kThreads = 4;
  for (std::size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t i = t; i < specs.size(); i += kThreads) many[i] = faults(validate(specs[i]));
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(many, one);
  EXPECT_EQ(one[0].size(), 2u);  // the subreflector and the output interval
  EXPECT_TRUE(one[1].empty());
  EXPECT_EQ(one[43], (std::vector<std::pair<Input, Fault>>{{Input::nbar, Fault::nbar_above_max}}));
}

// The choices with `value` set by `set` passes the check of `which`.
template <class Set>
bool accepted(Input which, double value, Set set) {
  DesignSpec s = testutil::example_choices();
  set(s, value);
  return validate_input(s, which).empty();
}

TEST(Validate, IntervalAndRadiusLimitsHoldToTheLastFloat) {
  // Each pair is the last value accepted and the next float, refused (or the
  // other way round), in the 32-bit design.
  auto output = [](DesignSpec& s, double v) { s.synthesis.output_interval = v; };
  // A whole multiple of 0.001 to within 1e-3 of itself: 20 steps +- 0.02.
  EXPECT_TRUE(accepted(Input::output_interval, 0.020019, output));
  EXPECT_FALSE(accepted(Input::output_interval, 0.020021, output));
  EXPECT_TRUE(accepted(Input::output_interval, 0x1.4801f8p-6, output));   // 0.0200200006
  EXPECT_FALSE(accepted(Input::output_interval, 0x1.4801fap-6, output));  // 0.0200200025
  EXPECT_FALSE(accepted(Input::output_interval, 0x1.475a32p-6, output));  // 0.0199800003
  EXPECT_TRUE(accepted(Input::output_interval, 0x1.475a34p-6, output));   // 0.0199800022

  // The last row may stand 1e-3 of a step (plus 1e-6) past the rim.
  auto hole = [](DesignSpec& s, double v) { s.geometry.main_inner_radius = v; };
  EXPECT_TRUE(accepted(Input::output_interval, 0x1.eb872cp-4, hole));   // 0.120001957
  EXPECT_FALSE(accepted(Input::output_interval, 0x1.eb872ep-4, hole));  // 0.120001964

  // The hole lies inside the rim.
  EXPECT_TRUE(accepted(Input::main_inner_radius, 0x1.fffffep-1, hole));
  EXPECT_FALSE(accepted(Input::main_inner_radius, 1.0, hole));

  // At most 1e7 steps from the hole (0.12) to the rim.
  auto calc = [](DesignSpec& s, double v) { s.synthesis.calc_interval = v; };
  EXPECT_FALSE(accepted(Input::calc_interval, 0x1.79f504p-24, calc));  // 8.79999931e-08
  EXPECT_TRUE(accepted(Input::calc_interval, 0x1.79f506p-24, calc));   // 8.80000002e-08

  // At most 1000 rows after the first: trunc(1 / interval + 0.1) <= 1000.
  auto every_step = [](DesignSpec& s, double v) {
    s.geometry.main_inner_radius = 0;
    s.synthesis = {v, v};
  };
  EXPECT_FALSE(accepted(Input::output_interval, 0x1.05e884p-10, every_step));  // 0.000999100739
  EXPECT_TRUE(accepted(Input::output_interval, 0x1.05e886p-10, every_step));   // 0.000999100856

  // Taylor zeros 1 to 20.
  auto nbar = [](DesignSpec& s, double v) {
    s.aperture = {Distribution::taylor, 0.0, 30.0, static_cast<int>(v)};
  };
  EXPECT_FALSE(accepted(Input::nbar, 0, nbar));
  EXPECT_TRUE(accepted(Input::nbar, 1, nbar));
  EXPECT_TRUE(accepted(Input::nbar, 20, nbar));
  EXPECT_FALSE(accepted(Input::nbar, 21, nbar));
}

TEST(RowPlan, ATableShortOfTheRimWarnsWithAnIntervalThatReachesIt) {
  DesignSpec s = testutil::example_choices();
  EXPECT_EQ(run::interval_warning(row_plan(s)), std::nullopt);
  s.geometry.main_inner_radius = 0.119;  // 44 rows of 0.02 end at 0.999
  const RowPlan plan = row_plan(s);
  EXPECT_EQ(plan.output_steps, 44);
  EXPECT_TRUE(plan.short_of_rim);
  EXPECT_TRUE(validate(s).empty());
  ASSERT_TRUE(run::interval_warning(plan));
  EXPECT_EQ(diag::render(*run::interval_warning(plan)),
            "Warning: the ray table ends at r = 0.999, short of the rim at 1; an output interval "
            "of 0.001 reaches it.");
  // Half a step short is not yet short.
  s.geometry.main_inner_radius = 0.1196;
  EXPECT_FALSE(row_plan(s).short_of_rim);
}

// Runs an example answer file through the dialog; returns what it chose.
dialog::Chosen chosen_by(const std::string& example, Precision precision) {
  testutil::TempDir dir;
  std::filesystem::copy_file(std::filesystem::path(RAVOST_SOURCE_DIR) / "examples" / example,
                             dir.path() / "e.ans");
  std::istringstream none;
  std::ostringstream out, err;
  dialog::RunOptions options;
  options.answer_file = "e.ans";
  options.precision = precision;
  options.dry = true;
  dialog::Chosen chosen;
  EXPECT_EQ(dialog::run(none, out, err, dir.path(), false, options, &chosen), 0) << err.str();
  return chosen;
}

TEST(MakeDesign, ASpecWrittenByHandGivesTheDesignOfTheDialogBitForBit) {
  const std::pair<const char*, DesignSpec> examples[] = {{"uniform.ans", testutil::example_choices()},
                                                         {"gaussian.ans", gaussian_example()},
                                                         {"taylor.ans", taylor_example()}};
  for (const auto& [name, by_hand] : examples) {
    SCOPED_TRACE(name);
    const dialog::Chosen single = chosen_by(name, Precision::single);
    EXPECT_TRUE(same_spec(single.choices, round_to_precision(by_hand)));
    EXPECT_TRUE(same_design(make_design<float>(single.choices), make_design<float>(by_hand)));

    DesignSpec wide = by_hand;
    wide.precision = Precision::double_;
    const dialog::Chosen doubled = chosen_by(name, Precision::double_);
    EXPECT_TRUE(same_spec(doubled.choices, wide));
    EXPECT_TRUE(same_design(make_design<double>(doubled.choices), make_design<double>(wide)));
  }
}

TEST(MakeDesign, TheRunPrintsTheRayTableOfTheSpecsDesign) {
  testutil::TempDir dir;
  std::filesystem::copy_file(std::filesystem::path(RAVOST_SOURCE_DIR) / "examples/taylor.ans",
                             dir.path() / "e.ans");
  std::istringstream none;
  std::ostringstream out, err;
  dialog::RunOptions options;
  options.answer_file = "e.ans";
  ASSERT_EQ(dialog::run(none, out, err, dir.path(), false, options), 0) << err.str();
  const std::string listing = testutil::read_file(dir.path() / "ravost.out");
  const RayTable<float> table = synthesize(make_design<float>(taylor_example()));
  std::string rows;
  for (const Ray<float>& ray : table.rays) rows += writers::ray_row(ray) + "\r\n";
  EXPECT_NE(listing.find(rows), std::string::npos) << listing;
}

TEST(RoundToPrecision, ADoubleSpecAndItsFloatCopyGiveOneDesign) {
  DesignSpec fine = taylor_example();
  fine.geometry = {0.3000000001, 0.55000000002, 0.2199999999, 0.1500000003};
  fine.feed = {50.00000001, -15.0000000007};
  fine.aperture.sidelobe_db = 25.0000000004;
  fine.synthesis = {0.0010000000001, 0.0499999999};
  const DesignSpec rounded = round_to_precision(fine);
  EXPECT_EQ(rounded.geometry.sub_radius, static_cast<double>(0.22f));
  EXPECT_EQ(rounded.synthesis.output_interval, static_cast<double>(0.05f));
  EXPECT_TRUE(same_spec(round_to_precision(rounded), rounded));
  EXPECT_TRUE(same_spec(make_design<float>(fine).choices, rounded));
  EXPECT_TRUE(same_design(make_design<float>(fine), make_design<float>(rounded)));
  EXPECT_TRUE(same_design(make_design<float>(fine), make_design<float>(taylor_example())));

  // A 64-bit choices keeps its digits.
  DesignSpec wide = fine;
  wide.precision = Precision::double_;
  EXPECT_TRUE(same_spec(round_to_precision(wide), wide));
  EXPECT_EQ(make_design<double>(wide).sub_radius, 0.2199999999);
}

}  // namespace
}  // namespace design
