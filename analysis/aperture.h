// Integrals over a rotationally symmetric aperture: efficiencies and the
// scalar far field.  Radii are normalised to the aperture radius (rim = 1).
#pragma once

#include <complex>
#include <functional>
#include <utility>
#include <vector>

namespace analysis {

using ApertureField = std::function<std::complex<double>(double rho)>;
using Intervals = std::vector<std::pair<double, double>>;  // radial bands [from, to]

// Quadrature nodes (composite Gauss-Legendre) over radial bands, each node
// weighted with rho so that sums of f(rho) * weight are integrals of f over
// the aperture per 2 pi.
class ApertureQuadrature {
 public:
  explicit ApertureQuadrature(const Intervals& bands, int panels_per_unit = 48);
  // Integral of field * rho d rho over the bands.
  std::complex<double> integrate(const ApertureField& field) const;
  const std::vector<double>& rho() const { return rho_; }
  const std::vector<double>& weight() const { return weight_; }

 private:
  std::vector<double> rho_, weight_;
};

struct Pattern {
  std::vector<double> u;             // k a sin(theta)
  std::vector<double> theta_deg;
  std::vector<double> level_db;      // power relative to the peak
  double hpbw_deg = 0;               // full width at half power
  double first_null_deg = 0;         // first minimum beyond the main lobe
  double first_sidelobe_db = 0;      // negative
  double first_sidelobe_deg = 0;
  int sidelobes_found = 0;
};

// Far field E(theta) = int field(rho) J0(k a rho sin theta) rho d rho over the
// bands, from the axis out to half a lobe past the sidelobes-th sidelobe (or
// as far as k a sin(theta) <= u_max when u_max > 0).  d_over_lambda sets
// k a = pi D / lambda.
Pattern far_field(const ApertureField& field, const Intervals& bands, double d_over_lambda, double u_max = 0,
                  int sidelobes = 10);

// Pattern for the given samples u = k a sin(theta) only (no derived figures).
Pattern far_field_on(const ApertureField& field, const Intervals& bands, double d_over_lambda,
                     const std::vector<double>& u);

// |int A dA|^2 / (area of the whole disc * int |A|^2 dA) over the bands.
double illumination_efficiency(const ApertureField& amplitude, const Intervals& bands);

}  // namespace analysis
