// The run of one design as one value: the run without a console holds the
// very stages the console run prints and writes; a design that cannot go on
// stops at its stage with the same sentence for every front end; the
// report's figures are those of the written report.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "diag/diagnostic.h"
#include "run/evaluate.h"
#include "run/pipeline.h"
#include "tests/test_util.h"

namespace {

using run::Stage;

design::DesignSpec in_double(design::DesignSpec s) {
  s.precision = design::Precision::double_;
  return s;
}

// The example scaled to 100 across, its subreflector extrapolated to 26,
// with a figure, a listing and a surface file.
writers::OutputPlan full_plan() {
  writers::OutputPlan plan;
  plan.diameter = 100.0;
  plan.extrapolated_sub_diameter = 26.0;
  plan.figure_file = "f.plt";
  plan.main_listing = writers::ListingRequest{10.0, 50.0, 10.0};
  plan.sub_surface = writers::SurfaceFileRequest{"s.rsf", 20, "sub"};
  return plan;
}

TEST(RunDesign, WithoutAConsoleItHoldsTheStagesTheConsoleRunPrintsAndWritesNothing) {
  testutil::StageRun console("");
  const run::RunResult shown = run::run_design(testutil::example_choices(), full_plan(), {}, console.context);
  const run::RunResult quiet = run::run_design(testutil::example_choices(), full_plan(), {});

  ASSERT_TRUE(shown.ok());
  ASSERT_TRUE(quiet.ok());
  EXPECT_EQ(shown.files, (std::vector<std::string>{"f.plt", "s.rsf"}));
  EXPECT_TRUE(std::filesystem::exists(console.dir.path() / "f.plt"));
  EXPECT_TRUE(std::filesystem::exists(console.dir.path() / "s.rsf"));
  EXPECT_TRUE(quiet.files.empty());
  EXPECT_FALSE(std::filesystem::exists("f.plt"));
  EXPECT_FALSE(std::filesystem::exists("s.rsf"));
  EXPECT_EQ(shown.reached, Stage::files);
  EXPECT_EQ(quiet.reached, Stage::listings);  // the plan's files are left out

  ASSERT_FALSE(shown.double_precision());
  const run::Made<float>& a = shown.in<float>();
  const run::Made<float>& b = quiet.in<float>();
  ASSERT_TRUE(a.synthesis && b.synthesis && a.scaled && b.scaled);
  ASSERT_EQ(a.synthesis->table.rays.size(), 45u);  // rows every 0.02 from the hole (0.12) to the rim
  ASSERT_EQ(b.synthesis->table.rays.size(), a.synthesis->table.rays.size());
  for (std::size_t i = 0; i < a.synthesis->table.rays.size(); ++i) {
    EXPECT_EQ(a.synthesis->table.rays[i].sub_z, b.synthesis->table.rays[i].sub_z) << i;
    EXPECT_EQ(a.synthesis->table.rays[i].main_z, b.synthesis->table.rays[i].main_z) << i;
  }
  EXPECT_TRUE(quiet.summary()->sound());
  EXPECT_EQ(b.scaled->sub_rim_diameter, 26.0f);
  EXPECT_EQ(b.scaled->sub_r, a.scaled->sub_r);
  EXPECT_EQ(quiet.plan.main_listing->step, 10.0);
  // The console run printed what the quiet one kept to itself.
  EXPECT_NE(console.console().find("Main Reflector"), std::string::npos);
}

TEST(RunDesign, ARefusedDesignNamesEveryProblemAndGoesNoFurther) {
  design::DesignSpec s = testutil::example_choices();
  s.geometry.sub_radius = -0.25;
  s.geometry.main_inner_radius = -0.1;
  const std::size_t problems = design::validate(s).size();
  ASSERT_GE(problems, 2u);

  const run::RunResult quiet = run::run_design(s, full_plan(), {});
  EXPECT_EQ(quiet.failed, Stage::checked);
  EXPECT_EQ(quiet.reached, Stage::none);
  EXPECT_EQ(quiet.diagnostics.size(), problems);
  EXPECT_FALSE(quiet.in<float>().design.has_value());
  for (const diag::Diagnostic& d : quiet.diagnostics) {
    EXPECT_TRUE(d.is_error());
    EXPECT_EQ(d.message.rfind("Error", 0), std::string::npos) << d.message;
  }
  // Each names the design-file key of its input, as the design file's own
  // check does.
  EXPECT_EQ(quiet.diagnostics.front().key, "geometry.sub_radius");
  EXPECT_EQ(quiet.diagnostics.back().key, "geometry.main_inner_radius");
  // A sweep's row names the refusal by its sentence alone.
  const run::Evaluation e = run::evaluate(s, {100.0, 0.0, std::nullopt});
  EXPECT_EQ(e.status, "refused");
  EXPECT_EQ(e.reason, quiet.diagnostics.front().message);

  // With a console the run ends with every problem, one line each, and has
  // printed nothing.
  testutil::StageRun console("");
  const std::string report =
      testutil::run_error([&] { run::run_design(s, full_plan(), {}, console.context); });
  EXPECT_EQ(report, diag::render(quiet.diagnostics));
  EXPECT_EQ(console.console(), "");

  try {
    run::make_scaled(s, 2.0);
    ADD_FAILURE() << "a refused design was made";
  } catch (const diag::Failure& f) {
    EXPECT_EQ(f.diagnostics().size(), problems);
  }
}

TEST(RunDesign, AnExtrapolationItCannotMakeReadsTheSameInEveryFrontEnd) {
  const design::DesignSpec s = in_double(testutil::example_choices());
  writers::OutputPlan plan;
  plan.diameter = 100.0;
  plan.extrapolated_sub_diameter = 10.0;  // inside the rim

  testutil::StageRun console("");
  run::RunResult so_far;
  const std::string report =
      testutil::run_error([&] { run::run_design(s, plan, {}, console.context, &so_far); });
  ASSERT_EQ(report.rfind("Error: scale.extrapolate_sub_diameter: the new subreflector diameter must be larger "
                         "than the present ", 0),
            0u)
      << report;

  const run::RunResult quiet = run::run_design(s, plan, {});
  EXPECT_EQ(quiet.failed, Stage::extrapolated);
  EXPECT_EQ(quiet.reached, Stage::scaled);
  ASSERT_EQ(quiet.diagnostics.size(), 1u);
  EXPECT_EQ(quiet.diagnostics[0].key, "scale.extrapolate_sub_diameter");
  EXPECT_EQ(diag::render(quiet.diagnostics[0]), report);
  // The console run ended there too, its scaled design kept.
  EXPECT_EQ(so_far.failed, Stage::extrapolated);
  ASSERT_TRUE(so_far.in<double>().scaled.has_value());
  EXPECT_EQ(so_far.in<double>().scaled->sub_rim_diameter, quiet.in<double>().scaled->sub_rim_diameter);
  EXPECT_EQ(so_far.diagnostics.size(), 1u);

  const run::Evaluation e = run::evaluate(s, {100.0, 0.0, 10.0});
  EXPECT_EQ(e.status, "refused");
  EXPECT_EQ("Error: " + e.reason, report);
}

TEST(RunDesign, ASynthesisThatBreaksDownStopsThereWithItsSummary) {
  // A subreflector rim the feed barely lights: the surfaces stop being
  // finite at the second ray, in either precision.
  design::DesignSpec s = testutil::example_choices();
  s.geometry.feed_to_sub_rim = 0.1;
  for (const design::Precision p : {design::Precision::single, design::Precision::double_}) {
    const run::RunResult r = run::run_design(s, full_plan(), testutil::in_precision(p));
    EXPECT_EQ(r.failed, Stage::synthesised);
    EXPECT_EQ(r.reached, Stage::designed);
    ASSERT_NE(r.summary(), nullptr);
    EXPECT_EQ(r.summary()->broken_ray, 2);
    ASSERT_EQ(r.diagnostics.size(), 1u);
    // The report the console shows, with its advice; a sweep's row keeps
    // the one sentence.
    EXPECT_EQ(r.diagnostics[0].message.rfind("the integration breaks down at ray 2 (", 0), 0u)
        << r.diagnostics[0].message;
    EXPECT_FALSE(r.diagnostics[0].suggestion.empty());
  }
  const run::Evaluation e = run::evaluate(s, {100.0, 0.0, std::nullopt});
  EXPECT_EQ(e.status, "failed");
  EXPECT_EQ(e.reason, "the surfaces stop being finite at ray 2.");
}

run::RunOptions report_to(const std::filesystem::path& folder) {
  run::RunOptions o;
  o.report = writers::ReportRequest{folder, 2.0, false};
  return o;
}

run::RunOptions figures_at(double wavelength) {
  run::RunOptions o;
  o.report_figures = true;
  o.wavelength = wavelength;
  return o;
}

TEST(RunDesign, TheReportFiguresAreThoseOfTheWrittenReport) {
  const design::DesignSpec s = in_double(testutil::example_choices());
  writers::OutputPlan plan;
  plan.diameter = 100.0;
  testutil::StageRun console("");
  const std::filesystem::path folder = console.dir.path() / "rep";
  const run::RunResult written =
      run::run_design(s, plan, report_to(folder), console.context);
  ASSERT_TRUE(written.ok());
  EXPECT_EQ(written.files, std::vector<std::string>{folder.string()});
  ASSERT_TRUE(written.report.has_value());
  const nlohmann::json json = nlohmann::json::parse(testutil::read_file(folder / "report.json"));

  const run::RunResult figures = run::run_design(s, plan, figures_at(2.0));
  ASSERT_TRUE(figures.report.has_value());
  EXPECT_EQ(figures.report->d_over_lambda, 50.0);
  EXPECT_NEAR(figures.report->directivity_dbi, json.at("directivity_dbi").get<double>(), 1e-9);
  EXPECT_NEAR(written.report->directivity_dbi, json.at("directivity_dbi").get<double>(), 1e-9);
  EXPECT_EQ(figures.report->physical_optics, nullptr);
  EXPECT_TRUE(figures.files.empty());
}

}  // namespace

namespace {

TEST(RunDesign, ACallersStopEndsTheRunInTheSynthesisOrTheReportAndIsNoFailure) {
  const design::DesignSpec s = in_double(testutil::example_choices());
  writers::OutputPlan plan;
  plan.diameter = 100.0;
  int asked = 0;
  run::RunOptions o = figures_at(2.0);
  o.stop = [&asked] { return ++asked < 0; };
  ASSERT_TRUE(run::run_design(s, plan, o).ok());
  const int asks = asked;
  ASSERT_GT(asks, 46);  // every row of the synthesis, then the report's steps

  for (const int at : {2, asks}) {
    asked = 0;
    o.stop = [&asked, at] { return ++asked >= at; };
    EXPECT_THROW(run::run_design(s, plan, o), run::Stopped) << at;
  }
  // A run at the console stops the same way, before the table is printed.
  testutil::StageRun console("");
  asked = 0;
  o.stop = [&asked] { return ++asked >= 2; };
  EXPECT_THROW(run::run_design(s, plan, o, console.context), run::Stopped);
  EXPECT_EQ(console.console().find("Main Reflector"), std::string::npos);
}

}  // namespace

namespace {

TEST(RunDesign, EveryWarningIsShownAndKeptInTheResultInTheOrderGiven) {
  // Listings that start inside the hole (r = 0 below the main reflector's
  // 6) and run past the subreflector's rim: two warnings, one per listing.
  writers::OutputPlan plan;
  plan.diameter = 100.0;
  plan.main_listing = writers::ListingRequest{0.0, 50.0, 10.0};
  plan.sub_listing = writers::ListingRequest{0.0, 20.0, 10.0};
  testutil::StageRun console("");
  const run::RunResult shown = run::run_design(testutil::example_choices(), plan, {}, console.context);
  const run::RunResult quiet = run::run_design(testutil::example_choices(), plan, {});
  ASSERT_TRUE(shown.ok());
  ASSERT_TRUE(quiet.ok());
  ASSERT_EQ(quiet.diagnostics.size(), 2u);
  EXPECT_EQ(quiet.diagnostics[0].severity, diag::Severity::warning);
  EXPECT_NE(quiet.diagnostics[0].message.find("outside the main reflector's radii"), std::string::npos);
  EXPECT_NE(quiet.diagnostics[1].message.find("outside the subreflector's radii"), std::string::npos);
  // The console run shows each as its rendered line and keeps the same.
  ASSERT_EQ(shown.diagnostics.size(), 2u);
  for (const diag::Diagnostic& d : shown.diagnostics) {
    EXPECT_NE(console.console().find(diag::render(d) + "\n"), std::string::npos) << d.message;
  }
  EXPECT_EQ(shown.diagnostics[0].message, quiet.diagnostics[0].message);
  EXPECT_TRUE(console.context.warnings.empty());  // all taken into the result
  // A warning does not make a refusal.
  EXPECT_EQ(run::evaluate(testutil::example_choices(), {100.0, 0.0, std::nullopt}).status, "ok");
}

TEST(RunDesign, AWarningGivenBeforeTheStageThatFailsComesBeforeItsError) {
  // The main listing warns; the subreflector's step cannot reach its stop.
  writers::OutputPlan plan;
  plan.diameter = 100.0;
  plan.main_listing = writers::ListingRequest{0.0, 50.0, 10.0};
  plan.sub_listing = writers::ListingRequest{0.0, 20.0, -1.0};
  const run::RunResult r = run::run_design(testutil::example_choices(), plan, {});
  EXPECT_EQ(r.failed, Stage::listings);
  ASSERT_EQ(r.diagnostics.size(), 2u);
  EXPECT_FALSE(r.diagnostics[0].is_error());
  EXPECT_TRUE(r.diagnostics[1].is_error());
  EXPECT_EQ(r.diagnostics[1].key, "listing.sub");
}

}  // namespace
