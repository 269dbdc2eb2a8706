// Products of Pauli factors as MPP and SPP write them (X0*Y1*!Z2): factors on one qubit
// multiplied in order, the signs of inverted factors gathered, and anti-Hermitian products (X0*Z0
// is -iY0) told apart, since nothing can measure them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "../clifford/local_clifford.h"

namespace korvane::circuit {

struct PauliFactor {
  std::uint32_t qubit = 0;
  clifford::Axis axis = clifford::Axis::Z;
  bool inverted = false;  // written !X3: the product is negated
};

// A Hermitian product: distinct qubits, ascending, and a sign.
struct HermitianProduct {
  std::vector<PauliFactor> factors;  // `inverted` unused
  bool negative = false;
};

// The product of `factors` in the order written, or nothing when it is anti-Hermitian (a phase of
// +-i remains). An empty result is +-identity.
std::optional<HermitianProduct> multiply_factors(std::span<const PauliFactor> factors);

}  // namespace korvane::circuit
