// How a sample's rows hold each shot's bits: a byte (0 or 1) per bit, or packed eight to a byte
// as in the b8 format (bit k in byte k / 8 at 1 << (k % 8), pad bits 0).
#pragma once

#include <cstdint>

namespace korvane::circuit {

enum class RowLayout : std::uint8_t { bytes, packed };

// The bytes of one row of `bits` bits.
constexpr std::uint64_t row_bytes(RowLayout layout, std::uint64_t bits) {
  return layout == RowLayout::packed ? (bits + 7) / 8 : bits;
}

// One row of `bits` bytes of 0 or 1 packed into row_bytes(packed, bits) bytes, all written.
void pack_row(const std::uint8_t* bytes, std::uint64_t bits, std::uint8_t* packed);

// The reverse: row_bytes(packed, bits) bytes into `bits` bytes of 0 or 1.
void unpack_row(const std::uint8_t* packed, std::uint64_t bits, std::uint8_t* bytes);

}  // namespace korvane::circuit
