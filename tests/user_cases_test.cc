// The program as its users meet it, run as its own binary: answers refused at
// their line or asked again at a terminal, the stops of the dialog, warnings,
// the command line, interrupts, progress, the answers saved from a terminal,
// and the checks at the edges of their limits.  Every run is also checked for
// files it must not leave behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "design/check.h"
#include "tests/test_util.h"

namespace {

namespace fs = std::filesystem;
using testutil::read_file;
using testutil::TempDir;
using testutil::write_file;

const std::string kUniform = read_file(fs::path(RAVOST_SOURCE_DIR) / "examples/uniform.ans");

// examples/uniform.ans with some of its lines (numbered from 1) replaced.
std::string uniform_with(const std::map<int, std::string>& lines) {
  std::string out;
  int n = 0;
  for (std::size_t start = 0; start < kUniform.size();) {
    const std::size_t end = kUniform.find('\n', start);
    const auto changed = lines.find(++n);
    out += changed != lines.end() ? changed->second : kUniform.substr(start, end - start);
    out += '\n';
    start = end + 1;
  }
  return out;
}

// The example design with a long synthesis: 8.8 million steps, some seconds
// in 64-bit reals, and the output interval still a whole multiple.
const std::string kLongSynthesis = uniform_with({{7, "1e-7"}});

// What a run may not leave: files still being written (".name.pid.part")
// and staging folders (".pid-n.staged"), both hidden, at any depth.
std::vector<std::string> leftovers(const fs::path& dir) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.path().filename().string().starts_with(".")) found.push_back(entry.path().string());
  }
  return found;
}

// The program's console: plain files (answers from a file "stdin", output to
// "stdout" and "stderr" in the run's folder), or a pseudo-terminal for
// standard input and output with standard error in "stderr" or on the
// terminal too.
enum class Console { files, terminal, terminal_with_errors };

// One run of the program in a folder of its own.
class Program {
 public:
  Program(const TempDir& dir, const std::vector<std::string>& args, Console console,
          const std::string& input = "")
      : dir_(dir.path()) {
    std::vector<std::string> words{RAVOST_BINARY};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    const bool terminal = console != Console::files;
    std::string slave;
    if (terminal) {
      master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
      if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        ADD_FAILURE() << "no pseudo-terminal";
        return;
      }
      slave = ::ptsname(master_);
    }
    write_file(dir_ / "stdin", input);
    const int in = ::open((dir_ / "stdin").c_str(), O_RDONLY);
    const int out = ::open((dir_ / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open((dir_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string folder = dir_.string();
    pid_ = ::fork();
    if (pid_ == 0) {
      if (terminal) {
        // A session of its own with the terminal as its controlling one, so
        // that a typed Ctrl-C reaches it as at a real terminal.
        ::setsid();
        const int tty = ::open(slave.c_str(), O_RDWR);
        ::ioctl(tty, TIOCSCTTY, 0);
        ::dup2(tty, 0);
        ::dup2(tty, 1);
        ::dup2(console == Console::terminal_with_errors ? tty : err, 2);
      } else {
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
      }
      if (::chdir(folder.c_str()) == 0) ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(in);
    ::close(out);
    ::close(err);
  }

  ~Program() {
    if (pid_ > 0 && status_ == kRunning) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) ::close(master_);
  }

  // Types at the terminal.
  void type(const std::string& text) {
    ASSERT_EQ(::write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }

  // Reads the terminal until it has shown `text` `times` times in all; false
  // when the program ends or a minute passes first.
  bool wait_for(const std::string& text, int times = 1) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (count(screen(), text) < times) {
      if (Clock::now() > deadline || !pump(100)) return false;
    }
    return true;
  }

  // Reads the terminal until what it has shown satisfies `shown`; false when
  // the program ends or a minute passes first.
  bool wait_until(const std::function<bool(const std::string&)>& shown) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!shown(screen())) {
      if (Clock::now() > deadline || !pump(100)) return false;
    }
    return true;
  }

  // Without a terminal: waits until standard output holds `text`.
  bool wait_for_output(const std::string& text) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (out().find(text) == std::string::npos) {
      siginfo_t ended{};
      ::waitid(P_PID, static_cast<id_t>(pid_), &ended, WEXITED | WNOHANG | WNOWAIT);
      if (Clock::now() > deadline || ended.si_pid != 0) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }

  // Waits until `done` holds while the program runs; false when it ends or
  // a minute passes first.
  template <class Condition>
  bool wait_for_state(Condition done) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!done()) {
      siginfo_t ended{};
      ::waitid(P_PID, static_cast<id_t>(pid_), &ended, WEXITED | WNOHANG | WNOWAIT);
      if (Clock::now() > deadline || ended.si_pid != 0) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  void signal(int number) { ::kill(pid_, number); }

  // Waits until the program has used `seconds` of processor time (it is
  // then at work past its start); false when it ends or a minute passes
  // first.
  bool wait_for_work(double seconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    for (;;) {
      std::string stat = read_file(fs::path("/proc") / std::to_string(pid_) / "stat");
      // The fields after the command's closing parenthesis: utime and
      // stime are the 12th and 13th of them.
      const std::size_t close = stat.rfind(')');
      if (close == std::string::npos || Clock::now() > deadline) return false;
      std::istringstream fields(stat.substr(close + 2));
      std::string field;
      long ticks = 0;
      for (int i = 1; i <= 13 && fields >> field; ++i) {
        if (i == 1 && field == "Z") return false;
        if (i >= 12) ticks += std::stol(field);
      }
      if (static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK)) >= seconds) return true;
      if (master_ >= 0) pump(10);
      else std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  // Waits for the end of the run: its exit status, or minus the signal that
  // killed it.  A run still going after `seconds` fails the test and is killed.
  int finish(int seconds = 120) {
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (status_ == kRunning) {
      if (master_ >= 0) pump(50);
      int status = 0;
      const pid_t done = ::waitpid(pid_, &status, master_ >= 0 ? WNOHANG : 0);
      if (done == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
      } else if (Clock::now() > deadline) {
        ADD_FAILURE() << "the run did not end; the screen:\n" << screen();
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        status_ = -SIGKILL;
      } else if (master_ < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    while (master_ >= 0 && pump(0)) {
    }
    return status_;
  }

  // What the terminal showed, without the carriage returns it adds.
  std::string screen() const {
    std::string text;
    for (char c : screen_) {
      if (c != '\r') text += c;
    }
    return text;
  }
  const std::string& raw_screen() const { return screen_; }
  std::string out() const { return read_file(dir_ / "stdout"); }
  std::string err() const { return read_file(dir_ / "stderr"); }

  static int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
      ++n;
    }
    return n;
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr int kRunning = std::numeric_limits<int>::min();

  // Reads what the terminal has to show, waiting up to `ms`; false once the
  // program has closed it.
  bool pump(int ms) {
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return status_ == kRunning;
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;
    screen_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  fs::path dir_;
  pid_t pid_ = -1;
  int master_ = -1;
  int status_ = kRunning;
  std::string screen_;
};

struct Exit {
  int status;
  std::string out, err, listing;
};

// Runs `answers` as the answer file "a.ans" named on the command line, with
// no terminal anywhere.
Exit run_answers(const TempDir& dir, const std::string& answers,
                 std::vector<std::string> args = {}) {
  write_file(dir.path() / "a.ans", answers);
  args.push_back("a.ans");
  Program p(dir, args, Console::files);
  const int status = p.finish();
  return {status, p.out(), p.err(), read_file(dir.path() / "ravost.out")};
}

// ---------------------------------------------------------------------------
// From an answer file

TEST(AnswerFile, AnAnswerThatCannotBeUsedEndsTheRunAtItsLineAndLeavesNoPartialFile) {
  struct Case {
    std::map<int, std::string> lines;
    std::string report;  // all of standard error, or its start
    bool whole = true;
    int report_lines = 1;
  };
  const std::string n41(41, 'p'), n71(71, 's');
  const Case cases[] = {
      // Names longer than their fields are refused, not cut.
      {{{10, n41}},
       "Error in a.ans, line 10: the name \"" + n41 +
           "\" has 41 characters; a name here has at most 40."},
      {{{19, n71}},
       "Error in a.ans, line 19: the name \"" + n71 +
           "\" has 71 characters; a name here has at most 70."},
      {{{27, n71}}, "Error in a.ans, line 27: the name \"" + n71 + "\" has 71 characters", false},
      // The spline's point count comes after its file was opened.
      {{{29, "1000"}}, "Error in a.ans, line 29: a spline object holds from 2 to 999 points", false},
      // The geometry, each at its own line.
      {{{2, "0"}}, "Error in a.ans, line 2: the distance from the feed to the subreflector rim must "
                   "not be 0."},
      {{{2, "-0.3"}}, "Error in a.ans, line 2: the distance from the feed to the subreflector rim "
                      "must be greater than 0", false},
      {{{3, "0"}}, "Error in a.ans, line 3: the radius of the subreflector must not be 0", false},
      {{{3, "-0.25"}}, "Error in a.ans, line 3: the radius of the subreflector must be greater "
                       "than 0."},
      {{{4, "-0.1"}}, "Error in a.ans, line 4: the inner radius of the main reflector must not be "
                      "negative (0 for no hole)."},
      {{{4, "1"}}, "Error in a.ans, line 4: the inner radius of the main reflector must be less "
                   "than 1, its outer radius."},
      // Feed to rim plus hole rim to feed must stay above 0: exactly 0 is
      // refused where the second of them is answered.
      {{{1, "-0.5"}}, "Error in a.ans, line 2: the subreflector rim would stand behind the plane "
                      "of the main reflector's hole rim", false},
      // A subreflector rim the feed barely lights: the integration breaks
      // down, and a finer interval would not help.
      {{{2, "0.1"}},
       "Error: the integration breaks down at ray 2 (main reflector radius 0.14000): the surfaces "
       "are no longer finite.\nThe feed illuminates the subreflector rim 123 dB below its peak, "
       "too weakly to shape: try a wider feed beamwidth",
       false, 2},
      // The largest hole radius below 1 passes its own answer; the intervals
      // then have no room.
      {{{4, "0.99999994"}}, "Error in a.ans, line 8: the output interval is larger than the "
                            "aperture", false},
      // 0.5 % and just past 0.1 % off a whole multiple of the 0.001 step.
      {{{8, "0.0201"}}, "Error in a.ans, line 8: the output interval must be a whole multiple of "
                        "the calculation interval 0.001; try 0.02."},
      {{{8, "0.0200200025"}}, "Error in a.ans, line 8: the output interval must be a whole "
                              "multiple", false},
      // The last row 1e-5 plus 1e-6 of the radius past the rim and a float more.
      {{{4, "0.100011021"}, {7, "0.01"}, {8, "0.1"}},
       "Error in a.ans, line 8: the last row would land at r = 1.00001, past the rim", false},
      // Listing steps that never reach the stop.
      {{{15, "6 50 0"}}, "Error in a.ans, line 15: the step of a listing must not be 0."},
      {{{15, "50 6 4"}}, "Error in a.ans, line 15: a step of 4 cannot reach the stop 6 from the "
                         "start 50."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    TempDir dir;
    const Exit e = run_answers(dir, uniform_with(c.lines));
    EXPECT_EQ(e.status, 1);
    EXPECT_EQ(Program::count(e.err, "\n"), c.report_lines) << e.err;
    if (c.whole) {
      EXPECT_EQ(e.err, c.report + "\n");
    } else {
      EXPECT_EQ(e.err.rfind(c.report, 0), 0u) << e.err;
    }
    // The listing ends with the same report.
    const std::string last = testutil::crlf(e.err);
    EXPECT_TRUE(e.listing.ends_with(last)) << e.listing;
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
    if (c.lines.begin()->first == 29) {
      EXPECT_FALSE(fs::exists(dir.path() / "uniform_main.tor"));
    }
  }
}

TEST(AnswerFile, AnswersAtTheEdgeOfTheirLimitsAreTakenAndWarningsLetTheRunGoOn) {
  struct Case {
    std::string answers;
    std::string err;  // all of standard error
  };
  const std::string gaussian_minus_10 =
      "0.2\n0.5\n0.25\n0.12\n40, -10\n2\n-10\n0.001\n0.02\nn\n100\nn\nn\nn\nn\nn\nn\nn\n";
  const Case cases[] = {
      // 0.02002 reads as the last float within 1e-3 of 20 steps.
      {uniform_with({{8, "0.02002"}}), ""},
      // Last rows 5e-6 past the rim, and at the last float inside the
      // allowance (1.0000109934).
      {uniform_with({{4, "0.100005"}, {7, "0.01"}, {8, "0.1"}}), ""},
      {uniform_with({{4, "0.100011013"}, {7, "0.01"}, {8, "0.1"}}), ""},
      // A listing that runs backwards reaches its stop.
      {uniform_with({{15, "50 6 -4"}}), ""},
      // A decimal comma in an answer file reads as two values without a word.
      {uniform_with({{4, "0,12"}}), ""},
      {gaussian_minus_10,
       "Warning: an edge taper of -10 dB makes the aperture's edge brighter than its centre; the "
       "taper is the drop in dB from the centre to the edge.\n"},
      {uniform_with({{15, "6 80 4"}}),
       "Warning: the listing reaches r = 78, outside the main reflector's radii 6 to 50; the "
       "heights there are extrapolated.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers);
    TempDir dir;
    const Exit e = run_answers(dir, c.answers);
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.err, c.err);
    EXPECT_TRUE(e.listing.ends_with("\r\n"));
    EXPECT_EQ(e.listing.find("Error"), std::string::npos);
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
  }
}

// The refusal of a last row past the rim offers an output interval to try;
// when the hole radius leaves no whole number of steps to the rim, no output
// interval helps, and the one refused must not be offered back.
TEST(AnswerFile, PastTheRimAdviceDoesNotOfferTheRefusedInterval) {
  TempDir dir;
  const Exit e = run_answers(dir, uniform_with({{4, "0.100012"}, {7, "0.01"}, {8, "0.1"}}));
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.err.rfind("Error in a.ans, line 8: the last row would land at r = 1.00001, past the "
                        "rim",
                        0),
            0u)
      << e.err;
  EXPECT_EQ(e.err.find("try an output interval of 0.1."), std::string::npos) << e.err;
}

TEST(AnswerFile, StopsOfTheDialogEndWithStatusOneAndTheReasonInTheListing) {
  const std::string geometry = "0.2\n0.5\n0.25\n0.12\n40 -10\n";
  const std::pair<std::string, std::string> stops[] = {
      {geometry + "2\n0\n",
       "Error: the dialog stops: a Gaussian edge taper of 0 dB describes no Gaussian "
       "distribution."},
      {geometry + "3\n30\n21\n",
       "Error: the dialog stops: a first unchanged zero above 20 is beyond the zeros the program "
       "holds."},
  };
  for (const auto& [answers, reason] : stops) {
    TempDir dir;
    const Exit e = run_answers(dir, answers);
    EXPECT_EQ(e.status, 1);
    EXPECT_TRUE(e.out.ends_with("\nStop - Program terminated.\n")) << e.out;
    EXPECT_EQ(e.err, reason + "\n");
    EXPECT_TRUE(e.listing.ends_with("\r\n" + reason + "\r\n")) << e.listing;
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
  }
}

// ---------------------------------------------------------------------------
// The command line

TEST(CommandLine, AWavelengthThatIsNotAPositiveNumberIsAUsageErrorInTwoLines) {
  TempDir dir;
  write_file(dir.path() / "u.ans", kUniform);
  for (const char* w : {"abc", "nan", "0", "-1", "inf"}) {
    Program p(dir, {"--report", "r", "--wavelength", w, "u.ans"}, Console::files);
    EXPECT_EQ(p.finish(), 2) << w;
    const std::string err = p.err();
    EXPECT_EQ(Program::count(err, "\n"), 2) << err;
    EXPECT_EQ(err.rfind(std::string("Error: --wavelength must be a positive number (in the unit of "
                                     "the diameter), not \"") + w + "\"\nUsage: ravost ",
                        0),
              0u)
        << err;
    EXPECT_EQ(p.out(), "");
    EXPECT_FALSE(fs::exists(dir.path() / "r"));
    EXPECT_FALSE(fs::exists(dir.path() / "ravost.out"));
  }
}

TEST(CommandLine, AReportFolderThatCannotBeCreatedEndsTheRunBeforeAnyQuestion) {
  TempDir dir;
  write_file(dir.path() / "plain", "a file\n");
  write_file(dir.path() / "u.ans", kUniform);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--report", "plain/report"},
        std::vector<std::string>{"--report", "plain/report", "u.ans"}}) {
    Program p(dir, args, Console::files, "n\n");
    EXPECT_EQ(p.finish(), 1);
    EXPECT_EQ(p.out(), "");
    EXPECT_EQ(p.err(), "Error: cannot create the folder \"plain/report\": Not a directory.\n");
    EXPECT_FALSE(fs::exists(dir.path() / "ravost.out"));
  }
}

// ---------------------------------------------------------------------------
// At a terminal

TEST(Terminal, UnusableAnswersAreAskedAgainAndTheRunGoesOn) {
  TempDir dir;
  Program p(dir, {}, Console::terminal);
  const std::string n41(41, 'p'), n71(71, 's');
  p.type("n\n0.2\n"
         "0\n-0.3\n0.5\n"       // feed to subreflector rim
         "0\n0.25\n"            // subreflector radius
         "1\n-0.1\n0,12\n"      // hole radius: "0,12" reads as 0, with a warning
         "40 -10\n1\n0.001\n0.02\n"
         "y\n" + n41 + "\np.plt\n"
         "100\nn\n"
         "y\n6 50 0\n50 6 4\n50 6 -4\n"
         "n\n"
         "y\n" + n71 + "\nm.rsf\n21\nlabel\n"
         "n\nn\nn\n");
  EXPECT_EQ(p.finish(), 0) << p.err();
  const std::string screen = p.screen();
  const std::pair<const char*, int> asked[] = {
      {" Enter Axis Distance from Feed to Subreflector Rim ", 3},
      {" Radius of subreflector ", 2},
      {" Enter Inner Radius of Main Reflector ", 3},
      {" Enter plot file ", 2},
      {" Enter start, stop, step ", 3},
      {" Enter file ", 2},
  };
  for (const auto& [prompt, times] : asked) EXPECT_EQ(Program::count(screen, prompt), times) << prompt;
  const std::string err = p.err();
  for (const std::string& said :
       {std::string(" The distance from the feed to the subreflector rim must not be 0.\n"),
        std::string(" The radius of the subreflector must not be 0"),
        std::string(" The inner radius of the main reflector must be less than 1"),
        std::string(" The inner radius of the main reflector must not be negative"),
        std::string("Warning: \"0,12\" reads as 0: a comma separates values; write 0.12 for a "
                    "decimal point.\n"),
        " The name \"" + n41 + "\" has 41 characters; a name here has at most 40.\n",
        std::string(" The step of a listing must not be 0.\n"),
        std::string(" A step of 4 cannot reach the stop 6 from the start 50.\n"),
        " The name \"" + n71 + "\" has 71 characters; a name here has at most 70.\n"}) {
    EXPECT_NE(err.find(said), std::string::npos) << said << "\nin:\n" << err;
  }
  // The hole radius is the 0 that "0,12" reads as.
  EXPECT_NE(read_file(dir.path() / "ravost.out").find(" Main reflector inner radius:           0.0000\r\n"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(dir.path() / "p.plt"));
  EXPECT_TRUE(fs::exists(dir.path() / "m.rsf"));
  EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
}

TEST(Terminal, TheSumOfTheAxialDistancesMustStayAboveZero) {
  TempDir dir;
  Program p(dir, {}, Console::terminal);
  p.type("n\n-0.5\n0.5\n0.50001\n");
  ASSERT_TRUE(p.wait_for(" Radius of subreflector "));
  EXPECT_EQ(Program::count(p.screen(), " Enter Axis Distance from Feed to Subreflector Rim "), 2);
  EXPECT_NE(p.err().find(" The subreflector rim would stand behind the plane of the main "
                         "reflector's hole rim"),
            std::string::npos)
      << p.err();
  p.type("\x04");  // the end of the input
  EXPECT_EQ(p.finish(), 1);
}

TEST(Terminal, TheAnswerFileNameIsTakenWholeAndAskedAgainWhenItCannotBeOpened) {
  const std::string name = "answers_of_a_design_with_a_name_over_forty.ans";
  ASSERT_GT(name.size(), 40u);
  TempDir typed;
  write_file(typed.path() / name, kUniform);
  {
    Program p(typed, {}, Console::terminal);
    p.type("y\nno_such.ans\n" + name + "\n");
    EXPECT_EQ(p.finish(), 0) << p.err();
    EXPECT_EQ(Program::count(p.screen(), " Enter input file "), 2);
    EXPECT_EQ(p.err(), " The answer file \"no_such.ans\" does not exist or is not a file.\n");
    EXPECT_TRUE(fs::exists(typed.path() / "uniform_sub.tor"));
  }
  // Through a pipe the long name works, and one that cannot be opened ends
  // the run.
  TempDir piped;
  write_file(piped.path() / name, kUniform);
  Program good(piped, {}, Console::files, "y\n" + name + "\n");
  EXPECT_EQ(good.finish(), 0);
  EXPECT_EQ(good.err(), "");
  Program bad(piped, {}, Console::files, "y\nno_such.ans\n" + name + "\n");
  EXPECT_EQ(bad.finish(), 1);
  EXPECT_EQ(bad.err(), "Error: the answer file \"no_such.ans\" does not exist or is not a file.\n");
}

TEST(Terminal, AnAnswerFileEndsTheRunAtAnUnusableAnswerThoughTheConsoleIsATerminal) {
  TempDir dir;
  write_file(dir.path() / "a.ans", uniform_with({{4, "1"}}));
  Program p(dir, {"a.ans"}, Console::terminal);
  p.type("0.12\n");  // a person ready to answer again is not asked
  EXPECT_EQ(p.finish(), 1);
  EXPECT_EQ(Program::count(p.screen(), " Enter Inner Radius of Main Reflector "), 1);
  EXPECT_EQ(p.err(),
            "Error in a.ans, line 4: the inner radius of the main reflector must be less than 1, "
            "its outer radius.\n");
}

// Replays the answers a typed run saved, in a folder of their own.
std::string replayed_listing(const TempDir& typed) {
  TempDir again;
  fs::copy_file(typed.path() / "ravost.ans", again.path() / "ravost.ans");
  Program p(again, {"ravost.ans"}, Console::files);
  EXPECT_EQ(p.finish(), 0) << p.err();
  return read_file(again.path() / "ravost.out");
}

TEST(Terminal, TypedAnswersAreSavedAndReplayToTheSameListing) {
  TempDir dir;
  Program p(dir, {}, Console::terminal);
  p.type("n\n" + kUniform);
  ASSERT_EQ(p.finish(), 0) << p.err();
  EXPECT_EQ(p.err(), "");
  EXPECT_EQ(read_file(dir.path() / "ravost.ans"), kUniform);
  EXPECT_NE(read_file(dir.path() / "ravost.toml").find("[geometry]"), std::string::npos);
  EXPECT_EQ(replayed_listing(dir), read_file(dir.path() / "ravost.out"));
}

// A typed session that ends normally at a terminal says what it wrote, the
// saved answers and design file last.
TEST(Terminal, ANormalEndNamesTheFilesWrittenAndTheSavedAnswers) {
  TempDir dir;
  Program p(dir, {}, Console::terminal_with_errors);
  p.type("n\n" + kUniform);
  ASSERT_EQ(p.finish(), 0);
  EXPECT_NE(p.screen().find("Wrote ravost.out, uniform.plt, uniform_main.rsf, uniform_sub.rsf, uniform_main.tor, "
                            "uniform_sub.tor, ravost.ans and ravost.toml.\n"),
            std::string::npos)
      << p.screen();
}

// An answer refused and typed again belongs to no answer file: saved with the
// others, it would end the replay at its line.
TEST(Terminal, AnswersSavedAfterAnAnswerAskedAgainReplayToTheSameListing) {
  TempDir dir;
  Program p(dir, {}, Console::terminal);
  p.type("n\n" + uniform_with({{4, "1\n0.12"}}));
  ASSERT_EQ(p.finish(), 0) << p.err();
  EXPECT_EQ(Program::count(p.screen(), " Enter Inner Radius of Main Reflector "), 2);
  EXPECT_EQ(replayed_listing(dir), read_file(dir.path() / "ravost.out"));
}

// ---------------------------------------------------------------------------
// Interrupts and progress

// The listing of an interrupted run ends with the report of the interrupt.
void expect_interrupted(const TempDir& dir, const std::string& err, const std::string& how) {
  const std::string report =
      "Error: the run was " + how + "; files not yet complete were removed.";
  EXPECT_NE(err.find(report + "\n"), std::string::npos) << err;
  EXPECT_TRUE(read_file(dir.path() / "ravost.out").ends_with(report + "\r\n"));
  EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
}

TEST(Interrupt, CtrlCDuringALongSynthesisAtATerminalShowsProgressAndEndsWith130) {
  TempDir dir;
  write_file(dir.path() / "long.ans", kLongSynthesis);
  Program p(dir, {"--double", "long.ans"}, Console::terminal_with_errors);
  // The progress line shows on the terminal's standard error.
  ASSERT_TRUE(p.wait_for(" rows, about ")) << p.screen();
  EXPECT_TRUE(std::regex_search(p.raw_screen(), std::regex("\rSynthesis: [0-9]+/44 rows, about ")))
      << p.screen();
  p.type("\x03");
  EXPECT_EQ(p.finish(), 130) << p.screen();
  expect_interrupted(dir, p.screen(), "interrupted (Ctrl-C)");
  // The run ended in the synthesis.
  EXPECT_EQ(read_file(dir.path() / "ravost.out").find(" Design scaled"), std::string::npos);
}

TEST(Interrupt, SigtermDuringALongSynthesisWithoutATerminalEndsWith143) {
  TempDir dir;
  write_file(dir.path() / "long.ans", kLongSynthesis);
  Program p(dir, {"--double", "long.ans"}, Console::files);
  // The last question before the synthesis is out; its answer follows at once.
  ASSERT_TRUE(p.wait_for_output(" Enter Output Aperture Interval "));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  p.signal(SIGTERM);
  EXPECT_EQ(p.finish(), 143);
  // Only the report: no progress where standard error is no terminal.
  EXPECT_EQ(p.err(),
            "Error: the run was terminated (signal 15); files not yet complete were removed.\n");
  expect_interrupted(dir, p.err(), "terminated (signal 15)");
}

TEST(Interrupt, ASignalWhileThePromptWaitsEndsTheRunAndSavesTheAnswersSoFar) {
  const std::pair<int, std::string> signals[] = {{SIGINT, "interrupted (Ctrl-C)"},
                                                 {SIGTERM, "terminated (signal 15)"}};
  for (const auto& [number, how] : signals) {
    TempDir dir;
    Program p(dir, {}, Console::terminal);
    p.type("n\n0.2\n");
    ASSERT_TRUE(p.wait_for(" Enter Axis Distance from Feed to Subreflector Rim "));
    // The prompt is out just before the read begins.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (number == SIGINT) {
      p.type("\x03");
    } else {
      p.signal(number);
    }
    // The wait ends with the signal, not with the next line typed.
    const int status = p.finish(10);
    EXPECT_EQ(status, 128 + number) << p.screen();
    if (status != 128 + number) continue;
    expect_interrupted(dir, p.err(), how);
    EXPECT_EQ(read_file(dir.path() / "ravost.ans"), "0.2\n");
    EXPECT_FALSE(fs::exists(dir.path() / "ravost.toml"));
    EXPECT_NE(p.err().find("saved in ravost.ans"), std::string::npos) << p.err();
  }
}

TEST(Progress, ALongCleanRunWithoutATerminalWritesNothingToStandardError) {
  TempDir dir;
  const Exit e = run_answers(dir, kLongSynthesis, {"--double"});
  EXPECT_EQ(e.status, 0);
  EXPECT_EQ(e.err, "");
  EXPECT_NE(e.listing.find("Path length"), std::string::npos);
  EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
}

// ---------------------------------------------------------------------------
// The ray table's self-check

TEST(SelfCheck, OnlyTheLastRayMayLeaveTheFeedAlongTheAxis) {
  // Five rays of equal path length whose feed angles fall to 0 at the last.
  auto table = [](float second, float last) {
    design::RayTable<float> t;
    const float angles[] = {30.0f, second, 10.0f, 5.0f, last};
    for (int i = 0; i < 5; ++i) {
      const float r = 0.2f * static_cast<float>(i + 1);
      t.rays.push_back({angles[i], 0.5f, 0.25f - 0.05f * i, r * r - 1.0f, r, 2.0f});
    }
    return t;
  };
  using Fault = design::RayTableCheck::Fault;
  const design::RayTableCheck zero = design::check_ray_table(table(0.0f, 0.0f));
  EXPECT_EQ(zero.fault, Fault::feed_angle_zero);
  EXPECT_EQ(zero.bad_ray, 2);
  EXPECT_DOUBLE_EQ(zero.bad_radius, static_cast<double>(0.4f));
  EXPECT_EQ(design::check_ray_table(table(-0.0f, 0.0f)).fault, Fault::feed_angle_zero);
  const float tiny = std::numeric_limits<float>::denorm_min();
  EXPECT_EQ(design::check_ray_table(table(tiny, 0.0f)).fault, Fault::none);
  EXPECT_EQ(design::check_ray_table(table(-tiny, 0.0f)).fault, Fault::feed_angle_zero);
  EXPECT_EQ(design::check_ray_table(table(std::nanf(""), 0.0f)).fault, Fault::feed_angle_zero);
}

// ---------------------------------------------------------------------------
// Work kept: the listing as the run goes, the earlier dialog's answers, a
// report folder of one run's files, LF line ends on the program's own files.

void copy_example(const TempDir& dir, const std::string& name) {
  fs::copy_file(fs::path(RAVOST_SOURCE_DIR) / "examples" / name, dir.path() / name);
}

bool has_cr(const std::string& text) { return text.find('\r') != std::string::npos; }

TEST(WorkKept, ARunKilledDuringTheReportKeepsTheListingOfEveryStageBeforeIt) {
  TempDir whole, killed;
  copy_example(whole, "uniform.toml");
  copy_example(killed, "uniform.toml");
  Program normal(whole, {"uniform.toml"}, Console::files);
  ASSERT_EQ(normal.finish(), 0) << normal.err();
  const std::string listing = read_file(whole.path() / "ravost.out");
  ASSERT_GT(listing.size(), 1000u);
  // The physical optics at a short wavelength take seconds after the last
  // stage that writes to the listing.
  Program p(killed, {"--report", "rep", "--physical-optics", "--wavelength", "0.03", "uniform.toml"},
            Console::files);
  // The last file before the report takes its name only when complete.
  ASSERT_TRUE(p.wait_for_state([&] {
    return fs::exists(killed.path() / "uniform_sub.tor") && read_file(killed.path() / "ravost.out") == listing;
  }))
      << "the listing while the report runs:\n"
      << read_file(killed.path() / "ravost.out");
  p.signal(SIGKILL);
  EXPECT_EQ(p.finish(), -SIGKILL);  // killed during the report, not ended
  EXPECT_EQ(read_file(killed.path() / "ravost.out"), listing);
  for (const char* file : {"uniform.plt", "uniform_main.rsf", "uniform_sub.rsf", "uniform_main.tor", "uniform_sub.tor"}) {
    EXPECT_EQ(read_file(killed.path() / file), read_file(whole.path() / file)) << file;
  }
  EXPECT_FALSE(fs::exists(killed.path() / "rep" / "report.json"));
}

// A run that ends with an error keeps its listing so far, with the report
// last: every stage before the failure as a normal run lists it.
TEST(WorkKept, AFailedRunsListingIsTheNormalRunsUpToTheFailureAndItsReport) {
  TempDir whole, failed;
  const Exit good = run_answers(whole, kUniform);
  ASSERT_EQ(good.status, 0);
  // The subreflector's surface file cannot be created: the run ends there,
  // after the listings.
  const Exit bad = run_answers(failed, uniform_with({{23, "no_such_folder/sub.rsf"}}));
  ASSERT_EQ(bad.status, 1);
  const std::string report = bad.err.substr(0, bad.err.find('\n'));
  EXPECT_NE(report.find("no_such_folder/sub.rsf"), std::string::npos) << report;
  EXPECT_EQ(bad.listing, good.listing + report + "\r\n");
}

TEST(WorkKept, ANewDialogEndedEarlyKeepsTheEarlierAnswersAsRavostAnsTilde) {
  TempDir dir;
  // Answers saved by an earlier version, with CR LF: the same answers typed
  // again make no copy, and the file takes LF line ends.
  write_file(dir.path() / "ravost.ans", testutil::crlf(kUniform));
  {
    Program p(dir, {}, Console::terminal);
    p.type("n\n" + kUniform);
    ASSERT_EQ(p.finish(), 0) << p.err();
  }
  EXPECT_EQ(read_file(dir.path() / "ravost.ans"), kUniform);
  EXPECT_FALSE(fs::exists(dir.path() / "ravost.ans~"));
  const std::string design = read_file(dir.path() / "ravost.toml");

  // A new dialog ended by Ctrl-C at its third question.  The line typed
  // after it answers the question should the signal come just before the
  // read begins; the next read ends the run then.
  {
    Program p(dir, {}, Console::terminal);
    p.type("n\n0.3\n");
    ASSERT_TRUE(p.wait_for(" Enter Axis Distance from Feed to Subreflector Rim "));
    p.type("\x03\n");
    EXPECT_EQ(p.finish(10), 130) << p.screen();
    EXPECT_NE(p.err().find("The earlier answers are kept in ravost.ans~.\n"), std::string::npos) << p.err();
  }
  EXPECT_EQ(read_file(dir.path() / "ravost.ans~"), kUniform);
  EXPECT_EQ(read_file(dir.path() / "ravost.ans").rfind("0.3\n", 0), 0u);
  EXPECT_EQ(read_file(dir.path() / "ravost.toml"), design);  // only a complete dialog writes it

  // The answers kept replay to the complete design.
  TempDir again;
  fs::copy_file(dir.path() / "ravost.ans~", again.path() / "kept.ans");
  Program replay(again, {"kept.ans"}, Console::files);
  EXPECT_EQ(replay.finish(), 0) << replay.err();
  EXPECT_TRUE(fs::exists(again.path() / "uniform_sub.tor"));
}

// The end of the input at a terminal (Ctrl-D) ends a dialog too: the same.
TEST(WorkKept, ADialogEndedByTheEndOfInputKeepsTheEarlierAnswers) {
  TempDir dir;
  write_file(dir.path() / "ravost.ans", kUniform);
  Program p(dir, {}, Console::terminal);
  p.type("n\n0.3\n\x04");
  EXPECT_EQ(p.finish(), 1) << p.screen();
  EXPECT_EQ(read_file(dir.path() / "ravost.ans~"), kUniform);
  EXPECT_EQ(read_file(dir.path() / "ravost.ans"), "0.3\n");
}

TEST(WorkKept, ReportFolderKeepsOnlyThisRunsReportFilesAndTheUsersOwn) {
  TempDir dir;
  copy_example(dir, "uniform.toml");
  Program with_po(dir, {"--report", "rep", "--physical-optics", "uniform.toml"}, Console::files);
  ASSERT_EQ(with_po.finish(), 0) << with_po.err();
  ASSERT_TRUE(fs::exists(dir.path() / "rep" / "po_pattern.csv"));
  ASSERT_TRUE(fs::exists(dir.path() / "rep" / "po_pattern.cut"));
  write_file(dir.path() / "rep" / "notes.txt", "my notes");
  Program without(dir, {"--report", "rep", "uniform.toml"}, Console::files);
  ASSERT_EQ(without.finish(), 0) << without.err();
  EXPECT_FALSE(fs::exists(dir.path() / "rep" / "po_pattern.csv"));
  EXPECT_FALSE(fs::exists(dir.path() / "rep" / "po_pattern.cut"));
  EXPECT_EQ(read_file(dir.path() / "rep" / "notes.txt"), "my notes");
  EXPECT_TRUE(fs::exists(dir.path() / "rep" / "report.json"));
  EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
}

TEST(WorkKept, OwnFilesEndLinesWithLfAndTheEstablishedOnesWithCrLf) {
  TempDir dir;
  {
    Program p(dir, {"--report", "rep"}, Console::terminal);
    p.type("n\n" + kUniform);
    ASSERT_EQ(p.finish(), 0) << p.err();
  }
  for (const char* file : {"ravost.ans", "ravost.toml"}) {
    const std::string text = read_file(dir.path() / file);
    EXPECT_FALSE(text.empty()) << file;
    EXPECT_FALSE(has_cr(text)) << file;
  }
  for (const auto& entry : fs::directory_iterator(dir.path() / "rep")) {
    EXPECT_FALSE(has_cr(read_file(entry.path()))) << entry.path();
  }
  for (const char* file : {"ravost.out", "uniform.plt", "uniform_main.rsf", "uniform_sub.rsf", "uniform_main.tor",
                           "uniform_sub.tor"}) {
    const std::string text = read_file(dir.path() / file);
    EXPECT_FALSE(testutil::crlf_lines(text).empty()) << file;  // fails the test on a bare LF
  }
  // The design file saved runs as it is, to the same listing; so does an
  // answer file with CR LF line ends, as older versions saved them.
  TempDir from_toml, from_crlf;
  fs::copy_file(dir.path() / "ravost.toml", from_toml.path() / "saved.toml");
  Program toml(from_toml, {"saved.toml"}, Console::files);
  EXPECT_EQ(toml.finish(), 0) << toml.err();
  EXPECT_EQ(read_file(from_toml.path() / "ravost.out"), read_file(dir.path() / "ravost.out"));
  const Exit crlf = run_answers(from_crlf, testutil::crlf(kUniform));
  EXPECT_EQ(crlf.status, 0) << crlf.err;
  EXPECT_EQ(crlf.listing, read_file(dir.path() / "ravost.out"));
}

// ---------------------------------------------------------------------------
// The report's frequency, and the report options on a design file

// The wavelength report.json holds, or -1.
double report_wavelength(const fs::path& dir) {
  const std::string json = read_file(dir / "report.json");
  const std::size_t at = json.find("\"wavelength\": ");
  if (at == std::string::npos) return -1;
  return std::strtod(json.c_str() + at + 14, nullptr);
}

// The shortest text that reads back as `v`.
std::string exact(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

TEST(Frequency, AFrequencyGivesTheWavelengthInTheDesignsUnit) {
  TempDir dir;
  copy_example(dir, "uniform.toml");  // object files in mm
  const double mm = 299792458.0 / 12e9 * 1000.0;
  Program by_length(dir, {"--report", "w", "--wavelength", exact(mm), "uniform.toml"}, Console::files);
  ASSERT_EQ(by_length.finish(), 0) << by_length.err();
  int n = 0;
  for (const char* f : {"12GHz", "12e9", "12 GHz", "12Ghz", "12000 MHz", "1.2e10Hz"}) {
    const std::string folder = "f" + std::to_string(n++);
    Program p(dir, {"--report", folder, "--frequency", f, "uniform.toml"}, Console::files);
    ASSERT_EQ(p.finish(), 0) << f << ": " << p.err();
    EXPECT_EQ(p.err(), "");
    EXPECT_EQ(report_wavelength(dir.path() / folder), report_wavelength(dir.path() / "w")) << f;
    EXPECT_EQ(read_file(dir.path() / folder / "pattern.csv"), read_file(dir.path() / "w" / "pattern.csv")) << f;
  }
  EXPECT_NEAR(report_wavelength(dir.path() / "w"), 24.9827, 1e-4);
}

TEST(Frequency, WhatIsNoFrequencyAboveZeroIsAUsageError) {
  TempDir dir;
  copy_example(dir, "uniform.toml");
  for (const char* f : {"0", "-1", "abc", "12mhz", "12 GHz x", "inf"}) {
    Program p(dir, {"--report", "r", "--frequency", f, "uniform.toml"}, Console::files);
    EXPECT_EQ(p.finish(), 2) << f;
    const std::string err = p.err();
    EXPECT_EQ(Program::count(err, "\n"), 2) << err;
    EXPECT_EQ(err.rfind(std::string("Error: --frequency \"") + f + "\" ", 0), 0u) << err;
    EXPECT_NE(err.find("\nUsage: ravost "), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir.path() / "r"));
    EXPECT_FALSE(fs::exists(dir.path() / "ravost.out"));
  }
  Program both(dir, {"--report", "r", "--frequency", "12GHz", "--wavelength", "1", "uniform.toml"}, Console::files);
  EXPECT_EQ(both.finish(), 2);
  EXPECT_FALSE(fs::exists(dir.path() / "ravost.out"));
}

// uniform.toml without its object files (its only unit) and with `scale`
// lines added to [scale].
std::string uniform_toml_without_unit(const std::string& scale = "") {
  std::string text = read_file(fs::path(RAVOST_SOURCE_DIR) / "examples/uniform.toml");
  text = text.substr(0, text.find("[object.main]"));
  if (!scale.empty()) text.insert(text.find("[scale]\n") + 8, scale + "\n");
  return text;
}

TEST(Frequency, ADesignWithoutALengthUnitRefusesAFrequencyBeforeAnyWork) {
  TempDir dir;
  write_file(dir.path() / "d.toml", uniform_toml_without_unit());
  Program p(dir, {"--report", "r", "--frequency", "12GHz", "d.toml"}, Console::files);
  EXPECT_EQ(p.finish(), 2);
  EXPECT_EQ(Program::count(p.err(), "\n"), 1) << p.err();
  EXPECT_EQ(p.err().rfind("Error: --frequency needs the design's length unit: add unit = ", 0), 0u) << p.err();
  EXPECT_FALSE(fs::exists(dir.path() / "ravost.out"));
  EXPECT_FALSE(fs::exists(dir.path() / "r"));
  // The unit said in [scale]: metres.
  write_file(dir.path() / "m.toml", uniform_toml_without_unit("unit = \"m\""));
  Program in_m(dir, {"--report", "r", "--frequency", "299.792458 MHz", "m.toml"}, Console::files);
  ASSERT_EQ(in_m.finish(), 0) << in_m.err();
  EXPECT_EQ(report_wavelength(dir.path() / "r"), 1.0);
}

TEST(Frequency, TheDialogTakesTheUnitOfItsObjectFilesOrRefusesAtTheReport) {
  TempDir dir;
  write_file(dir.path() / "u.ans", kUniform);  // object files in mm
  Program p(dir, {"--report", "r", "--frequency", "12GHz", "u.ans"}, Console::files);
  ASSERT_EQ(p.finish(), 0) << p.err();
  EXPECT_NEAR(report_wavelength(dir.path() / "r"), 24.9827, 1e-4);
  // Without object files the dialog asks no unit.
  const std::string no_objects = kUniform.substr(0, kUniform.find("yes\nuniform_main.tor")) + "no\nno\n";
  TempDir none;
  write_file(none.path() / "n.ans", no_objects);
  Program q(none, {"--report", "r", "--frequency", "12GHz", "n.ans"}, Console::files);
  EXPECT_EQ(q.finish(), 1);
  EXPECT_EQ(q.err().rfind("Error: --frequency needs the design's length unit", 0), 0u) << q.err();
  EXPECT_FALSE(fs::exists(none.path() / "r"));
  EXPECT_TRUE(read_file(none.path() / "ravost.out").ends_with(q.err().substr(0, q.err().find('\n')) + "\r\n"));
}

TEST(ReportOptions, TheCommandLineReplacesADesignFilesReportKeysOneByOne) {
  TempDir dir;
  std::string text = read_file(fs::path(RAVOST_SOURCE_DIR) / "examples/uniform.toml");
  write_file(dir.path() / "d.toml", text + "\n[report]\nfolder = \"r\"\nwavelength = 5\n");
  write_file(dir.path() / "plain.toml", text);
  // The file's own report.
  Program own(dir, {"d.toml"}, Console::files);
  ASSERT_EQ(own.finish(), 0) << own.err();
  EXPECT_EQ(report_wavelength(dir.path() / "r"), 5.0);
  EXPECT_FALSE(fs::exists(dir.path() / "r" / "po_pattern.csv"));
  // Another folder keeps the file's wavelength.
  Program folder(dir, {"--report", "other", "d.toml"}, Console::files);
  ASSERT_EQ(folder.finish(), 0) << folder.err();
  EXPECT_EQ(report_wavelength(dir.path() / "other"), 5.0);
  // The wavelength, the frequency and the physical optics, each alone.
  Program wavelength(dir, {"--wavelength", "7", "d.toml"}, Console::files);
  ASSERT_EQ(wavelength.finish(), 0) << wavelength.err();
  EXPECT_EQ(report_wavelength(dir.path() / "r"), 7.0);
  Program frequency(dir, {"--frequency", "29.9792458GHz", "d.toml"}, Console::files);
  ASSERT_EQ(frequency.finish(), 0) << frequency.err();
  EXPECT_DOUBLE_EQ(report_wavelength(dir.path() / "r"), 10.0);
  Program po(dir, {"--physical-optics", "d.toml"}, Console::files);
  ASSERT_EQ(po.finish(), 0) << po.err();
  EXPECT_EQ(report_wavelength(dir.path() / "r"), 5.0);
  EXPECT_TRUE(fs::exists(dir.path() / "r" / "po_pattern.csv"));
  // No report to apply them to: a design file without [report], the dialog
  // without --report.
  write_file(dir.path() / "u.ans", kUniform);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--wavelength", "7", "plain.toml"}, {"--frequency", "12GHz", "plain.toml"},
        {"--physical-optics", "plain.toml"}, {"--wavelength", "7", "u.ans"}, {"--physical-optics", "u.ans"}}) {
    TempDir alone;
    for (const char* f : {"plain.toml", "u.ans"}) fs::copy_file(dir.path() / f, alone.path() / f);
    Program p(alone, args, Console::files);
    EXPECT_EQ(p.finish(), 2) << args.front();
    EXPECT_EQ(p.err().rfind("Error: " + args.front() + " is for the design report: give --report DIR", 0), 0u)
        << p.err();
    EXPECT_FALSE(fs::exists(alone.path() / "ravost.out"));
  }
}

// A signal ends any long run within a second: in the synthesis, in the
// report's physical optics, in a sweep and in the optimiser.  Each run is
// signalled once its progress line shows that it has reached the work.

// A design file with the uniform example's geometry; `feed` and `synthesis`
// are the bodies of their sections, `extra` more sections.
std::string design_file(const std::string& feed, const std::string& synthesis, const std::string& extra = "") {
  return "[geometry]\nmain_hole_to_feed = 0.2\nfeed_to_sub_rim = 0.5\nsub_radius = 0.25\n"
         "main_inner_radius = 0.12\n\n[feed]\n" +
         feed + "\n[aperture]\ndistribution = \"uniform\"\n\n[synthesis]\n" + synthesis +
         "\n[scale]\ndiameter = 100.0\n" + extra;
}

const std::string kGaussianFeed = "model = \"gaussian\"\ntaper_db = 10\ntaper_angle_deg = 20\n";
const std::string kBeamwidthFeed = "beamwidth_deg = 40.0\nlevel_db = -10.0\n";

// Sends `number` and waits for the end: the exit status, and the seconds
// from the signal to the end in `seconds`.
int stop_with(Program& p, int number, double& seconds) {
  const auto sent = std::chrono::steady_clock::now();
  p.signal(number);
  const int status = p.finish();
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
  return status;
}

// A synthesis of one row of 8.8 million steps (seconds in 64-bit reals):
// signalled once the run is at work in the synthesis, it ends within a
// second, not at the row's end, and the listing holds no ray table.
TEST(Interrupt, ASignalWithinALongRowOfTheSynthesisEndsTheRunWithinASecond) {
  const std::pair<int, int> signals[] = {{SIGTERM, 143}, {SIGINT, 130}};
  for (const auto& [number, wanted] : signals) {
    TempDir dir;
    write_file(dir.path() / "long.toml",
               design_file(kBeamwidthFeed, "calc_interval = 1e-7\noutput_interval = 0.88\nprecision = \"64-bit\"\n"));
    Program p(dir, {"long.toml"}, Console::terminal_with_errors);
    // Half a second of work: the design is made and the synthesis begun.
    ASSERT_TRUE(p.wait_for_work(0.5)) << p.screen();
    double seconds = 0;
    EXPECT_EQ(stop_with(p, number, seconds), wanted) << p.screen();
    EXPECT_LT(seconds, 1.0);
    expect_interrupted(dir, p.screen(), number == SIGINT ? "interrupted (Ctrl-C)" : "terminated (signal 15)");
    EXPECT_EQ(read_file(dir.path() / "ravost.out").find("Path length"), std::string::npos);
  }
}

// The physical optics of a design 1000 wavelengths across takes many
// seconds; a signal once the report is under way ends the run within one,
// and leaves no part of the report behind.
TEST(Interrupt, ASignalDuringThePhysicalOpticsEndsTheRunWithinASecond) {
  TempDir dir;
  write_file(dir.path() / "po.toml",
             design_file(kBeamwidthFeed, "calc_interval = 0.001\noutput_interval = 0.02\n",
                         "\n[report]\nfolder = \"r\"\nwavelength = 0.03\nphysical_optics = true\n"));
  // D/lambda 3333: the physical optics takes many seconds, so the signal
  // finds it at work.
  Program p(dir, {"po.toml"}, Console::terminal_with_errors);
  // The report's progress counts the geometrical optics' 6 steps, then the
  // physical optics' 100: past 6 the physical optics is at work.
  const std::regex in_physical_optics("Report: ([7-9]|[1-9][0-9]+)/106 steps");
  ASSERT_TRUE(p.wait_until([&](const std::string& screen) { return std::regex_search(screen, in_physical_optics); }))
      << p.screen();
  double seconds = 0;
  EXPECT_EQ(stop_with(p, SIGTERM, seconds), 143) << p.screen();
  EXPECT_LT(seconds, 1.0);
  EXPECT_FALSE(fs::exists(dir.path() / "r"));
  EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
}

// A sweep signalled once designs are done (its progress line counts them)
// writes the rows done, marked incomplete, and ends with 143.
TEST(Interrupt, AnInterruptedSweepWritesTheRowsItDidAndEndsWithinASecond) {
  TempDir dir;
  write_file(dir.path() / "d.toml", design_file(kBeamwidthFeed, "calc_interval = 0.005\noutput_interval = 0.02\n"));
  Program p(dir, {"sweep", "d.toml", "--vary", "geometry.sub_radius=0.2:0.3:4000", "--out", "s"},
            Console::terminal_with_errors);
  ASSERT_TRUE(p.wait_for(" designs/s")) << p.screen();
  double seconds = 0;
  EXPECT_EQ(stop_with(p, SIGTERM, seconds), 143) << p.screen();
  EXPECT_LT(seconds, 1.0);
  const nlohmann::json j = nlohmann::json::parse(read_file(dir.path() / "s" / "sweep.json"));
  EXPECT_FALSE(j.at("complete").get<bool>());
  EXPECT_GT(j.at("rows").size(), 0u);
  EXPECT_LT(j.at("rows").size(), 4000u);
  for (const nlohmann::json& row : j.at("rows")) EXPECT_EQ(row.at("status"), "ok") << row.dump();
  EXPECT_NE(p.screen().find("the sweep was interrupted"), std::string::npos) << p.screen();
  EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
}

// The optimiser on a Gaussian feed whose designs take seconds each (8.8
// million steps): signalled within its second design, it ends within a
// second with the designs tried before written, and none of them failed.
TEST(Interrupt, AnInterruptedOptimisationOfAGaussianFeedEndsWithinASecond) {
  const std::pair<int, int> signals[] = {{SIGTERM, 143}, {SIGINT, 130}};
  for (const auto& [number, wanted] : signals) {
    TempDir dir;
    write_file(dir.path() / "g.toml", design_file(kGaussianFeed, "calc_interval = 1e-7\noutput_interval = 0.02\n"
                                                                 "precision = \"64-bit\"\n"));
    Program p(dir,
              {"optimize", "g.toml", "--free", "geometry.sub_radius=0.2:0.3", "--maximize", "directivity_dbi",
               "--starts", "1", "--evaluations", "1000", "--out", "o"},
              Console::terminal_with_errors);
    ASSERT_TRUE(p.wait_for("Optimisation: 1 designs")) << p.screen();
    double seconds = 0;
    EXPECT_EQ(stop_with(p, number, seconds), wanted) << p.screen();
    EXPECT_LT(seconds, 1.0);
    EXPECT_NE(p.screen().find("the optimisation was interrupted"), std::string::npos) << p.screen();
    const std::string history = read_file(dir.path() / "o" / "history.csv");
    EXPECT_NE(history.find('\n'), std::string::npos);
    EXPECT_EQ(history.find("failed"), std::string::npos) << history;
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
  }
}

}  // namespace
