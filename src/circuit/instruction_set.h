// The instructions of the circuit text format that korvane reads: their canonical names and
// aliases, what kind of operation each is, which targets and arguments it takes, and the engine
// operation behind it. Single-qubit Cliffords are defined, as the format defines them, by the
// images of X and Z under conjugation; their VOPs are found from those images.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "../clifford/local_clifford.h"
#include "../engine/controlled_gates.h"

namespace korvane::circuit {

using clifford::Axis;
using clifford::Vop;

// How an instruction acts, which decides how it runs.
enum class Kind : std::uint8_t {
  clifford,       // a single-qubit Clifford on each target
  controlled,     // a two-qubit controlled Pauli on each pair
  feedback,       // a Pauli on a qubit when a recorded bit is 1: pairs (rec, qubit)
  swap,           // SWAP on each pair
  measure,        // a measurement of each target, recorded
  reset,          // a reset of each target
  measure_reset,  // a measurement, recorded, then a reset in the same basis
  pauli_noise,    // a single-qubit Pauli channel on each target
  pair_noise,     // two-qubit depolarizing noise on each pair
  detector,       // the parity of recorded bits, sampled relative to the noiseless circuit
  observable,     // recorded bits added by parity into a logical observable
  repeat,         // a block of instructions run several times
  condition,      // the next instructions run only when recorded bits hold given values
  annotation,     // no effect: TICK, QUBIT_COORDS, SHIFT_COORDS
};

// Every instruction under its canonical name (the first column of the format's tables).
enum class Gate : std::uint8_t {
  i,
  x,
  y,
  z,
  h,
  s,
  s_dag,
  sqrt_x,
  sqrt_x_dag,
  sqrt_y,
  sqrt_y_dag,
  h_xy,
  h_yz,
  c_xyz,
  c_zyx,
  cx,
  cy,
  cz,
  xcx,
  xcy,
  xcz,
  ycx,
  ycy,
  ycz,
  swap,
  m,
  mx,
  my,
  r,
  rx,
  ry,
  mr,
  mrx,
  mry,
  x_error,
  y_error,
  z_error,
  depolarize1,
  depolarize2,
  pauli_channel_1,
  detector,
  observable_include,
  tick,
  qubit_coords,
  shift_coords,
  repeat,
};

inline constexpr std::size_t gate_count = static_cast<std::size_t>(Gate::repeat) + 1;

// What may stand between the parentheses after the name.
enum class Arguments : std::uint8_t {
  none,                  // no parentheses
  optional_probability,  // a measurement's flip probability, or none
  probability,           // exactly one probability
  three_probabilities,   // PAULI_CHANNEL_1(px, py, pz)
  coordinates,           // any numbers, without effect
  observable_index,      // exactly one non-negative integer
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
};

struct GateInfo {
  std::string_view name;
  Kind kind;
  Targets targets;
  Arguments arguments;
  // The engine's operand: a Vop (cliffords; the Pauli of X/Y/Z_ERROR), an engine::ControlledGate
  // (controlled gates), an Axis (measurements and resets).
  std::uint8_t operand;
};

// An image under conjugation, as the format's tables give it: +X, -Y, ...
struct SignedAxis {
  Axis axis;
  bool negative;
};

// The VOP whose conjugation takes X and Z to these images, or vop_count when none does.
constexpr Vop vop_with_images(SignedAxis x_image, SignedAxis z_image) {
  for (Vop c = 0; c < clifford::vop_count; ++c) {
    if (clifford::image_axis(Axis::X, c) == x_image.axis &&
        clifford::image_sign(c, Axis::X) == x_image.negative &&
        clifford::image_axis(Axis::Z, c) == z_image.axis &&
        clifford::image_sign(c, Axis::Z) == z_image.negative) {
      return c;
    }
  }
  return static_cast<Vop>(clifford::vop_count);
}

namespace images {
inline constexpr SignedAxis plus_x{Axis::X, false}, minus_x{Axis::X, true};
inline constexpr SignedAxis plus_y{Axis::Y, false}, minus_y{Axis::Y, true};
inline constexpr SignedAxis plus_z{Axis::Z, false}, minus_z{Axis::Z, true};
}  // namespace images

constexpr GateInfo single_qubit_clifford(std::string_view name, SignedAxis x_image,
                                         SignedAxis z_image) {
  return {name, Kind::clifford, Targets::qubits, Arguments::none,
          vop_with_images(x_image, z_image)};
}

constexpr GateInfo controlled(std::string_view name, engine::ControlledGate gate) {
  return {name, Kind::controlled, Targets::qubit_pairs, Arguments::none,
          static_cast<std::uint8_t>(gate)};
}

constexpr GateInfo measurement(std::string_view name, Kind kind, Axis axis) {
  const bool resets_only = kind == Kind::reset;
  return {name, kind, resets_only ? Targets::qubits : Targets::measured_qubits,
          resets_only ? Arguments::none : Arguments::optional_probability,
          static_cast<std::uint8_t>(axis)};
}

constexpr GateInfo pauli_noise(std::string_view name, Arguments arguments, Vop pauli = 0) {
  return {name, Kind::pauli_noise, Targets::qubits, arguments, pauli};
}

// Indexed by Gate.
inline constexpr std::array<GateInfo, gate_count> gate_table = [] {
  using namespace images;
  using engine::ControlledGate;
  return std::array<GateInfo, gate_count>{{
      single_qubit_clifford("I", plus_x, plus_z),
      single_qubit_clifford("X", plus_x, minus_z),
      single_qubit_clifford("Y", minus_x, minus_z),
      single_qubit_clifford("Z", minus_x, plus_z),
      single_qubit_clifford("H", plus_z, plus_x),
      single_qubit_clifford("S", plus_y, plus_z),
      single_qubit_clifford("S_DAG", minus_y, plus_z),
      single_qubit_clifford("SQRT_X", plus_x, minus_y),
      single_qubit_clifford("SQRT_X_DAG", plus_x, plus_y),
      single_qubit_clifford("SQRT_Y", minus_z, plus_x),
      single_qubit_clifford("SQRT_Y_DAG", plus_z, minus_x),
      single_qubit_clifford("H_XY", plus_y, minus_z),
      single_qubit_clifford("H_YZ", minus_x, plus_y),
      single_qubit_clifford("C_XYZ", plus_y, plus_x),
      single_qubit_clifford("C_ZYX", plus_z, plus_y),
      controlled("CX", ControlledGate::cx),
      controlled("CY", ControlledGate::cy),
      controlled("CZ", ControlledGate::cz),
      controlled("XCX", ControlledGate::xcx),
      controlled("XCY", ControlledGate::xcy),
      controlled("XCZ", ControlledGate::xcz),
      controlled("YCX", ControlledGate::ycx),
      controlled("YCY", ControlledGate::ycy),
      controlled("YCZ", ControlledGate::ycz),
      GateInfo{"SWAP", Kind::swap, Targets::qubit_pairs, Arguments::none, 0},
      measurement("M", Kind::measure, Axis::Z),
      measurement("MX", Kind::measure, Axis::X),
      measurement("MY", Kind::measure, Axis::Y),
      measurement("R", Kind::reset, Axis::Z),
      measurement("RX", Kind::reset, Axis::X),
      measurement("RY", Kind::reset, Axis::Y),
      measurement("MR", Kind::measure_reset, Axis::Z),
      measurement("MRX", Kind::measure_reset, Axis::X),
      measurement("MRY", Kind::measure_reset, Axis::Y),
      pauli_noise("X_ERROR", Arguments::probability, clifford::pauli_x),
      pauli_noise("Y_ERROR", Arguments::probability, clifford::pauli_y),
      pauli_noise("Z_ERROR", Arguments::probability, clifford::pauli_z),
      pauli_noise("DEPOLARIZE1", Arguments::probability),
      GateInfo{"DEPOLARIZE2", Kind::pair_noise, Targets::qubit_pairs, Arguments::probability, 0},
      pauli_noise("PAULI_CHANNEL_1", Arguments::three_probabilities),
      GateInfo{"DETECTOR", Kind::detector, Targets::records, Arguments::coordinates, 0},
      GateInfo{"OBSERVABLE_INCLUDE", Kind::observable, Targets::records,
               Arguments::observable_index, 0},
      GateInfo{"TICK", Kind::annotation, Targets::none, Arguments::none, 0},
      GateInfo{"QUBIT_COORDS", Kind::annotation, Targets::optional_qubits, Arguments::coordinates,
               0},
      GateInfo{"SHIFT_COORDS", Kind::annotation, Targets::none, Arguments::coordinates, 0},
      GateInfo{"REPEAT", Kind::repeat, Targets::repeat_count, Arguments::none, 0},
  }};
}();

// Every Clifford row of the format's table names one of the 24 VOPs.
static_assert(std::all_of(gate_table.begin(), gate_table.end(), [](const GateInfo& gate) {
  return gate.kind != Kind::clifford || gate.operand < clifford::vop_count;
}));

constexpr const GateInfo& info(Gate gate) { return gate_table[static_cast<std::size_t>(gate)]; }

// The engine's operands, read from the table.
constexpr Vop vop_of(Gate gate) { return info(gate).operand; }
constexpr engine::ControlledGate controlled_gate_of(Gate gate) {
  return static_cast<engine::ControlledGate>(info(gate).operand);
}
constexpr Axis axis_of(Gate gate) { return static_cast<Axis>(info(gate).operand); }

// The Pauli that CX, CY or CZ puts on its target (the Pauli of a classically controlled form).
constexpr Vop target_pauli_of(Gate gate) {
  return gate == Gate::cx ? clifford::pauli_x
                          : (gate == Gate::cy ? clifford::pauli_y : clifford::pauli_z);
}

// CX, CY and CZ may be controlled by a recorded bit; CZ, being symmetric, from either side.
constexpr bool accepts_feedback(Gate gate) {
  return gate == Gate::cx || gate == Gate::cy || gate == Gate::cz;
}

struct NamedGate {
  std::string_view name;
  Gate gate;
};

inline constexpr std::array<NamedGate, 10> gate_aliases{{
    {"H_XZ", Gate::h},
    {"SQRT_Z", Gate::s},
    {"SQRT_Z_DAG", Gate::s_dag},
    {"CNOT", Gate::cx},
    {"ZCX", Gate::cx},
    {"ZCY", Gate::cy},
    {"ZCZ", Gate::cz},
    {"MZ", Gate::m},
    {"RZ", Gate::r},
    {"MRZ", Gate::mr},
}};

constexpr char upper_case(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// FNV-1a over the upper-case spelling: names are looked up in one pass, whatever their case.
constexpr std::uint32_t spelling_hash(std::string_view name) {
  std::uint32_t hash = 2166136261U;
  for (const char c : name) hash = (hash ^ static_cast<unsigned char>(upper_case(c))) * 16777619U;
  return hash;
}

inline constexpr std::size_t name_slot_count = 128;  // a power of two, well above the names

// Every name the format accepts, canonical and alias, in an open-addressing table by
// spelling_hash; an empty slot has an empty name.
inline constexpr std::array<NamedGate, name_slot_count> names_by_hash = [] {
  std::array<NamedGate, name_slot_count> slots{};
  const auto place = [&slots](NamedGate entry) {
    std::size_t slot = spelling_hash(entry.name) & (name_slot_count - 1);
    while (!slots[slot].name.empty()) slot = (slot + 1) & (name_slot_count - 1);
    slots[slot] = entry;
  };
  for (std::size_t g = 0; g < gate_count; ++g) place({gate_table[g].name, static_cast<Gate>(g)});
  for (const NamedGate& alias : gate_aliases) place(alias);
  return slots;
}();

// The gate of a name, canonical or alias, in any mix of upper and lower case.
constexpr std::optional<Gate> find_gate(std::string_view name) {
  for (std::size_t slot = spelling_hash(name) & (name_slot_count - 1);
       !names_by_hash[slot].name.empty(); slot = (slot + 1) & (name_slot_count - 1)) {
    const std::string_view candidate = names_by_hash[slot].name;
    if (candidate.size() == name.size() &&
        std::equal(name.begin(), name.end(), candidate.begin(),
                   [](char a, char b) { return upper_case(a) == b; })) {
      return names_by_hash[slot].gate;
    }
  }
  return std::nullopt;
}

}  // namespace korvane::circuit
