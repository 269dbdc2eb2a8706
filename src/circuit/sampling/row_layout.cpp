#include "row_layout.h"

#include <cstring>

#include "../../engine/bits/bit_tile.h"

namespace korvane::circuit {

void pack_row(const std::uint8_t* bytes, std::uint64_t bits, std::uint8_t* packed) {
  std::uint64_t k = 0;
  for (; k + 8 <= bits; k += 8) {
    std::uint64_t eight = 0;
    std::memcpy(&eight, bytes + k, 8);
    packed[k / 8] = engine::gather_bits(eight);
  }
  if (k == bits) return;
  unsigned last = 0;
  for (unsigned j = 0; k + j < bits; ++j) last |= (bytes[k + j] & 1U) << j;
  packed[k / 8] = static_cast<std::uint8_t>(last);
}

void unpack_row(const std::uint8_t* packed, std::uint64_t bits, std::uint8_t* bytes) {
  std::uint64_t k = 0;
  for (; k + 8 <= bits; k += 8) {
    const std::uint64_t eight = engine::spread_bits(packed[k / 8]);
    std::memcpy(bytes + k, &eight, 8);
  }
  for (; k < bits; ++k) bytes[k] = static_cast<std::uint8_t>((packed[k / 8] >> (k % 8)) & 1U);
}

}  // namespace korvane::circuit
