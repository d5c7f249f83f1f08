// The physical optics of a synthesised design (Taylor 25 dB, nbar 4) at
// D/lambda 100 and 1000: the whole report, geometrical optics and physical
// optics, with the files written.  Counters: the directivity the physical
// optics finds below the geometrical optics, and the threads used.
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
