// Feed pattern files as the program reads them: each fault of a table or a
// cut file named by its line, the subreflector's half angle and the phase
// warning at their thresholds, a --feed run's listing and report, and the
// readers under mutated files (in memory and through the program).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "design/choices.h"
#include "design/synthesis.h"
#include "feedfile/feed_file.h"
#include "tests/test_util.h"

namespace {

namespace fs = std::filesystem;

// The sanitizer build runs each program and parse several times slower: it
// takes a share of the mutated files.
#if defined(__SANITIZE_ADDRESS__)
constexpr unsigned kShare = 3;
#else
constexpr unsigned kShare = 1;
#endif
using nlohmann::json;
using testutil::read_file;
using testutil::TempDir;
using testutil::write_file;

std::string sample(const std::string& name) {
  return read_file(fs::path(RAVOST_SOURCE_DIR) / "tests" / "data" / "feeds" / name);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

// `text` with its line `number` (1-based) replaced by `with`.
std::string with_line(const std::string& text, std::size_t number, const std::string& with) {
  std::vector<std::string> l = lines_of(text);
  l.at(number - 1) = with;
  return joined(l);
}

// The first `count` lines of `text`.
std::string head(const std::string& text, std::size_t count) {
  std::vector<std::string> l = lines_of(text);
  l.resize(std::min(count, l.size()));
  return joined(l);
}

// What a refusal says, as the program prints it, or empty for a file read.
std::string said(const feedfile::ReadResult& r) { return r.error ? diag::render(*r.error) : std::string(); }

// The line a refusal names, or -1 when it is not one line
// "Error in NAME, line N: ..." whose diagnostic carries that file and line.
long error_line(const feedfile::ReadResult& r, const std::string& name) {
  if (!r.error || r.error->file != name) return -1;
  const std::string error = said(r);
  std::smatch m;
  const std::regex form("Error in " + std::regex_replace(name, std::regex(R"([.])"), R"(\.)") +
                        R"(, line ([0-9]+): [^\n]+)");
  if (!std::regex_match(error, m, form) || std::stol(m[1]) != r.error->line) return -1;
  return r.error->line;
}

// The geometry of the horn's checks: h 0.3, f 0.4, s 0.15, r0 0.1 (half
// angle 20.556 degrees), a uniform aperture, no files; the beamwidth line is
// left out, as a --feed run's answers do.
const std::string kAnswers = "0.3\n0.4\n0.15\n0.1\n1\n0.001\n0.02\nno\n100\nno\nno\nno\nno\nno\nno\nno\n";

using Exit = testutil::ProgramExit;

Exit ravost(const fs::path& dir, const std::string& args) { return testutil::run_program(dir, args); }

// A run of the horn's answers with the feed file `name` holding `text`.
Exit run_feed(const TempDir& dir, const std::string& name, const std::string& text,
              const std::string& more = "", const std::string& answers = kAnswers) {
  write_file(dir.path() / name, text);
  write_file(dir.path() / "h.ans", answers);
  return ravost(dir.path(), more + " --feed '" + name + "' h.ans");
}

// ---- Faults, by their line -----------------------------------------------------

struct Case {
  const char* what;
  std::string name, text;
  long line;
  const char* says;
  bool through_program = false;  // also run through the program
};

std::vector<Case> fault_cases() {
  const std::string csv = sample("corrugated_horn.csv");  // rows from line 3 (0 deg)
  const std::string cut = sample("conical_horn.cut");     // headers at lines 2, 365, 728
  const std::size_t last = lines_of(cut).size();
  std::string longer = cut;
  longer.insert(lines_of(cut)[0].size() + lines_of(cut)[1].size() + 2,
                lines_of(cut)[2] + "\n");  // a 362nd line in the first cut
  return {
      {"a word for a number", "t.csv", with_line(csv, 10, "3.5,-0.2x,-0.2"), 10, "\"-0.2x\" is not a number"},
      {"a line of two values", "t.csv", with_line(csv, 12, "4.5,-0.46"), 12, "holds 2 values; the header names 3"},
      {"an angle repeated", "t.csv", with_line(csv, 10, "3.0,-0.2,-0.2"), 10, "does not increase"},
      {"an angle falling", "t.csv", with_line(csv, 10, "2.9,-0.2,-0.2"), 10, "does not increase", true},
      {"NaN power", "t.csv", with_line(csv, 20, "8.5,nan,-1.66"), 20, "not a finite number", true},
      {"infinite power", "t.csv", with_line(csv, 20, "8.5,-1.66,-inf"), 20, "not a finite number"},
      {"a power past the reals", "t.csv", with_line(csv, 20, "8.5,1e309,-1.66"), 20, "not a number"},
      {"a power of 10^400", "t.csv", with_line(csv, 20, "8.5,4000,-1.66"), 20, "out of range"},
      {"not from the axis", "t.csv", with_line(csv, 3, "0.1,0,0"), 3, "must start on the axis"},
      {"past 180 degrees", "t.csv", csv + "180.5,-150,-150\n", 364, "beyond 180"},
      {"no rows", "t.csv", "theta_deg,e_plane_db,h_plane_db\n", 1, "holds no pattern"},
      {"an empty file", "t.csv", "", 1, "holds no pattern", true},
      {"V_NUM one short of the lines", "t.cut", with_line(cut, 2, "0.000000 0.500000 360 0.000000 3 1 2"), 363,
       "V_NUM does not match", true},
      {"a line more than V_NUM", "t.cut", longer, 364, "V_NUM does not match", true},
      {"the last cut one line short", "t.cut", head(cut, last - 1), static_cast<long>(last - 1),
       "ends after 360 of the 361 lines"},
      {"a cut header with six numbers", "t.cut", with_line(cut, 365, "0.0 0.5 361 45.0 3 1"), 365, "seven numbers"},
      {"ICUT 2", "t.cut", with_line(cut, 365, "0.000000 0.500000 361 45.000000 3 2 2"), 365, "ICUT 2", true},
      {"ICOMP 2", "t.cut", with_line(cut, 2, "0.000000 0.500000 361 0.000000 2 1 2"), 2, "ICOMP 2", true},
      {"NCOMP 3", "t.cut", with_line(cut, 2, "0.000000 0.500000 361 0.000000 3 1 3"), 2, "NCOMP 3"},
      {"a NaN component", "t.cut", with_line(cut, 400, " nan 0 0 0"), 400, "not a finite number"},
      {"a line of three components", "t.cut", with_line(cut, 400, " 1 0 0"), 400, "holds 3 values"},
  };
}

TEST(FeedFiles, EachFaultIsOneLineNamingTheFileAndItsLine) {
  for (const Case& c : fault_cases()) {
    const feedfile::ReadResult r = feedfile::parse(c.text, c.name);
    EXPECT_FALSE(r.table) << c.what;
    EXPECT_EQ(error_line(r, c.name), c.line) << c.what << ": " << said(r);
    EXPECT_NE(said(r).find(c.says), std::string::npos) << c.what << ": " << said(r);
  }
  // Both samples as they stand, by content whatever their names.
  EXPECT_TRUE(feedfile::parse(sample("conical_horn.cut"), "horn.csv").table);
  EXPECT_EQ(feedfile::parse(sample("conical_horn.cut"), "horn.csv").format, design::FeedModelKind::cut);
  EXPECT_EQ(feedfile::parse(sample("corrugated_horn.csv"), "horn.cut").format,
            design::FeedModelKind::table);
}

TEST(FeedFiles, AFaultyFileEndsTheRunBeforeAnyQuestion) {
  for (const Case& c : fault_cases()) {
    if (!c.through_program) continue;
    TempDir dir;
    const Exit e = run_feed(dir, c.name, c.text);
    EXPECT_EQ(e.status, 1) << c.what;
    EXPECT_EQ(e.err, said(feedfile::parse(c.text, c.name)) + "\n") << c.what;
    EXPECT_EQ(e.out, "") << c.what;
    EXPECT_FALSE(fs::exists(dir.path() / "ravost.out")) << c.what;
  }
  TempDir dir;
  write_file(dir.path() / "h.ans", kAnswers);
  const Exit missing = ravost(dir.path(), "--feed none.csv h.ans");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("\"none.csv\" does not exist"), std::string::npos) << missing.err;
}

// ---- The subreflector's half angle -------------------------------------------

// The corrugated horn up to 20.5 degrees (line 44), then a last row at `angle`.
std::string horn_to(const std::string& angle) {
  return head(sample("corrugated_horn.csv"), 44) + angle + ",-10.64,-10.64\n";
}

TEST(FeedFiles, ATableMustReachTheSubreflectorsHalfAngle) {
  for (auto precision : {design::Precision::single, design::Precision::double_}) {
    design::DesignSpec s;
    s.geometry = {0.3, 0.4, 0.15, 0.1};
    s.synthesis = {1e-3, 0.02};
    s.precision = precision;
    s.feed.model = design::FeedModelKind::table;
    const double half = precision == design::Precision::single
                            ? static_cast<double>(design::make_design<float>(s).feed_half_angle_deg)
                            : design::make_design<double>(s).feed_half_angle_deg;
    ASSERT_NEAR(half, 20.556045, 1e-5);
    const auto faults_ending_at = [&](double last) {
      char angle[32];
      std::snprintf(angle, sizeof angle, "%.17g", last);
      feedfile::ReadResult r = feedfile::parse(horn_to(angle), "t.csv");
      EXPECT_TRUE(r.table) << said(r);
      s.feed.table = std::make_shared<const design::FeedTable>(std::move(*r.table));
      return design::validate(s).size();
    };
    EXPECT_EQ(faults_ending_at(half), 0u);
    EXPECT_EQ(faults_ending_at(std::nextafter(half, 0.0)), 1u);
    EXPECT_EQ(faults_ending_at(std::nextafter(half, 180.0)), 0u);
  }
  // Through the program: a ten-thousandth of a degree either side.
  TempDir past, short_of;
  EXPECT_EQ(run_feed(past, "t.csv", horn_to("20.5561")).status, 0);
  const Exit e = run_feed(short_of, "t.csv", horn_to("20.556"));
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.err, "Error in t.csv, line 45: the feed table stops at 20.556 degrees, short of the "
                   "subreflector's half angle of 20.556 degrees.\n");
}

// ---- The phase -----------------------------------------------------------------

// The corrugated horn with a phase column `phase(theta in degrees)`.
template <class Phase>
std::string horn_with_phase(Phase phase) {
  std::string out = "theta_deg,e_plane_db,h_plane_db,phase_deg\n";
  for (const std::string& line : lines_of(sample("corrugated_horn.csv"))) {
    if (line.empty() || line[0] == '#' || line[0] == 't') continue;
    char p[40];
    std::snprintf(p, sizeof p, ",%.9f", phase(std::stod(line)));
    out += line + p + "\n";
  }
  return out;
}

design::FeedTable table_of(const std::string& text) {
  feedfile::ReadResult r = feedfile::parse(text, "p.csv");
  EXPECT_TRUE(r.table) << said(r);
  return r.table ? *r.table : design::FeedTable{};
}

constexpr double kHalfAngle = 0.35877067027057225;  // atan(0.15 / 0.4)

TEST(FeedFiles, APhaseCentreOffTheFeedPointIsFoundAlongTheAxis) {
  // phase = k d cos(theta), d in wavelengths.
  for (double d : {0.5, -0.7, 0.05}) {
    const design::FeedTable t =
        table_of(horn_with_phase([d](double a) { return 360.0 * d * std::cos(a * M_PI / 180.0); }));
    const std::optional<feedfile::PhaseFit> fit = feedfile::phase_fit(t, kHalfAngle);
    ASSERT_TRUE(fit);
    EXPECT_NEAR(fit->offset_wavelengths, d, 1e-8) << d;
    // Over the samples inside the cone, the last at 20.5 degrees.
    EXPECT_NEAR(fit->variation_deg, 360.0 * std::fabs(d) * (1 - std::cos(20.5 * M_PI / 180)), 1e-6);
  }
  // A phase wrapped at +-180 degrees is unwrapped before it is measured (a
  // table in memory: a file must give its phase unwrapped).
  design::FeedTable wrapped = table_of(horn_with_phase([](double a) {
    return 180.0 + 360.0 * 0.05 * std::cos(a * M_PI / 180.0) - 18.0;
  }));
  for (double& p : wrapped.phase_deg) p = p > 180.0 ? p - 360.0 : p;
  EXPECT_LT(feedfile::phase_fit(wrapped, kHalfAngle)->variation_deg, 2.0);
  EXPECT_EQ(feedfile::phase_warning(wrapped, kHalfAngle), std::nullopt);
  // Through the program: two lines on standard error, and the design made.
  TempDir dir;
  const Exit e = run_feed(dir, "p.csv", horn_with_phase([](double a) {
                            return 360.0 * 0.5 * std::cos(a * M_PI / 180.0);
                          }));
  EXPECT_EQ(e.status, 0);
  EXPECT_EQ(e.err,
            "Warning: the phase in p.csv varies by 11.4 degrees over the subreflector's cone: the "
            "feed's phase centre is not at the feed point.\nThe best fit puts it 0.5 wavelengths "
            "along the axis from the feed point (positive towards the subreflector).\n");
}

TEST(FeedFiles, ThePhaseWarningStartsPastTenDegrees) {
  // One sample inside the cone (10 degrees) off the rest; one outside it
  // (30 degrees) far off, which does not count.
  const auto warning_at = [](double step) {
    const design::FeedTable t = table_of(horn_with_phase([step](double a) {
      return a == 10.0 ? step : a == 30.0 ? 90.0 : 0.0;
    }));
    const auto warning = feedfile::phase_warning(t, kHalfAngle);
    return warning ? diag::render(*warning) : std::string();
  };
  EXPECT_EQ(warning_at(10.0 - 1e-6), "");
  EXPECT_EQ(warning_at(10.0), "");
  EXPECT_NE(warning_at(10.0 + 1e-6), "");
  EXPECT_NE(warning_at(-10.0 - 1e-6), "");
  // A table without a phase column has nothing to say.
  EXPECT_EQ(feedfile::phase_fit(table_of(sample("corrugated_horn.csv")), kHalfAngle), std::nullopt);
}

// ---- A --feed run: the listing and the report ------------------------------------

TEST(FeedFiles, TheListingNamesTheFeedFileInPlaceOfTheBeamwidth) {
  TempDir with_feed, with_beamwidth;
  const Exit e = run_feed(with_feed, "corrugated_horn.csv", sample("corrugated_horn.csv"));
  ASSERT_EQ(e.status, 0) << e.err;
  EXPECT_EQ(e.err, "");
  EXPECT_EQ(e.out.find("Beamwidth"), std::string::npos);
  std::string answers = kAnswers;
  answers.insert(answers.find("1\n0.001"), "40, -10\n");
  write_file(with_beamwidth.path() / "h.ans", answers);
  ASSERT_EQ(ravost(with_beamwidth.path(), "h.ans").status, 0);
  const std::vector<std::string> feed = lines_of(read_file(with_feed.path() / "ravost.out"));
  const std::vector<std::string> beamwidth = lines_of(read_file(with_beamwidth.path() / "ravost.out"));
  ASSERT_GT(feed.size(), 14u);
  ASSERT_EQ(feed.size(), beamwidth.size());
  EXPECT_EQ(beamwidth[9], " Feed beamwidth:  40.00 level dB: -10.0\r");
  EXPECT_EQ(feed[9], " Feed pattern: corrugated_horn.csv, 361 angles every 0.5 deg to 180 deg\r");
  for (std::size_t i = 0; i < 14; ++i) {
    if (i != 9) {
      EXPECT_EQ(feed[i], beamwidth[i]) << i;
    }
  }
  // Pattern cuts, told by content under any name.
  TempDir cuts;
  ASSERT_EQ(run_feed(cuts, "horn.txt", sample("conical_horn.cut")).status, 0);
  EXPECT_EQ(lines_of(read_file(cuts.path() / "ravost.out"))[9],
            " Feed pattern: horn.txt, 361 angles every 0.5 deg to 180 deg\r");
}

// The table's enclosed power F(a) / F(b), the linear power interpolated
// linearly in angle and integrated by the trapezoidal rule on a fine grid.
double enclosed_ratio(const std::string& csv, double a, double b) {
  std::vector<double> theta, power;
  for (const std::string& line : lines_of(csv)) {
    if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
    double t = 0, e = 0, h = 0;
    std::sscanf(line.c_str(), "%lf,%lf,%lf", &t, &e, &h);
    theta.push_back(t * M_PI / 180.0);
    power.push_back(0.5 * (std::pow(10.0, e / 10) + std::pow(10.0, h / 10)));
  }
  const auto enclosed = [&](double to) {
    double sum = 0;
    for (std::size_t i = 1; i < theta.size() && theta[i - 1] < to; ++i) {
      const double x0 = theta[i - 1], x1 = std::min(theta[i], to);
      constexpr int n = 50;
      for (int k = 0; k < n; ++k) {
        const auto f = [&](double x) {
          const double u = (x - theta[i - 1]) / (theta[i] - theta[i - 1]);
          return (power[i - 1] * (1 - u) + power[i] * u) * std::sin(x);
        };
        const double u0 = x0 + (x1 - x0) * k / n, u1 = x0 + (x1 - x0) * (k + 1) / n;
        sum += 0.5 * (f(u0) + f(u1)) * (u1 - u0);
      }
    }
    return sum;
  };
  return enclosed(a) / enclosed(b);
}

TEST(FeedFiles, TheReportGivesTheTablesSpilloverAndItsFeed) {
  const std::string horn = sample("corrugated_horn.csv");
  TempDir dir;
  const Exit e = run_feed(dir, "corrugated_horn.csv", horn, "--double --report rep");
  ASSERT_EQ(e.status, 0) << e.err;
  const json j = json::parse(read_file(dir.path() / "rep" / "report.json"));
  const double ratio = enclosed_ratio(horn, kHalfAngle, M_PI);
  EXPECT_NEAR(ratio, 0.929, 0.001);
  EXPECT_NEAR(j.at("efficiency").at("spillover").get<double>(), ratio, 0.002);
  const json& g = j.at("geometry");
  EXPECT_EQ(g.at("feed_model"), "table from corrugated_horn.csv, 361 angles from 0 to 180 deg");
  EXPECT_EQ(g.at("feed_pattern_last_angle_deg").get<double>(), 180.0);
  EXPECT_NEAR(g.at("subreflector_half_angle_deg").get<double>(), kHalfAngle * 180 / M_PI, 1e-9);
  // Between the rows at 20.5 (-10.5752 dB) and 21 degrees (-11.1748 dB).
  EXPECT_NEAR(g.at("feed_edge_taper_db").get<double>(), -10.5752 - 0.056045 / 0.5 * 0.5996, 0.01);
  bool listed = false;
  for (const json& input : j.at("design_inputs")) {
    listed = listed || (input.at("label") == "Feed" &&
                        input.at("value") == g.at("feed_model"));
  }
  EXPECT_TRUE(listed) << j.at("design_inputs").dump();
  const std::string svg = read_file(dir.path() / "rep" / "feed.svg");
  for (const char* part : {"E plane (table)", "H plane (table)", "averaged over phi", "subreflector rim"}) {
    EXPECT_NE(svg.find(part), std::string::npos) << part;
  }
  const std::vector<std::string> csv = lines_of(read_file(dir.path() / "rep" / "feed.csv"));
  ASSERT_GT(csv.size(), 2u);
  EXPECT_EQ(csv.front(), "theta_deg,power_db");
  EXPECT_EQ(csv.back().substr(0, 4), "180,");

  // A table that stops at 90 degrees: the spillover counts the power to
  // there, and the report says so.
  const std::string to_90 = head(horn, 2 + 181);
  TempDir short_dir;
  ASSERT_EQ(run_feed(short_dir, "h90.csv", to_90, "--double --report rep").status, 0);
  const json s = json::parse(read_file(short_dir.path() / "rep" / "report.json"));
  EXPECT_EQ(s.at("geometry").at("feed_pattern_last_angle_deg").get<double>(), 90.0);
  EXPECT_NEAR(s.at("efficiency").at("spillover").get<double>(),
              enclosed_ratio(to_90, kHalfAngle, M_PI / 2), 0.002);
  bool noted = false;
  for (const json& note : s.at("notes")) {
    noted = noted || note.get<std::string>().find("known up to 90.0") != std::string::npos;
  }
  EXPECT_TRUE(noted) << s.at("notes").dump();
}

// ---- Mutated files ---------------------------------------------------------------

// Seeded mutations of a sample file: the faults a file meets on its way
// (cut short, bytes damaged, lines swapped or repeated, numbers gone wrong,
// a header's counts off by one).
class Mutator {
 public:
  explicit Mutator(unsigned seed) : random_(seed) {}

  std::string operator()(const std::string& original) {
    std::string t = original;
    const int kinds = 1 + pick(2);
    for (int k = 0; k < kinds; ++k) mutate(t);
    return t;
  }

 private:
  std::size_t pick(std::size_t n) { return n == 0 ? 0 : random_() % n; }

  void mutate(std::string& t) {
    std::vector<std::string> lines = lines_of(t);
    if (lines.empty()) lines.push_back("");
    switch (pick(9)) {
      case 0:  // cut short anywhere
        t.resize(pick(t.size() + 1));
        return;
      case 1:  // a byte flipped
        if (!t.empty()) t[pick(t.size())] ^= static_cast<char>(1 << pick(8));
        return;
      case 2: {  // junk inserted
        static const std::string junk[] = {",", "\n", " ", "x", "\t", "-", "e", "\r", "#", "1e",
                                           std::string(1, '\0'), "\xff\xfe"};
        t.insert(pick(t.size() + 1), junk[pick(std::size(junk))]);
        return;
      }
      case 3:  // a number made non-finite, huge or tiny
      {
        static const char* bad[] = {"nan", "inf", "-inf", "1e999", "1e308", "-1e308", "4e38",
                                    "1e-320", "-0", "99999999999999999999"};
        std::string& line = lines[pick(lines.size())];
        const std::size_t at = line.find_first_of("0123456789");
        if (at != std::string::npos) {
          std::size_t end = line.find_first_of(", \t", at);
          if (end == std::string::npos) end = line.size();
          line.replace(at, end - at, bad[pick(std::size(bad))]);
        }
        break;
      }
      case 4:  // two lines swapped
        std::swap(lines[pick(lines.size())], lines[pick(lines.size())]);
        break;
      case 5:  // a line repeated or dropped
        if (pick(2) == 0) {
          const std::size_t i = pick(lines.size());
          lines.insert(lines.begin() + static_cast<long>(i), lines[i]);
        } else {
          lines.erase(lines.begin() + static_cast<long>(pick(lines.size())));
        }
        break;
      case 6:  // a whole number of a cut header (or any line) off by one
      {
        // half the time the line of the first cut's header
        std::string& line = lines[pick(2) == 0 ? 1 % lines.size() : pick(lines.size())];
        std::vector<std::size_t> starts;
        for (std::size_t i = 0; i < line.size(); ++i) {
          if (std::isdigit(static_cast<unsigned char>(line[i])) && (i == 0 || line[i - 1] == ' ')) starts.push_back(i);
        }
        if (!starts.empty()) {
          const std::size_t at = starts[pick(starts.size())];
          std::size_t end = at;
          while (end < line.size() && line[end] != ' ') ++end;
          const double v = std::atof(line.substr(at, end - at).c_str());
          char s[40];
          std::snprintf(s, sizeof s, "%.10g", v + (pick(2) == 0 ? 1.0 : -1.0));
          line.replace(at, end - at, s);
        }
        break;
      }
      case 7:  // the tail after a random line dropped
        lines.resize(pick(lines.size() + 1));
        break;
      default:  // a line's values cut short
        if (std::string& line = lines[pick(lines.size())]; !line.empty()) line.resize(pick(line.size()));
        break;
    }
    t = joined(lines);
  }

  std::mt19937 random_;
};

// The lines parse() counts: pieces between line feeds, a last one without.
long line_count(const std::string& text) {
  long n = static_cast<long>(std::count(text.begin(), text.end(), '\n'));
  if (!text.empty() && text.back() != '\n') ++n;
  return n;
}

void expect_sound_refusal(const std::string& text, const std::string& name, const std::string& what) {
  const feedfile::ReadResult r = feedfile::parse(text, name);
  if (r.table) {
    EXPECT_EQ(design::table_fault(*r.table), "") << what;
    return;
  }
  const long line = error_line(r, name);
  EXPECT_GE(line, 1) << what << ": " << said(r);
  EXPECT_LE(line, std::max(1L, line_count(text))) << what << ": " << said(r);
}

TEST(FeedFiles, MutatedFilesAreReadOrRefusedByTheirLine) {
  const std::string samples[] = {sample("corrugated_horn.csv"), sample("conical_horn.cut")};
  const char* names[] = {"fuzz.csv", "fuzz.cut"};
  int refused = 0, read = 0;
  for (unsigned seed = 0; seed < 1200 / kShare; ++seed) {
    Mutator mutate(seed);
    const std::string text = mutate(samples[seed % 2]);
    expect_sound_refusal(text, names[seed % 2], "seed " + std::to_string(seed));
    (feedfile::parse(text, "f").table ? read : refused)++;
  }
  // The mutations reach both answers.
  EXPECT_GT(refused, 300 / static_cast<int>(kShare));
  EXPECT_GT(read, 100 / static_cast<int>(kShare));
  // Ten megabytes: the sample over and over, one endless line, and more
  // angles than a table may hold.
  std::string repeated;
  while (repeated.size() < (10u << 20)) repeated += samples[0];
  expect_sound_refusal(repeated, "big.csv", "the sample repeated");
  expect_sound_refusal(std::string(10u << 20, '7'), "big.csv", "one line of digits");
  std::string many = "theta_deg,power_db\n";
  for (int i = 0; many.size() < (10u << 20); ++i) many += std::to_string(i * 1e-4) + ",0\n";
  const feedfile::ReadResult r = feedfile::parse(many, "big.csv");
  EXPECT_EQ(error_line(r, "big.csv"), 2 + static_cast<long>(design::kMaxFeedTableAngles)) << said(r);
}

TEST(FeedFiles, MutatedFilesThroughTheProgramEndWithZeroOrANamedFault) {
  const std::string samples[] = {sample("corrugated_horn.csv"), sample("conical_horn.cut")};
  const char* names[] = {"fuzz.csv", "fuzz.cut"};
  // Coarse intervals: a file that is read makes a design quickly.
  const std::string answers = "0.3\n0.4\n0.15\n0.1\n1\n0.01\n0.05\nno\n100\nno\nno\nno\nno\nno\nno\nno\n";
  TempDir dir;
  int ended[2] = {0, 0};
  for (unsigned seed = 5000; seed < 5000 + 240 / kShare; ++seed) {
    const std::string name = names[seed % 2];
    const std::string text = Mutator(seed)(samples[seed % 2]);
    fs::remove(dir.path() / "ravost.out");
    const Exit e = run_feed(dir, name, text, "", answers);
    const std::string what = "seed " + std::to_string(seed) + ": " + e.err;
    ASSERT_FALSE(e.signalled) << what;
    ASSERT_TRUE(e.status == 0 || e.status == 1) << e.status << " " << what;
    ++ended[e.status];
    if (e.status == 1) {
      EXPECT_NE(e.err.find(name), std::string::npos) << what;
      EXPECT_LE(std::count(e.err.begin(), e.err.end(), '\n'), 2) << what;
    } else {
      const std::string listing = read_file(dir.path() / "ravost.out");
      for (const std::string* out : {&e.out, &listing}) {
        EXPECT_EQ(out->find("NaN"), std::string::npos) << what;
        EXPECT_EQ(out->find("nan"), std::string::npos) << what;
        EXPECT_EQ(out->find("Infinity"), std::string::npos) << what;
      }
    }
  }
  EXPECT_GT(ended[0], 20 / static_cast<int>(kShare));
  EXPECT_GT(ended[1], 20 / static_cast<int>(kShare));
}

}  // namespace

namespace {

// A cut sampled in stretches is a block per stretch, each later block of the
// same C continuing past the one before: read as one cut on all the angles;
// a block that neither starts on the axis nor continues its cut, or a cut
// whose stretches differ from the first cut's, is refused at its header.
TEST(FeedFiles, ACutInStretchesIsReadAsOneCut) {
  const auto block = [](double first, double step, int count, double phi, double scale) {
    char head[120];
    std::snprintf(head, sizeof head, "%g %g %d %g 3 1 2\n", first, step, count, phi);
    std::string text = "cut at phi " + std::to_string(phi) + "\n" + head;
    for (int i = 0; i < count; ++i) {
      const double theta = first + i * step, field = scale * std::cos(theta * M_PI / 360);
      text += " " + std::to_string(field) + " 0 0 0\n";
    }
    return text;
  };
  // Lines: block (0 to 2 by 0.5) 1-7, block (3 to 171 by 12) 8-24; the second cut from 25.
  const std::string file = block(0, 0.5, 5, 0, 1) + block(3, 12, 15, 0, 1) + block(0, 0.5, 5, 90, 2) + block(3, 12, 15, 90, 2);
  const feedfile::ReadResult r = feedfile::parse(file, "s.cut");
  ASSERT_TRUE(r.table) << said(r);
  const design::FeedTable& t = *r.table;
  ASSERT_EQ(t.theta_deg.size(), 20u);
  EXPECT_EQ(t.theta_deg[4], 2.0);
  EXPECT_EQ(t.theta_deg[5], 3.0);
  EXPECT_EQ(t.theta_deg[19], 171.0);
  for (std::size_t i = 0; i < t.theta_deg.size(); ++i) {
    const double c2 = std::pow(std::cos(t.theta_deg[i] * M_PI / 360), 2);
    EXPECT_NEAR(t.power[i], 2.5 * std::round(c2 * 1e6) / 1e6, 1e-5) << i;  // the average of 1 and 4 times it
    EXPECT_NEAR(t.h_db[i] - t.e_db[i], 10 * std::log10(4.0), 1e-3) << i;  // the planes kept apart
  }
  EXPECT_EQ(t.lines.front(), 3);
  EXPECT_EQ(t.lines.back(), 24);

  const struct {
    const char* what;
    std::string text;
    long line;
    const char* says;
  } faults[] = {
      {"a continuation in another plane", block(0, 0.5, 5, 0, 1) + block(3, 12, 15, 45, 1), 9, "must start on the axis"},
      {"a continuation that goes back", block(0, 0.5, 5, 0, 1) + block(2, 12, 15, 0, 1), 9, "must start on the axis"},
      {"a second cut stretched otherwise", file.substr(0, file.size() / 2) + block(0, 0.5, 5, 90, 2) + block(3, 6, 29, 90, 2), 33,
       "differ from the first cut's"},
      {"a second cut one stretch short", file.substr(0, file.size() / 2) + block(0, 0.5, 5, 90, 2), 26,
       "differ from the first cut's"},
  };
  for (const auto& f : faults) {
    const feedfile::ReadResult bad = feedfile::parse(f.text, "s.cut");
    EXPECT_FALSE(bad.table) << f.what;
    EXPECT_EQ(error_line(bad, "s.cut"), f.line) << f.what << ": " << said(bad);
    EXPECT_NE(said(bad).find(f.says), std::string::npos) << f.what << ": " << said(bad);
  }
}

}  // namespace
