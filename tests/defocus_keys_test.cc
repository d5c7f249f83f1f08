// The feed's axial offset and the surface error's RMS as design-file keys:
// read and written back, refused with their line where they cannot be,
// usable as the keys of a sweep, and a refused run writes nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "designfile/design_file.h"
#include "diag/diagnostic.h"
#include "sweep/sweep.h"
#include "tests/test_util.h"

namespace {

using testutil::TempDir;

// The uniform example at D = 100 (feed 10 above the main reflector's hole
// rim, 25 below the subreflector's rim), 64-bit, without output files.
constexpr const char* kDesign = R"([geometry]
main_hole_to_feed = 0.2
feed_to_sub_rim = 0.5
sub_radius = 0.25
main_inner_radius = 0.12

[feed]
beamwidth_deg = 40.0
level_db = -10.0
axial_offset = 0

[aperture]
distribution = "uniform"

[synthesis]
calc_interval = 0.001
output_interval = 0.02
precision = "64-bit"

[scale]
diameter = 100.0

[report]
folder = "report"
wavelength = 1.0
surface_rms = 0
)";
constexpr int kOffsetLine = 10, kRmsLine = 26;

std::string with(const std::string& key, const std::string& value) {
  std::string text = kDesign;
  const std::string from = key + " = 0\n";
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << key;
  return text.replace(at, from.size(), key + " = " + value + "\n");
}

designfile::ReadResult parse(const std::string& text) { return designfile::parse(text, "t.toml"); }

// The one error of a refused text.
std::string error_of(const std::string& text) {
  const designfile::ReadResult r = parse(text);
  EXPECT_FALSE(r.file);
  EXPECT_EQ(r.errors.size(), 1u);
  return r.errors.empty() ? std::string() : diag::render(r.errors.front());
}

TEST(DefocusKeys, ReadAndWrittenBack) {
  const designfile::ReadResult r = parse(with("axial_offset", "-0.75"));
  ASSERT_TRUE(r.file);
  EXPECT_EQ(r.file->choices.feed.axial_offset, -0.75);
  const designfile::ReadResult s = parse(with("surface_rms", "0.1"));
  ASSERT_TRUE(s.file && s.file->plan.report);
  EXPECT_EQ(s.file->plan.report->surface_rms, 0.1);
  // Written back in 64 bits, also in a 32-bit design.
  designfile::DesignFile f = *s.file;
  f.choices.feed.axial_offset = 0.1 + 0.2;
  f.choices.precision = design::Precision::single;
  const designfile::ReadResult back = parse(designfile::to_toml(f.choices, f.plan));
  ASSERT_TRUE(back.file);
  EXPECT_EQ(back.file->choices.feed.axial_offset, 0.1 + 0.2);
  EXPECT_EQ(back.file->plan.report->surface_rms, 0.1);
  // Left out when 0.
  f.choices.feed.axial_offset = 0;
  f.plan.report->surface_rms = 0;
  const std::string text = designfile::to_toml(f.choices, f.plan);
  EXPECT_EQ(text.find("axial_offset"), std::string::npos);
  EXPECT_EQ(text.find("surface_rms"), std::string::npos);
}

TEST(DefocusKeys, BadValuesAreRefusedAtTheirLine) {
  const std::string offset = "Error in t.toml, line " + std::to_string(kOffsetLine) + ": feed.axial_offset: ";
  const std::string rms = "Error in t.toml, line " + std::to_string(kRmsLine) + ": report.surface_rms: ";
  EXPECT_EQ(error_of(with("axial_offset", "\"near\"")), offset + "expected a number, found a string.");
  EXPECT_EQ(error_of(with("surface_rms", "true")), rms + "expected a number, found true or false.");
  EXPECT_EQ(error_of(with("surface_rms", "-0.001")), rms + "the RMS of the surface error must not be negative.");
  EXPECT_EQ(error_of(with("surface_rms", "nan")), rms + "the value must be a finite number, not nan.");
  // The main reflector's hole rim lies 10 behind the feed, the
  // subreflector's rim 25 ahead of it: one step either side of each.
  EXPECT_EQ(error_of(with("axial_offset", "-10")),
            offset + "the offset -10 puts the feed's phase centre behind the main reflector, whose hole rim lies 10 "
                     "below the feed point; it must be greater than -10.");
  EXPECT_TRUE(parse(with("axial_offset", "-9.999999")).file);
  EXPECT_EQ(error_of(with("axial_offset", "25")),
            offset + "the offset 25 puts the feed's phase centre through the subreflector, whose rim lies 25 "
                     "above the feed point; it must be less than 25.");
  EXPECT_TRUE(parse(with("axial_offset", "24.999999")).file);
  EXPECT_TRUE(parse(with("surface_rms", "0")).file);
}

// The subreflector's vertex, nearer the feed than its rim, is known once
// the surfaces are synthesised: the run refuses an offset through it.
TEST(DefocusKeys, AnOffsetThroughTheSubreflectorsVertexIsRefusedByTheRun) {
  const sweep::DesignTemplate t(kDesign, "t.toml");
  ASSERT_FALSE(t.problem());
  const run::EvaluationOptions options;
  // The vertex of this 64-bit design lies 22.7313 ahead of the feed point
  // (the subreflector's surface file starts there).
  const double vertex = 22.7313;
  EXPECT_TRUE(sweep::evaluate(t, {"feed.axial_offset"}, {vertex - 2e-4}, options).status != "refused");
  const run::Evaluation e = sweep::evaluate(t, {"feed.axial_offset"}, {vertex + 2e-4}, options);
  EXPECT_EQ(e.status, "refused");
  EXPECT_NE(e.reason.find("feed.axial_offset: the offset puts the feed's phase centre through the subreflector, whose "
                          "vertex lies 22.7313"),
            std::string::npos)
      << e.reason;
}

TEST(DefocusKeys, ASweepOverTheOffsetIsADefocusStudy) {
  const sweep::DesignTemplate t(kDesign, "t.toml");
  sweep::SweepPlan plan;
  plan.axes = {sweep::Axis{"feed.axial_offset", -2.0, 2.0, 5}};
  const sweep::SweepResult r = sweep::run_sweep(t, plan);
  ASSERT_EQ(r.rows.size(), 5u);
  for (const sweep::Row& row : r.rows) ASSERT_TRUE(row.evaluation.ok()) << row.evaluation.reason;
  const auto figure = [&](std::size_t i, const char* name) { return r.rows[i].evaluation.figure(name); };
  // The phase is best at the designed focus and falls both ways, further
  // for the larger offsets; the path error follows.  (The directivity need
  // not peak there: a feed nearer the subreflector sees it under a wider
  // angle and spills less.)
  EXPECT_GT(figure(2, "phase"), figure(1, "phase"));
  EXPECT_GT(figure(2, "phase"), figure(3, "phase"));
  EXPECT_GT(figure(1, "phase"), figure(0, "phase"));
  EXPECT_GT(figure(3, "phase"), figure(4, "phase"));
  EXPECT_LT(figure(2, "path_error_wavelengths"), figure(1, "path_error_wavelengths"));
  EXPECT_LT(figure(1, "path_error_wavelengths"), figure(0, "path_error_wavelengths"));
  EXPECT_LT(figure(3, "path_error_wavelengths"), figure(4, "path_error_wavelengths"));
  EXPECT_GT(figure(4, "spillover"), figure(0, "spillover"));
  for (std::size_t i = 1; i < 5; ++i) EXPECT_NE(figure(i, "directivity_dbi"), figure(i - 1, "directivity_dbi")) << i;
  EXPECT_EQ(figure(0, "surface"), 1.0);
  // The design itself does not change.
  EXPECT_EQ(figure(0, "sub_diameter"), figure(4, "sub_diameter"));
}

TEST(DefocusKeys, ASweepOverTheSurfaceRmsCarriesTheRuzeLoss) {
  const sweep::DesignTemplate t(kDesign, "t.toml");
  sweep::SweepPlan plan;
  // The file writes the key as 0, without a fraction: a real key takes the
  // sweep's values as they are all the same.
  plan.axes = {sweep::Axis{"report.surface_rms", 0.0, 0.05, 3}};
  const sweep::SweepResult r = sweep::run_sweep(t, plan);
  ASSERT_EQ(r.rows.size(), 3u);
  const double d0 = r.rows[0].evaluation.figure("directivity_dbi");
  for (const sweep::Row& row : r.rows) {
    const double rms = row.inputs[0];  // the wavelength is 1
    const double factor = std::exp(-std::pow(4 * M_PI * rms, 2));
    EXPECT_NEAR(row.evaluation.figure("surface"), factor, 1e-12) << rms;
    EXPECT_NEAR(row.evaluation.figure("directivity_dbi") - d0, 10 * std::log10(factor), 1e-9) << rms;
    EXPECT_EQ(row.evaluation.figure("phase"), r.rows[0].evaluation.figure("phase"));
  }
  // lambda/40 costs 0.429 dB.
  EXPECT_NEAR(r.rows[1].evaluation.figure("directivity_dbi") - d0, -0.4286, 1e-4);
}

// A real key the file writes without a fraction (axial_offset = 0) takes
// the value set, in the design a sweep evaluates and in the edited file an
// optimisation writes; a whole-number key still takes the nearest whole number.
TEST(DefocusKeys, ARealKeyWrittenWholeTakesTheValueSet) {
  const sweep::DesignTemplate t(kDesign, "t.toml");
  const designfile::ReadResult r = t.with({{"feed.axial_offset", 0.4}});
  ASSERT_TRUE(r.file);
  EXPECT_EQ(r.file->choices.feed.axial_offset, 0.4);
  const std::string edited = t.edited_text({{"feed.axial_offset", 0.4}, {"report.surface_rms", 1e-3}});
  EXPECT_NE(edited.find("axial_offset = 0.4\n"), std::string::npos) << edited;
  EXPECT_NE(edited.find("surface_rms = 0.001\n"), std::string::npos) << edited;
  std::string text = kDesign;
  text.replace(text.find("distribution = \"uniform\""), 24, "distribution = \"taylor\"\nsidelobe_db = 25\nnbar = 4");
  const sweep::DesignTemplate whole(text, "t.toml");
  ASSERT_FALSE(whole.problem());
  EXPECT_NE(whole.edited_text({{"aperture.nbar", 4.6}}).find("nbar = 5\n"), std::string::npos);
}

TEST(DefocusKeys, TheProgramRefusesABadOffsetAndWritesNothing) {
  TempDir dir;
  testutil::write_file(dir.path() / "d.toml",
                       with("axial_offset", "30") + "\n[figure]\nfile = \"d.plt\"\n");
  const testutil::ProgramExit e = testutil::run_program(dir.path(), "d.toml");
  EXPECT_NE(e.status, 0);
  EXPECT_NE(e.err.find("line 10: feed.axial_offset:"), std::string::npos) << e.err;
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) files.push_back(entry.path().filename());
  EXPECT_EQ(files, std::vector<std::string>{"d.toml"});

  // Through the vertex: the run stops before the figure and any report.
  testutil::write_file(dir.path() / "d.toml",
                       with("axial_offset", "23") + "\n[figure]\nfile = \"d.plt\"\n");
  const testutil::ProgramExit f = testutil::run_program(dir.path(), "d.toml");
  EXPECT_NE(f.status, 0);
  EXPECT_NE(f.err.find("feed.axial_offset:"), std::string::npos) << f.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "d.plt"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "report"));

  // A displaced feed and a rough surface: the report says so.
  testutil::write_file(dir.path() / "d.toml", with("axial_offset", "0.5"));
  ASSERT_EQ(testutil::run_program(dir.path(), "d.toml").status, 0);
  const nlohmann::json j = nlohmann::json::parse(testutil::read_file(dir.path() / "report" / "report.json"));
  EXPECT_EQ(j.at("feed_displacement").at("axial_offset"), 0.5);
  EXPECT_EQ(j.at("feed_displacement").at("axial_offset_wavelengths"), 0.5);
  EXPECT_EQ(j.at("efficiency").at("surface"), 1.0);
  const std::string page = testutil::read_file(dir.path() / "report" / "report.html");
  EXPECT_NE(page.find("The feed is analysed displaced by 0.5"), std::string::npos);
}

}  // namespace
