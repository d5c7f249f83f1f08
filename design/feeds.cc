#include "design/feeds.h"
#include "design/kind_helpers.h"

#include <array>
#include <cmath>
#include <memory>

namespace design {
namespace {

using Fault = Problem::Fault;

using kinds::problem;
using kinds::wanted;

// The synthesis divides by the pattern at the subreflector rim and by the
// feed power inside it: both must be finite and above 0.
template <RealType Real>
bool feed_power(const Design<Real>& d, Input which, double value, std::vector<Problem>& out) {
  const Real rim = d.feed_model.pattern(d.feed_half_angle_rad);
  if ((rim > Real(0)) && std::isfinite(rim) && (d.feed_power > Real(0)) &&
      std::isfinite(d.feed_power)) {
    return true;
  }
  Problem p = problem(which, Fault::no_power_at_rim, value);
  p.reference = static_cast<double>(d.feed_half_angle_deg);
  out.push_back(p);
  return false;
}

// The float and double forms of a model's checks and making, from its
// templates check_in<Real> and make_in<Real>.
template <class Self>
class Described : public FeedKind {
 public:
  bool check(const Design<float>& d, const Input* only, bool built_on,
             std::vector<Problem>& out) const override {
    return self().template check_in<float>(d, only, built_on, out);
  }
  bool check(const Design<double>& d, const Input* only, bool built_on,
             std::vector<Problem>& out) const override {
    return self().template check_in<double>(d, only, built_on, out);
  }
  void make(const FeedSpec& f, Design<float>& d) const override { self().make_in(f, d); }
  void make(const FeedSpec& f, Design<double>& d) const override { self().make_in(f, d); }

 private:
  const Self& self() const { return static_cast<const Self&>(*this); }
};

// ---- Beamwidth: (cos(theta/2))^(2n) through a beamwidth at a level. ----

class Beamwidth final : public Described<Beamwidth> {
 public:
  FeedModelKind kind() const override { return FeedModelKind::beamwidth; }
  std::string_view name() const override { return "beamwidth"; }
  std::string_view comment() const override {
    return "Feed: full beamwidth in degrees at a level in dB.";
  }
  std::span<const FeedKey> keys() const override { return kKeys; }
  double get(const FeedSpec& f, std::string_view key) const override {
    return key == "level_db" ? f.level_db : f.beamwidth_deg;
  }
  void set(FeedSpec& f, std::string_view key, double v) const override {
    (key == "level_db" ? f.level_db : f.beamwidth_deg) = v;
  }

  // built_on: the geometry is sound, so the subreflector's half angle is known.
  template <RealType Real>
  bool check_in(const Design<Real>& d, const Input* only, bool built_on,
                std::vector<Problem>& out) const {
    const Input which = Input::feed_beamwidth;
    if (!wanted(only, which)) return true;
    const double answer = d.choices.feed.beamwidth_deg;
    const Real b = std::fabs(d.feed.beamwidth_deg);
    Fault fault;
    if (b == Real(0) || b >= Real(360)) {
      fault = Fault::beamwidth_range;
    } else if (!std::isfinite(d.feed.exponent)) {
      fault = Fault::beamwidth_too_narrow;
    } else if (!(d.feed.exponent > Real(0))) {
      // A level of 0 dB (or one so close to it that the exponent rounds to
      // 0) makes every beamwidth the same isotropic feed: the beamwidth
      // means nothing, and the report's feed model needs a falling pattern.
      Problem p = problem(which, Fault::level_zero, d.choices.feed.level_db);
      p.key = "feed.level_db";
      out.push_back(p);
      return false;
    } else if (built_on && d.feed.pattern(d.feed_half_angle_rad) == Real(0)) {
      // The synthesis divides by the pattern at the subreflector rim.
      fault = Fault::no_power_at_rim;
    } else {
      return true;
    }
    out.push_back(problem(which, fault, answer));
    return false;
  }
  template <RealType Real>
  void make_in(const FeedSpec& f, Design<Real>& d) const {
    d.feed = BeamwidthFeed<Real>::make(static_cast<Real>(f.beamwidth_deg),
                                       static_cast<Real>(f.level_db));
    d.feed_model.beamwidth = d.feed;
  }

 private:
  static constexpr std::array<FeedKey, 2> kKeys = {
      {{"beamwidth_deg", Input::feed_beamwidth}, {"level_db", Input::feed_beamwidth}}};
};

// ---- Gaussian: a taper in dB at an angle. ----

class GaussianFeed final : public Described<GaussianFeed> {
 public:
  FeedModelKind kind() const override { return FeedModelKind::gaussian; }
  std::string_view name() const override { return "gaussian"; }
  std::string_view comment() const override {
    return "Feed: a Gaussian pattern, taper_db below the axis at taper_angle_deg.";
  }
  std::span<const FeedKey> keys() const override { return kKeys; }
  std::string_view needs() const override {
    return "a Gaussian feed needs its taper and the angle of it";
  }
  double get(const FeedSpec& f, std::string_view key) const override {
    return key == "taper_angle_deg" ? f.taper_angle_deg : f.taper_db;
  }
  void set(FeedSpec& f, std::string_view key, double v) const override {
    (key == "taper_angle_deg" ? f.taper_angle_deg : f.taper_db) = v;
  }

  // built_on: the geometry is sound; the angle's power check needs a taper too.
  template <RealType Real>
  bool check_in(const Design<Real>& d, const Input* only, bool built_on,
                std::vector<Problem>& out) const {
    bool taper = true;
    if (wanted(only, Input::feed_taper) && d.feed_model.taper_db == Real(0)) {
      out.push_back(problem(Input::feed_taper, Fault::taper_zero));
      taper = false;
    }
    if (!wanted(only, Input::feed_taper_angle)) return taper;
    const Real angle = d.feed_model.taper_angle_rad;
    const double answer = d.choices.feed.taper_angle_deg;
    if (!(angle > Real(0))) {
      out.push_back(
          problem(Input::feed_taper_angle, angle == Real(0) ? Fault::zero : Fault::negative, answer));
      return false;
    }
    if (!built_on || !taper) return taper;
    return feed_power(d, Input::feed_taper_angle, answer, out);
  }
  template <RealType Real>
  void make_in(const FeedSpec& f, Design<Real>& d) const {
    d.feed_model.taper_db = static_cast<Real>(f.taper_db);
    d.feed_model.taper_angle_rad = static_cast<Real>(f.taper_angle_deg) * Constants<Real>::deg;
    d.feed_model.gaussian = std::make_shared<const GaussianEnclosure>(
        static_cast<double>(d.feed_model.taper_db), static_cast<double>(d.feed_model.taper_angle_rad));
  }

 private:
  static constexpr std::array<FeedKey, 2> kKeys = {
      {{"taper_db", Input::feed_taper}, {"taper_angle_deg", Input::feed_taper_angle}}};
};

// ---- Tabulated: a table or pattern cuts from a file. ----

class Tabulated final : public Described<Tabulated> {
 public:
  explicit constexpr Tabulated(FeedModelKind kind) : kind_(kind) {}
  FeedModelKind kind() const override { return kind_; }
  std::string_view name() const override {
    return kind_ == FeedModelKind::cut ? "cut" : "table";
  }
  std::string_view comment() const override {
    return kind_ == FeedModelKind::cut
               ? "Feed: pattern cuts in a file, relative to this file's folder."
               : "Feed: a table of angle and power (dB) in a file, relative to this file's folder.";
  }
  std::span<const FeedKey> keys() const override { return kKeys; }
  double get(const FeedSpec&, std::string_view) const override { return 0.0; }
  void set(FeedSpec&, std::string_view, double) const override {}

  // built_on: the geometry is sound, so the table's reach can be compared
  // with the subreflector's half angle.
  template <RealType Real>
  bool check_in(const Design<Real>& d, const Input* only, bool built_on,
                std::vector<Problem>& out) const {
    const Input which = Input::feed_table;
    if (!wanted(only, which)) return true;
    const FeedTable* t = d.choices.feed.table.get();
    if (t == nullptr || !d.feed_model.table) {
      out.push_back(problem(which, Fault::table_unusable));
      return false;
    }
    if (t->theta_deg.front() != 0.0) {
      out.push_back(problem(which, Fault::table_not_from_axis, t->theta_deg.front()));
      return false;
    }
    if (!built_on) return true;
    if (t->theta_deg.back() < static_cast<double>(d.feed_half_angle_deg)) {
      Problem p = problem(which, Fault::table_short, t->theta_deg.back());
      p.reference = static_cast<double>(d.feed_half_angle_deg);
      out.push_back(p);
      return false;
    }
    return feed_power(d, which, 0.0, out);
  }
  template <RealType Real>
  void make_in(const FeedSpec& f, Design<Real>& d) const {
    d.feed_model.source = f.table;
    if (f.table && table_fault(*f.table).empty()) {
      d.feed_model.table = std::make_shared<const TabulatedPattern>(*f.table);
    }
  }

 private:
  FeedModelKind kind_;
  static constexpr std::array<FeedKey, 1> kKeys = {{{"file", Input::feed_table, true}}};
};

}  // namespace

std::span<const FeedKind* const> feeds() {
  // Made on first use, so that other files' static tables may use them.
  static const Beamwidth beamwidth;
  static const GaussianFeed gaussian;
  static const Tabulated table(FeedModelKind::table);
  static const Tabulated cut(FeedModelKind::cut);
  static const std::array<const FeedKind*, 4> all = {&beamwidth, &gaussian, &table, &cut};
  return all;
}

const FeedKind* find_feed(FeedModelKind kind) {
  return kinds::find_in(feeds(), kind, [](const FeedKind& k) { return k.kind(); });
}

const FeedKind* find_feed(std::string_view name) {
  return kinds::find_in(feeds(), name, [](const FeedKind& k) { return k.name(); });
}

}  // namespace design
