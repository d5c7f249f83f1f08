// The general dual-reflector shaping, checked against geometry built here
// without it: classical conic pairs traced in closed form, and for shaped
// designs the reflection law and the power balance re-derived ray by ray
// from the tabulated surfaces and the closed-form feed power.
#include "design/shaped_dual.h"

#include <gtest/gtest.h>

#include <boost/math/quadrature/gauss_kronrod.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "design/aperture.h"
#include "design/choices.h"
#include "design/feed_model.h"
#include "design/synthesis.h"
#include "tests/test_util.h"

namespace design {
namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

struct Vec {
  double r = 0, z = 0;
};
Vec operator-(Vec a, Vec b) { return {a.r - b.r, a.z - b.z}; }
Vec operator+(Vec a, Vec b) { return {a.r + b.r, a.z + b.z}; }
Vec operator*(double k, Vec a) { return {k * a.r, k * a.z}; }
double dot(Vec a, Vec b) { return a.r * b.r + a.z * b.z; }
double norm(Vec a) { return std::hypot(a.r, a.z); }
Vec unit(Vec a) { return (1.0 / norm(a)) * a; }

// A classical pair in the meridian half-plane of the feed ray: a conic with
// one focus at the feed and the other at P, 2c away in the direction gamma
// from the axis, and a parabola with its focus at P and its axis along +z.
// An ellipse sends the rays through P, a hyperbola as if from P.
struct ConicPair {
  double e, a, gamma, focal;  // eccentricity, semi-axis, radians, main focal length
  double scale = 1;           // every length is multiplied by it

  Vec focus() const {
    const double c2 = 2 * a * e * scale;
    return {c2 * std::sin(gamma), c2 * std::cos(gamma)};
  }
  // The subreflector's distance from the feed at feed angle t.
  double rho(double t) const {
    return scale * a * (1 - e * e) / (1 - e * std::cos(t - gamma));
  }
  Vec sub(double t) const { return rho(t) * Vec{std::sin(t), std::cos(t)}; }
  Vec main(double t) const {
    const Vec p = focus(), s = sub(t);
    const Vec d = unit(e < 1 ? p - s : s - p);
    return p + (2 * focal * scale / (1 - d.z)) * d;
  }
  // The parabola's height at signed radius r.
  double parabola_z(double r) const {
    const Vec p = focus();
    const double f = focal * scale;
    return p.z - f + (r - p.r) * (r - p.r) / (4 * f);
  }
  double path_length(double t) const {
    const Vec s = sub(t), m = main(t);
    return norm(s) + norm(m - s) - m.z;
  }
};

struct Family {
  const char* name;
  DualFamily family;
  ConicPair pair;
  double edge_deg;
};

// One typical pair of each family (lengths before scaling to a unit outer
// aperture radius).
const std::array<Family, 6> kFamilies = {{
    {"cassegrain", DualFamily::cassegrain, {2.5, 0.1, 0, 1.0}, 15},
    {"gregorian", DualFamily::gregorian, {0.5, 0.2, 0, 0.8}, 20},
    {"adc", DualFamily::adc, {2.0, 0.1, -2 * kDeg, 1.0}, 10},
    {"ade", DualFamily::ade, {0.3, 0.1, 20 * kDeg, 0.3}, 10},
    {"adh", DualFamily::adh, {2.0, 0.1, 10 * kDeg, 1.0}, 10},
    {"adg", DualFamily::adg, {0.3, 0.1, -10 * kDeg, 0.3}, 20},
}};

// The pair scaled so that its outer aperture radius is 1, with its hole
// radius and the way its rays run, read from its own traced rays.
struct Classical {
  ConicPair pair;
  double edge;  // radians
  double x_inner;
  DualTopology topology;
};

Classical classical(const Family& f) {
  Classical c{f.pair, f.edge_deg * kDeg, 0, {}};
  const double x0 = c.pair.main(0).r, xe = c.pair.main(c.edge).r;
  c.pair.scale = 1 / std::max(std::abs(x0), std::abs(xe));
  c.x_inner = std::min(std::abs(x0), std::abs(xe)) * c.pair.scale;
  c.topology.rays_cross_axis = xe < 0;
  c.topology.radius_increases = std::abs(xe) > std::abs(x0);
  return c;
}

// The signed radius of the classical pair's main point at t and its
// derivative (a sixth-order central difference; the conic continues
// smoothly to negative angles).
double pair_radius(const ConicPair& p, double t) { return p.main(t).r; }
double pair_radius_slope(const ConicPair& p, double t) {
  const double h = 1e-3;
  const double d1 = pair_radius(p, t + h) - pair_radius(p, t - h);
  const double d2 = pair_radius(p, t + 2 * h) - pair_radius(p, t - 2 * h);
  const double d3 = pair_radius(p, t + 3 * h) - pair_radius(p, t - 3 * h);
  return (45 * d1 - 9 * d2 + d3) / (60 * h);
}

// The beamwidth feed (cos(theta/2))^(2n) with `level_db` at theta_e, and
// its enclosed power in closed form.
struct BeamwidthFeed {
  double n;
  explicit BeamwidthFeed(double edge, double level_db = -10)
      : n(level_db / 10 * std::log(10.0) / (2 * std::log(std::cos(edge / 2)))) {}
  double power(double t) const { return std::pow(std::cos(t / 2), 2 * n); }
  double enclosed(double t) const {
    return 2 / (n + 1) * (1 - std::pow(std::cos(t / 2), 2 * n + 2));
  }
};

ShapedDualSpec<double> base_spec(const Classical& c, int rows) {
  ShapedDualSpec<double> s;
  s.topology = c.topology;
  s.edge_angle = c.edge;
  s.x_inner = c.x_inner;
  s.x_outer = 1;
  s.anchor_distance = c.pair.rho(0);
  s.path_length = c.pair.path_length(0);
  s.aperture_power = [](double) { return 1.0; };
  s.angles = even_angles(c.edge, rows);
  return s;
}

// Every number of a table is finite.
bool all_finite(const ShapedDual<double>& d) {
  if (!std::isfinite(d.path_length)) return false;
  for (const auto& r : d.rays) {
    for (double v : {r.theta, r.sub_distance, r.sub_r, r.sub_z, r.main_r, r.main_z,
                     r.aperture_radius, r.reflected_angle}) {
      if (!std::isfinite(v)) return false;
    }
  }
  return true;
}

TEST(ShapedDualTest, FamiliesRunTheWayTheirClassicalPairsDo) {
  for (const Family& f : kFamilies) {
    SCOPED_TRACE(f.name);
    const Classical c = classical(f);
    const DualTopology t = topology_of(f.family);
    EXPECT_EQ(t.rays_cross_axis, c.topology.rays_cross_axis);
    EXPECT_EQ(t.radius_increases, c.topology.radius_increases);
    // The centre-fed pairs have no hole; the displaced-axis ones do.
    if (centre_fed(f.family)) {
      EXPECT_LT(c.x_inner, 1e-12);
    } else {
      EXPECT_GT(c.x_inner, 0.05);
    }
    // The pair's path lengths are equal (the construction is sound).
    EXPECT_NEAR(c.pair.path_length(c.edge), c.pair.path_length(0), 1e-12);
  }
}

// A feed whose pattern spreads its power over the aperture exactly as the
// pair's conics do, with a uniform aperture, gives back the conic pair.
TEST(ShapedDualTest, ClassicalMappingGivesBackTheConicPair) {
  for (const Family& f : kFamilies) {
    for (const SubAnchor anchor : {SubAnchor::vertex, SubAnchor::rim}) {
      SCOPED_TRACE(std::string(f.name) + (anchor == SubAnchor::rim ? " from the rim" : ""));
      const Classical c = classical(f);
      ShapedDualSpec<double> s = base_spec(c, 41);
      s.topology = topology_of(f.family);
      // P sin(theta) = |x dx/dtheta| for a uniform aperture.
      const ConicPair pair = c.pair;
      s.feed_power = [pair](double t) {
        return std::abs(pair_radius(pair, t) * pair_radius_slope(pair, t)) / std::sin(t);
      };
      s.anchor = anchor;
      s.anchor_distance = anchor == SubAnchor::vertex ? pair.rho(0) : pair.rho(c.edge);
      const ShapedDual<double> d = shape_dual(s);
      ASSERT_EQ(d.problem, "");
      ASSERT_EQ(d.rays.size(), s.angles.size());
      double worst = 0;
      for (const ShapedRay<double>& r : d.rays) {
        const Vec sub = pair.sub(r.theta);
        worst = std::max({worst, std::abs(r.sub_r - sub.r), std::abs(r.sub_z - sub.z)});
        const Vec main = pair.main(r.theta);
        worst = std::max({worst, std::abs(r.main_r - main.r), std::abs(r.main_z - main.z)});
        // The main reflector is the parabola about the ring (or point) focus.
        worst = std::max(worst, std::abs(r.main_z - pair.parabola_z(r.main_r)));
      }
      EXPECT_LT(worst, 1e-8);
    }
  }
}

// The derivative along the table of a tabulated quantity, by the
// fourth-order central difference (rows evenly spaced in theta), and by
// one-sided differences of fifth order at the ends.
double table_slope(const std::vector<double>& v, std::size_t i, double h) {
  const std::size_t n = v.size();
  if (i >= 2 && i + 2 < n) {
    return (v[i - 2] - 8 * v[i - 1] + 8 * v[i + 1] - v[i + 2]) / (12 * h);
  }
  constexpr double w[6] = {-137.0 / 60, 5, -5, 10.0 / 3, -5.0 / 4, 1.0 / 5};
  double sum = 0;
  for (std::size_t k = 0; k < 6; ++k) sum += w[k] * (i < 2 ? v[i + k] : -v[i - k]);
  return sum / h;
}

// A shaped design of each family, a beamwidth feed on a uniform aperture:
// the reflection law at both surfaces, equal paths and the power balance,
// all from the tabulated rays.
TEST(ShapedDualTest, ShapedUniformDesignsObeyReflectionAndPowerBalance) {
  for (const Family& f : kFamilies) {
    SCOPED_TRACE(f.name);
    const Classical c = classical(f);
    ShapedDualSpec<double> s = base_spec(c, 1601);
    s.topology = topology_of(f.family);
    const BeamwidthFeed feed(c.edge);
    s.feed_power = [feed](double t) { return feed.power(t); };
    const ShapedDual<double> d = shape_dual(s);
    ASSERT_EQ(d.problem, "");
    ASSERT_EQ(d.rays.size(), s.angles.size());
    ASSERT_TRUE(all_finite(d));

    std::vector<double> sub_r, sub_z, main_r, main_z;
    for (const auto& r : d.rays) {
      sub_r.push_back(r.sub_r);
      sub_z.push_back(r.sub_z);
      main_r.push_back(r.main_r);
      main_z.push_back(r.main_z);
    }
    const double h = s.angles[1] - s.angles[0];
    const double total_feed = feed.enclosed(c.edge);
    const double area = 1 - c.x_inner * c.x_inner;
    double reflection_sub = 0, reflection_main = 0, path = 0, balance = 0;
    double sum_amplitude = 0, sum_power = 0, sum_area = 0;
    for (std::size_t i = 0; i < d.rays.size(); ++i) {
      const ShapedRay<double>& r = d.rays[i];
      const Vec in{std::sin(r.theta), std::cos(r.theta)};
      const Vec sub{r.sub_r, r.sub_z}, main{r.main_r, r.main_z};
      const Vec out = unit(main - sub);
      // Reflection: the surface's tangent is normal to (out - in).
      const Vec sub_tangent = unit({table_slope(sub_r, i, h), table_slope(sub_z, i, h)});
      const Vec main_tangent = unit({table_slope(main_r, i, h), table_slope(main_z, i, h)});
      reflection_sub = std::max(reflection_sub, std::abs(dot(sub_tangent, unit(out - in))));
      // The main point of a displaced-axis design stands still at the axial
      // ray (the feed's power there vanishes like theta^2): its tangent has
      // no direction in theta there, and the differences of the first rows'
      // points, a few 1e-8 apart, are mostly rounding.  The first hundredth
      // of the rows is left out.
      if (centre_fed(f.family) || i >= d.rays.size() / 100) {
        reflection_main =
            std::max(reflection_main, std::abs(dot(main_tangent, unit(Vec{0, 1} - out))));
      }
      path = std::max(path, std::abs(norm(sub) + norm(main - sub) - main.z - d.path_length) /
                                d.path_length);
      // The aperture's share within the ray (uniform aperture) against the
      // feed's share within it.
      const double x = r.aperture_radius;
      const double aperture_share = (x * x - c.x_inner * c.x_inner) / area;
      const double feed_share = feed.enclosed(r.theta) / total_feed;
      const double expected = s.topology.radius_increases ? feed_share : 1 - feed_share;
      balance = std::max(balance, std::abs(aperture_share - expected));
      if (i > 0) {
        // The density the rays lay on the ring between this ray and the last.
        const double x0 = d.rays[i - 1].aperture_radius;
        const double ring = std::abs(x * x - x0 * x0) / 2;
        const double power = (feed.enclosed(r.theta) - feed.enclosed(d.rays[i - 1].theta));
        sum_amplitude += std::sqrt(power / ring) * ring;
        sum_power += power;
        sum_area += ring;
      }
    }
    EXPECT_LT(reflection_sub, 1e-9);
    EXPECT_LT(reflection_main, 1e-9);
    EXPECT_LT(path, 1e-9);
    EXPECT_LT(balance, 1e-11);
    // The rays cover the whole aperture from the hole to the rim.
    EXPECT_NEAR(sum_area, area / 2, 1e-12);
    const double illumination = sum_amplitude * sum_amplitude / (sum_area * sum_power);
    EXPECT_GE(illumination, 0.98);
    EXPECT_GT(illumination, 1 - 1e-9);
    // Shaping changed the surfaces: it is not the classical pair.
    const ShapedRay<double>& rim = d.rays.back();
    EXPECT_GT(std::abs(rim.sub_z - c.pair.sub(c.edge).z), 1e-4);
  }
}

TEST(ShapedDualTest, RowsComeInTheOrderAskedAndTheAnchorHolds) {
  const Classical c = classical(kFamilies[1]);
  ShapedDualSpec<double> s = base_spec(c, 2);
  s.topology = topology_of(DualFamily::gregorian);
  const BeamwidthFeed feed(c.edge);
  s.feed_power = [feed](double t) { return feed.power(t); };
  s.angles = {c.edge, 0.5 * c.edge, 0, 0.5 * c.edge};
  const ShapedDual<double> d = shape_dual(s);
  ASSERT_EQ(d.problem, "");
  ASSERT_EQ(d.rays.size(), 4u);
  EXPECT_EQ(d.rays[0].theta, c.edge);
  EXPECT_EQ(d.rays[2].theta, 0.0);
  EXPECT_EQ(d.rays[2].sub_distance, s.anchor_distance);
  EXPECT_EQ(d.rays[1].sub_z, d.rays[3].sub_z);
  // The axial ray of a centre-fed design leaves the vertex straight back.
  EXPECT_EQ(d.rays[2].main_r, 0.0);
  EXPECT_NEAR(d.rays[2].reflected_angle, std::numbers::pi, 1e-15);
  EXPECT_NEAR(d.rays[0].aperture_radius, 1.0, 1e-14);
  // Integrated back from the rim point found, the vertex comes back.
  s.anchor = SubAnchor::rim;
  s.anchor_distance = d.rays[0].sub_distance;
  const ShapedDual<double> back = shape_dual(s);
  ASSERT_EQ(back.problem, "");
  EXPECT_NEAR(back.rays[2].sub_distance, d.rays[2].sub_distance, 1e-11);
}

TEST(ShapedDualTest, SinglePrecisionFollowsDouble) {
  for (const Family& f : kFamilies) {
    SCOPED_TRACE(f.name);
    const Classical c = classical(f);
    ShapedDualSpec<double> s = base_spec(c, 21);
    s.topology = topology_of(f.family);
    const BeamwidthFeed feed(c.edge);
    s.feed_power = [feed](double t) { return feed.power(t); };
    const ShapedDual<double> d = shape_dual(s);
    ASSERT_EQ(d.problem, "");

    ShapedDualSpec<float> sf;
    sf.topology = s.topology;
    sf.edge_angle = static_cast<float>(s.edge_angle);
    sf.x_inner = static_cast<float>(s.x_inner);
    sf.anchor_distance = static_cast<float>(s.anchor_distance);
    sf.path_length = static_cast<float>(s.path_length);
    sf.feed_power = [feed](float t) { return static_cast<float>(feed.power(t)); };
    sf.aperture_power = [](float) { return 1.0f; };
    sf.angles = even_angles(sf.edge_angle, 21);
    const ShapedDual<float> g = shape_dual(sf);
    ASSERT_EQ(g.problem, "");
    ASSERT_EQ(g.rays.size(), d.rays.size());
    for (std::size_t i = 0; i < d.rays.size(); ++i) {
      EXPECT_NEAR(g.rays[i].sub_z, d.rays[i].sub_z, 2e-5);
      EXPECT_NEAR(g.rays[i].main_z, d.rays[i].main_z, 2e-5);
      EXPECT_NEAR(g.rays[i].main_r, d.rays[i].main_r, 2e-5);
    }
  }
}

// A spec that cannot give a design comes back with its problem, no rows and
// no NaN.
TEST(ShapedDualTest, RefusesWhatCannotBeDesigned) {
  const Classical c = classical(kFamilies[0]);
  ShapedDualSpec<double> good = base_spec(c, 11);
  const BeamwidthFeed feed(c.edge);
  good.feed_power = [feed](double t) { return feed.power(t); };
  ASSERT_EQ(shape_dual(good).problem, "");

  struct Case {
    const char* what;
    void (*change)(ShapedDualSpec<double>&);
    const char* says;
  };
  const Case cases[] = {
      {"edge angle 0", [](ShapedDualSpec<double>& s) { s.edge_angle = 0; }, "edge angle"},
      {"edge angle 90", [](ShapedDualSpec<double>& s) { s.edge_angle = 90 * kDeg; }, "edge angle"},
      {"edge angle NaN",
       [](ShapedDualSpec<double>& s) { s.edge_angle = std::numeric_limits<double>::quiet_NaN(); },
       "edge angle"},
      {"empty aperture", [](ShapedDualSpec<double>& s) { s.x_inner = 1; }, "inner"},
      {"negative hole", [](ShapedDualSpec<double>& s) { s.x_inner = -0.1; }, "inner"},
      {"row beyond the rim",
       [](ShapedDualSpec<double>& s) { s.angles.push_back(s.edge_angle * 1.01); }, "outside"},
      {"negative row", [](ShapedDualSpec<double>& s) { s.angles[0] = -1e-9; }, "outside"},
      {"no vertex distance", [](ShapedDualSpec<double>& s) { s.anchor_distance = 0; }, "distance"},
      {"no path length", [](ShapedDualSpec<double>& s) { s.path_length = -1; }, "path length"},
      {"feed negative",
       [](ShapedDualSpec<double>& s) { s.feed_power = [](double t) { return 0.01 - t; }; },
       "negative"},
      {"feed NaN",
       [](ShapedDualSpec<double>& s) {
         s.feed_power = [](double t) { return t > 0.1 ? std::nan("") : 1.0; };
       },
       "feed"},
      {"feed dark", [](ShapedDualSpec<double>& s) { s.feed_power = [](double) { return 0.0; }; },
       "no power"},
      {"aperture dark",
       [](ShapedDualSpec<double>& s) { s.aperture_power = [](double) { return 0.0; }; },
       "no power"},
      {"no feed", [](ShapedDualSpec<double>& s) { s.feed_power = nullptr; }, "missing"},
      // From the rim with a path too short for the rim ray to come back: the
      // reflected ray would have to run parallel to the axis.
      {"parallel to the axis",
       [](ShapedDualSpec<double>& s) {
         s.anchor = SubAnchor::rim;
         s.anchor_distance = 1;
         s.path_length = (1 - std::cos(s.edge_angle)) * 0.999;
       },
       "parallel to the axis"},
      // A path barely longer than the vertex distance: the main reflector
      // rises into the subreflector on the way out.
      {"surfaces meet",
       [](ShapedDualSpec<double>& s) { s.path_length = s.anchor_distance * 1.02; },
       "meet the subreflector"},
      // Every ray comes back below its own subreflector point, but the
      // subreflector is as wide as the main reflector and hangs below the
      // main reflector's outer part.
      {"main reaches the sub",
       [](ShapedDualSpec<double>& s) {
         s.topology = {true, false};
         s.edge_angle = 0.6338;
         s.x_inner = 0.02;
         s.anchor_distance = 2.2;
         s.path_length = 1.7;
         s.feed_power = [](double t) { return std::pow(std::cos(t / 2), 18.77); };
       },
       "reaches the subreflector"},
      // Rays that must cross the axis with a hyperbola-like start cannot.
      {"wrong crossing",
       [](ShapedDualSpec<double>& s) {
         s.topology.radius_increases = false;
         s.path_length = s.anchor_distance * 1.05;
       },
       "meet the subreflector"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ShapedDualSpec<double> s = good;
    k.change(s);
    const ShapedDual<double> d = shape_dual(s);
    EXPECT_NE(d.problem.find(k.says), std::string::npos) << d.problem;
    EXPECT_TRUE(d.rays.empty());
    EXPECT_TRUE(all_finite(d));
    EXPECT_EQ(d.problem.find("nan"), std::string::npos) << d.problem;
  }
}

// The program's own feed and distribution models drive the shaping: a
// Gaussian feed and a Taylor aperture on a displaced-axis design, whose
// power balance is checked with the feed model's enclosed power and an
// adaptive integral of the aperture density.
TEST(ShapedDualTest, ProgramModelsDriveTheShaping) {
  const Classical c = classical(kFamilies[3]);  // ade
  FeedModel<double> feed;
  feed.kind = FeedModelKind::gaussian;
  feed.taper_db = 12;
  feed.taper_angle_rad = c.edge;
  const Aperture<double> aperture = taylor_aperture<double>(25, 4);
  ShapedDualSpec<double> s = base_spec(c, 61);
  s.topology = topology_of(DualFamily::ade);
  s.feed_power = [&feed](double t) { return feed.pattern_double(t); };
  s.aperture_power = [&aperture](double x) { return aperture.density(x); };
  const ShapedDual<double> d = shape_dual(s);
  ASSERT_EQ(d.problem, "");
  ASSERT_TRUE(all_finite(d));
  const auto aperture_power = [&](double x) {
    return boost::math::quadrature::gauss_kronrod<double, 61>::integrate(
        [&](double r) { return aperture.density(r) * r; }, c.x_inner, x, 10, 1e-14);
  };
  const double total_aperture = aperture_power(1.0);
  const double total_feed = feed.enclosed_power_double(c.edge);
  double worst = 0;
  for (const ShapedRay<double>& r : d.rays) {
    const double beyond = 1 - aperture_power(r.aperture_radius) / total_aperture;
    worst = std::max(worst, std::abs(beyond - feed.enclosed_power_double(r.theta) / total_feed));
  }
  EXPECT_LT(worst, 1e-10);
  // The axial ray lands at the rim, the rim ray at the hole.
  EXPECT_NEAR(d.rays.front().aperture_radius, 1.0, 1e-14);
  EXPECT_NEAR(d.rays.back().aperture_radius, c.x_inner, 1e-14);
}

// The program's established synthesis (the ADE configuration, integrated
// in the main-reflector radius from the subreflector's rim) and this one
// (integrated in feed angle) make the same surfaces.
TEST(ShapedDualTest, AgreesWithTheEstablishedSynthesis) {
  DesignSpec choices = testutil::example_choices();
  choices.synthesis.calc_interval = 1e-5;
  choices.precision = Precision::double_;
  const Design<double> in = make_design<double>(choices);
  const RayTable<double> table = synthesize(in);
  ASSERT_EQ(table.rays.size(), 45u);

  ShapedDualSpec<double> s;
  s.topology = topology_of(DualFamily::ade);
  s.edge_angle = in.feed_half_angle_rad;
  s.x_inner = in.main_inner_radius;
  s.anchor = SubAnchor::rim;
  s.anchor_distance = in.sub_radius / std::sin(in.feed_half_angle_rad);
  s.path_length = table.rays.front().path_length;
  s.feed_power = [&in](double t) { return in.feed_model.pattern_double(t); };
  s.aperture_power = [&in](double x) { return in.aperture.density(x); };
  for (const Ray<double>& r : table.rays) {
    s.angles.push_back(std::min(r.feed_angle_deg * kDeg, s.edge_angle));
  }
  const ShapedDual<double> d = shape_dual(s);
  ASSERT_EQ(d.problem, "");
  // The last ray is the axial one, where the established integration's
  // d theta / d r grows without bound and its steps lose accuracy.
  double worst = 0;
  for (std::size_t i = 0; i + 1 < d.rays.size(); ++i) {
    const Ray<double>& r = table.rays[i];
    const ShapedRay<double>& q = d.rays[i];
    worst = std::max({worst, std::abs(q.sub_r - r.sub_r), std::abs(q.sub_z - r.sub_z),
                      std::abs(q.main_r - r.main_r), std::abs(q.main_z - r.main_z)});
  }
  EXPECT_LT(worst, 1e-11);
  const Ray<double>& r = table.rays.back();
  const ShapedRay<double>& q = d.rays.back();
  EXPECT_NEAR(q.main_r, r.main_r, 1e-6);
  EXPECT_NEAR(q.main_z, r.main_z, 1e-6);
  EXPECT_NEAR(q.sub_z, r.sub_z, 1e-6);
}

// The path length for a wanted main-reflector height at the axial ray puts
// it there, for a centre-fed vertex and a displaced-axis ring.
TEST(ShapedDualTest, PathLengthForAMainHeight) {
  for (const Family& f : {kFamilies[0], kFamilies[4]}) {
    SCOPED_TRACE(f.name);
    const Classical c = classical(f);
    ShapedDualSpec<double> s = base_spec(c, 5);
    s.topology = topology_of(f.family);
    const BeamwidthFeed feed(c.edge);
    s.feed_power = [feed](double t) { return feed.power(t); };
    const double x_axial = s.topology.radius_increases ? s.x_inner : s.x_outer;
    int made = 0;
    for (const double height : {-0.7, -0.2, 0.05}) {
      s.path_length = path_length_for_main_height(s.anchor_distance, height, x_axial);
      const ShapedDual<double> d = shape_dual(s);
      if (!d.problem.empty()) continue;  // a height the geometry cannot take
      ++made;
      EXPECT_NEAR(d.rays.front().main_z, height, 1e-14);
      EXPECT_NEAR(std::abs(d.rays.front().main_r), x_axial, 1e-15);
    }
    EXPECT_GE(made, 2);
    // The classical pair's own main height gives back its path length.
    const Vec m = c.pair.main(0);
    EXPECT_NEAR(path_length_for_main_height(c.pair.rho(0), m.z, std::abs(m.r)),
                c.pair.path_length(0), 1e-13);
  }
}

TEST(ShapedDualTest, EnergyMappingInvertsTheAperturePower) {
  // A Gaussian-like aperture and the beamwidth feed: the fractions agree at
  // the mapped radius, and the radius is monotone.
  const double edge = 20 * kDeg;
  const BeamwidthFeed feed(edge);
  const auto aperture = [](double x) { return std::exp(-2.3 * x * x); };
  for (const bool increases : {true, false}) {
    const EnergyMapping<double> m([feed](double t) { return feed.power(t); }, aperture, edge, 0.2,
                                  1.0, increases);
    ASSERT_EQ(m.problem(), "");
    // sum of x exp(-2.3 x^2) from 0.2: (exp(-2.3*0.04) - exp(-2.3 x^2)) / 4.6
    const auto share = [](double x) {
      return (std::exp(-2.3 * 0.04) - std::exp(-2.3 * x * x)) / (std::exp(-2.3 * 0.04) - std::exp(-2.3));
    };
    double last = increases ? 0 : 2;
    for (int i = 0; i <= 50; ++i) {
      const double t = edge * i / 50;
      const double x = m.radius(t);
      const double f = feed.enclosed(t) / feed.enclosed(edge);
      EXPECT_NEAR(share(x), increases ? f : 1 - f, 1e-13);
      EXPECT_NEAR(m.aperture_fraction(x), share(x), 1e-13);
      if (increases) {
        EXPECT_GE(x, last);
      } else {
        EXPECT_LE(x, last);
      }
      last = x;
    }
  }
}

}  // namespace
}  // namespace design
