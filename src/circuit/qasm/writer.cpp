#include "writer.h"

#include <array>
#include <numbers>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "../../engine/base.h"
#include "../gates/clifford_synthesis.h"
#include "../pair_cliffords.h"
#include "../pauli_products.h"
#include "../program_walk.h"
#include "small_unitary.h"

namespace korvane::circuit::qasm {
namespace {

// U(a pi/2, b pi/2, c pi/2) for each VOP: every single-qubit Clifford has Euler angles that are
// multiples of pi/2.
std::array<std::array<int, 3>, clifford::vop_count> u_angles() {
  std::array<std::array<int, 3>, clifford::vop_count> angles{};
  std::array<bool, clifford::vop_count> found{};
  const double quarter = std::numbers::pi / 2;
  for (int a = 0; a < 4; ++a) {
    for (int b = 0; b < 4; ++b) {
      for (int c = 0; c < 4; ++c) {
        const std::optional<Tableau> tableau =
            clifford_tableau(u_gate(a * quarter, b * quarter, c * quarter));
        const Vop vop = single_qubit_vop(*tableau);
        if (!found[vop]) angles[vop] = {a, b, c};
        found[vop] = true;
      }
    }
  }
  return angles;
}

std::string quarter_turns(int turns) {
  constexpr std::array<std::string_view, 4> texts{"0", "pi/2", "pi", "3*pi/2"};
  return std::string(texts[static_cast<std::size_t>(turns)]);
}

struct NamedGate {
  GateId gate;
  std::string_view name;
};

// The circuit gates that both standard libraries name (qelib1.inc as first published, which
// readers hold to, lacks sx, sxdg and swap).
constexpr std::array<NamedGate, 10> standard_names{{
    {gate_named("I"), "id"},
    {gate_named("X"), "x"},
    {gate_named("Y"), "y"},
    {gate_named("Z"), "z"},
    {gate_named("H"), "h"},
    {gate_named("S"), "s"},
    {gate_named("S_DAG"), "sdg"},
    {gate_named("CX"), "cx"},
    {gate_named("CY"), "cy"},
    {gate_named("CZ"), "cz"},
}};

// GateId blocks for the circuit gates that no standard library has, in the order they are defined.
struct Definition {
  GateId gate;
  std::string_view name;
  std::string_view text;
};

constexpr std::array<Definition, 7> definitions{{
    {gate_named("SQRT_X_DAG"), "sxdg", "gate sxdg a { s a; h a; s a; }"},
    {gate_named("XCX"), "xcx", "gate xcx a, b { h a; cx a, b; h a; }"},
    {gate_named("XCY"), "xcy", "gate xcy a, b { h a; cy a, b; h a; }"},
    {gate_named("XCZ"), "xcz", "gate xcz a, b { h a; cz a, b; h a; }"},
    {gate_named("YCX"), "ycx", "gate ycx a, b { sdg a; h a; cx a, b; h a; s a; }"},
    {gate_named("YCY"), "ycy", "gate ycy a, b { sdg a; h a; cy a, b; h a; s a; }"},
    {gate_named("YCZ"), "ycz", "gate ycz a, b { sdg a; h a; cz a, b; h a; s a; }"},
}};

class Writer {
 public:
  Writer(const Program& program, const RegisterLayout* layout, int version)
      : program_(program), version_(version) {
    if (version != 2 && version != 3) {
      throw engine::InvalidInput("OpenQASM version " + std::to_string(version) +
                                 ": korvane writes 2 and 3");
    }
    if (layout != nullptr && layout->version != 0) {
      layout_ = *layout;
    } else {
      default_layout();
    }
    name_qubits();
  }

  std::string run() {
    check_expressible();
    std::vector<OpenLoop> loops;
    engine::StopPacer unpaced;  // the text is bounded by most_written_operations
    walk(program_, loops, unpaced, [&](const Instruction& instruction, std::size_t index) {
      write(instruction, index);
      if (remaining_body_ != 0 && instruction.kind != Kind::condition && --remaining_body_ == 0) {
        close_condition();
      }
    });
    return header() + body_;
  }

 private:
  [[noreturn]] void refuse(std::size_t index, const std::string& what) const {
    throw engine::InvalidInput("line " + std::to_string(program_.lines[index]) + ": " + what +
                               ", which OpenQASM cannot express");
  }

  bool has_feedback() const {
    for (const Instruction& instruction : program_.instructions) {
      if (instruction.kind == Kind::feedback) return true;
    }
    return false;
  }

  // A register q of every qubit; the recorded bits in rec, or in OpenQASM 2 with feedback one
  // register each, since an if() of OpenQASM 2 compares a whole register.
  void default_layout() {
    layout_.version = static_cast<std::uint8_t>(version_);
    QubitRegister qubits{"q", {}, false};
    for (std::uint32_t q = 0; q < program_.num_qubits; ++q) qubits.qubits.push_back(q);
    if (!qubits.qubits.empty()) layout_.qubit_registers.push_back(std::move(qubits));
    const std::uint64_t recorded = program_.num_measurements;
    if (recorded == 0) return;
    if (version_ == 2 && has_feedback()) {
      for (std::uint64_t r = 0; r < recorded; ++r) {
        layout_.bit_registers.push_back({"rec" + std::to_string(r), 1, false});
        layout_.record_places.push_back({static_cast<std::uint32_t>(r), 0});
      }
      return;
    }
    layout_.bit_registers.push_back({"rec", static_cast<std::uint32_t>(recorded), false});
    for (std::uint64_t r = 0; r < recorded; ++r) {
      layout_.record_places.push_back({0, static_cast<std::uint32_t>(r)});
    }
  }

  void name_qubits() {
    qubit_names_.assign(program_.num_qubits, {});
    for (const QubitRegister& reg : layout_.qubit_registers) {
      for (std::size_t i = 0; i < reg.qubits.size(); ++i) {
        if (reg.qubits[i] >= qubit_names_.size() || !qubit_names_[reg.qubits[i]].empty()) continue;
        qubit_names_[reg.qubits[i]] =
            reg.single ? reg.name : reg.name + "[" + std::to_string(i) + "]";
      }
    }
    for (std::size_t q = 0; q < qubit_names_.size(); ++q) {
      if (qubit_names_[q].empty()) {
        // Physical qubits of OpenQASM 3, or qubits no register names: a register of their own.
        extra_qubits_ = true;
        qubit_names_[q] = "q_extra[" + std::to_string(q) + "]";
      }
    }
  }

  void check_expressible() {
    if (program_.operations > most_written_operations) {
      throw engine::InvalidInput("the circuit runs more than " +
                                 std::to_string(most_written_operations) +
                                 " operations, too many to write out (OpenQASM has no REPEAT)");
    }
    for (std::size_t index = 0; index < program_.instructions.size(); ++index) {
      const Instruction& instruction = program_.instructions[index];
      const std::string name(gate_of(instruction.gate).name);
      switch (instruction.kind) {
        case Kind::pauli_noise:
        case Kind::pair_noise:
        case Kind::heralded_noise:
          refuse(index, name + " is noise");
        case Kind::pad:
          refuse(index, "MPAD records bits without measuring");
        case Kind::detector:
          refuse(index, "DETECTOR is an annotation of error correction");
        case Kind::observable:
          refuse(index, "OBSERVABLE_INCLUDE is an annotation of error correction");
        case Kind::measure:
        case Kind::measure_reset:
        case Kind::measure_product:
          if (instruction.detail != no_channel)
            refuse(index, name + "(p) flips its results at random");
          check_products(index, instruction);
          break;
        case Kind::product_phase:
          check_products(index, instruction);
          break;
        default:
          break;
      }
    }
  }

  // Products must be Hermitian, and a measured one more than a sign: its bit would be fixed.
  void check_products(std::size_t index, const Instruction& instruction) {
    if (instruction.kind != Kind::measure_product && instruction.kind != Kind::product_phase)
      return;
    for_each_product(program_.targets_of(instruction), [&](std::span<const std::uint32_t> factors) {
      if (!multiply_factors(factors, products_)) {
        refuse(index, "the anti-Hermitian product " + factors_text(factors));
      }
      if (instruction.kind == Kind::measure_product && products_.product.factors.empty()) {
        refuse(index, "a measurement of the identity product " + factors_text(factors));
      }
    });
  }

  const std::string& qubit(std::uint32_t q) const { return qubit_names_[q]; }

  std::string bit(std::uint64_t record) const {
    const BitPlace place = layout_.record_places[record];
    const BitRegister& reg = layout_.bit_registers[place.reg];
    return reg.single ? reg.name : reg.name + "[" + std::to_string(place.bit) + "]";
  }

  void line(const std::string& text) {
    body_.append(indent_, ' ');
    body_.append(prefix_);
    body_.append(text);
    body_.append(";\n");
  }

  std::string gate_name(GateId gate) {
    if (version_ == 3 && gate == gate_named("SQRT_X")) return "sx";
    for (const Definition& definition : definitions) {
      if (definition.gate == gate && (gate != gate_named("SQRT_X_DAG") || version_ == 3)) {
        used_definitions_[static_cast<std::size_t>(&definition - definitions.data())] = true;
        return std::string(definition.name);
      }
    }
    for (const NamedGate& named : standard_names) {
      if (named.gate == gate) return std::string(named.name);
    }
    static const std::array<std::array<int, 3>, clifford::vop_count> angles = u_angles();
    const std::array<int, 3>& turns = angles[vop_of(gate)];
    return "U(" + quarter_turns(turns[0]) + ", " + quarter_turns(turns[1]) + ", " +
           quarter_turns(turns[2]) + ")";
  }

  void gate_line(GateId gate, std::uint32_t q) { line(gate_name(gate) + " " + qubit(q)); }

  // Rotates `axis` onto Z (before a Z measurement or after a reset, reversed).
  void to_z(Axis axis, std::uint32_t q) {
    if (axis == Axis::Y) gate_line(gate_named("S_DAG"), q);
    if (axis != Axis::Z) gate_line(gate_named("H"), q);
  }
  void from_z(Axis axis, std::uint32_t q) {
    if (axis != Axis::Z) gate_line(gate_named("H"), q);
    if (axis == Axis::Y) gate_line(gate_named("S"), q);
  }

  void measurement(std::uint32_t entry, Axis axis, bool resets) {
    const std::uint32_t q = entry & ~inverted_flag;
    const bool inverted = (entry & inverted_flag) != 0;
    const std::uint64_t record = record_++;
    to_z(axis, q);
    if (inverted) gate_line(gate_named("X"), q);
    const BitPlace place = layout_.record_places[record];
    if (place.reg == no_register) {
      line("measure " + qubit(q));
    } else if (version_ == 2) {
      line("measure " + qubit(q) + " -> " + bit(record));
    } else {
      line(bit(record) + " = measure " + qubit(q));
    }
    if (resets) {
      line("reset " + qubit(q));
    } else if (inverted) {
      gate_line(gate_named("X"), q);
    }
    from_z(axis, q);
  }

  // The condition "recorded bit == 1" in the syntax of the version, or refused.
  std::string bit_condition(std::uint64_t record, bool value, std::size_t index) const {
    const BitPlace place = layout_.record_places[record];
    if (place.reg == no_register) refuse(index, "feedback from a measurement stored in no bit");
    const BitRegister& reg = layout_.bit_registers[place.reg];
    if (version_ == 3) return "if (" + bit(record) + " == " + (value ? "true" : "false") + ") ";
    if (reg.size != 1) {
      refuse(index, "in OpenQASM 2, a condition on one bit of the register '" + reg.name + "'");
    }
    return "if(" + reg.name + "==" + (value ? "1" : "0") + ") ";
  }

  void open_condition(const Instruction& instruction, std::size_t index) {
    const Condition& condition = program_.conditions[instruction.detail];
    const WrittenCondition& written = layout_.conditions.at(instruction.detail);
    const BitRegister& reg = layout_.bit_registers[written.reg];
    if (version_ == 2) {
      if (written.not_equal) refuse(index, "an if() with != (OpenQASM 2 compares with ==)");
      if (written.bit && reg.size != 1) {
        refuse(index, "in OpenQASM 2, a condition on one bit of the register '" + reg.name + "'");
      }
      prefix_ = "if(" + reg.name + "==" + std::to_string(written.value) + ") ";
    } else {
      const std::string subject = written.bit && !reg.single
                                      ? reg.name + "[" + std::to_string(*written.bit) + "]"
                                      : reg.name;
      body_.append(indent_, ' ');
      body_.append("if (" + subject + (written.not_equal ? " != " : " == ") +
                   std::to_string(written.value) + ") {\n");
      indent_ += 4;
    }
    remaining_body_ = condition.body;
    if (remaining_body_ == 0) close_condition();
  }

  void close_condition() {
    if (version_ == 2) {
      prefix_.clear();
      return;
    }
    indent_ -= 4;
    body_.append(indent_, ' ');
    body_.append("}\n");
  }

  void write(const Instruction& instruction, std::size_t index) {
    const std::span<const std::uint32_t> targets = program_.targets_of(instruction);
    switch (instruction.kind) {
      case Kind::clifford:
        for (const std::uint32_t q : targets) gate_line(instruction.gate, q);
        break;
      case Kind::swap:
        for (std::size_t i = 0; i < targets.size(); i += 2) swap_lines(targets[i], targets[i + 1]);
        break;
      case Kind::controlled:
        for (std::size_t i = 0; i < targets.size(); i += 2) {
          line(gate_name(instruction.gate) + " " + qubit(targets[i]) + ", " +
               qubit(targets[i + 1]));
        }
        break;
      case Kind::feedback: {
        const Pauli feedback = feedback_pauli_of(instruction.gate);
        const GateId pauli = feedback == Pauli::X
                                 ? gate_named("X")
                                 : (feedback == Pauli::Y ? gate_named("Y") : gate_named("Z"));
        for (std::size_t i = 0; i < targets.size(); i += 2) {
          const std::string condition = bit_condition(record_ - targets[i], true, index);
          body_.append(indent_, ' ');
          body_.append(condition + gate_name(pauli) + " " + qubit(targets[i + 1]) + ";\n");
        }
        break;
      }
      case Kind::measure:
      case Kind::measure_reset:
        for (const std::uint32_t entry : targets) {
          measurement(entry, gate_of(instruction.gate).axis,
                      instruction.kind == Kind::measure_reset);
        }
        break;
      case Kind::reset:
        for (const std::uint32_t q : targets) {
          line("reset " + qubit(q));
          from_z(gate_of(instruction.gate).axis, q);
        }
        break;
      case Kind::pair_clifford:
        // As the single-qubit Cliffords, CX and SWAP that apply it.
        for (std::size_t i = 0; i < targets.size(); i += 2) {
          const std::array<engine::Qubit, 2> operands{targets[i], targets[i + 1]};
          write_steps(pair_clifford_steps(instruction.gate), operands);
        }
        break;
      case Kind::measure_product:
        // Carried onto its first qubit's Z, measured there, and carried back.
        for_each_product(targets, [&](std::span<const std::uint32_t> factors) {
          multiply_factors(factors, products_);
          const bool negative = steps_to_z(products_);
          write_steps(products_.steps, products_.operands);
          const auto first = static_cast<std::uint32_t>(products_.operands[0]);
          measurement(negative ? first | inverted_flag : first, Axis::Z, false);
          std::vector<CliffordStep> back;
          append_inverse(products_.steps, back);
          write_steps(back, products_.operands);
        });
        break;
      case Kind::product_phase:
        for_each_product(targets, [&](std::span<const std::uint32_t> factors) {
          multiply_factors(factors, products_);
          product_phase_steps(gate_of(instruction.gate).adjoint, products_);
          write_steps(products_.steps, products_.operands);
        });
        break;
      case Kind::condition:
        open_condition(instruction, index);
        break;
      case Kind::annotation:
        if (instruction.gate == gate_named("TICK")) line("barrier " + all_registers());
        break;
      default:
        break;  // refused by check_expressible
    }
  }

  // SWAP: its name in OpenQASM 3; three CX in OpenQASM 2, whose qelib1.inc lacks it.
  void swap_lines(std::uint32_t a, std::uint32_t b) {
    if (version_ == 3) {
      line("swap " + qubit(a) + ", " + qubit(b));
      return;
    }
    for (const auto& [c, t] : {std::pair{a, b}, std::pair{b, a}, std::pair{a, b}}) {
      line("cx " + qubit(c) + ", " + qubit(t));
    }
  }

  void write_steps(std::span<const CliffordStep> steps, std::span<const engine::Qubit> operands) {
    for (const CliffordStep& step : steps) {
      const auto first = static_cast<std::uint32_t>(operands[step.a]);
      const auto second = static_cast<std::uint32_t>(operands[step.b]);
      if (step.type == CliffordStep::Type::vop) {
        for (std::size_t g = 0; g < gate_count; ++g) {
          if (gate_table[g].kind == Kind::clifford && gate_vops[g] == step.vop) {
            gate_line(static_cast<GateId>(g), first);
            break;
          }
        }
      } else if (step.type == CliffordStep::Type::cx) {
        line(gate_name(gate_named("CX")) + " " + qubit(first) + ", " + qubit(second));
      } else {
        swap_lines(first, second);
      }
    }
  }

  std::string all_registers() const {
    std::string text;
    for (const QubitRegister& reg : layout_.qubit_registers) {
      text += (text.empty() ? "" : ", ") + reg.name;
    }
    if (extra_qubits_) text += (text.empty() ? "" : ", ") + std::string("q_extra");
    return text;
  }

  std::string header() const {
    std::string text = version_ == 2 ? "OPENQASM 2.0;\ninclude \"qelib1.inc\";\n"
                                     : "OPENQASM 3.0;\ninclude \"stdgates.inc\";\n";
    for (std::size_t d = 0; d < definitions.size(); ++d) {
      if (used_definitions_[d]) text.append(std::string(definitions[d].text) + "\n");
    }
    for (const QubitRegister& reg : layout_.qubit_registers) {
      text.append(declaration(true, reg.name, reg.qubits.size(), reg.single));
    }
    if (extra_qubits_) text.append(declaration(true, "q_extra", program_.num_qubits, false));
    for (const BitRegister& reg : layout_.bit_registers) {
      text.append(declaration(false, reg.name, reg.size, reg.single));
    }
    return text;
  }

  std::string declaration(bool quantum, const std::string& name, std::size_t size,
                          bool single) const {
    if (version_ == 2) {
      return std::string(quantum ? "qreg " : "creg ") + name + "[" + std::to_string(size) + "];\n";
    }
    const std::string type = quantum ? "qubit" : "bit";
    return single ? type + " " + name + ";\n"
                  : type + "[" + std::to_string(size) + "] " + name + ";\n";
  }

  const Program& program_;
  int version_;
  RegisterLayout layout_;
  std::vector<std::string> qubit_names_;
  bool extra_qubits_ = false;
  std::array<bool, definitions.size()> used_definitions_{};
  std::string body_;
  std::string prefix_;  // if(...) before each statement of an OpenQASM 2 condition's body
  std::size_t indent_ = 0;
  std::uint32_t remaining_body_ = 0;
  std::uint64_t record_ = 0;
  ProductScratch products_;
};

}  // namespace

std::string write_qasm(const Program& program, const RegisterLayout* layout, int version) {
  return Writer(program, layout, version).run();
}

}  // namespace korvane::circuit::qasm
