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

}  // namespace
