// The command line of the program, run as a user runs it: help and version,
// a wrong command line, and an answer file named on the command line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/test_util.h"

namespace {

using testutil::read_file;
using testutil::TempDir;

struct Exit {
  int status = -1;
  std::string out, err;
};

// Runs the program in `dir` through the shell with `args` and `input` on its
// standard input.
Exit ravost(const TempDir& dir, const std::string& args, const std::string& input = "") {
  testutil::write_file(dir.path() / "stdin", input);
  const std::string command = "cd '" + dir.path().string() + "' && '" RAVOST_BINARY "' " + args +
                              " <stdin >stdout 2>stderr";
  const int status = std::system(command.c_str());
  Exit e;
  e.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  e.out = read_file(dir.path() / "stdout");
  e.err = read_file(dir.path() / "stderr");
  return e;
}

TEST(CommandLine, HelpAndVersionExitWithZero) {
  TempDir dir;
  const Exit help = ravost(dir, "--help");
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--double", "--report", "--wavelength", "--version", "INPUT"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  const Exit version = ravost(dir, "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("ravost ", 0), 0u) << version.out;
}

TEST(CommandLine, UnknownOptionOrMissingFileIsAUsageError) {
  TempDir dir;
  for (const char* args : {"--frobnicate", "no_such_file.ans"}) {
    const Exit e = ravost(dir, args);
    EXPECT_EQ(e.status, 2) << args;
    EXPECT_NE(e.err.find("Usage"), std::string::npos) << e.err;
    EXPECT_EQ(e.out, "");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "ravost.out"));
  }
}

TEST(CommandLine, AnswerFileArgumentRunsAsIfItsNameWereTyped) {
  TempDir typed, named;
  for (const TempDir* dir : {&typed, &named}) {
    std::filesystem::copy_file(std::filesystem::path(RAVOST_SOURCE_DIR) / "examples/uniform.ans",
                               dir->path() / "uniform.ans");
  }
  const Exit by_hand = ravost(typed, "", "y\nuniform.ans\n");
  const Exit by_name = ravost(named, "uniform.ans");
  EXPECT_EQ(by_hand.status, 0);
  EXPECT_EQ(by_name.status, 0);
  EXPECT_EQ(by_name.out, by_hand.out);
  EXPECT_EQ(by_name.err, "");
  for (const char* file : {"ravost.out", "uniform.plt", "uniform_main.rsf", "uniform_sub.tor"}) {
    EXPECT_EQ(read_file(named.path() / file), read_file(typed.path() / file)) << file;
  }
}

TEST(CommandLine, ConsoleOutputThatCannotBeWrittenIsAnError) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  TempDir dir;
  std::filesystem::copy_file(std::filesystem::path(RAVOST_SOURCE_DIR) / "examples/uniform.ans",
                             dir.path() / "uniform.ans");
  const std::string command = "cd '" + dir.path().string() + "' && '" RAVOST_BINARY
                              "' uniform.ans </dev/null >/dev/full 2>stderr";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
  EXPECT_NE(read_file(dir.path() / "stderr").find("cannot write the console output"),
            std::string::npos);
}

}  // namespace

namespace {

// --physical-optics adds to the report and changes nothing else; without
// --report it is a usage error.
TEST(CommandLine, PhysicalOpticsAddsToTheReportOnly) {
  TempDir plain, po;
  for (const TempDir* dir : {&plain, &po}) {
    std::filesystem::copy_file(std::filesystem::path(RAVOST_SOURCE_DIR) / "examples/uniform.ans",
                               dir->path() / "uniform.ans");
  }
  const Exit a = ravost(plain, "--report rep --wavelength 2 uniform.ans");
  const Exit b = ravost(po, "--report rep --wavelength 2 --physical-optics uniform.ans");
  EXPECT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(b.status, 0) << b.err;
  EXPECT_EQ(a.out, b.out);
  for (const char* file : {"ravost.out", "uniform.plt", "uniform_main.rsf", "uniform_sub.tor", "rep/pattern.csv"}) {
    EXPECT_EQ(read_file(po.path() / file), read_file(plain.path() / file)) << file;
  }
  EXPECT_FALSE(std::filesystem::exists(plain.path() / "rep/po_pattern.cut"));
  EXPECT_TRUE(std::filesystem::exists(po.path() / "rep/po_pattern.cut"));
  EXPECT_NE(read_file(po.path() / "rep/report.json").find("\"physical_optics\""), std::string::npos);

  TempDir alone;
  const Exit e = ravost(alone, "--physical-optics no_such_file.ans");
  EXPECT_EQ(e.status, 2);
  EXPECT_NE(e.err.find("--report"), std::string::npos) << e.err;
}

}  // namespace
