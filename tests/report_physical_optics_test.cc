// Physical optics of synthesised designs beside their geometrical optics.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "analysis/analysis.h"
#include "design/choices.h"
#include "design/scaled.h"
#include "design/synthesis.h"
#include "run/report.h"

namespace {

design::DesignSpec spec(design::Distribution kind) {
  design::DesignSpec s;
  s.geometry = {0.2, 0.5, 0.25, 0.1};
  s.feed.beamwidth_deg = 40.0;
  s.feed.level_db = -10.0;
  s.aperture.kind = kind;
  s.aperture.taper_db = -10.0;
  s.aperture.sidelobe_db = 25.0;
  s.aperture.nbar = 4;
  s.synthesis = {0.001, 0.02};
  s.precision = design::Precision::double_;
  return s;
}

analysis::DesignInput input(const design::DesignSpec& s) {
  const design::Design<double> d = design::make_design<double>(s);
  const design::RayTable<double> table = design::synthesize(d);
  return run::report_input(d, table, design::scale(table, 2.0, d.main_inner_radius));
}

analysis::Report report(const analysis::DesignInput& in, double d_over_lambda, double factor = 1.0) {
  analysis::Options o;
  o.wavelength = 2.0 / d_over_lambda;
  o.compare_written = false;
  o.physical_optics = true;
  o.po_sampling.factor = factor;
  return analysis::analyse(in, o);
}

TEST(ReportPhysicalOptics, ShapedDesignNearsItsGeometricalOptics) {
  const analysis::DesignInput in = input(spec(design::Distribution::taylor));
  for (double dl : {100.0, 300.0}) {
    const auto t0 = std::chrono::steady_clock::now();
    const analysis::Report r = report(in, dl);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const analysis::PhysicalOptics& p = *r.physical_optics;
    std::printf("D/l %g: GO %.4f PO %.4f diff %.4f (sub %.4f main %.4f rest %.4f) share %.4f xpol %.2f sll %.2f vs %.2f hpbw %.4f nodes %d/%d az %d, %.2fs\n",
                dl, p.go_directivity_dbi, p.result.directivity_dbi, p.difference_db, p.past_sub_db, p.past_main_db,
                p.rest_db, p.result.sphere_power_share.value_or(-1), p.result.cross_polar_peak_db,
                p.result.first_sidelobe_db, r.delivered.first_sidelobe_db, p.result.hpbw_deg, p.result.sub_nodes,
                p.result.main_nodes, p.result.azimuth_nodes_max, secs);
  }
}

}  // namespace
