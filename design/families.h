// The geometry families, each described in one place: its name, its keys
// and their checks, its comment in design files and its synthesis.  Today's
// family, "ade" (the displaced-axis dual reflector the synthesis shapes), is
// the only one; a new family is one more object in families().
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "design/choices.h"
#include "design/synthesis.h"

namespace design {

// One key of a design file's [geometry] section.
struct GeometryKey {
  std::string_view name;  // "sub_radius"
  Input input;
};

// What the checks of a geometry found sound.
struct GeometryCheck {
  bool sound = true;     // every input: the feed's checks may use the geometry
  bool aperture = true;  // the main reflector's hole: the intervals' checks may use it
};

class GeometryFamily {
 public:
  virtual ~GeometryFamily() = default;

  virtual std::string_view name() const = 0;
  // The comment above its [geometry] section in a written design file.
  virtual std::string_view comment() const = 0;
  virtual std::span<const GeometryKey> keys() const = 0;
  virtual double get(const GeometrySpec& g, std::string_view key) const = 0;
  virtual void set(GeometrySpec& g, std::string_view key, double value) const = 0;

  // The problems of its inputs on the design derived from the choices, all
  // of them (each check that builds on another input only when that one is
  // sound) or those of the input `only` (every check: the inputs before it
  // were accepted).
  virtual GeometryCheck check(const Design<float>& d, const Input* only,
                              std::vector<Problem>& out) const = 0;
  virtual GeometryCheck check(const Design<double>& d, const Input* only,
                              std::vector<Problem>& out) const = 0;

  // The ray table of a design of this family.
  virtual RayTable<float> synthesize(const Design<float>& d, const SynthesisOptions& o) const = 0;
  virtual RayTable<double> synthesize(const Design<double>& d, const SynthesisOptions& o) const = 0;
};

// Every family; the first is the one a design has when it names none.
std::span<const GeometryFamily* const> families();
const GeometryFamily* find_family(std::string_view name);
// The family of a design (a design names none yet: the first).
inline const GeometryFamily& family_of(const DesignSpec&) { return *families().front(); }

}  // namespace design
