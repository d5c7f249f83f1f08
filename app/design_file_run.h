// The two front ends that work with design files: running one, and writing
// the design file of an answer file.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

#include "diag/diagnostic.h"
#include "dialog/driver.h"

namespace app {

// What the command line says of the design report, each part given or not:
// --report DIR, --wavelength W, --frequency F (Hz), --physical-optics.
struct ReportOptions {
  std::optional<std::filesystem::path> dir;
  std::optional<double> wavelength;
  std::optional<double> frequency;
  bool physical_optics = false;

  // Whether any part but the folder is given.
  bool given() const { return wavelength || frequency || physical_optics; }
  // The option of the first part given but the folder, for a message.
  const char* first_given() const {
    return wavelength ? "--wavelength" : frequency ? "--frequency" : "--physical-optics";
  }
};

// What the command line adds to a design file: --double and the report's
// options, each replacing the [report] key it stands for.
struct DesignFileOptions {
  bool force_double = false;
  ReportOptions report;
  bool show_progress = false;  // on the error stream, a terminal
  // At a normal end, tell on the error stream (a terminal) what the run
  // wrote and the report's headline figures.
  bool show_summary = false;
};

// The design file's report request with the command line's parts in place of
// its keys: --report the folder, --wavelength or --frequency the wavelength
// (a frequency in the design's length unit), --physical-optics the physical
// optics.  Nothing to change when no part is given; an error (without a
// place) when a part is given with no report to apply it to, or a frequency
// for a design that names no length unit.
std::optional<diag::Diagnostic> apply_report_options(const ReportOptions& options, writers::OutputPlan& plan);


// Reads, validates and runs a design file: tables to `out`, reports and
// warnings to `err`, ravost.out and the files it names in `dir`.  A file with
// problems writes nothing and gives one line per problem.  Returns the exit
// status: 0 at a normal end, 1 otherwise.
int run_design_file(const std::filesystem::path& file, std::ostream& out, std::ostream& err,
                    const std::filesystem::path& dir, const DesignFileOptions& options);

// Reads an answer file as the dialog would (computing the design, writing no
// file) and prints the equivalent design file to `out`.  `written_in` is the
// folder the design file goes to, when known: a feed file is named relative
// to it (as a design file reads it), else by its absolute path.  Returns the
// exit status.
int answers_to_design_file(const std::string& answers, std::ostream& out, std::ostream& err,
                           const std::filesystem::path& dir, const dialog::RunOptions& options,
                           const std::optional<std::filesystem::path>& written_in = std::nullopt);

// Saves the lines a person typed as the answer file ravost.ans in `dir`, and
// the design file ravost.toml when the design was complete, both with LF
// line ends.  An earlier ravost.ans holding other answers is kept as
// ravost.ans~ (replacing an older one), and `kept_previous` says so.
// Returns what went wrong, or nothing.
std::optional<diag::Diagnostic> save_typed_answers(const dialog::Chosen& chosen, const std::filesystem::path& dir,
                                                   bool* kept_previous = nullptr);

}  // namespace app
