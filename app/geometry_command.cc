#include "app/geometry_command.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <iostream>
#include <optional>

#include "design/classical_families.h"
#include "designfile/wizard_file.h"
#include "diag/diagnostic.h"

namespace app {
namespace {

constexpr const char* kGeometryUsage =
    "Usage: ravost geometry FAMILY --diameter D --focal-length F --sub-diameter DS --feed-angle THETA "
    "[--hole-diameter DB | --ring-radius R] [--unit in|ft|mm|m] [--name NAME] (ravost geometry --help for more)\n";

int refuse(std::ostream& err, const std::string& what) {
  err << diag::render(diag::error(what)) << '\n' << kGeometryUsage;
  return 2;
}

// The option of a parameter of the classical design.
std::string option_of(const std::string& parameter) {
  std::string option = "--" + parameter;
  std::replace(option.begin(), option.end(), '_', '-');
  return option;
}

std::string shortest(double v) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, r.ptr);
}

}  // namespace

int geometry_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CLI::App app{"Prints the design file of a classical dual reflector of one family with the given main "
               "diameter, focal length, subreflector diameter and feed angle (the half angle the "
               "subreflector subtends at the feed): classical shaping, a beamwidth feed 10 dB down at the "
               "subreflector's rim, a uniform aperture, the figure and the report.",
               "ravost geometry"};
  std::string family_name, unit, name;
  double diameter = 0, focal_length = 0, sub_diameter = 0, feed_angle = 0;
  std::optional<double> hole_diameter, ring_radius;
  app.add_option("FAMILY", family_name,
                 "cassegrain, gregorian, or a displaced-axis family: adc, ade, adh, adg")
      ->required();
  app.add_option("--diameter", diameter, "D, the main reflector's diameter")->required();
  app.add_option("--focal-length", focal_length, "F, of the main paraboloid (or the displaced-axis parabola)")
      ->required();
  app.add_option("--sub-diameter", sub_diameter, "DS, the subreflector's diameter")->required();
  app.add_option("--feed-angle", feed_angle, "THETA, degrees from the axis to the subreflector's rim at the feed")
      ->required();
  auto* hole = app.add_option("--hole-diameter", hole_diameter,
                              "DB, the main reflector's hole (displaced-axis families: this or --ring-radius)");
  app.add_option("--ring-radius", ring_radius, "R, the radius of the displaced-axis families' ring focus")
      ->excludes(hole);
  app.add_option("--unit", unit, "The length unit of D and every length: in, ft, mm or m");
  app.add_option("--name", name, "The base name of the figure file and the report folder (default: FAMILY)");
  app.footer("The same lengths in one unit; the design file's geometry is that design normalised to the main "
             "reflector's radius.\nExit status: 0 when the design file is printed, 2 for a wrong command line "
             "or parameters no design of the family has.");
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    return refuse(err, e.what());
  }
  const std::optional<design::ClassicalFamily> family = design::classical_family_from_name(family_name);
  if (!family) {
    return refuse(err, "FAMILY \"" + family_name + "\" is not a family: give cassegrain, gregorian, adc, ade, "
                       "adh or adg.");
  }
  if (name.empty()) name = family_name;
  if (const std::string p = designfile::wizard_name_problem(name); !p.empty()) return refuse(err, "--name: " + p + ".");
  if (!unit.empty()) {
    if (const std::string p = designfile::wizard_unit_problem(unit); !p.empty()) return refuse(err, "--unit: " + p + ".");
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
  if (!w.design) {
    const design::ClassicalProblem& p = w.problems.front();
    return refuse(err, option_of(p.parameter) + ": " + p.message + ".");
  }
  designfile::WizardFileOptions options;
  options.name = name;
  options.unit = unit;
  options.command = "ravost geometry " + family_name + " --diameter " + shortest(diameter) + " --focal-length " +
                    shortest(focal_length) + " --sub-diameter " + shortest(sub_diameter) + " --feed-angle " +
                    shortest(feed_angle);
  if (hole_diameter) options.command += " --hole-diameter " + shortest(*hole_diameter);
  if (ring_radius) options.command += " --ring-radius " + shortest(*ring_radius);
  if (!unit.empty()) options.command += " --unit " + unit;
  if (name != family_name) options.command += " --name " + name;
  out << designfile::wizard_toml(*w.design, options);
  return 0;
}

}  // namespace app
