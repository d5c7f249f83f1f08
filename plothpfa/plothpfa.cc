#include "plothpfa/plothpfa.h"

#include <array>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include "fields/fields.h"

namespace plothpfa {
namespace {

// The window every plot file is initialised with, in plotter units: window
// units 0 to 9999 span 10160 plotter units.
constexpr int kWindowSize = 10160;
constexpr float kWindowUnits = 9999.0f;

// Gaps of the line patterns: bit c set means that step c of the pattern (the
// counter value c, 0 to pattern - 1) is made with the pen up.
//   1 solid                 2 draw, gap              3 draw, draw, gap
//   4 draw, draw, draw, gap 5 draw, draw, gap, draw, gap
//   6 draw, draw, gap, draw, gap, draw
//   7 draw, draw, gap, draw, gap, draw, gap
constexpr std::array<unsigned, 8> kPatternGaps = {
    0u, 0b0u, 0b10u, 0b100u, 0b1000u, 0b10100u, 0b10100u, 0b1010100u};

// Shape of the arrowhead, in units of its size: the half-width of each side
// at 1/3, 2/3 and 1 of the length, and how far each notch point lies forward
// of the back corners.
constexpr std::array<float, 3> kSideHalfWidth = {0.035f, 0.09f, 0.18f};
constexpr std::array<float, 3> kNotchAdvance = {0.06f, 0.1f, 0.12f};

// A value truncated towards zero as an integer.  Values beyond any six-
// character field are clamped first, so the conversion is always defined;
// NaN becomes the most negative int.  Either way the field shows asterisks.
long long truncated(double v) {
  constexpr double kLimit = 1.0e15;
  if (std::isnan(v)) return std::numeric_limits<int>::min();
  if (v > kLimit) return static_cast<long long>(kLimit);
  if (v < -kLimit) return -static_cast<long long>(kLimit);
  return static_cast<long long>(std::trunc(v));
}

// A window coordinate in thousandths of an inch: trunc(x * 1000), the product
// formed exactly in double and kept within the range of a 32-bit integer.
int window_units(float x) {
  const double u = static_cast<double>(x) * 1000.0;
  if (std::isnan(u)) return std::numeric_limits<int>::min();
  if (u >= 2147483647.0) return std::numeric_limits<int>::max();
  if (u <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(u);  // conversion truncates towards zero
}

}  // namespace

Plotter::Plotter(PLOTIF settings) : settings_(settings) {}

bool Plotter::PINITF(int device, std::string_view name, const std::filesystem::path& folder) {
  close();
  const size_t end = name.find_last_not_of(' ');
  if (end == std::string_view::npos) return false;  // a blank name names no file
  const std::filesystem::path path = folder / std::string(name.substr(0, end + 1));
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return false;
  file_.open(path, std::ios::binary | std::ios::trunc);
  if (!file_.is_open()) return false;
  PINITF(device, file_);
  return true;
}

void Plotter::PINITF(int /*device*/, std::ostream& stream) {
  out_ = &stream;
  SPLOT(-3, 0, 0, kWindowSize, kWindowSize);
}

bool Plotter::close() {
  out_ = nullptr;
  if (!file_.is_open()) return true;
  file_.flush();
  const bool ok = static_cast<bool>(file_);
  file_.close();
  file_.clear();
  return ok;
}

void Plotter::write_line(std::string_view text) {
  if (out_ == nullptr) return;
  *out_ << text << "\r\n";
}

void Plotter::SPLOT(int code, int a, int b, int c, int d) {
  if (code == -3) {
    if (out_ == nullptr) return;  // nothing to initialise on
    // s = 9999 / (X2 - X1), rounded to a 32-bit real; the window's lower-left
    // corner is the offset.
    const float width = static_cast<float>(static_cast<long long>(c) - a);
    const float height = static_cast<float>(static_cast<long long>(d) - b);
    scale_x_ = kWindowUnits / width;
    scale_y_ = kWindowUnits / height;
    offset_x_ = a;
    offset_y_ = b;
    write_line("IN;");
    return;
  }
  if (code != 1 || out_ == nullptr) return;

  // p = trunc(u / s) + offset, the quotient formed in double from the 32-bit
  // scale: window unit 9999 gives 10159, not 10160.
  const long long px =
      truncated(static_cast<double>(c) / static_cast<double>(scale_x_)) + offset_x_;
  const long long py =
      truncated(static_cast<double>(d) / static_cast<double>(scale_y_)) + offset_y_;

  if (b == 0) {
    write_line("SP" + fields::I(c, 1) + ";");
    return;
  }
  const char* command = a == -1 ? "PU;PA" : a == 1 ? "PD;PA" : nullptr;
  if (command == nullptr) return;
  write_line(command + fields::I(px, 6) + "," + fields::I(py, 6) + ";");
}

void Plotter::PPEN(int pen) { SPLOT(1, 0, 0, pen, 0); }

void Plotter::MOVEAP(PenMove move, float x, float y) {
  const int code = static_cast<int>(move);
  if (code != -1 && code != 1) return;
  SPLOT(1, code, 1, window_units(x), window_units(y));
}

void Plotter::MOVEPP(PenMove move, float x, float y, int pattern) {
  if (move == PenMove::up) {
    last_x_ = x;
    last_y_ = y;
    MOVEAP(PenMove::up, x, y);
    counter_ = -1;
    return;
  }
  if (pattern < 1 || pattern > 7) pattern = 1;
  const float dash = settings_.dash_length;

  // L = sqrt((x - xl)^2 + (y - yl)^2)
  const float ex = x - last_x_;
  const float ey = y - last_y_;
  const float sum = ex * ex + ey * ey;
  const float length = sum > 0.0f ? std::sqrt(sum) : 0.0f;
  if (length < 1.0e-6f) return;

  // One step: (dx, dy) = (x - xl, y - yl) * dash / L
  const float step_x = ex * dash / length;
  const float step_y = ey * dash / length;
  float remaining = length;
  while (remaining >= dash) {
    last_x_ = last_x_ + step_x;
    last_y_ = last_y_ + step_y;
    counter_ = (counter_ + 1) % pattern;
    const bool gap = (kPatternGaps[static_cast<size_t>(pattern)] >> counter_) & 1u;
    MOVEAP(gap ? PenMove::up : PenMove::down, last_x_, last_y_);
    // Once the remainder is so large (or the dash so small) that subtracting
    // a dash no longer shrinks it, the count of steps has no end: stop here.
    const float next = remaining - dash;
    if (!(next < remaining)) break;
    remaining = next;
  }
}

void Plotter::ARROW(float s, float px, float py, float dx, float dy, int fill) {
  const bool filled = fill == 1;
  // n = (-dy, dx): the direction turned a quarter turn counter-clockwise.
  const float nx = -dy;
  const float ny = dx;
  const float w3 = kSideHalfWidth[2];

  MOVEAP(PenMove::up, px, py);
  if (filled) write_line("PM0;");

  // Left side: L_i = P - (i/3) s D + w_i s n, i = 1, 2, 3.
  float cl_x = px;
  float cl_y = py;
  for (int i = 1; i <= 3; ++i) {
    const float along = static_cast<float>(i) / 3.0f * s;
    const float across = kSideHalfWidth[static_cast<size_t>(i - 1)] * s;
    cl_x = px - along * dx + across * nx;
    cl_y = py - along * dy + across * ny;
    MOVEAP(PenMove::down, cl_x, cl_y);
  }
  // The back-left corner C_L is L_3 as drawn; the back-right corner follows
  // from it: C_R = C_L - 2 w3 s n.
  const float back = 2.0f * w3 * s;
  const float cr_x = cl_x - back * nx;
  const float cr_y = cl_y - back * ny;

  if (filled) {
    // Left half of the notch: N_i = C_L + a_i s D - (i/3) w3 s n, i = 1, 2, 3.
    for (int i = 1; i <= 3; ++i) {
      const float along = kNotchAdvance[static_cast<size_t>(i - 1)] * s;
      const float across = static_cast<float>(i) / 3.0f * w3 * s;
      MOVEAP(PenMove::down, cl_x + along * dx - across * nx, cl_y + along * dy - across * ny);
    }
    // Right half: Q_k = C_R + a_k s D + (k/3) w3 s n, k = 3, 2, 1.  N_3 and
    // Q_3 are the same point, so the notch's middle is drawn twice.
    for (int k = 3; k >= 1; --k) {
      const float along = kNotchAdvance[static_cast<size_t>(k - 1)] * s;
      const float across = static_cast<float>(k) / 3.0f * w3 * s;
      MOVEAP(PenMove::down, cr_x + along * dx + across * nx, cr_y + along * dy + across * ny);
    }
  }

  // Right side from the back: R_3 = C_R, then R_j = P - (j/3) s D - w_j s n
  // for j = 2, 1.  An open head leaves its back open with a pen-up move.
  MOVEAP(filled ? PenMove::down : PenMove::up, cr_x, cr_y);
  for (int j = 2; j >= 1; --j) {
    const float along = static_cast<float>(j) / 3.0f * s;
    const float across = kSideHalfWidth[static_cast<size_t>(j - 1)] * s;
    MOVEAP(PenMove::down, px - along * dx - across * nx, py - along * dy - across * ny);
  }
  MOVEAP(PenMove::down, px, py);
  if (filled) write_line("PM2;FP;");
}

}  // namespace plothpfa
