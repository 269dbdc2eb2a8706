// Pauli products and two-qubit Cliffords on Pauli frames, for MPP, MXX/MYY/MZZ, SPP and the
// two-qubit Cliffords given by their images: signs never matter on frames, only which Paulis.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "pauli_products.h"
#include "run/pauli_frames.h"

namespace korvane::circuit {

// Writes to `flips` the frames in which a measurement of `product` differs from the reference:
// those that anticommute with it.
void product_flips(const PauliFrames& frames, const HermitianProduct& product,
                   std::span<engine::Word> flips);

// Multiplies the frames selected by `mask` by `product`.
void multiply_product_where(PauliFrames& frames, const HermitianProduct& product,
                            std::span<const engine::Word> mask);

// Conjugation by SPP or SPP_DAG of `product`: a frame that anticommutes with it gains it.
// `scratch` holds frames().words() words.
void apply_product_phase(PauliFrames& frames, const HermitianProduct& product,
                         std::span<engine::Word> scratch);

// The images of X_a, Z_a, X_b, Z_b under a two-qubit Clifford, each as bits 1 (X on a), 2 (Z on
// a), 4 (X on b), 8 (Z on b).
using PairImages = std::array<std::uint8_t, 4>;

// Conjugation by the two-qubit Clifford with those images.
void apply_pair_clifford(PauliFrames& frames, engine::Qubit a, engine::Qubit b,
                         const PairImages& images);

}  // namespace korvane::circuit
