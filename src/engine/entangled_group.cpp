#include "engine/entangled_group.h"

#include <algorithm>
#include <cstddef>

#include "engine/bit_row.h"
#include "engine/neighbor_set.h"

namespace korvane::engine {
namespace {

// The qubits found so far: a NeighborSet while few (no storage of its own for two, a short
// array for a few), a bit per qubit of the register once the group is large enough for that to
// take less room.
class FoundSet {
 public:
  explicit FoundSet(std::size_t register_size) : register_size_(register_size) {}

  // Adds q; false when it was there already.
  bool insert(Qubit q) {
    if (!bits_.empty()) {
      if (test_bit(bits_.data(), q)) return false;
      flip_bit(bits_.data(), q);
      return true;
    }
    if (few_.contains(q)) return false;
    if (few_.size() >= std::max<std::size_t>(NeighborSet::small_capacity, register_size_ / 64)) {
      bits_.resize((register_size_ + 63) / 64);
      few_.for_each([this](Qubit x) { flip_bit(bits_.data(), x); });
      few_.clear();
      flip_bit(bits_.data(), q);
      return true;
    }
    few_.reserve_one_more(register_size_);
    few_.insert_reserved(q);
    return true;
  }

 private:
  std::size_t register_size_;
  NeighborSet few_;
  std::vector<Word> bits_;
};

}  // namespace

std::vector<Qubit> entangled_group(const Register& reg, Qubit q) {
  reg.check_index(q);
  // The found qubits in discovery order double as the queue: the front is at `next`.
  std::vector<Qubit> found_order{q};
  if (reg.degree(q) == 0) return found_order;
  FoundSet found(reg.size());
  found.insert(q);
  for (std::size_t next = 0; next < found_order.size(); ++next) {
    reg.for_each_neighbor(found_order[next], [&](Qubit x) {
      if (found.insert(x)) found_order.push_back(x);
    });
  }
  return found_order;
}

}  // namespace korvane::engine
