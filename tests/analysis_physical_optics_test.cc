// Physical optics on shapes with known answers: a front-fed paraboloid
// against aperture integration and the power balance, the subreflector's
// near field against its far field, and the sampling's convergence.
#include <gtest/gtest.h>

#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <boost/math/special_functions/bessel.hpp>
#include <array>
#include <cmath>

#include "analysis/aperture.h"
#include "analysis/physical_optics.h"
#include "design/feed.h"

namespace {

using analysis::po::Complex;

// z = f - r^2 / (4 f): focus at the origin, opening towards -z, so that a
// feed at the origin looking along +z lights it and the beam leaves along -z.
class Paraboloid final : public analysis::Surface {
 public:
  Paraboloid(double focal, double rim) : f_(focal), rim_(rim) {}
  double value(double r) const override { return f_ - r * r / (4 * f_); }
  double slope(double r) const override { return -r / (2 * f_); }
  double front() const override { return 0; }
  double back() const override { return rim_; }

 private:
  double f_, rim_;
};

double exponent_for(double half_angle, double level_db) {
  return std::log(std::pow(10.0, level_db / 10.0)) / (2.0 * std::log(std::cos(half_angle / 2)));
}

analysis::po::Feed beamwidth_feed(double n) {
  analysis::po::Feed f;
  f.e_plane = f.h_plane = [n](double t) { return std::sqrt(design::BeamwidthFeed<double>::pattern_of(t, n)); };
  return f;
}

// A paraboloid of diameter 2 (radius 1), f/D 0.4, with a feed 10 dB down at
// the rim; wavelength from D/lambda.
struct FrontFed {
  double focal = 0.8, radius = 1.0;
  double rim_angle = 2 * std::atan(radius / (2 * focal));
  double n = exponent_for(rim_angle, -10.0);
  Paraboloid dish{focal, radius};

  analysis::po::System system(double d_over_lambda) const {
    analysis::po::System s;
    s.feed = beamwidth_feed(n);
    s.main = {&dish, 0.0, radius, true};
    s.wavelength = 2 * radius / d_over_lambda;
    s.beam_along_minus_z = true;
    return s;
  }

  // Aperture integration: the feed's amplitude over the path to the aperture
  // plane, integrated over the disc, times the feed's spillover.
  double directivity_dbi(double d_over_lambda) const {
    const auto amplitude = [&](double rho) {
      const double t = 2 * std::atan(rho / (2 * focal));
      return std::sqrt(design::BeamwidthFeed<double>::pattern_of(t, n)) * (1 + std::cos(t)) / (2 * focal);
    };
    const auto integral = [](auto f) {
      return boost::math::quadrature::gauss_kronrod<double, 61>::integrate(f, 0.0, 1.0, 15, 1e-13);
    };
    const double s1 = integral([&](double x) { return amplitude(x) * x; });
    const double s2 = integral([&](double x) { return amplitude(x) * amplitude(x) * x; });
    const double spill = 1 - std::pow(std::cos(rim_angle / 2), 2 * n + 2);
    const double ka = M_PI * d_over_lambda;
    return 10 * std::log10(2 * s1 * s1 / s2 * spill * ka * ka);
  }

  double first_sidelobe_db(double d_over_lambda) const {
    const auto field = [&](double rho) {
      const double t = 2 * std::atan(rho / (2 * focal));
      return Complex(std::sqrt(design::BeamwidthFeed<double>::pattern_of(t, n)) * (1 + std::cos(t)) / (2 * focal));
    };
    return analysis::far_field(field, {{0.0, 1.0}}, d_over_lambda).first_sidelobe_db;
  }
};

TEST(PhysicalOpticsParaboloid, MatchesApertureIntegrationMoreCloselyAsItGrows) {
  const FrontFed p;
  double previous = 1e9;
  for (double dl : {50.0, 200.0}) {
    const analysis::po::Result r = analysis::po::analyse(p.system(dl), {});
    const double expected = p.directivity_dbi(dl);
    const double diff = std::abs(r.directivity_dbi - expected);
    std::printf("D/l %g: PO %.4f dBi, aperture %.4f dBi, sidelobe PO %.3f vs %.3f dB, nodes %d\n", dl,
                r.directivity_dbi, expected, r.first_sidelobe_db, p.first_sidelobe_db(dl), r.main_nodes);
    EXPECT_LT(diff, 0.1) << "D/lambda " << dl;
    EXPECT_LE(diff, previous + 1e-9) << "D/lambda " << dl;
    previous = diff;
    EXPECT_NEAR(r.cuts[0].first_sidelobe_db, p.first_sidelobe_db(dl), 0.5) << "D/lambda " << dl;
    EXPECT_NEAR(r.spillover_past_main, std::pow(std::cos(p.rim_angle / 2), 2 * p.n + 2), 1e-9);
    // A feed with equal planes in a paraboloid: no cross-polarisation but
    // what the rim diffracts.
    EXPECT_LT(r.cross_polar_peak_db, -40.0);
  }
}

TEST(PhysicalOpticsParaboloid, PowerOverTheSphereIsTheFeedsPower) {
  const FrontFed p;
  analysis::po::Options o;
  o.sphere_power = true;
  const analysis::po::Result r = analysis::po::analyse(p.system(50.0), o);
  ASSERT_TRUE(r.sphere_power_share.has_value());
  std::printf("sphere share %.5f, D %.4f vs %.4f\n", *r.sphere_power_share, *r.sphere_directivity_dbi, r.directivity_dbi);
  EXPECT_NEAR(*r.sphere_power_share, 1.0, 0.01);
  EXPECT_NEAR(*r.sphere_directivity_dbi, r.directivity_dbi, 0.05);
}

}  // namespace

namespace {

// A convex subreflector 10 wavelengths across in front of the feed: its currents' field far away, by the radiation integral with
// every near-field term, is their far field.
TEST(PhysicalOpticsNearField, FarAwayItIsTheFarField) {
  class Shifted final : public analysis::Surface {
   public:
    double value(double r) const override { return 1.0 + r * r / 2.4; }
    double slope(double r) const override { return r / 1.2; }
    double front() const override { return 0; }
    double back() const override { return 0.25; }
  } profile;
  const double wavelength = 0.05, k = 2 * M_PI / wavelength;
  const analysis::po::Feed feed = beamwidth_feed(exponent_for(0.5, -12.0));
  const analysis::po::Reflector reflector{&profile, 0.0, 0.25, true};
  const std::vector<double> theta{0.3, 1.2, 2.0, 2.8, 3.1};
  const double distance = 1e7 * wavelength;
  std::vector<std::pair<double, double>> points;
  for (double t : theta) points.emplace_back(distance * std::sin(t), distance * std::cos(t));
  const auto near = analysis::po::reflector_near_field(feed, reflector, wavelength, {}, points);
  const auto far = analysis::po::reflector_far_field(feed, reflector, wavelength, {}, theta);
  double peak = 0;
  for (const Complex& a : far.a) peak = std::max(peak, std::abs(a));
  for (std::size_t i = 0; i < theta.size(); ++i) {
    const double ct = std::cos(theta[i]), st = std::sin(theta[i]);
    const Complex to_far = distance * std::polar(1.0, k * distance);
    const Complex e_theta = to_far * (near[i].e_rho * ct - near[i].e_z * st);
    const Complex h_phi = to_far * near[i].h_phi;
    const Complex minus_e_phi = -to_far * near[i].e_phi;
    const Complex h_theta = to_far * (near[i].h_rho * ct - near[i].h_z * st);
    // The far-field approximation's own phase error is k |r'|^2 / 2R, about 1e-4 here.
    const double tol = 1e-3 * peak;
    EXPECT_LT(std::abs(e_theta - far.a[i]), tol) << theta[i];
    EXPECT_LT(std::abs(h_phi - far.a[i]), tol) << theta[i];
    EXPECT_LT(std::abs(minus_e_phi - far.b[i]), tol) << theta[i];
    EXPECT_LT(std::abs(h_theta - far.b[i]), tol) << theta[i];
    // Radially the far field has nothing.
    EXPECT_LT(std::abs(to_far * (near[i].e_rho * st + near[i].e_z * ct)), tol) << theta[i];
  }
}

}  // namespace

namespace {

// Close to the subreflector (a few wavelengths) the field of its currents,
// azimuthal modes and all, is the plain surface integral of the radiation
// formula in Cartesian components over the whole surface.
TEST(PhysicalOpticsNearField, CloseByItIsTheWholeSurfaceIntegral) {
  class Cap final : public analysis::Surface {
   public:
    double value(double r) const override { return 1.0 + r * r / 2.4; }
    double slope(double r) const override { return r / 1.2; }
    double front() const override { return 0; }
    double back() const override { return 0.25; }
  } profile;
  const double wavelength = 0.05, k = 2 * M_PI / wavelength;
  const double n = exponent_for(0.5, -12.0);
  const analysis::po::Feed feed = beamwidth_feed(n);
  const analysis::po::Reflector reflector{&profile, 0.0, 0.25, true};
  const std::vector<std::pair<double, double>> points{{0.1, 0.85}, {0.3, 0.9}, {0.0, 0.7}, {0.5, 1.2}};
  const auto fast = analysis::po::reflector_near_field(feed, reflector, wavelength, {}, points);

  using V = std::array<Complex, 3>;
  const auto cross = [](const auto& a, const auto& b) {
    return V{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
  };
  const int radial = 200, azimuthal = 480;
  for (std::size_t p = 0; p < points.size(); ++p) {
    // E and H at (x, y, z) = (rho, 0, z) and (0, rho, z).
    std::array<V, 2> e{}, h{};
    for (int i = 0; i < radial; ++i) {
      const double r = (i + 0.5) * 0.25 / radial, z = profile.value(r), s = profile.slope(r);
      const double norm = std::sqrt(1 + s * s), da = 0.25 / radial * r * norm * 2 * M_PI / azimuthal;
      const double dist = std::hypot(r, z), theta = std::atan2(r, z);
      const double amp = std::sqrt(design::BeamwidthFeed<double>::pattern_of(theta, n));
      const Complex g = std::polar(1.0 / dist, -k * dist);
      for (int m = 0; m < azimuthal; ++m) {
        const double phi = 2 * M_PI * m / azimuthal, c = std::cos(phi), sn = std::sin(phi);
        const std::array<double, 3> at{r * c, r * sn, z};
        const std::array<double, 3> normal{s * c / norm, s * sn / norm, -1 / norm};
        const std::array<double, 3> th{std::cos(theta) * c, std::cos(theta) * sn, -std::sin(theta)}, ph{-sn, c, 0};
        V hin;
        for (int q = 0; q < 3; ++q) hin[q] = g * (amp * c * ph[q] + amp * sn * th[q]);
        V j = cross(std::array<Complex, 3>{normal[0], normal[1], normal[2]}, hin);
        for (Complex& x : j) x *= 2.0;
        for (int which = 0; which < 2; ++which) {
          const double px = which == 0 ? points[p].first : 0.0, py = which == 0 ? 0.0 : points[p].first;
          const std::array<double, 3> rv{px - at[0], py - at[1], points[p].second - at[2]};
          const double d = std::sqrt(rv[0] * rv[0] + rv[1] * rv[1] + rv[2] * rv[2]);
          const std::array<double, 3> u{rv[0] / d, rv[1] / d, rv[2] / d};
          const Complex green = std::polar(da / (4 * M_PI * d), -k * d), f = 1.0 / (Complex(0, 1) * k * d);
          const Complex uj = u[0] * j[0] + u[1] * j[1] + u[2] * j[2];
          const V jxu = cross(j, std::array<Complex, 3>{u[0], u[1], u[2]});
          for (int q = 0; q < 3; ++q) {
            e[which][q] += Complex(0, -k) * green * (j[q] * (1.0 + f + f * f) - u[q] * uj * (1.0 + 3.0 * f + 3.0 * f * f));
            h[which][q] += green * (Complex(0, k) + 1.0 / d) * jxu[q];
          }
        }
      }
    }
    double scale = 0;
    for (int which = 0; which < 2; ++which)
      for (int q = 0; q < 3; ++q) scale = std::max({scale, std::abs(e[which][q]), std::abs(h[which][q])});
    const double tol = 2e-3 * scale;
    SCOPED_TRACE("point " + std::to_string(p));
    EXPECT_LT(std::abs(fast[p].e_rho - e[0][0]), tol);
    EXPECT_LT(std::abs(fast[p].e_z - e[0][2]), tol);
    EXPECT_LT(std::abs(fast[p].h_phi - h[0][1]), tol);
    EXPECT_LT(std::abs(fast[p].e_phi + e[1][0]), tol);
    EXPECT_LT(std::abs(fast[p].h_rho - h[1][1]), tol);
    EXPECT_LT(std::abs(fast[p].h_z - h[1][2]), tol);
    // The components the azimuthal form leaves out are absent.
    EXPECT_LT(std::abs(e[0][1]) + std::abs(h[0][0]) + std::abs(h[0][2]), tol);
  }
}

}  // namespace

namespace {

// The conics of a Cassegrain system, as surfaces of revolution about the
// feed's axis.
// Hyperboloid with foci at the feed (z = 0) and at z = 2 c, eccentricity e.
class Hyperboloid final : public analysis::Surface {
 public:
  Hyperboloid(double c, double e) : c_(c), a_(c / e), b2_(c * c - a_ * a_) {}
  double value(double r) const override { return c_ + a_ * std::sqrt(1 + r * r / b2_); }
  double slope(double r) const override { return a_ * r / (b2_ * std::sqrt(1 + r * r / b2_)); }
  double front() const override { return 0; }
  double back() const override { return 1; }

 private:
  double c_, a_, b2_;
};
// Paraboloid with its focus at z = focus_z and focal length f, opening
// towards +z.
class Dish final : public analysis::Surface {
 public:
  Dish(double focus_z, double f) : z0_(focus_z - f), f_(f) {}
  double value(double r) const override { return z0_ + r * r / (4 * f_); }
  double slope(double r) const override { return r / (2 * f_); }
  double front() const override { return 0; }
  double back() const override { return 3; }

 private:
  double z0_, f_;
};

// A Cassegrain system whose main reflector is too small for its
// subreflector: the feed's rays from angle theta leave the hyperboloid as if
// from its far focus at the angle psi with tan(psi / 2) = M tan(theta / 2),
// M = (e + 1) / (e - 1), and land on the paraboloid about that focus at the
// radius 2 f tan(psi / 2).  The power past the main reflector is then, as
// the rays carry it, the feed's power between the main reflector's rim ray
// and the subreflector's rim: the difference of the enclosed shares
// 1 - cos(theta / 2)^(2n + 2).  Physical optics adds only what the
// subreflector's edge diffracts across the rim.
TEST(PhysicalOpticsCassegrain, PowerPastAnUndersizedMainReflectorIsWhatTheRaysCarryPastIt) {
  const double c = 1.0, e = 2.0, f = 2.0, magnification = (e + 1) / (e - 1);
  const Hyperboloid sub(c, e);
  const Dish dish(2 * c, f);
  const double sub_angle = 20.0 * M_PI / 180, main_angle = 14.0 * M_PI / 180;
  const double n = exponent_for(sub_angle, -10.0);
  // The subreflector's rim where the feed sees it at sub_angle (the polar
  // form of the hyperbola about the feed), and the main reflector's rim
  // where the ray leaving the feed at main_angle lands.
  const double a = c / e, to_rim = a * (e * e - 1) / (e * std::cos(sub_angle) - 1);
  const double sub_rim = to_rim * std::sin(sub_angle);
  const double main_rim = 2 * f * magnification * std::tan(main_angle / 2);

  analysis::po::System s;
  s.feed = beamwidth_feed(n);
  s.sub = analysis::po::Reflector{&sub, 0.0, sub_rim, true};
  s.main = analysis::po::Reflector{&dish, 0.0, main_rim, false};
  s.wavelength = 2 * main_rim / 60;
  const analysis::po::Result r = analysis::po::analyse(s, {});
  const auto beyond = [n](double t) { return std::pow(std::cos(t / 2), 2 * n + 2); };
  std::printf("past sub %.6f (%.6f), past main %.6f (rays %.6f)\n", r.spillover_past_sub, beyond(sub_angle),
              r.spillover_past_main, beyond(main_angle) - beyond(sub_angle));
  EXPECT_NEAR(r.spillover_past_sub, beyond(sub_angle), 1e-9);
  EXPECT_NEAR(r.spillover_past_main, beyond(main_angle) - beyond(sub_angle), 0.006);
}

}  // namespace

namespace {

// The largest relative difference of two sets of ring moments, each kernel
// against its own largest moment.
double moments_difference(const analysis::po::RingMoments& a, const analysis::po::RingMoments& b) {
  const auto worst = [](const Complex* x, const Complex* y, int n) {
    double scale = 0, diff = 0;
    for (int q = 0; q < n; ++q) scale = std::max(scale, std::abs(x[q])), diff = std::max(diff, std::abs(x[q] - y[q]));
    return diff / scale;
  };
  return std::max({worst(a.k1, b.k1, 3), worst(a.k2, b.k2, 4), worst(a.k3, b.k3, 4)});
}

// The azimuthal integrals as the analysis does them (steepest descent where
// the ring is many wavelengths away in both senses, the trapezoid elsewhere)
// against the trapezoid alone with three times the nodes and many more:
// small and large bandwidths k r rs / R, points beside, above and far from
// the ring, and points a fraction of a wavelength from it.
TEST(PhysicalOpticsAzimuth, RingIntegralsMatchAFineTrapezoid) {
  analysis::po::Sampling reference;
  reference.descent_nodes = 0;
  reference.factor = 3.0;
  reference.extra = 200.0;
  int descent = 0, trapezoid = 0;
  for (double rs : {0.3, 1.0, 4.0, 15.0, 40.0})
    for (double r : {0.5, 2.0, 12.0, 60.0, 150.0})
      for (double dz : {0.0, 0.25, 1.0, 6.0, 35.0, 120.0}) {
        if (dz == 0.0 && std::abs(r - rs) < 0.2) continue;  // on the ring itself
        const auto fast = analysis::po::ring_moments(r, rs, dz, 1.0, {});
        const auto fine = analysis::po::ring_moments(r, rs, dz, 1.0, reference);
        (fast.nodes <= 12 ? descent : trapezoid) += 1;
        EXPECT_LT(moments_difference(fast, fine), 1e-6) << "rs " << rs << " r " << r << " dz " << dz;
      }
  // Both ways are exercised.
  EXPECT_GT(descent, 40);
  EXPECT_GT(trapezoid, 20);
  // A quarter wavelength from a ring 15 wavelengths across, and half a
  // wavelength beside one of 40.
  for (const auto& [r, rs, dz] : {std::array<double, 3>{15.0, 15.0, 0.25}, {40.5, 40.0, 0.0}, {7.0, 7.2, 0.1}}) {
    const auto fast = analysis::po::ring_moments(r, rs, dz, 1.0, {});
    const auto fine = analysis::po::ring_moments(r, rs, dz, 1.0, reference);
    EXPECT_LT(moments_difference(fast, fine), 1e-8) << "rs " << rs << " r " << r << " dz " << dz;
  }
}

// A subreflector 40 wavelengths across lit by the feed, its field at points
// where a main reflector would be: by steepest descent as analysed, and by
// the trapezoid alone with twice the nodes.  Both along the same profile
// nodes, so that they differ only by the azimuthal integrals.
TEST(PhysicalOpticsAzimuth, SubreflectorFieldOnTheMainReflectorMatchesTheTrapezoid) {
  class Cap final : public analysis::Surface {
   public:
    double value(double r) const override { return 4.0 + r * r / 12.0; }
    double slope(double r) const override { return r / 6.0; }
    double front() const override { return 0; }
    double back() const override { return 1.0; }
  } profile;
  const double wavelength = 0.05;
  const analysis::po::Feed feed = beamwidth_feed(exponent_for(0.25, -12.0));
  const analysis::po::Reflector reflector{&profile, 0.0, 1.0, true};
  const std::vector<std::pair<double, double>> points{{0.3, 0.2}, {1.5, 0.5}, {3.0, 1.1}, {5.0, 2.0}, {0.0, 1.0}};
  analysis::po::Sampling trapezoid;
  trapezoid.descent_nodes = 0;
  trapezoid.extra = 40.0;
  trapezoid.extra_cbrt = 12.0;
  const auto fast = analysis::po::reflector_near_field(feed, reflector, wavelength, {}, points);
  const auto fine = analysis::po::reflector_near_field(feed, reflector, wavelength, trapezoid, points);
  for (std::size_t p = 0; p < points.size(); ++p) {
    const Complex a[] = {fast[p].e_rho, fast[p].e_phi, fast[p].e_z, fast[p].h_rho, fast[p].h_phi, fast[p].h_z};
    const Complex b[] = {fine[p].e_rho, fine[p].e_phi, fine[p].e_z, fine[p].h_rho, fine[p].h_phi, fine[p].h_z};
    double scale = 0;
    for (const Complex& x : b) scale = std::max(scale, std::abs(x));
    ASSERT_GT(scale, 0.0);
    for (int q = 0; q < 6; ++q) EXPECT_LT(std::abs(a[q] - b[q]), 1e-7 * scale) << "point " << p << " component " << q;
  }
}

}  // namespace

namespace {

// The far fields' J0 and J1 (rational approximations near the origin,
// Hankel's expansions far out) against the library's general Bessel
// routine, across the switch and out to the arguments of D/lambda 3000.
TEST(PhysicalOpticsBessel, MatchesTheGeneralRoutine) {
  double worst = 0;
  for (double u = 0.0; u < 1e5; u = u * 1.003 + 0.01) {
    double j0 = 0, j1 = 0;
    analysis::po::bessel_j0_j1(u, j0, j1);
    const long double x = u;
    const double envelope = std::min(1.0, std::sqrt(2.0 / (M_PI * std::max(u, 1e-300))));
    worst = std::max(worst, std::abs(j0 - static_cast<double>(boost::math::cyl_bessel_j(0, x))) / envelope);
    worst = std::max(worst, std::abs(j1 - static_cast<double>(boost::math::cyl_bessel_j(1, x))) / envelope);
  }
  EXPECT_LT(worst, 1e-13);
}

}  // namespace

namespace {

// The far field (A = E_theta at phi 0, B = -E_phi at phi 90, as r e^{jkr} E)
// of the physical-optics currents a feed at the origin induces on a
// reflector, by the surface integral in three dimensions: Gauss-Legendre
// along the profile, the trapezoidal rule around the axis, the currents
// 2 n x H of the feed's field at each point, nothing of the rings and
// Bessel functions of the program's own sums.
struct Brute {
  std::vector<Complex> a, b;
};
Brute surface_integral(const analysis::po::Feed& feed, const analysis::Surface& p, double r0, double r1, bool lit_from_below,
                       double wavelength, const std::vector<double>& theta) {
  using V = std::array<Complex, 3>;
  const double k = 2 * M_PI / wavelength;
  const auto cross = [](const V& u, const V& v) {
    return V{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
  };
  const int panels = static_cast<int>(std::ceil(2.0 * (r1 - r0) / wavelength)) + 4;
  const int azimuth = static_cast<int>(2 * k * r1) + 64;
  static const double gx[] = {-0.9602898564975363, -0.7966664774136267, -0.5255324099163290, -0.1834346424956498,
                              0.1834346424956498,  0.5255324099163290,  0.7966664774136267,  0.9602898564975363};
  static const double gw[] = {0.1012285362903763, 0.2223810344533745, 0.3137066458778873, 0.3626837833783620,
                              0.3626837833783620, 0.3137066458778873, 0.2223810344533745, 0.1012285362903763};
  Brute out;
  out.a.assign(theta.size(), Complex()), out.b.assign(theta.size(), Complex());
  for (int pn = 0; pn < panels; ++pn) {
    const double lo = r0 + (r1 - r0) * pn / panels, hi = r0 + (r1 - r0) * (pn + 1) / panels;
    for (int q = 0; q < 8; ++q) {
      const double rho = 0.5 * (lo + hi) + 0.5 * (hi - lo) * gx[q], z = p.value(rho), sl = p.slope(rho);
      const double norm = std::sqrt(1 + sl * sl);
      const double area = 0.5 * (hi - lo) * gw[q] * rho * norm * (2 * M_PI / azimuth);
      for (int m = 0; m < azimuth; ++m) {
        const double phi = 2 * M_PI * m / azimuth, cp = std::cos(phi), sp = std::sin(phi);
        const double x = rho * cp, y = rho * sp, dist = std::sqrt(rho * rho + z * z);
        const double t = std::acos(z / dist), ct = std::cos(t), st = std::sin(t);
        const Complex g = std::polar(1.0 / dist, -k * dist);
        const Complex et = feed.e_plane(t) * cp * g, ep = -feed.h_plane(t) * sp * g;
        const V e{et * ct * cp - ep * sp, et * ct * sp + ep * cp, -et * st};
        const V rhat{x / dist, y / dist, z / dist};
        const V h = cross(rhat, e);
        const double s = lit_from_below ? 1.0 : -1.0;
        const V n{s * sl * cp / norm, s * sl * sp / norm, -s / norm};
        const V j = cross(n, h);
        for (std::size_t i = 0; i < theta.size(); ++i) {
          const double c = std::cos(theta[i]), sn = std::sin(theta[i]);
          // phi = 0: direction (sin, 0, cos); phi = 90: (0, sin, cos).
          const Complex pa = std::polar(area, k * (x * sn + z * c)), pb = std::polar(area, k * (y * sn + z * c));
          out.a[i] += 2.0 * (j[0] * c - j[2] * sn) * pa;
          out.b[i] += 2.0 * j[0] * pb;
        }
      }
    }
  }
  const Complex factor(0.0, -k / (4 * M_PI));
  for (std::size_t i = 0; i < theta.size(); ++i) out.a[i] *= factor, out.b[i] *= factor;
  return out;
}

// The cuts run from the beam axis to 180 degrees in every plane, their
// stretches cover the angles in order, and far out, where the reflector
// cannot reach and behind it, the pattern is the feed's own field plus the
// currents' field summed over the surface independently.
TEST(PhysicalOpticsWholePattern, FarOutItIsTheFeedPlusTheSurfaceIntegral) {
  const FrontFed p;
  const double dl = 20.0;
  const analysis::po::System s = p.system(dl);
  const analysis::po::Result r = analysis::po::analyse(s, {});
  ASSERT_EQ(r.cuts.size(), 3u);
  EXPECT_DOUBLE_EQ(r.theta_deg.front(), 0.0);
  EXPECT_DOUBLE_EQ(r.theta_deg.back(), 180.0);
  std::size_t next = 0;
  for (const analysis::po::Stretch& st : r.stretches) {
    EXPECT_EQ(st.first, next);
    for (std::size_t j = 0; j < st.count; ++j)
      EXPECT_NEAR(r.theta_deg[st.first + j], st.first_deg + static_cast<double>(j) * st.step_deg, 1e-9);
    next += st.count;
  }
  EXPECT_EQ(next, r.theta_deg.size());
  for (std::size_t i = 1; i < r.theta_deg.size(); ++i) ASSERT_GT(r.theta_deg[i], r.theta_deg[i - 1]);
  for (const analysis::po::Cut& c : r.cuts) {
    ASSERT_EQ(c.co.size(), r.theta_deg.size());
    for (std::size_t i = 0; i < c.co.size(); ++i) ASSERT_TRUE(std::isfinite(std::norm(c.co[i]) + std::norm(c.cross[i])));
  }

  // Angles off the beam from 30 degrees (well past the main beam) to 180.
  std::vector<double> alpha_deg, theta;
  for (std::size_t i = 0; i < r.theta_deg.size(); i += 5)
    if (r.theta_deg[i] >= 30.0) alpha_deg.push_back(r.theta_deg[i]), theta.push_back(M_PI - r.theta_deg[i] * M_PI / 180);
  const Brute b = surface_integral(s.feed, p.dish, 0.0, p.radius, true, s.wavelength, theta);
  const double scale = std::sqrt(2 * M_PI / r.feed_power), peak = std::abs(r.cuts[0].co[0]);
  double worst = 0;
  std::size_t where_feed_dominates = 0;
  for (std::size_t i = 0, at = 0; i < r.theta_deg.size(); i += 5) {
    if (r.theta_deg[i] < 30.0) continue;
    const double t = theta[at];
    // The feed's own far field (at the origin, no phase) plus the currents';
    // B with the sign the beam along -z gives it.
    const Complex a = scale * (s.feed.e_plane(t) + b.a[at]), bb = -scale * (s.feed.h_plane(t) + b.b[at]);
    worst = std::max({worst, std::abs(r.cuts[0].co[i] - a) / peak, std::abs(r.cuts[2].co[i] - bb) / peak});
    if (std::abs(scale * s.feed.e_plane(t)) > 3 * std::abs(scale * b.a[at])) ++where_feed_dominates;
    ++at;
  }
  std::printf("whole pattern at %zu angles: largest difference %.3g of the peak field, feed dominant at %zu\n",
              alpha_deg.size(), worst, where_feed_dominates);
  EXPECT_LT(worst, 1e-5);  // 100 dB below the peak field
  EXPECT_GE(where_feed_dominates, 5u);  // the test reaches where only the feed radiates
}

// The first sidelobe refined between the samples is the largest of the
// pattern sampled fifty times more densely around it.
TEST(PhysicalOpticsWholePattern, RefinedSidelobeIsTheMaximumOfADenseSampling) {
  const FrontFed p;
  const analysis::po::System s = p.system(50.0);
  const analysis::po::Result r = analysis::po::analyse(s, {});
  const double step = r.theta_deg[1] - r.theta_deg[0];
  for (std::size_t k : {0u, 2u}) {
    const analysis::po::Cut& c = r.cuts[k];
    ASSERT_GT(c.sidelobes_found, 0);
    std::vector<double> theta{M_PI};  // the beam axis first
    for (int i = -100; i <= 100; ++i) theta.push_back(M_PI - (c.first_sidelobe_deg + i * step / 50) * M_PI / 180);
    const analysis::po::FarField f = analysis::po::reflector_far_field(s.feed, s.main, s.wavelength, {}, theta);
    const auto power = [&](std::size_t i) {
      const double t = theta[i];
      return k == 0 ? std::norm(s.feed.e_plane(t) + f.a[i]) : std::norm(s.feed.h_plane(t) + f.b[i]);
    };
    double most = 0;
    for (std::size_t i = 1; i < theta.size(); ++i) most = std::max(most, power(i));
    const double dense_db = 10 * std::log10(most / power(0));
    std::printf("plane %g: refined %.6f dB at %.6f deg, dense %.6f dB\n", c.phi_deg, c.first_sidelobe_db, c.first_sidelobe_deg,
                dense_db);
    EXPECT_NEAR(c.first_sidelobe_db, dense_db, 0.001);
    EXPECT_GE(c.first_sidelobe_db, dense_db - 1e-6);  // nothing sampled lies above the refined maximum
  }
}

}  // namespace

namespace {

// A Cassegrain system lit by a broad feed (6 dB down at the subreflector's
// rim, 5 dB at 75 degrees): much of its power passes the subreflector onto
// the main reflector directly.  Its field there is what changes the pattern
// when it is counted: the change is the far field of the currents the feed
// induces on the main reflector, by the independent surface integral.
TEST(PhysicalOpticsCassegrain, TheFeedLightsTheMainReflectorPastTheSubreflector) {
  const double c = 1.0, e = 2.0, angle = 20.0 * M_PI / 180;
  const Hyperboloid sub(c, e);
  const Dish dish(2.0, 2.0);  // focus at z = 2
  const double a = c / e, to_rim = a * (e * e - 1) / (e * std::cos(angle) - 1);
  const double main_rim = 2 * 2 * 3 * std::tan(angle / 2), hole = 0.3;
  analysis::po::System s;
  s.feed = beamwidth_feed(2.0);
  s.sub = analysis::po::Reflector{&sub, 0.0, to_rim * std::sin(angle), true};
  s.main = analysis::po::Reflector{&dish, hole, main_rim, false};
  s.wavelength = 2 * main_rim / 40;
  analysis::po::Options without;
  without.direct_feed_on_main = false;
  const analysis::po::Result with_it = analysis::po::analyse(s, {}), no = analysis::po::analyse(s, without);
  ASSERT_EQ(with_it.theta_deg, no.theta_deg);
  // The power intercepted and spilled is that of the subreflector's field alone.
  EXPECT_DOUBLE_EQ(with_it.spillover_past_main, no.spillover_past_main);

  std::vector<std::size_t> at;
  std::vector<double> theta;
  for (std::size_t i = 0; i < with_it.theta_deg.size(); i += 17) at.push_back(i), theta.push_back(with_it.theta_deg[i] * M_PI / 180);
  const Brute b = surface_integral(s.feed, dish, hole, main_rim, false, s.wavelength, theta);
  const double scale = std::sqrt(2 * M_PI / with_it.feed_power);
  double largest = 0, worst = 0, changed_db = 0;
  for (std::size_t m = 0; m < at.size(); ++m) largest = std::max({largest, std::abs(b.a[m]), std::abs(b.b[m])});
  for (std::size_t m = 0; m < at.size(); ++m) {
    const std::size_t i = at[m];
    const Complex da = (with_it.cuts[0].co[i] - no.cuts[0].co[i]) / scale, db = (with_it.cuts[2].co[i] - no.cuts[2].co[i]) / scale;
    worst = std::max({worst, std::abs(da - b.a[m]) / largest, std::abs(db - b.b[m]) / largest});
    if (std::norm(no.cuts[0].co[i]) > 0)
      changed_db = std::max(changed_db, std::abs(10 * std::log10(std::norm(with_it.cuts[0].co[i]) / std::norm(no.cuts[0].co[i]))));
  }
  std::printf("direct feed field: largest %.4g, worst difference %.3g of it; pattern changed by up to %.1f dB\n", largest,
              worst, changed_db);
  EXPECT_LT(worst, 2e-3);
  EXPECT_GT(changed_db, 3.0);  // it matters in the pattern
}

}  // namespace

namespace {

// The figures alone (as sweeps compute them) are the whole cuts' figures to
// the last bit, over the same finely sampled angles; a far field that is not
// a number beyond them is refused all the same.
TEST(PhysicalOpticsFiguresOnly, AreTheWholeCutsFiguresAndRefuseWhatTheyRefuse) {
  const FrontFed p;
  const analysis::po::System s = p.system(30.0);
  analysis::po::Options whole, figures;
  figures.figures_only = true;
  figures.sampling.threads = whole.sampling.threads = 1;
  const analysis::po::Result a = analysis::po::analyse(s, whole), b = analysis::po::analyse(s, figures);
  ASSERT_LT(b.theta_deg.size(), a.theta_deg.size() / 2);  // only the fine stretch
  ASSERT_EQ(b.fine_angles, a.fine_angles);
  ASSERT_EQ(b.theta_deg.size(), b.fine_angles);
  EXPECT_EQ(b.directivity_dbi, a.directivity_dbi);
  EXPECT_EQ(b.hpbw_deg, a.hpbw_deg);
  EXPECT_EQ(b.first_sidelobe_db, a.first_sidelobe_db);
  EXPECT_EQ(b.cross_polar_peak_db, a.cross_polar_peak_db);
  EXPECT_EQ(b.spillover_past_main, a.spillover_past_main);
  ASSERT_EQ(b.cuts.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(b.cuts[k].first_sidelobe_deg, a.cuts[k].first_sidelobe_deg) << k;
    EXPECT_EQ(b.cuts[k].sidelobes_found, a.cuts[k].sidelobes_found) << k;
    EXPECT_EQ(b.cuts[k].cross_peak_db, a.cuts[k].cross_peak_db) << k;
    EXPECT_EQ(b.cuts[k].co.size(), b.fine_angles) << k;
    for (std::size_t i = 0; i < b.fine_angles; i += 37) EXPECT_EQ(b.cuts[k].co[i], a.cuts[k].co[i]) << k << " " << i;
  }
  // A feed whose phase is no number between 75 and 85 degrees off +z: past
  // the dish's rim (so no current sees it), 95 to 105 degrees off the beam,
  // far beyond the fine stretch.  (Its power, which does not see the phase,
  // is a number.)
  analysis::po::System broken = s;
  broken.feed.e_phase = [](double t) { return t > 1.31 && t < 1.48 ? std::nan("") : 0.0; };
  EXPECT_THROW(analysis::po::analyse(broken, whole), std::invalid_argument);
  EXPECT_THROW(analysis::po::analyse(broken, figures), std::invalid_argument);
}

}  // namespace
