// Design files: the examples against their answer files, writing and reading
// back, the error line of each kind of mistake, and hostile input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "designfile/design_file.h"

namespace {

namespace fs = std::filesystem;
using design::DesignSpec;
using designfile::parse;
using designfile::ReadResult;
using designfile::to_toml;
using writers::OutputPlan;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

fs::path example(const std::string& name) {
  return fs::path(RAVOST_SOURCE_DIR) / "examples" / name;
}

std::string joined(const std::vector<diag::Diagnostic>& errors) {
  std::string out;
  for (const diag::Diagnostic& d : errors) out += diag::render(d) + "\n";
  return out;
}

// The error lines as the program prints them.
std::vector<std::string> rendered(const std::vector<diag::Diagnostic>& errors) {
  std::vector<std::string> lines;
  for (const diag::Diagnostic& d : errors) lines.push_back(diag::render(d));
  return lines;
}

// The answers of an answer file in the order the dialog asks them.
class Answers {
 public:
  explicit Answers(const fs::path& p) {
    std::istringstream in(slurp(p));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines_.push_back(line);
    }
  }
  // n numbers, free form over as many lines as they take.
  std::vector<double> numbers(std::size_t n) {
    std::vector<double> out;
    while (out.size() < n) {
      std::string line = lines_.at(next_++);
      for (char& c : line) {
        if (c == ',') c = ' ';
      }
      std::istringstream in(line);
      for (double v; out.size() < n && in >> v;) out.push_back(v);
    }
    return out;
  }
  double number() { return numbers(1)[0]; }
  std::string text() { return lines_.at(next_++); }
  bool yes() {
    const std::string line = text();
    return !line.empty() && (line[0] == 'y' || line[0] == 'Y');
  }

 private:
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
};

// Two design files hold the same design and outputs: their reals equal in
// the design's precision (the report's wavelength, used in 64 bits, in 64).
void expect_same(const designfile::DesignFile& x, const designfile::DesignFile& y) {
  const bool single = x.choices.precision == design::Precision::single;
  const auto same = [single](double a, double b) {
    if (single) {
      EXPECT_EQ(static_cast<float>(a), static_cast<float>(b));
    } else {
      EXPECT_EQ(a, b);
    }
  };
  const DesignSpec& a = x.choices;
  const DesignSpec& b = y.choices;
  EXPECT_EQ(a.precision, b.precision);
  same(a.geometry.main_hole_to_feed, b.geometry.main_hole_to_feed);
  same(a.geometry.feed_to_sub_rim, b.geometry.feed_to_sub_rim);
  same(a.geometry.sub_radius, b.geometry.sub_radius);
  same(a.geometry.main_inner_radius, b.geometry.main_inner_radius);
  same(a.feed.beamwidth_deg, b.feed.beamwidth_deg);
  same(a.feed.level_db, b.feed.level_db);
  EXPECT_EQ(a.aperture.kind, b.aperture.kind);
  same(a.aperture.taper_db, b.aperture.taper_db);
  same(a.aperture.sidelobe_db, b.aperture.sidelobe_db);
  EXPECT_EQ(a.aperture.nbar, b.aperture.nbar);
  same(a.synthesis.calc_interval, b.synthesis.calc_interval);
  same(a.synthesis.output_interval, b.synthesis.output_interval);

  const OutputPlan& p = x.plan;
  const OutputPlan& q = y.plan;
  EXPECT_EQ(p.figure_file, q.figure_file);
  same(p.diameter, q.diameter);
  ASSERT_EQ(p.extrapolated_sub_diameter.has_value(), q.extrapolated_sub_diameter.has_value());
  if (p.extrapolated_sub_diameter) same(*p.extrapolated_sub_diameter, *q.extrapolated_sub_diameter);
  for (const auto& [l, m] :
       {std::pair{p.main_listing, q.main_listing}, std::pair{p.sub_listing, q.sub_listing}}) {
    ASSERT_EQ(l.has_value(), m.has_value());
    if (!l) continue;
    same(l->start, m->start);
    same(l->stop, m->stop);
    same(l->step, m->step);
  }
  for (const auto& [s, t] :
       {std::pair{p.main_surface, q.main_surface}, std::pair{p.sub_surface, q.sub_surface}}) {
    ASSERT_EQ(s.has_value(), t.has_value());
    if (!s) continue;
    EXPECT_EQ(s->file, t->file);
    EXPECT_EQ(s->points, t->points);
    EXPECT_EQ(s->label, t->label);
  }
  for (const auto& [o, r] :
       {std::pair{p.main_object, q.main_object}, std::pair{p.sub_object, q.sub_object}}) {
    ASSERT_EQ(o.has_value(), r.has_value());
    if (!o) continue;
    EXPECT_EQ(o->file, r->file);
    EXPECT_EQ(o->unit, r->unit);
    EXPECT_EQ(o->points, r->points);
  }
  ASSERT_EQ(p.report.has_value(), q.report.has_value());
  if (p.report) {
    EXPECT_EQ(p.report->dir, q.report->dir);
    EXPECT_EQ(p.report->wavelength, q.report->wavelength);
    EXPECT_EQ(p.report->physical_optics, q.report->physical_optics);
  }
}

designfile::DesignFile parsed(const std::string& text, const std::string& name = "t.toml") {
  ReadResult r = parse(text, name);
  EXPECT_TRUE(r.file.has_value()) << joined(r.errors) << "in\n" << text;
  EXPECT_TRUE(r.errors.empty());
  return r.file.value_or(designfile::DesignFile{});
}

// Each example design file holds the answers of its answer file.
class ExampleTest : public testing::TestWithParam<std::string> {};

TEST_P(ExampleTest, HoldsTheAnswersOfItsAnswerFile) {
  const std::string name = GetParam();
  const ReadResult r = designfile::read(example(name + ".toml"));
  ASSERT_TRUE(r.file) << joined(r.errors);
  const DesignSpec& s = r.file->choices;
  const OutputPlan& p = r.file->plan;

  Answers a(example(name + ".ans"));
  EXPECT_EQ(s.geometry.main_hole_to_feed, a.number());
  EXPECT_EQ(s.geometry.feed_to_sub_rim, a.number());
  EXPECT_EQ(s.geometry.sub_radius, a.number());
  EXPECT_EQ(s.geometry.main_inner_radius, a.number());
  const std::vector<double> feed = a.numbers(2);
  EXPECT_EQ(s.feed.beamwidth_deg, feed[0]);
  EXPECT_EQ(s.feed.level_db, feed[1]);
  const int kind = static_cast<int>(a.number());
  EXPECT_EQ(static_cast<int>(s.aperture.kind), kind);
  if (kind == 2) {
    EXPECT_EQ(s.aperture.taper_db, a.number());
  }
  if (kind == 3) {
    // The dialog keeps the size of the sidelobe level.
    EXPECT_EQ(s.aperture.sidelobe_db, std::fabs(a.number()));
    EXPECT_EQ(s.aperture.nbar, static_cast<int>(a.number()));
  }
  EXPECT_EQ(s.synthesis.calc_interval, a.number());
  EXPECT_EQ(s.synthesis.output_interval, a.number());
  EXPECT_EQ(s.precision, design::Precision::single);

  ASSERT_TRUE(a.yes());
  EXPECT_EQ(p.figure_file, a.text());
  EXPECT_EQ(p.diameter, a.number());
  ASSERT_TRUE(a.yes());
  EXPECT_EQ(p.extrapolated_sub_diameter, a.number());
  for (const auto* listing : {&p.main_listing, &p.sub_listing}) {
    ASSERT_TRUE(a.yes());
    ASSERT_TRUE(listing->has_value());
    const std::vector<double> v = a.numbers(3);
    EXPECT_EQ((*listing)->start, v[0]);
    EXPECT_EQ((*listing)->stop, v[1]);
    EXPECT_EQ((*listing)->step, v[2]);
  }
  for (const auto* surface : {&p.main_surface, &p.sub_surface}) {
    ASSERT_TRUE(a.yes());
    ASSERT_TRUE(surface->has_value());
    EXPECT_EQ((*surface)->file, a.text());
    EXPECT_EQ((*surface)->points, static_cast<int>(a.number()));
    EXPECT_EQ((*surface)->label, a.text());
  }
  for (const auto* object : {&p.main_object, &p.sub_object}) {
    ASSERT_TRUE(a.yes());
    ASSERT_TRUE(object->has_value());
    EXPECT_EQ((*object)->file, a.text());
    EXPECT_EQ(static_cast<int>((*object)->unit), static_cast<int>(a.number()));
    EXPECT_EQ((*object)->points, static_cast<int>(a.number()));
  }
  EXPECT_FALSE(p.report);
}

TEST_P(ExampleTest, ReadsBackFromItsWrittenFileInBothPrecisions) {
  const ReadResult r = designfile::read(example(GetParam() + ".toml"));
  ASSERT_TRUE(r.file) << joined(r.errors);
  for (design::Precision precision : {design::Precision::single, design::Precision::double_}) {
    designfile::DesignFile f = *r.file;
    f.choices.precision = precision;
    const designfile::DesignFile back = parsed(to_toml(f.choices, f.plan));
    expect_same(f, back);
  }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleTest, testing::Values("uniform", "gaussian", "taylor"));

// A design with every section, its reals built as a dialog builds them (a
// 32-bit answer widened) or in full 64 bits.
designfile::DesignFile awkward(design::Precision precision) {
  const auto value = [precision](double v) {
    return precision == design::Precision::single ? static_cast<double>(static_cast<float>(v)) : v;
  };
  designfile::DesignFile f;
  f.choices.precision = precision;
  f.choices.geometry = {value(0.2 + 1e-9), value(0.1 * 5), value(0.25 - 1e-12), value(0.12)};
  f.choices.feed = {value(40.0 / 3.0), value(-10.1)};
  f.choices.aperture.kind = design::Distribution::taylor;
  f.choices.aperture.sidelobe_db = value(25.1);
  f.choices.aperture.nbar = 4;
  f.choices.synthesis = {value(0.001), value(0.02)};
  f.plan.diameter = value(123456.789);
  f.plan.extrapolated_sub_diameter = value(0.1);
  f.plan.figure_file = "plot \"one\" \\ é.plt";
  f.plan.main_listing = writers::ListingRequest{value(1e-7), value(1e20), value(-0.0)};
  // The shortest decimal of this float, read as a double and rounded to
  // float, gives the next float: it must be written with more digits.
  const double double_rounded = static_cast<double>(std::strtof("7.038531e-26", nullptr));
  f.plan.sub_listing = writers::ListingRequest{value(3.4e38), double_rounded, value(2.5e-45)};
  f.plan.main_surface = writers::SurfaceFileRequest{"m.rsf", 9999, "label\twith a tab"};
  f.plan.sub_surface = writers::SurfaceFileRequest{"s.rsf", 1, ""};
  f.plan.main_object = writers::ObjectFileRequest{"m.tor", writers::LengthUnit::foot, 999};
  f.plan.sub_object = writers::ObjectFileRequest{"s.tor", writers::LengthUnit::metre, 2};
  f.plan.report = writers::ReportRequest{"report dir", 0.1 + 0.2, true};
  return f;
}

TEST(DesignFileWrite, RoundTripsAwkwardValuesExactly) {
  designfile::DesignFile any_double = awkward(design::Precision::double_);
  any_double.choices.precision = design::Precision::single;
  for (const designfile::DesignFile& f :
       {awkward(design::Precision::single), any_double, awkward(design::Precision::double_)}) {
    const std::string text = to_toml(f.choices, f.plan);
    const designfile::DesignFile back = parsed(text);
    expect_same(f, back);
    // -0.0 keeps its sign.
    ASSERT_TRUE(back.plan.main_listing);
    EXPECT_TRUE(std::signbit(back.plan.main_listing->step));
    // Written again, the file is the same.
    EXPECT_EQ(to_toml(back.choices, back.plan), text);
  }
}

TEST(DesignFileWrite, WritesShortDecimalsThatReadAsReals) {
  const designfile::DesignFile single = awkward(design::Precision::single);
  const std::string text = to_toml(single.choices, single.plan);
  // The 32-bit values as typed, not their 64-bit expansions.
  EXPECT_NE(text.find("\ndiameter = 123456.79\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nextrapolate_sub_diameter = 0.1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nstart = 1e-07\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nprecision = \"32-bit\"\n"), std::string::npos) << text;

  designfile::DesignFile whole = single;
  whole.plan.diameter = 100.0;
  whole.choices.precision = design::Precision::double_;
  whole.plan.extrapolated_sub_diameter = 0.1;
  const std::string text64 = to_toml(whole.choices, whole.plan);
  EXPECT_NE(text64.find("\ndiameter = 100.0\n"), std::string::npos) << text64;
  EXPECT_NE(text64.find("\nextrapolate_sub_diameter = 0.1\n"), std::string::npos) << text64;
  EXPECT_NE(text64.find("\nprecision = \"64-bit\"\n"), std::string::npos) << text64;
  // Every section has its comment.
  for (const char* section :
       {"[geometry]", "[feed]", "[aperture]", "[synthesis]", "[scale]", "[figure]",
        "[listing.main]", "[surface.sub]", "[object.main]", "[report]"}) {
    const std::size_t at = text64.find(std::string("\n") + section + "\n");
    ASSERT_NE(at, std::string::npos) << section;
    EXPECT_EQ(text64.rfind("\n# ", at), text64.rfind('\n', at - 1)) << section;
  }
}

// A complete, valid design file whose lines are numbered in the comments.
const std::string kBase =
    "[geometry]\n"                  // 1
    "main_hole_to_feed = 0.2\n"     // 2
    "feed_to_sub_rim = 0.5\n"       // 3
    "sub_radius = 0.25\n"           // 4
    "main_inner_radius = 0.12\n"    // 5
    "[feed]\n"                      // 6
    "beamwidth_deg = 40\n"          // 7
    "level_db = -10\n"              // 8
    "[aperture]\n"                  // 9
    "distribution = \"uniform\"\n"  // 10
    "[synthesis]\n"                 // 11
    "calc_interval = 0.001\n"       // 12
    "output_interval = 0.02\n"      // 13
    "[scale]\n"                     // 14
    "diameter = 100\n"              // 15
    "[figure]\n"                    // 16
    "file = \"a.plt\"\n"            // 17
    "[surface.main]\n"              // 18
    "file = \"m.rsf\"\n"            // 19
    "points = 21\n"                 // 20
    "[object.main]\n"               // 21
    "file = \"m.tor\"\n"            // 22
    "unit = \"mm\"\n"               // 23
    "points = 21\n";                // 24

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::vector<std::string> errors_of(const std::string& text) {
  ReadResult r = parse(text, "t.toml");
  EXPECT_FALSE(r.file.has_value()) << text;
  return rendered(r.errors);
}

using Lines = std::vector<std::string>;

TEST(DesignFileRead, BaseIsValidAndIntegersReadAsReals) {
  const designfile::DesignFile f = parsed(kBase);
  EXPECT_EQ(f.choices.feed.beamwidth_deg, 40.0);
  EXPECT_EQ(f.plan.diameter, 100.0);
  EXPECT_EQ(f.choices.precision, design::Precision::single);
  ASSERT_TRUE(f.plan.main_surface);
  EXPECT_EQ(f.plan.main_surface->label, "");
  EXPECT_FALSE(f.plan.sub_surface);
  EXPECT_FALSE(f.plan.main_listing);
}

TEST(DesignFileRead, MisspeltNamesAreReportedWithTheKeyTheyMiss) {
  EXPECT_EQ(errors_of(replaced(kBase, "sub_radius =", "sub_radus =")),
            (Lines{"Error in t.toml, line 1: geometry.sub_radius: the key is missing.",
                   "Error in t.toml, line 4: geometry.sub_radus: unknown key; did you mean "
                   "geometry.sub_radius?"}));
  EXPECT_EQ(errors_of(replaced(kBase, "[geometry]", "[geometri]")),
            (Lines{"Error in t.toml, line 1: geometri: unknown section; did you mean [geometry]?",
                   "Error in t.toml, line 1: geometry: the section [geometry] is missing; it "
                   "needs main_hole_to_feed, feed_to_sub_rim, sub_radius and main_inner_radius."}));
  EXPECT_EQ(errors_of(replaced(kBase, "[surface.main]", "[surface.mian]")),
            (Lines{"Error in t.toml, line 18: surface.mian: unknown section; did you mean "
                   "[surface.main]?"}));
  // A key in the wrong section, and a key before any section.
  EXPECT_EQ(errors_of(replaced(kBase, "level_db = -10\n", "level_db = -10\ndiameter = 3\n")),
            (Lines{"Error in t.toml, line 9: feed.diameter: unknown key; scale.diameter belongs "
                   "in [scale]."}));
  EXPECT_EQ(errors_of("nbar = 4\n" + kBase),
            (Lines{"Error in t.toml, line 1: nbar: unknown key: every key belongs in a section; "
                   "did you mean aperture.nbar?"}));
  EXPECT_EQ(errors_of(kBase + "[extra]\nx = 1\n"),
            (Lines{"Error in t.toml, line 25: extra: unknown section: a design file has the "
                   "sections [geometry], [feed], [aperture], [synthesis], [scale], [figure], "
                   "[listing], [surface], [object] and [report]."}));
}

TEST(DesignFileRead, WrongTypesAndMissingKeys) {
  EXPECT_EQ(errors_of(replaced(kBase, "sub_radius = 0.25", "sub_radius = \"0.25\"")),
            (Lines{"Error in t.toml, line 4: geometry.sub_radius: expected a number, found a "
                   "string."}));
  EXPECT_EQ(errors_of(replaced(kBase, "points = 21\n[object", "points = 21.0\n[object")),
            (Lines{"Error in t.toml, line 20: surface.main.points: expected a whole number, "
                   "found a real number."}));
  EXPECT_EQ(errors_of(replaced(kBase, "calc_interval = 0.001\n", "")),
            (Lines{"Error in t.toml, line 11: synthesis.calc_interval: the key is missing."}));
  EXPECT_EQ(errors_of(replaced(kBase, "[feed]\nbeamwidth_deg = 40\nlevel_db = -10\n", "")),
            (Lines{"Error in t.toml, line 1: feed: the section [feed] is missing; it needs "
                   "beamwidth_deg and level_db."}));
  EXPECT_EQ(
      errors_of("feed = 3\n" + replaced(kBase, "[feed]\nbeamwidth_deg = 40\nlevel_db = -10\n", "")),
      (Lines{"Error in t.toml, line 1: feed: expected a section [feed], found a whole "
             "number."}));
  // Keys that lost their section header land in the section before.
  EXPECT_EQ(errors_of(replaced(kBase, "[feed]\n", "")),
            (Lines{"Error in t.toml, line 1: feed: the section [feed] is missing; it needs "
                   "beamwidth_deg and level_db.",
                   "Error in t.toml, line 6: geometry.beamwidth_deg: unknown key; "
                   "feed.beamwidth_deg belongs in [feed].",
                   "Error in t.toml, line 7: geometry.level_db: unknown key; feed.level_db "
                   "belongs in [feed]."}));
  EXPECT_EQ(errors_of(replaced(kBase, "\"mm\"", "\"cm\"")),
            (Lines{"Error in t.toml, line 23: object.main.unit: the unit must be \"in\", \"ft\", "
                   "\"mm\" or \"m\", not \"cm\"."}));
  EXPECT_EQ(errors_of(replaced(kBase, "\"uniform\"", "3")),
            (Lines{"Error in t.toml, line 10: aperture.distribution: the distribution must be "
                   "\"uniform\", \"gaussian\", \"taylor\" or \"parabolic_pedestal\", not a whole "
                   "number."}));
  EXPECT_EQ(errors_of(kBase + "[report]\nfolder = \"r\"\nphysical_optics = 1\n"),
            (Lines{"Error in t.toml, line 27: report.physical_optics: expected true or false, found a "
                   "whole number."}));
  EXPECT_EQ(errors_of(kBase + "[report]\nwavelength = 0\n"),
            (Lines{"Error in t.toml, line 25: report.folder: the key is missing.",
                   "Error in t.toml, line 26: report.wavelength: the wavelength must be greater "
                   "than 0."}));
}

TEST(DesignFileRead, KeysOfTheDistribution) {
  const std::string taylor =
      replaced(kBase, "\"uniform\"\n", "\"taylor\"\nsidelobe_db = -25\nnbar = 4\n");
  EXPECT_EQ(parsed(taylor).choices.aperture.nbar, 4);
  EXPECT_EQ(parsed(taylor).choices.aperture.sidelobe_db, -25.0);
  EXPECT_EQ(errors_of(replaced(taylor, "nbar = 4", "nbar = 4.0")),
            (Lines{"Error in t.toml, line 12: aperture.nbar: expected a whole number, found a "
                   "real number."}));
  EXPECT_EQ(errors_of(replaced(taylor, "nbar = 4", "nbar = 21")),
            (Lines{"Error in t.toml, line 12: aperture.nbar: the number of the first unchanged "
                   "zero must be at most 20: no more zeros are held."}));
  // A count far beyond an int is still only too large.
  EXPECT_EQ(errors_of(replaced(taylor, "nbar = 4", "nbar = 99999999999")).size(), 1u);
  EXPECT_EQ(errors_of(replaced(taylor, "nbar = 4\n", "")),
            (Lines{"Error in t.toml, line 9: aperture.nbar: the key is missing: a Taylor "
                   "distribution needs its sidelobe level and nbar."}));
  EXPECT_EQ(errors_of(replaced(kBase, "\"uniform\"", "\"gaussian\"")),
            (Lines{"Error in t.toml, line 9: aperture.taper_db: the key is missing: a Gaussian "
                   "distribution needs its edge taper."}));
  EXPECT_EQ(errors_of(replaced(kBase, "\"uniform\"\n", "\"uniform\"\ntaper_db = 10\n")),
            (Lines{"Error in t.toml, line 11: aperture.taper_db: only a Gaussian distribution "
                   "takes an edge taper; remove the key or set aperture.distribution = "
                   "\"gaussian\"."}));
  EXPECT_EQ(errors_of(replaced(kBase, "\"uniform\"", "\"gaussian\"\ntaper_db = 0")),
            (Lines{"Error in t.toml, line 11: aperture.taper_db: a Gaussian edge taper of 0 dB "
                   "has no Gaussian: give a taper other than 0."}));
}

TEST(DesignFileRead, KeysOfTheFeedModels) {
  const std::string gaussian =
      replaced(kBase, "beamwidth_deg = 40\nlevel_db = -10\n",
               "model = \"gaussian\"\ntaper_db = 12\ntaper_angle_deg = 20\n");
  const designfile::DesignFile f = parsed(gaussian);
  EXPECT_EQ(f.choices.feed.model, design::FeedModelKind::gaussian);
  EXPECT_EQ(f.choices.feed.taper_db, 12.0);
  EXPECT_EQ(f.choices.feed.taper_angle_deg, 20.0);
  // Written with its model and keys under its own comment, and read back.
  const std::string text = to_toml(f.choices, f.plan);
  EXPECT_NE(text.find("# Feed: a Gaussian pattern, taper_db below the axis at taper_angle_deg.\n"
                      "[feed]\nmodel = \"gaussian\"\ntaper_db = 12.0\ntaper_angle_deg = 20.0\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(to_toml(parsed(text).choices, parsed(text).plan), text);

  EXPECT_EQ(errors_of(replaced(gaussian, "taper_angle_deg = 20\n",
                               "taper_angle_deg = 20\nbeamwidth_deg = 40\nfile = \"x.csv\"\n")),
            (Lines{"Error in t.toml, line 10: feed.beamwidth_deg: only the \"beamwidth\" model "
                   "takes this key; the feed's model is \"gaussian\".",
                   "Error in t.toml, line 11: feed.file: only the \"table\" and \"cut\" models "
                   "take this key; the feed's model is \"gaussian\"."}));
  EXPECT_EQ(errors_of(replaced(gaussian, "taper_angle_deg = 20\n", "")),
            (Lines{"Error in t.toml, line 6: feed.taper_angle_deg: the key is missing: a Gaussian "
                   "feed needs its taper and the angle of it."}));
  EXPECT_EQ(errors_of(replaced(gaussian, "model = \"gaussian\"", "model = \"horn\"")),
            (Lines{"Error in t.toml, line 7: feed.model: the feed model must be \"beamwidth\", "
                   "\"gaussian\", \"table\" or \"cut\", not \"horn\"."}));
}

TEST(DesignFileRead, NumbersMustBeFiniteAndFitThePrecision) {
  EXPECT_EQ(errors_of(replaced(kBase, "0.25", "nan")),
            (Lines{"Error in t.toml, line 4: geometry.sub_radius: the value must be a finite "
                   "number, not nan."}));
  EXPECT_EQ(errors_of(replaced(kBase, "= 100", "= -inf")),
            (Lines{"Error in t.toml, line 15: scale.diameter: the value must be a finite number, "
                   "not -inf."}));
  // 1e300 is no 32-bit real; in a 64-bit design it is a diameter like any other.
  const std::string huge = replaced(kBase, "diameter = 100", "diameter = 1e300");
  EXPECT_EQ(errors_of(huge),
            (Lines{"Error in t.toml, line 15: scale.diameter: the value 1e+300 is out of the "
                   "range of a 32-bit design (about 3.4e+38); use a smaller value or precision "
                   "= \"64-bit\"."}));
  EXPECT_EQ(parsed(replaced(huge, "0.02\n", "0.02\nprecision = \"64-bit\"\n")).plan.diameter,
            1e300);
  // The largest 32-bit real is in range, the next decimal up is not.
  EXPECT_EQ(parsed(replaced(kBase, "[figure]",
                            "[listing.sub]\nstart = 0\nstop = 3.4028235e38\n"
                            "step = 1\n[figure]"))
                .plan.sub_listing->stop,
            3.4028235e38);
  EXPECT_EQ(errors_of(replaced(kBase, "[figure]",
                               "[listing.sub]\nstart = 0\nstop = 3.4028236e38\n"
                               "step = 1\n[figure]"))
                .size(),
            1u);
  EXPECT_EQ(errors_of(replaced(kBase, "-10", "-1e-50")),
            (Lines{"Error in t.toml, line 8: feed.level_db: the value -1e-50 is too small for a "
                   "32-bit design: it would become 0; use 0, a larger value or precision = "
                   "\"64-bit\"."}));
  EXPECT_EQ(errors_of(replaced(kBase, "0.02\n", "0.02\nprecision = \"single\"\n")),
            (Lines{"Error in t.toml, line 14: synthesis.precision: the precision must be "
                   "\"32-bit\" or \"64-bit\", not \"single\"."}));
}

TEST(DesignFileRead, ProblemsOfTheDesignAndThePlanUseTheirSentences) {
  EXPECT_EQ(errors_of(replaced(kBase, "0.25", "0")),
            (Lines{"Error in t.toml, line 4: geometry.sub_radius: the radius of the subreflector "
                   "must not be 0: it would subtend no angle at the feed."}));
  EXPECT_EQ(errors_of(replaced(kBase, "0.02", "0.0016")),
            (Lines{"Error in t.toml, line 13: synthesis.output_interval: the output interval "
                   "must be a whole multiple of the calculation interval 0.001; try 0.002."}));
  EXPECT_EQ(errors_of(replaced(kBase, "a.plt", std::string(41, 'p'))),
            (Lines{"Error in t.toml, line 17: figure.file: the file name is 41 characters long; "
                   "at most 40 fit."}));
  EXPECT_EQ(parsed(replaced(kBase, "a.plt", std::string(40, 'p'))).plan.figure_file,
            std::string(40, 'p'));
  EXPECT_EQ(errors_of(replaced(kBase, "points = 21\n[object", "points = 0\n[object")),
            (Lines{"Error in t.toml, line 20: surface.main.points: a surface file holds from 1 "
                   "to 9999 points."}));
  EXPECT_EQ(errors_of(replaced(kBase, "diameter = 100", "diameter = -1")),
            (Lines{"Error in t.toml, line 15: scale.diameter: the main reflector diameter must "
                   "be a number greater than 0."}));
  EXPECT_EQ(errors_of(replaced(kBase, "\"m.rsf\"", "\"m.rsf\"\nlabel = \"two\\nlines\"")),
            (Lines{"Error in t.toml, line 20: surface.main.label: the text holds a control "
                   "character such as a line break; a name or a label is one line of text."}));
  EXPECT_EQ(errors_of(replaced(kBase, "\"m.tor\"", "\"./m.rsf\"")),
            (Lines{"Error in t.toml, line 22: object.main.file: the file \"./m.rsf\" is also "
                   "surface.main.file; every output needs a file of its own."}));
}

TEST(DesignFileRead, EveryMistakeOfTheDesignIsReportedAtItsOwnLine) {
  std::string two = replaced(kBase, "sub_radius = 0.25", "sub_radius = -0.25");
  two = replaced(two, "beamwidth_deg = 40", "beamwidth_deg = 0");
  EXPECT_EQ(errors_of(two),
            (Lines{"Error in t.toml, line 4: geometry.sub_radius: the radius of the subreflector "
                   "must be greater than 0.",
                   "Error in t.toml, line 7: feed.beamwidth_deg: the feed beamwidth must not be 0 "
                   "and must be less than 360 degrees."}));

  // Three mistakes in three groups: the hole, the Taylor nbar and the
  // calculation interval.
  std::string three = replaced(kBase, "main_inner_radius = 0.12", "main_inner_radius = -0.1");
  three = replaced(three, "distribution = \"uniform\"",
                   "distribution = \"taylor\"\nsidelobe_db = 30\nnbar = 21");
  three = replaced(three, "calc_interval = 0.001", "calc_interval = 0");
  const std::vector<std::string> errors = errors_of(three);
  ASSERT_EQ(errors.size(), 3u) << ::testing::PrintToString(errors);
  EXPECT_NE(errors[0].find("line 5: geometry.main_inner_radius:"), std::string::npos);
  EXPECT_NE(errors[1].find("line 12: aperture.nbar:"), std::string::npos);
  EXPECT_NE(errors[2].find("line 14: synthesis.calc_interval:"), std::string::npos);
}

TEST(DesignFileRead, EveryProblemGetsItsOwnLineInFileOrder) {
  std::string text = replaced(kBase, "0.25", "\"x\"");
  text = replaced(text, "[figure]", "[figur]");
  text = replaced(text, "points = 21\n[object", "points = 1e4\n[object");
  text = replaced(text, "\"mm\"", "\"mm\"\nlabel = \"x\"");
  // Each error carries its file, line and key as fields, its message apart.
  const ReadResult r = parse(text, "t.toml");
  ASSERT_FALSE(r.file);
  ASSERT_EQ(r.errors.size(), 4u) << joined(r.errors);
  const std::pair<long, std::string> places[] = {
      {4, "geometry.sub_radius"}, {16, "figur"}, {20, "surface.main.points"}, {24, "object.main.label"}};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(r.errors[i].file, "t.toml");
    EXPECT_EQ(r.errors[i].line, places[i].first);
    EXPECT_EQ(r.errors[i].key, places[i].second);
    EXPECT_TRUE(r.errors[i].is_error());
  }
  EXPECT_EQ(r.errors[1].message, "Unknown section; did you mean [figure]?");
  EXPECT_EQ(diag::render(r.errors[3]).rfind("Error in t.toml, line 24: object.main.label: unknown key", 0), 0u);

  // A flood of errors is cut short.
  std::string flood = kBase;
  for (int i = 0; i < 150; ++i) flood += "key" + std::to_string(i) + " = 1\n";
  const std::vector<std::string> many = errors_of(flood);
  ASSERT_EQ(many.size(), 101u);
  EXPECT_EQ(many.back(), "Error in t.toml: 50 more errors are not shown.");
}

TEST(DesignFileRead, KeysOfTheDesignInputsAreTheFileKeys) {
  const std::string text = slurp(example("uniform.toml")) + slurp(example("taylor.toml"));
  for (design::Input input :
       {design::Input::main_hole_to_feed, design::Input::feed_to_sub_rim, design::Input::sub_radius,
        design::Input::main_inner_radius, design::Input::feed_beamwidth,
        design::Input::distribution, design::Input::sidelobe, design::Input::nbar,
        design::Input::calc_interval, design::Input::output_interval, design::Input::diameter,
        design::Input::extrapolation}) {
    const std::string key = designfile::key_of(input);
    const std::size_t dot = key.find('.');
    ASSERT_NE(dot, std::string::npos) << key;
    EXPECT_NE(text.find("[" + key.substr(0, dot) + "]"), std::string::npos) << key;
    EXPECT_NE(text.find("\n" + key.substr(dot + 1) + " = "), std::string::npos) << key;
  }
  EXPECT_EQ(designfile::key_of(design::Input::taper), "aperture.taper_db");
  EXPECT_NE(slurp(example("gaussian.toml")).find("\ntaper_db = "), std::string::npos);
}

TEST(DesignFileRead, SyntaxErrorsGiveOneLineWithThePlace) {
  const std::vector<std::string> errors = errors_of(replaced(kBase, "= 0.5", "="));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Error in t.toml, line 3: ", 0), 0u) << errors[0];
  EXPECT_EQ(errors[0].back(), '.');
  // A key given twice.
  const std::vector<std::string> twice = errors_of(kBase + "[geometry]\n");
  ASSERT_EQ(twice.size(), 1u);
  EXPECT_EQ(twice[0].rfind("Error in t.toml, line 25: ", 0), 0u) << twice[0];
}

TEST(DesignFileRead, RefusesTextThatIsNoDesignFile) {
  EXPECT_EQ(errors_of("[geometry]\n# caf\xe9\n"),
            (Lines{"Error in t.toml, line 2: the file is not UTF-8 text: this line holds a byte "
                   "that is not part of any UTF-8 character."}));
  EXPECT_EQ(errors_of("[geometry]\n\x01\n"),
            (Lines{"Error in t.toml, line 2: the file holds a control character (byte 0x01) on "
                   "this line; a design file is plain text."}));
  // Overlong forms and surrogates are no UTF-8 either.
  EXPECT_EQ(errors_of("# \xc0\xaf\n").size(), 1u);
  EXPECT_EQ(errors_of("a = 1\n# \xed\xa0\x80\n")[0].find("line 2:") != std::string::npos, true);
  // A byte order mark is UTF-8.
  EXPECT_TRUE(parse("\xef\xbb\xbf" + kBase, "t.toml").file);

  const std::string big(designfile::kMaxFileBytes + 1, '#');
  EXPECT_EQ(errors_of(big),
            (Lines{"Error in t.toml: the file is larger than 1048576 bytes; a design file takes "
                   "a few kilobytes."}));

  // Keys nested far deeper than any design file's would exhaust the parser.
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "a.";
  EXPECT_EQ(errors_of(deep + "a = 1\n").size(), 1u);
  EXPECT_EQ(errors_of("[" + deep + "a]\n").size(), 1u);
  // Dots in comments and strings do not count.
  std::string commented = kBase;
  for (int i = 0; i < 300; ++i) commented += "# Many sentences. Each one ends. With a dot.\n";
  commented =
      replaced(commented, "\"m.rsf\"", "\"m.rsf\"\nlabel = \"" + std::string(39, '.') + "\"");
  EXPECT_TRUE(parse(commented, "t.toml").file);
}

TEST(DesignFileRead, ReadNamesTheFileAsGiven) {
  char folder_template[] = "/tmp/designfile_test_XXXXXX";
  ASSERT_NE(::mkdtemp(folder_template), nullptr);
  const fs::path folder = folder_template;
  const fs::path good = folder / "good.toml";
  std::ofstream(good, std::ios::binary) << kBase;
  EXPECT_TRUE(designfile::read(good).file);

  const ReadResult missing = designfile::read(folder / "none.toml");
  EXPECT_EQ(rendered(missing.errors),
            (Lines{"Error in " + (folder / "none.toml").string() + ": there is no such file."}));
  EXPECT_EQ(designfile::read(folder).errors.size(), 1u);

  // Ten megabytes of junk end in one clean error.
  const fs::path junk = folder / "junk.toml";
  {
    std::ofstream out(junk, std::ios::binary);
    std::mt19937 random(7);
    std::string block(1 << 16, '\0');
    for (int i = 0; i < 160; ++i) {
      for (char& c : block) c = static_cast<char>(random());
      out << block;
    }
  }
  EXPECT_EQ(fs::file_size(junk), 10u * 1024 * 1024);
  const ReadResult r = designfile::read(junk);
  EXPECT_FALSE(r.file);
  EXPECT_EQ(r.errors.size(), 1u);
  fs::remove_all(folder);
}

// Mutations of the example files: every one ends in a design or in error
// lines, and a design that is read writes and reads back the same.
TEST(DesignFileRead, MutatedFilesNeverCrash) {
  std::vector<std::string> seeds;
  for (const char* name : {"uniform.toml", "gaussian.toml", "taylor.toml"}) {
    seeds.push_back(slurp(example(name)));
  }
  seeds.push_back(kBase);
  const std::string alphabet = "[]{}=.,\"'#\\\n \t0123456789e+-_abcxyzinf\x01\x7f\xc3\xa9\xff";
  std::mt19937 random(20240601);
  int valid = 0;
  for (int round = 0; round < 600; ++round) {
    std::string text = seeds[random() % seeds.size()];
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits && !text.empty(); ++e) {
      const std::size_t at = random() % text.size();
      switch (random() % 6) {
        case 0:  // flip a bit
          text[at] = static_cast<char>(text[at] ^ (1 << (random() % 8)));
          break;
        case 1:  // drop a run
          text.erase(at, 1 + random() % 8);
          break;
        case 2:  // insert a character of TOML's syntax
          text.insert(at, 1, alphabet[random() % alphabet.size()]);
          break;
        case 3: {  // copy a run elsewhere
          const std::size_t from = random() % text.size();
          text.insert(at, text.substr(from, 1 + random() % 40));
          break;
        }
        case 4:  // replace a byte with any byte
          text[at] = static_cast<char>(random());
          break;
        case 5:  // cut the file short
          text.resize(at);
          break;
      }
    }
    const ReadResult r = parse(text, "m.toml");
    if (r.file) {
      ++valid;
      EXPECT_TRUE(r.errors.empty());
      const designfile::DesignFile back = parsed(to_toml(r.file->choices, r.file->plan));
      expect_same(*r.file, back);
    } else {
      ASSERT_FALSE(r.errors.empty()) << text;
      for (const std::string& line : rendered(r.errors)) {
        EXPECT_EQ(line.rfind("Error in m.toml", 0), 0u) << line;
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
      }
    }
  }
  // Some mutations (in comments, in a digit) leave a design that reads.
  EXPECT_GT(valid, 20);
}

}  // namespace
