// The files of a sweep (CSV, JSON, one HTML page with its figures) and the
// joining of a sweep's parts.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "fields/prose.h"
#include "figures/heat_map.h"
#include "figures/svg.h"
#include "io/folder.h"
#include "run/context.h"
#include "sweep/sweep.h"

namespace sweep {
namespace {

using nlohmann::json;

std::string num(double v) { return std::isfinite(v) ? fields::number(v, 10) : std::string(); }

// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string q = "\"";
  for (char c : text) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

// Whether the rows' files tabulate the physical optics' figures.
bool with_physical_optics(const std::vector<Row>& rows, bool asked) {
  return asked || std::any_of(rows.begin(), rows.end(), [](const Row& r) { return r.evaluation.physical_optics; });
}

std::string sweep_csv(const std::vector<Axis>& axes, const std::vector<Row>& rows, bool physical_optics) {
  const std::vector<std::string_view> names = run::figure_names(physical_optics);
  std::ostringstream o;
  o << "index";
  for (const Axis& a : axes) o << ',' << csv_field(a.key);
  o << ",status";
  for (std::string_view f : names) o << ',' << f;
  o << ",reason,warnings\n";
  for (const Row& r : rows) {
    o << r.index;
    for (double v : r.inputs) o << ',' << num(v);
    o << ',' << r.evaluation.status;
    for (std::size_t i = 0; i < names.size(); ++i) o << ',' << num(r.evaluation.figures[i]);
    std::string warnings;
    for (const std::string& w : r.evaluation.warnings) warnings += (warnings.empty() ? "" : " ") + w;
    o << ',' << csv_field(r.evaluation.reason) << ',' << csv_field(warnings) << '\n';
  }
  return o.str();
}

json value_or_null(double v) { return std::isfinite(v) ? json(v) : json(nullptr); }

}  // namespace

json row_json(const Row& r) {
  json values = json::object();
  const std::vector<std::string_view> names = run::figure_names(r.evaluation.physical_optics);
  for (std::size_t i = 0; i < names.size(); ++i) values[std::string(names[i])] = value_or_null(r.evaluation.figures[i]);
  return {{"index", r.index},   {"inputs", r.inputs},   {"status", r.evaluation.status},
          {"reason", r.evaluation.reason}, {"warnings", r.evaluation.warnings}, {"figures", values}};
}
json sweep_json(const std::string& source, const std::vector<Axis>& axes, const std::vector<Row>& rows, long grid,
                bool complete, const std::optional<std::size_t>& best, const std::string& best_figure) {
  json j;
  j["source"] = source;
  json ax = json::array();
  for (const Axis& a : axes) ax.push_back({{"key", a.key}, {"lo", a.lo}, {"hi", a.hi}, {"n", a.n}});
  j["axes"] = ax;
  j["grid"] = grid;
  j["complete"] = complete;
  j["best_by"] = best_figure;
  j["best_index"] = best ? json(rows[*best].index) : json(nullptr);
  json rs = json::array();
  for (const Row& r : rows) rs.push_back(row_json(r));
  j["rows"] = rs;
  return j;
}

namespace {

// The row with the highest figure among the clean designs (and the warned
// ones when they are allowed to compete).
std::optional<std::size_t> best_row(const std::vector<Row>& rows, const std::string& figure, bool allow_warnings) {
  std::optional<std::size_t> best;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].evaluation.ok() && !(allow_warnings && rows[i].evaluation.designed())) continue;
    const double v = rows[i].evaluation.figure(figure);
    if (std::isfinite(v) && (!best || v > rows[*best].evaluation.figure(figure))) best = i;
  }
  return best;
}

// A figure's name as a person reads it, with its unit (short enough for a
// chart's side; PO: the physical optics'); the name itself for a figure
// without one here.
std::string figure_label(std::string_view name) {
  static const std::map<std::string_view, std::string_view> labels = {
      {"directivity_dbi", "directivity (dBi)"},
      {"efficiency", "total efficiency"},
      {"spillover", "spillover efficiency"},
      {"illumination", "illumination efficiency"},
      {"blockage", "blockage efficiency"},
      {"phase", "phase efficiency"},
      {"hpbw_deg", "half-power beamwidth (deg)"},
      {"first_null_deg", "first null (deg)"},
      {"first_sidelobe_db", "first sidelobe (dB)"},
      {"path_error_wavelengths", "path error (wavelengths p-p)"},
      {"edge_taper_db", "feed edge taper (dB)"},
      {"sub_diameter", "subreflector diameter"},
      {"surface", "surface efficiency"},
      {"po_directivity_dbi", "PO directivity (dBi)"},
      {"po_first_sidelobe_db", "PO first sidelobe (dB)"},
      {"po_cross_polar_peak_db", "PO cross-polar peak (dB)"},
      {"po_hpbw_deg", "PO half-power beamwidth (deg)"},
      {"po_spillover_past_sub", "PO spillover past the sub"},
      {"po_spillover_past_main", "PO spillover past the main"}};
  const auto found = labels.find(name);
  return std::string(found != labels.end() ? found->second : name);
}

bool ends_with(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The smallest span a figure's axis or colour scale is drawn on: a
// thousandth of its magnitude, and at least a hundredth of a dB for a level,
// 1e-4 for an efficiency or a share of power, a thousandth of a degree for
// an angle, a thousandth of a wavelength for a path error.  Values that vary
// less are numerical noise, drawn flat.
double minimum_span(std::string_view name, double magnitude) {
  double floor = 0;
  if (ends_with(name, "_db") || ends_with(name, "_dbi"))
    floor = 0.01;
  else if (ends_with(name, "_deg") || ends_with(name, "_wavelengths"))
    floor = 1e-3;
  else if (name == "efficiency" || name == "illumination" || name == "blockage" || name == "phase" || name == "surface" ||
           name.find("spillover") != std::string_view::npos)
    floor = 1e-4;
  return std::max(floor, 1e-3 * std::abs(magnitude));
}

// The figures a page shows: the one the best design is chosen by first,
// then every figure any design has a value of, in the rows' order.
std::vector<std::string> shown_figures(const std::vector<Row>& rows, const std::string& best_figure) {
  std::vector<std::string> names;
  if (run::figure_index(best_figure) >= 0) names.push_back(best_figure);
  for (std::size_t i = 0; i < run::kFigureNames.size(); ++i) {
    const std::string name(run::kFigureNames[i]);
    if (name == best_figure) continue;
    for (const Row& r : rows)
      if (std::isfinite(r.evaluation.figures[i])) {
        names.push_back(name);
        break;
      }
  }
  return names;
}

// The largest magnitude of a figure over the designed rows.
double magnitude_of(const std::vector<Row>& rows, const std::string& figure) {
  double m = 0;
  for (const Row& r : rows) {
    const double v = r.evaluation.figure(figure);
    if (r.evaluation.designed() && std::isfinite(v)) m = std::max(m, std::abs(v));
  }
  return m;
}

// Why a row is not clean: its reason and its warnings, in one line.
std::string why(const Row& r) {
  std::string text = r.evaluation.reason;
  for (const std::string& w : r.evaluation.warnings) text += (text.empty() ? "" : " ") + w;
  return text;
}

// One figure against one varied input: the clean designs as dots on a line
// (broken where a design is not clean), warned ones as rings where their
// figures fall, refused and failed ones as crosses
// on the axis (each with why on hovering), the best design marked.
std::string line_chart(const std::vector<Axis>& axes, const std::vector<Row>& rows, const std::optional<std::size_t>& best,
                       const std::string& name) {
  using Shape = figures::Series::Shape;
  const std::string label = figure_label(name);
  figures::Chart c;
  c.id = "sweep-" + name;
  c.title = label + " against " + axes[0].key;
  c.x_label = axes[0].key;
  c.y_label = label;
  c.height = 360;
  c.legend_below = true;
  c.y_min_span = minimum_span(name, magnitude_of(rows, name));
  figures::Series s{"", figures::kDelivered, {}, {}, 1.6, false, false};
  figures::Series clean{"clean design", figures::kDelivered, {}, {}, 1.6, false, true};
  clean.pin = true;  // a design on the plot's edge is drawn whole
  figures::Series warned{"warned design (not a candidate)", figures::kRay, {}, {}, 1.4, false, true};
  warned.shape = Shape::ring;
  warned.pin = true;
  figures::Series refused{"refused design (no figures)", "#303030", {}, {}, 1.4, false, true};
  refused.shape = Shape::cross;
  refused.at_axis = true;
  figures::Series failed{"failed design (no figures)", "#c00000", {}, {}, 1.4, false, true};
  failed.shape = Shape::cross;
  failed.at_axis = true;
  for (const Row& r : rows) {
    const double x = r.inputs[0], y = r.evaluation.figure(name);
    s.x.push_back(x);
    // NaN: the line breaks at a design that failed or was warned.
    s.y.push_back(r.evaluation.ok() ? y : std::nan(""));
    const std::string tip = axes[0].key + " = " + fields::number(x, 10) + ": " + r.evaluation.status;
    if (r.evaluation.ok()) {
      clean.x.push_back(x), clean.y.push_back(y);
      clean.tips.push_back(tip + ", " + name + " = " + num(y));
    } else if (r.evaluation.status == "warned") {
      warned.x.push_back(x), warned.y.push_back(y);
      warned.tips.push_back(tip + ", " + name + " = " + num(y) + ". " + why(r));
    } else {
      figures::Series& to = r.evaluation.status == "refused" ? refused : failed;
      to.x.push_back(x), to.y.push_back(std::nan(""));
      to.tips.push_back(tip + ". " + why(r));
    }
  }
  c.series.push_back(s);
  for (figures::Series* extra : {&clean, &warned, &refused, &failed})
    if (!extra->x.empty()) c.series.push_back(*extra);
  if (best) {
    const Row& b = rows[*best];
    c.series.push_back({"best design", figures::kWanted, {b.inputs[0]}, {b.evaluation.figure(name)}, 2.0, false, true});
    c.series.back().pin = true;
  }
  return figures::render(c);
}

// One figure over two varied inputs: the second input across, the first
// up; warned, refused and failed designs marked, the best design circled.
std::string heat_map(const std::vector<Axis>& axes, const std::vector<Row>& rows, const std::string& name,
                     const std::optional<std::size_t>& best) {
  using Cell = figures::HeatMap::Cell;
  figures::HeatMap m;
  m.title = figure_label(name) + " over " + axes[0].key + " and " + axes[1].key;
  m.x_label = axes[1].key;
  m.y_label = axes[0].key;
  for (int i = 0; i < axes[1].n; ++i) m.x_values.push_back(axes[1].value(i));
  for (int j = 0; j < axes[0].n; ++j) m.y_values.push_back(axes[0].value(j));
  m.x_range = {axes[1].lo, axes[1].hi};
  m.y_range = {axes[0].lo, axes[0].hi};
  const std::size_t cells = static_cast<std::size_t>(axes[1].n * axes[0].n);
  m.values.assign(cells, std::nan(""));
  m.kinds.assign(cells, Cell::value);
  m.tips.assign(cells, std::string());
  // Warned designs are marked, not coloured: their figures are not what was
  // asked for; hovering (and the table below the figures) says why.
  for (const Row& r : rows) {
    const auto k = static_cast<std::size_t>(r.index);
    if (k >= cells) continue;
    m.values[k] = r.evaluation.figure(name);
    const std::string& status = r.evaluation.status;
    m.kinds[k] = r.evaluation.ok() ? Cell::value : status == "warned" ? Cell::warned : status == "refused" ? Cell::refused : Cell::failed;
    m.tips[k] = why(r);
  }
  m.missing = "no design (not computed)";
  m.min_span = minimum_span(name, magnitude_of(rows, name));
  if (best) m.marked = static_cast<std::size_t>(rows[*best].index);
  return figures::render(m);
}

// Every figure of the rows, each pre-drawn: a chooser (a few lines of
// inline script) shows one at a time; without scripts all are shown, the
// chooser hidden.
std::string figure_chooser(const std::vector<Axis>& axes, const std::vector<Row>& rows, const std::optional<std::size_t>& best,
                           const std::string& best_figure) {
  const std::vector<std::string> names = shown_figures(rows, best_figure);
  if (names.empty()) return {};
  std::ostringstream o;
  o << "<p class=\"chooser\" id=\"chooser\" hidden><label for=\"figure\">Figure: </label><select id=\"figure\">\n";
  for (const std::string& name : names)
    o << "<option value=\"" << figures::escape(name) << "\">" << figures::escape(figure_label(name)) << " ("
      << figures::escape(name) << ")</option>\n";
  o << "</select></p>\n";
  for (const std::string& name : names)
    o << "<div class=\"figure\" id=\"figure-" << figures::escape(name) << "\">\n"
      << (axes.size() == 1 ? line_chart(axes, rows, best, name) : heat_map(axes, rows, name, best)) << "</div>\n";
  o << "<script>\n(function () {\n  var select = document.getElementById('figure');\n"
       "  var shown = function () {\n    var all = document.querySelectorAll('div.figure');\n"
       "    for (var i = 0; i < all.length; ++i) all[i].hidden = all[i].id !== 'figure-' + select.value;\n  };\n"
       "  select.addEventListener('change', shown);\n  document.getElementById('chooser').hidden = false;\n  shown();\n"
       "})();\n</script>\n";
  return o.str();
}

std::string sweep_html(const std::string& source, const std::vector<Axis>& axes, const std::vector<Row>& rows, long grid,
                       bool complete, const std::optional<std::size_t>& best, const std::string& best_figure) {
  const auto esc = figures::escape;
  std::ostringstream o;
  long ok = 0, warned = 0, refused = 0, failed = 0;
  for (const Row& r : rows)
    (r.evaluation.status == "ok"       ? ok
     : r.evaluation.status == "warned" ? warned
     : r.evaluation.status == "refused" ? refused
                                        : failed)++;
  o << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Sweep of " << esc(source)
    << "</title>\n<style>body{font-family:Helvetica,Arial,sans-serif;max-width:1000px;margin:24px auto;padding:0 16px}"
       "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:3px 8px;text-align:right}.warn{color:#a40000}"
       "</style>\n</head>\n<body>\n";
  o << "<h1>Sweep of " << esc(source) << "</h1>\n<p>";
  for (const Axis& a : axes) o << esc(a.key) << " from " << num(a.lo) << " to " << num(a.hi) << " in " << a.n << " values; ";
  o << rows.size() << " of " << grid << " designs: " << ok << " designed, ";
  if (warned > 0) o << warned << " designed with a warning that changes their figures, ";
  o << refused << " refused, " << failed << " failed.</p>\n";
  if (!complete) o << "<p class=\"warn\">The sweep is incomplete: it was stopped or these are parts of it.</p>\n";
  if (best) {
    const Row& b = rows[*best];
    o << "<p>Best design by " << esc(best_figure) << " (marked in the figures): ";
    for (std::size_t k = 0; k < axes.size(); ++k) o << esc(axes[k].key) << " = " << num(b.inputs[k]) << ", ";
    o << esc(best_figure) << " = " << num(b.evaluation.figure(best_figure)) << ".</p>\n";
  }
  o << figure_chooser(axes, rows, best, best_figure);
  // The designs that are not clean, with why.
  if (warned + refused + failed > 0) {
    o << "<h2>Designs warned, refused or failed</h2>\n<table>\n<tr>";
    for (const Axis& a : axes) o << "<th>" << esc(a.key) << "</th>";
    o << "<th>status</th><th style=\"text-align:left\">why</th></tr>\n";
    for (const Row& r : rows) {
      if (r.evaluation.ok()) continue;
      o << "<tr>";
      for (double v : r.inputs) o << "<td>" << num(v) << "</td>";
      o << "<td>" << esc(r.evaluation.status) << "</td><td style=\"text-align:left\">" << esc(why(r)) << "</td></tr>\n";
    }
    o << "</table>\n";
  }
  o << "<p>Every design and figure is in sweep.csv and sweep.json.</p>\n</body>\n</html>\n";
  return o.str();
}

}  // namespace

void write_sweep(const std::filesystem::path& dir, const std::string& source, const SweepIdentity& identity,
                 const std::vector<Axis>& axes, const std::vector<Row>& rows, long grid, bool complete,
                 const std::string& best_figure, const std::string& shard, bool allow_warnings) {
  const std::optional<std::size_t> best = best_row(rows, best_figure, allow_warnings);
  io::FolderWriter folder(dir);
  const bool physical_optics = with_physical_optics(rows, identity.physical_optics);
  folder.write("sweep.csv", sweep_csv(axes, rows, physical_optics));
  json j = sweep_json(source, axes, rows, grid, complete, best, best_figure);
  j["design_digest"] = identity.design_digest;
  j["program_version"] = identity.program_version;
  j["precision"] = identity.precision;
  if (!identity.settings.empty()) j["set"] = identity.settings;
  if (physical_optics) j["physical_optics"] = true;
  if (!shard.empty()) j["shard"] = shard;
  folder.write("sweep.json", j.dump(1) + "\n");
  folder.write("sweep.html", sweep_html(source, axes, rows, grid, complete, best, best_figure));
  folder.commit();
}

void write_optimization(const std::filesystem::path& dir, const DesignTemplate& t, const OptimizePlan& plan,
                        const OptimizeResult& result) {
  std::vector<Axis> columns;
  std::vector<std::string> keys;
  for (const Free& f : plan.free) columns.push_back({f.key, f.lo, f.hi, 1}), keys.push_back(f.key);
  // Every design tried, with whether it meets every constraint and, when it
  // does not, which constraints it breaks.
  std::ostringstream csv;
  {
    const std::string table = sweep_csv(columns, result.history, with_physical_optics(result.history, plan.evaluation.physical_optics));
    const std::size_t eol = table.find('\n');
    csv << table.substr(0, eol) << ",feasible,violations\n";
    std::size_t at = eol + 1;
    for (const Row& r : result.history) {
      const std::size_t end = table.find('\n', at);
      std::string broken;
      for (const std::string& v : violations(r, keys, plan.constraints)) broken += (broken.empty() ? "" : "; ") + v;
      csv << table.substr(at, end - at) << ',' << (feasible(r, keys, plan.constraints, plan.allow_warnings) ? 1 : 0) << ','
          << csv_field(broken) << '\n';
      at = end + 1;
    }
  }
  const std::string best_word = plan.minimize ? "lowest" : "highest";
  figures::Chart c;
  c.id = "convergence";
  c.title = "Best feasible " + plan.objective + " (" + best_word + ") against designs tried";
  c.x_label = "designs tried";
  c.height = 454;
  c.legend_below = true;
  c.y_label = figure_label(plan.objective);
  c.y_min_span = minimum_span(plan.objective, magnitude_of(result.history, plan.objective));
  figures::Series tried{"feasible design", "#9a9a9a", {}, {}, 1.4, false, true};
  figures::Series infeasible{"design that breaks a constraint", figures::kWanted, {}, {}, 1.0, false, true};
  infeasible.shape = figures::Series::Shape::ring;
  infeasible.width = 1.4;
  tried.pin = infeasible.pin = true;
  figures::Series unmade{"design without figures (at the axis)", "#303030", {}, {}, 1.2, false, true};
  unmade.shape = figures::Series::Shape::cross;
  unmade.at_axis = true;
  figures::Series best{"best feasible so far", figures::kDelivered, {}, {}, 1.8, false, false};
  for (std::size_t i = 0; i < result.history.size(); ++i) {
    const Row& r = result.history[i];
    const double v = r.evaluation.figure(plan.objective);
    const bool ok = feasible(r, keys, plan.constraints, plan.allow_warnings);
    figures::Series& s = ok ? tried : std::isfinite(v) ? infeasible : unmade;
    s.x.push_back(static_cast<double>(i + 1)), s.y.push_back(v);
    // Why a design is infeasible, on hovering over it.
    std::string tip = "design " + std::to_string(i + 1) + (std::isfinite(v) ? ": " + plan.objective + " = " + num(v) : "");
    if (!ok) {
      std::string broken = why(r);
      for (const std::string& k : violations(r, keys, plan.constraints)) broken += (broken.empty() ? "" : "; ") + k;
      tip += (broken.empty() ? std::string() : ". " + broken);
    }
    s.tips.push_back(tip);
    if (i < result.best_so_far.size() && std::isfinite(result.best_so_far[i]))
      best.x.push_back(static_cast<double>(i + 1)), best.y.push_back(result.best_so_far[i]);
  }
  c.series = {tried};
  if (!infeasible.x.empty()) c.series.push_back(infeasible);
  if (!unmade.x.empty()) c.series.push_back(unmade);
  c.series.push_back(best);
  io::FolderWriter folder(dir);
  folder.write("history.csv", csv.str());
  folder.write("convergence.svg", figures::render(c));
  if (result.best) {
    const Row& b = result.history[*result.best];
    std::vector<std::pair<std::string, double>> set;
    json inputs = json::object();
    for (std::size_t i = 0; i < keys.size(); ++i) set.emplace_back(keys[i], b.inputs[i]), inputs[keys[i]] = b.inputs[i];
    // The figures were computed in 64-bit reals: the file says so, so that
    // running it gives the same design.
    folder.write("best.toml", t.edited_text(set, "64-bit"));
    json figures = json::object();
    const std::vector<std::string_view> names = run::figure_names(b.evaluation.physical_optics);
    for (std::size_t i = 0; i < names.size(); ++i) figures[std::string(names[i])] = value_or_null(b.evaluation.figures[i]);
    json constraints = json::array();
    for (const Constraint& k : plan.constraints)
      constraints.push_back({{"figure", k.figure}, {"relation", k.at_most ? "<=" : ">="}, {"value", k.value}});
    json bounds = json::object();
    for (const Free& f : plan.free) bounds[f.key] = {f.lo, f.hi};
    json summary = {{"objective", {{"figure", plan.objective}, {"goal", plan.minimize ? "minimize" : "maximize"},
                                         {"value", value_or_null(b.evaluation.figure(plan.objective))}}},
                          {"inputs", inputs},
                          {"bounds", bounds},
                          {"at_bounds", bounds_reached(plan.free, b.inputs)},
                          {"constraints", constraints},
                          {"figures", figures},
                          {"precision", "64-bit"},
                          {"index", b.index},
                          {"designs_tried", result.history.size()}};
    if (!plan.settings.empty()) summary["set"] = plan.settings;
    folder.write("best.json", summary.dump(2) + "\n");
    const designfile::ReadResult r = t.with(set);
    if (r.file) {
      try {
        run::write_design_report(r.file->choices, options_of(*r.file, plan.evaluation), dir / "report");
      } catch (const run::Stopped&) {
        // Stopped while the report was made: the other files are written
        // all the same, the report (removed whole) is not.
      }
    }
  }
  // An earlier optimisation's best design is not this one's.
  folder.own({"best.toml", "best.json"});
  folder.commit();
}

namespace {

// One sweep.json read back: its grid, identity and rows; throws for a file
// that is not one.
struct Part {
  std::string source, shard;
  SweepIdentity identity;
  bool has_identity = false;
  std::vector<Axis> axes;
  long grid = 0;
  bool complete = false;
  std::vector<Row> rows;
};

Part read_part(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error("it cannot be read");
  const json j = json::parse(in);
  Part p;
  for (const json& a : j.at("axes"))
    p.axes.push_back({a.at("key").get<std::string>(), a.at("lo").get<double>(), a.at("hi").get<double>(), a.at("n").get<int>()});
  p.source = j.at("source").get<std::string>();
  p.grid = j.at("grid").get<long>();
  p.complete = j.at("complete").get<bool>();
  p.shard = j.value("shard", std::string());
  if (j.contains("design_digest")) {
    p.has_identity = true;
    p.identity = {j.at("design_digest").get<std::string>(), j.at("program_version").get<std::string>(),
                  j.at("precision").get<std::string>(), j.value("set", std::vector<std::string>()),
                  j.value("physical_optics", false)};
  }
  if (p.grid != grid_size(p.axes)) throw std::runtime_error("its grid does not match its axes");
  for (const json& r : j.at("rows")) {
    Row row;
    row.index = r.at("index").get<long>();
    row.inputs = r.at("inputs").get<std::vector<double>>();
    row.evaluation.status = r.at("status").get<std::string>();
    row.evaluation.reason = r.at("reason").get<std::string>();
    row.evaluation.warnings = r.value("warnings", std::vector<std::string>());
    // The physical optics' figures are there when they were computed.
    const json& figures = r.at("figures");
    row.evaluation.physical_optics = figures.contains(std::string(run::kFigureNames[run::kPhysicalOpticsFigures]));
    row.evaluation.figures.fill(std::nan(""));
    const std::vector<std::string_view> names = run::figure_names(row.evaluation.physical_optics);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const json& v = figures.at(std::string(names[i]));
      row.evaluation.figures[i] = v.is_null() ? std::nan("") : v.get<double>();
    }
    if (row.index < 0 || row.index >= p.grid || row.inputs.size() != p.axes.size())
      throw std::runtime_error("it holds a row outside its grid");
    p.rows.push_back(std::move(row));
  }
  return p;
}

bool same_axes(const std::vector<Axis>& a, const std::vector<Axis>& b) {
  bool same = a.size() == b.size();
  for (std::size_t k = 0; same && k < a.size(); ++k)
    same = a[k].key == b[k].key && a[k].lo == b[k].lo && a[k].hi == b[k].hi && a[k].n == b[k].n;
  return same;
}

constexpr const char* kNoIdentity =
    " was written by an earlier version of the program (it records no digest of its design), so what it was "
    "computed from cannot be told.";

}  // namespace

Merged merge(const std::vector<std::filesystem::path>& dirs) {
  Merged m;
  std::map<long, Row> rows;
  std::string first_file;
  for (const auto& dir : dirs) {
    const auto file = dir / "sweep.json";
    Part part;
    try {
      part = read_part(file);
    } catch (const std::exception& e) {
      m.problem = file.string() + " is not a sweep's sweep.json: " + e.what();
      return m;
    }
    if (!part.has_identity) {
      m.problem = file.string() + kNoIdentity;
      return m;
    }
    // The same design under another name belongs; another design under the
    // same name does not.
    if (first_file.empty()) {
      m.axes = part.axes, m.source = part.source, m.grid = part.grid, m.identity = part.identity;
      first_file = file.string();
    } else {
      std::string differs = identity_difference(part.identity, m.identity);
      if (differs.empty() && !same_axes(part.axes, m.axes)) differs = "its varied inputs";
      if (!differs.empty()) {
        m.problem = file.string() + " is a part of another sweep than " + first_file + ": they differ in " + differs + ".";
        return m;
      }
    }
    for (Row& row : part.rows) rows[row.index] = std::move(row);
  }
  for (auto& [index, row] : rows) m.rows.push_back(std::move(row));
  m.complete = static_cast<long>(m.rows.size()) == m.grid;
  return m;
}

Resumed resumable(const std::filesystem::path& dir, const SweepIdentity& identity, const std::vector<Axis>& axes,
                  const std::string& shard) {
  Resumed r;
  const auto file = dir / "sweep.json";
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) {
    r.problem = "there is no sweep to resume in " + dir.string() + " (it has no sweep.json).";
    return r;
  }
  Part part;
  try {
    part = read_part(file);
  } catch (const std::exception& e) {
    r.problem = file.string() + " is not a sweep's sweep.json: " + e.what();
    return r;
  }
  if (!part.has_identity) {
    r.problem = file.string() + kNoIdentity;
    return r;
  }
  std::string differs = identity_difference(part.identity, identity);
  if (differs.empty() && !same_axes(part.axes, axes)) differs = "its varied inputs";
  if (differs.empty() && part.shard != shard)
    differs = "its part of the grid (" + (part.shard.empty() ? std::string("the whole grid") : "--shard " + part.shard) +
              ", not " + (shard.empty() ? std::string("the whole grid") : "--shard " + shard) + ")";
  if (!differs.empty()) {
    r.problem = "the sweep in " + dir.string() + " is another sweep: it differs in " + differs + ".";
    return r;
  }
  // A part is complete when it holds every row of its share of the grid.
  long wanted = part.grid;
  if (!shard.empty()) {
    const long k = std::stol(shard.substr(0, shard.find('/'))), n = std::stol(shard.substr(shard.find('/') + 1));
    wanted = part.grid >= k ? (part.grid - k) / n + 1 : 0;
  }
  if (part.complete || static_cast<long>(part.rows.size()) >= wanted) {
    r.problem = "the sweep in " + dir.string() + " is finished: there is nothing to resume.";
    return r;
  }
  r.rows = std::move(part.rows);
  return r;
}

}  // namespace sweep
