// Timing of the whole surface synthesis for a heavy design: 1001 rays at a
// calculation interval of 1e-5 (88 000 Runge-Kutta steps), with the Taylor
// distribution of nbar = 20 (19 Bessel calls per aperture density) and, for
// comparison, with the uniform and Gaussian distributions.  Reports the time per step and
// the aperture densities and Bessel calls per step, with the aperture density
// remembered per radius (as the program runs) and evaluated on every call.
// BM_Synthesis64 times the same designs in 64-bit reals, so the cost of the
// 64-bit mode against the 32-bit one can be read off (its Taylor amplitude
// comes from a Chebyshev series, not from Bessel calls).
#include <benchmark/benchmark.h>

#include <type_traits>

#include "design/choices.h"
#include "design/synthesis.h"

namespace {

using design::Design;

constexpr int kNbar = 20;

// The example geometry (hole rim to feed 0.2, feed to subreflector rim 0.5,
// subreflector radius 0.25, hole radius 0.12) with a 40 degree feed at
// -10 dB, 1001 rays 0.00088 apart, 88 steps of 1e-5 per ray.
template <class Real>
Design<Real> heavy_design(int kind) {
  design::DesignSpec choices;
  choices.geometry = {0.2, 0.5, 0.25, 0.12};
  choices.feed = {40.0, -10.0};
  choices.aperture = kind == 3   ? design::ApertureSpec{design::Distribution::taylor, 0.0, 30.0, kNbar}
                  : kind == 2 ? design::ApertureSpec{design::Distribution::gaussian, 10.0}
                              : design::ApertureSpec{};
  choices.synthesis = {0.00001, 0.00088};
  choices.precision =
      std::is_same_v<Real, float> ? design::Precision::single : design::Precision::double_;
  return design::make_design<Real>(choices);
}

// Arguments: distribution kind (1 uniform, 2 Gaussian of 10 dB, 3 Taylor), remember the density (1) or not (0).
template <class Real>
void synthesis(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const bool memoise = state.range(1) != 0;
  const Design<Real> in = heavy_design<Real>(kind);

  long steps = 0;
  long densities = 0;
  for (auto _ : state) {
    state.PauseTiming();
    design::SurfaceDerivatives<Real> derivatives(in.aperture, memoise);
    state.ResumeTiming();
    const design::RayTable<Real> table = design::synthesize(in, derivatives);
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
  // last few radii); the other kinds none, nor the 64-bit Taylor kind, which
  // evaluates its Chebyshev series instead.
  const bool bessel = kind == 3 && in.aperture.chebyshev.terms == 0;
  state.counters["besj_per_step"] = bessel ? per_step * (kNbar - 1) : 0.0;
}

void BM_Synthesis(benchmark::State& state) { synthesis<float>(state); }
void BM_Synthesis64(benchmark::State& state) { synthesis<double>(state); }

BENCHMARK(BM_Synthesis)
    ->ArgNames({"kind", "memo"})
    ->Args({3, 1})
    ->Args({3, 0})
    ->Args({1, 1})
    ->Args({1, 0})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Synthesis64)
    ->ArgNames({"kind", "memo"})
    ->Args({3, 1})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
