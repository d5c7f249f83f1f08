// Dimension listings: the range line and prompt, the header, the number of
// rows that start, stop and step give, the heights read from the splines,
// and the ranges refused.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "dialog/stages.h"
#include "tests/test_util.h"

namespace dialog {
using design::Reflector;
using design::ScaledDesign;
namespace {

using testutil::crlf;
using testutil::scaled_design;
using testutil::StageRun;

// The rows of a main-reflector listing of the range answered.
std::string main_rows(const std::string& range) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run(range + "\n");
  listing_stage(d, run.session, Reflector::main);
  const std::string text = run.listing_text();
  const std::string header_end = "   Radius    Z-axis\r\n";
  return text.substr(text.find(header_end) + header_end.size());
}

int row_count(const std::string& rows) {
  int count = 0;
  for (char c : rows) count += c == '\n';
  return count;
}

const std::string kMainHeader =
    "\n"
    " Main reflector diameter:     2.000\n"
    "\n"
    " Main Reflector\n"
    "   Radius    Z-axis\n";

TEST(Listing, ConsoleShowsRangePromptHeaderAndRows) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("0.2 1 0.4\n");
  listing_stage(d, run.session, Reflector::main);
  const std::string rows =
      "   0.2000   -0.9600\n"
      "   0.6000   -0.6400\n"
      "   1.0000    0.0000\n";
  EXPECT_EQ(run.console(),
            " Radius min:    0.200 max:    1.000\n"
            " Enter start, stop, step " +
                kMainHeader + rows);
  EXPECT_EQ(run.listing_text(), crlf(kMainHeader + rows));
}

TEST(Listing, RangeFromTheFileIsEchoedAsThreeFixedFields) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("0 10 3\n", true);
  listing_stage(d, run.session, Reflector::main);
  EXPECT_EQ(run.console().substr(0, 36 + 25 + 28),
            " Radius min:    0.200 max:    1.000\n"
            " Enter start, stop, step "
            "    0.000   10.000    3.000\n");
}

TEST(Listing, SubreflectorHeaderKeepsItsSpellingAndShowsTheRimDiameter) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("0 0 1\n");
  listing_stage(d, run.session, Reflector::sub);
  EXPECT_EQ(run.console(),
            " Radius min:    0.000 max:    0.400\n"
            " Enter start, stop, step "
            "\n"
            " Subreflector diameter:     0.800\n"
            "\n"
            "  Subeflector\n"
            "   Radius    Z-axis\n"
            "   0.0000    1.0000\n");
}

TEST(Listing, SubreflectorAfterExtrapolationReachesTheNewRim) {
  const ScaledDesign<float> d = scaled_design("2\ny\n1.2\n");
  StageRun run("0.6 0.6 1\n");
  listing_stage(d, run.session, Reflector::sub);
  const std::string console = run.console();
  EXPECT_NE(console.find(" Radius min:    0.000 max:    0.600\n"), std::string::npos);
  EXPECT_NE(console.find(" Subreflector diameter:     1.200\n"), std::string::npos);
  // The new rim point lies on the cubic through the outer points: 1 - 0.36.
  EXPECT_NE(console.find("   0.6000    0.6400\n"), std::string::npos) << console;
}

TEST(Listing, RowCountsFollowStartStopAndStep) {
  EXPECT_EQ(row_count(main_rows("0 10 1")), 11);
  const std::string thirds = main_rows("0 10 3");
  EXPECT_EQ(row_count(thirds), 4);
  EXPECT_EQ(thirds.substr(0, 9), "   0.0000");
  EXPECT_EQ(thirds.substr(21, 9), "   3.0000");
  EXPECT_EQ(thirds.substr(42, 9), "   6.0000");
  EXPECT_EQ(thirds.substr(63, 9), "   9.0000");
  // The 1.2 lets the last row pass the stop by up to a fifth of a step.
  const std::string up = main_rows("0 0.9 1");
  EXPECT_EQ(row_count(up), 2);
  EXPECT_EQ(up.substr(0, 9), "   0.0000");
  EXPECT_EQ(up.substr(21, 9), "   1.0000");
  const std::string down = main_rows("1 0 -0.5");
  EXPECT_EQ(row_count(down), 3);
  EXPECT_EQ(down.substr(0, 9), "   1.0000");
  EXPECT_EQ(down.substr(21, 9), "   0.5000");
  EXPECT_EQ(down.substr(42, 9), "   0.0000");
}

TEST(ListingRefusals, AStepOfZeroOrAwayFromTheStopIsAskedAgain) {
  const ScaledDesign<float> d = scaled_design();
  const std::pair<std::string, std::string> cases[] = {
      {"0 10 0", "The step of a listing must not be 0."},
      {"3 3 0", "The step of a listing must not be 0."},
      {"10 0 1", "A step of 1 cannot reach the stop 0 from the start 10."},
      {"0.05 0 1", "A step of 1 cannot reach the stop 0 from the start 0.05."}};
  for (const auto& [range, refusal] : cases) {
    StageRun typed(range + "\n0.2 0.2 1\n");
    listing_stage(d, typed.session, Reflector::main);
    EXPECT_NE(typed.console().find(" " + refusal + "\n Enter start, stop, step "), std::string::npos)
        << typed.console();
    EXPECT_EQ(typed.listing_text(), crlf(kMainHeader + "   0.2000   -0.9600\n")) << range;

    StageRun filed(range + "\n", true);
    const std::string report =
        testutil::run_error([&] { listing_stage(d, filed.session, Reflector::main); });
    EXPECT_EQ(report, "Error in design.ans, line 1: " + diag::sentence_case(refusal)) << range;
  }
}

TEST(Listing, RowAtATableRadiusShowsThatPointsHeight) {
  EXPECT_EQ(main_rows("0.8 0.8 1"), "   0.8000   -0.3600\r\n");
  EXPECT_EQ(main_rows("0.4 0.4 1"), "   0.4000   -0.8400\r\n");
}

TEST(ListingRefusals, TooManyRowsOrRadiiTooFarOutAreAskedAgain) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("0 1 1e-9\n1e20 1e20 1\n0.2 0.2 1\n");
  listing_stage(d, run.session, Reflector::main);
  const std::string console = run.console();
  EXPECT_NE(console.find(" A listing holds at most 1000000 rows; choose a larger step.\n"),
            std::string::npos);
  EXPECT_NE(console.find(" These radii lie too far outside the reflector to list.\n"),
            std::string::npos);
  // The header follows the accepted answer only.
  EXPECT_EQ(run.listing_text(), crlf(kMainHeader + "   0.2000   -0.9600\n"));
}

TEST(ListingRefusals, RefusedRangeFromTheFileEndsTheRunNamingTheLine) {
  const ScaledDesign<float> d = scaled_design();
  StageRun run("0 1e30 1\n", true);
  const std::string report =
      testutil::run_error([&] { listing_stage(d, run.session, Reflector::main); });
  EXPECT_EQ(report.rfind("Error in design.ans, line 1: ", 0), 0u) << report;
}

}  // namespace
}  // namespace dialog
