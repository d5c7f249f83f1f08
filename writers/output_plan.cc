#include "writers/output_plan.h"

#include <cmath>

namespace writers {
namespace {

using design::Input;
using design::Problem;

Problem out_of_range(Input input, double value, double lo, double hi) {
  Problem p{input, Problem::Fault::out_of_range};
  p.value = value;
  p.limit = lo;
  p.upper = hi;
  return p;
}

void check_name(const std::string& name, int width, std::vector<Problem>& out) {
  if (name.empty() || static_cast<int>(name.size()) > width) {
    Problem p{Input::file_name, Problem::Fault::unusable};
    p.value = static_cast<double>(name.size());
    p.limit = width;
    out.push_back(p);
  }
}

}  // namespace

std::optional<Problem> surface_points_problem(int points) {
  if (points >= 1 && points <= kMaxSurfacePoints) return std::nullopt;
  return out_of_range(Input::surface_points, points, 1, kMaxSurfacePoints);
}

std::optional<Problem> spline_points_problem(int points) {
  if (points >= kMinObjectPoints && points <= kMaxObjectNodes) return std::nullopt;
  return out_of_range(Input::spline_points, points, kMinObjectPoints, kMaxObjectNodes);
}

std::optional<Problem> length_unit_problem(int choice) {
  if (choice >= 1 && choice <= 4) return std::nullopt;
  return out_of_range(Input::length_unit, choice, 1, 4);
}

std::vector<Problem> validate(const OutputPlan& plan) {
  std::vector<Problem> out;
  if (plan.figure_file) check_name(*plan.figure_file, kPlotNameWidth, out);
  if (!(plan.diameter > 0) || !std::isfinite(plan.diameter)) {
    Problem p{Input::diameter, Problem::Fault::unusable};
    p.value = plan.diameter;
    out.push_back(p);
  }
  if (plan.extrapolated_sub_diameter && !std::isfinite(*plan.extrapolated_sub_diameter)) {
    Problem p{Input::extrapolation, Problem::Fault::unusable};
    p.value = *plan.extrapolated_sub_diameter;
    out.push_back(p);
  }
  for (const auto* listing : {&plan.main_listing, &plan.sub_listing}) {
    if (!*listing) continue;
    const ListingRequest& l = **listing;
    if (!std::isfinite(l.start) || !std::isfinite(l.stop) || !std::isfinite(l.step)) {
      out.push_back(Problem{Input::listing, Problem::Fault::unusable});
    }
  }
  for (const auto* surface : {&plan.main_surface, &plan.sub_surface}) {
    if (!*surface) continue;
    check_name((*surface)->file, kFileNameWidth, out);
    if (auto p = surface_points_problem((*surface)->points)) out.push_back(*p);
    if (static_cast<int>((*surface)->label.size()) > kLabelWidth) {
      Problem p{Input::label, Problem::Fault::unusable};
      p.value = static_cast<double>((*surface)->label.size());
      p.limit = kLabelWidth;
      out.push_back(p);
    }
  }
  for (const auto* object : {&plan.main_object, &plan.sub_object}) {
    if (!*object) continue;
    check_name((*object)->file, kFileNameWidth, out);
    if (auto p = length_unit_problem(static_cast<int>((*object)->unit))) out.push_back(*p);
    if (auto p = spline_points_problem((*object)->points)) out.push_back(*p);
  }
  return out;
}

}  // namespace writers
