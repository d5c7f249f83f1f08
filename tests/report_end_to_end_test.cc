// The design report as the program makes it: a run of an answer file with a
// report asked for, its files read back, and the verification telling a good
// design from one spoiled by 32-bit rounding.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "analysis_xml_check.h"
#include "dialog/driver.h"
#include "tests/test_util.h"

namespace {

using nlohmann::json;
using testutil::read_file;
using testutil::TempDir;
using testutil::write_file;

// Runs the answer file "a.ans" in `dir` with the report written into dir/report.
int run_with_report(const TempDir& dir, double wavelength, dialog::Precision precision, std::string& errors) {
  std::istringstream in;
  std::ostringstream out, err;
  dialog::RunOptions options;
  options.answer_file = "a.ans";
  options.precision = precision;
  options.report = writers::ReportRequest{dir.path() / "report", wavelength};
  const int status = dialog::run(in, out, err, dir.path(), false, options);
  errors = err.str();
  return status;
}

// The example geometry and feed, a uniform aperture, the given intervals,
// diameter 100 and no files.
std::string answers(const std::string& calc, const std::string& output) {
  return "0.2\n0.5\n0.25\n0.12\n40, -10\n1\n" + calc + "\n" + output + "\nn\n100\nn\nn\nn\nn\nn\nn\nn\n";
}

json verification(const std::string& calc, const std::string& output, double d_over_lambda,
                  dialog::Precision precision = dialog::Precision::single) {
  TempDir dir;
  write_file(dir.path() / "a.ans", answers(calc, output));
  std::string errors;
  EXPECT_EQ(run_with_report(dir, 100.0 / d_over_lambda, precision, errors), 0) << errors;
  const json j = json::parse(read_file(dir.path() / "report" / "report.json"));
  EXPECT_DOUBLE_EQ(j.at("d_over_lambda").get<double>(), d_over_lambda);
  return j.at("verification");
}

double path_pp(const json& v) { return v.at("path_length_error_peak_to_peak_wavelengths").get<double>(); }

TEST(ReportEndToEnd, ExampleRunWritesACompleteReport) {
  TempDir dir;
  std::filesystem::copy_file(std::filesystem::path(RAVOST_SOURCE_DIR) / "examples" / "uniform.ans", dir.path() / "a.ans");
  std::string errors;
  ASSERT_EQ(run_with_report(dir, 0.0, dialog::Precision::single, errors), 0) << errors;
  const auto report = dir.path() / "report";

  const json j = json::parse(read_file(report / "report.json"));
  EXPECT_DOUBLE_EQ(j.at("d_over_lambda").get<double>(), 100.0);
  EXPECT_TRUE(j.at("wavelength_assumed").get<bool>());
  EXPECT_EQ(j.at("distribution").get<std::string>(), "uniform");
  for (const char* k : {"spillover", "illumination", "blockage", "phase", "total"}) {
    const double e = j.at("efficiency").at(k).get<double>();
    EXPECT_GT(e, 0.5) << k;
    EXPECT_LE(e, 1.0) << k;
  }
  const json& v = j.at("verification");
  for (const char* k : {"rays_traced", "rays_lost", "path_length_error_rms_wavelengths", "collimation_error_max_deg",
                        "aperture_power_error_max_db", "aperture_bins_without_power",
                        "path_length_error_peak_to_peak_all_rays_wavelengths"})
    EXPECT_TRUE(v.contains(k)) << k;
  // The headline traces the design itself, which focuses and delivers the
  // wanted power; as written, 45 surface points leave a first interval of
  // the subreflector that spans 2.6 degrees of feed angle and 4 % of the
  // power, whose rays are reported apart.
  EXPECT_EQ(j.at("figures_trace").get<std::string>(), "design");
  EXPECT_LT(path_pp(v), 0.002);
  EXPECT_LT(v.at("aperture_power_error_max_db").get<double>(), 0.2);
  const json& w = j.at("as_written");
  EXPECT_GT(j.at("directivity_dbi").get<double>(), w.at("directivity_dbi").get<double>() + 0.1);
  const json& wv = w.at("verification");
  const json& ring = wv.at("vertex_ring");
  EXPECT_NEAR(ring.at("feed_angle_max_deg").get<double>(), 2.64, 0.01);
  EXPECT_NEAR(ring.at("power_share").get<double>(), 0.04, 0.005);
  EXPECT_GT(ring.at("rays").get<int>(), 100);
  EXPECT_LT(ring.at("landing_radius_min_normalised").get<double>(), 0.96);
  EXPECT_GT(ring.at("collimation_error_max_deg").get<double>(), 1.0);
  EXPECT_GT(ring.at("path_length_error_peak_to_peak_wavelengths").get<double>(), 0.02);
  EXPECT_GT(path_pp(wv), 2 * path_pp(v));
  // The outermost ring of the aperture gets no power as written; that is
  // counted and the outermost annulus shows it.
  EXPECT_GT(wv.at("aperture_bins_without_power").get<int>(), 0);
  EXPECT_GT(wv.at("aperture_power_error_rim_db").get<double>(), 3.0);
  const json& advice = j.at("sampling_advice");
  EXPECT_GT(advice.at("output_interval").get<double>(), 0.0);
  EXPECT_LT(advice.at("output_interval").get<double>(), 0.02);

  const std::string html = read_file(report / "report.html");
  for (const char* name : {"geometry", "aperture", "pattern", "path_error"}) {
    SCOPED_TRACE(name);
    const std::string svg = read_file(report / (std::string(name) + ".svg"));
    EXPECT_EQ(test::xml_fault(svg), "");
    EXPECT_NE(html.find(std::string("<figure id=\"") + name + ".svg\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_regular_file(report / (std::string(name) + ".csv")));
  }
  EXPECT_NE(html.find("first surface point"), std::string::npos);
  EXPECT_NE(read_file(report / "path_error.svg").find("subreflector vertex"), std::string::npos);
  // The run's own files are there too: the report does not replace them.
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.path() / "uniform.plt"));
}

// Fine intervals in 32-bit reals: the path length drifts over 88000 steps,
// which the report must show at D/lambda = 1000, and 64-bit reals remove.
TEST(ReportEndToEnd, VerificationTellsAGoodDesignFromA32BitDrift) {
  EXPECT_LT(path_pp(verification("0.001", "0.001", 100.0)), 0.02);
  EXPECT_GT(path_pp(verification("1e-5", "0.001", 1000.0)), 0.1);
  EXPECT_LT(path_pp(verification("1e-5", "0.001", 1000.0, dialog::Precision::double_)), 0.02);
}

}  // namespace
