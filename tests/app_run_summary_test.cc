// A run at a terminal says what it did: at a normal end, with standard
// error on a pseudo-terminal, the program names the files it wrote and the
// report's headline figures; with standard error on a pipe it adds nothing.
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "fields/prose.h"
#include "run/summary.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(RAVOST_SOURCE_DIR) / "examples";

// Runs the program in `dir` through the shell with `args`, its standard
// input empty, its standard output into a file and its standard error on a
// pseudo-terminal; what the terminal showed (line ends as written) and the
// exit status.
testutil::ProgramExit run_on_terminal(const fs::path& dir, const std::string& args) {
  testutil::ProgramExit result;
  int master = -1, slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    ADD_FAILURE() << "no pseudo-terminal";
    return result;
  }
  // No translation of line feeds: the test sees the bytes the program wrote.
  termios modes{};
  ::tcgetattr(slave, &modes);
  modes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  ::tcsetattr(slave, TCSANOW, &modes);
  const std::string command = "cd '" + dir.string() + "' && exec '" RAVOST_BINARY "' " + args + " < /dev/null > out.txt";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(master);
    ::dup2(slave, STDERR_FILENO);
    ::close(slave);
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(slave);
  // Read until the terminal's last writer is gone (EIO on Linux).
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n > 0) {
      result.err.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  ::close(master);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  result.signalled = WIFSIGNALED(status);
  result.out = testutil::read_file(dir / "out.txt");
  fs::remove(dir / "out.txt");
  return result;
}

// What stays on the terminal: a progress line (shown when work takes more
// than a second, as under load) is erased before anything else is written.
std::string shown(const std::string& err) {
  const std::size_t erased = err.rfind("\x1b[K");
  return erased == std::string::npos ? err : err.substr(erased + 3);
}

TEST(RunSummary, AnAnswerFileRunAtATerminalNamesEveryFileItWrote) {
  testutil::TempDir dir;
  const std::string answers = (kExamples / "uniform.ans").string();
  const testutil::ProgramExit told = run_on_terminal(dir.path(), "'" + answers + "'");
  ASSERT_EQ(told.status, 0) << told.err;
  EXPECT_EQ(shown(told.err), "Wrote ravost.out, uniform.plt, uniform_main.rsf, uniform_sub.rsf, uniform_main.tor and uniform_sub.tor.\n");
  for (const char* f : {"ravost.out", "uniform.plt", "uniform_main.rsf", "uniform_sub.rsf", "uniform_main.tor", "uniform_sub.tor"})
    EXPECT_TRUE(fs::exists(dir.path() / f)) << f;
  // The same run with standard error on a pipe: a clean run writes nothing there.
  testutil::TempDir quiet;
  const testutil::ProgramExit piped = testutil::run_program(quiet.path(), "'" + answers + "'");
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.err, "");
  // Standard output is the same either way.
  EXPECT_EQ(told.out, piped.out);
}

// A design file with a report: the report's page and its headline, the
// same figures as report.json.
TEST(RunSummary, ADesignFileRunWithAReportGivesItsHeadline) {
  testutil::TempDir dir;
  const std::string design = (kExamples / "corrugated.toml").string();
  const testutil::ProgramExit told = run_on_terminal(dir.path(), "'" + design + "'");
  ASSERT_EQ(told.status, 0) << told.err;
  const auto report = nlohmann::json::parse(testutil::read_file(dir.path() / "corrugated_report" / "report.json"));
  const std::string expected =
      "Wrote ravost.out, corrugated.plt, corrugated_main.rsf, corrugated_sub.rsf and the report corrugated_report/report.html.\n"
      "Directivity " + fields::fixed(report.at("directivity_dbi").get<double>(), 2) + " dBi, total efficiency " +
      fields::fixed(100 * report.at("efficiency").at("total").get<double>(), 1) + " %, D/lambda 100.\n";
  EXPECT_EQ(shown(told.err), expected);

  testutil::TempDir quiet;
  const testutil::ProgramExit piped = testutil::run_program(quiet.path(), "'" + design + "'");
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.err, "");
}

// Without a wavelength the summary says that D/lambda was assumed.
TEST(RunSummary, SaysWhenDOverLambdaWasAssumed) {
  testutil::TempDir dir;
  const testutil::ProgramExit told =
      run_on_terminal(dir.path(), "--report rep '" + (kExamples / "gaussian.ans").string() + "'");
  ASSERT_EQ(told.status, 0) << told.err;
  EXPECT_NE(shown(told.err).find(" and the report rep/report.html.\n"), std::string::npos) << told.err;
  EXPECT_NE(shown(told.err).find(", D/lambda 100 (assumed: no wavelength was given).\n"), std::string::npos) << told.err;
}

// A run that fails is not a normal end: its report, and no summary.
TEST(RunSummary, AFailedRunAtATerminalGivesNone) {
  testutil::TempDir dir;
  std::string text = testutil::read_file(kExamples / "uniform.toml");
  text.replace(text.find("sub_radius = 0.25"), 17, "sub_radius = 0.0");
  testutil::write_file(dir.path() / "bad.toml", text);
  const testutil::ProgramExit told = run_on_terminal(dir.path(), "bad.toml");
  EXPECT_EQ(told.status, 1);
  EXPECT_NE(told.err.find("geometry.sub_radius"), std::string::npos) << told.err;
  EXPECT_EQ(told.err.find("Wrote"), std::string::npos) << told.err;
}

TEST(RunSummary, RendersTheFilesAsAList) {
  run::RunSummary s;
  EXPECT_EQ(run::render(s), "");
  s.files = {"ravost.out"};
  EXPECT_EQ(run::render(s), "Wrote ravost.out.\n");
  s.files.push_back("a.plt");
  EXPECT_EQ(run::render(s), "Wrote ravost.out and a.plt.\n");
  s.files.push_back("ravost.ans");
  EXPECT_EQ(run::render(s), "Wrote ravost.out, a.plt and ravost.ans.\n");
  s.headline = run::Headline{"r/report.html", 41.234, 0.8766, 250, false};
  EXPECT_EQ(run::render(s),
            "Wrote ravost.out, a.plt, ravost.ans and the report r/report.html.\n"
            "Directivity 41.23 dBi, total efficiency 87.7 %, D/lambda 250.\n");
}

}  // namespace
