#include "parser.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "../../engine/base.h"
#include "../pauli_products.h"
#include "number_text.h"
#include "quoted_text.h"

namespace korvane::circuit {
namespace {

// Measurements, detectors and REPEAT counts beyond this are refused, so that every count and
// every array size derived from them stays far from overflow.
constexpr std::uint64_t largest_count = std::uint64_t{1} << 62;
// Sums of probabilities may exceed 1 by this much, for rounding in the written decimals.
constexpr double probability_slack = 1e-12;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool is_name_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool is_digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string number_text(double value) {
  std::array<char, 32> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return {buffer.data(), written.ptr};
}

// A target as written.
struct Target {
  enum class Type : std::uint8_t { qubit, inverted, record, factor, bit };
  Type type;
  std::uint32_t value;  // the qubit, k of rec[-k], a factor's entry (program.h), or the bit
  std::string_view text;
};

bool is_pauli_letter(char c) {
  return std::string_view("XYZxyz").find(c) != std::string_view::npos;
}

// Splits a line into whitespace-separated tokens.
class Tokens {
 public:
  explicit Tokens(std::string_view line) : line_(line) {}

  bool at_end() {
    skip_space();
    return position_ == line_.size();
  }
  char peek() const { return position_ < line_.size() ? line_[position_] : '\0'; }
  std::string_view next() {
    skip_space();
    const std::size_t start = position_;
    while (position_ < line_.size() && !is_space(line_[position_])) ++position_;
    return line_.substr(start, position_ - start);
  }
  std::string_view name() {
    skip_space();
    const std::size_t start = position_;
    while (position_ < line_.size() && is_name_char(line_[position_])) ++position_;
    return line_.substr(start, position_ - start);
  }
  // The text up to the next ')' after the current '(' (both consumed); false without a ')'.
  bool parenthesized(std::string_view& inside) {
    const std::size_t close = line_.find(')', position_);
    if (close == std::string_view::npos) return false;
    inside = line_.substr(position_ + 1, close - position_ - 1);
    position_ = close + 1;
    return true;
  }

 private:
  void skip_space() {
    while (position_ < line_.size() && is_space(line_[position_])) ++position_;
  }

  std::string_view line_;
  std::size_t position_ = 0;
};

class Parser {
 public:
  Program run(std::string_view text) {
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      line_ = line_ == std::numeric_limits<std::uint32_t>::max() ? line_ : line_ + 1;
      parse_line(text.substr(start, end - start));
      start = end + 1;
    }
    if (!blocks_.empty()) {
      fail_at(blocks_.back().line, "the REPEAT block opened here is never closed by a '}'");
    }
    program_.num_measurements = measurements_;
    program_.num_detectors = detectors_;
    program_.operations = operations_;
    return std::move(program_);
  }

 private:
  struct OpenBlock {
    std::size_t repeat_index;
    std::uint32_t line;
    std::uint64_t measurements;
    std::uint64_t detectors;
    std::uint64_t operations;
  };

  [[noreturn]] static void fail_at(std::uint32_t line, const std::string& message) {
    throw engine::InvalidInput("line " + std::to_string(line) + ": " + message);
  }
  [[noreturn]] void fail(const std::string& message) const { fail_at(line_, message); }

  void parse_line(std::string_view line) {
    line = line.substr(0, line.find('#'));
    Tokens tokens(line);
    if (tokens.at_end()) return;
    if (tokens.peek() == '}') {
      close_blocks(tokens);
      return;
    }
    const std::string_view name = tokens.name();
    if (name.empty()) fail("expected an instruction name, found " + quoted(tokens.next()));
    gate_ = look_up(name);
    numbers_.clear();
    const bool parenthesized = tokens.peek() == '(';
    if (parenthesized) read_numbers(tokens);
    if (tokens.peek() != '\0' && !is_space(tokens.peek())) {
      fail("unexpected " + quoted(tokens.next()) + " after " + std::string(name) +
           (parenthesized ? "(...)" : ""));
    }
    if (gate_of(gate_).kind == Kind::repeat) {
      open_block(tokens, parenthesized);
      return;
    }
    check_arguments(parenthesized);
    if (gate_of(gate_).targets == Targets::pauli_products) {
      read_products(tokens);
    } else {
      read_targets(tokens);
    }
    emit();
    close_blocks(tokens);
  }

  GateId look_up(std::string_view name) const {
    const std::optional<GateId> gate = find_gate(name);
    if (!gate) fail("unknown instruction " + quoted(name));
    return *gate;
  }

  std::string gate_name() const { return std::string(gate_of(gate_).name); }

  void read_numbers(Tokens& tokens) {
    std::string_view inside;
    if (!tokens.parenthesized(inside)) fail("the '(' after " + gate_name() + " is never closed");
    std::string_view bad;
    const NumberFault fault = read_number_list(inside, numbers_, bad);
    if (fault == NumberFault::too_large) {
      fail("the number " + quoted(bad) + " in the arguments of " + gate_name() + " is too large");
    }
    if (fault == NumberFault::malformed) {
      fail("bad number " + quoted(bad) + " in the arguments of " + gate_name());
    }
  }

  void check_probability(double value) const {
    if (!(value >= 0.0 && value <= 1.0)) {
      fail("the probability " + number_text(value) + " of " + gate_name() + " is outside [0, 1]");
    }
  }

  void expect_argument_count(std::size_t count) const {
    if (numbers_.size() != count) {
      fail(gate_name() + " takes " + std::to_string(count) + " argument" + (count == 1 ? "" : "s") +
           ", not " + std::to_string(numbers_.size()));
    }
  }

  void check_arguments(bool parenthesized) const {
    const Gate& gate = gate_of(gate_);
    switch (gate.arguments) {
      case Arguments::none:
        if (parenthesized) fail(gate_name() + " takes no arguments");
        return;
      case Arguments::optional_probability:
        if (numbers_.size() > 1) expect_argument_count(1);
        for (const double p : numbers_) check_probability(p);
        return;
      case Arguments::probabilities:
      case Arguments::any_probabilities: {
        if (gate.arguments == Arguments::probabilities) {
          expect_argument_count(gate.channel.argument_count());
        }
        double sum = 0.0;
        for (const double p : numbers_) {
          check_probability(p);
          sum += p;
        }
        if (sum > 1.0 + probability_slack) {
          fail("the probabilities of " + gate_name() + " sum to " + number_text(sum) + ", above 1");
        }
        return;
      }
      case Arguments::coordinates:
        return;
      case Arguments::observable_index: {
        expect_argument_count(1);
        const double index = numbers_[0];
        if (!(index >= 0.0 && index < static_cast<double>(no_channel)) ||
            index != std::floor(index)) {
          fail("the observable index " + number_text(index) +
               " is not an integer in [0, 4294967295)");
        }
        return;
      }
    }
  }

  std::uint32_t read_index(std::string_view digits, std::string_view token,
                           std::uint32_t largest) const {
    if (!is_digits(digits)) fail("unrecognised target " + quoted(token));
    const std::optional<std::uint64_t> value = decimal_value(digits, largest);
    if (!value) {
      fail("the number in " + quoted(token) + " is too large (at most " + std::to_string(largest) +
           ")");
    }
    return static_cast<std::uint32_t>(*value);
  }

  Target read_target(std::string_view token) const {
    if (token.front() == '!') {
      return {Target::Type::inverted, read_index(token.substr(1), token, max_qubit_index), token};
    }
    constexpr std::string_view record_start = "rec[-";
    if (token.starts_with(record_start) && token.ends_with(']')) {
      const std::string_view digits =
          token.substr(record_start.size(), token.size() - record_start.size() - 1);
      const std::uint32_t k = read_index(digits, token, max_lookback);
      if (k == 0) fail(quoted(token) + " names no measurement: k in rec[-k] starts at 1");
      return {Target::Type::record, k, token};
    }
    return {Target::Type::qubit, read_index(token, token, max_qubit_index), token};
  }

  void read_targets(Tokens& tokens) {
    targets_.clear();
    while (!tokens.at_end() && tokens.peek() != '}') {
      const std::string_view token = tokens.next();
      if (token == "{") fail("only REPEAT opens a block with '{'");
      targets_.push_back(read_target(token));
    }
  }

  // Products of Pauli targets: X0*!Y1 Z2, with '*' inside a token or standing on its own.
  void read_products(Tokens& tokens) {
    targets_.clear();
    bool joining = false;  // a '*' waits for the factor after it
    while (!tokens.at_end() && tokens.peek() != '}') {
      const std::string_view token = tokens.next();
      std::size_t start = 0;
      while (start <= token.size()) {
        const std::size_t star = std::min(token.find('*', start), token.size());
        const std::string_view piece = token.substr(start, star - start);
        if (!piece.empty()) {
          targets_.push_back(read_factor(piece, token));
          joining = false;
        }
        if (star == token.size()) break;
        if (joining || targets_.empty()) misplaced_star(token);
        targets_.back().value |= joined_flag;
        joining = true;
        start = star + 1;
      }
    }
    if (joining) misplaced_star(targets_.back().text);
  }

  [[noreturn]] void misplaced_star(std::string_view token) const {
    fail(gate_name() + " has a '*' that does not stand between two Pauli targets, at " +
         quoted(token));
  }

  Target read_factor(std::string_view piece, std::string_view token) const {
    const bool inverted = piece.front() == '!';
    const std::string_view rest = piece.substr(inverted ? 1 : 0);
    if (rest.empty() || !is_pauli_letter(rest.front())) {
      fail(gate_name() +
           " takes Pauli targets such as X0, Y1 or !Z2, joined into products by '*', " + "not " +
           quoted(piece));
    }
    const Axis axis = upper_case(rest.front()) == 'X'   ? Axis::X
                      : upper_case(rest.front()) == 'Y' ? Axis::Y
                                                        : Axis::Z;
    const std::uint32_t qubit = read_index(rest.substr(1), token, max_factor_qubit);
    return {Target::Type::factor, factor_entry(qubit, axis, inverted, false), piece};
  }

  // A measured pair's targets as factors of the gate's axis, each pair one product.
  void pairs_to_factors() {
    const Axis axis = gate_of(gate_).axis;
    for (std::size_t i = 0; i < targets_.size(); ++i) {
      Target& target = targets_[i];
      if (target.value > max_factor_qubit) {
        fail("the qubit in " + quoted(target.text) + " is too large for " + gate_name() +
             " (at most " + std::to_string(max_factor_qubit) + ")");
      }
      target = {Target::Type::factor,
                factor_entry(target.value, axis, target.type == Target::Type::inverted, i % 2 == 0),
                target.text};
    }
  }

  void read_bits() {
    for (Target& target : targets_) {
      if (target.type != Target::Type::qubit || target.value > 1) {
        fail(gate_name() + " takes the bits 0 and 1 as targets, not " + quoted(target.text));
      }
      target.type = Target::Type::bit;
    }
  }

  // The refusal for a target of the wrong type.
  [[noreturn]] void wrong_target(const Target& target) const {
    switch (target.type) {
      case Target::Type::qubit:
        fail(gate_name() + " takes rec[-k] targets, not the qubit " + quoted(target.text));
      case Target::Type::inverted:
        fail(gate_name() + " cannot take the inverted target " + quoted(target.text) +
             ": only measurements do");
      case Target::Type::record:
        fail(gate_name() + " takes qubit targets, not " + quoted(target.text));
      case Target::Type::factor:
      case Target::Type::bit:
        break;
    }
    fail("unrecognised target " + quoted(target.text));
  }

  void expect_types(bool qubits, bool inverted, bool records) const {
    for (const Target& target : targets_) {
      const bool allowed = (target.type == Target::Type::qubit && qubits) ||
                           (target.type == Target::Type::inverted && inverted) ||
                           (target.type == Target::Type::record && records);
      if (!allowed) wrong_target(target);
    }
  }

  void expect_some_targets() const {
    if (targets_.empty()) fail(gate_name() + " needs at least one target");
  }

  void expect_pairs() const {
    expect_some_targets();
    if (targets_.size() % 2 != 0) {
      fail(gate_name() + " acts on pairs of targets, but has an odd number (" +
           std::to_string(targets_.size()) + ")");
    }
    for (std::size_t i = 0; i < targets_.size(); i += 2) {
      const Target& a = targets_[i];
      const Target& b = targets_[i + 1];
      if (a.type != Target::Type::record && b.type != Target::Type::record && a.value == b.value) {
        fail(gate_name() + " " + std::string(a.text) + " " + std::string(b.text) +
             " acts on one qubit twice");
      }
    }
  }

  void check_lookback(const Target& target) {
    if (target.value > measurements_) {
      fail(quoted(target.text) + " reaches before the first measurement (" +
           std::to_string(measurements_) + " recorded so far)");
    }
    program_.deepest_lookback = std::max(program_.deepest_lookback, target.value);
  }

  void note_qubit(std::uint32_t qubit) {
    program_.num_qubits = std::max<std::size_t>(program_.num_qubits, std::size_t{qubit} + 1);
  }

  static std::uint64_t add_checked(std::uint64_t total, std::uint64_t more) {
    return std::min(largest_count + 1, total + std::min(more, largest_count + 1));
  }

  void count_measurements(std::uint64_t count) {
    measurements_ = add_checked(measurements_, count);
    if (measurements_ > largest_count) fail("the circuit records more than 2^62 measurements");
  }

  std::uint32_t add_channel(std::span<const double> probabilities) {
    program_.channels.push_back(PauliChannel::from_probabilities(probabilities));
    return static_cast<std::uint32_t>(program_.channels.size() - 1);
  }

  // A measurement's flip, when it has a probability.
  std::uint32_t flip_channel() { return numbers_.empty() ? no_channel : add_channel(numbers_); }

  std::uint32_t noise_channel() {
    const Channel& channel = gate_of(gate_).channel;
    const std::array<double, PauliChannel::max_outcomes> each =
        channel.outcome_probabilities(numbers_);
    return add_channel(std::span(each).first(channel.outcomes));
  }

  void emit() {
    const Gate& gate = gate_of(gate_);
    std::uint32_t detail = 0;
    switch (gate.targets) {
      case Targets::qubits:
        expect_some_targets();
        expect_types(true, false, false);
        break;
      case Targets::measured_qubits:
        expect_some_targets();
        expect_types(true, true, false);
        count_measurements(targets_.size());
        detail = flip_channel();
        break;
      case Targets::qubit_pairs:
        expect_pairs();
        if (gate.record_operand != RecordOperand::none) {
          emit_controlled_with_feedback();
          return;
        }
        expect_types(true, false, false);
        break;
      case Targets::records:
        expect_types(false, false, true);
        for (const Target& target : targets_) check_lookback(target);
        if (gate.kind == Kind::detector) detectors_ = add_checked(detectors_, 1);
        if (gate.kind == Kind::observable) {
          detail = static_cast<std::uint32_t>(numbers_[0]);
          program_.num_observables =
              std::max<std::uint64_t>(program_.num_observables, std::uint64_t{detail} + 1);
        }
        break;
      case Targets::optional_qubits:
        expect_types(true, false, false);
        break;
      case Targets::none:
        if (!targets_.empty()) fail(gate_name() + " takes no targets");
        break;
      case Targets::repeat_count:
        break;
      case Targets::pauli_products:
        expect_some_targets();
        if (gate.kind == Kind::measure_product) {
          count_measurements(static_cast<std::uint64_t>(std::count_if(
              targets_.begin(), targets_.end(),
              [](const Target& target) { return (target.value & joined_flag) == 0; })));
          detail = flip_channel();
        }
        break;
      case Targets::measured_pairs:
        expect_pairs();
        expect_types(true, true, false);
        pairs_to_factors();
        count_measurements(targets_.size() / 2);
        detail = flip_channel();
        break;
      case Targets::bits:
        expect_some_targets();
        read_bits();
        count_measurements(targets_.size());
        detail = flip_channel();
        break;
    }
    if (gate.kind == Kind::heralded_noise) count_measurements(targets_.size());
    if (gate.kind == Kind::pauli_noise || gate.kind == Kind::pair_noise ||
        gate.kind == Kind::heralded_noise) {
      detail = noise_channel();
    }
    push_instruction(gate.kind, 0, targets_.size(), detail);
  }

  // A gate that takes recorded bits (CX, CY, CZ): runs of quantum pairs and of classically
  // controlled pairs become separate instructions; a feedback pair is stored as (k, qubit)
  // whichever side the record was on.
  void emit_controlled_with_feedback() {
    std::size_t run_start = 0;
    Kind run_kind = Kind::controlled;
    for (std::size_t i = 0; i < targets_.size(); i += 2) {
      Target& control = targets_[i];
      Target& target = targets_[i + 1];
      const bool classical =
          control.type == Target::Type::record || target.type == Target::Type::record;
      if (control.type == Target::Type::inverted) wrong_target(control);
      if (target.type == Target::Type::inverted) wrong_target(target);
      if (control.type == Target::Type::record && target.type == Target::Type::record) {
        fail(gate_name() + " " + std::string(control.text) + " " + std::string(target.text) +
             ": a classically controlled Pauli needs a qubit to act on");
      }
      if (target.type == Target::Type::record) {
        if (gate_of(gate_).record_operand != RecordOperand::either) {
          fail(gate_name() +
               " takes a measurement record only as its control (first of a pair), "
               "not " +
               quoted(target.text));
        }
        std::swap(control, target);
      }
      if (classical) check_lookback(control);
      const Kind kind = classical ? Kind::feedback : Kind::controlled;
      if (i != 0 && kind != run_kind) {
        push_instruction(run_kind, run_start, i - run_start, 0);
        run_start = i;
      }
      run_kind = kind;
    }
    push_instruction(run_kind, run_start, targets_.size() - run_start, 0);
  }

  void push_instruction(Kind kind, std::size_t first_target, std::size_t target_count,
                        std::uint32_t detail) {
    constexpr std::size_t entry_limit = std::numeric_limits<std::uint32_t>::max();
    if (program_.targets.size() + target_count > entry_limit ||
        program_.arguments.size() + numbers_.size() > entry_limit) {
      fail("the circuit has more than 2^32 targets or arguments");
    }
    Instruction instruction{gate_, kind};
    instruction.first = static_cast<std::uint32_t>(program_.targets.size());
    instruction.count = static_cast<std::uint32_t>(target_count);
    instruction.first_argument = static_cast<std::uint32_t>(program_.arguments.size());
    instruction.argument_count = static_cast<std::uint32_t>(numbers_.size());
    instruction.detail = detail;
    for (std::size_t i = first_target; i < first_target + target_count; ++i) {
      const Target& target = targets_[i];
      if (target.type == Target::Type::qubit || target.type == Target::Type::inverted) {
        note_qubit(target.value);
      }
      if (target.type == Target::Type::factor) note_qubit(factor_qubit(target.value));
      program_.targets.push_back(
          target.type == Target::Type::inverted ? target.value | inverted_flag : target.value);
    }
    program_.arguments.insert(program_.arguments.end(), numbers_.begin(), numbers_.end());
    program_.instructions.push_back(instruction);
    program_.lines.push_back(line_);
    operations_ = add_checked(operations_, std::max<std::size_t>(target_count, 1));
  }

  void open_block(Tokens& tokens, bool parenthesized) {
    if (parenthesized) fail("REPEAT takes no arguments");
    const std::string_view count_text = tokens.next();
    if (count_text.empty() || count_text == "{") fail("REPEAT needs a count: REPEAT N {");
    if (!is_digits(count_text)) fail("bad REPEAT count " + quoted(count_text));
    const std::optional<std::uint64_t> read = decimal_value(count_text, largest_count);
    if (!read) {
      fail("the REPEAT count " + quoted(count_text) + " is too large (at most 2^62)");
    }
    const std::uint64_t count = *read;
    if (count == 0) fail("REPEAT 0: a block must be repeated at least once");
    if (tokens.next() != "{") fail("expected '{' after REPEAT " + std::string(count_text));
    if (!tokens.at_end()) fail("nothing may follow the '{' of a REPEAT on its line");
    program_.repeat_counts.push_back(count);
    targets_.clear();
    numbers_.clear();
    push_instruction(Kind::repeat, 0, 0,
                     static_cast<std::uint32_t>(program_.repeat_counts.size() - 1));
    blocks_.push_back(
        {program_.instructions.size() - 1, line_, measurements_, detectors_, operations_});
    program_.deepest_nesting = std::max(program_.deepest_nesting, blocks_.size());
  }

  // The '}' tokens that end a line, each closing the innermost block.
  void close_blocks(Tokens& tokens) {
    while (!tokens.at_end()) {
      const std::string_view token = tokens.next();
      if (token != "}") fail("unexpected " + quoted(token) + " after '}'");
      if (blocks_.empty()) fail("'}' closes no REPEAT block");
      close_block();
    }
  }

  // Scales what the body added by the repetition count.
  static std::uint64_t repeated(std::uint64_t before, std::uint64_t after, std::uint64_t times,
                                bool& too_many) {
    const std::uint64_t body = after - before;
    if (body != 0 && times > (largest_count - before) / body) {
      too_many = true;
      return largest_count + 1;
    }
    return before + body * times;
  }

  void close_block() {
    const OpenBlock block = blocks_.back();
    blocks_.pop_back();
    Instruction& repeat = program_.instructions[block.repeat_index];
    const std::size_t body = program_.instructions.size() - block.repeat_index - 1;
    if (body > std::numeric_limits<std::uint32_t>::max()) {
      fail_at(block.line, "the REPEAT block holds more than 2^32 instructions");
    }
    repeat.count = static_cast<std::uint32_t>(body);
    const std::uint64_t times = program_.repeat_counts[repeat.detail];
    bool too_many = false;
    measurements_ = repeated(block.measurements, measurements_, times, too_many);
    detectors_ = repeated(block.detectors, detectors_, times, too_many);
    if (too_many) {
      fail_at(block.line,
              "the REPEAT block makes the circuit record more than 2^62 measurements or detectors");
    }
    bool saturated = false;
    operations_ = repeated(block.operations, operations_, times, saturated);
  }

  Program program_;
  std::vector<OpenBlock> blocks_;
  std::uint64_t measurements_ = 0;  // so far, counting the first pass through open blocks
  std::uint64_t detectors_ = 0;
  std::uint64_t operations_ = 0;
  std::uint32_t line_ = 0;
  // The instruction being read.
  GateId gate_ = 0;
  std::vector<double> numbers_;
  std::vector<Target> targets_;
};

}  // namespace

Program parse_circuit(std::string_view text) { return Parser().run(text); }

}  // namespace korvane::circuit
