// Timing of the whole surface synthesis for a heavy design: 1001 rays at a
// calculation interval of 1e-5 (88 000 Runge-Kutta steps), with the Taylor
// distribution of nbar = 20 (19 Bessel calls per aperture density) and, for
// comparison, with the uniform and Gaussian distributions.  Reports the time per step and
// the aperture densities and Bessel calls per step, with the aperture density
// remembered per radius (as the program runs) and evaluated on every call.
#include <benchmark/benchmark.h>

#include "design/choices.h"
#include "design/synthesis.h"

namespace {

using design::Design;

constexpr int kNbar = 20;

// The example geometry (hole rim to feed 0.2, feed to subreflector rim 0.5,
// subreflector radius 0.25, hole radius 0.12) with a 40 degree feed at
// -10 dB, 1001 rays 0.00088 apart, 88 steps of 1e-5 per ray.
Design<float> heavy_design(int kind) {
  design::DesignSpec choices;
  choices.geometry = {0.2, 0.5, 0.25, 0.12};
  choices.feed = {40.0, -10.0};
  choices.aperture = kind == 3   ? design::ApertureSpec{design::Distribution::taylor, 0.0, 30.0, kNbar}
                  : kind == 2 ? design::ApertureSpec{design::Distribution::gaussian, 10.0}
                              : design::ApertureSpec{};
  choices.synthesis = {0.00001, 0.00088};
  choices.precision = design::Precision::single;
  return design::make_design<float>(choices);
}

// Arguments: distribution kind (1 uniform, 2 Gaussian of 10 dB, 3 Taylor), remember the density (1) or not (0).
void BM_Synthesis(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const bool memoise = state.range(1) != 0;
  const Design<float> in = heavy_design(kind);

  long steps = 0;
  long densities = 0;
  for (auto _ : state) {
    state.PauseTiming();
    design::SurfaceDerivatives<float> derivatives(in.aperture, memoise);
    state.ResumeTiming();
    const design::RayTable<float> table = design::synthesize(in, derivatives);
    benchmark::DoNotOptimize(table.rays.data());
    steps = static_cast<long>(table.counts.output_steps) * table.counts.steps_per_output;
    densities = derivatives.density_evaluations();
    if (table.rays.size() != 1001) state.SkipWithError("the design does not give 1001 rays");
  }
  const double per_step = static_cast<double>(densities) / static_cast<double>(steps);
  state.counters["steps"] = static_cast<double>(steps);
  state.counters["time_per_step"] = benchmark::Counter(
      static_cast<double>(steps), benchmark::Counter::kIsIterationInvariantRate |
                                      benchmark::Counter::kInvert);
  state.counters["densities_per_step"] = per_step;
  // taylor_amplitude makes nbar - 1 Bessel calls per density at |r| <= 1 (all but the
  // last few radii); the other kinds none.
  state.counters["besj_per_step"] = kind == 3 ? per_step * (kNbar - 1) : 0.0;
}
BENCHMARK(BM_Synthesis)
    ->ArgNames({"kind", "memo"})
    ->Args({3, 1})
    ->Args({3, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
