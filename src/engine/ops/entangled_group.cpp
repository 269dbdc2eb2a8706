#include "entangled_group.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "../bits/bit_row.h"
#include "../containers/neighbor_set.h"

namespace korvane::engine {
namespace {

// The qubits found so far: a NeighborSet while few (no storage of its own for two, a short
// array for a few), a bit per qubit of the register once the group would take more room than
// that.
class FoundSet {
 public:
  explicit FoundSet(std::size_t register_size)
      : register_size_(register_size),
        few_limit_(std::max(NeighborSet::packed_capacity, register_size / word_bits)) {}

  // Adds q; false when it was there already.
  bool insert(Qubit q) {
    if (!bits_.empty()) {
      if (test_bit(bits_, q)) return false;
      set_bit(bits_, q);
      return true;
    }
    if (few_.contains(q)) return false;
    if (few_.size() >= few_limit_) {
      bits_.resize(words_for(register_size_));
      few_.for_each([this](Qubit x) { set_bit(bits_, x); });
      few_.clear();
      set_bit(bits_, q);
      return true;
    }
    few_.reserve_one_more(register_size_);
    few_.insert_reserved(q);
    return true;
  }

 private:
  std::size_t register_size_;
  std::size_t few_limit_;
  NeighborSet few_;
  std::vector<Word> bits_;
};

}  // namespace

std::vector<Qubit> entangled_group(const Register& reg, Qubit q) {
  return reg.inspect({q}, [&](const auto& graph) {
    // The found qubits in discovery order double as the queue: the front is at `next`.
    std::vector<Qubit> found_order{q};
    if (graph.degree(q) == 0) return found_order;
    FoundSet found(reg.size());
    found.insert(q);
    for (std::size_t next = 0; next < found_order.size(); ++next) {
      graph.for_each_neighbor(found_order[next], [&](Qubit x) {
        if (found.insert(x)) found_order.push_back(x);
      });
    }
    return found_order;
  });
}

}  // namespace korvane::engine
