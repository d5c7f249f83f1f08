#include "design/check.h"

#include "design/families.h"
#include "design/feed.h"

#include <cmath>

namespace design {

template <RealType Real>
RayTableCheck check_ray_table(const RayTable<Real>& table) {
  RayTableCheck c;
  const auto& rays = table.rays;
  if (rays.empty()) return c;
  const double first = static_cast<double>(rays.front().path_length);
  for (std::size_t i = 0; i < rays.size(); ++i) {
    const Ray<Real>& ray = rays[i];
    const double stray = std::fabs(static_cast<double>(ray.path_length) - first) / std::fabs(first);
    if (stray > c.largest_stray) {
      c.largest_stray = stray;
      c.largest_stray_ray = static_cast<int>(i) + 1;
    }
    if (c.fault != RayTableCheck::Fault::none) continue;
    RayTableCheck::Fault fault = RayTableCheck::Fault::none;
    if (stray > kPathStrayLimit) {
      fault = RayTableCheck::Fault::path_strays;
    } else if (i > 0 && i + 1 < rays.size() && !(ray.feed_angle_deg > Real(0))) {
      // Only the axial ray may leave the feed along the axis: the last, or
      // the first in a family whose axial ray lands at the hole rim.
      fault = RayTableCheck::Fault::feed_angle_zero;
    }
    if (fault == RayTableCheck::Fault::none) continue;
    c.fault = fault;
    c.bad_ray = static_cast<int>(i) + 1;
    c.bad_radius = static_cast<double>(ray.main_r);
    c.stray_at_bad = stray;
    // The main reflector lies behind the subreflector; where its height
    // climbs to the subreflector's, the rays between them run out of room.
    const double gap = static_cast<double>(ray.sub_z) - static_cast<double>(ray.main_z);
    c.main_meets_sub = gap < 1.0e-2 * std::fabs(first);
  }
  return c;
}

template <RealType Real>
Synthesis<Real> synthesise_and_check(const Design<Real>& d, const SynthesisOptions& options) {
  Synthesis<Real> s{family_of(d.choices).synthesize(d, options), {}};
  const RayTable<Real>& t = s.table;
  s.summary.steps = t.steps;
  s.summary.steps_per_output = t.counts.steps_per_output;
  s.summary.rows = static_cast<int>(t.rays.size());
  s.summary.broken_ray = t.broken_ray;
  s.summary.broken_radius = static_cast<double>(t.broken_radius);
  s.summary.stopped = t.stopped;
  s.summary.check = check_ray_table(t);
  s.summary.rim_level_db =
      10.0 * std::log10(static_cast<double>(d.feed_model.pattern(d.feed_half_angle_rad)));
  if (t.broken_ray && !t.rays.empty()) {
    const Ray<Real>& last = t.rays.back();
    const double gap = static_cast<double>(last.sub_z) - static_cast<double>(last.main_z);
    s.summary.main_meets_sub_at_break =
        gap < 1.0e-2 * std::fabs(static_cast<double>(t.rays.front().path_length));
  }
  return s;
}

template RayTableCheck check_ray_table<float>(const RayTable<float>&);
template RayTableCheck check_ray_table<double>(const RayTable<double>&);
template Synthesis<float> synthesise_and_check<float>(const Design<float>&,
                                                      const SynthesisOptions&);
template Synthesis<double> synthesise_and_check<double>(const Design<double>&,
                                                        const SynthesisOptions&);

}  // namespace design
