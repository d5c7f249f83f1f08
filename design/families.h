// The geometry families, each described in one place: its name, its keys
// and their checks, its comment in design files and its synthesis.  The
// first, "ade" (the displaced-axis dual reflector with an elliptic generating
// arc, the configuration the established synthesis shapes), is the default;
// the others are the centre-fed Cassegrain and Gregorian and the
// displaced-axis adc, adh and adg.  Every family takes the same four keys,
// in units of the main reflector's outer radius.
#pragma once

#include <span>
#include <string>
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
// The family a design names (one that names no known family: the first).
inline const GeometryFamily& family_of(const DesignSpec& s) {
  const GeometryFamily* f = find_family(s.geometry.family);
  return f != nullptr ? *f : *families().front();
}
// The family names, in the order of families(), for messages.
std::string family_names();

}  // namespace design
