// Seeded operation sequences for the workload families that the benchmarks time and the tableau
// oracle checks: GHZ states by a cx chain or a cx star followed by measurements, random circuits
// on all pairs or on nearby pairs, and gate-only circuits. A sequence depends on its arguments
// alone, never on measurement outcomes, so any simulator can replay it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "korvane/circuit/gates/gate_table.h"
#include "korvane/clifford/local_clifford.h"

namespace korvane::bench {

using clifford::Axis;

enum class OpKind : std::uint8_t { single, two_qubit, measure };

// The gates the workloads draw from, by their names in the gate table and in the order a workload
// numbers them: an operation's `which`, as the operation records that tableau_bench writes for
// the Python benchmarks hold it. Everything else about a gate comes from its record.
inline constexpr std::array<std::string_view, 6> single_gate_names{"X", "Y", "Z",
                                                                   "H", "S", "S_DAG"};
inline constexpr std::array<std::string_view, 9> two_qubit_gate_names{
    "CZ", "CX", "CY", "XCX", "XCY", "XCZ", "YCX", "YCY", "YCZ"};

template <std::size_t count>
constexpr std::array<circuit::GateId, count> gates_named(
    const std::array<std::string_view, count>& names) {
  std::array<circuit::GateId, count> ids{};
  for (std::size_t i = 0; i < count; ++i) ids[i] = *circuit::find_gate(names[i]);
  return ids;
}

inline constexpr auto single_gates = gates_named(single_gate_names);
inline constexpr auto two_qubit_gates = gates_named(two_qubit_gate_names);

struct Op {
  OpKind kind;
  std::uint8_t which;  // a place in single_gate_names or two_qubit_gate_names, or an Axis
  std::size_t qubit;   // the qubit, or the control of a two-qubit gate
  std::size_t target;  // the target of a two-qubit gate

  static constexpr Op single(std::size_t which, std::size_t q) {
    return {OpKind::single, static_cast<std::uint8_t>(which), q, 0};
  }
  static constexpr Op two_qubit(std::size_t which, std::size_t control, std::size_t target) {
    return {OpKind::two_qubit, static_cast<std::uint8_t>(which), control, target};
  }
  static constexpr Op measure(Axis axis, std::size_t q) {
    return {OpKind::measure, static_cast<std::uint8_t>(axis), q, 0};
  }

  // The gate of a single or two-qubit operation.
  constexpr circuit::GateId gate() const {
    return kind == OpKind::single ? single_gates[which] : two_qubit_gates[which];
  }
  constexpr std::string_view name() const { return circuit::gate_of(gate()).name; }
  constexpr Axis axis() const { return static_cast<Axis>(which); }
};

// The place of a gate in a workload's list, by name.
template <std::size_t count>
constexpr std::size_t place_of(const std::array<std::string_view, count>& names,
                               std::string_view name) {
  return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

using Circuit = std::vector<Op>;

// The seeded choices behind every family.
class Dice {
 public:
  explicit Dice(std::uint64_t seed) : engine_(seed) {}
  // Uniform in [0, bound).
  std::size_t below(std::size_t bound) {
    return std::uniform_int_distribution<std::size_t>(0, bound - 1)(engine_);
  }
  Axis axis() { return static_cast<Axis>(below(3)); }
  std::mt19937_64& engine() { return engine_; }

 private:
  std::mt19937_64 engine_;
};

// How a GHZ circuit reads its qubits out: Z on each in index order (all outcomes agree), or each
// on a random axis in a random order.
enum class Readout : std::uint8_t { z_in_order, random_axes };

// Every qubit measured once.
inline void append_measure_all(Circuit& circuit, std::size_t qubits, Readout readout, Dice& dice) {
  std::vector<std::size_t> order(qubits);
  std::iota(order.begin(), order.end(), std::size_t{0});
  if (readout == Readout::z_in_order) {
    for (const std::size_t q : order) circuit.push_back(Op::measure(Axis::Z, q));
    return;
  }
  std::shuffle(order.begin(), order.end(), dice.engine());
  for (const std::size_t q : order) circuit.push_back(Op::measure(dice.axis(), q));
}

// h(0), cx(q, q + 1) along the chain, then every qubit measured.
inline Circuit ghz_chain(std::size_t qubits, std::uint64_t seed,
                         Readout readout = Readout::random_axes) {
  Dice dice(seed);
  Circuit circuit{Op::single(place_of(single_gate_names, "H"), 0)};
  for (std::size_t q = 0; q + 1 < qubits; ++q)
    circuit.push_back(Op::two_qubit(place_of(two_qubit_gate_names, "CX"), q, q + 1));
  append_measure_all(circuit, qubits, readout, dice);
  return circuit;
}

// h(0), cx(0, q) for every other qubit, then every qubit measured.
inline Circuit ghz_star(std::size_t qubits, std::uint64_t seed,
                        Readout readout = Readout::random_axes) {
  Dice dice(seed);
  Circuit circuit{Op::single(place_of(single_gate_names, "H"), 0)};
  for (std::size_t q = 1; q < qubits; ++q)
    circuit.push_back(Op::two_qubit(place_of(two_qubit_gate_names, "CX"), 0, q));
  append_measure_all(circuit, qubits, readout, dice);
  return circuit;
}

// Two distinct qubits at most `window` apart (any two when window >= qubits - 1).
inline std::pair<std::size_t, std::size_t> nearby_pair(std::size_t qubits, std::size_t window,
                                                       Dice& dice) {
  const std::size_t a = dice.below(qubits);
  const std::size_t low = a >= window ? a - window : 0;
  const std::size_t high = std::min(qubits - 1, a + window);
  std::size_t b = low + dice.below(high - low);  // one place short: skip a
  if (b >= a) ++b;
  return {a, b};
}

// `ops` operations: 40% single-qubit gates, 45% two-qubit gates of all nine kinds on pairs at
// most `window` apart, 15% measurements on random axes. Needs two qubits.
inline Circuit random_circuit(std::size_t qubits, std::size_t ops, std::size_t window,
                              std::uint64_t seed) {
  Dice dice(seed);
  Circuit circuit;
  circuit.reserve(ops);
  for (std::size_t i = 0; i < ops; ++i) {
    const std::size_t percent = dice.below(100);
    if (percent < 40) {
      circuit.push_back(Op::single(dice.below(single_gates.size()), dice.below(qubits)));
    } else if (percent < 85) {
      const auto [a, b] = nearby_pair(qubits, window, dice);
      circuit.push_back(Op::two_qubit(dice.below(two_qubit_gates.size()), a, b));
    } else {
      circuit.push_back(Op::measure(dice.axis(), dice.below(qubits)));
    }
  }
  return circuit;
}

// `ops` gates: half cz or cx on random pairs, half h, s, x or z. Needs two qubits.
inline Circuit cz_cx_circuit(std::size_t qubits, std::size_t ops, std::uint64_t seed) {
  constexpr std::array<std::size_t, 4> singles{
      place_of(single_gate_names, "H"), place_of(single_gate_names, "S"),
      place_of(single_gate_names, "X"), place_of(single_gate_names, "Z")};
  constexpr std::size_t cz = place_of(two_qubit_gate_names, "CZ");
  constexpr std::size_t cx = place_of(two_qubit_gate_names, "CX");
  Dice dice(seed);
  Circuit circuit;
  circuit.reserve(ops);
  for (std::size_t i = 0; i < ops; ++i) {
    if (dice.below(2) == 0) {
      const auto [a, b] = nearby_pair(qubits, qubits, dice);
      circuit.push_back(Op::two_qubit(dice.below(2) == 0 ? cz : cx, a, b));
    } else {
      circuit.push_back(Op::single(singles[dice.below(4)], dice.below(qubits)));
    }
  }
  return circuit;
}

}  // namespace korvane::bench
