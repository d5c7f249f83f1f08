#include "diag/suggest.h"

#include <algorithm>
#include <vector>

namespace diag {

std::size_t edit_distance(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  const std::size_t width = b.size() + 1;
  std::vector<std::size_t> d((a.size() + 1) * width);
  const auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return d[i * width + j]; };
  for (std::size_t i = 0; i <= a.size(); ++i) at(i, 0) = i;
  for (std::size_t j = 0; j <= b.size(); ++j) at(0, j) = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1;
      at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + cost});
      if (i > 1 && j > 1 && lower(a[i - 1]) == lower(b[j - 2]) &&
          lower(a[i - 2]) == lower(b[j - 1])) {
        at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
      }
    }
  }
  return at(a.size(), b.size());
}

std::optional<std::string_view> closest(std::string_view name, std::span<const std::string_view> known) {
  // Longer names are no slip of a known one, and would cost a large table.
  if (name.size() > 64) return std::nullopt;
  std::optional<std::string_view> best;
  std::size_t best_distance = 0;
  for (std::string_view k : known) {
    const std::size_t d = edit_distance(name, k);
    const std::size_t allowed = k.size() <= 4 ? 1 : k.size() <= 8 ? 2 : 3;
    if (d <= allowed && (!best || d < best_distance)) {
      best = k;
      best_distance = d;
    }
  }
  return best;
}

}  // namespace diag
