#include "random_source.h"

namespace korvane::engine {

clifford::Axis uniform_axis(RandomSource& source) {
  // The axis is the integer part of 3 * f for the uniform fraction f = 0.u u2... (base 2^32).
  // The second draw can change it only when the lower half of 3 * u is within 2 of the top.
  constexpr std::uint64_t axis_count = 3;
  constexpr int draw_bits = std::numeric_limits<std::uint32_t>::digits;
  constexpr std::uint32_t carry_threshold =
      std::numeric_limits<std::uint32_t>::max() - (axis_count - 1);
  const std::uint64_t scaled = axis_count * source.next_u32();
  auto index = static_cast<std::uint32_t>(scaled >> draw_bits);
  const auto lower = static_cast<std::uint32_t>(scaled);
  if (lower > carry_threshold) {
    const auto carry_in = static_cast<std::uint32_t>((axis_count * source.next_u32()) >> draw_bits);
    if (static_cast<std::uint32_t>(lower + carry_in) < lower) ++index;
  }
  return static_cast<clifford::Axis>(index);
}

}  // namespace korvane::engine
