// The design report on reference designs: its figures against a calculation
// from the design inputs alone, and its verification telling a good design
// from a spoiled one.
#include <gtest/gtest.h>

#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <boost/math/special_functions/bessel.hpp>
#include <chrono>
#include <cmath>

#include "analysis_fixture.h"

namespace {

constexpr double kDeg = 180.0 / M_PI;

// What the design should achieve, computed from the wanted distribution and
// the geometry without any ray trace.
struct Expected {
  double spillover, illumination, blockage, total, directivity_dbi;
  double hpbw_deg, first_null_deg, first_sidelobe_db;
};

double integral(const std::function<double(double)>& f, double a, double b) {
  return boost::math::quadrature::gauss_kronrod<double, 61>::integrate(f, a, b, 12, 1e-12);
}

Expected expected(const analysis::DesignInput& in, double d_over_lambda) {
  const double a = 0.5 * in.main_diameter;
  const double h = in.hole_radius / a;
  const double b = *std::max_element(in.sub_r.begin(), in.sub_r.end()) / a;
  const auto amp = [&](double r) { return std::sqrt(in.wanted_density(r)); };
  Expected e{};
  e.spillover = 1.0 - std::pow(std::cos(in.sub_half_angle_rad / 2), 2 * in.feed_exponent + 2);
  const double s_annulus = integral([&](double r) { return amp(r) * r; }, h, 1.0);
  const double p_annulus = integral([&](double r) { return in.wanted_density(r) * r; }, h, 1.0);
  const double s_open = integral([&](double r) { return amp(r) * r; }, b, 1.0);
  e.illumination = 2.0 * s_annulus * s_annulus / p_annulus;
  e.blockage = (s_open / s_annulus) * (s_open / s_annulus);
  e.total = e.spillover * e.illumination * e.blockage;
  e.directivity_dbi = 10.0 * std::log10(e.total * std::pow(M_PI * d_over_lambda, 2));
  // Pattern of the unshadowed annulus, scanned finely in u = k a sin(theta).
  const auto power = [&](double u) {
    const double f = integral([&](double r) { return amp(r) * boost::math::cyl_bessel_j(0, u * r) * r; }, b, 1.0);
    return f * f;
  };
  const double peak = power(0.0), ka = M_PI * d_over_lambda;
  const auto angle = [&](double u) { return std::asin(u / ka) * kDeg; };
  double u = 0.0;
  const double du = 0.002;
  while (power(u) > 0.5 * peak) u += du;
  e.hpbw_deg = 2 * angle(u - du / 2);
  while (power(u + du) < power(u)) u += du;
  e.first_null_deg = angle(u);
  double best = 0;
  for (double p = power(u); p >= best; u += du, p = power(u)) best = p;
  e.first_sidelobe_db = 10.0 * std::log10(best / peak);
  return e;
}

void expect_report_matches(const analysis::Report& r, const Expected& e) {
  EXPECT_NEAR(r.efficiency.spillover, e.spillover, 1e-12);
  EXPECT_NEAR(r.efficiency.illumination, e.illumination, 0.01);
  EXPECT_NEAR(r.efficiency.blockage, e.blockage, 0.01);
  EXPECT_NEAR(r.efficiency.total, e.total, 0.01);
  EXPECT_NEAR(r.directivity_dbi, e.directivity_dbi, 0.06);
  EXPECT_NEAR(r.delivered.hpbw_deg / e.hpbw_deg, 1.0, 0.02);
  EXPECT_NEAR(r.delivered.first_null_deg / e.first_null_deg, 1.0, 0.02);
  EXPECT_NEAR(r.delivered.first_sidelobe_db, e.first_sidelobe_db, 0.5);
}

class Designs : public ::testing::TestWithParam<int> {};

test::Distribution distribution(int which) {
  switch (which) {
    case 0: return test::uniform();
    case 1: return test::gaussian(12.0);
    default: return test::taylor(25.0, 4);
  }
}

TEST_P(Designs, FiguresMatchTheDesignAndTheProfilesFocus) {
  const auto dist = distribution(GetParam());
  const auto in = test::design_input(dist, 401);
  analysis::Options o;
  o.wavelength = 1.0;  // D/lambda = 100
  const auto r = analysis::analyse(in, o);
  EXPECT_FALSE(r.wavelength_assumed);
  EXPECT_DOUBLE_EQ(r.d_over_lambda, 100.0);
  expect_report_matches(r, expected(in, 100.0));
  EXPECT_LT(r.path_error_pp_wavelengths, 0.02);
  EXPECT_GT(r.efficiency.phase, 0.9999);
  // Only a few rays next to the axis suffer from the spline's free end at
  // the subreflector's vertex.
  EXPECT_LT(r.rays_lost, r.rays_requested / 50);
  // The ideal pattern of the annulus lies below what the shadow leaves.
  EXPECT_LT(r.ideal.first_sidelobe_db, r.delivered.first_sidelobe_db);
  EXPECT_LE(r.ideal_disc_first_sidelobe_db, r.ideal.first_sidelobe_db + 0.1);
  ASSERT_EQ(r.delivered.level_db.size(), r.ideal.level_db.size());
  ASSERT_EQ(r.delivered.level_db.size(), r.unblocked.level_db.size());
}

INSTANTIATE_TEST_SUITE_P(UniformGaussianTaylor, Designs, ::testing::Values(0, 1, 2));

TEST(DesignReport, DeliveredDensityFollowsTheWantedOneAwayFromTheRim) {
  const auto in = test::design_input(test::taylor(25.0, 4), 401);
  const auto r = analysis::analyse(in, {});
  ASSERT_FALSE(r.density_rho.empty());
  double worst = 0;
  for (std::size_t i = 0; i < r.density_rho.size(); ++i)
    if (r.density_rho[i] > 0.15 && r.density_rho[i] < 0.97) worst = std::max(worst, std::abs(10 * std::log10(r.density_delivered[i] / r.density_wanted[i])));
  EXPECT_LT(worst, 0.05);
}

TEST(DesignReport, WavelengthNotGivenAssumesDOverLambda100) {
  const auto in = test::design_input(test::uniform(), 101);
  const auto r = analysis::analyse(in, {});
  EXPECT_TRUE(r.wavelength_assumed);
  EXPECT_DOUBLE_EQ(r.d_over_lambda, 100.0);
  EXPECT_DOUBLE_EQ(r.wavelength, 1.0);
  ASSERT_FALSE(r.notes.empty());
  EXPECT_NE(r.notes.front().find("D/\u03bb = 100"), std::string::npos);
}

// A wavelength in another unit than the diameter is refused at the ends of
// the range, where the figures would overflow or lose every digit; inside
// it every figure is a number, even where the beam no longer has its peak
// on the axis.
TEST(DesignReport, WavelengthOutsideTheWorkingRangeIsRefusedAtItsEnds) {
  const double lambda = std::ldexp(1.0, -20);
  for (const double d_over_lambda : {analysis::kMinDOverLambda, analysis::kMaxDOverLambda}) {
    const auto in = test::design_input(test::uniform(), 101, d_over_lambda * lambda);
    analysis::Options o;
    o.compare_written = false;
    o.wavelength = lambda;
    const analysis::Report r = analysis::analyse(in, o);
    EXPECT_DOUBLE_EQ(r.d_over_lambda, d_over_lambda);
    EXPECT_TRUE(std::isfinite(r.directivity_dbi));
    EXPECT_TRUE(std::isfinite(r.delivered.hpbw_deg) && std::isfinite(r.path_error_pp_wavelengths));
    // One step further out either way.
    o.wavelength = d_over_lambda < 1 ? std::nextafter(lambda, 1.0) : std::nextafter(lambda, 0.0);
    try {
      analysis::analyse(in, o);
      ADD_FAILURE() << "D/lambda just past " << d_over_lambda << " was accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find("D/lambda"), std::string::npos) << e.what();
    }
  }
}

TEST(DesignReport, SpoiledMainReflectorShowsInPathErrorAndPhaseEfficiency) {
  auto in = test::design_input(test::uniform(), 401);
  analysis::Options o;
  o.wavelength = 1.0;
  const auto good = analysis::analyse(in, o);
  // A smooth bump of half a wavelength on the main reflector around 60 % of the radius.
  for (std::size_t i = 0; i < in.main_r.size(); ++i) {
    const double x = (in.main_r[i] / 50.0 - 0.6) / 0.1;
    in.main_z[i] += 0.5 * o.wavelength * std::exp(-x * x);
  }
  const auto bad = analysis::analyse(in, o);
  // Reflection doubles the bump in the path; the rays cross it at a slant.
  EXPECT_GT(bad.path_error_pp_wavelengths, 0.8);
  EXPECT_LT(bad.path_error_pp_wavelengths, 1.1);
  EXPECT_LT(bad.efficiency.phase, 0.9);
  EXPECT_GT(bad.collimation_error_max_deg, 1.0);
  EXPECT_LT(bad.directivity_dbi, good.directivity_dbi - 0.4);
  bool says_so = false;
  for (const auto& note : bad.notes) says_so |= note.find("The path error is") == 0;
  EXPECT_TRUE(says_so);
}

TEST(DesignReport, SteadyDriftOfA32BitDesignIsNamed) {
  auto in = test::design_input(test::uniform(), 401);
  // Path error growing steadily along the integration, as rounding in
  // 32-bit reals accumulates: the main reflector sinks linearly with radius.
  for (std::size_t i = 0; i < in.main_r.size(); ++i) in.main_z[i] -= 0.05 * (in.main_r[i] - in.main_r[0]) / 44.0;
  analysis::Options o;
  o.wavelength = 1.0;
  in.double_precision = false;
  const auto single = analysis::analyse(in, o);
  EXPECT_GT(single.path_error_trend_share, 0.5);
  const auto named = [](const analysis::Report& r) {
    for (const auto& note : r.notes)
      if (note.find("32-bit") != std::string::npos && note.find("--double") != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(named(single));
  in.double_precision = true;
  EXPECT_FALSE(named(analysis::analyse(in, o)));
}

TEST(DesignReport, TruncatedSubreflectorLosesRaysAndSaysSo) {
  auto in = test::design_input(test::uniform(), 201);
  const std::size_t keep = in.sub_r.size() * 3 / 4;
  in.sub_r.resize(keep);
  in.sub_z.resize(keep);
  const auto r = analysis::analyse(in, {});
  EXPECT_GT(r.rays_lost, r.rays_requested / 10);
  EXPECT_EQ(r.rays_traced + r.rays_lost, r.rays_requested);
  EXPECT_NEAR(r.lost_theta_max_deg, in.sub_half_angle_rad * kDeg, 1e-9);
  bool says_so = false;
  for (const auto& note : r.notes) says_so |= note.find("missed a reflector") != std::string::npos;
  EXPECT_TRUE(says_so);
}

// 45 profile points, as the example run writes: the subreflector's first
// interval from the vertex spans 2.6 degrees of feed angle.
TEST(VertexRing, RaysInsideTheFirstSubreflectorIntervalAreReportedApart) {
  const auto in = test::design_input(test::uniform(), 45);
  analysis::Options o;
  o.wavelength = 1.0;
  const auto r = analysis::analyse(in, o);
  const auto& ring = r.vertex_ring;
  const double theta_v = std::atan2(in.sub_r[1], in.sub_z[1]);
  EXPECT_DOUBLE_EQ(ring.sub_radius, in.sub_r[1]);
  EXPECT_NEAR(ring.feed_angle_max_deg, theta_v * kDeg, 1e-12);
  const auto cone = [&](double t) { return 1.0 - std::pow(std::cos(t / 2), 2 * in.feed_exponent + 2); };
  EXPECT_NEAR(ring.power_share, cone(theta_v) / cone(in.sub_half_angle_rad), 1e-12);
  // The ring is the rays leaving the feed inside that angle, no others.
  int flagged = 0;
  double rest_direction = 0;
  for (std::size_t i = 0; i < r.ray_rho.size(); ++i) {
    if (std::abs(r.ray_theta_deg[i] - ring.feed_angle_max_deg) > 1e-9) {
      EXPECT_EQ(r.ray_in_vertex_ring[i], r.ray_theta_deg[i] < ring.feed_angle_max_deg) << r.ray_theta_deg[i];
    }
    if (r.ray_in_vertex_ring[i]) {
      ++flagged;
      continue;
    }
    rest_direction = std::max(rest_direction, std::abs(r.ray_direction_error_deg[i]));
  }
  EXPECT_EQ(ring.rays_traced, flagged);
  EXPECT_EQ(ring.rays, flagged + ring.rays_lost);
  EXPECT_GT(flagged, 200);
  // The figures are the other rays' and say the design focuses; the ring's
  // own rays stray by several times as much and are kept in view.
  // The figures over cones of equal power weigh the ring's rays by the power
  // they carry: they stay within the per-ray extremes of the other rays and
  // the ring, and the ring's own rays stray by several times as much.
  EXPECT_LE(r.collimation_error_max_deg, std::max(rest_direction, ring.collimation_error_max_deg));
  EXPECT_LT(r.path_error_pp_wavelengths, 0.01);
  EXPECT_GT(ring.collimation_error_max_deg, 2 * r.collimation_error_max_deg);
  EXPECT_GT(ring.path_error_max_abs_wavelengths, r.path_error_pp_wavelengths);
  EXPECT_LT(ring.landing_rho_min, 0.99);
  EXPECT_GE(ring.landing_rho_max, ring.landing_rho_min);
  EXPECT_GT(r.efficiency.phase, 0.99999);
  EXPECT_TRUE(ring.matters);
  bool says_so = false;
  for (const auto& note : r.notes) says_so |= note.find("first surface point") != std::string::npos;
  EXPECT_TRUE(says_so);
}

TEST(VertexRing, ASurfacePointNextToTheVertexShrinksIt) {
  auto radii = test::even_radii(test::Geometry{}.hole_radius, 45);
  analysis::Options o;
  o.wavelength = 1.0;
  const auto coarse = analysis::analyse(test::design_input_at(test::uniform(), radii), o);
  radii.insert(radii.end() - 1, 0.9995);
  const auto fine = analysis::analyse(test::design_input_at(test::uniform(), radii), o);
  EXPECT_LT(fine.vertex_ring.feed_angle_max_deg, 0.5 * coarse.vertex_ring.feed_angle_max_deg);
  EXPECT_LT(fine.vertex_ring.power_share, 0.25 * coarse.vertex_ring.power_share);
  EXPECT_LT(fine.path_error_pp_all_rays_wavelengths, 0.5 * coarse.path_error_pp_all_rays_wavelengths);
  EXPECT_LT(fine.path_error_pp_wavelengths, 0.01);
}

TEST(VertexRing, NoneWhenTheProfileDoesNotStartAtTheAxis) {
  auto in = test::design_input(test::uniform(), 201);
  in.sub_r.erase(in.sub_r.begin());
  in.sub_z.erase(in.sub_z.begin());
  const auto r = analysis::analyse(in, {});
  EXPECT_EQ(r.vertex_ring.rays, 0);
  EXPECT_FALSE(r.vertex_ring.matters);
  EXPECT_TRUE(std::isnan(r.vertex_ring.collimation_error_max_deg));
  EXPECT_EQ(r.path_error_pp_wavelengths, r.path_error_pp_all_rays_wavelengths);
  for (bool ringed : r.ray_in_vertex_ring) EXPECT_FALSE(ringed);
}

// The main reflector cut at 90 % of its radius: the rays meant for the outer
// tenth, the axial ray first, miss it and leave that part of the aperture
// without power.
TEST(DesignReport, AperturePartsWithoutPowerAreCountedNotGivenALevel) {
  auto in = test::design_input(test::uniform(), 201);
  while (in.main_r.back() > 0.9 * 50.0) in.main_r.pop_back(), in.main_z.pop_back();
  const auto r = analysis::analyse(in, {});
  EXPECT_GT(r.rays_lost, 0);
  EXPECT_EQ(r.lost_theta_min_deg, 0.0);
  EXPECT_EQ(r.vertex_ring.rays_lost, r.vertex_ring.rays);
  EXPECT_TRUE(std::isnan(r.vertex_ring.landing_rho_min));
  // About a tenth of the bins get nothing, and the power wanted beyond 90 %
  // of the radius, (1 - 0.9^2) / (1 - 0.12^2) of it, is lost; the annuli
  // there show it.
  EXPECT_NEAR(r.aperture_bins_without_power, 0.1 / 0.88 * static_cast<double>(r.density_rho.size()), 3.0);
  EXPECT_NEAR(r.aperture_error_rho_max, 0.9, 0.01);
  EXPECT_NEAR(r.lost_power_share, (1 - 0.81) / (1 - 0.0144), 0.01);
  EXPECT_GT(r.aperture_power_error_max_db, 3.0);
  bool says_so = false;
  for (const auto& note : r.notes) says_so |= note.find("receive no power") != std::string::npos;
  EXPECT_TRUE(says_so);
}

TEST(DesignReport, RefusesInputsItCannotUse) {
  const auto good = test::design_input(test::uniform(), 51);
  auto in = good;
  in.main_r[5] = in.main_r[4];
  EXPECT_THROW(analysis::analyse(in, {}), std::invalid_argument);
  in = good;
  in.sub_z[3] = std::nan("");
  EXPECT_THROW(analysis::analyse(in, {}), std::invalid_argument);
  in = good;
  in.wanted_density = nullptr;
  EXPECT_THROW(analysis::analyse(in, {}), std::invalid_argument);
  in = good;
  in.main_z.pop_back();
  EXPECT_THROW(analysis::analyse(in, {}), std::invalid_argument);
  analysis::Options o;
  o.wavelength = -1;
  EXPECT_THROW(analysis::analyse(good, o), std::invalid_argument);
}

TEST(DesignReport, LargeAntennaStaysFocusedAndQuick) {
  const auto in = test::design_input(test::uniform(), 1001);
  analysis::Options o;
  o.wavelength = 0.1;  // D/lambda = 1000
  const auto start = std::chrono::steady_clock::now();
  const auto r = analysis::analyse(in, o);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(r.path_error_pp_wavelengths, 0.05);
  EXPECT_NEAR(r.delivered.hpbw_deg, 10 * expected(in, 1000.0).hpbw_deg / 10, 0.02 * r.delivered.hpbw_deg);
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(seconds, 1.0);
#else
  (void)seconds;
#endif
}

}  // namespace
