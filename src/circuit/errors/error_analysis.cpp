#include "error_analysis.h"

#include <algorithm>
#include <cstddef>
#include <span>
#include <unordered_map>
#include <vector>

#include "graphlike_decomposition.h"
#include "sensitivity_pass.h"

namespace korvane::circuit {
namespace {

using Coordinates = std::vector<double>;

void add_to(Coordinates& offset, std::span<const double> shift, double times = 1.0) {
  if (offset.size() < shift.size()) offset.resize(shift.size(), 0.0);
  for (std::size_t i = 0; i < shift.size(); ++i) offset[i] += times * shift[i];
}

Coordinates difference(const Coordinates& a, const Coordinates& b) {
  Coordinates result(std::max(a.size(), b.size()), 0.0);
  for (std::size_t i = 0; i < result.size(); ++i) {
    result[i] = (i < a.size() ? a[i] : 0.0) - (i < b.size() ? b[i] : 0.0);
  }
  return result;
}

bool all_zero(const Coordinates& values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return v == 0.0; });
}

// Writes the found items as model instructions, forwards. Detector indices and coordinates are
// written relative to the model's offsets, which `shift_detectors` brings level with the circuit's
// before each repeat block.
class Assembly {
 public:
  explicit Assembly(const Program& program) : program_(program) {}

  DetectorErrorModel run(const std::vector<FoundItem>& items) {
    last_detector_named_ = program_.num_detectors != 0 && names(items, program_.num_detectors - 1);
    DetectorErrorModel model;
    Block top;
    write(items, top, model.instructions);
    // The last observable, when no error names it, keeps the model's observable count.
    std::vector<bool> mentioned(program_.num_observables, false);
    mark_observables(items, mentioned);
    if (!mentioned.empty() && !mentioned.back()) {
      DemInstruction declaration;
      declaration.kind = DemKind::logical_observable;
      declaration.targets.push_back(observable_flag | (mentioned.size() - 1));
      model.instructions.push_back(std::move(declaration));
    }
    return model;
  }

 private:
  // Where a block of the model stands, relative to its own start.
  struct Block {
    std::uint64_t detector_origin = 0;  // the circuit's detector index where the block starts
    std::uint64_t model_detectors = 0;  // the model's detector offset
    Coordinates circuit_coordinates;    // SHIFT_COORDS so far
    Coordinates model_coordinates;      // shift_detectors coordinates so far
    std::unordered_map<Symptoms, std::size_t, SymptomsHash> errors;  // key -> instruction
  };

  // The largest detector index the items' errors name (loop bodies as found: their last
  // iteration's).
  static std::uint64_t highest_detector(const std::vector<FoundItem>& items) {
    std::uint64_t highest = 0;
    for (const FoundItem& item : items) {
      if (item.kind == FoundKind::loop) highest = std::max(highest, highest_detector(item.body));
      if (item.kind != FoundKind::error) continue;
      for (const DemTarget target : item.error.symptoms) {
        if (is_detector(target)) highest = std::max(highest, target);
      }
    }
    return highest;
  }

  // Whether some error of the items names `detector`, in any repetition of a loop.
  static bool names(const std::vector<FoundItem>& items, std::uint64_t detector) {
    for (const FoundItem& item : items) {
      if (item.kind == FoundKind::error) {
        const Symptoms& symptoms = item.error.symptoms;
        if (std::binary_search(symptoms.begin(), symptoms.end(), detector)) return true;
      }
      if (item.kind != FoundKind::loop) continue;
      // Repetition r before the body's names the body's index detector + r * period.
      const std::uint64_t highest = highest_detector(item.body);
      for (std::uint64_t r = 0; r < item.repetitions; ++r) {
        const std::uint64_t shifted = detector + r * item.period;
        if (shifted > highest) break;
        if (names(item.body, shifted)) return true;
        if (item.period == 0) break;
      }
    }
    return false;
  }

  static void mark_observables(const std::vector<FoundItem>& items, std::vector<bool>& mentioned) {
    for (const FoundItem& item : items) {
      if (item.kind == FoundKind::loop) mark_observables(item.body, mentioned);
      if (item.kind != FoundKind::error) continue;
      for (const DemTarget target : item.error.symptoms) {
        if (is_observable(target)) mentioned[target & ~observable_flag] = true;
      }
    }
  }

  // The error's targets as the model writes them, relative to the block's detector offset.
  static Symptoms error_targets(const FoundError& error, const Block& block) {
    const std::uint64_t offset = block.detector_origin + block.model_detectors;
    const auto relative = [offset](Symptoms part) {
      for (DemTarget& target : part) {
        if (is_detector(target)) target -= offset;
      }
      return part;
    };
    if (error.components.empty()) return relative(error.symptoms);
    std::vector<Symptoms> parts;
    for (const Symptoms& component : error.components) parts.push_back(relative(component));
    std::sort(parts.begin(), parts.end());
    Symptoms targets;
    for (const Symptoms& part : parts) {
      if (!targets.empty()) targets.push_back(separator_target);
      targets.insert(targets.end(), part.begin(), part.end());
    }
    return targets;
  }

  void write_error(const FoundError& error, Block& block, std::vector<DemInstruction>& out) {
    Symptoms targets = error_targets(error, block);
    const auto [found, added] = block.errors.try_emplace(targets, out.size());
    if (!added) {
      double& p = out[found->second].arguments[0];
      p = p * (1.0 - error.probability) + error.probability * (1.0 - p);
      return;
    }
    DemInstruction instruction;
    instruction.kind = DemKind::error;
    instruction.arguments.push_back(error.probability);
    instruction.targets = std::move(targets);
    out.push_back(std::move(instruction));
  }

  void write_detector(const FoundItem& item, const Block& block, std::vector<DemInstruction>& out) {
    DemInstruction declaration;
    declaration.kind = DemKind::detector;
    const std::span<const double> written =
        program_.arguments_of(program_.instructions[item.instruction]);
    declaration.arguments.assign(written.begin(), written.end());
    for (std::size_t i = 0; i < declaration.arguments.size(); ++i) {
      const double circuit =
          i < block.circuit_coordinates.size() ? block.circuit_coordinates[i] : 0.0;
      const double model = i < block.model_coordinates.size() ? block.model_coordinates[i] : 0.0;
      declaration.arguments[i] += circuit - model;
    }
    declaration.targets.push_back(item.detector - block.detector_origin - block.model_detectors);
    out.push_back(std::move(declaration));
  }

  // Moves the model's offsets to the circuit's: detector `to` (absolute) and its coordinates.
  static void level_offsets(std::uint64_t to, Block& block, std::vector<DemInstruction>& out) {
    const Coordinates shift = difference(block.circuit_coordinates, block.model_coordinates);
    const std::uint64_t detectors = to - block.detector_origin - block.model_detectors;
    if (detectors == 0 && all_zero(shift)) return;
    DemInstruction instruction;
    instruction.kind = DemKind::shift_detectors;
    if (!all_zero(shift)) instruction.arguments = shift;
    instruction.count = detectors;
    out.push_back(std::move(instruction));
    block.model_detectors += detectors;
    block.model_coordinates = block.circuit_coordinates;
    // Errors written before the shift are written differently after it.
    block.errors.clear();
  }

  // SHIFT_COORDS of one run of instructions [begin, end), REPEAT bodies counted as often as run.
  Coordinates coordinate_shift(std::size_t begin, std::size_t end) const {
    Coordinates shift;
    for (std::size_t i = begin; i < end;) {
      const Instruction& instruction = program_.instructions[i];
      if (instruction.kind == Kind::repeat) {
        const Coordinates body = coordinate_shift(i + 1, i + 1 + instruction.count);
        add_to(shift, body, static_cast<double>(program_.repeat_counts[instruction.detail]));
        i += 1 + instruction.count;
        continue;
      }
      if (instruction.gate == gate_named("SHIFT_COORDS"))
        add_to(shift, program_.arguments_of(instruction));
      ++i;
    }
    return shift;
  }

  void write_loop(const FoundItem& loop, Block& block, std::vector<DemInstruction>& out) {
    const std::uint64_t start = loop.base - (loop.repetitions - 1) * loop.period;
    level_offsets(start, block, out);
    const Instruction& repeat = program_.instructions[loop.instruction];
    const Coordinates body_shift =
        coordinate_shift(loop.instruction + 1, loop.instruction + 1 + repeat.count);
    DemInstruction instruction;
    instruction.kind = DemKind::repeat;
    instruction.count = loop.repetitions;
    Block body;
    body.detector_origin = loop.base;
    write(loop.body, body, instruction.body);
    body.circuit_coordinates = body_shift;
    level_offsets(loop.base + loop.period, body, instruction.body);
    out.push_back(std::move(instruction));
    add_to(block.circuit_coordinates, body_shift, static_cast<double>(loop.repetitions));
    block.model_coordinates = block.circuit_coordinates;
    block.model_detectors += loop.repetitions * loop.period;
    block.errors.clear();
  }

  void write(const std::vector<FoundItem>& items, Block& block, std::vector<DemInstruction>& out) {
    for (const FoundItem& item : items) {
      switch (item.kind) {
        case FoundKind::error:
          write_error(item.error, block, out);
          break;
        case FoundKind::detector:
          // Coordinates, or the last detector, which keeps the model's detector count.
          if (!program_.arguments_of(program_.instructions[item.instruction]).empty() ||
              (item.detector + 1 == program_.num_detectors && !last_detector_named_)) {
            write_detector(item, block, out);
          }
          break;
        case FoundKind::coordinate_shift:
          add_to(block.circuit_coordinates,
                 program_.arguments_of(program_.instructions[item.instruction]));
          break;
        case FoundKind::loop:
          write_loop(item, block, out);
          break;
      }
    }
  }

  const Program& program_;
  bool last_detector_named_ = false;
};

}  // namespace

DetectorErrorModel analyze_errors(const Program& program, const ErrorAnalysisOptions& options) {
  std::vector<FoundItem> items =
      find_errors(program, !options.flatten_loops, options.decompose_errors, options.stop);
  if (options.decompose_errors) decompose_errors(items, program);
  return Assembly(program).run(items);
}

}  // namespace korvane::circuit
