// Sweeps and optimisation of a design file's inputs: grids of designs judged
// by their figures, spread over threads and over machines (shards), and a
// derivative-free optimiser with bounds and inequality constraints.
#pragma once

#include <filesystem>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "designfile/design_file.h"
#include "run/evaluate.h"

namespace sweep {

// One varied input: KEY=LO:HI:N (N values from LO to HI, both included).
struct Axis {
  std::string key;
  double lo = 0, hi = 0;
  int n = 1;
  double value(int i) const { return n > 1 ? lo + (hi - lo) * i / (n - 1) : lo; }
};

// One free input of an optimisation: KEY=LO:HI.
struct Free {
  std::string key;
  double lo = 0, hi = 0;
};

// FIGURE <= VALUE or FIGURE >= VALUE; the figure may be a free input's key.
struct Constraint {
  std::string figure;
  bool at_most = true;
  double value = 0;
};

// Parsers of the command line's texts: the value or what is wrong with it.
struct Parsed {
  std::optional<Axis> axis;
  std::optional<Free> free;
  std::optional<Constraint> constraint;
  std::string problem;
};
Parsed parse_axis(const std::string& text);
Parsed parse_free(const std::string& text);
Parsed parse_constraint(const std::string& text);

// A key set for every design (--set KEY=VALUE): the key, its value as TOML
// text ("0.25", "4", "\"gaussian\"", "true") and the text as given.
struct Setting {
  std::string key, value, text;
};
// The setting of KEY=VALUE or what is wrong with it: the key must be one a
// design file may hold, and VALUE of its kind (a number, a whole number,
// true or false, or a name, which the design file's checks judge).
struct ParsedSetting {
  std::optional<Setting> setting;
  std::string problem;
};
ParsedSetting parse_setting(const std::string& text);

// A design file whose inputs can be set by key.
class DesignTemplate {
 public:
  // Reads the file; `problem` is set when it does not pass as a design file.
  explicit DesignTemplate(const std::filesystem::path& file);
  // The same from a design file's text; feed files are read relative to
  // the folder of `file`, which names it.
  DesignTemplate(std::string text, const std::filesystem::path& file);
  const std::optional<diag::Diagnostic>& problem() const { return problem_; }
  // What keeps a sweep from setting this key, as one line; empty when it
  // may.  A key the file lacks may be set when a design file may hold it
  // and it applies to this design (a distribution's own key to that
  // distribution, a frequency to a design with a length unit); it is then
  // added to its section.
  std::string key_problem(const std::string& key) const;
  // The design file with these keys set in place, as a template of its own.
  // It is not checked whole here: what a key set needs may be a key that is
  // varied (a Gaussian distribution's taper); see settings_problem.
  DesignTemplate with_settings(const std::vector<Setting>& settings) const;
  // What is wrong with the keys set, judged on the design with `values`
  // set too: the design file's first error at a key set, or at a key it
  // needs and lacks, as one line naming the --set; empty when none.
  std::string settings_problem(const std::vector<Setting>& settings,
                               const std::vector<std::pair<std::string, double>>& values) const;
  // The design with these keys set, checked whole; the errors without a file
  // and line when it does not pass (every design of a sweep has the same
  // ones).
  designfile::ReadResult with(const std::vector<std::pair<std::string, double>>& values) const;
  // The design file's text with these keys set (a design file of its own).
  std::string text_with(const std::vector<std::pair<std::string, double>>& values) const;
  // The design file's own text with only these keys' values changed, in
  // place (comments, order and every other value kept; the numbers in their
  // shortest form), and the synthesis's precision set to `precision` ("32-bit"
  // or "64-bit"; empty: left as it is).  Keys the file does not hold are
  // added to their sections.
  std::string edited_text(const std::vector<std::pair<std::string, double>>& values,
                          const std::string& precision = {}) const;
  const std::filesystem::path& file() const { return file_; }
  const std::string& text() const { return text_; }

 private:
  DesignTemplate() = default;
  std::filesystem::path file_;
  std::string text_;
  std::optional<diag::Diagnostic> problem_;
};

// A design of a sweep or an optimisation: its inputs and its evaluation.
struct Row {
  long index = 0;
  std::vector<double> inputs;
  run::Evaluation evaluation;
};

// The evaluation options of a design file: its diameter, and the wavelength
// and physical optics of its [report] section when it has one (else those of
// `options`).
run::EvaluationOptions options_of(const designfile::DesignFile& file, run::EvaluationOptions options);

// The figures and inputs of a design file's design with these values set.
run::Evaluation evaluate(const DesignTemplate& t, const std::vector<std::string>& keys,
                         const std::vector<double>& values, const run::EvaluationOptions& options);

struct SweepPlan {
  std::vector<Axis> axes;             // one or two
  int jobs = 1;
  int shard = 1, shards = 1;          // this part: indices i with i % shards == shard - 1
  run::EvaluationOptions evaluation;
  std::function<void(long done, long total)> progress;  // may be empty
  std::function<bool()> stop;  // true: no new designs are started (may be empty)
  // Rows done already (a resumed sweep): kept as they are, not evaluated again.
  std::vector<Row> done;
};

long grid_size(const std::vector<Axis>& axes);
std::vector<double> grid_inputs(const std::vector<Axis>& axes, long index);

// Evaluates this shard's designs of the grid in index order, whatever the
// number of jobs.  `complete` is false when stopped early.
struct SweepResult {
  std::vector<Row> rows;
  bool complete = true;
};
SweepResult run_sweep(const DesignTemplate& t, const SweepPlan& plan);

// What makes the rows of two runs rows of the same sweep, beside the grid:
// the design's content (not its file's name), the program, the arithmetic
// and whether the physical optics' figures were computed.
struct SweepIdentity {
  std::string design_digest;
  std::string program_version;
  std::string precision = "64-bit";
  std::vector<std::string> settings = {};  // the --set texts, in the order given
  bool physical_optics = false;
};
// A digest of a design file's text: FNV-1a of 64 bits, in hex.
std::string content_digest(std::string_view text);
// The identity of a sweep of this design file by this program.
// (`t` with the settings made, whose text the digest covers).
SweepIdentity identity_of(const DesignTemplate& t, const std::vector<Setting>& settings = {});
// What differs between two identities, as "its design file's content",
// "the program version (1.1.0, not 1.2.0)", ...; empty when they agree.
std::string identity_difference(const SweepIdentity& part, const SweepIdentity& first);

// The files of a sweep: sweep.csv, sweep.json and sweep.html into `dir`,
// written whole.  `source` names the design file.  The po_* figures are
// tabulated when the identity (or a row) says the physical optics was
// computed, and then sweep.json says "physical_optics": true.
// `shard` is "K/N" for a part of a sweep, empty for a whole one.
void write_sweep(const std::filesystem::path& dir, const std::string& source, const SweepIdentity& identity,
                 const std::vector<Axis>& axes, const std::vector<Row>& rows, long grid, bool complete,
                 const std::string& best_figure, const std::string& shard = {}, bool allow_warnings = false);
// What write_sweep puts in sweep.json (without the shard), as a value; `best`
// indexes `rows`.
nlohmann::json sweep_json(const std::string& source, const std::vector<Axis>& axes, const std::vector<Row>& rows,
                          long grid, bool complete, const std::optional<std::size_t>& best,
                          const std::string& best_figure);

// One row of sweep.json: its index, inputs, status, reason and figures (a
// figure that is not finite is null; the po_* figures only when the row's
// evaluation asked for the physical optics).
nlohmann::json row_json(const Row& row);

// Joins the sweep.json of several parts into one sweep; the problem when
// they do not belong together or do not cover the grid.
struct Merged {
  std::string source;
  SweepIdentity identity;
  std::vector<Axis> axes;
  std::vector<Row> rows;
  long grid = 0;
  bool complete = false;
  std::string problem;
};
Merged merge(const std::vector<std::filesystem::path>& dirs);

// An unfinished sweep in `dir` to be finished: its rows, when its sweep.json
// is of this design, grid, part and program and is not complete; else the
// problem, naming what differs.
struct Resumed {
  std::vector<Row> rows;
  std::string problem;
};
Resumed resumable(const std::filesystem::path& dir, const SweepIdentity& identity, const std::vector<Axis>& axes,
                  const std::string& shard);

// The optimisation: maximise (or minimise) one figure over the free inputs
// within their bounds and the constraints, from a few starts.
struct OptimizePlan {
  std::vector<Free> free;
  std::string objective;  // the figure
  bool minimize = false;
  std::vector<Constraint> constraints;
  int starts = 3;
  int evaluations = 150;  // per start
  bool allow_warnings = false;  // warned designs may be the best
  std::vector<std::string> settings;  // the --set texts the design file was given (recorded in best.json)
  run::EvaluationOptions evaluation;
  std::function<void(long done)> progress;
  std::function<bool()> stop;  // true: the optimisation ends with what it has (may be empty)
};
struct OptimizeResult {
  std::vector<Row> history;  // every design tried, in order
  std::optional<std::size_t> best;  // into history: feasible and best
  std::vector<double> best_so_far;  // the best feasible objective after each design (NaN before one)
};
OptimizeResult optimize(const DesignTemplate& t, const OptimizePlan& plan);

// An optimum this share of a free input's range or closer to one of its
// bounds is said to lie at that bound: the bound, not the design, may be
// what limits it.
inline constexpr double kAtBoundShare = 1e-3;
// For each free input whose value lies at a bound, "at the lower bound of
// KEY" or "at the upper bound of KEY", in the order of the inputs.
std::vector<std::string> bounds_reached(const std::vector<Free>& free, const std::vector<double>& inputs);

// The constraints a row does not meet, each as "FIGURE <= VALUE (is X)";
// empty for a feasible row.
std::vector<std::string> violations(const Row& row, const std::vector<std::string>& keys,
                                    const std::vector<Constraint>& constraints);

// A number in the shortest form that reads back as the same double, with a
// decimal point or an exponent so that a design file reads it as a real.
std::string shortest_real(double v);

// The files of an optimisation into `dir`, written whole: history.csv (every
// design tried, with its feasibility and the constraints it breaks),
// convergence.svg, and when there is a best design best.toml (the design
// file with the optimised values), best.json (its inputs, figures and the
// bounds it reached) and its report in report/.
void write_optimization(const std::filesystem::path& dir, const DesignTemplate& t, const OptimizePlan& plan,
                        const OptimizeResult& result);

// Whether a row meets every constraint; a warned design never does unless
// warnings are allowed.
bool feasible(const Row& row, const std::vector<std::string>& keys, const std::vector<Constraint>& constraints,
              bool allow_warnings = false);

}  // namespace sweep
