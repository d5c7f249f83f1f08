// The feed's phase: read per plane from tables and cuts, taken about the
// phase centre, and what it costs a design in the geometrical and the
// physical optics; where the report puts the horn, and the bad inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis.h"
#include "feedfile/feed_file.h"
#include "tests/test_util.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testutil::read_file;
using testutil::TempDir;
using testutil::write_file;
using Exit = testutil::ProgramExit;

constexpr double kDeg = M_PI / 180.0;

std::string sample(const std::string& name) {
  return read_file(fs::path(RAVOST_SOURCE_DIR) / "tests" / "data" / "feeds" / name);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The corrugated horn with phase columns: `phases` names them in the
// header, `phase(theta_deg)` gives each plane's value.
std::string horn_with(const std::string& phases, const std::vector<std::function<double(double)>>& phase) {
  std::string out = "theta_deg,e_plane_db,h_plane_db," + phases + "\n";
  for (const std::string& line : lines_of(sample("corrugated_horn.csv"))) {
    if (line.empty() || line[0] == '#' || line[0] == 't') continue;
    out += line;
    for (const auto& p : phase) {
      char v[40];
      std::snprintf(v, sizeof v, ",%.9f", p(std::stod(line)));
      out += v;
    }
    out += "\n";
  }
  return out;
}

// A phase centre d wavelengths ahead of the reference point: k d cos(theta).
std::function<double(double)> centre_at(double d) {
  return [d](double a) { return 360.0 * d * std::cos(a * kDeg); };
}

std::string said(const feedfile::ReadResult& r) { return r.error ? diag::render(*r.error) : std::string(); }

// ---- Reading the phase ----------------------------------------------------------

TEST(FeedPhase, TablesGiveOnePhaseOrOnePerPlane) {
  // One column: both planes.
  feedfile::ReadResult one = feedfile::parse(horn_with("phase_deg", {centre_at(0.5)}), "p.csv");
  ASSERT_TRUE(one.table) << said(one);
  EXPECT_EQ(one.table->phase_e_deg, one.table->phase_deg);
  EXPECT_EQ(one.table->phase_h_deg, one.table->phase_deg);
  // Two, named by their plane, in either order: each its plane's, the mean
  // for the fit.
  feedfile::ReadResult two =
      feedfile::parse(horn_with("h_phase_deg,e_phase_deg", {centre_at(-1.0), centre_at(0.5)}), "p.csv");
  ASSERT_TRUE(two.table) << said(two);
  const design::FeedTable& t = *two.table;
  for (std::size_t i = 0; i < t.theta_deg.size(); i += 37) {
    EXPECT_NEAR(t.phase_e_deg[i], centre_at(0.5)(t.theta_deg[i]), 1e-8);
    EXPECT_NEAR(t.phase_h_deg[i], centre_at(-1.0)(t.theta_deg[i]), 1e-8);
    EXPECT_NEAR(t.phase_deg[i], centre_at(-0.25)(t.theta_deg[i]), 1e-8);
  }
  // One plane's phase alone, or a plane's beside every plane's: refused.
  for (const char* header : {"e_phase_deg", "phase_deg,h_phase", "e_phase,e_plane_phase"}) {
    const std::size_t columns = std::string(header).find(',') == std::string::npos ? 1 : 2;
    feedfile::ReadResult r = feedfile::parse(
        horn_with(header, std::vector<std::function<double(double)>>(columns, centre_at(0.0))), "p.csv");
    EXPECT_FALSE(r.table) << header;
    EXPECT_EQ(said(r).rfind("Error in p.csv, line 1: the header names ", 0), 0u) << said(r);
  }
}

// The conical horn's cuts with every component turned by k d cos(theta):
// the reader unwraps the co-polar phase of the E- and H-plane cuts, and the
// fit finds d.
TEST(FeedPhase, CutsGiveEachPlanesPhaseUnwrapped) {
  constexpr double d = 2.0;  // wavelengths: 720 degrees at the axis, wrapped in the components
  std::string turned;
  double theta = 0.0, step = 0.0;
  int left = 0;
  for (const std::string& line : lines_of(sample("conical_horn.cut"))) {
    double v[7];
    if (left == 0) {
      if (std::sscanf(line.c_str(), "%lf %lf %lf %lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6]) == 7) {
        theta = v[0], step = v[1], left = static_cast<int>(v[2]);
      }
      turned += line + "\n";
      continue;
    }
    ASSERT_EQ(std::sscanf(line.c_str(), "%lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3]), 4);
    const std::complex<double> turn = std::polar(1.0, 2 * M_PI * d * std::cos(theta * kDeg));
    const std::complex<double> co = std::complex<double>(v[0], v[1]) * turn, cross = std::complex<double>(v[2], v[3]) * turn;
    char out[120];
    std::snprintf(out, sizeof out, " %.15E %.15E %.15E %.15E\n", co.real(), co.imag(), cross.real(), cross.imag());
    turned += out;
    theta += step;
    --left;
  }
  feedfile::ReadResult r = feedfile::parse(turned, "turned.cut");
  ASSERT_TRUE(r.table) << said(r);
  const design::FeedTable& t = *r.table;
  ASSERT_EQ(t.phase_e_deg.size(), t.theta_deg.size());
  // Over the main lobe (its first null lies past 25 degrees): the turn,
  // continued from 0 on the axis.
  for (std::size_t i = 0; t.theta_deg[i] <= 20.0; ++i) {
    const double want = 720.0 * (std::cos(t.theta_deg[i] * kDeg) - 1.0);
    EXPECT_NEAR(t.phase_e_deg[i], want, 1e-9) << t.theta_deg[i];
    EXPECT_NEAR(t.phase_h_deg[i], want, 1e-9) << t.theta_deg[i];
  }
  const auto fit = feedfile::phase_fit(t, 20.0 * kDeg);
  ASSERT_TRUE(fit);
  EXPECT_NEAR(fit->offset_wavelengths, d, 1e-9);
  // The sample without a turn has the phase of a real pattern: 0 in the
  // main lobe, a half turn where the E plane's field changes sign.
  feedfile::ReadResult plain = feedfile::parse(sample("conical_horn.cut"), "conical_horn.cut");
  ASSERT_TRUE(plain.table);
  EXPECT_EQ(plain.table->phase_e_deg.front(), 0.0);
  double largest = 0;
  for (double p : plain.table->phase_e_deg) largest = std::max(largest, std::fabs(p));
  EXPECT_EQ(largest, 180.0);
}

// A phase column must be unwrapped: a step of 180 degrees between
// neighbouring angles is a sign change, one past it is refused at its line.
TEST(FeedPhase, AStepPastHalfATurnIsRefusedAtItsLine) {
  const auto with_step = [](double jump) {
    // The step from 10 to 10.5 degrees (line 23 of the file).
    return feedfile::parse(horn_with("phase_deg", {[jump](double a) { return a > 10.0 ? 30.0 + jump : 30.0; }}),
                           "p.csv");
  };
  for (double ok : {180.0, -180.0, 180.0 - 1e-6}) EXPECT_TRUE(with_step(ok).table) << ok;
  for (double bad : {180.0 + 1e-6, -180.0 - 1e-6, 359.0}) {
    const feedfile::ReadResult r = with_step(bad);
    EXPECT_FALSE(r.table) << bad;
    EXPECT_EQ(said(r).rfind("Error in p.csv, line 23: the phase jumps by ", 0), 0u) << said(r);
    EXPECT_NE(said(r).find("unwrapped"), std::string::npos);
  }
  // Per plane, the plane is named.
  const feedfile::ReadResult h = feedfile::parse(
      horn_with("e_phase,h_phase", {centre_at(0.0), [](double a) { return a > 10.0 ? 200.0 : 0.0; }}), "p.csv");
  EXPECT_EQ(said(h).rfind("Error in p.csv, line 23: the H-plane phase jumps by 200 degrees", 0), 0u) << said(h);
}

// ---- The phase about the phase centre -------------------------------------------

TEST(FeedPhase, ATableReReferencedToItsPhaseCentreIsFlat) {
  constexpr double d = 2.0;
  analysis::DesignInput in;
  for (int i = 0; i <= 360; ++i) {
    const double a = 0.5 * i;
    in.feed_phase_theta_deg.push_back(a);
    in.feed_phase_e_deg.push_back(centre_at(d)(a));
    in.feed_phase_h_deg.push_back(centre_at(d)(a) + 10.0);
  }
  const analysis::FeedPhase about_centre = analysis::feed_phase(in, d);
  const analysis::FeedPhase about_reference = analysis::feed_phase(in, 0.0);
  // At the table's angles: flat to rounding; between them the straight line
  // between knots departs from k d cos by at most k d h^2 / 8.
  const double k_d = 2 * M_PI * d, h = 0.5 * kDeg;
  for (int i = 0; i <= 360; ++i) {
    const double a = 0.5 * i * kDeg;
    EXPECT_NEAR(about_centre.e(a), 0.0, 1e-12) << i;
    EXPECT_NEAR(about_centre.h(a), 10.0 * kDeg, 1e-12) << i;
    EXPECT_NEAR(about_reference.e(a), k_d * std::cos(a), 1e-12) << i;
    EXPECT_NEAR(about_centre.e(a + 0.5 * h), 0.0, k_d * h * h / 8 * 1.0001) << i;
  }
  // The offset the fit finds is the one that flattens it.
  design::FeedTable t;
  t.theta_deg = in.feed_phase_theta_deg;
  t.phase_deg = in.feed_phase_e_deg;
  EXPECT_NEAR(feedfile::phase_fit(t, 25.0 * kDeg)->offset_wavelengths, d, 1e-9);
  // No table, no phase.
  EXPECT_FALSE(analysis::feed_phase(analysis::DesignInput{}, d).e);
}

// ---- Through design files ---------------------------------------------------------

// The corrugated example's geometry and horn, the horn's file and a [feed]
// line more, with the report (physical optics) at D/lambda 100.
std::string design_file(const std::string& feed, const std::string& more_feed, bool report = true) {
  std::string text =
      "[geometry]\nmain_hole_to_feed = 0.2\nfeed_to_sub_rim = 0.5\nsub_radius = 0.25\nmain_inner_radius = 0.12\n"
      "[feed]\nmodel = \"table\"\nfile = \"" + feed + "\"\n" + more_feed +
      "\n[aperture]\ndistribution = \"uniform\"\n"
      "[synthesis]\ncalc_interval = 0.001\noutput_interval = 0.02\nprecision = \"32-bit\"\n"
      "[scale]\ndiameter = 100.0\n[figure]\nfile = \"d.plt\"\n[surface.main]\nfile = \"main.rsf\"\npoints = 21\n"
      "[surface.sub]\nfile = \"sub.rsf\"\npoints = 11\n";
  if (report) text += "[report]\nfolder = \"rep\"\nwavelength = 1.0\nphysical_optics = true\n";
  return text;
}

struct DesignRun {
  Exit exit;
  json report;
  TempDir dir;
};

// A run of `design` in a folder of its own, beside the horn `feed`.
void run(DesignRun& r, const std::string& feed, const std::string& design) {
  write_file(r.dir.path() / "horn.csv", feed);
  write_file(r.dir.path() / "d.toml", design);
  r.exit = testutil::run_program(r.dir.path(), "d.toml");
  if (fs::exists(r.dir.path() / "rep" / "report.json")) r.report = json::parse(read_file(r.dir.path() / "rep" / "report.json"));
}

double po_dbi(const json& j) { return j.at("physical_optics").at("directivity_dbi").get<double>(); }
double go_dbi(const json& j) { return j.at("directivity_dbi").get<double>(); }

// A horn whose phase centre lies 2 wavelengths behind its file's reference
// point (phase -k 2 lambda cos theta): taken at the feed point as it
// stands, the design is defocused by 2 wavelengths and loses directivity;
// placed by the given offset or by the fit, it has the flat horn's figures.
// The design itself, and its files, are the same in every case.
TEST(FeedPhase, APhaseCentreTwoWavelengthsOffCostsDirectivityUntilPlaced) {
  const std::string phased = horn_with("phase_deg", {centre_at(-2.0)});
  DesignRun flat, as_is, given, fit;
  run(flat, sample("corrugated_horn.csv"), design_file("horn.csv", ""));
  run(as_is, phased, design_file("horn.csv", ""));
  run(given, phased, design_file("horn.csv", "phase_centre = -2.0"));
  run(fit, phased, design_file("horn.csv", "phase_centre = \"fit\""));
  for (const DesignRun* r : {&flat, &as_is, &given, &fit}) {
    ASSERT_EQ(r->exit.status, 0) << r->exit.err;
    ASSERT_TRUE(r->report.contains("physical_optics"));
  }
  // Several tenths of a dB lost, by both methods.
  EXPECT_GT(go_dbi(flat.report) - go_dbi(as_is.report), 0.15);
  EXPECT_GT(po_dbi(flat.report) - po_dbi(as_is.report), 0.3);
  // The table's reference point taken for the phase centre: a warning names
  // the best fit.
  EXPECT_NE(as_is.exit.err.find("The best fit puts it -2 wavelengths"), std::string::npos) << as_is.exit.err;
  for (const DesignRun* r : {&given, &fit}) {
    EXPECT_NEAR(go_dbi(r->report), go_dbi(flat.report), 0.01);
    EXPECT_NEAR(po_dbi(r->report), po_dbi(flat.report), 0.01);
    EXPECT_EQ(r->exit.err, "");
    const json& p = r->report.at("phase_centre");
    EXPECT_NEAR(p.at("offset").get<double>(), -2.0, 1e-6);
    EXPECT_NEAR(p.at("offset_wavelengths").get<double>(), -2.0, 1e-6);
    // The phase centre at the feed point, the horn's reference point 2
    // ahead of it, and 12 ahead of the main reflector's innermost point
    // (the hole's rim, 0.2 of the radius 50 behind the feed).
    EXPECT_EQ(p.at("phase_centre_z").get<double>(), 0.0);
    EXPECT_NEAR(p.at("horn_reference_z").get<double>(), 2.0, 1e-6);
    EXPECT_NEAR(p.at("main_vertex_z").get<double>(), -10.0, 1e-5);
    EXPECT_NEAR(p.at("horn_reference_ahead_of_main_vertex").get<double>(), 12.0, 1e-5);
    EXPECT_LT(p.at("phase_variation_over_cone_deg").get<double>(), 0.01);
  }
  EXPECT_EQ(given.report.at("phase_centre").at("source"), "given");
  EXPECT_EQ(fit.report.at("phase_centre").at("source"), "fit");
  EXPECT_EQ(as_is.report.at("phase_centre").at("source"), "reference point");
  EXPECT_NEAR(as_is.report.at("phase_centre").at("phase_variation_over_cone_deg").get<double>(),
              720.0 * (1 - std::cos(std::atan(0.25 / 0.5))), 1.0);
  EXPECT_FALSE(flat.report.contains("phase_centre"));
  // The loss is the feed's, not the profiles': their path error costs what
  // it costs the flat horn, and a note names the feed's share.
  EXPECT_NEAR(as_is.report.at("efficiency").at("path_phase").get<double>(),
              flat.report.at("efficiency").at("phase").get<double>(), 1e-12);
  EXPECT_LT(as_is.report.at("efficiency").at("phase").get<double>(), 0.97);
  const std::string notes = as_is.report.at("notes").dump();
  EXPECT_NE(notes.find("The feed's phase about its phase centre (taken at the feed file's reference point) varies by 76"),
            std::string::npos)
      << notes;
  // The page and the cross-section show it.
  const std::string page = read_file(given.dir.path() / "rep" / "report.html");
  EXPECT_NE(page.find("Feed phase centre"), std::string::npos);
  EXPECT_NE(page.find("2.0000 towards the subreflector"), std::string::npos);
  EXPECT_NE(page.find("12.0000 ahead"), std::string::npos);
  EXPECT_NE(read_file(given.dir.path() / "rep" / "geometry.svg").find("horn&apos;s reference point"), std::string::npos);
  // The design is the flat horn's.
  for (const char* file : {"d.plt", "main.rsf", "sub.rsf"}) {
    EXPECT_EQ(read_file(given.dir.path() / file), read_file(flat.dir.path() / file)) << file;
    EXPECT_EQ(read_file(as_is.dir.path() / file), read_file(flat.dir.path() / file)) << file;
  }
}

// Nothing written but the run's listing: no figure, surface or report.
void expect_nothing_written(const DesignRun& r) {
  for (const char* file : {"d.plt", "main.rsf", "sub.rsf", "rep"}) EXPECT_FALSE(fs::exists(r.dir.path() / file)) << file;
}

int lines(const std::string& s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

// The horn's reference point may reach the main reflector's innermost point
// (10 behind the feed point) and no further.
TEST(FeedPhase, TheHornMayNotLieBehindTheMainReflector) {
  const std::string phased = horn_with("phase_deg", {centre_at(0.3)});
  for (double offset : {9.999, 10.0}) {
    DesignRun r;
    run(r, phased, design_file("horn.csv", "phase_centre = " + std::to_string(offset), false));
    EXPECT_EQ(r.exit.status, 0) << offset << r.exit.err;
    EXPECT_TRUE(fs::exists(r.dir.path() / "main.rsf"));
  }
  DesignRun r;
  run(r, phased, design_file("horn.csv", "phase_centre = 10.001"));
  EXPECT_NE(r.exit.status, 0);
  EXPECT_EQ(lines(r.exit.err), 1) << r.exit.err;
  EXPECT_EQ(r.exit.err.rfind("Error: feed.phase_centre: a phase centre 10.001 ahead of the feed file's reference "
                             "point puts the horn's reference point 0.000999",
                             0),
            0u)
      << r.exit.err;
  expect_nothing_written(r);
  // The fit on a horn whose phase centre lies 12 wavelengths ahead (12 at a
  // wavelength of 1): the same.
  DesignRun far;
  run(far, horn_with("phase_deg", {centre_at(12.0)}), design_file("horn.csv", "phase_centre = \"fit\""));
  EXPECT_NE(far.exit.status, 0);
  EXPECT_NE(far.exit.err.find("the best-fit phase centre (12 ahead"), std::string::npos) << far.exit.err;
  expect_nothing_written(far);
}

// Bad phases and phase centres: one line naming the file and line or the
// key, and nothing written at all.
TEST(FeedPhase, BadPhasesAndPhaseCentresAreNamed) {
  std::string not_a_number = horn_with("phase_deg", {centre_at(0.0)});
  not_a_number.replace(not_a_number.find(",0.000000000\n", not_a_number.find("\n1.5,")), 13, ",abc\n");
  const std::string jump = horn_with("phase_deg", {[](double a) { return a > 10.0 ? 190.0 : 0.0; }});
  struct Case {
    std::string feed, more, error;
  } cases[] = {
      {not_a_number, "", "Error in horn.csv, line 5: the phase \"abc\" is not a number."},
      {jump, "", "Error in horn.csv, line 23: the phase jumps by 190 degrees from the angle before"},
      {sample("corrugated_horn.csv"), "phase_centre = 1.0", "Error in d.toml, line 9: feed.phase_centre: the feed file \"horn.csv\" gives no phase"},
      {horn_with("phase_deg", {centre_at(0.0)}), "phase_centre = \"far\"",
       "Error in d.toml, line 9: feed.phase_centre: expected a length in the unit of the diameter or \"fit\", found \"far\"."},
      {horn_with("phase_deg", {centre_at(0.0)}), "phase_centre = true",
       "Error in d.toml, line 9: feed.phase_centre: expected a number"},
  };
  for (const Case& c : cases) {
    DesignRun r;
    run(r, c.feed, design_file("horn.csv", c.more));
    EXPECT_EQ(r.exit.status, 1) << c.error;
    EXPECT_NE(r.exit.err.find(c.error), std::string::npos) << r.exit.err;
    EXPECT_LE(lines(r.exit.err), 2) << r.exit.err;
    EXPECT_EQ(r.exit.out, "");
    EXPECT_FALSE(fs::exists(r.dir.path() / "ravost.out"));
    expect_nothing_written(r);
  }
  // A model without a file has no phase.
  DesignRun beamwidth;
  write_file(beamwidth.dir.path() / "d.toml",
             "[geometry]\nmain_hole_to_feed = 0.2\nfeed_to_sub_rim = 0.5\nsub_radius = 0.25\nmain_inner_radius = 0.12\n"
             "[feed]\nbeamwidth_deg = 40\nlevel_db = -10\nphase_centre = 0.5\n[aperture]\ndistribution = \"uniform\"\n"
             "[synthesis]\ncalc_interval = 0.001\noutput_interval = 0.02\n[scale]\ndiameter = 100.0\n");
  const Exit e = testutil::run_program(beamwidth.dir.path(), "d.toml");
  EXPECT_EQ(e.status, 1);
  EXPECT_NE(e.err.find("Error in d.toml, line 9: feed.phase_centre: only a feed file gives a phase"), std::string::npos) << e.err;
}

}  // namespace
