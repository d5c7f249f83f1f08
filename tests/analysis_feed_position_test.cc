// The feed's position on the axis in the analyses: rays leave from it, the
// subreflector's angles are seen from it, and a whole design moved along the
// axis with its feed reports the same figures.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/raytrace.h"
#include "design/choices.h"
#include "run/pipeline.h"
#include "tests/test_util.h"

namespace {

// Figures of two analyses of one design in two frames agree to this: both
// are double throughout, and moving by an exact binary amount only rounds
// the heights once.
constexpr double kSameFigure = 1e-9;

TEST(FeedPosition, RaysLeaveFromTheFeedsHeightThroughFlatReflectors) {
  // A flat subreflector at z = 1 and a flat main reflector at z = -1 (the
  // aperture plane through its rim): a ray at angle theta from a feed at z0
  // meets them at radii (1 - z0) tan(theta) and (3 - z0) tan(theta), after a
  // path of (3 - z0) / cos(theta), and leaves at theta from the axis.
  const std::vector<double> sub_r{0.0, 0.5, 1.0}, sub_z{1.0, 1.0, 1.0};
  const std::vector<double> main_r{0.0, 1.5, 3.0}, main_z{-1.0, -1.0, -1.0};
  for (const double z0 : {0.0, 0.25, -0.5}) {
    const analysis::TraceResult t = analysis::trace_rays(sub_r, sub_z, main_r, main_z, 0.5, 11, z0);
    ASSERT_EQ(t.rays.size(), 11u) << z0;
    for (const analysis::TracedRay& ray : t.rays) {
      const double tan = std::tan(ray.theta);
      EXPECT_NEAR(ray.sub_x, (1.0 - z0) * tan, 1e-12) << z0;
      EXPECT_NEAR(ray.main_x, (3.0 - z0) * tan, 1e-12) << z0;
      EXPECT_NEAR(ray.path, (3.0 - z0) / std::cos(ray.theta), 1e-12) << z0;
      EXPECT_NEAR(ray.direction_error_deg, ray.theta * 180.0 / M_PI, 1e-12) << z0;
    }
  }
}

// A 64-bit Taylor design whose feed's phase centre stands `centre` ahead of
// the geometry's feed point.
design::DesignSpec design_with_centre(const design::GeometrySpec& geometry, double centre) {
  design::DesignSpec s = testutil::example_choices();
  s.geometry = geometry;
  s.aperture.kind = design::Distribution::taylor;
  s.aperture.sidelobe_db = 25.0;
  s.aperture.nbar = 4;
  s.synthesis = {0.001, 0.025};
  s.precision = design::Precision::double_;
  s.feed.phase_centre_z = centre;
  return s;
}

analysis::DesignInput input_of(const design::DesignSpec& s) {
  return *run::make_scaled(s, 2.0, testutil::in_precision(design::Precision::double_)).report_input;
}

analysis::Report analyse(const analysis::DesignInput& in, bool physical_optics) {
  analysis::Options o;
  o.wavelength = 2.0 / 20.0;  // D/lambda 20 keeps the physical optics quick
  o.physical_optics = physical_optics;
  o.po_sphere_up_to_d_over_lambda = 1e9;
  return analysis::analyse(in, o);
}

void expect_same_figures(const analysis::Report& a, const analysis::Report& b) {
  EXPECT_EQ(a.traces_design, b.traces_design);
  EXPECT_EQ(a.rays_traced, b.rays_traced);
  EXPECT_EQ(a.rays_lost, b.rays_lost);
  EXPECT_EQ(a.vertex_ring.rays, b.vertex_ring.rays);
  EXPECT_NEAR(a.vertex_ring.power_share, b.vertex_ring.power_share, kSameFigure);
  EXPECT_NEAR(a.directivity_dbi, b.directivity_dbi, kSameFigure);
  EXPECT_NEAR(a.efficiency.total, b.efficiency.total, kSameFigure);
  EXPECT_NEAR(a.efficiency.phase, b.efficiency.phase, kSameFigure);
  EXPECT_NEAR(a.feed_edge_taper_db, b.feed_edge_taper_db, kSameFigure);
  EXPECT_NEAR(a.path_error_pp_wavelengths, b.path_error_pp_wavelengths, kSameFigure);
  EXPECT_NEAR(a.path_error_rms_wavelengths, b.path_error_rms_wavelengths, kSameFigure);
  EXPECT_NEAR(a.collimation_error_max_deg, b.collimation_error_max_deg, kSameFigure);
  EXPECT_NEAR(a.aperture_power_error_max_db, b.aperture_power_error_max_db, kSameFigure);
  EXPECT_NEAR(a.misplaced_power_share, b.misplaced_power_share, kSameFigure);
  EXPECT_NEAR(a.mean_path, b.mean_path, kSameFigure);
}

TEST(FeedPosition, ADesignMovedAlongTheAxisWithItsFeedReportsTheSameFigures) {
  // A phase centre 0.125 ahead of the feed point is the geometry whose feed
  // point stands there (0.125 further from the hole rim, 0.125 nearer the
  // subreflector rim), every surface 0.125 higher.  Scaled to a diameter of
  // 2 the heights stay in the normalised unit.
  const design::DesignSpec placed = design_with_centre({0.25, 0.5, 0.25, 0.125}, 0.125);
  const design::DesignSpec seen = design_with_centre({0.375, 0.375, 0.25, 0.125}, 0.0);
  const analysis::DesignInput a = input_of(placed), b = input_of(seen);
  EXPECT_EQ(a.feed_z, 0.125);
  EXPECT_EQ(b.feed_z, 0.0);
  ASSERT_EQ(a.step_sub_z.size(), b.step_sub_z.size());
  ASSERT_FALSE(a.step_sub_z.empty());
  for (std::size_t i = 0; i < a.step_sub_z.size(); ++i) {
    EXPECT_NEAR(a.step_sub_z[i], b.step_sub_z[i] + 0.125, 1e-12) << i;
    EXPECT_NEAR(a.step_main_z[i], b.step_main_z[i] + 0.125, 1e-12) << i;
  }
  const analysis::Report ra = analyse(a, true), rb = analyse(b, true);
  ASSERT_TRUE(ra.traces_design);
  expect_same_figures(ra, rb);
  ASSERT_TRUE(ra.as_written && rb.as_written);
  expect_same_figures(*ra.as_written, *rb.as_written);
  EXPECT_NEAR(ra.written_loss.total_db, rb.written_loss.total_db, kSameFigure);
  // The fan of rays leaves from the feed in both frames.
  ASSERT_EQ(ra.fan.size(), rb.fan.size());
  for (std::size_t i = 0; i < ra.fan.size(); ++i) EXPECT_NEAR(ra.fan[i].sub_z, rb.fan[i].sub_z + 0.125, 1e-12) << i;

  const analysis::PhysicalOptics &pa = *ra.physical_optics, &pb = *rb.physical_optics;
  EXPECT_NEAR(pa.result.directivity_dbi, pb.result.directivity_dbi, kSameFigure);
  EXPECT_NEAR(pa.result.spillover_past_sub, pb.result.spillover_past_sub, kSameFigure);
  EXPECT_NEAR(pa.result.spillover_past_main, pb.result.spillover_past_main, kSameFigure);
  EXPECT_NEAR(pa.result.first_sidelobe_db, pb.result.first_sidelobe_db, kSameFigure);
  EXPECT_NEAR(pa.result.cross_polar_peak_db, pb.result.cross_polar_peak_db, kSameFigure);
  ASSERT_TRUE(pa.result.sphere_power_share && pb.result.sphere_power_share);
  EXPECT_NEAR(*pa.result.sphere_power_share, *pb.result.sphere_power_share, kSameFigure);
  EXPECT_EQ(pa.result.sub_nodes, pb.result.sub_nodes);
  EXPECT_EQ(pa.result.angles, pb.result.angles);
}

TEST(FeedPosition, AFeedMovedWithoutItsSurfacesSpoilsTheFocus) {
  // The same surfaces seen from a feed 0.05 higher: the rays no longer
  // leave from the point the profiles focus, so the path error and the
  // collimation error grow and the directivity changes.
  const analysis::DesignInput in = input_of(design_with_centre({0.375, 0.375, 0.25, 0.125}, 0.0));
  analysis::DesignInput moved = in;
  moved.feed_z = 0.05;
  const analysis::Report r = analyse(in, false), m = analyse(moved, false);
  EXPECT_LT(r.path_error_pp_wavelengths, 0.002);
  EXPECT_GT(m.path_error_pp_wavelengths, 0.02);
  EXPECT_GT(std::fabs(r.directivity_dbi - m.directivity_dbi), 0.1);
  EXPECT_GT(m.collimation_error_max_deg, 10 * r.collimation_error_max_deg);
}

TEST(FeedPosition, AFeedPositionThatIsNotANumberIsRefused) {
  analysis::DesignInput in = input_of(design_with_centre({0.375, 0.375, 0.25, 0.125}, 0.0));
  in.feed_z = std::nan("");
  EXPECT_THROW(analysis::analyse(in, analysis::Options{}), std::invalid_argument);
}

}  // namespace
