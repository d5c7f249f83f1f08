#include "design/families.h"
#include "design/kind_helpers.h"

#include <array>
#include <cmath>

namespace design {
namespace {

using Fault = Problem::Fault;

using kinds::problem;
using kinds::wanted;

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
    return design::synthesize(d, o);
  }
  RayTable<double> synthesize(const Design<double>& d, const SynthesisOptions& o) const override {
    return design::synthesize(d, o);
  }

 private:
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

}  // namespace

std::span<const GeometryFamily* const> families() {
  static const DisplacedAxis ade;
  static const std::array<const GeometryFamily*, 1> all = {&ade};
  return all;
}

const GeometryFamily* find_family(std::string_view name) {
  for (const GeometryFamily* f : families()) {
    if (f->name() == name) return f;
  }
  return nullptr;
}

}  // namespace design
