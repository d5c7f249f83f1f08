// The design scaled to a real main-reflector diameter: both profiles sorted
// by radius and scaled in place, printed side by side, the optional
// extrapolation of the subreflector by one point, and one natural cubic
// spline per reflector for the listings and files that follow.
#include <algorithm>
#include <cmath>
#include <span>
#include <string>

#include "fields/fields.h"
#include "numerics/interp.h"
#include "ravost/stages.h"

namespace ravost {
namespace {

// Largest scaled coordinate accepted.  Spline evaluation squares and cubes
// differences of radii; below this bound those stay far from the 32-bit
// overflow at 3.4e38, so no listing or file can show an infinity or a NaN.
constexpr float kLargestCoordinate = 1.0e15f;

// End slope that asks SPLINE for the natural condition at that end.
constexpr float kNaturalEnd = 1.0e30f;

// The POLINT window: the cubic through the outermost points.
constexpr int kExtrapolationPoints = 4;

bool usable(float v) { return std::isfinite(v) && std::fabs(v) <= kLargestCoordinate; }

// True when the radii of the first n points are strictly increasing wherever
// those of `before` were: scaling must not merge two points into one abscissa,
// which would leave the spline dividing by zero.
bool keeps_points_apart(std::span<const float> before, std::span<const float> after, int n) {
  for (int i = 1; i < n; ++i) {
    if (before[i] > before[i - 1] && !(after[i] > after[i - 1])) return false;
  }
  return true;
}

// Sorts both profiles of `t` by radius and scales their first n points.
void sort_and_scale(RayTable& t, int n, float design_scale, float main_inner_radius) {
  numerics::SORT2(n, t.sub_r, t.sub_z);
  numerics::SORT2(n, t.main_r, t.main_z);
  for (int i = 0; i < n; ++i) {
    t.sub_r[i] = t.sub_r[i] * design_scale;
    t.main_r[i] = t.main_r[i] * design_scale;
    t.sub_z[i] = t.sub_z[i] * design_scale;
    t.main_z[i] = t.main_z[i] * design_scale;
  }
  // The subreflector's innermost point lies on the axis; the main
  // reflector's starts at the rim of its hole.
  t.sub_r[0] = 0.0f;
  t.main_r[0] = main_inner_radius * design_scale;
}

// Why the scaled table `scaled` cannot be used, or empty when it can.
std::string scaled_table_problem(const RayTable& normalised, const RayTable& scaled, int n) {
  for (int i = 0; i < n; ++i) {
    if (!usable(scaled.sub_r[i]) || !usable(scaled.sub_z[i]) || !usable(scaled.main_r[i]) ||
        !usable(scaled.main_z[i])) {
      return "The main reflector diameter is too large for this design.";
    }
  }
  RayTable sorted = normalised;
  numerics::SORT2(n, sorted.sub_r, sorted.sub_z);
  numerics::SORT2(n, sorted.main_r, sorted.main_z);
  if (!keeps_points_apart(sorted.sub_r, scaled.sub_r, n) ||
      !keeps_points_apart(sorted.main_r, scaled.main_r, n)) {
    return "The main reflector diameter is too small for this design.";
  }
  return {};
}

// Asks for the main-reflector diameter until it gives a usable scaled table,
// and leaves that table in d.rays.
void ask_diameter_and_scale(Design& d, Session& s, int n) {
  for (;;) {
    s.dialog.prompt(" Enter main reflector diameter ");
    s.dialog.read("the main reflector diameter", d.main_diameter);
    if (!(d.main_diameter > 0.0f)) {
      s.dialog.reject("The main reflector diameter must be greater than 0.");
      continue;
    }
    d.design_scale = d.main_diameter / 2.0f;
    RayTable scaled = d.rays;
    sort_and_scale(scaled, n, d.design_scale, d.main_inner_radius);
    if (std::string problem = scaled_table_problem(d.rays, scaled, n); !problem.empty()) {
      s.dialog.reject(problem);
      continue;
    }
    d.rays = scaled;
    return;
  }
}

// A number field without its leading blanks, for a message.
std::string trimmed(const std::string& field) {
  return field.substr(std::min(field.find_first_not_of(' '), field.size()));
}

// Writes one line to the console and then to the listing file.
void both(Session& s, const std::string& text) {
  s.dialog.line(text);
  s.listing.line(text);
}

void print_scaled_table(const Design& d, Session& s, int n) {
  both(s, "");
  both(s, " Design scaled to Diameter = " + fields::F(d.main_diameter, 8, 3));
  both(s, "");
  both(s, " Subreflector dimensions  Main Reflector dimensions");
  both(s, "    Radius      Z-axis         Radius     Z-axis");
  both(s, "");
  const RayTable& t = d.rays;
  for (int i = 0; i < n; ++i) {
    std::string row = fields::F(t.sub_r[i], 10, 3) + fields::F(t.sub_z[i], 12, 3) +
                      fields::F(t.main_r[i], 15, 3) + fields::F(t.main_z[i], 11, 3);
    s.listing.line(row);
    s.dialog.line(row);
  }
}

// The subreflector's height at `rim_radius` on the polynomial through its
// outermost points: four of them, or all there are in a shorter table.
float extrapolated_height(const RayTable& t, int n, float rim_radius) {
  const int first = std::max(0, n - kExtrapolationPoints);
  const int count = n - first;
  float z = 0.0f;
  float dz = 0.0f;
  numerics::POLINT(std::span<const float>(t.sub_r).subspan(first, count),
                   std::span<const float>(t.sub_z).subspan(first, count), count, rim_radius, z,
                   dz);
  return z;
}

// False when `rim_radius` lies so far out that, seen from it, two distinct
// radii of the extrapolation window round to the same distance: Neville's
// scheme would then divide by zero.
bool reachable_by_polint(const RayTable& t, int n, float rim_radius) {
  const int first = std::max(0, n - kExtrapolationPoints);
  for (int i = first; i < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      const float ho = t.sub_r[i] - rim_radius;
      const float hp = t.sub_r[j] - rim_radius;
      if (t.sub_r[i] != t.sub_r[j] && ho - hp == 0.0f) return false;
    }
  }
  return true;
}

// Offers to extend the subreflector to a larger diameter by one point.
void offer_extrapolation(Design& d, Session& s, int n) {
  RayTable& t = d.rays;
  d.sub_points = n;
  d.sub_rim_diameter = t.sub_r[n - 1] * 2.0f;
  s.dialog.line(" Subreflector diameter = " + fields::F(d.sub_rim_diameter, 9, 3));
  s.dialog.prompt(" Extrapolate larger diameter? ");
  int code = 0;
  if (s.dialog.NYES(code) != 1) return;

  float new_diameter = d.sub_rim_diameter;
  float rim_radius = 0.0f;
  float rim_z = 0.0f;
  for (;;) {
    s.dialog.prompt(" Enter new outer diameter ");
    s.dialog.read("the new subreflector diameter", new_diameter);
    rim_radius = new_diameter / 2.0f;
    // The new point must lie beyond the last one, or the spline's radii
    // would no longer increase.
    if (!(rim_radius > t.sub_r[n - 1])) {
      s.dialog.reject("The new subreflector diameter must be larger than the present " +
                      trimmed(fields::F(d.sub_rim_diameter, 9, 3)) + ".");
      continue;
    }
    const bool reachable = usable(rim_radius) && reachable_by_polint(t, n, rim_radius);
    if (reachable) rim_z = extrapolated_height(t, n, rim_radius);
    if (!reachable || !usable(rim_z)) {
      s.dialog.reject("The new subreflector diameter is too large to extrapolate to.");
      continue;
    }
    break;
  }
  d.sub_rim_diameter = new_diameter;
  t.sub_r[n] = rim_radius;
  t.sub_z[n] = rim_z;
  d.sub_points = n + 1;
  s.dialog.line(" Subreflector extrapolated to diameter = " + fields::F(d.sub_rim_diameter, 9, 3));
  s.dialog.line(" Subreflector Rim Z-axis = " + fields::F(t.sub_z[d.sub_points - 1], 9, 3));
  s.listing.line(" Subreflector extrapolated to diameter = " +
                 fields::F(d.sub_rim_diameter, 9, 3));
  s.listing.line(" Subreflector Rim Z-axis = " + fields::F(t.sub_z[d.sub_points - 1], 9, 3));
}

}  // namespace

void scale_design(Design& d, Session& s) {
  // The synthesis keeps ray_count within the table; the clamp only makes
  // sure no index below can leave it.
  const int n = std::clamp(d.ray_count(), 1, kMaxRays);

  ask_diameter_and_scale(d, s, n);
  print_scaled_table(d, s, n);
  offer_extrapolation(d, s, n);

  // One natural spline Z(r) per reflector.
  numerics::SPLINE(d.rays.sub_r, d.rays.sub_z, d.sub_points, kNaturalEnd, kNaturalEnd, d.sub_y2);
  numerics::SPLINE(d.rays.main_r, d.rays.main_z, n, kNaturalEnd, kNaturalEnd, d.main_y2);
}

}  // namespace ravost
