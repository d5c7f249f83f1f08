// The figure library: round ticks, and the heat map's contours, grey cells
// and marked cell, checked against positions worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "figures/heat_map.h"
#include "figures/svg.h"

namespace {

TEST(SvgTicks, RoundNumbersCoveringTheRange) {
  EXPECT_EQ(figures::nice_ticks(-50.0, 0.0, 6), (std::vector<double>{-50, -40, -30, -20, -10, 0}));
  const auto t = figures::nice_ticks(0.0013, 0.0187, 6);
  ASSERT_GE(t.size(), 4u);
  for (double v : t) EXPECT_NEAR(std::remainder(v, 0.002), 0.0, 1e-15);
  EXPECT_TRUE(figures::nice_ticks(1.0, 1.0).empty());
}

std::vector<std::string> all(const std::string& text, const std::string& pattern) {
  std::vector<std::string> found;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
    found.push_back(it->str());
  return found;
}

// A 2 x 2 grid rising from 0 at the bottom left: the map is 560 x 420 pixels
// from (90, 40), so the cell centres are at x = 230, 510 and y = 355, 145.
figures::HeatMap square(double top_right) {
  figures::HeatMap m;
  m.title = "a & b";
  m.x_label = "across";
  m.y_label = "up";
  m.x_values = {1, 2};
  m.y_values = {10, 20};
  m.x_range = {1, 2};
  m.y_range = {10, 20};
  m.values = {0, 1, 1, top_right};  // bottom row, then the top row
  return m;
}

TEST(HeatMap, ContoursCrossTheEdgesWhereTheValuesPassTheLevel) {
  // Values 0 and 2 at the bottom-left and top-right centres, 1 at the other
  // two.  In cell units from the bottom-left centre, the contour of level L
  // runs from (L, 0) to (0, L) for L <= 1 and from (1, L - 1) to (L - 1, 1)
  // above; the levels are the round ticks of 0..2 (0.2 apart), and level 0
  // touches no edge from below.
  const std::string svg = figures::render(square(2));
  const std::regex line("<line x1=\"([^\"]+)\" y1=\"([^\"]+)\" x2=\"([^\"]+)\" y2=\"([^\"]+)\"/>");
  std::vector<std::vector<double>> drawn;
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), line); it != std::sregex_iterator(); ++it)
    drawn.push_back({std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]), std::stod((*it)[4])});
  const auto px = [](double i) { return 90 + (i + 0.5) * 280; };
  const auto py = [](double j) { return 460 - (j + 0.5) * 210; };
  std::vector<std::vector<double>> expected;
  for (double level : figures::nice_ticks(0, 2, 8)) {
    if (level == 0) continue;
    if (level <= 1)
      expected.push_back({px(level), py(0), px(0), py(level)});
    else
      expected.push_back({px(1), py(level - 1), px(level - 1), py(1)});
  }
  ASSERT_EQ(expected.size(), 10u);
  ASSERT_EQ(drawn.size(), expected.size());
  for (std::size_t k = 0; k < drawn.size(); ++k)
    for (std::size_t c = 0; c < 4; ++c) EXPECT_NEAR(drawn[k][c], expected[k][c], 1e-3) << "line " << k << ", coordinate " << c;
  EXPECT_NE(svg.find(">a &amp; b</text>"), std::string::npos);
  EXPECT_EQ(svg.find("<circle"), std::string::npos);
}

TEST(HeatMap, CellsWithoutAValueAreGreyAndDrawNoContour) {
  figures::HeatMap m = square(std::nan(""));
  m.missing = "no design";
  m.marked = 1;  // bottom right
  const std::string svg = figures::render(m);
  EXPECT_TRUE(all(svg, "<line ").empty());
  const auto grey = all(svg, "fill=\"#c8c8c8\"><title>[^<]*</title>");
  ASSERT_EQ(grey.size(), 1u);
  EXPECT_EQ(grey[0], "fill=\"#c8c8c8\"><title>up = 20, across = 2: no design</title>");
  // The colour scale runs from the lowest value (0) to the highest (1).
  EXPECT_NE(svg.find("fill=\"#440154\"><title>up = 10, across = 1: 0</title>"), std::string::npos);
  EXPECT_NE(svg.find("fill=\"#fde725\"><title>up = 10, across = 2: 1</title>"), std::string::npos);
  EXPECT_EQ(all(svg, "<circle cx=\"510\" cy=\"355\" ").size(), 1u);
}

}  // namespace
