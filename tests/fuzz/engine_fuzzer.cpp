// Random operation sequences on registers of 0 to 8 qubits: every gate, measurement, trial
// measurement and group query, Pauli product measurement, reset and swap, with indices beyond
// the register and control == target among them. After each step the register must keep its
// invariants, a refused call must leave it unchanged, and the state must match the exact
// state-vector reference. A reload saves the register, damages the saved bytes as the input says
// (optionally mending the checksum, so that the loader's deeper checks are reached) and loads
// them: undamaged bytes must come back as the same register, damaged ones must be refused or give
// a register that keeps every invariant.
//
// Input layout: byte 0 picks the qubit count (mod 9) and the storage (the quotient, mod 6: either
// storage, the automatic choice, the automatic choice with thresholds so low that these small
// registers move between the storages as their graphs change, the tableau for every gate and
// measurement, or the automatic choice moving between graph and tableau at once); then
// each operation is one opcode byte followed by the operand bytes it needs. Measurement outcomes
// come from input bytes too, so a finding replays exactly.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "gate_lists.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/base.h"
#include "korvane/engine/io/crc32.h"
#include "korvane/engine/io/state_codec.h"
#include "korvane/engine/ops/controlled_gates.h"
#include "korvane/engine/ops/entangled_group.h"
#include "korvane/engine/ops/measure.h"
#include "korvane/engine/ops/pauli_product.h"
#include "korvane/engine/ops/peek.h"
#include "korvane/engine/ops/reset.h"
#include "korvane/engine/ops/swap.h"
#include "korvane/engine/register.h"
#include "state_vector.h"

namespace {

using korvane::clifford::Axis;
using korvane::engine::Fault;
using korvane::engine::Qubit;
using korvane::engine::RandomSource;
using korvane::engine::Register;
using korvane::testing::StateVector;

constexpr std::size_t largest_register = 8;

// Reads the input front to back; past the end every read yields zero.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return position_ >= size_; }
  std::uint8_t next() { return empty() ? 0 : data_[position_++]; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// Measurement randomness taken from the input: one byte decides the top bit of each word.
class InputSource final : public RandomSource {
 public:
  explicit InputSource(ByteReader& reader) : reader_(reader) {}
  std::uint32_t next_u32() override {
    const std::uint8_t byte = reader_.next();
    return (std::uint32_t{byte} << 24) | (std::uint32_t{byte} * 0x010101U);
  }

 private:
  ByteReader& reader_;
};

[[noreturn]] void report(const std::string& what) {
  std::fprintf(stderr, "finding: %s\n", what.c_str());
  std::abort();
}

// Operands: mostly valid indices, sometimes just past the end, sometimes far beyond it.
Qubit read_qubit(ByteReader& reader, std::size_t n) {
  const std::uint8_t byte = reader.next();
  if (byte == 0xFF) return std::numeric_limits<Qubit>::max();
  return byte % (n + 2);
}

const std::vector<std::string> single_gate_names{"x", "y", "z", "h", "s", "sdag"};
const korvane::clifford::Vop single_gate_vops[] = {
    korvane::clifford::pauli_x,  korvane::clifford::pauli_y, korvane::clifford::pauli_z,
    korvane::clifford::hadamard, korvane::clifford::s_gate,  korvane::clifford::s_dagger};
// The gates' matrices, written out independently of the VOP numbering.
const double inv_sqrt2 = 1.0 / std::sqrt(2.0);
const korvane::testing::Matrix2 single_gate_matrices[] = {
    korvane::testing::pauli_x_matrix,
    korvane::testing::pauli_y_matrix,
    korvane::testing::pauli_z_matrix,
    {inv_sqrt2, inv_sqrt2, inv_sqrt2, -inv_sqrt2},
    {1.0, 0.0, 0.0, korvane::testing::Complex{0.0, 1.0}},
    {1.0, 0.0, 0.0, korvane::testing::Complex{0.0, -1.0}},
};

constexpr std::size_t single_gate_count = 6;
constexpr std::size_t controlled_gate_count = 9;
constexpr std::size_t measurement_count = 3;
// Opcodes: single gates, controlled gates, measurements, then the whole-register operations.
constexpr std::size_t peek_opcode = single_gate_count + controlled_gate_count + measurement_count;
constexpr std::size_t group_opcode = peek_opcode + 1;
constexpr std::size_t pauli_opcode = peek_opcode + 2;
constexpr std::size_t reset_opcode = peek_opcode + 3;
constexpr std::size_t swap_opcode = peek_opcode + 4;
constexpr std::size_t reload_opcode = peek_opcode + 5;
constexpr std::size_t opcode_count = peek_opcode + 6;

void check_invariants(const Register& reg, const char* after) {
  const std::string violation = korvane::testing::invariant_violation(reg);
  if (!violation.empty()) report(std::string("after ") + after + ": " + violation);
}

void check_state(const Register& reg, const StateVector& expected, const char* after) {
  if (!StateVector::from_register(reg).equal_up_to_phase(expected, 1e-7)) {
    report(std::string("after ") + after +
           ": state differs from the reference: " + korvane::testing::describe(reg));
  }
}

// The connected component by a search of its own over the reference's view: symmetric lists.
std::unordered_set<Qubit> component_of(const Register& reg, Qubit q) {
  std::unordered_set<Qubit> seen{q};
  std::vector<Qubit> pending{q};
  while (!pending.empty()) {
    const Qubit v = pending.back();
    pending.pop_back();
    for (const Qubit w : reg.neighbors(v))
      if (seen.insert(w).second) pending.push_back(w);
  }
  return seen;
}

// A Pauli product on some of the qubits 0..n (n itself out of range), with a sign.
korvane::engine::PauliProduct read_pauli_product(ByteReader& reader, std::size_t n) {
  korvane::engine::PauliProduct product;
  const std::uint8_t letters = reader.next();
  product.negative = (letters & 0x80U) != 0;
  for (Qubit q = 0; q <= n && q < 4; ++q) {
    const unsigned letter = (letters >> (2 * q)) & 3U;
    if (letter != 0) product.factors.push_back({q, static_cast<Axis>(letter - 1)});
  }
  for (Qubit q = 4; q <= n; ++q) {
    const unsigned letter = reader.next() % 4U;
    if (letter != 0) product.factors.push_back({q, static_cast<Axis>(letter - 1)});
  }
  return product;
}

// Saves `reg`, damages the bytes as the input says (or, with bit 0x40, writes a body of the
// input's own bytes after the mark and version) and loads them. Returns the loaded register when
// it has n qubits (it then replaces `reg`), and never lets a broken one through.
void reload(ByteReader& reader, Register& reg, StateVector& state) {
  std::vector<std::uint8_t> saved = korvane::engine::save_state(reg);
  const std::uint8_t damage = reader.next();
  if ((damage & 0x40U) != 0) {
    saved.resize(5);
    for (std::size_t length = reader.next() % 48U; length > 0; --length) {
      saved.push_back(reader.next());
    }
    saved.insert(saved.end(), 4, std::uint8_t{0});
  }
  const std::size_t edits = damage % 4U;
  for (std::size_t k = 0; k < edits; ++k) {
    const std::size_t position = (std::size_t{reader.next()} << 8 | reader.next()) % saved.size();
    saved[position] ^= reader.next();
  }
  if ((damage & 0x10U) != 0) saved.resize(reader.next() % (saved.size() + 1));
  if ((damage & 0x20U) != 0 && saved.size() >= 4) {
    const std::size_t checked = saved.size() - 4;
    const std::uint32_t checksum = korvane::engine::crc32(saved.data(), checked);
    for (unsigned shift = 0; shift < 32; shift += 8)
      saved[checked + shift / 8] = static_cast<std::uint8_t>(checksum >> shift);
  }
  const bool intact = edits == 0 && (damage & 0x50U) == 0;
  try {
    Register loaded = korvane::engine::load_state(saved.data(), saved.size());
    check_invariants(loaded, "reload");
    if (intact && !korvane::testing::same_representation(loaded, reg))
      report("a reload changed the register");
    const std::vector<std::uint8_t> again = korvane::engine::save_state(loaded);
    if (!korvane::testing::same_representation(
            korvane::engine::load_state(again.data(), again.size()), loaded))
      report("a loaded register saves as another");
    if (loaded.size() == reg.size()) {
      reg = std::move(loaded);
      state = StateVector::from_register(reg);
    }
  } catch (const korvane::engine::InvalidInput&) {
    if (intact) report("a reload refused what was just saved");
  }
}

// Runs one operation; returns its name for reports. A Fault must leave the register unchanged
// and may be thrown only for a bad index or control == target.
const char* run_operation(ByteReader& reader, Register& reg, StateVector& state,
                          InputSource& source) {
  const std::size_t n = reg.size();
  const std::size_t opcode = reader.next() % opcode_count;
  const Register before = reg;
  const char* name = "";
  bool refused_rightly = false;
  try {
    if (opcode < single_gate_count) {
      name = single_gate_names[opcode].c_str();
      const Qubit q = read_qubit(reader, n);
      refused_rightly = q >= n;
      reg.apply_clifford(q, single_gate_vops[opcode]);
      state.apply(q, single_gate_matrices[opcode]);
    } else if (opcode < single_gate_count + controlled_gate_count) {
      name = "controlled gate";
      const korvane::engine::ControlledPauli gate =
          korvane::testing::controlled_gates()[opcode - single_gate_count].gate;
      const Qubit control = read_qubit(reader, n);
      const Qubit target = read_qubit(reader, n);
      refused_rightly = control >= n || target >= n || control == target;
      korvane::engine::apply_controlled_pauli(reg, gate, control, target);
      state.controlled(gate, control, target);
    } else if (opcode < single_gate_count + controlled_gate_count + measurement_count) {
      name = "measurement";
      const auto axis = static_cast<Axis>(opcode - single_gate_count - controlled_gate_count);
      const Qubit q = read_qubit(reader, n);
      refused_rightly = q >= n;
      const bool minus_one = korvane::engine::measure(reg, q, axis, source);
      if (state.probability(q, axis, minus_one) < 1e-9)
        report("measurement gave an impossible outcome");
      state.project(q, axis, minus_one);
    } else if (opcode == pauli_opcode) {
      name = "pauli product";
      const korvane::engine::PauliProduct product = read_pauli_product(reader, n);
      std::vector<std::pair<std::size_t, Axis>> factors;
      for (const auto& factor : product.factors) {
        refused_rightly = refused_rightly || factor.qubit >= n;
        factors.emplace_back(factor.qubit, factor.axis);
      }
      const int expectation = korvane::engine::pauli_expectation(reg, product);
      if (std::abs(expectation - state.pauli_expectation(factors, product.negative)) > 1e-9)
        report("a Pauli expectation differs from the reference");
      const bool minus_one = korvane::engine::measure_pauli(reg, product, source);
      if (expectation != 0 && minus_one != (expectation < 0))
        report("a certain Pauli product measured the other way");
      state.project_pauli(factors, product.negative, minus_one);
    } else if (opcode == reset_opcode) {
      name = "reset";
      const Qubit q = read_qubit(reader, n);
      refused_rightly = q >= n;
      korvane::engine::reset(reg, q, korvane::clifford::Axis::Z, source);
      // The outcome is read off the result: q is |0>, the others as that Z outcome leaves them.
      bool matched = false;
      const StateVector after = StateVector::from_register(reg);
      for (const bool found_one : {false, true}) {
        if (state.probability(q, Axis::Z, found_one) < 1e-9) continue;
        StateVector expected = state;
        expected.project(q, Axis::Z, found_one);
        if (found_one) expected.apply(q, korvane::testing::pauli_x_matrix);
        if (!matched && after.equal_up_to_phase(expected, 1e-7)) {
          state = expected;
          matched = true;
        }
      }
      if (!matched) report("reset left a state no Z outcome leads to");
    } else if (opcode == swap_opcode) {
      name = "swap";
      const Qubit a = read_qubit(reader, n);
      const Qubit b = read_qubit(reader, n);
      refused_rightly = a >= n || b >= n;
      korvane::engine::swap(reg, a, b);
      if (a != b) {
        state.controlled(korvane::testing::controlled_gate("CX"), a, b);
        state.controlled(korvane::testing::controlled_gate("CX"), b, a);
        state.controlled(korvane::testing::controlled_gate("CX"), a, b);
      }
    } else if (opcode == reload_opcode) {
      name = "reload";
      reload(reader, reg, state);
    } else if (opcode == peek_opcode) {
      name = "peek";
      std::vector<Qubit> qubits;
      const std::size_t amount = reader.next() % (n + 2);
      for (std::size_t k = 0; k < amount; ++k) {
        const Qubit q = read_qubit(reader, n);
        if (q >= n) refused_rightly = true;
        bool repeated = false;
        for (const Qubit earlier : qubits) repeated = repeated || earlier == q;
        if (!repeated) qubits.push_back(q);
      }
      const auto outcomes = korvane::engine::peek_measure_set(reg, qubits, source);
      if (outcomes.size() != qubits.size()) report("peek returned the wrong number of outcomes");
      // Each outcome must be possible on the reference state measured in the same order.
      StateVector trial = state;
      for (std::size_t k = 0; k < outcomes.size(); ++k) {
        const auto& outcome = outcomes[k];
        if (outcome.qubit != qubits[k]) report("peek visited the qubits out of order");
        if (trial.probability(outcome.qubit, outcome.axis, outcome.result) < 1e-9)
          report("peek gave an impossible outcome");
        trial.project(outcome.qubit, outcome.axis, outcome.result);
      }
      if (!korvane::testing::same_representation(reg, before)) report("peek changed the register");
    } else {
      name = "group";
      const Qubit q = read_qubit(reader, n);
      refused_rightly = q >= n;
      const auto group = korvane::engine::entangled_group(reg, q);
      const std::unordered_set<Qubit> members(group.begin(), group.end());
      if (members.size() != group.size()) report("group lists a qubit twice");
      if (members != component_of(reg, q)) report("group differs from the connected component");
      if (!korvane::testing::same_representation(reg, before)) report("group changed the register");
    }
  } catch (const Fault&) {
    if (!refused_rightly) report(std::string(name) + " refused a valid call");
    if (!korvane::testing::same_representation(reg, before))
      report(std::string(name) + " changed the register before refusing");
    return name;
  }
  if (refused_rightly) report(std::string(name) + " accepted an invalid call");
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteReader reader(data, size);
  const std::uint8_t shape = reader.next();
  const std::size_t n = shape % (largest_register + 1);
  const std::size_t storage_choice = (shape / (largest_register + 1)) % 6;
  korvane::engine::StorageThresholds thresholds;
  if (storage_choice == 3) thresholds.always_dense_qubits = 0;
  if (storage_choice == 5) thresholds.tableau_threshold_divisor = std::size_t{1} << 20;
  using korvane::engine::Storage;
  constexpr Storage storages[] = {Storage::sparse,    Storage::dense,   Storage::automatic,
                                  Storage::automatic, Storage::tableau, Storage::automatic};
  Register reg(n, storages[storage_choice], thresholds);
  // Reading the graph brings a tableau back: on the tableau, runs of operations go unread.
  const int check_every = storage_choice >= 4 ? 4 : 1;
  StateVector state(n);
  InputSource source(reader);
  constexpr int longest_sequence = 256;
  for (int step = 0; step < longest_sequence && !reader.empty(); ++step) {
    const char* name = run_operation(reader, reg, state, source);
    if ((step + 1) % check_every != 0 && !reader.empty()) continue;
    check_invariants(reg, name);
    check_state(reg, state, name);
  }
  return 0;
}
