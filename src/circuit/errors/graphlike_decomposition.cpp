#include "graphlike_decomposition.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "../../engine/base.h"

namespace korvane::circuit {
namespace {

constexpr std::size_t graphlike_detectors = 2;
// Bounds on the search for one part's decomposition.
constexpr std::size_t deepest_search = 12;
constexpr std::size_t search_budget = 20000;

bool is_graphlike(const Symptoms& symptoms) {
  return detector_count(symptoms) <= graphlike_detectors;
}

Symptoms detectors_of(const Symptoms& symptoms) {
  Symptoms detectors;
  std::copy_if(symptoms.begin(), symptoms.end(), std::back_inserter(detectors),
               [](DemTarget t) { return is_detector(t); });
  return detectors;
}

Symptoms xor_all(const std::vector<Symptoms>& parts) {
  Symptoms total, scratch;
  for (const Symptoms& part : parts) xor_into(total, part, scratch);
  return total;
}

// The graphlike effects that errors of the model have on their own: by their detectors, the
// observables that come with them.
class KnownEffects {
 public:
  void add(const Symptoms& symptoms) {
    if (symptoms.empty() || !is_graphlike(symptoms)) return;
    Symptoms detectors = detectors_of(symptoms);
    if (detectors.empty()) return;
    std::vector<Symptoms>& entry = by_detectors_[detectors];
    if (std::find(entry.begin(), entry.end(), symptoms) == entry.end()) entry.push_back(symptoms);
  }

  void add_items(const std::vector<FoundItem>& items, std::int64_t shift) {
    for (const FoundItem& item : items) {
      if (item.kind == FoundKind::error) {
        add(shifted(item.error.symptoms, shift));
        add(shifted(xor_all(item.error.x_parts), shift));
        add(shifted(xor_all(item.error.z_parts), shift));
      } else if (item.kind == FoundKind::loop) {
        // Neighbouring iterations too: an error may be explained by parts of the next one.
        for (const std::int64_t step : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{1}}) {
          add_items(item.body, shift + step * static_cast<std::int64_t>(item.period));
        }
      }
    }
  }

  const std::vector<Symptoms>* find(const Symptoms& detectors) const {
    const auto found = by_detectors_.find(detectors);
    return found == by_detectors_.end() ? nullptr : &found->second;
  }

  bool contains(const Symptoms& symptoms) const {
    const std::vector<Symptoms>* entry = find(detectors_of(symptoms));
    return entry != nullptr && std::find(entry->begin(), entry->end(), symptoms) != entry->end();
  }

 private:
  static Symptoms shifted(Symptoms symptoms, std::int64_t shift) {
    for (DemTarget& target : symptoms) {
      if (!is_detector(target)) continue;
      const std::int64_t moved = static_cast<std::int64_t>(target) + shift;
      if (moved < 0) return {};
      target = static_cast<DemTarget>(moved);
    }
    return symptoms;
  }

  std::unordered_map<Symptoms, std::vector<Symptoms>, SymptomsHash> by_detectors_;
};

class Decomposer {
 public:
  Decomposer(const KnownEffects& known, const Program& program)
      : known_(known), program_(program) {}

  void run(std::vector<FoundItem>& items) {
    for (FoundItem& item : items) {
      if (item.kind == FoundKind::error) decompose(item.error);
      if (item.kind == FoundKind::loop) run(item.body);
    }
  }

 private:
  void decompose(FoundError& error) {
    const Symptoms x_part = xor_all(error.x_parts);
    const Symptoms z_part = xor_all(error.z_parts);
    std::vector<Symptoms> components;
    if (!x_part.empty() && !z_part.empty()) {
      split(x_part, error.x_parts, error, components);
      split(z_part, error.z_parts, error, components);
    } else if (!is_graphlike(error.symptoms)) {
      split(error.symptoms, x_part.empty() ? error.z_parts : error.x_parts, error, components);
    }
    fold_detectorless(components);
    if (components.size() > 1) error.components = std::move(components);
  }

  // A part with observables and no detector joins the part before it (or after it).
  static void fold_detectorless(std::vector<Symptoms>& components) {
    Symptoms scratch;
    for (std::size_t i = 0; i < components.size() && components.size() > 1;) {
      if (detector_count(components[i]) != 0) {
        ++i;
        continue;
      }
      xor_into(components[i == 0 ? 1 : i - 1], components[i], scratch);
      components.erase(components.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }

  // Graphlike parts of `part` (whose qubit by qubit parts are `atoms`) appended to `into`.
  void split(const Symptoms& part, const std::vector<Symptoms>& atoms, const FoundError& error,
             std::vector<Symptoms>& into) {
    if (is_graphlike(part)) {
      into.push_back(part);
      return;
    }
    if (atoms.size() > 1 && std::all_of(atoms.begin(), atoms.end(),
                                        [](const Symptoms& a) { return is_graphlike(a); })) {
      for (const Symptoms& atom : atoms) {
        if (!atom.empty()) into.push_back(atom);
      }
      return;
    }
    for (const bool allow_remnant : {false, true}) {
      std::vector<Symptoms> found;
      budget_ = search_budget;
      if (search(part, allow_remnant, 0, found)) {
        into.insert(into.end(), found.begin(), found.end());
        return;
      }
    }
    throw engine::InvalidInput(
        "line " + std::to_string(program_.lines[error.instruction]) + ": an error of " +
        std::string(gate_of(program_.instructions[error.instruction].gate).name) + " flips " +
        std::to_string(detector_count(error.symptoms)) +
        " detectors and has no decomposition into parts of at most two detectors "
        "that the model's other errors explain");
  }

  // Depth-first: the lowest detector left, unless set aside for the remnant, must belong to a
  // known effect among the detectors left; with `allow_remnant`, up to two detectors may be set
  // aside, to end as the one part no other error explains.
  bool search(const Symptoms& remaining, bool allow_remnant, std::size_t depth,
              std::vector<Symptoms>& found, const Symptoms& set_aside = {}) {
    if (budget_ == 0) return false;
    --budget_;
    if (is_graphlike(remaining)) {
      if (remaining.empty()) return true;
      if (!allow_remnant && !known_.contains(remaining)) return false;
      found.push_back(remaining);
      return true;
    }
    if (depth == deepest_search) return false;
    Symptoms detectors;
    for (const DemTarget target : detectors_of(remaining)) {
      if (std::find(set_aside.begin(), set_aside.end(), target) == set_aside.end()) {
        detectors.push_back(target);
      }
    }
    Symptoms key{detectors.front()};
    Symptoms scratch;
    for (std::size_t partner = 0; partner < detectors.size(); ++partner) {
      key.resize(1);
      if (partner != 0) key.push_back(detectors[partner]);
      const std::vector<Symptoms>* effects = known_.find(key);
      if (effects == nullptr) continue;
      for (const Symptoms& effect : *effects) {
        Symptoms rest = remaining;
        xor_into(rest, effect, scratch);
        found.push_back(effect);
        if (search(rest, allow_remnant, depth + 1, found, set_aside)) return true;
        found.pop_back();
      }
    }
    if (!allow_remnant || set_aside.size() == graphlike_detectors) return false;
    Symptoms wider = set_aside;
    wider.push_back(detectors.front());
    return search(remaining, allow_remnant, depth + 1, found, wider);
  }

  const KnownEffects& known_;
  const Program& program_;
  std::size_t budget_ = 0;
};

}  // namespace

void decompose_errors(std::vector<FoundItem>& items, const Program& program) {
  KnownEffects known;
  known.add_items(items, 0);
  Decomposer(known, program).run(items);
}

}  // namespace korvane::circuit
