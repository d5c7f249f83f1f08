// The program run: the stages in their fixed order, once each.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "design/choices.h"
#include "run/summary.h"
#include "writers/output_plan.h"

namespace dialog {

using design::Precision;

struct RunOptions {
  Precision precision = Precision::single;
  // An answer file named on the command line: the run goes as if "y" and
  // this name had been typed at the first two questions.
  std::optional<std::string> answer_file;
  // The design report, written when the run ends normally.
  std::optional<writers::ReportRequest> report;
  // Compute the whole design but write no file: for reading the design an
  // answer file describes.
  bool dry = false;
  // Show the progress of long work on the error stream (a terminal).
  bool show_progress = false;
  // A feed read from a file (--feed): the beamwidth question is not asked.
  std::optional<design::FeedSpec> feed = {};
};

// The design and output plan a run's answers chose.
struct Chosen {
  design::DesignSpec choices;
  writers::OutputPlan plan;
  bool complete = false;  // false after a stop of the dialog or an error
  // Every line typed at the console after the first question, also when the
  // run failed: an answer file of the session.
  std::vector<std::string> typed_answers;
  // What the run wrote and its report's headline, after a normal end.
  run::RunSummary summary = {};
};

// Runs the whole program on the given console streams: prompts, echoes and
// tables go to console_out, error reports, warnings and refused answers to
// errors.  Files named in the answers, and "ravost.out", are created in
// `dir`.  `interactive` says whether a person types at the console.  Returns
// the exit status: 0 at a normal end and at a stop of the dialog, 1 after an
// error report.
int run(std::istream& console_in, std::ostream& console_out, std::ostream& errors,
        const std::filesystem::path& dir, bool interactive = false,
        const RunOptions& options = {}, Chosen* chosen = nullptr);

// The same with reports and prompts on one stream, as a terminal shows them.
inline int run(std::istream& console_in, std::ostream& console, const std::filesystem::path& dir,
               bool interactive = false, const RunOptions& options = {}) {
  return run(console_in, console, console, dir, interactive, options);
}

}  // namespace dialog
