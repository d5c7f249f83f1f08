// Timing of the routines on the synthesis' hot path: BESJ of order 0 over the
// arguments the Taylor distribution uses, and one RUNGE step.
#include <array>
#include <cmath>
#include <span>

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

#include "design/aperture.h"
#include "numerics/besj_lanes.h"

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


// The Taylor density's 19 arguments j1(n) r, n = 1..19, at 32 radii spread
// over (0, 1]: as many series as expansion arguments as the density meets.
constexpr std::size_t kTaylorArgs = 19;
constexpr std::size_t kRadii = 32;
std::array<std::array<float, kTaylorArgs>, kRadii> taylor_arguments() {
  std::array<std::array<float, kTaylorArgs>, kRadii> args{};
  for (std::size_t i = 0; i < kRadii; ++i) {
    const float r = static_cast<float>(i + 1) / static_cast<float>(kRadii);
    for (std::size_t n = 0; n < kTaylorArgs; ++n) args[i][n] = design::j1_zeros<float>()[n] * r;
  }
  return args;
}

// J0 at 19 arguments by the scalar BESJ, one after the other.
void BM_BesjTaylorScalar(benchmark::State& state) {
  const auto args = taylor_arguments();
  std::array<float, kTaylorArgs> j0{};
  for (auto _ : state) {
    for (const auto& at_r : args) {
      for (std::size_t n = 0; n < kTaylorArgs; ++n) j0[n] = numerics::BESJ(at_r[n], 0.0f);
      benchmark::DoNotOptimize(j0);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kRadii * kTaylorArgs));
}
BENCHMARK(BM_BesjTaylorScalar);

// The same 19 arguments in one batch: lanes chosen by the processor (0),
// 4 lanes (1) or 8 lanes (2).
void BM_BesjTaylorBatch(benchmark::State& state) {
  const auto lanes = static_cast<numerics::BesjLanes>(state.range(0));
  if (lanes == numerics::BesjLanes::eight && !numerics::besj_eight_lanes_available()) {
    state.SkipWithError("no AVX");
    return;
  }
  const auto args = taylor_arguments();
  std::array<float, kTaylorArgs> j0{};
  for (auto _ : state) {
    for (const auto& at_r : args) {
      numerics::BESJ0_many(at_r, j0, lanes);
      benchmark::DoNotOptimize(j0);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kRadii * kTaylorArgs));
}
BENCHMARK(BM_BesjTaylorBatch)->ArgName("lanes")->Arg(0)->Arg(1)->Arg(2);

}  // namespace
