// The one renderer of problems: its line forms, sentence case after the
// prefix, and the exception that carries diagnostics.
#include "diag/diagnostic.h"

#include <gtest/gtest.h>

namespace {

using diag::Diagnostic;
using diag::Severity;

TEST(Diagnostic, RendersEachLineForm) {
  EXPECT_EQ(render(diag::error("The file \"a\" cannot be read.")), "Error: the file \"a\" cannot be read.");
  EXPECT_EQ(render(diag::at(diag::error("Must be above 0.", "geometry.sub_radius"), "d.toml", 4)),
            "Error in d.toml, line 4: geometry.sub_radius: must be above 0.");
  EXPECT_EQ(render(diag::at(diag::error("The file cannot be used."), "d.toml", 0)),
            "Error in d.toml: the file cannot be used.");
  EXPECT_EQ(render(diag::warning("an edge taper of -3 dB")), "Warning: an edge taper of -3 dB");
  Diagnostic d = diag::error("a beamwidth of 0 gives no feed.", "feed.beamwidth_deg");
  d.suggestion = "Try 10 to 40 degrees.";
  EXPECT_EQ(render(d), "Error: feed.beamwidth_deg: a beamwidth of 0 gives no feed.\nTry 10 to 40 degrees.");
}

TEST(Diagnostic, TextIsTheLineWithoutSeverityAndPlace) {
  Diagnostic d = diag::at(diag::error("Must be above 0.", "geometry.sub_radius"), "d.toml", 4);
  EXPECT_EQ(diag::text(d), "geometry.sub_radius: must be above 0.");
  d.key.clear();
  d.suggestion = "Try 0.2.";
  EXPECT_EQ(diag::text(d), "must be above 0.\nTry 0.2.");
  EXPECT_EQ(render(d), "Error in d.toml, line 4: " + diag::text(d));
}

TEST(Diagnostic, SentenceCaseKeepsAbbreviationsAndNames) {
  EXPECT_EQ(diag::sentence_case("The file"), "the file");
  EXPECT_EQ(diag::sentence_case("TOML is not valid"), "TOML is not valid");
  EXPECT_EQ(diag::sentence_case("A"), "a");
  EXPECT_EQ(diag::sentence_case("--double"), "--double");
  EXPECT_EQ(diag::sentence_case(""), "");
}

TEST(Diagnostic, FailureCarriesEveryDiagnosticAndRendersThemOnePerLine) {
  const diag::Failure f({diag::error("One.", "a"), diag::warning("two.")});
  EXPECT_STREQ(f.what(), "Error: a: one.\nWarning: two.");
  ASSERT_EQ(f.diagnostics().size(), 2u);
  EXPECT_TRUE(diag::has_error(f.diagnostics()));
  EXPECT_FALSE(diag::has_error({diag::warning("w")}));
}

}  // namespace
