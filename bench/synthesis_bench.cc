// Timing of the whole surface synthesis for a heavy design: 1001 rays at a
// calculation interval of 1e-5 (88 000 Runge-Kutta steps), with the Taylor
// distribution of nbar = 20 (19 Bessel calls per aperture density) and, for
// comparison, with the uniform distribution.  Reports the time per step and
// the aperture densities and Bessel calls per step, with the aperture density
// remembered per radius (as the program runs) and evaluated on every call.
#include <cmath>
#include <ostream>
#include <sstream>

#include <benchmark/benchmark.h>

#include "ravost/aperture.h"
#include "ravost/feed.h"
#include "ravost/files.h"
#include "ravost/synthesis.h"

namespace {

using ravost::Design;
namespace ray = ravost::ray;

constexpr int kNbar = 20;

// The example geometry (hole rim to feed 0.2, feed to subreflector rim 0.5,
// subreflector radius 0.25, hole radius 0.12) with a 40 degree feed at
// -10 dB, 1001 rays 0.00088 apart, 88 steps of 1e-5 per ray.
Design heavy_design(int kind) {
  Design d;
  d.pi = 3.1415927f;
  d.deg = d.pi / 180.0f;
  d.main_hole_to_feed = 0.2f;
  d.feed_to_sub_rim = 0.5f;
  d.sub_radius = 0.25f;
  d.main_inner_radius = 0.12f;
  d.feed_half_angle = std::atan(d.sub_radius / d.feed_to_sub_rim) / d.deg * d.deg;
  d.ray_state[ray::main_z] = -d.main_hole_to_feed;
  d.ray_state[ray::hole_to_feed] = d.main_hole_to_feed;
  d.ray_state[ray::feed_to_sub] = d.feed_to_sub_rim;
  d.ray_state[ray::feed_angle] = d.feed_half_angle;
  d.ray_state[ray::sub_distance] = d.sub_radius / std::sin(d.feed_half_angle);
  d.feed_beamwidth = 40.0f;
  d.beamwidth_level_db = -10.0f;
  ravost::set_feed_power(d);

  d.apert.distribution_kind = kind;
  if (kind == 3) {
    d.apert.sidelobe_level_db = 30.0f;
    d.apert.nbar = kNbar;
    std::istringstream in;
    std::ostringstream out;
    ravost::Dialog dialog(in, out);
    ravost::TCYZO(d.apert.sidelobe_level_db, d.apert.nbar, d.taylor_zeros);
    ravost::TCYAC(d.apert.nbar, d.taylor_zeros, d.apert.taylor_coefficients, dialog);
  }
  ravost::set_aperture_power(d);
  ravost::set_power_ratio(d);
  d.calc_interval = 0.00001f;
  d.output_interval = 0.00088f;
  return d;
}

// Arguments: distribution kind (1 uniform, 3 Taylor), remember the density (1) or not (0).
void BM_Synthesis(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const bool memoise = state.range(1) != 0;
  const Design prepared = heavy_design(kind);

  std::istringstream in;
  std::ostream console(nullptr);  // the table's lines are dropped
  ravost::Dialog dialog(in, console);
  ravost::OutFile listing("/dev/null", "/dev/null");
  ravost::Session session{dialog, listing, ".", plothpfa::PLOTIF{0.1f}};

  long steps = 0;
  long densities = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Design d = prepared;
    ravost::DUREF duref(d.apert, memoise);
    state.ResumeTiming();
    ravost::synthesize(d, session, duref);
    benchmark::DoNotOptimize(d.rays);
    steps = static_cast<long>(d.output_steps) * d.steps_per_output;
    densities = duref.appl_calls();
    if (d.output_steps != 1000) state.SkipWithError("the design does not give 1001 rays");
  }
  const double per_step = static_cast<double>(densities) / static_cast<double>(steps);
  state.counters["steps"] = static_cast<double>(steps);
  state.counters["time_per_step"] = benchmark::Counter(
      static_cast<double>(steps), benchmark::Counter::kIsIterationInvariantRate |
                                      benchmark::Counter::kInvert);
  state.counters["densities_per_step"] = per_step;
  // TCYDS makes nbar - 1 Bessel calls per density at |r| <= 1 (all but the
  // last few radii); the other kinds none.
  state.counters["besj_per_step"] = kind == 3 ? per_step * (kNbar - 1) : 0.0;
}
BENCHMARK(BM_Synthesis)
    ->ArgNames({"kind", "memo"})
    ->Args({3, 1})
    ->Args({3, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace
