// Sweep throughput: designs of the h 0.3 / f 0.4 / s 0.15 / r0 0.1 geometry
// (uniform, calc 0.001, 91 rays, figures at D/lambda 100), the subreflector
// radius varied, on one and on two threads.  Reports designs per second and
// per second per thread; a 1000-design sweep takes 1000 / rate seconds.
// The physical optics in the loop: 200 designs at D/lambda 100 on two threads.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "sweep/sweep.h"

namespace {

constexpr const char* kDesign = R"([geometry]
main_hole_to_feed = 0.3
feed_to_sub_rim = 0.4
sub_radius = 0.15
main_inner_radius = 0.1

[feed]
beamwidth_deg = 40.0
level_db = -10.0

[aperture]
distribution = "%s"
%s
[synthesis]
calc_interval = 0.001
output_interval = 0.01
precision = "64-bit"

[scale]
diameter = 2.0

[report]
folder = "report"
wavelength = 0.02
)";

std::filesystem::path design_file(const char* distribution, const char* extra) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("ravost_sweep_bench_" + std::to_string(::getpid()) + "_" + distribution + ".toml");
  char text[2048];
  std::snprintf(text, sizeof text, kDesign, distribution, extra);
  std::ofstream(path) << text;
  return path;
}

// Arguments: threads, distribution (1 uniform, 3 Taylor 30 dB nbar 20).
void BM_Sweep(benchmark::State& state) {
  const int jobs = static_cast<int>(state.range(0));
  const bool taylor = state.range(1) == 3;
  const auto file = taylor ? design_file("taylor", "sidelobe_db = 30.0\nnbar = 20\n") : design_file("uniform", "");
  const sweep::DesignTemplate t(file);
  if (t.problem()) {
    state.SkipWithError(diag::render(*t.problem()).c_str());
    return;
  }
  constexpr int kDesigns = 100;
  sweep::SweepPlan plan;
  plan.axes = {{"geometry.sub_radius", 0.13, 0.17, kDesigns}};
  plan.jobs = jobs;
  long ok = 0;
  for (auto _ : state) {
    const sweep::SweepResult r = sweep::run_sweep(t, plan);
    ok = 0;
    for (const sweep::Row& row : r.rows) ok += row.evaluation.ok();
  }
  if (ok != kDesigns) state.SkipWithError("a design of the sweep failed");
  state.counters["designs_per_s"] =
      benchmark::Counter(static_cast<double>(kDesigns), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["designs_per_s_per_thread"] =
      benchmark::Counter(static_cast<double>(kDesigns) / jobs, benchmark::Counter::kIsIterationInvariantRate);
  std::filesystem::remove(file);
}
BENCHMARK(BM_Sweep)
    ->ArgNames({"jobs", "kind"})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({2, 3})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

// The same sweep with each design's physical optics (its figures alone, as
// `ravost sweep --physical-optics` computes them) at D/lambda 100: 200
// designs on two threads.
void BM_SweepPhysicalOptics(benchmark::State& state) {
  const auto file = design_file("uniform", "");
  const sweep::DesignTemplate t(file);
  if (t.problem()) {
    state.SkipWithError(diag::render(*t.problem()).c_str());
    return;
  }
  constexpr int kDesigns = 200;
  sweep::SweepPlan plan;
  plan.axes = {{"geometry.sub_radius", 0.13, 0.17, kDesigns}};
  plan.jobs = 2;
  plan.evaluation.physical_optics = true;
  long ok = 0;
  for (auto _ : state) {
    const sweep::SweepResult r = sweep::run_sweep(t, plan);
    ok = 0;
    for (const sweep::Row& row : r.rows) ok += row.evaluation.ok() && std::isfinite(row.evaluation.figure("po_directivity_dbi"));
  }
  if (ok != kDesigns) state.SkipWithError("a design of the sweep failed");
  state.counters["designs_per_s"] =
      benchmark::Counter(static_cast<double>(kDesigns), benchmark::Counter::kIsIterationInvariantRate);
  std::filesystem::remove(file);
}
BENCHMARK(BM_SweepPhysicalOptics)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
