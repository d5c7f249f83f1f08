// A feed displaced along the axis from where the design put it, and a random
// surface error: the ray trace follows the first-order path change of each
// feed ray, the physical optics finds its best focus at the design's feed,
// and the Ruze factor scales both directivities and nothing else.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "analysis/analysis.h"
#include "design/choices.h"
#include "run/pipeline.h"
#include "tests/test_util.h"

namespace {

constexpr double kDiameter = 2.0;

// The example's 64-bit uniform design (beamwidth feed), scaled to D = 2.
const analysis::DesignInput& design_input() {
  static const analysis::DesignInput in = [] {
    design::DesignSpec s = testutil::example_choices();
    s.synthesis = {0.001, 0.025};
    s.precision = design::Precision::double_;
    return *run::make_scaled(s, kDiameter, testutil::in_precision(design::Precision::double_)).report_input;
  }();
  return in;
}

analysis::Report analyse(double offset, double d_over_lambda, double surface_rms = 0, bool po = false) {
  analysis::DesignInput in = design_input();
  in.feed_axial_offset = offset;
  analysis::Options o;
  o.wavelength = kDiameter / d_over_lambda;
  o.surface_rms = surface_rms;
  o.physical_optics = po;
  o.compare_written = false;
  return analysis::analyse(in, o);
}

TEST(SurfaceError, RuzeFactorScalesBothDirectivitiesAndNothingElse) {
  // At an RMS of lambda/40 the factor is exp(-(4 pi / 40)^2) = exp(-(pi/10)^2),
  // 0.906, -0.429 dB.
  const double d_over_lambda = 20, lambda = kDiameter / d_over_lambda;
  const double factor = std::exp(-(M_PI / 10) * (M_PI / 10));
  EXPECT_NEAR(10 * std::log10(factor), -0.4286, 5e-5);
  EXPECT_NEAR(analysis::ruze_factor(lambda / 40, lambda), factor, 1e-15);
  EXPECT_EQ(analysis::ruze_factor(0, lambda), 1.0);

  const analysis::Report smooth = analyse(0, d_over_lambda, 0, true);
  const analysis::Report rough = analyse(0, d_over_lambda, lambda / 40, true);
  EXPECT_EQ(smooth.efficiency.surface, 1.0);
  EXPECT_NEAR(rough.efficiency.surface, factor, 1e-15);
  EXPECT_NEAR(rough.efficiency.total, smooth.efficiency.total * factor, 1e-14);
  EXPECT_NEAR(rough.directivity_dbi - smooth.directivity_dbi, 10 * std::log10(factor), 1e-12);
  // The other efficiencies and the pattern's shape do not see it.
  EXPECT_EQ(rough.efficiency.spillover, smooth.efficiency.spillover);
  EXPECT_EQ(rough.efficiency.phase, smooth.efficiency.phase);
  EXPECT_EQ(rough.delivered.first_sidelobe_db, smooth.delivered.first_sidelobe_db);
  // Physical optics: its directivity and the one over the sphere lose the
  // same factor; the difference to the geometrical optics stays.
  ASSERT_TRUE(rough.physical_optics && smooth.physical_optics);
  const auto& p = *rough.physical_optics;
  const auto& q = *smooth.physical_optics;
  EXPECT_NEAR(p.result.directivity_dbi - q.result.directivity_dbi, 10 * std::log10(factor), 1e-12);
  ASSERT_TRUE(p.result.sphere_directivity_dbi && q.result.sphere_directivity_dbi);
  EXPECT_NEAR(*p.result.sphere_directivity_dbi - *q.result.sphere_directivity_dbi, 10 * std::log10(factor), 1e-12);
  EXPECT_NEAR(p.difference_db, q.difference_db, 1e-12);
  EXPECT_EQ(p.result.first_sidelobe_db, q.result.first_sidelobe_db);
}

TEST(SurfaceError, ANegativeOrNonFiniteRmsIsRefused) {
  for (const double rms : {-1e-9, std::nan(""), HUGE_VAL}) EXPECT_THROW(analyse(0, 100, rms), std::invalid_argument) << rms;
}

// The feed's power pattern cos(theta/2)^(2n) enclosed from the axis:
// (2 / (n + 1)) (1 - cos(theta/2)^(2n + 2)).
double enclosed(double n, double theta) { return 2.0 / (n + 1) * (1 - std::pow(std::cos(theta / 2), 2 * n + 2)); }

// Phase efficiency over the unshadowed aperture of the focused design's ray
// tubes with each ray's path changed by -delta cos(theta): the field of a
// tube is the square root of its power over its area, so it adds
// sqrt(power * area) with the phase of its middle.
double predicted_phase_efficiency(const analysis::Report& focused, double n, double delta) {
  std::complex<double> sum = 0;
  double amplitude = 0;
  const auto& theta = focused.ray_theta_deg;
  for (std::size_t i = 0; i + 1 < theta.size(); ++i) {
    const double t0 = theta[i] * M_PI / 180, t1 = theta[i + 1] * M_PI / 180;
    const double r0 = focused.ray_rho[i], r1 = focused.ray_rho[i + 1];
    // The vertex ring's rays say more about the profile's sampling there
    // than about the focus (the report leaves their phase out too).
    if (std::min(r0, r1) < focused.shadow_rho || focused.ray_in_vertex_ring[i] || focused.ray_in_vertex_ring[i + 1])
      continue;
    const double power = std::abs(enclosed(n, t1) - enclosed(n, t0)), area = std::abs(r1 * r1 - r0 * r0);
    const double path = 0.5 * (focused.ray_path_error_wavelengths[i] + focused.ray_path_error_wavelengths[i + 1]);
    const double change = -delta * std::cos(0.5 * (t0 + t1)) / focused.wavelength;
    const double w = std::sqrt(power * area);
    sum += w * std::polar(1.0, 2 * M_PI * (path + change));
    amplitude += w;
  }
  return std::norm(sum) / (amplitude * amplitude);
}

TEST(Defocus, PhaseEfficiencyFollowsTheFirstOrderPathChangeOfEachFeedRay) {
  const double d_over_lambda = 100, lambda = kDiameter / d_over_lambda;
  const analysis::Report focused = analyse(0, d_over_lambda);
  const double n = design_input().feed_exponent;
  ASSERT_GT(n, 0);
  const double base = predicted_phase_efficiency(focused, n, 0);
  EXPECT_NEAR(base, focused.efficiency.phase, 2e-4);
  // The first-order path change is even in delta; what the trace finds
  // beyond it (the rays landing elsewhere, the rim seen under another angle)
  // is odd to the next order: the mean of the losses at +delta and -delta
  // follows the prediction closely, each side within a few per cent.
  for (const double waves : {0.5, 1.0, 2.0}) {
    const double predicted = 1 - predicted_phase_efficiency(focused, n, waves * lambda) / base;
    ASSERT_GT(predicted, 2e-3) << waves;  // a loss worth comparing
    double mean = 0;
    for (const double sign : {-1.0, 1.0}) {
      const analysis::Report displaced = analyse(sign * waves * lambda, d_over_lambda);
      const double found = 1 - displaced.efficiency.phase / focused.efficiency.phase;
      EXPECT_NEAR(found, predicted, 0.15 * predicted) << sign * waves;
      mean += 0.5 * found;
      EXPECT_GT(displaced.path_error_pp_wavelengths, focused.path_error_pp_wavelengths) << sign * waves;
    }
    EXPECT_NEAR(mean, predicted, 0.02 * predicted) << waves;
  }
}

TEST(Defocus, TheDisplacedFeedSeesTheDesignedRimUnderItsOwnAngle) {
  const analysis::DesignInput& in = design_input();
  const double rim_z = in.feed_z + in.sub_rim_radius / std::tan(in.sub_half_angle_rad);
  for (const double delta : {-0.05, 0.0, 0.05}) {
    analysis::DesignInput moved = in;
    moved.feed_axial_offset = delta;
    const analysis::AnalysedFeed f = analysis::analysed_feed(moved);
    EXPECT_DOUBLE_EQ(f.z, in.feed_z + delta);
    EXPECT_NEAR(std::tan(f.sub_half_angle_rad), in.sub_rim_radius / (rim_z - in.feed_z - delta), 1e-12);
  }
  // Towards the subreflector the rim subtends more: spillover falls, the
  // edge taper deepens.
  const analysis::Report back = analyse(-0.05, 100), front = analyse(0.05, 100);
  EXPECT_GT(front.efficiency.spillover, back.efficiency.spillover);
  EXPECT_LT(front.feed_edge_taper_db, back.feed_edge_taper_db);
}

TEST(Defocus, PhysicalOpticsPeaksAtTheDesignedFocusAndFallsBothWays) {
  const double d_over_lambda = 20, lambda = kDiameter / d_over_lambda;
  const double at_focus = analyse(0, d_over_lambda, 0, true).physical_optics->result.directivity_dbi;
  const double back = analyse(-1.5 * lambda, d_over_lambda, 0, true).physical_optics->result.directivity_dbi;
  const double front = analyse(1.5 * lambda, d_over_lambda, 0, true).physical_optics->result.directivity_dbi;
  const double near_back = analyse(-0.25 * lambda, d_over_lambda, 0, true).physical_optics->result.directivity_dbi;
  const double near_front = analyse(0.25 * lambda, d_over_lambda, 0, true).physical_optics->result.directivity_dbi;
  EXPECT_GT(at_focus, back + 0.02);
  EXPECT_GT(at_focus, front + 0.02);
  EXPECT_GT(near_back, back);
  EXPECT_GT(near_front, front);
  // Symmetric-ish: the two losses within a factor of three of each other.
  const double loss_back = at_focus - back, loss_front = at_focus - front;
  EXPECT_LT(loss_back, 3 * loss_front);
  EXPECT_LT(loss_front, 3 * loss_back);
}

TEST(Defocus, AFeedBeyondTheSubreflectorsVertexOrBehindTheMainReflectorIsRefused) {
  const analysis::DesignInput& in = design_input();
  ASSERT_EQ(in.sub_r.front(), 0.0);
  const double to_vertex = in.sub_z.front() - in.feed_z, to_main = in.main_z.front() - in.feed_z;
  // Next to the vertex the rays no longer reach the main reflector: refused too.
  EXPECT_NO_THROW(analyse(0.5 * to_vertex, 100));
  EXPECT_THROW(analyse(to_vertex * (1 + 1e-9), 100), std::invalid_argument);
  EXPECT_NO_THROW(analyse(to_main * (1 - 1e-3), 100));
  EXPECT_THROW(analyse(to_main * (1 + 1e-9), 100), std::invalid_argument);
  EXPECT_THROW(analyse(std::nan(""), 100), std::invalid_argument);
}

}  // namespace
