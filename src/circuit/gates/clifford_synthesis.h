// A Clifford given by its tableau, written as single-qubit Cliffords, CX and SWAP: the form in
// which the two-qubit Cliffords of the gate table, and OpenQASM gates that are Clifford only as a
// whole (a block with T gates that cancel, ECR, RZZ(pi/2)), reach the register.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "../../clifford/local_clifford.h"
#include "../../engine/register.h"

namespace korvane::circuit {

// A Pauli string with a sign: the product of the Hermitian Paulis given by x and z bits per qubit
// (X = x, Z = z, Y = both), negated when `negative`.
struct SignedPauli {
  std::uint32_t x = 0;
  std::uint32_t z = 0;
  bool negative = false;

  bool operator==(const SignedPauli&) const = default;
};

// A Clifford as its action by conjugation: images of X_j and Z_j for every qubit j.
struct Tableau {
  std::vector<SignedPauli> x_images;
  std::vector<SignedPauli> z_images;
};

struct CliffordStep {
  enum class Type : std::uint8_t { vop, cx, swap };
  Type type = Type::vop;
  clifford::Vop vop = 0;  // for Type::vop, on qubit a
  std::size_t a = 0;      // the qubit, or the control of CX
  std::size_t b = 0;      // the target of CX, or the other qubit of SWAP
};

// The VOP of a single-qubit tableau.
clifford::Vop single_qubit_vop(const Tableau& tableau);

// Steps, in the order they act, whose product equals the tableau's Clifford up to a global phase:
// at most k(k + 6) of them on k qubits. The tableau must be a valid Clifford's.
std::vector<CliffordStep> synthesize(const Tableau& tableau);

// Appends to `steps` the inverse of `forward`, whose last step it undoes first.
void append_inverse(std::span<const CliffordStep> forward, std::vector<CliffordStep>& steps);

// Applies the steps to the register, their qubit j being operands[j].
void apply_steps(engine::Register& reg, std::span<const CliffordStep> steps,
                 std::span<const engine::Qubit> operands);

}  // namespace korvane::circuit
