// The sample feed patterns shipped with the examples: each horn's table and
// its pattern cuts are the same feed, the example design shaped for one runs
// through the program, and the feeds are where the install puts them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "feedfile/feed_file.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(RAVOST_SOURCE_DIR) / "examples";

// A path as one shell word.
std::string quoted(const fs::path& p) {
  std::string word(1, '\'');
  word.append(p.string()).push_back('\'');
  return word;
}

design::FeedTable read(const std::string& name) {
  feedfile::ReadResult r = feedfile::read(kExamples / "feeds" / name, name);
  if (!r.table) {
    ADD_FAILURE() << name << ": " << (r.error ? diag::render(*r.error) : std::string("no table"));
    return {};
  }
  return *r.table;
}

// A horn's table (E and H planes in dB) and its cuts (complex components of
// three planes) give the same power averaged over phi at every angle: the
// two files hold one feed.
TEST(SampleFeeds, EachHornsTableAndCutsAreTheSameFeed) {
  for (const char* horn : {"corrugated_horn", "conical_horn"}) {
    const design::FeedTable table = read(std::string(horn) + ".csv");
    const design::FeedTable cuts = read(std::string(horn) + ".cut");
    ASSERT_EQ(table.theta_deg.size(), 361u) << horn;
    ASSERT_EQ(cuts.theta_deg.size(), table.theta_deg.size()) << horn;
    int compared = 0;
    for (std::size_t i = 0; i < table.theta_deg.size(); ++i) {
      EXPECT_DOUBLE_EQ(cuts.theta_deg[i], table.theta_deg[i]) << horn;
      // The table rounds its levels to 1e-4 dB; below -100 dB the level of
      // a null says nothing.
      const double level = 10 * std::log10(table.power[i]);
      if (level < -100) continue;
      EXPECT_NEAR(10 * std::log10(cuts.power[i]), level, 1e-3) << horn << " at " << table.theta_deg[i];
      ++compared;
    }
    EXPECT_GT(compared, 300) << horn;
    // 10 dB down 20 degrees off the axis, as the example's beamwidth.
    EXPECT_NEAR(10 * std::log10(table.power[40]), -10.0, 1e-3) << horn;
  }
}

// The example design shaped for the corrugated horn runs from any folder
// (its feed file is found beside it) and its report draws the horn's planes.
TEST(SampleFeeds, TheExampleDesignShapedForTheCorrugatedHornRuns) {
  testutil::TempDir dir;
  const testutil::ProgramExit run = testutil::run_program(dir.path(), quoted(kExamples / "corrugated.toml"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_NE(testutil::read_file(dir.path() / "ravost.out").find("corrugated_horn.csv"), std::string::npos);
  const std::string feed = testutil::read_file(dir.path() / "corrugated_report" / "feed.svg");
  EXPECT_NE(feed.find("E plane (table)"), std::string::npos);
  for (const char* f : {"corrugated.plt", "corrugated_main.rsf", "corrugated_sub.rsf"})
    EXPECT_TRUE(fs::exists(dir.path() / f)) << f;
}

}  // namespace
