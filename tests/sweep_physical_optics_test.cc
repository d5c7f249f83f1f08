// Physical optics in sweeps and the optimiser: a row's po_* figures are the
// report.json's of the same design run alone, to the last bit; without the
// physical optics no file tabulates them; the optimiser minimises and
// constrains them; asking for them without the physical optics is a wrong
// command line, and parts or folders with and without them do not mix.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "sweep/sweep.h"
#include "tests/test_util.h"

namespace {

using nlohmann::json;
using testutil::read_file;
using testutil::TempDir;
using Exit = testutil::ProgramExit;

Exit ravost(const TempDir& dir, const std::string& args) { return testutil::run_program(dir.path(), args); }
json read_json(const std::filesystem::path& p) { return json::parse(read_file(p)); }

// The uniform example on coarse steps, 100 across at a wavelength of 2.5
// (D/lambda 40): a physical optics of some milliseconds.  Its [report] does
// not ask for the physical optics; --physical-optics does.
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
calc_interval = 0.005
output_interval = 0.04
precision = "32-bit"

[scale]
diameter = 100.0

[report]
folder = "unused"
wavelength = 2.5
)";

constexpr const char* kPoNames[] = {"directivity_dbi",    "first_sidelobe_db",  "cross_polar_peak_db",
                                    "hpbw_deg",           "spillover_past_sub", "spillover_past_main"};

// A CSV without quoted fields as rows of fields, the header first.
std::vector<std::vector<std::string>> csv_rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream l(line);
    for (std::string f; std::getline(l, f, ',');) fields.push_back(f);
    if (!line.empty() && line.back() == ',') fields.emplace_back();
    rows.push_back(fields);
  }
  return rows;
}

std::size_t column(const std::vector<std::string>& header, const std::string& name) {
  for (std::size_t i = 0; i < header.size(); ++i)
    if (header[i] == name) return i;
  ADD_FAILURE() << "no column " << name;
  return 0;
}

TEST(SweepPhysicalOptics, ARowsFiguresAreTheReportsOfThatDesignToTheLastBit) {
  TempDir dir;
  testutil::write_file(dir.path() / "d.toml", kDesign);
  const Exit e = ravost(dir, "sweep d.toml --vary geometry.sub_radius=0.22:0.28:3 --physical-optics --jobs 2 --out s");
  ASSERT_EQ(e.status, 0) << e.err;
  const json sweep = read_json(dir.path() / "s" / "sweep.json");
  EXPECT_EQ(sweep.at("physical_optics"), true);
  const std::string header = read_file(dir.path() / "s" / "sweep.csv").substr(0, 400);
  EXPECT_NE(header.find(",surface,po_directivity_dbi,po_first_sidelobe_db,po_cross_polar_peak_db,po_hpbw_deg,"
                        "po_spillover_past_sub,po_spillover_past_main,reason,"),
            std::string::npos)
      << header;
  const sweep::DesignTemplate t(dir.path() / "d.toml");
  ASSERT_FALSE(t.problem().has_value());
  const json& rows = sweep.at("rows");
  ASSERT_EQ(rows.size(), 3u);
  for (const json& row : rows) {
    const double sub_radius = row.at("inputs")[0].get<double>();
    SCOPED_TRACE(sub_radius);
    ASSERT_EQ(row.at("status"), "ok") << row.dump();
    const designfile::ReadResult r = t.with({{"geometry.sub_radius", sub_radius}});
    ASSERT_TRUE(r.file.has_value());
    run::EvaluationOptions o;
    o.physical_optics = true;
    const auto report_dir = dir.path() / ("r" + std::to_string(row.at("index").get<long>()));
    run::write_design_report(r.file->choices, sweep::options_of(*r.file, o), report_dir);
    const json report = read_json(report_dir / "report.json");
    EXPECT_DOUBLE_EQ(report.at("d_over_lambda").get<double>(), 40.0);
    const json& po = report.at("physical_optics");
    const json& f = row.at("figures");
    for (const char* name : kPoNames) EXPECT_EQ(f.at(std::string("po_") + name), po.at(name)) << name;
    // The figures exist here, and the physical optics' are its own.
    EXPECT_TRUE(f.at("po_first_sidelobe_db").is_number());
    EXPECT_TRUE(f.at("po_cross_polar_peak_db").is_number());
    EXPECT_NE(f.at("po_directivity_dbi"), f.at("directivity_dbi"));
  }

  // Without the physical optics the files are as they were: no po_* column,
  // key or figure.
  const Exit go = ravost(dir, "sweep d.toml --vary geometry.sub_radius=0.22:0.28:3 --jobs 2 --out g");
  ASSERT_EQ(go.status, 0) << go.err;
  EXPECT_EQ(read_file(dir.path() / "g" / "sweep.csv").find("po_"), std::string::npos);
  const json plain = read_json(dir.path() / "g" / "sweep.json");
  EXPECT_FALSE(plain.contains("physical_optics"));
  for (const json& row : plain.at("rows")) {
    EXPECT_EQ(row.at("figures").size(), run::kPhysicalOpticsFigures);
    EXPECT_EQ(row.at("figures").at("directivity_dbi"), rows[row.at("index").get<std::size_t>()].at("figures").at("directivity_dbi"));
  }
}

TEST(SweepPhysicalOptics, TheOptimiserMinimisesAPhysicalOpticsFigure) {
  TempDir dir;
  testutil::write_file(dir.path() / "d.toml", kDesign);
  const Exit e = ravost(dir, "optimize d.toml --free geometry.sub_radius=0.20:0.30 --minimize po_first_sidelobe_db "
                             "--physical-optics --starts 1 --evaluations 8 --out opt");
  ASSERT_EQ(e.status, 0) << e.err;
  EXPECT_NE(e.out.find("  po_first_sidelobe_db = "), std::string::npos) << e.out;
  const json best = read_json(dir.path() / "opt" / "best.json");
  EXPECT_EQ(best.at("objective").at("figure"), "po_first_sidelobe_db");
  EXPECT_EQ(best.at("objective").at("goal"), "minimize");
  const double value = best.at("objective").at("value").get<double>();
  EXPECT_EQ(best.at("figures").at("po_first_sidelobe_db").get<double>(), value);
  // The best design's report says the same.
  const json report = read_json(dir.path() / "opt" / "report" / "report.json");
  EXPECT_EQ(report.at("physical_optics").at("first_sidelobe_db").get<double>(), value);
  // No design tried has a lower first sidelobe, and some have a higher one.
  const auto rows = csv_rows(read_file(dir.path() / "opt" / "history.csv"));
  ASSERT_GE(rows.size(), 4u);
  const std::size_t level = column(rows[0], "po_first_sidelobe_db");
  double highest = -std::numeric_limits<double>::infinity();
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const double v = std::stod(rows[i].at(level));
    EXPECT_GE(v, value - 1e-9 * std::abs(value)) << i;
    highest = std::max(highest, v);
  }
  EXPECT_GT(highest, value + 1e-3);
}

TEST(SweepPhysicalOptics, TheOptimiserKeepsAConstraintOnAPhysicalOpticsFigure) {
  TempDir dir;
  testutil::write_file(dir.path() / "d.toml", kDesign);
  // The spillover past the subreflector falls as its radius grows; the
  // directivity is highest near a radius of 0.22.  The bound is the
  // spillover of the middle design (0.25), where the optimiser starts: the
  // smaller radii it tries for more directivity break the constraint, and
  // the best design lies at 0.25 or just above.
  const sweep::DesignTemplate t(dir.path() / "d.toml");
  run::EvaluationOptions o;
  o.physical_optics = true;
  const run::Evaluation middle = sweep::evaluate(t, {"geometry.sub_radius"}, {0.25}, o);
  ASSERT_EQ(middle.status, "ok") << middle.reason;
  const double bound = middle.figure("po_spillover_past_sub");
  ASSERT_TRUE(std::isfinite(bound));
  const Exit e = ravost(dir, "optimize d.toml --free geometry.sub_radius=0.20:0.30 --maximize directivity_dbi "
                             "--constraint 'po_spillover_past_sub <= " + sweep::shortest_real(bound) +
                                 "' --physical-optics --starts 1 --evaluations 8 --out opt");
  ASSERT_EQ(e.status, 0) << e.err;
  const json best = read_json(dir.path() / "opt" / "best.json");
  EXPECT_LE(best.at("figures").at("po_spillover_past_sub").get<double>(), bound);
  EXPECT_NEAR(best.at("inputs").at("geometry.sub_radius").get<double>(), 0.25, 0.01);
  EXPECT_EQ(best.at("constraints")[0].at("figure"), "po_spillover_past_sub");
  const auto rows = csv_rows(read_file(dir.path() / "opt" / "history.csv"));
  const std::size_t feasible = column(rows[0], "feasible"), spill = column(rows[0], "po_spillover_past_sub");
  int kept = 0, broken = 0;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const std::string line = rows[i].back();
    if (rows[i].at(feasible) == "1") {
      ++kept;
      EXPECT_LE(std::stod(rows[i].at(spill)), bound * (1 + 1e-9)) << i;
    } else {
      ++broken;
      EXPECT_GT(std::stod(rows[i].at(spill)), bound * (1 - 1e-9)) << i;
      EXPECT_EQ(line.rfind("po_spillover_past_sub <= ", 0), 0u) << line;
    }
  }
  EXPECT_GT(kept, 0);
  EXPECT_GT(broken, 0);  // the constraint binds
}

TEST(SweepPhysicalOptics, IsAskedForExplicitlyAndDoesNotMixWithoutIt) {
  TempDir dir;
  testutil::write_file(dir.path() / "d.toml", kDesign);
  const auto refused = [&](const std::string& args) {
    const Exit e = ravost(dir, args);
    EXPECT_EQ(e.status, 2) << args << "\n" << e.err;
    EXPECT_NE(e.err.find("add --physical-optics"), std::string::npos) << e.err;
    EXPECT_NE(e.err.find("Usage: ravost "), std::string::npos) << e.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "x")) << args;
  };
  refused("sweep d.toml --vary geometry.sub_radius=0.22:0.28:3 --best po_directivity_dbi --out x");
  refused("optimize d.toml --free geometry.sub_radius=0.2:0.3 --minimize po_first_sidelobe_db --out x");
  refused("optimize d.toml --free geometry.sub_radius=0.2:0.3 --maximize directivity_dbi "
          "--constraint 'po_cross_polar_peak_db <= -30' --out x");

  // The design file's [report] may ask for it instead.
  std::string asking = kDesign;
  asking += "physical_optics = true\n";
  testutil::write_file(dir.path() / "po.toml", asking);
  const Exit e = ravost(dir, "sweep po.toml --vary geometry.sub_radius=0.25:0.25:1 --best po_directivity_dbi --out p");
  ASSERT_EQ(e.status, 0) << e.err;
  const json p = read_json(dir.path() / "p" / "sweep.json");
  EXPECT_EQ(p.at("physical_optics"), true);
  EXPECT_EQ(p.at("best_index"), 0);
  EXPECT_TRUE(p.at("rows")[0].at("figures").at("po_directivity_dbi").is_number());

  // Parts with and without it are parts of different sweeps; a sweep without
  // it is not resumed with it.
  ASSERT_EQ(ravost(dir, "sweep d.toml --vary geometry.sub_radius=0.22:0.28:3 --shard 1/2 --physical-optics --out a").status, 0);
  ASSERT_EQ(ravost(dir, "sweep d.toml --vary geometry.sub_radius=0.22:0.28:3 --shard 2/2 --out b").status, 0);
  const Exit merged = ravost(dir, "sweep --merge a b --out m");
  EXPECT_EQ(merged.status, 1);
  EXPECT_NE(merged.err.find("b/sweep.json is a part of another sweep than a/sweep.json: they differ in the physical optics (not computed in it, computed in the other)."), std::string::npos)
      << merged.err;
  const Exit resumed =
      ravost(dir, "sweep d.toml --vary geometry.sub_radius=0.22:0.28:3 --shard 2/2 --physical-optics --resume --out b");
  EXPECT_EQ(resumed.status, 1);
  EXPECT_NE(resumed.err.find("it differs in the physical optics (not computed in it, computed in the other)."), std::string::npos)
      << resumed.err;
  // Parts that both have it merge, with it.
  ASSERT_EQ(ravost(dir, "sweep d.toml --vary geometry.sub_radius=0.22:0.28:3 --shard 2/2 --physical-optics --out c").status, 0);
  const Exit joined = ravost(dir, "sweep --merge a c --best po_hpbw_deg --out j");
  ASSERT_EQ(joined.status, 0) << joined.err;
  const json j = read_json(dir.path() / "j" / "sweep.json");
  EXPECT_EQ(j.at("physical_optics"), true);
  EXPECT_EQ(j.at("rows").size(), 3u);
  for (const json& row : j.at("rows")) EXPECT_TRUE(row.at("figures").at("po_hpbw_deg").is_number());
  // A merged sweep without it has no figure of it to choose by.
  ASSERT_EQ(ravost(dir, "sweep d.toml --vary geometry.sub_radius=0.22:0.28:3 --shard 1/2 --out d").status, 0);
  const Exit none = ravost(dir, "sweep --merge d b --best po_hpbw_deg --out x");
  EXPECT_EQ(none.status, 2) << none.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "x"));
}

}  // namespace
