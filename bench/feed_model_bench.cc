// A design and its report with a Gaussian feed against the same geometry
// with the beamwidth feed: the two must cost about the same.  And the
// enclosed power of each model alone, at the angles of a report's rays.
#include <benchmark/benchmark.h>

#include "analysis/analysis.h"
#include "design/choices.h"
#include "run/pipeline.h"

namespace {

// The bundled uniform example (32-bit reals) with the feed of `model`.
design::DesignSpec example(design::FeedModelKind model) {
  design::DesignSpec s;
  s.geometry = {0.2, 0.5, 0.25, 0.12};
  s.feed.model = model;
  s.feed.beamwidth_deg = 40.0;
  s.feed.level_db = -10.0;
  s.feed.taper_db = 10.0;
  s.feed.taper_angle_deg = 20.0;
  s.synthesis = {0.001, 0.02};
  return s;
}

// Design, synthesis, scaling and the report's figures, as a run with a report.
void design_and_report(benchmark::State& state, design::FeedModelKind model) {
  const design::DesignSpec s = example(model);
  for (auto _ : state) {
    const run::RunResult r = run::make_scaled(s, 100.0);
    benchmark::DoNotOptimize(analysis::analyse(*r.report_input, analysis::Options{}));
  }
}

void BM_DesignAndReportBeamwidthFeed(benchmark::State& state) {
  design_and_report(state, design::FeedModelKind::beamwidth);
}
BENCHMARK(BM_DesignAndReportBeamwidthFeed)->Unit(benchmark::kMillisecond);

void BM_DesignAndReportGaussianFeed(benchmark::State& state) {
  design_and_report(state, design::FeedModelKind::gaussian);
}
BENCHMARK(BM_DesignAndReportGaussianFeed)->Unit(benchmark::kMillisecond);

// The enclosed power at 3001 angles from the axis to the subreflector's rim
// (about 26.6 degrees), as the report's ray weights ask for it.
void enclosed_power(benchmark::State& state, design::FeedModelKind model) {
  const design::FeedModel<double> m = design::make_design<double>(example(model)).feed_model;
  for (auto _ : state) {
    double sum = 0;
    for (int i = 0; i <= 3000; ++i) sum += m.enclosed_power_double(0.4636 * i / 3000.0);
    benchmark::DoNotOptimize(sum);
  }
}

void BM_EnclosedPower3001AnglesBeamwidthFeed(benchmark::State& state) {
  enclosed_power(state, design::FeedModelKind::beamwidth);
}
BENCHMARK(BM_EnclosedPower3001AnglesBeamwidthFeed)->Unit(benchmark::kMicrosecond);

void BM_EnclosedPower3001AnglesGaussianFeed(benchmark::State& state) {
  enclosed_power(state, design::FeedModelKind::gaussian);
}
BENCHMARK(BM_EnclosedPower3001AnglesGaussianFeed)->Unit(benchmark::kMicrosecond);

// Making the Gaussian model (its table) alone.
void BM_MakeGaussianFeedModel(benchmark::State& state) {
  const design::DesignSpec s = example(design::FeedModelKind::gaussian);
  for (auto _ : state) benchmark::DoNotOptimize(design::make_design<double>(s).feed_model);
}
BENCHMARK(BM_MakeGaussianFeedModel)->Unit(benchmark::kMicrosecond);

}  // namespace
