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
#include "design/feeds.h"
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

// The section a report key added to a file without [report] creates needs
// a folder; a sweep writes no reports, and the optimiser's best design
// writes its report there.
constexpr const char* kAddedReportFolder = "report";

// The table of a dotted section ("report", "listing.main"), created with
// its parents where the file lacks it; null where a name on the way is not
// a table.  `created` tells whether the section itself was new.
toml::table* section_of(toml::table& root, std::string_view section, bool* created) {
  toml::table* table = &root;
  *created = false;
  for (std::string_view part : split(section, '.')) {
    toml::node* next = table->get(part);
    if (!next) {
      next = &table->insert_or_assign(std::string(part), toml::table{}).first->second;
      *created = true;
    } else {
      *created = false;
    }
    if (!next->is_table()) return nullptr;
    table = next->as_table();
  }
  return table;
}

// Sets a dotted key to a value given as TOML text ("0.25", "12", "\"gaussian\"",
// "true"), creating its section where the file lacks it (a new [report]
// with a folder).
void set_value(toml::table& root, const std::string& key, const std::string& value) {
  const std::size_t dot = key.rfind('.');
  if (dot == std::string::npos) return;
  bool created = false;
  toml::table* table = section_of(root, std::string_view(key).substr(0, dot), &created);
  if (!table) return;
  toml::table parsed = toml::parse("v = " + value);
  if (toml::node* node = parsed.get("v")) table->insert_or_assign(key.substr(dot + 1), std::move(*node));
  if (created && key.substr(0, dot) == "report" && !table->contains("folder"))
    table->insert("folder", kAddedReportFolder);
}

// A value of a key as TOML text: a whole number where the design file reads
// the key as one (rounded to the nearest), else a real in its shortest form.
std::string value_text(const toml::table& root, const std::string& key, double value) {
  const toml::node* node = root.at_path(key).node();
  if (whole_number_key(key) && (!node || node->is_integer())) return std::to_string(std::llround(value));
  return shortest_real(value);
}

// The table of a section the file has, or null.
const toml::table* table_at(const toml::table& root, std::string_view section) {
  const toml::node* node = root.at_path(section).node();
  return node ? node->as_table() : nullptr;
}

// "a (or b, c)": the names that would make a key apply.
std::string alternatives(const std::vector<std::string_view>& names) {
  std::string text = std::string(names.front());
  for (std::size_t i = 1; i < names.size(); ++i) text += (i == 1 ? " (or " : ", ") + std::string(names[i]);
  return names.size() > 1 ? text + ")" : text;
}

// The length unit a frequency would be read in: [scale] unit, else the
// objects' unit where they give one alone.
bool has_length_unit(const toml::table& root) {
  if (root.at_path("scale.unit").is_string()) return true;
  std::vector<std::string> units;
  for (const char* which : {"object.main.unit", "object.sub.unit"})
    if (const auto u = root.at_path(which).value<std::string>()) units.push_back(*u);
  return !units.empty() && std::all_of(units.begin(), units.end(), [&](const std::string& u) { return u == units[0]; });
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

ParsedSetting parse_setting(const std::string& text) {
  ParsedSetting p;
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) {
    p.problem = "--set \"" + text + "\" is not KEY=VALUE.";
    return p;
  }
  const std::string key = text.substr(0, eq), value = text.substr(eq + 1);
  const std::vector<designfile::KnownKey>& known = designfile::known_keys();
  const auto it = std::find_if(known.begin(), known.end(), [&](const designfile::KnownKey& k) { return k.key == key; });
  if (it == known.end()) {
    p.problem = "--set " + text + ": a design file has no key " + key;
    std::vector<std::string_view> names;
    for (const designfile::KnownKey& k : known) names.push_back(k.key);
    if (const auto near = diag::closest(key, names)) p.problem += "; did you mean " + std::string(*near) + "?";
    else p.problem += ".";
    return p;
  }
  std::string toml_value;
  const auto x = number(value);
  switch (it->kind) {
    case designfile::ValueKind::real:
      // A feed file's phase centre may also be found by a fit.
      if (x) toml_value = shortest_real(*x);
      else if (key == "feed.phase_centre" && value == "fit") toml_value = "\"fit\"";
      else p.problem = "--set " + text + ": " + key + " takes a finite number, not \"" + value + "\".";
      break;
    case designfile::ValueKind::whole:
      if (x && *x == std::floor(*x) && std::fabs(*x) < 1e15) toml_value = std::to_string(std::llround(*x));
      else p.problem = "--set " + text + ": " + key + " takes a whole number, not \"" + value + "\".";
      break;
    case designfile::ValueKind::flag:
      if (value == "true" || value == "false") toml_value = value;
      else p.problem = "--set " + text + ": " + key + " takes true or false, not \"" + value + "\".";
      break;
    case designfile::ValueKind::text: {
      // A name as a TOML string: quotes and backslashes escaped, no control
      // characters (the design file takes a name on one line).
      toml_value = "\"";
      for (const char c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
          p.problem = "--set " + text + ": " + key + " takes a name on one line.";
          return p;
        }
        if (c == '"' || c == '\\') toml_value += '\\';
        toml_value += c;
      }
      toml_value += '"';
      break;
    }
  }
  if (p.problem.empty()) p.setting = Setting{key, toml_value, text};
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
  const toml::table root = toml::parse(text_);
  const std::string name = file_.filename().string();
  if (const toml::node* node = root.at_path(key).node()) {
    if (!node->is_number())
      return "the key " + key + " of " + file_.string() + " is not a number; set it for every design with --set " +
             key + "=VALUE.";
    return {};
  }
  const std::vector<designfile::KnownKey>& known = designfile::known_keys();
  const auto it = std::find_if(known.begin(), known.end(), [&](const designfile::KnownKey& k) { return k.key == key; });
  if (it == known.end()) {
    // A slip in a key's name: named as the design-file checker names it.
    std::string problem = "the design file " + file_.string() + " has no key " + key;
    std::vector<std::string_view> names;
    for (const designfile::KnownKey& k : known) names.push_back(k.key);
    if (const auto near = diag::closest(key, names)) return problem + "; did you mean " + std::string(*near) + "?";
    return problem + ".";
  }
  if (it->kind == designfile::ValueKind::text || it->kind == designfile::ValueKind::flag)
    return key + " is not a number; set it for every design with --set " + key + "=VALUE.";
  const std::size_t dot = key.rfind('.');
  const std::string section = key.substr(0, dot), last = key.substr(dot + 1);
  // A key of an output the file does not ask for: the output needs its
  // other keys (a file name, say) before one of them can vary.
  if (section != "report" && !table_at(root, section))
    return key + " needs the section [" + section + "], which " + name + " lacks; add it with its other keys.";
  if (section == "aperture") {
    const std::string kind_name = root.at_path("aperture.distribution").value<std::string>().value_or("");
    const design::DistributionKind* kind = nullptr;
    std::vector<std::string_view> owners;
    for (const design::DistributionKind* d : design::distributions()) {
      if (d->name() == kind_name) kind = d;
      for (const design::DistributionKey& k : d->keys())
        if (k.name == last) owners.push_back(d->name());
    }
    const bool takes = kind && std::find(owners.begin(), owners.end(), kind->name()) != owners.end();
    if (!takes && !owners.empty())
      return key + " does not apply to the " + kind_name + " distribution of " + name +
             "; add --set aperture.distribution=" + alternatives(owners) + ".";
  }
  if (section == "feed" && last != "axial_offset") {
    const std::string model = root.at_path("feed.model")
                                  .value<std::string>()
                                  .value_or(std::string(design::feeds().front()->name()));
    std::vector<std::string_view> owners;
    bool takes = false;
    for (const design::FeedKind* f : design::feeds()) {
      bool has = false, file = false;
      for (const design::FeedKey& k : f->keys()) has = has || k.name == last, file = file || k.file;
      // Only a feed file gives a phase, so only its models take a phase centre.
      if (last == "phase_centre") has = file;
      if (has) owners.push_back(f->name());
      if (has && f->name() == model) takes = true;
    }
    if (!takes && !owners.empty())
      return key + " does not apply to the " + model + " feed model of " + name + "; add --set feed.model=" +
             alternatives(owners) + " with that model's other keys.";
  }
  if (key == "report.frequency_ghz") {
    if (root.at_path("report.wavelength").node())
      return key + " cannot vary while " + name +
             " gives report.wavelength, which the frequency would replace; remove the wavelength from the file.";
    if (!has_length_unit(root))
      return key + " needs the design's length unit, which " + name +
             " does not give; add --set scale.unit=mm (or in, ft, m).";
  }
  if (key == "report.wavelength" && root.at_path("report.frequency_ghz").node())
    return key + " cannot vary while " + name +
           " gives report.frequency_ghz, which sets the wavelength; vary report.frequency_ghz instead.";
  return {};
}

std::string DesignTemplate::text_with(const std::vector<std::pair<std::string, double>>& values) const {
  toml::table root = toml::parse(text_);
  for (const auto& [key, value] : values) set_value(root, key, value_text(root, key, value));
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

namespace {

// A value node as TOML text, for comparing what a file holds with what was set.
std::string node_text(const toml::node& node) {
  std::ostringstream out;
  node.visit([&out](const auto& v) { out << v; });
  return out.str();
}

// `text` with these keys set to these TOML value texts in place: over the old
// value where the file has one, on a new line after its section's header
// where the section exists, in a new section at the end otherwise (a new
// [report] with a folder).  Comments, order and every other byte are kept.
// Empty when the result does not read back with every value set (a key set
// by a dotted name outside its section, say).
std::string edit_in_place(const std::string& text_in, const std::vector<std::pair<std::string, std::string>>& values) {
  toml::table root;
  try {
    root = toml::parse(text_in);
  } catch (const toml::parse_error&) {
    return {};
  }
  const std::string eol = text_in.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  std::vector<Edit> edits;
  std::vector<std::pair<std::string, std::string>> appended;  // new sections and their lines, in order
  for (const auto& [key, value] : values) {
    toml::table* parent = nullptr;
    std::string last;
    const toml::node* node = find_key(root, key, &parent, &last);
    if (node) {
      const toml::source_region& where = node->source();
      const std::size_t from = offset_of(text_in, where.begin.line, where.begin.column);
      const std::size_t to = offset_of(text_in, where.end.line, where.end.column);
      edits.push_back({from, to - from, value});
      continue;
    }
    // find_key stops at the first section the file lacks: name the key here.
    const std::string section = key.substr(0, key.rfind('.'));
    last = key.substr(key.rfind('.') + 1);
    const std::size_t header_line = parent ? parent->source().begin.line : 0;
    const std::size_t header = header_line > 0 ? offset_of(text_in, header_line, 1) : std::string::npos;
    const bool own_header = parent && parent != &root && table_at(root, section) == parent;
    if (own_header && header != std::string::npos && text_in.find_first_not_of(" \t", header) < text_in.size() &&
        text_in[text_in.find_first_not_of(" \t", header)] == '[') {
      // After the section's last value (its header when it has none), so
      // that the new key sits with the section's keys.
      std::size_t end_line = header_line;
      for (auto&& [k, node] : *parent)
        if (!node.is_table() && node.source().end.line > end_line) end_line = node.source().end.line;
      edits.push_back({after_line(text_in, offset_of(text_in, end_line, 1)), 0, last + " = " + value + eol});
      continue;
    }
    auto it = std::find_if(appended.begin(), appended.end(), [&](const auto& a) { return a.first == section; });
    if (it == appended.end()) {
      const bool folder_given = std::any_of(values.begin(), values.end(),
                                            [](const auto& v) { return v.first == "report.folder"; });
      appended.emplace_back(section, section == "report" && !folder_given
                                         ? std::string("folder = \"") + kAddedReportFolder + "\"" + eol
                                         : std::string());
      it = appended.end() - 1;
    }
    it->second += last + " = " + value + eol;
  }
  std::stable_sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.at > b.at; });
  std::string text = text_in;
  for (const Edit& e : edits) text.replace(e.at, e.length, e.text);
  if (!appended.empty() && !text.empty() && text.back() != '\n') text += eol;
  for (const auto& [section, lines] : appended) text += eol + "[" + section + "]" + eol + lines;
  try {
    const toml::table check = toml::parse(text);
    for (const auto& [key, value] : values) {
      const toml::node* node = check.at_path(key).node();
      const toml::table wanted = toml::parse("v = " + value);
      if (!node || node_text(*node) != node_text(*wanted.get("v"))) return {};
    }
  } catch (const toml::parse_error&) {
    return {};
  }
  return text;
}

}  // namespace

std::string DesignTemplate::edited_text(const std::vector<std::pair<std::string, double>>& values,
                                        const std::string& precision) const {
  std::vector<std::pair<std::string, std::string>> texts;
  try {
    const toml::table root = toml::parse(text_);
    for (const auto& [key, value] : values) texts.emplace_back(key, value_text(root, key, value));
  } catch (const toml::parse_error&) {
    return text_with(values);
  }
  if (!precision.empty()) texts.emplace_back("synthesis.precision", "\"" + precision + "\"");
  std::string text = edit_in_place(text_, texts);
  // A layout that cannot be edited in place is written whole instead.
  return text.empty() ? text_with(values) : text;
}

DesignTemplate DesignTemplate::with_settings(const std::vector<Setting>& settings) const {
  if (settings.empty()) return *this;
  DesignTemplate t;
  t.file_ = file_;
  std::vector<std::pair<std::string, std::string>> values;
  for (const Setting& s : settings) values.emplace_back(s.key, s.value);
  t.text_ = edit_in_place(text_, values);
  if (t.text_.empty()) {
    // A layout that cannot be edited in place is written whole instead.
    toml::table root = toml::parse(text_);
    for (const auto& [key, value] : values) set_value(root, key, value);
    std::ostringstream text;
    text << root << '\n';
    t.text_ = text.str();
  }
  return t;
}

std::string DesignTemplate::settings_problem(const std::vector<Setting>& settings,
                                             const std::vector<std::pair<std::string, double>>& values) const {
  if (settings.empty()) return {};
  const designfile::ReadResult r = designfile::parse(text_with(values), file_.string(), file_.parent_path());
  for (const diag::Diagnostic& e : r.errors) {
    for (const Setting& s : settings)
      if (e.key == s.key) return "--set " + s.text + ": " + diag::sentence_case(e.message);
  }
  // A key that a value set needs and the file lacks (a Gaussian
  // distribution's taper): every design would be refused for it.
  const std::string missing = "The key is missing";
  for (const diag::Diagnostic& e : r.errors) {
    if (!e.message.starts_with(missing)) continue;
    std::string why = e.message.substr(missing.size());  // ": a Gaussian distribution needs ..." or "."
    if (!why.empty() && why.back() == '.') why.pop_back();
    return "with the keys set, " + e.key + " is missing from " + file_.filename().string() + why +
           "; give it with --set or --vary.";
  }
  return {};
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

SweepIdentity identity_of(const DesignTemplate& t, const std::vector<Setting>& settings) {
  SweepIdentity identity{content_digest(t.text()), RAVOST_VERSION, "64-bit", {}};
  for (const Setting& s : settings) identity.settings.push_back(s.text);
  return identity;
}

std::string identity_difference(const SweepIdentity& part, const SweepIdentity& first) {
  if (part.settings != first.settings) {
    const auto list = [](const std::vector<std::string>& texts) {
      std::string out;
      for (const std::string& t : texts) out += (out.empty() ? "--set " : ", --set ") + t;
      return out.empty() ? std::string("none") : out;
    };
    return "the keys set (" + list(part.settings) + ", not " + list(first.settings) + ")";
  }
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
