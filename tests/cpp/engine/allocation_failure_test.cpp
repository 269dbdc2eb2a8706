// Refused allocations inside engine operations. This test binary replaces the global allocation
// functions with ones that count live blocks and, when armed, refuse the k-th allocation from
// then on; unarmed they only forward to malloc and free. For every allocation point of every
// operation, the operation must either complete correctly or throw std::bad_alloc, leaving a
// register that keeps its invariants (so it can still be destroyed and inspected), changing
// nothing in read-only operations, and leaking nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "edge_toggles.h"
#include "gate_lists.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/containers/memory_budget.h"
#include "korvane/engine/ops/controlled_gates.h"
#include "korvane/engine/ops/entangled_group.h"
#include "korvane/engine/ops/local_complement.h"
#include "korvane/engine/ops/measure.h"
#include "korvane/engine/ops/peek.h"
#include "korvane/engine/register.h"
#include "random_graphs.h"
#include "scripted_source.h"
#include "state_vector.h"

namespace {

// Allocations still allowed before one is refused; negative when no failure is armed.
std::atomic<long> allocations_before_failure{-1};
std::atomic<long> live_blocks{0};

// Alignment 0 asks for malloc's own.
void* allocate(std::size_t size, std::size_t alignment = 0) {
  if (allocations_before_failure.load(std::memory_order_relaxed) >= 0 &&
      allocations_before_failure.fetch_sub(1) == 0) {
    throw std::bad_alloc();
  }
  if (size == 0) size = 1;
  void* block = alignment == 0 ? std::malloc(size) : std::aligned_alloc(alignment, size);
  if (block == nullptr) throw std::bad_alloc();
  live_blocks.fetch_add(1, std::memory_order_relaxed);
  return block;
}

void release(void* block) noexcept {
  if (block == nullptr) return;
  live_blocks.fetch_sub(1, std::memory_order_relaxed);
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
// The engine asks without exceptions where it can do without the memory (shrinking storage).
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
// Arrays of a huge page or more are asked for aligned.
void* operator new(std::size_t size, std::align_val_t alignment) {
  return allocate(size, static_cast<std::size_t>(alignment));
}
void operator delete(void* block, std::align_val_t) noexcept { release(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { release(block); }
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { release(block); }

namespace korvane::engine {
namespace {

using clifford::Axis;
using testing::describe;
using testing::invariant_violation;
using testing::same_representation;
using testing::SeededSource;
using testing::StateVector;

// Refuses the allocation `index` (counting from 0) made while it lives.
class RefusedAllocation {
 public:
  explicit RefusedAllocation(long index) { allocations_before_failure.store(index); }
  RefusedAllocation(const RefusedAllocation&) = delete;
  RefusedAllocation& operator=(const RefusedAllocation&) = delete;
  ~RefusedAllocation() { allocations_before_failure.store(-1); }
  // Whether the refusal is still pending, i.e. the operation made fewer allocations.
  static bool pending() { return allocations_before_failure.load() >= 0; }
};

// Registers with dense, varied graphs and VOPs, in both storages and on the tableau, so
// reductions, toggles, growing neighbour sets and conversions all occur.
std::vector<Register> sample_registers() {
  constexpr Storage storages[] = {Storage::sparse, Storage::dense, Storage::tableau};
  std::vector<Register> samples;
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    SeededSource random(seed);
    Register reg(7, storages[seed % 3]);
    for (int step = 0; step < 40; ++step) {
      const Qubit a = random.below(7);
      const Qubit b = (a + 1 + random.below(6)) % 7;
      apply_controlled_pauli(reg, testing::controlled_gates()[random.below(9)].gate, a, b);
      reg.apply_clifford(random.below(7), static_cast<clifford::Vop>(random.below(24)));
    }
    samples.push_back(std::move(reg));
  }
  return samples;
}

// Runs `operation` on a copy of `original` once for every allocation point it reaches, refusing
// that allocation; `check_success` judges a completed run, `check_refusal` a refused one. Returns
// how many allocation points were found.
long exhaust_allocation_points(const Register& original,
                               const std::function<void(Register&)>& operation,
                               const std::function<void(const Register&)>& check_success,
                               const std::function<void(const Register&)>& check_refusal) {
  for (long index = 0;; ++index) {
    const long blocks_before = live_blocks.load();
    bool completed = false;
    {
      Register working = original;
      bool refused = false;
      try {
        const RefusedAllocation refusal(index);
        operation(working);
        completed = RefusedAllocation::pending();
      } catch (const std::bad_alloc&) {
        refused = true;
      }
      if (completed) {
        check_success(working);
      } else {
        EXPECT_TRUE(refused) << "allocation " << index << " was refused but the operation went on";
        EXPECT_EQ(invariant_violation(working), "")
            << "after refusing allocation " << index << ": " << describe(working);
        check_refusal(working);
      }
    }
    EXPECT_EQ(live_blocks.load(), blocks_before) << "leak with allocation " << index << " refused";
    if (completed || ::testing::Test::HasFailure()) return index;
  }
}

TEST(AllocationFailure, ControlledGatesCompleteOrThrowLeavingValidRegisters) {
  long points = 0;
  for (const Register& original : sample_registers()) {
    for (const auto& [name, gate] : testing::controlled_gates()) {
      for (Qubit control = 0; control < original.size(); control += 3) {
        const Qubit target = (control + 2) % original.size();
        StateVector expected = StateVector::from_register(original);
        expected.controlled(gate, control, target);
        points += exhaust_allocation_points(
            original, [&](Register& reg) { apply_controlled_pauli(reg, gate, control, target); },
            [&](const Register& reg) {
              EXPECT_TRUE(StateVector::from_register(reg).equal_up_to_phase(expected));
            },
            [](const Register&) {});
        if (HasFailure()) return;
      }
    }
  }
  EXPECT_GT(points, 0) << "no controlled gate allocated: the refusal paths went untested";
}

TEST(AllocationFailure, MeasurementsCompleteOrThrowLeavingValidRegisters) {
  long points = 0;
  for (const Register& original : sample_registers()) {
    for (const Axis axis : {Axis::X, Axis::Y, Axis::Z}) {
      for (Qubit q = 0; q < original.size(); ++q) {
        for (const bool forced : {false, true}) {
          // The outcome comes from the scripted word unless it is certain.
          auto source = testing::ScriptedSource(
              {forced ? testing::word_with_top_bit_set : testing::word_with_top_bit_clear});
          Register reference = original;
          const bool outcome = measure(reference, q, axis, source);
          StateVector expected = StateVector::from_register(original);
          expected.project(q, axis, outcome);
          bool replayed_outcome = !outcome;
          points += exhaust_allocation_points(
              original,
              [&](Register& reg) {
                auto replay = testing::ScriptedSource(
                    {forced ? testing::word_with_top_bit_set : testing::word_with_top_bit_clear});
                replayed_outcome = measure(reg, q, axis, replay);
              },
              [&](const Register& reg) {
                EXPECT_EQ(replayed_outcome, outcome);
                EXPECT_TRUE(StateVector::from_register(reg).equal_up_to_phase(expected));
              },
              [](const Register&) {});
          if (HasFailure()) return;
        }
      }
    }
  }
  EXPECT_GT(points, 0);
}

TEST(AllocationFailure, LocalComplementationCompletesOrThrows) {
  for (const Register& original : sample_registers()) {
    for (Qubit v = 0; v < original.size(); ++v) {
      const StateVector expected = StateVector::from_register(original);
      exhaust_allocation_points(
          original, [&](Register& reg) { local_complement(reg, v); },
          [&](const Register& reg) {
            EXPECT_TRUE(StateVector::from_register(reg).equal_up_to_phase(expected));
          },
          [](const Register&) {});
      if (HasFailure()) return;
    }
  }
}

TEST(AllocationFailure, ReadOnlyOperationsLeaveTheRegisterUntouched) {
  long points = 0;
  for (const Register& original : sample_registers()) {
    // Reading a register held as a tableau turns it into a graph: the original stays unread, so
    // that every copy starts as a tableau where it was one, and is compared with its graph.
    Register original_graph = original;
    original_graph.hold_graph();
    const auto unchanged = [&](const Register& reg) {
      EXPECT_TRUE(same_representation(reg, original_graph)) << describe(reg);
    };
    std::vector<Qubit> everyone(original.size());
    for (Qubit q = 0; q < everyone.size(); ++q) everyone[q] = everyone.size() - 1 - q;
    std::size_t outcome_count = 0;
    points += exhaust_allocation_points(
        original,
        [&](Register& reg) {
          SeededSource random(7);
          const Register& view = reg;
          outcome_count = peek_measure_set(view, everyone, random).size();
        },
        [&](const Register& reg) {
          unchanged(reg);
          EXPECT_EQ(outcome_count, everyone.size());
        },
        unchanged);
    for (Qubit q = 0; q < original.size(); ++q) {
      std::size_t group_size = 0;
      points += exhaust_allocation_points(
          original,
          [&](Register& reg) {
            const Register& view = reg;
            group_size = entangled_group(view, q).size();
          },
          [&](const Register& reg) {
            unchanged(reg);
            EXPECT_GE(group_size, 1U);
          },
          unchanged);
    }
    if (HasFailure()) return;
  }
  EXPECT_GT(points, 0);
}

// A refused matrix at the switch to dense storage keeps the graph in its sets, as it was, and
// gives its charge back.
TEST(AllocationFailure, RefusedSwitchToDenseKeepsTheSparseGraph) {
  Register original(200);
  SeededSource random(5);
  while (original.edge_count() < 150) {
    const Qubit a = random.below(200);
    testing::toggle_edge(original, a, (a + 1 + random.below(199)) % 200);
  }
  ASSERT_FALSE(original.is_dense());
  const std::size_t charged = dense_memory_charged();
  for (long index = 0;; ++index) {
    Register working = original;
    {
      const RefusedAllocation refusal(index);
      working.settle_storage();
      if (RefusedAllocation::pending()) {
        EXPECT_TRUE(working.is_dense());
        break;
      }
    }
    EXPECT_FALSE(working.is_dense()) << "allocation " << index;
    EXPECT_EQ(dense_memory_charged(), charged);
    EXPECT_TRUE(same_representation(working, original)) << "allocation " << index;
    if (HasFailure()) return;
  }
}

// Large changes among sets of high degree go side by side, preparing all their room first: a
// refusal anywhere leaves the graph as it was.
TEST(AllocationFailure, SideBySideChangesAreRefusedWholly) {
  // A hub of 40 neighbours in 3000 qubits, whose neighbours have few edges of their own and
  // become bit rows on the way.
  Register original(3000, Storage::sparse);
  SeededSource random(9);
  for (Qubit u = 1; u <= 40; ++u) {
    testing::toggle_edge(original, 0, u);
    testing::toggle_edge(original, u, 100 + random.below(2900));
    for (Qubit w = u + 1; w <= 40; ++w)
      if (random.below(4) == 0) testing::toggle_edge(original, u, w);
  }
  Register expected = original;
  local_complement(expected, 0);
  const long points = exhaust_allocation_points(
      original, [](Register& reg) { local_complement(reg, 0); },
      [&](const Register& reg) { EXPECT_TRUE(same_representation(reg, expected)); },
      [&](const Register& reg) { EXPECT_TRUE(same_representation(reg, original)); });
  // Room in each of the 40 sets is an allocation point of its own.
  EXPECT_GT(points, 40);
}

TEST(AllocationFailure, RefusedRegisterConstructionLeaksNothing) {
  // Small and huge-page arrays: 2^21 VOPs fill a huge page, as do 4096 dense rows.
  const std::function<Register()> constructions[] = {[] { return Register(1000); },
                                                     [] { return Register(std::size_t{1} << 21); },
                                                     [] { return Register(4096, Storage::dense); }};
  for (const auto& construct : constructions) {
    for (long index = 0; index < 3; ++index) {
      const long blocks_before = live_blocks.load();
      try {
        const RefusedAllocation refusal(index);
        construct();
      } catch (const std::bad_alloc&) {
      }
      EXPECT_EQ(live_blocks.load(), blocks_before)
          << "leak with allocation " << index << " refused";
    }
  }
}

TEST(AllocationFailure, HugePageBlocksOfSetsAreRefusedCleanly) {
  // Qubits in different blocks of a huge-page set table: a CZ allocates both blocks.
  const Qubit last = (Qubit{1} << 21) - 1;
  Register original(std::size_t{last} + 1);
  original.apply_clifford(0, clifford::hadamard);
  original.apply_clifford(last, clifford::hadamard);
  const long points = exhaust_allocation_points(
      original, [last](Register& reg) { cz(reg, 0, last); },
      [last](const Register& reg) { EXPECT_TRUE(reg.has_edge(0, last)); },
      [](const Register& reg) { EXPECT_EQ(reg.edge_count(), 0U); });
  EXPECT_GE(points, 2);
}

}  // namespace
}  // namespace korvane::engine
