// A set of detectors and observables (DemTargets), kept sorted: what an error flips. Two errors
// together flip the symmetric difference of their sets.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <iterator>
#include <span>
#include <vector>

#include "detector_error_model.h"

namespace korvane::circuit {

using Symptoms = std::vector<DemTarget>;

// into ^= other; `scratch` is working space that keeps its capacity between calls.
inline void xor_into(Symptoms& into, std::span<const DemTarget> other, Symptoms& scratch) {
  if (other.empty()) return;
  scratch.clear();
  std::set_symmetric_difference(into.begin(), into.end(), other.begin(), other.end(),
                                std::back_inserter(scratch));
  into.swap(scratch);
}

// Adds or removes one target.
inline void toggle(Symptoms& symptoms, DemTarget target) {
  const auto found = std::lower_bound(symptoms.begin(), symptoms.end(), target);
  if (found != symptoms.end() && *found == target) {
    symptoms.erase(found);
  } else {
    symptoms.insert(found, target);
  }
}

inline std::size_t detector_count(std::span<const DemTarget> symptoms) {
  return static_cast<std::size_t>(
      std::count_if(symptoms.begin(), symptoms.end(), [](DemTarget t) { return is_detector(t); }));
}

struct SymptomsHash {
  std::size_t operator()(const Symptoms& symptoms) const noexcept {
    std::size_t hash = symptoms.size();
    for (const DemTarget target : symptoms) {
      hash ^= std::hash<DemTarget>{}(target) + 0x9E3779B97F4A7C15ULL + (hash << 6U) + (hash >> 2U);
    }
    return hash;
  }
};

}  // namespace korvane::circuit
