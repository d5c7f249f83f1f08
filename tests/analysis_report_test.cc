// The report files: well-formed figures, the JSON keys, a page naming each
// figure, and a clear failure when the folder cannot be made.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "analysis/svg.h"
#include "analysis_fixture.h"
#include "test_util.h"

namespace {

// Whether the text is well-formed XML as far as elements go: every tag closed
// in order, one root element, attribute values quoted, no stray '<' or '&'.
std::string xml_fault(const std::string& text) {
  std::vector<std::string> open;
  int roots = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '&') {
      static const std::regex entity("&(amp|lt|gt|quot|apos|#[0-9]+|#x[0-9a-fA-F]+);");
      if (!std::regex_search(text.begin() + static_cast<long>(i), text.end(), entity, std::regex_constants::match_continuous))
        return "stray & at " + std::to_string(i);
    }
    if (text[i] != '<') {
      ++i;
      continue;
    }
    const std::size_t end = text.find('>', i);
    if (end == std::string::npos) return "unclosed tag at " + std::to_string(i);
    const std::string tag = text.substr(i + 1, end - i - 1);
    i = end + 1;
    if (tag.empty()) return "empty tag";
    if (tag[0] == '?' || tag[0] == '!') continue;
    if (tag.find('<') != std::string::npos) return "'<' inside a tag: " + tag;
    if (tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1)) return "closing " + tag + " does not match";
      open.pop_back();
      continue;
    }
    static const std::regex element(R"(([A-Za-z][\w:-]*)(\s+[\w:-]+="[^"<]*")*\s*/?)");
    std::smatch m;
    if (!std::regex_match(tag, m, element)) return "malformed tag: " + tag.substr(0, 80);
    if (open.empty() && ++roots > 1) return "more than one root element";
    if (tag.back() != '/') open.push_back(m[1]);
  }
  if (!open.empty()) return "unclosed element " + open.back();
  if (roots != 1) return "no root element";
  return "";
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
  analysis::write_report(*report_, *input_, out);
  const std::string html = testutil::read_file(out / "report.html");
  for (const char* name : {"geometry", "aperture", "pattern", "path_error"}) {
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
  for (const auto& note : report_->notes) EXPECT_NE(html.find(analysis::svg::escape(note)), std::string::npos);
  EXPECT_NE(html.find("D/&#955; = 100 assumed"), std::string::npos);
}

TEST_F(ReportFiles, JsonCarriesTheFiguresOfMerit) {
  analysis::write_report(*report_, *input_, dir_.path());
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
  EXPECT_EQ(j.at("notes").size(), report_->notes.size());
}

TEST_F(ReportFiles, CsvFilesHoldOneRowPerSample) {
  analysis::write_report(*report_, *input_, dir_.path());
  const auto rows = [&](const char* file) {
    const std::string text = testutil::read_file(dir_.path() / file);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  };
  EXPECT_EQ(rows("path_error.csv"), report_->ray_rho.size() + 1);
  EXPECT_EQ(rows("aperture.csv"), report_->density_rho.size() + 1);
  EXPECT_EQ(rows("pattern.csv"), report_->delivered.u.size() + 1);
  EXPECT_EQ(rows("geometry.csv"), input_->sub_r.size() + input_->main_r.size() + 1);
  EXPECT_EQ(testutil::read_file(dir_.path() / "pattern.csv").substr(0, 40), "theta_deg,delivered_db,unblocked_db,idea");
}

TEST_F(ReportFiles, FolderThatCannotBeMadeIsAClearError) {
  testutil::write_file(dir_.path() / "plain", "a file, not a folder\n");
  try {
    analysis::write_report(*report_, *input_, dir_.path() / "plain" / "report");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("cannot create the report folder"), std::string::npos) << what;
    EXPECT_NE(what.find("plain"), std::string::npos) << what;
    EXPECT_EQ(what.find('\n'), std::string::npos);
  }
}

}  // namespace
