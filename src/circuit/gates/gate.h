// What a gate record says: everything the system knows about one instruction of the circuit text
// format (and one method of Korvane, where it has one), so that the parser, the printer, the
// runners, the frame kernels, the Python method table and the stubs all read it from one place.
// The records themselves are in gate_table.h.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "../../clifford/local_clifford.h"
#include "../../engine/ops/controlled_gates.h"
#include "../pauli_channel.h"

namespace korvane::circuit {

using clifford::Axis;
using clifford::Vop;

// How an instruction acts, which decides how it runs.
enum class Kind : std::uint8_t {
  clifford,       // a single-qubit Clifford on each target
  controlled,     // a two-qubit controlled Pauli on each pair
  feedback,       // a Pauli on a qubit when a recorded bit is 1: pairs (rec, qubit); never a gate's
                  // own kind, only that of a controlled gate's instruction with records
  swap,           // SWAP on each pair
  pair_clifford,  // a two-qubit Clifford on each pair, given by its images
  measure,        // a measurement of each target, recorded
  reset,          // a reset of each target
  measure_reset,  // a measurement, recorded, then a reset in the same basis
  measure_product,  // a measurement of each Pauli product (MPP), or of the gate's axis on both
                    // qubits of each pair (MXX, MYY, MZZ), recorded
  product_phase,    // the square root of each Pauli product P: +1 on its +1 eigenspace, i (or -i
                    // for the adjoint) on its -1 eigenspace (SPP, SPP_DAG)
  pad,              // fixed bits recorded, no qubit touched (MPAD)
  pauli_noise,      // a single-qubit Pauli channel on each target
  pair_noise,       // a two-qubit Pauli channel on each pair
  heralded_noise,   // a single-qubit channel on each target whose every case records a herald bit
  detector,         // the parity of recorded bits, sampled relative to the noiseless circuit
  observable,       // recorded bits added by parity into a logical observable
  repeat,           // a block of instructions run several times
  condition,        // the next instructions run only when recorded bits hold given values; never a
                    // gate's own kind, only that of an instruction read from OpenQASM's if()
  annotation,       // no effect: TICK, QUBIT_COORDS, SHIFT_COORDS
};

// What may stand between the parentheses after the name.
enum class Arguments : std::uint8_t {
  none,                  // no parentheses
  optional_probability,  // a measurement's flip probability, or none
  probabilities,         // the channel's probabilities (Channel::argument_count), summing to <= 1
  coordinates,           // any numbers, without effect
  observable_index,      // exactly one non-negative integer
  any_probabilities,     // any number of probabilities (none too), summing to <= 1, without effect
};

// What the targets must be.
enum class Targets : std::uint8_t {
  qubits,           // one or more qubit indices
  qubit_pairs,      // an even number (at least two) of qubit indices, distinct within a pair
  measured_qubits,  // one or more qubit indices, each possibly inverted as !q
  records,          // any number of rec[-k]
  optional_qubits,  // any number of qubit indices
  none,             // nothing
  repeat_count,     // REPEAT N {
  pauli_products,   // one or more products of Pauli targets joined by '*' (X0*Y1 !Z2), each
                    // factor possibly inverted
  measured_pairs,   // an even number (at least two) of qubit indices, distinct within a pair,
                    // each possibly inverted as !q
  bits,             // one or more literal bits, 0 or 1
};

// A single-qubit Pauli or the identity, numbered as the VOPs of I, X, Y, Z.
enum class Pauli : std::uint8_t { I = 0, X = 1, Y = 2, Z = 3 };

constexpr Pauli pauli_of(Axis axis) { return static_cast<Pauli>(static_cast<unsigned>(axis) + 1); }

// A signed Pauli string over a gate's targets, as the format's tables write the image of a Pauli
// under a gate: "+X", "-Y" on one target, "+XZ" or "+_X" on two ('_' for the identity).
struct PauliImage {
  bool negative = false;
  std::array<Pauli, 2> factors{};

  constexpr bool operator==(const PauliImage&) const = default;
};

constexpr PauliImage image(std::string_view text) {
  PauliImage parsed{text[0] == '-', {}};
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char letter = text[i];
    parsed.factors[i - 1] = letter == 'X'   ? Pauli::X
                            : letter == 'Y' ? Pauli::Y
                            : letter == 'Z' ? Pauli::Z
                                            : Pauli::I;
  }
  return parsed;
}

// How a unitary gate conjugates Paulis: the images of X and Z on each target, in the order X on
// the first, Z on the first, X on the second, Z on the second. A Clifford is fixed, up to a global
// phase, by these images; a single-qubit gate uses the first two.
using Conjugation = std::array<PauliImage, 4>;

// The noise that a gate's probabilities stand for: a random Pauli (or none) on each target, or on
// each pair, drawn from outcomes 1..outcomes (pauli_channel.h numbers them). A heralded channel's
// outcome k records a herald bit 1 and applies the Pauli k - 1 (I, X, Y or Z); no outcome records
// 0 and does nothing.
struct Channel {
  enum class Spread : std::uint8_t {
    none,       // no noise
    one_pauli,  // one probability, for `pauli`
    even,       // one probability, spread evenly over every outcome
    given,      // one probability per outcome
  };
  Spread spread = Spread::none;
  // 3 on one qubit (X, Y, Z), 15 on a pair, 4 heralded (I, X, Y, Z); 1 for a measurement flip
  std::uint8_t outcomes = 0;
  Pauli pauli = Pauli::I;
  bool heralded = false;

  constexpr std::size_t argument_count() const { return spread == Spread::given ? outcomes : 1; }

  // The probability of each outcome, first to last, from the gate's arguments (argument_count()
  // of them): the first `outcomes` entries count.
  constexpr std::array<double, PauliChannel::max_outcomes> outcome_probabilities(
      std::span<const double> arguments) const {
    std::array<double, PauliChannel::max_outcomes> each{};
    switch (spread) {
      case Spread::none:
        break;
      case Spread::one_pauli:
        each[static_cast<std::size_t>(pauli) - 1] = arguments[0];
        break;
      case Spread::even:
        std::fill_n(each.begin(), outcomes, arguments[0] / static_cast<double>(outcomes));
        break;
      case Spread::given:
        std::copy_n(arguments.begin(), outcomes, each.begin());
        break;
    }
    return each;
  }
};

// Which operand of a controlled gate a recorded bit rec[-k] may stand for: the gate then applies
// its other operand's Pauli when the bit is 1.
enum class RecordOperand : std::uint8_t { none, control, either };

// The method of Korvane that applies the gate.
struct Method {
  const char* name = nullptr;  // none without a method
  int position = 0;            // its row in Korvane's method table, from 1
  const char* doc = nullptr;   // the docstring after its text signature
};

struct Gate {
  std::string_view name;  // canonical, upper case
  // Other names the format accepts. (Spelled out: GCC 12 cannot read value-initialized
  // string_views of a constexpr table in another constant expression.)
  std::array<std::string_view, 2> aliases = {"", ""};
  Kind kind = Kind::annotation;
  Targets targets = Targets::none;
  Arguments arguments = Arguments::none;
  Conjugation images{};                  // single-qubit Cliffords: the images of X and Z
  engine::ControlledPauli controlled{};  // controlled Paulis
  Axis axis = Axis::Z;   // measurements and resets: the measured axis; MXX, MYY, MZZ: the Pauli on
                         // both qubits of the measured product (MPP's products are its targets)
  bool adjoint = false;  // SPP_DAG: the phase is -i
  Channel channel{};     // noise; a measurement's flip
  RecordOperand record_operand = RecordOperand::none;
  Method method{};

  // Record builders, so that the table reads as a list of facts.
  constexpr Gate also(std::string_view alias) const {
    if (!aliases.back().empty()) throw "a gate has room for two aliases";
    Gate more = *this;
    more.aliases[aliases[0].empty() ? 0 : 1] = alias;
    return more;
  }
  constexpr Gate as_method(int position, const char* method_name, const char* doc) const {
    Gate more = *this;
    more.method = {method_name, position, doc};
    return more;
  }
  constexpr Gate target_checked_first() const {
    Gate more = *this;
    more.controlled.checks_target_first = true;
    return more;
  }
  constexpr Gate with_record_as(RecordOperand operand) const {
    Gate more = *this;
    more.record_operand = operand;
    return more;
  }
};

constexpr Gate single_qubit_clifford(std::string_view name, std::string_view x_image,
                                     std::string_view z_image) {
  Gate gate{.name = name, .kind = Kind::clifford, .targets = Targets::qubits};
  gate.images = {image(x_image), image(z_image)};
  return gate;
}

// A two-qubit Clifford by the images of X and Z on its first target, then on its second.
constexpr Gate two_qubit_clifford(std::string_view name, std::string_view x_first,
                                  std::string_view z_first, std::string_view x_second,
                                  std::string_view z_second) {
  Gate gate{.name = name, .kind = Kind::pair_clifford, .targets = Targets::qubit_pairs};
  gate.images = {image(x_first), image(z_first), image(x_second), image(z_second)};
  return gate;
}

constexpr Gate controlled_pauli(std::string_view name, Axis control, Axis target) {
  return {.name = name,
          .kind = Kind::controlled,
          .targets = Targets::qubit_pairs,
          .controlled = {control, target}};
}

constexpr Gate measurement(std::string_view name, Kind kind, Axis axis) {
  const bool resets_only = kind == Kind::reset;
  return {.name = name,
          .kind = kind,
          .targets = resets_only ? Targets::qubits : Targets::measured_qubits,
          .arguments = resets_only ? Arguments::none : Arguments::optional_probability,
          .axis = axis,
          .channel = resets_only ? Channel{} : Channel{Channel::Spread::given, 1}};
}

// A measurement of Pauli products: written as products (MPP), or as pairs measured on `axis`.
constexpr Gate product_measurement(std::string_view name, Targets targets, Axis axis) {
  return {.name = name,
          .kind = Kind::measure_product,
          .targets = targets,
          .arguments = Arguments::optional_probability,
          .axis = axis,
          .channel = {Channel::Spread::given, 1}};
}

constexpr Gate product_phase(std::string_view name, bool adjoint) {
  return {.name = name,
          .kind = Kind::product_phase,
          .targets = Targets::pauli_products,
          .adjoint = adjoint};
}

constexpr Gate noise(std::string_view name, Channel channel) {
  const bool on_pairs = channel.outcomes > 3;
  return {.name = name,
          .kind = on_pairs ? Kind::pair_noise : Kind::pauli_noise,
          .targets = on_pairs ? Targets::qubit_pairs : Targets::qubits,
          .arguments = Arguments::probabilities,
          .channel = channel};
}

constexpr Gate heralded_noise(std::string_view name, Channel::Spread spread) {
  return {.name = name,
          .kind = Kind::heralded_noise,
          .targets = Targets::qubits,
          .arguments = Arguments::probabilities,
          .channel = {spread, 4, Pauli::I, true}};
}

constexpr Gate annotation(std::string_view name, Kind kind, Targets targets, Arguments arguments) {
  return {.name = name, .kind = kind, .targets = targets, .arguments = arguments};
}

}  // namespace korvane::circuit
