// The kinds of thing a design is made of: the aperture distributions (the
// registry, and the parabolic-on-pedestal distribution checked against its
// closed forms, its keys' limits, the synthesis and a design file written and
// read back), the geometry family, and the feed's phase centre.
#include "design/distributions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "design/families.h"
#include "design/feed.h"
#include "design/synthesis.h"
#include "designfile/design_file.h"
#include "run/messages.h"
#include "tests/test_util.h"

namespace {

using design::Distribution;
using design::DesignSpec;
using design::Input;
using design::Problem;

DesignSpec pedestal(double taper_db, int power, design::Precision precision) {
  DesignSpec s = testutil::example_choices();
  s.aperture.kind = Distribution::parabolic_pedestal;
  s.aperture.taper_db = taper_db;
  s.aperture.power = power;
  s.precision = precision;
  return s;
}

// The aperture power from r0 to 1 of the amplitude C + (1 - C)(1 - r^2)^p,
// with u = 1 - r^2: (1/2) integral from 0 to 1 - r0^2 of (C + (1 - C) u^p)^2 du.
double pedestal_power(double taper_db, int p, double r0) {
  const double c = std::pow(10.0, -taper_db / 20.0);
  const double u = 1.0 - r0 * r0;
  return 0.5 * (c * c * u + 2.0 * c * (1.0 - c) * std::pow(u, p + 1) / (p + 1) +
                (1.0 - c) * (1.0 - c) * std::pow(u, 2 * p + 1) / (2 * p + 1));
}

TEST(Distributions, EachKindIsFoundByItsNameAndOnlyTheEstablishedOnesAreInTheDialog) {
  ASSERT_EQ(design::distributions().size(), 4u);
  for (const design::DistributionKind* k : design::distributions()) {
    EXPECT_EQ(design::find_distribution(k->kind()), k);
    EXPECT_EQ(design::find_distribution(k->name()), k);
  }
  EXPECT_EQ(design::find_distribution(static_cast<Distribution>(5)), nullptr);
  EXPECT_EQ(design::find_distribution("Gaussian"), nullptr);
  EXPECT_EQ(design::find_distribution(Distribution::taylor)->dialog_number(), 3);
  EXPECT_EQ(design::find_distribution(Distribution::parabolic_pedestal)->dialog_number(), 0);

  // The dialog refuses the pedestal as it refuses any number but 1 to 3;
  // a design file takes it.
  const DesignSpec s = pedestal(10.0, 2, design::Precision::single);
  const std::vector<Problem> dialog = design::validate_input(s, Input::distribution);
  ASSERT_EQ(dialog.size(), 1u);
  EXPECT_EQ(run::sentence(dialog.front()),
            "The aperture distribution must be 1 (uniform), 2 (Gaussian) or 3 (Taylor).");
  EXPECT_TRUE(design::validate(s).empty());
}

TEST(ParabolicPedestal, ItsPowerFollowsTheClosedForm) {
  for (const int p : {1, 2}) {
    for (const double taper : {-3.0, 3.0, 10.0, 25.0}) {
      for (const double r0 : {0.0, 0.12}) {
        SCOPED_TRACE(std::to_string(p) + " " + std::to_string(taper) + " " + std::to_string(r0));
        const auto d = design::make_design<double>(pedestal(taper, p, design::Precision::double_));
        // On the axis and at the rim: 1 and the taper.
        EXPECT_NEAR(d.aperture.density(0.0), 1.0, 1e-15);
        EXPECT_NEAR(10.0 * std::log10(d.aperture.density(1.0)), -taper, 1e-12);
        EXPECT_NEAR(design::aperture_power(d.aperture, r0), pedestal_power(taper, p, r0),
                    1e-9 * pedestal_power(taper, p, r0));
        const auto f = design::make_design<float>(pedestal(taper, p, design::Precision::single));
        EXPECT_NEAR(design::aperture_power(f.aperture, static_cast<float>(r0)),
                    pedestal_power(taper, p, r0), 1e-5 * pedestal_power(taper, p, r0));
      }
    }
  }
}

TEST(ParabolicPedestal, TheRayTableSharesThePowerAsTheDistributionWants) {
  // The feed power between the rim ray and a ray is the same share of the
  // feed's power as the aperture's power between the hole and the ray's
  // radius is of the aperture's.
  for (const int p : {1, 2}) {
    const auto d = design::make_design<double>(pedestal(12.0, p, design::Precision::double_));
    ASSERT_TRUE(design::validate(d.choices).empty());
    const design::RayTable<double> t = design::synthesize(d);
    ASSERT_EQ(t.rays.size(), 45u);
    const double n = static_cast<double>(d.feed.exponent);
    auto feed_power = [n](double theta) {
      return 2.0 * (1.0 - std::pow(std::cos(theta / 2.0), 2.0 * n + 2.0)) / (n + 1.0);
    };
    const double theta0 = d.feed_half_angle_rad;
    const double r0 = d.main_inner_radius;
    for (const design::Ray<double>& ray : t.rays) {
      const double theta = std::atan2(ray.sub_r, ray.sub_z);
      const double feed_share = (feed_power(theta0) - feed_power(theta)) / feed_power(theta0);
      const double aperture_share =
          (pedestal_power(12.0, p, r0) - pedestal_power(12.0, p, ray.main_r)) /
          pedestal_power(12.0, p, r0);
      EXPECT_NEAR(feed_share, aperture_share, 2e-4) << "ray at r = " << ray.main_r;
    }
    EXPECT_NEAR(t.rays.back().main_r, 1.0, 1e-4);
  }
}

TEST(ParabolicPedestal, ItsKeysAreCheckedAtTheirLimits) {
  for (const auto precision : {design::Precision::single, design::Precision::double_}) {
    auto problems = [precision](double taper, int power) {
      return design::validate(pedestal(taper, power, precision));
    };
    EXPECT_TRUE(problems(10.0, 1).empty());
    EXPECT_TRUE(problems(10.0, 2).empty());
    // A brighter edge is a distribution as well.
    EXPECT_TRUE(problems(-6.0, 2).empty());
    for (const int power : {0, 3, -1}) {
      const std::vector<Problem> found = problems(10.0, power);
      ASSERT_EQ(found.size(), 1u) << power;
      EXPECT_EQ(designfile::key_of(found.front()), "aperture.power");
      EXPECT_EQ(run::sentence(found.front()),
                "The power of the parabola must be 1 or 2, not " + std::to_string(power) + ".");
    }
    std::vector<Problem> found = problems(0.0, 2);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(designfile::key_of(found.front()), "aperture.taper_db");
    // Both keys wrong: both reported.
    found = problems(0.0, 3);
    ASSERT_EQ(found.size(), 2u);
    // So steep that the power leaves the reals.
    found = problems(precision == design::Precision::single ? -800.0 : -7000.0, 1);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.front().fault, Problem::Fault::taper_too_large);
  }
}

const std::string kPedestalFile =
    "[geometry]\n"
    "main_hole_to_feed = 0.2\n"
    "feed_to_sub_rim = 0.5\n"
    "sub_radius = 0.25\n"
    "main_inner_radius = 0.12\n"
    "[feed]\n"
    "beamwidth_deg = 40\n"
    "level_db = -10\n"
    "[aperture]\n"                            // 9
    "distribution = \"parabolic_pedestal\"\n"  // 10
    "taper_db = 12.5\n"                       // 11
    "power = 2\n"                             // 12
    "[synthesis]\n"
    "calc_interval = 0.001\n"
    "output_interval = 0.02\n"
    "[scale]\n"
    "diameter = 100\n";

std::vector<std::string> errors_of(const std::string& text) {
  std::vector<std::string> lines;
  for (const diag::Diagnostic& d : designfile::parse(text, "t.toml").errors) lines.push_back(diag::render(d));
  return lines;
}

std::string with(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

TEST(ParabolicPedestal, ADesignFileReadsWritesAndReadsBackTheSame) {
  const designfile::ReadResult r = designfile::parse(kPedestalFile, "t.toml");
  ASSERT_TRUE(r.file.has_value()) << (r.errors.empty() ? "" : diag::render(r.errors.front()));
  EXPECT_EQ(r.file->choices.aperture.kind, Distribution::parabolic_pedestal);
  EXPECT_EQ(r.file->choices.aperture.taper_db, 12.5);
  EXPECT_EQ(r.file->choices.aperture.power, 2);
  const std::string text = designfile::to_toml(r.file->choices, r.file->plan);
  EXPECT_NE(text.find("distribution = \"parabolic_pedestal\"\ntaper_db = 12.5\npower = 2\n"),
            std::string::npos)
      << text;
  const designfile::ReadResult back = designfile::parse(text, "back.toml");
  ASSERT_TRUE(back.file.has_value());
  EXPECT_EQ(back.file->choices.aperture.kind, Distribution::parabolic_pedestal);
  EXPECT_EQ(back.file->choices.aperture.taper_db, 12.5);
  EXPECT_EQ(back.file->choices.aperture.power, 2);
  EXPECT_EQ(designfile::to_toml(back.file->choices, back.file->plan), text);
}

TEST(ParabolicPedestal, ADesignFileNamesItsKeysProblemsAtTheirLines) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(errors_of(with(kPedestalFile, "power = 2", "power = 3")),
            (Lines{"Error in t.toml, line 12: aperture.power: the power of the parabola must be 1 "
                   "or 2, not 3."}));
  EXPECT_EQ(errors_of(with(kPedestalFile, "power = 2", "power = 2.0")),
            (Lines{"Error in t.toml, line 12: aperture.power: expected a whole number, found a "
                   "real number."}));
  EXPECT_EQ(errors_of(with(kPedestalFile, "power = 2\n", "")),
            (Lines{"Error in t.toml, line 9: aperture.power: the key is missing: a "
                   "parabolic-on-pedestal distribution needs its edge taper and power."}));
  EXPECT_EQ(errors_of(with(kPedestalFile, "\"parabolic_pedestal\"", "\"gaussian\"")),
            (Lines{"Error in t.toml, line 12: aperture.power: only a parabolic-on-pedestal "
                   "distribution takes a power; remove the key or set aperture.distribution = "
                   "\"parabolic_pedestal\"."}));
  EXPECT_EQ(errors_of(with(kPedestalFile, "power = 2", "nbar = 2")),
            (Lines{"Error in t.toml, line 9: aperture.power: the key is missing: a "
                   "parabolic-on-pedestal distribution needs its edge taper and power.",
                   "Error in t.toml, line 12: aperture.nbar: only a Taylor distribution takes "
                   "nbar; remove the key or set aperture.distribution = \"taylor\"."}));
}

TEST(BrighterEdge, OnlyANegativeTaperOfAGaussianOrAPedestalMakesTheEdgeBrighter) {
  const auto brighter = [](Distribution kind, double taper_db) {
    design::ApertureSpec a;
    a.kind = kind;
    a.taper_db = taper_db;
    a.sidelobe_db = -25.0;
    a.nbar = 4;
    a.power = 2;
    return design::find_distribution(kind)->brighter_edge(a);
  };
  for (const Distribution kind : {Distribution::gaussian, Distribution::parabolic_pedestal}) {
    EXPECT_TRUE(brighter(kind, -10.0));
    EXPECT_TRUE(brighter(kind, -0.01));
    EXPECT_FALSE(brighter(kind, 0.01));
    EXPECT_FALSE(brighter(kind, 10.0));
  }
  for (const Distribution kind : {Distribution::uniform, Distribution::taylor})
    EXPECT_FALSE(brighter(kind, -10.0));
}

TEST(BrighterEdge, ARunWarnsOfABrighterEdgeForThePedestalAsForTheGaussian) {
  const std::string gaussian = with(kPedestalFile, "\"parabolic_pedestal\"\ntaper_db = 12.5\npower = 2\n",
                                    "\"gaussian\"\ntaper_db = 12.5\n");
  const auto warning = [](const std::string& taper) {
    return "Warning: an edge taper of " + taper +
           " dB makes the aperture's edge brighter than its centre; the taper is the drop in dB from the "
           "centre to the edge.\n";
  };
  const std::pair<std::string, std::string> cases[] = {
      {with(kPedestalFile, "taper_db = 12.5", "taper_db = -6"), warning("-6")},
      {with(kPedestalFile, "taper_db = 12.5", "taper_db = -0.01"), warning("-0.01")},
      {with(kPedestalFile, "taper_db = 12.5", "taper_db = 0.01"), ""},
      {with(gaussian, "taper_db = 12.5", "taper_db = -6"), warning("-6")},
      {with(gaussian, "taper_db = 12.5", "taper_db = 0.01"), ""},
  };
  for (const auto& [text, err] : cases) {
    SCOPED_TRACE(text);
    for (const std::string args : {"t.toml", "--double t.toml"}) {
      testutil::TempDir dir;
      testutil::write_file(dir.path() / "t.toml", text);
      const testutil::ProgramExit e = testutil::run_program(dir.path(), args);
      EXPECT_EQ(e.status, 0) << args;
      EXPECT_EQ(e.err, err) << args;
    }
  }
}

}  // namespace

namespace {

TEST(GeometryFamilies, TheDisplacedAxisFamilySetsAndGetsEachOfItsKeys) {
  const design::GeometryFamily* ade = design::find_family("ade");
  ASSERT_NE(ade, nullptr);
  EXPECT_EQ(&design::family_of(DesignSpec{}), ade);
  ASSERT_NE(design::find_family("cassegrain"), nullptr);
  EXPECT_EQ(design::find_family("cassegrain")->name(), "cassegrain");
  EXPECT_EQ(design::find_family("ADE"), nullptr);
  // Each key reaches its own input: set one, the others stay.
  const design::GeometrySpec before = testutil::example_choices().geometry;
  double value = 10.0;
  for (const design::GeometryKey& key : ade->keys()) {
    design::GeometrySpec g = before;
    ade->set(g, key.name, value);
    EXPECT_EQ(ade->get(g, key.name), value) << key.name;
    for (const design::GeometryKey& other : ade->keys()) {
      if (other.name != key.name) {
        EXPECT_EQ(ade->get(g, other.name), ade->get(before, other.name));
      }
    }
    EXPECT_EQ(designfile::key_of(key.input), "geometry." + std::string(key.name));
    value += 1.0;
  }
}

}  // namespace

namespace {

TEST(FeedPosition, AFeedAheadOfTheFeedPointShapesTheSurfacesOfTheGeometrySeenFromIt) {
  // A phase centre 0.125 ahead of the feed point is the geometry whose feed
  // point stands there: 0.125 further from the hole rim and 0.125 nearer the
  // subreflector rim (all exact in binary).  The rays are the same, moved
  // 0.125 along the axis.
  for (const auto precision : {design::Precision::single, design::Precision::double_}) {
    DesignSpec placed = pedestal(10.0, 1, precision);
    placed.geometry = {0.25, 0.5, 0.25, 0.125};
    placed.synthesis = {0.001, 0.025};
    placed.feed.phase_centre_z = 0.125;
    DesignSpec seen = placed;
    seen.geometry = {0.375, 0.375, 0.25, 0.125};
    seen.feed.phase_centre_z = 0.0;
    ASSERT_TRUE(design::validate(placed).empty());
    auto check = [&](auto real) {
      using Real = decltype(real);
      const auto a = design::synthesize(design::make_design<Real>(placed));
      const auto b = design::synthesize(design::make_design<Real>(seen));
      ASSERT_EQ(a.rays.size(), 36u);
      ASSERT_EQ(a.rays.size(), b.rays.size());
      const Real shift = Real(0.125);
      for (std::size_t i = 0; i < a.rays.size(); ++i) {
        EXPECT_EQ(a.rays[i].feed_angle_deg, b.rays[i].feed_angle_deg) << i;
        EXPECT_EQ(a.rays[i].sub_r, b.rays[i].sub_r) << i;
        EXPECT_EQ(a.rays[i].main_r, b.rays[i].main_r) << i;
        EXPECT_EQ(a.rays[i].sub_z, b.rays[i].sub_z + shift) << i;
        EXPECT_EQ(a.rays[i].main_z, b.rays[i].main_z + shift) << i;
        EXPECT_EQ(a.rays[i].path_length, b.rays[i].path_length) << i;
      }
      // The subreflector rim stays where the geometry puts it.
      EXPECT_NEAR(static_cast<double>(a.rays.front().sub_z), 0.5, 1e-6);
      EXPECT_NEAR(static_cast<double>(a.rays.front().main_z), -0.25, 1e-6);
    };
    if (precision == design::Precision::single) {
      check(float{});
    } else {
      check(double{});
    }
  }
}

}  // namespace

namespace {

TEST(SeriesCache, ADesignMadeWithTheCacheHasTheSeriesBuiltWithout) {
  // The cache only saves time: the series from it, from a second design of
  // the same distribution and from no cache are the same bits.
  DesignSpec s = testutil::example_choices();
  s.precision = design::Precision::double_;
  s.aperture = {Distribution::taylor, 0.0, 30.0, 20};
  design::SeriesCache cache;
  const auto fresh = design::make_design<double>(s);
  const auto first = design::make_design<double>(s, &cache);
  s.geometry.sub_radius = 0.2;  // another design, the same distribution
  const auto second = design::make_design<double>(s, &cache);
  ASSERT_GT(fresh.aperture.chebyshev.terms, 0);
  for (const auto* d : {&first, &second}) {
    EXPECT_EQ(d->aperture.chebyshev.terms, fresh.aperture.chebyshev.terms);
    EXPECT_EQ(d->aperture.chebyshev.a, fresh.aperture.chebyshev.a);
  }
  // Another nbar is another series.
  s.aperture.nbar = 19;
  EXPECT_NE(design::make_design<double>(s, &cache).aperture.chebyshev.a, fresh.aperture.chebyshev.a);
}

}  // namespace
