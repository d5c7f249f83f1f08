// The grid of a sweep and the rows it keeps: which inputs each row index
// stands for, counted out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <utility>
#include <string>
#include <vector>
#include <nlohmann/json.hpp>

#include "sweep/sweep.h"
#include "tests/test_util.h"

namespace {

// The first axis varies slowest, like the digits of a number: row i of a
// 3 x 2 x 2 grid is (i / 4, i / 2 mod 2, i mod 2).
TEST(SweepGrid, TheFirstAxisVariesSlowest) {
  const std::vector<sweep::Axis> axes{{"a", 0.0, 1.0, 3}, {"b", 10.0, 20.0, 2}, {"c", -1.0, 1.0, 2}};
  ASSERT_EQ(sweep::grid_size(axes), 12);
  const double a[] = {0.0, 0.5, 1.0}, b[] = {10.0, 20.0}, c[] = {-1.0, 1.0};
  for (long i = 0; i < 12; ++i) {
    const std::vector<double> want{a[i / 4], b[(i / 2) % 2], c[i % 2]};
    EXPECT_EQ(sweep::grid_inputs(axes, i), want) << i;
  }
}

// A sweep's value for a whole-number key is the nearest whole number, a
// half rounded away from 0; a real key takes the value as it is.
TEST(SweepGrid, AWholeNumberKeyTakesTheNearestWholeNumber) {
  const sweep::DesignTemplate t(std::filesystem::path(RAVOST_SOURCE_DIR) / "examples" / "taylor.toml");
  ASSERT_FALSE(t.problem().has_value());
  for (const auto& [value, nbar] : {std::pair{4.4, 4}, {4.5, 5}, {4.6, 5}, {5.0, 5}, {5.49, 5}}) {
    const designfile::ReadResult r = t.with({{"aperture.nbar", value}, {"geometry.sub_radius", 0.2375}});
    ASSERT_TRUE(r.file) << value;
    EXPECT_EQ(r.file->choices.aperture.nbar, nbar) << value;
    EXPECT_DOUBLE_EQ(r.file->choices.geometry.sub_radius, 0.2375) << value;
  }
}

// A diameter the design cannot be scaled to is the inputs' fault, like any
// other refused choice: "refused" with its key, never "failed".
TEST(SweepGrid, ADiameterTheDesignCannotTakeIsRefused) {
  const auto example = std::filesystem::path(RAVOST_SOURCE_DIR) / "examples" / "uniform.toml";
  std::string text = testutil::read_file(example);
  const std::size_t diameter = text.find("\ndiameter = ");
  ASSERT_NE(diameter, std::string::npos);
  text.replace(diameter + 1, text.find('\n', diameter + 1) - diameter - 1, "diameter = 1e-323");
  const std::size_t precision = text.find("\nprecision = ");
  ASSERT_NE(precision, std::string::npos);
  text.replace(precision + 1, text.find('\n', precision + 1) - precision - 1, "precision = \"64-bit\"");
  const sweep::DesignTemplate t(text, example);
  ASSERT_FALSE(t.problem().has_value()) << diag::render(*t.problem());
  const run::Evaluation e = sweep::evaluate(t, {"geometry.sub_radius"}, {0.2}, {});
  EXPECT_EQ(e.status, "refused");
  EXPECT_EQ(e.reason, "scale.diameter: the main reflector diameter is too small for this design.");
  EXPECT_TRUE(std::isnan(e.figure("directivity_dbi")));
}

// A part's rows must lie in its grid: the last index is taken, one past
// it (or before the first) refuses the part.
TEST(SweepGrid, MergingTakesRowsInsideTheGridOnly) {
  testutil::TempDir dir;
  const auto part_with_row = [&](long index) {
    nlohmann::json figures = nlohmann::json::object();
    for (std::string_view name : run::kFigureNames) figures[std::string(name)] = 1.0;
    const nlohmann::json row = {{"index", index}, {"inputs", {0.5}}, {"status", "ok"}, {"reason", ""}, {"figures", figures}};
    const nlohmann::json j = {{"source", "d.toml"},
                              {"axes", {{{"key", "geometry.sub_radius"}, {"lo", 0.2}, {"hi", 0.3}, {"n", 3}}}},
                              {"grid", 3},
                              {"complete", false},
                              {"best_by", "directivity_dbi"},
                              {"best_index", nullptr},
                              {"design_digest", "0123456789abcdef"},
                              {"program_version", "1.1.0"},
                              {"precision", "64-bit"},
                              {"rows", {row}}};
    const auto part = dir.path() / ("part" + std::to_string(index));
    std::filesystem::create_directories(part);
    testutil::write_file(part / "sweep.json", j.dump());
    return sweep::merge({part});
  };
  for (long index : {0L, 2L}) {
    const sweep::Merged m = part_with_row(index);
    EXPECT_EQ(m.problem, "") << index;
    ASSERT_EQ(m.rows.size(), 1u) << index;
    EXPECT_EQ(m.rows[0].index, index);
    EXPECT_FALSE(m.complete);
  }
  for (long index : {-1L, 3L}) {
    const sweep::Merged m = part_with_row(index);
    EXPECT_NE(m.problem.find("holds a row outside its grid"), std::string::npos) << index << ": " << m.problem;
  }
}

// A constraint holds at its value: FIGURE <= V takes a design at V and
// not one a step above it; FIGURE >= V the reverse; a free input's key
// names the input; a design that is not ok is never feasible.
TEST(SweepGrid, AConstraintHoldsAtItsValueAndNotAStepBeyond) {
  sweep::Row row;
  row.inputs = {0.25};
  row.evaluation.figures.fill(0.0);
  const double v = 30.0;
  row.evaluation.figures[static_cast<std::size_t>(run::figure_index("directivity_dbi"))] = v;
  const std::vector<std::string> keys{"geometry.sub_radius"};
  const auto holds = [&](const char* figure, bool at_most, double value) {
    return sweep::feasible(row, keys, {sweep::Constraint{figure, at_most, value}});
  };
  EXPECT_TRUE(holds("directivity_dbi", true, v));
  EXPECT_TRUE(holds("directivity_dbi", true, std::nextafter(v, 100.0)));
  EXPECT_FALSE(holds("directivity_dbi", true, std::nextafter(v, 0.0)));
  EXPECT_TRUE(holds("directivity_dbi", false, v));
  EXPECT_TRUE(holds("directivity_dbi", false, std::nextafter(v, 0.0)));
  EXPECT_FALSE(holds("directivity_dbi", false, std::nextafter(v, 100.0)));
  EXPECT_TRUE(holds("geometry.sub_radius", true, 0.25));
  EXPECT_FALSE(holds("geometry.sub_radius", true, std::nextafter(0.25, 0.0)));
  EXPECT_TRUE(holds("geometry.sub_radius", false, 0.25));
  EXPECT_FALSE(holds("geometry.sub_radius", false, std::nextafter(0.25, 1.0)));
  row.evaluation.status = "failed";
  EXPECT_FALSE(sweep::feasible(row, keys, {}));
}

// An optimum is said to lie at a bound within a thousandth of the range, and
// not a step further in.
TEST(Optimum, LiesAtABoundWithinAThousandthOfTheRange) {
  const std::vector<sweep::Free> free{{"geometry.sub_radius", 0.0, 1024.0}};
  const double margin = sweep::kAtBoundShare * 1024.0;
  EXPECT_EQ(sweep::bounds_reached(free, {0.0}), std::vector<std::string>{"at the lower bound of geometry.sub_radius"});
  EXPECT_EQ(sweep::bounds_reached(free, {margin}).size(), 1u);
  EXPECT_TRUE(sweep::bounds_reached(free, {std::nextafter(margin, 2.0 * margin)}).empty());
  EXPECT_EQ(sweep::bounds_reached(free, {1024.0 - 0.5 * margin}),
            std::vector<std::string>{"at the upper bound of geometry.sub_radius"});
  EXPECT_TRUE(sweep::bounds_reached(free, {1024.0 - 2.0 * margin}).empty());
  EXPECT_TRUE(sweep::bounds_reached(free, {512.0}).empty());
}

// Numbers written back into a design file read back as the same double, in
// the fewest digits, and as reals.
TEST(Optimum, NumbersAreWrittenInTheirShortestForm) {
  EXPECT_EQ(sweep::shortest_real(0.2), "0.2");
  EXPECT_EQ(sweep::shortest_real(0.20000000000000001), "0.2");
  EXPECT_EQ(sweep::shortest_real(2.0), "2.0");
  EXPECT_EQ(sweep::shortest_real(-3.0), "-3.0");
  EXPECT_EQ(sweep::shortest_real(1e-5), "1e-05");
  for (const double v : {1.0 / 3.0, 0.22499999999999998, 123456.789, 1e300})
    EXPECT_EQ(std::stod(sweep::shortest_real(v)), v) << v;
}

// The best design's file is the input with only the optimised values (and
// the precision the figures were computed in) changed: comments, order and
// line ends kept; a key the file does not hold is added to its section.
TEST(Optimum, TheDesignFileIsEditedInPlace) {
  const std::string text =
      "# A design.\n[geometry]\nmain_hole_to_feed = 0.2   # from the hole\nfeed_to_sub_rim = 0.5\n"
      "sub_radius = 0.25 # radius\nmain_inner_radius = 0.12\n\n[feed]\nbeamwidth_deg = 40.0\nlevel_db = -10.0\n\n"
      "[aperture]\ndistribution = \"taylor\"\nsidelobe_db = 25.0\nnbar = 4\n\n[synthesis]\ncalc_interval = 0.001\n"
      "output_interval = 0.02\nprecision = \"32-bit\"\n\n[scale]\ndiameter = 100.0\n";
  const auto file = std::filesystem::path(RAVOST_SOURCE_DIR) / "examples" / "taylor.toml";
  const sweep::DesignTemplate t(text, file);
  ASSERT_FALSE(t.problem().has_value()) << diag::render(*t.problem());
  std::string want = text;
  want.replace(want.find("0.25 # radius"), 4, "0.225");
  want.replace(want.find("nbar = 4"), 8, "nbar = 6");
  want.replace(want.find("\"32-bit\""), 8, "\"64-bit\"");
  EXPECT_EQ(t.edited_text({{"geometry.sub_radius", 0.225}, {"aperture.nbar", 5.6}}, "64-bit"), want);

  // A key of a section the file does not have: the section is added, a
  // [report] with the folder it needs to read back.
  EXPECT_EQ(t.edited_text({{"report.wavelength", 2.5}}), text + "\n[report]\nfolder = \"report\"\nwavelength = 2.5\n");

  // CR LF line ends, no precision in the file, a [report] section without a
  // wavelength: the keys added after their sections' last keys.
  std::string crlf;
  for (const char c : text + "\n[report]\nfolder = \"r\"\n") crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  crlf.erase(crlf.find("precision = \"32-bit\"\r\n"), 22);
  const sweep::DesignTemplate u(crlf, file);
  ASSERT_FALSE(u.problem().has_value());
  const std::string edited = u.edited_text({{"geometry.sub_radius", 0.2}, {"report.wavelength", 2.5}}, "64-bit");
  EXPECT_NE(edited.find("output_interval = 0.02\r\nprecision = \"64-bit\"\r\n\r\n[scale]"), std::string::npos) << edited;
  EXPECT_NE(edited.find("sub_radius = 0.2 # radius\r\n"), std::string::npos);
  EXPECT_TRUE(edited.ends_with("\r\n[report]\r\nfolder = \"r\"\r\nwavelength = 2.5\r\n")) << edited;
  EXPECT_EQ(edited.find('\n', 0), edited.find("\r\n") + 1);
  const sweep::DesignTemplate again(edited, file);
  EXPECT_FALSE(again.problem().has_value()) << diag::render(*again.problem());
}

}  // namespace
