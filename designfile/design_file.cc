#include "designfile/design_file.h"

#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <map>
#include <span>
#include <system_error>
#include <utility>
#include <vector>

#include "design/distributions.h"
#include "design/families.h"
#include "design/feeds.h"
#include "designfile/text_checks.h"
#include "diag/suggest.h"
#include "feedfile/feed_file.h"
#include "writers/frequency.h"
#include "fields/prose.h"
#include "run/messages.h"

namespace designfile {
namespace {

using design::Input;
using design::Problem;
using Line = std::uint32_t;

// At most this many error lines are shown: a file with more is no design
// file gone slightly wrong.
constexpr std::size_t kMaxErrors = 100;

// More dots than this outside strings and comments cannot belong to a design
// file (which has a few dozen) and could nest tables deep enough to exhaust
// the parser's stack.
constexpr std::size_t kMaxDots = 1000;

// The smallest magnitudes that a 32-bit real rounds to infinity and the
// largest that it rounds to 0 (round to nearest, ties to even).
constexpr double kFloatOverflow = 0x1.ffffffp127;
constexpr double kFloatUnderflow = 0x1p-150;

std::string in_quotes(std::string_view s) {
  std::string out(1, '"');
  out += detail::printable(s);
  out += '"';
  return out;
}

// A sentence for a report: no trailing blanks, a full stop at the end.
std::string as_sentence(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
  if (text.empty()) return "the file cannot be read.";
  if (text.back() != '.' && text.back() != '?') text += '.';
  return text;
}

// "a, b and c"
std::string listed(std::span<const std::string_view> names, std::string_view before = "",
                   std::string_view after = "") {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += i + 1 == names.size() ? " and " : ", ";
    out.append(before).append(names[i]).append(after);
  }
  return out;
}

using diag::closest;

std::string type_name(const toml::node& n) {
  switch (n.type()) {
    case toml::node_type::string:
      return "a string";
    case toml::node_type::integer:
      return "a whole number";
    case toml::node_type::floating_point:
      return "a real number";
    case toml::node_type::boolean:
      return "true or false";
    case toml::node_type::date:
      return "a date";
    case toml::node_type::time:
      return "a time";
    case toml::node_type::date_time:
      return "a date and time";
    case toml::node_type::array:
      return "an array";
    case toml::node_type::table:
      return "a section";
    case toml::node_type::none:
      break;
  }
  return "nothing";
}

// The keys of each section, for unknown names and suggestions.
// The geometry's keys, as the design's family names them.
std::span<const std::string_view> geometry_keys() {
  static const std::vector<std::string_view> keys = [] {
    std::vector<std::string_view> k;
    for (const design::GeometryKey& key : design::families().front()->keys()) k.push_back(key.name);
    return k;
  }();
  return keys;
}
// The feed's keys: its model and the keys of every model, each once, in the
// order of the models.
std::span<const std::string_view> feed_keys() {
  static const std::vector<std::string_view> keys = [] {
    std::vector<std::string_view> k = {"model", "axial_offset"};
    for (const design::FeedKind* f : design::feeds()) {
      for (const design::FeedKey& key : f->keys()) {
        if (std::find(k.begin(), k.end(), key.name) == k.end()) k.push_back(key.name);
      }
    }
    k.push_back("phase_centre");
    return k;
  }();
  return keys;
}
// The keys of the default model, which a missing [feed] section is told.
std::span<const std::string_view> default_feed_keys() {
  static const std::vector<std::string_view> keys = [] {
    std::vector<std::string_view> k;
    for (const design::FeedKey& key : design::feeds().front()->keys()) k.push_back(key.name);
    return k;
  }();
  return keys;
}
// The aperture's keys: its distribution and the keys of every distribution,
// each once, in the order of the distributions.
std::span<const std::string_view> aperture_keys() {
  static const std::vector<std::string_view> keys = [] {
    std::vector<std::string_view> k = {"distribution"};
    for (const design::DistributionKind* d : design::distributions()) {
      for (const design::DistributionKey& key : d->keys()) {
        if (std::find(k.begin(), k.end(), key.name) == k.end()) k.push_back(key.name);
      }
    }
    return k;
  }();
  return keys;
}
constexpr std::array<std::string_view, 3> kSynthesisKeys = {"calc_interval", "output_interval",
                                                            "precision"};
constexpr std::array<std::string_view, 3> kScaleKeys = {"diameter", "extrapolate_sub_diameter", "unit"};
constexpr std::array<std::string_view, 1> kFigureKeys = {"file"};
constexpr std::array<std::string_view, 3> kListingKeys = {"start", "stop", "step"};
constexpr std::array<std::string_view, 3> kSurfaceKeys = {"file", "points", "label"};
constexpr std::array<std::string_view, 3> kObjectKeys = {"file", "unit", "points"};
constexpr std::array<std::string_view, 5> kReportKeys = {"folder", "wavelength", "frequency_ghz", "physical_optics",
                                                         "surface_rms"};
constexpr std::array<std::string_view, 2> kReflectors = {"main", "sub"};
constexpr std::array<std::string_view, 10> kSections = {
    "geometry", "feed",    "aperture", "synthesis", "scale",
    "figure",   "listing", "surface",  "object",    "report"};

struct SectionKeys {
  std::string_view section;
  std::span<const std::string_view> keys;
};
const std::array<SectionKeys, 10> kAllKeys = {{
    {"geometry", geometry_keys()},
    {"feed", feed_keys()},
    {"aperture", aperture_keys()},
    {"synthesis", kSynthesisKeys},
    {"scale", kScaleKeys},
    {"figure", kFigureKeys},
    {"listing.main", kListingKeys},
    {"surface.main", kSurfaceKeys},
    {"object.main", kObjectKeys},
    {"report", kReportKeys},
}};

}  // namespace

const std::vector<KnownKey>& known_keys() {
  static const std::vector<KnownKey> keys = [] {
    std::vector<KnownKey> k;
    const auto add = [&k](std::string_view section, std::string_view name, ValueKind kind) {
      k.push_back({std::string(section) + "." + std::string(name), kind});
    };
    for (std::string_view name : geometry_keys()) add("geometry", name, ValueKind::real);
    for (std::string_view name : feed_keys()) {
      bool file = false;
      for (const design::FeedKind* f : design::feeds())
        for (const design::FeedKey& key : f->keys()) file = file || (key.name == name && key.file);
      add("feed", name, name == "model" || file ? ValueKind::text : ValueKind::real);
    }
    for (std::string_view name : aperture_keys()) {
      ValueKind kind = name == "distribution" ? ValueKind::text : ValueKind::real;
      for (const design::DistributionKind* d : design::distributions())
        for (const design::DistributionKey& key : d->keys())
          if (key.name == name && key.whole) kind = ValueKind::whole;
      add("aperture", name, kind);
    }
    for (std::string_view name : kSynthesisKeys)
      add("synthesis", name, name == "precision" ? ValueKind::text : ValueKind::real);
    for (std::string_view name : kScaleKeys) add("scale", name, name == "unit" ? ValueKind::text : ValueKind::real);
    for (std::string_view name : kFigureKeys) add("figure", name, ValueKind::text);
    for (std::string_view which : kReflectors) {
      const std::string listing = "listing." + std::string(which), surface = "surface." + std::string(which),
                        object = "object." + std::string(which);
      for (std::string_view name : kListingKeys) add(listing, name, ValueKind::real);
      for (std::string_view name : kSurfaceKeys)
        add(surface, name, name == "points" ? ValueKind::whole : ValueKind::text);
      for (std::string_view name : kObjectKeys) add(object, name, name == "points" ? ValueKind::whole : ValueKind::text);
    }
    for (std::string_view name : kReportKeys)
      add("report", name,
          name == "folder" ? ValueKind::text : name == "physical_optics" ? ValueKind::flag : ValueKind::real);
    return k;
  }();
  return keys;
}

namespace {

// The section that holds a key of this name elsewhere, as "section.key".
std::optional<std::string> key_elsewhere(std::string_view name, std::string_view here) {
  for (const SectionKeys& s : kAllKeys) {
    if (s.section == here) continue;
    for (std::string_view k : s.keys) {
      if (k == name) return std::string(s.section) + "." + std::string(k);
    }
  }
  return std::nullopt;
}

// An error and the line of the design file it is sorted by (for a feed
// file's error, the line that names the feed file).
struct Error {
  Line line;
  diag::Diagnostic diagnostic;
};

// A section of the file: its table, or none when it is absent or is not a
// table (which has been reported).
struct Section {
  std::string key;
  const toml::table* table = nullptr;
  Line line = 1;
};

enum class Got { absent, ok, bad };

// Which check a real passes besides being finite.
enum class Range { any, design };

struct Choice {
  std::string_view name;
  int value;
};
// The distributions by their names.
std::span<const Choice> distribution_choices() {
  static const std::vector<Choice> choices = [] {
    std::vector<Choice> c;
    for (const design::DistributionKind* d : design::distributions()) {
      c.push_back({d->name(), static_cast<int>(d->kind())});
    }
    return c;
  }();
  return choices;
}
// The feed models by their names.
std::span<const Choice> feed_model_choices() {
  static const std::vector<Choice> choices = [] {
    std::vector<Choice> c;
    for (const design::FeedKind* f : design::feeds()) {
      c.push_back({f->name(), static_cast<int>(f->kind())});
    }
    return c;
  }();
  return choices;
}
constexpr std::array<Choice, 2> kPrecisions = {{{"32-bit", 0}, {"64-bit", 1}}};
constexpr std::array<Choice, 4> kUnits = {{{"in", 1}, {"ft", 2}, {"mm", 3}, {"m", 4}}};

class Reader {
 public:
  Reader(const toml::table& root, std::string_view display_name, std::filesystem::path base)
      : root_(root), name_(display_name), base_(std::move(base)) {}

  ReadResult read();

 private:
  // Records an error of `key` at `line` of the file (line 0: the first).
  void report(Line line, std::string_view key, diag::Diagnostic d) {
    const Line at = line == 0 ? 1 : line;
    d.key = key;
    errors_.push_back({at, diag::at(std::move(d), name_, at)});
  }
  void error(Line line, std::string_view key, std::string sentence) {
    report(line, key, diag::error(as_sentence(std::move(sentence))));
  }

  Section section(const toml::table* parent, std::string_view parent_key, std::string_view name,
                  bool required, std::span<const std::string_view> keys);
  void check_keys(const Section& s, std::span<const std::string_view> known);
  void check_root();
  void check_group(std::string_view group, std::span<const std::string_view> known_keys);

  const toml::node* find(const Section& s, std::string_view name, bool required,
                         std::string_view why = "");
  Got real(const Section& s, std::string_view name, bool required, double& out, Range range,
           std::string_view why = "");
  Got whole(const Section& s, std::string_view name, bool required, int& out,
            std::string_view why = "");
  Got text(const Section& s, std::string_view name, bool required, std::string& out);
  Got flag(const Section& s, std::string_view name, bool required, bool& out);
  Got choice(const Section& s, std::string_view name, bool required,
             std::span<const Choice> choices, std::string_view what, int& out);
  // Reports a key that the file gives but may not: true when it is there.
  bool refused(const Section& s, std::string_view name, std::string sentence);

  Line line_of(std::string_view key, Line fallback) const {
    auto it = lines_.find(std::string(key));
    return it == lines_.end() ? fallback : it->second;
  }
  // Reports the problems of one item of the plan, its inputs named by `keys`.
  void report_plan(const writers::OutputPlan& item,
                   std::span<const std::pair<Input, std::string>> keys, Line fallback);

  bool read_design(design::DesignSpec& choices);
  bool read_aperture(design::ApertureSpec& aperture_choice);
  bool read_feed(const Section& feed, design::FeedSpec& feed_choice);
  bool read_phase_centre(const Section& feed, design::FeedSpec& feed_choice);
  bool read_plan(writers::OutputPlan& plan);
  void check_feed_offset(const design::DesignSpec& choices, const writers::OutputPlan& plan);
  // The steps of read_plan.  `files` collects each file an output names,
  // with its key.
  using NamedFiles = std::vector<std::pair<std::string, std::string>>;
  void read_scale(writers::OutputPlan& plan);
  void read_figure(writers::OutputPlan& plan, NamedFiles& files);
  void read_listings(const toml::table* listing, writers::OutputPlan& plan);
  void read_surfaces(const toml::table* surface, writers::OutputPlan& plan, NamedFiles& files);
  void read_objects(const toml::table* object, writers::OutputPlan& plan, NamedFiles& files);
  void check_distinct(const NamedFiles& files);
  void read_report(writers::OutputPlan& plan);

  const toml::table& root_;
  std::string name_;
  std::filesystem::path base_;  // the folder a feed file's name is relative to
  std::vector<Error> errors_;
  std::map<std::string, Line> lines_;  // of each key read
  bool single_ = true;                 // a 32-bit design: its reals must fit floats
  bool precision_known_ = true;
};

Section Reader::section(const toml::table* parent, std::string_view parent_key,
                        std::string_view name, bool required,
                        std::span<const std::string_view> keys) {
  Section s;
  s.key =
      parent_key.empty() ? std::string(name) : std::string(parent_key) + "." + std::string(name);
  const toml::node* node = parent ? parent->get(name) : nullptr;
  if (!node) {
    if (required) {
      error(1, s.key, "The section [" + s.key + "] is missing; it needs " + listed(keys) + ".");
    }
    return s;
  }
  s.line = node->source().begin.line;
  if (s.line == 0) s.line = 1;
  s.table = node->as_table();
  if (!s.table) {
    error(s.line, s.key, "Expected a section [" + s.key + "], found " + type_name(*node) + ".");
  }
  return s;
}

void Reader::check_keys(const Section& s, std::span<const std::string_view> known) {
  if (!s.table) return;
  for (auto&& [k, node] : *s.table) {
    const std::string_view name = k.str();
    if (std::find(known.begin(), known.end(), name) != known.end()) continue;
    const std::string key = s.key + "." + detail::printable(name);
    Line line = k.source().begin.line;
    if (line == 0) line = node.source().begin.line;
    std::string sentence = "Unknown key";
    if (auto near = closest(name, known)) {
      sentence += "; did you mean " + s.key + "." + std::string(*near) + "?";
    } else if (auto other = key_elsewhere(name, s.key)) {
      sentence += "; " + *other + " belongs in [" + other->substr(0, other->rfind('.')) + "].";
    } else {
      sentence += ": [" + s.key + "] holds " + listed(known) + ".";
    }
    error(line, key, sentence);
  }
}

void Reader::check_root() {
  for (auto&& [k, node] : root_) {
    const std::string_view name = k.str();
    if (std::find(kSections.begin(), kSections.end(), name) != kSections.end()) continue;
    Line line = k.source().begin.line;
    if (line == 0) line = node.source().begin.line;
    const std::string key = detail::printable(name);
    if (node.is_table() || node.is_array_of_tables()) {
      std::string sentence = "Unknown section";
      if (auto near = closest(name, kSections)) {
        sentence += "; did you mean [" + std::string(*near) + "]?";
      } else {
        sentence += ": a design file has the sections " + listed(kSections, "[", "]") + ".";
      }
      error(line, key, sentence);
      continue;
    }
    std::string sentence = "Unknown key: every key belongs in a section";
    if (auto other = key_elsewhere(name, "")) {
      sentence += "; did you mean " + *other + "?";
    } else {
      sentence += ".";
    }
    error(line, key, sentence);
  }
}

// A section that holds one section per reflector, [listing.main] and
// [listing.sub]: anything else in it is unknown.
void Reader::check_group(std::string_view group, std::span<const std::string_view> known_keys) {
  const toml::node* node = root_.get(group);
  if (!node) return;
  const toml::table* table = node->as_table();
  if (!table) {
    Line line = node->source().begin.line;
    error(line, group,
          "Expected the sections [" + std::string(group) + ".main] and [" + std::string(group) +
              ".sub], found " + type_name(*node) + ".");
    return;
  }
  for (auto&& [k, child] : *table) {
    const std::string_view name = k.str();
    if (std::find(kReflectors.begin(), kReflectors.end(), name) != kReflectors.end()) continue;
    Line line = k.source().begin.line;
    if (line == 0) line = child.source().begin.line;
    const std::string key = std::string(group) + "." + detail::printable(name);
    std::string sentence = child.is_table() ? "Unknown section" : "Unknown key";
    if (auto near = closest(name, kReflectors)) {
      sentence += "; did you mean [" + std::string(group) + "." + std::string(*near) + "]?";
    } else if (!child.is_table() &&
               std::find(known_keys.begin(), known_keys.end(), name) != known_keys.end()) {
      sentence += ": " + std::string(name) + " belongs in [" + std::string(group) + ".main] or [" +
                  std::string(group) + ".sub].";
    } else {
      sentence += ": [" + std::string(group) + "] holds the sections [" + std::string(group) +
                  ".main] and [" + std::string(group) + ".sub].";
    }
    error(line, key, sentence);
  }
}

const toml::node* Reader::find(const Section& s, std::string_view name, bool required,
                               std::string_view why) {
  const toml::node* node = s.table ? s.table->get(name) : nullptr;
  const std::string key = s.key + "." + std::string(name);
  if (node) {
    Line line = node->source().begin.line;
    lines_[key] = line == 0 ? s.line : line;
    return node;
  }
  // A section that is missing or is not a table has been reported whole.
  if (required && s.table) {
    std::string sentence = "The key is missing";
    if (!why.empty()) sentence += ": " + std::string(why);
    error(s.line, key, sentence + ".");
  }
  return nullptr;
}

Got Reader::real(const Section& s, std::string_view name, bool required, double& out, Range range,
                 std::string_view why) {
  const toml::node* node = find(s, name, required, why);
  if (!node) return required ? Got::bad : Got::absent;
  const std::string key = s.key + "." + std::string(name);
  const Line line = line_of(key, s.line);
  double v = 0;
  if (const auto* i = node->as_integer()) {
    v = static_cast<double>(i->get());
  } else if (const auto* f = node->as_floating_point()) {
    v = f->get();
  } else {
    error(line, key, "Expected a number, found " + type_name(*node) + ".");
    return Got::bad;
  }
  if (!std::isfinite(v)) {
    const char* given = std::isnan(v) ? "nan" : v > 0 ? "inf" : "-inf";
    error(line, key, std::string("The value must be a finite number, not ") + given + ".");
    return Got::bad;
  }
  if (range == Range::design && single_ && precision_known_) {
    if (std::fabs(v) >= kFloatOverflow) {
      error(line, key,
            "The value " + fields::number(v) +
                " is out of the range of a 32-bit design (about 3.4e+38); use a smaller value "
                "or precision = \"64-bit\".");
      return Got::bad;
    }
    if (v != 0.0 && std::fabs(v) <= kFloatUnderflow) {
      error(line, key,
            "The value " + fields::number(v) +
                " is too small for a 32-bit design: it would become 0; use 0, a larger value "
                "or precision = \"64-bit\".");
      return Got::bad;
    }
  }
  out = v;
  return Got::ok;
}

Got Reader::whole(const Section& s, std::string_view name, bool required, int& out,
                  std::string_view why) {
  const toml::node* node = find(s, name, required, why);
  if (!node) return required ? Got::bad : Got::absent;
  const std::string key = s.key + "." + std::string(name);
  const auto* i = node->as_integer();
  if (!i) {
    error(line_of(key, s.line), key, "Expected a whole number, found " + type_name(*node) + ".");
    return Got::bad;
  }
  // Far outside any count the checks accept: held as the nearest int, which
  // they refuse as well.
  const std::int64_t v = i->get();
  out = static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
  return Got::ok;
}

Got Reader::text(const Section& s, std::string_view name, bool required, std::string& out) {
  const toml::node* node = find(s, name, required);
  if (!node) return required ? Got::bad : Got::absent;
  const std::string key = s.key + "." + std::string(name);
  const auto* str = node->as_string();
  if (!str) {
    error(line_of(key, s.line), key, "Expected a string, found " + type_name(*node) + ".");
    return Got::bad;
  }
  if (detail::has_control_character(str->get())) {
    error(line_of(key, s.line), key,
          "The text holds a control character such as a line break; a name or a label is one "
          "line of text.");
    return Got::bad;
  }
  out = str->get();
  return Got::ok;
}

Got Reader::flag(const Section& s, std::string_view name, bool required, bool& out) {
  const toml::node* node = find(s, name, required);
  if (!node) return required ? Got::bad : Got::absent;
  const std::string key = s.key + "." + std::string(name);
  const auto* value = node->as_boolean();
  if (!value) {
    error(line_of(key, s.line), key, "Expected true or false, found " + type_name(*node) + ".");
    return Got::bad;
  }
  out = value->get();
  return Got::ok;
}

Got Reader::choice(const Section& s, std::string_view name, bool required,
                   std::span<const Choice> choices, std::string_view what, int& out) {
  const toml::node* node = find(s, name, required);
  if (!node) return required ? Got::bad : Got::absent;
  const std::string key = s.key + "." + std::string(name);
  const auto* str = node->as_string();
  if (str) {
    for (const Choice& c : choices) {
      if (str->get() == c.name) {
        out = c.value;
        return Got::ok;
      }
    }
  }
  std::string sentence = "The " + std::string(what) + " must be ";
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (i > 0) sentence += i + 1 == choices.size() ? " or " : ", ";
    sentence.append("\"").append(choices[i].name).append("\"");
  }
  sentence += ", not " + (str ? in_quotes(str->get()) : type_name(*node)) + ".";
  error(line_of(key, s.line), key, sentence);
  return Got::bad;
}

bool Reader::refused(const Section& s, std::string_view name, std::string sentence) {
  const toml::node* node = s.table ? s.table->get(name) : nullptr;
  if (!node) return false;
  const Line line = node->source().begin.line;
  error(line == 0 ? s.line : line, s.key + "." + std::string(name), std::move(sentence));
  return true;
}

bool Reader::read_design(design::DesignSpec& choices) {
  bool ok = true;
  auto take = [&ok](Got g) {
    if (g == Got::bad) ok = false;
    return g;
  };

  // The precision first: it decides which reals are in range.
  const Section synthesis = section(&root_, "", "synthesis", true, kSynthesisKeys);
  check_keys(synthesis, kSynthesisKeys);
  int precision = 0;
  const Got gp = take(choice(synthesis, "precision", false, kPrecisions, "precision", precision));
  precision_known_ = gp != Got::bad;
  single_ = precision == 0;
  choices.precision = single_ ? design::Precision::single : design::Precision::double_;

  const Section geometry = section(&root_, "", "geometry", true, geometry_keys());
  check_keys(geometry, geometry_keys());
  const design::GeometryFamily& family = design::family_of(choices);
  for (const design::GeometryKey& key : family.keys()) {
    double value = 0;
    if (take(real(geometry, key.name, true, value, Range::design)) == Got::ok) {
      family.set(choices.geometry, key.name, value);
    }
  }

  // A missing [feed] is told what the default model needs.
  const Section feed = section(&root_, "", "feed", true, default_feed_keys());
  check_keys(feed, feed_keys());
  if (!read_feed(feed, choices.feed)) ok = false;

  if (!read_aperture(choices.aperture)) ok = false;

  take(real(synthesis, "calc_interval", true, choices.synthesis.calc_interval, Range::design));
  take(real(synthesis, "output_interval", true, choices.synthesis.output_interval, Range::design));

  // A missing section leaves its keys unread.
  for (const Section* s : {&synthesis, &geometry, &feed}) {
    if (!s->table) ok = false;
  }
  if (!ok) return false;

  for (const Problem& p : design::validate(choices)) {
    const std::string key = design::key_of(p);
    report(line_of(key, 1), key, run::diagnose(p));
  }
  return true;
}

// The aperture: its distribution and that distribution's keys; the keys of
// the others are refused.
bool Reader::read_aperture(design::ApertureSpec& aperture_choice) {
  const Section aperture = section(&root_, "", "aperture", true, aperture_keys());
  check_keys(aperture, aperture_keys());
  int number = 0;
  const Got gk = choice(aperture, "distribution", true, distribution_choices(), "distribution", number);
  const design::DistributionKind* kind =
      gk == Got::ok ? design::find_distribution(static_cast<design::Distribution>(number)) : nullptr;
  if (kind != nullptr) aperture_choice.kind = kind->kind();
  // A missing section leaves its keys unread.
  bool ok = kind != nullptr && aperture.table != nullptr;
  // Each key once, as the first distribution that takes it names it.
  std::vector<std::string_view> seen;
  for (const design::DistributionKind* owner : design::distributions()) {
    for (const design::DistributionKey& key : owner->keys()) {
      if (std::find(seen.begin(), seen.end(), key.name) != seen.end()) continue;
      seen.push_back(key.name);
      if (kind == nullptr) {
        // The kind is unknown: check the types of what is given.
        double unused = 0;
        int unused_whole = 0;
        if (key.whole) {
          whole(aperture, key.name, false, unused_whole);
        } else {
          real(aperture, key.name, false, unused, Range::design);
        }
        continue;
      }
      const auto& own = kind->keys();
      const auto mine = std::find_if(own.begin(), own.end(), [&](const design::DistributionKey& k) {
        return k.name == key.name;
      });
      if (mine == own.end()) {
        std::string sentence = "Only ";
        sentence.append(owner->noun()).append(" takes ").append(key.what);
        sentence.append("; remove the key or set aperture.distribution = \"");
        sentence.append(owner->name()).append("\".");
        if (refused(aperture, key.name, std::move(sentence))) {
          ok = false;
        }
        continue;
      }
      Got g = Got::bad;
      if (mine->whole) {
        int v = 0;
        g = whole(aperture, key.name, true, v, kind->needs());
        if (g == Got::ok) kind->set(aperture_choice, key.name, v);
      } else {
        double v = 0;
        g = real(aperture, key.name, true, v, Range::design, kind->needs());
        if (g == Got::ok) kind->set(aperture_choice, key.name, v);
      }
      if (g == Got::bad) ok = false;
    }
  }
  return ok;
}

// The feed: its model (the beamwidth model when none is named) and that
// model's keys; the keys of another model are refused.  A table or cut file
// is read here, relative to the design file's folder.
bool Reader::read_feed(const Section& feed, design::FeedSpec& feed_choice) {
  int model = 0;
  const Got gm = choice(feed, "model", false, feed_model_choices(), "feed model", model);
  if (gm == Got::bad) return false;
  feed_choice.model = static_cast<design::FeedModelKind>(model);
  const design::FeedKind* kind = design::find_feed(feed_choice.model);
  if (kind == nullptr) return false;
  auto takes = [](const design::FeedKind* k, std::string_view name) {
    for (const design::FeedKey& key : k->keys()) {
      if (key.name == name) return true;
    }
    return false;
  };
  bool ok = true;
  // Any model's feed may be analysed displaced along the axis; where it may
  // go is checked with the geometry and the diameter (check_feed_offset).
  if (real(feed, "axial_offset", false, feed_choice.axial_offset, Range::any) == Got::bad) ok = false;
  // The keys of the other models, each once: refused, naming the models
  // that take it.
  std::vector<std::string_view> seen;
  for (const design::FeedKind* other : design::feeds()) {
    for (const design::FeedKey& key : other->keys()) {
      if (takes(kind, key.name) ||
          std::find(seen.begin(), seen.end(), key.name) != seen.end()) {
        continue;
      }
      seen.push_back(key.name);
      std::vector<std::string_view> owners;
      for (const design::FeedKind* k : design::feeds()) {
        if (takes(k, key.name)) owners.push_back(k->name());
      }
      std::string owner;
      for (std::size_t o = 0; o < owners.size(); ++o) {
        if (o > 0) owner += o + 1 == owners.size() ? " and " : ", ";
        owner.append("\"").append(owners[o]).append("\"");
      }
      const bool many = owners.size() > 1;
      std::string sentence = "Only the ";
      sentence.append(owner).append(many ? " models take" : " model takes");
      sentence.append(" this key; the feed's model is \"").append(kind->name()).append("\".");
      if (refused(feed, key.name, std::move(sentence))) {
        ok = false;
      }
    }
  }
  bool file_key = false;
  for (const design::FeedKey& key : kind->keys()) {
    if (key.file) {
      file_key = true;
      continue;
    }
    double value = 0;
    if (real(feed, key.name, true, value, Range::design, kind->needs()) == Got::ok) {
      kind->set(feed_choice, key.name, value);
    } else {
      ok = false;
    }
  }
  if (!file_key) {
    if (refused(feed, "phase_centre", "Only a feed file gives a phase; the feed's model is \"" +
                                          std::string(kind->name()) + "\".")) {
      ok = false;
    }
    return ok;
  }
  std::string file;
  if (text(feed, "file", true, file) != Got::ok) return false;
  const Line line = line_of(feed.key + ".file", feed.line);
  if (file.empty()) {
    error(line, feed.key + ".file", "A feed file needs a name.");
    return false;
  }
  feed_choice.file = file;
  const std::filesystem::path path = (base_ / file).lexically_normal();
  const std::string shown = path.string();
  feedfile::ReadResult r = feedfile::read(path, shown);
  if (!r.table) {
    if (r.error->file.empty()) {
      // The file cannot be opened or read whole: a problem of this key.
      report(line, feed.key + ".file", std::move(*r.error));
    } else {
      // A fault inside the feed file: reported at its own line there.
      errors_.push_back({line, std::move(*r.error)});
    }
    return false;
  }
  if (r.format != feed_choice.model) {
    const bool cuts = r.format == design::FeedModelKind::cut;
    error(line, feed.key + ".file",
          "The file " + in_quotes(file) + " holds " + (cuts ? "pattern cuts" : "a table") +
              "; its model is \"" + (cuts ? "cut" : "table") + "\".");
    return false;
  }
  feed_choice.table = std::make_shared<const design::FeedTable>(std::move(*r.table));
  return read_phase_centre(feed, feed_choice) && ok;
}

// Where the feed's phase centre lies from its file's reference point: a
// length in the unit of the diameter, or "fit"; the file must give a phase.
bool Reader::read_phase_centre(const Section& feed, design::FeedSpec& feed_choice) {
  const toml::node* node = find(feed, "phase_centre", false);
  if (!node) return true;
  const std::string key = feed.key + ".phase_centre";
  const Line line = line_of(key, feed.line);
  if (feed_choice.table->phase_deg.empty()) {
    error(line, key, "The feed file " + in_quotes(feed_choice.file) +
                         " gives no phase; a phase centre is found from a phase column or cut.");
    return false;
  }
  if (const auto* word = node->as_string()) {
    if (word->get() != "fit") {
      error(line, key, "Expected a length in the unit of the diameter or \"fit\", found " +
                           in_quotes(word->get()) + ".");
      return false;
    }
    feed_choice.phase_centre = design::FeedSpec::PhaseCentre::fit;
    return true;
  }
  double offset = 0;
  if (real(feed, "phase_centre", false, offset, Range::any) != Got::ok) return false;
  feed_choice.phase_centre = design::FeedSpec::PhaseCentre::given;
  feed_choice.phase_centre_offset = offset;
  return true;
}

void Reader::report_plan(const writers::OutputPlan& item,
                         std::span<const std::pair<Input, std::string>> keys, Line fallback) {
  for (const Problem& p : writers::validate(item)) {
    for (const auto& [input, key] : keys) {
      if (p.input == input) {
        report(line_of(key, fallback), key, run::diagnose(p));
        break;
      }
    }
  }
}

// An output plan of one item alone, with a diameter that passes, so that
// the item's own checks are the only ones it meets.
writers::OutputPlan alone() {
  writers::OutputPlan p;
  p.diameter = 1.0;
  return p;
}

// [scale]: the diameter, the subreflector's extrapolation and the length
// unit of both.
void Reader::read_scale(writers::OutputPlan& plan) {
  const Section scale = section(&root_, "", "scale", true, kScaleKeys);
  check_keys(scale, kScaleKeys);
  int unit = 0;
  if (choice(scale, "unit", false, kUnits, "unit", unit) == Got::ok) {
    plan.unit = static_cast<writers::LengthUnit>(unit);
  }
  bool ok = real(scale, "diameter", true, plan.diameter, Range::design) == Got::ok;
  double to = 0;
  const Got ge = real(scale, "extrapolate_sub_diameter", false, to, Range::design);
  if (ge == Got::ok) plan.extrapolated_sub_diameter = to;
  ok = ok && ge != Got::bad;
  if (!ok) return;
  writers::OutputPlan item;
  item.diameter = plan.diameter;
  item.extrapolated_sub_diameter = plan.extrapolated_sub_diameter;
  const std::pair<Input, std::string> keys[] = {{Input::diameter, "scale.diameter"},
                                                {Input::extrapolation, "scale.extrapolate_sub_diameter"}};
  report_plan(item, keys, scale.line);
}

// [figure]: the figure file.
void Reader::read_figure(writers::OutputPlan& plan, NamedFiles& files) {
  const Section figure = section(&root_, "", "figure", false, kFigureKeys);
  check_keys(figure, kFigureKeys);
  if (!figure.table) return;
  std::string file;
  if (text(figure, "file", true, file) != Got::ok) return;
  plan.figure_file = file;
  writers::OutputPlan item = alone();
  item.figure_file = file;
  const std::pair<Input, std::string> keys[] = {{Input::file_name, "figure.file"}};
  report_plan(item, keys, figure.line);
  files.emplace_back("figure.file", file);
}

// [listing.main] and [listing.sub]: the dimension listings.
void Reader::read_listings(const toml::table* listing, writers::OutputPlan& plan) {
  for (std::string_view which : kReflectors) {
    const bool main = which == "main";
    const Section s = section(listing, "listing", which, false, kListingKeys);
    check_keys(s, kListingKeys);
    if (!s.table) continue;
    writers::ListingRequest request;
    const Got g1 = real(s, "start", true, request.start, Range::design);
    const Got g2 = real(s, "stop", true, request.stop, Range::design);
    const Got g3 = real(s, "step", true, request.step, Range::design);
    if (g1 != Got::ok || g2 != Got::ok || g3 != Got::ok) continue;
    (main ? plan.main_listing : plan.sub_listing) = request;
    writers::OutputPlan item = alone();
    item.main_listing = request;
    const std::pair<Input, std::string> keys[] = {{Input::listing, s.key}};
    report_plan(item, keys, s.line);
  }
}

// [surface.main] and [surface.sub]: the surface files.
void Reader::read_surfaces(const toml::table* surface, writers::OutputPlan& plan, NamedFiles& files) {
  for (std::string_view which : kReflectors) {
    const bool main = which == "main";
    const Section s = section(surface, "surface", which, false, kSurfaceKeys);
    check_keys(s, kSurfaceKeys);
    if (!s.table) continue;
    writers::SurfaceFileRequest request;
    const Got g1 = text(s, "file", true, request.file);
    const Got g2 = whole(s, "points", true, request.points);
    const Got g3 = text(s, "label", false, request.label);
    if (g1 == Got::ok) files.emplace_back(s.key + ".file", request.file);
    if (g1 != Got::ok || g2 != Got::ok || g3 == Got::bad) continue;
    (main ? plan.main_surface : plan.sub_surface) = request;
    writers::OutputPlan item = alone();
    item.main_surface = request;
    const std::pair<Input, std::string> keys[] = {{Input::file_name, s.key + ".file"},
                                                  {Input::surface_points, s.key + ".points"},
                                                  {Input::label, s.key + ".label"}};
    report_plan(item, keys, s.line);
  }
}

// [object.main] and [object.sub]: the spline objects.
void Reader::read_objects(const toml::table* object, writers::OutputPlan& plan, NamedFiles& files) {
  for (std::string_view which : kReflectors) {
    const bool main = which == "main";
    const Section s = section(object, "object", which, false, kObjectKeys);
    check_keys(s, kObjectKeys);
    if (!s.table) continue;
    writers::ObjectFileRequest request;
    int unit = 0;
    const Got g1 = text(s, "file", true, request.file);
    const Got g2 = choice(s, "unit", true, kUnits, "unit", unit);
    const Got g3 = whole(s, "points", true, request.points);
    if (g1 == Got::ok) files.emplace_back(s.key + ".file", request.file);
    if (g1 != Got::ok || g2 != Got::ok || g3 != Got::ok) continue;
    request.unit = static_cast<writers::LengthUnit>(unit);
    (main ? plan.main_object : plan.sub_object) = request;
    writers::OutputPlan item = alone();
    item.main_object = request;
    const std::pair<Input, std::string> keys[] = {{Input::file_name, s.key + ".file"},
                                                  {Input::length_unit, s.key + ".unit"},
                                                  {Input::spline_points, s.key + ".points"}};
    report_plan(item, keys, s.line);
  }
}

// Two outputs written to one file would leave only the last of them: each
// file named again is reported at its second key.
void Reader::check_distinct(const NamedFiles& files) {
  for (std::size_t i = 1; i < files.size(); ++i) {
    if (files[i].second.empty()) continue;
    const std::filesystem::path path = std::filesystem::path(files[i].second).lexically_normal();
    for (std::size_t j = 0; j < i; ++j) {
      if (std::filesystem::path(files[j].second).lexically_normal() == path) {
        error(line_of(files[i].first, 1), files[i].first,
              "The file " + in_quotes(files[i].second) + " is also " + files[j].first +
                  "; every output needs a file of its own.");
        break;
      }
    }
  }
}

// [report]: the report's folder, wavelength and physical optics.
void Reader::read_report(writers::OutputPlan& plan) {
  const Section report = section(&root_, "", "report", false, kReportKeys);
  check_keys(report, kReportKeys);
  if (!report.table) return;
  std::string folder;
  double wavelength = 0;
  Got g1 = text(report, "folder", true, folder);
  if (g1 == Got::ok && folder.empty()) {
    error(line_of("report.folder", report.line), "report.folder", "The report folder needs a name.");
    g1 = Got::bad;
  }
  Got g2 = real(report, "wavelength", false, wavelength, Range::any);
  if (g2 == Got::ok && !(wavelength > 0)) {
    error(line_of("report.wavelength", report.line), "report.wavelength",
          "The wavelength must be greater than 0.");
    g2 = Got::bad;
  }
  // A frequency gives the wavelength in the diameter's unit, which it needs;
  // with a wavelength as well the two would disagree, so one is refused.
  double gigahertz = 0;
  std::optional<double> frequency;
  Got gf = real(report, "frequency_ghz", false, gigahertz, Range::any);
  if (gf == Got::ok) {
    const std::optional<writers::LengthUnit> unit = writers::length_unit_of(plan);
    const std::optional<double> from_frequency =
        gigahertz > 0 && unit ? writers::wavelength_in(gigahertz * 1e9, *unit) : std::nullopt;
    const Line line = line_of("report.frequency_ghz", report.line);
    if (!(gigahertz > 0)) {
      error(line, "report.frequency_ghz", "The frequency must be greater than 0.");
      gf = Got::bad;
    } else if (g2 == Got::ok) {
      error(line, "report.frequency_ghz",
            "A frequency and a wavelength both give the report's wavelength; keep one of them.");
      gf = Got::bad;
    } else if (!unit) {
      error(line, "report.frequency_ghz",
            "A frequency needs the design's length unit: add unit = \"mm\" (or \"in\", \"ft\", \"m\") to "
            "[scale], or give the wavelength in the unit of the diameter.");
      gf = Got::bad;
    } else if (!from_frequency) {
      error(line, "report.frequency_ghz",
            "The frequency gives a wavelength out of range in the design's unit (\"" +
                std::string(writers::unit_name(*unit)) + "\").");
      gf = Got::bad;
    } else {
      wavelength = *from_frequency;
      frequency = gigahertz * 1e9;
    }
  }
  bool physical_optics = false;
  const Got g3 = flag(report, "physical_optics", false, physical_optics);
  double surface_rms = 0;
  Got g4 = real(report, "surface_rms", false, surface_rms, Range::any);
  if (g4 == Got::ok && !(surface_rms >= 0)) {
    error(line_of("report.surface_rms", report.line), "report.surface_rms",
          "The RMS of the surface error must not be negative.");
    g4 = Got::bad;
  }
  if (g1 == Got::ok && g2 != Got::bad && gf != Got::bad && g3 != Got::bad && g4 != Got::bad) {
    plan.report = writers::ReportRequest{folder, wavelength, physical_optics, frequency};
    plan.report->surface_rms = surface_rms;
  }
}

// The feed's axial offset against the geometry: the displaced phase centre
// stays in front of the plane of the main reflector's hole rim and short of
// the plane of the subreflector's rim (the run checks it against the
// synthesised subreflector's vertex too).
void Reader::check_feed_offset(const design::DesignSpec& choices, const writers::OutputPlan& plan) {
  const double offset = choices.feed.axial_offset;
  if (offset == 0.0 || !(plan.diameter > 0)) return;
  const double to_d = 0.5 * plan.diameter;
  const double hole_z = -choices.geometry.main_hole_to_feed * to_d, rim_z = choices.geometry.feed_to_sub_rim * to_d;
  const Line line = line_of("feed.axial_offset", 1);
  if (!(offset > hole_z)) {
    error(line, "feed.axial_offset",
          "The offset " + fields::number(offset) + " puts the feed's phase centre behind the main reflector, whose "
          "hole rim lies " + fields::number(-hole_z) + " below the feed point; it must be greater than " +
          fields::number(hole_z) + ".");
  } else if (!(offset < rim_z)) {
    error(line, "feed.axial_offset",
          "The offset " + fields::number(offset) + " puts the feed's phase centre through the subreflector, whose "
          "rim lies " + fields::number(rim_z) + " above the feed point; it must be less than " + fields::number(rim_z) +
          ".");
  }
}

// The outputs, section by section, each item checked alone; then the files
// they name, which must differ.
bool Reader::read_plan(writers::OutputPlan& plan) {
  const std::size_t before = errors_.size();
  NamedFiles files;  // every file an output names, with its key
  read_scale(plan);
  read_figure(plan, files);
  check_group("listing", kListingKeys);
  check_group("surface", kSurfaceKeys);
  check_group("object", kObjectKeys);
  const auto group = [this](std::string_view name) -> const toml::table* {
    const toml::node* node = root_.get(name);
    return node ? node->as_table() : nullptr;
  };
  read_listings(group("listing"), plan);
  read_surfaces(group("surface"), plan, files);
  read_objects(group("object"), plan, files);
  check_distinct(files);
  read_report(plan);
  return errors_.size() == before;
}

ReadResult Reader::read() {
  check_root();
  DesignFile file;
  const bool design_read = read_design(file.choices);
  read_plan(file.plan);
  if (design_read && errors_.empty()) check_feed_offset(file.choices, file.plan);
  ReadResult result;
  if (errors_.empty() && design_read) {
    result.file = std::move(file);
    return result;
  }
  std::stable_sort(errors_.begin(), errors_.end(),
                   [](const Error& a, const Error& b) { return a.line < b.line; });
  for (std::size_t i = 0; i < errors_.size() && i < kMaxErrors; ++i) {
    result.errors.push_back(std::move(errors_[i].diagnostic));
  }
  if (errors_.size() > kMaxErrors) {
    result.errors.push_back(diag::at(
        diag::error(std::to_string(errors_.size() - kMaxErrors) + " more errors are not shown."), name_, 0));
  }
  if (result.errors.empty()) {
    result.errors.push_back(diag::at(diag::error("The file cannot be used."), name_, 0));
  }
  return result;
}

ReadResult file_error(std::string_view name, std::string sentence) {
  ReadResult r;
  r.errors.push_back(diag::at(diag::error(as_sentence(std::move(sentence))), std::string(name), 0));
  return r;
}

ReadResult line_error(std::string_view name, Line line, std::string sentence) {
  ReadResult r;
  r.errors.push_back(diag::at(diag::error(as_sentence(std::move(sentence))), std::string(name), line));
  return r;
}

}  // namespace

std::string key_of(const Problem& p) { return design::key_of(p); }

std::string key_of(Input input) { return design::key_of(input); }

ReadResult parse(std::string_view text, std::string_view display_name,
                 const std::filesystem::path& base) {
  if (text.size() > kMaxFileBytes) {
    return file_error(display_name, "The file is larger than " + std::to_string(kMaxFileBytes) +
                                        " bytes; a design file takes a few kilobytes.");
  }
  if (auto line = detail::first_invalid_utf8_line(text)) {
    return line_error(display_name, *line,
                      "The file is not UTF-8 text: this line holds a byte that is not part of "
                      "any UTF-8 character.");
  }
  if (auto control = detail::first_control_character(text)) {
    static constexpr char hex[] = "0123456789abcdef";
    const std::string byte = {'0', 'x', hex[control->byte >> 4], hex[control->byte & 0xf]};
    return line_error(display_name, control->line,
                      "The file holds a control character (byte " + byte +
                          ") on this line; a design file is plain text.");
  }
  if (detail::structural_dots(text) > kMaxDots) {
    return file_error(display_name,
                      "The file has more than " + std::to_string(kMaxDots) +
                          " dots outside its strings and comments (in keys, section names and "
                          "numbers); a design file has a few dozen.");
  }
  toml::table root;
  try {
    root = toml::parse(text, std::string(display_name));
  } catch (const toml::parse_error& e) {
    const Line line = e.source().begin.line == 0 ? 1 : e.source().begin.line;
    return line_error(display_name, line, detail::printable(e.description(), 300));
  }
  return Reader(root, display_name, base).read();
}

ReadResult read(const std::filesystem::path& path) {
  const std::string name = path.string();
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    return file_error(name, "This is a folder, not a design file.");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::error_code exists_ec;
    const bool exists = std::filesystem::exists(path, exists_ec);
    return file_error(name,
                      exists ? "The file cannot be opened for reading." : "There is no such file.");
  }
  // One byte more than the limit tells a file that is too large.
  std::string text(kMaxFileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return file_error(name, "The file cannot be read.");
  text.resize(static_cast<std::size_t>(in.gcount()));
  return parse(text, name, path.parent_path());
}

}  // namespace designfile
