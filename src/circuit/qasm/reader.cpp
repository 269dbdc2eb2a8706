#include "reader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../../engine/base.h"
#include "../gates/clifford_synthesis.h"
#include "../program_builder.h"
#include "expression.h"
#include "gate_library.h"
#include "lexer.h"
#include "vop_gates.h"

namespace korvane::circuit::qasm {
namespace {

// A gate call expands to at most this many circuit gates.
constexpr std::size_t most_expanded_gates = std::size_t{1} << 24;
// Powers of a gate (pow(k) @) up to this k.
constexpr double largest_power = 1024;

struct Modifier {
  enum class Type : std::uint8_t { inverse, power, control, negative_control };
  Type type;
  std::optional<Expression> argument;  // the power, or the number of controls
};

struct EvaluatedModifier {
  Modifier::Type type;
  double argument;
};

// One statement of a gate block.
struct BodyStep {
  std::uint32_t line = 0;
  bool global_phase = false;  // gphase(angle);
  std::string name;
  std::vector<Expression> parameters;
  std::vector<std::size_t> qubits;  // the block's qubit arguments it acts on
  std::vector<Modifier> modifiers;
};

struct UserGate {
  std::vector<std::string> parameters;
  std::size_t qubits = 0;
  std::vector<BodyStep> body;
  bool opaque = false;
};

// A circuit gate, or a single-qubit Clifford still to be combined with its neighbours.
struct Op {
  GateId gate = gate_named("I");
  std::array<std::uint32_t, 2> qubits{};
  std::size_t qubit_count = 1;
};

struct BitOperand {
  std::uint32_t reg = 0;
  std::vector<std::uint32_t> bits;
  bool whole = false;  // a register or slice, broadcast over
};

struct QubitOperand {
  std::vector<std::uint32_t> qubits;
  bool whole = false;
};

std::string number_text(double value) {
  std::array<char, 32> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return {buffer.data(), written.ptr};
}

std::string call_text(std::string_view name, std::span<const double> values) {
  std::string text(name);
  if (values.empty()) return text;
  text.push_back('(');
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) text.append(", ");
    text.append(number_text(values[i]));
  }
  return text + ")";
}

// Appends the steps of a synthesised Clifford, single-qubit runs combined into one VOP each.
void append_steps(std::span<const CliffordStep> steps, std::span<const std::uint32_t> qubits,
                  std::vector<Op>& out) {
  std::vector<std::pair<std::uint32_t, Vop>> pending;  // a VOP per qubit, not yet written
  const auto flush = [&](std::uint32_t q) {
    const auto found = std::find_if(pending.begin(), pending.end(),
                                    [q](const auto& entry) { return entry.first == q; });
    if (found == pending.end()) return;
    const VopGates& gates = vop_gates[found->second];
    if (found->second != clifford::identity) {
      for (std::size_t g = 0; g < gates.count; ++g) out.push_back({gates.gates[g], {q, 0}, 1});
    }
    pending.erase(found);
  };
  for (const CliffordStep& step : steps) {
    const std::uint32_t a = qubits[step.a];
    if (step.type == CliffordStep::Type::vop) {
      const auto found = std::find_if(pending.begin(), pending.end(),
                                      [a](const auto& entry) { return entry.first == a; });
      if (found == pending.end()) {
        pending.emplace_back(a, step.vop);
      } else {
        found->second = clifford::product(step.vop, found->second);
      }
      continue;
    }
    const std::uint32_t b = qubits[step.b];
    flush(a);
    flush(b);
    out.push_back(
        {step.type == CliffordStep::Type::cx ? gate_named("CX") : gate_named("SWAP"), {a, b}, 2});
  }
  while (!pending.empty()) flush(pending.front().first);
}

class Reader {
 public:
  explicit Reader(std::string_view text) : tokens_(tokenize(text)) {}

  QasmCircuit run() {
    read_header();
    while (peek().type != Token::Type::end) statement();
    flush();
    QasmCircuit result{builder_.finish(qubit_count_), std::move(layout_)};
    result.layout.version = version_;
    return result;
  }

 private:
  // Tokens.
  const Token& peek(std::size_t ahead = 0) const {
    return tokens_[std::min(position_ + ahead, tokens_.size() - 1)];
  }
  const Token& next() {
    const Token& token = peek();
    if (position_ < tokens_.size() - 1) ++position_;
    return token;
  }
  const Token& previous() const { return tokens_[position_ == 0 ? 0 : position_ - 1]; }
  bool accept(std::string_view symbol) {
    if (!peek().is(symbol)) return false;
    next();
    return true;
  }
  [[noreturn]] void fail_at(std::uint32_t line, const std::string& message) const {
    throw engine::InvalidInput("line " + std::to_string(line) + ": " + message);
  }
  [[noreturn]] void fail(const std::string& message) const { fail_at(peek().line, message); }
  static std::string shown(const Token& token) {
    return token.type == Token::Type::end ? std::string("the end of the text")
                                          : "'" + std::string(token.text) + "'";
  }
  void expect(std::string_view symbol) {
    if (!accept(symbol)) fail("expected '" + std::string(symbol) + "', found " + shown(peek()));
  }
  std::string read_name(const char* what) {
    const Token& token = next();
    if (token.type != Token::Type::name) {
      fail_at(token.line, "expected " + std::string(what) + ", found " + shown(token));
    }
    return std::string(token.text);
  }
  std::uint64_t integer_token(const char* what) {
    const Token& token = next();
    std::uint64_t value = 0;
    std::string digits(token.text);
    std::erase(digits, '_');
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (token.type != Token::Type::integer || error != std::errc() ||
        end != digits.data() + digits.size()) {
      fail_at(token.line, "expected " + std::string(what) + ", found " + shown(token));
    }
    return value;
  }

  void read_header() {
    if (!peek().is("OPENQASM")) return;
    next();
    const Token& version = next();
    const std::string text(version.text);
    if (text == "2.0" || text == "2") {
      version_ = 2;
    } else if (text == "3.0" || text == "3" || text.starts_with("3.")) {
      version_ = 3;
    } else {
      fail_at(version.line, "korvane reads OpenQASM 2.0 and 3, not version " + shown(version));
    }
    expect(";");
  }

  // Statements.
  void statement() {
    const Token& token = peek();
    const std::string_view word = token.text;
    if (token.type == Token::Type::name) {
      if (word == "OPENQASM") fail("OPENQASM must be the first statement");
      if (word == "include") return include();
      if (word == "qreg" || word == "creg") return old_declaration(word == "qreg");
      if (word == "qubit" || word == "bit") return declaration(word == "qubit");
      if (word == "let") return alias();
      if (word == "gate" || word == "opaque") return gate_definition(word == "opaque");
      if (word == "measure") return measure_statement();
      if (word == "reset") return reset_statement();
      if (word == "barrier") return barrier_statement();
      if (word == "if") return if_statement();
      if (word == "gphase") return top_level_global_phase();
      refuse_unsupported(word);
      if (peek(1).is("=") || (peek(1).is("[") && assignment_ahead())) return measure_assignment();
    }
    if (token.is("{")) fail("a block { ... } stands only after if() or else");
    gate_call();
  }

  void refuse_unsupported(std::string_view word) const {
    static constexpr std::array<std::string_view, 27> unsupported{
        "for",     "while",    "def",    "box",   "delay",         "input",  "output",
        "const",   "int",      "uint",   "float", "angle",         "bool",   "duration",
        "stretch", "extern",   "defcal", "cal",   "defcalgrammar", "pragma", "return",
        "break",   "continue", "end",    "array", "complex",       "switch"};
    if (std::find(unsupported.begin(), unsupported.end(), word) != unsupported.end()) {
      fail("'" + std::string(word) +
           "' is not supported: korvane reads the registers, Clifford gates, measurements, "
           "resets, barriers and if() of OpenQASM");
    }
  }

  // Whether `name[...] =` follows: an assignment of a measurement to one bit.
  bool assignment_ahead() const {
    std::size_t ahead = 1;
    if (!peek(ahead).is("[")) return false;
    while (peek(ahead).type != Token::Type::end && !peek(ahead).is("]")) ++ahead;
    return peek(ahead + 1).is("=");
  }

  void include() {
    next();
    const Token& file = next();
    if (file.type != Token::Type::string) fail_at(file.line, "expected a file name in quotes");
    if (file.text == "qelib1.inc") {
      libraries_ |= qelib1;
    } else if (file.text == "stdgates.inc") {
      libraries_ |= stdgates;
    } else {
      fail_at(file.line, "cannot include '" + std::string(file.text) +
                             "': korvane knows only qelib1.inc and stdgates.inc");
    }
    expect(";");
  }

  void check_new_name(const std::string& name, std::uint32_t line) const {
    if (qubit_names_.contains(name) || bit_names_.contains(name) || gates_.contains(name)) {
      fail_at(line, "'" + name + "' is already declared");
    }
  }

  std::uint32_t size_token() {
    const std::uint32_t line = peek().line;
    const std::uint64_t size = integer_token("a register size");
    if (size == 0 || size > max_qubit_index) {
      fail_at(line, "a register size must lie in [1, " + std::to_string(max_qubit_index) + "]");
    }
    return static_cast<std::uint32_t>(size);
  }

  void declare_qubits(const std::string& name, std::uint32_t size, bool single,
                      std::uint32_t line) {
    check_new_name(name, line);
    if (physical_qubits_) fail_at(line, "physical qubits ($n) and declared qubits cannot be mixed");
    if (size > max_qubit_index - qubit_count_) fail_at(line, "too many qubits");
    QubitRegister reg{name, {}, single};
    for (std::uint32_t q = 0; q < size; ++q) {
      reg.qubits.push_back(static_cast<std::uint32_t>(qubit_count_ + q));
    }
    qubit_count_ += size;
    qubit_names_[name] = layout_.qubit_registers.size();
    layout_.qubit_registers.push_back(std::move(reg));
  }

  void declare_bits(const std::string& name, std::uint32_t size, bool single, std::uint32_t line) {
    check_new_name(name, line);
    bit_names_[name] = static_cast<std::uint32_t>(layout_.bit_registers.size());
    layout_.bit_registers.push_back({name, size, single});
    bit_values_.emplace_back(size);
  }

  void old_declaration(bool quantum) {
    const std::uint32_t line = next().line;
    written_as_version_2_ = true;
    const std::string name = read_name("a register name");
    expect("[");
    const std::uint32_t size = size_token();
    expect("]");
    expect(";");
    if (quantum) {
      declare_qubits(name, size, false, line);
    } else {
      declare_bits(name, size, false, line);
    }
  }

  void declaration(bool quantum) {
    const std::uint32_t line = next().line;
    std::uint32_t size = 1;
    bool single = true;
    if (accept("[")) {
      size = size_token();
      single = false;
      expect("]");
    }
    const std::string name = read_name("a register name");
    if (peek().is("=")) fail("korvane does not initialise registers in their declaration");
    expect(";");
    if (quantum) {
      declare_qubits(name, size, single, line);
    } else {
      declare_bits(name, size, single, line);
    }
  }

  void alias() {
    const std::uint32_t line = next().line;
    const std::string name = read_name("a name");
    expect("=");
    QubitOperand operand = qubit_operand();
    while (accept("++")) {
      const QubitOperand more = qubit_operand();
      operand.qubits.insert(operand.qubits.end(), more.qubits.begin(), more.qubits.end());
    }
    expect(";");
    check_new_name(name, line);
    aliases_.push_back({name, std::move(operand.qubits), false});
    qubit_names_[name] = alias_flag | (aliases_.size() - 1);
  }

  // Operands.
  std::vector<std::uint32_t> index_list(std::uint32_t size, const std::string& name) {
    std::vector<std::uint32_t> indices;
    const std::uint32_t line = peek().line;
    const auto in_range = [&](std::uint64_t index) {
      if (index >= size) {
        fail_at(line, "index " + std::to_string(index) + " is out of range for '" + name +
                          "' of size " + std::to_string(size));
      }
      return static_cast<std::uint32_t>(index);
    };
    if (accept("{")) {
      do {
        indices.push_back(in_range(integer_token("an index")));
      } while (accept(","));
      expect("}");
    } else {
      const std::uint64_t first = peek().is(":") ? 0 : integer_token("an index");
      if (!accept(":")) {
        indices.push_back(in_range(first));
      } else {
        std::uint64_t step = 1;
        std::uint64_t last = peek().is("]") ? size - 1 : integer_token("an index");
        if (accept(":")) {
          step = last;
          last = integer_token("an index");
        }
        if (step == 0) fail_at(line, "a slice step must not be 0");
        for (std::uint64_t i = first; i <= last; i += step) indices.push_back(in_range(i));
      }
    }
    expect("]");
    return indices;
  }

  QubitOperand qubit_operand() {
    const Token& token = next();
    if (token.type != Token::Type::name) {
      fail_at(token.line, "expected a qubit, found " + shown(token));
    }
    const std::string name(token.text);
    if (name.starts_with('$')) return physical_qubit(token);
    const auto found = qubit_names_.find(name);
    if (found == qubit_names_.end()) {
      if (bit_names_.contains(name)) fail_at(token.line, "'" + name + "' is not a qubit register");
      fail_at(token.line, "unknown qubit register '" + name + "'");
    }
    const std::vector<std::uint32_t>& all = named_qubits(found->second);
    if (!accept("[")) return {all, !is_single(found->second)};
    if (is_single(found->second)) fail_at(token.line, "'" + name + "' is one qubit: no index");
    const std::vector<std::uint32_t> indices =
        index_list(static_cast<std::uint32_t>(all.size()), name);
    std::vector<std::uint32_t> qubits;
    qubits.reserve(indices.size());
    for (const std::uint32_t index : indices) qubits.push_back(all[index]);
    return {qubits, indices.size() != 1};
  }

  QubitOperand physical_qubit(const Token& token) {
    if (!layout_.qubit_registers.empty()) {
      fail_at(token.line, "physical qubits ($n) and declared qubits cannot be mixed");
    }
    std::uint64_t index = 0;
    const std::string_view digits = token.text.substr(1);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        index >= max_qubit_index) {
      fail_at(token.line, "bad physical qubit " + shown(token));
    }
    physical_qubits_ = true;
    qubit_count_ = std::max<std::size_t>(qubit_count_, index + 1);
    return {{static_cast<std::uint32_t>(index)}, false};
  }

  BitOperand bit_operand() {
    const Token& token = next();
    const std::string name(token.text);
    const auto found = bit_names_.find(name);
    if (token.type != Token::Type::name || found == bit_names_.end()) {
      fail_at(token.line, "expected a classical bit register, found " + shown(token));
    }
    const BitRegister& reg = layout_.bit_registers[found->second];
    BitOperand operand{found->second, {}, !reg.single};
    if (!accept("[")) {
      for (std::uint32_t b = 0; b < reg.size; ++b) operand.bits.push_back(b);
      return operand;
    }
    if (reg.single) fail_at(token.line, "'" + name + "' is one bit: no index");
    operand.bits = index_list(reg.size, name);
    operand.whole = operand.bits.size() != 1;
    return operand;
  }

  static constexpr std::size_t alias_flag = std::size_t{1} << 62;
  const std::vector<std::uint32_t>& named_qubits(std::size_t entry) const {
    return (entry & alias_flag) != 0 ? aliases_[entry & ~alias_flag].qubits
                                     : layout_.qubit_registers[entry].qubits;
  }
  bool is_single(std::size_t entry) const {
    return (entry & alias_flag) == 0 && layout_.qubit_registers[entry].single;
  }

  // Gate definitions.
  std::vector<std::string> name_list(const char* what, std::string_view close) {
    std::vector<std::string> names;
    if (peek().is(close)) return names;
    do {
      names.push_back(read_name(what));
    } while (accept(","));
    return names;
  }

  void gate_definition(bool opaque) {
    const std::uint32_t line = next().line;
    const std::string name = read_name("a gate name");
    if (find_intrinsic(name, libraries_ | built_in) != nullptr || gates_.contains(name)) {
      fail_at(line, "the gate '" + name + "' is already defined");
    }
    check_new_name(name, line);
    UserGate gate;
    gate.opaque = opaque;
    if (accept("(")) {
      gate.parameters = name_list("a parameter name", ")");
      expect(")");
    }
    const std::vector<std::string> qubits = name_list("a qubit argument", opaque ? ";" : "{");
    if (qubits.empty()) fail_at(line, "the gate '" + name + "' acts on no qubit");
    for (std::size_t i = 0; i < qubits.size(); ++i) {
      if (std::find(qubits.begin() + static_cast<std::ptrdiff_t>(i) + 1, qubits.end(), qubits[i]) !=
          qubits.end()) {
        fail_at(line, "the gate '" + name + "' names its argument '" + qubits[i] + "' twice");
      }
    }
    gate.qubits = qubits.size();
    if (opaque) {
      expect(";");
    } else {
      expect("{");
      while (!accept("}")) {
        if (peek().type == Token::Type::end) fail_at(line, "the gate block is never closed");
        body_step(gate, qubits);
      }
    }
    gates_[name] = std::move(gate);
  }

  std::vector<std::string_view> parameter_views(const std::vector<std::string>& names) const {
    return {names.begin(), names.end()};
  }

  void body_step(UserGate& gate, const std::vector<std::string>& qubit_names) {
    BodyStep step;
    step.line = peek().line;
    const std::vector<std::string_view> parameters = parameter_views(gate.parameters);
    if (peek().is("barrier")) {
      while (!accept(";")) next();
      return;
    }
    if (peek().is("measure") || peek().is("reset") || peek().is("if")) {
      fail("a gate block holds only gates, not '" + std::string(peek().text) + "'");
    }
    step.modifiers = read_modifiers(parameters);
    step.name = read_name("a gate");
    if (step.name == "gphase") {
      step.global_phase = true;
      expect("(");
      step.parameters.push_back(Expression::parse(tokens_, position_, parameters));
      expect(")");
      while (!accept(";")) next();
      gate.body.push_back(std::move(step));
      return;
    }
    if (accept("(")) {
      if (!peek().is(")")) {
        do {
          step.parameters.push_back(Expression::parse(tokens_, position_, parameters));
        } while (accept(","));
      }
      expect(")");
    }
    do {
      const std::string argument = read_name("a qubit argument");
      const auto found = std::find(qubit_names.begin(), qubit_names.end(), argument);
      if (found == qubit_names.end()) {
        fail_at(step.line, "'" + argument + "' is not a qubit argument of this gate");
      }
      step.qubits.push_back(static_cast<std::size_t>(found - qubit_names.begin()));
    } while (accept(","));
    expect(";");
    check_call_shape(step.name, step.parameters.size(), step.qubits.size(), step.modifiers,
                     step.line, {});
    gate.body.push_back(std::move(step));
  }

  std::vector<Modifier> read_modifiers(std::span<const std::string_view> parameters) {
    std::vector<Modifier> result;
    for (;;) {
      const Token& word = peek();
      Modifier modifier{Modifier::Type::inverse, std::nullopt};
      if (word.is("inv")) {
        modifier.type = Modifier::Type::inverse;
      } else if (word.is("pow")) {
        modifier.type = Modifier::Type::power;
      } else if (word.is("ctrl")) {
        modifier.type = Modifier::Type::control;
      } else if (word.is("negctrl")) {
        modifier.type = Modifier::Type::negative_control;
      } else {
        return result;
      }
      if (!(peek(1).is("@") || peek(1).is("("))) return result;
      next();
      if (accept("(")) {
        modifier.argument = Expression::parse(tokens_, position_, parameters);
        expect(")");
      } else if (modifier.type == Modifier::Type::power) {
        fail("pow needs its exponent: pow(k) @");
      }
      expect("@");
      result.push_back(std::move(modifier));
    }
  }

  std::vector<EvaluatedModifier> evaluate(std::span<const Modifier> modifiers,
                                          std::span<const double> values) const {
    std::vector<EvaluatedModifier> result;
    for (const Modifier& modifier : modifiers) {
      result.push_back(
          {modifier.type, modifier.argument ? modifier.argument->evaluate(values) : 1.0});
    }
    return result;
  }

  // The qubits that the modifiers add as controls.
  static std::size_t added_controls(std::span<const EvaluatedModifier> modifiers) {
    std::size_t controls = 0;
    for (const EvaluatedModifier& modifier : modifiers) {
      if (modifier.type == Modifier::Type::control ||
          modifier.type == Modifier::Type::negative_control) {
        controls += static_cast<std::size_t>(modifier.argument);
      }
    }
    return controls;
  }

  struct Callee {
    const IntrinsicGate* intrinsic = nullptr;
    const UserGate* user = nullptr;
    std::size_t qubits = 0;
    std::size_t parameters = 0;
  };

  Callee find_gate(const std::string& name, std::uint32_t line) const {
    if (const IntrinsicGate* gate = find_intrinsic(name, libraries_ | built_in)) {
      return {gate, nullptr, gate->qubits, gate->parameters};
    }
    const auto found = gates_.find(name);
    if (found != gates_.end()) {
      return {nullptr, &found->second, found->second.qubits, found->second.parameters.size()};
    }
    const Library preferred = version_ == 2 || written_as_version_2_ ? qelib1 : stdgates;
    if (const std::optional<Library> library = library_defining(name, preferred)) {
      fail_at(line, "unknown gate '" + name + "': include \"" +
                        (*library == stdgates ? "stdgates.inc" : "qelib1.inc") + "\" defines it");
    }
    fail_at(line, "unknown gate '" + name + "'");
  }

  // Checks the counts of a call; with `modifiers` evaluated, also the controls they add.
  void check_call_shape(const std::string& name, std::size_t parameters, std::size_t qubits,
                        std::span<const Modifier> written_modifiers, std::uint32_t line,
                        std::span<const EvaluatedModifier> modifiers) const {
    const Callee callee = find_gate(name, line);
    if (parameters != callee.parameters) {
      fail_at(line, "the gate '" + name + "' takes " + std::to_string(callee.parameters) +
                        " parameters, not " + std::to_string(parameters));
    }
    const bool controls_known = written_modifiers.empty() || !modifiers.empty();
    const std::size_t wanted = callee.qubits + added_controls(modifiers);
    if (controls_known && qubits != wanted) {
      fail_at(line, "the gate '" + name + "' acts on " + std::to_string(wanted) + " qubits, not " +
                        std::to_string(qubits));
    }
  }

  // Expansion of a call into circuit gates.

  // The matrix of name(values) under `modifiers` (written order, the last one nearest the gate),
  // or nothing when korvane cannot build it.
  std::optional<Unitary> dense(const std::string& name, std::span<const double> values,
                               std::span<const EvaluatedModifier> modifiers,
                               std::uint32_t line) const {
    const Callee callee = find_gate(name, line);
    if (callee.qubits + added_controls(modifiers) > largest_dense_gate) return std::nullopt;
    std::optional<Unitary> matrix;
    if (callee.intrinsic != nullptr) {
      if (callee.intrinsic->matrix == nullptr) return std::nullopt;
      matrix = callee.intrinsic->matrix(values);
    } else {
      if (callee.user->opaque) return std::nullopt;
      matrix = Unitary(callee.qubits);
      for (const BodyStep& step : callee.user->body) {
        std::vector<double> step_values;
        for (const Expression& parameter : step.parameters) {
          step_values.push_back(parameter.evaluate(values));
        }
        if (step.global_phase) {
          matrix->scale(std::polar(1.0, step_values[0]));
          continue;
        }
        const std::optional<Unitary> step_matrix =
            dense(step.name, step_values, evaluate(step.modifiers, values), step.line);
        if (!step_matrix) return std::nullopt;
        matrix->then(*step_matrix, step.qubits);
      }
    }
    // The modifier nearest the gate acts first.
    for (std::size_t m = modifiers.size(); m-- > 0;) {
      const EvaluatedModifier& modifier = modifiers[m];
      const double rounded = std::round(modifier.argument);
      const bool integral = std::abs(modifier.argument - rounded) < clifford_tolerance;
      switch (modifier.type) {
        case Modifier::Type::inverse:
          matrix = matrix->adjoint();
          break;
        case Modifier::Type::power: {
          if (!integral || std::abs(rounded) > largest_power) return std::nullopt;
          const Unitary base = rounded < 0 ? matrix->adjoint() : *matrix;
          matrix = Unitary(base.qubits());
          std::vector<std::size_t> all(base.qubits());
          for (std::size_t q = 0; q < all.size(); ++q) all[q] = q;
          for (int k = 0; k < static_cast<int>(std::abs(rounded)); ++k) matrix->then(base, all);
          break;
        }
        case Modifier::Type::control:
        case Modifier::Type::negative_control: {
          const std::vector<bool> flags(static_cast<std::size_t>(rounded),
                                        modifier.type == Modifier::Type::negative_control);
          std::array<bool, largest_dense_gate> negated{};
          std::copy(flags.begin(), flags.end(), negated.begin());
          matrix = matrix->controlled(std::span<const bool>(negated.data(), flags.size()));
          break;
        }
      }
    }
    return matrix;
  }

  // Appends the circuit gates of name(values) on `qubits`; false when some step is not Clifford.
  bool expand(const std::string& name, std::span<const double> values,
              std::span<const EvaluatedModifier> modifiers, std::span<const std::uint32_t> qubits,
              std::uint32_t line, std::vector<Op>& out) const {
    if (out.size() > most_expanded_gates) {
      fail_at(line, "the gate '" + name + "' expands to more than " +
                        std::to_string(most_expanded_gates) + " gates");
    }
    const Callee callee = find_gate(name, line);
    if (modifiers.empty() && callee.intrinsic != nullptr && callee.intrinsic->native) {
      Op op{
          *callee.intrinsic->native, {qubits[0], qubits.size() > 1 ? qubits[1] : 0}, qubits.size()};
      out.push_back(op);
      return true;
    }
    if (modifiers.empty() && callee.user != nullptr && !callee.user->opaque) {
      for (const BodyStep& step : callee.user->body) {
        if (step.global_phase) continue;
        std::vector<double> step_values;
        for (const Expression& parameter : step.parameters) {
          step_values.push_back(parameter.evaluate(values));
        }
        std::vector<std::uint32_t> step_qubits;
        for (const std::size_t argument : step.qubits) step_qubits.push_back(qubits[argument]);
        if (!expand(step.name, step_values, evaluate(step.modifiers, values), step_qubits,
                    step.line, out)) {
          return false;
        }
      }
      return true;
    }
    return append_clifford(name, values, modifiers, qubits, line, out);
  }

  // The whole of name(values) as one Clifford: built as a matrix, recognised and synthesised.
  bool append_clifford(const std::string& name, std::span<const double> values,
                       std::span<const EvaluatedModifier> modifiers,
                       std::span<const std::uint32_t> qubits, std::uint32_t line,
                       std::vector<Op>& out) const {
    const std::optional<Unitary> matrix = dense(name, values, modifiers, line);
    if (!matrix) return false;
    const std::optional<Tableau> tableau = clifford_tableau(*matrix);
    if (!tableau) return false;
    append_steps(synthesize(*tableau), qubits, out);
    return true;
  }

  void apply_gate(const std::string& name, std::span<const double> values,
                  std::span<const EvaluatedModifier> modifiers,
                  std::span<const std::uint32_t> qubits, std::uint32_t line) {
    const Callee callee = find_gate(name, line);
    if (callee.user != nullptr && callee.user->opaque) {
      fail_at(line, "the opaque gate '" + name + "' has no definition korvane can run");
    }
    std::vector<Op> ops;
    if (!expand(name, values, modifiers, qubits, line, ops)) {
      ops.clear();
      if (!append_clifford(name, values, modifiers, qubits, line, ops)) {
        const bool buildable = dense(name, values, modifiers, line).has_value();
        fail_at(line, "the gate " + call_text(name, values) +
                          (buildable ? " is not a Clifford gate: korvane simulates Clifford "
                                       "circuits, whose angles are multiples of pi/2"
                                     : " is not a Clifford gate korvane can recognise"));
      }
    }
    for (const Op& op : ops) {
      // A definition may name one of its arguments twice in a two-qubit gate of its body, which
      // no call's operands can show.
      if (op.qubit_count == 2 && op.qubits[0] == op.qubits[1]) {
        fail_at(line, "the gate '" + name + "' acts on qubit " + std::to_string(op.qubits[0]) +
                          " twice within its definition");
      }
      emit(op.gate, std::span<const std::uint32_t>(op.qubits.data(), op.qubit_count), line);
    }
  }

  // Qubits of one broadcast instance: operand j's qubit `instance` (or its only one).
  std::vector<std::vector<std::uint32_t>> broadcast(std::span<const QubitOperand> operands,
                                                    std::uint32_t line) const {
    std::size_t count = 1;
    for (const QubitOperand& operand : operands) {
      if (!operand.whole) continue;
      if (count != 1 && operand.qubits.size() != count) {
        fail_at(line, "the registers of this statement have different sizes");
      }
      count = operand.qubits.size();
    }
    std::vector<std::vector<std::uint32_t>> instances(count);
    for (std::size_t i = 0; i < count; ++i) {
      for (const QubitOperand& operand : operands) {
        instances[i].push_back(operand.whole ? operand.qubits[i] : operand.qubits[0]);
      }
      for (std::size_t a = 0; a < instances[i].size(); ++a) {
        for (std::size_t b = a + 1; b < instances[i].size(); ++b) {
          if (instances[i][a] == instances[i][b]) {
            fail_at(line, "a gate names qubit " + std::to_string(instances[i][a]) + " twice");
          }
        }
      }
    }
    return instances;
  }

  void gate_call() {
    const std::uint32_t line = peek().line;
    const std::vector<Modifier> written = read_modifiers({});
    const Token& name_token = next();
    if (name_token.type != Token::Type::name) {
      fail_at(name_token.line, "expected a statement, found " + shown(name_token));
    }
    const std::string name(name_token.text);
    std::vector<double> values;
    if (accept("(")) {
      if (!peek().is(")")) {
        do {
          values.push_back(Expression::parse(tokens_, position_, {}).evaluate({}));
        } while (accept(","));
      }
      expect(")");
    }
    std::vector<QubitOperand> operands;
    if (!peek().is(";")) {
      do {
        operands.push_back(qubit_operand());
      } while (accept(","));
    }
    expect(";");
    const std::vector<EvaluatedModifier> modifiers = evaluate(written, {});
    for (const EvaluatedModifier& modifier : modifiers) {
      const bool counts = modifier.type != Modifier::Type::inverse;
      if (counts && modifier.type != Modifier::Type::power &&
          (modifier.argument < 1 || modifier.argument != std::floor(modifier.argument))) {
        fail_at(line, "ctrl and negctrl take a positive whole number of controls");
      }
    }
    check_call_shape(name, values.size(), operands.size(), written, line, modifiers);
    for (const std::vector<std::uint32_t>& qubits : broadcast(operands, line)) {
      apply_gate(name, values, modifiers, qubits, line);
    }
  }

  void top_level_global_phase() {
    next();
    expect("(");
    Expression::parse(tokens_, position_, {});
    expect(")");
    while (!peek().is(";") && peek().type != Token::Type::end) next();
    expect(";");
  }

  // Measurements, resets, barriers.
  void measure_into(const QubitOperand& qubits, const std::optional<BitOperand>& bits,
                    std::uint32_t line) {
    if (under_if_ != 0) fail_at(line, "a measurement under if() is not supported");
    if (bits && bits->bits.size() != qubits.qubits.size()) {
      fail_at(line, "the measured qubits and the bits that receive them differ in number");
    }
    if (suppressed_) return;
    for (std::size_t i = 0; i < qubits.qubits.size(); ++i) {
      const std::uint64_t record = builder_.recorded() + pending_measurements();
      emit(gate_named("M"), std::span<const std::uint32_t>(&qubits.qubits[i], 1), line);
      if (bits) {
        bit_values_[bits->reg][bits->bits[i]] = record;
        layout_.record_places.push_back({bits->reg, bits->bits[i]});
      } else {
        layout_.record_places.push_back({});
      }
    }
  }

  std::uint64_t pending_measurements() const {
    return pending_.gate == gate_named("M") ? pending_.targets.size() : 0;
  }

  void measure_statement() {
    const std::uint32_t line = next().line;
    const QubitOperand qubits = qubit_operand();
    std::optional<BitOperand> bits;
    if (accept("->")) bits = bit_operand();
    expect(";");
    measure_into(qubits, bits, line);
  }

  void measure_assignment() {
    const std::uint32_t line = peek().line;
    const BitOperand bits = bit_operand();
    expect("=");
    if (!accept("measure")) fail("korvane assigns to bits only the result of measure");
    const QubitOperand qubits = qubit_operand();
    expect(";");
    measure_into(qubits, bits, line);
  }

  void reset_statement() {
    const std::uint32_t line = next().line;
    const QubitOperand qubits = qubit_operand();
    expect(";");
    if (suppressed_) return;
    for (const std::uint32_t q : qubits.qubits) {
      emit(gate_named("R"), std::span<const std::uint32_t>(&q, 1), line);
    }
  }

  void barrier_statement() {
    const std::uint32_t line = next().line;
    while (!peek().is(";")) {
      qubit_operand();
      if (!accept(",")) break;
    }
    expect(";");
    if (!suppressed_ && !in_condition_) emit(gate_named("TICK"), {}, line);
  }

  // Conditions.
  struct ConditionText {
    BitOperand bits;
    std::uint64_t value = 1;
    bool not_equal = false;
  };

  ConditionText condition_text() {
    ConditionText condition;
    condition.not_equal = accept("!");
    condition.bits = bit_operand();
    if (accept("!=")) {
      condition.not_equal = !condition.not_equal;
    } else if (!accept("==")) {
      if (condition.bits.bits.size() != 1) fail("compare a register with a value: if (c == 1)");
      return condition;
    }
    if (accept("true")) {
      condition.value = 1;
    } else if (accept("false")) {
      condition.value = 0;
    } else {
      condition.value = integer_token("a value to compare with");
    }
    return condition;
  }

  void if_statement() {
    const std::uint32_t line = next().line;
    expect("(");
    const ConditionText written = condition_text();
    expect(")");
    // The bits that the value rests on now, and what each must be.
    std::vector<ExpectedBit> bits;
    bool never = false;
    for (std::size_t i = 0; i < written.bits.bits.size(); ++i) {
      const bool expected = i < 64 && ((written.value >> i) & 1U) != 0;
      const std::optional<std::uint64_t> record =
          bit_values_[written.bits.reg][written.bits.bits[i]];
      if (!record) {
        never = never || expected;
      } else {
        bits.push_back({*record, expected});
      }
    }
    if (written.bits.bits.size() < 64 && (written.value >> written.bits.bits.size()) != 0) {
      never = true;
    }
    const bool dynamic = !never && !bits.empty();
    const bool holds = never ? written.not_equal : !written.not_equal;
    if (dynamic && in_condition_) fail_at(line, "nested if() is not supported");
    const auto branch = [&](bool negated, bool statically_holds) {
      if (dynamic) {
        flush();
        builder_.begin_condition(bits, negated, line);
        WrittenCondition condition{written.bits.reg, std::nullopt, written.value, negated};
        if (!written.bits.whole) condition.bit = written.bits.bits[0];
        layout_.conditions.push_back(condition);
        in_condition_ = true;
        conditional_statement();
        flush();
        in_condition_ = false;
        builder_.end_condition();
      } else {
        const bool was_suppressed = suppressed_;
        suppressed_ = suppressed_ || !statically_holds;
        conditional_statement();
        suppressed_ = was_suppressed;
      }
    };
    branch(written.not_equal, holds);
    if (accept("else")) branch(!written.not_equal, !holds);
  }

  void conditional_statement() {
    ++under_if_;
    conditional_body();
    --under_if_;
  }

  void conditional_body() {
    if (!accept("{")) {
      statement();
      return;
    }
    const std::uint32_t line = previous().line;
    while (!accept("}")) {
      if (peek().type == Token::Type::end) fail_at(line, "the block opened here is never closed");
      if (peek().is("gate") || peek().is("qreg") || peek().is("creg") || peek().is("qubit") ||
          peek().is("bit")) {
        fail("declarations stand only at the top level");
      }
      statement();
    }
  }

  // Output, with consecutive instructions of one gate from one line gathered into one.
  void emit(GateId gate, std::span<const std::uint32_t> targets, std::uint32_t line) {
    if (suppressed_) return;
    if (pending_.gate != gate || pending_.line != line || !pending_.open) flush();
    pending_.open = true;
    pending_.gate = gate;
    pending_.line = line;
    pending_.targets.insert(pending_.targets.end(), targets.begin(), targets.end());
  }

  void flush() {
    if (!pending_.open) return;
    builder_.add(pending_.gate, pending_.targets, pending_.line);
    pending_.open = false;
    pending_.targets.clear();
  }

  struct Pending {
    bool open = false;
    GateId gate = gate_named("I");
    std::uint32_t line = 0;
    std::vector<std::uint32_t> targets;
  };

  std::vector<Token> tokens_;
  std::size_t position_ = 0;
  std::uint8_t version_ = 3;
  std::uint8_t libraries_ = built_in;
  std::map<std::string, std::size_t> qubit_names_;  // register index, or alias_flag | alias
  std::vector<QubitRegister> aliases_;
  std::map<std::string, std::uint32_t> bit_names_;
  std::vector<std::vector<std::optional<std::uint64_t>>> bit_values_;  // each bit's last record
  std::map<std::string, UserGate> gates_;
  std::size_t qubit_count_ = 0;
  bool physical_qubits_ = false;
  bool written_as_version_2_ = false;  // declares qreg or creg
  bool in_condition_ = false;          // inside the body of a condition left to the run
  bool suppressed_ = false;            // inside a body that never runs
  int under_if_ = 0;                   // depth of if() bodies, whether they run or not
  RegisterLayout layout_;
  ProgramBuilder builder_;
  Pending pending_;
};

}  // namespace

QasmCircuit read_qasm(std::string_view text) { return Reader(text).run(); }

}  // namespace korvane::circuit::qasm
