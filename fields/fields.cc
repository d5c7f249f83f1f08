#include "fields/fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace fields {
namespace {

// A field width after the guards of the header: 0 means "no field at all".
int ClampWidth(int w) { return w <= 0 ? 0 : std::min(w, kMaxWidth); }

// The single place where text meets its field: right-justified with blanks,
// or w asterisks when the text is wider than the field.
std::string Justify(std::string_view text, int w) {
  const size_t width = static_cast<size_t>(w);
  if (text.size() > width) return std::string(width, '*');
  std::string out(width - text.size(), ' ');
  out.append(text);
  return out;
}

std::string Stars(int w) { return std::string(static_cast<size_t>(w), '*'); }

// NaN and infinities, as gfortran writes them in F and E fields: "NaN" without
// a sign; "Infinity" when it fits, else "Inf"; a minus sign is never dropped,
// so -Inf needs four columns.  Below three columns only asterisks remain.
std::string NonFinite(double v, int w) {
  if (w < 3) return Stars(w);
  if (std::isnan(v)) return Justify("NaN", w);
  const bool negative = std::signbit(v);
  if (!negative) return Justify(w >= 8 ? "Infinity" : "Inf", w);
  if (w == 3) return Stars(w);
  return Justify(w >= 9 ? "-Infinity" : "-Inf", w);
}

// Buffer for the digits of one field: the integer part of the largest double
// (309 digits), the point, and at most kMaxWidth decimals.
constexpr size_t kDigitBuffer = 320 + static_cast<size_t>(kMaxWidth);

}  // namespace

std::string F(double v, int w, int d) {
  w = ClampWidth(w);
  if (w == 0) return {};
  if (!std::isfinite(v)) return NonFinite(v, w);
  // Even ".ddd" needs d + 1 columns.
  if (d < 0 || d > w - 1) return Stars(w);

  // Digits of |v| rounded to d decimals: to_chars rounds the exact binary
  // value to nearest, ties to even, as the C library's printf does.
  char buf[kDigitBuffer];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::fabs(v),
                                       std::chars_format::fixed, d);
  if (ec != std::errc()) return Stars(w);

  std::string text;
  // The sign bit decides, so -0.001 in F5.2 and -0.0 both print "-0.00".
  if (std::signbit(v)) text.push_back('-');
  text.append(buf, end);
  if (d == 0) text.push_back('.');  // "12." as Fortran writes an F edit with no decimals

  // The zero before the point is optional: drop it only to make the value
  // fit.  With d = 0 the zero is the whole number and stays.
  const size_t lead = std::signbit(v) ? 1 : 0;
  if (text.size() > static_cast<size_t>(w) && d > 0 && text.compare(lead, 2, "0.") == 0) {
    text.erase(lead, 1);
  }
  return Justify(text, w);
}

std::string E(double v, int w, int d) {
  w = ClampWidth(w);
  if (w == 0) return {};
  if (!std::isfinite(v)) return NonFinite(v, w);
  // "d.E+xx" alone needs d + 6 columns.
  if (d < 0 || d > w - 6) return Stars(w);

  // Scientific digits of |v| with d decimals, "1.2345e+01" or "1e+01" for
  // d = 0; zero comes out as "0.000e+00".
  char buf[kDigitBuffer];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::fabs(v),
                                       std::chars_format::scientific, d);
  if (ec != std::errc()) return Stars(w);
  const std::string_view digits(buf, static_cast<size_t>(end - buf));
  const size_t e = digits.find('e');
  if (e == std::string_view::npos) return Stars(w);
  const int exponent = std::atoi(std::string(digits.substr(e + 1)).c_str());

  std::string text;
  if (std::signbit(v)) text.push_back('-');
  text.append(digits.substr(0, e));
  if (d == 0) text.push_back('.');

  // Exponent: E+xx up to two digits; beyond, the E gives way to a third digit.
  const int magnitude = std::abs(exponent);
  if (magnitude <= 99) text.push_back('E');
  text.push_back(exponent < 0 ? '-' : '+');
  if (magnitude > 99) text.push_back(static_cast<char>('0' + magnitude / 100));
  text.push_back(static_cast<char>('0' + magnitude / 10 % 10));
  text.push_back(static_cast<char>('0' + magnitude % 10));
  return Justify(text, w);
}

std::string I(long long v, int w) {
  w = ClampWidth(w);
  if (w == 0) return {};
  char buf[24];  // 19 digits of a long long, its sign, and room to spare
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  if (ec != std::errc()) return Stars(w);
  return Justify(std::string_view(buf, static_cast<size_t>(end - buf)), w);
}

std::string A(std::string_view s, int w) {
  w = ClampWidth(w);
  std::string out(s.substr(0, static_cast<size_t>(w)));
  out.resize(static_cast<size_t>(w), ' ');
  return out;
}

std::string X(int n) { return std::string(static_cast<size_t>(ClampWidth(n)), ' '); }

}  // namespace fields
