// One design judged by its figures alone, without a file written: validated,
// synthesised in 64-bit reals, self-checked and traced by the report's
// analysis.  Sweeps and optimisation run thousands of these.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "design/choices.h"

namespace run {

// The figures of merit a sweep tabulates and an optimisation may maximise,
// minimise or constrain, by name: the geometrical optics' first, then the
// physical optics' (named po_*, computed only when the options ask for the
// physical optics).
inline constexpr std::array<std::string_view, 19> kFigureNames = {
    "directivity_dbi", "efficiency",        "spillover",       "illumination",
    "blockage",        "phase",             "hpbw_deg",        "first_null_deg",
    "first_sidelobe_db", "path_error_wavelengths", "edge_taper_db", "sub_diameter",
    "surface",
    "po_directivity_dbi", "po_first_sidelobe_db", "po_cross_polar_peak_db", "po_hpbw_deg",
    "po_spillover_past_sub", "po_spillover_past_main"};
// The physical optics' figures are kFigureNames[kPhysicalOpticsFigures] on.
inline constexpr std::size_t kPhysicalOpticsFigures = 13;

struct Evaluation {
  // "ok"; "warned": designed, with a warning that makes its figures other
  // than asked for (a ray table short of the rim, say); "refused": the
  // inputs do not make a design; "failed": the synthesis broke down, failed
  // its self-check or could not be traced.
  std::string status = "ok";
  std::string reason;  // one sentence when not designed
  std::vector<std::string> warnings;  // every warning of the design's run, one sentence each
  std::array<double, kFigureNames.size()> figures{};  // NaN when not designed
  // The physical optics was asked for: the po_* figures are the design's,
  // each the same as its report.json's physical_optics gives (NaN where that
  // is null: no sidelobe found, no cross-polar field).  Without it they are
  // NaN and no file tabulates them.
  bool physical_optics = false;

  bool ok() const { return status == "ok"; }
  // Designed, with or without warnings: the figures are the design's.
  bool designed() const { return status == "ok" || status == "warned"; }
  // The figure of that name; NaN for an unknown name or a design not designed.
  double figure(std::string_view name) const;
};

// The index of a figure's name in kFigureNames, or -1.
int figure_index(std::string_view name);
// Whether the figure of that name is one of the physical optics'.
bool is_physical_optics_figure(std::string_view name);
// The names of the figures an evaluation carries: the physical optics' only
// with it.
std::vector<std::string_view> figure_names(bool physical_optics);

// The figures are the design report's own (the report of the same design
// run alone in 64-bit reals, with the same diameter and wavelength).
struct EvaluationOptions {
  double diameter = 2.0;  // main reflector diameter, for sub_diameter
  double wavelength = 0;  // in the unit of the diameter; 0: the report's assumed D/lambda
  // The subreflector extrapolated to this diameter, as the design file asks.
  std::optional<double> extrapolated_sub_diameter;
  // The physical optics of the design: its figures join the evaluation's
  // (computed without the parts of the report that none of them needs), and
  // the written report adds it.
  bool physical_optics = false;
  // Threads of one evaluation's physical optics; 0: as many as the machine
  // has (a sweep that evaluates designs side by side gives each fewer).
  int physical_optics_threads = 0;
  // The RMS of a random surface error (the unit of the diameter) whose loss
  // the figures carry.
  double surface_rms = 0;
  // The Taylor series built so far, shared by every evaluation made with a
  // copy of these options (a sweep's designs share their distribution).
  std::shared_ptr<design::SeriesCache> series = std::make_shared<design::SeriesCache>();
  // Asked now and then during the synthesis and the report; true stops the
  // evaluation (evaluate and write_design_report throw run::Stopped).  May
  // be empty.
  std::function<bool()> stop = {};
};

// Evaluates the design of `choices` in 64-bit reals, whatever precision it names.
Evaluation evaluate(design::DesignSpec choices, const EvaluationOptions& options);

// The whole design report of `choices` (64-bit reals) into the folder `dir`,
// written whole, with the physical optics when the options ask for it.  Throws io::RunError (or another exception) when the design
// cannot be made or the report written.
void write_design_report(design::DesignSpec choices, const EvaluationOptions& options,
                         const std::filesystem::path& dir);

}  // namespace run
