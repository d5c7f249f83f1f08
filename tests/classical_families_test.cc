// The classical dual-reflector families, checked ray by ray from the points
// the design gives and nothing else: the law of reflection at both surfaces
// (tangents by finite differences), the constant path length, the main
// reflector a parabola of the asked focal length (fitted through three of its
// points), every reflected ray through one focus, the asked dimensions, the
// rays' side of the axis; the Cassegrain's equivalent focal length; and the
// refusals at and beyond the limits of each family.
#include "design/classical_families.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace design {
namespace {

constexpr double kDeg = std::numbers::pi / 180.0;

struct Case {
  ClassicalFamily family;
  double D, F, Ds, theta_deg, Db;  // Db 0: a centred family
};

// A few parameter sets per family, ordinary and far from ordinary.
const std::vector<Case>& cases() {
  static const std::vector<Case> all = {
      {ClassicalFamily::cassegrain, 1.0, 0.35, 0.1, 15, 0},
      {ClassicalFamily::cassegrain, 2.0, 0.6, 0.3, 40, 0},
      {ClassicalFamily::cassegrain, 1.0, 0.1, 0.1, 35, 0},  // deep main reflector
      {ClassicalFamily::gregorian, 1.0, 0.35, 0.1, 15, 0},
      {ClassicalFamily::gregorian, 3.0, 1.2, 0.5, 50, 0},
      {ClassicalFamily::adc, 1.0, 0.35, 0.1, 15, 0.1},
      {ClassicalFamily::adc, 1.0, 0.4, 0.2, 30, 0.3},
      {ClassicalFamily::adg, 1.0, 0.35, 0.1, 15, 0.1},
      {ClassicalFamily::adg, 1.0, 0.3, 0.2, 40, 0.25},
      {ClassicalFamily::ade, 1.0, 0.35, 0.25, 30, 0.12},  // subreflector wider than the hole
      {ClassicalFamily::ade, 1.0, 0.25, 0.1, 45, 0.2},    // and narrower
      {ClassicalFamily::adh, 1.0, 0.35, 0.1, 10, 0.1},
      {ClassicalFamily::adh, 1.0, 0.35, 0.1, 40, 0.1},
  };
  return all;
}

ClassicalInputs inputs_of(const Case& c) {
  ClassicalInputs in;
  in.family = c.family;
  in.diameter = c.D;
  in.focal_length = c.F;
  in.sub_diameter = c.Ds;
  in.feed_angle_deg = c.theta_deg;
  if (c.Db > 0) in.hole_diameter = c.Db;
  return in;
}

std::string name_of(const Case& c) {
  return std::string(classical_family_name(c.family)) + " D " + std::to_string(c.D) + " F " +
         std::to_string(c.F) + " Ds " + std::to_string(c.Ds) + " theta " + std::to_string(c.theta_deg);
}

ClassicalGeometry design_of(const Case& c) {
  const ClassicalResult r = classical_design(inputs_of(c));
  EXPECT_TRUE(r.geometry) << name_of(c) << ": " << (r.problems.empty() ? "" : r.problems[0].message);
  return r.geometry.value_or(ClassicalGeometry{});
}

using Vec = std::array<double, 2>;  // (rho, z)
Vec vec(const MeridianPoint& p) { return {p.rho, p.z}; }
Vec operator-(Vec a, Vec b) { return {a[0] - b[0], a[1] - b[1]}; }
double dot(Vec a, Vec b) { return a[0] * b[0] + a[1] * b[1]; }
double norm(Vec a) { return std::hypot(a[0], a[1]); }
Vec unit(Vec a) { return {a[0] / norm(a), a[1] / norm(a)}; }
// The mirror image of direction i in a surface with tangent t.
Vec reflect(Vec i, Vec t) {
  const Vec n = unit({-t[1], t[0]});
  const double k = 2 * dot(i, n);
  return {i[0] - k * n[0], i[1] - k * n[1]};
}

// Feed angles along the subreflector, the ends left to the one-sided checks.
std::vector<double> angles(const ClassicalGeometry& g, int n = 40) {
  std::vector<double> t;
  const double te = g.inputs.feed_angle_deg * kDeg;
  for (int i = 1; i < n; ++i) t.push_back(te * i / n);
  return t;
}

TEST(ClassicalFamilies, TheLawOfReflectionHoldsAtBothSurfaces) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(name_of(c));
    const ClassicalGeometry g = design_of(c);
    const double d = 1e-5;  // radians; central differences err by ~d^2
    for (const double th : angles(g)) {
      const ClassicalRay ray = g.ray(th), lo = g.ray(th - d), hi = g.ray(th + d);
      const Vec in = unit(vec(ray.sub));
      const Vec out = unit(vec(ray.main) - vec(ray.sub));
      const Vec sub_tangent = vec(hi.sub) - vec(lo.sub);
      const Vec want_out = reflect(in, sub_tangent);
      EXPECT_NEAR(want_out[0], out[0], 1e-8) << th;
      EXPECT_NEAR(want_out[1], out[1], 1e-8) << th;
      const Vec main_tangent = vec(hi.main) - vec(lo.main);
      const Vec leaves = reflect(out, main_tangent);
      EXPECT_NEAR(leaves[0], 0.0, 1e-8) << th;
      EXPECT_NEAR(leaves[1], 1.0, 1e-8) << th;
    }
  }
}

TEST(ClassicalFamilies, ThePathLengthToTheAperturePlaneIsTheSameForEveryRay) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(name_of(c));
    const ClassicalGeometry g = design_of(c);
    std::vector<double> t = angles(g, 200);
    t.push_back(0);
    t.push_back(g.inputs.feed_angle_deg * kDeg);
    const ClassicalRay first = g.ray(0);
    const double ref = norm(vec(first.sub)) + norm(vec(first.main) - vec(first.sub)) - first.main.z;
    EXPECT_NEAR(g.path_length, ref, 1e-12 * ref);
    for (const double th : t) {
      const ClassicalRay ray = g.ray(th);
      const double path = norm(vec(ray.sub)) + norm(vec(ray.main) - vec(ray.sub)) - ray.main.z;
      EXPECT_NEAR(path, ref, 1e-12 * ref) << th;
    }
  }
}

TEST(ClassicalFamilies, TheMainReflectorIsAParabolaOfTheAskedFocalLength) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(name_of(c));
    const ClassicalGeometry g = design_of(c);
    // z = a rho^2 + b rho + k through three of its points (signed radii).
    const double te = g.inputs.feed_angle_deg * kDeg;
    const Vec p1 = vec(g.ray(0.1 * te).main), p2 = vec(g.ray(0.5 * te).main), p3 = vec(g.ray(0.9 * te).main);
    const double s12 = (p2[1] - p1[1]) / (p2[0] - p1[0]), s23 = (p3[1] - p2[1]) / (p3[0] - p2[0]);
    const double a = (s23 - s12) / (p3[0] - p1[0]);
    const double b = s12 - a * (p1[0] + p2[0]);
    const double k = p1[1] - a * p1[0] * p1[0] - b * p1[0];
    EXPECT_NEAR(1 / (4 * a), c.F, 1e-9 * c.F);
    // Its axis is the ring focus (the symmetry axis for the centred ones).
    EXPECT_NEAR(-b / (2 * a), g.focus.rho, 1e-9);
    EXPECT_EQ(displaced_axis(c.family), g.focus.rho != 0);
    for (const double th : angles(g)) {
      const Vec q = vec(g.ray(th).main);
      EXPECT_NEAR(q[1], a * q[0] * q[0] + b * q[0] + k, 1e-11) << th;
    }
  }
}

TEST(ClassicalFamilies, TheSubreflectorIsAConicWithTheFeedAtOneFocus) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(name_of(c));
    const ClassicalGeometry g = design_of(c);
    const bool ellipse = elliptic_sub(c.family);
    // The reflected rays all run through one point (an ellipse) or all seem
    // to come from it (a hyperbola); the two rays at 0.2 and 0.8 theta_e
    // meet there.
    const double te = g.inputs.feed_angle_deg * kDeg;
    const ClassicalRay r1 = g.ray(0.2 * te), r2 = g.ray(0.8 * te);
    const Vec d1 = unit(vec(r1.main) - vec(r1.sub)), d2 = unit(vec(r2.main) - vec(r2.sub));
    const double cross = d1[0] * d2[1] - d1[1] * d2[0];
    const Vec w = vec(r2.sub) - vec(r1.sub);
    const double s = (w[0] * d2[1] - w[1] * d2[0]) / cross;
    const Vec focus = {r1.sub.rho + s * d1[0], r1.sub.z + s * d1[1]};
    EXPECT_NEAR(focus[0], g.focus.rho, 1e-9);
    EXPECT_NEAR(focus[1], g.focus.z, 1e-9);
    EXPECT_EQ(ellipse, s > 0);  // the focus ahead of the ray (real) or behind it
    // |OP| +- |PF| is one constant, and the eccentricity is |OF| over it.
    const double sign = ellipse ? 1 : -1;
    const double sum = norm(vec(r1.sub)) + sign * norm(vec(r1.sub) - focus);
    EXPECT_NEAR(g.eccentricity, norm(focus) / std::abs(sum), 1e-9 * g.eccentricity);
    EXPECT_EQ(ellipse, g.eccentricity < 1);
    for (const double th : angles(g)) {
      const Vec p = vec(g.ray(th).sub);
      const Vec q = vec(g.ray(th).main);
      EXPECT_NEAR(norm(p) + sign * norm(p - focus), sum, 1e-11) << th;
      // Through the focus: its distance from the ray's line.
      const Vec dir = unit(q - p);
      const Vec f = focus - p;
      EXPECT_NEAR(f[0] * dir[1] - f[1] * dir[0], 0.0, 1e-11) << th;
    }
  }
}

TEST(ClassicalFamilies, TheAskedDimensionsComeOutAndTheRaysKeepTheirSideOfTheAxis) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(name_of(c));
    const ClassicalGeometry g = design_of(c);
    const double te = c.theta_deg * kDeg;
    const ClassicalRay tip = g.ray(0), rim = g.ray(te);
    EXPECT_EQ(tip.sub.rho, 0.0);
    EXPECT_GT(tip.sub.z, 0.0);
    EXPECT_NEAR(2 * rim.sub.rho, c.Ds, 1e-9 * c.Ds);
    EXPECT_NEAR(std::atan2(rim.sub.rho, rim.sub.z) / kDeg, c.theta_deg, 1e-9);
    // The rays fill the main reflector from hole (centre) to rim; the tip's
    // ray lands on the inner rim of the centred, adc and adg families and on
    // the outer rim of the ade and adh.
    const bool tip_outer = c.family == ClassicalFamily::ade || c.family == ClassicalFamily::adh;
    const ClassicalRay& outer = tip_outer ? tip : rim;
    const ClassicalRay& inner = tip_outer ? rim : tip;
    EXPECT_NEAR(2 * outer.aperture_radius, c.D, 1e-9 * c.D);
    EXPECT_NEAR(2 * inner.aperture_radius, c.Db, 1e-9 * c.D);
    EXPECT_NEAR(g.main_outer_rim.rho, c.D / 2, 1e-9 * c.D);
    EXPECT_NEAR(g.main_inner_rim.rho, c.Db / 2, 1e-9 * c.D);
    EXPECT_NEAR(*g.inputs.hole_diameter, c.Db, 1e-9 * c.D);
    // Crossing: the segment from the subreflector to the main reflector
    // meets rho = 0 (beyond the subreflector) for every ray but the tip's.
    double prev = -1;
    for (const double th : angles(g)) {
      const ClassicalRay ray = g.ray(th);
      EXPECT_EQ(rays_cross_axis(c.family), ray.main.rho < 0) << th;
      EXPECT_GT(ray.sub.rho, 0.0);
      // The aperture radius moves one way across the main reflector.
      if (prev >= 0) {
        EXPECT_EQ(tip_outer, ray.aperture_radius < prev) << th;
      }
      prev = ray.aperture_radius;
    }
    // The extents hold every point traced.
    for (const double th : angles(g, 400)) {
      const ClassicalRay ray = g.ray(th);
      EXPECT_LE(ray.sub.z, g.sub_z_max + 1e-12);
      EXPECT_GE(ray.sub.z, g.sub_z_min - 1e-12);
      EXPECT_LE(ray.main.z, g.main_z_max + 1e-12);
      EXPECT_GE(ray.main.z, g.main_z_min - 1e-12);
    }
    EXPECT_GE(g.overall_length, g.sub_z_max - g.main_z_min - 1e-12);
  }
}

TEST(ClassicalFamilies, TheRingRadiusGivesTheDesignItsHoleDiameterGives) {
  for (const Case& c : cases()) {
    if (c.Db == 0) continue;
    SCOPED_TRACE(name_of(c));
    const ClassicalGeometry by_hole = design_of(c);
    ClassicalInputs in = inputs_of(c);
    in.hole_diameter.reset();
    in.ring_radius = *by_hole.inputs.ring_radius;
    const ClassicalResult by_ring = classical_design(in);
    ASSERT_TRUE(by_ring.geometry);
    EXPECT_NEAR(*by_ring.geometry->inputs.hole_diameter, c.Db, 1e-9);
    EXPECT_NEAR(by_ring.geometry->eccentricity, by_hole.eccentricity, 1e-9 * by_hole.eccentricity);
    EXPECT_NEAR(by_ring.geometry->focus.z, by_hole.focus.z, 1e-9);
  }
}

// A classical Cassegrain is equivalent to a paraboloid of focal length M F,
// M = (e + 1)/(e - 1): the ray at feed angle theta leaves at 2 M F tan(theta/2).
// A Gregorian likewise with M = (1 + e)/(1 - e).
TEST(ClassicalFamilies, ACentredPairHasTheEquivalentFocalLengthOfItsMagnification) {
  for (const Case& c : cases()) {
    if (displaced_axis(c.family)) continue;
    SCOPED_TRACE(name_of(c));
    const ClassicalGeometry g = design_of(c);
    const double e = g.eccentricity;
    const double m = (e + 1) / std::abs(e - 1);
    EXPECT_NEAR(g.magnification, m, 1e-9 * m);
    for (const double th : angles(g)) {
      EXPECT_NEAR(g.ray(th).aperture_radius, 2 * m * c.F * std::tan(th / 2), 1e-9) << th;
    }
  }
}

::testing::AssertionResult refused(const ClassicalInputs& in, const std::string& parameter,
                                   const std::string& words) {
  const ClassicalResult r = classical_design(in);
  if (r.geometry) return ::testing::AssertionFailure() << "designed";
  if (r.problems.empty()) return ::testing::AssertionFailure() << "no design and no problem";
  const ClassicalProblem& p = r.problems.front();
  if (p.parameter != parameter || p.message.find(words) == std::string::npos)
    return ::testing::AssertionFailure() << p.parameter << ": " << p.message;
  return ::testing::AssertionSuccess();
}

bool designs(ClassicalInputs in) { return classical_design(in).geometry.has_value(); }

TEST(ClassicalFamilies, EachFamilyIsRefusedAtAndBeyondItsLimits) {
  // Centred: the feed angle against the rim's angle at the focus,
  // 2 atan(D / 4F); a deep Cassegrain also against 180 degrees less it.
  ClassicalInputs cas = inputs_of(cases()[0]);
  const double psi = 2 * std::atan(1.0 / (4 * 0.35)) / kDeg;
  cas.feed_angle_deg = psi * (1 - 1e-9);
  EXPECT_TRUE(designs(cas));
  for (const double beyond : {psi, psi * (1 + 1e-9), psi + 5}) {
    cas.feed_angle_deg = beyond;
    EXPECT_TRUE(refused(cas, "feed_angle", "make the feed angle or the focal length smaller")) << beyond;
  }
  ClassicalInputs greg = cas;
  greg.family = ClassicalFamily::gregorian;
  greg.feed_angle_deg = psi * (1 - 1e-9);
  EXPECT_TRUE(designs(greg));
  greg.feed_angle_deg = psi;
  EXPECT_TRUE(refused(greg, "feed_angle", "smaller"));

  ClassicalInputs deep = inputs_of(cases()[2]);  // D 1, F 0.1
  const double deep_limit = 180 - 2 * std::atan(1.0 / 0.4) / kDeg;
  deep.feed_angle_deg = deep_limit * (1 - 1e-6);
  EXPECT_TRUE(designs(deep));
  deep.feed_angle_deg = deep_limit;
  EXPECT_TRUE(refused(deep, "feed_angle", "focal length larger"));

  // ade: tan(theta/2) below 4F / (D - Ds).
  ClassicalInputs ade = inputs_of({ClassicalFamily::ade, 1.0, 0.1, 0.25, 30, 0.12});
  const double ade_limit = 2 * std::atan(0.4 / 0.75) / kDeg;
  ade.feed_angle_deg = ade_limit * (1 - 1e-6);
  EXPECT_TRUE(designs(ade));
  ade.feed_angle_deg = ade_limit;
  EXPECT_TRUE(refused(ade, "feed_angle", "make the feed angle smaller"));
  ade.feed_angle_deg = 30;
  ade.hole_diameter = 0.25;  // the subreflector's own diameter
  EXPECT_TRUE(refused(ade, "sub_diameter", "must differ"));

  // adc and adh: a hyperbola turned concave to the feed; adg: the focus
  // behind the feed.  Their limits have no closed form; well beyond them:
  ClassicalInputs adc = inputs_of(cases()[5]);
  adc.feed_angle_deg = 70;
  EXPECT_TRUE(refused(adc, "feed_angle", "concave"));
  ClassicalInputs adh = inputs_of(cases()[11]);
  adh.feed_angle_deg = 60;
  EXPECT_TRUE(refused(adh, "feed_angle", "concave"));
  ClassicalInputs adg = inputs_of(cases()[7]);
  adg.feed_angle_deg = 70;
  EXPECT_TRUE(refused(adg, "feed_angle", "behind the feed"));
  // A main reflector in the way of the feed's rays.
  adh.feed_angle_deg = 10;
  adh.sub_diameter = 0.4;
  EXPECT_TRUE(refused(adh, "sub_diameter", "make the subreflector smaller"));
}

TEST(ClassicalFamilies, ParametersNoDesignCanHaveAreRefusedByName) {
  const ClassicalInputs good = inputs_of(cases()[5]);  // adc
  const double nan = std::nan("");
  auto with = [&](auto change) {
    ClassicalInputs in = good;
    change(in);
    return in;
  };
  EXPECT_TRUE(refused(with([&](auto& in) { in.diameter = nan; }), "diameter", "above 0"));
  EXPECT_TRUE(refused(with([](auto& in) { in.focal_length = -1; }), "focal_length", "above 0"));
  EXPECT_TRUE(refused(with([](auto& in) { in.sub_diameter = 0; }), "sub_diameter", "above 0"));
  EXPECT_TRUE(refused(with([](auto& in) { in.sub_diameter = 1; }), "sub_diameter", "make it smaller"));
  EXPECT_TRUE(refused(with([](auto& in) { in.feed_angle_deg = 90; }), "feed_angle", "below 90"));
  EXPECT_TRUE(refused(with([](auto& in) { in.feed_angle_deg = INFINITY; }), "feed_angle", "below 90"));
  EXPECT_TRUE(refused(with([](auto& in) { in.hole_diameter = 1.5; }), "hole_diameter", "make it smaller"));
  EXPECT_TRUE(refused(with([](auto& in) { in.hole_diameter.reset(); }), "hole_diameter", "either"));
  EXPECT_TRUE(refused(with([](auto& in) { in.ring_radius = 0.1; }), "hole_diameter", "not both"));
  EXPECT_TRUE(refused(with([](auto& in) {
                        in.hole_diameter.reset();
                        in.ring_radius = -0.1;
                      }),
                      "ring_radius", "above 0"));
  EXPECT_TRUE(refused(with([](auto& in) { in.family = ClassicalFamily::gregorian; }), "hole_diameter",
                      "on the axis"));
  // Several bad values are all named.
  const ClassicalResult r = classical_design(with([](auto& in) {
    in.diameter = 0;
    in.focal_length = 0;
  }));
  EXPECT_EQ(r.problems.size(), 2u);
}

// Whatever the inputs, the answer is a design whose every number is finite
// and whose every ray keeps the path length, or a problem.
TEST(ClassicalFamilies, RandomInputsGiveAFiniteDesignOrAProblemNeverANaN) {
  std::mt19937 rng(20261211);
  std::uniform_real_distribution<double> u(0, 1);
  int designed = 0;
  for (int i = 0; i < 3000; ++i) {
    ClassicalInputs in;
    in.family = static_cast<ClassicalFamily>(i % 6);
    in.diameter = 1;
    in.focal_length = 0.05 + 0.8 * u(rng);
    in.sub_diameter = 0.6 * u(rng);
    in.feed_angle_deg = 95 * u(rng);
    if (displaced_axis(in.family)) in.hole_diameter = 0.6 * u(rng);
    const ClassicalResult r = classical_design(in);
    ASSERT_NE(r.geometry.has_value(), !r.problems.empty()) << i;
    if (!r.geometry) {
      EXPECT_FALSE(r.problems.front().message.empty());
      continue;
    }
    ++designed;
    const ClassicalGeometry& g = *r.geometry;
    for (const double v : {g.eccentricity, g.interfocal_distance, g.conic_sum, g.focus.z, g.focus.rho,
                           g.overall_length, g.path_length, g.magnification, g.sub_z_min, g.sub_z_max,
                           g.main_z_min, g.main_z_max})
      ASSERT_TRUE(std::isfinite(v)) << i;
    for (int k = 0; k <= 16; ++k) {
      const ClassicalRay ray = g.ray(in.feed_angle_deg * kDeg * k / 16);
      ASSERT_TRUE(std::isfinite(ray.main.z) && std::isfinite(ray.sub.z)) << i;
      EXPECT_NEAR(ray.path_length, g.path_length, 1e-9 * g.path_length) << i;
    }
  }
  // The sampled space is mostly realisable: the loop checked designs.
  EXPECT_GT(designed, 600);
}

// The wizard's design is the asked one at the main reflector's radius 1:
// lengths over D/2, angles and eccentricity unchanged; a feed 10 dB down at
// the subreflector's rim; an ade's established keys from its rims.
TEST(ClassicalFamilies, TheWizardWritesTheAskedDesignInUnitsOfTheMainRadius) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(name_of(c));
    const ClassicalGeometry asked = design_of(c);
    const WizardResult w = geometry_wizard(inputs_of(c));
    ASSERT_TRUE(w.design);
    const ClassicalGeometry& g = w.design->geometry;
    const double k = 2 / c.D;
    EXPECT_NEAR(g.main_outer_rim.rho, 1.0, 1e-12);
    EXPECT_NEAR(g.inputs.focal_length, c.F * k, 1e-12);
    EXPECT_NEAR(g.eccentricity, asked.eccentricity, 1e-9 * asked.eccentricity);
    EXPECT_NEAR(g.focus.rho, asked.focus.rho * k, 1e-9);
    EXPECT_NEAR(g.overall_length, asked.overall_length * k, 1e-9);
    EXPECT_EQ(w.design->diameter, c.D);
    EXPECT_EQ(w.design->feed_beamwidth_deg, 2 * c.theta_deg);
    EXPECT_EQ(w.design->feed_level_db, 10);
    EXPECT_EQ(w.design->ade_keys.has_value(), c.family == ClassicalFamily::ade);
    if (w.design->ade_keys) {
      const GeometrySpec& keys = *w.design->ade_keys;
      EXPECT_NEAR(keys.sub_radius, c.Ds / c.D, 1e-12);
      EXPECT_NEAR(keys.main_inner_radius, c.Db / c.D, 1e-12);
      EXPECT_NEAR(std::atan2(keys.sub_radius, keys.feed_to_sub_rim) / kDeg, c.theta_deg, 1e-9);
      EXPECT_NEAR(-keys.main_hole_to_feed, g.main_z(keys.main_inner_radius), 1e-12);
    }
  }
  ClassicalInputs bad = inputs_of(cases()[0]);
  bad.feed_angle_deg = 80;
  const WizardResult refused = geometry_wizard(bad);
  EXPECT_FALSE(refused.design);
  ASSERT_EQ(refused.problems.size(), 1u);
  EXPECT_EQ(refused.problems[0].parameter, "feed_angle");
}

}  // namespace
}  // namespace design
