// Acceptance: complete runs of the three bundled example designs (uniform,
// Gaussian, Taylor), each answering yes to every stage, checked against
// values worked out independently of the program: the first ray from the
// geometry, the closed-form power balance along the table, the constant path
// length, the scaled table and listings against the ray table, the
// extrapolated rim against a Lagrange cubic, and the file layouts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "dialog/driver.h"
#include "tests/test_util.h"

namespace {

using testutil::read_file;
using testutil::TempDir;

// The lines of a file; every line must end in CR LF.
struct Lines {
  std::vector<std::string> text;
};

Lines split(const std::string& s) { return {testutil::crlf_lines(s)}; }

struct Design {
  std::string name;
  double hole_to_feed, feed_to_sub, sub_radius, inner_radius;
  double beamwidth, level_db;
  int kind;
  double taper_db;        // Gaussian
  double sidelobe_db;     // Taylor
  int nbar;               // Taylor
  int rays;               // trunc((1 - r0) / output interval + 0.1) + 1
  std::string first_row;  // worked out from the geometry
  double diameter, new_sub_diameter;
  int main_points, sub_points, main_nodes, sub_nodes;
  std::string unit_word;
};

// First rows: angle atan(a/f), then f, a, -h, r0 and the path length
// sqrt(a^2 + f^2) + sqrt((a - r0)^2 + (f + h)^2) + h.
const Design kDesigns[] = {
    {"uniform", 0.2, 0.5, 0.25, 0.12, 40, -10, 1, 0, 0, 0, 45,
     "  26.57   0.50000   0.25000  -0.20000   0.12000 1.47099E+00", 100, 26, 21, 11, 21, 11,
     " mm"},
    {"gaussian", 0.25, 0.6, 0.2, 0.1, 30, -12, 2, 10, 0, 0, 37,
     "  18.43   0.60000   0.20000  -0.25000   0.10000 1.73832E+00", 3000, 700, 31, 16, 25, 12,
     " mm"},
    {"taylor", 0.3, 0.55, 0.22, 0.15, 50, -15, 3, 0, 25, 4, 18,
     "  21.80   0.55000   0.22000  -0.30000   0.15000 1.74525E+00", 48, 12, 18, 7, 18, 7, " in"},
};

void PrintTo(const Design& d, std::ostream* os) { *os << d.name; }

struct RunResult {
  int status = -1;
  std::string console;
  Lines listing;
};

RunResult run_example(const Design& d, const TempDir& dir) {
  std::filesystem::copy_file(
      std::filesystem::path(RAVOST_SOURCE_DIR) / "examples" / (d.name + ".ans"),
      dir.path() / (d.name + ".ans"));
  std::istringstream in("y\n" + d.name + ".ans\n");
  std::ostringstream out;
  RunResult r;
  r.status = dialog::run(in, out, dir.path());
  r.console = out.str();
  r.listing = split(read_file(dir.path() / "ravost.out"));
  return r;
}

// Index of the first line equal to `text`, or -1.
int find_line(const std::vector<std::string>& lines, const std::string& text, int from = 0) {
  for (size_t i = static_cast<size_t>(from); i < lines.size(); ++i) {
    if (lines[i] == text) return static_cast<int>(i);
  }
  return -1;
}

struct Ray {
  double angle, sub_z, sub_r, main_z, main_r, path;
};

std::vector<Ray> ray_table(const std::vector<std::string>& lines) {
  std::vector<Ray> rays;
  int at = find_line(lines, "  Angle      Z       Radius      Z       Radius Path length");
  if (at < 0) return rays;
  for (size_t i = static_cast<size_t>(at) + 2; i < lines.size() && !lines[i].empty(); ++i) {
    Ray r{};
    EXPECT_EQ(lines[i].size(), 59u) << lines[i];
    EXPECT_EQ(std::sscanf(lines[i].c_str(), "%lf %lf %lf %lf %lf %lf", &r.angle, &r.sub_z,
                          &r.sub_r, &r.main_z, &r.main_r, &r.path),
              6);
    rays.push_back(r);
  }
  return rays;
}

// Feed power inside theta for the pattern cos(theta/2)^(2n): closed form.
double feed_power(double theta, double n) {
  return 2.0 * (1.0 - std::pow(std::cos(theta / 2.0), 2.0 * n + 2.0)) / (n + 1.0);
}

// Aperture power between r0 and r, for the design's distribution.
std::function<double(double)> aperture_power(const Design& d) {
  const double r0 = d.inner_radius;
  if (d.kind == 1) return [r0](double r) { return (r * r - r0 * r0) / 2.0; };
  if (d.kind == 2) {
    const double a = 2.0 * d.taper_db / 8.686;  // density exp(-a r)
    auto primitive = [a](double r) { return -std::exp(-a * r) * (a * r + 1.0) / (a * a); };
    return [=](double r) { return primitive(r) - primitive(r0); };
  }
  // Taylor: zeros and coefficients from their definitions, in double.
  static const double j1[] = {3.83171, 7.01559, 10.17347, 13.32369, 16.47063,
                              19.61586, 22.76008, 25.90367, 29.04683, 32.18968};
  const int N = d.nbar;
  const double R = std::pow(10.0, d.sidelobe_db / 20.0);
  const double A = std::log(R + std::sqrt(R * R - 1.0)) / M_PI;
  const double D = A * A + (N - 0.5) * (N - 0.5);
  std::vector<double> zeros(static_cast<size_t>(N));
  for (int n = 1; n < N; ++n) zeros[n - 1] = j1[N - 1] * std::sqrt((A * A + (n - 0.5) * (n - 0.5)) / D);
  zeros[N - 1] = j1[N - 1];
  std::vector<double> c(static_cast<size_t>(N));
  c[0] = 1.0;
  for (int m = 2; m <= N; ++m) {
    const double g = j1[m - 2] * j1[m - 2];
    double p1 = 1.0, p2 = 1.0;
    for (int n = 1; n < N; ++n) {
      p1 *= 1.0 - g / (zeros[n - 1] * zeros[n - 1]);
      if (n != m - 1) p2 *= 1.0 - g / (j1[n - 1] * j1[n - 1]);
    }
    c[m - 1] = -p1 / p2 / std::cyl_bessel_j(0.0, j1[m - 2]);
  }
  auto density = [=](double r) {
    double amp = c[0];
    for (int m = 2; m <= N; ++m) amp += c[m - 1] * std::cyl_bessel_j(0.0, j1[m - 2] * r);
    return amp * amp * r;
  };
  return [=](double r) {  // Simpson's rule
    const int steps = 2000;
    const double h = (r - r0) / steps;
    double s = density(r0) + density(r);
    for (int i = 1; i < steps; ++i) s += density(r0 + i * h) * (i % 2 ? 4.0 : 2.0);
    return s * h / 3.0;
  };
}

class Acceptance : public ::testing::TestWithParam<Design> {};

TEST_P(Acceptance, RayTableFollowsTheGeometryAndThePowerBalance) {
  const Design& d = GetParam();
  TempDir dir;
  RunResult r = run_example(d, dir);
  ASSERT_EQ(r.status, 0) << r.console;

  std::vector<Ray> rays = ray_table(r.listing.text);
  ASSERT_EQ(static_cast<int>(rays.size()), d.rays);
  EXPECT_NE(find_line(r.listing.text, d.first_row), -1) << "first ray";

  // The path length is constant down the table (32-bit rounding only).
  for (const Ray& ray : rays) EXPECT_NEAR(ray.path, rays[0].path, 2e-5);

  // The last ray meets the main reflector at its rim, near the axis.
  EXPECT_LT(rays.back().angle, 0.5);
  EXPECT_NEAR(rays.back().main_r, 1.0, 1e-4);

  // Power balance: the feed power between theta and theta0 is the same share
  // of the feed power inside theta0 as the aperture power between r0 and r
  // is of the aperture power between r0 and 1.
  const double deg = M_PI / 180.0;
  const double n = std::fabs(d.level_db) / -(20.0 * std::log10(std::cos(d.beamwidth * deg / 4.0)));
  const double theta0 = std::atan(d.sub_radius / d.feed_to_sub);
  const auto aperture = aperture_power(d);
  const double total_feed = feed_power(theta0, n);
  const double total_aperture = aperture(1.0);
  for (const Ray& ray : rays) {
    const double theta = std::atan2(ray.sub_r, ray.sub_z);
    const double feed_share = (total_feed - feed_power(theta, n)) / total_feed;
    const double aperture_share = aperture(ray.main_r) / total_aperture;
    EXPECT_NEAR(feed_share, aperture_share, 2e-4) << "ray at r = " << ray.main_r;
  }
}

TEST_P(Acceptance, ScaledDesignListingsAndExtrapolationAgreeWithTheRayTable) {
  const Design& d = GetParam();
  TempDir dir;
  RunResult r = run_example(d, dir);
  ASSERT_EQ(r.status, 0) << r.console;
  const auto& lines = r.listing.text;
  std::vector<Ray> rays = ray_table(lines);
  const double scale = d.diameter / 2.0;

  char expect[64];
  std::snprintf(expect, sizeof expect, " Design scaled to Diameter = %8.3f", d.diameter);
  int at = find_line(lines, expect);
  ASSERT_NE(at, -1);
  EXPECT_EQ(lines[static_cast<size_t>(at) + 2], " Subreflector dimensions  Main Reflector dimensions");
  EXPECT_EQ(lines[static_cast<size_t>(at) + 3], "    Radius      Z-axis         Radius     Z-axis");

  // One row per ray: subreflector reversed into increasing radius, both scaled.
  std::vector<double> sub_r, sub_z, main_r, main_z;
  for (int i = 0; i < d.rays; ++i) {
    const std::string& row = lines[static_cast<size_t>(at + 5 + i)];
    ASSERT_EQ(row.size(), 48u) << row;
    double a, b, c, e;
    ASSERT_EQ(std::sscanf(row.c_str(), "%lf %lf %lf %lf", &a, &b, &c, &e), 4);
    sub_r.push_back(a);
    sub_z.push_back(b);
    main_r.push_back(c);
    main_z.push_back(e);
    const Ray& sub_ray = rays[static_cast<size_t>(d.rays - 1 - i)];
    const Ray& main_ray = rays[static_cast<size_t>(i)];
    if (i > 0) {
      EXPECT_NEAR(a, sub_ray.sub_r * scale, 6e-4 + 1e-5 * scale);
      EXPECT_GT(a, sub_r[static_cast<size_t>(i) - 1]);
      EXPECT_GT(c, main_r[static_cast<size_t>(i) - 1]);
    }
    EXPECT_NEAR(b, sub_ray.sub_z * scale, 6e-4 + 1e-5 * scale);
    EXPECT_NEAR(c, main_ray.main_r * scale, 6e-4 + 1e-5 * scale);
    EXPECT_NEAR(e, main_ray.main_z * scale, 6e-4 + 1e-5 * scale);
  }
  EXPECT_EQ(sub_r[0], 0.0);
  std::snprintf(expect, sizeof expect, "%15.3f", d.inner_radius * scale);
  EXPECT_EQ(lines[static_cast<size_t>(at) + 5].substr(22, 15), expect);

  // Extrapolation: the Lagrange cubic through the four outermost points.
  std::snprintf(expect, sizeof expect, " Subreflector extrapolated to diameter = %9.3f",
                d.new_sub_diameter);
  int ex = find_line(lines, expect);
  ASSERT_NE(ex, -1);
  double rim_z = 0.0;
  ASSERT_EQ(std::sscanf(lines[static_cast<size_t>(ex) + 1].c_str(),
                        " Subreflector Rim Z-axis = %lf", &rim_z),
            1);
  const double x = d.new_sub_diameter / 2.0;
  double cubic = 0.0;
  for (int j = d.rays - 4; j < d.rays; ++j) {
    double term = sub_z[static_cast<size_t>(j)];
    for (int k = d.rays - 4; k < d.rays; ++k) {
      if (k != j) term *= (x - sub_r[static_cast<size_t>(k)]) / (sub_r[static_cast<size_t>(j)] - sub_r[static_cast<size_t>(k)]);
    }
    cubic += term;
  }
  EXPECT_NEAR(rim_z, cubic, 0.02 * std::max(1.0, std::fabs(cubic)));

  // Listings: a row at a radius of the table shows that point's height.
  int main_list = find_line(lines, " Main Reflector");
  ASSERT_NE(main_list, -1);
  int compared = 0;
  for (size_t i = static_cast<size_t>(main_list) + 2; i < lines.size() && !lines[i].empty(); ++i) {
    ASSERT_EQ(lines[i].size(), 19u) << lines[i];
    double radius, height;
    ASSERT_EQ(std::sscanf(lines[i].c_str(), "%lf %lf", &radius, &height), 2);
    for (size_t k = 0; k < main_r.size(); ++k) {
      if (std::fabs(main_r[k] - radius) < 1e-6 * scale) {
        EXPECT_NEAR(height, main_z[k], 6e-4 + 1e-5 * scale) << lines[i];
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 0);
  EXPECT_NE(find_line(lines, "  Subeflector"), -1);
}

TEST_P(Acceptance, SurfaceObjectAndPlotFilesHaveTheirLayouts) {
  const Design& d = GetParam();
  TempDir dir;
  RunResult r = run_example(d, dir);
  ASSERT_EQ(r.status, 0) << r.console;
  const double scale = d.diameter / 2.0;

  for (const auto& [suffix, points] : {std::pair{"_main.rsf", d.main_points},
                                       std::pair{"_sub.rsf", d.sub_points}}) {
    const std::string raw = read_file(dir.path() / (d.name + suffix));
    Lines f = split(raw);
    ASSERT_EQ(static_cast<int>(f.text.size()), points + 2) << suffix;
    EXPECT_EQ(f.text[0].size(), 40u);
    char count[16];
    std::snprintf(count, sizeof count, "%4d   1   0", points);
    EXPECT_EQ(f.text[1], count);
    double first_r = 0, z = 0, last_r = 0;
    for (int i = 2; i < points + 2; ++i) {
      ASSERT_EQ(f.text[static_cast<size_t>(i)].size(), 27u);
      EXPECT_EQ(f.text[static_cast<size_t>(i)][9], 'E');
      EXPECT_EQ(f.text[static_cast<size_t>(i)][23], 'E');
    }
    std::sscanf(f.text[2].c_str(), "%lf %lf", &first_r, &z);
    std::sscanf(f.text.back().c_str(), "%lf %lf", &last_r, &z);
    if (std::string(suffix) == "_main.rsf") {
      EXPECT_NEAR(first_r, d.inner_radius * scale, 1e-5 * scale);
      EXPECT_NEAR(last_r, scale, 2e-4 * scale);
    } else {
      EXPECT_EQ(first_r, 0.0);
      EXPECT_NEAR(last_r, d.new_sub_diameter / 2.0, 1e-5 * scale);
    }
  }

  for (const auto& [suffix, nodes, prefix] :
       {std::tuple{"_main.tor", d.main_nodes, std::string("zmain")},
        std::tuple{"_sub.tor", d.sub_nodes, std::string("zsub")}}) {
    Lines f = split(read_file(dir.path() / (d.name + suffix)));
    // Block A (5 lines), 5 per variable, block C (6), one per node, block E (3).
    ASSERT_EQ(static_cast<int>(f.text.size()), 5 + 5 * nodes + 6 + nodes + 3) << suffix;
    EXPECT_EQ(f.text[0], "z_focal_point   real_variable");
    EXPECT_EQ(f.text[5], prefix + "1   real_variable");
    EXPECT_EQ(f.text[static_cast<size_t>(5 + 5 * (nodes - 1))],
              prefix + std::to_string(nodes) + "   real_variable");
    const size_t c = static_cast<size_t>(5 + 5 * nodes);
    EXPECT_EQ(f.text[c + 3], "  length_unit      :" + d.unit_word + ",");
    EXPECT_EQ(f.text[c + 2],
              "  z_offset         : \"ref(z_focal_point)\"" + d.unit_word + ",");
    EXPECT_EQ(f.text[c + 6].substr(0, 4), "    ");
    EXPECT_EQ(f.text[c + 6].substr(17), "   \"ref(" + prefix + "1)\"");
    EXPECT_EQ(f.text[f.text.size() - 3], "    )");
    EXPECT_EQ(f.text[f.text.size() - 2], ")");
  }

  // The figure: 2n + m + 76 lines, m the steps of the chain-line axis
  // (about its length, 8 (Z of the subreflector rim + hole-to-feed) + 1 inch,
  // over the 0.1 inch step).
  Lines plot = split(read_file(dir.path() / (d.name + ".plt")));
  const int n = d.rays - 1;
  const double axis = 8.0 * (d.feed_to_sub + d.hole_to_feed) + 1.0;
  const int m = static_cast<int>(plot.text.size()) - 2 * n - 76;
  EXPECT_NEAR(m, axis / 0.1, 1.01);
  EXPECT_EQ(plot.text.front(), "IN;");
  EXPECT_EQ(plot.text[1], "SP1;");
  EXPECT_NE(find_line(plot.text, "PU;PA     0,  -203;"), -1);
  EXPECT_NE(find_line(plot.text, "PD;PA     0,   203;"), -1);
  EXPECT_EQ(plot.text.back(), "PM2;FP;");
  EXPECT_EQ(find_line(plot.text, "PG;"), -1);
}

INSTANTIATE_TEST_SUITE_P(ExampleDesigns, Acceptance, ::testing::ValuesIn(kDesigns),
                         [](const auto& info) { return info.param.name; });

}  // namespace
