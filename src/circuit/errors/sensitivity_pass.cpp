#include "sensitivity_pass.h"

#include <algorithm>
#include <array>
#include <deque>
#include <optional>
#include <span>
#include <string>

#include "../../engine/base.h"
#include "../pauli_products.h"
#include "../program_walk.h"
#include "independent_errors.h"

namespace korvane::circuit {
namespace {

constexpr GateId shift_coordinates = gate_named("SHIFT_COORDS");

// A Pauli without sign as two bits: bit 0 its X part, bit 1 its Z part (Y = both).
using PauliBits = std::uint8_t;
constexpr PauliBits x_part = 1;
constexpr PauliBits z_part = 2;

constexpr PauliBits bits_of(Pauli pauli) {
  constexpr std::array<PauliBits, 4> by_pauli{0, x_part, x_part | z_part, z_part};
  return by_pauli[static_cast<std::size_t>(pauli)];
}

// The images of X and Z on each target of one application of a unitary gate (signs dropped):
// image[t][0] of X on target t, image[t][1] of Z, each a Pauli on every target.
struct GateImages {
  std::size_t arity = 1;
  std::array<std::array<std::array<PauliBits, 2>, 2>, 2> image{};
};

// Read off the gate table's conjugations, once.
inline const std::array<GateImages, gate_count> gate_images = [] {
  std::array<GateImages, gate_count> table{};
  for (std::size_t id = 0; id < gate_count; ++id) {
    const Conjugation conjugation = conjugation_of(static_cast<GateId>(id));
    GateImages& images = table[id];
    images.arity = gate_table[id].targets == Targets::qubit_pairs ? 2 : 1;
    for (std::size_t t = 0; t < images.arity; ++t) {
      for (std::size_t p = 0; p < 2; ++p) {
        for (std::size_t j = 0; j < images.arity; ++j) {
          images.image[t][p][j] = bits_of(conjugation[2 * t + p].factors[j]);
        }
      }
    }
  }
  return table;
}();

// One independent mechanism of a channel: a Pauli on each of its (one or two) targets.
struct Mechanism {
  std::array<PauliBits, 2> paulis{};
  double probability = 0.0;
};

// The circuit's sensitivity state at one point, for comparing loop iterations.
struct Snapshot {
  std::vector<Symptoms> x, z;
  std::vector<Symptoms> pending;
};

class SensitivityPass {
 public:
  SensitivityPass(const Program& program, bool fold_loops, bool keep_parts, engine::StopCheck* stop)
      : program_(program),
        fold_loops_(fold_loops),
        keep_parts_(keep_parts),
        stop_(stop),
        pacer_(stop),
        x_(program.num_qubits),
        z_(program.num_qubits),
        next_detector_(program.num_detectors) {}

  std::vector<FoundItem> run() {
    std::vector<FoundItem> items;
    walk_block(0, program_.instructions.size(), items);
    // The circuit starts in |0...0>: a Z error there does nothing.
    for (std::size_t q = 0; q < z_.size(); ++q) {
      if (!z_[q].empty()) refuse_random(z_[q].front(), std::nullopt, static_cast<std::uint32_t>(q));
    }
    put_in_order(items);
    return items;
  }

 private:
  // The items were found backwards.
  static void put_in_order(std::vector<FoundItem>& items) {
    std::reverse(items.begin(), items.end());
    for (FoundItem& item : items) {
      if (item.kind == FoundKind::loop) put_in_order(item.body);
    }
  }

  void walk_block(std::size_t begin, std::size_t end, std::vector<FoundItem>& out) {
    std::vector<std::size_t> top_level;
    for (std::size_t i = begin; i < end;) {
      top_level.push_back(i);
      const Instruction& instruction = program_.instructions[i];
      i += instruction.kind == Kind::repeat ? 1 + instruction.count : 1;
    }
    for (std::size_t i = top_level.size(); i-- > 0;) {
      const std::size_t index = top_level[i];
      if (program_.instructions[index].kind == Kind::repeat) {
        walk_repeat(index, out);
      } else {
        apply(program_.instructions[index], index, out);
      }
    }
  }

  std::uint64_t detectors_in(std::size_t begin, std::size_t end) const {
    std::uint64_t count = 0;
    for (std::size_t i = begin; i < end;) {
      const Instruction& instruction = program_.instructions[i];
      if (instruction.kind == Kind::repeat) {
        count += program_.repeat_counts[instruction.detail] *
                 detectors_in(i + 1, i + 1 + instruction.count);
        i += 1 + instruction.count;
        continue;
      }
      if (instruction.kind == Kind::detector) ++count;
      ++i;
    }
    return count;
  }

  void walk_repeat(std::size_t index, std::vector<FoundItem>& out) {
    const Instruction& repeat = program_.instructions[index];
    const std::uint64_t repetitions = program_.repeat_counts[repeat.detail];
    const std::size_t begin = index + 1;
    const std::size_t end = begin + repeat.count;
    if (!fold_loops_ || repetitions < 3) {
      for (std::uint64_t i = 0; i < repetitions; ++i) walk_block(begin, end, out);
      return;
    }
    const std::uint64_t period = detectors_in(begin, end);
    Snapshot after = snapshot();
    for (std::uint64_t iteration = repetitions; iteration-- > 0;) {
      std::vector<FoundItem> body;
      walk_block(begin, end, body);
      if (iteration > 0 && same_up_to_shift(after, period)) {
        // Iterations 0 .. iteration all repeat this one: skip to the start of the first.
        const std::uint64_t skipped = iteration * period;
        shift_state_down(skipped);
        FoundItem loop;
        loop.kind = FoundKind::loop;
        loop.instruction = static_cast<std::uint32_t>(index);
        loop.repetitions = iteration + 1;
        loop.period = period;
        loop.base = next_detector_;
        loop.body = std::move(body);
        next_detector_ -= skipped;
        out.push_back(std::move(loop));
        return;
      }
      std::move(body.begin(), body.end(), std::back_inserter(out));
      if (iteration > 0) after = snapshot();
    }
  }

  Snapshot snapshot() const { return {x_, z_, {pending_.begin(), pending_.end()}}; }

  // Whether the current state equals `later` with every detector index lowered by `period`.
  bool same_up_to_shift(const Snapshot& later, std::uint64_t period) const {
    const auto same = [period](const Symptoms& now, const Symptoms& then) {
      return std::equal(now.begin(), now.end(), then.begin(), then.end(),
                        [period](DemTarget a, DemTarget b) {
                          return is_detector(a) ? is_detector(b) && a + period == b : a == b;
                        });
    };
    for (std::size_t q = 0; q < x_.size(); ++q) {
      if (!same(x_[q], later.x[q]) || !same(z_[q], later.z[q])) return false;
    }
    const std::size_t depth = std::max(pending_.size(), later.pending.size());
    static const Symptoms none;
    for (std::size_t i = 0; i < depth; ++i) {
      if (!same(i < pending_.size() ? pending_[i] : none,
                i < later.pending.size() ? later.pending[i] : none)) {
        return false;
      }
    }
    return true;
  }

  void shift_state_down(std::uint64_t shift) {
    const auto lower = [shift](Symptoms& symptoms) {
      for (DemTarget& target : symptoms) {
        if (is_detector(target)) target -= shift;
      }
    };
    std::for_each(x_.begin(), x_.end(), lower);
    std::for_each(z_.begin(), z_.end(), lower);
    std::for_each(pending_.begin(), pending_.end(), lower);
  }

  // What the Pauli `bits` on q flips at the current point, into `into` (XORed).
  void add_flips(Symptoms& into, std::uint32_t q, PauliBits bits) {
    if ((bits & x_part) != 0) xor_into(into, x_[q], scratch_);
    if ((bits & z_part) != 0) xor_into(into, z_[q], scratch_);
  }

  Symptoms& pending(std::uint32_t lookback) {
    if (pending_.size() < lookback) pending_.resize(lookback);
    return pending_[lookback - 1];
  }

  void apply(const Instruction& instruction, std::size_t index, std::vector<FoundItem>& out) {
    const std::span<const std::uint32_t> targets = program_.targets_of(instruction);
    pacer_.count(1 + targets.size());
    switch (instruction.kind) {
      case Kind::clifford:
      case Kind::controlled:
      case Kind::swap:
      case Kind::pair_clifford: {
        const GateImages& images = gate_images[instruction.gate];
        for (std::size_t i = targets.size(); i >= images.arity; i -= images.arity) {
          apply_images(images, targets.subspan(i - images.arity, images.arity));
        }
        break;
      }
      case Kind::feedback: {
        const PauliBits pauli = bits_of(feedback_pauli_of(instruction.gate));
        for (std::size_t i = targets.size(); i >= 2; i -= 2) {
          Symptoms flips = pending(targets[i - 2]);
          add_flips(flips, targets[i - 1], pauli);
          pending(targets[i - 2]).swap(flips);
        }
        break;
      }
      case Kind::measure:
      case Kind::measure_reset: {
        const Axis axis = gate_of(instruction.gate).axis;
        const double flip = flip_probability(instruction);
        for (std::size_t i = targets.size(); i-- > 0;) {
          const std::uint32_t q = targets[i] & ~inverted_flag;
          if (instruction.kind == Kind::measure_reset) reset(q, axis, index);
          check_collapse(q, axis, index);
          const Symptoms result = take_result(flip, index, out);
          if (axis != Axis::X) xor_into(x_[q], result, scratch_);
          if (axis != Axis::Z) xor_into(z_[q], result, scratch_);
        }
        break;
      }
      case Kind::measure_product: {
        const double flip = flip_probability(instruction);
        for (const std::span<const std::uint32_t> factors : products_backwards(targets)) {
          const engine::PauliProduct& product = hermitian_product(factors, products_);
          const Symptoms trivial = flips_of(product);
          if (!trivial.empty())
            refuse_random(trivial.front(), index,
                          static_cast<std::uint32_t>(product.factors[0].qubit));
          const Symptoms result = take_result(flip, index, out);
          for (const engine::PauliFactor& factor : product.factors) {
            const PauliBits bits = bits_of(pauli_of(factor.axis));
            if ((bits & z_part) != 0) xor_into(x_[factor.qubit], result, scratch_);
            if ((bits & x_part) != 0) xor_into(z_[factor.qubit], result, scratch_);
          }
        }
        break;
      }
      case Kind::product_phase:
        for (const std::span<const std::uint32_t> factors : products_backwards(targets)) {
          apply_product_phase_images(hermitian_product(factors, products_));
        }
        break;
      case Kind::pad: {
        const double flip = flip_probability(instruction);
        for (std::size_t i = 0; i < targets.size(); ++i) take_result(flip, index, out);
        break;
      }
      case Kind::heralded_noise:
        throw engine::InvalidInput("line " + std::to_string(line_of(index)) + ": " +
                                   std::string(gate_of(instruction.gate).name) +
                                   " has no detector error model in korvane (heralded noise)");
      case Kind::condition:
        throw engine::InvalidInput("line " + std::to_string(line_of(index)) +
                                   ": a condition read from OpenQASM's if() has no detector error "
                                   "model; write it as feedback (CX rec[-1] 0)");
      case Kind::reset:
        for (std::size_t i = targets.size(); i-- > 0;)
          reset(targets[i], gate_of(instruction.gate).axis, index);
        break;
      case Kind::pauli_noise:
      case Kind::pair_noise:
        apply_noise(instruction, index, targets, out);
        break;
      case Kind::detector: {
        const std::uint64_t detector = --next_detector_;
        for (const std::uint32_t k : targets) toggle(pending(k), detector);
        FoundItem item;
        item.kind = FoundKind::detector;
        item.instruction = static_cast<std::uint32_t>(index);
        item.detector = detector;
        out.push_back(std::move(item));
        break;
      }
      case Kind::observable:
        for (const std::uint32_t k : targets)
          toggle(pending(k), observable_flag | instruction.detail);
        break;
      case Kind::annotation:
        if (instruction.gate == shift_coordinates) {
          FoundItem item;
          item.kind = FoundKind::coordinate_shift;
          item.instruction = static_cast<std::uint32_t>(index);
          out.push_back(std::move(item));
        }
        break;
      case Kind::repeat:
        break;
    }
  }

  // A measurement's (or pad's) flip probability, 0 without one.
  double flip_probability(const Instruction& instruction) const {
    const std::span<const double> arguments = program_.arguments_of(instruction);
    return arguments.empty() ? 0.0 : arguments[0];
  }

  // The symptoms of the latest recorded bit not yet met, now that its instruction is met; a flip
  // of it with probability `flip` is an error.
  Symptoms take_result(double flip, std::size_t index, std::vector<FoundItem>& out) {
    Symptoms result = pending_.empty() ? Symptoms{} : std::move(pending_.front());
    if (!pending_.empty()) pending_.pop_front();
    if (flip > 0.0 && !result.empty()) {
      FoundError error{flip, result, {}, {}, {}, static_cast<std::uint32_t>(index)};
      if (keep_parts_) error.x_parts.push_back(result);
      push_error(std::move(error), out);
    }
    return result;
  }

  // A product instruction's products, last first, as the backward pass meets them.
  static std::vector<std::span<const std::uint32_t>> products_backwards(
      std::span<const std::uint32_t> targets) {
    std::vector<std::span<const std::uint32_t>> products;
    for_each_product(targets,
                     [&](std::span<const std::uint32_t> factors) { products.push_back(factors); });
    std::reverse(products.begin(), products.end());
    return products;
  }

  // What the Pauli product flips at the current point (sign dropped).
  Symptoms flips_of(const engine::PauliProduct& product) {
    Symptoms flips;
    for (const engine::PauliFactor& factor : product.factors) {
      add_flips(flips, static_cast<std::uint32_t>(factor.qubit), bits_of(pauli_of(factor.axis)));
    }
    return flips;
  }

  // Under SPP P or SPP_DAG P a Pauli that anticommutes with P becomes its product with P (signs
  // dropped); one that commutes stays.
  void apply_product_phase_images(const engine::PauliProduct& product) {
    const Symptoms flips = flips_of(product);
    for (const engine::PauliFactor& factor : product.factors) {
      const PauliBits bits = bits_of(pauli_of(factor.axis));
      if ((bits & z_part) != 0) xor_into(x_[factor.qubit], flips, scratch_);
      if ((bits & x_part) != 0) xor_into(z_[factor.qubit], flips, scratch_);
    }
  }

  // An error before the gate flips what its image after the gate flips.
  void apply_images(const GateImages& images, std::span<const std::uint32_t> qubits) {
    std::array<Symptoms, 2> new_x, new_z;
    for (std::size_t t = 0; t < images.arity; ++t) {
      for (std::size_t j = 0; j < images.arity; ++j) {
        add_flips(new_x[t], qubits[j], images.image[t][0][j]);
        add_flips(new_z[t], qubits[j], images.image[t][1][j]);
      }
    }
    for (std::size_t t = 0; t < images.arity; ++t) {
      x_[qubits[t]].swap(new_x[t]);
      z_[qubits[t]].swap(new_z[t]);
    }
  }

  // After a collapse onto `axis`, that axis's Pauli does nothing: what it would flip is random.
  void check_collapse(std::uint32_t q, Axis axis, std::size_t index) {
    Symptoms trivial;
    add_flips(trivial, q, bits_of(pauli_of(axis)));
    if (!trivial.empty()) refuse_random(trivial.front(), index, q);
  }

  void reset(std::uint32_t q, Axis axis, std::size_t index) {
    check_collapse(q, axis, index);
    x_[q].clear();
    z_[q].clear();
  }

  std::uint32_t line_of(std::size_t index) const { return program_.lines[index]; }

  // The line of detector `detector`'s DETECTOR, or of observable k's last OBSERVABLE_INCLUDE.
  std::uint32_t declaring_line(DemTarget target) const {
    std::vector<OpenLoop> loops;
    engine::StopPacer pacer(stop_);
    std::uint64_t detectors = 0;
    std::uint32_t line = 0;
    walk(program_, loops, pacer, [&](const Instruction& instruction, std::size_t index) {
      if (instruction.kind == Kind::detector) {
        if (is_detector(target) && detectors == target) line = line_of(index);
        ++detectors;
      }
      if (instruction.kind == Kind::observable && is_observable(target) &&
          instruction.detail == (target & ~observable_flag)) {
        line = line_of(index);
      }
    });
    return line;
  }

  [[noreturn]] void refuse_random(DemTarget target, std::optional<std::size_t> index,
                                  std::uint32_t qubit) const {
    const std::string what = is_detector(target)
                                 ? "detector " + std::to_string(target)
                                 : "observable " + std::to_string(target & ~observable_flag);
    const std::string cause = index ? "the collapse of qubit " + std::to_string(qubit) +
                                          " on line " + std::to_string(line_of(*index))
                                    : "the initial state of qubit " + std::to_string(qubit);
    throw engine::InvalidInput("line " + std::to_string(declaring_line(target)) + ": " + what +
                               " is not deterministic in the noiseless circuit (" + cause +
                               " makes it random), so no error model can say when noise flips it");
  }

  // The channel's independent mechanisms: one per case (pauli_channel.h numbers them).
  std::vector<Mechanism> mechanisms_of(const Instruction& instruction, std::size_t index) const {
    const Channel& channel = gate_of(instruction.gate).channel;
    const auto each = channel.outcome_probabilities(program_.arguments_of(instruction));
    const std::span<const double> disjoint(each.data(), channel.outcomes);
    const std::optional<std::vector<double>> independent = independent_probabilities(disjoint);
    if (!independent) {
      throw engine::InvalidInput("line " + std::to_string(line_of(index)) + ": the cases of " +
                                 std::string(gate_of(instruction.gate).name) +
                                 " cannot be written as independent errors with the same "
                                 "distribution");
    }
    const bool on_pairs = channel.outcomes > 3;
    std::vector<Mechanism> mechanisms;
    for (unsigned outcome = 1; outcome <= channel.outcomes; ++outcome) {
      const auto pauli = [](unsigned code) { return bits_of(static_cast<Pauli>(code)); };
      mechanisms.push_back({{on_pairs ? pauli(first_pauli_of_pair(outcome)) : pauli(outcome),
                             on_pairs ? pauli(second_pauli_of_pair(outcome)) : PauliBits{0}},
                            (*independent)[outcome - 1]});
    }
    return mechanisms;
  }

  void apply_noise(const Instruction& instruction, std::size_t index,
                   std::span<const std::uint32_t> targets, std::vector<FoundItem>& out) {
    const std::vector<Mechanism> mechanisms = mechanisms_of(instruction, index);
    const std::size_t arity = instruction.kind == Kind::pair_noise ? 2 : 1;
    for (std::size_t i = 0; i < targets.size(); i += arity) {
      for (const Mechanism& mechanism : mechanisms) {
        if (mechanism.probability <= 0.0) continue;
        FoundError error;
        error.probability = mechanism.probability;
        error.instruction = static_cast<std::uint32_t>(index);
        for (std::size_t t = 0; t < arity; ++t) {
          add_flips(error.symptoms, targets[i + t], mechanism.paulis[t]);
        }
        if (error.symptoms.empty()) continue;
        if (keep_parts_) {
          for (std::size_t t = 0; t < arity; ++t) {
            const std::uint32_t q = targets[i + t];
            if ((mechanism.paulis[t] & x_part) != 0) error.x_parts.push_back(x_[q]);
            if ((mechanism.paulis[t] & z_part) != 0) error.z_parts.push_back(z_[q]);
          }
        }
        push_error(std::move(error), out);
      }
    }
  }

  static void push_error(FoundError&& error, std::vector<FoundItem>& out) {
    FoundItem item;
    item.kind = FoundKind::error;
    item.instruction = error.instruction;
    item.error = std::move(error);
    out.push_back(std::move(item));
  }

  const Program& program_;
  bool fold_loops_;
  bool keep_parts_;
  engine::StopCheck* stop_;
  engine::StopPacer pacer_;
  std::vector<Symptoms> x_;       // x_[q]: what an X error on q flips
  std::vector<Symptoms> z_;       // z_[q]: what a Z error on q flips
  std::deque<Symptoms> pending_;  // pending_[i]: what flipping the result rec[-1 - i] flips
  std::uint64_t next_detector_;   // detectors before the current point
  Symptoms scratch_;
  ProductScratch products_;
};

}  // namespace

std::vector<FoundItem> find_errors(const Program& program, bool fold_loops, bool keep_parts,
                                   engine::StopCheck* stop) {
  check_products(program);
  return SensitivityPass(program, fold_loops, keep_parts, stop).run();
}

}  // namespace korvane::circuit
