// The console dialog: yes/no decisions, free-form numbers, texts, the echo of
// answers taken from the answer file, and the reports that end a run.
#include "dialog/dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <utility>

#include "io/files.h"
#include "tests/test_util.h"

namespace dialog {
namespace {

// A dialog whose answers come from the console text given.
struct ConsoleDialog {
  explicit ConsoleDialog(const std::string& input) : in(input), dialog(in, out) {}
  std::istringstream in;
  std::ostringstream out;
  Dialog dialog;
};

// A dialog whose answers come from an answer file with the text given.
struct FileDialog {
  explicit FileDialog(const std::string& answers) : file(answers), dialog(in, out) {
    dialog.use_answer_file(file, "design.ans");
  }
  std::istringstream in;
  std::istringstream file;
  std::ostringstream out;
  Dialog dialog;
};

bool yes(const std::string& line) {
  ConsoleDialog c(line + "\n");
  return c.dialog.read_yes();
}

TEST(ReadYes, TheFirstYesOrNoLetterAmongTheFirstTwentyCharactersDecides) {
  for (const char* answer : {"yes", "   Y", "si", "da", "ja", "okay" /* its y */}) {
    EXPECT_TRUE(yes(answer)) << answer;
  }
  for (const char* answer : {"no", "N", "ok", "anything yes" /* its n first */, "1234 ?!", ""}) {
    EXPECT_FALSE(yes(answer)) << answer;
  }
  EXPECT_TRUE(yes(std::string(19, ' ') + "y"));
  EXPECT_FALSE(yes(std::string(20, ' ') + "y"));
}

TEST(ReadYes, AnswerFromTheFileIsEchoedAsTwentyCharactersButNotFromTheConsole) {
  FileDialog f("y\nno thanks, not today at all\n");
  EXPECT_TRUE(f.dialog.ask_yes(" Plot? "));
  EXPECT_FALSE(f.dialog.ask_yes(" List? "));
  EXPECT_EQ(f.out.str(), " Plot? y                   \n List? no thanks, not today\n");

  ConsoleDialog c("y\n");
  EXPECT_TRUE(c.dialog.ask_yes(" Plot? "));
  EXPECT_EQ(c.out.str(), " Plot? ");
}

TEST(FreeForm, ValuesMaySpreadOverLinesAndBlankLinesArePassedOver) {
  ConsoleDialog c("\n  40\n\n -10 extra words\n7\n");
  float b = 0, l = 0;
  c.dialog.read("the beamwidth", b, l);
  EXPECT_EQ(b, 40.0f);
  EXPECT_EQ(l, -10.0f);
  float next = 0;
  c.dialog.read("the next answer", next);
  EXPECT_EQ(next, 7.0f);  // the rest of the line before is not taken
}

TEST(FreeForm, BlanksAndCommasSeparateValues) {
  ConsoleDialog c("40,-10\n40 , -10\n1.5e1,2d-1\n");
  const std::pair<float, float> expected[] = {{40.0f, -10.0f}, {40.0f, -10.0f}, {15.0f, 0.2f}};
  for (const auto& [want_b, want_l] : expected) {
    float b = 0, l = 0;
    c.dialog.read("a", b, l);
    EXPECT_EQ(b, want_b);
    EXPECT_EQ(l, want_l);
  }
}

TEST(FreeForm, ExtraValuesOnTheLineAreDropped) {
  ConsoleDialog c("1 2 3\n4\n");
  float a = 0;
  c.dialog.read("a", a);
  c.dialog.read("b", a);
  EXPECT_EQ(a, 4.0f);
}

TEST(FreeForm, EmptyValueBetweenCommasLeavesTheItemUnchanged) {
  ConsoleDialog c(",5\n7,,9\n");
  float a = 3, b = 0;
  c.dialog.read("a", a, b);
  EXPECT_EQ(a, 3.0f);
  EXPECT_EQ(b, 5.0f);
  float x = 1, y = 2, z = 3;
  const Dialog::Item items[] = {&x, &y, &z};
  c.dialog.read_numbers("xyz", items);
  EXPECT_EQ(x, 7.0f);
  EXPECT_EQ(y, 2.0f);
  EXPECT_EQ(z, 9.0f);
}

TEST(FreeForm, RealsAreRoundedOnceToTheNearestFloat) {
  ConsoleDialog c("0.1\n.5\n-3.\n+2.5E-3\n");
  for (const float expected : {0.1f, 0.5f, -3.0f, 2.5e-3f}) {
    float v = 0;
    c.dialog.read("a", v);
    EXPECT_EQ(v, expected);
  }
}

TEST(FreeForm, AnIntegerAnswerMustBeAnInteger) {
  ConsoleDialog ok("3\n");
  int n = 0;
  ok.dialog.read("the distribution", n);
  EXPECT_EQ(n, 3);
  for (const char* bad : {"2.5\n", "3.\n", "1e2\n", "x\n", "99999999999\n"}) {
    ConsoleDialog c(bad);
    EXPECT_THROW(c.dialog.read("the distribution", n), RunError) << bad;
  }
}

TEST(FreeForm, WordsAndNonFiniteValuesAreNotNumbers) {
  for (const char* bad : {"abc\n", "nan\n", "inf\n", "1e39\n", "1..2\n", "--1\n"}) {
    ConsoleDialog c(bad);
    float v = 0;
    EXPECT_THROW(c.dialog.read("the diameter", v), RunError) << bad;
  }
  ConsoleDialog tiny("1e-60\n");
  float v = 5;
  tiny.dialog.read("a", v);
  EXPECT_EQ(v, 0.0f);
}

TEST(FreeForm, TheErrorReportNamesTheAnswerAndTheLineOfTheFile) {
  FileDialog f("1\nabc\n");
  float v = 0;
  f.dialog.read("a", v);
  try {
    f.dialog.read("the calculation interval", v);
    FAIL();
  } catch (const RunError& e) {
    std::string m = e.what();
    EXPECT_NE(m.find("the calculation interval"), std::string::npos) << m;
    EXPECT_NE(m.find("line 2"), std::string::npos) << m;
    EXPECT_NE(m.find("design.ans"), std::string::npos) << m;
    // The place is carried as fields, not only in the text.
    ASSERT_EQ(e.diagnostics().size(), 1u);
    EXPECT_EQ(e.diagnostics()[0].file, "design.ans");
    EXPECT_EQ(e.diagnostics()[0].line, 2);
  }
}

TEST(FreeForm, EndOfInputEndsTheRunWithAReport) {
  FileDialog f("1\n");
  float a = 0, b = 0;
  try {
    f.dialog.read("the beamwidth and level", a, b);
    FAIL();
  } catch (const RunError& e) {
    std::string m = e.what();
    EXPECT_EQ(m, "Error in design.ans, line 2: the file ends without an answer for the beamwidth "
                 "and level.");
  }
  ConsoleDialog c("");
  EXPECT_THROW(c.dialog.read_yes(), RunError);
  EXPECT_THROW(c.dialog.read_text("a name", 40), RunError);
}

TEST(FreeForm, AnswersFromTheFileAreEchoedInFreeForm) {
  FileDialog f("40,-10\n0.001\n5\n");
  float b = 0, l = 0, h = 0;
  int n = 0;
  f.dialog.prompt(" Beam ");
  f.dialog.read("a", b, l);
  f.dialog.prompt(" Step ");
  f.dialog.read("b", h);
  f.dialog.prompt(" Count ");
  f.dialog.read("c", n);
  EXPECT_EQ(f.out.str(), " Beam  40 -10\n Step  0.001\n Count  5\n");
}

TEST(FreeForm, ListingRangeIsEchoedAsThreeFixedFields) {
  FileDialog f("0 10 1\n");
  float a = 0, b = 0, c = 0;
  f.dialog.read_range("the range", a, b, c);
  EXPECT_EQ(f.out.str(), "    0.000   10.000    1.000\n");
}

TEST(Text, IsCutOrPaddedToItsWidthAndEchoedWhole) {
  FileDialog f("  plot.hpg\n" + std::string(50, 'x') + "\n");
  std::string a = f.dialog.read_text("a", 40);
  EXPECT_EQ(a, "  plot.hpg" + std::string(30, ' '));
  std::string b = f.dialog.read_text("b", 40);
  EXPECT_EQ(b, std::string(40, 'x'));
  EXPECT_EQ(f.out.str(), a + "\n" + b + "\n");
  EXPECT_EQ(file_name(a), "  plot.hpg");
  EXPECT_EQ(file_name(std::string(40, ' ')), "");
}

TEST(Reject, AtTheConsoleSaysWhatIsWrongAndReturns) {
  ConsoleDialog c("0\n");
  float v = 0;
  c.dialog.prompt(" Enter ");
  c.dialog.read("x", v);
  c.dialog.reject("The interval must not be 0.");
  EXPECT_EQ(c.out.str(), " Enter  The interval must not be 0.\n");
}

TEST(Reject, FromTheAnswerFileEndsTheRunNamingTheLine) {
  FileDialog f("1\n0\n");
  float v = 0;
  f.dialog.read("x", v);
  f.dialog.read("y", v);
  try {
    f.dialog.reject("The interval must not be 0.");
    FAIL();
  } catch (const RunError& e) {
    EXPECT_EQ(std::string(e.what()), "Error in design.ans, line 2: the interval must not be 0.");
    ASSERT_EQ(e.diagnostics().size(), 1u);
    EXPECT_EQ(e.diagnostics()[0].line, 2);
    EXPECT_EQ(e.diagnostics()[0].message, "The interval must not be 0.");
  }
  // At the console a refusal that ends the run has no place.
  ConsoleDialog c("");
  try {
    c.dialog.read_yes();
    FAIL();
  } catch (const RunError& e) {
    EXPECT_EQ(e.diagnostics().at(0).file, "");
    EXPECT_EQ(e.diagnostics().at(0).line, 0);
  }
}

TEST(Pause, WithoutATerminalWritesTheMessageAndGoesOn) {
  ConsoleDialog c("echo should-not-run\n");
  c.dialog.prompt(" Enter ");
  c.dialog.pause("bad xa input in splint");
  EXPECT_EQ(c.out.str(), " Enter \nbad xa input in splint\n");
  std::string rest;
  std::getline(c.in, rest);
  EXPECT_EQ(rest, "echo should-not-run");  // not consumed
}

TEST(Pause, AtATerminalEachLineGoesToTheCommandInterpreterUntilAnEmptyOne) {
  testutil::TempDir dir;
  const std::filesystem::path ran = dir.path() / "ran";
  std::istringstream in("touch '" + ran.string() + "'\n\nnext\n");
  std::ostringstream out;
  Dialog d(in, out, /*interactive=*/true);
  d.pause("failure in polint");
  EXPECT_TRUE(std::filesystem::exists(ran));
  EXPECT_EQ(out.str(), "failure in polint\nfailure in polint\n");  // repeated after the command
  std::string rest;
  std::getline(in, rest);
  EXPECT_EQ(rest, "next");

  std::istringstream empty("");
  std::ostringstream out2;
  Dialog at_end(empty, out2, true);
  at_end.pause("failure in polint");  // the end of input ends the pause
  EXPECT_EQ(out2.str(), "failure in polint\n");
}

}  // namespace
}  // namespace dialog
