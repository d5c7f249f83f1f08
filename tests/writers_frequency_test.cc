// The report's wavelength from a frequency: frequencies as people write them,
// the length units, the design's unit from a design file ([scale] unit or its
// object files), and design files with CR LF line ends read as before.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "designfile/design_file.h"
#include "writers/frequency.h"

namespace {

using writers::LengthUnit;

// The frequency `text` gives, or -1 with the problem in `why`.
double hertz(const std::string& text, std::string* why = nullptr) {
  std::string problem;
  const std::optional<double> f = writers::parse_frequency(text, problem);
  if (why) *why = problem;
  if (f) {
    EXPECT_EQ(problem, "") << text;
  } else {
    EXPECT_NE(problem, "") << text;
  }
  return f.value_or(-1.0);
}

TEST(Frequency, NumbersWithAndWithoutMultipliersAndHz) {
  EXPECT_EQ(hertz("12e9"), 12e9);
  EXPECT_EQ(hertz("12000000000"), 12e9);
  EXPECT_EQ(hertz("1.2E+10"), 12e9);
  EXPECT_EQ(hertz("+12e9"), 12e9);
  for (const char* text : {"12GHz", "12 GHz", "12G", "12Ghz", "12 ghz", "12GHZ", "12g", " 12 GHz "}) {
    EXPECT_EQ(hertz(text), 12e9) << text;
  }
  EXPECT_EQ(hertz("12e9Hz"), 12e9);
  EXPECT_EQ(hertz("12e9 hz"), 12e9);
  EXPECT_EQ(hertz("1.5 MHz"), 1.5e6);
  EXPECT_EQ(hertz("1.5M"), 1.5e6);
  EXPECT_EQ(hertz("30kHz"), 30e3);
  EXPECT_EQ(hertz("30KHz"), 30e3);
  EXPECT_EQ(hertz("0.3THz"), 0.3e12);
}

TEST(Frequency, RefusesWhatIsNoFrequencyAboveZero) {
  std::string why;
  // 0 and one step either side of it.
  EXPECT_EQ(hertz("0", &why), -1.0);
  EXPECT_NE(why.find("greater than 0"), std::string::npos) << why;
  EXPECT_EQ(hertz("-0", &why), -1.0);
  EXPECT_EQ(hertz("-1", &why), -1.0);
  EXPECT_NE(why.find("greater than 0"), std::string::npos) << why;
  EXPECT_EQ(hertz("0GHz"), -1.0);
  EXPECT_GT(hertz("4.9e-324"), 0.0);  // the least positive real is above 0
  for (const char* text : {"", " ", "abc", "GHz", "12 GHz x", "12 GHzz", "12Hz Hz", "12 X", "12kk", "0x10", "1e",
                           "12,5GHz", "12 G Hz"}) {
    EXPECT_EQ(hertz(text, &why), -1.0) << text;
    EXPECT_NE(why.find("not a frequency"), std::string::npos) << text << ": " << why;
  }
  for (const char* text : {"inf", "nan", "1e308 THz"}) EXPECT_EQ(hertz(text), -1.0) << text;
  // "m" is milli: refused rather than taken for mega.
  for (const char* text : {"12mHz", "12m", "12mhz"}) {
    EXPECT_EQ(hertz(text, &why), -1.0) << text;
    EXPECT_NE(why.find("milli"), std::string::npos) << text << ": " << why;
  }
}

TEST(Frequency, WavelengthInEachUnit) {
  // 299.792458 MHz is a wavelength of one metre.
  const double f = 299792458.0;
  EXPECT_DOUBLE_EQ(*writers::wavelength_in(f, LengthUnit::metre), 1.0);
  EXPECT_DOUBLE_EQ(*writers::wavelength_in(f, LengthUnit::millimetre), 1000.0);
  EXPECT_DOUBLE_EQ(*writers::wavelength_in(f, LengthUnit::inch), 1.0 / 0.0254);
  EXPECT_DOUBLE_EQ(*writers::wavelength_in(f, LengthUnit::foot), 1.0 / 0.3048);
  // 12 GHz: 24.98 mm.
  EXPECT_NEAR(*writers::wavelength_in(12e9, LengthUnit::millimetre), 24.982704833, 1e-8);
  // A frequency so low that its wavelength is beyond the reals.
  EXPECT_FALSE(writers::wavelength_in(1e-300, LengthUnit::millimetre));
  EXPECT_TRUE(writers::wavelength_in(1e-290, LengthUnit::millimetre));
}

TEST(Frequency, TheDesignsUnitIsItsOwnOrItsObjectFilesUnit) {
  writers::OutputPlan plan;
  EXPECT_FALSE(writers::length_unit_of(plan));
  plan.main_object = writers::ObjectFileRequest{"m.tor", LengthUnit::millimetre, 21};
  EXPECT_EQ(writers::length_unit_of(plan), LengthUnit::millimetre);
  plan.sub_object = writers::ObjectFileRequest{"s.tor", LengthUnit::millimetre, 11};
  EXPECT_EQ(writers::length_unit_of(plan), LengthUnit::millimetre);
  plan.sub_object->unit = LengthUnit::inch;  // two units: none is the design's
  EXPECT_FALSE(writers::length_unit_of(plan));
  plan.unit = LengthUnit::metre;  // said outright, it wins
  EXPECT_EQ(writers::length_unit_of(plan), LengthUnit::metre);
}

const std::string kDesign =
    "[geometry]\n"
    "main_hole_to_feed = 0.2\n"
    "feed_to_sub_rim = 0.5\n"
    "sub_radius = 0.25\n"
    "main_inner_radius = 0.12\n"
    "[feed]\n"
    "beamwidth_deg = 40\n"
    "level_db = -10\n"
    "[aperture]\n"
    "distribution = \"uniform\"\n"
    "[synthesis]\n"
    "calc_interval = 0.001\n"
    "output_interval = 0.02\n"
    "[scale]\n"         // line 14
    "diameter = 100\n"  // line 15
    "[report]\n"
    "folder = \"r\"\n";

std::string with_scale_line(const std::string& line) {
  std::string text = kDesign;
  text.insert(text.find("diameter = 100\n"), line + "\n");
  return text;
}

TEST(DesignFileUnit, ScaleUnitIsReadCheckedAndWrittenBack) {
  const designfile::ReadResult none = designfile::parse(kDesign, "d.toml");
  ASSERT_TRUE(none.file);
  EXPECT_FALSE(none.file->plan.unit);
  EXPECT_EQ(designfile::to_toml(none.file->choices, none.file->plan).find("\nunit = "), std::string::npos);

  const std::pair<const char*, LengthUnit> units[] = {
      {"in", LengthUnit::inch}, {"ft", LengthUnit::foot}, {"mm", LengthUnit::millimetre}, {"m", LengthUnit::metre}};
  for (const auto& [name, unit] : units) {
    const designfile::ReadResult r = designfile::parse(with_scale_line(std::string("unit = \"") + name + "\""), "d.toml");
    ASSERT_TRUE(r.file) << name;
    EXPECT_EQ(r.file->plan.unit, unit);
    const std::string written = designfile::to_toml(r.file->choices, r.file->plan);
    EXPECT_NE(written.find(std::string("\nunit = \"") + name + "\"\n"), std::string::npos) << written;
    const designfile::ReadResult back = designfile::parse(written, "back.toml");
    ASSERT_TRUE(back.file) << written;
    EXPECT_EQ(back.file->plan.unit, unit);
  }
  for (const char* bad : {"unit = \"cm\"", "unit = \"MM\"", "unit = 3"}) {
    const designfile::ReadResult r = designfile::parse(with_scale_line(bad), "d.toml");
    ASSERT_FALSE(r.file) << bad;
    ASSERT_EQ(r.errors.size(), 1u) << bad;
    EXPECT_EQ(diag::render(r.errors.front()).rfind("Error in d.toml, line 15: scale.unit: the unit must be \"in\", "
                                                   "\"ft\", \"mm\" or \"m\", not ",
                                                   0),
              0u)
        << diag::render(r.errors.front());
  }
  const designfile::ReadResult misspelt = designfile::parse(with_scale_line("units = \"mm\""), "d.toml");
  ASSERT_FALSE(misspelt.file);
  EXPECT_NE(diag::render(misspelt.errors.front()).find("scale.units"), std::string::npos);
}

// Design files written before their line ends were LF (and files edited on
// other systems) read as they did.
TEST(DesignFileUnit, CrLfLineEndsReadAsLf) {
  std::string crlf;
  for (char c : with_scale_line("unit = \"m\"")) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const designfile::ReadResult lf = designfile::parse(with_scale_line("unit = \"m\""), "d.toml");
  const designfile::ReadResult cr = designfile::parse(crlf, "d.toml");
  ASSERT_TRUE(lf.file);
  ASSERT_TRUE(cr.file) << (cr.errors.empty() ? "" : diag::render(cr.errors.front()));
  EXPECT_EQ(designfile::to_toml(cr.file->choices, cr.file->plan), designfile::to_toml(lf.file->choices, lf.file->plan));
}

}  // namespace
