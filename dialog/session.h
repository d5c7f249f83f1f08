// What the dialog works with besides its questions: the run's context (the
// console, the listing, the folder) and stages, the design choices and output plan it
// fills answer by answer, and the earlier answers of the output stages.
#pragma once

#include <optional>
#include <string>

#include "design/choices.h"
#include "dialog/dialog.h"
#include "run/context.h"
#include "run/pipeline.h"
#include "writers/output_plan.h"

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
  run::Context& run;
  // The run's stages, which the questions drive one by one and which keep
  // every stage's result.
  run::Pipeline<Real> pipeline{run};
  Answers<Real> answers = {};
  // What the answers chose, as values.
  design::DesignSpec choices = {};
  writers::OutputPlan plan = {};
  // The feed given on the command line, which takes the beamwidth
  // question's place.
  std::optional<design::FeedSpec> given_feed = {};
  // The run ends with a design report.
  bool report = false;
};

}  // namespace dialog
