#include "design/classical_families.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <tuple>
#include <utility>
#include <variant>

namespace design {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDeg = kPi / 180.0;
// Rays sampled along the subreflector to check that one arc of the conic
// carries every ray to the main reflector in order.
constexpr int kArcSamples = 720;

struct Traits {
  std::string_view name;
  double sigma;       // +1 ellipse, -1 hyperbola
  double side;        // +1: main reflector points at rho > 0; -1: the rays cross the axis
  double ring_sign;   // sign of rho_f (0: centred)
  bool tip_to_outer;  // the tip's ray lands on the outer rim
  std::string_view long_name;
};

constexpr std::array<Traits, 6> kTraits = {{
    {"cassegrain", -1, +1, 0, false, "Cassegrain"},
    {"gregorian", +1, -1, 0, false, "Gregorian"},
    {"adc", -1, +1, -1, false, "displaced-axis Cassegrain (adc)"},
    {"ade", +1, +1, +1, true, "displaced-axis ellipse (ade)"},
    {"adh", -1, -1, +1, true, "displaced-axis hyperbola (adh)"},
    {"adg", +1, -1, -1, false, "displaced-axis Gregorian (adg)"},
}};

const Traits& traits(ClassicalFamily f) { return kTraits[static_cast<std::size_t>(f)]; }

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

ClassicalProblem problem(std::string parameter, std::string message) {
  return {std::move(parameter), std::move(message)};
}

bool finite_positive(double v) { return std::isfinite(v) && v > 0; }

// The ray of a conic pair given by its focus, conic sum and sign; nullopt
// where it has none (off the arc's branch, or leaving the parabola unmet).
struct PairShape {
  double sigma, L, rho_f, z_f, F, focus_distance;
};

std::optional<ClassicalRay> trace(const PairShape& p, double theta) {
  const double s = std::sin(theta), c = std::cos(theta);
  const double k = p.rho_f * s + p.z_f * c;
  const double den = 2.0 * (p.L - k);
  const double r = (p.L * p.L - p.focus_distance * p.focus_distance) / den;
  if (!std::isfinite(r) || !(r > 0)) return std::nullopt;
  ClassicalRay ray;
  ray.feed_angle = theta;
  ray.sub = {r * s, r * c};
  const double vr = p.rho_f - ray.sub.rho, vz = p.z_f - ray.sub.z;
  const double l = std::hypot(vr, vz);
  // The squared conic equation holds on both branches: keep the one whose
  // distance to the focus has the family's sign.
  if (!(l > 0) || !(p.sigma * (p.L - r) > 0)) return std::nullopt;
  if (std::abs(p.sigma * (p.L - r) - l) > 1e-9 * (l + r)) return std::nullopt;
  const double dr = p.sigma * vr / l, dz = p.sigma * vz / l;
  const double s_main = 2.0 * p.F / (1.0 - dz);
  if (!std::isfinite(s_main) || !(s_main > 0)) return std::nullopt;
  // A hyperbola's reflected ray seems to come from the focus: the main
  // reflector must lie beyond the subreflector along it.
  if (p.sigma < 0 && !(s_main > l)) return std::nullopt;
  ray.main = {p.rho_f + s_main * dr, p.z_f + s_main * dz};
  ray.aperture_radius = std::abs(ray.main.rho);
  ray.path_length = r + std::hypot(ray.main.rho - ray.sub.rho, ray.main.z - ray.sub.z) - ray.main.z;
  if (!std::isfinite(ray.path_length)) return std::nullopt;
  return ray;
}

// Builds the design whose ring (rho_f) and main-reflector landing points of
// the tip ray (A) and rim ray (B) are known, or says why there is none.
std::variant<ClassicalGeometry, ClassicalProblem> build(const ClassicalInputs& in, double rho_f,
                                                        double A, double B) {
  const Traits& tr = traits(in.family);
  const bool displaced = tr.ring_sign != 0;
  const double F = in.focal_length;
  const double h = in.sub_diameter / 2;
  const double te = in.feed_angle_deg * kDeg;
  const MeridianPoint pe{h, h * std::cos(te) / std::sin(te)};
  const double re = h / std::sin(te);
  const std::string fam(tr.long_name);
  const auto general = [&](std::string why) {
    return problem("feed_angle", "no " + fam + " has these parameters (" + why +
                                     "): try a smaller feed angle or another subreflector diameter");
  };

  const double ue = B - rho_f;
  const double psi_e = 2.0 * std::atan(ue / (2.0 * F));
  const double sin_e = std::sin(psi_e);
  if (!(std::abs(sin_e) > 1e-12)) return general("the rim ray would run along the axis");
  const double sl_e = (rho_f - h) / sin_e;  // sigma * |P_e Fm|
  if (!(tr.sigma * sl_e > 0)) return general("the subreflector rim lies on the wrong side of the focus");
  const double z_f = pe.z - sl_e * std::cos(psi_e);
  const double L = re + sl_e;
  const double two_c = std::hypot(rho_f, z_f);
  if (!std::isfinite(L) || !std::isfinite(z_f) || !(std::abs(L) > 1e-12 * (re + std::abs(sl_e))))
    return general("the subreflector degenerates");
  const PairShape shape{tr.sigma, L, rho_f, z_f, F, two_c};

  if (displaced) {
    const double psi0 = 2.0 * std::atan((A - rho_f) / (2.0 * F));
    const double sl_0 = rho_f / std::sin(psi0);
    if (!(tr.sigma * sl_0 > 0)) return general("the subreflector tip lies on the wrong side of the focus");
    const double z0 = z_f + sl_0 * std::cos(psi0);
    if (!(z0 > 0))
      return problem("feed_angle", "the " + fam +
                                       "'s subreflector tip would lie behind the feed: make the feed "
                                       "angle smaller or the subreflector larger");
  }
  // A hyperbolic subreflector turns its convex side to the feed (the branch
  // nearer the main reflector's focus); the other branch would be concave.
  if (tr.sigma < 0 && !(L > 0))
    return problem("feed_angle", "the " + fam + "'s subreflector would turn concave towards the feed: make "
                                               "the feed angle or the focal length smaller");
  // A Gregorian's focus lies in front of the feed, where the reflected rays
  // pass clear of it.
  if (tr.sigma > 0 && tr.ring_sign <= 0 && !(z_f > 0))
    return problem("feed_angle", "the " + fam + "'s focus would lie behind the feed: make the feed angle or "
                                               "the focal length smaller");
  const double e = two_c / std::abs(L);
  if (!std::isfinite(e) || (tr.sigma > 0 ? !(e < 1) : !(e > 1)))
    return general("the subreflector would not be " + std::string(tr.sigma > 0 ? "an ellipse" : "a hyperbola"));

  ClassicalGeometry g;
  g.inputs = in;
  g.sigma = tr.sigma;
  g.conic_sum = L;
  g.eccentricity = e;
  g.interfocal_distance = two_c;
  g.axis_tilt_deg = std::atan2(rho_f, z_f) / kDeg;
  g.focus = {rho_f, z_f};
  // Walk the arc: every ray must exist, land on its side of the axis and
  // move monotonically across the main reflector.
  double prev_x = 0;
  double zmin = 0, zmax = 0, zmin_t = 0, zmax_t = 0;
  for (int i = 0; i <= kArcSamples; ++i) {
    const double theta = te * i / kArcSamples;
    const std::optional<ClassicalRay> ray = trace(shape, theta);
    if (!ray) return general("a ray from the feed misses the reflectors");
    if (i > 0 || displaced) {
      if (!(tr.side * ray->main.rho > 0)) return general("rays land on the wrong side of the axis");
    }
    if (i > 0) {
      const bool inward = ray->aperture_radius < prev_x;
      if (inward != tr.tip_to_outer || ray->aperture_radius == prev_x)
        return general("the rays do not sweep the main reflector in order");
    }
    prev_x = ray->aperture_radius;
    if (i == 0 || ray->sub.z < zmin) zmin = ray->sub.z, zmin_t = theta;
    if (i == 0 || ray->sub.z > zmax) zmax = ray->sub.z, zmax_t = theta;
  }
  // No main-reflector point may stand in a feed ray's way to the
  // subreflector: every one at a radius the ray passes lies behind it.  A
  // centred main reflector's middle, in the subreflector's shadow, is cut
  // away for the feed and not counted.
  {
    const double shadow = displaced ? 0.0 : h;
    std::vector<MeridianPoint> mains, subs;
    for (int i = 0; i <= kArcSamples; ++i) {
      const ClassicalRay ray = *trace(shape, te * i / kArcSamples);
      mains.push_back({ray.aperture_radius, ray.main.z});
      subs.push_back(ray.sub);
    }
    for (const MeridianPoint& p : subs) {
      for (const MeridianPoint& q : mains) {
        if (q.rho >= shadow && q.rho < p.rho && !(q.z * p.rho < q.rho * p.z))
          return problem("sub_diameter", "the " + fam + "'s main reflector would stand in the feed's rays to "
                                                        "the subreflector: make the subreflector smaller");
      }
    }
  }
  // The subreflector's extremes: refine the sampled ones by golden section.
  const auto refine = [&](double t0, double sign) {
    double lo = std::max(0.0, t0 - te / kArcSamples), hi = std::min(te, t0 + te / kArcSamples);
    const double g_ratio = (std::sqrt(5.0) - 1) / 2;
    const auto f = [&](double t) { return sign * trace(shape, t).value_or(ClassicalRay{}).sub.z; };
    for (int k = 0; k < 80; ++k) {
      const double a = hi - g_ratio * (hi - lo), b = lo + g_ratio * (hi - lo);
      if (f(a) > f(b)) hi = b; else lo = a;
    }
    return sign * std::max(f(t0), f((lo + hi) / 2));
  };
  g.sub_z_min = refine(zmin_t, -1.0);
  g.sub_z_max = refine(zmax_t, +1.0);

  const ClassicalRay tip = *trace(shape, 0.0);
  const ClassicalRay rim = *trace(shape, te);
  g.sub_vertex = tip.sub;
  g.sub_rim = rim.sub;
  g.main_vertex = {rho_f, z_f - F};
  const ClassicalRay& inner = tr.tip_to_outer ? rim : tip;
  const ClassicalRay& outer = tr.tip_to_outer ? tip : rim;
  g.main_inner_rim = {inner.aperture_radius, inner.main.z};
  g.main_outer_rim = {outer.aperture_radius, outer.main.z};
  // The parabola is lowest at its vertex, which lies on the reflector only
  // when the reflector spans rho_f.
  g.main_z_max = std::max(inner.main.z, outer.main.z);
  g.main_z_min = std::min(inner.main.z, outer.main.z);
  if ((tip.main.rho - rho_f) * (rim.main.rho - rho_f) <= 0) g.main_z_min = z_f - F;
  g.overall_length = std::max({0.0, g.sub_z_max, g.main_z_max}) - std::min({0.0, g.sub_z_min, g.main_z_min});
  g.path_length = L + 2.0 * F - z_f;
  g.magnification = std::tan(std::abs(psi_e) / 2) / std::tan(te / 2);
  g.inputs.ring_radius = std::abs(rho_f);
  g.inputs.hole_diameter = displaced ? 2.0 * g.main_inner_rim.rho : 0.0;
  return g;
}

// The real roots of a x^2 - b x + c = 0, a > 0.
std::vector<double> quadratic_roots(double a, double b, double c) {
  const double disc = b * b - 4 * a * c;
  if (!(disc >= 0)) return {};
  const double q = (b + std::copysign(std::sqrt(disc), b)) / 2;
  std::vector<double> roots;
  if (q != 0) {
    roots.push_back(q / a);
    roots.push_back(c / q);
  } else {
    roots.push_back(0);
  }
  std::sort(roots.begin(), roots.end());
  return roots;
}

}  // namespace

std::string_view classical_family_name(ClassicalFamily f) { return traits(f).name; }

std::optional<ClassicalFamily> classical_family_from_name(std::string_view name) {
  for (std::size_t i = 0; i < kTraits.size(); ++i)
    if (kTraits[i].name == name) return static_cast<ClassicalFamily>(i);
  return std::nullopt;
}

bool displaced_axis(ClassicalFamily f) { return traits(f).ring_sign != 0; }
bool elliptic_sub(ClassicalFamily f) { return traits(f).sigma > 0; }
bool rays_cross_axis(ClassicalFamily f) { return traits(f).side < 0; }

double ClassicalGeometry::sub_distance(double theta) const {
  const double k = focus.rho * std::sin(theta) + focus.z * std::cos(theta);
  return (conic_sum * conic_sum - interfocal_distance * interfocal_distance) / (2.0 * (conic_sum - k));
}

double ClassicalGeometry::main_z(double rho) const {
  const double u = rho - focus.rho;
  return focus.z - inputs.focal_length + u * u / (4.0 * inputs.focal_length);
}

ClassicalRay ClassicalGeometry::ray(double theta) const {
  const PairShape p{sigma, conic_sum, focus.rho, focus.z, inputs.focal_length, interfocal_distance};
  return trace(p, theta).value_or(ClassicalRay{});
}

ClassicalResult classical_design(const ClassicalInputs& in) {
  ClassicalResult out;
  auto& probs = out.problems;
  const Traits& tr = traits(in.family);
  const std::string fam(tr.long_name);
  const bool displaced = tr.ring_sign != 0;
  if (!finite_positive(in.diameter)) probs.push_back(problem("diameter", "the main reflector's diameter must be above 0"));
  if (!finite_positive(in.focal_length)) probs.push_back(problem("focal_length", "the focal length must be above 0"));
  if (!finite_positive(in.sub_diameter))
    probs.push_back(problem("sub_diameter", "the subreflector's diameter must be above 0"));
  if (!(std::isfinite(in.feed_angle_deg) && in.feed_angle_deg > 0 && in.feed_angle_deg < 90))
    probs.push_back(problem("feed_angle", "the feed angle must be above 0 and below 90 degrees"));
  if (displaced) {
    if (in.hole_diameter.has_value() == in.ring_radius.has_value())
      probs.push_back(problem("hole_diameter", "a " + fam +
                                                   " takes either the main reflector's hole diameter or "
                                                   "the ring focus radius, not both or neither"));
    else if (in.hole_diameter && !finite_positive(*in.hole_diameter))
      probs.push_back(problem("hole_diameter", "the hole diameter must be above 0"));
    else if (in.ring_radius && !finite_positive(*in.ring_radius))
      probs.push_back(problem("ring_radius", "the ring focus radius must be above 0"));
  } else if (in.hole_diameter || in.ring_radius) {
    probs.push_back(problem(in.hole_diameter ? "hole_diameter" : "ring_radius",
                            "a " + fam + " has its focus on the axis: it takes no hole diameter or ring radius"));
  }
  if (!probs.empty()) return out;
  if (!(in.sub_diameter < in.diameter)) {
    probs.push_back(problem("sub_diameter", "the subreflector's diameter must be below the main reflector's (" +
                                                num(in.diameter) + "): make it smaller"));
    return out;
  }
  if (in.hole_diameter && !(*in.hole_diameter < in.diameter)) {
    probs.push_back(problem("hole_diameter", "the hole diameter must be below the main reflector's diameter (" +
                                                 num(in.diameter) + "): make it smaller"));
    return out;
  }

  const double D = in.diameter, F = in.focal_length, h = in.sub_diameter / 2;
  const double te = in.feed_angle_deg * kDeg;
  const double t = std::tan(te / 2);
  const double psi_e_deg = 2.0 * std::atan(D / (4.0 * F)) / kDeg;  // rim seen from an on-axis focus

  auto take = [&](std::variant<ClassicalGeometry, ClassicalProblem> r) {
    if (auto* g = std::get_if<ClassicalGeometry>(&r)) out.geometry = std::move(*g);
    else probs.push_back(std::get<ClassicalProblem>(r));
  };

  if (!displaced) {
    // The feed sits below the focus only while its angle stays under the
    // rim's angle at the focus; a Cassegrain's two edge rays meet in front
    // of the feed only while the two angles add to less than 180 degrees.
    if (!(in.feed_angle_deg < psi_e_deg)) {
      probs.push_back(problem("feed_angle", "the feed angle must be below " + num(psi_e_deg) +
                                                " degrees (the main reflector's rim seen from its focus) for a " +
                                                fam + " with this focal length: make the feed angle or the "
                                                "focal length smaller"));
      return out;
    }
    if (tr.sigma < 0 && !(in.feed_angle_deg < 180.0 - psi_e_deg)) {
      probs.push_back(problem("feed_angle", "the feed angle must be below " + num(180.0 - psi_e_deg) +
                                                " degrees for a Cassegrain this deep: make the feed angle "
                                                "smaller or the focal length larger"));
      return out;
    }
    take(build(in, 0.0, 0.0, tr.side * D / 2));
    return out;
  }

  // Displaced axis: the tip's ray lands at signed radius A, the rim's at B.
  const double s = tr.side;
  if (in.ring_radius) {
    const double rho_f = tr.ring_sign * *in.ring_radius;
    // The condition on the two rays is linear in the unknown rim.
    std::variant<ClassicalGeometry, ClassicalProblem> r = problem("ring_radius", "");
    if (tr.tip_to_outer) {
      const double A = s * D / 2;
      const double denom = 2 * F * rho_f / (A - rho_f) - h * t;
      const double B = rho_f + (rho_f - h) * 2 * F / denom;
      if (!std::isfinite(B) || !(s * B > 0) || !(s * B < D / 2)) {
        probs.push_back(problem("ring_radius", "no " + fam + " with this ring radius leaves a hole inside the "
                                               "main reflector: try another ring radius or feed angle"));
        return out;
      }
      r = build(in, rho_f, A, B);
    } else {
      const double B = s * D / 2;
      const double denom = h * t + 2 * F * (rho_f - h) / (B - rho_f);
      const double A = rho_f + 2 * F * rho_f / denom;
      if (!std::isfinite(A) || !(s * A > 0) || !(s * A < D / 2)) {
        probs.push_back(problem("ring_radius", "no " + fam + " with this ring radius leaves a hole inside the "
                                               "main reflector: try another ring radius or feed angle"));
        return out;
      }
      r = build(in, rho_f, A, B);
    }
    take(std::move(r));
    return out;
  }

  const double Db = *in.hole_diameter;
  const double A = s * (tr.tip_to_outer ? D : Db) / 2;
  const double B = s * (tr.tip_to_outer ? Db : D) / 2;
  if (in.family == ClassicalFamily::ade) {
    if (!(std::abs(h - Db / 2) > 1e-12 * D)) {
      probs.push_back(problem("sub_diameter", "an ade's subreflector diameter must differ from its hole "
                                              "diameter: make the subreflector larger or smaller"));
      return out;
    }
    if (!(t < 4 * F / (D - 2 * h))) {
      probs.push_back(problem("feed_angle", "tan(feed angle / 2) must be below 4F/(D - Ds) = " +
                                                num(4 * F / (D - 2 * h)) + " for an ade: make the feed angle "
                                                "smaller, or the focal length or subreflector larger"));
      return out;
    }
  }
  if (in.family == ClassicalFamily::adc && !(t < 4 * F / D)) {
    probs.push_back(problem("feed_angle", "the feed angle must be below " + num(180.0 - psi_e_deg) +
                                              " degrees (tan(angle/2) below 4F/D) for an adc: make the feed "
                                              "angle smaller or the focal length larger"));
    return out;
  }
  // The ring solves t (x - A)(x - B) = (2F/h)((B - A - h) x + h A).
  const std::vector<double> roots =
      quadratic_roots(t, t * (A + B) + 2 * F * (B - A - h) / h, t * A * B - 2 * F * A);
  std::optional<ClassicalProblem> first_problem;
  for (const double rho_f : roots) {
    // The ring must put the focus between the tip's ray and the rim's ray
    // the way the conic needs it: both distances to the focus positive.
    if (!(tr.ring_sign * rho_f > 0)) continue;
    if (!(tr.sigma * rho_f / (A - rho_f) > 0) || !(tr.sigma * (rho_f - h) / (B - rho_f) > 0)) continue;
    auto r = build(in, rho_f, A, B);
    if (auto* g = std::get_if<ClassicalGeometry>(&r)) {
      // Where two rings fit, the smaller one (nearer the centred design).
      if (!out.geometry || *g->inputs.ring_radius < *out.geometry->inputs.ring_radius) out.geometry = std::move(*g);
    } else if (!first_problem) {
      first_problem = std::get<ClassicalProblem>(r);
    }
  }
  if (out.geometry) return out;
  if (first_problem) {
    probs.push_back(*first_problem);
  } else if (in.family == ClassicalFamily::adh) {
    probs.push_back(problem("feed_angle", "no adh has its ring focus outside the subreflector with these "
                                          "parameters: make the feed angle, the subreflector or the hole "
                                          "smaller, or the focal length larger"));
  } else {
    probs.push_back(problem("feed_angle", "no " + fam + " has these parameters: try a smaller feed angle or "
                                          "another hole diameter"));
  }
  return out;
}

ClassicalInputs scaled(const ClassicalInputs& in, double factor) {
  ClassicalInputs out = in;
  out.diameter *= factor;
  out.focal_length *= factor;
  out.sub_diameter *= factor;
  if (out.hole_diameter) *out.hole_diameter *= factor;
  if (out.ring_radius) *out.ring_radius *= factor;
  return out;
}

GeometrySpec geometry_keys(const ClassicalGeometry& g) {
  const double k = 2.0 / g.inputs.diameter;
  GeometrySpec keys;
  keys.main_hole_to_feed = -g.main_inner_rim.z * k;
  keys.feed_to_sub_rim = g.sub_rim.z * k;
  keys.sub_radius = g.sub_rim.rho * k;
  keys.main_inner_radius = g.main_inner_rim.rho * k;
  return keys;
}

namespace {

// The key a problem of the engineering parameters comes down to when the
// parameters come from the keys, and which way to move it.
ClassicalProblem key_problem(const ClassicalProblem& p, std::string_view fam) {
  const std::string head = "no classical " + std::string(fam) + " has these keys at any focal length (" + p.message + ")";
  if (p.parameter == "sub_diameter") return problem("sub_radius", head + ": make sub_radius smaller");
  if (p.parameter == "hole_diameter" || p.parameter == "ring_radius")
    return problem("main_inner_radius", head + ": try another main_inner_radius");
  // The feed angle, and anything else: a narrower feed angle is a rim
  // further in front of the feed.
  return problem("feed_to_sub_rim", head + ": make feed_to_sub_rim larger (a narrower feed angle)");
}

}  // namespace

ClassicalResult classical_from_keys(ClassicalFamily family, double main_hole_to_feed, double feed_to_sub_rim,
                                    double sub_radius, double main_inner_radius, double phase_centre) {
  ClassicalResult out;
  // Everything below is about the phase centre; the numbers the problems
  // quote are keys again.
  main_hole_to_feed += phase_centre;
  feed_to_sub_rim -= phase_centre;
  auto& probs = out.problems;
  const Traits& tr = traits(family);
  const std::string fam(tr.long_name);
  const bool displaced = tr.ring_sign != 0;
  if (!std::isfinite(main_hole_to_feed)) probs.push_back(problem("main_hole_to_feed", "must be a finite number"));
  if (!finite_positive(feed_to_sub_rim))
    probs.push_back(problem("feed_to_sub_rim", "the subreflector rim must lie in front of the feed: make "
                                               "feed_to_sub_rim above " + num(phase_centre)));
  if (!(std::isfinite(sub_radius) && sub_radius > 0 && sub_radius < 1))
    probs.push_back(problem("sub_radius", "must be above 0 and below 1 (the main reflector's radius)"));
  if (displaced) {
    if (!(std::isfinite(main_inner_radius) && main_inner_radius > 0 && main_inner_radius < 1))
      probs.push_back(problem("main_inner_radius", "a " + fam + "'s main reflector has a hole: make "
                                                   "main_inner_radius above 0 and below 1"));
  } else if (main_inner_radius != 0) {
    probs.push_back(problem("main_inner_radius", "a " + fam + "'s main reflector runs to the axis: make "
                                                 "main_inner_radius 0"));
  }
  if (!probs.empty()) return out;

  ClassicalInputs in;
  in.family = family;
  in.diameter = 2;
  in.sub_diameter = 2 * sub_radius;
  in.feed_angle_deg = std::atan2(sub_radius, feed_to_sub_rim) / kDeg;
  if (displaced) in.hole_diameter = 2 * main_inner_radius;
  // The hole rim's (or vertex's) distance behind the feed, as a function of
  // the focal length, less the asked one; nullopt where there is no design.
  std::optional<ClassicalProblem> first_problem;
  const auto depth = [&](double F) -> std::optional<double> {
    in.focal_length = F;
    const ClassicalResult r = classical_design(in);
    if (!r.geometry) {
      if (!first_problem && !r.problems.empty()) first_problem = r.problems.front();
      return std::nullopt;
    }
    return -r.geometry->main_inner_rim.z - main_hole_to_feed;
  };
  // F from 0.005 to 200 main radii: f/D from 0.0025 to 100.
  constexpr int kGrid = 240;
  const double log_lo = std::log(0.005), log_hi = std::log(200.0);
  // The samples, with the edges of the focal lengths that have a design
  // found by bisection between grid points, so that a root near an edge is
  // bracketed too.
  std::vector<double> fs;
  std::vector<std::optional<double>> ds;
  double lowest = INFINITY, highest = -INFINITY;
  const auto add = [&](double F, std::optional<double> d) {
    fs.push_back(F);
    ds.push_back(d);
    if (d) lowest = std::min(lowest, *d), highest = std::max(highest, *d);
  };
  std::optional<double> previous;
  for (int i = 0; i <= kGrid; ++i) {
    const double log_f = log_lo + (log_hi - log_lo) * i / kGrid;
    const std::optional<double> d = depth(std::exp(log_f));
    if (i > 0 && previous.has_value() != d.has_value()) {
      double valid = log_f - (log_hi - log_lo) / kGrid, invalid = log_f;
      if (d) std::swap(valid, invalid);
      std::optional<double> d_valid = d ? d : previous;
      for (int k = 0; k < 60; ++k) {
        const double mid = (valid + invalid) / 2;
        const std::optional<double> dm = depth(std::exp(mid));
        if (dm) valid = mid, d_valid = dm;
        else invalid = mid;
      }
      // The edge lies between the two grid points: in order before this one.
      add(std::exp(valid), d_valid);
    }
    add(std::exp(log_f), d);
    previous = d;
  }
  const int last = static_cast<int>(fs.size()) - 1;
  std::optional<double> best;
  for (int i = last - 1; i >= 0 && !best; --i) {
    if (!ds[i] || !ds[i + 1]) continue;
    if (*ds[i + 1] == 0) {
      best = fs[i + 1];
      break;
    }
    if ((*ds[i] < 0) == (*ds[i + 1] < 0) && *ds[i] != 0) continue;
    // Bisection in log F; a midpoint without a design drops the bracket.
    double lo = std::log(fs[i]), hi = std::log(fs[i + 1]);
    double d_lo = *ds[i];
    bool sound = true;
    for (int k = 0; k < 200 && hi - lo > 1e-15; ++k) {
      const double mid = (lo + hi) / 2;
      if (mid <= lo || mid >= hi) break;
      const std::optional<double> d = depth(std::exp(mid));
      if (!d) {
        sound = false;
        break;
      }
      if (*d == 0) {
        lo = hi = mid;
        break;
      }
      if ((*d < 0) == (d_lo < 0)) lo = mid, d_lo = *d;
      else hi = mid;
    }
    if (sound) best = std::exp((lo + hi) / 2);
  }
  if (best) {
    in.focal_length = *best;
    ClassicalResult r = classical_design(in);
    if (r.geometry) return r;
  }
  if (!(lowest <= highest)) {
    probs.push_back(key_problem(first_problem.value_or(problem("feed_angle", "no focal length fits")), fam));
    return out;
  }
  const double at_most = highest + main_hole_to_feed - phase_centre;
  const double at_least = lowest + main_hole_to_feed - phase_centre;
  if (lowest > 0)
    probs.push_back(problem("main_hole_to_feed", "a classical " + fam + " with this subreflector rim has "
                                                 "main_hole_to_feed at least " + num(at_least) +
                                                 ": make it larger"));
  else if (highest < 0)
    probs.push_back(problem("main_hole_to_feed", "a classical " + fam + " with this subreflector rim has "
                                                 "main_hole_to_feed at most " + num(at_most) +
                                                 ": make it smaller"));
  else
    probs.push_back(problem("main_hole_to_feed", "no classical " + fam + " with this subreflector rim has "
                                                 "this main_hole_to_feed: try another between " + num(at_least) +
                                                 " and " + num(at_most)));
  return out;
}

namespace {

// Rows about `wanted` apart that end on the rim: a whole number of them
// from the hole rim to the outer rim, each a whole number of integration
// steps about `step` long.
std::pair<double, double> intervals(double main_inner_radius, double wanted, double step) {
  const double span = 1.0 - main_inner_radius;
  const double rows = std::max(1.0, std::round(span / wanted));
  const double output = span / rows;
  const double steps = std::max(1.0, std::round(output / step));
  return {output / steps, output};
}

}  // namespace

WizardResult geometry_wizard(const ClassicalInputs& in) {
  WizardResult out;
  ClassicalResult asked = classical_design(in);
  if (!asked.geometry) {
    out.problems = std::move(asked.problems);
    return out;
  }
  // Designed again at the main reflector's radius 1, so the written numbers
  // are the design's own, not a rescaling's roundings.
  ClassicalResult unit = classical_design(scaled(in, 2.0 / in.diameter));
  if (!unit.geometry) {
    out.problems = std::move(unit.problems);
    return out;
  }
  WizardDesign w;
  w.geometry = std::move(*unit.geometry);
  w.diameter = in.diameter;
  w.feed_beamwidth_deg = 2 * in.feed_angle_deg;
  w.keys = geometry_keys(w.geometry);
  // The design file gives its design back from these keys, solving for the
  // focal length; where the keys fit two focal lengths and the other one is
  // taken, the file would hold another design than the one asked for.
  const ClassicalResult back = classical_from_keys(in.family, w.keys.main_hole_to_feed, w.keys.feed_to_sub_rim,
                                                   w.keys.sub_radius, w.keys.main_inner_radius);
  const double F = w.geometry.inputs.focal_length;
  if (!back.geometry || !(std::abs(back.geometry->inputs.focal_length - F) <= 1e-9 * F)) {
    const std::string fam(traits(in.family).long_name);
    out.problems.push_back(
        back.geometry ? problem("focal_length", "a design file's geometry keys fit two focal lengths of this " +
                                                    fam + " and give back the other, " +
                                                    num(back.geometry->inputs.focal_length * in.diameter / 2) +
                                                    ": make the focal length larger or the subreflector smaller")
                      : problem("focal_length", "a design file's geometry keys do not give this " + fam +
                                                    " back: try another focal length"));
    return out;
  }
  std::tie(w.calc_interval, w.output_interval) = intervals(w.keys.main_inner_radius, 0.02, 0.001);
  out.design = std::move(w);
  return out;
}

}  // namespace design
