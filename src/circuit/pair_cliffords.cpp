#include "pair_cliffords.h"

#include <array>
#include <vector>

namespace korvane::circuit {
namespace {

// The image as x and z bits over the two operands.
SignedPauli signed_pauli(const PauliImage& image) {
  SignedPauli pauli{0, 0, image.negative};
  for (std::uint32_t operand = 0; operand < 2; ++operand) {
    const Pauli factor = image.factors[operand];
    if (factor == Pauli::X || factor == Pauli::Y) pauli.x |= 1U << operand;
    if (factor == Pauli::Z || factor == Pauli::Y) pauli.z |= 1U << operand;
  }
  return pauli;
}

std::vector<CliffordStep> steps_of(GateId id) {
  const Conjugation images = gate_of(id).images;
  Tableau tableau;
  for (std::size_t operand = 0; operand < 2; ++operand) {
    tableau.x_images.push_back(signed_pauli(images[2 * operand]));
    tableau.z_images.push_back(signed_pauli(images[2 * operand + 1]));
  }
  return synthesize(tableau);
}

}  // namespace

std::span<const CliffordStep> pair_clifford_steps(GateId id) {
  static const std::array<std::vector<CliffordStep>, gate_count> all = [] {
    std::array<std::vector<CliffordStep>, gate_count> steps;
    for (std::size_t g = 0; g < gate_count; ++g) {
      if (gate_table[g].kind == Kind::pair_clifford) steps[g] = steps_of(static_cast<GateId>(g));
    }
    return steps;
  }();
  return all[id];
}

void apply_pair_clifford(engine::Register& reg, GateId id, engine::Qubit a, engine::Qubit b) {
  const std::array<engine::Qubit, 2> operands{a, b};
  apply_steps(reg, pair_clifford_steps(id), operands);
}

PairImages pair_images(GateId id) {
  PairImages bits{};
  const Conjugation images = gate_of(id).images;
  for (std::size_t k = 0; k < 4; ++k) {
    const SignedPauli pauli = signed_pauli(images[k]);
    bits[k] = static_cast<std::uint8_t>((pauli.x & 1U) | ((pauli.z & 1U) << 1U) |
                                        ((pauli.x & 2U) << 1U) | ((pauli.z & 2U) << 2U));
  }
  return bits;
}

}  // namespace korvane::circuit
