// Files for reflector-analysis tools: a rotationally symmetric surface file
// (label, count line, points r, z) and an object file describing a
// spline_circ_sym_reflector whose node heights are real_variable objects.
// Both sample the reflector's spline at equally spaced radii from its
// smallest to its largest radius.
#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "fields/fields.h"
#include "ravost/profile.h"
#include "ravost/stages.h"

namespace ravost {
namespace {

// The most points a surface file may hold.  The count is a free answer; a
// file of billions of lines would leave the run writing for hours.
constexpr int kMaxSurfacePoints = 1000000;

// Variable and node numbers have at most three digits.
constexpr int kMaxObjectNodes = 999;

// Length-unit words of the object file, for the choices 1 to 4.
constexpr std::array<std::string_view, 4> kUnitWords = {" in", " ft", " mm", " m "};

// Names of one reflector's node variables and object in the object file.
struct ObjectNames {
  std::string_view variable_prefix;
  std::string_view object_name;
};

ObjectNames object_names(Reflector which) {
  if (which == Reflector::main) return {"zmain", "main_reflector"};
  return {"zsub", "sub_reflector"};
}

// Spacing of `points` equally spaced radii from the first to the last radius.
// A single point stands at the first radius.
float radius_step(const Profile& p, int points) {
  if (points == 1) return 0.0f;
  return (p.last_radius() - p.first_radius()) / static_cast<float>(points - 1);
}

// Radius of point i (1-based).
float point_radius(const Profile& p, float step, int i) {
  return p.first_radius() + static_cast<float>(i - 1) * step;
}

// Asks for a whole number until `accepted` holds for the answer; each
// refused answer shows `problem`.
template <typename Accepted>
void read_int_until(Dialog& dialog, std::string_view prompt, std::string_view what, int& answer,
                    Accepted accepted, std::string_view problem) {
  for (;;) {
    dialog.prompt(prompt);
    dialog.read(what, answer);
    if (accepted(answer)) return;
    dialog.reject(problem);
  }
}

// Asks for the file name and creates the file.
OutFile create_answered_file(Session& s, std::string_view what) {
  for (;;) {
    s.dialog.prompt(" Enter file ");
    s.answers.output_file_name = s.dialog.read_text(what, 70);
    const std::string name = file_name(s.answers.output_file_name);
    if (!s.in_use(name)) return OutFile(s.path(name), name);
    s.dialog.reject(in_use_problem(name));
  }
}

}  // namespace

void write_surface_file(const Design& d, Session& s, Reflector which) {
  const Profile p = reflector_profile(d, which);
  Dialog& dialog = s.dialog;
  OutFile file = create_answered_file(s, "the name of the surface file");

  int& points = s.answers.radius_points;
  read_int_until(dialog, " Enter number of radius points ", "the number of radius points", points,
                 [](int n) { return n <= kMaxSurfacePoints; },
                 "A surface file holds at most 1000000 points.");
  dialog.prompt(" Enter label ");
  s.answers.surface_label = dialog.read_text("the surface label", 40);
  const std::string& label = s.answers.surface_label;

  file.line(fields::A(label, 40));
  file.line(fields::I(points, 4) + fields::I(1, 4) + fields::I(0, 4));
  const float step = radius_step(p, points);
  for (int i = 1; i <= points; ++i) {
    const float r = point_radius(p, step, i);
    file.line(fields::E(r, 13, 6) + fields::E(p.height(r), 14, 6));
  }
  file.close();
}

void write_object_file(const Design& d, Session& s, Reflector which) {
  const Profile p = reflector_profile(d, which);
  Dialog& dialog = s.dialog;
  OutFile file = create_answered_file(s, "the name of the object file");

  int& choice = s.answers.length_unit_choice;
  read_int_until(dialog, " Enter length units: 1 in., 2 ft., 3 mm, 4 m ", "the length unit", choice,
                 [](int c) { return c >= 1 && c <= 4; }, "The length unit must be 1, 2, 3 or 4.");
  const std::string unit(kUnitWords[static_cast<std::size_t>(choice - 1)]);

  // The focal point, to which the reflector's Z offset refers.
  file.line("z_focal_point   real_variable");
  file.line("(");
  file.line("  value    : 0.0");
  file.line(")");
  file.line("");

  int& points = s.answers.spline_points;
  dialog.prompt(" Enter number of points in spline ");
  dialog.read("the number of points in the spline", points);
  const float step = radius_step(p, points);
  // Points past the last number that fits are left out; the radii of those
  // written do not depend on how many more were asked for.
  const int written = std::min(points, kMaxObjectNodes);

  const ObjectNames names = object_names(which);
  const std::string prefix(names.variable_prefix);
  for (int i = 1; i <= written; ++i) {
    const float z = p.height(point_radius(p, step, i));
    file.line(prefix + std::to_string(i) + "   real_variable");
    file.line("(");
    file.line("   value    : " + fields::E(z, 13, 6));
    file.line(")");
    file.line("");
  }

  file.line(std::string(names.object_name) + "  spline_circ_sym_reflector");
  file.line("(");
  file.line("  z_offset" + fields::X(9) + ": \"ref(z_focal_point)\"" + unit + ",");
  file.line("  length_unit" + fields::X(6) + ":" + unit + ",");
  file.line("  nodes" + fields::X(12) + ": table");
  file.line("    (");
  for (int i = 1; i <= written; ++i) {
    const float r = point_radius(p, step, i);
    file.line("    " + fields::E(r, 13, 6) + "   \"ref(" + prefix + std::to_string(i) + ")\"");
  }
  file.line("    )");
  file.line(")");
  file.line("");
  file.close();
}

}  // namespace ravost
