// J0 in SIMD lanes with the bits of the scalar BESJ(x, 0.0f).
//
// The arguments are sorted into those for the series (x - 6 <= 0, as BESJ
// tests it) and the rest, and each kind is worked through lane-width blocks,
// so a block never carries lanes of the other branch.  Inside a block every
// lane does BESJ's operations in BESJ's order with order v = 0.0f kept in
// the expressions: float add, subtract, multiply, divide and square root are
// correctly rounded, so a lane gives the same bits as the scalar code.  The
// series runs in groups of five terms until every lane has met its own stop
// test (or 20 groups); a lane that has stopped keeps its sum.  cos and sin
// stay the scalar library calls, one lane at a time; the square root,
// correctly rounded like the scalar one, is taken in lanes.
//
// The constants are those of besj.cc; the lane tests compare every result
// with BESJ bit for bit.
#include "numerics/besj_lanes.h"
#include "numerics/besj_constants.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace numerics {
namespace {

using namespace besj_constants;

// Arguments sorted per pass: the lists live on the stack.
constexpr std::size_t kChunk = 256;

// The 8-lane kernels are only ever inlined into the AVX entry point, so no
// 32-byte vector crosses a call made without AVX.
#pragma GCC diagnostic ignored "-Wpsabi"

using V4 = float __attribute__((vector_size(16)));
using M4 = int __attribute__((vector_size(16)));
using V8 = float __attribute__((vector_size(32)));
using M8 = int __attribute__((vector_size(32)));

template <typename V>
constexpr std::size_t kWidth = sizeof(V) / sizeof(float);

template <typename V>
struct MaskOf;
template <>
struct MaskOf<V4> {
  using type = M4;
};
template <>
struct MaskOf<V8> {
  using type = M8;
};

inline V4 lane_sqrt(V4 a) {
#if defined(__SSE__)
  return __builtin_ia32_sqrtps(a);
#else
  for (std::size_t j = 0; j < 4; ++j) a[j] = std::sqrt(a[j]);
  return a;
#endif
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx")]] inline V8 lane_sqrt(V8 a) { return __builtin_ia32_sqrtps256(a); }
#endif

// One bit per lane of a comparison result, lane 0 in bit 0.
inline int lane_bits(M4 m) {
#if defined(__SSE__)
  return __builtin_ia32_movmskps(reinterpret_cast<V4>(m));
#else
  int bits = 0;
  for (int j = 0; j < 4; ++j) bits |= (m[j] != 0 ? 1 : 0) << j;
  return bits;
#endif
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx")]] inline int lane_bits(M8 m) {
  return __builtin_ia32_movmskps256(reinterpret_cast<V8>(m));
}
#endif

template <typename V>
constexpr int kAllLanes = (1 << kWidth<V>) - 1;

// The series of BESJ for order 0 over u vectors of lanes at once (their
// division chains are independent, so they overlap).  k advances alike in
// every lane, so it stays a scalar; only the stop differs between lanes.
template <typename V, int u>
[[gnu::always_inline]] inline void series_lanes(const float* x, float* j0) {
  using M = typename MaskOf<V>::type;
  constexpr std::size_t w = kWidth<V>;
  const float v = 0.0f;
  V h2[u];
  V t[u];
  V s[u];
  V s_prev[u];
  M done[u];
  for (int i = 0; i < u; ++i) {
    V xv;
    std::memcpy(&xv, x + i * w, sizeof(V));
    const V h = xv / 2.0f;
    h2[i] = h * h;
    // first term of order 0: 1
    t[i] = V{} + 1.0f;
    s[i] = t[i];
    s_prev[i] = t[i];
    done[i] = M{};
  }
  float k = 1.0f;
  for (int group = 0; group < kMaxGroups; ++group) {
    V g[u];
    for (int i = 0; i < u; ++i) g[i] = V{} + 0.0f;
    for (int term = 0; term < kTermsPerGroup; ++term) {
      const float d = (k + v) * k;
      for (int i = 0; i < u; ++i) {
        t[i] = -t[i] * h2[i] / d;
        g[i] = g[i] + t[i];
      }
      k = k + 1.0f;
    }
    M all_done = ~M{};
    for (int i = 0; i < u; ++i) {
      // a lane that has stopped keeps its sum: a select by the bits of the
      // mask (float operations only, which plain AVX has in 8 lanes)
      const M kept = reinterpret_cast<M>(s[i]) & done[i];
      const M added = reinterpret_cast<M>(s[i] + g[i]) & ~done[i];
      s[i] = reinterpret_cast<V>(kept | added);
      done[i] = done[i] | (s_prev[i] - s[i] == 0.0f);
      all_done = all_done & done[i];
      s_prev[i] = s[i];
    }
    if (lane_bits(all_done) == kAllLanes<V>) break;
  }
  for (int i = 0; i < u; ++i) std::memcpy(j0 + i * w, &s[i], sizeof(V));
}

// sqrt(2/(pi x)) (P cos chi - Q sin chi) of one vector of lanes.
template <typename V>
[[gnu::always_inline]] inline void combine(float* j0, const V& root, const V& p, const V& q,
                                           const float* c, const float* s) {
  V c_v;
  V s_v;
  std::memcpy(&c_v, c, sizeof(V));
  std::memcpy(&s_v, s, sizeof(V));
  const V r = root * (p * c_v - q * s_v);
  std::memcpy(j0, &r, sizeof(V));
}

// The asymptotic expansion of BESJ for order 0 over `count` arguments (a
// whole number of vectors), block by block: chi, sqrt(2/(pi x)), P and Q in
// lanes, then cos and sin one argument at a time.  A block's result is formed
// after the next block's calls, when its cos and sin have long been stored.
template <typename V>
[[gnu::always_inline]] inline void asymptotic_lanes(const float* x, float* j0, std::size_t count,
                                                    float* chi, float* c, float* s) {
  constexpr std::size_t w = kWidth<V>;
  const float pi = kPiExpansion;
  const float v = 0.0f;
  const float mu = 4.0f * v * v;

  V prev_root{};
  V prev_p{};
  V prev_q{};
  for (std::size_t b = 0; b < count; b += w) {
    V xv;
    std::memcpy(&xv, x + b, sizeof(V));
    const V chi_v = xv - (v / 2.0f + 0.25f) * pi;
    std::memcpy(chi + b, &chi_v, sizeof(V));
    const V root_v = lane_sqrt(2.0f / (pi * xv));
    const V e = (8.0f * xv) * (8.0f * xv);

    V p = 1.0f - (mu - 289.0f) * (mu - 361.0f) / (90.0f * e);
    p = 1.0f - (mu - 169.0f) * (mu - 225.0f) / (56.0f * e) * p;
    p = 1.0f - (mu - 81.0f) * (mu - 121.0f) / (30.0f * e) * p;
    p = 1.0f - (mu - 25.0f) * (mu - 49.0f) / (12.0f * e) * p;
    p = 1.0f - (mu - 1.0f) * (mu - 9.0f) / (2.0f * e) * p;

    V q = 1.0f - (mu - 225.0f) * (mu - 289.0f) / (72.0f * e);
    q = 1.0f - (mu - 121.0f) * (mu - 169.0f) / (42.0f * e) * q;
    q = 1.0f - (mu - 49.0f) * (mu - 81.0f) / (20.0f * e) * q;
    q = 1.0f - (mu - 9.0f) * (mu - 25.0f) / (6.0f * e) * q;
    q = (mu - 1.0f) / (8.0f * xv) * q;

    // the divisions above run on while cos and sin are called
    for (std::size_t j = b; j < b + w; ++j) {
      const float chi_j = chi[j];
      c[j] = std::cos(chi_j);
      s[j] = std::sin(chi_j);
    }
    // the result of the block before, whose cos and sin are stored by now
    if (b > 0) combine(j0 + b - w, prev_root, prev_p, prev_q, c + b - w, s + b - w);
    prev_root = root_v;
    prev_p = p;
    prev_q = q;
  }
  if (count > 0) combine(j0 + count - w, prev_root, prev_p, prev_q, c + count - w, s + count - w);
}

// Scratch for one chunk of arguments; every list has room for a last vector
// filled up with its first argument.
struct Scratch {
  static constexpr std::size_t kRoom = kChunk + 8;
  alignas(32) float series_x[kRoom];
  alignas(32) float series_j0[kRoom];
  alignas(32) float expansion_x[kRoom];
  alignas(32) float expansion_j0[kRoom];
  alignas(32) float chi[kRoom];
  alignas(32) float c[kRoom];
  alignas(32) float s[kRoom];
  std::uint16_t series_at[kChunk];
  std::uint16_t expansion_at[kChunk];
};

// Pads list[0..count) to a whole number of vectors and returns that length.
template <typename V>
std::size_t pad(float* list, std::size_t count) {
  constexpr std::size_t w = kWidth<V>;
  const std::size_t padded = (count + w - 1) / w * w;
  for (std::size_t i = count; i < padded; ++i) list[i] = list[0];
  return padded;
}

template <typename V>
[[gnu::always_inline]] inline void run(const float* x, float* j0, std::size_t size) {
  constexpr std::size_t w = kWidth<V>;
  Scratch m;
  for (std::size_t start = 0; start < size; start += kChunk) {
    const std::size_t n = std::min(kChunk, size - start);
    std::size_t ns = 0;
    std::size_t ne = 0;
    // the branch test of BESJ, x - 6 <= 0 (a NaN takes the expansion): a
    // vector of arguments that all go one way is moved as a whole
    std::size_t i = 0;
    for (; i + w <= n; i += w) {
      V xv;
      std::memcpy(&xv, x + start + i, sizeof(V));
      const int series = lane_bits(xv - kSwitchPoint <= 0.0f);
      if (series == kAllLanes<V>) {
        std::memcpy(m.series_x + ns, &xv, sizeof(V));
        for (std::size_t j = 0; j < w; ++j) {
          m.series_at[ns + j] = static_cast<std::uint16_t>(i + j);
        }
        ns += w;
      } else if (series == 0) {
        std::memcpy(m.expansion_x + ne, &xv, sizeof(V));
        for (std::size_t j = 0; j < w; ++j) {
          m.expansion_at[ne + j] = static_cast<std::uint16_t>(i + j);
        }
        ne += w;
      } else {
        for (std::size_t j = 0; j < w; ++j) {
          if ((series >> j) & 1) {
            m.series_at[ns] = static_cast<std::uint16_t>(i + j);
            m.series_x[ns++] = xv[j];
          } else {
            m.expansion_at[ne] = static_cast<std::uint16_t>(i + j);
            m.expansion_x[ne++] = xv[j];
          }
        }
      }
    }
    for (; i < n; ++i) {
      const float xi = x[start + i];
      if (xi - kSwitchPoint <= 0.0f) {
        m.series_at[ns] = static_cast<std::uint16_t>(i);
        m.series_x[ns++] = xi;
      } else {
        m.expansion_at[ne] = static_cast<std::uint16_t>(i);
        m.expansion_x[ne++] = xi;
      }
    }
    if (ns > 0) {
      const std::size_t vectors = pad<V>(m.series_x, ns) / w;
      std::size_t done = 0;
      while (done < vectors) {
        const float* xs = m.series_x + done * w;
        float* out = m.series_j0 + done * w;
        switch (vectors - done) {
          case 1: series_lanes<V, 1>(xs, out); done += 1; break;
          case 2: series_lanes<V, 2>(xs, out); done += 2; break;
          case 3: series_lanes<V, 3>(xs, out); done += 3; break;
          default: series_lanes<V, 4>(xs, out); done += 4; break;
        }
      }
      for (std::size_t i = 0; i < ns; ++i) j0[start + m.series_at[i]] = m.series_j0[i];
    }
    if (ne > 0) {
      asymptotic_lanes<V>(m.expansion_x, m.expansion_j0, pad<V>(m.expansion_x, ne), m.chi, m.c,
                          m.s);
      for (std::size_t i = 0; i < ne; ++i) j0[start + m.expansion_at[i]] = m.expansion_j0[i];
    }
  }
}

void run4(const float* x, float* j0, std::size_t size) { run<V4>(x, j0, size); }

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx")]] void run8(const float* x, float* j0, std::size_t size) {
  run<V8>(x, j0, size);
}
#endif

}  // namespace

bool besj_eight_lanes_available() {
#if defined(__x86_64__) || defined(__i386__)
  static const bool available = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") != 0;
  }();
  return available;
#else
  return false;
#endif
}

void BESJ0_many(std::span<const float> x, std::span<float> j0, BesjLanes lanes) {
  const std::size_t size = std::min(x.size(), j0.size());
  if (size == 0) return;
#if defined(__x86_64__) || defined(__i386__)
  if (lanes != BesjLanes::four && besj_eight_lanes_available()) {
    run8(x.data(), j0.data(), size);
    return;
  }
#else
  (void)lanes;
#endif
  run4(x.data(), j0.data(), size);
}

}  // namespace numerics
