#include "designfile/wizard_file.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace designfile {
namespace {

// The shortest decimal that reads back as v, with a point or an exponent so
// that it reads back as a real.
std::string exact(double v) {
  if (v == 0) return "0.0";  // not "-0.0"
  char buffer[64];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, v);
  std::string text(buffer, r.ptr);
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

// A derived figure for a comment: six significant digits.
std::string shown(double v) {
  if (std::abs(v) < 1e-12) v = 0;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6g", v);
  return buffer;
}

}  // namespace

std::string wizard_name_problem(std::string_view name) {
  if (name.empty() || name.size() > 30) return "the name must have 1 to 30 characters";
  if (name.front() == '.') return "the name must not start with '.'";
  for (const char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                       c == '-' || c == '.';
    if (!plain) return "the name may hold only letters, digits, '_', '-' and '.'";
  }
  return {};
}

std::string wizard_unit_problem(std::string_view unit) {
  for (const char* u : {"in", "ft", "mm", "m"})
    if (unit == u) return {};
  return "the unit must be in, ft, mm or m";
}

std::string wizard_toml(const design::WizardDesign& w, const WizardFileOptions& options) {
  const design::ClassicalGeometry& g = w.geometry;
  const design::ClassicalFamily family = g.inputs.family;
  const bool displaced = design::displaced_axis(family);
  const double s = w.diameter / 2;  // normalised lengths to the asked unit
  const std::string unit = options.unit.empty() ? "" : " " + options.unit;
  const auto length = [&](double normalised) { return shown(normalised * s) + unit; };
  std::string out;
  const auto line = [&](const std::string& text) { out += text + "\n"; };
  const auto key = [&](std::string_view k, const std::string& v) { out.append(k).append(" = ").append(v) += "\n"; };
  const auto quoted = [](std::string_view v) { return "\"" + std::string(v) + "\""; };

  const std::string name(design::classical_family_name(family));
  line("# RAVOST design file: a classical " + name + " made by the geometry wizard.");
  if (!options.command.empty()) line("#   " + options.command);
  line("#");
  line("# Main reflector: diameter " + length(2) + ", focal length " + length(g.inputs.focal_length) +
       (displaced ? ", hole diameter " + length(2 * g.main_inner_rim.rho) : "") + ".");
  line("# Subreflector: diameter " + length(2 * g.sub_rim.rho) + ", " + shown(g.inputs.feed_angle_deg) +
       " degrees from the axis to its rim at the feed; " + (g.sigma > 0 ? "an ellipse" : "a hyperbola") +
       " of eccentricity " + shown(g.eccentricity) + ",");
  line("#   interfocal distance " + length(g.interfocal_distance) + ", its axis tilted " + shown(g.axis_tilt_deg) +
       " degrees from the symmetry axis.");
  if (displaced) {
    line("# Ring focus radius " + length(std::abs(g.focus.rho)) + ", " + length(g.focus.z) +
         " in front of the feed.");
  } else {
    line("# Focus " + length(g.focus.z) + " in front of the feed; magnification " + shown(g.magnification) +
         ", equivalent focal length " + length(g.magnification * g.inputs.focal_length) + ".");
  }
  line("# Overall length " + length(g.overall_length) + " (feed, subreflector and main reflector along the axis).");
  line("# shaping = \"shaped\" would shape both reflectors of this geometry for the aperture.");

  line("");
  line("# The normalised geometry, in units of the main reflector's outer radius.");
  line("[geometry]");
  key("family", quoted(name));
  key("shaping", quoted("classical"));
  key("main_hole_to_feed", exact(w.keys.main_hole_to_feed));
  key("feed_to_sub_rim", exact(w.keys.feed_to_sub_rim));
  key("sub_radius", exact(w.keys.sub_radius));
  key("main_inner_radius", exact(w.keys.main_inner_radius));

  line("");
  line("# A beamwidth feed " + shown(w.feed_level_db) + " dB down at the subreflector's rim.");
  line("[feed]");
  key("beamwidth_deg", exact(w.feed_beamwidth_deg));
  key("level_db", exact(-w.feed_level_db));

  line("");
  line("[aperture]");
  key("distribution", quoted("uniform"));

  line("");
  line("# A whole number of rows from the main reflector's hole rim to its rim.");
  line("[synthesis]");
  key("calc_interval", exact(w.calc_interval));
  key("output_interval", exact(w.output_interval));
  key("precision", quoted("64-bit"));

  line("");
  line("[scale]");
  key("diameter", exact(w.diameter));
  if (!options.unit.empty()) key("unit", quoted(options.unit));

  line("");
  line("[figure]");
  key("file", quoted(options.name + ".plt"));

  line("");
  line("[report]");
  key("folder", quoted(options.name + "_report"));
  return out;
}

}  // namespace designfile
