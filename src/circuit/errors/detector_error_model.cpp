#include "detector_error_model.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <system_error>

#include "../../engine/base.h"
#include "../text/number_text.h"
#include "../text/quoted_text.h"

namespace korvane::circuit {
namespace {

constexpr std::uint64_t saturated = std::numeric_limits<std::uint64_t>::max();

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
  return a > saturated - b ? saturated : a + b;
}

std::uint64_t saturating_multiply(std::uint64_t a, std::uint64_t b) {
  return a != 0 && b > saturated / a ? saturated : a * b;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

char lower_case(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

struct NamedKind {
  std::string_view name;
  DemKind kind;
};

constexpr std::array<NamedKind, 5> kind_names{{
    {"error", DemKind::error},
    {"detector", DemKind::detector},
    {"logical_observable", DemKind::logical_observable},
    {"shift_detectors", DemKind::shift_detectors},
    {"repeat", DemKind::repeat},
}};

std::string_view name_of(DemKind kind) { return kind_names[static_cast<std::size_t>(kind)].name; }

class ModelParser {
 public:
  DetectorErrorModel run(std::string_view text) {
    blocks_.push_back(&model_.instructions);
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      ++line_;
      parse_line(text.substr(start, end - start));
      start = end + 1;
    }
    if (blocks_.size() > 1) {
      fail_at(open_lines_.back(), "the repeat block opened here is never closed");
    }
    blocks_.clear();
    return std::move(model_);
  }

 private:
  [[noreturn]] static void fail_at(std::uint64_t line, const std::string& message) {
    throw engine::InvalidInput("line " + std::to_string(line) + ": " + message);
  }
  [[noreturn]] void fail(const std::string& message) const { fail_at(line_, message); }

  void skip_space() {
    while (position_ < text_.size() && is_space(text_[position_])) ++position_;
  }
  bool at_end() {
    skip_space();
    return position_ == text_.size();
  }
  std::string_view token() {
    skip_space();
    const std::size_t start = position_;
    while (position_ < text_.size() && !is_space(text_[position_])) ++position_;
    return text_.substr(start, position_ - start);
  }

  void parse_line(std::string_view line) {
    text_ = line.substr(0, line.find('#'));
    position_ = 0;
    if (at_end()) return;
    if (text_[position_] == '}') {
      ++position_;
      if (blocks_.size() == 1) fail("a '}' closes no repeat block");
      blocks_.pop_back();
      open_lines_.pop_back();
      if (!at_end()) fail("unexpected " + quoted(token()) + " after '}'");
      return;
    }
    const std::size_t name_start = position_;
    while (position_ < text_.size() &&
           (std::isalnum(static_cast<unsigned char>(text_[position_])) != 0 ||
            text_[position_] == '_')) {
      ++position_;
    }
    std::string name(text_.substr(name_start, position_ - name_start));
    std::transform(name.begin(), name.end(), name.begin(), lower_case);
    const auto found = std::find_if(kind_names.begin(), kind_names.end(),
                                    [&](const NamedKind& entry) { return entry.name == name; });
    if (name.empty() || found == kind_names.end()) {
      fail("unknown instruction " + quoted(token()));
    }
    DemInstruction instruction;
    instruction.kind = found->kind;
    if (position_ < text_.size() && text_[position_] == '[') skip_tag();
    if (position_ < text_.size() && text_[position_] == '(') read_arguments(instruction);
    if (position_ < text_.size() && !is_space(text_[position_])) {
      fail("unexpected " + quoted(token()) + " after " + name);
    }
    read_targets(instruction);
    check(instruction);
    std::vector<DemInstruction>& block = *blocks_.back();
    block.push_back(std::move(instruction));
    if (block.back().kind == DemKind::repeat) {
      blocks_.push_back(&block.back().body);
      open_lines_.push_back(line_);
    }
  }

  // A tag carries no meaning; it is read past (`\C` stands for ']').
  void skip_tag() {
    const std::size_t close = text_.find(']', position_);
    if (close == std::string_view::npos) fail("the '[' of a tag is never closed");
    position_ = close + 1;
  }

  void read_arguments(DemInstruction& instruction) {
    const std::size_t close = text_.find(')', position_);
    if (close == std::string_view::npos) fail("the '(' is never closed");
    const std::string_view inside = text_.substr(position_ + 1, close - position_ - 1);
    position_ = close + 1;
    std::string_view bad;
    const NumberFault fault = read_number_list(inside, instruction.arguments, bad);
    if (fault == NumberFault::too_large) fail("the number " + quoted(bad) + " is too large");
    if (fault == NumberFault::malformed) fail("bad number " + quoted(bad));
  }

  std::uint64_t read_index(std::string_view digits, std::string_view written) const {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        value >= largest_detector_index) {
      fail("bad target " + quoted(written));
    }
    return value;
  }

  void read_targets(DemInstruction& instruction) {
    const bool numeric =
        instruction.kind == DemKind::shift_detectors || instruction.kind == DemKind::repeat;
    bool opened = false;
    bool counted = false;
    while (!at_end()) {
      const std::string_view written = token();
      if (opened) fail("unexpected " + quoted(written) + " after '{'");
      if (instruction.kind == DemKind::repeat && written == "{") {
        opened = true;
      } else if (written == "^") {
        instruction.targets.push_back(separator_target);
      } else if (!numeric && (written[0] == 'D' || written[0] == 'd')) {
        instruction.targets.push_back(read_index(written.substr(1), written));
      } else if (!numeric && (written[0] == 'L' || written[0] == 'l')) {
        instruction.targets.push_back(observable_flag | read_index(written.substr(1), written));
      } else if (numeric && !counted) {
        instruction.count = read_index(written, written);
        counted = true;
      } else {
        fail("unexpected target " + quoted(written) + " of " +
             std::string(name_of(instruction.kind)));
      }
    }
    if (numeric && (!counted || !instruction.targets.empty())) {
      fail(std::string(name_of(instruction.kind)) + " takes exactly one number");
    }
    if (instruction.kind == DemKind::repeat && !opened) fail("a repeat line must end in '{'");
  }

  void expect(bool condition, const std::string& message) const {
    if (!condition) fail(message);
  }

  void check(const DemInstruction& instruction) const {
    const std::vector<DemTarget>& targets = instruction.targets;
    const auto all = [&](auto&& predicate) {
      return std::all_of(targets.begin(), targets.end(), predicate);
    };
    switch (instruction.kind) {
      case DemKind::error: {
        expect(instruction.arguments.size() == 1, "error takes exactly one probability");
        const double p = instruction.arguments[0];
        expect(p >= 0.0 && p <= 1.0, "the probability of an error is outside [0, 1]");
        for (std::size_t i = 0; i < targets.size(); ++i) {
          if (targets[i] != separator_target) continue;
          expect(i != 0 && i + 1 != targets.size() && targets[i + 1] != separator_target,
                 "a '^' must stand between two parts of an error");
        }
        return;
      }
      case DemKind::detector:
        expect(!targets.empty() && all([](DemTarget t) { return is_detector(t); }),
               "detector takes detector targets (D<k>)");
        return;
      case DemKind::logical_observable:
        expect(instruction.arguments.empty(), "logical_observable takes no arguments");
        expect(!targets.empty() && all([](DemTarget t) { return is_observable(t); }),
               "logical_observable takes observable targets (L<k>)");
        return;
      case DemKind::shift_detectors:
        return;
      case DemKind::repeat:
        expect(instruction.arguments.empty(), "repeat takes no arguments");
        return;
    }
  }

  DetectorErrorModel model_;
  // The block being read and the ones around it: the model's instructions, then the body of
  // each open repeat (the last instruction of the block before).
  std::vector<std::vector<DemInstruction>*> blocks_;
  std::uint64_t line_ = 0;
  std::string_view text_;
  std::size_t position_ = 0;
  std::vector<std::uint64_t> open_lines_;
};

void print_block(std::string& text, const std::vector<DemInstruction>& block, std::size_t depth) {
  for (const DemInstruction& instruction : block) {
    text.append(4 * depth, ' ');
    text.append(name_of(instruction.kind));
    if (!instruction.arguments.empty()) {
      text.push_back('(');
      for (std::size_t i = 0; i < instruction.arguments.size(); ++i) {
        if (i != 0) text.append(", ");
        append_number(text, instruction.arguments[i]);
      }
      text.push_back(')');
    }
    if (instruction.kind == DemKind::shift_detectors || instruction.kind == DemKind::repeat) {
      text.push_back(' ');
      append_unsigned(text, instruction.count);
    }
    for (const DemTarget target : instruction.targets) {
      if (target == separator_target) {
        text.append(" ^");
        continue;
      }
      text.append(is_observable(target) ? " L" : " D");
      append_unsigned(text, target & ~observable_flag);
    }
    if (instruction.kind != DemKind::repeat) {
      text.push_back('\n');
      continue;
    }
    text.append(" {\n");
    print_block(text, instruction.body, depth + 1);
    text.append(4 * depth, ' ');
    text.append("}\n");
  }
}

// What a block does when run once from offset 0.
struct BlockCounts {
  std::uint64_t detectors = 0;  // 1 + the largest detector index, relative to the block's start
  std::uint64_t observables = 0;
  std::uint64_t errors = 0;
  std::uint64_t shift = 0;  // the detector shift the block adds up to
};

BlockCounts count_block(const std::vector<DemInstruction>& block) {
  BlockCounts counts;
  for (const DemInstruction& instruction : block) {
    switch (instruction.kind) {
      case DemKind::error:
      case DemKind::detector:
      case DemKind::logical_observable:
        counts.errors += instruction.kind == DemKind::error ? 1 : 0;
        for (const DemTarget target : instruction.targets) {
          if (target == separator_target) continue;
          if (is_observable(target)) {
            counts.observables = std::max(counts.observables, (target & ~observable_flag) + 1);
          } else {
            counts.detectors = std::max(counts.detectors, saturating_add(counts.shift, target + 1));
          }
        }
        break;
      case DemKind::shift_detectors:
        counts.shift = saturating_add(counts.shift, instruction.count);
        break;
      case DemKind::repeat: {
        if (instruction.count == 0) break;
        const BlockCounts body = count_block(instruction.body);
        const std::uint64_t last_start =
            saturating_add(counts.shift, saturating_multiply(instruction.count - 1, body.shift));
        if (body.detectors != 0) {
          counts.detectors = std::max(counts.detectors, saturating_add(last_start, body.detectors));
        }
        counts.observables = std::max(counts.observables, body.observables);
        counts.errors =
            saturating_add(counts.errors, saturating_multiply(instruction.count, body.errors));
        counts.shift = saturating_add(last_start, body.shift);
        break;
      }
    }
  }
  return counts;
}

struct FlattenState {
  std::uint64_t detector_offset = 0;
  std::vector<double> coordinate_offset;
};

void flatten_block(const std::vector<DemInstruction>& block, FlattenState& state,
                   std::vector<DemInstruction>& out) {
  for (const DemInstruction& instruction : block) {
    switch (instruction.kind) {
      case DemKind::error:
      case DemKind::detector:
      case DemKind::logical_observable: {
        DemInstruction flat = instruction;
        for (DemTarget& target : flat.targets) {
          if (is_detector(target)) target += state.detector_offset;
        }
        if (flat.kind == DemKind::detector) {
          const std::size_t shifted =
              std::min(flat.arguments.size(), state.coordinate_offset.size());
          for (std::size_t i = 0; i < shifted; ++i) flat.arguments[i] += state.coordinate_offset[i];
        }
        out.push_back(std::move(flat));
        break;
      }
      case DemKind::shift_detectors:
        state.detector_offset += instruction.count;
        if (state.coordinate_offset.size() < instruction.arguments.size()) {
          state.coordinate_offset.resize(instruction.arguments.size(), 0.0);
        }
        for (std::size_t i = 0; i < instruction.arguments.size(); ++i) {
          state.coordinate_offset[i] += instruction.arguments[i];
        }
        break;
      case DemKind::repeat:
        for (std::uint64_t i = 0; i < instruction.count; ++i) {
          flatten_block(instruction.body, state, out);
        }
        break;
    }
  }
}

}  // namespace

DetectorErrorModel parse_detector_error_model(std::string_view text) {
  return ModelParser().run(text);
}

std::string print_detector_error_model(const DetectorErrorModel& model) {
  std::string text;
  print_block(text, model.instructions, 0);
  return text;
}

DemCounts count_detector_error_model(const DetectorErrorModel& model) {
  const BlockCounts counts = count_block(model.instructions);
  return {counts.detectors, counts.observables, counts.errors};
}

DetectorErrorModel flatten_detector_error_model(const DetectorErrorModel& model) {
  DetectorErrorModel flat;
  FlattenState state;
  flatten_block(model.instructions, state, flat.instructions);
  return flat;
}

}  // namespace korvane::circuit
