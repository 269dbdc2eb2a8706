#include "pauli_frames.h"

#include <array>
#include <utility>

namespace korvane::circuit {

// On x86-64 each loop over a qubit's words is built three times (AVX-512, AVX2, baseline) and the
// loader picks the best the processor has; the loops are plain so that each build vectorises.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define KORVANE_FRAME_KERNEL \
  __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define KORVANE_FRAME_KERNEL
#endif

namespace {

using clifford::Axis;

// All ones when the condition holds: selects words in the branch-free updates below.
constexpr FrameWord mask_if(bool condition) { return condition ? ~FrameWord{0} : 0; }

constexpr bool has_x(Axis axis) { return axis != Axis::Z; }
constexpr bool has_z(Axis axis) { return axis != Axis::X; }

// The control's Pauli and the target's Pauli of each gate, in ControlledGate order.
constexpr std::array<Axis, 9> control_axes{Axis::Z, Axis::Z, Axis::Z, Axis::X, Axis::X,
                                           Axis::X, Axis::Y, Axis::Y, Axis::Y};
constexpr std::array<Axis, 9> target_axes{Axis::Z, Axis::X, Axis::Y, Axis::X, Axis::Y,
                                          Axis::Z, Axis::X, Axis::Y, Axis::Z};

}  // namespace

PauliFrames::PauliFrames(std::size_t qubits, std::size_t words)
    : words_(words), x_(qubits * words), z_(qubits * words) {}

KORVANE_FRAME_KERNEL
void PauliFrames::apply_clifford(engine::Qubit q, clifford::Vop gate) noexcept {
  // X^x Z^z goes to image(X)^x image(Z)^z, up to sign.
  const Axis x_image = clifford::image_axis(Axis::X, gate);
  const Axis z_image = clifford::image_axis(Axis::Z, gate);
  const FrameWord x_to_x = mask_if(has_x(x_image));
  const FrameWord x_to_z = mask_if(has_z(x_image));
  const FrameWord z_to_x = mask_if(has_x(z_image));
  const FrameWord z_to_z = mask_if(has_z(z_image));
  FrameWord* const xs = &x_[q * words_];
  FrameWord* const zs = &z_[q * words_];
  for (std::size_t w = 0; w < words_; ++w) {
    const FrameWord x = xs[w];
    const FrameWord z = zs[w];
    xs[w] = (x & x_to_x) ^ (z & z_to_x);
    zs[w] = (x & x_to_z) ^ (z & z_to_z);
  }
}

KORVANE_FRAME_KERNEL
void PauliFrames::apply_controlled(engine::ControlledGate gate, engine::Qubit control,
                                   engine::Qubit target) noexcept {
  // The gate is P+ (x) I + P- (x) Q. It adds Q to the target where the control's frame
  // anticommutes with P, and P to the control where the target's anticommutes with Q.
  const Axis p = control_axes[static_cast<std::size_t>(gate)];
  const Axis q = target_axes[static_cast<std::size_t>(gate)];
  FrameWord* const cx = &x_[control * words_];
  FrameWord* const cz = &z_[control * words_];
  FrameWord* const tx = &x_[target * words_];
  FrameWord* const tz = &z_[target * words_];
  for (std::size_t w = 0; w < words_; ++w) {
    const FrameWord control_flips = (cx[w] & mask_if(has_z(p))) ^ (cz[w] & mask_if(has_x(p)));
    const FrameWord target_flips = (tx[w] & mask_if(has_z(q))) ^ (tz[w] & mask_if(has_x(q)));
    tx[w] ^= control_flips & mask_if(has_x(q));
    tz[w] ^= control_flips & mask_if(has_z(q));
    cx[w] ^= target_flips & mask_if(has_x(p));
    cz[w] ^= target_flips & mask_if(has_z(p));
  }
}

KORVANE_FRAME_KERNEL
void PauliFrames::swap(engine::Qubit a, engine::Qubit b) noexcept {
  for (std::size_t w = 0; w < words_; ++w) {
    std::swap(x_[a * words_ + w], x_[b * words_ + w]);
    std::swap(z_[a * words_ + w], z_[b * words_ + w]);
  }
}

KORVANE_FRAME_KERNEL
void PauliFrames::measurement_flips(engine::Qubit q, Axis axis,
                                    std::span<FrameWord> flips) const noexcept {
  const FrameWord* const xs = &x_[q * words_];
  const FrameWord* const zs = &z_[q * words_];
  const FrameWord x_flips = mask_if(has_z(axis));
  const FrameWord z_flips = mask_if(has_x(axis));
  for (std::size_t w = 0; w < words_; ++w) flips[w] = (xs[w] & x_flips) ^ (zs[w] & z_flips);
}

KORVANE_FRAME_KERNEL
void PauliFrames::multiply_where(engine::Qubit q, Axis pauli,
                                 std::span<const FrameWord> mask) noexcept {
  FrameWord* const xs = &x_[q * words_];
  FrameWord* const zs = &z_[q * words_];
  const FrameWord to_x = mask_if(has_x(pauli));
  const FrameWord to_z = mask_if(has_z(pauli));
  for (std::size_t w = 0; w < words_; ++w) {
    xs[w] ^= mask[w] & to_x;
    zs[w] ^= mask[w] & to_z;
  }
}

KORVANE_FRAME_KERNEL
void PauliFrames::clear_flipping_part(engine::Qubit q, Axis axis) noexcept {
  FrameWord* const xs = &x_[q * words_];
  FrameWord* const zs = &z_[q * words_];
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
