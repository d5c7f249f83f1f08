// The physical optics of a synthesised design (Taylor 25 dB, nbar 4) at
// D/lambda 100 to 3000: the physical optics alone (the geometrical optics
// done once beforehand), and the whole report with the files written.
// Counters: the directivity and first sidelobe, and (where affordable) how
// much doubling every sampling moves them.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <thread>

#include "analysis/analysis.h"
#include "design/choices.h"
#include "design/scaled.h"
#include "design/synthesis.h"
#include "report/report.h"
#include "run/pipeline.h"

namespace {

analysis::DesignInput design_input() {
  design::DesignSpec s;
  s.geometry = {0.2, 0.5, 0.25, 0.1};
  s.feed.beamwidth_deg = 40.0;
  s.feed.level_db = -10.0;
  s.aperture.kind = design::Distribution::taylor;
  s.aperture.sidelobe_db = 25.0;
  s.aperture.nbar = 4;
  s.synthesis = {0.001, 0.02};
  s.precision = design::Precision::double_;
  return *run::make_scaled(s, 100.0).report_input;
}

void BM_PhysicalOptics(benchmark::State& state) {
  const auto in = design_input();
  const double d_over_lambda = static_cast<double>(state.range(0));
  analysis::Options o;
  o.wavelength = 100.0 / d_over_lambda;
  const analysis::Report go = analysis::analyse(in, o);
  analysis::PhysicalOptics po;
  for (auto _ : state) po = analysis::physical_optics(in, o, go);
  state.counters["directivity_dbi"] = po.result.directivity_dbi;
  state.counters["sidelobe_db"] = po.result.first_sidelobe_db;
  state.counters["main_nodes"] = po.result.main_nodes;
  state.counters["sub_nodes"] = po.result.sub_nodes;
  if (d_over_lambda <= 1000) {
    // Every sampling doubled (not timed).
    analysis::Options fine = o;
    fine.po_sampling.factor = 2.0;
    const analysis::PhysicalOptics doubled = analysis::physical_optics(in, fine, go);
    state.counters["doubled_directivity_change_db"] = doubled.result.directivity_dbi - po.result.directivity_dbi;
    state.counters["doubled_sidelobe_change_db"] = doubled.result.first_sidelobe_db - po.result.first_sidelobe_db;
  }
  state.counters["threads"] = static_cast<double>(std::thread::hardware_concurrency());
}
BENCHMARK(BM_PhysicalOptics)->Arg(100)->Arg(300)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);

// The physical optics as a sweep or the optimiser computes it for one
// design: its figures alone (no power over the sphere, the cuts only as far
// as the figures need), on one thread as each design of a two-job sweep on
// two cores gets.  Arguments: D/lambda; 1 for the whole report's physical
// optics on one thread instead, to compare.
void BM_PhysicalOpticsFigures(benchmark::State& state) {
  const auto in = design_input();
  analysis::Options o;
  o.wavelength = 100.0 / static_cast<double>(state.range(0));
  o.po_sampling.threads = 1;
  o.po_figures_only = state.range(1) == 0;
  const analysis::Report go = analysis::analyse(in, o);
  analysis::PhysicalOptics po;
  for (auto _ : state) po = analysis::physical_optics(in, o, go);
  state.counters["directivity_dbi"] = po.result.directivity_dbi;
  state.counters["sidelobe_db"] = po.result.first_sidelobe_db;
  state.counters["angles"] = po.result.angles;
}
BENCHMARK(BM_PhysicalOpticsFigures)->Args({100, 0})->Args({100, 1})->Unit(benchmark::kMillisecond)->MinTime(0.5);

void BM_PhysicalOpticsReport(benchmark::State& state) {
  const auto in = design_input();
  analysis::Options o;
  o.wavelength = 100.0 / static_cast<double>(state.range(0));
  o.physical_optics = true;
  const auto dir = std::filesystem::temp_directory_path() / "ravost_po_bench";
  double difference = 0;
  for (auto _ : state) {
    const analysis::Report r = analysis::analyse(in, o);
    report::write_report(r, in, dir);
    difference = r.physical_optics->difference_db;
  }
  std::filesystem::remove_all(dir);
  state.counters["go_minus_po_db"] = difference;
  state.counters["threads"] = static_cast<double>(std::thread::hardware_concurrency());
}
BENCHMARK(BM_PhysicalOpticsReport)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
