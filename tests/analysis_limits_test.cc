// Where the report's methods stop holding, and the one subreflector every
// analysis uses: the limits as functions at their thresholds; the cautions
// of a synthesised design at small sizes and not at large ones, in the
// report's files too; negative loss terms explained; spillover past the
// subreflector, by ray optics and by physical optics, the feed's power
// outside the cone of the written rim (an extrapolated point included).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "analysis/analysis.h"
#include "design/choices.h"
#include "report/parts.h"
#include "report/report.h"
#include "run/pipeline.h"
#include "run/summary.h"

namespace {

TEST(Limits, EachHoldsUpToItsThresholdAndNotBeyond) {
  const auto below = [](double x) { return std::nextafter(x, 0.0); };
  const auto above = [](double x) { return std::nextafter(x, std::numeric_limits<double>::infinity()); };
  const double small = analysis::kSmallSubreflectorWavelengths, sharp = analysis::kSharpShadowWavelengths;
  EXPECT_TRUE(analysis::subreflector_too_small(below(small)));
  EXPECT_FALSE(analysis::subreflector_too_small(small));
  EXPECT_FALSE(analysis::subreflector_too_small(above(small)));
  EXPECT_TRUE(analysis::shadow_not_sharp(below(sharp)));
  EXPECT_FALSE(analysis::shadow_not_sharp(sharp));
  EXPECT_FALSE(analysis::shadow_not_sharp(above(sharp)));
  const double hi = 1.0 + analysis::kPowerBalanceTolerance, lo = 1.0 - analysis::kPowerBalanceTolerance;
  EXPECT_FALSE(analysis::power_balance_off(hi));
  EXPECT_TRUE(analysis::power_balance_off(above(hi)));
  EXPECT_FALSE(analysis::power_balance_off(below(hi)));
  EXPECT_FALSE(analysis::power_balance_off(lo));
  EXPECT_TRUE(analysis::power_balance_off(below(lo)));
  EXPECT_FALSE(analysis::power_balance_off(above(lo)));
  EXPECT_TRUE(analysis::power_balance_off(std::nan("")));
}

// A Taylor design with the beamwidth feed (power cos(theta/2)^(2n)), main
// diameter 2, its subreflector extrapolated 10 % beyond the designed rim.
const analysis::DesignInput& extrapolated() {
  static const analysis::DesignInput in = [] {
    design::DesignSpec s;
    s.geometry = {0.2, 0.5, 0.25, 0.1};
    s.feed.beamwidth_deg = 40.0;
    s.feed.level_db = -10.0;
    s.aperture.kind = design::Distribution::taylor;
    s.aperture.sidelobe_db = 25.0;
    s.aperture.nbar = 4;
    s.synthesis = {0.001, 0.02};
    s.precision = design::Precision::double_;
    writers::OutputPlan plan;
    plan.diameter = 2.0;
    plan.extrapolated_sub_diameter = 2.0 * 0.25 * 1.1;
    run::RunOptions o;
    o.precision = design::Precision::double_;
    o.report_figures = true;
    o.compare_written = false;
    const run::RunResult r = run::run_design(s, plan, o);
    EXPECT_TRUE(r.ok() && r.report_input) << diag::render(r.diagnostics);
    return *r.report_input;
  }();
  return in;
}

analysis::Report analysed(double d_over_lambda) {
  analysis::Options o;
  o.wavelength = extrapolated().main_diameter / d_over_lambda;
  o.compare_written = false;
  o.physical_optics = true;
  return analysis::analyse(extrapolated(), o);
}

// The share of the cos(theta/2)^(2n) feed's power outside the cone of half
// angle theta: 1 - its enclosed share, which is 1 - cos(theta/2)^(2n + 2).
double outside(double theta, double n) { return std::pow(std::cos(theta / 2), 2 * n + 2); }

// The feed angle of the written rim, and the design's own.
double written_rim_angle(const analysis::DesignInput& d) {
  return std::atan2(d.sub_r.back(), d.sub_z.back() - d.feed_z);
}

TEST(OneSubreflector, TheWrittenRimReachesBeyondTheDesignedOne) {
  const analysis::DesignInput& d = extrapolated();
  ASSERT_FALSE(d.step_main_r.empty());  // the design's own profiles are traced
  EXPECT_GT(written_rim_angle(d), d.sub_half_angle_rad + 0.01);
}

// Ray optics: the spillover is the feed's power outside the written rim;
// the power between the two rims counts with the blockage, whose shadow is
// the written rim's.
TEST(OneSubreflector, RayOpticsCountsTheSpilloverFromTheWrittenRim) {
  const analysis::DesignInput& d = extrapolated();
  analysis::Options o;
  o.compare_written = false;
  const analysis::Report r = analysis::analyse(d, o);
  const double n = d.feed_exponent, theta_w = written_rim_angle(d), theta_d = d.sub_half_angle_rad;
  EXPECT_NEAR(r.efficiency.spillover, 1 - outside(theta_w, n), 1e-12);
  EXPECT_NEAR(r.rim_extension.power_share, (outside(theta_d, n) - outside(theta_w, n)) / (1 - outside(theta_w, n)), 1e-12);
  EXPECT_DOUBLE_EQ(r.shadow_rho * r.aperture_radius, d.sub_r.back());
  // Its rays are traced: they either land or are counted lost.
  EXPECT_GE(r.rim_extension.rays, 16);
}

// Physical optics: the subreflector's currents reach the written rim, so
// the power past it is the feed's outside that rim's cone (the design's
// end tangent carried on would put the rim elsewhere).
TEST(OneSubreflector, PhysicalOpticsSubreflectorEndsAtTheWrittenRim) {
  const analysis::DesignInput& d = extrapolated();
  const analysis::Report r = analysed(100);
  ASSERT_TRUE(r.physical_optics);
  EXPECT_TRUE(r.physical_optics->traces_design);
  EXPECT_NEAR(r.physical_optics->result.spillover_past_sub, outside(written_rim_angle(d), d.feed_exponent), 1e-9);
  // Both analyses see the same subreflector: nothing new past it.
  EXPECT_EQ(r.physical_optics->past_sub_db, 0.0);
}

// Small sizes carry cautions in both analyses, large ones none; a negative
// loss term always has its reason, and only a negative one.
TEST(Limits, CautionsAtSmallSizesAndNotAtLargeOnes) {
  for (const double d_over_lambda : {5.0, 20.0, 100.0, 300.0}) {
    SCOPED_TRACE("D/lambda " + std::to_string(d_over_lambda));
    const analysis::Report r = analysed(d_over_lambda);
    const analysis::PhysicalOptics& p = *r.physical_optics;
    const bool small = d_over_lambda < 50;
    EXPECT_EQ(r.cautions.empty(), !small);
    EXPECT_EQ(p.cautions.empty(), !small);
    ASSERT_TRUE(p.power_balance);
    EXPECT_EQ(analysis::power_balance_off(*p.power_balance), small) << *p.power_balance;
    if (small) {
      EXPECT_LT(p.sub_diameter_wavelengths, analysis::kSmallSubreflectorWavelengths);
      EXPECT_EQ(p.cautions.size(), 3u);  // size, power balance, shadow
    }
    std::set<std::string> negative, explained;
    const std::pair<const char*, double> terms[] = {
        {"total", p.difference_db}, {"spillover_past_sub", p.past_sub_db}, {"spillover_past_main", p.past_main_db}, {"rest", p.rest_db}};
    for (const auto& [name, value] : terms)
      if (value < 0) negative.insert(name);
    for (const auto& [name, why] : p.gains) {
      explained.insert(name);
      EXPECT_FALSE(why.empty());
    }
    EXPECT_EQ(negative, explained);

    // The report's files say the same.
    const nlohmann::json j = report::report_json(r, extrapolated());
    EXPECT_EQ(j.at("cautions").size(), r.cautions.size());
    EXPECT_EQ(j.at("physical_optics").at("cautions").size(), p.cautions.size());
    EXPECT_EQ(j.at("physical_optics").at("negative_loss_terms").size(), p.gains.size());
    const std::string page = report::report_html(r, extrapolated(), {}, {});
    EXPECT_EQ(page.find("class=\"caution\"") != std::string::npos, small);
    for (const auto& [name, why] : p.gains) EXPECT_NE(page.find(figures::escape(why)), std::string::npos) << why;
  }
}

TEST(Limits, TheRunSummaryGivesTheCautionsAsWarnings) {
  run::RunSummary s;
  s.files = {"ravost.out"};
  s.headline = run::Headline{"r/report.html", 41.234, 0.8766, 10, false};
  s.headline->cautions = {"The subreflector is 2.5 wavelengths across."};
  EXPECT_EQ(run::render(s),
            "Wrote ravost.out and the report r/report.html.\n"
            "Directivity 41.23 dBi, total efficiency 87.7 %, D/lambda 10.\n"
            "Warning: the subreflector is 2.5 wavelengths across.\n");
}

}  // namespace
