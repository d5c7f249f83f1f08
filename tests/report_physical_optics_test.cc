// Physical optics of synthesised designs beside their geometrical optics:
// the difference shrinks with the size, the sampling has converged, a feed
// with equal planes keeps the cross-polarisation low and a conical horn's
// shows in the 45-degree plane; the report's files carry it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis/analysis.h"
#include "design/choices.h"
#include "design/scaled.h"
#include "design/synthesis.h"
#include "feedfile/feed_file.h"
#include "report/report.h"
#include "run/pipeline.h"
#include "tests/test_util.h"

namespace {

design::DesignSpec choices_of(design::Distribution kind) {
  design::DesignSpec s;
  s.geometry = {0.2, 0.5, 0.25, 0.1};
  s.feed.beamwidth_deg = 40.0;
  s.feed.level_db = -10.0;
  s.aperture.kind = kind;
  s.aperture.taper_db = -10.0;
  s.aperture.sidelobe_db = 25.0;
  s.aperture.nbar = 4;
  s.synthesis = {0.001, 0.02};
  s.precision = design::Precision::double_;
  return s;
}

design::DesignSpec with_feed_file(design::DesignSpec s, const std::string& name) {
  const auto path = std::filesystem::path(RAVOST_SOURCE_DIR) / "tests" / "data" / "feeds" / name;
  feedfile::ReadResult r = feedfile::read(path, name);
  EXPECT_TRUE(r.table) << diag::render(r.error.value_or(diag::Diagnostic{}));
  s.feed.model = design::FeedModelKind::table;
  s.feed.table = std::make_shared<const design::FeedTable>(std::move(*r.table));
  return s;
}

analysis::DesignInput input(const design::DesignSpec& s) {
  return *run::make_scaled(s, 2.0, testutil::in_precision(design::Precision::double_)).report_input;
}

analysis::Report report(const analysis::DesignInput& in, double d_over_lambda, double factor = 1.0,
                        bool sphere = false) {
  analysis::Options o;
  o.po_sphere_up_to_d_over_lambda = sphere ? 1e9 : 0.0;
  o.wavelength = 2.0 / d_over_lambda;
  o.compare_written = false;
  o.physical_optics = true;
  o.po_sampling.factor = factor;
  return analysis::analyse(in, o);
}

TEST(ReportPhysicalOptics, NearsTheGeometricalOpticsAsTheDesignGrows) {
  const analysis::DesignInput in = input(choices_of(design::Distribution::taylor));
  const analysis::Report small = report(in, 50), large = report(in, 150, 1.0, true);
  const analysis::PhysicalOptics &s = *small.physical_optics, &l = *large.physical_optics;
  // Diffraction loses directivity, less of it on the larger design, and most
  // of it as power the subreflector sends past the main reflector.
  EXPECT_GT(s.difference_db, l.difference_db);
  EXPECT_GT(l.difference_db, 0.0);
  EXPECT_LT(l.difference_db, 0.35);
  EXPECT_GT(l.past_main_db, 0.0);
  // The design's rim is the written rim: the geometrical optics counts the
  // same spillover past the subreflector.
  EXPECT_NEAR(l.past_sub_db, 0.0, 1e-6);
  // The sidelobes of the Taylor distribution (25 dB, less for the blockage)
  // are where the geometrical optics puts them.
  EXPECT_NEAR(l.result.first_sidelobe_db, large.delivered.first_sidelobe_db, 0.5);
  EXPECT_NEAR(l.result.hpbw_deg, large.delivered.hpbw_deg, 0.03 * large.delivered.hpbw_deg);
  // The power balance over the sphere lacks what the subreflector blocks.
  ASSERT_TRUE(l.result.sphere_power_share);
  EXPECT_GT(*l.result.sphere_power_share, 0.8);
  EXPECT_LT(*l.result.sphere_power_share, 1.0);
}

// A feed whose E and H planes are narrower and wider than the power
// pattern the design was made for: the geometrical optics counts the
// power pattern's spillover, physical optics the planes' own, and the
// split's part past the subreflector is their ratio.  Each is the closed
// form of a cos(theta/2)^(2m) pattern's enclosed power, 1 - cos(theta/2)^(2m+2)
// of the whole.
TEST(ReportPhysicalOptics, SpilloverPastTheSubreflectorIsTheFeedPlanesOwn) {
  analysis::DesignInput in = input(choices_of(design::Distribution::uniform));
  const double n = in.feed_exponent, n_e = 0.6 * n, n_h = 1.5 * n;
  in.feed_e_plane = [n_e](double t) { return std::pow(std::cos(t / 2), 2 * n_e); };
  in.feed_h_plane = [n_h](double t) { return std::pow(std::cos(t / 2), 2 * n_h); };
  const analysis::Report r = report(in, 60);
  const analysis::PhysicalOptics& p = *r.physical_optics;
  const double c = std::cos(in.sub_half_angle_rad / 2);
  // Each plane's power, 2 / (m + 1) times its enclosed share; both planes
  // carry half the feed's field.
  const auto enclosed = [c](double m) { return (1 - std::pow(c, 2 * m + 2)) / (m + 1); };
  const double on_sub = (enclosed(n_e) + enclosed(n_h)) / (1 / (n_e + 1) + 1 / (n_h + 1));
  const double go_on_sub = 1 - std::pow(c, 2 * n + 2);
  EXPECT_NEAR(r.efficiency.spillover, go_on_sub, 1e-9);
  EXPECT_NEAR(p.result.spillover_past_sub, 1 - on_sub, 1e-6);
  EXPECT_NEAR(p.past_sub_db, 10 * std::log10(go_on_sub / on_sub), 1e-4);
  // The wider E plane spills more than the design's pattern, the narrower H
  // plane less, and the wider one wins: a loss, not a gain.
  EXPECT_GT(p.past_sub_db, 0.05);
}

// Without the shadow's cut every watt the feed radiates reaches the far
// field: through the subreflector's near field onto the main reflector and
// out, or past either reflector.  (Physical optics itself keeps the power
// only on large reflectors: at D/lambda 50, with a subreflector 12
// wavelengths across lit 4.5 dB down at its rim, it gives 3 % too much.)
TEST(ReportPhysicalOptics, ChainWithoutTheShadowKeepsThePower) {
  const analysis::DesignInput in = input(choices_of(design::Distribution::taylor));
  const analysis::DesignSurfaces own = analysis::design_surfaces(in);
  analysis::po::System s;
  const double n = in.feed_exponent;
  s.feed.e_plane = s.feed.h_plane = [n](double t) { return std::pow(std::cos(t / 2), n); };
  s.sub = analysis::po::Reflector{&own.sub, 0.0, in.sub_r.back(), true};
  s.main = analysis::po::Reflector{&own.main, in.hole_radius, 0.5 * in.main_diameter, false};
  s.wavelength = 2.0 / 150;
  analysis::po::Options o;
  o.sphere_power = true;
  const analysis::po::Result r = analysis::po::analyse(s, o);
  ASSERT_TRUE(r.sphere_power_share);
  EXPECT_NEAR(*r.sphere_power_share, 1.0, 0.01);
  EXPECT_NEAR(*r.sphere_directivity_dbi, r.directivity_dbi, 0.05);
}

TEST(ReportPhysicalOptics, DoublingTheSamplingChangesLittle) {
  const analysis::DesignInput in = input(choices_of(design::Distribution::taylor));
  const analysis::PhysicalOptics a = *report(in, 100).physical_optics, b = *report(in, 100, 2.0).physical_optics;
  EXPECT_GT(b.result.main_nodes, 2 * a.result.main_nodes - 12);
  EXPECT_GT(b.result.azimuth_nodes_max, a.result.azimuth_nodes_max);
  EXPECT_LT(std::abs(a.result.directivity_dbi - b.result.directivity_dbi), 0.001);
  EXPECT_LT(std::abs(a.result.first_sidelobe_db - b.result.first_sidelobe_db), 0.01);
  EXPECT_LT(std::abs(a.result.spillover_past_main - b.result.spillover_past_main), 1e-3);
}

// At D/lambda 300 the step where the main reflector's currents stop
// radiating forwards (the subreflector's shadow) must fall between
// quadrature panels, or the directivity moves by a few thousandths of a dB
// with the sampling.
TEST(ReportPhysicalOptics, DoublingTheSamplingChangesLittleAtThreeHundredWavelengths) {
  const analysis::DesignInput in = input(choices_of(design::Distribution::taylor));
  const analysis::PhysicalOptics a = *report(in, 300).physical_optics, b = *report(in, 300, 2.0).physical_optics;
  EXPECT_LT(std::abs(a.result.directivity_dbi - b.result.directivity_dbi), 0.001);
  EXPECT_LT(std::abs(a.result.hpbw_deg - b.result.hpbw_deg), 1e-3 * a.result.hpbw_deg);
}

TEST(ReportPhysicalOptics, CrossPolarisationFollowsTheFeedsPlanes) {
  const analysis::Report equal =
      report(input(with_feed_file(choices_of(design::Distribution::uniform), "corrugated_horn.csv")), 60);
  EXPECT_LT(equal.physical_optics->result.cross_polar_peak_db, -40.0);

  const analysis::Report conical =
      report(input(with_feed_file(choices_of(design::Distribution::uniform), "conical_horn.csv")), 60);
  const analysis::po::Result& c = conical.physical_optics->result;
  ASSERT_EQ(c.cuts.size(), 3u);
  // Unequal planes depolarise: the cross-polar field lies in the 45-degree
  // plane, none in the principal planes, and the peak reported is its own.
  EXPECT_GT(c.cuts[1].cross_peak_db, -40.0);
  EXPECT_EQ(c.cross_polar_peak_db, c.cuts[1].cross_peak_db);
  EXPECT_LT(c.cuts[0].cross_peak_db, c.cuts[1].cross_peak_db - 100);
  EXPECT_LT(c.cuts[2].cross_peak_db, c.cuts[1].cross_peak_db - 100);
  EXPECT_GT(c.cross_polar_peak_db, equal.physical_optics->result.cross_polar_peak_db + 10);
}

TEST(ReportPhysicalOptics, FilesCarryItAndTheCutsReadBack) {
  const analysis::DesignInput in = input(choices_of(design::Distribution::uniform));
  const analysis::Report r = report(in, 80);
  const auto dir = std::filesystem::temp_directory_path() / "ravost_po_report_test";
  std::filesystem::remove_all(dir);
  report::write_report(r, in, dir);
  const auto slurp = [&](const char* name) {
    std::ifstream f(dir / name);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  };
  const nlohmann::json j = nlohmann::json::parse(slurp("report.json"));
  ASSERT_TRUE(j.contains("physical_optics"));
  const nlohmann::json& p = j["physical_optics"];
  for (const char* key : {"directivity_dbi", "spillover_past_sub", "spillover_past_main", "cross_polar_peak_db", "hpbw_deg",
                          "first_sidelobe_db", "samples"})
    EXPECT_TRUE(p.contains(key)) << key;
  EXPECT_DOUBLE_EQ(p["directivity_dbi"].get<double>(), r.physical_optics->result.directivity_dbi);
  // Each part of the loss under its own name (the parts differ here, so a
  // mix-up shows).
  const analysis::PhysicalOptics& po = *r.physical_optics;
  const nlohmann::json& split = p.at("diffraction_and_scattering_db");
  ASSERT_GT(std::abs(po.past_sub_db - po.past_main_db), 1e-3);
  EXPECT_DOUBLE_EQ(split.at("total").get<double>(), po.difference_db);
  EXPECT_DOUBLE_EQ(split.at("spillover_past_sub").get<double>(), po.past_sub_db);
  EXPECT_DOUBLE_EQ(split.at("spillover_past_main").get<double>(), po.past_main_db);
  EXPECT_DOUBLE_EQ(split.at("rest").get<double>(), po.rest_db);
  EXPECT_DOUBLE_EQ(p.at("spillover_past_main").get<double>(), po.result.spillover_past_main);
  EXPECT_EQ(slurp("report.html").find("NaN"), std::string::npos);
  EXPECT_NE(slurp("report.html").find("Physical optics"), std::string::npos);

  const std::string csv = slurp("po_pattern.csv");
  EXPECT_EQ(csv.substr(0, csv.find('\n')), "theta_deg,co_0_dbi,cross_0_dbi,co_45_dbi,cross_45_dbi,co_90_dbi,cross_90_dbi");
  EXPECT_EQ(csv.find("nan"), std::string::npos);
  // No stand-in number for a field of zero anywhere: the principal planes'
  // cross-polar cells are empty, their peak null, the cut file's zero is 0.
  for (const char* name : {"po_pattern.csv", "po_pattern.cut", "report.json", "report.html"})
    EXPECT_EQ(slurp(name).find("-300"), std::string::npos) << name;
  {
    std::istringstream rows(csv);
    std::string row;
    std::getline(rows, row);
    std::getline(rows, row);
    EXPECT_EQ(std::count(row.begin(), row.end(), ','), 6);
    EXPECT_NE(row.find(",,"), std::string::npos) << row;
  }
  EXPECT_TRUE(p.at("cuts").at(0).at("cross_polar_peak_db").is_null());
  EXPECT_TRUE(p.at("cuts").at(2).at("cross_polar_peak_db").is_null());
  EXPECT_TRUE(p.at("cuts").at(1).at("cross_polar_peak_db").is_number());
  EXPECT_EQ(csv.substr(csv.rfind('\n', csv.size() - 2) + 1, 4), "180,");  // the last row
  const std::string html = slurp("report.html");
  EXPECT_NE(html.find("<figure id=\"po_pattern.svg\">"), std::string::npos);
  EXPECT_NE(html.find("class=\"pair\""), std::string::npos);
  EXPECT_NE(slurp("po_pattern.svg").find("Whole pattern by physical optics"), std::string::npos);

  // The program's own reader takes the cut file as a feed pattern: the same
  // angles, and its E and H planes are the co- and cross-polar power of the
  // 0 and 90 degree cuts (the reader keeps their level, here the directivity).
  const feedfile::ReadResult back = feedfile::parse(slurp("po_pattern.cut"), "po_pattern.cut");
  ASSERT_TRUE(back.table) << diag::render(back.error.value_or(diag::Diagnostic{}));
  EXPECT_EQ(back.format, design::FeedModelKind::cut);
  const analysis::po::Result& q = r.physical_optics->result;
  ASSERT_EQ(back.table->theta_deg.size(), q.theta_deg.size());
  ASSERT_EQ(back.table->e_db.size(), q.theta_deg.size());
  ASSERT_GT(q.stretches.size(), 1u);  // the file holds several blocks per cut
  EXPECT_NEAR(back.table->theta_deg.back(), 180.0, 1e-9);
  for (std::size_t i = 0; i < q.theta_deg.size(); i += 7) {
    EXPECT_NEAR(back.table->theta_deg[i], q.theta_deg[i], 1e-6);
    const auto level = [&](const analysis::po::Cut& c) {
      return 10 * std::log10((std::norm(c.co[i]) + std::norm(c.cross[i])) / std::norm(c.co[0]));
    };
    if (level(q.cuts[0]) > -60) {
      EXPECT_NEAR(back.table->e_db[i] - back.table->e_db[0], level(q.cuts[0]), 1e-3) << i;
    }
    if (level(q.cuts[2]) > -60) {
      EXPECT_NEAR(back.table->h_db[i] - back.table->h_db[0], level(q.cuts[2]), 1e-3) << i;
    }
  }
  std::filesystem::remove_all(dir);
}

}  // namespace

namespace {

// The progress rises to its end on one scale over both parts, and a stop
// asked for while the physical optics runs ends the analysis.
TEST(ReportPhysicalOptics, ProgressRunsOverBothPartsAndCanStopThem) {
  const analysis::DesignInput in = input(choices_of(design::Distribution::uniform));
  analysis::Options o;
  o.wavelength = 2.0 / 40;
  o.compare_written = false;
  o.physical_optics = true;
  std::vector<std::pair<int, int>> calls;
  o.progress = [&](int done, int total) { calls.emplace_back(done, total); };
  analysis::analyse(in, o);
  ASSERT_GT(calls.size(), 3u);
  for (std::size_t i = 1; i < calls.size(); ++i) {
    EXPECT_GE(calls[i].first, calls[i - 1].first);
    EXPECT_EQ(calls[i].second, calls[0].second);
  }
  EXPECT_EQ(calls.back().first, calls.back().second);

  struct Stop {};
  const int rays_end = calls[0].second - 100;
  o.progress = [&](int done, int) {
    if (done > rays_end) throw Stop{};
  };
  EXPECT_THROW(analysis::analyse(in, o), Stop);
}

}  // namespace

namespace {

// The physical optics radiates a tabulated feed's own planes: at the
// table's angles its E- and H-plane powers, between them the level
// interpolated linearly in dB, nothing beyond the table's last angle.
TEST(ReportPhysicalOptics, ATabulatedFeedRadiatesItsOwnPlanes) {
  const auto path = std::filesystem::path(RAVOST_SOURCE_DIR) / "tests" / "data" / "feeds" / "conical_horn.csv";
  const feedfile::ReadResult file = feedfile::read(path, "conical_horn.csv");
  ASSERT_TRUE(file.table);
  const design::FeedTable& t = *file.table;
  const analysis::DesignInput in = input(with_feed_file(choices_of(design::Distribution::uniform), "conical_horn.csv"));
  ASSERT_TRUE(in.feed_e_plane && in.feed_h_plane);
  const auto power = [](double db) { return std::pow(10.0, db / 10.0); };
  const double rad = M_PI / 180;
  double largest_difference = 0;
  for (std::size_t i = 0; i + 1 < t.theta_deg.size(); i += 9) {
    SCOPED_TRACE(t.theta_deg[i]);
    EXPECT_NEAR(in.feed_e_plane(t.theta_deg[i] * rad), power(t.e_db[i]), 1e-9 * power(t.e_db[i]));
    EXPECT_NEAR(in.feed_h_plane(t.theta_deg[i] * rad), power(t.h_db[i]), 1e-9 * power(t.h_db[i]));
    // A quarter of the way to the next angle.
    const double at = 0.75 * t.theta_deg[i] + 0.25 * t.theta_deg[i + 1];
    const double e = power(0.75 * t.e_db[i] + 0.25 * t.e_db[i + 1]), h = power(0.75 * t.h_db[i] + 0.25 * t.h_db[i + 1]);
    EXPECT_NEAR(in.feed_e_plane(at * rad), e, 1e-9 * e);
    EXPECT_NEAR(in.feed_h_plane(at * rad), h, 1e-9 * h);
    largest_difference = std::max(largest_difference, std::abs(t.e_db[i] - t.h_db[i]));
  }
  // The planes differ, so that a swap would show.
  EXPECT_GT(largest_difference, 3.0);
  EXPECT_EQ(in.feed_e_plane(t.theta_deg.back() * rad + 1e-6), 0.0);
}

}  // namespace
