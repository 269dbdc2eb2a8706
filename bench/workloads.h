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
#include <utility>
#include <vector>

#include "korvane/clifford/local_clifford.h"

namespace korvane::bench {

using clifford::Axis;

enum class OpKind : std::uint8_t { single, two_qubit, measure };

enum class SingleGate : std::uint8_t { x, y, z, h, s, sdag };

// The controlled-Pauli gates P_A^+ (x) I + P_A^- (x) B, in the engine's ControlledGate order: A
// on the control is the first letter (Z when there is none), B on the target the last.
enum class TwoQubitGate : std::uint8_t { cz, cx, cy, xcx, xcy, xcz, ycx, ycy, ycz };

constexpr Axis control_axis(TwoQubitGate gate) {
  constexpr std::array<Axis, 9> axes{Axis::Z, Axis::Z, Axis::Z, Axis::X, Axis::X,
                                     Axis::X, Axis::Y, Axis::Y, Axis::Y};
  return axes[static_cast<std::size_t>(gate)];
}

constexpr Axis target_axis(TwoQubitGate gate) {
  constexpr std::array<Axis, 9> axes{Axis::Z, Axis::X, Axis::Y, Axis::X, Axis::Y,
                                     Axis::Z, Axis::X, Axis::Y, Axis::Z};
  return axes[static_cast<std::size_t>(gate)];
}

struct Op {
  OpKind kind;
  std::uint8_t which;  // a SingleGate, a TwoQubitGate or an Axis, as `kind` says
  std::size_t qubit;   // the qubit, or the control of a two-qubit gate
  std::size_t target;  // the target of a two-qubit gate

  static constexpr Op single(SingleGate gate, std::size_t q) {
    return {OpKind::single, static_cast<std::uint8_t>(gate), q, 0};
  }
  static constexpr Op two_qubit(TwoQubitGate gate, std::size_t control, std::size_t target) {
    return {OpKind::two_qubit, static_cast<std::uint8_t>(gate), control, target};
  }
  static constexpr Op measure(Axis axis, std::size_t q) {
    return {OpKind::measure, static_cast<std::uint8_t>(axis), q, 0};
  }

  constexpr SingleGate single_gate() const { return static_cast<SingleGate>(which); }
  constexpr TwoQubitGate two_qubit_gate() const { return static_cast<TwoQubitGate>(which); }
  constexpr Axis axis() const { return static_cast<Axis>(which); }
};

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
  Circuit circuit{Op::single(SingleGate::h, 0)};
  for (std::size_t q = 0; q + 1 < qubits; ++q)
    circuit.push_back(Op::two_qubit(TwoQubitGate::cx, q, q + 1));
  append_measure_all(circuit, qubits, readout, dice);
  return circuit;
}

// h(0), cx(0, q) for every other qubit, then every qubit measured.
inline Circuit ghz_star(std::size_t qubits, std::uint64_t seed,
                        Readout readout = Readout::random_axes) {
  Dice dice(seed);
  Circuit circuit{Op::single(SingleGate::h, 0)};
  for (std::size_t q = 1; q < qubits; ++q) circuit.push_back(Op::two_qubit(TwoQubitGate::cx, 0, q));
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
      circuit.push_back(Op::single(static_cast<SingleGate>(dice.below(6)), dice.below(qubits)));
    } else if (percent < 85) {
      const auto [a, b] = nearby_pair(qubits, window, dice);
      circuit.push_back(Op::two_qubit(static_cast<TwoQubitGate>(dice.below(9)), a, b));
    } else {
      circuit.push_back(Op::measure(dice.axis(), dice.below(qubits)));
    }
  }
  return circuit;
}

// `ops` gates: half cz or cx on random pairs, half h, s, x or z. Needs two qubits.
inline Circuit cz_cx_circuit(std::size_t qubits, std::size_t ops, std::uint64_t seed) {
  constexpr std::array<SingleGate, 4> singles{SingleGate::h, SingleGate::s, SingleGate::x,
                                              SingleGate::z};
  Dice dice(seed);
  Circuit circuit;
  circuit.reserve(ops);
  for (std::size_t i = 0; i < ops; ++i) {
    if (dice.below(2) == 0) {
      const auto [a, b] = nearby_pair(qubits, qubits, dice);
      circuit.push_back(
          Op::two_qubit(dice.below(2) == 0 ? TwoQubitGate::cz : TwoQubitGate::cx, a, b));
    } else {
      circuit.push_back(Op::single(singles[dice.below(4)], dice.below(qubits)));
    }
  }
  return circuit;
}

}  // namespace korvane::bench
