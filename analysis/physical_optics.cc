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
std::vector<Node> rings(const Reflector& rf, double wavelength, const Sampling& s) {
  std::vector<double> gx, gw;
  legendre(s.order, gx, gw);
  const double arc = wavelength * s.order / (s.per_wavelength * s.factor);
  const Surface& p = *rf.profile;
  const auto stretch = [&](double r) { return std::sqrt(1.0 + p.slope(r) * p.slope(r)); };
  std::vector<double> edges{rf.r_begin};
  while (edges.back() < rf.r_end) {
    const double r = edges.back();
    double dr = arc / stretch(r);
    dr = arc / stretch(std::min(r + 0.5 * dr, rf.r_end));
    // Panels of nearly equal arc up to the rim; the last one is not left a sliver.
    if (r + 1.5 * dr >= rf.r_end) dr = rf.r_end - r;
    edges.push_back(std::min(r + dr, rf.r_end));
    if (edges.size() > 10000000) throw std::invalid_argument("physical optics: too many nodes along a profile");
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

// Field at (r, 0, z) of currents on rings, by the whole radiation integral.
// The cos-type components come from the currents as they are; the sin-type
// ones are those at (r, 0, z) of the currents turned by 90 degrees (the
// same field turned back), so both take the same Green's function values,
// and each integrand is even in the source's azimuth: the trapezoidal rule
// over [0, pi] with half weights at the ends.
Field near_field(const std::vector<Current>& sources, double r, double z, double k, const Sampling& s, int& most_nodes) {
  Complex ex, ez, hy, ey, hx, hz;
  for (const Current& src : sources) {
    const double rs = src.at.r, dz = z - src.at.z;
    if (src.at.w == 0) continue;
    const double sum = r * r + rs * rs + dz * dz, two = 2.0 * r * rs;
    const double r_min = std::sqrt(std::max(sum - two, 1e-300));
    const double u = k * std::min({r, rs, r * rs / r_min});
    const int half = std::max(2, static_cast<int>(std::ceil(s.factor * 0.5 * (u + s.extra_cbrt * std::cbrt(u) + s.extra))));
    most_nodes = std::max(most_nodes, 2 * half);
    const double step = M_PI / half, cstep = std::cos(step), sstep = std::sin(step);
    double c = 1.0, sn = 0.0;
    // Sums of the three kernels against the geometric factors (see below).
    double s1r = 0, s1i = 0, s2r = 0, s2i = 0, s3r = 0, s3i = 0;
    double t1r = 0, t1i = 0, t2r = 0, t2i = 0, t3r = 0, t3i = 0, t4r = 0, t4i = 0, t5r = 0, t5i = 0, t6r = 0, t6i = 0,
           t7r = 0, t7i = 0, t8r = 0, t8i = 0, t9r = 0, t9i = 0;
    double v1r = 0, v1i = 0, v2r = 0, v2i = 0, v3r = 0, v3i = 0, v4r = 0, v4i = 0, v5r = 0, v5i = 0, v6r = 0, v6i = 0,
           v7r = 0, v7i = 0;
    for (int m = 0; m <= half; ++m) {
      if (m > 0) {
        const double nc = c * cstep - sn * sstep;
        sn = sn * cstep + c * sstep;
        c = nc;
      }
      if (m == half) c = -1.0, sn = 0.0;
      const double weight = (m == 0 || m == half) ? step : 2.0 * step;
      const double rx = r - rs * c, ry = -rs * sn, rz = dz;
      const double r2 = std::max(sum - two * c, 1e-300), rr = std::sqrt(r2), kr = k * rr;
      const double g = weight / (4.0 * M_PI * rr);
      const double gr = g * std::cos(kr), gi = -g * std::sin(kr);  // e^{-jkR} / (4 pi R)
      const double x = 1.0 / kr, inv_r2 = 1.0 / r2;
      // K1 = G (1 - x^2 - j x); K2 = G (1 - 3x^2 - 3j x) / R^2; K3 = G (1 + j kR) / R^2
      const double a1 = 1.0 - x * x, b1 = -x;
      const double k1r = gr * a1 - gi * b1, k1i = gr * b1 + gi * a1;
      const double a2 = (1.0 - 3.0 * x * x) * inv_r2, b2 = -3.0 * x * inv_r2;
      const double k2r = gr * a2 - gi * b2, k2i = gr * b2 + gi * a2;
      const double b3 = kr * inv_r2;
      const double k3r = gr * inv_r2 - gi * b3, k3i = gr * b3 + gi * inv_r2;
      const double cc = c * c, ss = sn * sn, sc = sn * c;
      s1r += k1r * cc, s1i += k1i * cc;
      s2r += k1r * ss, s2i += k1i * ss;
      s3r += k1r * c, s3i += k1i * c;
      const double pa = cc * rx + sc * ry, pb = -ss * rx + sc * ry, pc = c * rz;
      const double qa = -sc * rx - ss * ry, qb = -sc * rx + cc * ry, qc = -sn * rz;
      double f;
      f = rx * pa, t1r += k2r * f, t1i += k2i * f;
      f = rx * pb, t2r += k2r * f, t2i += k2i * f;
      f = rx * pc, t3r += k2r * f, t3i += k2i * f;
      f = rz * pa, t4r += k2r * f, t4i += k2i * f;
      f = rz * pb, t5r += k2r * f, t5i += k2i * f;
      f = rz * pc, t6r += k2r * f, t6i += k2i * f;
      f = ry * qa, t7r += k2r * f, t7i += k2i * f;
      f = ry * qb, t8r += k2r * f, t8i += k2i * f;
      f = ry * qc, t9r += k2r * f, t9i += k2i * f;
      f = c * rx, v1r += k3r * f, v1i += k3i * f;
      f = cc * rz, v2r += k3r * f, v2i += k3i * f;
      f = ss * rz, v3r += k3r * f, v3i += k3i * f;
      f = sn * ry, v4r += k3r * f, v4i += k3i * f;
      f = sc * ry, v5r += k3r * f, v5i += k3i * f;
      f = ss * rx, v6r += k3r * f, v6i += k3i * f;
      f = cc * rx, v7r += k3r * f, v7i += k3i * f;
    }
    const Complex a = src.a * src.at.w, b = src.b * src.at.w, cz = src.c * src.at.w;
    const Complex s1(s1r, s1i), s2(s2r, s2i), s3(s3r, s3i);
    const Complex t1(t1r, t1i), t2(t2r, t2i), t3(t3r, t3i), t4(t4r, t4i), t5(t5r, t5i), t6(t6r, t6i), t7(t7r, t7i),
        t8(t8r, t8i), t9(t9r, t9i);
    const Complex v1(v1r, v1i), v2(v2r, v2i), v3(v3r, v3i), v4(v4r, v4i), v5(v5r, v5i), v6(v6r, v6i), v7(v7r, v7i);
    // Currents as they are: J = (a c^2 - b s^2, (a + b) s c, cz c).
    ex += a * s1 - b * s2 - (a * t1 + b * t2 + cz * t3);
    ez += cz * s3 - (a * t4 + b * t5 + cz * t6);
    hy += cz * v1 - a * v2 + b * v3;
    // Turned: J' = (-(a + b) s c, -a s^2 + b c^2, -cz s).
    ey += -a * s2 + b * s1 - (a * t7 + b * t8 + cz * t9);
    hx += -a * v3 + b * v2 + cz * v4;
    hz += -(a + b) * v5 + a * v6 - b * v7;
  }
  const Complex minus_jk = -kJ * k;
  return {minus_jk * ex, minus_jk * ey, minus_jk * ez, hx, hy, hz};
}

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
      // J0 and J1 by their double rational approximations (the generic
      // integer-order routine takes the long double trigonometry).
      const double j0 = boost::math::detail::bessel_j0(u), j1 = boost::math::detail::bessel_j1(u);
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

// Beam-width, sidelobe and cross-polar figures of a cut.
void cut_figures(Cut& c, const std::vector<double>& theta_deg, double peak) {
  const std::size_t n = c.co.size();
  std::vector<double> p(n);
  for (std::size_t i = 0; i < n; ++i) p[i] = std::norm(c.co[i]);
  const double top = std::max(p[0], 1e-300);
  for (std::size_t i = 1; i < n; ++i) {
    if (p[i] < 0.5 * top) {
      const double f = (p[i - 1] - 0.5 * top) / (p[i - 1] - p[i]);
      c.hpbw_deg = 2.0 * (theta_deg[i - 1] + f * (theta_deg[i] - theta_deg[i - 1]));
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
        c.first_sidelobe_db = 10.0 * std::log10(std::max(p[i] / top, kFloorPowerRatio));
        c.first_sidelobe_deg = theta_deg[i];
      }
    }
  }
  double cross = 0;
  for (const Complex& x : c.cross) cross = std::max(cross, std::norm(x));
  c.cross_peak_db = cross > 0 ? std::max(kFloorDb, 10.0 * std::log10(cross / peak)) : kFloorDb;
}

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
  if (!(q.per_wavelength > 0 && q.factor > 0 && q.extra_cbrt >= 0 && q.extra >= 0 && q.per_lobe >= 2) ||
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
  const std::vector<Node> main_nodes = rings(s.main, s.wavelength, q);
  std::vector<Field> on_main(main_nodes.size());
  if (s.sub) {
    const std::vector<Node> sub_nodes = rings(*s.sub, s.wavelength, q);
    for (const Node& n : sub_nodes) sub_currents.push_back(po_current(n, feed_field(s.feed, k, n.r, n.z)));
    std::vector<int> most(main_nodes.size(), 0);
    // In blocks, so that the caller hears of the progress (and may stop it).
    const std::size_t block = 16 * static_cast<std::size_t>(threads);
    const int blocks = static_cast<int>((main_nodes.size() + block - 1) / block);
    for (int b = 0; b < blocks; ++b) {
      const std::size_t first = static_cast<std::size_t>(b) * block;
      const std::size_t count = std::min(block, main_nodes.size() - first);
      parallel_for(count, threads, [&](std::size_t i) {
        const Node& n = main_nodes[first + i];
        on_main[first + i] = near_field(sub_currents, n.r, n.z, k, q, most[first + i]);
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
  } else {
    for (std::size_t i = 0; i < main_nodes.size(); ++i) on_main[i] = feed_field(s.feed, k, main_nodes[i].r, main_nodes[i].z);
    const double t0 = cone_angle(*s.main.profile, s.main.r_begin, s.feed.z);
    const double t1 = cone_angle(*s.main.profile, s.main.r_end, s.feed.z);
    res.spillover_past_main = 1.0 - feed_power(s.feed, std::min(t0, t1), std::max(t0, t1)) / res.feed_power;
  }
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

// The co- and cross-polar cuts in the 0, 45 and 90 degree planes from the
// beam axis out past the wanted number of sidelobes, and the directivity.
void pattern_cuts(const System& s, const Options& o, const Currents& c, double k, int threads, Result& res) {
  const Sampling& q = o.sampling;
  const double sign = s.beam_along_minus_z ? -1.0 : 1.0;  // B against the beam's co-polar reference
  const double ka = k * s.main.r_end;
  const double step = (M_PI / (q.per_lobe * q.factor)) / ka;  // radians, uniform
  double u_max = M_PI * (o.sidelobes + 4);
  const double scale = std::sqrt(2.0 * M_PI / res.feed_power);
  for (;;) {
    const double alpha_max = u_max >= ka ? M_PI : std::min(M_PI, 1.05 * std::asin(u_max / ka));
    const int n = std::min(200000, static_cast<int>(std::floor(alpha_max / step)) + 1);
    std::vector<double> theta(static_cast<std::size_t>(n)), alpha_deg(theta.size());
    for (int i = 0; i < n; ++i) alpha_deg[static_cast<std::size_t>(i)] = i * step * kDeg;
    for (int i = 0; i < n; ++i) theta[static_cast<std::size_t>(i)] = beam_angle(s, std::min(M_PI, i * step));
    const FarField f = radiated_field(s, c, k, threads, theta, o.check);
    const double peak = std::norm(scale * f.a[0]);
    res.directivity_dbi = peak > 0 ? 10.0 * std::log10(peak) : kFloorDb;
    res.cuts.clear();
    for (double phi_deg : {0.0, 45.0, 90.0}) {
      Cut cut;
      cut.phi_deg = phi_deg;
      const double cp = std::cos(phi_deg / kDeg), sp = std::sin(phi_deg / kDeg);
      for (std::size_t i = 0; i < theta.size(); ++i) {
        const Complex a = scale * f.a[i], b = sign * scale * f.b[i];
        cut.co.push_back(a * (cp * cp) + b * (sp * sp));
        cut.cross.push_back((a - b) * (sp * cp));
      }
      cut_figures(cut, alpha_deg, std::max(peak, 1e-300));
      res.cuts.push_back(std::move(cut));
    }
    res.theta_deg = alpha_deg;
    const bool enough = std::all_of(res.cuts.begin(), res.cuts.end(),
                                    [&](const Cut& x) { return x.sidelobes_found > o.sidelobes; });
    if (enough || alpha_max >= M_PI) break;
    u_max *= 1.5;
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
  legendre(8, gx, gw);
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
  for (std::size_t i = 0; i < points.size(); ++i) out[i] = near_field(currents, points[i].first, points[i].second, k, sampling, most);
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
