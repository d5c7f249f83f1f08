// The geometry wizard run as a user runs it: the design file it prints,
// read back by a TOML parser and solved back to the asked parameters, an ade
// file run by the program, and the refusals of parameters no design has.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <string>
#include <toml++/toml.h>
#include <vector>

#include "design/classical_families.h"
#include "tests/test_util.h"

namespace {

using design::ClassicalFamily;
using testutil::read_file;
using testutil::TempDir;

constexpr double kDeg = std::numbers::pi / 180.0;

struct Exit {
  int status = -1;
  std::string out, err;
};

Exit ravost(const TempDir& dir, const std::string& args) {
  const std::string command =
      "cd '" + dir.path().string() + "' && '" RAVOST_BINARY "' " + args + " </dev/null >stdout 2>stderr";
  const int status = std::system(command.c_str());
  Exit e;
  e.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  e.out = read_file(dir.path() / "stdout");
  e.err = read_file(dir.path() / "stderr");
  return e;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One asked design per family, lengths in mm.
struct Asked {
  std::string family;
  double D, F, Ds, theta, Db;  // Db 0: none asked
};
const std::vector<Asked> kAsked = {
    {"cassegrain", 1000, 350, 100, 15, 0}, {"gregorian", 1000, 350, 100, 15, 0},
    {"adc", 1000, 350, 100, 15, 100},      {"ade", 1000, 350, 250, 30, 120},
    {"adh", 1000, 350, 100, 10, 100},      {"adg", 1000, 300, 200, 40, 250},
};

std::string args_of(const Asked& a) {
  std::ostringstream s;
  s << "geometry " << a.family << " --diameter " << a.D << " --focal-length " << a.F << " --sub-diameter " << a.Ds
    << " --feed-angle " << a.theta;
  if (a.Db > 0) s << " --hole-diameter " << a.Db;
  return s.str();
}

// The Cassegrain's file line by line: the sections and values the wizard
// promises, the derived figures against the closed forms of the classical
// Cassegrain (magnification tan(psi/2) / tan(theta/2) with tan(psi/2) =
// D/(4F), eccentricity (M + 1)/(M - 1)).
TEST(GeometryWizard, TheCassegrainsDesignFileLineByLine) {
  TempDir dir;
  const Exit e = ravost(dir, args_of(kAsked[0]) + " --unit mm --name dish");
  ASSERT_EQ(e.status, 0) << e.err;
  EXPECT_EQ(e.err, "");
  EXPECT_EQ(e.out.find('\r'), std::string::npos);
  const std::vector<std::string> lines = lines_of(e.out);
  const double M = (1000.0 / (4 * 350)) / std::tan(15 * kDeg / 2);
  const double ecc = (M + 1) / (M - 1);
  char derived[128];
  std::snprintf(derived, sizeof derived, "a hyperbola of eccentricity %.6g,", ecc);
  EXPECT_NE(e.out.find(derived), std::string::npos) << e.out;
  std::snprintf(derived, sizeof derived, "magnification %.6g, equivalent focal length %.6g mm.", M, M * 350);
  EXPECT_NE(e.out.find(derived), std::string::npos) << e.out;
  EXPECT_NE(e.out.find("# Main reflector: diameter 1000 mm, focal length 350 mm.\n"), std::string::npos);
  const std::vector<std::string> expected_tail = {
      "",
      "# A beamwidth feed 10 dB down at the subreflector's rim.",
      "[feed]",
      "beamwidth_deg = 30.0",
      "level_db = -10.0",
      "",
      "[aperture]",
      "distribution = \"uniform\"",
      "",
      "# A whole number of rows from the main reflector's hole rim to its rim.",
      "[synthesis]",
      "calc_interval = 0.001",
      "output_interval = 0.02",
      "precision = \"64-bit\"",
      "",
      "[scale]",
      "diameter = 1000.0",
      "unit = \"mm\"",
      "",
      "[figure]",
      "file = \"dish.plt\"",
      "",
      "[report]",
      "folder = \"dish_report\"",
  };
  ASSERT_GE(lines.size(), expected_tail.size() + 7);
  const std::size_t at = lines.size() - expected_tail.size();
  for (std::size_t i = 0; i < expected_tail.size(); ++i) EXPECT_EQ(lines[at + i], expected_tail[i]) << i;
  // The geometry just before: the family, classical, the four keys.
  EXPECT_EQ(lines[at - 7], "[geometry]");
  EXPECT_EQ(lines[at - 6], "family = \"cassegrain\"");
  EXPECT_EQ(lines[at - 5], "shaping = \"classical\"");
  EXPECT_EQ(lines[at - 4].rfind("main_hole_to_feed = ", 0), 0u);
  EXPECT_EQ(lines[at - 3].rfind("feed_to_sub_rim = ", 0), 0u);
  EXPECT_EQ(lines[at - 2], "sub_radius = 0.1");
  EXPECT_EQ(lines[at - 1], "main_inner_radius = 0.0");
}

// Every family's file is TOML whose keys give back the asked design: solved
// for the focal length they reproduce D, F, Ds, theta_e and the hole to
// 1e-9, and the design found has the keys it was found from.
TEST(GeometryWizard, EveryFamilysKeysGiveBackTheAskedDesign) {
  TempDir dir;
  for (const Asked& a : kAsked) {
    SCOPED_TRACE(a.family);
    const Exit e = ravost(dir, args_of(a));
    ASSERT_EQ(e.status, 0) << e.err;
    toml::table t;
    try {
      t = toml::parse(e.out);
    } catch (const toml::parse_error& error) {
      FAIL() << error.what();
    }
    EXPECT_EQ(t["geometry"]["family"].value<std::string>(), a.family);
    EXPECT_EQ(t["geometry"]["shaping"].value<std::string>(), "classical");
    EXPECT_EQ(t["scale"]["diameter"].value<double>(), a.D);
    EXPECT_EQ(t["feed"]["beamwidth_deg"].value<double>(), 2 * a.theta);
    const double hole = t["geometry"]["main_hole_to_feed"].value_or(std::nan(""));
    const double sub_z = t["geometry"]["feed_to_sub_rim"].value_or(std::nan(""));
    const double sub_r = t["geometry"]["sub_radius"].value_or(std::nan(""));
    const double inner = t["geometry"]["main_inner_radius"].value_or(std::nan(""));
    const ClassicalFamily family = *design::classical_family_from_name(a.family);
    const design::ClassicalResult r = design::classical_from_keys(family, hole, sub_z, sub_r, inner);
    ASSERT_TRUE(r.geometry) << r.problems.at(0).message;
    const design::ClassicalGeometry& g = *r.geometry;
    const double s = a.D / 2;
    EXPECT_NEAR(g.main_outer_rim.rho * s, a.D / 2, 1e-9);
    EXPECT_NEAR(g.inputs.focal_length * s, a.F, 1e-9);
    EXPECT_NEAR(2 * g.sub_rim.rho * s, a.Ds, 1e-9);
    EXPECT_NEAR(std::atan2(g.sub_rim.rho, g.sub_rim.z) / kDeg, a.theta, 1e-9);
    EXPECT_NEAR(2 * g.main_inner_rim.rho * s, a.Db, 1e-9);
    const design::GeometrySpec back = design::geometry_keys(g);
    EXPECT_NEAR(back.main_hole_to_feed, hole, 1e-12);
    EXPECT_NEAR(back.feed_to_sub_rim, sub_z, 1e-12);
    // Rows end on the rim.
    const double rows = (1 - inner) / t["synthesis"]["output_interval"].value_or(std::nan(""));
    EXPECT_NEAR(rows, std::round(rows), 1e-9);
  }
}

// The ade's file is a design file the program reads and runs.  The
// reader of this build takes no family or shaping key, so those two lines
// are left out: the rest is the shaped ade of the same geometry.
TEST(GeometryWizard, TheAdeFileRunsThroughTheProgram) {
  TempDir dir;
  const Exit e = ravost(dir, args_of(kAsked[3]) + " --name wiz");
  ASSERT_EQ(e.status, 0) << e.err;
  std::string text;
  for (const std::string& line : lines_of(e.out)) {
    if (line.rfind("family = ", 0) == 0 || line.rfind("shaping = ", 0) == 0) continue;
    text += line + "\n";
  }
  testutil::write_file(dir.path() / "wiz.toml", text);
  const Exit run = ravost(dir, "wiz.toml");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string listing = read_file(dir.path() / "ravost.out");
  for (const char* line : {"Subreflector max. radius:              0.2500",
                           "Main reflector inner radius:           0.1200", "Feed Half Subtended Angle:             30.000",
                           "Feed beamwidth:  60.00 level dB: -10.0"})
    EXPECT_NE(listing.find(line), std::string::npos) << line;
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "wiz.plt"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "wiz_report" / "report.json"));
}

// Parameters no design realises and wrong command lines: one line naming
// the option (and the way to move it), the usage, status 2, nothing printed.
TEST(GeometryWizard, RefusalsNameTheOptionAndTheDirection) {
  TempDir dir;
  struct Refusal {
    std::string args, option, words;
  };
  const std::vector<Refusal> refusals = {
      {"geometry cassegrain --diameter 1000 --focal-length 350 --sub-diameter 100 --feed-angle 80", "--feed-angle",
       "smaller"},
      {"geometry cassegrain --diameter 1000 --focal-length 350 --sub-diameter 1200 --feed-angle 15", "--sub-diameter",
       "make it smaller"},
      {"geometry gregorian --diameter 1000 --focal-length 350 --sub-diameter 100 --feed-angle 15 --hole-diameter 50",
       "--hole-diameter", "takes no hole"},
      {"geometry adc --diameter 1000 --focal-length 350 --sub-diameter 100 --feed-angle 15", "--hole-diameter",
       "either"},
      {"geometry adc --diameter 1000 --focal-length 350 --sub-diameter 100 --feed-angle 15 --hole-diameter 100 "
       "--ring-radius 30",
       "--ring-radius", "excludes"},
      {"geometry cassegrain --diameter -1 --focal-length 350 --sub-diameter 100 --feed-angle 15", "--diameter",
       "above 0"},
      {"geometry cassegrain --focal-length 350 --sub-diameter 100 --feed-angle 15", "--diameter", "required"},
      {"geometry horn --diameter 1000 --focal-length 350 --sub-diameter 100 --feed-angle 15", "FAMILY", "gregorian"},
      {"geometry ade --diameter 1000 --focal-length 350 --sub-diameter 250 --feed-angle 30 --hole-diameter 120 "
       "--unit furlong",
       "--unit", "mm"},
      {"geometry ade --diameter 1000 --focal-length 350 --sub-diameter 250 --feed-angle 30 --hole-diameter 120 "
       "--name up/dir",
       "--name", "only letters"},
  };
  for (const Refusal& f : refusals) {
    SCOPED_TRACE(f.args);
    const Exit e = ravost(dir, f.args);
    EXPECT_EQ(e.status, 2);
    EXPECT_EQ(e.out, "");
    const std::vector<std::string> lines = lines_of(e.err);
    ASSERT_EQ(lines.size(), 2u) << e.err;
    EXPECT_NE(lines[0].find(f.option), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(f.words), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1].rfind("Usage: ravost geometry", 0), 0u);
  }
  const Exit help = ravost(dir, "geometry --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--feed-angle"), std::string::npos);
}

}  // namespace
