// What every stage of a run writes to besides its own files: the console
// (lines, warnings and the interpolation pause, as the front end shows them),
// the listing file "ravost.out", and the folder in which file names are
// taken.
#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "diag/diagnostic.h"
#include "io/files.h"
#include "numerics/pause.h"
#include "plothpfa/plothpfa.h"
#include "writers/tables.h"

namespace run {

using io::RunError;

// A run ended by its caller's stop (Context::stop), not by a problem.
class Stopped : public RunError {
 public:
  Stopped() : RunError(diag::error("the run was stopped.")) {}
};

struct Console {
  std::function<void(std::string_view)> line;  // one console line
  // A warning, shown as the front end shows it (rendered on the error
  // stream); may be empty.
  std::function<void(const diag::Diagnostic&)> warn;
  numerics::PauseHandler pause;                // the interpolation routines' pause
  // Where progress of long work is shown (a terminal's error stream), or
  // nothing.
  std::ostream* progress = nullptr;
};

struct Context {
  Console console;
  io::OutFile& listing;
  std::filesystem::path dir;
  plothpfa::PLOTIF plotif{0.1f};
  // Files that stay open for the whole run (the listing, the answer file):
  // no output may be created over them.
  std::vector<std::filesystem::path> run_files = {};
  // Compute everything but create no file (every file goes to /dev/null):
  // used to read an answer file's design without running it.
  bool dry = false;
  // Whether a signal stops the work (a run at the console); a run among
  // many (a sweep) goes on to its end and lets its caller stop between runs.
  bool interruptible = true;
  // Asked now and then during long work (the synthesis, the report); true
  // ends the run with Stopped.  May be empty.
  std::function<bool()> stop = {};
  // The warnings given and not yet taken into a run's result (the pipeline
  // takes them after each stage), in the order given.
  std::vector<diag::Diagnostic> warnings = {};

  std::filesystem::path path(std::string_view name) const { return dir / name; }
  // True when the name is one of the run's open files.
  bool in_use(std::string_view name) const;
  // Opens an output file of the given name (relative to dir), written beside
  // its name and renamed when complete; returns what is wrong, or empty.
  std::string open(io::OutFile& file, std::string_view name) const;

  void line(std::string_view text) const { console.line(text); }
  // Shows a warning on the console and keeps it for the run's result.
  void warn(diag::Diagnostic d) {
    if (console.warn) console.warn(d);
    warnings.push_back(std::move(d));
  }
  void to_console(const writers::Lines& lines) const;
  void to_listing(const writers::Lines& lines);
  // Each line to the console and then to the listing.
  void both(const writers::Lines& lines);
};

}  // namespace run
