// The aperture distributions, each described in one place: its name in design
// files, its keys and their checks, its number in the positional dialog (if
// it is offered there), its aperture (the computation) and the figures its
// text shows.  distributions() lists them; a front end that reads, writes or
// checks a distribution asks the registry instead of naming the kinds.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "design/choices.h"

namespace design {

// One key a distribution takes in a design file's [aperture] section.
struct DistributionKey {
  std::string_view name;  // "taper_db"
  // The input its problems name; Input::described: the key itself names it.
  Input input;
  bool whole = false;     // a whole number, else a real
  std::string_view what;  // "an edge taper": in "Only a Gaussian distribution takes an edge taper"
};

class DistributionKind {
 public:
  virtual ~DistributionKind() = default;

  virtual Distribution kind() const = 0;
  // Its name in design files: "parabolic_pedestal".
  virtual std::string_view name() const = 0;
  // As a sentence names it: "a Gaussian distribution".
  virtual std::string_view noun() const = 0;
  // Its name in the report: "parabolic on a pedestal".
  virtual std::string_view title() const = 0;
  // The number the positional dialog gives it; 0: not offered there.
  virtual int dialog_number() const { return 0; }

  // Its keys, and their values in a choices.
  virtual std::span<const DistributionKey> keys() const { return {}; }
  // Why its keys are needed: "a Taylor distribution needs its sidelobe level and nbar".
  virtual std::string_view needs() const { return {}; }
  virtual double get(const ApertureSpec& a, std::string_view key) const;
  virtual void set(ApertureSpec& a, std::string_view key, double value) const;

  // The problems of its keys on the design derived from the choices, all of
  // them or those of the input `only`.  built_on: the geometry and the feed
  // are sound (their power is known).  Returns whether it added none.
  virtual bool check(const Design<float>& d, const Input* only, bool built_on,
                     std::vector<Problem>& out) const = 0;
  virtual bool check(const Design<double>& d, const Input* only, bool built_on,
                     std::vector<Problem>& out) const = 0;

  // Its aperture (see make_aperture).
  virtual Aperture<float> aperture_f(const ApertureSpec& a, SeriesCache* cache,
                                     bool with_series) const = 0;
  virtual Aperture<double> aperture_d(const ApertureSpec& a, SeriesCache* cache,
                                      bool with_series) const = 0;
  template <RealType Real>
  Aperture<Real> aperture(const ApertureSpec& a, SeriesCache* cache, bool with_series) const {
    if constexpr (std::is_same_v<Real, float>) {
      return aperture_f(a, cache, with_series);
    } else {
      return aperture_d(a, cache, with_series);
    }
  }

  // Whether choices of this kind make the aperture brighter at its edge than
  // at its centre (a negative edge taper): allowed, but worth a warning.
  virtual bool brighter_edge(const ApertureSpec&) const { return false; }

  // Its figures as text shows them: the name and the value of each key.
  std::vector<std::pair<std::string_view, double>> figures(const ApertureSpec& a) const;
  // The choices an aperture of this kind was made from (for text that has
  // the aperture alone).
  virtual ApertureSpec spec_of(const Aperture<float>& a) const { return common_spec(a); }
  virtual ApertureSpec spec_of(const Aperture<double>& a) const { return common_spec(a); }

 protected:
  template <RealType Real>
  static ApertureSpec common_spec(const Aperture<Real>& a) {
    ApertureSpec s;
    s.kind = a.kind;
    s.taper_db = static_cast<double>(a.edge_taper_db);
    s.sidelobe_db = static_cast<double>(a.sidelobe_level_db);
    s.nbar = a.nbar;
    return s;
  }
};

// Every distribution, in the order of their kinds.
std::span<const DistributionKind* const> distributions();
// The distribution of a kind or a design-file name; nullptr: none.
const DistributionKind* find_distribution(Distribution kind);
const DistributionKind* find_distribution(std::string_view name);

}  // namespace design
