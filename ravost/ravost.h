// The design state of one run: the normalised geometry, the feed and aperture
// models, the synthesis vector, the table of rays and the scaled design.
// The driver owns one Design for the whole run; the stages read and change it
// in place, always forwards.
#pragma once

#include <array>

namespace ravost {

// The table holds at most this many rays (output_steps <= 1000).
inline constexpr int kMaxRays = 1001;

// Where answers come from: the console, or the answer file once it is open.
struct INPUTL {
  static constexpr int kConsole = 5;
  static constexpr int kAnswerFile = 1;
  int stream = kConsole;
};

// The aperture distribution and its parameters.
struct APERT {
  int distribution_kind = 0;     // 1 uniform, 2 Gaussian, 3 Taylor
  float edge_taper_db = 0.0f;    // Gaussian edge taper, sign kept
  float sidelobe_level_db = 0.0f;  // Taylor sidelobe level, held >= 0
  int nbar = 0;                  // Taylor: first unchanged zero, 1..20
  // The first 20 positive zeros of J1.
  static constexpr std::array<float, 20> j1_zeros = {
      3.83171f,  7.01559f,  10.17347f, 13.32369f, 16.47063f, 19.61586f, 22.76008f,
      25.90367f, 29.04683f, 32.18968f, 35.33231f, 38.47477f, 41.61709f, 44.75932f,
      47.90146f, 51.04354f, 54.18555f, 57.32753f, 60.46946f, 63.61136f};
  std::array<float, 20> taylor_coefficients{};  // normalised; 1..nbar valid
};

// The vector integrated by the synthesis.  Element k of the design (1-based)
// is index k - 1 here; the names below give the indices.
using RayState = std::array<float, 11>;
namespace ray {
inline constexpr int radius = 0;         // r, main-reflector radius (abscissa)
inline constexpr int feed_angle = 1;     // theta, radians
inline constexpr int sub_distance = 2;   // R, feed to subreflector point
inline constexpr int main_z = 3;         // z_m, main-reflector Z
inline constexpr int hole_to_feed = 4;   // main_hole_to_feed
inline constexpr int feed_to_sub = 5;    // feed_to_sub_rim
inline constexpr int power_ratio = 8;    // K
inline constexpr int feed_exponent = 9;  // n
}  // namespace ray

// The synthesised rays, ray 1 (the subreflector-rim ray) at index 0.  The
// subreflector arrays have one slot more, for the extrapolated rim point.
struct RayTable {
  std::array<float, kMaxRays + 1> sub_z{};
  std::array<float, kMaxRays + 1> sub_r{};
  std::array<float, kMaxRays> main_z{};
  std::array<float, kMaxRays> main_r{};
};

struct Design {
  // Constants computed at start-up as 32-bit reals.
  float pi = 0.0f;   // 3.1415927
  float deg = 0.0f;  // pi / 180

  // Normalised geometry (main-reflector outer radius = 1).
  float main_hole_to_feed = 0.0f;
  float feed_to_sub_rim = 0.0f;
  float sub_radius = 0.0f;
  float main_inner_radius = 0.0f;
  float feed_half_angle = 0.0f;  // degrees while entered, radians afterwards

  // Feed.
  float feed_beamwidth = 0.0f;
  float beamwidth_level_db = 0.0f;

  // Aperture distribution.
  APERT apert;
  std::array<float, 20> taylor_zeros{};

  // Synthesis intervals (absolute values once entered) and counters.
  float calc_interval = 0.0f;
  float output_interval = 0.0f;
  int steps_per_output = 0;
  int output_steps = 0;

  // Feed model and energy balance.
  float feed_exponent = 0.0f;
  float feed_power = 0.0f;
  float aperture_power = 0.0f;
  float power_ratio = 0.0f;

  RayState ray_state{};
  RayTable rays;

  // The design scaled to a real main-reflector diameter.
  float main_diameter = 0.0f;
  float design_scale = 0.0f;
  int sub_points = 0;
  float sub_rim_diameter = 0.0f;
  std::array<float, kMaxRays + 1> sub_y2{};
  std::array<float, kMaxRays> main_y2{};

  int ray_count() const { return output_steps + 1; }
};

}  // namespace ravost
