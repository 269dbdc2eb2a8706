// Pauli products and two-qubit Cliffords on Pauli frames, for MPP, MXX/MYY/MZZ, SPP and the
// two-qubit Cliffords given by their images: signs never matter on frames, only which Paulis.
#pragma once

#include <span>

#include "../../engine/ops/pauli_product.h"
#include "../pair_cliffords.h"
#include "pauli_frames.h"

namespace korvane::circuit {

// Writes to `flips` the frames in which a measurement of `product` differs from the reference:
// those that anticommute with it.
void product_flips(const PauliFrames& frames, const engine::PauliProduct& product,
                   std::span<Word> flips);

// Multiplies the frames selected by `mask` by `product`.
void multiply_product_where(PauliFrames& frames, const engine::PauliProduct& product,
                            std::span<const Word> mask);

// Conjugation by SPP or SPP_DAG of `product`: a frame that anticommutes with it gains it.
// `scratch` holds frames.words() words.
void apply_product_phase(PauliFrames& frames, const engine::PauliProduct& product,
                         std::span<Word> scratch);

// Conjugation by the two-qubit Clifford with these images.
void apply_pair_clifford(PauliFrames& frames, engine::Qubit a, engine::Qubit b,
                         const PairImages& images);

}  // namespace korvane::circuit
