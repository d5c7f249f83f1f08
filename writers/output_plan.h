// What a run writes besides the ray table, as one value: the scale of the
// design, the subreflector extrapolation, the dimension listings, surface
// and object files, the figure and the report.  The dialog fills it question
// by question; a design file gives it whole.  File names are as given,
// relative to the folder of the run.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "design/choices.h"
#include "writers/files.h"

namespace writers {

// Widths of the answers that hold names and labels.
inline constexpr int kPlotNameWidth = 40;
inline constexpr int kFileNameWidth = 70;
inline constexpr int kLabelWidth = 40;
// Point counts of the surface and object files.
inline constexpr int kMaxSurfacePoints = 9999;
inline constexpr int kMinObjectPoints = 2;

struct ListingRequest {
  double start = 0, stop = 0, step = 0;
};

struct SurfaceFileRequest {
  std::string file;
  int points = 0;
  std::string label;
};

struct ObjectFileRequest {
  std::string file;
  LengthUnit unit = LengthUnit::inch;
  int points = 0;
};

struct ReportRequest {
  std::filesystem::path dir;
  double wavelength = 0.0;  // in the unit of the diameter; 0: D/lambda = 100
  bool physical_optics = false;  // add the physical optics of the design
  // A frequency in Hz (--frequency) that gives the wavelength once the
  // design's length unit is known; none: the wavelength stands as given.
  std::optional<double> frequency = std::nullopt;
  // RMS of a random surface error, in the unit of the diameter: the figures
  // carry its loss (0: smooth surfaces).
  double surface_rms = 0.0;
};

struct OutputPlan {
  std::optional<std::string> figure_file;
  double diameter = 0;  // of the main reflector
  // The length unit of the diameter and every length the plan gives (a
  // design file's [scale] unit), when it is said.
  std::optional<LengthUnit> unit;
  std::optional<double> extrapolated_sub_diameter;
  std::optional<ListingRequest> main_listing, sub_listing;
  std::optional<SurfaceFileRequest> main_surface, sub_surface;
  std::optional<ObjectFileRequest> main_object, sub_object;
  std::optional<ReportRequest> report;
};

// The problems of a plan that need no design to find: counts, units, names,
// labels, the diameter's sign.  Those that depend on the design (a diameter
// too large for it, radii too far outside a reflector to list) are found
// when the run reaches them.
std::vector<design::Problem> validate(const OutputPlan& plan);

// The problem of one count, unit or name, or none.
std::optional<design::Problem> surface_points_problem(int points);
std::optional<design::Problem> spline_points_problem(int points);
std::optional<design::Problem> length_unit_problem(int choice);

}  // namespace writers
