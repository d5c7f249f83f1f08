#include "app/sweep_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <mutex>
#include <thread>

#include "fields/prose.h"
#include "io/files.h"
#include "io/folder.h"
#include "io/interrupt.h"
#include "sweep/sweep.h"

namespace app {

using namespace sweep;
namespace {

constexpr const char* kSweepUsage =
    "Usage: ravost sweep DESIGN.toml --vary KEY=LO:HI:N [--vary ...] --out DIR [--jobs N] "
    "[--shard K/N] [--best FIGURE] [--set KEY=VALUE ...] [--physical-optics] [--resume]\n"
    "       ravost sweep --merge DIR... --out DIR (ravost sweep --help for more)\n";
constexpr const char* kOptimizeUsage =
    "Usage: ravost optimize DESIGN.toml --free KEY=LO:HI [--free ...] (--maximize | --minimize) FIGURE "
    "[--constraint \"FIGURE <= VALUE\" ...] [--set KEY=VALUE ...] [--physical-optics] --out DIR (ravost optimize --help for more)\n";

std::string figure_list() {
  std::string list;
  for (std::string_view f : run::kFigureNames) list += (list.empty() ? "" : ", ") + std::string(f);
  return list;
}

// A wrong command line: one line on what is wrong, the usage, status 2.
int usage_error(std::ostream& err, const std::string& what, const char* usage) {
  err << diag::render(diag::error(what)) << '\n' << usage;
  return 2;
}

// CLI11 parses words after the program's name; `args` has none.
int parse(CLI::App& app, std::vector<std::string> args, std::ostream& out, std::ostream& err, const char* usage) {
  std::reverse(args.begin(), args.end());
  try {
    app.parse(args);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    return usage_error(err, e.what(), usage);
  }
  return -1;
}

// A progress line for designs: "Sweep: done/total designs, R designs/s,
// about N s left", after a quiet second, rewritten a few times a second.
class DesignProgress {
 public:
  DesignProgress(std::ostream* out, std::string what) : out_(out), what_(std::move(what)) {}
  ~DesignProgress() { clear(); }
  void update(long done, long total) {
    if (!out_) return;
    const auto now = Clock::now();
    if (now - start_ < std::chrono::seconds(1) || (shown_ && now - last_ < std::chrono::milliseconds(200))) return;
    last_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double rate = done / elapsed;
    *out_ << '\r' << what_ << ": " << done;
    if (total > 0) *out_ << '/' << total;
    *out_ << " designs, " << fields::number(rate, 3) << " designs/s";
    if (total > 0 && rate > 0) *out_ << ", about " << static_cast<long>(std::ceil((total - done) / rate)) << " s left";
    *out_ << "\x1b[K" << std::flush;
    shown_ = true;
  }
  void clear() {
    if (shown_ && out_) *out_ << "\r\x1b[K" << std::flush;
    shown_ = false;
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream* out_;
  std::string what_;
  Clock::time_point start_ = Clock::now(), last_ = start_;
  bool shown_ = false;
};

// The design file as a template, or its error lines and status 1.
std::optional<DesignTemplate> read_template(const std::string& file, std::ostream& err) {
  DesignTemplate t(file);
  if (t.problem()) {
    err << diag::render(*t.problem()) << '\n';
    return std::nullopt;
  }
  return t;
}

// The design file with the --set keys made, each varied key checked on it,
// and the keys set checked on the designs with the varied keys at `first`
// and at `last` (a setting is wrong when it is wrong at both ends: within
// the range a design may be refused for the varied keys alone); or none
// after the line(s) on what is wrong, with the status in `status` (2 for a
// wrong command line).
std::optional<DesignTemplate> prepared_template(const std::string& file, const std::vector<std::string>& set_texts,
                                                const std::vector<std::pair<std::string, double>>& first,
                                                const std::vector<std::pair<std::string, double>>& last,
                                                std::vector<Setting>& settings, std::ostream& err, const char* usage,
                                                int& status) {
  status = 2;
  for (const std::string& text : set_texts) {
    const ParsedSetting p = parse_setting(text);
    if (!p.setting) return usage_error(err, p.problem, usage), std::nullopt;
    for (const Setting& s : settings)
      if (s.key == p.setting->key) return usage_error(err, "the key " + s.key + " is set twice.", usage), std::nullopt;
    for (const auto& [key, value] : first)
      if (key == p.setting->key)
        return usage_error(err, "the key " + key + " is both set (--set) and varied.", usage), std::nullopt;
    settings.push_back(*p.setting);
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec))
    return usage_error(err, "the design file \"" + file + "\" cannot be read.", usage), std::nullopt;
  status = 1;
  const std::optional<DesignTemplate> read = read_template(file, err);
  if (!read) return std::nullopt;
  status = 2;
  DesignTemplate t = read->with_settings(settings);
  for (const auto& [key, value] : first)
    if (const std::string problem = t.key_problem(key); !problem.empty())
      return usage_error(err, problem, usage), std::nullopt;
  if (const std::string problem = t.settings_problem(settings, first);
      !problem.empty() && !t.settings_problem(settings, last).empty())
    return usage_error(err, problem, usage), std::nullopt;
  status = 0;
  return t;
}

bool known_figure(const std::string& name) { return run::figure_index(name) >= 0; }

// Whether the designs' physical optics is computed: asked on the command
// line, or by the design file's [report].
bool physical_optics_on(const DesignTemplate& t, bool asked) {
  if (asked) return true;
  const designfile::ReadResult r = t.with({});
  return r.file && options_of(*r.file, {}).physical_optics;
}

// The physical optics is costly and asked for explicitly: a po_* figure
// without it is a wrong command line (what is wrong, or empty).
std::string needs_physical_optics(const std::vector<std::string>& figures, bool on) {
  if (on) return {};
  for (const std::string& f : figures)
    if (run::is_physical_optics_figure(f))
      return "the figure " + f + " is the physical optics': add --physical-optics (or physical_optics = true in the "
             "design file's [report]).";
  return {};
}

int interrupted_status() { return 128 + io::interrupted(); }

// The varied inputs and the part of the grid from the command line's
// texts; what is wrong with them, or empty.
std::string read_grid(const std::vector<std::string>& vary, const std::string& shard_text, std::vector<Axis>& axes,
                      int& shard, int& shards) {
  if (!shard_text.empty()) {
    char slash = 0;
    std::istringstream in(shard_text);
    if (!(in >> shard >> slash >> shards) || slash != '/' || !in.eof() || shards < 1 || shard < 1 || shard > shards)
      return "--shard takes K/N with 1 <= K <= N, not \"" + shard_text + "\".";
  }
  for (const std::string& text : vary) {
    const Parsed p = parse_axis(text);
    if (!p.axis) return p.problem;
    for (const Axis& a : axes)
      if (a.key == p.axis->key) return "the key " + a.key + " is varied twice.";
    axes.push_back(*p.axis);
  }
  return {};
}

// `ravost sweep --merge`: the parts' sweep.json joined into one sweep.
int merge_parts(const std::vector<std::string>& merge_dirs, const std::string& out_dir, const std::string& best,
                bool allow_warnings, std::ostream& out, std::ostream& err) {
  std::vector<std::filesystem::path> dirs(merge_dirs.begin(), merge_dirs.end());
  const Merged m = merge(dirs);
  if (!m.problem.empty()) {
    err << diag::render(diag::error(m.problem)) << '\n';
    return 1;
  }
  if (!m.identity.physical_optics && run::is_physical_optics_figure(best))
    return usage_error(err, "the parts hold no physical-optics figures to choose the best design by (" + best + ").",
                       kSweepUsage);
  write_sweep(out_dir, m.source, m.identity, m.axes, m.rows, m.grid, m.complete, best, {}, allow_warnings);
  out << "Merged " << m.rows.size() << " of " << m.grid << " designs into " << out_dir << ".\n";
  if (!m.complete) {
    err << diag::render(diag::error("the parts cover " + std::to_string(m.rows.size()) + " of the " +
                                    std::to_string(m.grid) + " designs: the merged sweep is marked incomplete."))
        << '\n';
    return 1;
  }
  return 0;
}

// The free inputs and the constraints from the command line's texts into
// the plan; what is wrong with them, or empty.
std::string read_free_and_constraints(const std::vector<std::string>& free_texts,
                                      const std::vector<std::string>& constraint_texts, OptimizePlan& plan) {
  for (const std::string& text : free_texts) {
    const Parsed p = parse_free(text);
    if (!p.free) return p.problem;
    for (const Free& f : plan.free)
      if (f.key == p.free->key) return "the key " + f.key + " is free twice.";
    plan.free.push_back(*p.free);
  }
  for (const std::string& text : constraint_texts) {
    const Parsed p = parse_constraint(text);
    if (!p.constraint) return p.problem;
    bool known = known_figure(p.constraint->figure);
    for (const Free& f : plan.free) known = known || f.key == p.constraint->figure;
    if (!known) return "\"" + p.constraint->figure + "\" in \"" + text + "\" is neither a figure nor a free key.";
    plan.constraints.push_back(*p.constraint);
  }
  return {};
}

// The best design's free inputs and figures on the console.
void print_best(std::ostream& out, const std::string& out_dir, const OptimizePlan& plan, const OptimizeResult& result) {
  const Row& b = result.history[*result.best];
  out << "Best design (" << out_dir << "/best.toml):\n";
  for (std::size_t i = 0; i < plan.free.size(); ++i)
    out << "  " << plan.free[i].key << " = " << fields::number(b.inputs[i], 10) << '\n';
  const std::vector<std::string_view> names = run::figure_names(b.evaluation.physical_optics);
  for (std::size_t i = 0; i < names.size(); ++i)
    out << "  " << names[i] << " = " << fields::number(b.evaluation.figures[i], 10) << '\n';
  // An optimum on a bound may be the bound's, not the design's.
  for (const std::string& at : bounds_reached(plan.free, b.inputs)) out << "The best design lies " << at << ".\n";
}

}  // namespace

int sweep_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  std::ostream* progress) {
  CLI::App app{"Evaluates a grid of designs: one or two inputs of a design file varied, each design "
               "synthesised in 64-bit reals, self-checked and judged by the report's figures.",
               "ravost sweep"};
  std::string design_file, out_dir, shard_text, best = "directivity_dbi";
  std::vector<std::string> vary, merge_dirs, set_texts;
  int jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  app.add_option("DESIGN", design_file, "The design file whose inputs are varied");
  app.add_option("--vary", vary, "KEY=LO:HI:N: N values of a numeric key of the design file, LO to HI")
      ->type_name("KEY=LO:HI:N");
  app.add_option("--out", out_dir, "The folder for sweep.csv, sweep.json and sweep.html")->required();
  app.add_option("--jobs", jobs, "Designs evaluated at once (default: the machine's cores)")
      ->check(CLI::Range(1, 1024));
  app.add_option("--shard", shard_text, "K/N: evaluate only the K-th of N interleaved parts of the grid");
  app.add_option("--merge", merge_dirs, "Join the sweep.json of these parts' folders into one sweep")
      ->type_name("DIR...");
  app.add_option("--set", set_texts,
                 "KEY=VALUE: a key of the design file set for every design (a number, a name such as "
                 "aperture.distribution=gaussian, or true/false); a key the file lacks is added")
      ->type_name("KEY=VALUE");
  app.add_option("--best", best, "The figure whose highest value marks the best design (" + figure_list() + ")");
  bool resume = false, allow_warnings = false, physical_optics = false;
  app.add_flag("--physical-optics", physical_optics,
               "Compute each design's physical optics too: its po_* figures join the rows");
  app.add_flag("--allow-warnings", allow_warnings,
               "Let designs with a warning that changes their figures (a ray table short of the rim) be the best");
  app.add_flag("--resume", resume,
               "Finish the interrupted sweep in the --out folder: the designs done are kept, the others evaluated "
               "(the same design file, --vary and --shard)");
  if (const int status = parse(app, args, out, err, kSweepUsage); status >= 0) return status;
  if (!known_figure(best)) return usage_error(err, "no figure is called \"" + best + "\"; the figures are " + figure_list() + ".", kSweepUsage);
  if (const auto problem = io::folder_problem(out_dir)) {
    err << diag::render(*problem) << '\n';
    return 1;
  }

  if (!merge_dirs.empty()) {
    if (!design_file.empty() || !vary.empty() || !shard_text.empty() || resume || !set_texts.empty() ||
        physical_optics)
      return usage_error(err,
                         "--merge joins finished parts: it takes no design file, --vary, --set, --shard, --resume or "
                         "--physical-optics.",
                         kSweepUsage);
    return merge_parts(merge_dirs, out_dir, best, allow_warnings, out, err);
  }

  if (design_file.empty()) return usage_error(err, "a sweep needs a design file (or --merge).", kSweepUsage);
  if (vary.empty() || vary.size() > 2) return usage_error(err, "a sweep varies one or two inputs (--vary).", kSweepUsage);
  int shard = 1, shards = 1;
  std::vector<Axis> axes;
  if (const std::string problem = read_grid(vary, shard_text, axes, shard, shards); !problem.empty())
    return usage_error(err, problem, kSweepUsage);
  if (grid_size(axes) > 10'000'000) return usage_error(err, "a sweep holds at most 10000000 designs.", kSweepUsage);
  std::vector<std::pair<std::string, double>> first, last;
  for (const Axis& a : axes) first.emplace_back(a.key, a.lo), last.emplace_back(a.key, a.value(a.n - 1));
  std::vector<Setting> settings;
  int status = 0;
  const std::optional<DesignTemplate> t =
      prepared_template(design_file, set_texts, first, last, settings, err, kSweepUsage, status);
  if (!t) return status;

  const bool po = physical_optics_on(*t, physical_optics);
  if (const std::string problem = needs_physical_optics({best}, po); !problem.empty())
    return usage_error(err, problem, kSweepUsage);
  SweepIdentity identity = identity_of(*t, settings);
  identity.physical_optics = po;
  const std::string part = shards > 1 ? shard_text : std::string();
  SweepPlan plan;
  if (resume) {
    Resumed r = resumable(out_dir, identity, axes, part);
    if (!r.problem.empty()) {
      err << diag::render(diag::error(r.problem)) << '\n';
      return 1;
    }
    plan.done = std::move(r.rows);
  }
  plan.axes = axes;
  plan.jobs = jobs;
  plan.evaluation.physical_optics = physical_optics;
  plan.shard = shard;
  plan.shards = shards;
  DesignProgress line(progress, "Sweep");
  plan.progress = [&line](long done, long total) { line.update(done, total); };
  plan.stop = [] { return io::interrupted() != 0; };
  plan.evaluation.stop = plan.stop;
  const auto start = std::chrono::steady_clock::now();
  const SweepResult result = run_sweep(*t, plan);
  line.clear();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const bool stopped = io::interrupted() != 0;
  const long grid = grid_size(axes);
  write_sweep(out_dir, design_file, identity, axes, result.rows, grid, result.complete && shards == 1, best, part,
              allow_warnings);
  long ok = 0;
  long warned = 0;
  for (const Row& r : result.rows) ok += r.evaluation.ok(), warned += r.evaluation.status == "warned";
  out << result.rows.size() << " designs (" << ok << " designed, ";
  if (warned > 0) out << warned << " warned, ";
  out << result.rows.size() - ok - warned << " refused or failed) in " << fields::number(seconds, 3) << " s into "
      << out_dir << ".\n";
  if (stopped) {
    err << diag::render(diag::error("the sweep was interrupted: the " + std::to_string(result.rows.size()) +
                                    " designs done are written, marked incomplete."))
        << '\n';
    return interrupted_status();
  }
  return 0;
}

int optimize_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     std::ostream* progress) {
  CLI::App app{"Maximises or minimises a figure of a design over free inputs of its design file, within their bounds "
               "and the constraints (COBYLA from a few starts; a design that fails is infeasible).",
               "ravost optimize"};
  std::string design_file, out_dir, maximize, minimize;
  std::vector<std::string> free_texts, constraint_texts, set_texts;
  OptimizePlan plan;
  app.add_option("DESIGN", design_file, "The design file whose inputs are free")->required();
  app.add_option("--free", free_texts, "KEY=LO:HI: a numeric key of the design file, free within LO to HI")
      ->type_name("KEY=LO:HI")
      ->required();
  auto* highest = app.add_option("--maximize", maximize, "The figure to maximise (" + figure_list() + ")");
  app.add_option("--minimize", minimize, "The figure to minimise (the same figures)")->excludes(highest);
  app.add_option("--constraint", constraint_texts, "\"FIGURE <= VALUE\" or \"FIGURE >= VALUE\" (a figure or a free key)")
      ->type_name("TEXT");
  app.add_option("--set", set_texts,
                 "KEY=VALUE: a key of the design file set for every design (a number, a name such as "
                 "aperture.distribution=gaussian, or true/false); a key the file lacks is added")
      ->type_name("KEY=VALUE");
  app.add_option("--out", out_dir, "The folder for best.toml, its report, history.csv and convergence.svg")->required();
  app.add_option("--starts", plan.starts, "Starts of the optimiser (default 3)")->check(CLI::Range(1, 100));
  app.add_option("--evaluations", plan.evaluations, "Designs tried per start at most (default 150)")
      ->check(CLI::Range(2, 100000));
  app.add_flag("--allow-warnings", plan.allow_warnings,
               "Let designs with a warning that changes their figures (a ray table short of the rim) be the best");
  app.add_flag("--physical-optics", plan.evaluation.physical_optics,
               "Compute each design's physical optics too, so that its po_* figures may be optimised or constrained");
  if (const int status = parse(app, args, out, err, kOptimizeUsage); status >= 0) return status;
  if (maximize.empty() == minimize.empty())
    return usage_error(err, "give the figure to optimise with --maximize or with --minimize.", kOptimizeUsage);
  const std::string& objective = maximize.empty() ? minimize : maximize;
  if (!known_figure(objective))
    return usage_error(err, "no figure is called \"" + objective + "\"; the figures are " + figure_list() + ".", kOptimizeUsage);
  if (const std::string problem = read_free_and_constraints(free_texts, constraint_texts, plan); !problem.empty())
    return usage_error(err, problem, kOptimizeUsage);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(design_file, ec))
    return usage_error(err, "the design file \"" + design_file + "\" cannot be read.", kOptimizeUsage);
  if (const auto problem = io::folder_problem(out_dir)) {
    err << diag::render(*problem) << '\n';
    return 1;
  }
  std::vector<std::pair<std::string, double>> first, last;
  for (const Free& f : plan.free) first.emplace_back(f.key, f.lo), last.emplace_back(f.key, f.hi);
  std::vector<Setting> settings;
  int status = 0;
  const std::optional<DesignTemplate> t =
      prepared_template(design_file, set_texts, first, last, settings, err, kOptimizeUsage, status);
  if (!t) return status;
  for (const Setting& s : settings) plan.settings.push_back(s.text);
  std::vector<std::string> asked = {objective};
  for (const Constraint& c : plan.constraints) asked.push_back(c.figure);
  if (const std::string problem = needs_physical_optics(asked, physical_optics_on(*t, plan.evaluation.physical_optics));
      !problem.empty())
    return usage_error(err, problem, kOptimizeUsage);
  plan.objective = objective;
  plan.minimize = !minimize.empty();
  DesignProgress line(progress, "Optimisation");
  plan.progress = [&line](long done) { line.update(done, 0); };
  plan.stop = [] { return io::interrupted() != 0; };
  plan.evaluation.stop = plan.stop;
  const OptimizeResult result = optimize(*t, plan);
  line.clear();
  try {
    write_optimization(out_dir, *t, plan, result);
  } catch (const std::exception& e) {
    err << (dynamic_cast<const io::RunError*>(&e) ? std::string(e.what()) : diag::render(diag::error(e.what())))
        << '\n';
    return 1;
  }
  out << result.history.size() << " designs tried.\n";
  if (io::interrupted() != 0) {
    err << diag::render(diag::error("the optimisation was interrupted: the designs tried so far are written.")) << '\n';
    return interrupted_status();
  }
  if (!result.best) {
    err << diag::render(diag::error("no design tried met every constraint; history.csv lists them.")) << '\n';
    return 1;
  }
  print_best(out, out_dir, plan, result);
  return 0;
}

}  // namespace app
