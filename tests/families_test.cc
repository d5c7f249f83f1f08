// The geometry families through the design model: each family's shaped
// table checked ray by ray against the reflection law and the energy balance
// in closed form, its classical table against conics fitted to it, and the
// design file's family and shaping keys.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <array>
#include <filesystem>
#include <cmath>
#include <string>
#include <vector>

#include "design/classical_families.h"
#include "design/families.h"
#include "designfile/design_file.h"
#include "designfile/wizard_file.h"
#include "test_util.h"

namespace {

using design::DesignSpec;

struct Geometry {
  const char* family;
  double hole_to_feed, feed_to_sub_rim, sub_radius, inner;
  bool crosses;    // the rays cross the axis between the reflectors
  bool increases;  // the aperture radius grows with the feed angle
};

const std::array<Geometry, 6> kGeometries = {{
    {"ade", 0.2, 0.5, 0.25, 0.12, false, false},
    {"cassegrain", 0.1, 0.6, 0.15, 0.0, false, true},
    {"gregorian", 0.1, 1.0, 0.2, 0.0, true, true},
    {"adc", 0.2, 0.5, 0.25, 0.12, false, true},
    {"adh", 0.2, 0.5, 0.25, 0.12, true, false},
    {"adg", 0.2, 0.5, 0.25, 0.12, true, true},
}};

// A 64-bit uniform design of the geometry whose beamwidth feed is 10 dB down
// at the subreflector's rim.
DesignSpec spec_of(const Geometry& g, bool classical) {
  DesignSpec s = testutil::example_choices();
  s.geometry.family = g.family;
  s.geometry.classical = classical;
  s.geometry.main_hole_to_feed = g.hole_to_feed;
  s.geometry.feed_to_sub_rim = g.feed_to_sub_rim;
  s.geometry.sub_radius = g.sub_radius;
  s.geometry.main_inner_radius = g.inner;
  s.feed.beamwidth_deg = 2.0 * std::atan2(g.sub_radius, g.feed_to_sub_rim) * 180.0 / std::acos(-1.0);
  s.feed.level_db = -10.0;
  s.precision = design::Precision::double_;
  return s;
}

design::RayTable<double> table_of(const DesignSpec& s) {
  const design::Design<double> d = design::make_design<double>(s);
  return design::family_of(s).synthesize(d, {});
}

// The profiles of a table as its step points give them: the main reflector
// at its signed radius in the feed ray's meridian half-plane.
struct Point {
  double theta, sub_r, sub_z, main_x, main_z;
};
std::vector<Point> points_of(const design::RayTable<double>& t, bool crosses) {
  std::vector<Point> p;
  for (const design::StepPoint<double>& s : t.step_points) {
    p.push_back({s.feed_angle, s.sub_distance * std::sin(s.feed_angle), s.sub_distance * std::cos(s.feed_angle),
                 crosses ? -s.radius : s.radius, s.main_z});
  }
  return p;
}

void PrintTo(const Geometry& g, std::ostream* os) { *os << g.family; }

class FamilyTest : public testing::TestWithParam<Geometry> {};
// The shaped ade is the established synthesis, checked on its own.
class ShapedFamilyTest : public testing::TestWithParam<Geometry> {};

TEST_P(ShapedFamilyTest, TableKeepsTheGeometryEqualPathsTheReflectionLawAndTheEnergyBalance) {
  const Geometry& g = GetParam();
  const DesignSpec s = spec_of(g, false);
  ASSERT_TRUE(design::validate(s).empty());
  const design::RayTable<double> t = table_of(s);
  ASSERT_FALSE(t.broken_ray);
  // rows one output interval (0.02) apart from the hole rim to the rim
  ASSERT_EQ(t.rays.size(), g.inner == 0 ? 51u : 45u);

  // Ray 1 at the hole rim (or the vertex) where the keys put it; the last at
  // the rim; the subreflector's rim at its keys.
  const design::Ray<double>& first = t.rays.front();
  EXPECT_NEAR(first.main_r, g.inner, 1e-12);
  EXPECT_NEAR(first.main_z, -g.hole_to_feed, 1e-9);
  EXPECT_NEAR(t.rays.back().main_r, 1.0, 1e-9);
  const double theta_e = std::atan2(g.sub_radius, g.feed_to_sub_rim);
  const design::Ray<double>& rim_ray = g.increases ? t.rays.back() : first;
  EXPECT_NEAR(rim_ray.sub_r, g.sub_radius, 1e-12);
  EXPECT_NEAR(rim_ray.sub_z, g.feed_to_sub_rim, 1e-12);
  EXPECT_NEAR((g.increases ? first : t.rays.back()).feed_angle_deg, 0.0, 1e-9);

  // Path lengths equal to far below 0.01 wavelength at D/lambda = 100
  // (a wavelength of 0.02 radii).
  double lo = first.path_length, hi = lo;
  for (const auto& r : t.rays) lo = std::min(lo, r.path_length), hi = std::max(hi, r.path_length);
  EXPECT_LT(hi - lo, 1e-4 * 0.02);

  // Energy balance: the feed's power within theta (cos^2n(theta/2): the
  // enclosed power 1 - cos^(2n+2)(theta/2)) against the uniform aperture's
  // within (or beyond) the ray's radius.
  const double n = design::make_design<double>(s).feed.exponent;
  const auto enclosed = [n](double th) { return 1.0 - std::pow(std::cos(th / 2), 2 * n + 2); };
  for (const auto& r : t.rays) {
    const double feed = enclosed(r.feed_angle_deg * std::acos(-1.0) / 180) / enclosed(theta_e);
    const double a = (r.main_r * r.main_r - g.inner * g.inner) / (1 - g.inner * g.inner);
    EXPECT_NEAR(feed, g.increases ? a : 1 - a, 1e-7) << "at radius " << r.main_r;
  }

  // The reflection law on the written profiles: the main reflector's slope
  // sends the ray from the subreflector into +z, the subreflector's sends the
  // feed's ray to the main reflector (the slope of the parabola through
  // three neighbouring step points, which are unevenly spaced near the
  // subreflector's tip).
  const auto slope = [](double x0, double x1, double x2, double z0, double z1, double z2) {
    const double left = (z1 - z0) / (x1 - x0), right = (z2 - z1) / (x2 - x1);
    return (left * (x2 - x1) + right * (x1 - x0)) / (x2 - x0);
  };
  const std::vector<Point> p = points_of(t, g.crosses);
  ASSERT_GT(p.size(), 200u);
  for (std::size_t i = 1; i + 1 < p.size(); ++i) {
    // Next to the axial ray the radius goes as the square of the feed angle,
    // so neither profile is a smooth function of the radius there.
    if (p[i - 1].theta == 0 || p[i + 1].theta == 0) continue;
    const double ux0 = p[i].main_x - p[i].sub_r, uz0 = p[i].main_z - p[i].sub_z;
    const double len = std::hypot(ux0, uz0), ux = ux0 / len, uz = uz0 / len;
    const double main_slope = slope(p[i - 1].main_x, p[i].main_x, p[i + 1].main_x, p[i - 1].main_z, p[i].main_z,
                                    p[i + 1].main_z);
    EXPECT_NEAR(main_slope, ux / (1 - uz), 2e-4) << "main, point " << i;
    const double vx = std::sin(p[i].theta), vz = std::cos(p[i].theta);
    const double sub_slope =
        slope(p[i - 1].sub_r, p[i].sub_r, p[i + 1].sub_r, p[i - 1].sub_z, p[i].sub_z, p[i + 1].sub_z);
    EXPECT_NEAR(sub_slope, -(ux - vx) / (uz - vz), 2e-3 * (1 + std::fabs(sub_slope))) << "sub, point " << i;
  }
}

TEST_P(FamilyTest, ClassicalTableIsAParabolaAndAConicWithAFocusAtTheFeed) {
  const Geometry& g = GetParam();
  const DesignSpec s = spec_of(g, true);
  ASSERT_TRUE(design::validate(s).empty());
  const design::RayTable<double> t = table_of(s);
  ASSERT_FALSE(t.broken_ray);
  EXPECT_NEAR(t.rays.front().main_r, g.inner, 1e-12);
  EXPECT_NEAR(t.rays.front().main_z, -g.hole_to_feed, 1e-9);
  const std::vector<Point> p = points_of(t, g.crosses);

  // z = a + b x + c x^2 through three points, every other point on it; and
  // 1/r = A + B cos(theta) + C sin(theta) (a conic with a focus at the
  // origin) likewise.
  const auto solve3 = [](std::array<std::array<double, 4>, 3> m) {
    for (int c = 0; c < 3; ++c)
      for (int r = 0; r < 3; ++r)
        if (r != c) {
          const double f = m[r][c] / m[c][c];
          for (int k = 0; k < 4; ++k) m[r][k] -= f * m[c][k];
        }
    return std::array<double, 3>{m[0][3] / m[0][0], m[1][3] / m[1][1], m[2][3] / m[2][2]};
  };
  const std::size_t a = 0, b = p.size() / 2, c = p.size() - 1;
  std::array<std::array<double, 4>, 3> main_rows{}, sub_rows{};
  const std::array<std::size_t, 3> at = {a, b, c};
  for (int k = 0; k < 3; ++k) {
    const Point& q = p[at[k]];
    main_rows[k] = {1.0, q.main_x, q.main_x * q.main_x, q.main_z};
    sub_rows[k] = {1.0, std::cos(q.theta), std::sin(q.theta), 1.0 / std::hypot(q.sub_r, q.sub_z)};
  }
  const auto parabola = solve3(main_rows), conic = solve3(sub_rows);
  EXPECT_GT(parabola[2], 0.0);
  for (const Point& q : p) {
    EXPECT_NEAR(parabola[0] + parabola[1] * q.main_x + parabola[2] * q.main_x * q.main_x, q.main_z, 1e-9);
    EXPECT_NEAR(1.0 / (conic[0] + conic[1] * std::cos(q.theta) + conic[2] * std::sin(q.theta)),
                std::hypot(q.sub_r, q.sub_z), 1e-9);
  }
  // The eccentricity: an ellipse where the rays cross the axis and the
  // radius grows, or neither.
  const double e = std::hypot(conic[1], conic[2]) / std::fabs(conic[0]);
  EXPECT_EQ(e < 1, g.crosses == g.increases) << "e = " << e;
}

INSTANTIATE_TEST_SUITE_P(Families, ShapedFamilyTest, testing::ValuesIn(kGeometries.begin() + 1, kGeometries.end()),
                         [](const testing::TestParamInfo<Geometry>& i) { return std::string(i.param.family); });
INSTANTIATE_TEST_SUITE_P(Families, FamilyTest, testing::ValuesIn(kGeometries),
                         [](const testing::TestParamInfo<Geometry>& i) { return std::string(i.param.family); });

TEST(Families, TheDefaultIsTheEstablishedShapedAde) {
  const DesignSpec s = testutil::example_choices();
  EXPECT_EQ(&design::family_of(s), design::families().front());
  EXPECT_EQ(design::family_of(s).name(), "ade");
  const design::Design<float> d = design::make_design<float>(s);
  const design::RayTable<float> a = design::family_of(s).synthesize(d, {}), b = design::synthesize(d);
  ASSERT_EQ(a.rays.size(), b.rays.size());
  for (std::size_t i = 0; i < a.rays.size(); ++i) EXPECT_EQ(a.rays[i].main_z, b.rays[i].main_z);
}

TEST(Families, CentreFedFamilyRefusesAHoleAndClassicalRefusesAnUnreachableVertex) {
  DesignSpec s = spec_of(kGeometries[1], false);
  s.geometry.main_inner_radius = 0.1;
  std::vector<design::Problem> p = design::validate(s);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(design::key_of(p[0]), "geometry.main_inner_radius");
  EXPECT_NE(p[0].text.find("adc"), std::string::npos);

  s = spec_of(kGeometries[1], true);
  s.geometry.main_hole_to_feed = -0.55;  // the vertex just behind the subreflector
  p = design::validate(s);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(design::key_of(p[0]), "geometry.main_hole_to_feed");
  // It says how far the vertex can come forward, and that bound is realisable.
  const std::string::size_type at = p[0].text.find("at least ");
  ASSERT_NE(at, std::string::npos) << p[0].text;
  EXPECT_NE(p[0].text.find("make it larger"), std::string::npos) << p[0].text;
  const double least = std::stod(p[0].text.substr(at + 9));
  EXPECT_GT(least, -0.55);
  s.geometry.main_hole_to_feed = least + 0.01;
  EXPECT_TRUE(design::validate(s).empty());
}

std::string design_file(const std::string& geometry_extra) {
  return "[geometry]\n" + geometry_extra +
         "main_hole_to_feed = 0.2\nfeed_to_sub_rim = 0.5\nsub_radius = 0.25\nmain_inner_radius = 0.12\n"
         "[feed]\nbeamwidth_deg = 40.0\nlevel_db = -10.0\n[aperture]\ndistribution = \"uniform\"\n"
         "[synthesis]\ncalc_interval = 0.001\noutput_interval = 0.02\nprecision = \"64-bit\"\n"
         "[scale]\ndiameter = 100.0\n";
}

TEST(Families, DesignFileReadsAndWritesFamilyAndShaping) {
  designfile::ReadResult r = designfile::parse(design_file("family = \"adg\"\nshaping = \"classical\"\n"), "t.toml");
  ASSERT_TRUE(r.file) << (r.errors.empty() ? "" : r.errors[0].message);
  EXPECT_EQ(r.file->choices.geometry.family, "adg");
  EXPECT_TRUE(r.file->choices.geometry.classical);
  const std::string written = designfile::to_toml(r.file->choices, r.file->plan);
  EXPECT_NE(written.find("family = \"adg\""), std::string::npos);
  EXPECT_NE(written.find("shaping = \"classical\""), std::string::npos);
  const designfile::ReadResult back = designfile::parse(written, "w.toml");
  ASSERT_TRUE(back.file);
  EXPECT_EQ(back.file->choices.geometry.family, "adg");
  EXPECT_TRUE(back.file->choices.geometry.classical);

  // The defaults are written as no key, so the established files keep their bytes.
  r = designfile::parse(design_file("family = \"ade\"\nshaping = \"shaped\"\n"), "t.toml");
  ASSERT_TRUE(r.file);
  const std::string plain = designfile::to_toml(r.file->choices, r.file->plan);
  EXPECT_EQ(plain.find("family"), std::string::npos);
  EXPECT_EQ(plain.find("shaping"), std::string::npos);
}

TEST(Families, DesignFileRefusesUnknownNamesAtTheirLine) {
  designfile::ReadResult r = designfile::parse(design_file("family = \"casegrain\"\n"), "t.toml");
  ASSERT_FALSE(r.file);
  ASSERT_FALSE(r.errors.empty());
  EXPECT_EQ(r.errors[0].line, 2);
  EXPECT_EQ(r.errors[0].key, "geometry.family");
  EXPECT_NE(r.errors[0].message.find("\"cassegrain\"?"), std::string::npos) << r.errors[0].message;

  r = designfile::parse(design_file("shaping = \"conic\"\n"), "t.toml");
  ASSERT_FALSE(r.file);
  EXPECT_EQ(r.errors[0].key, "geometry.shaping");
  EXPECT_NE(r.errors[0].message.find("\"classical\""), std::string::npos);

  r = designfile::parse(design_file("family = 3\n"), "t.toml");
  ASSERT_FALSE(r.file);
  EXPECT_EQ(r.errors[0].key, "geometry.family");

  // A Cassegrain with a hole: refused at the hole's line.
  r = designfile::parse(design_file("family = \"cassegrain\"\n"), "t.toml");
  ASSERT_FALSE(r.file);
  EXPECT_EQ(r.errors[0].key, "geometry.main_inner_radius");
  EXPECT_EQ(r.errors[0].line, 6);
}

// The wizard's file, read as a design file and synthesised, has the asked
// design: the written rows' main reflector reaches the asked diameter, a
// parabola fitted to them (least squares: the rows' z is quadratic in the
// aperture radius for every family) has the asked focal length, and the
// subreflector's rim row has the asked diameter and feed angle.
TEST(Families, WizardFileSynthesisedHasTheAskedDiameterFocalLengthSubAndFeedAngle) {
  struct Asked {
    design::ClassicalFamily family;
    double D, F, Ds, theta, Db;  // Db 0: a centre-fed family
  };
  using design::ClassicalFamily;
  const std::vector<Asked> asked = {
      {ClassicalFamily::cassegrain, 1000, 350, 100, 15, 0}, {ClassicalFamily::gregorian, 1000, 350, 100, 15, 0},
      {ClassicalFamily::adc, 1000, 350, 100, 15, 100},      {ClassicalFamily::ade, 1000, 350, 250, 30, 120},
      {ClassicalFamily::adh, 1000, 350, 100, 10, 100},      {ClassicalFamily::adg, 1000, 300, 200, 40, 250},
      {ClassicalFamily::gregorian, 3.0, 0.9, 0.45, 22, 0},  {ClassicalFamily::adg, 3.0, 1.2, 0.6, 35, 0.5},
  };
  for (const Asked& a : asked) {
    SCOPED_TRACE(std::string(design::classical_family_name(a.family)) + " F " + std::to_string(a.F));
    design::ClassicalInputs in;
    in.family = a.family;
    in.diameter = a.D;
    in.focal_length = a.F;
    in.sub_diameter = a.Ds;
    in.feed_angle_deg = a.theta;
    if (a.Db > 0) in.hole_diameter = a.Db;
    const design::WizardResult w = design::geometry_wizard(in);
    ASSERT_TRUE(w.design) << w.problems.at(0).message;
    const designfile::ReadResult r = designfile::parse(designfile::wizard_toml(*w.design, {"wiz", "", ""}), "w.toml");
    ASSERT_TRUE(r.file) << r.errors.at(0).message;
    ASSERT_TRUE(design::validate(r.file->choices).empty());
    const design::RayTable<double> t = table_of(r.file->choices);
    ASSERT_FALSE(t.broken_ray);
    ASSERT_GE(t.rays.size(), 4u);

    const double scale = r.file->plan.diameter / 2;  // the table's unit
    double rim = 0, sub = 0, angle = 0;
    // Normal equations of z = c0 + c1 x + c2 x^2 in x about the rows' mean.
    double mean = 0;
    for (const auto& ray : t.rays) mean += ray.main_r / static_cast<double>(t.rays.size());
    std::array<std::array<double, 4>, 3> m{};
    for (const auto& ray : t.rays) {
      rim = std::max(rim, ray.main_r);
      if (ray.feed_angle_deg > angle) angle = ray.feed_angle_deg, sub = ray.sub_r;
      const double x = ray.main_r - mean;
      const std::array<double, 3> basis = {1.0, x, x * x};
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) m[i][j] += basis[i] * basis[j];
        m[i][3] += basis[i] * ray.main_z;
      }
    }
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 3; ++i)
        if (i != c) {
          const double f = m[i][c] / m[c][c];
          for (int k = 0; k < 4; ++k) m[i][k] -= f * m[c][k];
        }
    const double curvature = m[2][3] / m[2][2];
    double worst = 0;  // the rows' distance from the fitted parabola
    for (const auto& ray : t.rays) {
      const double x = ray.main_r - mean;
      worst = std::max(worst, std::fabs(m[0][3] / m[0][0] + m[1][3] / m[1][1] * x + curvature * x * x - ray.main_z));
    }
    EXPECT_LT(worst, 1e-9);
    EXPECT_NEAR(2 * rim * scale / a.D, 1.0, 1e-6);
    EXPECT_NEAR(scale / (4 * curvature) / a.F, 1.0, 1e-6);
    EXPECT_NEAR(2 * sub * scale / a.Ds, 1.0, 1e-6);
    EXPECT_NEAR(angle, a.theta, 1e-6);
    EXPECT_NEAR(2 * t.rays.front().main_r * scale, a.Db, 1e-6 * a.D);
  }
}

// Each family's example run end to end: every output written, and the
// report's own trace of the design uniform to 0.98, its paths equal to 0.01
// wavelength and its spillover the beamwidth model's closed form.
class FamilyExampleTest : public testing::TestWithParam<Geometry> {};

TEST_P(FamilyExampleTest, RunsEndToEndWithTheShapedFiguresOfItsReport) {
  const std::string name = GetParam().family;
  testutil::TempDir dir;
  const std::filesystem::path source = std::filesystem::path(RAVOST_SOURCE_DIR) / "examples" / "families" / (name + ".toml");
  std::filesystem::copy_file(source, dir.path() / (name + ".toml"));
  const testutil::ProgramExit e = testutil::run_program(dir.path(), name + ".toml");
  ASSERT_EQ(e.status, 0) << e.err;
  for (const char* suffix : {".plt", "_main.rsf", "_sub.rsf", "_main.tor", "_sub.tor"}) {
    EXPECT_TRUE(std::filesystem::exists(dir.path() / (name + suffix))) << suffix;
  }
  const nlohmann::json j = nlohmann::json::parse(testutil::read_file(dir.path() / (name + "_report") / "report.json"));
  EXPECT_EQ(j["figures_trace"], "design");
  EXPECT_GE(j["efficiency"]["illumination"].get<double>(), 0.98);
  EXPECT_LT(j["verification"]["path_length_error_peak_to_peak_wavelengths"].get<double>(), 0.01);
  const double n = j["geometry"]["feed_exponent"].get<double>();
  const double half = j["geometry"]["subreflector_half_angle_deg"].get<double>() * std::acos(-1.0) / 180.0;
  EXPECT_NEAR(j["efficiency"]["spillover"].get<double>(), 1.0 - std::pow(std::cos(half / 2), 2 * n + 2), 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Families, FamilyExampleTest, testing::ValuesIn(kGeometries),
                         [](const testing::TestParamInfo<Geometry>& i) { return std::string(i.param.family); });

// Physical optics on the shaped Cassegrain and Gregorian examples at
// D/lambda = 100 (subreflectors of 24 and 26 wavelengths) agrees with the
// rays' directivity to within 0.4 dB: the subreflector's diffraction costs
// a few tenths of a dB and no more.
TEST(Families, PhysicalOpticsOfTheShapedCentreFedExamplesAgreesWithTheRays) {
  for (const std::string name : {"cassegrain", "gregorian"}) {
    SCOPED_TRACE(name);
    testutil::TempDir dir;
    std::filesystem::copy_file(std::filesystem::path(RAVOST_SOURCE_DIR) / "examples" / "families" / (name + ".toml"),
                               dir.path() / (name + ".toml"));
    const testutil::ProgramExit e = testutil::run_program(dir.path(), name + ".toml");
    ASSERT_EQ(e.status, 0) << e.err;
    const nlohmann::json j =
        nlohmann::json::parse(testutil::read_file(dir.path() / (name + "_report") / "report.json"));
    ASSERT_TRUE(j["physical_optics"].is_object());
    EXPECT_NEAR(j["d_over_lambda"].get<double>(), 100.0, 1e-9);
    EXPECT_GE(j["geometry"]["subreflector_wavelengths"].get<double>(), 20.0);
    const double po = j["physical_optics"]["directivity_dbi"].get<double>();
    const double go = j["directivity_dbi"].get<double>();
    EXPECT_LT(std::fabs(po - go), 0.4) << "PO " << po << " dBi, GO " << go << " dBi";
    // Both sane: below the uniform aperture's 10 log10((pi D / lambda)^2).
    EXPECT_LT(go, 10 * std::log10(std::pow(std::acos(-1.0) * 100, 2)));
  }
}

}  // namespace
