// The report files: well-formed figures, the JSON keys, a page naming each
// figure, a clear failure when the folder cannot be made, and a report that
// replaces an older one whole or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "figures/svg.h"
#include "report/report.h"
#include "io/files.h"
#include "io/folder.h"
#include "analysis_fixture.h"
#include "analysis_xml_check.h"
#include "test_util.h"

namespace {

using test::xml_fault;
namespace fs = std::filesystem;

const char* const kReportFiles[] = {"geometry.svg", "aperture.svg", "pattern.svg", "path_error.svg", "feed.svg", "geometry.csv",
                                    "aperture.csv", "pattern.csv", "path_error.csv", "feed.csv", "report.json", "report.html"};

// Every entry of a folder: a file by its size and a hash of its bytes (short
// enough to read in a failure), a folder as "<folder>".
std::map<std::string, std::string> listing(const fs::path& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string& entry = entries[e.path().filename().string()];
    if (e.is_directory()) {
      entry = "<folder>";
    } else {
      const std::string bytes = testutil::read_file(e.path());
      entry = std::to_string(bytes.size()) + " bytes #" + std::to_string(std::hash<std::string>{}(bytes));
    }
  }
  return entries;
}

bool has_note(const analysis::Report& r, const std::string& start) {
  return std::any_of(r.notes.begin(), r.notes.end(), [&](const std::string& n) { return n.rfind(start, 0) == 0; });
}

TEST(XmlChecker, CatchesBrokenFigures) {
  EXPECT_EQ(xml_fault("<?xml version=\"1.0\"?>\n<svg a=\"1\"><g><line x=\"2\"/></g><text>a &amp; b</text></svg>"), "");
  EXPECT_NE(xml_fault("<svg><g></svg>"), "");
  EXPECT_NE(xml_fault("<svg><text>a & b</text></svg>"), "");
  EXPECT_NE(xml_fault("<svg><text>a < b</text></svg>"), "");
  EXPECT_NE(xml_fault("<svg a=1></svg>"), "");
  EXPECT_NE(xml_fault("<svg></svg><svg></svg>"), "");
}

class ReportFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    input_ = new analysis::DesignInput(test::design_input(test::taylor(25.0, 4), 201));
    input_->distribution = "Taylor, 25 dB sidelobes, nbar 4 <test & check>";
    report_ = new analysis::Report(analysis::analyse(*input_, {}));
  }
  static void TearDownTestSuite() {
    delete report_;
    delete input_;
  }
  static analysis::DesignInput* input_;
  static analysis::Report* report_;
  testutil::TempDir dir_;
};
analysis::DesignInput* ReportFiles::input_ = nullptr;
analysis::Report* ReportFiles::report_ = nullptr;

TEST_F(ReportFiles, FiguresAreWellFormedAndThePageNamesThem) {
  const auto out = dir_.path() / "new" / "report";  // created with its parent
  report::write_report(*report_, *input_, out);
  const std::string html = testutil::read_file(out / "report.html");
  for (const char* name : {"geometry", "aperture", "pattern", "path_error", "feed"}) {
    SCOPED_TRACE(name);
    const std::string svg = testutil::read_file(out / (std::string(name) + ".svg"));
    EXPECT_EQ(xml_fault(svg), "");
    EXPECT_NE(svg.find("<polyline"), std::string::npos);
    EXPECT_NE(html.find(std::string(name) + ".svg"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(out / (std::string(name) + ".csv")));
  }
  // Self-contained: the figures inline, nothing fetched, nothing run.
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("src="), std::string::npos);
  EXPECT_EQ(html.find("<link"), std::string::npos);
  EXPECT_NE(html.find("&lt;test &amp; check&gt;"), std::string::npos);
  for (const auto& note : report_->notes) EXPECT_NE(html.find(figures::escape(note)), std::string::npos);
  EXPECT_NE(html.find("an assumed D/&#955; = 100 (no wavelength was given)"), std::string::npos);
}

TEST_F(ReportFiles, TheJsonValueIsWhatReportJsonHolds) {
  // Callers that take the report in memory get the same bytes as the file.
  report::write_report(*report_, *input_, dir_.path());
  EXPECT_EQ(report::report_json(*report_, *input_).dump(2) + "\n", testutil::read_file(dir_.path() / "report.json"));
}

TEST_F(ReportFiles, JsonCarriesTheFiguresOfMerit) {
  report::write_report(*report_, *input_, dir_.path());
  const auto j = nlohmann::json::parse(testutil::read_file(dir_.path() / "report.json"));
  EXPECT_EQ(j.at("d_over_lambda").get<double>(), 100.0);
  EXPECT_TRUE(j.at("wavelength_assumed").get<bool>());
  EXPECT_NEAR(j.at("directivity_dbi").get<double>(), report_->directivity_dbi, 1e-12);
  for (const char* k : {"spillover", "illumination", "blockage", "phase", "total"}) {
    const double v = j.at("efficiency").at(k).get<double>();
    EXPECT_GT(v, 0.0) << k;
    EXPECT_LE(v, 1.0) << k;
  }
  EXPECT_NEAR(j["efficiency"]["total"].get<double>(), report_->efficiency.total, 1e-15);
  for (const char* k : {"hpbw_deg", "first_null_deg"}) EXPECT_GT(j.at("pattern").at(k).get<double>(), 0.0) << k;
  for (const char* k : {"first_sidelobe_db", "unblocked_first_sidelobe_db"}) EXPECT_LT(j.at("pattern").at(k).get<double>(), 0.0) << k;
  const auto& v = j.at("verification");
  EXPECT_EQ(v.at("rays_traced").get<int>(), report_->rays_traced);
  for (const char* k : {"path_length_error_peak_to_peak_wavelengths", "path_length_error_rms_wavelengths",
                        "collimation_error_max_deg", "aperture_power_error_max_db"})
    EXPECT_GE(v.at(k).get<double>(), 0.0) << k;
  EXPECT_EQ(v.at("aperture_bins_without_power").get<int>(), report_->aperture_bins_without_power);
  const auto& ring = v.at("vertex_ring");
  EXPECT_EQ(ring.at("rays").get<int>(), report_->vertex_ring.rays);
  for (const char* k : {"feed_angle_max_deg", "power_share", "path_length_error_peak_to_peak_wavelengths",
                        "collimation_error_max_deg", "landing_radius_min_normalised"})
    EXPECT_GT(ring.at(k).get<double>(), 0.0) << k;
  EXPECT_EQ(j.at("notes").size(), report_->notes.size());
}

TEST_F(ReportFiles, VertexRingWithoutRaysAtTheApertureIsNullNotANumber) {
  auto in = *input_;
  while (in.main_r.back() > 0.9 * 50.0) in.main_r.pop_back(), in.main_z.pop_back();
  const auto r = analysis::analyse(in, {});
  ASSERT_EQ(r.vertex_ring.rays_traced, 0);
  report::write_report(r, in, dir_.path());
  const std::string text = testutil::read_file(dir_.path() / "report.json");
  const auto ring = nlohmann::json::parse(text).at("verification").at("vertex_ring");
  EXPECT_TRUE(ring.at("collimation_error_max_deg").is_null());
  EXPECT_GT(ring.at("rays_lost").get<int>(), 0);
  EXPECT_EQ(text.find("nan"), std::string::npos);
  // Radii no power reaches have no level in the table: the design's column
  // is empty past the cut rim, and nowhere at the floor.
  const std::string csv = testutil::read_file(dir_.path() / "aperture.csv");
  EXPECT_EQ(csv.find("-300"), std::string::npos);
  std::istringstream rows(csv);
  std::string row;
  std::getline(rows, row);
  int beyond = 0;
  while (std::getline(rows, row)) {
    std::vector<std::string> cells;
    std::istringstream cut(row);
    for (std::string cell; std::getline(cut, cell, ',');) cells.push_back(cell);
    ASSERT_GE(cells.size(), 4u) << row;
    if (std::stod(cells[1]) < 0.95) continue;
    EXPECT_EQ(cells[3], "") << row;  // design_db
    EXPECT_NE(cells[2], "") << row;  // wanted_db
    ++beyond;
  }
  EXPECT_GT(beyond, 20);
}

TEST_F(ReportFiles, CsvFilesHoldOneRowPerSample) {
  report::write_report(*report_, *input_, dir_.path());
  const auto rows = [&](const char* file) {
    const std::string text = testutil::read_file(dir_.path() / file);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  };
  EXPECT_EQ(rows("path_error.csv"), report_->ray_rho.size() + 1);
  EXPECT_EQ(rows("aperture.csv"), 501u + 1);
  EXPECT_EQ(rows("pattern.csv"), report_->delivered.u.size() + 1);
  EXPECT_EQ(rows("geometry.csv"), input_->sub_r.size() + input_->main_r.size() + 1);
  EXPECT_EQ(testutil::read_file(dir_.path() / "pattern.csv").substr(0, 40), "theta_deg,delivered_db,unblocked_db,idea");
  // Each ray says whether it belongs to the vertex ring; the figure draws those apart.
  std::istringstream path(testutil::read_file(dir_.path() / "path_error.csv"));
  std::string line;
  std::getline(path, line);
  EXPECT_EQ(line.substr(line.rfind(',') + 1), "vertex_ring");
  int ringed = 0;
  while (std::getline(path, line)) ringed += line.back() == '1' ? 1 : 0;
  EXPECT_EQ(ringed, report_->vertex_ring.rays_traced);
  EXPECT_NE(testutil::read_file(dir_.path() / "path_error.svg").find("<circle"), std::string::npos);
}

TEST_F(ReportFiles, FolderThatCannotBeMadeIsAClearError) {
  testutil::write_file(dir_.path() / "plain", "a file, not a folder\n");
  try {
    report::write_report(*report_, *input_, dir_.path() / "plain" / "report");
    FAIL() << "no error";
  } catch (const io::RunError& e) {
    // One diagnostic; its message is what the caller puts in its own words.
    ASSERT_EQ(e.diagnostics().size(), 1u);
    const std::string& what = e.diagnostics().front().message;
    EXPECT_NE(what.find("cannot create the folder"), std::string::npos) << what;
    EXPECT_NE(what.find("plain"), std::string::npos) << what;
    EXPECT_EQ(what.find('\n'), std::string::npos);
  }
}

TEST_F(ReportFiles, RewriteReplacesEveryFileOrNone) {
  const auto out = dir_.path() / "report";
  fs::create_directory(out);
  for (const char* name : kReportFiles) testutil::write_file(out / name, std::string("old ") + name);
  testutil::write_file(out / "notes.txt", "not the report's");
  // A folder where report.json goes: the files written before it are moved
  // into place first and must be taken back.
  fs::remove(out / "report.json");
  fs::create_directory(out / "report.json");
  const auto before = listing(out);
  try {
    report::write_report(*report_, *input_, out);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("report.json"), std::string::npos) << e.what();
  }
  EXPECT_EQ(listing(out), before);  // old files byte for byte, nothing staged or new left

  fs::remove(out / "report.json");
  report::write_report(*report_, *input_, out);
  report::write_report(*report_, *input_, dir_.path() / "fresh");
  const auto fresh = listing(dir_.path() / "fresh");
  auto expected = fresh;
  expected["notes.txt"] = before.at("notes.txt");
  EXPECT_EQ(fresh.size(), std::size(kReportFiles));
  EXPECT_EQ(listing(out), expected);
}

TEST_F(ReportFiles, FailedReportLeavesNoFolderBehind) {
  // JSON text must be valid UTF-8: report.json fails after the figures and
  // tables are written, and the folders made for the report go again.
  auto in = *input_;
  in.distribution = "Taylor \xff";
  EXPECT_THROW(report::write_report(*report_, in, dir_.path() / "new" / "report"), std::exception);
  EXPECT_FALSE(fs::exists(dir_.path() / "new"));
  EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST(FolderWriter, WritersIntoOneFolderKeepApartAndNamesStayInIt) {
  testutil::TempDir dir;
  io::FolderWriter first(dir.path());
  first.write("a.txt", "first");
  EXPECT_THROW(first.write("../escaped.txt", "x"), std::invalid_argument);
  {
    io::FolderWriter second(dir.path());  // staged beside the first, then dropped
    second.write("a.txt", "second");
  }
  first.write("a.txt", "first again");  // staged again: replaced, moved once
  first.commit();
  ASSERT_EQ(listing(dir.path()).size(), 1u);  // nothing staged left
  EXPECT_EQ(testutil::read_file(dir.path() / "a.txt"), "first again");
  EXPECT_FALSE(fs::exists(dir.path().parent_path() / "escaped.txt"));
}

// A report without physical optics over one with them: the earlier run's
// physical-optics files go, the user's own files stay; and when the commit
// fails they all stay as they were.
TEST_F(ReportFiles, AnEarlierReportsFilesThatThisOneDoesNotWriteAreRemoved) {
  ASSERT_FALSE(report_->physical_optics);
  const auto out = dir_.path() / "report";
  fs::create_directory(out);
  testutil::write_file(out / "po_pattern.csv", "old cuts");
  testutil::write_file(out / "po_pattern.cut", "old cuts");
  testutil::write_file(out / "notes.txt", "not the report's");
  testutil::write_file(out / "po_pattern.csv.bak", "not the report's either");
  fs::create_directory(out / "report.json");  // in the way: nothing changes
  const auto before = listing(out);
  EXPECT_THROW(report::write_report(*report_, *input_, out), std::runtime_error);
  EXPECT_EQ(listing(out), before);

  fs::remove(out / "report.json");
  report::write_report(*report_, *input_, out);
  const auto after = listing(out);
  EXPECT_EQ(after.count("po_pattern.csv"), 0u);
  EXPECT_EQ(after.count("po_pattern.cut"), 0u);
  EXPECT_EQ(after.at("notes.txt"), before.at("notes.txt"));
  EXPECT_EQ(after.at("po_pattern.csv.bak"), before.at("po_pattern.csv.bak"));
  EXPECT_EQ(after.size(), std::size(kReportFiles) + 2);
}

TEST(FolderWriter, OwnedFilesNotWrittenGoAtTheCommitButNeverAFolder) {
  testutil::TempDir dir;
  testutil::write_file(dir.path() / "stale.txt", "earlier");
  testutil::write_file(dir.path() / "kept.txt", "written again");
  fs::create_directory(dir.path() / "folder.txt");
  io::FolderWriter w(dir.path());
  EXPECT_THROW(w.own({"../stale.txt"}), std::invalid_argument);
  w.own({"stale.txt", "kept.txt", "folder.txt", "absent.txt"});
  w.write("kept.txt", "new");
  // Nothing goes before the commit.
  EXPECT_TRUE(fs::exists(dir.path() / "stale.txt"));
  w.commit();
  EXPECT_FALSE(fs::exists(dir.path() / "stale.txt"));
  EXPECT_EQ(testutil::read_file(dir.path() / "kept.txt"), "new");
  EXPECT_TRUE(fs::is_directory(dir.path() / "folder.txt"));
  EXPECT_EQ(listing(dir.path()).size(), 2u);  // nothing staged or set aside left
}

TEST_F(ReportFiles, OptionsSetTheThresholds) {
  ASSERT_TRUE(has_note(*report_, "The profiles focus well"));
  analysis::Options o;
  o.focus_path_error = 0.5 * report_->path_error_pp_wavelengths;
  o.bins_max = 50;
  const auto strict = analysis::analyse(*input_, o);
  EXPECT_FALSE(has_note(strict, "The profiles focus well"));
  EXPECT_TRUE(has_note(strict, "The path error is"));
  EXPECT_EQ(strict.density_rho.size(), 50u);
  EXPECT_EQ(report_->density_rho.size(), 400u);
  o.bins_min = 60;
  EXPECT_THROW(analysis::analyse(*input_, o), std::invalid_argument);
}

}  // namespace
