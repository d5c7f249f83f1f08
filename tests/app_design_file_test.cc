// Design files run as a user runs them: the bundled examples against their
// answer files, byte for byte; an answer file converted with --to-toml and
// run again; a file with problems, which writes nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "tests/test_util.h"

namespace {

namespace fs = std::filesystem;
using testutil::read_file;
using testutil::TempDir;

using Exit = testutil::ProgramExit;

Exit ravost(const fs::path& dir, const std::string& args) { return testutil::run_program(dir, args); }

// Every file a run left in `dir` except its input, by name.
std::map<std::string, std::string> files_of(const fs::path& dir, const std::string& input) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name != input) files[name] = read_file(entry.path());
  }
  return files;
}

fs::path example(const std::string& name) { return fs::path(RAVOST_SOURCE_DIR) / "examples" / name; }

class ExampleDesignFile : public testing::TestWithParam<std::string> {};

TEST_P(ExampleDesignFile, WritesTheBytesOfItsAnswerFileAndSoDoesItsConversion) {
  const std::string name = GetParam();
  TempDir by_answers, by_design, by_conversion;
  fs::copy_file(example(name + ".ans"), by_answers.path() / "in.ans");
  fs::copy_file(example(name + ".toml"), by_design.path() / "in.toml");
  fs::copy_file(example(name + ".ans"), by_conversion.path() / "in.ans");

  ASSERT_EQ(ravost(by_answers.path(), "in.ans").status, 0);
  const Exit design = ravost(by_design.path(), "in.toml");
  ASSERT_EQ(design.status, 0) << design.err;
  EXPECT_EQ(design.err, "");
  const Exit converted = ravost(by_conversion.path(), "--to-toml in.ans");
  ASSERT_EQ(converted.status, 0) << converted.err;
  // The conversion computes the design but writes no file of its own.
  EXPECT_EQ(files_of(by_conversion.path(), "in.ans").size(), 0u);
  fs::remove(by_conversion.path() / "in.ans");
  testutil::write_file(by_conversion.path() / "in.toml", converted.out);
  ASSERT_EQ(ravost(by_conversion.path(), "in.toml").status, 0);

  const auto expected = files_of(by_answers.path(), "in.ans");
  EXPECT_EQ(expected.size(), 6u);  // the listing, the figure, two surface and two object files
  EXPECT_EQ(files_of(by_design.path(), "in.toml"), expected);
  EXPECT_EQ(files_of(by_conversion.path(), "in.toml"), expected);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleDesignFile,
                         testing::Values("uniform", "gaussian", "taylor"));

TEST(DesignFileRun, AFileWithProblemsWritesNothingAndNamesEachLine) {
  const std::string good = read_file(example("uniform.toml"));
  const auto with = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
  };
  const std::pair<std::string, std::string> cases[] = {
      {with("sub_radius = 0.25", "sub_radius = -0.25"),
       "Error in bad.toml, line 24: geometry.sub_radius: the radius of the subreflector must be "
       "greater than 0.\n"},
      {with("level_db = -10.0", "levl_db = -10.0"),
       "Error in bad.toml, line 29: feed.level_db: the key is missing.\n"
       "Error in bad.toml, line 31: feed.levl_db: unknown key; did you mean feed.level_db?\n"}};
  for (const auto& [text, report] : cases) {
    TempDir dir;
    testutil::write_file(dir.path() / "bad.toml", text);
    const Exit e = ravost(dir.path(), "bad.toml");
    EXPECT_EQ(e.status, 1);
    EXPECT_EQ(e.out, "");
    EXPECT_EQ(e.err, report);
    EXPECT_EQ(files_of(dir.path(), "bad.toml").size(), 0u);
  }
}

TEST(DesignFileRun, DoubleOnTheCommandLineChecksAndRunsThe64BitDesign) {
  TempDir narrow, wide;
  fs::copy_file(example("uniform.toml"), narrow.path() / "in.toml");
  fs::copy_file(example("uniform.toml"), wide.path() / "in.toml");
  ASSERT_EQ(ravost(narrow.path(), "in.toml").status, 0);
  ASSERT_EQ(ravost(wide.path(), "--double in.toml").status, 0);
  // Same layouts, different last digits somewhere in the listing.
  const std::string a = read_file(narrow.path() / "ravost.out");
  const std::string b = read_file(wide.path() / "ravost.out");
  EXPECT_EQ(a.size(), b.size());
  EXPECT_NE(a, b);
}

TEST(DesignFileRun, AnOutputMayNotTakeTheDesignFilesName) {
  TempDir dir;
  std::string text = read_file(example("uniform.toml"));
  const std::size_t at = text.find("file = \"uniform.plt\"");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 20, "file = \"in.toml\"");
  testutil::write_file(dir.path() / "in.toml", text);
  const Exit e = ravost(dir.path(), "in.toml");
  EXPECT_EQ(e.status, 1);
  EXPECT_NE(e.err.find("in.toml"), std::string::npos) << e.err;
  EXPECT_EQ(read_file(dir.path() / "in.toml"), text);
}

}  // namespace
