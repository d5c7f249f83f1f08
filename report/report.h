// The design report's files: report.json, report.html, the SVG figures and
// the CSV tables beside them, and the physical optics' cuts.
#pragma once

#include <filesystem>
#include <nlohmann/json_fwd.hpp>

#include "analysis/analysis.h"

namespace report {

// Writes report.json, report.html, geometry.svg, aperture.svg, pattern.svg,
// path_error.svg, feed.svg and the CSV files beside them (and po_pattern.csv
// and po_pattern.cut with physical optics) into dir (created if missing),
// all of them or none: on failure the older files stay as they were and a
// folder made for the report is removed again.  Throws io::RunError when a
// file cannot be written.
void write_report(const analysis::Report& report, const analysis::DesignInput& design, const std::filesystem::path& dir);

// What report.json holds, as a value.
nlohmann::json report_json(const analysis::Report& report, const analysis::DesignInput& design);

}  // namespace report
