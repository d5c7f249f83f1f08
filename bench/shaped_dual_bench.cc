// Timing of the general dual-reflector shaping on the example ADE geometry
// (hole rim to feed 0.2, feed to subreflector rim 0.5, subreflector radius
// 0.25, hole radius 0.12, a 40 degree feed at -10 dB), 1001 rows, for the
// uniform and the Taylor (30 dB, nbar 20) distributions in 64-bit reals.
// Reports the accepted integration steps and the aperture densities per
// step (the energy mapping's Newton steps on the aperture's cumulative
// power make most of the cost).
#include <benchmark/benchmark.h>

#include <cmath>

#include "design/choices.h"
#include "design/shaped_dual.h"
#include "design/synthesis.h"

namespace {

using design::Design;

Design<double> example(bool taylor) {
  design::DesignSpec choices;
  choices.geometry = {0.2, 0.5, 0.25, 0.12};
  choices.feed = {40.0, -10.0};
  choices.aperture = taylor ? design::ApertureSpec{design::Distribution::taylor, 0.0, 30.0, 20}
                            : design::ApertureSpec{};
  choices.synthesis = {0.001, 0.02};
  choices.precision = design::Precision::double_;
  return design::make_design<double>(choices);
}

// Argument: 1 Taylor, 0 uniform.
void BM_ShapedDual(benchmark::State& state) {
  const Design<double> in = example(state.range(0) != 0);
  long densities = 0;
  design::ShapedDualSpec<double> s;
  s.topology = design::topology_of(design::DualFamily::ade);
  s.edge_angle = in.feed_half_angle_rad;
  s.x_inner = in.main_inner_radius;
  s.anchor = design::SubAnchor::rim;
  s.anchor_distance = in.sub_radius / std::sin(in.feed_half_angle_rad);
  // The established path length: sub rim to hole rim to the plane z = 0.
  const double xs = in.sub_radius, zs = in.sub_radius / std::tan(in.feed_half_angle_rad);
  s.path_length = std::hypot(xs - in.main_inner_radius, zs + in.main_hole_to_feed) +
                  std::hypot(xs, zs) + in.main_hole_to_feed;
  s.feed_power = [&in](double t) { return in.feed_model.pattern_double(t); };
  s.aperture_power = [&in, &densities](double x) {
    ++densities;
    return in.aperture.density(x);
  };
  s.angles = design::even_angles(s.edge_angle, 1001);
  long steps = 0;
  for (auto _ : state) {
    densities = 0;
    const design::ShapedDual<double> d = design::shape_dual(s);
    benchmark::DoNotOptimize(d.rays.data());
    if (!d.problem.empty()) state.SkipWithError(d.problem.c_str());
    steps = d.steps;
  }
  state.counters["steps"] = static_cast<double>(steps);
  state.counters["densities_per_step"] =
      static_cast<double>(densities) / static_cast<double>(steps > 0 ? steps : 1);
}

BENCHMARK(BM_ShapedDual)->ArgName("taylor")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
