// The design report of a 1001-ray design at D/lambda = 1000: analysis alone
// and with the files written.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "analysis/analysis.h"
#include "design/choices.h"
#include "design/scaled.h"
#include "design/synthesis.h"
#include "reference_design.h"
#include "report/report.h"
#include "run/pipeline.h"

namespace {

analysis::DesignInput large_design() {
  const test::Geometry g;
  const double n = test::feed_exponent(40.0, -10.0);
  const auto dist = test::taylor(25.0, 4);
  const auto p = test::scaled_profiles(test::reference_rays(g, n, dist.density, test::even_radii(g.hole_radius, 1001)), 100.0);
  analysis::DesignInput in;
  in.sub_r = p.sub_r;
  in.sub_z = p.sub_z;
  in.main_r = p.main_r;
  in.main_z = p.main_z;
  in.main_diameter = 100.0;
  in.hole_radius = p.main_r.front();
  in.feed_exponent = n;
  in.sub_half_angle_rad = std::atan(g.sub_radius / g.feed_to_sub_rim);
  in.wanted_density = dist.density;
  in.distribution = dist.name;
  in.double_precision = true;
  return in;
}

void BM_Analyse1001RaysAt1000Wavelengths(benchmark::State& state) {
  const auto in = large_design();
  analysis::Options o;
  o.wavelength = 0.1;
  for (auto _ : state) benchmark::DoNotOptimize(analysis::analyse(in, o));
}
BENCHMARK(BM_Analyse1001RaysAt1000Wavelengths)->Unit(benchmark::kMillisecond);

void BM_WholeReport1001RaysAt1000Wavelengths(benchmark::State& state) {
  const auto in = large_design();
  analysis::Options o;
  o.wavelength = 0.1;
  const auto dir = std::filesystem::temp_directory_path() / "ravost_analysis_bench";
  for (auto _ : state) report::write_report(analysis::analyse(in, o), in, dir);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WholeReport1001RaysAt1000Wavelengths)->Unit(benchmark::kMillisecond);

// A synthesised 1001-row Taylor design (10 integration steps a row, 64-bit):
// the report traces its 10,001 steps and the written profiles, splits the
// loss and searches the sampling advice.
analysis::DesignInput synthesised_design() {
  design::DesignSpec s;
  s.geometry = {0.2, 0.5, 0.25, 0.1};
  s.feed.beamwidth_deg = 40.0;
  s.feed.level_db = -10.0;
  s.aperture.kind = design::Distribution::taylor;
  s.aperture.sidelobe_db = 25.0;
  s.aperture.nbar = 4;
  s.synthesis = {0.00009, 0.0009};
  s.precision = design::Precision::double_;
  return *run::make_scaled(s, 100.0).report_input;
}

void BM_AnalyseSynthesised1001RowsAt1000Wavelengths(benchmark::State& state) {
  const auto in = synthesised_design();
  analysis::Options o;
  o.wavelength = 0.1;
  for (auto _ : state) benchmark::DoNotOptimize(analysis::analyse(in, o));
}
BENCHMARK(BM_AnalyseSynthesised1001RowsAt1000Wavelengths)->Unit(benchmark::kMillisecond);

}  // namespace
