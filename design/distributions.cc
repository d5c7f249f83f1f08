#include "design/distributions.h"
#include "design/kind_helpers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace design {

double DistributionKind::get(const ApertureSpec&, std::string_view) const { return 0.0; }
void DistributionKind::set(ApertureSpec&, std::string_view, double) const {}

std::vector<std::pair<std::string_view, double>> DistributionKind::figures(
    const ApertureSpec& a) const {
  std::vector<std::pair<std::string_view, double>> out;
  for (const DistributionKey& k : keys()) out.emplace_back(k.name, get(a, k.name));
  return out;
}

namespace {

using kinds::problem;
using kinds::wanted;

// The float and double checks and apertures of a kind, from its templates
// check_in<Real> and aperture_in<Real>.
template <class Self>
class Described : public DistributionKind {
 public:
  bool check(const Design<float>& d, const Input* only, bool built_on,
             std::vector<Problem>& out) const override {
    return self().template check_in<float>(d, only, built_on, out);
  }
  bool check(const Design<double>& d, const Input* only, bool built_on,
             std::vector<Problem>& out) const override {
    return self().template check_in<double>(d, only, built_on, out);
  }
  Aperture<float> aperture_f(const ApertureSpec& a, SeriesCache* cache,
                             bool with_series) const override {
    return self().template aperture_in<float>(a, cache, with_series);
  }
  Aperture<double> aperture_d(const ApertureSpec& a, SeriesCache* cache,
                              bool with_series) const override {
    return self().template aperture_in<double>(a, cache, with_series);
  }

 private:
  const Self& self() const { return static_cast<const Self&>(*this); }
};

// The synthesis needs a finite, non-zero power ratio and a finite density
// wherever it integrates (from the hole to the rim).
template <RealType Real>
bool power_in_range(const Design<Real>& d) {
  if (!(d.main_inner_radius < Real(1))) return true;  // no integration step is taken
  const Real ratio = d.feed_power / d.aperture_power;
  return std::isfinite(ratio) && ratio != Real(0) &&
         std::isfinite(d.aperture.density(d.main_inner_radius)) &&
         std::isfinite(d.aperture.density(Real(1)));
}

// ---- Uniform: the same power everywhere. ----

class Uniform final : public Described<Uniform> {
 public:
  Distribution kind() const override { return Distribution::uniform; }
  std::string_view name() const override { return "uniform"; }
  std::string_view noun() const override { return "a uniform distribution"; }
  std::string_view title() const override { return "uniform"; }
  int dialog_number() const override { return 1; }

  template <RealType Real>
  bool check_in(const Design<Real>&, const Input*, bool, std::vector<Problem>&) const {
    return true;
  }
  template <RealType Real>
  Aperture<Real> aperture_in(const ApertureSpec&, SeriesCache*, bool) const {
    return uniform_aperture<Real>();
  }
};

// ---- Gaussian: the amplitude falls by the edge taper from the axis to the
// rim, linearly in r in dB (the power at r is taper * r dB down). ----

class Gaussian final : public Described<Gaussian> {
 public:
  Distribution kind() const override { return Distribution::gaussian; }
  std::string_view name() const override { return "gaussian"; }
  std::string_view noun() const override { return "a Gaussian distribution"; }
  std::string_view title() const override { return "Gaussian"; }
  int dialog_number() const override { return 2; }
  std::span<const DistributionKey> keys() const override { return kKeys; }
  std::string_view needs() const override { return "a Gaussian distribution needs its edge taper"; }
  double get(const ApertureSpec& a, std::string_view) const override { return a.taper_db; }
  void set(ApertureSpec& a, std::string_view, double v) const override { a.taper_db = v; }
  bool brighter_edge(const ApertureSpec& a) const override { return a.taper_db < 0; }

  template <RealType Real>
  bool check_in(const Design<Real>& d, const Input* only, bool built_on,
                std::vector<Problem>& out) const {
    if (!wanted(only, Input::taper)) return true;
    if (d.aperture.edge_taper_db == Real(0)) {
      out.push_back(problem(Input::taper, Problem::Fault::taper_zero));
      return false;
    }
    if (!built_on || power_in_range(d)) return true;
    out.push_back(problem(Input::taper, Problem::Fault::taper_too_large, d.choices.aperture.taper_db));
    return false;
  }
  template <RealType Real>
  Aperture<Real> aperture_in(const ApertureSpec& a, SeriesCache*, bool) const {
    return gaussian_aperture(static_cast<Real>(a.taper_db));
  }

 private:
  static constexpr std::array<DistributionKey, 1> kKeys = {
      {{"taper_db", Input::taper, false, "an edge taper"}}};
};

// ---- Taylor circular: the sidelobe level and the first unchanged zero. ----

class Taylor final : public Described<Taylor> {
 public:
  Distribution kind() const override { return Distribution::taylor; }
  std::string_view name() const override { return "taylor"; }
  std::string_view noun() const override { return "a Taylor distribution"; }
  std::string_view title() const override { return "Taylor circular"; }
  int dialog_number() const override { return 3; }
  std::span<const DistributionKey> keys() const override { return kKeys; }
  std::string_view needs() const override {
    return "a Taylor distribution needs its sidelobe level and nbar";
  }
  double get(const ApertureSpec& a, std::string_view key) const override {
    return key == "nbar" ? a.nbar : a.sidelobe_db;
  }
  void set(ApertureSpec& a, std::string_view key, double v) const override {
    if (key == "nbar") {
      a.nbar = static_cast<int>(v);
    } else {
      a.sidelobe_db = v;
    }
  }

  template <RealType Real>
  bool check_in(const Design<Real>& d, const Input* only, bool, std::vector<Problem>& out) const {
    const std::size_t before = out.size();
    if (wanted(only, Input::sidelobe)) {
      // The zeros need R^2 for R = 10^(S/20).
      const Real ratio = std::pow(Real(10), d.aperture.sidelobe_level_db / Real(20));
      if (!std::isfinite(ratio * ratio)) {
        out.push_back(problem(Input::sidelobe, Problem::Fault::sidelobe_too_large,
                              d.choices.aperture.sidelobe_db));
      }
    }
    if (wanted(only, Input::nbar)) {
      const int nbar = d.choices.aperture.nbar;
      if (nbar < 1) out.push_back(problem(Input::nbar, Problem::Fault::nbar_below_one, nbar));
      if (nbar > kMaxNbar) {
        Problem p = problem(Input::nbar, Problem::Fault::nbar_above_max, nbar);
        p.limit = kMaxNbar;
        out.push_back(p);
      }
    }
    return out.size() == before;
  }
  template <RealType Real>
  Aperture<Real> aperture_in(const ApertureSpec& a, SeriesCache* cache, bool with_series) const {
    return taylor_aperture(std::fabs(static_cast<Real>(a.sidelobe_db)), a.nbar, cache, with_series);
  }

 private:
  static constexpr std::array<DistributionKey, 2> kKeys = {
      {{"sidelobe_db", Input::sidelobe, false, "a sidelobe level"},
       {"nbar", Input::nbar, true, "nbar"}}};
};

// ---- Parabolic on a pedestal: amplitude C + (1 - C)(1 - r^2)^p, C the
// edge's amplitude, 10^(-taper/20). ----

class ParabolicPedestal final : public Described<ParabolicPedestal> {
 public:
  Distribution kind() const override { return Distribution::parabolic_pedestal; }
  std::string_view name() const override { return "parabolic_pedestal"; }
  std::string_view noun() const override { return "a parabolic-on-pedestal distribution"; }
  std::string_view title() const override { return "parabolic on a pedestal"; }
  std::span<const DistributionKey> keys() const override { return kKeys; }
  std::string_view needs() const override {
    return "a parabolic-on-pedestal distribution needs its edge taper and power";
  }
  double get(const ApertureSpec& a, std::string_view key) const override {
    return key == "power" ? a.power : a.taper_db;
  }
  void set(ApertureSpec& a, std::string_view key, double v) const override {
    if (key == "power") {
      a.power = static_cast<int>(v);
    } else {
      a.taper_db = v;
    }
  }

  // A negative taper puts a pedestal C > 1 under the parabola.
  bool brighter_edge(const ApertureSpec& a) const override { return a.taper_db < 0; }

  template <RealType Real>
  bool check_in(const Design<Real>& d, const Input* only, bool built_on,
                std::vector<Problem>& out) const {
    const std::size_t before = out.size();
    const ApertureSpec& a = d.choices.aperture;
    if (wanted(only, Input::taper)) {
      if (static_cast<Real>(a.taper_db) == Real(0)) {
        out.push_back(described(Input::taper, "aperture.taper_db", a.taper_db,
                                "An edge taper of 0 dB leaves no parabola on the pedestal: give "
                                "a taper other than 0, or use the uniform distribution."));
      } else if (a.power >= 1 && a.power <= 2 && built_on && !power_in_range(d)) {
        out.push_back(problem(Input::taper, Problem::Fault::taper_too_large, a.taper_db));
      }
    }
    if (wanted(only, Input::described) && (a.power < 1 || a.power > 2)) {
      out.push_back(described(Input::described, "aperture.power", a.power,
                              "The power of the parabola must be 1 or 2, not " +
                                  std::to_string(a.power) + "."));
    }
    return out.size() == before;
  }

  ApertureSpec spec_of(const Aperture<float>& a) const override { return spec_in(a); }
  ApertureSpec spec_of(const Aperture<double>& a) const override { return spec_in(a); }

  template <RealType Real>
  Aperture<Real> aperture_in(const ApertureSpec& spec, SeriesCache*, bool) const {
    Aperture<Real> a;
    a.kind = Distribution::parabolic_pedestal;
    a.edge_taper_db = static_cast<Real>(spec.taper_db);
    a.shape = {std::pow(Real(10), -a.edge_taper_db / Real(20)), static_cast<Real>(spec.power)};
    a.described_density = &density<Real>;
    return a;
  }

 private:
  template <RealType Real>
  static Real density(const Aperture<Real>& a, Real r) {
    const Real c = a.shape[0];
    const Real t = std::max(Real(0), Real(1) - r * r);  // 0 beyond the rim
    const Real parabola = a.shape[1] == Real(2) ? t * t : t;
    const Real amplitude = c + (Real(1) - c) * parabola;
    return amplitude * amplitude;
  }
  template <RealType Real>
  static ApertureSpec spec_in(const Aperture<Real>& a) {
    ApertureSpec s = common_spec(a);
    s.power = static_cast<int>(a.shape[1]);
    return s;
  }
  static Problem described(Input input, std::string key, double value, std::string text) {
    Problem p = problem(input, Problem::Fault::described, value);
    p.key = std::move(key);
    p.text = std::move(text);
    return p;
  }

  static constexpr std::array<DistributionKey, 2> kKeys = {
      {{"taper_db", Input::taper, false, "an edge taper"},
       {"power", Input::described, true, "a power"}}};
};

}  // namespace

std::span<const DistributionKind* const> distributions() {
  // Made on first use, so that other files' static tables may use them.
  static const Uniform uniform;
  static const Gaussian gaussian;
  static const Taylor taylor;
  static const ParabolicPedestal parabolic_pedestal;
  static const std::array<const DistributionKind*, 4> all = {&uniform, &gaussian, &taylor,
                                                             &parabolic_pedestal};
  return all;
}

const DistributionKind* find_distribution(Distribution kind) {
  return kinds::find_in(distributions(), kind, [](const DistributionKind& k) { return k.kind(); });
}

const DistributionKind* find_distribution(std::string_view name) {
  return kinds::find_in(distributions(), name, [](const DistributionKind& k) { return k.name(); });
}

}  // namespace design
