// Pauli products as MPP and SPP write them (X0*Y1*!Z2), and as MXX, MYY and MZZ store their pairs:
// each product's factors multiplied in order with the signs of inverted factors gathered, and
// anti-Hermitian products (X0*Z0 is -iY0) told apart, since nothing can measure them or take their
// square root. Also the Cliffords that carry a product onto one qubit's Z, by which the register
// takes SPP and OpenQASM writes both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "../engine/ops/pauli_product.h"
#include "../engine/register.h"
#include "gates/clifford_synthesis.h"
#include "program.h"

namespace korvane::circuit {

// The factor entry (program.h) of `axis` on `qubit`.
constexpr std::uint32_t factor_entry(std::uint32_t qubit, Axis axis, bool inverted, bool joined) {
  return qubit | (axis != Axis::Z ? factor_x_flag : 0U) | (axis != Axis::X ? factor_z_flag : 0U) |
         (inverted ? inverted_flag : 0U) | (joined ? joined_flag : 0U);
}
constexpr std::uint32_t factor_qubit(std::uint32_t entry) { return entry & max_factor_qubit; }
constexpr Axis factor_axis(std::uint32_t entry) {
  const bool x = (entry & factor_x_flag) != 0, z = (entry & factor_z_flag) != 0;
  return x && z ? Axis::Y : (x ? Axis::X : Axis::Z);
}

// Calls visit(factors) for each product among a product instruction's target entries, in order.
template <class Visit>
void for_each_product(std::span<const std::uint32_t> targets, Visit&& visit) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if ((targets[i] & joined_flag) != 0) continue;
    visit(targets.subspan(start, i + 1 - start));
    start = i + 1;
  }
}

// The factor entries as the text format writes them: X0*!Y1 Z2.
std::string factors_text(std::span<const std::uint32_t> factors);

// Working space for multiplying products, reused from product to product.
struct ProductScratch {
  std::vector<std::uint64_t> order;
  engine::PauliProduct product;
  std::vector<CliffordStep> steps;
  std::vector<engine::Qubit> operands;
};

// Multiplies the factor entries of one product, in the order written, into scratch.product:
// distinct qubits, ascending, and a sign; no factors for +-identity. False when the product is
// anti-Hermitian (a phase of +-i remains).
bool multiply_factors(std::span<const std::uint32_t> factors, ProductScratch& scratch);

// As multiply_factors, for a product known to be Hermitian (check_products has passed).
const engine::PauliProduct& hermitian_product(std::span<const std::uint32_t> factors,
                                              ProductScratch& scratch);

// Throws InvalidInput, naming its line, for the first anti-Hermitian product of the program.
void check_products(const Program& program);

// Whether any instruction of the program measures or applies Pauli products (which
// check_products then reads).
bool holds_products(const Program& program);

// Writes to scratch.steps the Cliffords that carry scratch.product, unsigned, onto Z of its first
// factor's qubit, and to scratch.operands the product's qubits, which the steps' indices name.
// Returns whether the image is -Z (sign of the product included). The product must have factors.
bool steps_to_z(ProductScratch& scratch);

// Writes to scratch.steps the Cliffords that apply SPP of scratch.product (SPP_DAG when
// `adjoint`), on scratch.operands as steps_to_z does; none for +-identity, a global phase.
void product_phase_steps(bool adjoint, ProductScratch& scratch);

// SPP of scratch.product on the register, or SPP_DAG when `adjoint`.
void apply_product_phase(engine::Register& reg, bool adjoint, ProductScratch& scratch);

}  // namespace korvane::circuit
