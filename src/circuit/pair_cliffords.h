// Two-qubit Cliffords given by their images (CXSWAP, ISWAP, SQRT_XX, ...): on the register as
// single-qubit Cliffords, CX and SWAP found once from the images, on Pauli frames as the linear
// map the images make (signs do not matter there).
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "../engine/register.h"
#include "gates/clifford_synthesis.h"
#include "gates/gate_table.h"

namespace korvane::circuit {

// The steps that apply the two-qubit Clifford of gate `id` to its operands 0 and 1, in order.
std::span<const CliffordStep> pair_clifford_steps(GateId id);

// Applies gate `id` to (a, b) on the register.
void apply_pair_clifford(engine::Register& reg, GateId id, engine::Qubit a, engine::Qubit b);

// The images of X_a, Z_a, X_b, Z_b under a two-qubit Clifford, each as bits 1 (X on a), 2 (Z on
// a), 4 (X on b), 8 (Z on b).
using PairImages = std::array<std::uint8_t, 4>;

// The images of gate `id`, as Pauli frames take them.
PairImages pair_images(GateId id);

}  // namespace korvane::circuit
