// Inputs refused where they are given rather than late: every feed-model
// parameter at its boundary, a feed file that is missing or of the other
// model, the keys of another model, a design file given to --to-toml, a
// misspelt key of a sweep or an optimisation, a yes/no answer that is
// neither; and the feed file's name --to-toml writes, which must lead to
// the file from the design file's folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "design/choices.h"
#include "designfile/design_file.h"
#include "diag/suggest.h"
#include "dialog/dialog.h"
#include "dialog/driver.h"
#include "run/messages.h"
#include "sweep/sweep.h"
#include "tests/test_util.h"

namespace {

namespace fs = std::filesystem;
using design::Input;
using Fault = design::Problem::Fault;
using testutil::read_file;
using testutil::TempDir;
using testutil::write_file;

fs::path feeds() { return fs::path(RAVOST_SOURCE_DIR) / "tests" / "data" / "feeds"; }

// ---- The feed models' parameters, each at its boundary. ----

// The problems of the example design with one feed changed.
std::vector<design::Problem> problems_with(const design::FeedSpec& feed) {
  design::DesignSpec s = testutil::example_choices();
  s.feed = feed;
  return design::validate(s);
}

design::FeedSpec beamwidth(double width, double level) { return {width, level}; }

design::FeedSpec gaussian(double taper, double angle) {
  design::FeedSpec f;
  f.model = design::FeedModelKind::gaussian;
  f.taper_db = taper;
  f.taper_angle_deg = angle;
  return f;
}

TEST(FeedParameters, ALevelOf0DbIsRefusedAtItsKeyAndLevelsEitherSideAreTaken) {
  for (const design::Precision p : {design::Precision::single, design::Precision::double_}) {
    design::DesignSpec s = testutil::example_choices();
    s.precision = p;
    s.feed = beamwidth(40, 0);
    const auto found = design::validate(s);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].fault, Fault::level_zero);
    EXPECT_EQ(design::key_of(found[0]), "feed.level_db");
    EXPECT_NE(run::sentence(found[0]).find("must not be 0 dB"), std::string::npos);
    // The sign of the level is ignored: a small level either side is a
    // pattern (nearly isotropic, but falling).
    for (const double level : {-1e-3, 1e-3}) {
      s.feed = beamwidth(40, level);
      EXPECT_TRUE(design::validate(s).empty()) << level;
    }
  }
  // A level so small that the exponent rounds to 0 in 32-bit reals is no
  // pattern either, and says so with its value.
  design::DesignSpec s = testutil::example_choices();
  s.feed = beamwidth(359.9, 1e-44);
  const auto found = design::validate(s);
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(found[0].fault, Fault::level_zero);
  EXPECT_NE(run::sentence(found[0]).find("too close to 0 dB"), std::string::npos);
}

TEST(FeedParameters, TheBeamwidthLiesStrictlyBetween0And360Degrees) {
  struct Case {
    double width;
    bool taken;
  };
  for (const Case c : {Case{0, false}, Case{1e-3, false} /* no power at the rim */, Case{-40, true},
                       Case{359.99, true}, Case{360, false}, Case{360.01, false}}) {
    const auto found = problems_with(beamwidth(c.width, -10));
    EXPECT_EQ(found.empty(), c.taken) << c.width;
    if (!found.empty()) {
      EXPECT_EQ(design::key_of(found[0]), "feed.beamwidth_deg") << c.width;
    }
  }
}

TEST(FeedParameters, TheGaussianFeedNeedsATaperOtherThan0AndAPositiveAngle) {
  struct Case {
    double taper, angle;
    const char* key;  // nullptr: taken
  };
  for (const Case c : {Case{0, 20, "feed.taper_db"}, Case{1e-3, 20, nullptr}, Case{-1e-3, 20, nullptr},
                       Case{10, 0, "feed.taper_angle_deg"}, Case{10, -1e-3, "feed.taper_angle_deg"},
                       Case{10, 1e-3, "feed.taper_angle_deg"} /* no power at the rim */,
                       Case{10, 20, nullptr}}) {
    const auto found = problems_with(gaussian(c.taper, c.angle));
    if (c.key == nullptr) {
      EXPECT_TRUE(found.empty()) << c.taper << " " << c.angle << ": " << run::sentence(found.at(0));
    } else {
      ASSERT_FALSE(found.empty()) << c.taper << " " << c.angle;
      EXPECT_EQ(design::key_of(found[0]), c.key);
    }
  }
}

// ---- The [feed] section of a design file. ----

// A design file whose [feed] section (from line 6) holds these lines.
std::string design_with_feed(const std::vector<std::string>& feed) {
  std::string text =
      "[geometry]\nmain_hole_to_feed = 0.2\nfeed_to_sub_rim = 0.5\nsub_radius = 0.25\n"
      "main_inner_radius = 0.12\n[feed]\n";
  for (const std::string& line : feed) text += line + "\n";
  return text +
         "[aperture]\ndistribution = \"uniform\"\n[synthesis]\ncalc_interval = 0.001\n"
         "output_interval = 0.02\n[scale]\ndiameter = 100.0\n";
}

designfile::ReadResult read_feed(const std::vector<std::string>& feed) {
  return designfile::parse(design_with_feed(feed), "d.toml", feeds());
}

// Every error line of a result.
std::string errors_of(const designfile::ReadResult& r) { return diag::render(r.errors); }

TEST(DesignFileFeed, EachModelTakesItsOwnKeys) {
  designfile::ReadResult r = read_feed({"beamwidth_deg = 40", "level_db = -10"});
  ASSERT_TRUE(r.file) << errors_of(r);
  EXPECT_EQ(r.file->choices.feed.model, design::FeedModelKind::beamwidth);
  EXPECT_EQ(r.file->choices.feed.beamwidth_deg, 40.0);
  EXPECT_EQ(r.file->choices.feed.level_db, -10.0);

  r = read_feed({"model = \"gaussian\"", "taper_db = 12", "taper_angle_deg = 20"});
  ASSERT_TRUE(r.file) << errors_of(r);
  EXPECT_EQ(r.file->choices.feed.model, design::FeedModelKind::gaussian);
  EXPECT_EQ(r.file->choices.feed.taper_db, 12.0);
  EXPECT_EQ(r.file->choices.feed.taper_angle_deg, 20.0);

  r = read_feed({"model = \"table\"", "file = \"conical_horn.csv\""});
  ASSERT_TRUE(r.file) << errors_of(r);
  EXPECT_EQ(r.file->choices.feed.model, design::FeedModelKind::table);
  ASSERT_TRUE(r.file->choices.feed.table);
  EXPECT_EQ(r.file->choices.feed.table->theta_deg.front(), 0.0);
  EXPECT_EQ(r.file->choices.feed.file, "conical_horn.csv");

  r = read_feed({"model = \"cut\"", "file = \"conical_horn.cut\""});
  ASSERT_TRUE(r.file) << errors_of(r);
  EXPECT_EQ(r.file->choices.feed.model, design::FeedModelKind::cut);
  ASSERT_TRUE(r.file->choices.feed.table);
}

TEST(DesignFileFeed, AFileOfTheOtherModelIsRefusedAtFeedFile) {
  designfile::ReadResult r = read_feed({"model = \"table\"", "file = \"conical_horn.cut\""});
  EXPECT_FALSE(r.file);
  EXPECT_EQ(errors_of(r),
            "Error in d.toml, line 8: feed.file: the file \"conical_horn.cut\" holds pattern cuts; its model is "
            "\"cut\".");
  r = read_feed({"model = \"cut\"", "", "file = \"corrugated_horn.csv\""});
  EXPECT_FALSE(r.file);
  EXPECT_EQ(errors_of(r),
            "Error in d.toml, line 9: feed.file: the file \"corrugated_horn.csv\" holds a table; its model is "
            "\"table\".");
}

TEST(DesignFileFeed, KeysOfAnotherModelAreRefusedAtTheirLines) {
  designfile::ReadResult r =
      read_feed({"model = \"gaussian\"", "taper_db = 12", "taper_angle_deg = 20", "level_db = -10"});
  EXPECT_FALSE(r.file);
  EXPECT_EQ(errors_of(r),
            "Error in d.toml, line 10: feed.level_db: only the \"beamwidth\" model takes this key; the feed's "
            "model is \"gaussian\".");
  r = read_feed({"beamwidth_deg = 40", "level_db = -10", "file = \"conical_horn.csv\"", "taper_db = 3"});
  EXPECT_FALSE(r.file);
  EXPECT_EQ(errors_of(r),
            "Error in d.toml, line 9: feed.file: only the \"table\" and \"cut\" models take this key; the feed's "
            "model is \"beamwidth\".\n"
            "Error in d.toml, line 10: feed.taper_db: only the \"gaussian\" model takes this key; the feed's "
            "model is \"beamwidth\".");
  // A model's own key that is missing says what the model needs.
  r = read_feed({"model = \"gaussian\"", "taper_db = 12"});
  EXPECT_FALSE(r.file);
  EXPECT_EQ(errors_of(r),
            "Error in d.toml, line 6: feed.taper_angle_deg: the key is missing: a Gaussian feed needs its taper "
            "and the angle of it.");
}

TEST(DesignFileFeed, AFeedFileThatCannotBeReadIsAProblemOfFeedFileAtItsLine) {
  designfile::ReadResult r = read_feed({"model = \"table\"", "file = \"no_such.csv\""});
  EXPECT_FALSE(r.file);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].key, "feed.file");
  EXPECT_EQ(r.errors[0].line, 8);
  EXPECT_EQ(diag::render(r.errors[0]),
            "Error in d.toml, line 8: feed.file: the feed file \"" + (feeds() / "no_such.csv").string() +
                "\" does not exist or cannot be read.");
  // A fault inside the feed file keeps the feed file's own line.
  TempDir dir;
  write_file(dir.path() / "bad.csv", "theta_deg,power_db\n0,0\n10,x\n");
  r = designfile::parse(design_with_feed({"model = \"table\"", "file = \"bad.csv\""}), "d.toml", dir.path());
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].file, (dir.path() / "bad.csv").string());
  EXPECT_EQ(r.errors[0].line, 3);
}

// ---- Through the program. ----

using Exit = testutil::ProgramExit;
Exit ravost(const TempDir& dir, const std::string& args) { return testutil::run_program(dir.path(), args); }

// The files in a folder, by name.
std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ProgramRefuses, ALevelOf0DbBeforeAnythingIsWrittenAndTakesOneStepEitherSide) {
  TempDir dir;
  const auto with_level = [](const std::string& level) {
    return design_with_feed({"beamwidth_deg = 40", "level_db = " + level}) + "[report]\nfolder = \"rep\"\n";
  };
  write_file(dir.path() / "d.toml", with_level("0"));
  Exit e = ravost(dir, "d.toml");
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.err,
            "Error in d.toml, line 8: feed.level_db: the level must not be 0 dB: a beamwidth at the peak's own "
            "level defines no feed pattern; give the level below the peak at which the beamwidth is measured "
            "(e.g. -10).\n");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"d.toml"});
  for (const char* level : {"-0.001", "0.001"}) {
    write_file(dir.path() / "d.toml", with_level(level));
    e = ravost(dir, "d.toml");
    EXPECT_EQ(e.status, 0) << level << "\n" << e.err;
    EXPECT_TRUE(fs::exists(dir.path() / "rep" / "report.json")) << level;
    fs::remove_all(dir.path() / "rep");
  }
}

// The example's answers with the feed's level changed and no outputs.
std::string answers_with_level(const std::string& level) {
  return "0.2\n0.5\n0.25\n0.12\n40, " + level + "\n1\n0.001\n0.02\nn\n100\nn\nn\nn\nn\nn\nn\nn\n";
}

TEST(ProgramRefuses, ALevelOf0DbInAnAnswerFileOnlyWhenTheRunEndsWithAReport) {
  TempDir dir;
  write_file(dir.path() / "a.ans", answers_with_level("0"));
  // The dialog has always designed for an isotropic feed here.
  Exit e = ravost(dir, "a.ans");
  EXPECT_EQ(e.status, 0) << e.err;
  EXPECT_EQ(e.err, "");
  e = ravost(dir, "--report rep a.ans");
  EXPECT_EQ(e.status, 1);
  EXPECT_NE(e.err.find("Error in a.ans, line 5: the level must not be 0 dB"), std::string::npos) << e.err;
  EXPECT_FALSE(fs::exists(dir.path() / "rep" / "report.json"));
  write_file(dir.path() / "a.ans", answers_with_level("-0.001"));
  e = ravost(dir, "--report rep a.ans");
  EXPECT_EQ(e.status, 0) << e.err;
  EXPECT_TRUE(fs::exists(dir.path() / "rep" / "report.json"));
}

TEST(ProgramRefuses, AMissingFeedFileAtItsDesignFileLine) {
  TempDir dir;
  write_file(dir.path() / "d.toml", design_with_feed({"model = \"table\"", "file = \"horn.csv\""}));
  const Exit e = ravost(dir, "d.toml");
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.err, "Error in d.toml, line 8: feed.file: the feed file \"horn.csv\" does not exist or cannot be read.\n");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"d.toml"});
}

TEST(ProgramRefuses, ADesignFileGivenToToToml) {
  TempDir dir;
  write_file(dir.path() / "d.toml", design_with_feed({"beamwidth_deg = 40", "level_db = -10"}));
  const Exit e = ravost(dir, "--to-toml d.toml");
  EXPECT_EQ(e.status, 2);
  EXPECT_EQ(e.err, "Error: \"d.toml\" is already a design file; --to-toml turns an answer file into one.\n");
  EXPECT_EQ(e.out, "");
  // An answer file is still converted.
  write_file(dir.path() / "a.ans", answers_with_level("-10"));
  EXPECT_EQ(ravost(dir, "--to-toml a.ans").status, 0);
}

TEST(ProgramRefuses, AMisspeltKeyOfASweepOrAnOptimisationWithTheNearestKey) {
  TempDir dir;
  write_file(dir.path() / "d.toml", design_with_feed({"beamwidth_deg = 40", "level_db = -10"}));
  Exit e = ravost(dir, "sweep d.toml --vary geometry.sub_radus=0.2:0.3:3 --out o");
  EXPECT_EQ(e.status, 2);
  EXPECT_TRUE(e.err.starts_with(
      "Error: the design file d.toml has no key geometry.sub_radus; did you mean geometry.sub_radius?\n"))
      << e.err;
  e = ravost(dir, "optimize d.toml --free feed.levl_db=-12:-8 --maximize directivity_dbi --out o");
  EXPECT_EQ(e.status, 2);
  EXPECT_TRUE(e.err.starts_with("Error: the design file d.toml has no key feed.levl_db; did you mean feed.level_db?\n"))
      << e.err;
  // Nothing near: no guess.
  e = ravost(dir, "sweep d.toml --vary colour=1:2:2 --out o");
  EXPECT_EQ(e.status, 2);
  EXPECT_TRUE(e.err.starts_with("Error: the design file d.toml has no key colour.\n")) << e.err;
  EXPECT_FALSE(fs::exists(dir.path() / "o"));
}

TEST(Suggestion, AllowsMoreEditsForLongerNames) {
  const std::vector<std::string_view> known = {"nbar", "taper_db", "geometry.sub_radius"};
  // Up to 4 characters one edit, up to 8 two, beyond three.
  EXPECT_EQ(diag::closest("nbr", known), "nbar");
  EXPECT_EQ(diag::closest("nb", known), std::nullopt);
  EXPECT_EQ(diag::closest("tapr_d", known), "taper_db");
  EXPECT_EQ(diag::closest("tap_d", known), std::nullopt);
  EXPECT_EQ(diag::closest("GEOMETRY.SUB_RDS", known), "geometry.sub_radius");
  EXPECT_EQ(diag::closest("geometry.sb_rds", known), std::nullopt);
  EXPECT_EQ(diag::edit_distance("level_bd", "level_db"), 1u);  // a swap of neighbours
}

// --to-toml --feed FILE into a design file elsewhere: the name written leads
// from the design file's folder to the feed file.
TEST(ToToml, NamesTheFeedFileFromTheDesignFilesFolder) {
  TempDir dir;
  fs::create_directories(dir.path() / "feeds");
  fs::create_directories(dir.path() / "designs");
  fs::copy_file(feeds() / "conical_horn.csv", dir.path() / "feeds" / "horn.csv");
  // The answers without the beamwidth question.
  write_file(dir.path() / "a.ans", "0.2\n0.5\n0.25\n0.12\n1\n0.001\n0.02\nn\n100\nn\nn\nn\nn\nn\nn\nn\n");
  const auto shell = [&](const std::string& command) {
    const std::string line = "cd '" + dir.path().string() + "' && (" + command + ") </dev/null 2>err";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  const std::string bin = "'" RAVOST_BINARY "'";
  ASSERT_EQ(shell(bin + " --feed feeds/horn.csv --to-toml a.ans > designs/d.toml"), 0)
      << read_file(dir.path() / "err");
  const std::string text = read_file(dir.path() / "designs" / "d.toml");
  EXPECT_NE(text.find("file = \"../feeds/horn.csv\""), std::string::npos) << text;
  // Beside the feed's folder the name is as given; through a pipe the folder
  // is not known, and the name is absolute.
  ASSERT_EQ(shell(bin + " --feed ./feeds/horn.csv --to-toml a.ans > here.toml"), 0);
  EXPECT_NE(read_file(dir.path() / "here.toml").find("file = \"feeds/horn.csv\""), std::string::npos);
  ASSERT_EQ(shell(bin + " --feed feeds/horn.csv --to-toml a.ans | cat > designs/piped.toml"), 0);
  const std::string absolute = (fs::absolute(dir.path()) / "feeds" / "horn.csv").lexically_normal().string();
  EXPECT_NE(read_file(dir.path() / "designs" / "piped.toml").find("file = \"" + absolute + "\""), std::string::npos);
  // Each design file runs, from any folder.
  for (const char* file : {"designs/d.toml", "designs/piped.toml", "here.toml"}) {
    EXPECT_EQ(shell(bin + " " + file + " >/dev/null"), 0) << file << ": " << read_file(dir.path() / "err");
  }
}

// ---- Yes/no answers. ----

TEST(YesNo, AtATerminalAnAnswerThatIsNeitherIsAskedAgainWithItsReason) {
  std::istringstream in("abc\n1200\n\n");
  std::ostringstream out, err;
  dialog::Dialog d(in, out, err, true);
  d.record_console();
  // An empty answer is no, as it always was.
  EXPECT_FALSE(d.ask_yes(" Plot? "));
  EXPECT_EQ(out.str(), " Plot?  Plot?  Plot? ");
  EXPECT_EQ(err.str(),
            " \"abc\" is neither yes nor no; answer y or n.\n"
            " \"1200\" is neither yes nor no; answer y or n.\n");
  // The answers kept for ravost.ans are those taken.
  EXPECT_EQ(d.typed_answers(), std::vector<std::string>{""});
  for (const char* answer : {"y", "n", "Yes please", "nope"}) {
    std::istringstream one(std::string(answer) + "\n");
    std::ostringstream o, e;
    dialog::Dialog t(one, o, e, true);
    EXPECT_EQ(t.ask_yes(" Plot? "), answer[0] == 'y' || answer[0] == 'Y') << answer;
    EXPECT_EQ(e.str(), "") << answer;
  }
}

TEST(YesNo, FromAnAnswerFileOrAPipeAnythingElseIsStillNo) {
  std::istringstream file("abc\n1200\n");
  std::istringstream none;
  std::ostringstream out, err;
  dialog::Dialog d(none, out, err, true);
  d.use_answer_file(file, "a.ans");
  EXPECT_FALSE(d.ask_yes(" Plot? "));
  EXPECT_FALSE(d.ask_yes(" List? "));
  EXPECT_EQ(err.str(), "");
  std::istringstream piped("abc\n");
  std::ostringstream o, e;
  dialog::Dialog p(piped, o, e, false);
  EXPECT_FALSE(p.ask_yes(" Plot? "));
  EXPECT_EQ(e.str(), "");
}

TEST(YesNo, AWholeDialogAtATerminalGoesOnAfterTheAnswerAskedAgain) {
  TempDir dir;
  std::istringstream in("n\n0.2\n0.5\n0.25\n0.12\n40, -10\n1\n0.001\n0.02\nabc\nn\n100\nn\nn\nn\nn\nn\nn\nn\n");
  std::ostringstream out, err;
  dialog::Chosen chosen;
  const int status = dialog::run(in, out, err, dir.path(), true, {}, &chosen);
  EXPECT_EQ(status, 0) << err.str();
  EXPECT_EQ(err.str(), " \"abc\" is neither yes nor no; answer y or n.\n");
  EXPECT_TRUE(chosen.complete);
  EXPECT_EQ(std::count(chosen.typed_answers.begin(), chosen.typed_answers.end(), "abc"), 0);
}

// ---- Sweeps. ----

using nlohmann::json;

TEST(SweepRows, ADesignThatFailsItsSelfCheckIsFailedWithItsReason) {
  TempDir dir;
  // The main reflector climbs to the subreflector's height near r = 0.5 and
  // the path length runs away from there.
  write_file(dir.path() / "d.toml",
             "[geometry]\nmain_hole_to_feed = 0.0598\nfeed_to_sub_rim = 0.1268\nsub_radius = 0.1483\n"
             "main_inner_radius = 0.0988\n[feed]\nbeamwidth_deg = 55.37\nlevel_db = -4.47\n"
             "[aperture]\ndistribution = \"gaussian\"\ntaper_db = 3.801\n[synthesis]\ncalc_interval = 0.005\n"
             "output_interval = 0.01\n[scale]\ndiameter = 100.0\n");
  const Exit e = ravost(dir, "sweep d.toml --vary aperture.taper_db=3.801:3.801:1 --out s");
  ASSERT_EQ(e.status, 0) << e.err;
  const json rows = json::parse(read_file(dir.path() / "s" / "sweep.json")).at("rows");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("status"), "failed");
  EXPECT_NE(rows[0].at("reason").get<std::string>().find("path length strays"), std::string::npos) << rows[0];
  EXPECT_TRUE(rows[0].at("figures").at("directivity_dbi").is_null());
}

TEST(SweepAxes, AnAxisOfOneValueTakesNoOtherCount) {
  EXPECT_TRUE(sweep::parse_axis("geometry.sub_radius=0.25:0.25:1").axis);
  const sweep::Parsed two = sweep::parse_axis("geometry.sub_radius=0.25:0.25:2");
  EXPECT_FALSE(two.axis);
  EXPECT_EQ(two.problem, "\"geometry.sub_radius=0.25:0.25:2\": HI must be above LO.");
  EXPECT_TRUE(sweep::parse_axis("geometry.sub_radius=0.25:0.2501:2").axis);
  EXPECT_FALSE(sweep::parse_axis("geometry.sub_radius=0.25:0.2499:2").axis);
}

TEST(SweepMerge, PartsWithTheSameKeyAndCountButOtherRangesAreRefused) {
  TempDir dir;
  const auto part = [&](const std::string& name, double lo, double hi) {
    fs::create_directories(dir.path() / name);
    const std::vector<sweep::Axis> axes = {{"geometry.sub_radius", lo, hi, 2}};
    nlohmann::json j = sweep::sweep_json("d.toml", axes, {}, 2, false, std::nullopt, "directivity_dbi");
    j["design_digest"] = "0123456789abcdef", j["program_version"] = "1.1.0", j["precision"] = "64-bit";
    write_file(dir.path() / name / "sweep.json", j.dump());
    return dir.path() / name;
  };
  const fs::path a = part("a", 0.2, 0.3), same = part("same", 0.2, 0.3), lo = part("lo", 0.21, 0.3),
                 hi = part("hi", 0.2, 0.31);
  EXPECT_EQ(sweep::merge({a, same}).problem, "");
  for (const fs::path& other : {lo, hi}) {
    EXPECT_EQ(sweep::merge({a, other}).problem, (other / "sweep.json").string() + " is a part of another sweep than " +
                                                    (a / "sweep.json").string() + ": they differ in its varied inputs.");
  }
}

}  // namespace
