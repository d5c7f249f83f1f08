// The stages of a run, in the order the driver calls them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "plothpfa/plothpfa.h"
#include "ravost/dialog.h"
#include "ravost/files.h"
#include "ravost/ravost.h"

namespace ravost {

// Answers of the output stages.  Each replaces the previous answer of the
// same kind, so an empty value in a later answer keeps the earlier one.
struct Answers {
  float list_start = 0.0f;
  float list_stop = 0.0f;
  float list_step = 0.0f;
  int list_count = 0;
  std::string output_file_name;  // 70 characters, surface and object files
  int radius_points = 0;
  std::string surface_label;     // 40 characters
  int length_unit_choice = 0;
  int spline_points = 0;
};

// What every stage works with besides the design: the dialog, the listing
// file "ravost.out", the folder in which answered file names are created, and
// the plotting settings.
struct Session {
  Dialog& dialog;
  OutFile& listing;
  std::filesystem::path dir;
  plothpfa::PLOTIF plotif;
  // Files that stay open for the whole run (the listing, the answer file):
  // no stage may create a file over them.
  std::vector<std::filesystem::path> run_files = {};
  Answers answers = {};

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
};

// The one-line complaint for an answered name that is in use by the run.
inline std::string in_use_problem(std::string_view name) {
  return "The file \"" + std::string(name) +
         "\" is the listing or the answer file of this run; give another name.";
}

enum class Reflector { main, sub };

// The opening dialog: geometry, feed, aperture distribution and intervals,
// with the feed and aperture power balance; writes the normalised design to
// the listing file.
void design_inputs(Design& d, Session& s);

// Integrates both surfaces, prints the ray table and fills the RayTable.
void synthesize(Design& d, Session& s);

// Asks for the plot file and writes the dual reflector figure to it.
void dual_reflector_figure(const Design& d, Session& s);

// Scales the design to the answered diameter, prints it, offers the
// subreflector extrapolation and sets up both splines.
void scale_design(Design& d, Session& s);

// A listing of one reflector's height at chosen radii.
void list_dimensions(const Design& d, Session& s, Reflector which);

// A surface file of one reflector.
void write_surface_file(const Design& d, Session& s, Reflector which);

// An object file of one reflector's spline with one variable per node.
void write_object_file(const Design& d, Session& s, Reflector which);

}  // namespace ravost
