#include "design/families.h"
#include "design/classical_families.h"
#include "design/kind_helpers.h"
#include "design/shaped_dual.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>

namespace design {
namespace {

using Fault = Problem::Fault;

using kinds::problem;
using kinds::wanted;

// ---------------------------------------------------------------------------
// The synthesis of the families other than the established shaped ade: both
// surfaces from shape_dual (shaped) or from the family's conic pair
// (classical), computed in double whatever the design's precision, then
// tabulated at the rows of the established table: main-aperture radii from
// the hole rim (the centre for a centre-fed family) to the rim, one output
// interval apart, ray 1 at the hole rim.

// The geometry in double, about the feed's phase centre.
struct Frame {
  double hole_to_feed = 0;  // the hole rim (or the vertex) lies at z = -hole_to_feed
  double sub_rim_z = 0;
  double sub_radius = 0;
  double inner = 0;   // the hole radius
  double centre = 0;  // the phase centre, from the geometry's feed point
  double edge = 0;    // the subreflector rim's feed angle, radians
};

template <RealType Real>
Frame frame_of(const Design<Real>& d) {
  Frame f;
  f.centre = static_cast<double>(d.feed_model.phase_centre_z);
  f.hole_to_feed = static_cast<double>(d.main_hole_to_feed) + f.centre;
  f.sub_rim_z = static_cast<double>(d.feed_to_sub_rim) - f.centre;
  f.sub_radius = static_cast<double>(d.sub_radius);
  f.inner = static_cast<double>(d.main_inner_radius);
  f.edge = std::atan2(f.sub_radius, f.sub_rim_z);
  return f;
}

ClassicalFamily classical_of(DualFamily f) { return static_cast<ClassicalFamily>(static_cast<int>(f)); }

// The classical pair through the subreflector rim and the main reflector's
// hole rim (its vertex for a centre-fed family), its focal length found from
// the keys; without one, the first problem, at the key it names.
struct ClassicalSolution {
  std::optional<ClassicalGeometry> geometry;
  std::string key = "main_hole_to_feed";
  std::string problem;
};

template <RealType Real>
ClassicalSolution solve_classical(DualFamily family, const Design<Real>& d) {
  ClassicalResult r = classical_from_keys(
      classical_of(family), static_cast<double>(d.main_hole_to_feed), static_cast<double>(d.feed_to_sub_rim),
      static_cast<double>(d.sub_radius), static_cast<double>(d.main_inner_radius),
      static_cast<double>(d.feed_model.phase_centre_z));
  if (r.geometry) return {std::move(r.geometry), {}, {}};
  if (r.problems.empty()) return {std::nullopt, "main_hole_to_feed", "no classical design has these keys"};
  return {std::nullopt, r.problems.front().parameter, r.problems.front().message};
}

// The inputs of the shaped design, without its path length and rows.
template <RealType Real>
ShapedDualSpec<double> shaped_spec(DualFamily family, const Design<Real>& d, const Frame& f) {
  ShapedDualSpec<double> spec;
  spec.topology = topology_of(family);
  spec.edge_angle = f.edge;
  const FeedModel<Real>* feed = &d.feed_model;
  const Aperture<Real>* aperture = &d.aperture;
  spec.feed_power = [feed](double t) { return static_cast<double>(feed->pattern(static_cast<Real>(t))); };
  spec.aperture_power = [aperture](double x) {
    return static_cast<double>(aperture->density(static_cast<Real>(x)));
  };
  spec.x_inner = f.inner;
  spec.x_outer = 1;
  spec.anchor = SubAnchor::rim;
  spec.anchor_distance = std::hypot(f.sub_radius, f.sub_rim_z);
  return spec;
}

// The path length that puts the hole rim (or the vertex) at its height.
// Where the subreflector rim's ray lands there, it follows from that ray;
// where the axial ray does, the subreflector's vertex is not known before
// the integration, so the length is shot for: secant steps on the axial
// ray's main-reflector height.
std::optional<double> shaped_path_length(ShapedDualSpec<double> spec, const Frame& f, std::string& problem) {
  const double s = spec.topology.rays_cross_axis ? -1.0 : 1.0;
  if (!spec.topology.radius_increases) {
    return spec.anchor_distance + std::hypot(s * f.inner - f.sub_radius, f.sub_rim_z + f.hole_to_feed) +
           f.hole_to_feed;
  }
  const double target = -f.hole_to_feed;
  spec.angles = {0.0};
  const auto miss = [&](double length) -> std::optional<double> {
    spec.path_length = length;
    const ShapedDual<double> r = shape_dual(spec);
    if (!r.problem.empty()) {
      problem = r.problem;
      return std::nullopt;
    }
    return r.rays.front().main_z - target;
  };
  // A flat subreflector's axial ray is the first guess.
  const double guess =
      f.sub_rim_z + std::hypot(f.inner, f.sub_rim_z + f.hole_to_feed) + f.hole_to_feed;
  for (double scale : {1.0, 1.25, 1.6, 2.2, 3.0}) {
    double a = guess * scale, b = a * 1.01;
    std::optional<double> fa = miss(a), fb = miss(b);
    if (!fa || !fb) continue;
    for (int i = 0; i < 60; ++i) {
      if (std::fabs(*fb) <= 1e-14 * std::max(1.0, std::fabs(b))) return b;
      if (*fb == *fa) break;
      const double c = b - *fb * (b - a) / (*fb - *fa);
      if (!std::isfinite(c) || c <= 0) break;
      a = b;
      fa = fb;
      b = c;
      fb = miss(b);
      if (!fb) break;
    }
    if (fb && std::fabs(*fb) <= 1e-10) return b;
  }
  if (problem.empty()) problem = "no path length puts the main reflector's vertex or hole rim where asked";
  return std::nullopt;
}

// The feed angle whose ray lands at aperture radius x, by bisection on a
// monotone map angle -> radius.
template <class Radius>
double angle_of_radius(double x, double edge, bool increases, const Radius& radius) {
  // the ends exactly: the axial ray and the rim ray
  if (radius(0.0) == x) return 0.0;
  if (radius(edge) == x) return edge;
  double lo = 0, hi = edge;
  for (int i = 0; i < 100; ++i) {
    const double m = 0.5 * (lo + hi);
    if (m <= lo || m >= hi) break;
    if ((radius(m) < x) == increases) {
      lo = m;
    } else {
      hi = m;
    }
  }
  return 0.5 * (lo + hi);
}

// Step points kept per output row: enough for the profiles' splines.
int points_per_row(int steps_per_output) {
  constexpr int kMost = 16;
  int best = 1;
  for (int k = 1; k <= std::min(kMost, steps_per_output); ++k) {
    if (steps_per_output % k == 0) best = k;
  }
  return best;
}

// One tabulated point of either synthesis, about the phase centre, the main
// reflector's radius signed as in the ray's meridian half-plane.
struct TablePoint {
  double theta = 0, rho = 0, sub_r = 0, sub_z = 0, main_r = 0, main_z = 0, aperture = 0;
};

template <RealType Real>
RayTable<Real> synthesize_other(DualFamily family, const Design<Real>& d, const SynthesisOptions& options) {
  RayTable<Real> table;
  table.counts = step_counts(d);
  if (!table.counts.problem.empty()) return table;
  const Frame f = frame_of(d);
  const DualTopology topology = topology_of(family);
  table.rays_cross_axis = topology.rays_cross_axis;
  const int rows = table.counts.output_steps;
  const int per_row = points_per_row(table.counts.steps_per_output);
  table.step_stride = table.counts.steps_per_output / per_row;
  const double out = static_cast<double>(d.output_interval());
  const auto broken = [&] {
    table.broken_ray = 1;
    table.broken_radius = d.main_inner_radius;
    return table;
  };

  // the aperture radius of every step point; the rows are among them
  const int n = rows * per_row + 1;
  std::vector<double> radii(static_cast<std::size_t>(n));
  for (int j = 0; j < n; ++j) {
    // a radius within rounding of the rim is the rim
    const double r = f.inner + out * (static_cast<double>(j) / per_row);
    radii[static_cast<std::size_t>(j)] = std::fabs(r - 1.0) < 1e-12 ? 1.0 : std::min(1.0, r);
  }

  std::vector<TablePoint> points(radii.size());
  if (d.choices.geometry.classical) {
    const ClassicalSolution c = solve_classical(family, d);
    if (!c.geometry) return broken();
    const ClassicalGeometry& g = *c.geometry;
    const auto radius = [&g](double t) { return g.ray(t).aperture_radius; };
    for (std::size_t j = 0; j < radii.size(); ++j) {
      const double t = angle_of_radius(radii[j], f.edge, topology.radius_increases, radius);
      const ClassicalRay r = g.ray(t);
      points[j] = {t, g.sub_distance(t), r.sub.rho, r.sub.z, r.main.rho, r.main.z, r.aperture_radius};
    }
  } else {
    ShapedDualSpec<double> spec = shaped_spec(family, d, f);
    std::string problem;
    const std::optional<double> length = shaped_path_length(spec, f, problem);
    if (!length) return broken();
    spec.path_length = *length;
    const EnergyMapping<double> mapping(spec.feed_power, spec.aperture_power, spec.edge_angle, spec.x_inner,
                                        spec.x_outer, topology.radius_increases);
    if (!mapping.problem().empty()) return broken();
    spec.angles.resize(radii.size());
    for (std::size_t j = 0; j < radii.size(); ++j) {
      // the feed fraction that lands within (or beyond) the radius
      const double a = std::clamp(mapping.aperture_fraction(radii[j]), 0.0, 1.0);
      const double want = topology.radius_increases ? a : 1.0 - a;
      spec.angles[j] = angle_of_radius(want, f.edge, true, [&](double t) { return mapping.feed_fraction(t); });
    }
    const ShapedDual<double> s = shape_dual(spec);
    if (!s.problem.empty()) return broken();
    for (std::size_t j = 0; j < radii.size(); ++j) {
      const ShapedRay<double>& r = s.rays[j];
      points[j] = {r.theta, r.sub_distance, r.sub_r, r.sub_z, r.main_r, r.main_z, r.aperture_radius};
    }
  }

  const double deg = 180.0 / std::acos(-1.0);
  table.step_points.reserve(points.size());
  for (const TablePoint& p : points) {
    table.step_points.push_back({static_cast<Real>(p.aperture), static_cast<Real>(p.theta),
                                 static_cast<Real>(p.rho), static_cast<Real>(p.main_z)});
  }
  table.rays.reserve(static_cast<std::size_t>(rows) + 1);
  for (int i = 0; i <= rows; ++i) {
    const TablePoint& p = points[static_cast<std::size_t>(i * per_row)];
    const double length = p.rho + std::hypot(p.main_r - p.sub_r, p.main_z - p.sub_z) - p.main_z;
    Ray<Real> ray{static_cast<Real>(p.theta * deg), static_cast<Real>(p.sub_z + f.centre),
                  static_cast<Real>(p.sub_r),         static_cast<Real>(p.main_z + f.centre),
                  static_cast<Real>(p.aperture),      static_cast<Real>(length)};
    table.rays.push_back(ray);
    if (i > 0) {
      table.steps += table.counts.steps_per_output;
      if (options.on_row && !options.on_row(i, rows)) {
        table.stopped = i < rows;
        if (table.stopped) return table;
      }
    }
  }
  return table;
}

// Whether the classical pair of the design's geometry exists; its problem
// goes to the key it names (most often main_hole_to_feed, the key that
// moves the hole rim).
template <RealType Real>
bool classical_exists(DualFamily family, const Design<Real>& d, std::vector<Problem>& out) {
  const ClassicalSolution c = solve_classical(family, d);
  if (c.geometry) return true;
  const GeometrySpec& g = d.choices.geometry;
  Input input = Input::main_hole_to_feed;
  double value = g.main_hole_to_feed;
  if (c.key == "feed_to_sub_rim") input = Input::feed_to_sub_rim, value = g.feed_to_sub_rim;
  if (c.key == "sub_radius") input = Input::sub_radius, value = g.sub_radius;
  if (c.key == "main_inner_radius") input = Input::main_inner_radius, value = g.main_inner_radius;
  Problem p = problem(input, Fault::described, value);
  p.key = "geometry." + c.key;
  p.text = c.problem;
  out.push_back(p);
  return false;
}

// The displaced-axis family: the feed on the axis, the subreflector rim
// feed_to_sub_rim ahead of it at radius sub_radius, the main reflector from
// its hole (main_inner_radius, main_hole_to_feed behind the feed) to the rim
// at radius 1.
class DisplacedAxis final : public GeometryFamily {
 public:
  std::string_view name() const override { return "ade"; }
  std::string_view comment() const override {
    return "Geometry, in units of the main reflector's outer radius.";
  }
  std::span<const GeometryKey> keys() const override { return kKeys; }
  double get(const GeometrySpec& g, std::string_view key) const override {
    return g.*member(key);
  }
  void set(GeometrySpec& g, std::string_view key, double value) const override {
    g.*member(key) = value;
  }

  GeometryCheck check(const Design<float>& d, const Input* only,
                      std::vector<Problem>& out) const override {
    return check_in(d, only, out);
  }
  GeometryCheck check(const Design<double>& d, const Input* only,
                      std::vector<Problem>& out) const override {
    return check_in(d, only, out);
  }
  RayTable<float> synthesize(const Design<float>& d, const SynthesisOptions& o) const override {
    if (d.choices.geometry.classical) return synthesize_other(DualFamily::ade, d, o);
    return design::synthesize(d, o);
  }
  RayTable<double> synthesize(const Design<double>& d, const SynthesisOptions& o) const override {
    if (d.choices.geometry.classical) return synthesize_other(DualFamily::ade, d, o);
    return design::synthesize(d, o);
  }

 public:
  static double GeometrySpec::*member(std::string_view key) {
    if (key == "main_hole_to_feed") return &GeometrySpec::main_hole_to_feed;
    if (key == "feed_to_sub_rim") return &GeometrySpec::feed_to_sub_rim;
    if (key == "sub_radius") return &GeometrySpec::sub_radius;
    return &GeometrySpec::main_inner_radius;
  }

  template <RealType Real>
  static GeometryCheck check_in(const Design<Real>& d, const Input* only,
                                std::vector<Problem>& out) {
    // One input alone (the dialog's answer) is checked with every check;
    // all of them, each with the checks the inputs before allow.
    const bool alone = only != nullptr;
    GeometryCheck c;
    bool distance = true, sub = true, hole = true;
    if (wanted(only, Input::feed_to_sub_rim)) distance = feed_to_sub_rim(d, out);
    const bool hole_in_range = !(d.main_inner_radius < Real(0)) && d.main_inner_radius < Real(1);
    if (wanted(only, Input::sub_radius)) sub = sub_radius(d, alone || (distance && hole_in_range), out);
    if (wanted(only, Input::main_inner_radius)) {
      hole = main_inner_radius(d, alone || (distance && sub), out);
    }
    c.sound = distance && sub && hole;
    c.aperture = hole;
    // The classical pair must exist for this subreflector and hole.
    if (c.sound && d.choices.geometry.classical && wanted(only, Input::main_hole_to_feed)) {
      c.sound = classical_exists(DualFamily::ade, d, out);
    }
    return c;
  }

  template <RealType Real>
  static bool feed_to_sub_rim(const Design<Real>& d, std::vector<Problem>& out) {
    const Input which = Input::feed_to_sub_rim;
    const GeometrySpec& g = d.choices.geometry;
    if (!(d.feed_to_sub_rim > Real(0))) {
      out.push_back(problem(which, d.feed_to_sub_rim == Real(0) ? Fault::zero : Fault::negative,
                            g.feed_to_sub_rim));
      return false;
    }
    // The subreflector rim must stand in front of the plane of the main
    // reflector's hole rim, or the first ray runs backwards.
    if (!(d.main_hole_to_feed + d.feed_to_sub_rim > Real(0))) {
      Problem p = problem(which, Fault::behind_hole_plane, g.feed_to_sub_rim);
      p.reference = g.main_hole_to_feed;
      out.push_back(p);
      return false;
    }
    return true;
  }

  // built_on: the rest of the geometry is sound, so the first ray can be traced.
  template <RealType Real>
  static bool sub_radius(const Design<Real>& d, bool built_on, std::vector<Problem>& out) {
    const Input which = Input::sub_radius;
    const double answer = d.choices.geometry.sub_radius;
    if (d.sub_radius < Real(0)) {
      out.push_back(problem(which, Fault::negative, answer));
      return false;
    }
    if (!built_on) return true;
    const StartValues<Real> st = start_values(d);
    if (std::isfinite(st.theta) && std::isfinite(st.distance)) return true;
    out.push_back(problem(which, d.sub_radius == Real(0) ? Fault::zero : Fault::no_finite_start, answer));
    return false;
  }

  // built_on: the subreflector is sound, so a first ray without direction is
  // the hole's problem.
  template <RealType Real>
  static bool main_inner_radius(const Design<Real>& d, bool built_on, std::vector<Problem>& out) {
    const Input which = Input::main_inner_radius;
    const double answer = d.choices.geometry.main_inner_radius;
    Fault fault;
    if (d.main_inner_radius < Real(0)) {
      fault = Fault::negative;
    } else if (!(d.main_inner_radius < Real(1))) {
      fault = Fault::not_below_one;
    } else {
      if (!built_on) return true;
      // A subreflector that gives no first ray is the subreflector's problem.
      const StartValues<Real> st = start_values(d);
      if (!(std::isfinite(st.theta) && std::isfinite(st.distance) && !std::isfinite(st.phi))) {
        return true;
      }
      fault = Fault::hole_on_sub_rim;
    }
    out.push_back(problem(which, fault, answer));
    return false;
  }

  static constexpr std::array<GeometryKey, 4> kKeys = {{
      {"main_hole_to_feed", Input::main_hole_to_feed},
      {"feed_to_sub_rim", Input::feed_to_sub_rim},
      {"sub_radius", Input::sub_radius},
      {"main_inner_radius", Input::main_inner_radius},
  }};
};

// Every other family: the same four keys (the hole radius 0 for the
// centre-fed two, whose main reflector starts at its vertex, which
// main_hole_to_feed then places behind the feed), checked like the
// established family's where they mean the same, and synthesised by
// synthesize_other.
class OtherFamily final : public GeometryFamily {
 public:
  OtherFamily(DualFamily family, std::string_view name, std::string_view comment)
      : family_(family), name_(name), comment_(comment) {}
  std::string_view name() const override { return name_; }
  std::string_view comment() const override { return comment_; }
  std::span<const GeometryKey> keys() const override { return DisplacedAxis::kKeys; }
  double get(const GeometrySpec& g, std::string_view key) const override {
    return g.*DisplacedAxis::member(key);
  }
  void set(GeometrySpec& g, std::string_view key, double value) const override {
    g.*DisplacedAxis::member(key) = value;
  }
  GeometryCheck check(const Design<float>& d, const Input* only, std::vector<Problem>& out) const override {
    return check_in(d, only, out);
  }
  GeometryCheck check(const Design<double>& d, const Input* only, std::vector<Problem>& out) const override {
    return check_in(d, only, out);
  }
  RayTable<float> synthesize(const Design<float>& d, const SynthesisOptions& o) const override {
    return synthesize_other(family_, d, o);
  }
  RayTable<double> synthesize(const Design<double>& d, const SynthesisOptions& o) const override {
    return synthesize_other(family_, d, o);
  }

 private:
  template <RealType Real>
  GeometryCheck check_in(const Design<Real>& d, const Input* only, std::vector<Problem>& out) const {
    GeometryCheck c;
    bool distance = true, sub = true, hole = true;
    if (wanted(only, Input::feed_to_sub_rim)) distance = DisplacedAxis::feed_to_sub_rim(d, out);
    if (wanted(only, Input::sub_radius)) {
      const double answer = d.choices.geometry.sub_radius;
      if (!(d.sub_radius > Real(0))) {
        out.push_back(problem(Input::sub_radius, d.sub_radius == Real(0) ? Fault::zero : Fault::negative, answer));
        sub = false;
      }
    }
    if (wanted(only, Input::main_inner_radius)) {
      const double answer = d.choices.geometry.main_inner_radius;
      if (d.main_inner_radius < Real(0)) {
        out.push_back(problem(Input::main_inner_radius, Fault::negative, answer));
        hole = false;
      } else if (!(d.main_inner_radius < Real(1))) {
        out.push_back(problem(Input::main_inner_radius, Fault::not_below_one, answer));
        hole = false;
      } else if (centre_fed(family_) && d.main_inner_radius != Real(0)) {
        Problem p = problem(Input::main_inner_radius, Fault::described, answer);
        p.key = "geometry.main_inner_radius";
        p.text = "A " + std::string(name_) +
                 " main reflector starts at its vertex, on the axis: set main_inner_radius = 0, "
                 "or choose a displaced-axis family (" +
                 (family_ == DualFamily::cassegrain ? "adc" : "adg") + ") for a hole.";
        out.push_back(p);
        hole = false;
      }
    }
    c.sound = distance && sub && hole;
    c.aperture = hole;
    if (c.sound && d.choices.geometry.classical && wanted(only, Input::main_hole_to_feed)) {
      c.sound = classical_exists(family_, d, out);
    }
    return c;
  }

  DualFamily family_;
  std::string_view name_;
  std::string_view comment_;
};

}  // namespace

std::span<const GeometryFamily* const> families() {
  static const DisplacedAxis ade;
  static const OtherFamily cassegrain(
      DualFamily::cassegrain, "cassegrain",
      "Geometry of a Cassegrain (hyperbolic subreflector, centre-fed), in units of the main "
      "reflector's outer radius.");
  static const OtherFamily gregorian(
      DualFamily::gregorian, "gregorian",
      "Geometry of a Gregorian (elliptic subreflector, centre-fed), in units of the main "
      "reflector's outer radius.");
  static const OtherFamily adc(DualFamily::adc, "adc",
                               "Geometry of a displaced-axis Cassegrain (hyperbola, rays not crossing the "
                               "axis), in units of the main reflector's outer radius.");
  static const OtherFamily adh(DualFamily::adh, "adh",
                               "Geometry of a displaced-axis hyperbola (rays crossing the axis), in units "
                               "of the main reflector's outer radius.");
  static const OtherFamily adg(DualFamily::adg, "adg",
                               "Geometry of a displaced-axis Gregorian (ellipse, rays crossing the axis), "
                               "in units of the main reflector's outer radius.");
  static const std::array<const GeometryFamily*, 6> all = {&ade, &cassegrain, &gregorian, &adc, &adh, &adg};
  return all;
}

std::string family_names() {
  std::string s;
  const auto all = families();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (i > 0) s += i + 1 == all.size() ? " or " : ", ";
    s.append("\"").append(all[i]->name()).append("\"");
  }
  return s;
}

const GeometryFamily* find_family(std::string_view name) {
  for (const GeometryFamily* f : families()) {
    if (f->name() == name) return f;
  }
  return nullptr;
}

}  // namespace design
