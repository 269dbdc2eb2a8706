// A circuit compiled for running: a flat array of instructions, each an operation code with a
// span of operands in one shared target array (and of numbers in one shared argument array).
// A REPEAT is one instruction followed by its body, which the runner loops over; nothing is
// unrolled, so a REPEAT of a million costs what its body costs. Built by the parser, read by the
// runners and the printer, and never changed after it is built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "gates/gate_table.h"
#include "pauli_channel.h"

namespace korvane::circuit {

// Target entries are 32-bit. A qubit index is the entry itself, except that a measurement's
// inverted target !q carries this flag. Feedback pairs are (k, qubit) for rec[-k] controlling a
// Pauli on the qubit; detectors and observables list their k's; MPAD lists its bits, 0 or 1.
inline constexpr std::uint32_t inverted_flag = 1U << 31;
inline constexpr std::uint32_t max_qubit_index = inverted_flag - 1;
inline constexpr std::uint32_t max_lookback = inverted_flag - 1;

// A factor of a Pauli product (MPP and SPP; MXX, MYY and MZZ store their pairs so too): the qubit,
// the x and z bits of its Pauli (Y both), inverted_flag for !, and joined_flag when a '*' joins it
// to the next factor of the same product.
inline constexpr std::uint32_t factor_x_flag = 1U << 30;
inline constexpr std::uint32_t factor_z_flag = 1U << 29;
inline constexpr std::uint32_t joined_flag = 1U << 28;
inline constexpr std::uint32_t max_factor_qubit = joined_flag - 1;

// A condition's entries are k of rec[-k], with inverted_flag where the bit must be 1.
inline constexpr std::uint32_t expects_one_flag = inverted_flag;

// No flip probability on a measurement.
inline constexpr std::uint32_t no_channel = 0xFFFFFFFFU;

struct Instruction {
  GateId gate = gate_named("TICK");
  // The gate's kind, except Kind::feedback for a controlled gate with recorded bits.
  Kind kind = Kind::annotation;
  std::uint32_t first = 0;  // first target entry
  std::uint32_t count = 0;  // target entries; for a REPEAT, the instructions of its body
  std::uint32_t first_argument = 0;
  std::uint32_t argument_count = 0;
  // Noise (heralded too): its channel; a measurement or MPAD: its flip channel or no_channel;
  // OBSERVABLE_INCLUDE: the observable; REPEAT: its entry in repeat_counts; a condition: its entry
  // in conditions.
  std::uint32_t detail = 0;

  bool operator==(const Instruction&) const = default;
};

// An if() of OpenQASM: the `body` instructions after it run only when each recorded bit it names
// holds its expected value, or, `negated`, when not all of them do. Bodies hold no measurement and
// no REPEAT. The circuit text format has no such thing; it writes the conditions that are Pauli
// feedback on one recorded bit as such.
struct Condition {
  std::uint32_t body = 0;
  bool negated = false;

  bool operator==(const Condition&) const = default;
};

struct Program {
  std::vector<Instruction> instructions;
  std::vector<std::uint32_t> targets;
  std::vector<double> arguments;  // as written: probabilities, coordinates, observable indices
  std::vector<PauliChannel> channels;
  std::vector<std::uint64_t> repeat_counts;
  std::vector<Condition> conditions;
  // The line of the text that each instruction came from, for messages; not part of the circuit.
  std::vector<std::uint32_t> lines;

  std::size_t num_qubits = 0;
  // Per run, counting every repetition.
  std::uint64_t num_measurements = 0;
  std::uint64_t num_detectors = 0;
  std::uint64_t num_observables = 0;
  // Target operations per run, counting every repetition (saturating): a measure of its cost.
  std::uint64_t operations = 0;
  // The largest k of any rec[-k]: how much of the record a run must keep.
  std::uint32_t deepest_lookback = 0;
  std::size_t deepest_nesting = 0;

  std::span<const std::uint32_t> targets_of(const Instruction& instruction) const {
    return {targets.data() + instruction.first, instruction.count};
  }
  std::span<const double> arguments_of(const Instruction& instruction) const {
    return {arguments.data() + instruction.first_argument, instruction.argument_count};
  }
};

// Whether two programs are the same circuit: everything but the source lines agrees.
bool same_circuit(const Program& a, const Program& b);

// A hash of everything same_circuit compares: the same for the same circuit.
std::uint64_t circuit_hash(const Program& program);

}  // namespace korvane::circuit
