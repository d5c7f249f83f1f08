// Keys a design file lacks, varied and set: a key added by a sweep gives the
// figures of a file with it written in; --set changes the design of every
// row and the sweep's identity; a key that cannot apply, an unknown key or a
// value of the wrong kind is refused before anything is written; a report
// frequency gives the wavelength c/f in the design's unit.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "designfile/design_file.h"
#include "sweep/sweep.h"
#include "tests/test_util.h"
#include "writers/frequency.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testutil::read_file;
using testutil::TempDir;
using testutil::write_file;
using Exit = testutil::ProgramExit;

Exit ravost(const TempDir& dir, const std::string& args) { return testutil::run_program(dir.path(), args); }

// A uniform design without [report] or a length unit, calc 0.005 for speed.
constexpr const char* kDesign = R"(# the uniform design
[geometry]
main_hole_to_feed = 0.2
feed_to_sub_rim = 0.5
sub_radius = 0.25
main_inner_radius = 0.12

[feed]
beamwidth_deg = 40.0
level_db = -10.0

[aperture]
distribution = "uniform"  # the aperture's power

[synthesis]
calc_interval = 0.005
output_interval = 0.02

[scale]
diameter = 100.0
)";

std::string with_text(std::string text, const std::string& old, const std::string& now) {
  text.replace(text.find(old), old.size(), now);
  return text;
}

json rows_of(const TempDir& dir, const std::string& out) {
  return json::parse(read_file(dir.path() / out / "sweep.json")).at("rows");
}

// The figures of the one design of a sweep of `file` that varies nothing of
// consequence (the subreflector radius at its own value).
json figures_of_file(const TempDir& dir, const std::string& file, const std::string& out) {
  const Exit e = ravost(dir, "sweep " + file + " --vary geometry.sub_radius=0.25:0.3:1 --out " + out);
  EXPECT_EQ(e.status, 0) << e.err;
  const json rows = rows_of(dir, out);
  EXPECT_EQ(rows.size(), 1u);
  return rows.at(0).at("figures");
}

TEST(AbsentKey, AWavelengthWithoutReportGivesTheFiguresOfTheFileWithItWrittenIn) {
  TempDir dir;
  write_file(dir.path() / "d.toml", kDesign);
  const Exit e = ravost(dir, "sweep d.toml --vary report.wavelength=0.5:2:4 --out s");
  ASSERT_EQ(e.status, 0) << e.err;
  const json rows = rows_of(dir, "s");
  ASSERT_EQ(rows.size(), 4u);
  for (const json& row : rows) {
    const double wavelength = row.at("inputs")[0].get<double>();
    SCOPED_TRACE(wavelength);
    ASSERT_EQ(row.at("status"), "ok");
    write_file(dir.path() / "w.toml", std::string(kDesign) + "\n[report]\nfolder = \"r\"\nwavelength = " +
                                          sweep::shortest_real(wavelength) + "\n");
    fs::remove_all(dir.path() / "one");
    EXPECT_EQ(row.at("figures"), figures_of_file(dir, "w.toml", "one"));
  }
  // The aperture's gain is (pi D / lambda)^2 times the efficiency, which the
  // wavelength leaves alone (but for the pattern's sampling, below 1e-8): a
  // wavelength 4 times as long loses 20 log10(4) dB.
  const json& shortest = rows[0].at("figures");
  const json& longest = rows[3].at("figures");
  EXPECT_NEAR(shortest.at("efficiency").get<double>(), longest.at("efficiency").get<double>(), 1e-8);
  EXPECT_NEAR(shortest.at("directivity_dbi").get<double>() - longest.at("directivity_dbi").get<double>(),
              20 * std::log10(4.0), 1e-7);
  EXPECT_NEAR(shortest.at("directivity_dbi").get<double>(),
              10 * std::log10(std::pow(M_PI * 100 / 0.5, 2) * shortest.at("efficiency").get<double>()), 1e-9);
}

TEST(AbsentKey, AFrequencyGivesTheWavelengthCOverFInTheDesignsUnit) {
  TempDir dir;
  write_file(dir.path() / "d.toml", kDesign);
  ASSERT_EQ(ravost(dir, "sweep d.toml --set scale.unit=mm --vary report.frequency_ghz=10:20:2 --out f").status, 0);
  // 299.792458 mm at 1 GHz.
  ASSERT_EQ(ravost(dir, "sweep d.toml --vary report.wavelength=14.9896229:29.9792458:2 --out w").status, 0);
  const json by_frequency = rows_of(dir, "f"), by_wavelength = rows_of(dir, "w");
  ASSERT_EQ(by_frequency.size(), 2u);
  // 10 GHz is the longer wavelength: the rows run in opposite orders.
  for (int i = 0; i < 2; ++i) {
    const json& f = by_frequency[i].at("figures");
    const json& w = by_wavelength[1 - i].at("figures");
    for (const char* k : {"directivity_dbi", "hpbw_deg", "first_null_deg"})
      EXPECT_NEAR(f.at(k).get<double>(), w.at(k).get<double>(), 1e-9 * std::fabs(w.at(k).get<double>())) << k;
  }
}

TEST(AbsentKey, AGaussianTaperWithTheDistributionSetIsTheGaussianDesignFile) {
  TempDir dir;
  write_file(dir.path() / "u.toml", kDesign);
  write_file(dir.path() / "g.toml",
             with_text(kDesign, "distribution = \"uniform\"", "distribution = \"gaussian\"\ntaper_db = 10.0"));
  const std::string vary = " --vary aperture.taper_db=6:14:3";
  ASSERT_EQ(ravost(dir, "sweep u.toml --set aperture.distribution=gaussian" + vary + " --out set").status, 0);
  ASSERT_EQ(ravost(dir, "sweep g.toml" + vary + " --out file").status, 0);
  const json set = rows_of(dir, "set"), file = rows_of(dir, "file");
  ASSERT_EQ(set.size(), 3u);
  EXPECT_EQ(set, file);
  // The taper changes the design: the illumination falls as it grows.
  EXPECT_GT(set[0].at("figures").at("illumination").get<double>(), set[2].at("figures").at("illumination").get<double>());
  EXPECT_EQ(json::parse(read_file(dir.path() / "set" / "sweep.json")).at("set"),
            json::array({"aperture.distribution=gaussian"}));
}

TEST(AbsentKey, AFeedOffsetGivesTheFiguresOfTheFileWithItWrittenIn) {
  TempDir dir;
  write_file(dir.path() / "d.toml", kDesign);
  write_file(dir.path() / "o.toml", with_text(kDesign, "level_db = -10.0", "level_db = -10.0\naxial_offset = 0.0"));
  const std::string vary = " --vary feed.axial_offset=-2:2:3";
  ASSERT_EQ(ravost(dir, "sweep d.toml" + vary + " --out absent").status, 0);
  ASSERT_EQ(ravost(dir, "sweep o.toml" + vary + " --out written").status, 0);
  const json absent = rows_of(dir, "absent");
  EXPECT_EQ(absent, rows_of(dir, "written"));
  // The middle row is the design with its feed in place; the others differ.
  EXPECT_EQ(absent[1].at("figures"), figures_of_file(dir, "d.toml", "plain"));
  EXPECT_NE(absent[0].at("figures").at("directivity_dbi"), absent[1].at("figures").at("directivity_dbi"));
}

// Every refusal: status 2, one line and the usage, no folder.
void expect_refused(const TempDir& dir, const std::string& args, const std::string& line) {
  SCOPED_TRACE(args);
  const Exit e = ravost(dir, args + " --out o");
  EXPECT_EQ(e.status, 2);
  EXPECT_EQ(e.err.substr(0, e.err.find('\n') + 1), "Error: " + line + "\n");
  EXPECT_NE(e.err.find("\nUsage: ravost "), std::string::npos) << e.err;
  EXPECT_FALSE(fs::exists(dir.path() / "o"));
}

TEST(AbsentKey, AKeyThatCannotApplyIsRefusedWithWhatWouldMakeItApply) {
  TempDir dir;
  write_file(dir.path() / "uniform.toml", kDesign);
  const std::string sweep = "sweep uniform.toml ";
  expect_refused(dir, sweep + "--vary aperture.taper_db=5:15:3",
                 "aperture.taper_db does not apply to the uniform distribution of uniform.toml; add --set "
                 "aperture.distribution=gaussian (or parabolic_pedestal).");
  expect_refused(dir, "optimize uniform.toml --maximize directivity_dbi --free aperture.nbar=2:8",
                 "aperture.nbar does not apply to the uniform distribution of uniform.toml; add --set "
                 "aperture.distribution=taylor.");
  expect_refused(dir, sweep + "--vary feed.taper_angle_deg=10:20:2",
                 "feed.taper_angle_deg does not apply to the beamwidth feed model of uniform.toml; add --set "
                 "feed.model=gaussian with that model's other keys.");
  expect_refused(dir, sweep + "--vary report.frequency_ghz=10:12:2",
                 "report.frequency_ghz needs the design's length unit, which uniform.toml does not give; add --set "
                 "scale.unit=mm (or in, ft, m).");
  expect_refused(dir, sweep + "--set report.wavelength=3 --vary report.frequency_ghz=10:12:2 --set scale.unit=m",
                 "report.frequency_ghz cannot vary while uniform.toml gives report.wavelength, which the frequency "
                 "would replace; remove the wavelength from the file.");
  expect_refused(dir, sweep + "--vary listing.main.step=1:2:2",
                 "listing.main.step needs the section [listing.main], which uniform.toml lacks; add it with its "
                 "other keys.");
  expect_refused(dir, sweep + "--vary synthesis.precision=32:64:2",
                 "synthesis.precision is not a number; set it for every design with --set synthesis.precision=VALUE.");
  // Unknown keys are named with the nearest of every key a file may hold.
  expect_refused(dir, sweep + "--vary report.wavelenght=1:2:2",
                 "the design file uniform.toml has no key report.wavelenght; did you mean report.wavelength?");
}

TEST(SetKey, AnUnknownKeyOrAValueOfTheWrongKindIsRefused) {
  TempDir dir;
  write_file(dir.path() / "uniform.toml", kDesign);
  const std::string sweep = "sweep uniform.toml --vary geometry.sub_radius=0.2:0.3:2 ";
  expect_refused(dir, sweep + "--set aperture.distrbution=gaussian",
                 "--set aperture.distrbution=gaussian: a design file has no key aperture.distrbution; did you mean "
                 "aperture.distribution?");
  expect_refused(dir, sweep + "--set aperture.distribution=gausian",
                 "--set aperture.distribution=gausian: the distribution must be \"uniform\", \"gaussian\", "
                 "\"taylor\" or \"parabolic_pedestal\", not \"gausian\".");
  expect_refused(dir, sweep + "--set feed.level_db=low",
                 "--set feed.level_db=low: feed.level_db takes a finite number, not \"low\".");
  expect_refused(dir, sweep + "--set report.physical_optics=yes",
                 "--set report.physical_optics=yes: report.physical_optics takes true or false, not \"yes\".");
  expect_refused(dir, sweep + "--set synthesis.precision=16-bit",
                 "--set synthesis.precision=16-bit: the precision must be \"32-bit\" or \"64-bit\", not \"16-bit\".");
  expect_refused(dir, sweep + "--set noequals", "--set \"noequals\" is not KEY=VALUE.");
  expect_refused(dir, sweep + "--set geometry.sub_radius=0.2",
                 "the key geometry.sub_radius is both set (--set) and varied.");
  expect_refused(dir, sweep + "--set feed.level_db=-9 --set feed.level_db=-11", "the key feed.level_db is set twice.");
  // A value that needs another key the file lacks.
  expect_refused(dir, sweep + "--set aperture.distribution=gaussian",
                 "with the keys set, aperture.taper_db is missing from uniform.toml: a Gaussian distribution needs "
                 "its edge taper; give it with --set or --vary.");
  expect_refused(dir, "optimize uniform.toml --maximize directivity_dbi --free geometry.sub_radius=0.2:0.3 "
                      "--set aperture.taylor=1",
                 "--set aperture.taylor=1: a design file has no key aperture.taylor.");
}

TEST(SetKey, ChangesTheDesignsIdentityAndTheOptimisersBestDesign) {
  TempDir dir;
  write_file(dir.path() / "d.toml", kDesign);
  const std::string vary = " --vary geometry.sub_radius=0.22:0.26:3";
  ASSERT_EQ(ravost(dir, "sweep d.toml" + vary + " --shard 1/2 --out p1").status, 0);
  ASSERT_EQ(ravost(dir, "sweep d.toml" + vary + " --set feed.level_db=-12 --shard 2/2 --out p2").status, 0);
  const Exit e = ravost(dir, "sweep --merge p1 p2 --out m");
  EXPECT_EQ(e.status, 1);
  EXPECT_NE(e.err.find("the keys set (--set feed.level_db=-12, not none)"), std::string::npos) << e.err;
  // The rows with the level set are those of a file with it written in.
  write_file(dir.path() / "l.toml", with_text(kDesign, "level_db = -10.0", "level_db = -12"));
  ASSERT_EQ(ravost(dir, "sweep l.toml" + vary + " --shard 2/2 --out l2").status, 0);
  EXPECT_EQ(rows_of(dir, "p2"), rows_of(dir, "l2"));

  const Exit o = ravost(dir, "optimize d.toml --set aperture.distribution=taylor --set aperture.sidelobe_db=25 "
                             "--free aperture.nbar=2:6 --maximize directivity_dbi --starts 1 --evaluations 8 --out best");
  ASSERT_EQ(o.status, 0) << o.err;
  const std::string best = read_file(dir.path() / "best" / "best.toml");
  // The input's comments kept, the keys set and the whole number written as one.
  EXPECT_NE(best.find("distribution = \"taylor\"  # the aperture's power\nsidelobe_db = 25.0\nnbar = "),
            std::string::npos)
      << best;
  EXPECT_TRUE(best.starts_with("# the uniform design\n"));
  const json summary = json::parse(read_file(dir.path() / "best" / "best.json"));
  EXPECT_EQ(summary.at("set"), json::array({"aperture.distribution=taylor", "aperture.sidelobe_db=25"}));
  EXPECT_TRUE(designfile::parse(best, "best.toml").file.has_value());
}

// An interrupted sweep with keys set resumes with the same settings into
// the bytes of a whole run, and is refused with others.
TEST(SetKey, AResumeTakesTheSameSettingsOnly) {
  TempDir dir;
  write_file(dir.path() / "d.toml", kDesign);
  const std::string args = "sweep d.toml --set aperture.distribution=gaussian --vary aperture.taper_db=6:14:4";
  ASSERT_EQ(ravost(dir, args + " --out whole").status, 0);
  ASSERT_EQ(ravost(dir, args + " --out cut").status, 0);
  json j = json::parse(read_file(dir.path() / "cut" / "sweep.json"));
  j["rows"].erase(1);
  j["complete"] = false;
  write_file(dir.path() / "cut" / "sweep.json", j.dump(1) + "\n");
  const std::string before = read_file(dir.path() / "cut" / "sweep.json");
  const Exit other = ravost(dir, args + " --set feed.level_db=-12 --out cut --resume");
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.err.find("the keys set (--set aperture.distribution=gaussian, not --set "
                           "aperture.distribution=gaussian, --set feed.level_db=-12)"),
            std::string::npos)
      << other.err;
  EXPECT_EQ(read_file(dir.path() / "cut" / "sweep.json"), before);
  ASSERT_EQ(ravost(dir, args + " --out cut --resume").status, 0);
  for (const char* f : {"sweep.csv", "sweep.json", "sweep.html"})
    EXPECT_EQ(read_file(dir.path() / "cut" / f), read_file(dir.path() / "whole" / f)) << f;
}

TEST(DesignTemplate, KeysAddedToSectionsTheFileLacksMakeOneSectionEach) {
  TempDir dir;
  write_file(dir.path() / "d.toml", kDesign);
  const sweep::DesignTemplate t(dir.path() / "d.toml");
  ASSERT_FALSE(t.problem());
  const std::string text = t.edited_text({{"report.wavelength", 0.5}, {"report.surface_rms", 0.01}});
  EXPECT_TRUE(text.starts_with(kDesign));
  EXPECT_EQ(text.substr(std::string(kDesign).size()),
            "\n[report]\nfolder = \"report\"\nwavelength = 0.5\nsurface_rms = 0.01\n");
  const designfile::ReadResult r = designfile::parse(text, "d.toml");
  ASSERT_TRUE(r.file) << diag::render(r.errors);
  EXPECT_EQ(r.file->plan.report->wavelength, 0.5);
  EXPECT_EQ(r.file->plan.report->surface_rms, 0.01);
  // The same through the table: a design checked whole.
  const designfile::ReadResult w = t.with({{"report.wavelength", 0.5}, {"feed.axial_offset", 1.5}});
  ASSERT_TRUE(w.file) << diag::render(w.errors);
  EXPECT_EQ(w.file->plan.report->wavelength, 0.5);
  EXPECT_EQ(w.file->choices.feed.axial_offset, 1.5);
}

TEST(DesignFileFrequency, GivesTheWavelengthInTheUnitAndNeedsAUnitAndNoWavelength) {
  const std::string with_unit = std::string(kDesign) + "unit = \"in\"\n";
  const designfile::ReadResult r = designfile::parse(with_unit + "[report]\nfolder = \"r\"\nfrequency_ghz = 12\n", "f.toml");
  ASSERT_TRUE(r.file) << diag::render(r.errors);
  EXPECT_DOUBLE_EQ(r.file->plan.report->wavelength, 299792458.0 / 12e9 / 0.0254);
  EXPECT_EQ(r.file->plan.report->frequency, 12e9);

  const auto errors = [](const std::string& text) { return diag::render(designfile::parse(text, "f.toml").errors); };
  EXPECT_EQ(errors(std::string(kDesign) + "[report]\nfolder = \"r\"\nfrequency_ghz = 12\n"),
            "Error in f.toml, line 23: report.frequency_ghz: a frequency needs the design's length unit: add unit = "
            "\"mm\" (or \"in\", \"ft\", \"m\") to [scale], or give the wavelength in the unit of the diameter.");
  EXPECT_NE(errors(with_unit + "[report]\nfolder = \"r\"\nwavelength = 1\nfrequency_ghz = 12\n")
                .find("report.frequency_ghz: a frequency and a wavelength both give"),
            std::string::npos);
  EXPECT_NE(errors(with_unit + "[report]\nfolder = \"r\"\nfrequency_ghz = -3\n").find("greater than 0"),
            std::string::npos);
}

}  // namespace
