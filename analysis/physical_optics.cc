#include "analysis/physical_optics.h"

#include <algorithm>
#include <boost/math/quadrature/gauss.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>
#include <boost/math/special_functions/detail/bessel_j0.hpp>
#include <boost/math/special_functions/detail/bessel_j1.hpp>
#include <cmath>
#include <stdexcept>
#include <thread>

namespace analysis::po {
namespace {

constexpr double kDeg = 180.0 / M_PI;
constexpr Complex kJ(0.0, 1.0);

// A ring of a profile: a quadrature node along it, its unit normal on the
// lit side, and its weight rho ds (the azimuthal integral apart).
struct Node {
  double r = 0, z = 0, nr = 0, nz = 0, w = 0;
};

// Surface current on a ring: rho^ a cos + phi^ b sin + z^ c cos.
struct Current {
  Node at;
  Complex a, b, c;
};

// Field on a ring: E = (e_rho cos, e_phi sin, e_z cos), H = (h_rho sin, h_phi cos, h_z sin).
using Field = NearField;

// Runs f(i) for every i < n on `threads` threads, interleaved, so that
// every i is done the same way whatever the number of threads.
template <typename F>
void parallel_for(std::size_t n, int threads, const F& f) {
  const std::size_t t = std::max<std::size_t>(1, std::min<std::size_t>(static_cast<std::size_t>(threads), n));
  if (t == 1) {
    for (std::size_t i = 0; i < n; ++i) f(i);
    return;
  }
  std::vector<std::thread> pool;
  for (std::size_t k = 0; k < t; ++k)
    pool.emplace_back([&, k] {
      for (std::size_t i = k; i < n; i += t) f(i);
    });
  for (std::thread& th : pool) th.join();
}

int thread_count(const Sampling& s) {
  if (s.threads > 0) return s.threads;
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// Gauss-Legendre nodes and weights of `order` points on [-1, 1].
void legendre(int order, std::vector<double>& x, std::vector<double>& w) {
  x.clear(), w.clear();
  const auto fill = [&](const auto& abscissa, const auto& weight) {
    for (std::size_t i = abscissa.size(); i-- > 0;)
      if (abscissa[i] != 0) x.push_back(-abscissa[i]), w.push_back(weight[i]);
    for (std::size_t i = 0; i < abscissa.size(); ++i) x.push_back(abscissa[i]), w.push_back(weight[i]);
  };
  switch (order) {
    case 4: fill(boost::math::quadrature::gauss<double, 4>::abscissa(), boost::math::quadrature::gauss<double, 4>::weights()); break;
    case 6: fill(boost::math::quadrature::gauss<double, 6>::abscissa(), boost::math::quadrature::gauss<double, 6>::weights()); break;
    case 8: fill(boost::math::quadrature::gauss<double, 8>::abscissa(), boost::math::quadrature::gauss<double, 8>::weights()); break;
    case 10: fill(boost::math::quadrature::gauss<double, 10>::abscissa(), boost::math::quadrature::gauss<double, 10>::weights()); break;
    default: throw std::invalid_argument("physical optics: Gauss-Legendre order must be 4, 6, 8 or 10");
  }
}

// Quadrature rings along a reflector: panels of `order` nodes, each panel
// about order / per_wavelength wavelengths of arc long.
// A panel edge falls on `split` when it lies inside the profile: the main
// reflector's currents stop radiating forwards there (the subreflector's
// shadow), and a quadrature panel across that step would lose its accuracy.
std::vector<Node> rings(const Reflector& rf, double wavelength, const Sampling& s, double split = 0.0) {
  std::vector<double> gx, gw;
  legendre(s.order, gx, gw);
  const double arc = wavelength * s.order / (s.per_wavelength * s.factor);
  const Surface& p = *rf.profile;
  const auto stretch = [&](double r) { return std::sqrt(1.0 + p.slope(r) * p.slope(r)); };
  std::vector<double> edges{rf.r_begin};
  for (const double end : {split, rf.r_end}) {
    if (!(end > edges.back() && end <= rf.r_end)) continue;
    while (edges.back() < end) {
      const double r = edges.back();
      double dr = arc / stretch(r);
      dr = arc / stretch(std::min(r + 0.5 * dr, end));
      // Panels of nearly equal arc up to the end; the last one is not left a sliver.
      if (r + 1.5 * dr >= end) dr = end - r;
      edges.push_back(std::min(r + dr, end));
      if (edges.size() > 10000000) throw std::invalid_argument("physical optics: too many nodes along a profile");
    }
  }
  std::vector<Node> out;
  out.reserve((edges.size() - 1) * gx.size());
  for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
    const double mid = 0.5 * (edges[i] + edges[i + 1]), half = 0.5 * (edges[i + 1] - edges[i]);
    for (std::size_t q = 0; q < gx.size(); ++q) {
      Node n;
      n.r = mid + half * gx[q];
      n.z = p.value(n.r);
      const double slope = p.slope(n.r), norm = std::sqrt(1.0 + slope * slope);
      n.nr = (rf.lit_from_below ? slope : -slope) / norm;
      n.nz = (rf.lit_from_below ? -1.0 : 1.0) / norm;
      n.w = gw[q] * half * n.r * norm;
      out.push_back(n);
    }
  }
  return out;
}

// A Gauss-Laguerre rule for the weight x^{-1/2} e^{-x} on (0, infinity):
// with x = y^2 it is the Gauss-Hermite rule of 2n points folded onto its
// positive half, nodes y_i^2 and weights twice w_i.  The Hermite nodes by
// Newton's method on the orthonormal recurrence, in long double.
struct HalfLaguerre {
  std::vector<double> x, w;
};

HalfLaguerre half_laguerre(int n) {
  const int m = 2 * n;
  const long double pi_quarter = 0.751125544464942483862L;  // pi^(-1/4)
  std::vector<long double> y;
  HalfLaguerre out;
  long double z = 0;
  for (int i = 0; i < n; ++i) {  // from the largest node down
    if (i == 0) z = std::sqrt(2.0L * m + 1) - 1.85575L * std::pow(2.0L * m + 1, -0.16667L);
    else if (i == 1) z -= 1.14L * std::pow(static_cast<long double>(m), 0.426L) / z;
    else if (i == 2) z = 1.86L * z - 0.86L * y[0];
    else if (i == 3) z = 1.91L * z - 0.91L * y[1];
    else z = 2.0L * z - y[static_cast<std::size_t>(i) - 2];
    long double derivative = 0;
    for (int it = 0; it < 100; ++it) {
      long double p1 = pi_quarter, p2 = 0;
      for (int j = 1; j <= m; ++j) {
        const long double p3 = p2;
        p2 = p1;
        p1 = z * std::sqrt(2.0L / j) * p2 - std::sqrt((j - 1.0L) / j) * p3;
      }
      derivative = std::sqrt(2.0L * m) * p2;
      const long double dz = p1 / derivative;
      z -= dz;
      if (std::fabs(dz) <= 1e-18L * z) break;
    }
    y.push_back(z);
    out.x.push_back(static_cast<double>(z * z));
    out.w.push_back(static_cast<double>(4.0L / (derivative * derivative)));
  }
  std::reverse(out.x.begin(), out.x.end());
  std::reverse(out.w.begin(), out.w.end());
  return out;
}

struct FeedField {
  double e = 0, h = 0, e_phase = 0, h_phase = 0;
};

FeedField feed_at(const Feed& f, double theta) {
  if (theta > f.last_angle) return {};
  return {f.e_plane(theta), f.h_plane(theta), f.e_phase ? f.e_phase(theta) : 0.0,
          f.h_phase ? f.h_phase(theta) : 0.0};
}

// The feed's far field at a point (r, z) of the meridian plane.
Field feed_field(const Feed& feed, double k, double r, double z) {
  const double zf = z - feed.z;  // seen from the phase centre
  const double dist = std::hypot(r, zf), theta = std::atan2(r, zf);
  const FeedField f = feed_at(feed, theta);
  // The E plane's part (E_theta, H_phi) and the H plane's (E_phi, H_theta),
  // each with its plane's phase.
  const Complex ge = std::polar(1.0 / dist, f.e_phase - k * dist);
  const Complex gh = f.h_phase == f.e_phase ? ge : std::polar(1.0 / dist, f.h_phase - k * dist);
  const double ct = std::cos(theta), st = std::sin(theta);
  Field out;
  out.e_rho = ge * (f.e * ct);
  out.e_z = ge * (-f.e * st);
  out.e_phi = gh * (-f.h);
  out.h_rho = gh * (f.h * ct);
  out.h_phi = ge * f.e;
  out.h_z = gh * (-f.h * st);
  return out;
}

// Adds field g to field f.
void add(Field& f, const Field& g) {
  f.e_rho += g.e_rho, f.e_phi += g.e_phi, f.e_z += g.e_z;
  f.h_rho += g.h_rho, f.h_phi += g.h_phi, f.h_z += g.h_z;
}

// Physical-optics current 2 n x H on a lit ring.
Current po_current(const Node& n, const Field& f) {
  return {n, -2.0 * n.nz * f.h_phi, 2.0 * (n.nz * f.h_rho - n.nr * f.h_z), 2.0 * n.nr * f.h_phi};
}

// Power a ring intercepts from a field arriving on its lit side:
// -1/2 Re of the Poynting vector's flux along the normal, over the ring.
double intercepted(const Node& n, const Field& f) {
  const Complex s_rho = f.e_phi * std::conj(f.h_z) - f.e_z * std::conj(f.h_phi);
  const Complex s_z = f.e_rho * std::conj(f.h_phi) - f.e_phi * std::conj(f.h_rho);
  return -0.5 * M_PI * n.w * (n.nr * s_rho.real() + n.nz * s_z.real());
}

// The azimuthal integrals of the radiation integral over one source ring,
// seen from a point (r, 0, z): with R(phi)^2 = A - B cos(phi), the moments
//   k1[p] = int_0^2pi K1 c^p dphi,  k2[p] = int K2 c^p,  k3[p] = int K3 c^p
// of c = cos(phi) against the kernels
//   K1 = G (1 - x^2 - j x), K2 = G (1 - 3x^2 - 3j x) / R^2, K3 = G (1 + j kR) / R^2,
// G = e^{-jkR} / (4 pi R), x = 1 / (kR).  Every geometric factor of the
// field of a current ring (a cos, b sin, c cos) is a polynomial of degree 3
// at most in c, so these eleven moments give the whole field.
struct Moments {
  Complex k1[3], k2[4], k3[4];
};

// The trapezoidal rule over [0, pi] (half weights at the ends) with `half`
// panels, doubled for the whole circle (the integrands are even): converges exponentially once it has more nodes than the
// integrand's azimuthal bandwidth k r rs / R.
void moments_by_trapezoid(double sum, double two, double k, int half, Moments& m) {
  const double step = M_PI / half, cstep = std::cos(step), sstep = std::sin(step);
  double c = 1.0, sn = 0.0;
  double a1r[3] = {}, a1i[3] = {}, a2r[4] = {}, a2i[4] = {}, a3r[4] = {}, a3i[4] = {};
  for (int n = 0; n <= half; ++n) {
    if (n > 0) {
      const double nc = c * cstep - sn * sstep;
      sn = sn * cstep + c * sstep;
      c = nc;
    }
    if (n == half) c = -1.0, sn = 0.0;
    const double weight = (n == 0 || n == half) ? step : 2.0 * step;
    const double r2 = std::max(sum - two * c, 1e-300), rr = std::sqrt(r2), kr = k * rr;
    const double g = weight / (4.0 * M_PI * rr);
    const double gr = g * std::cos(kr), gi = -g * std::sin(kr);  // e^{-jkR} / (4 pi R)
    const double x = 1.0 / kr, inv_r2 = 1.0 / r2;
    const double a1 = 1.0 - x * x, b1 = -x;
    const double k1r = gr * a1 - gi * b1, k1i = gr * b1 + gi * a1;
    const double a2 = (1.0 - 3.0 * x * x) * inv_r2, b2 = -3.0 * x * inv_r2;
    const double k2r = gr * a2 - gi * b2, k2i = gr * b2 + gi * a2;
    const double b3 = kr * inv_r2;
    const double k3r = gr * inv_r2 - gi * b3, k3i = gr * b3 + gi * inv_r2;
    double p = 1.0;
    for (int q = 0; q < 4; ++q) {
      if (q < 3) a1r[q] += k1r * p, a1i[q] += k1i * p;
      a2r[q] += k2r * p, a2i[q] += k2i * p;
      a3r[q] += k3r * p, a3i[q] += k3i * p;
      p *= c;
    }
  }
  for (int q = 0; q < 4; ++q) {
    if (q < 3) m.k1[q] = {a1r[q], a1i[q]};
    m.k2[q] = {a2r[q], a2i[q]};
    m.k3[q] = {a3r[q], a3i[q]};
  }
}

// The square root with a non-negative real part (the library's goes
// through hypot, guarding against overflow these moderate numbers never
// reach, at several times the cost).
Complex principal_sqrt(Complex z) {
  const double x = z.real(), y = z.imag(), m = std::sqrt(x * x + y * y);
  if (m == 0) return 0.0;
  if (x >= 0) {
    const double s = std::sqrt(0.5 * (m + x));
    return {s, 0.5 * y / s};
  }
  const double t = std::sqrt(0.5 * (m - x));
  return {0.5 * std::abs(y) / t, std::copysign(t, y)};
}

// The same moments by steepest descent.  R(phi) is stationary at both ends
// (phi = 0, R = R0 the nearest; phi = pi, R = R1 the farthest); in R the
// integral over [0, pi] (half the circle's) runs from R0 to R1, and the integrand is analytic below the real
// axis between them (its branch points +-R0, +-R1 and the pole 0 are on the
// axis), so it equals the path R = R0 - j t (t from 0 to infinity) minus the
// path R = R1 - j t.  Along each, e^{-jkR} = e^{-jk R_end} e^{-kt}, and
// dphi = 2 R dR / (B sin phi) with sin phi = sqrt(t) s(t), s analytic: a
// Gauss-Laguerre rule for the weight t^{-1/2} e^{-kt} integrates it with a
// fixed number of nodes for any k, accurately once the nearest singularity
// (R = 0, or the other end) lies many 1/k away from the path.
void moments_by_descent(double r_near, double r_far, double two, double k, const HalfLaguerre& rule, Moments& m) {
  const double sqrt_k = std::sqrt(k), inv_two = 1.0 / two;
  for (int end = 0; end < 2; ++end) {
    const bool near = end == 0;
    const double re = near ? r_near : r_far;
    // Twice (the whole circle) -j / (2 pi B) e^{-jk R_end} / sqrt(k), the
    // path from R1 taken with a minus.
    const Complex lead = std::polar((near ? 1.0 : -1.0) / (M_PI * two * sqrt_k), -k * re - 0.5 * M_PI);
    for (std::size_t i = 0; i < rule.x.size(); ++i) {
      const double t = rule.x[i] / k;
      const Complex tt(t, 2.0 * re);
      const Complex w = t * tt * inv_two;  // c -+ 1
      // cos phi on the path, and sin phi / sqrt(t) (the branch with a
      // positive real part, which is the one continued from the real axis).
      const Complex c = near ? 1.0 + w : w - 1.0;
      const Complex s = principal_sqrt(near ? -tt * (2.0 + w) * inv_two : tt * (2.0 - w) * inv_two);
      const Complex rr(re, -t);
      const double norm = 1.0 / std::norm(rr);
      const Complex inv_r(rr.real() * norm, -rr.imag() * norm), inv_r2 = inv_r * inv_r, x = inv_r / k;
      const double sn = 1.0 / std::norm(s);
      const Complex weight = lead * (rule.w[i] * sn) * Complex(s.real(), -s.imag());
      const Complex k1 = weight * (1.0 - x * x - Complex(0.0, 1.0) * x);
      const Complex k2 = weight * (1.0 - 3.0 * x * x - Complex(0.0, 3.0) * x) * inv_r2;
      const Complex k3 = weight * (1.0 + Complex(0.0, k) * rr) * inv_r2;
      Complex p = 1.0;
      for (int q = 0; q < 4; ++q) {
        if (q < 3) m.k1[q] += k1 * p;
        m.k2[q] += k2 * p;
        m.k3[q] += k3 * p;
        p *= c;
      }
    }
  }
}

// How the azimuthal integrals are done: the trapezoid's nodes from the
// sampling, and steepest descent where its nodes' error is small.
struct Azimuth {
  Sampling sampling;
  HalfLaguerre rule, far_rule;  // the second from 4 descent_from on
  static int nodes(const Sampling& s, int n) { return std::max(1, static_cast<int>(std::ceil(s.factor * n))); }
  explicit Azimuth(const Sampling& s)
      : sampling(s), rule(half_laguerre(nodes(s, s.descent_nodes))), far_rule(half_laguerre(nodes(s, s.descent_nodes - 2))) {}
};

// Trapezoid nodes per radian of the kernels' peak width near the ring.
constexpr double kPeakNodes = 40.0;

// The moments over one source ring at radius rs seen from (r, 0, z) a
// height dz above it; `nodes` is set to the azimuthal nodes used.
Moments ring_moments(double r, double rs, double dz, double k, const Azimuth& az, int& nodes) {
  const Sampling& s = az.sampling;
  const double sum = r * r + rs * rs + dz * dz, two = 2.0 * r * rs;
  const double r_near = std::sqrt(std::max(sum - two, 1e-300)), r_far = std::sqrt(sum + two);
  Moments m;
  // The steepest-descent rule's accuracy is set by the distance (in 1/k)
  // from its paths to the nearest singularity: R = 0 or the other end.
  const double apart = k * std::min(r_near, two / (r_near + r_far));
  if (s.descent_nodes > 0 && two > 0 && apart >= s.descent_from) {
    const HalfLaguerre& rule = apart >= 4.0 * s.descent_from ? az.far_rule : az.rule;
    moments_by_descent(r_near, r_far, two, k, rule, m);
    nodes = 2 * static_cast<int>(rule.x.size());
    return m;
  }
  const double u = k * std::min({r, rs, r * rs / r_near});
  // Close to the ring the kernels peak at phi = 0 with a width of about
  // R0 / sqrt(r rs) radians: the trapezoid's nodes must resolve that too.
  const double peak = std::min(kPeakNodes * std::sqrt(r * rs) / r_near, 1e6);
  const int half = std::max(2, static_cast<int>(std::ceil(
                                   s.factor * 0.5 * std::max(u + s.extra_cbrt * std::cbrt(u) + s.extra, peak))));
  moments_by_trapezoid(sum, two, k, half, m);
  nodes = 2 * half;
  return m;
}

// Field at (r, 0, z) of currents on rings, by the whole radiation integral.
// The cos-type components come from the currents as they are; the sin-type
// ones are those at (r, 0, z) of the currents turned by 90 degrees (the
// same field turned back), so both take the same Green's function values,
// and each integrand is even in the source's azimuth: integrals over the
// circle of polynomials in cos(phi) against the kernels (Moments).
Field near_field(const std::vector<Current>& sources, double r, double z, double k, const Azimuth& az, int& most_nodes) {
  Complex ex, ez, hy, ey, hx, hz;
  for (const Current& src : sources) {
    if (src.at.w == 0) continue;
    const double a = r, b = src.at.r, dz = z - src.at.z;
    int nodes = 0;
    const Moments m = ring_moments(a, b, dz, k, az, nodes);
    most_nodes = std::max(most_nodes, nodes);
    const Complex* n1 = m.k1;
    const Complex* n2 = m.k2;
    const Complex* n3 = m.k3;
    // The source's geometric factors in c = cos(phi) (rx = a - b c,
    // ry = -b sin, rz = dz; s^2 = 1 - c^2), integrated:
    const double ab = a * b, aa = a * a, bb = b * b;
    const Complex s1 = n1[2], s2 = n1[0] - n1[2], s3 = n1[1];           // c^2, s^2, c against K1
    const Complex t1 = -ab * n2[3] + (aa + bb) * n2[2] - ab * n2[1];    // rx (a c^2 - b c)
    const Complex t2 = -ab * n2[3] + aa * n2[2] + ab * n2[1] - aa * n2[0];  // -a rx s^2
    const Complex t3 = dz * (a * n2[1] - b * n2[2]);                   // rx c dz
    const Complex t4 = dz * (a * n2[2] - b * n2[1]);                   // dz (a c^2 - b c)
    const Complex t5 = -a * dz * (n2[0] - n2[2]);                      // -a dz s^2
    const Complex t6 = dz * dz * n2[1];                                // dz^2 c
    const Complex t7 = -ab * n2[3] + bb * n2[2] + ab * n2[1] - bb * n2[0];  // b s^2 (a c - b)
    const Complex t8 = ab * (n2[1] - n2[3]);                           // a b c s^2
    const Complex t9 = b * dz * (n2[0] - n2[2]);                       // b dz s^2
    const Complex v1 = a * n3[1] - b * n3[2];                          // c rx
    const Complex v2 = dz * n3[2];                                     // c^2 dz
    const Complex v3 = dz * (n3[0] - n3[2]);                           // s^2 dz
    const Complex v4 = -b * (n3[0] - n3[2]);                           // -b s^2
    const Complex v5 = -b * (n3[1] - n3[3]);                           // -b c s^2
    const Complex v6 = a * (n3[0] - n3[2]) - b * (n3[1] - n3[3]);      // s^2 rx
    const Complex v7 = a * n3[2] - b * n3[3];                          // c^2 rx
    const Complex ca = src.a * src.at.w, cb = src.b * src.at.w, cz = src.c * src.at.w;
    // Currents as they are: J = (a c^2 - b s^2, (a + b) s c, cz c).
    ex += ca * s1 - cb * s2 - (ca * t1 + cb * t2 + cz * t3);
    ez += cz * s3 - (ca * t4 + cb * t5 + cz * t6);
    hy += cz * v1 - ca * v2 + cb * v3;
    // Turned: J' = (-(a + b) s c, -a s^2 + b c^2, -cz s).
    ey += -ca * s2 + cb * s1 - (ca * t7 + cb * t8 + cz * t9);
    hx += -ca * v3 + cb * v2 + cz * v4;
    hz += -(ca + cb) * v5 + ca * v6 - cb * v7;
  }
  const Complex minus_jk = -kJ * k;
  return {minus_jk * ex, minus_jk * ey, minus_jk * ez, hx, hy, hz};
}

// Hankel's asymptotic expansions of J0 and J1: J_n(u) = (P_n (cos w) -
// Q_n sin w) sqrt(2 / (pi u)), w = u - n pi / 2 - pi / 4, with P_n and Q_n
// the even and odd parts of sum_m (-j)^m a_m / u^m,
// a_m = a_{m-1} (4n^2 - (2m - 1)^2) / (8m); sixteen terms are within
// 1e-14 of the envelope from u = 20 on.
struct HankelSeries {
  static constexpr int kTerms = 8;
  double p0[kTerms], q0[kTerms], p1[kTerms], q1[kTerms];
  HankelSeries() {
    for (int n = 0; n < 2; ++n) {
      double a[2 * kTerms];
      a[0] = 1.0;
      for (int m = 1; m < 2 * kTerms; ++m) a[m] = a[m - 1] * (4.0 * n * n - (2.0 * m - 1) * (2.0 * m - 1)) / (8.0 * m);
      for (int m = 0; m < kTerms; ++m) {
        const double sign = m % 2 ? -1.0 : 1.0;
        (n ? p1 : p0)[m] = sign * a[2 * m];
        (n ? q1 : q0)[m] = sign * a[2 * m + 1];
      }
    }
  }
};
constexpr double kHankelFrom = 20.0;

}  // namespace

void bessel_j0_j1(double u, double& j0, double& j1) {
  if (!(u >= kHankelFrom)) {
    // The double rational approximations (the generic integer-order
    // routine takes the long double trigonometry).
    j0 = boost::math::detail::bessel_j0(u), j1 = boost::math::detail::bessel_j1(u);
    return;
  }
  // Far out both from one sine and cosine of u.
  static const HankelSeries h;
  const double y = 1.0 / u, y2 = y * y;
  double p0 = 0, q0 = 0, p1 = 0, q1 = 0;
  for (int m = HankelSeries::kTerms - 1; m >= 0; --m) {
    p0 = p0 * y2 + h.p0[m], q0 = q0 * y2 + h.q0[m];
    p1 = p1 * y2 + h.p1[m], q1 = q1 * y2 + h.q1[m];
  }
  q0 *= y, q1 *= y;
  const double sn = std::sin(u), cs = std::cos(u), f = 1.0 / std::sqrt(M_PI * u);
  // cos(u - pi/4) = (cs + sn) / sqrt 2, sin(u - pi/4) = (sn - cs) / sqrt 2,
  // and for J1 a quarter turn further.
  j0 = f * (p0 * (cs + sn) - q0 * (sn - cs));
  j1 = f * (p1 * (sn - cs) + q1 * (cs + sn));
}

namespace {

// Far field (r e^{jkr} E) of ring currents at angles theta: A = E_theta at
// phi = 0, B = -E_phi at phi = 90 degrees.  Rings inside `shadow` radiate
// only into theta > 90 degrees.
// Only the angles from `first` on, `count` of them, are done.
void add_far_field(const std::vector<Current>& currents, double k, double shadow, const std::vector<double>& theta,
                   std::size_t first, std::size_t count, int threads, std::vector<Complex>& a_out,
                   std::vector<Complex>& b_out) {
  parallel_for(count, threads, [&](std::size_t n) {
    const std::size_t i = first + n;
    const double t = theta[i], ct = std::cos(t), st = std::sin(t);
    const bool forward = t < 0.5 * M_PI;
    Complex a, b;
    for (const Current& j : currents) {
      if (j.at.w == 0 || (forward && j.at.r < shadow)) continue;
      const double u = k * j.at.r * st;
      double j0, j1;
      bessel_j0_j1(u, j0, j1);
      const double j2 = u > 1e-8 ? 2.0 * j1 / u - j0 : 0.0;
      const Complex ph = std::polar(j.at.w, k * j.at.z * ct);
      const Complex even = 0.5 * (j.a - j.b) * j0, odd = 0.5 * (j.a + j.b) * j2;
      a += ph * ((even - odd) * ct - kJ * j1 * j.c * st);
      b += ph * (even + odd);
    }
    const Complex factor = -kJ * k * 0.5;  // -jk / (4 pi) times the 2 pi of the azimuthal integral
    a_out[i] += factor * a;
    b_out[i] += factor * b;
  });
}

// Feed power between two angles: pi/2 times the integral of (E^2 + H^2) sin.
double feed_power(const Feed& f, double from, double to) {
  from = std::clamp(from, 0.0, f.last_angle), to = std::clamp(to, 0.0, f.last_angle);
  if (!(to > from)) return 0.0;
  const auto integrand = [&](double t) {
    const double e = f.e_plane(t), h = f.h_plane(t);
    return (e * e + h * h) * std::sin(t);
  };
  return 0.5 * M_PI * boost::math::quadrature::gauss_kronrod<double, 61>::integrate(integrand, from, to, 12, 1e-13);
}

// Angle from +z at which the feed sees the profile's point at radius r.
double cone_angle(const Surface& p, double r, double feed_z) { return std::atan2(r, p.value(r) - feed_z); }

void validate(const System& s, const Options& o) {
  if (!(s.wavelength > 0) || !std::isfinite(s.wavelength)) throw std::invalid_argument("physical optics: the wavelength must be positive");
  if (!s.feed.e_plane || !s.feed.h_plane) throw std::invalid_argument("physical optics: the feed needs E- and H-plane patterns");
  if (!(s.feed.last_angle > 0 && s.feed.last_angle <= M_PI)) throw std::invalid_argument("physical optics: the feed's last angle must lie in (0, 180] degrees");
  if (!std::isfinite(s.feed.z)) throw std::invalid_argument("physical optics: the feed's position is not a number");
  const auto check = [](const Reflector& r, const char* name) {
    if (!r.profile) throw std::invalid_argument(std::string("physical optics: the ") + name + " has no profile");
    if (!(r.r_begin >= 0 && r.r_end > r.r_begin) || !std::isfinite(r.r_end))
      throw std::invalid_argument(std::string("physical optics: the ") + name + "'s radii must increase from 0 or more");
  };
  check(s.main, "main reflector");
  if (s.sub) check(*s.sub, "subreflector");
  const Sampling& q = o.sampling;
  if (!(q.per_wavelength > 0 && q.factor > 0 && q.extra_cbrt >= 0 && q.extra >= 0 && q.per_lobe >= 2 &&
        q.descent_from >= 0 && (q.descent_nodes == 0 || q.descent_nodes >= 3) && q.descent_nodes * q.factor <= 200) ||
      !std::isfinite(q.per_wavelength * q.factor))
    throw std::invalid_argument("physical optics: the sampling must be positive");
  if (o.sidelobes < 1) throw std::invalid_argument("physical optics: the cuts must reach past one sidelobe at least");
}

// The currents the fields induce on the reflectors: on the subreflector
// from the feed, on the main reflector from the subreflector's near field
// (or the feed's far field without one); with the spillover past each and
// the samples used.
struct Currents {
  std::vector<Current> sub, main;
};

Currents induced_currents(const System& s, const Options& o, double k, int threads, Result& res) {
  const Sampling& q = o.sampling;
  Currents c;
  std::vector<Current>& sub_currents = c.sub;
  std::vector<Current>& main_currents = c.main;
  const std::vector<Node> main_nodes = rings(s.main, s.wavelength, q, s.shadow_radius);
  std::vector<Field> on_main(main_nodes.size());
  if (s.sub) {
    const std::vector<Node> sub_nodes = rings(*s.sub, s.wavelength, q);
    for (const Node& n : sub_nodes) sub_currents.push_back(po_current(n, feed_field(s.feed, k, n.r, n.z)));
    std::vector<int> most(main_nodes.size(), 0);
    const Azimuth az(q);
    // In blocks, so that the caller hears of the progress (and may stop it).
    const std::size_t block = 16 * static_cast<std::size_t>(threads);
    const int blocks = static_cast<int>((main_nodes.size() + block - 1) / block);
    for (int b = 0; b < blocks; ++b) {
      const std::size_t first = static_cast<std::size_t>(b) * block;
      const std::size_t count = std::min(block, main_nodes.size() - first);
      parallel_for(count, threads, [&](std::size_t i) {
        const Node& n = main_nodes[first + i];
        on_main[first + i] = near_field(sub_currents, n.r, n.z, k, az, most[first + i]);
      });
      if (o.progress) o.progress(b + 1, blocks + 1);
      if (o.check) o.check();
    }
    res.azimuth_nodes_max = *std::max_element(most.begin(), most.end());
    res.sub_nodes = static_cast<int>(sub_nodes.size());
    const double t0 = cone_angle(*s.sub->profile, s.sub->r_begin, s.feed.z);
    const double t1 = cone_angle(*s.sub->profile, s.sub->r_end, s.feed.z);
    const double on_sub = feed_power(s.feed, std::min(t0, t1), std::max(t0, t1));
    res.spillover_past_sub = 1.0 - on_sub / res.feed_power;
    double on_main_power = 0;
    for (std::size_t i = 0; i < main_nodes.size(); ++i) on_main_power += intercepted(main_nodes[i], on_main[i]);
    res.spillover_past_main = std::max(0.0, (on_sub - on_main_power) / res.feed_power);
    if (o.direct_feed_on_main) {
      // The feed's own field where it reaches the main reflector past the
      // subreflector: rings outside the cone the subreflector shadows, met
      // by the feed's wave on their lit side.
      const double shadow = std::max(t0, t1);
      for (std::size_t i = 0; i < main_nodes.size(); ++i) {
        const Node& n = main_nodes[i];
        const double zf = n.z - s.feed.z;
        if (std::atan2(n.r, zf) > shadow && n.nr * n.r + n.nz * zf < 0.0) add(on_main[i], feed_field(s.feed, k, n.r, n.z));
      }
    }
  } else {
    for (std::size_t i = 0; i < main_nodes.size(); ++i) on_main[i] = feed_field(s.feed, k, main_nodes[i].r, main_nodes[i].z);
    const double t0 = cone_angle(*s.main.profile, s.main.r_begin, s.feed.z);
    const double t1 = cone_angle(*s.main.profile, s.main.r_end, s.feed.z);
    res.spillover_past_main = 1.0 - feed_power(s.feed, std::min(t0, t1), std::max(t0, t1)) / res.feed_power;
  }
  double shadowed = 0;
  for (std::size_t i = 0; i < main_nodes.size(); ++i)
    if (main_nodes[i].r < s.shadow_radius) shadowed += intercepted(main_nodes[i], on_main[i]);
  res.shadowed_share = std::max(0.0, shadowed / res.feed_power);
  for (std::size_t i = 0; i < main_nodes.size(); ++i) main_currents.push_back(po_current(main_nodes[i], on_main[i]));
  res.main_nodes = static_cast<int>(main_nodes.size());
  return c;
}

// Current-angle pairs per block of the far field between two checks: a
// small part of a second.
constexpr std::size_t kFarFieldBlockWork = 1u << 21;

// The far field of the feed and both reflectors' currents at angles from +z,
// in blocks of angles with `check` asked between them.
FarField radiated_field(const System& s, const Currents& c, double k, int threads, const std::vector<double>& theta,
                        const std::function<void()>& check = {}) {
  FarField f;
  f.a.assign(theta.size(), Complex()), f.b.assign(theta.size(), Complex());
  for (std::size_t i = 0; i < theta.size(); ++i) {
    const FeedField ff = feed_at(s.feed, theta[i]);
    // A feed off the origin leads the far-field phase by k z cos(theta),
    // as the currents' rings do by their heights.
    const double lead = s.feed.z != 0.0 ? k * s.feed.z * std::cos(theta[i]) : 0.0;
    f.a[i] = std::polar(ff.e, ff.e_phase + lead), f.b[i] = std::polar(ff.h, ff.h_phase + lead);
  }
  const std::size_t currents = std::max<std::size_t>(1, c.sub.size() + c.main.size());
  const std::size_t block = std::max<std::size_t>(8 * static_cast<std::size_t>(threads), kFarFieldBlockWork / currents);
  for (std::size_t first = 0; first < theta.size(); first += block) {
    const std::size_t count = std::min(block, theta.size() - first);
    add_far_field(c.sub, k, 0.0, theta, first, count, threads, f.a, f.b);
    add_far_field(c.main, k, s.shadow_radius, theta, first, count, threads, f.a, f.b);
    if (check) check();
  }
  return f;
}

// The angle from +z of a direction alpha off the beam axis.
double beam_angle(const System& s, double alpha) { return s.beam_along_minus_z ? M_PI - alpha : alpha; }

// cos and sin of a cut's plane, exact in the principal planes (so that the
// cross-polar field there is exactly the zero it is).
std::pair<double, double> plane(double phi_deg) {
  if (phi_deg == 0.0) return {1.0, 0.0};
  if (phi_deg == 90.0) return {0.0, 1.0};
  return {std::cos(phi_deg / kDeg), std::sin(phi_deg / kDeg)};
}

// The far field of the whole system off the beam axis, as the co- and
// cross-polar fields (third definition) of the cuts' planes.
class Pattern {
 public:
  Pattern(const System& s, const Currents& c, double k, int threads, double scale, std::function<void()> check)
      : s_(s), c_(c), k_(k), threads_(threads), scale_(scale), check_(std::move(check)) {}

  // The fields at angles alpha (radians off the beam axis).
  FarField at(const std::vector<double>& alpha) const {
    std::vector<double> theta(alpha.size());
    for (std::size_t i = 0; i < alpha.size(); ++i) theta[i] = beam_angle(s_, std::clamp(alpha[i], 0.0, M_PI));
    FarField f = radiated_field(s_, c_, k_, threads_, theta, check_);
    const double sign = s_.beam_along_minus_z ? -1.0 : 1.0;  // B against the beam's co-polar reference
    for (std::size_t i = 0; i < alpha.size(); ++i) f.a[i] *= scale_, f.b[i] *= sign * scale_;
    return f;
  }
  static Complex co(const FarField& f, std::size_t i, double phi_deg) {
    const auto [cp, sp] = plane(phi_deg);
    return f.a[i] * (cp * cp) + f.b[i] * (sp * sp);
  }
  static Complex cross(const FarField& f, std::size_t i, double phi_deg) {
    const auto [cp, sp] = plane(phi_deg);
    return (f.a[i] - f.b[i]) * (sp * cp);
  }
  // The co-polar power of one plane at one angle.
  double co_power(double alpha, double phi_deg) const { return std::norm(co(at({alpha}), 0, phi_deg)); }

 private:
  const System& s_;
  const Currents& c_;
  double k_;
  int threads_;
  double scale_;
  std::function<void()> check_;
};

// The largest of f between a and c, f(b) at least f(a) and f(c) with a <
// b < c: golden-section steps down to a small part of the interval.
std::pair<double, double> refine_maximum(const std::function<double(double)>& f, double a, double b, double c, double fb) {
  constexpr double kGolden = 0.3819660112501051;  // 2 - the golden ratio
  // The level's error goes with the square of the angle's: 1e-5 of the
  // interval leaves it some 1e-9 dB off.
  const double tolerance = 1e-5 * (c - a);
  while (c - a > tolerance) {
    // Probe the larger side of b.
    const bool right = c - b > b - a;
    const double x = right ? b + kGolden * (c - b) : b - kGolden * (b - a);
    const double fx = f(x);
    if (fx > fb) {
      (right ? a : c) = b;
      b = x, fb = fx;
    } else {
      (right ? c : a) = x;
    }
  }
  return {b, fb};
}

// Where f falls through `level` between a (above it) and b (below it), by
// bisection.
double refine_crossing(const std::function<double(double)>& f, double a, double b, double level) {
  const double tolerance = 1e-7 * (b - a);
  while (b - a > tolerance) {
    const double m = 0.5 * (a + b);
    (f(m) >= level ? a : b) = m;
  }
  return 0.5 * (a + b);
}

// Beam-width, sidelobe and cross-polar figures of a cut over its first
// `fine` angles, the half-power point and the first sidelobe refined
// between the samples.
void cut_figures(Cut& c, const std::vector<double>& theta_deg, std::size_t fine, double peak, const Pattern& pattern) {
  const std::size_t n = std::min(fine, c.co.size());
  std::vector<double> p(n);
  for (std::size_t i = 0; i < n; ++i) p[i] = std::norm(c.co[i]);
  const double top = std::max(p[0], 1e-300);
  const auto power = [&](double deg) { return pattern.co_power(deg / kDeg, c.phi_deg); };
  for (std::size_t i = 1; i < n; ++i) {
    if (p[i] < 0.5 * top) {
      c.hpbw_deg = 2.0 * refine_crossing(power, theta_deg[i - 1], theta_deg[i], 0.5 * top);
      break;
    }
  }
  bool past_null = false;
  for (std::size_t i = 1; i + 1 < n; ++i) {
    if (!past_null) {
      if (p[i] <= p[i - 1] && p[i] < p[i + 1]) past_null = true;
      continue;
    }
    if (p[i] >= p[i - 1] && p[i] > p[i + 1]) {
      if (c.sidelobes_found++ == 0) {
        const auto [deg, level] = refine_maximum(power, theta_deg[i - 1], theta_deg[i], theta_deg[i + 1], p[i]);
        c.first_sidelobe_db = 10.0 * std::log10(std::max(level / top, kFloorPowerRatio));
        c.first_sidelobe_deg = deg;
      }
    }
  }
  double cross = 0;
  for (std::size_t i = 0; i < n; ++i) cross = std::max(cross, std::norm(c.cross[i]));
  c.cross_peak_db = cross > 0 ? std::max(kFloorDb, 10.0 * std::log10(cross / peak)) : kFloorDb;
}

// Appends a uniform stretch of `count` angles, the first at first_rad, to
// the angles (in degrees) and their stretches.
void add_stretch(Result& res, std::vector<double>& alpha, double first_rad, double step_rad, std::size_t count) {
  if (count == 0) return;
  Stretch st{res.theta_deg.size(), count, first_rad * kDeg, step_rad * kDeg};
  for (std::size_t j = 0; j < count; ++j) {
    alpha.push_back(first_rad + static_cast<double>(j) * step_rad);
    res.theta_deg.push_back(st.first_deg + static_cast<double>(j) * st.step_deg);
  }
  res.stretches.push_back(st);
}

// Refuses a far field that would not be a number at some of the angles
// alpha off the beam axis, without computing it: the far field adds the
// feed's and the currents' (those of weight 0 left out), and the currents'
// finite ones with finite factors give a finite sum.
void far_field_finite(const System& s, const Currents& c, double k, const std::vector<double>& alpha) {
  bool finite = true;
  for (const std::vector<Current>* currents : {&c.sub, &c.main})
    for (const Current& j : *currents)
      if (j.at.w != 0 && !(std::isfinite(std::norm(j.a)) && std::isfinite(std::norm(j.b)) && std::isfinite(std::norm(j.c))))
        finite = false;
  for (std::size_t i = 0; finite && i < alpha.size(); ++i) {
    const double theta = beam_angle(s, std::clamp(alpha[i], 0.0, M_PI));
    const FeedField ff = feed_at(s.feed, theta);
    const double lead = s.feed.z != 0.0 ? k * s.feed.z * std::cos(theta) : 0.0;
    finite = std::isfinite(std::norm(std::polar(ff.e, ff.e_phase + lead))) &&
             std::isfinite(std::norm(std::polar(ff.h, ff.h_phase + lead)));
  }
  if (!finite)
    throw std::invalid_argument("physical optics: the far field is not finite (the feed pattern gives no number somewhere)");
}

// The co- and cross-polar cuts in the 0, 45 and 90 degree planes from the
// beam axis to 180 degrees off it, and the directivity: per_lobe samples
// per lobe out past the wanted number of sidelobes, coarser beyond (see
// the header).
void pattern_cuts(const System& s, const Options& o, const Currents& c, double k, int threads, Result& res) {
  const Sampling& q = o.sampling;
  const double ka = k * s.main.r_end;
  const double scale = std::sqrt(2.0 * M_PI / res.feed_power);
  const Pattern pattern(s, c, k, threads, scale, o.check);
  // The angle off the axis at which u = k a sin(alpha) reaches u_max (180
  // degrees when it never does).
  const auto reach = [&](double u_max, double margin) { return u_max >= ka ? M_PI : std::min(M_PI, margin * std::asin(u_max / ka)); };

  // The fine stretch from the axis, widened until it holds the wanted
  // sidelobes in every plane; only its new angles are computed each time.
  double fine_step = (M_PI / (q.per_lobe * q.factor)) / ka;
  double u_max = M_PI * (o.sidelobes + 4);
  std::vector<double> alpha;
  FarField f;
  const auto extend = [&](std::size_t n) {
    std::vector<double> more;
    for (std::size_t i = alpha.size(); i < n; ++i) more.push_back(static_cast<double>(i) * fine_step);
    const FarField g = pattern.at(more);
    alpha.insert(alpha.end(), more.begin(), more.end());
    f.a.insert(f.a.end(), g.a.begin(), g.a.end());
    f.b.insert(f.b.end(), g.b.begin(), g.b.end());
  };
  constexpr std::size_t kMostFine = 200000;
  std::vector<Cut> cuts;
  for (;;) {
    const double alpha_max = reach(u_max, 1.05);
    std::size_t n;
    if (alpha_max >= M_PI) {
      // The fine stretch reaches 180 degrees itself: a whole number of steps to it.
      const double steps = std::min(static_cast<double>(kMostFine - 1), std::ceil(M_PI / fine_step - 1e-9));
      if (fine_step != M_PI / steps) alpha.clear(), f = {};
      fine_step = M_PI / steps;
      n = static_cast<std::size_t>(steps) + 1;
    } else {
      n = std::min(kMostFine, static_cast<std::size_t>(std::floor(alpha_max / fine_step)) + 1);
    }
    extend(n);
    cuts.clear();
    for (double phi_deg : {0.0, 45.0, 90.0}) {
      Cut cut;
      cut.phi_deg = phi_deg;
      std::vector<double> p(n);
      for (std::size_t i = 0; i < n; ++i) p[i] = std::norm(Pattern::co(f, i, phi_deg));
      // Count the sidelobes as cut_figures does, without refining.
      bool past_null = false;
      for (std::size_t i = 1; i + 1 < n; ++i) {
        if (!past_null) {
          past_null = p[i] <= p[i - 1] && p[i] < p[i + 1];
        } else if (p[i] >= p[i - 1] && p[i] > p[i + 1]) {
          ++cut.sidelobes_found;
        }
      }
      cuts.push_back(cut);
    }
    const bool enough = std::all_of(cuts.begin(), cuts.end(), [&](const Cut& x) { return x.sidelobes_found > o.sidelobes; });
    if (enough || alpha_max >= M_PI || n >= kMostFine) break;
    u_max *= 1.5;
  }
  res.theta_deg.clear(), res.stretches.clear();
  std::vector<double> all;
  add_stretch(res, all, 0.0, fine_step, alpha.size());
  res.fine_angles = alpha.size();

  // Beyond it: kFarPerLobe samples per lobe out to kMidLobes lobes, then
  // that step but no finer than kFarStepDeg, each stretch a whole number of
  // its steps, the last ending at 180 degrees.
  const double mid_step = (M_PI / (kFarPerLobe * q.factor)) / ka;
  const double far_step = std::max(mid_step, kFarStepDeg / kDeg / q.factor);
  constexpr double kEnd = M_PI * (1.0 - 1e-12);  // 180 degrees, up to rounding
  double from = all.back();
  const double mid_end = reach(M_PI * kMidLobes, 1.0);
  if (from < kEnd && mid_end > from + mid_step && far_step > mid_step) {
    const std::size_t count = static_cast<std::size_t>(std::floor((mid_end - from) / mid_step));
    add_stretch(res, all, from + mid_step, mid_step, count);
    from = all.back();
  }
  if (from < kEnd) {
    const double steps = std::max(1.0, std::ceil((M_PI - from) / far_step - 1e-9));
    add_stretch(res, all, from + (M_PI - from) / steps, (M_PI - from) / steps, static_cast<std::size_t>(steps));
    res.theta_deg.back() = 180.0, all.back() = M_PI;
  }
  const std::vector<double> rest(all.begin() + static_cast<std::ptrdiff_t>(alpha.size()), all.end());
  if (o.figures_only) {
    // The figures need only the fine stretch.  Whether the far field beyond
    // it would be a number is still asked, as the whole cuts would show it.
    far_field_finite(s, c, k, rest);
    all.resize(alpha.size());
    res.theta_deg.resize(alpha.size());
    res.stretches.resize(1);
  } else {
    const FarField g = pattern.at(rest);
    f.a.insert(f.a.end(), g.a.begin(), g.a.end());
    f.b.insert(f.b.end(), g.b.begin(), g.b.end());
  }

  const double peak = std::norm(f.a[0]);
  res.directivity_dbi = peak > 0 ? 10.0 * std::log10(peak) : kFloorDb;
  res.cuts.clear();
  for (double phi_deg : {0.0, 45.0, 90.0}) {
    Cut cut;
    cut.phi_deg = phi_deg;
    for (std::size_t i = 0; i < all.size(); ++i) {
      cut.co.push_back(Pattern::co(f, i, phi_deg));
      cut.cross.push_back(Pattern::cross(f, i, phi_deg));
    }
    cut_figures(cut, res.theta_deg, res.fine_angles, std::max(peak, 1e-300), pattern);
    res.cuts.push_back(std::move(cut));
  }
}

// The figures of all cuts together; a pattern or a spillover that is not a
// number is refused rather than written.
void summarise_cuts(Result& res) {
  res.angles = static_cast<int>(res.theta_deg.size());
  res.hpbw_deg = 0.5 * (res.cuts[0].hpbw_deg + res.cuts[2].hpbw_deg);
  res.first_sidelobe_db = kFloorDb;
  res.cross_polar_peak_db = kFloorDb;
  for (const Cut& c : res.cuts) {
    if (c.sidelobes_found > 0) res.first_sidelobe_db = std::max(res.first_sidelobe_db, c.first_sidelobe_db);
    res.cross_polar_peak_db = std::max(res.cross_polar_peak_db, c.cross_peak_db);
  }
  if (res.first_sidelobe_db == kFloorDb) res.first_sidelobe_db = 0.0;
  // A pattern that is not a number anywhere (a feed pattern that gives none)
  // is refused rather than written.
  for (const Cut& c : res.cuts)
    for (std::size_t i = 0; i < c.co.size(); ++i)
      if (!std::isfinite(std::norm(c.co[i])) || !std::isfinite(std::norm(c.cross[i])))
        throw std::invalid_argument("physical optics: the far field is not finite (the feed pattern gives no number somewhere)");
  if (!std::isfinite(res.spillover_past_main) || !std::isfinite(res.spillover_past_sub) || !std::isfinite(res.hpbw_deg))
    throw std::invalid_argument("physical optics: the spillover is not finite");
}

// The power over the sphere: Gauss-Legendre panels in theta, each about one
// radian of k times the system's size.
void sphere_power(const System& s, const Options& o, const Currents& c, double k, int threads, Result& res) {
  const Sampling& q = o.sampling;
  double size = 0;
  for (const Current& x : c.main) size = std::max(size, std::hypot(x.at.r, x.at.z - s.feed.z));
  for (const Current& x : c.sub) size = std::max(size, std::hypot(x.at.r, x.at.z - s.feed.z));
  std::vector<double> gx, gw;
  legendre(6, gx, gw);
  const int panels = std::max(16, static_cast<int>(std::ceil(k * size * q.factor)));
  std::vector<double> theta, weight;
  for (int p = 0; p < panels; ++p) {
    const double half = 0.5 * M_PI / panels, mid = (2 * p + 1) * half;
    for (std::size_t i = 0; i < gx.size(); ++i) theta.push_back(mid + half * gx[i]), weight.push_back(half * gw[i]);
  }
  const FarField f = radiated_field(s, c, k, threads, theta, o.check);
  double power = 0;
  for (std::size_t i = 0; i < theta.size(); ++i)
    power += weight[i] * (std::norm(f.a[i]) + std::norm(f.b[i])) * std::sin(theta[i]);
  power *= 0.5 * M_PI;
  res.sphere_power_share = power / res.feed_power;
  const FarField on_axis = radiated_field(s, c, k, threads, {beam_angle(s, 0.0)});
  res.sphere_directivity_dbi = 10.0 * std::log10(std::max(2.0 * M_PI * std::norm(on_axis.a[0]) / power, 1e-300));
}

}  // namespace

Result analyse(const System& s, const Options& o) {
  validate(s, o);
  const Sampling& q = o.sampling;
  const double k = 2.0 * M_PI / s.wavelength;
  const int threads = thread_count(q);
  Result res;
  res.feed_power = feed_power(s.feed, 0.0, M_PI);
  if (!(res.feed_power > 0)) throw std::invalid_argument("physical optics: the feed radiates no power");
  const Currents c = induced_currents(s, o, k, threads, res);
  pattern_cuts(s, o, c, k, threads, res);
  summarise_cuts(res);
  if (o.sphere_power) sphere_power(s, o, c, k, threads, res);
  if (o.progress) o.progress(1, 1);
  return res;
}

std::vector<NearField> reflector_near_field(const Feed& feed, const Reflector& reflector, double wavelength,
                                            const Sampling& sampling,
                                            const std::vector<std::pair<double, double>>& points) {
  const double k = 2.0 * M_PI / wavelength;
  std::vector<Current> currents;
  for (const Node& n : rings(reflector, wavelength, sampling)) currents.push_back(po_current(n, feed_field(feed, k, n.r, n.z)));
  std::vector<NearField> out(points.size());
  int most = 0;
  const Azimuth az(sampling);
  for (std::size_t i = 0; i < points.size(); ++i) out[i] = near_field(currents, points[i].first, points[i].second, k, az, most);
  return out;
}

RingMoments ring_moments(double r, double rs, double dz, double wavelength, const Sampling& sampling) {
  const Azimuth az(sampling);
  RingMoments out;
  const Moments m = ring_moments(r, rs, dz, 2.0 * M_PI / wavelength, az, out.nodes);
  std::copy(std::begin(m.k1), std::end(m.k1), out.k1);
  std::copy(std::begin(m.k2), std::end(m.k2), out.k2);
  std::copy(std::begin(m.k3), std::end(m.k3), out.k3);
  return out;
}

FarField reflector_far_field(const Feed& feed, const Reflector& reflector, double wavelength, const Sampling& sampling,
                             const std::vector<double>& theta) {
  const double k = 2.0 * M_PI / wavelength;
  std::vector<Current> currents;
  for (const Node& n : rings(reflector, wavelength, sampling)) currents.push_back(po_current(n, feed_field(feed, k, n.r, n.z)));
  FarField f;
  f.a.assign(theta.size(), Complex()), f.b.assign(theta.size(), Complex());
  add_far_field(currents, k, 0.0, theta, 0, theta.size(), 1, f.a, f.b);
  return f;
}

}  // namespace analysis::po
