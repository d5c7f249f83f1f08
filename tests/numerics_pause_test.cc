#include <unistd.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "numerics/pause.h"

namespace {

using numerics::pause_at_console;

constexpr const char* kMessage = "failure in polint";

struct Console {
  std::istringstream in;
  std::ostringstream out;
  std::vector<std::string> commands;
  numerics::CommandRunner runner() {
    return [this](const std::string& c) { commands.push_back(c); };
  }
};

TEST(PauseAtConsole, NotInteractiveWritesTheMessageAndReadsNothing) {
  Console c;
  c.in.str("rm -rf somewhere\n\n");
  pause_at_console(kMessage, c.in, c.out, false, c.runner());
  EXPECT_EQ(c.out.str(), "failure in polint\n");
  EXPECT_TRUE(c.commands.empty());
  EXPECT_EQ(c.in.tellg(), 0);
}

TEST(PauseAtConsole, InteractiveRunsEachLineUntilAnEmptyOneAndRepeatsTheMessage) {
  Console c;
  c.in.str("ls -l\ndate\n\nafter the pause\n");
  pause_at_console(kMessage, c.in, c.out, true, c.runner());
  EXPECT_EQ(c.commands, (std::vector<std::string>{"ls -l", "date"}));
  EXPECT_EQ(c.out.str(), "failure in polint\nfailure in polint\nfailure in polint\n");
  std::string rest;
  std::getline(c.in, rest);
  EXPECT_EQ(rest, "after the pause");
}

TEST(PauseAtConsole, EndOfInputEndsThePause) {
  Console c;
  c.in.str("date");
  pause_at_console(kMessage, c.in, c.out, true, c.runner());
  EXPECT_EQ(c.commands, (std::vector<std::string>{"date"}));
  EXPECT_EQ(c.out.str(), "failure in polint\nfailure in polint\n");
}

TEST(Pause, GoesToTheInstalledHandler) {
  std::vector<std::string> seen;
  numerics::set_pause_handler([&seen](std::string_view m) { seen.emplace_back(m); });
  numerics::pause("bad xa input in splint");
  numerics::set_pause_handler({});
  EXPECT_EQ(seen, (std::vector<std::string>{"bad xa input in splint"}));
}

TEST(Pause, DefaultReturnsAtOnceWithoutReadingWhenInputIsAPipe) {
  // Standard input becomes a pipe holding a command line; the default pause
  // must write its message to standard output and leave the line unread.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::string pending = "true\n";  // harmless, should it ever run
  ASSERT_EQ(::write(fds[1], pending.data(), pending.size()),
            static_cast<ssize_t>(pending.size()));
  ::close(fds[1]);
  const int saved_stdin = ::dup(STDIN_FILENO);
  ASSERT_GE(saved_stdin, 0);
  ASSERT_EQ(::dup2(fds[0], STDIN_FILENO), STDIN_FILENO);

  std::ostringstream captured;
  std::streambuf* saved_cout = std::cout.rdbuf(captured.rdbuf());
  numerics::set_pause_handler({});
  numerics::pause("bad xa input in splint");
  std::cout.rdbuf(saved_cout);

  char buffer[64] = {};
  const ssize_t got = ::read(fds[0], buffer, sizeof buffer);
  ::dup2(saved_stdin, STDIN_FILENO);
  ::close(saved_stdin);
  ::close(fds[0]);
  EXPECT_EQ(captured.str(), "bad xa input in splint\n");
  EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0), pending);
}

}  // namespace
