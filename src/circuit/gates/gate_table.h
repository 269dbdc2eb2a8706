// The gate table: one record for every instruction of the circuit text format that korvane reads,
// with its names, what it does, which targets and arguments it takes, and the method of Korvane
// that applies it, if any. Everything else that names a gate derives from these records: the
// parser and the printer, the runners on the register and on Pauli frames, Korvane's method
// table, the type stubs (src/python/korvane.pyi, checked against the table by a test) and the
// benchmarks' workloads. Single-qubit Cliffords are defined, as the format defines them, by the
// images of X and Z under conjugation; their VOPs are found from those images.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "gate.h"

namespace korvane::circuit {

// A gate's place in gate_table, as instructions hold it.
using GateId = std::uint8_t;

inline constexpr auto gate_table = [] {
  using Spread = Channel::Spread;
  return std::array{
      // Single-qubit Cliffords, by the images of X and Z.
      single_qubit_clifford("I", "+X", "+Z"),
      single_qubit_clifford("X", "+X", "-Z")
          .as_method(1, "x",
                     "Apply an X (Pauli-X) gate to the given qubit.\n\n"
                     "`node` is the index of the qubit."),
      single_qubit_clifford("Y", "-X", "-Z")
          .as_method(2, "y",
                     "Apply a Y (Pauli-Y) gate to the given qubit.\n\n"
                     "`node` is the index of the qubit."),
      single_qubit_clifford("Z", "-X", "+Z")
          .as_method(3, "z",
                     "Apply a Z (Pauli-Z) gate to the given qubit.\n\n"
                     "`node` is the index of the qubit."),
      single_qubit_clifford("H", "+Z", "+X")
          .also("H_XZ")
          .as_method(4, "h",
                     "Apply an H (Hadamard) gate to the given qubit.\n\n"
                     "`node` is the index of the qubit."),
      single_qubit_clifford("S", "+Y", "+Z")
          .also("SQRT_Z")
          .as_method(5, "s",
                     "Apply an S (phase) gate to the given qubit.\n\n"
                     "`node` is the index of the qubit."),
      single_qubit_clifford("S_DAG", "-Y", "+Z")
          .also("SQRT_Z_DAG")
          .as_method(6, "sdag",
                     "Apply an S\u2020 (inverse phase) gate to the given qubit.\n\n"
                     "`node` is the index of the qubit."),
      single_qubit_clifford("SQRT_X", "+X", "-Y"),
      single_qubit_clifford("SQRT_X_DAG", "+X", "+Y"),
      single_qubit_clifford("SQRT_Y", "-Z", "+X"),
      single_qubit_clifford("SQRT_Y_DAG", "+Z", "-X"),
      single_qubit_clifford("H_XY", "+Y", "-Z"),
      single_qubit_clifford("H_YZ", "-X", "+Y"),
      single_qubit_clifford("C_XYZ", "+Y", "+X"),
      single_qubit_clifford("C_ZYX", "+Z", "+Y"),
      // The signed ones, which complete the 24.
      single_qubit_clifford("C_NXYZ", "-Y", "-X"),
      single_qubit_clifford("C_NZYX", "-Z", "-Y"),
      single_qubit_clifford("C_XNYZ", "-Y", "+X"),
      single_qubit_clifford("C_XYNZ", "+Y", "-X"),
      single_qubit_clifford("C_ZNYX", "+Z", "-Y"),
      single_qubit_clifford("C_ZYNX", "-Z", "+Y"),
      single_qubit_clifford("H_NXY", "-Y", "-Z"),
      single_qubit_clifford("H_NXZ", "-Z", "-X"),
      single_qubit_clifford("H_NYZ", "-X", "-Y"),
      // Controlled Paulis, by the axes of control and target. A recorded bit may control CX, CY
      // and CZ, and stand on either side of the symmetric CZ.
      controlled_pauli("CX", Axis::Z, Axis::X)
          .also("CNOT")
          .also("ZCX")
          .target_checked_first()
          .with_record_as(RecordOperand::control)
          .as_method(8, "cx", "Apply a controlled-X (CX) / CNOT gate with `control` and `target`."),
      controlled_pauli("CY", Axis::Z, Axis::Y)
          .also("ZCY")
          .target_checked_first()
          .with_record_as(RecordOperand::control)
          .as_method(13, "cy", "Apply a controlled-Y (CY) gate with `control` and `target`."),
      controlled_pauli("CZ", Axis::Z, Axis::Z)
          .also("ZCZ")
          .with_record_as(RecordOperand::either)
          .as_method(7, "cz", "Apply a controlled-Z (CZ) gate with `control` and `target` qubits."),
      controlled_pauli("XCX", Axis::X, Axis::X)
          .as_method(9, "xcx", "Apply an X-controlled X gate (CX in the X basis)."),
      controlled_pauli("XCY", Axis::X, Axis::Y)
          .target_checked_first()
          .as_method(14, "xcy", "Apply an X-controlled Y gate (control in X basis)."),
      controlled_pauli("XCZ", Axis::X, Axis::Z)
          .as_method(11, "xcz", "Apply an X-controlled Z gate (target in X basis)."),
      controlled_pauli("YCX", Axis::Y, Axis::X)
          .as_method(10, "ycx", "Apply a Y-controlled X gate (control qubit in the Y basis)."),
      controlled_pauli("YCY", Axis::Y, Axis::Y)
          .target_checked_first()
          .as_method(15, "ycy", "Apply a Y-controlled Y gate (both in Y basis)."),
      controlled_pauli("YCZ", Axis::Y, Axis::Z)
          .as_method(12, "ycz", "Apply a Y-controlled Z gate (target in Y basis)."),
      Gate{.name = "SWAP", .kind = Kind::swap, .targets = Targets::qubit_pairs},
      // Two-qubit Cliffords, by the images of X_, Z_, _X and _Z.
      two_qubit_clifford("CXSWAP", "+XX", "+_Z", "+X_", "+ZZ"),
      two_qubit_clifford("SWAPCX", "+_X", "+ZZ", "+XX", "+Z_"),
      two_qubit_clifford("CZSWAP", "+ZX", "+_Z", "+XZ", "+Z_").also("SWAPCZ"),
      two_qubit_clifford("ISWAP", "+ZY", "+_Z", "+YZ", "+Z_"),
      two_qubit_clifford("ISWAP_DAG", "-ZY", "+_Z", "-YZ", "+Z_"),
      two_qubit_clifford("SQRT_XX", "+X_", "-YX", "+_X", "-XY"),
      two_qubit_clifford("SQRT_XX_DAG", "+X_", "+YX", "+_X", "+XY"),
      two_qubit_clifford("SQRT_YY", "-ZY", "+XY", "-YZ", "+YX"),
      two_qubit_clifford("SQRT_YY_DAG", "+ZY", "-XY", "+YZ", "-YX"),
      two_qubit_clifford("SQRT_ZZ", "+YZ", "+Z_", "+ZY", "+_Z"),
      two_qubit_clifford("SQRT_ZZ_DAG", "-YZ", "+Z_", "-ZY", "+_Z"),
      // Measurements and resets, by their axis.
      measurement("M", Kind::measure, Axis::Z)
          .also("MZ")
          .as_method(18, "measure_z",
                     "Perform a projective measurement of `qubit` in the Z basis.\n\n"
                     "Returns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."),
      measurement("MX", Kind::measure, Axis::X)
          .as_method(16, "measure_x",
                     "Perform a projective measurement of `qubit` in the X basis.\n\n"
                     "Returns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."),
      measurement("MY", Kind::measure, Axis::Y)
          .as_method(17, "measure_y",
                     "Perform a projective measurement of `qubit` in the Y basis.\n\n"
                     "Returns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."),
      measurement("R", Kind::reset, Axis::Z).also("RZ"),
      measurement("RX", Kind::reset, Axis::X),
      measurement("RY", Kind::reset, Axis::Y),
      measurement("MR", Kind::measure_reset, Axis::Z).also("MRZ"),
      measurement("MRX", Kind::measure_reset, Axis::X),
      measurement("MRY", Kind::measure_reset, Axis::Y),
      // Pauli products: measured, by their factors or on both qubits of each pair, and square
      // roots of them.
      product_measurement("MPP", Targets::pauli_products, Axis::Z),
      product_measurement("MXX", Targets::measured_pairs, Axis::X),
      product_measurement("MYY", Targets::measured_pairs, Axis::Y),
      product_measurement("MZZ", Targets::measured_pairs, Axis::Z),
      product_phase("SPP", false),
      product_phase("SPP_DAG", true),
      // Bits recorded as they are written, each flipped with the probability given.
      Gate{.name = "MPAD",
           .kind = Kind::pad,
           .targets = Targets::bits,
           .arguments = Arguments::optional_probability,
           .channel = {Spread::given, 1}},
      // Noise, by the channel its probabilities stand for.
      noise("X_ERROR", {Spread::one_pauli, 3, Pauli::X}),
      noise("Y_ERROR", {Spread::one_pauli, 3, Pauli::Y}),
      noise("Z_ERROR", {Spread::one_pauli, 3, Pauli::Z}),
      noise("DEPOLARIZE1", {Spread::even, 3}),
      noise("DEPOLARIZE2", {Spread::even, 15}),
      noise("PAULI_CHANNEL_1", {Spread::given, 3}),
      noise("PAULI_CHANNEL_2", {Spread::given, 15}),
      heralded_noise("HERALDED_ERASE", Spread::even),
      heralded_noise("HERALDED_PAULI_CHANNEL_1", Spread::given),
      // Hooks for tags and parameters, without effect in simulation and in error analysis.
      annotation("I_ERROR", Kind::annotation, Targets::qubits, Arguments::any_probabilities),
      annotation("II_ERROR", Kind::annotation, Targets::qubit_pairs, Arguments::any_probabilities),
      annotation("II", Kind::annotation, Targets::qubit_pairs, Arguments::none),
      // Annotations and the record's parities.
      annotation("DETECTOR", Kind::detector, Targets::records, Arguments::coordinates),
      annotation("OBSERVABLE_INCLUDE", Kind::observable, Targets::records,
                 Arguments::observable_index),
      annotation("TICK", Kind::annotation, Targets::none, Arguments::none),
      annotation("QUBIT_COORDS", Kind::annotation, Targets::optional_qubits,
                 Arguments::coordinates),
      annotation("SHIFT_COORDS", Kind::annotation, Targets::none, Arguments::coordinates),
      annotation("REPEAT", Kind::repeat, Targets::repeat_count, Arguments::none),
  };
}();

inline constexpr std::size_t gate_count = gate_table.size();
static_assert(gate_count <= 256, "a GateId is one byte");

constexpr const Gate& gate_of(GateId id) { return gate_table[id]; }

// The VOP whose conjugation takes X and Z to these images, or vop_count when none does.
constexpr Vop vop_with_images(PauliImage x_image, PauliImage z_image) {
  for (Vop c = 0; c < clifford::vop_count; ++c) {
    const auto carries = [c](Axis pauli, PauliImage wanted) {
      return pauli_of(clifford::image_axis(pauli, c)) == wanted.factors[0] &&
             clifford::image_sign(c, pauli) == wanted.negative;
    };
    if (carries(Axis::X, x_image) && carries(Axis::Z, z_image)) return c;
  }
  return static_cast<Vop>(clifford::vop_count);
}

// Each single-qubit Clifford's VOP, found once from its images (identity for other gates).
inline constexpr std::array<Vop, gate_count> gate_vops = [] {
  std::array<Vop, gate_count> vops{};
  for (std::size_t id = 0; id < gate_count; ++id) {
    const Gate& gate = gate_table[id];
    if (gate.kind == Kind::clifford) vops[id] = vop_with_images(gate.images[0], gate.images[1]);
  }
  return vops;
}();

// Every Clifford row names one of the 24 VOPs.
static_assert(std::all_of(gate_vops.begin(), gate_vops.end(),
                          [](Vop vop) { return vop < clifford::vop_count; }));

constexpr Vop vop_of(GateId id) { return gate_vops[id]; }

// The Pauli that a controlled gate applies to its other operand when a recorded bit stands for
// the control: the target's axis (and for CZ, symmetric, Z either way).
constexpr Pauli feedback_pauli_of(GateId id) { return pauli_of(gate_of(id).controlled.target); }

// How a unitary gate conjugates Paulis (gate.h): a Clifford's images as the table gives them; a
// controlled Pauli's from its axes, where a Pauli on one operand that anticommutes with that
// operand's axis gains the other operand's axis; SWAP's exchanging the operands.
constexpr Conjugation conjugation_of(GateId id) {
  const Gate& gate = gate_of(id);
  switch (gate.kind) {
    case Kind::clifford:
    case Kind::pair_clifford:
      return gate.images;
    case Kind::controlled: {
      const Pauli control = pauli_of(gate.controlled.control);
      const Pauli target = pauli_of(gate.controlled.target);
      const auto grows = [](Pauli pauli, Pauli axis) { return pauli != axis; };
      return {PauliImage{false, {Pauli::X, grows(Pauli::X, control) ? target : Pauli::I}},
              PauliImage{false, {Pauli::Z, grows(Pauli::Z, control) ? target : Pauli::I}},
              PauliImage{false, {grows(Pauli::X, target) ? control : Pauli::I, Pauli::X}},
              PauliImage{false, {grows(Pauli::Z, target) ? control : Pauli::I, Pauli::Z}}};
    }
    case Kind::swap:
      return {image("+_X"), image("+_Z"), image("+X_"), image("+Z_")};
    default:
      return {};
  }
}

constexpr char upper_case(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// FNV-1a over the upper-case spelling: names are looked up in one pass, whatever their case.
constexpr std::uint32_t spelling_hash(std::string_view name) {
  std::uint32_t hash = 2166136261U;
  for (const char c : name) hash = (hash ^ static_cast<unsigned char>(upper_case(c))) * 16777619U;
  return hash;
}

struct NamedGate {
  std::string_view name;
  GateId gate;
};

inline constexpr std::size_t name_slot_count = 128;  // a power of two, well above the names

// Every name the format accepts, canonical and alias, in an open-addressing table by
// spelling_hash; an empty slot has an empty name.
inline constexpr std::array<NamedGate, name_slot_count> names_by_hash = [] {
  std::array<NamedGate, name_slot_count> slots{};
  const auto place = [&slots](std::string_view name, GateId id) {
    std::size_t slot = spelling_hash(name) & (name_slot_count - 1);
    while (!slots[slot].name.empty()) slot = (slot + 1) & (name_slot_count - 1);
    slots[slot] = {name, id};
  };
  for (std::size_t id = 0; id < gate_count; ++id) {
    place(gate_table[id].name, static_cast<GateId>(id));
    for (std::size_t k = 0; k < gate_table[id].aliases.size(); ++k) {
      const std::string_view alias = gate_table[id].aliases[k];
      if (!alias.empty()) place(alias, static_cast<GateId>(id));
    }
  }
  return slots;
}();

// The gate of a name, canonical or alias, in any mix of upper and lower case.
constexpr std::optional<GateId> find_gate(std::string_view name) {
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

// The gate of a name that the table holds, for code that needs one gate by name.
consteval GateId gate_named(std::string_view name) { return *find_gate(name); }

}  // namespace korvane::circuit
