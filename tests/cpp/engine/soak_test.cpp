// A long random run on a large register: every gate, measurement, trial measurement and group
// query, with the invariants of the qubits each step touched checked after it and the whole
// register checked at intervals and at the end. Too large for a state vector, so the physics is
// checked by what any projective measurement must do: measured again on the same axis, a qubit
// gives the same outcome, and with certainty (no random word drawn).
//
// KORVANE_SOAK_OPERATIONS sets the length (default 200000); a long soak runs 10^7 in a debug
// build: KORVANE_SOAK_OPERATIONS=10000000 korvane_tests --gtest_filter='Soak.*'.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gate_lists.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/base.h"
#include "korvane/engine/ops/controlled_gates.h"
#include "korvane/engine/ops/entangled_group.h"
#include "korvane/engine/ops/measure.h"
#include "korvane/engine/ops/peek.h"
#include "korvane/engine/register.h"
#include "scripted_source.h"
#include "state_vector.h"

namespace korvane::engine {
namespace {

using clifford::Axis;
using testing::invariant_violation;
using testing::SeededSource;

constexpr std::size_t soak_qubits = 100000;
constexpr std::uint64_t default_operations = 200000;
constexpr std::uint64_t full_check_interval = 1U << 16;

std::uint64_t soak_operations() {
  const char* text = std::getenv("KORVANE_SOAK_OPERATIONS");
  if (text == nullptr || *text == '\0') return default_operations;
  return std::strtoull(text, nullptr, 10);
}

// The invariants restricted to the lists of `qubits`: entries in range, no self-loop, no
// repeat, and every entry listing the qubit back. Empty when they hold.
std::string local_violation(const Register& reg, const std::vector<Qubit>& qubits) {
  for (const Qubit a : qubits) {
    const std::vector<Qubit> list = reg.neighbors(a);
    if (reg.vop(a) >= clifford::vop_count) return "bad vop on " + std::to_string(a);
    if (std::adjacent_find(list.begin(), list.end()) != list.end())
      return "repeated entry in the list of " + std::to_string(a);
    if (list.size() != reg.degree(a)) return "wrong degree on " + std::to_string(a);
    for (const Qubit b : list) {
      if (b >= reg.size() || b == a)
        return "bad entry " + std::to_string(b) + " in " + std::to_string(a);
      if (!reg.has_edge(b, a))
        return std::to_string(a) + " lists " + std::to_string(b) + " but not back";
    }
  }
  return {};
}

// The qubits an operation on `operands` touched: the operands and their neighbours afterwards.
std::vector<Qubit> touched(const Register& reg, std::initializer_list<Qubit> operands) {
  std::vector<Qubit> qubits(operands);
  for (const Qubit q : operands) {
    const std::vector<Qubit> list = reg.neighbors(q);
    qubits.insert(qubits.end(), list.begin(), list.end());
  }
  return qubits;
}

constexpr clifford::Vop single_gates[] = {clifford::pauli_x, clifford::pauli_y,
                                          clifford::pauli_z, clifford::hadamard,
                                          clifford::s_gate,  clifford::s_dagger};

TEST(Soak, RandomOperationsOnALargeRegisterKeepTheInvariants) {
  const std::uint64_t operations = soak_operations();
  SeededSource random(20261207);
  Register reg(soak_qubits);
  std::uint64_t measurements = 0;
  std::uint64_t faults = 0;
  for (std::uint64_t step = 0; step < operations; ++step) {
    const std::size_t kind = random.below(100);
    const Qubit a = random.below(soak_qubits);
    // Partners mostly nearby, so components and degrees grow as in real circuits, not at random.
    const Qubit far = random.below(soak_qubits);
    const Qubit b =
        random.below(8) == 0 && far != a ? far : (a + 1 + random.below(64)) % soak_qubits;
    std::vector<Qubit> check;
    // Measurements outnumber two-qubit gates, so degrees settle (about 18 at most over 10^7 steps)
    // instead of the graph filling in, which would make every gate cost the cube of its degree.
    if (kind < 30) {
      reg.apply_clifford(a, single_gates[random.below(6)]);
      check = {a};
    } else if (kind < 55) {
      apply_controlled_pauli(reg, testing::controlled_gates()[random.below(9)].gate, a, b);
      check = touched(reg, {a, b});
    } else if (kind < 97) {
      const auto axis = static_cast<Axis>(random.below(3));
      const std::vector<Qubit> before = reg.neighbors(a);
      const bool outcome = measure(reg, a, axis, random);
      const std::uint64_t draws = random.draws();
      ASSERT_EQ(measure(reg, a, axis, random), outcome) << "step " << step;
      ASSERT_EQ(random.draws(), draws) << "a repeated measurement was random at step " << step;
      check = touched(reg, {a});
      check.insert(check.end(), before.begin(), before.end());
      for (const Qubit x : before) {
        const std::vector<Qubit> list = reg.neighbors(x);
        check.insert(check.end(), list.begin(), list.end());
      }
      ++measurements;
    } else if (kind < 98) {
      // Trial measurements, with a bad index now and then, must never change the register. Each
      // copies the whole register, so they are rarer than the rest.
      if (random.below(10) != 0) continue;
      std::vector<Qubit> qubits{a, b};
      if (random.below(4) == 0) qubits.push_back(soak_qubits + random.below(3));
      const std::vector<Qubit> list_a = reg.neighbors(a);
      const clifford::Vop vop_a = reg.vop(a);
      try {
        peek_measure_set(reg, qubits, random);
      } catch (const Fault&) {
        ++faults;
      }
      ASSERT_EQ(reg.neighbors(a), list_a);
      ASSERT_EQ(reg.vop(a), vop_a);
    } else if (kind < 99) {
      // Control == target and out-of-range indices are refused without a change.
      const std::vector<Qubit> list_a = reg.neighbors(a);
      const clifford::Vop vop_a = reg.vop(a);
      EXPECT_THROW(
          apply_controlled_pauli(reg, testing::controlled_gates()[random.below(9)].gate, a, a),
          Fault);
      EXPECT_THROW(measure(reg, soak_qubits + a, Axis::Z, random), Fault);
      faults += 2;
      ASSERT_EQ(reg.neighbors(a), list_a);
      ASSERT_EQ(reg.vop(a), vop_a);
    } else if (random.below(100) == 0) {
      const std::vector<Qubit> group = entangled_group(reg, a);
      ASSERT_EQ(group.front(), a);
      for (const Qubit x : reg.neighbors(a))
        ASSERT_NE(std::find(group.begin(), group.end(), x), group.end());
    }
    const std::string violation = local_violation(reg, check);
    ASSERT_EQ(violation, "") << "step " << step;
    if ((step + 1) % full_check_interval == 0) {
      ASSERT_EQ(invariant_violation(reg), "") << "step " << step;
    }
  }
  ASSERT_EQ(invariant_violation(reg), "");
  const std::size_t edges = reg.edge_count();
  std::size_t widest = 0;
  for (Qubit q = 0; q < reg.size(); ++q) widest = std::max(widest, reg.degree(q));
  std::printf(
      "soak: %llu operations, %llu measurements, %llu refused calls, %zu edges, degree <= %zu\n",
      static_cast<unsigned long long>(operations), static_cast<unsigned long long>(measurements),
      static_cast<unsigned long long>(faults), edges, widest);
  EXPECT_GT(measurements, operations / 10);
}

}  // namespace
}  // namespace korvane::engine
