// The text lines the program prints from design values: the normalised design
// in the listing file, the Taylor coefficient table, the ray table, the scaled
// table with the extrapolation, and the dimension listings.  Each function
// returns the lines without their line ends; the caller sends them to the
// console and the listing file.
#pragma once

#include <string>
#include <vector>

#include "design/choices.h"
#include "design/scaled.h"
#include "design/synthesis.h"

namespace writers {

using Lines = std::vector<std::string>;

// The normalised design, block by block as the dialog completes it.
template <design::RealType Real>
Lines geometry_lines(const design::Design<Real>& in);
template <design::RealType Real>
std::string subtended_angle_line(const design::Design<Real>& in);
template <design::RealType Real>
std::string feed_line(const design::Design<Real>& in);
// The sampling of a feed table in words: "361 angles every 0.5 deg to 180 deg".
std::string feed_sampling(const design::FeedTable& t);
template <design::RealType Real>
Lines distribution_lines(const design::Aperture<Real>& aperture);
template <design::RealType Real>
Lines interval_lines(const design::Design<Real>& in);

// The console table of the unnormalised Taylor coefficients.
template <design::RealType Real>
Lines taylor_table(const design::Aperture<Real>& aperture);

// The ray table: a header block of four lines and one row per ray.
Lines ray_table_header();
template <design::RealType Real>
std::string ray_row(const design::Ray<Real>& ray);

// A number without the blanks its field puts before it.
std::string trimmed(const std::string& field);

// The design scaled to the main-reflector diameter.
template <design::RealType Real>
Lines scaled_table_header(Real main_diameter);
template <design::RealType Real>
std::string scaled_row(const design::ScaledDesign<Real>& s, std::size_t i);
template <design::RealType Real>
std::string sub_diameter_line(Real sub_rim_diameter);
template <design::RealType Real>
Lines extrapolation_lines(Real new_diameter, Real rim_z);

// A dimension listing of one reflector.
template <design::RealType Real>
std::string radius_range_line(const design::Profile<Real>& p);
template <design::RealType Real>
Lines listing_header(design::Reflector which, Real diameter);
template <design::RealType Real>
std::string listing_row(Real radius, Real height);

}  // namespace writers
