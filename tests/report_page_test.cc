// What the report's page and figures tell a reader: the result first, the
// aperture density as the design's own smooth curve, the feed figure over
// the angles that matter, dots that stay inside their plot, and the floor of
// a ring of the aperture that receives almost no power.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "figures/svg.h"
#include "report/parts.h"
#include "report/report.h"
#include "run/pipeline.h"
#include "analysis_fixture.h"
#include "test_util.h"

namespace {

double db(double v) { return 10.0 * std::log10(v); }

// The example design (uniform aperture, 32-bit reals) scaled to 100 units,
// and its report: the figures trace the design's own steps.
struct Example {
  analysis::DesignInput input;
  analysis::Report report;
};

Example example_with(design::Distribution kind, double taper_db = 0) {
  design::DesignSpec spec = testutil::example_choices();
  spec.aperture.kind = kind;
  spec.aperture.taper_db = taper_db;
  const run::RunResult made = run::make_scaled(spec, 100.0);
  analysis::Options o;
  o.wavelength = 1.0;
  return {*made.report_input, analysis::analyse(*made.report_input, o)};
}

const Example& uniform_example() {
  static const Example e = example_with(design::Distribution::uniform);
  return e;
}

// The circles of an SVG text: their centres.
std::vector<std::pair<double, double>> circles(const std::string& svg) {
  std::vector<std::pair<double, double>> out;
  const std::regex circle("<circle cx=\"([-0-9.]+)\" cy=\"([-0-9.]+)\"");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), circle); it != std::sregex_iterator(); ++it)
    out.emplace_back(std::stod((*it)[1]), std::stod((*it)[2]));
  return out;
}

// The design's own mapping of feed angle to radius delivers the wanted
// density as a smooth curve from the hole to next to the rim: the synthesis
// conserves the feed's power ring by ring, so the curve follows the wanted
// distribution (an independent function) to the integration's accuracy.
TEST(ApertureDensity, TheDesignsOwnMappingFollowsTheWantedDistribution) {
  for (const auto& [kind, taper] : {std::pair{design::Distribution::uniform, 0.0}, std::pair{design::Distribution::gaussian, 10.0}}) {
    const Example e = kind == design::Distribution::uniform ? uniform_example() : example_with(kind, taper);
    const analysis::DensityCurve& c = e.report.design_density;
    ASSERT_GT(c.rho.size(), 800u);
    EXPECT_NEAR(c.rho.front(), 0.12, 0.002);
    EXPECT_GT(c.rho.back(), 0.99);
    // The last interval, from the last full step to the rim's ray a fixed
    // step short of the rim, is the integration's least accurate.
    const std::size_t last = c.rho.size() - 1;
    EXPECT_LT(std::abs(db(c.density[last] / e.input.wanted_density(c.rho[last]))), 0.1);
    double worst = 0, roughest = 0;
    for (std::size_t i = 0; i < last; ++i) {
      ASSERT_TRUE(std::isfinite(c.density[i])) << i;
      if (i > 0) {
        EXPECT_GT(c.rho[i], c.rho[i - 1]) << i;
      }
      worst = std::max(worst, std::abs(db(c.density[i] / e.input.wanted_density(c.rho[i]))));
      if (i > 0 && i + 1 < last)
        roughest = std::max(roughest, std::abs(db(c.density[i]) - 0.5 * (db(c.density[i - 1]) + db(c.density[i + 1]))));
    }
    EXPECT_LT(worst, 0.01) << static_cast<int>(kind);
    // Smooth: no step differs from its neighbours' mean by a thousandth of a dB.
    EXPECT_LT(roughest, 1e-3) << static_cast<int>(kind);
    // The 400 bins of the same trace are far rougher: what the curve replaces.
    double bins_worst = 0;
    for (std::size_t i = 0; i < e.report.density_rho.size(); ++i)
      if (e.report.density_rho[i] > 0.15 && e.report.density_rho[i] < 0.97)
        bins_worst = std::max(bins_worst, std::abs(db(e.report.density_delivered[i] / e.report.density_wanted[i])));
    EXPECT_GT(bins_worst, 10 * worst);
  }
}

// Each tube between neighbouring traced rays gives the density where it
// lands; rays that miss the main reflector break the curve instead of
// joining across the gap.
TEST(ApertureDensity, TheTracedCurveFollowsTheWantedAndBreaksWhereRaysAreLost) {
  // Profiles known only as written (201 rows of an independent synthesis):
  // the curve comes from the tubes of their trace.
  const analysis::DesignInput written = test::design_input(test::uniform(), 201);
  const analysis::Report whole = analysis::analyse(written, {});
  ASSERT_TRUE(whole.design_density.empty());
  const analysis::DensityCurve& c = whole.traced_density;
  ASSERT_GT(c.rho.size(), 1000u);
  for (std::size_t i = 0; i < c.rho.size(); ++i)
    if (std::isfinite(c.rho[i]) && c.rho[i] > 0.15 && c.rho[i] < 0.95) {
      EXPECT_NEAR(db(c.density[i]), 0.0, 0.05) << c.rho[i];
    }
  EXPECT_NEAR(db(c.at(0.5)), 0.0, 0.05);
  EXPECT_TRUE(std::isnan(c.at(1.5)));

  auto cut = written;
  while (cut.main_r.back() > 0.9 * 50.0) cut.main_r.pop_back(), cut.main_z.pop_back();
  const analysis::Report r = analysis::analyse(cut, {});
  ASSERT_GT(r.rays_lost, 0);
  EXPECT_TRUE(std::isnan(r.traced_density.at(0.95)));
  EXPECT_TRUE(std::isfinite(r.traced_density.at(0.5)));
}

TEST(ApertureDensity, CurveInterpolatesWithinAStretchAndNotAcrossABreak) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const analysis::DensityCurve c{{0.2, 0.4, nan, 0.6, 0.8}, {1.0, 3.0, nan, 5.0, 7.0}};
  EXPECT_DOUBLE_EQ(c.at(0.3), 2.0);
  EXPECT_DOUBLE_EQ(c.at(0.4), 3.0);
  EXPECT_DOUBLE_EQ(c.at(0.7), 6.0);
  EXPECT_TRUE(std::isnan(c.at(0.5)));  // between the stretches
  EXPECT_TRUE(std::isnan(c.at(0.1)));
  EXPECT_TRUE(std::isnan(c.at(0.9)));
}

// A ring that receives almost no power counts as 30 dB short, the floor
// the page and the manual give: at a thousandth of its share and below.
TEST(AnnulusFloor, ARingWithAlmostNoPowerIsThirtyDbShort) {
  EXPECT_NEAR(analysis::annulus_error_db(1e-3), 30.0, 1e-9);
  EXPECT_NEAR(analysis::annulus_error_db(std::nextafter(1e-3, 0.0)), 30.0, 1e-9);
  EXPECT_LT(analysis::annulus_error_db(1e-3 * (1 + 1e-9)), 30.0);
  EXPECT_NEAR(analysis::annulus_error_db(1.01e-3), 30.0 - 10 * std::log10(1.01), 1e-9);
  EXPECT_NEAR(analysis::annulus_error_db(0.0), 30.0, 1e-9);
  EXPECT_NEAR(analysis::annulus_error_db(std::numeric_limits<double>::quiet_NaN()), 30.0, 1e-9);
  EXPECT_NEAR(analysis::annulus_error_db(2.0), 10 * std::log10(2.0), 1e-12);
  EXPECT_DOUBLE_EQ(analysis::annulus_error_db(1.0), 0.0);

  // Through the analysis: a main reflector cut short at 90 % of its radius
  // leaves the outer rings without power, the outermost among them.
  auto cut = test::design_input(test::uniform(), 201);
  while (cut.main_r.back() > 0.9 * 50.0) cut.main_r.pop_back(), cut.main_z.pop_back();
  const analysis::Report r = analysis::analyse(cut, {});
  EXPECT_NEAR(r.aperture_power_error_rim_db, 30.0, 1e-9);
  EXPECT_NEAR(r.aperture_power_error_max_db, 30.0, 1e-9);
  EXPECT_EQ(r.annuli, 50);
  // The page says so in the same words as the manual.
  const std::string html = report::report_html(r, cut, {});
  EXPECT_NE(html.find("less than 0.1 % of its share counts as 30 dB short"), std::string::npos);
}

// The page opens with the result: directivity, total efficiency, the
// wavelength or frequency with the length unit, and the diameter.
TEST(Headline, GivesTheResultWithItsUnits) {
  const Example& e = uniform_example();
  analysis::DesignInput in = e.input;
  const auto headline = [](const std::string& html) {
    const std::size_t start = html.find("<p class=\"headline\">");
    return start == std::string::npos ? std::string() : html.substr(start, html.find("</p>", start) - start);
  };
  std::string h = headline(report::report_html(e.report, in, {}));
  EXPECT_NE(h.find("Directivity " + fields::fixed(e.report.directivity_dbi, 2) + " dBi"), std::string::npos) << h;
  EXPECT_NE(h.find("total efficiency <b>" + fields::fixed(100 * e.report.efficiency.total, 1) + " %"), std::string::npos) << h;
  EXPECT_NE(h.find("at a wavelength of 1 (D/&#955; = 100)"), std::string::npos) << h;
  EXPECT_NE(h.find("main reflector 100 across (lengths in the unit of the diameter)"), std::string::npos) << h;

  in.length_unit = "mm";
  h = headline(report::report_html(e.report, in, {}));
  EXPECT_NE(h.find("at a wavelength of 1 mm (D/&#955; = 100); main reflector 100 mm across,"), std::string::npos) << h;

  in.frequency_hz = 299.792458e9;
  h = headline(report::report_html(e.report, in, {}));
  EXPECT_NE(h.find("at 299.792 GHz (wavelength 1 mm, D/&#955; = 100)"), std::string::npos) << h;
  in.frequency_hz = 999e6;
  EXPECT_NE(headline(report::report_html(e.report, in, {})).find("at 999 MHz"), std::string::npos);
  in.frequency_hz = 1e9;
  EXPECT_NE(headline(report::report_html(e.report, in, {})).find("at 1 GHz"), std::string::npos);

  analysis::Report assumed = e.report;
  assumed.wavelength_assumed = true;
  h = headline(report::report_html(assumed, in, {}));
  EXPECT_NE(h.find("an assumed D/&#955; = 100 (no wavelength was given)"), std::string::npos) << h;
  EXPECT_EQ(h.find("GHz"), std::string::npos) << h;
}

// The feed figure spans 1.5 times the subreflector's half angle, rounded up
// to 5 degrees, within the known pattern; the page folds the whole pattern
// away beneath it.
TEST(FeedFigure, SpansTheAnglesThatMatter) {
  analysis::DesignInput d;
  d.feed_last_angle_rad = M_PI;
  const auto limit = [&](double half_deg, double last_deg = 180.0) {
    d.sub_half_angle_rad = half_deg * M_PI / 180.0;
    d.feed_last_angle_rad = last_deg * M_PI / 180.0;
    return report::feed_figure_limit_deg(d);
  };
  EXPECT_DOUBLE_EQ(limit(20.0), 30.0);
  EXPECT_DOUBLE_EQ(limit(20.0 + 1e-6), 35.0);
  EXPECT_DOUBLE_EQ(limit(20.0 - 1e-6), 30.0);
  EXPECT_DOUBLE_EQ(limit(26.5651), 40.0);
  EXPECT_DOUBLE_EQ(limit(26.5651, 38.0), 38.0);

  const Example& e = uniform_example();
  testutil::TempDir dir;
  report::write_report(e.report, e.input, dir.path());
  const std::string feed = testutil::read_file(dir.path() / "feed.svg");
  EXPECT_NE(feed.find(">40</text>"), std::string::npos);
  EXPECT_EQ(feed.find(">180</text>"), std::string::npos);
  const std::string html = testutil::read_file(dir.path() / "report.html");
  const std::size_t details = html.find("<details>\n<summary>The whole feed pattern, 0 to 180&#176;</summary>");
  ASSERT_NE(details, std::string::npos);
  EXPECT_NE(html.find(">180</text>", details), std::string::npos);
  // Two charts on one page keep apart: their clip ids differ.
  EXPECT_NE(html.find("clip-feed-whole"), std::string::npos);
  // The whole pattern stays in the table.
  EXPECT_NE(testutil::read_file(dir.path() / "feed.csv").find("\n180,"), std::string::npos);
  // A feed with no level left (its power under the floor, here at 180
  // degrees) leaves the cell empty rather than writing the floor.
  {
    analysis::DesignInput steep = e.input;
    steep.feed_pattern = [](double t) { return t < 2.0 ? std::cos(0.25 * t) : 0.0; };
    testutil::TempDir steep_dir;
    report::write_report(e.report, steep, steep_dir.path());
    const std::string csv = testutil::read_file(steep_dir.path() / "feed.csv");
    EXPECT_EQ(csv.find("-300"), std::string::npos);
    EXPECT_NE(csv.find("\n180,\n"), std::string::npos);
    EXPECT_NE(csv.find("\n0,0\n"), std::string::npos);
  }

  // A pattern known only up to the figure's span needs no second figure.
  analysis::DesignInput short_feed = e.input;
  short_feed.feed_last_angle_rad = report::feed_figure_limit_deg(e.input) * M_PI / 180.0;
  testutil::TempDir short_dir;
  report::write_report(e.report, short_feed, short_dir.path());
  EXPECT_EQ(testutil::read_file(short_dir.path() / "report.html").find("<details>"), std::string::npos);
}

// The aperture figure and its table: the design's curve, the wanted and the
// written surfaces', every radius from the hole to the rim.
TEST(ApertureFigure, DrawsTheCurvesAndTabulatesThemAtEvenRadii) {
  const Example& e = uniform_example();
  testutil::TempDir dir;
  report::write_report(e.report, e.input, dir.path());
  const std::string svg = testutil::read_file(dir.path() / "aperture.svg");
  EXPECT_NE(svg.find("the design (its mapping of feed angle to radius)"), std::string::npos);
  EXPECT_NE(svg.find("the written surfaces (ray trace)"), std::string::npos);
  const std::vector<std::string> rows = [&] {
    std::vector<std::string> lines;
    std::istringstream in(testutil::read_file(dir.path() / "aperture.csv"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }();
  ASSERT_EQ(rows.size(), 502u);
  EXPECT_EQ(rows[0], "radius,normalised_radius,wanted_db,design_db,written_db,wanted_density,design_density,written_density");
  EXPECT_EQ(rows[1].substr(0, 10), "6,0.12,0,,");  // the design's curve starts half a step out
  EXPECT_EQ(rows[251].rfind("28,0.56,0,", 0), 0u) << rows[251];
  EXPECT_EQ(rows[501].rfind("50,1,0,", 0), 0u) << rows[501];
  // Mid-aperture, every curve has a level near the wanted 0 dB.
  std::istringstream mid(rows[251]);
  std::vector<std::string> cells;
  for (std::string cell; std::getline(mid, cell, ',');) cells.push_back(cell);
  ASSERT_EQ(cells.size(), 8u);
  EXPECT_NEAR(std::stod(cells[3]), 0.0, 0.01);
  EXPECT_NEAR(std::stod(cells[4]), 0.0, 0.1);
}

// Dots beyond the plotted range are drawn hollow on the plot's edge, wholly
// inside it; dots inside stay where they are.
TEST(Figures, PinnedDotsStayInsideThePlot) {
  figures::Chart c;
  c.id = "pins";
  c.x_range = std::make_pair(0.0, 10.0);
  c.y_range = std::make_pair(0.0, 1.0);
  c.series.push_back({"", figures::kGuide, {5.0, 5.0, 5.0, 20.0}, {0.5, 100.0, -100.0, 0.5}, 1.4, false, true, true});
  const std::string svg = figures::render(c);
  const auto dots = circles(svg);
  ASSERT_EQ(dots.size(), 4u);
  // The plot area: 78 to 736 across, 40 to 372 down (760 by 430 with margins).
  for (const auto& [x, y] : dots) {
    EXPECT_GE(x - 2.1, 78.0);
    EXPECT_LE(x + 2.1, 736.0);
    EXPECT_GE(y - 2.1, 40.0);
    EXPECT_LE(y + 2.1, 372.0);
  }
  EXPECT_DOUBLE_EQ(dots[0].second, 206.0);  // the middle of the plot
  EXPECT_LT(dots[1].second, dots[0].second);
  EXPECT_GT(dots[2].second, dots[0].second);
  std::size_t hollow = 0;
  for (std::size_t at = svg.find("fill=\"white\" stroke="); at != std::string::npos; at = svg.find("fill=\"white\" stroke=", at + 1))
    ++hollow;
  EXPECT_EQ(hollow, 3u);

  // Without pinning, a dot beyond the range is left to the clipping.
  c.series.back().pin = false;
  const auto free_dots = circles(figures::render(c));
  ASSERT_EQ(free_dots.size(), 4u);
  EXPECT_LT(free_dots[1].second, 40.0);
}

// The path-error figure's dots of the rays next to the subreflector's
// vertex stay inside the plot however far they stray.
TEST(PathFigure, TheVertexRaysDotsStayInsideThePlot) {
  const Example& e = uniform_example();
  ASSERT_TRUE(e.report.as_written);
  ASSERT_GT(e.report.as_written->vertex_ring.rays_traced, 0);
  const std::string svg = figures::render(report::path_chart(e.report, e.input));
  const auto dots = circles(svg);
  ASSERT_FALSE(dots.empty());
  for (const auto& [x, y] : dots) {
    EXPECT_GE(y, 40.0);
    EXPECT_LE(y, 372.0);
  }
  EXPECT_NE(svg.find("hollow: off the scale"), std::string::npos);
}

// The notes and the page explain the checks in plain words.
TEST(Notes, SayInPlainWordsHowTheRaysAreChecked) {
  const Example& e = uniform_example();
  const std::string html = report::report_html(e.report, e.input, {});
  EXPECT_NE(html.find("How the rays are checked: the feed power that reaches the subreflector is cut into 50 cones"),
            std::string::npos);
  EXPECT_EQ(html.find("cone mean"), std::string::npos);
  EXPECT_EQ(html.find("annulus"), std::string::npos);
  EXPECT_EQ(html.find("radial bins"), std::string::npos);
  bool slices = false;
  for (const std::string& note : e.report.notes) slices |= note.rfind("The rays are checked in 50 slices of the feed's cone", 0) == 0;
  EXPECT_TRUE(slices);
}

}  // namespace
