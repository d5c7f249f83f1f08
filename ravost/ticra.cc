// Files for reflector-analysis tools: a rotationally symmetric surface file
// (label, count line, points r, z) and an object file describing a
// spline_circ_sym_reflector whose node heights are real_variable objects.
// Both sample the reflector's spline at equally spaced radii from its
// smallest to its largest radius.
#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <string_view>

#include "fields/fields.h"
#include "numerics/interp.h"
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

// One reflector's profile as the scaling left it, with its names in the
// object file.
struct Profile {
  std::span<const float> r;
  std::span<const float> z;
  std::span<const float> y2;
  int n;
  std::string_view variable_prefix;
  std::string_view object_name;

  float first_radius() const { return r[0]; }
  float last_radius() const { return r[static_cast<std::size_t>(n - 1)]; }
  float height(float radius) const {
    float h = 0.0f;
    numerics::SPLINT(r, z, y2, n, radius, h);
    return h;
  }
};

Profile profile(const Design& d, Reflector which) {
  const RayTable& t = d.rays;
  if (which == Reflector::main) {
    return {t.main_r, t.main_z, d.main_y2, std::clamp(d.ray_count(), 1, kMaxRays), "zmain",
            "main_reflector"};
  }
  return {t.sub_r, t.sub_z, d.sub_y2, std::clamp(d.sub_points, 1, kMaxRays + 1), "zsub",
          "sub_reflector"};
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
  const Profile p = profile(d, which);
  Dialog& dialog = s.dialog;
  OutFile file = create_answered_file(s, "the name of the surface file");

  int& points = s.answers.radius_points;
  for (;;) {
    dialog.prompt(" Enter number of radius points ");
    dialog.read("the number of radius points", points);
    if (points <= kMaxSurfacePoints) break;
    dialog.reject("A surface file holds at most 1000000 points.");
  }
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
  const Profile p = profile(d, which);
  Dialog& dialog = s.dialog;
  OutFile file = create_answered_file(s, "the name of the object file");

  int& choice = s.answers.length_unit_choice;
  for (;;) {
    dialog.prompt(" Enter length units: 1 in., 2 ft., 3 mm, 4 m ");
    dialog.read("the length unit", choice);
    if (choice >= 1 && choice <= 4) break;
    dialog.reject("The length unit must be 1, 2, 3 or 4.");
  }
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

  const std::string prefix(p.variable_prefix);
  for (int i = 1; i <= written; ++i) {
    const float z = p.height(point_radius(p, step, i));
    file.line(prefix + std::to_string(i) + "   real_variable");
    file.line("(");
    file.line("   value    : " + fields::E(z, 13, 6));
    file.line(")");
    file.line("");
  }

  file.line(std::string(p.object_name) + "  spline_circ_sym_reflector");
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
