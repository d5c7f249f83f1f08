// Files for reflector-analysis tools: a rotationally symmetric surface file
// (label, count line, points r, z) and an object file describing a
// spline_circ_sym_reflector whose node heights are real_variable objects.
// Both sample the reflector's spline at equally spaced radii from its
// smallest to its largest radius.  Lines go to `out` without their ends.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "design/scaled.h"

namespace writers {

// Receives one line of a file, without its line end.
using LineSink = std::function<void(std::string_view)>;

// Object-file node numbers have at most three digits.
inline constexpr int kMaxObjectNodes = 999;

// Length units of the object file, in the order the user chooses them.
enum class LengthUnit { inch = 1, foot = 2, millimetre = 3, metre = 4 };

// A surface file: the label as A40, the count line, one line per point.
template <design::RealType Real>
void write_surface_file(const LineSink& out, const design::Profile<Real>& p, int points,
                        std::string_view label);

// The head of an object file: the focal point to which the reflector's Z
// offset refers.
void write_object_head(const LineSink& out);
// The rest of an object file: one variable per node (at most 999), the
// reflector object and its node table.
template <design::RealType Real>
void write_object_body(const LineSink& out, const design::Profile<Real>& p, int points,
                       design::Reflector which, LengthUnit unit);

}  // namespace writers
