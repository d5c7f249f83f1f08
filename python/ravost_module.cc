// The extension module _ravost: the calls the Python package ravost makes
// into the program.  Every call goes through the same readers and run pipeline
// as the command line, so a design gives the same figures from either; this
// file only converts between them and Python, releases the GIL around long
// work and turns Ctrl-C into the run's own stop.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <toml++/toml.h>
#include <vector>

#include "analysis/analysis.h"
#include "report/report.h"
#include "design/check.h"
#include "design/choices.h"
#include "design/classical_families.h"
#include "designfile/design_file.h"
#include "designfile/wizard_file.h"
#include "diag/diagnostic.h"
#include "io/interrupt.h"
#include "run/pipeline.h"
#include "sweep/sweep.h"

namespace {

namespace py = pybind11;
namespace fs = std::filesystem;
using diag::Diagnostic;

// ---------------------------------------------------------------------------
// Diagnostics

// A design that is refused, with why: raised in Python as ravost.DesignError.
class DesignRefused : public std::runtime_error {
 public:
  explicit DesignRefused(std::vector<Diagnostic> ds)
      : std::runtime_error(diag::render(ds)), diagnostics(std::move(ds)) {}
  std::vector<Diagnostic> diagnostics;
};

PyObject* g_design_error = nullptr;  // the class ravost.DesignError

const char* severity_name(diag::Severity s) {
  switch (s) {
    case diag::Severity::warning:
      return "warning";
    case diag::Severity::note:
      return "note";
    case diag::Severity::error:
      break;
  }
  return "error";
}

// ---------------------------------------------------------------------------
// Values between JSON, TOML and Python

py::object to_python(const nlohmann::json& j) {
  switch (j.type()) {
    case nlohmann::json::value_t::null:
      return py::none();
    case nlohmann::json::value_t::boolean:
      return py::bool_(j.get<bool>());
    case nlohmann::json::value_t::number_integer:
      return py::int_(j.get<std::int64_t>());
    case nlohmann::json::value_t::number_unsigned:
      return py::int_(j.get<std::uint64_t>());
    case nlohmann::json::value_t::number_float:
      return py::float_(j.get<double>());
    case nlohmann::json::value_t::string:
      return py::str(j.get_ref<const std::string&>());
    case nlohmann::json::value_t::array: {
      py::list list;
      for (const nlohmann::json& item : j) list.append(to_python(item));
      return list;
    }
    case nlohmann::json::value_t::object: {
      py::dict dict;
      for (const auto& [key, value] : j.items()) dict[py::str(key)] = to_python(value);
      return dict;
    }
    default:
      return py::none();
  }
}

py::object to_python(const toml::node& node) {
  if (const auto* v = node.as_integer()) return py::int_(v->get());
  if (const auto* v = node.as_floating_point()) return py::float_(v->get());
  if (const auto* v = node.as_boolean()) return py::bool_(v->get());
  if (const auto* v = node.as_string()) return py::str(v->get());
  if (const auto* table = node.as_table()) {
    py::dict dict;
    for (const auto& [key, value] : *table) dict[py::str(std::string(key.str()))] = to_python(value);
    return dict;
  }
  if (const auto* array = node.as_array()) {
    py::list list;
    for (const toml::node& item : *array) list.append(to_python(item));
    return list;
  }
  return py::none();  // dates and times: no design key takes one
}

// The shortest decimal that reads back as `v`, written as a TOML float.
std::string toml_float(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  std::string text(buffer, end);
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

std::string toml_string(const std::string& s) {
  std::string out = "\"";
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20 || u == 0x7f) {
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04X", u);
      out += code;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A Python value as the TOML text of a key's value.  A whole number set on a
// key written as an integer stays an integer (nbar, points).
std::string toml_value(py::handle value, const toml::node* old) {
  if (py::isinstance<py::bool_>(value)) return value.cast<bool>() ? "true" : "false";
  // Whole numbers of any kind (numpy's too) and then reals of any kind.
  if (PyIndex_Check(value.ptr())) return py::str(py::int_(py::reinterpret_borrow<py::object>(value))).cast<std::string>();
  if (!py::isinstance<py::str>(value) && py::hasattr(value, "__float__")) {
    const double v = py::float_(py::reinterpret_borrow<py::object>(value)).cast<double>();
    if (old && old->is_integer() && std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 9.0e15) {
      return std::to_string(static_cast<std::int64_t>(v));
    }
    return toml_float(v);
  }
  if (py::isinstance<py::str>(value)) return toml_string(value.cast<std::string>());
  throw py::type_error("a design key takes a number, a string or a bool, not " +
                       py::str(py::type::handle_of(value)).cast<std::string>());
}

// The byte offset in `text` of a 1-based line and column (columns count
// characters, as the TOML parser does).
std::size_t offset_of(const std::string& text, std::size_t line, std::size_t column) {
  std::size_t at = 0;
  for (std::size_t l = 1; l < line && at < text.size(); ++l) {
    at = text.find('\n', at);
    at = at == std::string::npos ? text.size() : at + 1;
  }
  for (std::size_t c = 1; c < column && at < text.size(); ++c) {
    // One character: its first byte and any UTF-8 continuation bytes.
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return at;
}

bool is_dotted_key(const std::string& key) {
  if (key.empty() || key.front() == '.' || key.back() == '.' || key.find("..") != std::string::npos) return false;
  return key.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-.") ==
         std::string::npos;
}

// ---------------------------------------------------------------------------
// A design file: its text, and the design the program reads from it

class Design {
 public:
  Design(std::string text, std::string name, fs::path base)
      : text_(std::move(text)), name_(std::move(name)), base_(std::move(base)) {
    reread();
  }

  const std::string& text() const { return text_; }
  const std::string& name() const { return name_; }
  // Where a feed file it names is read from; also the file a sweep names.
  fs::path path() const { return base_ / fs::path(name_).filename(); }
  std::vector<Diagnostic> diagnostics() const { return read_.errors; }

  // The design file as the program reads it, or DesignError.
  const designfile::DesignFile& file() const {
    if (!read_.file) throw DesignRefused(diagnostics());
    return *read_.file;
  }

  py::object get(const std::string& key) const {
    const toml::table root = parsed();
    const toml::node* node = is_dotted_key(key) ? root.at_path(key).node() : nullptr;
    if (!node) throw py::key_error(key);
    return to_python(*node);
  }

  bool has(const std::string& key) const {
    const toml::table root = parsed();
    return is_dotted_key(key) && root.at_path(key).node() != nullptr;
  }

  // Sets a key in the text (the rest of the text, comments included, stays
  // as it is) and reads the design again.
  void set(const std::string& key, py::handle value) {
    if (!is_dotted_key(key)) throw py::key_error(key);
    const toml::table root = parsed();
    const toml::node* node = root.at_path(key).node();
    const std::string text = toml_value(value, node);
    if (node) {
      if (node->is_table() || node->is_array()) throw py::type_error(key + " is a table: set its keys one by one");
      const toml::source_region& s = node->source();
      const std::size_t from = offset_of(text_, s.begin.line, s.begin.column);
      const std::size_t to = offset_of(text_, s.end.line, s.end.column);
      text_.replace(from, to - from, text);
    } else {
      const std::size_t dot = key.rfind('.');
      const std::string section = dot == std::string::npos ? std::string() : key.substr(0, dot);
      const std::string line = key.substr(dot == std::string::npos ? 0 : dot + 1) + " = " + text + "\n";
      const toml::node* parent = section.empty() ? &root : root.at_path(section).node();
      if (parent && !parent->is_table()) throw py::type_error(section + " is not a table");
      if (parent && parent->as_table()->is_inline()) throw py::type_error(section + " is written inline: set it whole");
      if (parent && parent != &root && parent->source().begin.line > 0) {
        // Under its section's header.
        const std::size_t at = offset_of(text_, parent->source().begin.line + 1, 1);
        if (at == text_.size() && !text_.empty() && text_.back() != '\n') text_ += '\n';
        text_.insert(std::min(at, text_.size()), line);
      } else if (parent == &root) {
        text_.insert(0, line);
      } else {
        if (!text_.empty() && text_.back() != '\n') text_ += '\n';
        text_ += "\n[" + section + "]\n" + line;
      }
    }
    reread();
  }

  // Removes a key (its whole line, with its comment) and reads the design
  // again.
  void remove(const std::string& key) {
    const toml::table root = parsed();
    const std::size_t dot = key.rfind('.');
    const toml::node* parent = dot == std::string::npos ? &root : root.at_path(key.substr(0, dot)).node();
    const std::string last = key.substr(dot == std::string::npos ? 0 : dot + 1);
    const toml::table* table = parent && is_dotted_key(key) ? parent->as_table() : nullptr;
    const auto at = table ? table->find(last) : toml::table::const_iterator();
    if (!table || at == table->end()) throw py::key_error(key);
    if (at->second.is_table() || table->is_inline()) throw py::type_error(key + " is a table or in one written inline");
    const std::size_t first = at->first.source().begin.line;
    const std::size_t end = at->second.source().end.line;
    if (first == 0 || end < first) throw py::key_error(key);
    const std::size_t from = offset_of(text_, first, 1);
    const std::size_t to = offset_of(text_, end + 1, 1);
    text_.erase(from, to - from);
    reread();
  }

  std::string repr() const {
    const std::size_t n = read_.errors.size();
    return "<ravost.Design " + name_ + ": " +
           (n == 0 ? std::string("passes its checks") : std::to_string(n) + (n == 1 ? " problem" : " problems")) + ">";
  }

 private:
  toml::table parsed() const {
    try {
      return toml::parse(text_, name_);
    } catch (const toml::parse_error&) {
      throw DesignRefused(diagnostics());
    }
  }
  void reread() { read_ = designfile::parse(text_, name_, base_); }

  std::string text_;
  std::string name_;
  fs::path base_;
  designfile::ReadResult read_;
};

Design load(const std::string& path) {
  const fs::path p(path);
  std::error_code ec;
  const auto size = fs::file_size(p, ec);
  std::ifstream in(p, std::ios::binary);
  if (ec || !in || size > designfile::kMaxFileBytes || !fs::is_regular_file(p, ec)) {
    // The reader says what is wrong with it, as the program would.
    designfile::ReadResult r = designfile::read(p);
    if (r.errors.empty()) r.errors.push_back(diag::at(diag::error("The file cannot be read."), path, 0));
    throw DesignRefused(r.errors);
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return Design(bytes.str(), path, p.parent_path());
}

// ---------------------------------------------------------------------------
// Long work with the GIL released, stopped by Ctrl-C

// Runs `work` on a thread of its own while this thread waits with the GIL
// released, waking every 50 ms to let Python look at its signals.  On Ctrl-C
// (or any signal whose handler raises) the run's stop flag is set, the work
// ends at its next check, and the Python exception (KeyboardInterrupt) is
// raised here.  The stop flag is the program's one flag: calls made at once
// from several Python threads stop together.
template <class Work>
auto interruptible(Work work) -> decltype(work()) {
  using Result = decltype(work());
  std::optional<Result> result;
  std::exception_ptr failure;
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  bool stopped = false;
  io::set_interrupted(0);
  {
    py::gil_scoped_release release;
    std::thread worker([&] {
      try {
        result.emplace(work());
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard<std::mutex> guard(lock);
      done = true;
      finished.notify_one();
    });
    std::unique_lock<std::mutex> wait(lock);
    while (!finished.wait_for(wait, std::chrono::milliseconds(50), [&] { return done; })) {
      if (stopped) continue;
      wait.unlock();
      {
        py::gil_scoped_acquire gil;
        stopped = PyErr_CheckSignals() != 0;
      }
      if (stopped) io::set_interrupted(SIGINT);
      wait.lock();
    }
    wait.unlock();
    worker.join();
  }
  io::set_interrupted(0);
  if (stopped) throw py::error_already_set();
  if (failure) std::rethrow_exception(failure);
  return std::move(*result);
}

// ---------------------------------------------------------------------------
// The run's stages, quiet

design::Precision precision_of(const std::string& text) {
  if (text == "32-bit") return design::Precision::single;
  if (text == "64-bit") return design::Precision::double_;
  throw py::value_error("precision is \"32-bit\" or \"64-bit\", not \"" + text + "\"");
}

// The design file's design in the precision asked for: a design file that
// names the other precision is read as if it named this one, so it passes
// (or fails) the checks of its reals in this precision alone.
designfile::DesignFile in_precision(const Design& design, const std::string& precision) {
  precision_of(precision);
  const py::object own = design.has("synthesis.precision") ? design.get("synthesis.precision") : py::str("32-bit");
  if (py::isinstance<py::str>(own) && own.cast<std::string>() == precision) return design.file();
  Design other = design;
  other.set("synthesis.precision", py::str(precision));
  return other.file();
}

// The design file's design and the part of its plan asked for, run without a
// console by the program's pipeline, stopped by Ctrl-C.  Every diagnostic
// of the run names the design file.
run::RunResult run_quiet(const designfile::DesignFile& file, const std::string& name, const writers::OutputPlan& plan,
                         run::RunOptions options) {
  options.stop = [] { return io::interrupted() != 0; };
  run::RunResult r = run::run_design(file.choices, plan, options);
  for (Diagnostic& d : r.diagnostics) {
    if (d.file.empty()) d.file = name;
  }
  return r;
}

std::vector<Diagnostic> warnings_of(const run::RunResult& r) {
  std::vector<Diagnostic> ws;
  for (const Diagnostic& d : r.diagnostics) {
    if (!d.is_error()) ws.push_back(d);
  }
  return ws;
}

// The plan of a design file without its printed listings and its report:
// the calls here ask for the figures themselves.
writers::OutputPlan figures_only(writers::OutputPlan plan) {
  plan.main_listing.reset();
  plan.sub_listing.reset();
  plan.report.reset();
  return plan;
}

struct SynthesisResult {
  std::vector<std::vector<double>> columns;  // feed angle, sub z, sub r, main z, main r, path
  nlohmann::json summary;
  std::vector<Diagnostic> warnings;
};

template <design::RealType Real>
SynthesisResult synthesise_in(const designfile::DesignFile& file, const std::string& name) {
  // The ray table alone: a diameter the design cannot be scaled to does not
  // take it away.
  writers::OutputPlan plan = figures_only(file.plan);
  plan.extrapolated_sub_diameter.reset();
  const run::RunResult run = run_quiet(file, name, plan, {});
  if (run.reached < run::Stage::synthesised) throw DesignRefused(run.diagnostics);
  const run::Made<Real>& m = run.in<Real>();
  const design::Design<Real>& d = *m.design;
  const design::RayTable<Real>& table = m.synthesis->table;
  SynthesisResult r;
  r.columns.assign(6, std::vector<double>());
  for (const design::Ray<Real>& ray : table.rays) {
    const Real values[] = {ray.feed_angle_deg, ray.sub_z, ray.sub_r, ray.main_z, ray.main_r, ray.path_length};
    for (std::size_t i = 0; i < 6; ++i) r.columns[i].push_back(static_cast<double>(values[i]));
  }
  const design::RayTableCheck& check = m.synthesis->summary.check;
  r.summary = {{"precision", std::is_same_v<Real, double> ? "64-bit" : "32-bit"},
               {"rows", table.rays.size()},
               {"steps", table.steps},
               {"steps_per_output", table.counts.steps_per_output},
               {"rim_level_db", 10.0 * std::log10(static_cast<double>(d.feed_model.pattern(d.feed_half_angle_rad)))},
               {"largest_path_stray", check.largest_stray},
               {"largest_path_stray_ray", check.largest_stray_ray}};
  r.warnings = warnings_of(run);
  return r;
}

struct ReportResult {
  nlohmann::json report;
  std::vector<Diagnostic> warnings;
};

ReportResult report_in(const designfile::DesignFile& file, const std::string& name, double wavelength,
                       bool physical_optics) {
  run::RunOptions options;
  options.report_figures = true;
  options.wavelength = wavelength;
  options.physical_optics = physical_optics;
  if (file.plan.report) options.surface_rms = file.plan.report->surface_rms;
  const run::RunResult run = run_quiet(file, name, figures_only(file.plan), options);
  if (!run.ok() || !run.report || !run.report_input) throw DesignRefused(run.diagnostics);
  return {report::report_json(*run.report, *run.report_input), warnings_of(run)};
}

py::array_t<double> to_array(const std::vector<double>& v) {
  py::array_t<double> a(static_cast<py::ssize_t>(v.size()));
  std::copy(v.begin(), v.end(), a.mutable_data());
  return a;
}

py::dict synthesise_call(const Design& design, const std::string& precision) {
  const designfile::DesignFile file = in_precision(design, precision);
  const std::string name = design.name();
  SynthesisResult r = interruptible([&] {
    return file.choices.precision == design::Precision::double_ ? synthesise_in<double>(file, name)
                                                                : synthesise_in<float>(file, name);
  });
  static constexpr const char* kColumns[] = {"feed_angle_deg", "sub_z", "sub_radius", "main_z", "main_radius",
                                             "path_length"};
  py::dict columns;
  for (std::size_t i = 0; i < 6; ++i) columns[kColumns[i]] = to_array(r.columns[i]);
  py::dict out;
  out["columns"] = columns;
  out["summary"] = to_python(r.summary);
  out["warnings"] = py::cast(r.warnings);
  return out;
}

py::tuple report_call(const Design& design, std::optional<double> wavelength, bool physical_optics,
                 const std::string& precision) {
  const designfile::DesignFile file = in_precision(design, precision);
  // Without a wavelength, the design file's own (or D/lambda = 100).
  const double w = wavelength ? *wavelength : file.plan.report ? file.plan.report->wavelength : 0.0;
  if (!(std::isfinite(w) && w >= 0) || (wavelength && !(w > 0))) {
    throw py::value_error("the wavelength must be a positive number (in the unit of the diameter)");
  }
  const std::string name = design.name();
  ReportResult r = interruptible([&] { return report_in(file, name, w, physical_optics); });
  return py::make_tuple(to_python(r.report), py::cast(r.warnings));
}

// The shortest decimal of a number, for the sweep's KEY=LO:HI:N.
std::string shortest(double v) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, end);
}

py::object sweep_call(const Design& design, const std::vector<std::pair<std::string, py::object>>& vary, int jobs) {
  design.file();  // a refused design raises DesignError
  if (vary.empty() || vary.size() > 2) throw py::value_error("a sweep varies one or two keys");
  const sweep::DesignTemplate t(design.text(), design.path());
  std::vector<sweep::Axis> axes;
  for (const auto& [key, range] : vary) {
    const auto values = range.cast<std::vector<double>>();
    if (values.size() != 3) throw py::value_error(key + ": give (lo, hi, n)");
    const sweep::Parsed p =
        sweep::parse_axis(key + "=" + shortest(values[0]) + ":" + shortest(values[1]) + ":" + shortest(values[2]));
    if (!p.axis) throw py::value_error(p.problem);
    if (const std::string problem = t.key_problem(key); !problem.empty()) throw py::key_error(problem);
    axes.push_back(*p.axis);
  }
  if (sweep::grid_size(axes) > 10'000'000) throw py::value_error("a sweep holds at most 10000000 designs");
  sweep::SweepPlan plan;
  plan.axes = axes;
  plan.jobs = jobs > 0 ? jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  plan.stop = [] { return io::interrupted() != 0; };
  plan.evaluation.stop = plan.stop;
  const nlohmann::json rows = interruptible([&] {
    const sweep::SweepResult result = sweep::run_sweep(t, plan);
    return sweep::sweep_json(design.name(), axes, result.rows, sweep::grid_size(axes), result.complete, std::nullopt,
                             "directivity_dbi")
        .at("rows");
  });
  return to_python(rows);
}

// The geometry wizard's design file, or DesignError naming the parameter
// to change.
std::string geometry_call(const std::string& family_name, double diameter, double focal_length, double sub_diameter,
                          double feed_angle, std::optional<double> hole_diameter, std::optional<double> ring_radius,
                          const std::string& unit, const std::string& name) {
  const auto refuse = [](std::string key, std::string message) {
    diag::Diagnostic d = diag::error(std::move(message), std::move(key));
    return DesignRefused({d});
  };
  const std::optional<design::ClassicalFamily> family = design::classical_family_from_name(family_name);
  if (!family)
    throw refuse("family", "\"" + family_name + "\" is not a family: give cassegrain, gregorian, adc, ade, adh or adg.");
  designfile::WizardFileOptions options;
  options.name = name.empty() ? family_name : name;
  options.unit = unit;
  if (const std::string p = designfile::wizard_name_problem(options.name); !p.empty()) throw refuse("name", p + ".");
  if (!unit.empty()) {
    if (const std::string p = designfile::wizard_unit_problem(unit); !p.empty()) throw refuse("unit", p + ".");
  }
  design::ClassicalInputs in;
  in.family = *family;
  in.diameter = diameter;
  in.focal_length = focal_length;
  in.sub_diameter = sub_diameter;
  in.feed_angle_deg = feed_angle;
  in.hole_diameter = hole_diameter;
  in.ring_radius = ring_radius;
  const design::WizardResult w = design::geometry_wizard(in);
  if (!w.design) throw refuse(w.problems.front().parameter, w.problems.front().parameter + ": " + w.problems.front().message + ".");
  return designfile::wizard_toml(*w.design, options);
}

}  // namespace

PYBIND11_MODULE(_ravost, m) {
  m.doc() = "The program's design core; use the package ravost.";
  m.attr("__version__") = RAVOST_VERSION;

  py::class_<Diagnostic>(m, "Diagnostic", "One problem: its severity, key, file, line, message and suggestion.")
      .def_property_readonly("severity", [](const Diagnostic& d) { return severity_name(d.severity); })
      .def_readonly("key", &Diagnostic::key)
      .def_readonly("file", &Diagnostic::file)
      .def_property_readonly("line", [](const Diagnostic& d) -> std::optional<long> {
        return d.line > 0 ? std::optional<long>(d.line) : std::nullopt;
      })
      .def_readonly("message", &Diagnostic::message)
      .def_readonly("suggestion", &Diagnostic::suggestion)
      .def("__str__", [](const Diagnostic& d) { return diag::render(d); })
      .def("__repr__", [](const Diagnostic& d) {
        return "<ravost.Diagnostic " + diag::render(d) + ">";
      });

  py::object error = py::reinterpret_steal<py::object>(
      PyErr_NewExceptionWithDoc("ravost.DesignError",
                                "The design is refused; .diagnostics says why (each with its key and line).",
                                PyExc_ValueError, nullptr));
  if (!error) throw py::error_already_set();
  m.attr("DesignError") = error;
  g_design_error = error.ptr();
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const DesignRefused& e) {
      py::object exception = py::reinterpret_borrow<py::object>(g_design_error)(py::str(e.what()));
      exception.attr("diagnostics") = py::cast(e.diagnostics);
      PyErr_SetObject(g_design_error, exception.ptr());
    }
  });

  py::class_<Design>(m, "Design", "A design file: its text and the design the program reads from it.")
      .def("__getitem__", &Design::get, py::arg("key"))
      .def("__setitem__", &Design::set, py::arg("key"), py::arg("value"))
      .def("__delitem__", &Design::remove, py::arg("key"))
      .def("__contains__", &Design::has, py::arg("key"))
      .def("to_toml", &Design::text, "The design file's text, with every key set since it was read.")
      .def_property_readonly("name", &Design::name)
      .def("copy", [](const Design& d) { return Design(d); })
      .def("__copy__", [](const Design& d) { return Design(d); })
      .def("__deepcopy__", [](const Design& d, py::dict) { return Design(d); })
      .def("__repr__", &Design::repr);

  m.def("load", &load, py::arg("path"));
  m.def(
      "loads",
      [](std::string text, std::string name, const std::string& base) {
        return Design(std::move(text), std::move(name), base.empty() ? fs::current_path() : fs::path(base));
      },
      py::arg("text"), py::arg("name") = "<string>", py::arg("base") = "");
  m.def("check", [](const Design& d) { return d.diagnostics(); }, py::arg("design"));
  m.def("_synthesise", &synthesise_call, py::arg("design"), py::arg("precision"));
  m.def("_report", &report_call, py::arg("design"), py::arg("wavelength"), py::arg("physical_optics"),
        py::arg("precision"));
  m.def("_sweep", &sweep_call, py::arg("design"), py::arg("vary"), py::arg("jobs"));
  m.def("_geometry", &geometry_call, py::arg("family"), py::arg("diameter"), py::arg("focal_length"),
        py::arg("sub_diameter"), py::arg("feed_angle"), py::arg("hole_diameter"), py::arg("ring_radius"),
        py::arg("unit"), py::arg("name"));
}
