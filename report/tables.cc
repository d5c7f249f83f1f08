// The report's tables: the CSV files beside the figures, and the physical
// optics' cuts as CSV and in the feed files' cut format.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "report/parts.h"

namespace report {

using namespace analysis;
using fields::fixed;

std::string feed_csv(const DesignInput& d) {
  std::ostringstream o;
  const FeedCurve f = feed_curve(d);
  o << "theta_deg,power_db\n";
  // A feed that radiates nothing at an angle has no level there: its cell is empty.
  for (std::size_t i = 0; i < f.theta_deg.size(); ++i)
    o << num(f.theta_deg[i]) << ',' << (f.power_db[i] > kFloorDb ? num(f.power_db[i]) : std::string()) << '\n';
  return o.str();
}

// The aperture figure's curves at evenly spaced radii; a curve that does not
// reach a radius, or gives it no power, leaves its cells empty there.
std::string aperture_csv(const Report& r, const DesignInput& d) {
  std::ostringstream o;
  const auto level = [](double density) { return density > 0 ? num(db(density)) : std::string(); };
  const auto value = [](double density) { return std::isfinite(density) ? num(density) : std::string(); };
  o << "radius,normalised_radius,wanted_db,design_db,written_db,wanted_density,design_density,written_density\n";
  for (const AperturePoint& p : aperture_samples(r, d))
    o << num(p.rho * r.aperture_radius) << ',' << num(p.rho) << ',' << level(p.wanted) << ',' << level(p.design) << ','
      << level(p.written) << ',' << value(p.wanted) << ',' << value(p.design) << ',' << value(p.written) << '\n';
  return o.str();
}

std::string pattern_csv(const Report& r) {
  std::ostringstream o;
  o << "theta_deg,delivered_db,unblocked_db,ideal_db\n";
  const std::size_t n = std::min({r.delivered.theta_deg.size(), r.unblocked.level_db.size(), r.ideal.level_db.size()});
  for (std::size_t i = 0; i < n; ++i)
    o << num(r.delivered.theta_deg[i]) << ',' << num(r.delivered.level_db[i]) << ',' << num(r.unblocked.level_db[i]) << ','
      << num(r.ideal.level_db[i]) << '\n';
  return o.str();
}

std::string path_csv(const Report& r) {
  std::ostringstream o;
  o << "surfaces,radius,normalised_radius,feed_angle_deg,path_error_wavelengths,direction_error_deg,vertex_ring\n";
  const auto rows = [&](const Report& x, const char* surfaces) {
    for (std::size_t i : by_radius(x))
      o << surfaces << ',' << num(x.ray_rho[i] * x.aperture_radius) << ',' << num(x.ray_rho[i]) << ','
        << num(x.ray_theta_deg[i]) << ',' << num(x.ray_path_error_wavelengths[i]) << ','
        << num(x.ray_direction_error_deg[i]) << ',' << (x.ray_in_vertex_ring[i] ? 1 : 0) << '\n';
  };
  rows(r, r.traces_design ? "design" : "written");
  if (r.as_written) rows(*r.as_written, "written");
  return o.str();
}

std::string geometry_csv(const DesignInput& d) {
  std::ostringstream o;
  o << "reflector,r,z\n";
  for (std::size_t i = 0; i < d.sub_r.size(); ++i) o << "sub," << num(d.sub_r[i]) << ',' << num(d.sub_z[i]) << '\n';
  for (std::size_t i = 0; i < d.main_r.size(); ++i) o << "main," << num(d.main_r[i]) << ',' << num(d.main_z[i]) << '\n';
  return o.str();
}

// The physical optics' cuts: co- and cross-polar directivity in dBi in the
// 0, 45 and 90 degree planes; a field of zero (the cross-polar field of the
// principal planes) has no level and leaves its cell empty.
std::string po_pattern_csv(const PhysicalOptics& p) {
  std::ostringstream o;
  o << "theta_deg";
  for (const po::Cut& c : p.result.cuts) o << ",co_" << num(c.phi_deg) << "_dbi,cross_" << num(c.phi_deg) << "_dbi";
  o << '\n';
  const auto dbi = [](const po::Complex& f) {
    const double power = std::norm(f);
    return power > 0 ? num(10.0 * std::log10(power)) : std::string();
  };
  for (std::size_t i = 0; i < p.result.theta_deg.size(); ++i) {
    o << num(p.result.theta_deg[i]);
    for (const po::Cut& c : p.result.cuts) o << ',' << dbi(c.co[i]) << ',' << dbi(c.cross[i]);
    o << '\n';
  }
  return o.str();
}

// The same cuts in the plain-text cut format the feed files use: per cut
// and per uniform stretch of its angles a block, a line of text, then V_INI
// V_INC V_NUM C ICOMP ICUT NCOMP (linear co/cross, polar, two components),
// then the two complex components per angle, scaled so that their power is
// the directivity.  A cut's later blocks continue its angles where the one
// before ends.
std::string po_pattern_cut(const PhysicalOptics& p) {
  std::ostringstream o;
  char line[160];
  for (const po::Cut& c : p.result.cuts) {
    for (std::size_t b = 0; b < p.result.stretches.size(); ++b) {
      const po::Stretch& st = p.result.stretches[b];
      const double last = st.first_deg + static_cast<double>(st.count - 1) * st.step_deg;
      o << "RAVOST physical optics, D/lambda " << num(p.d_over_lambda, 6) << ", phi = " << fixed(c.phi_deg, 1)
        << " deg, co and cross polar (third definition), power = directivity, " << num(st.first_deg, 6) << " to "
        << num(last, 6) << " deg (part " << b + 1 << " of " << p.result.stretches.size() << ")\n";
      std::snprintf(line, sizeof line, "%.15g %.15g %zu %.6f 3 1 2\n", st.first_deg, st.step_deg, st.count, c.phi_deg);
      o << line;
      for (std::size_t i = st.first; i < st.first + st.count; ++i) {
        std::snprintf(line, sizeof line, " %.8E %.8E %.8E %.8E\n", c.co[i].real(), c.co[i].imag(), c.cross[i].real(),
                      c.cross[i].imag());
        o << line;
      }
    }
  }
  return o.str();
}

}  // namespace report
