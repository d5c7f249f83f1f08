// Problems as diagnostics: a validation problem becomes one, a feed table's
// problem is placed at the table's line, a failed file write is carried by
// the run's exception, and a report that cannot be written ends the run in
// its own words around the file's.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "io/files.h"
#include "io/folder.h"
#include "io/interrupt.h"
#include "run/messages.h"
#include "tests/test_util.h"

namespace {

namespace fs = std::filesystem;
using design::Input;
using design::Problem;
using Fault = design::Problem::Fault;

TEST(Diagnose, AProblemIsAnErrorWhoseMessageIsItsSentenceWithoutPlaceOrKey) {
  const Problem p{Input::sub_radius, Fault::negative};
  const diag::Diagnostic d = run::diagnose(p);
  EXPECT_TRUE(d.is_error());
  EXPECT_EQ(d.message, "The radius of the subreflector must be greater than 0.");
  EXPECT_EQ(d.key, "");
  EXPECT_EQ(d.file, "");
  EXPECT_EQ(d.line, 0);
}

TEST(Diagnose, AFeedTableProblemIsPlacedAtTheLineOfTheAngleAtFault) {
  auto table = std::make_shared<design::FeedTable>();
  table->source = "horn.csv";
  table->theta_deg = {0, 5, 10, 15};
  table->lines = {2, 3, 5, 6};  // line 4 is a comment
  design::FeedSpec feed;
  feed.table = table;

  // A table that stops short: its last angle.
  const diag::Diagnostic short_one = run::feed_table_report({Input::feed_table, Fault::table_short, 15, 20}, feed);
  EXPECT_EQ(short_one.file, "horn.csv");
  EXPECT_EQ(short_one.line, 6);
  // No power at the rim (10 degrees here, and just past it): the first angle
  // at or past the rim.
  Problem rim{Input::feed_table, Fault::no_power_at_rim};
  rim.reference = 10;
  EXPECT_EQ(run::feed_table_report(rim, feed).line, 5);
  rim.reference = 10.5;
  EXPECT_EQ(run::feed_table_report(rim, feed).line, 6);
  // Other problems: the first angle.
  EXPECT_EQ(run::feed_table_report({Input::feed_table, Fault::table_not_from_axis, 1}, feed).line, 2);
  // A table without its lines has no place to name.
  table->lines.clear();
  const diag::Diagnostic unplaced = run::feed_table_report({Input::feed_table, Fault::table_short, 15, 20}, feed);
  EXPECT_EQ(unplaced.file, "");
  EXPECT_EQ(diag::render(unplaced), "Error: " + diag::sentence_case(run::sentence({Input::feed_table, Fault::table_short, 15, 20})));
}

TEST(RunError, AFileThatCannotBeWrittenIsCarriedAsOneDiagnosticWithoutPlace) {
  testutil::TempDir dir;
  testutil::write_file(dir.path() / "plain", "a file, not a folder\n");
  const auto problem = io::folder_problem(dir.path() / "plain");
  ASSERT_TRUE(problem);
  EXPECT_EQ(problem->message, "the folder \"" + (dir.path() / "plain").string() + "\" is a file.");
  EXPECT_EQ(problem->file, "");
  EXPECT_FALSE(io::folder_problem(dir.path() / "new"));
  EXPECT_FALSE(fs::exists(dir.path() / "new"));

  // The run's exceptions are diag::Failure: a front end may catch either.
  try {
    io::OutFile file(dir.path() / "plain" / "x", "plain/x", io::OutFile::Mode::replace_when_complete);
    FAIL();
  } catch (const diag::Failure& e) {
    ASSERT_EQ(e.diagnostics().size(), 1u);
    EXPECT_EQ(std::string(e.what()), "Error: " + diag::sentence_case(e.diagnostics()[0].message));
    EXPECT_NE(e.diagnostics()[0].message.find("plain/x"), std::string::npos);
  }
  const io::Interrupted stop(2);
  EXPECT_EQ(std::string(stop.what()),
            "Error: the run was interrupted (Ctrl-C); files not yet complete were removed.");
}

TEST(RunError, AReportThatCannotBeWrittenAtTheEndSaysSoAroundTheFilesWords) {
  // The folder can be written (the check before the run passes), but one of
  // the report's files cannot take its place.
  testutil::TempDir dir;
  fs::copy_file(fs::path(RAVOST_SOURCE_DIR) / "examples" / "uniform.toml", dir.path() / "uniform.toml");
  fs::create_directories(dir.path() / "rep" / "report.html");
  const testutil::ProgramExit e = testutil::run_program(dir.path(), "--report rep uniform.toml");
  EXPECT_EQ(e.status, 1);
  const std::string report =
      "Error: the design report cannot be made: cannot write the file \"rep/report.html\": a folder "
      "of that name is in the way.";
  EXPECT_EQ(e.err, report + "\n");
  const std::string listing = testutil::read_file(dir.path() / "ravost.out");
  EXPECT_EQ(listing.substr(listing.size() - report.size() - 2), report + "\r\n");
  EXPECT_TRUE(fs::is_directory(dir.path() / "rep" / "report.html"));
  EXPECT_FALSE(fs::exists(dir.path() / "rep" / "report.json"));
}

}  // namespace
