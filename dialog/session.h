// What every stage of a run works with besides the design: the dialog, the
// listing file "ravost.out", the folder in which answered file names are
// created, the plotting settings and the answers of the output stages.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "design/real.h"
#include "dialog/dialog.h"
#include "dialog/files.h"
#include "numerics/pause.h"
#include "plothpfa/plothpfa.h"

namespace dialog {

// Answers of the output stages.  Each replaces the previous answer of the
// same kind, so an empty value in a later answer keeps the earlier one.
template <design::RealType Real>
struct Answers {
  Real list_start = 0;
  Real list_stop = 0;
  Real list_step = 0;
  std::string output_file_name;  // 70 characters, surface and object files
  int radius_points = 0;
  std::string surface_label;  // 40 characters
  int length_unit_choice = 0;
  int spline_points = 0;
};

template <design::RealType Real>
struct Session {
  Dialog& dialog;
  OutFile& listing;
  std::filesystem::path dir;
  plothpfa::PLOTIF plotif;
  // Files that stay open for the whole run (the listing, the answer file):
  // no stage may create a file over them.
  std::vector<std::filesystem::path> run_files = {};
  Answers<Real> answers = {};

  // A file name as answered, taken relative to `dir`.
  std::filesystem::path path(std::string_view name) const { return dir / name; }

  // True when the answered name is one of the run's open files.
  bool in_use(std::string_view name) const {
    std::error_code ec;
    for (const auto& f : run_files) {
      if (std::filesystem::equivalent(path(name), f, ec)) return true;
    }
    return false;
  }

  // Writes one line to the console and then to the listing file.
  void both(const std::string& text) {
    dialog.line(text);
    listing.line(text);
  }

  // The pause of the spline and interpolation routines, through the dialog.
  numerics::PauseHandler pause() {
    return [d = &dialog](std::string_view message) { d->pause(message); };
  }
};

// The one-line complaint for an answered name that is in use by the run.
inline std::string in_use_problem(std::string_view name) {
  return "The file \"" + std::string(name) +
         "\" is the listing or the answer file of this run; give another name.";
}

}  // namespace dialog
