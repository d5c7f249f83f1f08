// Timing of the routines on the synthesis' hot path: BESJ of order 0 over the
// arguments the Taylor distribution uses, and one RUNGE step.
#include <array>
#include <cmath>
#include <span>

#include <benchmark/benchmark.h>

#include "numerics/besj.h"
#include "numerics/runge.h"

namespace {

// J0 at 256 arguments spread over [0, 64]: both the series (x <= 6) and the
// asymptotic expansion are timed in proportion to their share of that range.
void BM_BesjOrderZero(benchmark::State& state) {
  std::array<float, 256> args{};
  for (std::size_t k = 0; k < args.size(); ++k) args[k] = 64.0f * static_cast<float>(k) / 255.0f;
  for (auto _ : state) {
    for (float x : args) benchmark::DoNotOptimize(numerics::BESJ(x, 0.0f));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(args.size()));
}
BENCHMARK(BM_BesjOrderZero);

// The series alone (x in [0, 6]) and the expansion alone (x in (6, 64]).
void BM_BesjOrderZeroRange(benchmark::State& state) {
  const float lo = static_cast<float>(state.range(0));
  const float hi = static_cast<float>(state.range(1));
  std::array<float, 256> args{};
  for (std::size_t k = 0; k < args.size(); ++k) {
    args[k] = lo + (hi - lo) * static_cast<float>(k + 1) / 256.0f;
  }
  for (auto _ : state) {
    for (float x : args) benchmark::DoNotOptimize(numerics::BESJ(x, 0.0f));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(args.size()));
}
BENCHMARK(BM_BesjOrderZeroRange)->Args({0, 6})->Args({6, 64});

// One step of a three-equation system (a rotation plus a decay), with a
// derivative routine that is cheap, so the integrator's own work dominates.
void BM_RungeStepThreeEquations(benchmark::State& state) {
  std::array<float, 4> y = {0.0f, 1.0f, 0.0f, 0.5f};
  std::array<float, 4> w = y;
  std::array<float, 3> k1{}, k2{}, k3{}, k4{};
  auto f = [](std::span<const float> v, int i) {
    switch (i) {
      case 1: return -v[2];
      case 2: return v[1];
      default: return -0.5f * v[3];
    }
  };
  for (auto _ : state) {
    numerics::RUNGE(y, 3, 0.01f, 1, f, k1, k2, k3, k4, w);
    benchmark::DoNotOptimize(y);
  }
}
BENCHMARK(BM_RungeStepThreeEquations);

}  // namespace
