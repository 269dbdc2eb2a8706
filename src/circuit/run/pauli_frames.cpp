#include "pauli_frames.h"

#include <utility>

#include "../../engine/bits/word_kernels.h"

namespace korvane::circuit {

namespace {

using clifford::Axis;

using engine::mask_if;

constexpr bool has_x(Axis axis) { return axis != Axis::Z; }
constexpr bool has_z(Axis axis) { return axis != Axis::X; }

}  // namespace

PauliFrames::PauliFrames(std::size_t qubits, std::size_t words)
    : words_(words), x_(qubits * words), z_(qubits * words) {}

KORVANE_WORD_KERNEL
void PauliFrames::apply_clifford(engine::Qubit q, clifford::Vop gate) noexcept {
  // X^x Z^z goes to image(X)^x image(Z)^z, up to sign.
  const Axis x_image = clifford::image_axis(Axis::X, gate);
  const Axis z_image = clifford::image_axis(Axis::Z, gate);
  const Word x_to_x = mask_if(has_x(x_image));
  const Word x_to_z = mask_if(has_z(x_image));
  const Word z_to_x = mask_if(has_x(z_image));
  const Word z_to_z = mask_if(has_z(z_image));
  Word* const xs = &x_[q * words_];
  Word* const zs = &z_[q * words_];
  for (std::size_t w = 0; w < words_; ++w) {
    const Word x = xs[w];
    const Word z = zs[w];
    xs[w] = (x & x_to_x) ^ (z & z_to_x);
    zs[w] = (x & x_to_z) ^ (z & z_to_z);
  }
}

KORVANE_WORD_KERNEL
void PauliFrames::apply_controlled(engine::ControlledPauli gate, engine::Qubit control,
                                   engine::Qubit target) noexcept {
  // The gate is P+ (x) I + P- (x) Q. It adds Q to the target where the control's frame
  // anticommutes with P, and P to the control where the target's anticommutes with Q.
  const Axis p = gate.control;
  const Axis q = gate.target;
  Word* const cx = &x_[control * words_];
  Word* const cz = &z_[control * words_];
  Word* const tx = &x_[target * words_];
  Word* const tz = &z_[target * words_];
  for (std::size_t w = 0; w < words_; ++w) {
    const Word control_flips = (cx[w] & mask_if(has_z(p))) ^ (cz[w] & mask_if(has_x(p)));
    const Word target_flips = (tx[w] & mask_if(has_z(q))) ^ (tz[w] & mask_if(has_x(q)));
    tx[w] ^= control_flips & mask_if(has_x(q));
    tz[w] ^= control_flips & mask_if(has_z(q));
    cx[w] ^= target_flips & mask_if(has_x(p));
    cz[w] ^= target_flips & mask_if(has_z(p));
  }
}

KORVANE_WORD_KERNEL
void PauliFrames::swap(engine::Qubit a, engine::Qubit b) noexcept {
  for (std::size_t w = 0; w < words_; ++w) {
    std::swap(x_[a * words_ + w], x_[b * words_ + w]);
    std::swap(z_[a * words_ + w], z_[b * words_ + w]);
  }
}

KORVANE_WORD_KERNEL
void PauliFrames::measurement_flips(engine::Qubit q, Axis axis,
                                    std::span<Word> flips) const noexcept {
  const Word* const xs = &x_[q * words_];
  const Word* const zs = &z_[q * words_];
  const Word x_flips = mask_if(has_z(axis));
  const Word z_flips = mask_if(has_x(axis));
  for (std::size_t w = 0; w < words_; ++w) flips[w] = (xs[w] & x_flips) ^ (zs[w] & z_flips);
}

KORVANE_WORD_KERNEL
void PauliFrames::multiply_where(engine::Qubit q, Axis pauli, std::span<const Word> mask) noexcept {
  Word* const xs = &x_[q * words_];
  Word* const zs = &z_[q * words_];
  const Word to_x = mask_if(has_x(pauli));
  const Word to_z = mask_if(has_z(pauli));
  for (std::size_t w = 0; w < words_; ++w) {
    xs[w] ^= mask[w] & to_x;
    zs[w] ^= mask[w] & to_z;
  }
}

KORVANE_WORD_KERNEL
void PauliFrames::clear_flipping_part(engine::Qubit q, Axis axis) noexcept {
  Word* const xs = &x_[q * words_];
  Word* const zs = &z_[q * words_];
  switch (axis) {
    case Axis::Z:  // leaves I or Z
      for (std::size_t w = 0; w < words_; ++w) xs[w] = 0;
      break;
    case Axis::X:  // leaves I or X
      for (std::size_t w = 0; w < words_; ++w) zs[w] = 0;
      break;
    case Axis::Y:  // leaves I or Y
      for (std::size_t w = 0; w < words_; ++w) zs[w] = xs[w];
      break;
  }
}

}  // namespace korvane::circuit
