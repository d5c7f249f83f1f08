// The sweep's page and the optimiser's convergence figure, from rows made
// by hand: every figure of the rows is drawn and offered, warned, refused and
// failed designs are marked with a legend and their reasons on hovering,
// every tick label has at most six significant digits, and jitter is drawn
// on a minimum span.  One sweep through the program checks the same of a
// real page.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "sweep/sweep.h"
#include "tests/test_util.h"

namespace {

using testutil::read_file;
using testutil::TempDir;

constexpr const char* kWarning = "The ray table stops short of the rim: its last row is at 0.86.";
constexpr const char* kRefusal = "geometry.sub_radius: the subreflector is wider than the aperture.";
constexpr const char* kFailure = "The synthesis broke down at ray 12.";

// The uniform example at coarse steps, its subreflector extrapolated to 26.
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
output_interval = 0.02
precision = "32-bit"

[scale]
diameter = 100.0
extrapolate_sub_diameter = 26.0
)";

// A row with every figure set: the directivity jitters by 1e-5 dB about
// 49.38547, the efficiency rises by a tenth per input; refused and failed
// rows have none.
sweep::Row row(long index, std::vector<double> inputs, const std::string& status) {
  sweep::Row r;
  r.index = index;
  r.inputs = std::move(inputs);
  r.evaluation.status = status;
  const bool designed = status == "ok" || status == "warned";
  for (std::size_t i = 0; i < run::kFigureNames.size(); ++i)
    r.evaluation.figures[i] = designed ? 1.0 + 0.1 * static_cast<double>(i) + 0.01 * static_cast<double>(index) : std::nan("");
  if (designed) {
    r.evaluation.figures[static_cast<std::size_t>(run::figure_index("directivity_dbi"))] = 49.38547 + 1e-5 * static_cast<double>(index % 3);
    r.evaluation.figures[static_cast<std::size_t>(run::figure_index("efficiency"))] = 0.6 + 0.1 * r.inputs[0];
  }
  if (status == "warned") r.evaluation.warnings = {kWarning};
  if (status == "refused") r.evaluation.reason = kRefusal;
  if (status == "failed") r.evaluation.reason = kFailure;
  return r;
}

// The page's figures by name: the drawing inside each figure's <div>.
std::map<std::string, std::string> figures_of(const std::string& html) {
  std::map<std::string, std::string> out;
  const std::string open = "<div class=\"figure\" id=\"figure-";
  for (std::size_t at = html.find(open); at != std::string::npos; at = html.find(open, at + 1)) {
    const std::size_t name = at + open.size(), quote = html.find('"', name);
    const std::size_t svg = html.find("<svg", quote), end = html.find("</svg>\n</div>", quote);
    if (quote == std::string::npos || svg == std::string::npos || end == std::string::npos) break;
    out[html.substr(name, quote - name)] = html.substr(svg, end + 6 - svg);
  }
  return out;
}

// Checks every figure a page must show: each figure of the rows drawn and in
// the chooser, every tick label short, at least four on each axis, the
// legend's entries and the reasons on hovering.
void check_page(const std::string& html, const std::vector<std::string>& legend) {
  const auto drawn = figures_of(html);
  EXPECT_EQ(drawn.size(), run::kFigureNames.size());
  for (std::string_view name : run::kFigureNames) {
    const std::string n(name);
    SCOPED_TRACE(n);
    EXPECT_NE(html.find("<option value=\"" + n + "\">"), std::string::npos);
    ASSERT_TRUE(drawn.count(n));
    const std::string& svg = drawn.at(n);
    std::map<std::string, int> per_axis;
    for (const auto& label : testutil::number_labels(svg)) {
      EXPECT_LE(testutil::significant_digits(label.text), 6) << label.text;
      ++per_axis[label.anchor];
    }
    // Below the x axis, beside the y axis, and beside a heat map's colour bar.
    EXPECT_GE(per_axis["middle"], 4);
    EXPECT_GE(per_axis["end"], 4);
    if (per_axis.count("")) {
      EXPECT_GE(per_axis[""], 4);
    }
    for (const std::string& entry : legend) EXPECT_NE(svg.find(">" + entry + "</text>"), std::string::npos) << entry;
    for (const char* why : {kWarning, kRefusal, kFailure}) EXPECT_NE(svg.find(std::string(why) + "</title>"), std::string::npos) << why;
  }
  // The chooser is shown by its script, which needs nothing from outside
  // the page.
  EXPECT_NE(html.find("<p class=\"chooser\" id=\"chooser\" hidden>"), std::string::npos);
  EXPECT_EQ(html.find("<script src"), std::string::npos);
  EXPECT_EQ(html.find("https:"), std::string::npos);
  // And the table of designs that are not clean, with why.
  const std::size_t table = html.find("<h2>Designs warned, refused or failed</h2>");
  ASSERT_NE(table, std::string::npos);
  for (const char* why : {kWarning, kRefusal, kFailure}) EXPECT_NE(html.find(why, table), std::string::npos) << why;
}

TEST(SweepPage, OneInputDrawsEveryFigureWithItsMarksAndMinimumSpans) {
  TempDir dir;
  const std::vector<sweep::Axis> axes = {{"geometry.sub_radius", 0.2, 0.25, 6}};
  const char* status[] = {"ok", "ok", "warned", "refused", "failed", "ok"};
  std::vector<sweep::Row> rows;
  for (long i = 0; i < 6; ++i) rows.push_back(row(i, {axes[0].value(static_cast<int>(i))}, status[i]));
  sweep::write_sweep(dir.path() / "s", "d.toml", {"digest", "version"}, axes, rows, 6, true, "directivity_dbi");
  const std::string html = read_file(dir.path() / "s" / "sweep.html");
  check_page(html, {"clean design", "warned design (not a candidate)", "refused design (no figures)",
                    "failed design (no figures)", "best design"});
  // The figure the best design is chosen by comes first.
  EXPECT_LT(html.find("id=\"figure-directivity_dbi\""), html.find("id=\"figure-efficiency\""));
  // The directivity jitters by 2e-5 dB: drawn on its minimum span, a
  // thousandth of its value, which the chart says.
  const std::string directivity = figures_of(html).at("directivity_dbi");
  EXPECT_NE(directivity.find("values vary less than 0.0494: minimum span shown"), std::string::npos);
  std::vector<double> y;
  for (const auto& l : testutil::number_labels(directivity))
    if (l.anchor == "end") y.push_back(std::stod(l.text));
  ASSERT_GE(y.size(), 4u);
  EXPECT_GE(y.back() - y.front(), 0.0494);
  // The efficiency varies by 0.005: drawn as it is.
  EXPECT_EQ(figures_of(html).at("efficiency").find("minimum span"), std::string::npos);
}

TEST(SweepPage, TwoInputsDrawAHeatMapOfEveryFigureWithItsMarks) {
  TempDir dir;
  const std::vector<sweep::Axis> axes = {{"geometry.sub_radius", 0.2, 0.26, 3}, {"geometry.main_inner_radius", 0.1, 0.14, 3}};
  const char* status[] = {"ok", "warned", "ok", "refused", "ok", "failed", "ok", "ok", "ok"};
  std::vector<sweep::Row> rows;
  for (long i = 0; i < 9; ++i) rows.push_back(row(i, sweep::grid_inputs(axes, i), status[i]));
  sweep::write_sweep(dir.path() / "s", "d.toml", {"digest", "version"}, axes, rows, 9, true, "efficiency");
  const std::string html = read_file(dir.path() / "s" / "sweep.html");
  check_page(html, {"best design", "warned design (not a candidate)", "refused design", "failed design"});
  // The figure the best is chosen by comes first.
  EXPECT_LT(html.find("id=\"figure-efficiency\""), html.find("id=\"figure-directivity_dbi\""));
  EXPECT_NE(figures_of(html).at("directivity_dbi").find("colour scale at that minimum span"), std::string::npos);
}

TEST(SweepPage, TheConvergenceFigureMarksInfeasibleDesignsWithWhy) {
  TempDir dir;
  const sweep::DesignTemplate t(kDesign, dir.path() / "d.toml");
  ASSERT_FALSE(t.problem().has_value()) << t.problem()->message;
  sweep::OptimizePlan plan;
  plan.free = {{"geometry.sub_radius", 0.2, 0.3}};
  plan.objective = "directivity_dbi";
  plan.constraints = {{"efficiency", false, 0.625}};
  sweep::OptimizeResult result;
  const char* status[] = {"ok", "ok", "refused", "warned", "ok"};
  for (long i = 0; i < 5; ++i) {
    result.history.push_back(row(i, {0.2 + 0.02 * static_cast<double>(i)}, status[i]));
    result.best_so_far.push_back(result.history.front().evaluation.figure("directivity_dbi"));
  }
  // No best design: no report is written, only the history and the figure.
  sweep::write_optimization(dir.path() / "o", t, plan, result);
  const std::string svg = read_file(dir.path() / "o" / "convergence.svg");
  for (const char* entry : {"feasible design", "design that breaks a constraint", "design without figures (at the axis)",
                            "best feasible so far"})
    EXPECT_NE(svg.find(std::string(">") + entry + "</text>"), std::string::npos) << entry;
  // Design 2 (efficiency 0.622) breaks the constraint; 3 was refused, 4 warned.
  EXPECT_NE(svg.find("<title>design 2: directivity_dbi = 49.38548. efficiency &gt;= 0.625 (is 0.622)</title>"), std::string::npos)
      << svg;
  EXPECT_NE(svg.find(kRefusal), std::string::npos);
  EXPECT_NE(svg.find("short of the rim"), std::string::npos);
  for (const auto& l : testutil::number_labels(svg)) EXPECT_LE(testutil::significant_digits(l.text), 6) << l.text;
  EXPECT_NE(svg.find("minimum span shown"), std::string::npos);
}

// A real sweep whose rows are refused past a subreflector radius of 0.255
// and warned at odd hole radii: the page through the program.
TEST(SweepPage, ARealSweepsPageShowsEveryFigureAndWhyDesignsWereSetApart) {
  TempDir dir;
  testutil::write_file(dir.path() / "d.toml", kDesign);
  const auto e = testutil::run_program(
      dir.path(), "sweep d.toml --vary geometry.sub_radius=0.24:0.27:3 --vary geometry.main_inner_radius=0.1:0.13:4 --out s");
  ASSERT_EQ(e.status, 0) << e.err;
  const std::string html = read_file(dir.path() / "s" / "sweep.html");
  const auto drawn = figures_of(html);
  // Drawn: every figure that some row of sweep.json has a value of.
  std::set<std::string> valued, shown;
  const nlohmann::json sweep_json = nlohmann::json::parse(read_file(dir.path() / "s" / "sweep.json"));
  for (const auto& r : sweep_json.at("rows"))
    for (const auto& [name, value] : r.at("figures").items())
      if (value.is_number()) valued.insert(name);
  for (const auto& [name, svg] : drawn) shown.insert(name);
  EXPECT_GE(valued.size(), 13u);
  EXPECT_EQ(shown, valued);
  for (const auto& [name, svg] : drawn) {
    SCOPED_TRACE(name);
    for (const auto& l : testutil::number_labels(svg)) EXPECT_LE(testutil::significant_digits(l.text), 6) << l.text;
    EXPECT_NE(svg.find(">refused design</text>"), std::string::npos);
    EXPECT_NE(svg.find(">warned design (not a candidate)</text>"), std::string::npos);
    EXPECT_NE(svg.find("short of the rim"), std::string::npos);
  }
}

}  // namespace
