// Running a program on a graph-state register: each instruction becomes the engine's operations,
// with REPEAT bodies looped over and recorded bits kept as far back as the program looks.
#pragma once

#include <concepts>
#include <cstdint>
#include <span>
#include <vector>

#include "../../engine/ops/controlled_gates.h"
#include "../../engine/ops/measure.h"
#include "../../engine/ops/pauli_product.h"
#include "../../engine/ops/reset.h"
#include "../../engine/ops/swap.h"
#include "../../engine/random/seeded_generator.h"
#include "../../engine/register.h"
#include "../condition.h"
#include "../pair_cliffords.h"
#include "../pauli_products.h"
#include "../program.h"
#include "../program_walk.h"
#include "record_window.h"

namespace korvane::circuit {

// What a run on the register reports: each recorded bit, measurement(bit); and, when
// Output::wants_parities, each detector's parity, detector(parity), and each observable term,
// observable(index, parity).
template <class Output>
concept RecordOutput = requires(Output& output, bool bit, std::uint32_t index) {
  { Output::wants_parities } -> std::convertible_to<bool>;
  output.measurement(bit);
  output.detector(bit);
  output.observable(index, bit);
};

// Writes each recorded bit as a byte, 0 or 1, from `next` on.
struct RecordBytes {
  static constexpr bool wants_parities = false;

  void measurement(bool bit) { *next++ = bit ? 1 : 0; }
  void detector(bool /*parity*/) {}
  void observable(std::uint32_t /*index*/, bool /*parity*/) {}

  std::uint8_t* next;
};

// Working space for runs of one program, reused from run to run; `stop` may stop them.
struct RunScratch {
  explicit RunScratch(const Program& program, engine::StopCheck* stop = nullptr)
      : record(program.deepest_lookback), pacer(stop) {
    loops.reserve(program.deepest_nesting);
  }

  RecordWindow<std::uint8_t> record;
  std::vector<OpenLoop> loops;
  ProductScratch products;
  engine::StopPacer pacer;
};

// The steps of a run on the register (program_walk.h), one per kind of instruction.
template <Noise noise, class Source, RecordOutput Output>
class RegisterRun {
 public:
  RegisterRun(const Program& program, engine::Register& reg, Source& source, RunScratch& scratch,
              Output& output)
      : program_(program),
        reg_(reg),
        source_(source),
        record_(scratch.record),
        products_(scratch.products),
        output_(output) {}

  // A gate on one target (or one pair) goes without the loop, whose exit test is dear among
  // unpredictable branches.
  void clifford(const Step& step) {
    const Vop gate = vop_of(step.instruction.gate);
    if (step.targets.size() == 1) [[likely]] {
      reg_.apply_clifford(step.targets[0], gate);
      return;
    }
    for (const std::uint32_t q : step.targets) reg_.apply_clifford(q, gate);
  }

  void controlled(const Step& step) {
    const engine::ControlledPauli gate = gate_of(step.instruction.gate).controlled;
    if (step.targets.size() == 2) [[likely]] {
      engine::apply_controlled_pauli(reg_, gate, step.targets[0], step.targets[1]);
      return;
    }
    for (std::size_t i = 0; i < step.targets.size(); i += 2) {
      engine::apply_controlled_pauli(reg_, gate, step.targets[i], step.targets[i + 1]);
    }
  }

  void feedback(const Step& step) {
    const auto pauli = static_cast<Vop>(feedback_pauli_of(step.instruction.gate));
    for (std::size_t i = 0; i < step.targets.size(); i += 2) {
      if (record_.back(step.targets[i]) != 0) reg_.apply_clifford(step.targets[i + 1], pauli);
    }
  }

  void swap(const Step& step) {
    for (std::size_t i = 0; i < step.targets.size(); i += 2) {
      engine::swap(reg_, step.targets[i], step.targets[i + 1]);
    }
  }

  void pair_clifford(const Step& step) {
    for (std::size_t i = 0; i < step.targets.size(); i += 2) {
      apply_pair_clifford(reg_, step.instruction.gate, step.targets[i], step.targets[i + 1]);
    }
  }

  void measure(const Step& step) { record_measurements(step, false); }
  void measure_reset(const Step& step) { record_measurements(step, true); }

  void reset(const Step& step) {
    const Axis axis = gate_of(step.instruction.gate).axis;
    for (const std::uint32_t q : step.targets) engine::reset(reg_, q, axis, source_);
  }

  void measure_product(const Step& step) {
    const PauliChannel* const flip = channel_drawn<noise>(program_, step.instruction.detail);
    for_each_product(step.targets, [&](std::span<const std::uint32_t> factors) {
      record(engine::measure_pauli(reg_, hermitian_product(factors, products_), source_), flip);
    });
  }

  void product_phase(const Step& step) {
    const bool adjoint = gate_of(step.instruction.gate).adjoint;
    for_each_product(step.targets, [&](std::span<const std::uint32_t> factors) {
      hermitian_product(factors, products_);
      apply_product_phase(reg_, adjoint, products_);
    });
  }

  void pad(const Step& step) {
    const PauliChannel* const flip = channel_drawn<noise>(program_, step.instruction.detail);
    for (const std::uint32_t bit : step.targets) record(bit != 0, flip);
  }

  // Each target's outcome k records a herald and applies the Pauli k - 1; none records 0.
  void heralded_noise(const Step& step) {
    const PauliChannel* const channel = channel_drawn<noise>(program_, step.instruction.detail);
    for (const std::uint32_t q : step.targets) {
      const unsigned outcome = channel == nullptr ? 0 : channel->pick(draw_u64(source_));
      if (outcome > 1) reg_.apply_clifford(q, static_cast<Vop>(outcome - 1));
      record(outcome != 0, nullptr);
    }
  }

  void pauli_noise(const Step& step) {
    const PauliChannel* const channel = channel_drawn<noise>(program_, step.instruction.detail);
    if (channel == nullptr) return;
    for (const std::uint32_t q : step.targets) {
      const unsigned pauli = channel->pick(draw_u64(source_));
      if (pauli != 0) reg_.apply_clifford(q, static_cast<Vop>(pauli));
    }
  }

  void pair_noise(const Step& step) {
    const PauliChannel* const channel = channel_drawn<noise>(program_, step.instruction.detail);
    if (channel == nullptr) return;
    for (std::size_t i = 0; i < step.targets.size(); i += 2) {
      const unsigned pair = channel->pick(draw_u64(source_));
      if (pair == 0) continue;
      reg_.apply_clifford(step.targets[i], static_cast<Vop>(first_pauli_of_pair(pair)));
      reg_.apply_clifford(step.targets[i + 1], static_cast<Vop>(second_pauli_of_pair(pair)));
    }
  }

  void detector(const Step& step) {
    if constexpr (Output::wants_parities) output_.detector(parity(step.targets));
  }

  // Whether the condition holds on this run's record: its body runs only then.
  bool condition(const Step& step) const {
    return condition_holds(step.targets, program_.conditions[step.instruction.detail],
                           [this](std::uint32_t k) { return record_.back(k) != 0; });
  }

  void observable(const Step& step) {
    if constexpr (Output::wants_parities) {
      output_.observable(step.instruction.detail, parity(step.targets));
    }
  }

 private:
  // The parity of the recorded bits rec[-k].
  bool parity(std::span<const std::uint32_t> lookbacks) const {
    bool total = false;
    for (const std::uint32_t k : lookbacks) total ^= record_.back(k) != 0;
    return total;
  }

  // Records `bit`, flipped by the measurement's noise `flip` when there is one.
  void record(bool bit, const PauliChannel* flip) {
    if (flip != nullptr && flip->pick(draw_u64(source_)) != 0) bit = !bit;
    record_.push(bit ? 1 : 0);
    output_.measurement(bit);
  }

  // Measures each target, records its bit (inverted for !q, flipped by the measurement's noise)
  // and, for MR, returns the qubit to the +1 eigenstate the outcome left behind.
  void record_measurements(const Step& step, bool resets) {
    const Axis axis = gate_of(step.instruction.gate).axis;
    const PauliChannel* const flip = channel_drawn<noise>(program_, step.instruction.detail);
    for (const std::uint32_t entry : step.targets) {
      const std::uint32_t q = entry & ~inverted_flag;
      const bool outcome = engine::measure(reg_, q, axis, source_);
      record(outcome != ((entry & inverted_flag) != 0), flip);
      if (resets && outcome) reg_.apply_clifford(q, engine::reset_flip(axis));
    }
  }

  const Program& program_;
  engine::Register& reg_;
  Source& source_;
  RecordWindow<std::uint8_t>& record_;
  ProductScratch& products_;
  Output& output_;
};

// Runs `program` once on `reg`, which the caller has checked it fits (check_fits). Randomness is
// drawn from `source` in the order the run needs it: a 32-bit number for each random measurement
// outcome (resets and Pauli products included), then, with noise applied, one 64-bit draw for each
// recorded bit with a flip probability, for each target of a single-qubit or heralded channel, and
// for each pair of a two-qubit channel, except where the probability is 0.
template <Noise noise, class Source, RecordOutput Output>
void run_on_register(const Program& program, engine::Register& reg, Source& source,
                     RunScratch& scratch, Output& output) {
  scratch.record.restart();
  RegisterRun<noise, Source, Output> run(program, reg, source, scratch, output);
  run_program(program, scratch.loops, scratch.pacer, run);
}

// Throws InvalidInput, naming both sizes, when the program names a qubit outside `reg`.
void check_size(const Program& program, const engine::Register& reg);

// As check_size, and as check_products for a product that cannot be measured or applied.
void check_fits(const Program& program, const engine::Register& reg);

// Applies `program` to `reg` in place, noise included, drawing from `source`; writes the
// measurement record, one byte (0 or 1) per recorded bit, to `record`. Call check_fits first.
// When `stop` stops it (engine::Interrupted), `reg` holds the state after the last whole
// instruction, and the record so far is written.
void run_once(const Program& program, engine::Register& reg, engine::RandomSource& source,
              std::uint8_t* record, engine::StopCheck* stop = nullptr);

}  // namespace korvane::circuit
