// Designs shaped for feeds other than the beamwidth model: a table sampled
// from that model gives its design back; the corrugated horn's design agrees
// with an independent double-precision solution; pattern cuts and the table
// of the same horn give the same design; the checks of feed models at their
// thresholds.
#include <gtest/gtest.h>

#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <boost/math/special_functions/factorials.hpp>
#include <boost/math/special_functions/gamma.hpp>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include "design/choices.h"
#include "design/synthesis.h"
#include "feedfile/feed_file.h"

namespace {

using design::DesignSpec;
using design::FeedModelKind;
using design::FeedTable;

// Half a unit of the ray table's printed digits: F8.5 for lengths, F7.2 for
// the feed angle.  Two designs that agree within it print alike but for a
// value that sits on a rounding edge.
constexpr double kHalfLengthDigit = 0.5e-5;
constexpr double kHalfAngleDigit = 0.5e-2;

std::filesystem::path feed_data(const std::string& name) {
  return std::filesystem::path(RAVOST_SOURCE_DIR) / "tests" / "data" / "feeds" / name;
}

std::shared_ptr<const FeedTable> read_feed(const std::string& name, FeedModelKind* format = nullptr) {
  feedfile::ReadResult r = feedfile::read(feed_data(name), name);
  EXPECT_TRUE(r.table) << diag::render(r.error.value_or(diag::Diagnostic{}));
  if (format) *format = r.format;
  return std::make_shared<const FeedTable>(std::move(*r.table));
}

// h 0.2 / f 0.5 / s 0.25 / r0 0.12, uniform, 64-bit at calc 1e-4, rows every 0.02.
DesignSpec example_choices() {
  DesignSpec s;
  s.geometry = {0.2, 0.5, 0.25, 0.12};
  s.feed.beamwidth_deg = 40.0;
  s.feed.level_db = -10.0;
  s.synthesis = {1e-4, 0.02};
  s.precision = design::Precision::double_;
  return s;
}

DesignSpec with_table(DesignSpec s, std::shared_ptr<const FeedTable> t,
                      FeedModelKind kind = FeedModelKind::table) {
  s.feed.model = kind;
  s.feed.table = std::move(t);
  return s;
}

std::vector<design::Ray<double>> rays_of(const DesignSpec& s) {
  EXPECT_TRUE(design::validate(s).empty());
  const design::Design<double> d = design::make_design<double>(s);
  const design::RayTable<double> t = design::synthesize(d);
  EXPECT_FALSE(t.broken_ray);
  return t.rays;
}

void expect_same_rows(const std::vector<design::Ray<double>>& a,
                      const std::vector<design::Ray<double>>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE("ray " + std::to_string(i + 1));
    EXPECT_NEAR(a[i].feed_angle_deg, b[i].feed_angle_deg, kHalfAngleDigit);
    EXPECT_NEAR(a[i].sub_z, b[i].sub_z, kHalfLengthDigit);
    EXPECT_NEAR(a[i].sub_r, b[i].sub_r, kHalfLengthDigit);
    EXPECT_NEAR(a[i].main_z, b[i].main_z, kHalfLengthDigit);
    EXPECT_NEAR(a[i].main_r, b[i].main_r, kHalfLengthDigit);
  }
}

// The beamwidth model's pattern in dB, every 0.5 degrees to 180.
std::shared_ptr<const FeedTable> sampled_beamwidth_table() {
  const design::BeamwidthFeed<double> feed = design::BeamwidthFeed<double>::make(40.0, -10.0);
  FeedTable t;
  t.source = "sampled";
  for (int i = 0; i <= 360; ++i) {
    const double deg = 0.5 * i;
    const double p = feed.pattern(deg * design::Constants<double>::deg);
    t.theta_deg.push_back(deg);
    t.power.push_back(p);
    t.e_db.push_back(10.0 * std::log10(p));
    t.h_db.push_back(t.e_db.back());
  }
  return std::make_shared<const FeedTable>(std::move(t));
}

TEST(FeedModels, ATableSampledFromTheBeamwidthModelGivesItsDesign) {
  const DesignSpec beamwidth = example_choices();
  expect_same_rows(rays_of(with_table(beamwidth, sampled_beamwidth_table())), rays_of(beamwidth));
}

TEST(FeedModels, EveryModelsEnclosedPowerAndItsInverseAgree) {
  DesignSpec g = example_choices();
  g.feed.model = FeedModelKind::gaussian;
  g.feed.taper_db = 10.0;
  g.feed.taper_angle_deg = 20.0;
  const DesignSpec designs[] = {example_choices(), g,
                              with_table(example_choices(), read_feed("corrugated_horn.csv"))};
  for (const DesignSpec& s : designs) {
    const design::FeedModel<double> m = design::make_design<double>(s).feed_model;
    SCOPED_TRACE(m.description());
    EXPECT_EQ(m.pattern_double(0.0), 1.0);
    for (double deg : {0.5, 5.0, 20.0, 26.565, 40.0}) {
      const double theta = deg * design::Constants<double>::deg;
      const double f = m.enclosed_power_double(theta);
      EXPECT_NEAR(m.angle_of_enclosed_power_double(f), theta, 1e-9);
    }
    // The enclosed power grows by the pattern: F' = P sin.
    const double theta = 0.3, h = 1e-5;
    EXPECT_NEAR((m.enclosed_power_double(theta + h) - m.enclosed_power_double(theta - h)) / (2 * h),
                m.pattern_double(theta) * std::sin(theta), 1e-8);
  }
  // Against the beamwidth model's closed form, on the pattern sampled from it.
  const design::FeedModel<double> sampled =
      design::make_design<double>(with_table(example_choices(), sampled_beamwidth_table())).feed_model;
  const design::FeedModel<double> closed = design::make_design<double>(example_choices()).feed_model;
  for (double deg : {1.0, 10.0, 26.565, 90.0, 180.0}) {
    const double theta = deg * design::Constants<double>::deg;
    EXPECT_NEAR(sampled.enclosed_power_double(theta) / closed.enclosed_power_double(theta), 1.0, 1e-6);
  }
}

// The Gaussian feed's enclosed power by another road: sin t as its series,
// each term's integral against exp(-a t^2) an incomplete gamma function,
//   F = sum_k (-1)^k / (2k+1)! * k! / (2 a^(k+1)) * P(k+1, a theta^2).
double gaussian_enclosed_by_series(double taper_db, double taper_angle_deg, double theta) {
  const double angle = taper_angle_deg * design::Constants<double>::deg;
  const double a = taper_db / 10.0 * std::log(10.0) / (angle * angle);
  double sum = 0;
  for (unsigned k = 0; k < 40; ++k) {
    const double term = boost::math::factorial<double>(k) / boost::math::factorial<double>(2 * k + 1) /
                        (2.0 * std::pow(a, k + 1.0)) * boost::math::gamma_p(k + 1.0, a * theta * theta);
    sum += (k % 2 == 0 ? term : -term);
  }
  return sum;
}

TEST(FeedModels, TheGaussianFeedsEnclosedPowerIsItsIntegralFromTheAxisOutToPi) {
  const std::pair<double, double> feeds[] = {{10.0, 20.0}, {3.0, 60.0}, {25.0, 8.0}};
  for (const auto& [taper, angle] : feeds) {
    DesignSpec g = example_choices();
    g.feed.model = FeedModelKind::gaussian;
    g.feed.taper_db = taper;
    g.feed.taper_angle_deg = angle;
    const design::FeedModel<double> m = design::make_design<double>(g).feed_model;
    SCOPED_TRACE(m.description());
    for (double deg : {1e-4, 0.01, 0.5, 5.0, 19.9, 20.0, 26.565, 45.0, 90.0, 179.0, 180.0}) {
      const double theta = deg * design::Constants<double>::deg;
      const double want = gaussian_enclosed_by_series(taper, angle, theta);
      EXPECT_NEAR(m.enclosed_power_double(theta) / want, 1.0, 1e-12) << deg << " deg";
    }
    // Past pi the feed radiates nothing more; before the axis, nothing.
    EXPECT_EQ(m.enclosed_power_double(4.0), m.enclosed_power_double(M_PI));
    EXPECT_EQ(m.enclosed_power_double(-0.1), 0.0);
    EXPECT_TRUE(std::isnan(m.enclosed_power_double(std::nan(""))));
  }
}

TEST(FeedModels, AGaussianModelWhoseTaperChangedAfterItWasMadeUsesTheNewTaper) {
  DesignSpec g = example_choices();
  g.feed.model = FeedModelKind::gaussian;
  g.feed.taper_db = 10.0;
  g.feed.taper_angle_deg = 20.0;
  design::FeedModel<double> m = design::make_design<double>(g).feed_model;
  const double theta = 0.3;
  const double before = m.enclosed_power_double(theta);
  m.taper_db = 3.0;
  EXPECT_NEAR(m.enclosed_power_double(theta) / gaussian_enclosed_by_series(3.0, 20.0, theta), 1.0, 1e-12);
  EXPECT_GT(m.enclosed_power_double(theta), before);
  m.taper_db = 10.0;
  m.taper_angle_rad = 30.0 * design::Constants<double>::deg;
  EXPECT_NEAR(m.enclosed_power_double(theta) / gaussian_enclosed_by_series(10.0, 30.0, theta), 1.0, 1e-12);
}

// ---- An independent solution for the corrugated horn ------------------------

// The horn's closed form (the sample file's model): E = (1 + cos t)/2 J0(u) /
// (1 - (u/j01)^2), u = k a sin t, whose quotient is finite at u = j01.
constexpr double kKa = 10.399920;
constexpr double kJ01 = 2.404825557695773;

double horn_power(double t) {
  const double u = kKa * std::fabs(std::sin(t));  // the pattern is even in t
  double q;
  if (std::fabs(u - kJ01) < 1e-7) {
    q = std::cyl_bessel_j(1.0, kJ01) * kJ01 / 2.0;  // J0 ~ -J1 (u - j01)
  } else {
    q = std::cyl_bessel_j(0.0, u) / (1.0 - (u / kJ01) * (u / kJ01));
  }
  const double e = 0.5 * (1.0 + std::cos(t)) * q;
  return e * e;
}

// The enclosed power of the closed form: Gauss-Kronrod over a fine grid,
// summed once, and one short rule from the nearest node below.
class HornEnclosed {
 public:
  HornEnclosed() : nodes_(kNodes + 1, 0.0) {
    for (int k = 1; k <= kNodes; ++k) nodes_[k] = nodes_[k - 1] + piece((k - 1) * kStep, k * kStep);
  }
  double operator()(double theta) const {
    const int k = std::clamp(static_cast<int>(theta / kStep), 0, kNodes);
    return nodes_[static_cast<std::size_t>(k)] + piece(k * kStep, theta);
  }

 private:
  static constexpr int kNodes = 20000;
  static constexpr double kStep = M_PI / kNodes;
  static double piece(double a, double b) {
    auto f = [](double t) { return horn_power(t) * std::sin(t); };
    return boost::math::quadrature::gauss_kronrod<double, 15>::integrate(f, a, b, 0);
  }
  std::vector<double> nodes_;
};

double horn_enclosed(double theta) {
  static const HornEnclosed enclosed;
  return enclosed(theta);
}

struct Point {
  double theta, r, distance, main_z;
};

// The same equations with the feed angle as the variable: for a uniform
// aperture power conservation gives r(theta) in closed form,
//   r^2 = r0^2 + (1 - r0^2) (F(theta0) - F(theta)) / F(theta0),
// and the reflection laws give dR/dtheta = R tan((theta + phi)/2) and
// dz_m/dtheta = tan(phi/2) dr/dtheta; integrated by classical RK4 in theta.
class IndependentHorn {
 public:
  IndependentHorn(double h, double f, double s, double r0) : r0_(r0) {
    theta0_ = std::atan(s / f);
    f0_ = horn_enclosed(theta0_);
    p_ = {theta0_, r0, s / std::sin(theta0_), -h};
  }
  double r_of(double theta) const {
    return std::sqrt(r0_ * r0_ + (1.0 - r0_ * r0_) * (f0_ - horn_enclosed(theta)) / f0_);
  }
  // The feed angle whose ray meets the main reflector at r.
  double theta_of(double r) const {
    double lo = 0.0, hi = theta0_;
    for (int i = 0; i < 100; ++i) {
      const double mid = 0.5 * (lo + hi);
      (r_of(mid) > r ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
  }
  // Advances the state to feed angle `to` in n RK4 steps.
  const Point& advance(double to, int n) {
    const double h = (to - p_.theta) / n;
    for (int i = 0; i < n; ++i) {
      const auto d = [this](double t, double big_r, double zm) {
        const double r = r_of(t);
        const double phi = std::atan((r - big_r * std::sin(t)) / (big_r * std::cos(t) - zm));
        const double dr = -horn_power(t) * std::sin(t) / (r * f0_ / ((1.0 - r0_ * r0_) / 2.0));
        return std::array<double, 2>{big_r * std::tan((t + phi) / 2.0), std::tan(phi / 2.0) * dr};
      };
      const double t = p_.theta;
      const auto k1 = d(t, p_.distance, p_.main_z);
      const auto k2 = d(t + h / 2, p_.distance + h / 2 * k1[0], p_.main_z + h / 2 * k1[1]);
      const auto k3 = d(t + h / 2, p_.distance + h / 2 * k2[0], p_.main_z + h / 2 * k2[1]);
      const auto k4 = d(t + h, p_.distance + h * k3[0], p_.main_z + h * k3[1]);
      p_.distance += h / 6 * (k1[0] + 2 * k2[0] + 2 * k3[0] + k4[0]);
      p_.main_z += h / 6 * (k1[1] + 2 * k2[1] + 2 * k3[1] + k4[1]);
      p_.theta = t + h;
    }
    p_.r = r_of(p_.theta);
    return p_;
  }

 private:
  double r0_, theta0_, f0_;
  Point p_;
};

TEST(FeedModels, TheClosedFormOfTheCorrugatedHornIsItsTable) {
  const std::shared_ptr<const FeedTable> t = read_feed("corrugated_horn.csv");
  // Within the rounding of its four decimals wherever the pattern is above -50 dB.
  for (std::size_t i = 0; i < t->theta_deg.size() && t->e_db[i] > -50.0; ++i) {
    const double db = 10.0 * std::log10(horn_power(t->theta_deg[i] * design::Constants<double>::deg));
    EXPECT_NEAR(db, t->e_db[i], 0.6e-4) << t->theta_deg[i];
  }
}

TEST(FeedModels, TheCorrugatedHornsDesignIsTheIndependentSolution) {
  const std::vector<design::Ray<double>> rays =
      rays_of(with_table(example_choices(), read_feed("corrugated_horn.csv")));
  ASSERT_EQ(rays.size(), 45u);
  IndependentHorn horn(0.2, 0.5, 0.25, 0.12);
  double worst = 0.0;
  // Every ray but the vertex's (r = 1), where the feed angle goes as
  // sqrt(1 - r) and fixed steps in r leave an error of the order of the step:
  // that ray is checked against its exact place on the axis below.
  for (std::size_t i = 1; i + 1 < rays.size(); ++i) {
    const double r = 0.12 + 0.02 * static_cast<double>(i);
    const Point& p = horn.advance(horn.theta_of(r), 400);
    SCOPED_TRACE("ray " + std::to_string(i + 1));
    EXPECT_NEAR(rays[i].feed_angle_deg, p.theta / design::Constants<double>::deg, kHalfAngleDigit);
    EXPECT_NEAR(rays[i].sub_z, p.distance * std::cos(p.theta), kHalfLengthDigit);
    EXPECT_NEAR(rays[i].sub_r, p.distance * std::sin(p.theta), kHalfLengthDigit);
    EXPECT_NEAR(rays[i].main_z, p.main_z, kHalfLengthDigit);
    EXPECT_NEAR(rays[i].main_r, p.r, kHalfLengthDigit);
    worst = std::max({worst, std::fabs(rays[i].sub_z - p.distance * std::cos(p.theta)),
                      std::fabs(rays[i].sub_r - p.distance * std::sin(p.theta)),
                      std::fabs(rays[i].main_z - p.main_z)});
    EXPECT_NEAR(rays[i].path_length, rays[0].path_length, 1e-7);
  }
  RecordProperty("largest_length_difference", std::to_string(worst));
  EXPECT_NEAR(rays.back().main_r, 1.0, 1e-12);
  EXPECT_LT(rays.back().feed_angle_deg, 0.03);
  EXPECT_LT(rays.back().sub_r, 2.5e-4);
  EXPECT_NEAR(rays.back().path_length, rays[0].path_length, 1e-7);
  // The horn falls off faster than the beamwidth model beyond -10 dB: the
  // ray for r = 0.22 leaves the feed closer to the axis.
  EXPECT_NEAR(rays[5].main_r, 0.22, 1e-12);
  EXPECT_NEAR(rays[5].feed_angle_deg, 21.99, kHalfAngleDigit);
  EXPECT_NEAR(rays_of(example_choices())[5].feed_angle_deg, 22.65, kHalfAngleDigit);
}

TEST(FeedModels, PatternCutsAndTheTableOfTheSameHornGiveTheSameDesign) {
  FeedModelKind cut_format = FeedModelKind::table, csv_format = FeedModelKind::cut;
  const auto cuts = read_feed("conical_horn.cut", &cut_format);
  const auto csv = read_feed("conical_horn.csv", &csv_format);
  EXPECT_EQ(cut_format, FeedModelKind::cut);
  EXPECT_EQ(csv_format, FeedModelKind::table);
  expect_same_rows(rays_of(with_table(example_choices(), cuts, FeedModelKind::cut)),
                   rays_of(with_table(example_choices(), csv)));
}

TEST(FeedModels, TheCorrugatedHornSpillsLessThanTheBeamwidthModel) {
  DesignSpec s = with_table(example_choices(), read_feed("corrugated_horn.csv"));
  s.geometry = {0.3, 0.4, 0.15, 0.1};
  const design::Design<double> d = design::make_design<double>(s);
  const double ratio = d.feed_model.enclosed_power_double(d.feed_half_angle_rad) /
                       d.feed_model.enclosed_power_double(d.feed_model.last_angle_double());
  RecordProperty("enclosed_power_ratio", std::to_string(ratio));
  EXPECT_NEAR(ratio, 0.929, 0.001);
  EXPECT_NEAR(ratio, horn_enclosed(d.feed_half_angle_rad) / horn_enclosed(M_PI), 2e-5);
}

// ---- Checks ------------------------------------------------------------------

std::vector<design::Problem::Fault> faults(const DesignSpec& s) {
  std::vector<design::Problem::Fault> out;
  for (const design::Problem& p : design::validate(s)) out.push_back(p.fault);
  return out;
}

// A flat table from `first` to `last` degrees in steps of 0.5.
std::shared_ptr<const FeedTable> flat_table(double first, double last, double power = 1.0) {
  FeedTable t;
  for (double a = first; a <= last + 1e-9; a += 0.5) {
    t.theta_deg.push_back(a);
    t.power.push_back(power);
  }
  return std::make_shared<const FeedTable>(std::move(t));
}

TEST(FeedModels, TablesAreCheckedAgainstTheSubreflectorsHalfAngle) {
  using Fault = design::Problem::Fault;
  // The half angle of this geometry is 26.565 degrees.
  DesignSpec s = example_choices();
  EXPECT_EQ(faults(with_table(s, flat_table(0.0, 27.0))), std::vector<Fault>{});
  EXPECT_EQ(faults(with_table(s, flat_table(0.0, 26.5))), std::vector<Fault>{Fault::table_short});
  s.geometry.sub_radius = 0.5 * std::tan(26.5 * design::Constants<double>::deg);
  EXPECT_EQ(faults(with_table(s, flat_table(0.0, 26.5))), std::vector<Fault>{});
  s.geometry.sub_radius = 0.25;
  EXPECT_EQ(faults(with_table(s, flat_table(0.5, 60.0))), std::vector<Fault>{Fault::table_not_from_axis});
  EXPECT_EQ(faults(with_table(s, flat_table(0.0, 1.0))), std::vector<Fault>{Fault::table_unusable});
  EXPECT_EQ(faults(with_table(s, nullptr)), std::vector<Fault>{Fault::table_unusable});
  // No power at the rim: a table that is 0 from 20 degrees on.
  FeedTable dark = *flat_table(0.0, 60.0);
  for (std::size_t i = 0; i < dark.theta_deg.size(); ++i) {
    if (dark.theta_deg[i] >= 20.0) dark.power[i] = 0.0;
  }
  EXPECT_EQ(faults(with_table(s, std::make_shared<const FeedTable>(dark))),
            std::vector<Fault>{Fault::no_power_at_rim});
}

TEST(FeedModels, AGaussianFeedNeedsATaperAndAnAngle) {
  using Fault = design::Problem::Fault;
  for (auto precision : {design::Precision::single, design::Precision::double_}) {
    DesignSpec s = example_choices();
    s.precision = precision;
    s.feed.model = FeedModelKind::gaussian;
    s.feed.taper_db = 10.0;
    s.feed.taper_angle_deg = 20.0;
    EXPECT_EQ(faults(s), std::vector<Fault>{});
    s.feed.taper_db = 0.0;
    EXPECT_EQ(faults(s), std::vector<Fault>{Fault::taper_zero});
    s.feed.taper_db = 10.0;
    s.feed.taper_angle_deg = 0.0;
    EXPECT_EQ(faults(s), std::vector<Fault>{Fault::zero});
    s.feed.taper_angle_deg = -1.0;
    EXPECT_EQ(faults(s), std::vector<Fault>{Fault::negative});
    // So narrow that no power reaches the rim in either precision.
    s.feed.taper_angle_deg = 0.1;
    EXPECT_EQ(faults(s), std::vector<Fault>{Fault::no_power_at_rim});
  }
}

TEST(FeedModels, AGaussianFeedsDesignConservesPowerInBothPrecisions) {
  DesignSpec s = example_choices();
  s.feed.model = FeedModelKind::gaussian;
  s.feed.taper_db = 10.0;
  s.feed.taper_angle_deg = 20.0;
  s.synthesis = {1e-3, 0.02};
  const design::Design<double> d = design::make_design<double>(s);
  const std::vector<design::Ray<double>> rays = rays_of(s);
  // Uniform aperture: the feed power inside each ray's angle falls with r^2.
  // At the vertex (r = 1) the feed angle goes as sqrt(1 - r), so fixed steps
  // in r leave an error of the order of the step there: the last ray is
  // held to that.
  const auto share = [&](const design::Ray<double>& ray) {
    return d.feed_model.enclosed_power_double(ray.feed_angle_deg * design::Constants<double>::deg) / d.feed_power;
  };
  for (std::size_t i = 0; i + 1 < rays.size(); ++i)
    EXPECT_NEAR(share(rays[i]), (1.0 - rays[i].main_r * rays[i].main_r) / (1.0 - 0.12 * 0.12), 1e-6);
  EXPECT_NEAR(rays.back().main_r, 1.0, 1e-12);
  EXPECT_LT(share(rays.back()), 3e-5);
  s.precision = design::Precision::single;
  const design::RayTable<float> single = design::synthesize(design::make_design<float>(s));
  ASSERT_EQ(single.rays.size(), rays.size());
  for (std::size_t i = 0; i + 1 < rays.size(); ++i) {
    EXPECT_NEAR(single.rays[i].sub_z, rays[i].sub_z, 2e-5);
    EXPECT_NEAR(single.rays[i].main_z, rays[i].main_z, 2e-5);
  }
}

}  // namespace
