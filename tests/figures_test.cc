// The figure library: round ticks, and the heat map's contours, grey cells
// and marked cell, checked against positions worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "figures/heat_map.h"
#include "figures/svg.h"
#include "figures/ticks.h"
#include "tests/test_util.h"

namespace {

TEST(Ticks, ClosedCases) {
  EXPECT_EQ(figures::nice_ticks(0.0, 1.0), (std::vector<double>{0, 0.2, 0.4, 0.6000000000000001, 0.8, 1}));
  EXPECT_EQ(figures::nice_ticks(-50.0, 0.0, 6), (std::vector<double>{-50, -40, -30, -20, -10, 0}));
  // Steps of 2.5: 0 to 2 in about eight intervals.
  EXPECT_EQ(figures::tick_step(0, 2, 8), 0.25);
  EXPECT_EQ(figures::tick_step(0.0013, 0.0187, 6), 0.0025);
  // Too narrow a range for the nearest step's four ticks takes a smaller step.
  EXPECT_EQ(figures::tick_step(0.21, 0.26, 1), 0.01);
  // A range with round ends keeps ticks on both: 0 to 180 in steps of 20,
  // not 25 (nearer seven intervals) short of the end.
  EXPECT_EQ(figures::tick_step(0, 180, 7), 20.0);
  EXPECT_EQ(figures::tick_step(0, 175, 7), 25.0);
  EXPECT_TRUE(figures::nice_ticks(1.0, 1.0).empty());
  EXPECT_TRUE(figures::nice_ticks(0.0, std::nan("")).empty());
  EXPECT_TRUE(figures::nice_ticks(0.0, INFINITY).empty());
  // A directivity that varies by 3e-5 dB, on the minimum span of a thousandth
  // of its magnitude: the span about its middle, ticks a hundredth apart.
  const figures::Span s = figures::at_least(49.38547, 49.38550, 1e-3 * 49.3855);
  EXPECT_TRUE(s.widened);
  EXPECT_NEAR(s.lo, 49.385485 - 0.02469275, 1e-12);
  EXPECT_NEAR(s.hi, 49.385485 + 0.02469275, 1e-12);
  const auto t = figures::nice_ticks(s.lo, s.hi);
  const double step = figures::tick_step(s.lo, s.hi);
  std::vector<std::string> labels;
  for (double v : t) labels.push_back(figures::tick_label(v, step));
  EXPECT_EQ(labels, (std::vector<std::string>{"49.37", "49.38", "49.39", "49.40", "49.41"}));
  EXPECT_FALSE(figures::at_least(0, 1, 0.5).widened);
  // A path error of a few 1e-7 wavelengths stays positive on its minimum span.
  const figures::Span small = figures::at_least(3.6e-7, 3.9e-7, 1e-3);
  EXPECT_TRUE(small.widened);
  EXPECT_EQ(small.lo, 0.0);
  EXPECT_EQ(small.hi, 1e-3);
  EXPECT_EQ(figures::at_least(-2e-6, -1e-6, 1e-3).hi, 0.0);
  EXPECT_NEAR(figures::at_least(-2e-6, 1e-6, 1e-3).lo, -0.5005e-3, 1e-15);
}

TEST(Ticks, LabelsInTheFewestDigitsTheStepNeeds) {
  EXPECT_EQ(figures::tick_label(0.225, 0.025), "0.225");
  EXPECT_EQ(figures::tick_label(0.22500000000000001, 0.025), "0.225");
  EXPECT_EQ(figures::tick_label(9 * 0.025, 0.025), "0.225");
  EXPECT_EQ(figures::tick_label(0.6000000000000001, 0.2), "0.6");
  EXPECT_EQ(figures::tick_label(1, 0.2), "1.0");
  EXPECT_EQ(figures::tick_label(7.5, 2.5), "7.5");
  EXPECT_EQ(figures::tick_label(75, 25), "75");
  EXPECT_EQ(figures::tick_label(-40, 10), "-40");
  EXPECT_EQ(figures::tick_label(-1e-18, 0.1), "0.0");
  EXPECT_EQ(figures::tick_label(2.5e-5, 2.5e-6), "2.5e-05");
  EXPECT_EQ(figures::tick_label(0, 5e-6), "0");
  EXPECT_EQ(figures::tick_label(3e7, 1e7), "3e+07");
  EXPECT_EQ(figures::tick_label(std::nan(""), 1), "");
}

// Over ranges of every size and place: at least four ticks and at most
// eleven, steps of 1, 2, 2.5 or 5 times a power of ten, and labels that are
// distinct, of at most six significant digits, and read back as the tick.
TEST(Ticks, EveryRangeGetsFourToElevenRoundLabelledTicks) {
  for (double span : {1e-7, 3.3e-5, 0.0017, 0.05, 0.9, 1.0, 7.0, 13.0, 260.0, 4.4e4, 9e8})
    for (double centre : {0.0, -0.3, 1.0, 49.3855, -1234.5, 7.7e5})
      for (int target : {4, 6, 8}) {
        const double mag = std::abs(centre) + span;
        if (span < figures::kLabelSpanShare * mag) continue;  // widened to this on every axis
        const double lo = centre - 0.5 * span, hi = centre + 0.5 * span;
        SCOPED_TRACE(testing::Message() << lo << " to " << hi << ", target " << target);
        const auto t = figures::nice_ticks(lo, hi, target);
        const double step = figures::tick_step(lo, hi, target);
        ASSERT_GE(t.size(), 4u);
        EXPECT_LE(t.size(), 11u);
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-12));
        EXPECT_TRUE(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 || std::abs(mantissa - 2.5) < 1e-9 ||
                    std::abs(mantissa - 5) < 1e-9)
            << step;
        std::set<std::string> seen;
        for (double v : t) {
          EXPECT_GE(v, lo - 1e-9 * step);
          EXPECT_LE(v, hi + 1e-9 * step);
          const std::string label = figures::tick_label(v, step);
          EXPECT_LE(testutil::significant_digits(label), 6) << label;
          EXPECT_NEAR(std::stod(label), v, 1e-6 * step) << label;
          EXPECT_TRUE(seen.insert(label).second) << label;
        }
      }
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
  // above; the levels are the round ticks of 0..2 (0.25 apart), and level 0
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
  ASSERT_EQ(expected.size(), 8u);
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

namespace {

// A chart of three points that differ by 3e-5 around 49.3855.
figures::Chart jitter(double min_span) {
  figures::Chart c;
  c.id = "jitter";
  c.title = "jitter";
  c.y_min_span = min_span;
  c.series.push_back({"values", "#000000", {1, 2, 3}, {49.38547, 49.38548, 49.3855}, 1.6, false, false});
  return c;
}

std::vector<std::string> labels_anchored(const std::string& svg, const std::string& anchor) {
  std::vector<std::string> out;
  for (const auto& l : testutil::number_labels(svg))
    if (l.anchor == anchor) out.push_back(l.text);
  return out;
}

TEST(Chart, ValuesThatVaryLessThanTheMinimumSpanAreDrawnFlatOnIt) {
  const std::string flat = figures::render(jitter(1e-3 * 49.3855));
  // The minimum span 49.3608 to 49.4102, widened to its round ticks.
  EXPECT_EQ(labels_anchored(flat, "end"),
            (std::vector<std::string>{"49.36", "49.37", "49.38", "49.39", "49.40", "49.41", "49.42"}));
  EXPECT_NE(flat.find("values vary less than 0.0494: minimum span shown"), std::string::npos);
  // Without a minimum span the axis is as narrow as six significant digits
  // allow, its labels still distinct.
  const std::string narrow = figures::render(jitter(0));
  const auto y = labels_anchored(narrow, "end");
  ASSERT_GE(y.size(), 4u);
  EXPECT_EQ(std::set<std::string>(y.begin(), y.end()).size(), y.size());
  for (const auto& l : testutil::number_labels(narrow)) EXPECT_LE(testutil::significant_digits(l.text), 6) << l.text;
  EXPECT_EQ(narrow.find("minimum span"), std::string::npos);
  EXPECT_LE(std::stod(y.back()) - std::stod(y.front()), 0.1);
}

TEST(Chart, MarkersCarryTheirShapesAndHoverTexts) {
  figures::Chart c;
  c.id = "m";
  c.title = "markers";
  c.x_range = {0, 10};
  c.y_range = {0, 10};
  figures::Series ring{"warned", "#e08a00", {2}, {5}, 1.4, false, true};
  ring.shape = figures::Series::Shape::ring;
  ring.tips = {"short of the rim & more"};
  figures::Series cross{"refused", "#303030", {6}, {std::nan("")}, 1.4, false, true};
  cross.shape = figures::Series::Shape::cross;
  cross.at_axis = true;
  cross.tips = {"too wide"};
  c.series = {ring, cross};
  const std::string svg = figures::render(c);
  // The plot is 658 x 332 pixels from (78, 40): x = 2 at 209.6, y = 5 at 206.
  EXPECT_NE(svg.find("<circle cx=\"209.60\" cy=\"206.00\" r=\"2.10\" fill=\"white\" stroke=\"#e08a00\" stroke-width=\"1.5\">"
                     "<title>short of the rim &amp; more</title></circle>"),
            std::string::npos)
      << svg;
  // The cross sits on the bottom edge (y = 372) at x = 6 (472.8), inside the plot.
  const std::regex path("<path d=\"M([0-9.]+),([0-9.]+)L([0-9.]+),([0-9.]+)M[^\"]*\" stroke=\"#303030\"[^>]*><title>too wide</title></path>");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(svg, m, path)) << svg;
  EXPECT_NEAR(0.5 * (std::stod(m[1]) + std::stod(m[3])), 472.8, 1e-9);
  const double cy = 0.5 * (std::stod(m[2]) + std::stod(m[4]));
  EXPECT_LT(cy, 372.0 - 2.6);
  EXPECT_GT(cy, 372.0 - 10);
  // Both in the legend.
  EXPECT_NE(svg.find(">warned</text>"), std::string::npos);
  EXPECT_NE(svg.find(">refused</text>"), std::string::npos);
}

TEST(HeatMap, TicksOnBothInputsAndTheColourBar) {
  const std::string svg = figures::render(square(std::nan("")));
  // Across: cells 1 and 2 centred at 230 and 510, ticks 0.25 apart from 0.5 to 2.5.
  EXPECT_NE(svg.find("<text x=\"230\" y=\"478\" text-anchor=\"middle\">1.00</text>"), std::string::npos);
  EXPECT_NE(svg.find("<text x=\"440\" y=\"478\" text-anchor=\"middle\">1.75</text>"), std::string::npos);
  EXPECT_EQ(labels_anchored(svg, "middle").size(), 9u);
  // Up: rows 10 and 20 centred at 355 and 145, ticks 2.5 apart from 5 to 25.
  EXPECT_NE(svg.find("<text x=\"82\" y=\"359\" text-anchor=\"end\">10.0</text>"), std::string::npos);
  EXPECT_NE(svg.find("<text x=\"82\" y=\"96.5\" text-anchor=\"end\">22.5</text>"), std::string::npos);
  // The colour bar, from 0 (y = 460) to 1 (y = 40), 0.2 apart.
  EXPECT_NE(svg.find("<text x=\"706\" y=\"212\">0.6</text>"), std::string::npos);
  EXPECT_EQ(labels_anchored(svg, "").size(), 6u);
}

TEST(HeatMap, WarnedRefusedAndFailedCellsAreMarkedWithWhyAndALegend) {
  figures::HeatMap m = square(3);
  using Cell = figures::HeatMap::Cell;
  m.kinds = {Cell::value, Cell::warned, Cell::refused, Cell::failed};
  m.tips = {"", "short of the rim", "too wide", "broke down"};
  const std::string svg = figures::render(m);
  EXPECT_NE(svg.find("<title>up = 10, across = 2: warned (1): short of the rim</title>"), std::string::npos);
  EXPECT_NE(svg.find("<title>up = 20, across = 1: refused (1): too wide</title>"), std::string::npos);
  EXPECT_NE(svg.find("<title>up = 20, across = 2: failed (3): broke down</title>"), std::string::npos);
  // Only the clean cell is coloured, in the middle of a scale of one value.
  EXPECT_EQ(all(svg, "fill=\"" + figures::heat_colour(0.5) + "\"><title>").size(), 1u);
  EXPECT_EQ(all(svg, "<circle cx=\"510\" cy=\"355\" r=\"7\" fill=\"none\" stroke=\"#e08a00\"").size(), 1u);
  EXPECT_EQ(all(svg, "<path d=\"M[^\"]*\" stroke=\"#303030\"").size(), 2u);  // the cell and the legend
  EXPECT_EQ(all(svg, "<path d=\"M[^\"]*\" stroke=\"#c00000\"").size(), 2u);
  for (const char* entry : {">warned design (not a candidate)</text>", ">refused design</text>", ">failed design</text>"})
    EXPECT_NE(svg.find(entry), std::string::npos) << entry;
  EXPECT_TRUE(all(svg, "<line ").empty());  // no contour through marked cells
}

TEST(HeatMap, JitterIsNotColouredOrContoured) {
  figures::HeatMap m = square(0);
  m.values = {49.38547, 49.38548, 49.38549, 49.3855};
  m.min_span = 1e-3 * 49.3855;
  const std::string svg = figures::render(m);
  EXPECT_TRUE(all(svg, "<line ").empty());
  EXPECT_NE(svg.find("values vary less than 0.0494: colour scale at that minimum span"), std::string::npos);
  // Every cell within a step of the scale's middle colour.
  const auto fills = all(svg, "fill=\"#[0-9a-f]{6}\"><title>");
  ASSERT_EQ(fills.size(), 4u);
  const std::string middle = figures::heat_colour(0.5);
  for (const auto& f : fills)
    for (std::size_t c = 0; c < 3; ++c)
      EXPECT_LE(std::abs(std::stoi(f.substr(7 + 2 * c, 2), nullptr, 16) - std::stoi(middle.substr(1 + 2 * c, 2), nullptr, 16)), 2)
          << f;
  const auto bar = labels_anchored(svg, "");
  EXPECT_EQ(bar, (std::vector<std::string>{"49.37", "49.38", "49.39", "49.40", "49.41"}));
}

}  // namespace
