// The parts of the design report the writer puts together: the figures,
// the tables, the JSON and the page.  Internal to the report library.
#pragma once

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis.h"
#include "analysis/levels.h"
#include "fields/prose.h"
#include "figures/svg.h"

namespace report {

// A power ratio in dB, a power of 0 at the analysis's floor.
inline double db(double power) { return 10.0 * std::log10(std::max(power, analysis::kFloorPowerRatio)); }

// A number for the tables and the page, "nan" when it is not finite.
inline std::string num(double v, int digits = 9) {
  if (!std::isfinite(v)) return "nan";
  return fields::number(v, digits);
}

// Rays in increasing landing radius.
std::vector<std::size_t> by_radius(const analysis::Report& r);

// The length unit of the figures' axes: the design's, or words for it.
std::string length_label(const analysis::DesignInput& d);

// The aperture density at evenly spaced radii from the hole to the rim:
// wanted, the design's (its own mapping, else its trace) and the written
// surfaces' (NaN where a curve does not reach or without written surfaces).
struct AperturePoint {
  double rho, wanted, design, written;
};
std::vector<AperturePoint> aperture_samples(const analysis::Report& r, const analysis::DesignInput& d);

// The feed figure spans the angles that matter: up to this many times the
// subreflector's half angle (the page holds the whole pattern too).
inline constexpr double kFeedFigureSpan = 1.5;
// That span in degrees, rounded up to 5 degrees, within the known pattern.
double feed_figure_limit_deg(const analysis::DesignInput& d);

// The feed's power pattern as the design used it, on angles up to where it
// is known: from the model, and the planes of a table.
struct FeedCurve {
  std::vector<double> theta_deg, power_db;
};
FeedCurve feed_curve(const analysis::DesignInput& d);

// The figures (charts.cc).
figures::Chart geometry_chart(const analysis::Report& r, const analysis::DesignInput& d);
figures::Chart aperture_chart(const analysis::Report& r, const analysis::DesignInput& d);
figures::Chart pattern_chart(const analysis::Report& r);
figures::Chart path_chart(const analysis::Report& r, const analysis::DesignInput& d);
// The physical optics' cuts near the beam and to 180 degrees (the report
// must hold physical optics).
std::vector<figures::Chart> po_pattern_charts(const analysis::Report& r);
// The feed pattern from 0 to `to_deg` degrees.
figures::Chart feed_chart(const analysis::Report& r, const analysis::DesignInput& d, double to_deg);

// The CSV files and the physical optics' cut file (tables.cc).
std::string feed_csv(const analysis::DesignInput& d);
std::string aperture_csv(const analysis::Report& r, const analysis::DesignInput& d);
std::string pattern_csv(const analysis::Report& r);
std::string path_csv(const analysis::Report& r);
std::string geometry_csv(const analysis::DesignInput& d);
std::string po_pattern_csv(const analysis::PhysicalOptics& p);
std::string po_pattern_cut(const analysis::PhysicalOptics& p);

// report.html with these figures (file name, SVG text) in it (page.cc).
// The whole feed pattern, when the feed figure shows only part of it, is
// on the page as `whole_feed` (SVG text; empty: none).
std::string report_html(const analysis::Report& r, const analysis::DesignInput& d,
                        const std::vector<std::pair<std::string, std::string>>& charts,
                        const std::string& whole_feed = {});

}  // namespace report
