// Pauli frames packed across runs: for each qubit, `words` words of X bits and as many of Z bits;
// frame f is bit f of each qubit's row of words (engine/bits/word.h). A frame is the Pauli (up to
// sign) by which one run's state differs from a reference run's. Clifford gates conjugate it; a
// measurement's result differs from the reference's exactly in the frames that anticommute with the
// measured Pauli.
//
// Started with a random Z on every qubit (which leaves |0> unchanged) and given a fresh random
// stabilizing Pauli after every measurement and reset, frames carry exactly the randomness that
// measurement outcomes must show: reference XOR frame flip is distributed as a real run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "../../clifford/local_clifford.h"
#include "../../engine/bits/word.h"
#include "../../engine/ops/controlled_gates.h"
#include "../../engine/register.h"

namespace korvane::circuit {

// The frames are rows of the engine's words.
using engine::Word;

class PauliFrames {
 public:
  // Every frame the identity.
  PauliFrames(std::size_t qubits, std::size_t words);

  std::size_t qubits() const noexcept { return words_ == 0 ? 0 : x_.size() / words_; }
  std::size_t words() const noexcept { return words_; }

  std::span<Word> x_bits(engine::Qubit q) noexcept { return {&x_[q * words_], words_}; }
  std::span<Word> z_bits(engine::Qubit q) noexcept { return {&z_[q * words_], words_}; }
  std::span<const Word> x_bits(engine::Qubit q) const noexcept { return {&x_[q * words_], words_}; }
  std::span<const Word> z_bits(engine::Qubit q) const noexcept { return {&z_[q * words_], words_}; }

  // Conjugation by the single-qubit Clifford `gate` (a VOP).
  void apply_clifford(engine::Qubit q, clifford::Vop gate) noexcept;
  // Conjugation by a controlled Pauli.
  void apply_controlled(engine::ControlledPauli gate, engine::Qubit control,
                        engine::Qubit target) noexcept;
  void swap(engine::Qubit a, engine::Qubit b) noexcept;

  // Writes to `flips` the frames in which a measurement of `axis` on q flips: those whose Pauli on
  // q anticommutes with the axis's.
  void measurement_flips(engine::Qubit q, clifford::Axis axis,
                         std::span<Word> flips) const noexcept;
  // Multiplies the frames selected by `mask` by the Pauli of `pauli` on q.
  void multiply_where(engine::Qubit q, clifford::Axis pauli, std::span<const Word> mask) noexcept;
  // Before a reset on `axis`: removes from each frame the part on q that would flip a measurement
  // of that axis (the reset state does not depend on it).
  void clear_flipping_part(engine::Qubit q, clifford::Axis axis) noexcept;

  // Multiplies one frame by a Pauli on q: pauli_x, pauli_y or pauli_z (VOPs 1, 2, 3).
  void multiply_one(engine::Qubit q, unsigned pauli, std::uint64_t frame) noexcept {
    const Word bit = engine::bit_of(frame);
    const std::size_t word = q * words_ + engine::word_of(frame);
    if (pauli != clifford::pauli_z) x_[word] ^= bit;
    if (pauli != clifford::pauli_x) z_[word] ^= bit;
  }

 private:
  std::size_t words_;
  std::vector<Word> x_;
  std::vector<Word> z_;
};

}  // namespace korvane::circuit
