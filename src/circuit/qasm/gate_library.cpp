#include "gate_library.h"

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace korvane::circuit::qasm {
namespace {

using std::numbers::pi;

const Amplitude i_unit{0, 1};

Unitary matrix_2x2(Amplitude a, Amplitude b, Amplitude c, Amplitude d) {
  return Unitary(1, {a, b, c, d});
}

Unitary phase_gate(double lambda) { return matrix_2x2(1, 0, 0, std::polar(1.0, lambda)); }

Unitary rotation(int axis, double theta) {
  const double c = std::cos(theta / 2), s = std::sin(theta / 2);
  if (axis == 0) return matrix_2x2(c, -i_unit * s, -i_unit * s, c);
  if (axis == 1) return matrix_2x2(c, -s, s, c);
  return matrix_2x2(std::polar(1.0, -theta / 2), 0, 0, std::polar(1.0, theta / 2));
}

// The gate controlled by the first `controls` arguments, each active on 1.
Unitary controlled(const Unitary& gate, std::size_t controls = 1) {
  constexpr std::array<bool, 4> on_one{};
  return gate.controlled(std::span<const bool>(on_one.data(), controls));
}

Unitary pauli(int axis) {
  if (axis == 0) return matrix_2x2(0, 1, 1, 0);
  if (axis == 1) return matrix_2x2(0, -i_unit, i_unit, 0);
  return matrix_2x2(1, 0, 0, -1);
}

Unitary hadamard() {
  const double r = std::numbers::sqrt2 / 2;
  return matrix_2x2(r, r, r, -r);
}

Unitary sqrt_x() {
  const Amplitude p{0.5, 0.5}, m{0.5, -0.5};
  return matrix_2x2(p, m, m, p);
}

// exp(-i theta/2 P0 P1): the first Pauli on the first argument.
Unitary pauli_pair_rotation(int first, int second, double theta) {
  Unitary product(2);
  const std::array<std::size_t, 1> on_first{0}, on_second{1};
  product.then(pauli(first), on_first);
  product.then(pauli(second), on_second);
  Unitary result(2);
  for (std::size_t r = 0; r < 4; ++r) {
    for (std::size_t c = 0; c < 4; ++c) {
      result.at(r, c) =
          (r == c ? std::cos(theta / 2) : 0.0) - i_unit * std::sin(theta / 2) * product.at(r, c);
    }
  }
  return result;
}

Unitary swap_gate() {
  Unitary result(2, std::vector<Amplitude>(16));
  result.at(0, 0) = result.at(1, 2) = result.at(2, 1) = result.at(3, 3) = 1.0;
  return result;
}

using P = std::span<const double>;

constexpr std::uint8_t both = qelib1 | stdgates;

const std::array<IntrinsicGate, 46> intrinsic_gates{{
    {"U", 1, 3, built_in, std::nullopt, [](P p) { return u_gate(p[0], p[1], p[2]); }},
    {"CX", 2, 0, built_in, gate_named("CX"), [](P) { return cx_gate(); }},
    {"u3", 1, 3, both, std::nullopt, [](P p) { return u_gate(p[0], p[1], p[2]); }},
    {"u2", 1, 2, both, std::nullopt, [](P p) { return u_gate(pi / 2, p[0], p[1]); }},
    {"u1", 1, 1, both, std::nullopt, [](P p) { return phase_gate(p[0]); }},
    {"u", 1, 3, qelib1, std::nullopt, [](P p) { return u_gate(p[0], p[1], p[2]); }},
    {"u0", 1, 1, qelib1, std::nullopt, [](P) { return Unitary(1); }},
    {"p", 1, 1, both, std::nullopt, [](P p) { return phase_gate(p[0]); }},
    {"phase", 1, 1, stdgates, std::nullopt, [](P p) { return phase_gate(p[0]); }},
    {"id", 1, 0, both, gate_named("I"), [](P) { return Unitary(1); }},
    {"x", 1, 0, both, gate_named("X"), [](P) { return pauli(0); }},
    {"y", 1, 0, both, gate_named("Y"), [](P) { return pauli(1); }},
    {"z", 1, 0, both, gate_named("Z"), [](P) { return pauli(2); }},
    {"h", 1, 0, both, gate_named("H"), [](P) { return hadamard(); }},
    {"s", 1, 0, both, gate_named("S"), [](P) { return phase_gate(pi / 2); }},
    {"sdg", 1, 0, both, gate_named("S_DAG"), [](P) { return phase_gate(-pi / 2); }},
    {"t", 1, 0, both, std::nullopt, [](P) { return phase_gate(pi / 4); }},
    {"tdg", 1, 0, both, std::nullopt, [](P) { return phase_gate(-pi / 4); }},
    {"sx", 1, 0, both, gate_named("SQRT_X"), [](P) { return sqrt_x(); }},
    {"sxdg", 1, 0, qelib1, gate_named("SQRT_X_DAG"), [](P) { return sqrt_x().adjoint(); }},
    {"rx", 1, 1, both, std::nullopt, [](P p) { return rotation(0, p[0]); }},
    {"ry", 1, 1, both, std::nullopt, [](P p) { return rotation(1, p[0]); }},
    {"rz", 1, 1, both, std::nullopt, [](P p) { return rotation(2, p[0]); }},
    {"cx", 2, 0, both, gate_named("CX"), [](P) { return cx_gate(); }},
    {"cy", 2, 0, both, gate_named("CY"), [](P) { return controlled(pauli(1)); }},
    {"cz", 2, 0, both, gate_named("CZ"), [](P) { return controlled(pauli(2)); }},
    {"swap", 2, 0, both, gate_named("SWAP"), [](P) { return swap_gate(); }},
    {"ch", 2, 0, both, std::nullopt, [](P) { return controlled(hadamard()); }},
    {"csx", 2, 0, qelib1, std::nullopt, [](P) { return controlled(sqrt_x()); }},
    {"crx", 2, 1, both, std::nullopt, [](P p) { return controlled(rotation(0, p[0])); }},
    {"cry", 2, 1, both, std::nullopt, [](P p) { return controlled(rotation(1, p[0])); }},
    {"crz", 2, 1, both, std::nullopt, [](P p) { return controlled(rotation(2, p[0])); }},
    {"cu1", 2, 1, qelib1, std::nullopt, [](P p) { return controlled(phase_gate(p[0])); }},
    {"cp", 2, 1, both, std::nullopt, [](P p) { return controlled(phase_gate(p[0])); }},
    {"cphase", 2, 1, stdgates, std::nullopt, [](P p) { return controlled(phase_gate(p[0])); }},
    {"cu3", 2, 3, qelib1, std::nullopt, [](P p) { return controlled(u_gate(p[0], p[1], p[2])); }},
    {"cu", 2, 4, both, std::nullopt,
     [](P p) {
       Unitary gate = u_gate(p[0], p[1], p[2]);
       gate.scale(std::polar(1.0, p[3]));
       return controlled(gate);
     }},
    {"rxx", 2, 1, qelib1, std::nullopt, [](P p) { return pauli_pair_rotation(0, 0, p[0]); }},
    {"rzz", 2, 1, qelib1, std::nullopt, [](P p) { return pauli_pair_rotation(2, 2, p[0]); }},
    {"ccx", 3, 0, both, std::nullopt, [](P) { return controlled(pauli(0), 2); }},
    {"cswap", 3, 0, both, std::nullopt, [](P) { return controlled(swap_gate()); }},
    {"c3x", 4, 0, qelib1, std::nullopt, [](P) { return controlled(pauli(0), 3); }},
    {"c3sqrtx", 4, 0, qelib1, std::nullopt, [](P) { return controlled(sqrt_x(), 3); }},
    {"c4x", 5, 0, qelib1, std::nullopt, [](P) { return controlled(pauli(0), 4); }},
    // Toffolis up to relative phases: never Clifford, refused without a matrix.
    {"rccx", 3, 0, qelib1, std::nullopt, nullptr},
    {"rc3x", 4, 0, qelib1, std::nullopt, nullptr},
}};

}  // namespace

const IntrinsicGate* find_intrinsic(std::string_view name, std::uint8_t libraries) {
  for (const IntrinsicGate& gate : intrinsic_gates) {
    if (gate.name == name && (gate.libraries & libraries) != 0) return &gate;
  }
  return nullptr;
}

std::optional<Library> library_defining(std::string_view name, Library preferred) {
  for (const IntrinsicGate& gate : intrinsic_gates) {
    if (gate.name != name || (gate.libraries & (qelib1 | stdgates)) == 0) continue;
    if ((gate.libraries & preferred) != 0) return preferred;
    return (gate.libraries & stdgates) != 0 ? stdgates : qelib1;
  }
  return std::nullopt;
}

}  // namespace korvane::circuit::qasm
