#include "writers/tables.h"

#include <algorithm>

#include "fields/fields.h"
#include "fields/prose.h"
#include "design/distributions.h"

namespace writers {

using fields::E;
using fields::F;
using fields::I;
using fields::X;

template <design::RealType Real>
Lines geometry_lines(const design::Design<Real>& in) {
  return {" Normalized Shaped Axisymmetric Dual ADE Reflector",
          "",
          " Supplement to Tarnwick by Quessary",
          "",
          " Main Hole to Feed along axis:        " + F(in.main_hole_to_feed, 8, 4),
          " Feed to Subreflector Rim along axis: " + F(in.feed_to_sub_rim, 8, 4),
          " Subreflector max. radius:            " + F(in.sub_radius, 8, 4),
          " Main reflector inner radius:         " + F(in.main_inner_radius, 8, 4),
          " Feed Half Subtended Angle:           " + F(in.feed_half_angle_deg, 8, 3)};
}

template <design::RealType Real>
std::string subtended_angle_line(const design::Design<Real>& in) {
  return " Subreflector subtended angle: " +
         F(Real(2) * in.feed_half_angle_rad / design::Constants<Real>::deg, 8, 2);
}

std::string feed_sampling(const design::FeedTable& t) {
  const std::size_t n = t.theta_deg.size();
  if (n < 2) return std::to_string(n).append(" angles");
  const double first_step = t.theta_deg[1] - t.theta_deg[0];
  double least = first_step, most = first_step;
  for (std::size_t i = 2; i < n; ++i) {
    const double step = t.theta_deg[i] - t.theta_deg[i - 1];
    least = std::min(least, step);
    most = std::max(most, step);
  }
  const bool even = most - least <= 1e-6 * most;
  std::string text = std::to_string(n);
  text += " angles ";
  if (even) {
    text += "every ";
    text += fields::number(first_step);
  } else {
    text += "in steps of ";
    text += fields::number(least);
    text += " to ";
    text += fields::number(most);
  }
  text += " deg to ";
  text += fields::number(t.theta_deg.back());
  text += " deg";
  return text;
}

template <design::RealType Real>
std::string feed_line(const design::Design<Real>& in) {
  const design::FeedModel<Real>& m = in.feed_model;
  switch (m.kind) {
    case design::FeedModelKind::beamwidth:
      break;
    case design::FeedModelKind::gaussian:
      return " Gaussian feed taper dB: " + F(m.taper_db, 5, 1) + " at angle: " +
             F(m.taper_angle_rad / design::Constants<Real>::deg, 6, 2);
    case design::FeedModelKind::table:
    case design::FeedModelKind::cut:
      if (!m.source) return " Feed pattern: none";
      return " Feed pattern: " + m.source->source + ", " + feed_sampling(*m.source);
  }
  return " Feed beamwidth: " + F(in.feed.beamwidth_deg, 6, 2) + " level dB: " +
         F(in.feed.level_db, 5, 1);
}

template <design::RealType Real>
Lines distribution_lines(const design::Aperture<Real>& a) {
  switch (a.kind) {
    case design::Distribution::uniform:
      return {" Uniform aperture distribution"};
    case design::Distribution::gaussian:
      return {" Gaussian aperture distribution edge taper dB: " + F(a.edge_taper_db, 5, 1)};
    case design::Distribution::taylor:
      return {"",
              " Taylor Circular Aperture Distribution",
              "",
              " Sidelobe Level (dB):           " + F(a.sidelobe_level_db, 7, 2),
              " First Unchanged Zero, NB:      " + I(a.nbar, 7)};
    default:
      break;
  }
  // A distribution the dialog does not offer: its title and figures.
  const design::DistributionKind* kind = design::find_distribution(a.kind);
  if (kind == nullptr) return {};
  std::string line = " Aperture distribution " + std::string(kind->title());
  for (const auto& [label, value] : kind->figures(kind->spec_of(a))) {
    line += ", " + std::string(label) + " " + fields::number(value);
  }
  return {line};
}

template <design::RealType Real>
Lines interval_lines(const design::Design<Real>& in) {
  return {" Calculation Main Aperture interval: " + F(in.calc_interval_answer, 8, 3),
          " Output Aperture Interval: " + F(in.output_interval_answer, 8, 3)};
}

template <design::RealType Real>
Lines taylor_table(const design::Aperture<Real>& a) {
  Lines lines = {"", " UNNORMALIZED COEFFICIENTS", " NO." + X(2) + " COEFFICIENT"};
  for (int m = 1; m <= a.nbar && m <= design::kMaxNbar; ++m) {
    lines.push_back(I(m, 3) + X(2) + E(a.unnormalised[m - 1], 15, 6));
  }
  return lines;
}

Lines ray_table_header() {
  return {"", X(1) + " Feed" + X(5) + " Subreflector" + X(5) + " Main Reflector",
          X(1) + " Angle" + X(5) + " Z" + X(6) + " Radius" + X(5) + " Z" + X(6) + " Radius" +
              " Path length",
          ""};
}

template <design::RealType Real>
std::string ray_row(const design::Ray<Real>& ray) {
  // F7.2, four times 2X F8.5, 1PE12.5
  std::string row;
  row.reserve(64);
  row += F(ray.feed_angle_deg, 7, 2);
  for (Real value : {ray.sub_z, ray.sub_r, ray.main_z, ray.main_r}) {
    row += X(2);
    row += F(value, 8, 5);
  }
  row += E(ray.path_length, 12, 5);
  return row;
}

std::string trimmed(const std::string& field) {
  return field.substr(std::min(field.find_first_not_of(' '), field.size()));
}

template <design::RealType Real>
Lines scaled_table_header(Real main_diameter) {
  return {"",
          " Design scaled to Diameter = " + F(main_diameter, 8, 3),
          "",
          " Subreflector dimensions  Main Reflector dimensions",
          "    Radius      Z-axis         Radius     Z-axis",
          ""};
}

template <design::RealType Real>
std::string scaled_row(const design::ScaledDesign<Real>& s, std::size_t i) {
  return F(s.sub_r[i], 10, 3) + F(s.sub_z[i], 12, 3) + F(s.main_r[i], 15, 3) +
         F(s.main_z[i], 11, 3);
}

template <design::RealType Real>
std::string sub_diameter_line(Real sub_rim_diameter) {
  return " Subreflector diameter = " + F(sub_rim_diameter, 9, 3);
}

template <design::RealType Real>
Lines extrapolation_lines(Real new_diameter, Real rim_z) {
  return {" Subreflector extrapolated to diameter = " + F(new_diameter, 9, 3),
          " Subreflector Rim Z-axis = " + F(rim_z, 9, 3)};
}

template <design::RealType Real>
std::string radius_range_line(const design::Profile<Real>& p) {
  return " Radius min: " + F(p.first_radius(), 8, 3) + " max: " + F(p.last_radius(), 8, 3);
}

template <design::RealType Real>
Lines listing_header(design::Reflector which, Real diameter) {
  if (which == design::Reflector::main) {
    return {"", " Main reflector diameter: " + F(diameter, 9, 3), "", " Main Reflector",
            "   Radius    Z-axis"};
  }
  return {"", " Subreflector diameter: " + F(diameter, 9, 3), "", "  Subeflector",
          "   Radius    Z-axis"};
}

template <design::RealType Real>
std::string listing_row(Real radius, Real height) {
  return F(radius, 9, 4) + F(height, 10, 4);
}

#define RAVOST_INSTANTIATE(Real)                                                            \
  template Lines geometry_lines<Real>(const design::Design<Real>&);                   \
  template std::string subtended_angle_line<Real>(const design::Design<Real>&);       \
  template std::string feed_line<Real>(const design::Design<Real>&);                  \
  template Lines distribution_lines<Real>(const design::Aperture<Real>&);                   \
  template Lines interval_lines<Real>(const design::Design<Real>&);                   \
  template Lines taylor_table<Real>(const design::Aperture<Real>&);                         \
  template std::string ray_row<Real>(const design::Ray<Real>&);                             \
  template Lines scaled_table_header<Real>(Real);                                           \
  template std::string scaled_row<Real>(const design::ScaledDesign<Real>&, std::size_t);    \
  template std::string sub_diameter_line<Real>(Real);                                       \
  template Lines extrapolation_lines<Real>(Real, Real);                                     \
  template std::string radius_range_line<Real>(const design::Profile<Real>&);               \
  template Lines listing_header<Real>(design::Reflector, Real);                             \
  template std::string listing_row<Real>(Real, Real);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

}  // namespace writers
