// How far a misspelt key may stray and still be named: one letter in a key
// of up to four, two up to eight, three beyond; at each limit and one
// letter past it.
#include <gtest/gtest.h>

#include <string>

#include "designfile/design_file.h"

namespace {

const std::string kFile =
    "[geometry]\nmain_hole_to_feed = 0.2\nfeed_to_sub_rim = 0.5\nsub_radius = 0.25\nmain_inner_radius = 0.12\n"
    "[feed]\nbeamwidth_deg = 40\nlevel_db = -10\n"
    "[aperture]\ndistribution = \"uniform\"\n"
    "[synthesis]\ncalc_interval = 0.001\noutput_interval = 0.02\n"
    "[scale]\ndiameter = 100\n"
    "[object.main]\nfile = \"m.tor\"\nunit = \"mm\"\npoints = 21\n";

// The errors of the file with one key's name replaced, on one line each.
std::string errors_with(const std::string& key, const std::string& as) {
  std::string text = kFile;
  text.replace(text.find("\n" + key + " = ") + 1, key.size(), as);
  const designfile::ReadResult r = designfile::parse(text, "t.toml");
  EXPECT_FALSE(r.file.has_value()) << as;
  std::string all;
  for (const diag::Diagnostic& d : r.errors) all += diag::render(d) + "\n";
  return all;
}

TEST(DesignFileSuggestion, AMisspeltKeyIsNamedUpToItsLengthsLimit) {
  // "unit": four letters, one may differ.
  EXPECT_NE(errors_with("unit", "unix").find("did you mean object.main.unit?"), std::string::npos);
  EXPECT_EQ(errors_with("unit", "onix").find("did you mean"), std::string::npos);
  // "diameter": eight letters, two may differ.
  EXPECT_NE(errors_with("diameter", "diamexxr").find("did you mean scale.diameter?"), std::string::npos);
  EXPECT_EQ(errors_with("diameter", "dixmexxr").find("did you mean"), std::string::npos);
  // "sub_radius": ten letters, three may differ.
  EXPECT_NE(errors_with("sub_radius", "sub_rxxxus").find("did you mean geometry.sub_radius?"), std::string::npos);
  EXPECT_EQ(errors_with("sub_radius", "sxb_rxxxus").find("did you mean"), std::string::npos);
  // Two letters swapped count as one.
  EXPECT_NE(errors_with("unit", "uint").find("did you mean object.main.unit?"), std::string::npos);
}

}  // namespace
