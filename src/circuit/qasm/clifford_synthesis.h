// A Clifford given by its tableau, written as single-qubit Cliffords, CX and SWAP: the form in
// which a gate that is Clifford only as a whole (a block with T gates that cancel, ECR, RZZ(pi/2))
// reaches the circuit.
#pragma once

#include <cstddef>
#include <vector>

#include "../../clifford/local_clifford.h"
#include "small_unitary.h"

namespace korvane::circuit::qasm {

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

}  // namespace korvane::circuit::qasm
