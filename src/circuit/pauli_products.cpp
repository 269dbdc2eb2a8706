#include "pauli_products.h"

#include <algorithm>
#include <string>

#include "../engine/base.h"

namespace korvane::circuit {
namespace {

// A single-qubit Pauli as (x, z) bits: X 1, Z 2, Y 3.
unsigned bits_of(std::uint32_t entry) {
  return ((entry & factor_x_flag) != 0 ? 1U : 0U) | ((entry & factor_z_flag) != 0 ? 2U : 0U);
}
Axis axis_from_bits(unsigned bits) {
  return bits == 1U ? Axis::X : (bits == 2U ? Axis::Z : Axis::Y);
}

// The power of i in sigma_a sigma_b = i^power sigma_(a xor b), for Paulis as (x, z) bits: 1 for
// XY, YZ, ZX; 3 for the reverse; 0 when they commute.
unsigned product_phase(unsigned a, unsigned b) {
  if (a == 0 || b == 0 || a == b) return 0;
  // Cyclic order X (1) -> Y (3) -> Z (2) -> X.
  const bool cyclic = (a == 1 && b == 3) || (a == 3 && b == 2) || (a == 2 && b == 1);
  return cyclic ? 1U : 3U;
}

// The first VOP whose conjugation carries `axis` onto +-Z.
constexpr Vop onto_z(Axis axis) {
  Vop c = 0;
  while (clifford::image_axis(axis, c) != Axis::Z) ++c;
  return c;
}

constexpr std::uint64_t position_mask = 0xFFFFFFFFU;
constexpr Vop vop_s = vop_of(gate_named("S"));
constexpr Vop vop_s_dag = vop_of(gate_named("S_DAG"));

}  // namespace

std::string factors_text(std::span<const std::uint32_t> factors) {
  std::string text;
  for (std::size_t i = 0; i < factors.size(); ++i) {
    const std::uint32_t entry = factors[i];
    if (i != 0) text.push_back((factors[i - 1] & joined_flag) != 0 ? '*' : ' ');
    if ((entry & inverted_flag) != 0) text.push_back('!');
    text.push_back("IXZY"[bits_of(entry)]);
    text += std::to_string(factor_qubit(entry));
  }
  return text;
}

bool multiply_factors(std::span<const std::uint32_t> factors, ProductScratch& scratch) {
  // Factors on different qubits commute: sorted by qubit, and by place among equal qubits, they
  // multiply qubit by qubit in the order written.
  std::vector<std::uint64_t>& order = scratch.order;
  order.clear();
  for (std::size_t i = 0; i < factors.size(); ++i) {
    order.push_back((std::uint64_t{factor_qubit(factors[i])} << 32U) | i);
  }
  if (!std::is_sorted(order.begin(), order.end())) std::sort(order.begin(), order.end());
  engine::PauliProduct& product = scratch.product;
  product.factors.clear();
  unsigned phase = 0;  // power of i
  for (std::size_t k = 0; k < order.size();) {
    const std::uint64_t qubit = order[k] >> 32U;
    unsigned bits = 0;
    for (; k < order.size() && order[k] >> 32U == qubit; ++k) {
      const std::uint32_t entry = factors[order[k] & position_mask];
      const unsigned next = bits_of(entry);
      phase += product_phase(bits, next) + ((entry & inverted_flag) != 0 ? 2 : 0);
      bits ^= next;
    }
    if (bits != 0) product.factors.push_back({qubit, axis_from_bits(bits)});
  }
  product.negative = phase % 4 == 2;
  return phase % 2 == 0;
}

const engine::PauliProduct& hermitian_product(std::span<const std::uint32_t> factors,
                                              ProductScratch& scratch) {
  if (!multiply_factors(factors, scratch)) {
    throw engine::InvalidInput("the product " + factors_text(factors) + " is anti-Hermitian");
  }
  return scratch.product;
}

void check_products(const Program& program) {
  ProductScratch scratch;
  for (std::size_t index = 0; index < program.instructions.size(); ++index) {
    const Instruction& instruction = program.instructions[index];
    const Gate& gate = gate_of(instruction.gate);
    if (gate.targets != Targets::pauli_products) continue;
    for_each_product(program.targets_of(instruction), [&](std::span<const std::uint32_t> factors) {
      if (multiply_factors(factors, scratch)) return;
      throw engine::InvalidInput(
          "line " + std::to_string(program.lines[index]) + ": the product " +
          factors_text(factors) + " of " + std::string(gate.name) +
          " is anti-Hermitian (its factors multiply to a Pauli times i or -i), so it cannot be " +
          (instruction.kind == Kind::measure_product ? "measured" : "applied"));
    });
  }
}

bool holds_products(const Program& program) {
  return std::any_of(program.instructions.begin(), program.instructions.end(),
                     [](const Instruction& instruction) {
                       return gate_of(instruction.gate).targets == Targets::pauli_products;
                     });
}

bool steps_to_z(ProductScratch& scratch) {
  const std::vector<engine::PauliFactor>& factors = scratch.product.factors;
  scratch.steps.clear();
  scratch.operands.clear();
  bool negative = scratch.product.negative;
  for (std::size_t i = 0; i < factors.size(); ++i) {
    scratch.operands.push_back(factors[i].qubit);
    const Vop change = onto_z(factors[i].axis);
    negative = negative != clifford::image_sign(change, factors[i].axis);
    if (change != clifford::identity) scratch.steps.push_back({CliffordStep::Type::vop, change, i});
  }
  // CX from each other factor's qubit onto the first folds Z Z onto the first's Z.
  for (std::size_t i = 1; i < factors.size(); ++i) {
    scratch.steps.push_back({CliffordStep::Type::cx, 0, i, 0});
  }
  return negative;
}

void product_phase_steps(bool adjoint, ProductScratch& scratch) {
  scratch.steps.clear();
  scratch.operands.clear();
  // The square root of +-identity is a global phase.
  if (scratch.product.factors.empty()) return;
  const bool negative = steps_to_z(scratch);
  std::vector<CliffordStep>& steps = scratch.steps;
  const std::size_t forward = steps.size();
  steps.reserve(2 * forward + 1);
  // The square root of Z is S, of -Z is S_DAG.
  const bool s_dag = negative != adjoint;
  steps.push_back({CliffordStep::Type::vop, s_dag ? vop_s_dag : vop_s, 0, 0});
  append_inverse(std::span(steps).first(forward), steps);
}

void apply_product_phase(engine::Register& reg, bool adjoint, ProductScratch& scratch) {
  product_phase_steps(adjoint, scratch);
  apply_steps(reg, scratch.steps, scratch.operands);
}

}  // namespace korvane::circuit
