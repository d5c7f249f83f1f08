// What a run that ended normally tells a person at a terminal: the files it
// wrote and, when it wrote a report, the report's headline figures.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "run/pipeline.h"

namespace run {

// The report's headline: the figures a person looks at first.
struct Headline {
  std::string page;               // the report's page, report.html in its folder
  double directivity_dbi = 0;
  double total_efficiency = 0;    // 0 to 1
  double d_over_lambda = 0;
  bool d_over_lambda_assumed = false;  // no wavelength was given
  // Where the report's figures are outside what its methods support, as the
  // report states them: shown as warnings after the figures.
  std::vector<std::string> cautions = {};
};

struct RunSummary {
  // The files written, in order: the listing, the plan's files, then any a
  // front end adds (the saved answers); the report's folder is in `headline`.
  std::vector<std::string> files;
  std::optional<Headline> headline;
};

// The summary of a run with a console, which always writes the listing
// ravost.out.  A dry run wrote nothing and has nothing to say.
RunSummary summarise(const RunResult& r, bool dry = false);

// The summary as lines of text for the error stream (each ending in a line
// feed); empty when there is nothing to tell.
std::string render(const RunSummary& s);

}  // namespace run
