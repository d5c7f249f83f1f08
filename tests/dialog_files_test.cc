// Surface files and spline object files: their layouts character for
// character, the sampled radii and heights, the limits on point counts, and
// the answers refused.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <sstream>
#include <string>

#include "fields/fields.h"
#include "dialog/driver.h"
#include "dialog/stages.h"
#include "tests/test_util.h"

namespace dialog {
using design::Reflector;
using design::ScaledDesign;
namespace {

using testutil::crlf;
using testutil::scaled_design;
using testutil::StageRun;

std::string padded(const std::string& text, size_t width) {
  return text + std::string(width - text.size(), ' ');
}

// The lines of `text` that begin with `start`.
int lines_starting(const std::string& text, const std::string& start) {
  int count = 0;
  for (size_t p = 0; p < text.size(); p = text.find('\n', p) + 1) {
    if (text.compare(p, start.size(), start) == 0) ++count;
    if (text.find('\n', p) == std::string::npos) break;
  }
  return count;
}

TEST(SurfaceFile, TwoPointsHoldTheEndsOfTheMainReflector) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("main.rsf\n2\nMain reflector\n");
  surface_file_stage(d, run.session, Reflector::main);
  EXPECT_EQ(run.file("main.rsf"), crlf(padded("Main reflector", 40) + "\n"
                                       "   2   1   0\n"
                                       " 2.000000E-01 -9.600000E-01\n"
                                       " 1.000000E+00  0.000000E+00\n"));
  EXPECT_EQ(run.console(), " Enter file  Enter number of radius points  Enter label ");
}

TEST(SurfaceFile, AnswersFromTheFileAreEchoedAtFullWidth) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("sub.rsf\n2\nSubreflector\n", true);
  surface_file_stage(d, run.session, Reflector::sub);
  EXPECT_EQ(run.console(), " Enter file " + padded("sub.rsf", 70) +
                                       "\n Enter number of radius points  2\n"
                                       " Enter label " +
                                       padded("Subreflector", 40) + "\n");
  EXPECT_EQ(run.file("sub.rsf"), crlf(padded("Subreflector", 40) + "\n"
                                      "   2   1   0\n"
                                      " 0.000000E+00  1.000000E+00\n"
                                      " 4.000000E-01  8.400000E-01\n"));
}

TEST(SurfaceFile, EquallySpacedPointsAndAnExtrapolatedRim) {
  const ScaledDesign<float> d = scaled_design("2\ny\n1.2\n");
  StageRun run("sub.rsf\n4\nExtended\n");
  surface_file_stage(d, run.session, Reflector::sub);
  const std::string text = run.file("sub.rsf");
  // The last point is the extrapolated one, at the new rim radius 0.6.
  EXPECT_NE(text.find("\r\n 0.000000E+00  1.000000E+00\r\n 2.000000E-01  9.600000E-01\r\n"
                      " 4.000000E-01  8.400000E-01\r\n 6.000000E-01" +
                      fields::E(d.sub_z[5], 14, 6) + "\r\n"),
            std::string::npos)
      << text;
}

TEST(SurfaceFile, OddCountsAndLongLabels) {
  const ScaledDesign<float> d = scaled_design();
  StageRun one("one.rsf\n1\n" + std::string(45, 'L') + "\n");
  surface_file_stage(d, one.session, Reflector::main);
  EXPECT_EQ(one.file("one.rsf"), crlf(std::string(40, 'L') + "\n   1   1   0\n"
                                      " 2.000000E-01 -9.600000E-01\n"));

  StageRun most("most.rsf\n9999\nMost\n");
  surface_file_stage(d, most.session, Reflector::main);
  const std::string text = most.file("most.rsf");
  EXPECT_EQ(text.substr(42, 14), "9999   1   0\r\n");
  EXPECT_EQ(lines_starting(text, " "), 9999);
}

TEST(SurfaceFile, RunThatFailsBeforeTheFileIsCompleteLeavesNone) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("early.rsf\n", true);
  EXPECT_THROW(surface_file_stage(d, run.session, Reflector::main), RunError);
  for (const auto& entry : std::filesystem::directory_iterator(run.dir.path())) {
    EXPECT_EQ(entry.path().filename(), "ravost.out");
  }
}

TEST(SurfaceFile, FileThatCannotBeCreatedIsNamed) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("no/such/folder.rsf\n2\nx\n");
  const std::string report =
      testutil::run_error([&] { surface_file_stage(d, run.session, Reflector::main); });
  EXPECT_NE(report.find("\"no/such/folder.rsf\""), std::string::npos) << report;
}

TEST(SurfaceFile, CountAboveTheLimitIsAskedAgainOrEndsAFileRun) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("big.rsf\n10000\n0\n2\nBig\n");
  surface_file_stage(d, run.session, Reflector::main);
  EXPECT_NE(run.console().find(" A surface file holds from 1 to 9999 points.\n"),
            std::string::npos);
  EXPECT_EQ(run.file("big.rsf").substr(42, 14), "   2   1   0\r\n");

  StageRun file_run("big.rsf\n2000000000\n", true);
  EXPECT_THROW(surface_file_stage(d, file_run.session, Reflector::main), RunError);
}

const std::string kFocalPoint =
    "z_focal_point   real_variable\n"
    "(\n"
    "  value    : 0.0\n"
    ")\n"
    "\n";

TEST(ObjectFile, TwoPointsGiveTwoVariablesAndTwoNodes) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("main.tor\n1\n2\n");
  object_file_stage(d, run.session, Reflector::main);
  EXPECT_EQ(run.file("main.tor"), crlf(kFocalPoint +
                                       "zmain1   real_variable\n"
                                       "(\n"
                                       "   value    : -9.600000E-01\n"
                                       ")\n"
                                       "\n"
                                       "zmain2   real_variable\n"
                                       "(\n"
                                       "   value    :  0.000000E+00\n"
                                       ")\n"
                                       "\n"
                                       "main_reflector  spline_circ_sym_reflector\n"
                                       "(\n"
                                       "  z_offset         : \"ref(z_focal_point)\" in,\n"
                                       "  length_unit      : in,\n"
                                       "  nodes            : table\n"
                                       "    (\n"
                                       "     2.000000E-01   \"ref(zmain1)\"\n"
                                       "     1.000000E+00   \"ref(zmain2)\"\n"
                                       "    )\n"
                                       ")\n"
                                       "\n"));
  EXPECT_EQ(run.console(),
            " Enter file  Enter length units: 1 in., 2 ft., 3 mm, 4 m "
            " Enter number of points in spline ");
}

TEST(ObjectFile, SubreflectorInMetresReachesTheExtrapolatedRim) {
  const ScaledDesign<float> d = scaled_design("2\ny\n1.2\n");
  StageRun run("sub.tor\n4\n2\n", true);
  object_file_stage(d, run.session, Reflector::sub);
  const std::string text = run.file("sub.tor");
  EXPECT_NE(text.find("\r\nzsub2   real_variable\r\n(\r\n   value    : " +
                      fields::E(d.sub_z[5], 13, 6) + "\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\r\nsub_reflector  spline_circ_sym_reflector\r\n(\r\n"
                      "  z_offset         : \"ref(z_focal_point)\" m ,\r\n"
                      "  length_unit      : m ,\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\r\n     0.000000E+00   \"ref(zsub1)\"\r\n"
                      "     6.000000E-01   \"ref(zsub2)\"\r\n    )\r\n"),
            std::string::npos);
  EXPECT_EQ(run.console(), " Enter file " + padded("sub.tor", 70) +
                                       "\n Enter length units: 1 in., 2 ft., 3 mm, 4 m  4\n"
                                       " Enter number of points in spline  2\n");
}

TEST(ObjectFile, NamesGrowFromOneToThreeDigits) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("many.tor\n3\n101\n");
  object_file_stage(d, run.session, Reflector::main);
  const std::string text = run.file("many.tor");
  for (const char* name : {"zmain9", "zmain10", "zmain99", "zmain100", "zmain101"}) {
    EXPECT_EQ(lines_starting(text, std::string(name) + "   real_variable\r\n"), 1) << name;
    EXPECT_NE(text.find(std::string("   \"ref(") + name + ")\"\r\n"), std::string::npos) << name;
  }
  EXPECT_EQ(lines_starting(text, "     "), 101);  // node lines
}

TEST(ObjectFile, NineHundredNinetyNineNodesSpanTheWholeReflector) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("big.tor\n2\n999\n");
  object_file_stage(d, run.session, Reflector::main);
  const std::string text = run.file("big.tor");
  EXPECT_EQ(lines_starting(text, "zmain"), 999);
  EXPECT_EQ(lines_starting(text, "     "), 999);  // node lines
  EXPECT_NE(text.find("\r\n    (\r\n     2.000000E-01   \"ref(zmain1)\"\r\n"), std::string::npos);
  // The last node stands on the rim, and the file is complete.
  const std::string end = "     1.000000E+00   \"ref(zmain999)\"\r\n    )\r\n)\r\n\r\n";
  ASSERT_GE(text.size(), end.size());
  EXPECT_EQ(text.substr(text.size() - end.size()), end);
}

TEST(ObjectFile, CountsOutsideTwoTo999AreAskedAgainOrEndAFileRunNamingTheLine) {
  const ScaledDesign<float> d = scaled_design();
  const std::string refusal =
      " A spline object holds from 2 to 999 points (its node numbers have three digits).\n";
  const std::string prompt = " Enter number of points in spline ";
  for (const std::string bad : {"-5", "0", "1", "1000", "2147483647"}) {
    // Typed: the count is refused, asked again, and the next answer taken.
    StageRun typed("c.tor\n2\n" + bad + "\n2\n");
    object_file_stage(d, typed.session, Reflector::main);
    const std::string console = typed.console();
    EXPECT_EQ(console.substr(console.size() - refusal.size() - prompt.size()), refusal + prompt)
        << bad;
    EXPECT_EQ(lines_starting(typed.file("c.tor"), "zmain"), 2) << bad;

    // From the answer file: the run ends naming the line, and no file is left.
    StageRun filed("c.tor\n2\n" + bad + "\n2\n", true);
    const std::string report =
        testutil::run_error([&] { object_file_stage(d, filed.session, Reflector::main); });
    EXPECT_EQ(report, "Error in design.ans, line 3: a" + refusal.substr(2, refusal.size() - 3))
        << bad;
    EXPECT_FALSE(std::filesystem::exists(filed.dir.path() / "c.tor")) << bad;
  }
}

TEST(ObjectFile, AWholeRunEndsAtTheAnswerLineOfACountOutOfRange) {
  // The example's last answer is the subreflector's spline count (line 33).
  const std::string example =
      testutil::read_file(std::filesystem::path(RAVOST_SOURCE_DIR) / "examples/uniform.ans");
  const std::string head = example.substr(0, example.rfind("11\n"));
  ASSERT_EQ(head + "11\n", example);
  for (const std::string count : {"999", "1000"}) {
    testutil::TempDir dir;
    testutil::write_file(dir.path() / "u.ans", head + count + "\n");
    std::istringstream none;
    std::ostringstream out, err;
    RunOptions options;
    options.answer_file = "u.ans";
    const int status = run(none, out, err, dir.path(), false, options);
    const std::string listing = testutil::read_file(dir.path() / "ravost.out");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "uniform_main.tor")) << count;
    if (count == "999") {
      EXPECT_EQ(status, 0) << err.str();
      EXPECT_EQ(lines_starting(testutil::read_file(dir.path() / "uniform_sub.tor"), "zsub"), 999);
      continue;
    }
    EXPECT_EQ(status, 1);
    const std::string report =
        "Error in u.ans, line 33: a spline object holds from 2 to 999 points (its node numbers "
        "have three digits).\n";
    EXPECT_EQ(err.str(), report);
    EXPECT_EQ(listing.substr(listing.size() - testutil::crlf(report).size()), testutil::crlf(report));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "uniform_sub.tor"));
  }
}

TEST(ObjectFile, RunThatFailsAtTheCountLeavesTheOlderFile) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("early.tor\n3\n", true);
  testutil::write_file(run.dir.path() / "early.tor", "older\r\n");
  EXPECT_THROW(object_file_stage(d, run.session, Reflector::main), RunError);
  EXPECT_EQ(run.file("early.tor"), "older\r\n");
}

TEST(ObjectFile, UnitChoiceOutsideOneToFourIsRefused) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("u.tor\n0\n5\n3\n2\n");
  object_file_stage(d, run.session, Reflector::main);
  const std::string refusal = " The length unit must be 1, 2, 3 or 4.\n";
  const std::string console = run.console();
  const size_t first = console.find(refusal);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(console.find(refusal, first + 1), std::string::npos);
  EXPECT_NE(run.file("u.tor").find("  length_unit      : mm,\r\n"), std::string::npos);

  StageRun file_run("u.tor\n7\n", true);
  const std::string report =
      testutil::run_error([&] { object_file_stage(d, file_run.session, Reflector::main); });
  EXPECT_EQ(report.rfind("Error in design.ans, line 2: ", 0), 0u) << report;
}

}  // namespace
}  // namespace dialog
