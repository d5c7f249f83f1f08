#include "writers/files.h"

#include <algorithm>

#include "fields/fields.h"

namespace writers {
namespace {

// Names of one reflector's node variables and object.
struct ObjectNames {
  std::string_view variable_prefix;
  std::string_view object_name;
};

ObjectNames object_names(design::Reflector which) {
  if (which == design::Reflector::main) return {"zmain", "main_reflector"};
  return {"zsub", "sub_reflector"};
}

std::string_view unit_word(LengthUnit unit) {
  switch (unit) {
    case LengthUnit::inch:
      return " in";
    case LengthUnit::foot:
      return " ft";
    case LengthUnit::millimetre:
      return " mm";
    case LengthUnit::metre:
      return " m ";
  }
  return " m ";
}

}  // namespace

template <design::RealType Real>
void write_surface_file(const LineSink& out, const design::Profile<Real>& p, int points,
                        std::string_view label) {
  out(fields::A(label, 40));
  out(fields::I(points, 4) + fields::I(1, 4) + fields::I(0, 4));
  const Real step = design::sample_step(p, points);
  for (int i = 1; i <= points; ++i) {
    const Real r = design::sample_radius(p, step, i);
    out(fields::E(r, 13, 6) + fields::E(p.height(r), 14, 6));
  }
}

void write_object_head(const LineSink& out) {
  out("z_focal_point   real_variable");
  out("(");
  out("  value    : 0.0");
  out(")");
  out("");
}

template <design::RealType Real>
void write_object_body(const LineSink& out, const design::Profile<Real>& p, int points,
                       design::Reflector which, LengthUnit unit) {
  const Real step = design::sample_step(p, points);
  // Points past the last number that fits are left out; the radii of those
  // written do not depend on how many more were asked for.
  const int written = std::min(points, kMaxObjectNodes);
  const ObjectNames names = object_names(which);
  const std::string prefix(names.variable_prefix);
  const std::string unit_text(unit_word(unit));
  for (int i = 1; i <= written; ++i) {
    const Real z = p.height(design::sample_radius(p, step, i));
    out(prefix + std::to_string(i) + "   real_variable");
    out("(");
    out("   value    : " + fields::E(z, 13, 6));
    out(")");
    out("");
  }
  out(std::string(names.object_name) + "  spline_circ_sym_reflector");
  out("(");
  out("  z_offset" + fields::X(9) + ": \"ref(z_focal_point)\"" + unit_text + ",");
  out("  length_unit" + fields::X(6) + ":" + unit_text + ",");
  out("  nodes" + fields::X(12) + ": table");
  out("    (");
  for (int i = 1; i <= written; ++i) {
    const Real r = design::sample_radius(p, step, i);
    out("    " + fields::E(r, 13, 6) + "   \"ref(" + prefix + std::to_string(i) + ")\"");
  }
  out("    )");
  out(")");
  out("");
}

#define RAVOST_INSTANTIATE(Real)                                                             \
  template void write_surface_file<Real>(const LineSink&, const design::Profile<Real>&, int,  \
                                         std::string_view);                                  \
  template void write_object_body<Real>(const LineSink&, const design::Profile<Real>&, int,   \
                                        design::Reflector, LengthUnit);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

}  // namespace writers
