// The files of a sweep (CSV, JSON, one HTML page with its figures) and the
// joining of a sweep's parts.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "analysis/svg.h"
#include "fields/prose.h"
#include "io/folder.h"
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

std::string sweep_csv(const std::vector<Axis>& axes, const std::vector<Row>& rows) {
  std::ostringstream o;
  o << "index";
  for (const Axis& a : axes) o << ',' << csv_field(a.key);
  o << ",status";
  for (std::string_view f : run::kFigureNames) o << ',' << f;
  o << ",reason\n";
  for (const Row& r : rows) {
    o << r.index;
    for (double v : r.inputs) o << ',' << num(v);
    o << ',' << r.evaluation.status;
    for (double v : r.evaluation.figures) o << ',' << num(v);
    o << ',' << csv_field(r.evaluation.reason) << '\n';
  }
  return o.str();
}

json value_or_null(double v) { return std::isfinite(v) ? json(v) : json(nullptr); }

}  // namespace

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
  for (const Row& r : rows) {
    json figures = json::object();
    for (std::size_t i = 0; i < run::kFigureNames.size(); ++i)
      figures[std::string(run::kFigureNames[i])] = value_or_null(r.evaluation.figures[i]);
    rs.push_back({{"index", r.index},
                  {"inputs", r.inputs},
                  {"status", r.evaluation.status},
                  {"reason", r.evaluation.reason},
                  {"figures", figures}});
  }
  j["rows"] = rs;
  return j;
}

namespace {

std::optional<std::size_t> best_row(const std::vector<Row>& rows, const std::string& figure) {
  std::optional<std::size_t> best;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const double v = rows[i].evaluation.figure(figure);
    if (std::isfinite(v) && (!best || v > rows[*best].evaluation.figure(figure))) best = i;
  }
  return best;
}

// Figures against one varied input, the best design marked.
std::string line_charts(const std::vector<Axis>& axes, const std::vector<Row>& rows, const std::optional<std::size_t>& best) {
  std::string out;
  const char* figures[] = {"directivity_dbi", "efficiency", "first_sidelobe_db", "path_error_wavelengths"};
  const char* labels[] = {"directivity (dBi)", "total efficiency", "first sidelobe (dB)", "path error (wavelengths p-p)"};
  for (std::size_t f = 0; f < std::size(figures); ++f) {
    analysis::svg::Chart c;
    c.id = std::string("sweep-") + figures[f];
    c.title = labels[f] + std::string(" against ") + axes[0].key;
    c.x_label = axes[0].key;
    c.y_label = labels[f];
    c.height = 320;
    analysis::svg::Series s{"designs", analysis::svg::kDelivered, {}, {}, 1.6, false, false};
    for (const Row& r : rows) {
      s.x.push_back(r.inputs[0]);
      s.y.push_back(r.evaluation.figure(figures[f]));  // NaN: the line breaks at a failed design
    }
    c.series.push_back(s);
    if (best) {
      const Row& b = rows[*best];
      c.series.push_back({"best design", analysis::svg::kWanted, {b.inputs[0]}, {b.evaluation.figure(figures[f])}, 2.0, false, true});
    }
    out += analysis::svg::render(c);
  }
  return out;
}

// A colour from dark blue through green to yellow for t in [0, 1].
std::string colour(double t) {
  static const double stops[][3] = {{68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}};
  t = std::clamp(t, 0.0, 1.0) * 4.0;
  const int i = std::min(3, static_cast<int>(t));
  const double u = t - i;
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<int>(stops[i][0] + u * (stops[i + 1][0] - stops[i][0])),
                static_cast<int>(stops[i][1] + u * (stops[i + 1][1] - stops[i][1])),
                static_cast<int>(stops[i][2] + u * (stops[i + 1][2] - stops[i][2])));
  return buf;
}

// A heat map of one figure over two varied inputs with contour lines (by
// marching squares over the cell centres), failed designs grey, the best
// design circled.
std::string heat_map(const std::vector<Axis>& axes, const std::vector<Row>& rows, const std::string& figure,
                     const std::optional<std::size_t>& best) {
  const int nx = axes[1].n, ny = axes[0].n;  // the second input across, the first up
  std::vector<double> v(static_cast<std::size_t>(nx * ny), std::nan(""));
  for (const Row& r : rows) v[static_cast<std::size_t>(r.index)] = r.evaluation.figure(figure);
  double lo = INFINITY, hi = -INFINITY;
  for (double x : v)
    if (std::isfinite(x)) lo = std::min(lo, x), hi = std::max(hi, x);
  const double W = 560, H = 420, L = 90, T = 40;
  const double cw = W / nx, ch = H / ny;
  const auto px = [&](double i) { return L + (i + 0.5) * cw; };
  const auto py = [&](double j) { return T + H - (j + 0.5) * ch; };
  std::ostringstream o;
  o << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << L + W + 140 << "\" height=\"" << T + H + 70
    << "\" font-family=\"Helvetica,Arial,sans-serif\" font-size=\"12\">\n";
  o << "<text x=\"" << L << "\" y=\"24\" font-size=\"15\">" << analysis::svg::escape(figure) << " over "
    << analysis::svg::escape(axes[0].key) << " and " << analysis::svg::escape(axes[1].key) << "</text>\n";
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      const double x = v[static_cast<std::size_t>(j * nx + i)];
      const std::string fill = std::isfinite(x) ? colour(hi > lo ? (x - lo) / (hi - lo) : 0.5) : "#c8c8c8";
      o << "<rect x=\"" << L + i * cw << "\" y=\"" << T + H - (j + 1) * ch << "\" width=\"" << cw + 0.3 << "\" height=\""
        << ch + 0.3 << "\" fill=\"" << fill << "\"><title>" << analysis::svg::escape(axes[0].key) << " = "
        << num(axes[0].value(j)) << ", " << analysis::svg::escape(axes[1].key) << " = " << num(axes[1].value(i)) << ": "
        << (std::isfinite(x) ? num(x) : std::string("no design")) << "</title></rect>\n";
    }
  // Contours at round levels.
  if (hi > lo && nx > 1 && ny > 1) {
    const std::vector<double> levels = analysis::svg::nice_ticks(lo, hi, 8);
    o << "<g stroke=\"#ffffff\" stroke-width=\"1\" fill=\"none\" opacity=\"0.85\">\n";
    for (double level : levels) {
      for (int j = 0; j + 1 < ny; ++j)
        for (int i = 0; i + 1 < nx; ++i) {
          const double c[4] = {v[static_cast<std::size_t>(j * nx + i)], v[static_cast<std::size_t>(j * nx + i + 1)],
                               v[static_cast<std::size_t>((j + 1) * nx + i + 1)], v[static_cast<std::size_t>((j + 1) * nx + i)]};
          if (!std::isfinite(c[0]) || !std::isfinite(c[1]) || !std::isfinite(c[2]) || !std::isfinite(c[3])) continue;
          // corners (i,j) (i+1,j) (i+1,j+1) (i,j+1); crossings on the four edges
          const double cx[4] = {0, 1, 1, 0}, cy[4] = {0, 0, 1, 1};
          std::vector<std::pair<double, double>> pts;
          for (int e = 0; e < 4; ++e) {
            const int a = e, b = (e + 1) % 4;
            if ((c[a] < level) != (c[b] < level)) {
              const double t = (level - c[a]) / (c[b] - c[a]);
              pts.emplace_back(i + cx[a] + t * (cx[b] - cx[a]), j + cy[a] + t * (cy[b] - cy[a]));
            }
          }
          for (std::size_t k = 0; k + 1 < pts.size(); k += 2)
            o << "<line x1=\"" << px(pts[k].first) << "\" y1=\"" << py(pts[k].second) << "\" x2=\"" << px(pts[k + 1].first)
              << "\" y2=\"" << py(pts[k + 1].second) << "\"/>\n";
        }
    }
    o << "</g>\n";
  }
  if (best) {
    const long index = rows[*best].index;
    o << "<circle cx=\"" << px(static_cast<double>(index % nx)) << "\" cy=\"" << py(static_cast<double>(index / nx))
      << "\" r=\"" << std::max(5.0, 0.4 * std::min(cw, ch)) << "\" fill=\"none\" stroke=\"#d62728\" stroke-width=\"2.5\"/>\n";
  }
  // Axes: the ends of each input's range.
  o << "<text x=\"" << L << "\" y=\"" << T + H + 18 << "\">" << num(axes[1].lo) << "</text>\n";
  o << "<text x=\"" << L + W << "\" y=\"" << T + H + 18 << "\" text-anchor=\"end\">" << num(axes[1].hi) << "</text>\n";
  o << "<text x=\"" << L + W / 2 << "\" y=\"" << T + H + 40 << "\" text-anchor=\"middle\">" << analysis::svg::escape(axes[1].key)
    << "</text>\n";
  o << "<text x=\"" << L - 6 << "\" y=\"" << T + H << "\" text-anchor=\"end\">" << num(axes[0].lo) << "</text>\n";
  o << "<text x=\"" << L - 6 << "\" y=\"" << T + 10 << "\" text-anchor=\"end\">" << num(axes[0].hi) << "</text>\n";
  o << "<text transform=\"translate(" << L - 50 << "," << T + H / 2 << ") rotate(-90)\" text-anchor=\"middle\">"
    << analysis::svg::escape(axes[0].key) << "</text>\n";
  // Colour scale.
  for (int k = 0; k < 50; ++k)
    o << "<rect x=\"" << L + W + 30 << "\" y=\"" << T + H - (k + 1) * H / 50 << "\" width=\"20\" height=\"" << H / 50 + 0.3
      << "\" fill=\"" << colour(k / 49.0) << "\"/>\n";
  o << "<text x=\"" << L + W + 56 << "\" y=\"" << T + H << "\">" << num(lo) << "</text>\n";
  o << "<text x=\"" << L + W + 56 << "\" y=\"" << T + 10 << "\">" << num(hi) << "</text>\n";
  o << "</svg>\n";
  return o.str();
}

std::string sweep_html(const std::string& source, const std::vector<Axis>& axes, const std::vector<Row>& rows, long grid,
                       bool complete, const std::optional<std::size_t>& best, const std::string& best_figure) {
  const auto esc = analysis::svg::escape;
  std::ostringstream o;
  long ok = 0, refused = 0, failed = 0;
  for (const Row& r : rows) (r.evaluation.status == "ok" ? ok : r.evaluation.status == "refused" ? refused : failed)++;
  o << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Sweep of " << esc(source)
    << "</title>\n<style>body{font-family:Helvetica,Arial,sans-serif;max-width:1000px;margin:24px auto;padding:0 16px}"
       "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:3px 8px;text-align:right}.warn{color:#a40000}"
       "</style>\n</head>\n<body>\n";
  o << "<h1>Sweep of " << esc(source) << "</h1>\n<p>";
  for (const Axis& a : axes) o << esc(a.key) << " from " << num(a.lo) << " to " << num(a.hi) << " in " << a.n << " values; ";
  o << rows.size() << " of " << grid << " designs: " << ok << " designed, " << refused << " refused, " << failed
    << " failed.</p>\n";
  if (!complete) o << "<p class=\"warn\">The sweep is incomplete: it was stopped or these are parts of it.</p>\n";
  if (best) {
    const Row& b = rows[*best];
    o << "<p>Best design by " << esc(best_figure) << " (marked in the figures): ";
    for (std::size_t k = 0; k < axes.size(); ++k) o << esc(axes[k].key) << " = " << num(b.inputs[k]) << ", ";
    o << esc(best_figure) << " = " << num(b.evaluation.figure(best_figure)) << ".</p>\n";
  }
  o << (axes.size() == 1 ? line_charts(axes, rows, best) : heat_map(axes, rows, best_figure, best));
  if (axes.size() == 2) {
    for (const char* f : {"efficiency", "first_sidelobe_db"})
      if (f != best_figure) o << heat_map(axes, rows, f, best);
  }
  o << "<p>Every design and figure is in sweep.csv and sweep.json.</p>\n</body>\n</html>\n";
  return o.str();
}

}  // namespace

void write_sweep(const std::filesystem::path& dir, const std::string& source, const std::vector<Axis>& axes,
                 const std::vector<Row>& rows, long grid, bool complete, const std::string& best_figure,
                 const std::string& shard) {
  const std::optional<std::size_t> best = best_row(rows, best_figure);
  io::FolderWriter folder(dir);
  folder.write("sweep.csv", sweep_csv(axes, rows));
  json j = sweep_json(source, axes, rows, grid, complete, best, best_figure);
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
  std::ostringstream csv;
  {
    const std::string table = sweep_csv(columns, result.history);
    const std::size_t eol = table.find('\n');
    csv << table.substr(0, eol) << ",feasible\n";
    std::size_t at = eol + 1;
    for (const Row& r : result.history) {
      const std::size_t end = table.find('\n', at);
      csv << table.substr(at, end - at) << ',' << (feasible(r, keys, plan.constraints) ? 1 : 0) << '\n';
      at = end + 1;
    }
  }
  analysis::svg::Chart c;
  c.id = "convergence";
  c.title = "Best feasible " + plan.maximize + " against designs tried";
  c.x_label = "designs tried";
  c.y_label = plan.maximize;
  analysis::svg::Series tried{"each design", "#9a9a9a", {}, {}, 1.0, false, true};
  analysis::svg::Series best{"best feasible so far", analysis::svg::kDelivered, {}, {}, 1.8, false, false};
  for (std::size_t i = 0; i < result.history.size(); ++i) {
    const double v = result.history[i].evaluation.figure(plan.maximize);
    if (std::isfinite(v)) tried.x.push_back(static_cast<double>(i + 1)), tried.y.push_back(v);
    if (i < result.best_so_far.size() && std::isfinite(result.best_so_far[i]))
      best.x.push_back(static_cast<double>(i + 1)), best.y.push_back(result.best_so_far[i]);
  }
  c.series = {tried, best};
  io::FolderWriter folder(dir);
  folder.write("history.csv", csv.str());
  folder.write("convergence.svg", analysis::svg::render(c));
  if (result.best) {
    const Row& b = result.history[*result.best];
    std::vector<std::pair<std::string, double>> set;
    for (std::size_t i = 0; i < keys.size(); ++i) set.emplace_back(keys[i], b.inputs[i]);
    folder.write("best.toml", t.text_with(set));
    const designfile::ReadResult r = t.with(set);
    if (r.file) run::write_design_report(r.file->choices, options_of(*r.file, plan.evaluation), dir / "report");
  }
  folder.commit();
}

Merged merge(const std::vector<std::filesystem::path>& dirs) {
  Merged m;
  std::map<long, Row> rows;
  bool first = true;
  for (const auto& dir : dirs) {
    const auto file = dir / "sweep.json";
    std::ifstream in(file);
    json j;
    try {
      if (!in) throw std::runtime_error("it cannot be read");
      j = json::parse(in);
      std::vector<Axis> axes;
      for (const json& a : j.at("axes"))
        axes.push_back({a.at("key").get<std::string>(), a.at("lo").get<double>(), a.at("hi").get<double>(), a.at("n").get<int>()});
      const std::string source = j.at("source").get<std::string>();
      const long grid = j.at("grid").get<long>();
      if (first) {
        m.axes = axes, m.source = source, m.grid = grid, first = false;
      } else {
        bool same = axes.size() == m.axes.size() && source == m.source && grid == m.grid;
        for (std::size_t k = 0; same && k < axes.size(); ++k)
          same = axes[k].key == m.axes[k].key && axes[k].lo == m.axes[k].lo && axes[k].hi == m.axes[k].hi && axes[k].n == m.axes[k].n;
        if (!same) {
          m.problem = file.string() + " is a part of another sweep (its design file or varied inputs differ).";
          return m;
        }
      }
      for (const json& r : j.at("rows")) {
        Row row;
        row.index = r.at("index").get<long>();
        row.inputs = r.at("inputs").get<std::vector<double>>();
        row.evaluation.status = r.at("status").get<std::string>();
        row.evaluation.reason = r.at("reason").get<std::string>();
        for (std::size_t i = 0; i < run::kFigureNames.size(); ++i) {
          const json& v = r.at("figures").at(std::string(run::kFigureNames[i]));
          row.evaluation.figures[i] = v.is_null() ? std::nan("") : v.get<double>();
        }
        if (row.index < 0 || row.index >= grid || row.inputs.size() != axes.size()) {
          m.problem = file.string() + " holds a row outside its grid.";
          return m;
        }
        rows[row.index] = std::move(row);
      }
    } catch (const std::exception& e) {
      m.problem = file.string() + " is not a sweep's sweep.json: " + e.what();
      return m;
    }
  }
  for (auto& [index, row] : rows) m.rows.push_back(std::move(row));
  m.complete = static_cast<long>(m.rows.size()) == m.grid;
  return m;
}

}  // namespace sweep
