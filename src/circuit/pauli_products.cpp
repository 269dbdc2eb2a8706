#include "pauli_products.h"

#include <algorithm>
#include <map>

namespace korvane::circuit {
namespace {

using clifford::Axis;

// (x, z) bits of an axis, and back.
unsigned bits_of(Axis axis) { return axis == Axis::X ? 1U : (axis == Axis::Z ? 2U : 3U); }
Axis axis_from_bits(unsigned bits) {
  return bits == 1U ? Axis::X : (bits == 2U ? Axis::Z : Axis::Y);
}

// The power of i in sigma_a * sigma_b = i^power sigma_(a xor b), for single-qubit Paulis given
// by (x, z) bits: +1 for XY, YZ, ZX; -1 (power 3) for the reverse; 0 when they commute.
unsigned product_phase(unsigned a, unsigned b) {
  if (a == 0 || b == 0 || a == b) return 0;
  // Cyclic order X (1) -> Y (3) -> Z (2) -> X.
  const bool cyclic = (a == 1 && b == 3) || (a == 3 && b == 2) || (a == 2 && b == 1);
  return cyclic ? 1U : 3U;
}

}  // namespace

std::optional<HermitianProduct> multiply_factors(std::span<const PauliFactor> factors) {
  std::map<std::uint32_t, unsigned> on_qubit;  // (x, z) bits so far
  unsigned phase = 0;                          // power of i
  for (const PauliFactor& factor : factors) {
    unsigned& bits = on_qubit[factor.qubit];
    const unsigned next = bits_of(factor.axis);
    phase += product_phase(bits, next);
    bits ^= next;
    if (factor.inverted) phase += 2;
  }
  if (phase % 2 != 0) return std::nullopt;
  HermitianProduct product;
  product.negative = phase % 4 == 2;
  for (const auto& [qubit, bits] : on_qubit) {
    if (bits != 0) product.factors.push_back({qubit, axis_from_bits(bits)});
  }
  return product;
}

}  // namespace korvane::circuit
