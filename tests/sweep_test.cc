// Sweeps and optimisation through the program: every row is the figure of
// the design run alone; rows do not depend on jobs or shards; a wrong
// command line writes nothing; the optimiser finds what a fine sweep finds
// and keeps its constraints; a stop ends a sweep or the optimiser between
// designs or within one; a row taken in memory is the row of sweep.json.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "sweep/sweep.h"
#include "tests/test_util.h"

namespace {

using nlohmann::json;
using testutil::read_file;
using testutil::TempDir;

using Exit = testutil::ProgramExit;

Exit ravost(const TempDir& dir, const std::string& args) { return testutil::run_program(dir.path(), args); }

// The uniform example with its listings and files left out, calc 0.001,
// rows every 0.02, main reflector 100 across, the subreflector extrapolated
// to 26 (blockage follows the extrapolated rim).
constexpr const char* kDesign = R"([geometry]
main_hole_to_feed = 0.2
feed_to_sub_rim = 0.5
sub_radius = 0.25
main_inner_radius = 0.12

[feed]
beamwidth_deg = 40.0
level_db = -10.0

[aperture]
distribution = "uniform"

[synthesis]
calc_interval = 0.001
output_interval = 0.02
precision = "32-bit"

[scale]
diameter = 100.0
extrapolate_sub_diameter = 26.0
)";

json read_json(const std::filesystem::path& p) { return json::parse(read_file(p)); }

TEST(Sweep, EveryRowIsTheReportOfThatDesignRunAlone) {
  TempDir dir;
  testutil::write_file(dir.path() / "d.toml", kDesign);
  const Exit e = ravost(dir, "sweep d.toml --vary geometry.sub_radius=0.21:0.25:3 --out s");
  ASSERT_EQ(e.status, 0) << e.err;
  EXPECT_EQ(e.err, "");
  const json rows = read_json(dir.path() / "s" / "sweep.json").at("rows");
  ASSERT_EQ(rows.size(), 3u);
  for (const json& row : rows) {
    const double sub_radius = row.at("inputs")[0].get<double>();
    SCOPED_TRACE(sub_radius);
    std::string alone = kDesign;
    alone.replace(alone.find("sub_radius = 0.25"), 17, "sub_radius = " + std::to_string(sub_radius));
    testutil::write_file(dir.path() / "alone.toml", alone);
    std::filesystem::remove_all(dir.path() / "r");
    ASSERT_EQ(ravost(dir, "--double --report r alone.toml").status, 0);
    const json report = read_json(dir.path() / "r" / "report.json");
    const json& f = row.at("figures");
    EXPECT_NEAR(f.at("directivity_dbi").get<double>(), report.at("directivity_dbi").get<double>(), 1e-9);
    for (const char* k : {"spillover", "illumination", "blockage", "phase"})
      EXPECT_NEAR(f.at(k).get<double>(), report.at("efficiency").at(k).get<double>(), 1e-9) << k;
    EXPECT_NEAR(f.at("efficiency").get<double>(), report.at("efficiency").at("total").get<double>(), 1e-9);
    const json& delivered = report.at("pattern").at("delivered");
    for (const char* k : {"hpbw_deg", "first_null_deg", "first_sidelobe_db"})
      EXPECT_NEAR(f.at(k).get<double>(), delivered.at(k).get<double>(), 1e-9) << k;
    EXPECT_NEAR(f.at("path_error_wavelengths").get<double>(),
                report.at("verification").at("path_length_error_peak_to_peak_wavelengths").get<double>(), 1e-9);
    EXPECT_NEAR(f.at("edge_taper_db").get<double>(), report.at("geometry").at("feed_edge_taper_db").get<double>(), 1e-9);
    EXPECT_EQ(f.at("sub_diameter").get<double>(), 26.0);
  }
}

TEST(Sweep, ARowAsAValueIsTheRowOfSweepJson) {
  // Two designs and one refused (a subreflector wider than the aperture):
  // the refused row's figures are null in memory as in the file.
  TempDir dir;
  testutil::write_file(dir.path() / "d.toml", kDesign);
  const sweep::DesignTemplate t(dir.path() / "d.toml");
  ASSERT_FALSE(t.problem().has_value());
  sweep::SweepPlan plan;
  plan.axes = {{"geometry.sub_radius", 0.21, 1.5, 3}};
  const sweep::SweepResult result = sweep::run_sweep(t, plan);
  ASSERT_EQ(result.rows.size(), 3u);
  sweep::write_sweep(dir.path() / "s", "d.toml", {"digest", "version"}, plan.axes, result.rows, 3, result.complete, "directivity_dbi");
  const json rows = read_json(dir.path() / "s" / "sweep.json").at("rows");
  ASSERT_EQ(rows.size(), 3u);
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(sweep::row_json(result.rows[i]), rows[i]) << i;
  EXPECT_NE(result.rows[2].evaluation.status, "ok");
  EXPECT_TRUE(sweep::row_json(result.rows[2]).at("figures").at("directivity_dbi").is_null());
}

TEST(Sweep, RowsDoNotDependOnJobsOrShards) {
  TempDir dir;
  testutil::write_file(dir.path() / "d.toml", kDesign);
  const std::string grid = "sweep d.toml --vary geometry.sub_radius=0.2:0.26:3 --vary geometry.main_inner_radius=0.1:0.14:3";
  ASSERT_EQ(ravost(dir, grid + " --jobs 1 --out one").status, 0);
  ASSERT_EQ(ravost(dir, grid + " --jobs 2 --out two").status, 0);
  EXPECT_EQ(read_file(dir.path() / "one" / "sweep.json"), read_file(dir.path() / "two" / "sweep.json"));
  std::string parts;
  for (int k = 1; k <= 4; ++k) {
    const std::string part = "part" + std::to_string(k);
    ASSERT_EQ(ravost(dir, grid + " --shard " + std::to_string(k) + "/4 --out " + part).status, 0);
    EXPECT_FALSE(read_json(dir.path() / part / "sweep.json").at("complete").get<bool>());
    parts += " " + part;
  }
  // Three parts are not the whole sweep: merged, but marked incomplete.
  const Exit short_of = ravost(dir, "sweep --merge part1 part2 part3 --out short");
  EXPECT_EQ(short_of.status, 1);
  EXPECT_NE(short_of.err.find("7 of the 9 designs"), std::string::npos) << short_of.err;
  EXPECT_FALSE(read_json(dir.path() / "short" / "sweep.json").at("complete").get<bool>());
  ASSERT_EQ(ravost(dir, "sweep --merge" + parts + " --out merged").status, 0);
  for (const char* file : {"sweep.json", "sweep.csv", "sweep.html"})
    EXPECT_EQ(read_file(dir.path() / "merged" / file), read_file(dir.path() / "one" / file)) << file;
  // A part of another sweep is refused.
  ASSERT_EQ(ravost(dir, "sweep d.toml --vary geometry.sub_radius=0.2:0.26:4 --out other").status, 0);
  EXPECT_EQ(ravost(dir, "sweep --merge part1 other --out mixed").status, 1);
}

TEST(Sweep, ADesignThatIsRefusedIsARowWithItsReason) {
  TempDir dir;
  testutil::write_file(dir.path() / "d.toml", kDesign);
  const Exit e = ravost(dir, "sweep d.toml --vary geometry.main_inner_radius=0.5:1.1:4 --out s");
  ASSERT_EQ(e.status, 0) << e.err;
  const json rows = read_json(dir.path() / "s" / "sweep.json").at("rows");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].at("status"), "ok");
  EXPECT_EQ(rows[3].at("status"), "refused");
  // The key and the sentence, without the file, line or "Error" of the line
  // a single run would print.
  EXPECT_EQ(rows[3].at("reason").get<std::string>(),
            "geometry.main_inner_radius: the inner radius of the main reflector must be less than 1, its outer "
            "radius.");
  EXPECT_TRUE(rows[3].at("figures").at("directivity_dbi").is_null());
  const std::string csv = read_file(dir.path() / "s" / "sweep.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5);
  EXPECT_EQ(csv.find("nan"), std::string::npos);
}

TEST(Sweep, AWrongCommandLineWritesNothing) {
  TempDir dir;
  testutil::write_file(dir.path() / "d.toml", kDesign);
  const char* wrong[] = {
      "sweep d.toml --vary geometry.sub_radius=0.2:0.3 --out o",        // not KEY=LO:HI:N
      "sweep d.toml --vary geometry.sub_radius=0.3:0.2:4 --out o",      // HI below LO
      "sweep d.toml --vary geometry.sub_radius=0.2:0.3:0 --out o",      // no value
      "sweep d.toml --vary geometry.sub_radius=0.2:0.3:2.5 --out o",    // not a whole number
      "sweep d.toml --vary geometry.sub_radis=0.2:0.3:3 --out o",       // no such key
      "sweep d.toml --vary aperture.distribution=1:2:2 --out o",        // not a number
      "sweep d.toml --vary geometry.sub_radius=0.2:0.3:3 --best gain --out o",
      "sweep d.toml --vary geometry.sub_radius=0.2:0.3:3 --shard 5/4 --out o",
      "sweep d.toml --vary geometry.sub_radius=0.2:0.3:3 --shard 0/4 --out o",
      "sweep d.toml --out o",
      "sweep d.toml --vary geometry.sub_radius=0.2:0.3:3",
      "sweep no_such.toml --vary geometry.sub_radius=0.2:0.3:3 --out o",
      "optimize d.toml --free geometry.sub_radius=0.3:0.2 --maximize directivity_dbi --out o",
      "optimize d.toml --free geometry.sub_radius=0.2:0.3 --maximize gain --out o",
      "optimize d.toml --free geometry.sub_radius=0.2:0.3 --maximize directivity_dbi "
      "--constraint 'first_sidelobe_db < -25' --out o",
      "optimize d.toml --free geometry.sub_radius=0.2:0.3 --maximize directivity_dbi "
      "--constraint 'sidelobe <= -25' --out o",
  };
  for (const char* args : wrong) {
    const Exit e = ravost(dir, args);
    EXPECT_EQ(e.status, 2) << args;
    EXPECT_NE(e.err.find("Usage: ravost"), std::string::npos) << args << "\n" << e.err;
    EXPECT_EQ(e.err.find("Error: Error"), std::string::npos) << e.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "o")) << args;
  }
}

// The directivity over the subreflector radius of a fine sweep, and the best.
struct Best {
  double sub_radius = 0, directivity = -1e9;
};

TEST(Optimize, FindsTheBestDesignOfAFineSweepAndKeepsItsConstraint) {
  TempDir dir;
  // Without the extrapolation the subreflector's radius trades spillover
  // against blockage: the best directivity lies inside the range.
  std::string design = kDesign;
  design.erase(design.find("extrapolate_sub_diameter"));
  // Coarser steps keep the sanitizer build quick; the trade is the same.
  design.replace(design.find("calc_interval = 0.001"), 21, "calc_interval = 0.002");
  testutil::write_file(dir.path() / "d.toml", design);
  constexpr double kLo = 0.18, kHi = 0.30;
  constexpr int kValues = 31;  // step 0.004
  ASSERT_EQ(ravost(dir, "sweep d.toml --vary geometry.sub_radius=0.18:0.30:31 --out fine").status, 0);
  Best best;
  const json fine = read_json(dir.path() / "fine" / "sweep.json");
  for (const json& row : fine.at("rows")) {
    const double d = row.at("figures").at("directivity_dbi").get<double>();
    if (d > best.directivity) best = {row.at("inputs")[0].get<double>(), d};
  }
  const double step = (kHi - kLo) / (kValues - 1);
  const std::string args = "optimize d.toml --free geometry.sub_radius=0.18:0.30 --maximize directivity_dbi";
  const Exit e = ravost(dir, args + " --out opt");
  ASSERT_EQ(e.status, 0) << e.err;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(e.out, m, std::regex("geometry.sub_radius = ([0-9.e-]+)"))) << e.out;
  const double found = std::stod(m[1]);
  EXPECT_NEAR(found, best.sub_radius, step);
  EXPECT_GE(std::stod(std::regex_search(e.out, m, std::regex("directivity_dbi = ([0-9.e-]+)")) ? m[1].str() : "0"),
            best.directivity - 1e-6);
  for (const char* file : {"best.toml", "history.csv", "convergence.svg", "report/report.json"})
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "opt" / file)) << file;
  // The best design's file runs as it stands and gives the same design.
  EXPECT_EQ(ravost(dir, "--double --report again opt/best.toml").status, 0);
  EXPECT_EQ(read_json(dir.path() / "again" / "report.json").at("directivity_dbi"),
            read_json(dir.path() / "opt" / "report" / "report.json").at("directivity_dbi"));
  // The same run again gives the same design.
  const Exit again = ravost(dir, args + " --out opt");
  EXPECT_EQ(again.out, e.out);

  // A first sidelobe held 0.5 dB below that of the best unconstrained design.
  const double limit = read_json(dir.path() / "opt" / "report" / "report.json")
                           .at("pattern").at("delivered").at("first_sidelobe_db").get<double>() - 0.5;
  std::ostringstream constrained;
  constrained << args << " --constraint 'first_sidelobe_db <= " << limit << "' --out con";
  const Exit c = ravost(dir, constrained.str());
  ASSERT_EQ(c.status, 0) << c.err;
  ASSERT_TRUE(std::regex_search(c.out, m, std::regex("first_sidelobe_db = ([0-9.e-]+)"))) << c.out;
  EXPECT_LE(std::stod(m[1]), limit + 0.05);
}

TEST(Optimize, TheBestDesignGetsTheReportItsDesignFileAsksForPhysicalOpticsIncluded) {
  TempDir dir;
  // Coarse steps, a small D/lambda (100 across at a wavelength of 5) and a
  // few designs keep it quick.
  std::string design = kDesign;
  design.erase(design.find("extrapolate_sub_diameter"));
  design.replace(design.find("calc_interval = 0.001"), 21, "calc_interval = 0.005");
  design.replace(design.find("output_interval = 0.02"), 22, "output_interval = 0.04");
  design += "\n[report]\nfolder = \"unused\"\nwavelength = 5.0\nphysical_optics = true\n";
  testutil::write_file(dir.path() / "d.toml", design);
  const Exit e = ravost(dir, "optimize d.toml --free geometry.sub_radius=0.22:0.28 --maximize directivity_dbi "
                             "--starts 1 --evaluations 4 --out opt");
  ASSERT_EQ(e.status, 0) << e.err;
  const std::filesystem::path report = dir.path() / "opt" / "report";
  EXPECT_TRUE(std::filesystem::exists(report / "po_pattern.csv"));
  const json r = read_json(report / "report.json");
  ASSERT_TRUE(r.contains("physical_optics")) << r.dump().substr(0, 400);
  EXPECT_TRUE(r.at("physical_optics").is_object());
  EXPECT_DOUBLE_EQ(r.at("d_over_lambda").get<double>(), 20.0);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "unused"));
}

// Minimising a figure that falls as the free input grows (the blockage
// efficiency, against the subreflector's radius) ends on the upper bound, and
// the run says so, on stdout and in best.json; designs that break a
// constraint are marked in history.csv with the constraint they break; the
// best design's file is the input with the optimised value in its place.
TEST(Optimize, MinimisesAndSaysWhenTheOptimumLiesOnABound) {
  TempDir dir;
  std::string design = kDesign;
  design.erase(design.find("extrapolate_sub_diameter"));
  design.replace(design.find("calc_interval = 0.001"), 21, "calc_interval = 0.005");
  design.replace(design.find("output_interval = 0.02"), 22, "output_interval = 0.04");
  design.insert(design.find("sub_radius = 0.25") + 17, "  # the subreflector");
  testutil::write_file(dir.path() / "d.toml", design);
  const Exit e = ravost(dir, "optimize d.toml --free geometry.sub_radius=0.18:0.30 --minimize blockage "
                             "--constraint 'spillover >= 0.99' --starts 1 --evaluations 12 --out opt");
  ASSERT_EQ(e.status, 0) << e.err;
  EXPECT_NE(e.out.find("The best design lies at the upper bound of geometry.sub_radius."), std::string::npos) << e.out;
  const json best = read_json(dir.path() / "opt" / "best.json");
  EXPECT_EQ(best.at("objective").at("goal"), "minimize");
  EXPECT_EQ(best.at("at_bounds"), json::array({"at the upper bound of geometry.sub_radius"}));
  const double radius = best.at("inputs").at("geometry.sub_radius").get<double>();
  EXPECT_NEAR(radius, 0.30, 0.12e-3);
  EXPECT_EQ(best.at("figures").at("blockage"), best.at("objective").at("value"));
  // Every other design tried has more blockage or breaks the constraint.
  const std::string history = read_file(dir.path() / "opt" / "history.csv");
  EXPECT_NE(history.find(",feasible,violations\n"), std::string::npos);
  EXPECT_NE(history.find(",0,spillover >= 0.99 (is "), std::string::npos) << history;
  // best.toml: the input with the radius and the precision changed, its comment kept.
  std::string want = design;
  want.replace(want.find("0.25  # the"), 4, sweep::shortest_real(radius));
  want.replace(want.find("\"32-bit\""), 8, "\"64-bit\"");
  EXPECT_EQ(read_file(dir.path() / "opt" / "best.toml"), want);
  // One objective, given once.
  EXPECT_EQ(ravost(dir, "optimize d.toml --free geometry.sub_radius=0.18:0.30 --out x").status, 2);
  EXPECT_EQ(ravost(dir, "optimize d.toml --free geometry.sub_radius=0.18:0.30 --minimize blockage "
                        "--maximize efficiency --out x").status, 2);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "x"));
}

// A design whose ray table stops short of the rim is designed with a
// warning that changes its figures: "warned", with the warning in its row,
// drawn apart and never the best unless --allow-warnings lets it compete.
TEST(Sweep, ARowWithAWarningThatChangesItsFiguresIsWarnedAndNotTheBest) {
  TempDir dir;
  std::string design = kDesign;
  design.replace(design.find("calc_interval = 0.001"), 21, "calc_interval = 0.005");
  testutil::write_file(dir.path() / "d.toml", design);
  // 1 - 0.12 = 0.88: 0.02 and 0.04 divide it, 0.03 and 0.05 do not.
  const std::string args = "sweep d.toml --vary synthesis.output_interval=0.02:0.05:4 --best hpbw_deg";
  const Exit e = ravost(dir, args + " --out strict");
  ASSERT_EQ(e.status, 0) << e.err;
  EXPECT_NE(e.out.find("(2 designed, 2 warned, 0 refused or failed)"), std::string::npos) << e.out;
  const json strict = read_json(dir.path() / "strict" / "sweep.json");
  const json& rows = strict.at("rows");
  for (int i : {0, 2}) {
    EXPECT_EQ(rows[i].at("status"), "ok") << i;
    EXPECT_TRUE(rows[i].at("warnings").empty()) << i;
  }
  for (int i : {1, 3}) {
    EXPECT_EQ(rows[i].at("status"), "warned") << i;
    ASSERT_EQ(rows[i].at("warnings").size(), 1u) << i;
    EXPECT_NE(rows[i].at("warnings")[0].get<std::string>().find("short of the rim"), std::string::npos);
    EXPECT_TRUE(rows[i].at("figures").at("hpbw_deg").is_number()) << i;
  }
  // The widest beam is a warned design's (fewer rows reach the rim): it is
  // not the best unless allowed to be.
  ASSERT_GT(rows[3].at("figures").at("hpbw_deg").get<double>(), rows[0].at("figures").at("hpbw_deg").get<double>());
  EXPECT_EQ(strict.at("best_index"), 0);
  ASSERT_EQ(ravost(dir, args + " --allow-warnings --out allowed").status, 0);
  EXPECT_EQ(read_json(dir.path() / "allowed" / "sweep.json").at("best_index"), 3);
  const std::string csv = read_file(dir.path() / "strict" / "sweep.csv");
  EXPECT_NE(csv.find(",reason,warnings\n"), std::string::npos);
  EXPECT_NE(csv.find(",warned,"), std::string::npos);
  const std::string html = read_file(dir.path() / "strict" / "sweep.html");
  EXPECT_NE(html.find("warned design (not a candidate)"), std::string::npos);
  EXPECT_NE(html.find("<h2>Designs warned, refused or failed</h2>"), std::string::npos);
}

// Parts merge by what they were computed from, not by their file's name:
// the same design under another name merges; an edited design under the
// same name, or a part of another program version, is refused with what
// differs.
TEST(Sweep, PartsMergeByTheirDesignsContentNotTheirName) {
  TempDir dir;
  std::string design = kDesign;
  design.replace(design.find("calc_interval = 0.001"), 21, "calc_interval = 0.005");
  testutil::write_file(dir.path() / "d.toml", design);
  testutil::write_file(dir.path() / "renamed.toml", design);
  const std::string vary = " --vary geometry.sub_radius=0.2:0.24:5";
  ASSERT_EQ(ravost(dir, "sweep d.toml" + vary + " --out whole").status, 0);
  ASSERT_EQ(ravost(dir, "sweep d.toml" + vary + " --shard 1/2 --out p1").status, 0);
  ASSERT_EQ(ravost(dir, "sweep renamed.toml" + vary + " --shard 2/2 --out p2").status, 0);
  ASSERT_EQ(ravost(dir, "sweep --merge p1 p2 --out merged").status, 0);
  for (const char* f : {"sweep.csv", "sweep.json", "sweep.html"})
    EXPECT_EQ(read_file(dir.path() / "merged" / f), read_file(dir.path() / "whole" / f)) << f;

  // The design edited under the same name.
  std::string edited = design;
  edited.replace(edited.find("level_db = -10.0"), 16, "level_db = -12.0");
  testutil::write_file(dir.path() / "d.toml", edited);
  ASSERT_EQ(ravost(dir, "sweep d.toml" + vary + " --shard 2/2 --out q2").status, 0);
  Exit e = ravost(dir, "sweep --merge p1 q2 --out bad");
  EXPECT_EQ(e.status, 1);
  EXPECT_NE(e.err.find("differ in its design file's content"), std::string::npos) << e.err;
  // A part from another program version.
  std::string part = read_file(dir.path() / "p2" / "sweep.json");
  const std::size_t at = part.find("\"program_version\":");
  ASSERT_NE(at, std::string::npos);
  part.insert(part.find('"', at + 19) + 1, "0.");
  testutil::write_file(dir.path() / "p2" / "sweep.json", part);
  e = ravost(dir, "sweep --merge p1 p2 --out bad");
  EXPECT_EQ(e.status, 1);
  EXPECT_NE(e.err.find("the program version (0."), std::string::npos) << e.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "bad"));
}

// A sweep stopped part way is finished by --resume from the rows it has,
// into the same bytes as a run that was never stopped; a finished sweep or
// another sweep's folder is refused.
TEST(Sweep, ResumeFinishesAnInterruptedSweepIntoTheSameBytes) {
  TempDir dir;
  std::string design = kDesign;
  design.replace(design.find("calc_interval = 0.001"), 21, "calc_interval = 0.005");
  testutil::write_file(dir.path() / "d.toml", design);
  const std::string args = "sweep d.toml --vary geometry.sub_radius=0.2:0.24:3 --vary feed.level_db=-12:-8:3";
  ASSERT_EQ(ravost(dir, args + " --out whole").status, 0);
  // The folder an interrupted run leaves: some rows, marked incomplete.
  ASSERT_EQ(ravost(dir, args + " --out cut").status, 0);
  json j = read_json(dir.path() / "cut" / "sweep.json");
  json kept = json::array();
  for (const json& r : j.at("rows"))
    if (r.at("index").get<long>() % 3 != 1) kept.push_back(r);
  j["rows"] = kept;
  j["complete"] = false;
  testutil::write_file(dir.path() / "cut" / "sweep.json", j.dump(1) + "\n");
  const Exit e = ravost(dir, args + " --out cut --resume");
  ASSERT_EQ(e.status, 0) << e.err;
  for (const char* f : {"sweep.csv", "sweep.json", "sweep.html"})
    EXPECT_EQ(read_file(dir.path() / "cut" / f), read_file(dir.path() / "whole" / f)) << f;
  // Finished now: nothing to resume.
  Exit again = ravost(dir, args + " --out cut --resume");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("is finished"), std::string::npos) << again.err;
  // Another sweep's folder, and a folder with no sweep.
  testutil::write_file(dir.path() / "cut" / "sweep.json", j.dump(1) + "\n");
  again = ravost(dir, "sweep d.toml --vary geometry.sub_radius=0.2:0.25:3 --vary feed.level_db=-12:-8:3 --out cut --resume");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("differs in its varied inputs"), std::string::npos) << again.err;
  again = ravost(dir, args + " --shard 1/2 --out cut --resume");
  EXPECT_NE(again.err.find("differs in its part of the grid"), std::string::npos) << again.err;
  // A finished part of a sharded sweep (never marked complete on its own).
  ASSERT_EQ(ravost(dir, args + " --shard 2/2 --out part").status, 0);
  again = ravost(dir, args + " --shard 2/2 --out part --resume");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("is finished"), std::string::npos) << again.err;
  again = ravost(dir, args + " --out nothing --resume");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("no sweep to resume"), std::string::npos) << again.err;
  EXPECT_EQ(ravost(dir, "sweep --merge whole --resume --out m").status, 2);
}

// A stop asked for within a design (the run's signal) ends it there: its
// row is not done, and it is not "failed" either.
TEST(Sweep, AStopWithinADesignLeavesItsRowUndoneNotFailed) {
  TempDir dir;
  testutil::write_file(dir.path() / "d.toml", kDesign);
  const sweep::DesignTemplate t(dir.path() / "d.toml");
  sweep::SweepPlan plan;
  plan.axes = {{"geometry.sub_radius", 0.21, 0.25, 3}};
  bool stop = false;
  plan.progress = [&stop](long done, long) { stop = done == 1; };
  plan.evaluation.stop = [&stop] { return stop; };
  const sweep::SweepResult result = sweep::run_sweep(t, plan);
  EXPECT_FALSE(result.complete);
  ASSERT_EQ(result.rows.size(), 1u);
  EXPECT_EQ(result.rows[0].evaluation.status, "ok");
}

// The optimiser asks for its stop after each design: stopped after the
// second, it has tried two.  Stopped within a design, it keeps the designs
// before and not the one stopped.
TEST(Optimize, AStopBetweenDesignsOrWithinOneEndsTheOptimisationThere) {
  TempDir dir;
  testutil::write_file(dir.path() / "d.toml", kDesign);
  const sweep::DesignTemplate t(dir.path() / "d.toml");
  sweep::OptimizePlan plan;
  plan.free = {{"geometry.sub_radius", 0.21, 0.27}};
  plan.objective = "directivity_dbi";
  plan.starts = 2;
  plan.evaluations = 20;
  long done = 0;
  plan.progress = [&done](long n) { done = n; };
  plan.stop = [&done] { return done >= 2; };
  EXPECT_EQ(sweep::optimize(t, plan).history.size(), 2u);

  plan.stop = nullptr;
  done = 0;
  plan.evaluation.stop = [&done] { return done >= 3; };
  const sweep::OptimizeResult within = sweep::optimize(t, plan);
  ASSERT_EQ(within.history.size(), 3u);
  for (const sweep::Row& r : within.history) EXPECT_EQ(r.evaluation.status, "ok");
}

}  // namespace
