#include "numerics/interp.h"
namespace numerics {
void SORT2(int, std::span<float>, std::span<float>) {}
void SPLINE(std::span<const float>, std::span<const float>, int, float, float, std::span<float>) {}
void SPLINT(std::span<const float>, std::span<const float>, std::span<const float>, int, float,
            float& y) { y = 0.0f; }
void POLINT(std::span<const float>, std::span<const float>, int, float, float& y, float& dy) {
  y = 0.0f;
  dy = 0.0f;
}
}  // namespace numerics
