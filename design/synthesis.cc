#include "design/synthesis.h"

#include <algorithm>
#include <cmath>

#include "design/feed.h"
#include "numerics/runge.h"

namespace design {

template <RealType Real>
StartValues<Real> start_values(const Design<Real>& in) {
  StartValues<Real> st;
  st.theta = in.feed_half_angle_rad;
  st.distance = in.sub_radius / std::sin(st.theta);
  const Real xs = st.distance * std::sin(st.theta);
  const Real zs = st.distance * std::cos(st.theta);
  const Real zm = -in.main_hole_to_feed - in.feed_model.phase_centre_z;
  st.phi = std::atan((in.main_inner_radius - xs) / (zs - zm));
  return st;
}

template <RealType Real>
RayState<Real> start_state(const Design<Real>& in) {
  RayState<Real> y{};
  y[ray::radius] = in.main_inner_radius;
  y[ray::feed_angle] = in.feed_half_angle_rad;
  y[ray::sub_distance] = in.sub_radius / std::sin(in.feed_half_angle_rad);
  y[ray::main_z] = -in.main_hole_to_feed - in.feed_model.phase_centre_z;
  y[ray::hole_to_feed] = in.main_hole_to_feed;
  y[ray::feed_to_sub] = in.feed_to_sub_rim;
  y[ray::power_ratio] = in.power_ratio;
  y[ray::feed_exponent] = in.feed.exponent;
  return y;
}

template <RealType Real>
void SurfaceDerivatives<Real>::expect_steps(Real r0, Real h, int steps) {
  // Only the Taylor kind gains from evaluating densities together.
  if (!memoise_ || aperture_.kind != Distribution::taylor) return;
  ahead_count_ = 0;
  ahead_next_ = 0;
  ahead_from_ = r0;
  ahead_h_ = h;
  ahead_steps_ = steps > 0 ? steps : 0;
}

template <RealType Real>
void SurfaceDerivatives<Real>::evaluate_ahead() {
  const long steps = std::min(ahead_steps_, static_cast<long>(kStepsAhead));
  const Real h = ahead_h_;
  Real y = ahead_from_;
  std::size_t n = 0;
  for (long step = 0; step < steps; ++step) {
    // the radii of RUNGE's second and fourth stages, in its operations
    ahead_r_[n++] = h / Real(2) + y;
    ahead_r_[n++] = y + h;
    y = y + h;
  }
  ahead_from_ = y;
  ahead_steps_ -= steps;
  ahead_count_ = n;
  ahead_next_ = 0;
  aperture_.density_many(std::span(ahead_r_).first(n), std::span(ahead_density_).first(n));
  density_evaluations_ += static_cast<long>(n);
}

template <RealType Real>
Real SurfaceDerivatives<Real>::density(Real r) {
  if (memoise_) {
    if (have_density_ && bits_of(r) == bits_of(density_r_)) return density_;
    if (ahead_next_ == ahead_count_ && ahead_steps_ > 0) evaluate_ahead();
    if (ahead_next_ < ahead_count_ && bits_of(r) == bits_of(ahead_r_[ahead_next_])) {
      density_ = ahead_density_[ahead_next_++];
      density_r_ = r;
      have_density_ = true;
      return density_;
    }
  }
  density_ = aperture_.density(r);
  density_r_ = r;
  have_density_ = true;
  ++density_evaluations_;
  return density_;
}

template <RealType Real>
Real SurfaceDerivatives<Real>::operator()(std::span<const Real> v, int component) {
  if (component == 2) return d_distance_;
  if (component == 3) return d_main_z_;

  const Real r = v[ray::radius];
  const Real theta = v[ray::feed_angle];
  const Real distance = v[ray::sub_distance];
  const Real main_z = v[ray::main_z];
  const Real k = v[ray::power_ratio];
  const Real n = v[ray::feed_exponent];

  // c = cos(theta/2) ** (2 n), the feed power pattern (or the design's
  // other feed model)
  const Real c = feed_ ? feed_->pattern(theta) : BeamwidthFeed<Real>::pattern_of(theta, n);
  // a, the aperture power density at r
  const Real a = density(r);
  // dtheta/dr = -(a r K) / (sin(theta) c): power conservation
  const Real sin_theta = std::sin(theta);
  const Real d_theta = -(a * r * k) / (sin_theta * c);
  // the subreflector point
  const Real xs = distance * sin_theta;
  const Real zs = distance * std::cos(theta);
  // phi = atan((r - xs) / (zs - zm)), the direction from sub to main reflector
  const Real phi = std::atan((r - xs) / (zs - main_z));
  // dR/dr = tan((phi + theta)/2) (dtheta/dr R): reflection on the subreflector
  d_distance_ = std::tan((phi + theta) / Real(2)) * (d_theta * distance);
  // dz_m/dr = tan(phi/2): reflection into +Z on the main reflector
  d_main_z_ = std::tan(phi / Real(2));
  return d_theta;
}

namespace {

// Counts at or above this do not fit an int.
template <RealType Real>
constexpr Real kIntLimit = Real(2147483648.0);

// path length: sqrt((xs - r)^2 + (zs - zm)^2) + sqrt(xs^2 + zs^2) - zm
template <RealType Real>
Real path_length(Real xs, Real zs, Real zm, Real r) {
  Real path = std::sqrt((xs - r) * (xs - r) + (zs - zm) * (zs - zm));
  path = path + std::sqrt(xs * xs + zs * zs);
  path = path - zm;
  return path;
}

// A ray with its path length, from the feed angle and both points.
template <RealType Real>
Ray<Real> make_ray(Real angle_deg, Real sub_z, Real sub_r, Real main_z, Real main_r) {
  return {angle_deg, sub_z, sub_r, main_z, main_r, path_length(sub_r, sub_z, main_z, main_r)};
}

// A ray that can be printed and kept: every value of it finite.
template <RealType Real>
bool finite_ray(const Ray<Real>& t) {
  return std::isfinite(t.feed_angle_deg) && std::isfinite(t.sub_z) && std::isfinite(t.sub_r) &&
         std::isfinite(t.main_z) && std::isfinite(t.main_r) && std::isfinite(t.path_length);
}

}  // namespace

template <RealType Real>
StepCounts step_counts(const Design<Real>& in) {
  StepCounts c;
  const Real out = in.output_interval();
  const Real calc = in.calc_interval();
  if (calc == Real(0)) {
    c.problem = "the calculation interval is 0; the integration cannot step.";
    return c;
  }
  if (out == Real(0)) {
    c.problem = "the output interval is 0; the ray table would have no end.";
    return c;
  }
  // steps_per_output = trunc(output_interval / calc_interval + 0.1)
  const Real per_output = out / calc + Constants<Real>::tenth;
  if (!(per_output < kIntLimit<Real>)) {
    c.problem = "the calculation interval is too small for the output interval.";
    return c;
  }
  // output_steps = trunc((1 - main_inner_radius) / output_interval + 0.1)
  const Real outputs = (Real(1) - in.main_inner_radius) / out + Constants<Real>::tenth;
  if (std::isnan(outputs)) {
    c.problem = "the main reflector inner radius gives no number of rays.";
    return c;
  }
  if (outputs >= static_cast<Real>(kMaxRays)) {
    c.problem = "the output interval is too small: the ray table holds at most " +
                std::to_string(kMaxRays) + " rays.";
    return c;
  }
  c.steps_per_output = static_cast<int>(per_output);
  // Below one step the table is the first ray alone.
  c.output_steps = outputs < Real(0) ? 0 : static_cast<int>(outputs);
  return c;
}

int step_point_stride(int steps_per_output, int output_steps) {
  if (steps_per_output <= 1) return 1;
  const long total = static_cast<long>(steps_per_output) * output_steps;
  const long least = (total + kMaxStepPoints - 1) / kMaxStepPoints;
  if (least <= 1) return 1;
  // the smallest divisor of steps_per_output at or above `least`
  int best = steps_per_output;
  for (int d = 1; static_cast<long>(d) * d <= steps_per_output; ++d) {
    if (steps_per_output % d != 0) continue;
    if (d >= least && d < best) best = d;
    const int pair = steps_per_output / d;
    if (pair >= least && pair < best) best = pair;
  }
  return best;
}

template <RealType Real>
RayTable<Real> synthesize(const Design<Real>& in, SurfaceDerivatives<Real>& derivatives,
                          const SynthesisOptions& options) {
  RayTable<Real> table;
  table.counts = step_counts(in);
  if (!table.counts.problem.empty()) return table;
  const int output_steps = table.counts.output_steps;
  table.rays.reserve(static_cast<std::size_t>(output_steps) + 1);

  // Work storage: four derivative arrays and a full copy of the vector, so
  // that the power ratio and feed exponent are there at every stage.
  constexpr int kEquations = 3;
  std::array<Real, kEquations> k1{}, k2{}, k3{}, k4{};
  RayState<Real> y = start_state(in);
  RayState<Real> work = y;
  const Real h = in.calc_interval();
  const Real deg = Constants<Real>::deg;

  // The integration runs about the feed's phase centre; the rays are kept
  // about the geometry's feed point.
  const Real centre = in.feed_model.phase_centre_z;
  const auto placed = [centre](Ray<Real> r) {
    if (centre != Real(0)) {
      r.sub_z = r.sub_z + centre;
      r.main_z = r.main_z + centre;
    }
    return r;
  };

  // Ray 1, the subreflector-rim ray, from the starting values.
  const Ray<Real> first = placed(
      make_ray(in.feed_half_angle_rad / deg, std::cos(y[ray::feed_angle]) * y[ray::sub_distance],
               in.sub_radius, y[ray::main_z], in.main_inner_radius));
  if (!finite_ray(first)) {
    table.broken_ray = 1;
    table.broken_radius = in.main_inner_radius;
    return table;
  }
  table.rays.push_back(first);
  const auto keep_point = [&table, &y] {
    table.step_points.push_back({y[ray::radius], y[ray::feed_angle], y[ray::sub_distance], y[ray::main_z]});
  };
  // RUNGE advances step by step alone, so stopping every `stride` steps to
  // keep the state changes no bit of the rows.
  const int stride = step_point_stride(table.counts.steps_per_output, output_steps);
  const int strides_per_output = table.counts.steps_per_output / stride;
  table.step_stride = stride;
  table.step_points.reserve(static_cast<std::size_t>(output_steps) * strides_per_output + 1);
  keep_point();

  // RUNGE is also called in runs of at most kStepsBetweenAsks steps, with
  // the caller asked between them; that too changes no bit.
  int since_asked = 0;
  const auto advance = [&](int steps) {
    while (steps > 0) {
      const int run = std::min(steps, kStepsBetweenAsks - since_asked);
      numerics::RUNGE(std::span<Real>(y), kEquations, h, run, derivatives, std::span<Real>(k1),
                      std::span<Real>(k2), std::span<Real>(k3), std::span<Real>(k4),
                      std::span<Real>(work));
      steps -= run;
      since_asked += run;
      if (since_asked == kStepsBetweenAsks) {
        since_asked = 0;
        if (options.keep_going && !options.keep_going()) return false;
      }
    }
    return true;
  };

  for (int i = 1; i <= output_steps; ++i) {
    derivatives.expect_steps(y[ray::radius], h, table.counts.steps_per_output);
    for (int s = 0; s < strides_per_output; ++s) {
      if (!advance(stride)) {
        table.stopped = true;
        return table;
      }
      keep_point();
    }
    const Ray<Real> next = placed(make_ray(
        y[ray::feed_angle] / deg, std::cos(y[ray::feed_angle]) * y[ray::sub_distance],
        std::sin(y[ray::feed_angle]) * y[ray::sub_distance], y[ray::main_z], y[ray::radius]));
    if (!finite_ray(next)) {
      table.broken_ray = i + 1;
      table.broken_radius = y[ray::radius];
      return table;
    }
    table.rays.push_back(next);
    table.steps += table.counts.steps_per_output;
    if (options.on_row && !options.on_row(i, output_steps)) {
      table.stopped = i < output_steps;
      if (table.stopped) return table;
    }
  }
  return table;
}

template <RealType Real>
RayTable<Real> synthesize(const Design<Real>& in, const SynthesisOptions& options) {
  SurfaceDerivatives<Real> derivatives(in);
  return synthesize(in, derivatives, options);
}

#define RAVOST_INSTANTIATE(Real)                                                            \
  template StartValues<Real> start_values<Real>(const Design<Real>&);                 \
  template RayState<Real> start_state<Real>(const Design<Real>&);                     \
  template class SurfaceDerivatives<Real>;                                                  \
  template StepCounts step_counts<Real>(const Design<Real>&);                         \
  template RayTable<Real> synthesize<Real>(const Design<Real>&, SurfaceDerivatives<Real>&,   \
                                           const SynthesisOptions&);                        \
  template RayTable<Real> synthesize<Real>(const Design<Real>&, const SynthesisOptions&);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

}  // namespace design
