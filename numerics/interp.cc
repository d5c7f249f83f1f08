// Heapsort, cubic spline and Neville interpolation, for float and double.  The
// algorithms number their tables from 1; the small accessors below keep that
// numbering so that each formula reads as its 1-based original.
#include "numerics/interp.h"

#include <array>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <vector>


namespace numerics {
namespace {

// 1-based view of a table.
template <class T>
struct OneBased {
  std::span<T> t;
  T& operator()(int i) const { return t[static_cast<std::size_t>(i - 1)]; }
};
template <class T>
OneBased(std::span<T>) -> OneBased<T>;

// Larger end slopes ask for the natural spline.
template <class Real>
constexpr Real kNoSlope = static_cast<Real>(0.99e30f);

}  // namespace

template <class Real>
void SORT2(int n, std::span<Real> ra_table, std::span<Real> rb_table) {
  if (n < 2) return;
  assert(ra_table.size() >= static_cast<std::size_t>(n));
  assert(rb_table.size() >= static_cast<std::size_t>(n));
  const OneBased ra{ra_table};
  const OneBased rb{rb_table};

  int l = n / 2 + 1;
  int ir = n;
  for (;;) {
    Real rra;
    Real rrb;
    if (l > 1) {
      // still building the heap
      l = l - 1;
      rra = ra(l);
      rrb = rb(l);
    } else {
      // take the top of the heap to the end of the table
      rra = ra(ir);
      rrb = rb(ir);
      ra(ir) = ra(1);
      rb(ir) = rb(1);
      ir = ir - 1;
      if (ir == 1) {
        ra(1) = rra;
        rb(1) = rrb;
        return;
      }
    }
    // sift rra down
    int i = l;
    int j = l + l;
    while (j <= ir) {
      if (j < ir && ra(j) < ra(j + 1)) j = j + 1;
      if (rra < ra(j)) {
        ra(i) = ra(j);
        rb(i) = rb(j);
        i = j;
        j = j + j;
      } else {
        j = ir + 1;
      }
    }
    ra(i) = rra;
    rb(i) = rrb;
  }
}

namespace {
// a / b, or 0 where b is 0: two equal neighbouring abscissae leave the
// spline undefined there, and a zero term keeps the rest of it finite.
template <class Real>
Real quotient(Real a, Real b) { return b == Real(0) ? Real(0) : a / b; }

}  // namespace

template <class Real>
void SPLINE(std::span<const Real> x_table, std::span<const Real> y_table, int n, Real yp1,
            Real ypn, std::span<Real> y2_table) {
  if (n < 2) {
    for (int i = 0; i < n; ++i) y2_table[static_cast<std::size_t>(i)] = Real(0);
    return;
  }
  assert(x_table.size() >= static_cast<std::size_t>(n));
  assert(y_table.size() >= static_cast<std::size_t>(n));
  assert(y2_table.size() >= static_cast<std::size_t>(n));
  const OneBased x{x_table};
  const OneBased y{y_table};
  const OneBased y2{y2_table};
  std::vector<Real> u_table(static_cast<std::size_t>(n - 1));
  const OneBased u{std::span<Real>(u_table)};

  // first point
  if (yp1 > kNoSlope<Real>) {
    y2(1) = Real(0);
    u(1) = Real(0);
  } else {
    // u(1) = (3/(x2 - x1)) ((y2 - y1)/(x2 - x1) - yp1)
    y2(1) = -Real(0.5);
    u(1) = quotient(Real(3), x(2) - x(1)) * (quotient(y(2) - y(1), x(2) - x(1)) - yp1);
  }

  // decomposition of the tridiagonal system
  for (int i = 2; i <= n - 1; ++i) {
    const Real sig = quotient(x(i) - x(i - 1), x(i + 1) - x(i - 1));
    const Real p = sig * y2(i - 1) + Real(2);
    y2(i) = (sig - Real(1)) / p;
    // u(i) = (6 (slope right - slope left)/(x(i+1) - x(i-1)) - sig u(i-1)) / p
    u(i) = (quotient(Real(6) * (quotient(y(i + 1) - y(i), x(i + 1) - x(i)) -
                             quotient(y(i) - y(i - 1), x(i) - x(i - 1))),
                     x(i + 1) - x(i - 1)) -
            sig * u(i - 1)) /
           p;
  }

  // last point
  Real qn;
  Real un;
  if (ypn > kNoSlope<Real>) {
    qn = Real(0);
    un = Real(0);
  } else {
    // un = (3/(xn - xn-1)) (ypn - (yn - yn-1)/(xn - xn-1))
    qn = Real(0.5);
    un = quotient(Real(3), x(n) - x(n - 1)) * (ypn - quotient(y(n) - y(n - 1), x(n) - x(n - 1)));
  }
  y2(n) = (un - qn * u(n - 1)) / (qn * y2(n - 1) + Real(1));

  // back-substitution
  for (int k = n - 1; k >= 1; --k) y2(k) = y2(k) * y2(k + 1) + u(k);
}

template <class Real>
void SPLINT(std::span<const Real> xa_table, std::span<const Real> ya_table,
            std::span<const Real> y2a_table, int n, Real x, Real& y, const PauseHandler& pause) {
  if (n < 1) {
    y = Real(0);
    return;
  }
  assert(xa_table.size() >= static_cast<std::size_t>(n));
  assert(ya_table.size() >= static_cast<std::size_t>(n));
  assert(y2a_table.size() >= static_cast<std::size_t>(n));
  const OneBased xa{xa_table};
  const OneBased ya{ya_table};
  const OneBased y2a{y2a_table};

  // bisection: an x on a table abscissa falls in the interval starting there
  int klo = 1;
  int khi = n;
  while (khi - klo > 1) {
    const int k = (khi + klo) / 2;
    if (xa(k) > x) {
      khi = k;
    } else {
      klo = k;
    }
  }

  const Real h = xa(khi) - xa(klo);
  if (h == Real(0)) {
    // A single point is a constant profile.  Two equal abscissae leave the
    // cubic undefined: after the pause the value of the point is taken.
    if (pause) pause("bad xa input in splint");
    y = ya(klo);
    return;
  }
  const Real a = (xa(khi) - x) / h;
  const Real b = (x - xa(klo)) / h;
  // y = a ya(klo) + b ya(khi) + ((a^3 - a) y2a(klo) + (b^3 - b) y2a(khi)) h^2 / 6
  y = a * ya(klo) + b * ya(khi) +
      ((a * a * a - a) * y2a(klo) + (b * b * b - b) * y2a(khi)) * (h * h) / Real(6);
}

template <class Real>
void POLINT(std::span<const Real> xa_table, std::span<const Real> ya_table, int n, Real x, Real& y,
            Real& dy, const PauseHandler& pause) {
  y = Real(0);
  dy = Real(0);
  if (n < 1) return;
  if (n > kPolintMaxPoints) n = kPolintMaxPoints;
  assert(xa_table.size() >= static_cast<std::size_t>(n));
  assert(ya_table.size() >= static_cast<std::size_t>(n));
  const OneBased xa{xa_table};
  const OneBased ya{ya_table};
  std::array<Real, kPolintMaxPoints> c_table{};  // corrections upward
  std::array<Real, kPolintMaxPoints> d_table{};  // corrections downward
  const OneBased c{std::span<Real>(c_table)};
  const OneBased d{std::span<Real>(d_table)};

  // start from the nearest point, the first among equally near ones
  int ns = 1;
  Real dif = std::fabs(x - xa(1));
  for (int i = 1; i <= n; ++i) {
    const Real dift = std::fabs(x - xa(i));
    if (dift < dif) {
      ns = i;
      dif = dift;
    }
    c(i) = ya(i);
    d(i) = ya(i);
  }
  y = ya(ns);
  ns = ns - 1;

  for (int m = 1; m <= n - 1; ++m) {
    for (int i = 1; i <= n - m; ++i) {
      const Real ho = xa(i) - x;
      const Real hp = xa(i + m) - x;
      const Real w = c(i + 1) - d(i);
      Real den = ho - hp;
      if (den == Real(0)) {
        // Two equal abscissae: after the pause this correction is dropped,
        // so the result stays finite.
        if (pause) pause("failure in polint");
        d(i) = Real(0);
        c(i) = Real(0);
        continue;
      }
      den = w / den;
      d(i) = hp * den;
      c(i) = ho * den;
    }
    // take the correction that keeps the path through the table centred
    if (2 * ns < n - m) {
      dy = c(ns + 1);
    } else {
      dy = d(ns);
      ns = ns - 1;
    }
    y = y + dy;
  }
}

#define RAVOST_INSTANTIATE(Real)                                                              \
  template void SORT2<Real>(int, std::span<Real>, std::span<Real>);                           \
  template void SPLINE<Real>(std::span<const Real>, std::span<const Real>, int, Real, Real,   \
                             std::span<Real>);                                                \
  template void SPLINT<Real>(std::span<const Real>, std::span<const Real>,                    \
                             std::span<const Real>, int, Real, Real&, const PauseHandler&);   \
  template void POLINT<Real>(std::span<const Real>, std::span<const Real>, int, Real, Real&,   \
                             Real&, const PauseHandler&);
RAVOST_INSTANTIATE(float)
RAVOST_INSTANTIATE(double)
#undef RAVOST_INSTANTIATE

}  // namespace numerics
