#include "run/context.h"
#include "sweep/sweep.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <toml++/toml.h>

#include "design/distributions.h"
#include "diag/suggest.h"
#include "fields/prose.h"


namespace sweep {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A finite number written whole.
std::optional<double> number(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::vector<std::string_view> split(std::string_view text, char at) {
  std::vector<std::string_view> parts;
  std::size_t from = 0;
  for (std::size_t i = 0; i <= text.size(); ++i)
    if (i == text.size() || text[i] == at) parts.push_back(text.substr(from, i - from)), from = i + 1;
  return parts;
}

// Whether the design file reads this key as a whole number (a sweep rounds
// its values to the nearest); every other number is a real, also where the
// file wrote it without a fraction.
bool whole_number_key(const std::string& key) {
  const auto parts = split(key, '.');
  if (parts.size() == 3 && (parts[0] == "surface" || parts[0] == "object") && parts[2] == "points") return true;
  if (parts.size() != 2 || parts[0] != "aperture") return false;
  for (const design::DistributionKind* d : design::distributions())
    for (const design::DistributionKey& k : d->keys())
      if (k.whole && k.name == parts[1]) return true;
  return false;
}

// The node under a dotted key, and the table that holds it.
toml::node* find_key(toml::table& root, const std::string& key, toml::table** parent, std::string* last) {
  toml::table* table = &root;
  const auto parts = split(key, '.');
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    toml::node* next = table->get(parts[i]);
    if (!next || !next->is_table()) return nullptr;
    table = next->as_table();
  }
  *parent = table;
  *last = std::string(parts.back());
  return table->get(parts.back());
}

// The dotted keys of every number in a table, in the file's order.
void number_keys(const toml::table& table, const std::string& prefix, std::vector<std::string>& out) {
  for (auto&& [k, node] : table) {
    const std::string key = prefix + std::string(k.str());
    if (node.is_number()) out.push_back(key);
    else if (const toml::table* inner = node.as_table()) number_keys(*inner, key + ".", out);
  }
}

}  // namespace

run::EvaluationOptions options_of(const designfile::DesignFile& file, run::EvaluationOptions options) {
  options.diameter = file.plan.diameter;
  options.extrapolated_sub_diameter = file.plan.extrapolated_sub_diameter;
  if (file.plan.report) {
    options.wavelength = file.plan.report->wavelength;
    // The command line's --physical-optics holds whatever the file says.
    options.physical_optics = options.physical_optics || file.plan.report->physical_optics;
    options.surface_rms = file.plan.report->surface_rms;
  }
  return options;
}

Parsed parse_axis(const std::string& text) {
  Parsed p;
  const std::size_t eq = text.find('=');
  const auto parts = split(eq == std::string::npos ? std::string_view() : std::string_view(text).substr(eq + 1), ':');
  if (eq == std::string::npos || eq == 0 || parts.size() != 3) {
    p.problem = "\"" + text + "\" is not KEY=LO:HI:N.";
    return p;
  }
  const auto lo = number(parts[0]), hi = number(parts[1]), n = number(parts[2]);
  if (!lo || !hi || !n) {
    p.problem = "\"" + text + "\": LO, HI and N must be finite numbers.";
    return p;
  }
  if (!(*n >= 1 && *n <= 100000 && *n == std::floor(*n))) {
    p.problem = "\"" + text + "\": N must be a whole number from 1 to 100000.";
    return p;
  }
  if (*n > 1 && !(*hi > *lo)) {
    p.problem = "\"" + text + "\": HI must be above LO.";
    return p;
  }
  p.axis = Axis{text.substr(0, eq), *lo, *hi, static_cast<int>(*n)};
  return p;
}

Parsed parse_free(const std::string& text) {
  Parsed p;
  const std::size_t eq = text.find('=');
  const auto parts = split(eq == std::string::npos ? std::string_view() : std::string_view(text).substr(eq + 1), ':');
  if (eq == std::string::npos || eq == 0 || parts.size() != 2) {
    p.problem = "\"" + text + "\" is not KEY=LO:HI.";
    return p;
  }
  const auto lo = number(parts[0]), hi = number(parts[1]);
  if (!lo || !hi || !(*hi > *lo)) {
    p.problem = "\"" + text + "\": LO and HI must be finite numbers with HI above LO.";
    return p;
  }
  p.free = Free{text.substr(0, eq), *lo, *hi};
  return p;
}

Parsed parse_constraint(const std::string& text) {
  Parsed p;
  for (const char* op : {"<=", ">="}) {
    const std::size_t at = text.find(op);
    if (at == std::string::npos) continue;
    std::string name = text.substr(0, at);
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    const auto value = number(std::string_view(text).substr(at + 2));
    if (name.empty() || !value) break;
    p.constraint = Constraint{name, op[0] == '<', *value};
    return p;
  }
  p.problem = "\"" + text + "\" is not \"FIGURE <= VALUE\" or \"FIGURE >= VALUE\".";
  return p;
}

DesignTemplate::DesignTemplate(const std::filesystem::path& file) : file_(file) {
  const designfile::ReadResult r = designfile::read(file);
  if (!r.file) {
    problem_ = r.errors.front();
    return;
  }
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  text_ = bytes.str();
}

DesignTemplate::DesignTemplate(std::string text, const std::filesystem::path& file) : file_(file) {
  const designfile::ReadResult r = designfile::parse(text, file.string(), file.parent_path());
  if (!r.file) {
    problem_ = r.errors.front();
    return;
  }
  text_ = std::move(text);
}

std::string DesignTemplate::key_problem(const std::string& key) const {
  toml::table root = toml::parse(text_);
  toml::table* parent = nullptr;
  std::string last;
  const toml::node* node = find_key(root, key, &parent, &last);
  if (!node) {
    std::string problem = "the design file " + file_.string() + " has no key " + key;
    // A slip in a key the file has: named as the design-file checker names it.
    std::vector<std::string> numbers;
    number_keys(root, "", numbers);
    const std::vector<std::string_view> known(numbers.begin(), numbers.end());
    if (const auto near = diag::closest(key, known)) return problem + "; did you mean " + std::string(*near) + "?";
    return problem + ".";
  }
  if (!node->is_number()) return "the key " + key + " of " + file_.string() + " is not a number.";
  return {};
}

std::string DesignTemplate::text_with(const std::vector<std::pair<std::string, double>>& values) const {
  toml::table root = toml::parse(text_);
  for (const auto& [key, value] : values) {
    toml::table* parent = nullptr;
    std::string last;
    const toml::node* node = find_key(root, key, &parent, &last);
    if (node && node->is_integer() && whole_number_key(key))
      parent->insert_or_assign(last, static_cast<std::int64_t>(std::llround(value)));
    else if (parent)
      parent->insert_or_assign(last, value);
  }
  std::ostringstream text;
  text << root << '\n';
  return text.str();
}

namespace {

// The byte offset in `text` of a 1-based line and column (columns count
// characters, so a UTF-8 sequence is one column).
std::size_t offset_of(const std::string& text, std::size_t line, std::size_t column) {
  std::size_t at = 0;
  for (std::size_t l = 1; l < line && at != std::string::npos; ++l) {
    at = text.find('\n', at);
    if (at != std::string::npos) ++at;
  }
  if (at == std::string::npos) return text.size();
  for (std::size_t c = 1; c < column && at < text.size() && text[at] != '\n'; ++c) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return at;
}

// The offset just past the end of the line holding `at`.
std::size_t after_line(const std::string& text, std::size_t at) {
  const std::size_t eol = text.find('\n', at);
  return eol == std::string::npos ? text.size() : eol + 1;
}

struct Edit {
  std::size_t at = 0, length = 0;
  std::string text;
};

}  // namespace

std::string shortest_real(double v) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
  std::string text(buffer, end);
  if (text.find_first_of(".eEn") == std::string::npos) text += ".0";  // "n": inf and nan stay words
  return text;
}

std::string DesignTemplate::edited_text(const std::vector<std::pair<std::string, double>>& values,
                                        const std::string& precision) const {
  toml::table root;
  try {
    root = toml::parse(text_);
  } catch (const toml::parse_error&) {
    return text_with(values);
  }
  const std::string eol = text_.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  std::vector<Edit> edits;
  std::string appended;
  // Sets `key` to the value text `value`: over the old value where the file
  // has one, on a new line after its section's header where the section
  // exists, in a new section at the end otherwise.
  const auto set = [&](const std::string& key, const std::string& value) {
    toml::table* parent = nullptr;
    std::string last;
    const toml::node* node = find_key(root, key, &parent, &last);
    if (node) {
      const toml::source_region& where = node->source();
      const std::size_t from = offset_of(text_, where.begin.line, where.begin.column);
      const std::size_t to = offset_of(text_, where.end.line, where.end.column);
      edits.push_back({from, to - from, value});
      return;
    }
    // find_key stops at the first section the file lacks: name the key here.
    const std::string section = key.substr(0, key.rfind('.'));
    last = key.substr(key.rfind('.') + 1);
    const std::size_t header_line = parent ? parent->source().begin.line : 0;
    const std::size_t header = header_line > 0 ? offset_of(text_, header_line, 1) : std::string::npos;
    if (parent && parent != &root && header != std::string::npos &&
        text_.find_first_not_of(" \t", header) < text_.size() && text_[text_.find_first_not_of(" \t", header)] == '[') {
      edits.push_back({after_line(text_, header), 0, last + " = " + value + eol});
      return;
    }
    appended += eol + "[" + section + "]" + eol + last + " = " + value + eol;
  };
  for (const auto& [key, value] : values) {
    toml::table* parent = nullptr;
    std::string last;
    const toml::node* node = find_key(root, key, &parent, &last);
    set(key, node && node->is_integer() && whole_number_key(key) ? std::to_string(std::llround(value))
                                                                  : shortest_real(value));
  }
  if (!precision.empty()) set("synthesis.precision", "\"" + precision + "\"");
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.at > b.at; });
  std::string text = text_;
  for (const Edit& e : edits) text.replace(e.at, e.length, e.text);
  if (!appended.empty()) {
    if (!text.empty() && text.back() != '\n') text += eol;
    text += appended;
  }
  // The edit is kept only when the file reads back with every value set; a
  // layout it cannot edit in place (a key set by a dotted name outside its
  // section, say) is written whole instead.
  try {
    const toml::table check = toml::parse(text);
    for (const auto& [key, value] : values) {
      const toml::node* node = check.at_path(key).node();
      if (!node || !node->is_number() || node->value<double>().value_or(std::nan("")) !=
                                             (node->is_integer() ? static_cast<double>(std::llround(value)) : value))
        return text_with(values);
    }
  } catch (const toml::parse_error&) {
    return text_with(values);
  }
  return text;
}

designfile::ReadResult DesignTemplate::with(const std::vector<std::pair<std::string, double>>& values) const {
  designfile::ReadResult r = designfile::parse(text_with(values), file_.string(), file_.parent_path());
  for (diag::Diagnostic& e : r.errors) {
    e.file.clear();
    e.line = 0;
  }
  return r;
}

run::Evaluation evaluate(const DesignTemplate& t, const std::vector<std::string>& keys, const std::vector<double>& values,
                         const run::EvaluationOptions& options) {
  std::vector<std::pair<std::string, double>> set;
  for (std::size_t i = 0; i < keys.size(); ++i) set.emplace_back(keys[i], values[i]);
  const designfile::ReadResult r = t.with(set);
  if (!r.file) {
    run::Evaluation e;
    e.status = "refused";
    e.reason = diag::text(r.errors.front());
    e.figures.fill(kNaN);
    e.physical_optics = options.physical_optics;
    return e;
  }
  return run::evaluate(r.file->choices, options_of(*r.file, options));
}

long grid_size(const std::vector<Axis>& axes) {
  long n = 1;
  for (const Axis& a : axes) n *= a.n;
  return n;
}

std::vector<double> grid_inputs(const std::vector<Axis>& axes, long index) {
  // The first axis varies slowest.
  std::vector<double> inputs(axes.size());
  for (std::size_t k = axes.size(); k-- > 0;) {
    inputs[k] = axes[k].value(static_cast<int>(index % axes[k].n));
    index /= axes[k].n;
  }
  return inputs;
}

SweepResult run_sweep(const DesignTemplate& t, const SweepPlan& plan) {
  std::vector<std::string> keys;
  for (const Axis& a : plan.axes) keys.push_back(a.key);
  const long grid = grid_size(plan.axes);
  std::map<long, const Row*> kept;
  for (const Row& r : plan.done) kept[r.index] = &r;
  std::vector<long> mine;
  for (long i = plan.shard - 1; i < grid; i += plan.shards)
    if (!kept.count(i)) mine.push_back(i);
  std::vector<Row> rows(mine.size());
  std::vector<char> done(mine.size(), 0);
  std::atomic<std::size_t> next{0};
  std::atomic<long> finished{0};
  std::mutex progress_lock;
  const int jobs = std::max(1, std::min<int>(plan.jobs, static_cast<int>(std::max<std::size_t>(1, mine.size()))));
  // Designs side by side share the machine's cores: each design's physical
  // optics gets its share of them (its figures do not depend on it).
  run::EvaluationOptions evaluation = plan.evaluation;
  if (evaluation.physical_optics_threads == 0)
    evaluation.physical_optics_threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()) / jobs);
  const auto work = [&] {
    for (;;) {
      if (plan.stop && plan.stop()) return;
      const std::size_t k = next.fetch_add(1);
      if (k >= mine.size()) return;
      Row& row = rows[k];
      row.index = mine[k];
      row.inputs = grid_inputs(plan.axes, mine[k]);
      try {
        row.evaluation = evaluate(t, keys, row.inputs, evaluation);
      } catch (const run::Stopped&) {
        return;  // stopped within the design: its row is not done
      }
      done[k] = 1;
      const long n = ++finished;
      if (plan.progress) {
        const std::lock_guard<std::mutex> lock(progress_lock);
        plan.progress(n, static_cast<long>(mine.size()));
      }
    }
  };
  std::vector<std::thread> threads;
  for (int j = 1; j < jobs; ++j) threads.emplace_back(work);
  work();
  for (std::thread& th : threads) th.join();
  SweepResult result;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    if (done[k])
      result.rows.push_back(std::move(rows[k]));
    else
      result.complete = false;
  }
  if (!kept.empty()) {
    for (const auto& [index, row] : kept) result.rows.push_back(*row);
    std::sort(result.rows.begin(), result.rows.end(), [](const Row& a, const Row& b) { return a.index < b.index; });
  }
  return result;
}

std::string content_digest(std::string_view text) {
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

SweepIdentity identity_of(const DesignTemplate& t) { return {content_digest(t.text()), RAVOST_VERSION, "64-bit"}; }

std::string identity_difference(const SweepIdentity& part, const SweepIdentity& first) {
  if (part.design_digest != first.design_digest) return "its design file's content";
  if (part.program_version != first.program_version)
    return "the program version (" + part.program_version + ", not " + first.program_version + ")";
  if (part.precision != first.precision) return "the precision (" + part.precision + ", not " + first.precision + ")";
  if (part.physical_optics != first.physical_optics)
    return part.physical_optics ? "the physical optics (computed in it, not in the other)"
                                : "the physical optics (not computed in it, computed in the other)";
  return {};
}

std::vector<std::string> violations(const Row& row, const std::vector<std::string>& keys,
                                    const std::vector<Constraint>& constraints) {
  std::vector<std::string> out;
  if (!row.evaluation.designed()) return out;
  for (const Constraint& c : constraints) {
    double v = row.evaluation.figure(c.figure);
    for (std::size_t i = 0; i < keys.size(); ++i)
      if (keys[i] == c.figure) v = row.inputs[i];
    if (!(c.at_most ? v <= c.value : v >= c.value))
      out.push_back(c.figure + (c.at_most ? " <= " : " >= ") + fields::number(c.value, 10) + " (is " +
                    fields::number(v, 6) + ")");
  }
  return out;
}

bool feasible(const Row& row, const std::vector<std::string>& keys, const std::vector<Constraint>& constraints,
              bool allow_warnings) {
  return (row.evaluation.ok() || (allow_warnings && row.evaluation.designed())) &&
         violations(row, keys, constraints).empty();
}

}  // namespace sweep
