// The surface synthesis: integrates feed angle, subreflector distance and
// main-reflector Z over the main-aperture radius, one output row per ray,
// and keeps the rays in the RayTable.
#include "ravost/synthesis.h"

#include <array>
#include <bit>
#include <cmath>
#include <string>

#include "fields/fields.h"
#include "numerics/runge.h"
#include "ravost/aperture.h"
#include "ravost/files.h"

namespace ravost {

float DUREF::density(float r, std::span<const float> v) {
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(r);
  if (memoise_ && have_density_ && bits == density_r_bits_) return density_;
  density_ = APPL(apert_, v);
  density_r_bits_ = bits;
  have_density_ = true;
  ++appl_calls_;
  return density_;
}

float DUREF::operator()(std::span<const float> v, int component) {
  if (component == 2) return d_distance_;
  if (component == 3) return d_main_z_;

  const float r = v[ray::radius];
  const float theta = v[ray::feed_angle];
  const float distance = v[ray::sub_distance];
  const float main_z = v[ray::main_z];
  const float k = v[ray::power_ratio];
  const float n = v[ray::feed_exponent];

  // c = cos(theta/2) ** (2 n), the feed power pattern
  const float c = std::pow(std::cos(theta / 2.0f), 2.0f * n);
  // a = APPL(r), the aperture power density
  const float a = density(r, v);
  // dtheta/dr = -(a r K) / (sin(theta) c): power conservation
  const float sin_theta = std::sin(theta);
  const float d_theta = -(a * r * k) / (sin_theta * c);
  // the subreflector point
  const float xs = distance * sin_theta;
  const float zs = distance * std::cos(theta);
  // phi = atan((r - xs) / (zs - zm)), the direction from sub to main reflector
  const float phi = std::atan((r - xs) / (zs - main_z));
  // dR/dr = tan((phi + theta)/2) (dtheta/dr R): reflection on the subreflector
  d_distance_ = std::tan((phi + theta) / 2.0f) * (d_theta * distance);
  // dz_m/dr = tan(phi/2): reflection into +Z on the main reflector
  d_main_z_ = std::tan(phi / 2.0f);
  return d_theta;
}

namespace {

// Counts at or above this do not fit an int.
constexpr float kIntLimit = 2147483648.0f;

// path length: sqrt((xs - r)^2 + (zs - zm)^2) + sqrt(xs^2 + zs^2) - zm
float path_length(const RayTable& t, std::size_t i) {
  const float xs = t.sub_r[i];
  const float zs = t.sub_z[i];
  const float zm = t.main_z[i];
  const float r = t.main_r[i];
  float path = std::sqrt((xs - r) * (xs - r) + (zs - zm) * (zs - zm));
  path = path + std::sqrt(xs * xs + zs * zs);
  path = path - zm;
  return path;
}

// One row of the ray table: F7.2, four times 2X F8.5, 1PE12.5.
void format_row(std::string& row, float angle_deg, const RayTable& t, std::size_t i) {
  row.clear();
  row += fields::F(angle_deg, 7, 2);
  for (float value : {t.sub_z[i], t.sub_r[i], t.main_z[i], t.main_r[i]}) {
    row += fields::X(2);
    row += fields::F(value, 8, 5);
  }
  row += fields::E(path_length(t, i), 12, 5);
}

// A ray that can be printed and kept: every value of it finite.
bool finite_ray(float angle_deg, const RayTable& t, std::size_t i) {
  return std::isfinite(angle_deg) && std::isfinite(t.sub_z[i]) && std::isfinite(t.sub_r[i]) &&
         std::isfinite(t.main_z[i]) && std::isfinite(t.main_r[i]) &&
         std::isfinite(path_length(t, i));
}

// The integration has left the range of real surfaces (typically a
// calculation interval too coarse for a steep distribution near the axis):
// the run ends rather than print a table of NaN.
[[noreturn]] void breaks_down(int ray, float radius) {
  std::string at = fields::F(radius, 12, 5);
  at.erase(0, at.find_first_not_of(' '));
  throw RunError("Error: the integration breaks down at ray " + std::to_string(ray) +
                 " (main reflector radius " + at +
                 "): the surfaces are no longer finite.\n"
                 "Try a smaller calculation interval or a milder aperture distribution.");
}

// The header block of the ray table, four lines.
void header_lines(auto&& write) {
  write("");
  write(fields::X(1) + " Feed" + fields::X(5) + " Subreflector" + fields::X(5) +
        " Main Reflector");
  write(fields::X(1) + " Angle" + fields::X(5) + " Z" + fields::X(6) + " Radius" +
        fields::X(5) + " Z" + fields::X(6) + " Radius" + " Path length");
  write("");
}

}  // namespace

void set_synthesis_counts(Design& d) {
  d.output_interval = std::fabs(d.output_interval);
  d.calc_interval = std::fabs(d.calc_interval);
  if (d.calc_interval == 0.0f) {
    throw RunError("Error: the calculation interval is 0; the integration cannot step.");
  }
  if (d.output_interval == 0.0f) {
    throw RunError("Error: the output interval is 0; the ray table would have no end.");
  }

  // steps_per_output = trunc(output_interval / calc_interval + 0.1)
  const float per_output = d.output_interval / d.calc_interval + 0.1f;
  if (!(per_output < kIntLimit)) {
    throw RunError("Error: the calculation interval is too small for the output interval.");
  }
  // output_steps = trunc((1 - main_inner_radius) / output_interval + 0.1)
  const float outputs = (1.0f - d.main_inner_radius) / d.output_interval + 0.1f;
  if (std::isnan(outputs)) {
    throw RunError("Error: the main reflector inner radius gives no number of rays.");
  }
  if (outputs >= static_cast<float>(kMaxRays)) {
    throw RunError("Error: the output interval is too small: the ray table holds at most " +
                   std::to_string(kMaxRays) + " rays.");
  }
  d.steps_per_output = static_cast<int>(per_output);
  // Below one step the table is the first ray alone, so ray_count() is 1.
  d.output_steps = outputs < 0.0f ? 0 : static_cast<int>(outputs);
}

void synthesize(Design& d, Session& s, DUREF& duref) {
  set_synthesis_counts(d);

  // Work storage: four derivative arrays and a full copy of the vector, so
  // that the power ratio and feed exponent are there at every stage.
  constexpr int kEquations = 3;
  std::array<float, kEquations> k1{}, k2{}, k3{}, k4{};
  RayState work = d.ray_state;
  const float h = d.calc_interval;

  header_lines([&](const std::string& text) { s.dialog.line(text); });
  header_lines([&](const std::string& text) { s.listing.line(text); });

  RayTable& t = d.rays;
  const RayState& y = d.ray_state;
  std::string row;
  row.reserve(64);

  // Ray 1, the subreflector-rim ray, from the starting values.
  t.sub_r[0] = d.sub_radius;
  t.main_r[0] = d.main_inner_radius;
  t.sub_z[0] = std::cos(y[ray::feed_angle]) * y[ray::sub_distance];
  t.main_z[0] = y[ray::main_z];
  if (!finite_ray(d.feed_half_angle / d.deg, t, 0)) breaks_down(1, t.main_r[0]);
  format_row(row, d.feed_half_angle / d.deg, t, 0);
  s.dialog.line(row);
  s.listing.line(row);

  for (int i = 1; i <= d.output_steps; ++i) {
    numerics::RUNGE(d.ray_state, kEquations, h, d.steps_per_output, duref, k1, k2, k3, k4, work);
    const auto e = static_cast<std::size_t>(i);
    t.main_r[e] = y[ray::radius];
    t.sub_r[e] = std::sin(y[ray::feed_angle]) * y[ray::sub_distance];
    t.sub_z[e] = std::cos(y[ray::feed_angle]) * y[ray::sub_distance];
    t.main_z[e] = y[ray::main_z];
    if (!finite_ray(y[ray::feed_angle] / d.deg, t, e)) breaks_down(i + 1, y[ray::radius]);
    format_row(row, y[ray::feed_angle] / d.deg, t, e);
    s.listing.line(row);
    s.dialog.line(row);
  }
}

void synthesize(Design& d, Session& s) {
  DUREF duref(d.apert);
  synthesize(d, s, duref);
}

}  // namespace ravost
