// Runs that must never pass a wrong design off as good, lose what they wrote
// or leave a half-written file: intervals that cannot reach the rim, designs
// whose path length strays, reports on standard error and in the listing,
// answers asked again at a terminal, files that take their names only when
// complete.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>

#include "design/feed.h"
#include "design/scaled.h"
#include "dialog/dialog.h"
#include "dialog/driver.h"
#include "run/pipeline.h"
#include "tests/test_util.h"

namespace {

using testutil::read_file;
using testutil::TempDir;
using testutil::write_file;

// The example geometry and feed, a uniform aperture.
const std::string kGeometry = "0.2\n0.5\n0.25\n0.12\n40, -10\n1\n";
// Everything after the intervals: no figure, diameter 100, no extrapolation,
// no listings or files.
const std::string kNoOutputs = "n\n100\nn\nn\nn\nn\nn\nn\nn\n";

struct Outcome {
  int status = 0;
  std::string out, err, listing;
};

// Runs an answer file "a.ans" in `dir`.
Outcome run_file(const TempDir& dir, const std::string& answers, bool use_double = false) {
  write_file(dir.path() / "a.ans", answers);
  std::istringstream in;
  std::ostringstream out, err;
  dialog::RunOptions options;
  options.answer_file = "a.ans";
  if (use_double) options.precision = dialog::Precision::double_;
  Outcome r;
  r.status = dialog::run(in, out, err, dir.path(), false, options);
  r.out = out.str();
  r.err = err.str();
  r.listing = read_file(dir.path() / "ravost.out");
  return r;
}

// Runs answers typed at a terminal.
Outcome run_terminal(const TempDir& dir, const std::string& answers) {
  std::istringstream in("n\n" + answers);
  std::ostringstream out, err;
  Outcome r;
  r.status = dialog::run(in, out, err, dir.path(), true);
  r.out = out.str();
  r.err = err.str();
  r.listing = read_file(dir.path() / "ravost.out");
  return r;
}

TEST(RunSafety, IntervalsThatCannotReachTheRimAreRefusedWithTheirLine) {
  TempDir dir;
  // Not a whole multiple: rows would land 0.014 apart and stop short.
  Outcome r = run_file(dir, kGeometry + "0.007\n0.02\n" + kNoOutputs);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Error in a.ans, line 8: the output interval must be a whole multiple"),
            std::string::npos)
      << r.err;
  // The last row would land at r = 1.001, past the rim.
  r = run_file(dir, "0.2\n0.5\n0.25\n0.161\n40, -10\n1\n0.002\n0.01\n" + kNoOutputs);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("past the rim"), std::string::npos) << r.err;
  // A hole as large as the aperture.
  r = run_file(dir, "0.2\n0.5\n0.25\n1.2\n40, -10\n1\n0.001\n0.02\n" + kNoOutputs);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 4:"), std::string::npos) << r.err;
  // Rows that stop short of the rim are a warning, and the run goes on.
  r = run_file(dir, kGeometry + "0.001\n0.03\n" + kNoOutputs);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("Warning: the ray table ends at r = 0.99"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("0.022"), std::string::npos) << r.err;
}

TEST(RunSafety, CleanRunWritesNothingToStandardError) {
  TempDir dir;
  const Outcome r = run_file(dir, kGeometry + "0.001\n0.02\n" + kNoOutputs);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.find("Error"), std::string::npos);
}

TEST(RunSafety, BrokenDesignEndsTheRunWithItsFirstBadRayInTheListingToo) {
  TempDir dir;
  // The main reflector climbs to the subreflector's height near r = 0.5 and
  // the path length runs away from there.
  const Outcome r = run_file(
      dir, "0.0598\n0.1268\n0.1483\n0.0988\n55.37 -4.47\n2\n3.801\n0.005\n0.01\n" + kNoOutputs);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the path length strays at ray 41"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("geometry that can be shaped"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("line"), std::string::npos) << "no answer is to blame: " << r.err;
  // The rows stay in the listing, and it ends with the same report.
  EXPECT_NE(r.listing.find("Path length"), std::string::npos);
  EXPECT_NE(r.listing.find("Error: the path length strays at ray 41"), std::string::npos);
  EXPECT_TRUE(r.listing.ends_with("\r\n"));
}

TEST(RunSafety, FineStepsIn32BitsWarnAndPointTo64Bits) {
  TempDir dir;
  Outcome r = run_file(dir, kGeometry + "0.00001\n0.02\n" + kNoOutputs);
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("Warning: the path length strays"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--double"), std::string::npos) << r.err;
  r = run_file(dir, kGeometry + "0.00001\n0.02\n" + kNoOutputs, true);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST(RunSafety, TerminalAsksAgainForTyposAndFilesItCannotCreate) {
  TempDir dir;
  const std::string answers = kGeometry + "0.001\n0.02\nn\n1OO\n100\nn\nn\nn\n" +
                              "y\nno_such_folder/m.rsf\n" + std::string(80, 'x') + "\nm.rsf\n"
                              "21\nlabel\nn\nn\nn\n";
  const Outcome r = run_terminal(dir, answers);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("\"1OO\" is not a number"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("its folder does not exist"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("has 80 characters; a name here has at most 70."), std::string::npos) << r.err;
  EXPECT_NE(r.listing.find(" Design scaled to Diameter =  100.000"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "m.rsf"));
}

TEST(RunSafety, FailedRunLeavesNoHalfWrittenFileAndKeepsTheOldOne) {
  TempDir dir;
  write_file(dir.path() / "m.rsf", "old surface\r\n");
  // The point count fails after the file was opened.
  const Outcome r = run_file(dir, kGeometry + "0.001\n0.02\nn\n100\nn\nn\nn\ny\nm.rsf\nmany\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file(dir.path() / "m.rsf"), "old surface\r\n");
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_FALSE(entry.path().filename().string().ends_with(".part")) << entry.path();
  }
}

TEST(RunSafety, WriteToAFullDeviceIsAnError) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  TempDir dir;
  const Outcome r = run_file(dir, kGeometry + "0.001\n0.02\nn\n100\nn\nn\nn\ny\n/dev/full\n21\nl\nn\nn\nn\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write the file \"/dev/full\""), std::string::npos) << r.err;
}

TEST(RunSafety, SurfacePointCountMustFitItsField) {
  TempDir dir;
  for (const char* count : {"10000", "0"}) {
    const Outcome r = run_file(dir, kGeometry + "0.001\n0.02\nn\n100\nn\nn\nn\ny\nm.rsf\n" + count +
                                    "\nl\nn\nn\nn\n");
    EXPECT_EQ(r.status, 1) << count;
    EXPECT_NE(r.err.find("from 1 to 9999 points"), std::string::npos) << r.err;
  }
}

// A console input that records whether the listing held the ray table at the
// moment the program waited for the last answer.
class WatchingBuffer : public std::stringbuf {
 public:
  WatchingBuffer(const std::string& text, std::filesystem::path listing)
      : std::stringbuf(text), listing_(std::move(listing)) {}
  bool saw_table = false;

 protected:
  int_type underflow() override {
    const int_type c = std::stringbuf::underflow();
    if (c == traits_type::eof()) saw_table = read_file(listing_).find("Path length") != std::string::npos;
    return c;
  }

 private:
  std::filesystem::path listing_;
};

TEST(RunSafety, ListingIsOnDiskBeforeEveryWaitForAnAnswer) {
  TempDir dir;
  // The answers end early: at that wait the run could be interrupted.
  WatchingBuffer buffer("n\n" + kGeometry + "0.001\n0.02\nn\n", dir.path() / "ravost.out");
  std::istream in(&buffer);
  std::ostringstream out, err;
  EXPECT_EQ(dialog::run(in, out, err, dir.path(), true), 1);
  EXPECT_TRUE(buffer.saw_table);
}

TEST(RunSafety, PauseEndsThePromptLineAPipedAnswerLeftOpen) {
  std::istringstream in("7\n");
  std::ostringstream out;
  dialog::Dialog d(in, out, false);
  d.prompt(" Enter new outer diameter ");
  float v = 0;
  d.read("the diameter", v);
  d.pause("failure in polint");
  EXPECT_EQ(out.str(), " Enter new outer diameter \nfailure in polint\n");
}

TEST(RunSafety, UpperCaseExponentsAreRead) {
  std::istringstream in("1.0D-3 2.5E+2 4d1\n");
  std::ostringstream out;
  dialog::Dialog d(in, out, false);
  float a = 0, b = 0, c = 0;
  d.read("three numbers", a, b, c);
  EXPECT_EQ(a, 1.0e-3f);
  EXPECT_EQ(b, 250.0f);
  EXPECT_EQ(c, 40.0f);
}

// The subreflector's rim on points that lie on a cubic but not on a
// quadratic: a window of three points would miss it.
TEST(RunSafety, ExtrapolationFollowsTheCubicThroughTheFourOutermostPoints) {
  design::ScaledDesign<float> s;
  auto z = [](float r) { return 1.0f - 0.5f * r + 0.25f * r * r - 0.125f * r * r * r; };
  for (float r : {0.0f, 1.0f, 2.0f, 3.0f, 4.0f}) {
    s.sub_r.push_back(r);
    s.sub_z.push_back(z(r));
  }
  const auto e = design::extrapolation(s, 12.0f, {});
  ASSERT_EQ(e.problem, design::Extrapolation<float>::Problem::none);
  EXPECT_NEAR(e.rim_z, z(6.0f), 1e-4f);
}

// The example designs' extrapolated rims, as printed, against the Lagrange
// cubic through the four outermost scaled points worked out in long double
// (the design, diameter and new diameter as the run's answers chose them).
TEST(RunSafety, ExampleRimsAgreeWithTheirCubicToThePrintedDigits) {
  for (const char* name : {"uniform", "gaussian", "taylor"}) {
    TempDir dir;
    std::filesystem::copy_file(std::filesystem::path(RAVOST_SOURCE_DIR) / "examples" /
                                   (std::string(name) + ".ans"),
                               dir.path() / "e.ans");
    std::istringstream none;
    std::ostringstream out, err;
    dialog::RunOptions options;
    options.answer_file = "e.ans";
    dialog::Chosen chosen;
    ASSERT_EQ(dialog::run(none, out, err, dir.path(), false, options, &chosen), 0) << err.str();
    ASSERT_TRUE(chosen.plan.extrapolated_sub_diameter) << name;

    const run::RunResult made = run::make_scaled(chosen.choices, chosen.plan.diameter);
    const design::ScaledDesign<float>& scaled = *made.in<float>().scaled;
    const std::size_t n = scaled.sub_r.size();
    const long double x = static_cast<float>(*chosen.plan.extrapolated_sub_diameter) / 2.0L;
    long double cubic = 0;
    for (std::size_t j = n - 4; j < n; ++j) {
      long double term = scaled.sub_z[j];
      for (std::size_t k = n - 4; k < n; ++k) {
        if (k != j) term *= (x - scaled.sub_r[k]) / (static_cast<long double>(scaled.sub_r[j]) - scaled.sub_r[k]);
      }
      cubic += term;
    }
    char line[64];
    std::snprintf(line, sizeof line, " Subreflector Rim Z-axis = %9.3f\n", static_cast<double>(cubic));
    EXPECT_NE(out.str().find(line), std::string::npos) << name << ": " << line;
  }
}

}  // namespace
