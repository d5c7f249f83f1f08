#include "feedfile/feed_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <complex>
#include <fstream>
#include <vector>

#include "fields/prose.h"

namespace feedfile {
namespace {

using design::FeedModelKind;
using design::FeedTable;
using fields::number;

// The floor of the dB values kept for figures (a power of 0).
constexpr double kFloorDb = -300.0;
// Angles may end this far past 180 degrees by rounding of a cut's step.
constexpr double kAngleSlack = 1e-6;

// A fault at one line of the file; parsing stops at the first.
struct Fault {
  long line;
  std::string what;
};

struct Line {
  long number;  // 1-based
  std::string_view text;
};

// The file's lines without their line ends.
std::vector<Line> split_lines(std::string_view text) {
  std::vector<Line> lines;
  long n = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back({++n, line});
    start = end + 1;
  }
  return lines;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool blank(std::string_view s) { return trim(s).empty(); }
bool comment(std::string_view s) {
  const std::string_view t = trim(s);
  return !t.empty() && t.front() == '#';
}

// A whole field as a number (a leading '+' allowed); nullopt when it is not
// one.  Infinities and NaN are numbers here and refused by the caller.
std::optional<double> to_number(std::string_view s) {
  s = trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  double v = 0.0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

std::vector<std::string_view> split(std::string_view s, char separator) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = s.find(separator, start);
    out.push_back(trim(s.substr(start, end == std::string_view::npos ? end : end - start)));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return out;
}

std::vector<std::string_view> words(std::string_view s) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
    if (i > start) out.push_back(s.substr(start, i - start));
  }
  return out;
}

// A field shown in a message: printable and short.
std::string shown(std::string_view s) {
  std::string out;
  for (char c : s.substr(0, 40)) {
    const auto u = static_cast<unsigned char>(c);
    out += u >= 0x20 && u < 0x7f ? c : '?';
  }
  return s.size() > 40 ? out + "..." : out;
}

// "WORD" is not a number, the word shown as above.  Built by appending: the
// prepending operator+ on a temporary makes GCC warn of an overlapping copy
// it cannot rule out.
std::string not_a_number(std::string_view word) {
  std::string out = "\"";
  out += shown(word);
  out += "\" is not a number.";
  return out;
}

double to_db(double power) { return power > 0.0 ? std::max(kFloorDb, 10.0 * std::log10(power)) : kFloorDb; }

// The angle of a row: finite, increasing, from 0 to 180 degrees.
std::optional<Fault> check_angle(const FeedTable& t, double theta, long line) {
  if (!std::isfinite(theta)) return Fault{line, "the angle is not a finite number."};
  if (t.theta_deg.empty() && theta != 0.0) {
    return Fault{line, "the table starts at " + number(theta) +
                           " degrees; it must start on the axis, at 0 degrees."};
  }
  if (!t.theta_deg.empty() && !(theta > t.theta_deg.back())) {
    return Fault{line, "the angle " + number(theta) + " does not increase on the one before, " +
                           number(t.theta_deg.back()) + "."};
  }
  if (theta > 180.0 + kAngleSlack) {
    return Fault{line, "the angle " + number(theta) + " lies beyond 180 degrees."};
  }
  if (t.theta_deg.size() >= design::kMaxFeedTableAngles) {
    return Fault{line, "the table holds more than " + std::to_string(design::kMaxFeedTableAngles) +
                           " angles."};
  }
  return std::nullopt;
}

// A power in dB as linear power, or a fault.
std::optional<Fault> linear_power(double db, long line, double& power) {
  if (!std::isfinite(db)) return Fault{line, "a power is not a finite number."};
  power = std::pow(10.0, db / 10.0);
  if (!std::isfinite(power)) return Fault{line, "the power " + number(db) + " dB is out of range."};
  return std::nullopt;
}

// What every table needs at its end: enough angles, and power somewhere.
std::optional<Fault> check_whole(const FeedTable& t, long last_line) {
  if (t.theta_deg.empty()) return Fault{std::max(1L, last_line), "the file holds no pattern."};
  if (t.theta_deg.size() < design::kMinFeedTableAngles) {
    return Fault{last_line, "the table holds " + std::to_string(t.theta_deg.size()) +
                                " angles; a pattern needs at least " +
                                std::to_string(design::kMinFeedTableAngles) + "."};
  }
  if (std::string fault = design::table_fault(t); !fault.empty()) {
    return Fault{last_line, fault + "."};
  }
  return std::nullopt;
}

// A tabulated phase must be unwrapped: a step of more than half a turn
// between neighbouring angles cannot be told from a wrap and is refused.
// A step of exactly 180 degrees is a sign change of the field (a null).
constexpr double kMaxPhaseStepDeg = 180.0;

std::optional<Fault> phase_step(const std::vector<double>& before, double phase, const char* plane, bool per_plane,
                                long line) {
  if (before.empty()) return std::nullopt;
  const double step = phase - before.back();
  if (!(std::fabs(step) > kMaxPhaseStepDeg)) return std::nullopt;
  return Fault{line, std::string("the ") + (per_plane ? plane : "") + "phase jumps by " + number(step, 9) +
                         " degrees from the angle before; the phase must be unwrapped (at most 180 degrees "
                         "between neighbouring angles)."};
}

// ---- CSV ------------------------------------------------------------------

std::optional<Fault> parse_csv(const std::vector<Line>& lines, FeedTable& t) {
  // The columns: 0 the angle; the power columns; an optional phase column.
  std::vector<int> power_columns;
  // Phase columns: one for every plane, or one each for the E and H planes.
  int phase_column = -1, phase_e_column = -1, phase_h_column = -1;
  std::size_t fields = 0;
  bool header_seen = false;
  long last_line = lines.empty() ? 1 : lines.back().number;
  for (const Line& line : lines) {
    if (blank(line.text) || comment(line.text)) continue;
    const std::vector<std::string_view> values = split(line.text, ',');
    if (fields == 0) {
      // The first line: a header of names, or the first row.
      if (!to_number(values[0])) {
        header_seen = true;
        for (std::size_t i = 1; i < values.size(); ++i) {
          std::string name(values[i]);
          std::transform(name.begin(), name.end(), name.begin(),
                         [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
          if (name.find("phase") != std::string::npos) {
            // "e..." and "h..." name a plane's phase (e_phase_deg,
            // h_plane_phase); any other name the phase of every plane.
            int& column = name.front() == 'e' ? phase_e_column : name.front() == 'h' ? phase_h_column : phase_column;
            if (column >= 0) {
              return Fault{line.number, "the header names two phase columns for the same plane (\"" +
                                            shown(values[static_cast<std::size_t>(column)]) + "\" and \"" +
                                            shown(values[i]) + "\")."};
            }
            column = static_cast<int>(i);
          } else {
            power_columns.push_back(static_cast<int>(i));
          }
        }
        if ((phase_e_column >= 0) != (phase_h_column >= 0) || (phase_column >= 0 && phase_e_column >= 0)) {
          return Fault{line.number, "the header names the phase of " +
                                        std::string(phase_column >= 0 ? "every plane and of one plane"
                                                                      : "one plane only") +
                                        "; a table gives one phase column (every plane) or two (names "
                                        "starting with \"e\" and \"h\": the E and H planes)."};
        }
        if (power_columns.empty() || power_columns.size() > 2) {
          return Fault{line.number, "the header names " + std::to_string(power_columns.size()) +
                                        " power columns; a table has one (every plane) or two "
                                        "(the E and H planes)."};
        }
        fields = values.size();
        continue;
      }
      if (values.size() != 2 && values.size() != 3) {
        return Fault{line.number, "the line holds " + std::to_string(values.size()) +
                                      " values; a table without a header has an angle and one "
                                      "or two powers (dB) per line."};
      }
      for (std::size_t i = 1; i < values.size(); ++i) power_columns.push_back(static_cast<int>(i));
      fields = values.size();
    }
    if (values.size() != fields) {
      return Fault{line.number, "the line holds " + std::to_string(values.size()) + " values; " +
                                    (header_seen ? "the header names " : "the first line holds ") +
                                    std::to_string(fields) + "."};
    }
    std::vector<double> v(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      const std::optional<double> x = to_number(values[i]);
      if (!x) {
        const int column = static_cast<int>(i);
        const bool phase = column == phase_column || column == phase_e_column || column == phase_h_column;
        std::string what = phase ? "the phase " : "";
        what += not_a_number(values[i]);
        return Fault{line.number, what};
      }
      v[i] = *x;
    }
    if (auto fault = check_angle(t, v[0], line.number)) return fault;
    double e = 0.0, h = 0.0;
    if (auto fault = linear_power(v[static_cast<std::size_t>(power_columns.front())], line.number, e)) return fault;
    if (auto fault = linear_power(v[static_cast<std::size_t>(power_columns.back())], line.number, h)) return fault;
    if (phase_column >= 0 || phase_e_column >= 0) {
      const double pe = v[static_cast<std::size_t>(phase_column >= 0 ? phase_column : phase_e_column)];
      const double ph = v[static_cast<std::size_t>(phase_column >= 0 ? phase_column : phase_h_column)];
      if (!std::isfinite(pe) || !std::isfinite(ph)) return Fault{line.number, "the phase is not a finite number."};
      if (auto fault = phase_step(t.phase_e_deg, pe, "E-plane ", phase_column < 0, line.number)) return fault;
      if (auto fault = phase_step(t.phase_h_deg, ph, "H-plane ", phase_column < 0, line.number)) return fault;
      t.phase_e_deg.push_back(pe);
      t.phase_h_deg.push_back(ph);
      t.phase_deg.push_back(phase_column >= 0 ? pe : 0.5 * (pe + ph));
    }
    t.theta_deg.push_back(v[0]);
    t.power.push_back(0.5 * e + 0.5 * h);  // halved first: e + h may overflow
    t.e_db.push_back(v[static_cast<std::size_t>(power_columns.front())]);
    t.h_db.push_back(v[static_cast<std::size_t>(power_columns.back())]);
    t.lines.push_back(line.number);
    last_line = line.number;
  }
  return check_whole(t, last_line);
}

// ---- Cuts -----------------------------------------------------------------

struct CutHeader {
  double first = 0, step = 0, phi = 0;
  long count = 0;
  int icomp = 0, icut = 0, ncomp = 0;
};

// The header line of a cut: seven numbers, the last three whole.
std::optional<CutHeader> cut_header(std::string_view text) {
  const std::vector<std::string_view> w = words(text);
  if (w.size() != 7) return std::nullopt;
  double v[7];
  for (int i = 0; i < 7; ++i) {
    const std::optional<double> x = to_number(w[static_cast<std::size_t>(i)]);
    if (!x || !std::isfinite(*x)) return std::nullopt;
    v[i] = *x;
  }
  for (int i : {2, 4, 5, 6}) {
    if (v[i] != std::floor(v[i]) || std::fabs(v[i]) > 1e9) return std::nullopt;
  }
  CutHeader h;
  h.first = v[0];
  h.step = v[1];
  h.count = static_cast<long>(v[2]);
  h.phi = v[3];
  h.icomp = static_cast<int>(v[4]);
  h.icut = static_cast<int>(v[5]);
  h.ncomp = static_cast<int>(v[6]);
  return h;
}

// What is wrong with a cut's header (at line `line`); `previous` is the
// header of the block before it, whose last angle a block that does not
// start at 0 must continue past (with the same C); nothing when it can be
// read.
std::optional<Fault> header_fault(long line, const std::optional<CutHeader>& h,
                                  const std::optional<CutHeader>& previous) {
  if (!h) {
    return Fault{line, "this line must hold the cut's V_INI V_INC V_NUM C ICOMP ICUT "
                       "NCOMP (seven numbers, the last three whole)."};
  }
  if (h->icut != 1) {
    return Fault{line, "the cut has ICUT " + std::to_string(h->icut) +
                           "; only polar cuts (ICUT 1) can be read."};
  }
  if (h->icomp != 1 && h->icomp != 3) {
    return Fault{line, "the cut has ICOMP " + std::to_string(h->icomp) +
                           "; only theta/phi (1) and linear co/cross (3) components "
                           "can be read."};
  }
  if (h->ncomp != 2) {
    return Fault{line, "the cut has NCOMP " + std::to_string(h->ncomp) +
                           "; only cuts of two components can be read."};
  }
  const bool continues = previous && h->phi == previous->phi &&
                         h->first > previous->first + static_cast<double>(previous->count - 1) * previous->step;
  if (h->first != 0.0 && !continues) {
    return Fault{line, "the cut starts at " + number(h->first) +
                           " degrees; it must start on the axis, at 0 degrees (or continue the "
                           "block before it, of the same C, past its last angle)."};
  }
  if (!(h->step > 0.0)) {
    return Fault{line, "the cut's step V_INC is " + number(h->step) +
                           "; the angles must increase."};
  }
  if (h->count < static_cast<long>(h->first == 0.0 ? design::kMinFeedTableAngles : 1) ||
      h->count > static_cast<long>(design::kMaxFeedTableAngles)) {
    return Fault{line, "the cut has " + std::to_string(h->count) +
                           " angles; a pattern has from " +
                           std::to_string(design::kMinFeedTableAngles) + " to " +
                           std::to_string(design::kMaxFeedTableAngles) + "."};
  }
  if (h->first + static_cast<double>(h->count - 1) * h->step > 180.0 + kAngleSlack) {
    return Fault{line, "the cut's angles reach " +
                           number(h->first + static_cast<double>(h->count - 1) * h->step) +
                           " degrees, beyond 180."};
  }
  return std::nullopt;
}

// The power of each of a cut's lines, read from lines[i] on (i is left past
// them); the line numbers go to t.lines for the first cut.
std::optional<Fault> read_cut_powers(const std::vector<Line>& lines, std::size_t& i, const CutHeader& h,
                                     long head_line, long end_line, bool first, FeedTable& t,
                                     std::vector<double>& power, std::vector<double>& phase) {
  power.assign(static_cast<std::size_t>(h.count), 0.0);
  phase.assign(static_cast<std::size_t>(h.count), 0.0);
  const double cos_phi = std::cos(h.phi * design::Constants<double>::deg);
  const double sin_phi = std::sin(h.phi * design::Constants<double>::deg);
  for (long k = 0; k < h.count; ++k, ++i) {
    if (i >= lines.size()) {
      return Fault{end_line, "the file ends after " + std::to_string(k) + " of the " +
                                 std::to_string(h.count) + " lines the cut's header (line " +
                                 std::to_string(head_line) + ") announces."};
    }
    const std::vector<std::string_view> w = words(lines[i].text);
    if (w.size() != 4) {
      return Fault{lines[i].number,
                   "the line holds " + std::to_string(w.size()) +
                       " values; a line of the cut holds two complex components (4 numbers): "
                       "line " + std::to_string(k + 1) + " of the " + std::to_string(h.count) +
                       " the header (line " + std::to_string(head_line) + ") announces."};
    }
    double v[4];
    for (std::size_t j = 0; j < 4; ++j) {
      const std::optional<double> x = to_number(w[j]);
      if (!x) return Fault{lines[i].number, not_a_number(w[j])};
      if (!std::isfinite(*x)) return Fault{lines[i].number, "a component is not a finite number."};
      v[j] = *x;
    }
    const double p = std::norm(std::complex<double>(v[0], v[1])) +
                     std::norm(std::complex<double>(v[2], v[3]));
    if (!std::isfinite(p)) return Fault{lines[i].number, "the power is out of range."};
    power[static_cast<std::size_t>(k)] = p;
    // The co-polar component's phase (linear co/cross: the first; theta/phi:
    // E_theta cos(phi) - E_phi sin(phi)), unwrapped along the angle; it
    // keeps the phase before it where the component vanishes.
    const std::complex<double> co = h.icomp == 3 ? std::complex<double>(v[0], v[1])
                                                 : std::complex<double>(v[0], v[1]) * cos_phi -
                                                       std::complex<double>(v[2], v[3]) * sin_phi;
    const auto j = static_cast<std::size_t>(k);
    const double before = k > 0 ? phase[j - 1] : 0.0;
    double ph = co == std::complex<double>() ? before : std::arg(co) / design::Constants<double>::deg;
    if (k > 0) ph = before + std::remainder(ph - before, 360.0);
    phase[j] = ph;
    if (first) t.lines.push_back(lines[i].number);
  }
  return std::nullopt;
}

// A line of components where the next cut's text should stand, with no
// header after it: the last cut holds more lines than its header says.
std::optional<Fault> overrun_fault(const std::vector<Line>& lines, std::size_t i, const CutHeader& first_cut,
                                   long last_head) {
  if (words(lines[i].text).size() != 4 || (i + 1 < lines.size() && cut_header(lines[i + 1].text))) {
    return std::nullopt;
  }
  bool components = true;
  for (std::string_view w : words(lines[i].text)) components = components && to_number(w);
  if (!components) return std::nullopt;
  return Fault{lines[i].number,
               "a line of components after the " + std::to_string(first_cut.count) +
                   " the cut's header (line " + std::to_string(last_head) +
                   ") announces; V_NUM does not match the cut's lines."};
}

// The table from the cuts' summed power (the average over the cuts), with
// the planes of the figure: the cuts at phi 0 and 90, else the average.
std::optional<Fault> finish_cut_table(const std::vector<double>& angles, const std::vector<double>& sum, int cuts,
                                      const std::vector<double>& e_plane, const std::vector<double>& h_plane,
                                      const std::vector<double>& e_phase, const std::vector<double>& h_phase,
                                      long end_line, FeedTable& t) {
  for (std::size_t k = 0; k < sum.size(); ++k) {
    t.theta_deg.push_back(angles[k]);
    const double p = sum[k] / cuts;
    if (!std::isfinite(p)) return Fault{t.lines[k], "the power is out of range."};
    t.power.push_back(p);
  }
  const std::vector<double>& e = e_plane.empty() ? t.power : e_plane;
  const std::vector<double>& hp = h_plane.empty() ? t.power : h_plane;
  for (std::size_t k = 0; k < sum.size(); ++k) {
    t.e_db.push_back(to_db(e[k]));
    t.h_db.push_back(to_db(hp[k]));
  }
  // The planes' phases: the cuts at phi 0 and 90, one standing for the
  // other when only one is there.
  t.phase_e_deg = e_phase.empty() ? h_phase : e_phase;
  t.phase_h_deg = h_phase.empty() ? e_phase : h_phase;
  for (std::size_t k = 0; k < t.phase_e_deg.size(); ++k) {
    t.phase_deg.push_back(0.5 * (t.phase_e_deg[k] + t.phase_h_deg[k]));
  }
  return check_whole(t, end_line);
}

// A cut is one block from 0 degrees, or that and the blocks after it that
// continue its angles (same C, each past the last angle of the one before):
// a pattern sampled in stretches of different steps.  Every cut must have
// the first cut's angles.
std::optional<Fault> parse_cuts(const std::vector<Line>& lines, FeedTable& t) {
  std::vector<double> sum;           // power summed over the whole cuts, per angle
  std::vector<double> first_angles;  // the first cut's angles, once it is whole
  std::vector<double> angles, power; // the cut being read, so far
  std::vector<double> phases;        // its co-polar phase, unwrapped across its blocks
  std::vector<double> e_plane;       // the cut at phi 0
  std::vector<double> h_plane;       // the cut at phi 90
  std::vector<double> e_phase, h_phase, first_phase;  // co-polar phase of those cuts and of the first
  std::optional<CutHeader> previous; // the block before
  int cuts = 0;
  std::size_t i = 0;
  const long end_line = lines.empty() ? 1 : lines.back().number;
  const auto at_end = [&] {
    while (i < lines.size() && blank(lines[i].text)) ++i;
    return i >= lines.size();
  };
  const auto mismatch = [](long line) {
    return Fault{line, "the cut's angles differ from the first cut's; every cut must have the same "
                       "V_INI, V_INC and V_NUM."};
  };
  long last_head = 0;  // the line of the last block's header
  // The cut read so far is whole: it joins the sum.
  const auto close_cut = [&]() -> std::optional<Fault> {
    if (cuts == 0) {
      first_angles = angles;
      sum = power;
    } else {
      if (angles.size() != first_angles.size()) return mismatch(last_head);
      for (std::size_t k = 0; k < power.size(); ++k) sum[k] += power[k];
    }
    if (previous->phi == 0.0 && e_plane.empty()) e_plane = power, e_phase = phases;
    if (previous->phi == 90.0 && h_plane.empty()) h_plane = power, h_phase = phases;
    if (cuts == 0) first_phase = phases;
    ++cuts;
    angles.clear(), power.clear(), phases.clear();
    return std::nullopt;
  };
  while (!at_end()) {
    if (previous) {
      if (auto fault = overrun_fault(lines, i, *previous, last_head)) return fault;
    }
    ++i;  // the cut's line of text
    if (i >= lines.size()) {
      return Fault{lines[i - 1].number, "the cut ends after its line of text; a line "
                                        "V_INI V_INC V_NUM C ICOMP ICUT NCOMP must follow."};
    }
    const Line& head = lines[i++];
    const std::optional<CutHeader> h = cut_header(head.text);
    if (auto fault = header_fault(head.number, h, previous)) return fault;
    if (h->first == 0.0 && previous) {
      if (auto fault = close_cut()) return fault;
    }
    last_head = head.number;
    if (angles.size() + static_cast<std::size_t>(h->count) > design::kMaxFeedTableAngles) {
      return Fault{head.number, "the cut has more than " + std::to_string(design::kMaxFeedTableAngles) +
                                    " angles; a pattern has from " + std::to_string(design::kMinFeedTableAngles) +
                                    " to " + std::to_string(design::kMaxFeedTableAngles) + "."};
    }
    const std::size_t from = angles.size();
    for (long k = 0; k < h->count; ++k) angles.push_back(h->first + static_cast<double>(k) * h->step);
    // A later cut's angles are the first cut's, told at the header.
    if (cuts > 0 && (angles.size() > first_angles.size() ||
                     !std::equal(angles.begin() + static_cast<std::ptrdiff_t>(from), angles.end(),
                                 first_angles.begin() + static_cast<std::ptrdiff_t>(from)))) {
      return mismatch(head.number);
    }
    std::vector<double> block, block_phase;
    if (auto fault = read_cut_powers(lines, i, *h, head.number, end_line, cuts == 0, t, block, block_phase))
      return fault;
    power.insert(power.end(), block.begin(), block.end());
    // A continuing block's phase goes on from where the one before ended.
    if (!phases.empty() && !block_phase.empty()) {
      const double delta = block_phase.front() - phases.back();
      const double turns = delta - std::remainder(delta, 360.0);
      for (double& x : block_phase) x -= turns;
    }
    phases.insert(phases.end(), block_phase.begin(), block_phase.end());
    previous = h;
  }
  if (!previous) return Fault{end_line, "the file holds no pattern."};
  if (auto fault = close_cut()) return fault;
  if (e_phase.empty() && h_phase.empty()) e_phase = first_phase;
  return finish_cut_table(first_angles, sum, cuts, e_plane, h_plane, e_phase, h_phase, end_line, t);
}

// A cut file's second meaningful line is a cut header; a table's is not.
bool looks_like_cuts(const std::vector<Line>& lines) {
  std::size_t i = 0;
  while (i < lines.size() && blank(lines[i].text)) ++i;
  if (i + 1 >= lines.size()) return false;
  if (comment(lines[i].text) && lines[i].text.find(',') != std::string_view::npos) return false;
  return cut_header(lines[i + 1].text).has_value();
}

}  // namespace

ReadResult parse(std::string_view text, std::string_view display_name) {
  ReadResult r;
  const std::vector<Line> lines = split_lines(text);
  FeedTable t;
  t.source = std::string(display_name);
  std::optional<Fault> fault;
  if (looks_like_cuts(lines)) {
    r.format = FeedModelKind::cut;
    fault = parse_cuts(lines, t);
  } else {
    r.format = FeedModelKind::table;
    fault = parse_csv(lines, t);
  }
  if (fault) {
    r.error = diag::at(diag::error(fault->what), std::string(display_name), fault->line);
    return r;
  }
  r.table = std::move(t);
  return r;
}

ReadResult read(const std::filesystem::path& path, std::string_view display_name) {
  ReadResult r;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    r.error = diag::error("the feed file \"" + std::string(display_name) + "\" is a folder.");
    return r;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    r.error = diag::error("the feed file \"" + std::string(display_name) +
                          "\" does not exist or cannot be read.");
    return r;
  }
  // Read in pieces, so that a small file costs no more than its size and a
  // large one is refused as soon as it passes the limit.
  std::string text;
  std::vector<char> piece(std::size_t{1} << 16);
  while (text.size() <= kMaxFileBytes) {
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    text.append(piece.data(), got);
    if (!in || got == 0) break;
  }
  if (in.bad()) {
    r.error = diag::error("the feed file \"" + std::string(display_name) + "\" cannot be read.");
    return r;
  }
  if (text.size() > kMaxFileBytes) {
    r.error = diag::error("the feed file \"" + std::string(display_name) + "\" is larger than " +
                          std::to_string(kMaxFileBytes >> 20) + " MB.");
    return r;
  }
  return parse(text, display_name);
}

std::optional<PhaseFit> phase_fit(const FeedTable& t, double half_angle_rad) {
  if (t.phase_deg.size() != t.theta_deg.size()) return std::nullopt;
  const double half_deg = half_angle_rad * 180.0 / design::Constants<double>::pi;
  // The phase unwrapped along the angle, inside the cone.
  std::vector<double> x, y;
  double previous = 0.0, offset = 0.0;
  for (std::size_t i = 0; i < t.theta_deg.size() && t.theta_deg[i] <= half_deg; ++i) {
    double p = t.phase_deg[i] + offset;
    if (i > 0) {
      while (p - previous > 180.0) { p -= 360.0; offset -= 360.0; }
      while (p - previous < -180.0) { p += 360.0; offset += 360.0; }
    }
    previous = p;
    x.push_back(std::cos(t.theta_deg[i] * design::Constants<double>::deg));
    y.push_back(p);
  }
  if (x.size() < 2) return std::nullopt;
  PhaseFit fit;
  fit.variation_deg = *std::max_element(y.begin(), y.end()) - *std::min_element(y.begin(), y.end());
  // Least squares of y = s x + c; s = k d in degrees, k d = 360 d / lambda.
  double mx = 0, my = 0;
  for (std::size_t i = 0; i < x.size(); ++i) { mx += x[i]; my += y[i]; }
  mx /= static_cast<double>(x.size());
  my /= static_cast<double>(y.size());
  double sxy = 0, sxx = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    sxy += (x[i] - mx) * (y[i] - my);
    sxx += (x[i] - mx) * (x[i] - mx);
  }
  fit.offset_wavelengths = sxx > 0.0 ? sxy / sxx / 360.0 : 0.0;
  return fit;
}

std::optional<diag::Diagnostic> phase_warning(const FeedTable& t, double half_angle_rad) {
  const std::optional<PhaseFit> fit = phase_fit(t, half_angle_rad);
  if (!fit || !(fit->variation_deg > kPhaseWarningDeg)) return std::nullopt;
  return diag::warning("the phase in " + t.source + " varies by " + number(fit->variation_deg, 3) +
                       " degrees over the subreflector's cone: the feed's phase centre is not at the "
                       "feed point.\nThe best fit puts it " + number(fit->offset_wavelengths, 3) +
                       " wavelengths along the axis from the feed point (positive towards the "
                       "subreflector).");
}

}  // namespace feedfile
