// Two-qubit Cliffords given by their images (CXSWAP, ISWAP, SQRT_XX, ...): on the register as
// single-qubit Cliffords, CX and SWAP found once from the images, on Pauli frames as the linear
// map the images make (signs do not matter there).
#pragma once

#include <span>

#include "../engine/register.h"
#include "frame_products.h"
#include "gates/gate_table.h"
#include "qasm/clifford_synthesis.h"

namespace korvane::circuit {

// The steps that apply the two-qubit Clifford of gate `id` to its operands 0 and 1, in order.
std::span<const qasm::CliffordStep> pair_clifford_steps(GateId id);

// Applies gate `id` to (a, b) on the register.
void apply_pair_clifford(engine::Register& reg, GateId id, engine::Qubit a, engine::Qubit b);

// The images of gate `id` as apply_pair_clifford on frames takes them.
PairImages pair_images(GateId id);

}  // namespace korvane::circuit
