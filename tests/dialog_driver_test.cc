// Whole runs through the driver: the order of the stage questions, the answer
// file, the listing file, and how a run ends.
#include "dialog/driver.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "tests/test_util.h"

namespace dialog {
namespace {

using testutil::read_file;
using testutil::TempDir;
using testutil::write_file;

// A small uniform design: answers up to and including the intervals.
const std::string kDesign =
    "0.2\n0.5\n0.25\n0.12\n40 -10\n1\n0.01\n0.1\n";

struct Result {
  int status;
  std::string console;
};

Result run_with(const TempDir& dir, const std::string& console_input,
                const RunOptions& options = {}) {
  std::istringstream in(console_input);
  std::ostringstream out;
  int status = run(in, out, dir.path(), false, options);
  return {status, out.str()};
}

// Positions of the texts in `s`, in order; -1 where one is missing or out of order.
bool appear_in_order(const std::string& s, const std::vector<std::string>& texts) {
  size_t at = 0;
  for (const auto& t : texts) {
    size_t p = s.find(t, at);
    if (p == std::string::npos) return false;
    at = p + t.size();
  }
  return true;
}

const std::vector<std::string> kStageQuestions = {
    " Plot dual reflector figure? ",
    " Enter main reflector diameter ",
    " Extrapolate larger diameter? ",
    " List main reflector dimensions? ",
    " List subreflector dimensions? ",
    " Write main reflector TICRA .rsf file? ",
    " Write subreflector TICRA .rsf file? ",
    " CHAMP main reflector spline w/ variable Z? ",
    " CHAMP subreflector spline w/ variable Z? "};

TEST(Driver, TypedRunAsksEveryStageQuestionInOrderAndEndsWithZero) {
  TempDir dir;
  // No to the file input, the design, then empty lines to the questions.
  Result r = run_with(dir, " n\n" + kDesign + "\n2\n\n\n\n\n\n\n\n");
  EXPECT_EQ(r.status, 0) << r.console;
  EXPECT_TRUE(r.console.starts_with(" File input? "));
  EXPECT_TRUE(appear_in_order(r.console, kStageQuestions)) << r.console;
  std::string listing = read_file(dir.path() / "ravost.out");
  EXPECT_TRUE(appear_in_order(listing, {" Normalized Shaped Axisymmetric Dual ADE Reflector\r\n",
                                        " Design scaled to Diameter = "}))
      << listing;
  // The empty answers skipped their stages: only the listing was written.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator{}),
            1);
}

TEST(Driver, AnswerFileRunNeedsOnlyTheFirstTwoAnswersTyped) {
  TempDir dir;
  write_file(dir.path() / "design.ans", kDesign + "n\n2\nn\nn\nn\nn\nn\nn\nn\n");
  Result r = run_with(dir, "y\ndesign.ans\n");
  EXPECT_EQ(r.status, 0) << r.console;
  // Each answer from the file is echoed after its prompt.
  EXPECT_NE(r.console.find(" Plot dual reflector figure? n                   \n"),
            std::string::npos)
      << r.console;
  EXPECT_NE(r.console.find(" Enter main reflector diameter  2\n"), std::string::npos);
  EXPECT_TRUE(appear_in_order(r.console, kStageQuestions));
}

TEST(Driver, AnswerFileNamedOnTheCommandLineRunsAsIfTyped) {
  TempDir typed, named;
  const std::string answers = kDesign + "n\n2\nn\nn\nn\nn\nn\nn\nn\n";
  write_file(typed.path() / "a.ans", answers);
  write_file(named.path() / "a.ans", answers);
  Result a = run_with(typed, "y\na.ans\n");
  Result b = run_with(named, "", RunOptions{Precision::single, "a.ans", {}});
  ASSERT_EQ(b.status, 0) << b.console;
  // The two questions show without their answers, as if typed.
  EXPECT_EQ(b.console, a.console);
  EXPECT_EQ(read_file(named.path() / "ravost.out"), read_file(typed.path() / "ravost.out"));

  // In 64 bits the same design lists the same first ray and a path length
  // that agrees to the printed digits.
  TempDir wide;
  write_file(wide.path() / "a.ans", answers);
  Result c = run_with(wide, "", RunOptions{Precision::double_, "a.ans", {}});
  ASSERT_EQ(c.status, 0) << c.console;
  const std::string listing = read_file(wide.path() / "ravost.out");
  EXPECT_NE(listing.find("\r\n  26.57   0.50000   0.25000  -0.20000   0.12000 1.47099E+00\r\n"),
            std::string::npos) << listing;
  EXPECT_NE(listing.find(" Design scaled to Diameter =    2.000\r\n"), std::string::npos);
}

TEST(Driver, TypedAndFileRunsWriteTheSameListing) {
  TempDir typed, filed;
  const std::string answers = kDesign + "n\n2\nn\nn\nn\nn\nn\nn\nn\n";
  Result a = run_with(typed, "n\n" + answers);
  write_file(filed.path() / "a.ans", answers);
  Result b = run_with(filed, "y\na.ans\n");
  ASSERT_EQ(a.status, 0);
  ASSERT_EQ(b.status, 0);
  EXPECT_EQ(read_file(typed.path() / "ravost.out"), read_file(filed.path() / "ravost.out"));
}

TEST(Driver, ListingOfAnEarlierRunIsReplaced) {
  TempDir dir;
  write_file(dir.path() / "ravost.out", std::string(100000, '#'));
  Result r = run_with(dir, "n\n" + kDesign + "n\n2\nn\nn\nn\nn\nn\nn\nn\n");
  ASSERT_EQ(r.status, 0);
  std::string listing = read_file(dir.path() / "ravost.out");
  EXPECT_EQ(listing.find('#'), std::string::npos);
  EXPECT_TRUE(listing.starts_with(" Normalized Shaped"));
}

TEST(Driver, MissingAnswerFileIsReportedAndNotCreated) {
  TempDir dir;
  Result r = run_with(dir, "y\nnothing-here.ans\n");
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.console.find("\"nothing-here.ans\" does not exist"), std::string::npos)
      << r.console;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "nothing-here.ans"));
}

TEST(Driver, ShortAnswerFileEndsTheRunWithAReportAndKeepsTheListing) {
  TempDir dir;
  write_file(dir.path() / "short.ans", "0.2\n0.5\n");
  Result r = run_with(dir, "y\nshort.ans\n");
  EXPECT_EQ(r.status, 1);
  // The missing answer is on line 3.
  EXPECT_NE(r.console.find("Error in short.ans, line 3: the file ends without an answer for the "
                           "radius of the subreflector.\n"),
            std::string::npos)
      << r.console;
  // The report starts on a line of its own, after the open prompt.
  EXPECT_NE(r.console.find(" Radius of subreflector \nError"), std::string::npos) << r.console;
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "ravost.out"));
}

TEST(Driver, EndOfConsoleInputEndsTheRun) {
  TempDir dir;
  Result r = run_with(dir, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console,
            " File input? \nError: the console input ends without an answer for a yes/no question.\n");
}

TEST(Driver, ListingThatCannotBeCreatedIsNamed) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "ravost.out");
  Result r = run_with(dir, "n\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.console.find("Error: the file \"ravost.out\" cannot be created"), std::string::npos)
      << r.console;
}

TEST(Driver, GaussianTaperOfZeroStopsTheDialogWithItsReasonAndStatusOne) {
  // No design comes of a stopped dialog, so the run does not end as a success.
  TempDir dir;
  std::istringstream in("n\n0.2\n0.5\n0.25\n0.12\n40 -10\n2\n0\n");
  std::ostringstream out, err;
  EXPECT_EQ(run(in, out, err, dir.path()), 1);
  EXPECT_TRUE(out.str().ends_with("Stop - Program terminated.\n")) << out.str();
  EXPECT_EQ(err.str(),
            "Error: the dialog stops: a Gaussian edge taper of 0 dB describes no Gaussian "
            "distribution.\n");
  std::string listing = read_file(dir.path() / "ravost.out");
  // The listing keeps what the dialog wrote and ends with the reason.
  EXPECT_TRUE(listing.ends_with(" Feed beamwidth:  40.00 level dB: -10.0\r\n"
                                "Error: the dialog stops: a Gaussian edge taper of 0 dB describes"
                                " no Gaussian distribution.\r\n"))
      << listing;
}

TEST(Driver, IntegrationThatBreaksDownEndsWithAReportInsteadOfNaNRows) {
  // A narrow feed (20 degrees at -13.8 dB) cannot light a subreflector that
  // subtends 68 degrees: the first step throws the feed angle out of range.
  TempDir dir;
  Result r = run_with(dir, "n\n0.102272\n0.309833\n0.210932\n0.184452\n20.4748 -13.8204\n2\n"
                           "15.7126\n0.0018067\n0.0343274\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.console.find("Error: the integration breaks down at ray 2"), std::string::npos)
      << r.console;
  std::string listing = read_file(dir.path() / "ravost.out");
  for (const std::string& text : {r.console, listing}) {
    EXPECT_EQ(text.find("NaN"), std::string::npos) << text;
  }
  // The first ray was written before the breakdown and is kept.
  EXPECT_NE(listing.find("  34.25   0.30983   0.21093  -0.10227   0.18445 8.90045E-01\r\n"),
            std::string::npos)
      << listing;
}

TEST(Driver, NoFileIsCreatedOverTheListingOrTheAnswerFile) {
  TempDir dir;
  // From the answer file: the plot file would overwrite the answer file itself.
  const std::string answers = kDesign + "y\ndesign.ans\n";
  write_file(dir.path() / "design.ans", answers);
  Result r = run_with(dir, "y\ndesign.ans\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.console.find("Error in design.ans, line 10: the file \"design.ans\" is the listing or "
                           "the answer file"),
            std::string::npos)
      << r.console;
  EXPECT_EQ(read_file(dir.path() / "design.ans"), answers);

  // At the console the name is asked for again.
  TempDir typed;
  Result t = run_with(typed, "n\n" + kDesign + "n\n2\nn\nn\nn\ny\nravost.out\nmain.rsf\n2\nlabel\n"
                                                "n\nn\nn\n");
  EXPECT_EQ(t.status, 0) << t.console;
  EXPECT_NE(t.console.find(" The file \"ravost.out\" is the listing or the answer file of this "
                           "run; give another name.\n Enter file "),
            std::string::npos)
      << t.console;
  EXPECT_NE(read_file(typed.path() / "ravost.out").find(" Design scaled"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(typed.path() / "main.rsf"));
}

TEST(Driver, AnEmptyValueInTheSecondListingKeepsTheFirstListingsAnswer) {
  TempDir dir;
  Result r = run_with(dir, "n\n" + kDesign + "n\n2\nn\ny\n0.2 0.8 0.3\ny\n, 0.2, 0.1\nn\nn\nn\nn\n");
  ASSERT_EQ(r.status, 0) << r.console;
  std::string listing = read_file(dir.path() / "ravost.out");
  size_t sub = listing.find("  Subeflector\r\n   Radius    Z-axis\r\n");
  ASSERT_NE(sub, std::string::npos) << listing;
  // The start 0.2 of the main listing stands: rows at 0.2 only (stop 0.2, step 0.1).
  std::string rows = listing.substr(sub + 36);
  EXPECT_TRUE(rows.starts_with("   0.2000")) << rows;
  EXPECT_EQ(rows.find("\r\n", 0), 19u);
  EXPECT_EQ(rows.size(), 21u) << rows;
}

}  // namespace
}  // namespace dialog
