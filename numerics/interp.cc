// Heapsort, cubic spline and Neville interpolation in 32-bit reals.  The
// algorithms number their tables from 1; the small accessors below keep that
// numbering so that each formula reads as its 1-based original.
#include "numerics/interp.h"

#include <array>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <vector>

#include "numerics/pause.h"

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

constexpr float kNoSlope = 0.99e30f;  // larger end slopes ask for the natural spline

}  // namespace

void SORT2(int n, std::span<float> ra_table, std::span<float> rb_table) {
  if (n < 2) return;
  assert(ra_table.size() >= static_cast<std::size_t>(n));
  assert(rb_table.size() >= static_cast<std::size_t>(n));
  const OneBased ra{ra_table};
  const OneBased rb{rb_table};

  int l = n / 2 + 1;
  int ir = n;
  for (;;) {
    float rra;
    float rrb;
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
float quotient(float a, float b) { return b == 0.0f ? 0.0f : a / b; }

}  // namespace

void SPLINE(std::span<const float> x_table, std::span<const float> y_table, int n, float yp1,
            float ypn, std::span<float> y2_table) {
  if (n < 2) {
    for (int i = 0; i < n; ++i) y2_table[static_cast<std::size_t>(i)] = 0.0f;
    return;
  }
  assert(x_table.size() >= static_cast<std::size_t>(n));
  assert(y_table.size() >= static_cast<std::size_t>(n));
  assert(y2_table.size() >= static_cast<std::size_t>(n));
  const OneBased x{x_table};
  const OneBased y{y_table};
  const OneBased y2{y2_table};
  std::vector<float> u_table(static_cast<std::size_t>(n - 1));
  const OneBased u{std::span<float>(u_table)};

  // first point
  if (yp1 > kNoSlope) {
    y2(1) = 0.0f;
    u(1) = 0.0f;
  } else {
    // u(1) = (3/(x2 - x1)) ((y2 - y1)/(x2 - x1) - yp1)
    y2(1) = -0.5f;
    u(1) = quotient(3.0f, x(2) - x(1)) * (quotient(y(2) - y(1), x(2) - x(1)) - yp1);
  }

  // decomposition of the tridiagonal system
  for (int i = 2; i <= n - 1; ++i) {
    const float sig = quotient(x(i) - x(i - 1), x(i + 1) - x(i - 1));
    const float p = sig * y2(i - 1) + 2.0f;
    y2(i) = (sig - 1.0f) / p;
    // u(i) = (6 (slope right - slope left)/(x(i+1) - x(i-1)) - sig u(i-1)) / p
    u(i) = (quotient(6.0f * (quotient(y(i + 1) - y(i), x(i + 1) - x(i)) -
                             quotient(y(i) - y(i - 1), x(i) - x(i - 1))),
                     x(i + 1) - x(i - 1)) -
            sig * u(i - 1)) /
           p;
  }

  // last point
  float qn;
  float un;
  if (ypn > kNoSlope) {
    qn = 0.0f;
    un = 0.0f;
  } else {
    // un = (3/(xn - xn-1)) (ypn - (yn - yn-1)/(xn - xn-1))
    qn = 0.5f;
    un = quotient(3.0f, x(n) - x(n - 1)) * (ypn - quotient(y(n) - y(n - 1), x(n) - x(n - 1)));
  }
  y2(n) = (un - qn * u(n - 1)) / (qn * y2(n - 1) + 1.0f);

  // back-substitution
  for (int k = n - 1; k >= 1; --k) y2(k) = y2(k) * y2(k + 1) + u(k);
}

void SPLINT(std::span<const float> xa_table, std::span<const float> ya_table,
            std::span<const float> y2a_table, int n, float x, float& y) {
  if (n < 1) {
    y = 0.0f;
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

  const float h = xa(khi) - xa(klo);
  if (h == 0.0f) {
    // A single point is a constant profile.  Two equal abscissae leave the
    // cubic undefined: after the pause the value of the point is taken.
    if (n > 1) pause("bad xa input in splint");
    y = ya(klo);
    return;
  }
  const float a = (xa(khi) - x) / h;
  const float b = (x - xa(klo)) / h;
  // y = a ya(klo) + b ya(khi) + ((a^3 - a) y2a(klo) + (b^3 - b) y2a(khi)) h^2 / 6
  y = a * ya(klo) + b * ya(khi) +
      ((a * a * a - a) * y2a(klo) + (b * b * b - b) * y2a(khi)) * (h * h) / 6.0f;
}

void POLINT(std::span<const float> xa_table, std::span<const float> ya_table, int n, float x,
            float& y, float& dy) {
  y = 0.0f;
  dy = 0.0f;
  if (n < 1) return;
  if (n > kPolintMaxPoints) n = kPolintMaxPoints;
  assert(xa_table.size() >= static_cast<std::size_t>(n));
  assert(ya_table.size() >= static_cast<std::size_t>(n));
  const OneBased xa{xa_table};
  const OneBased ya{ya_table};
  std::array<float, kPolintMaxPoints> c_table{};  // corrections upward
  std::array<float, kPolintMaxPoints> d_table{};  // corrections downward
  const OneBased c{std::span<float>(c_table)};
  const OneBased d{std::span<float>(d_table)};

  // start from the nearest point, the first among equally near ones
  int ns = 1;
  float dif = std::fabs(x - xa(1));
  for (int i = 1; i <= n; ++i) {
    const float dift = std::fabs(x - xa(i));
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
      const float ho = xa(i) - x;
      const float hp = xa(i + m) - x;
      const float w = c(i + 1) - d(i);
      float den = ho - hp;
      if (den == 0.0f) {
        // Two equal abscissae: after the pause this correction is dropped,
        // so the result stays finite.
        pause("failure in polint");
        d(i) = 0.0f;
        c(i) = 0.0f;
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

}  // namespace numerics
