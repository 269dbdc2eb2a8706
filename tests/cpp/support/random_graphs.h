// Registers holding random graphs with random VOPs, for checks that an operation is right on
// every kind of neighbourhood, in either storage.
#pragma once

#include <cstddef>

#include "edge_toggles.h"
#include "korvane/clifford/local_clifford.h"
#include "korvane/engine/register.h"
#include "scripted_source.h"

namespace korvane::testing {

// n qubits, each pair joined with probability `edge_percent` / 100, every VOP drawn uniformly.
inline engine::Register random_register(SeededSource& random, std::size_t n,
                                        std::size_t edge_percent, engine::Storage storage) {
  engine::Register reg(n, storage);
  for (std::size_t a = 0; a < n; ++a)
    for (std::size_t b = a + 1; b < n; ++b)
      if (random.below(100) < edge_percent) toggle_edge(reg, a, b);
  for (std::size_t q = 0; q < n; ++q)
    reg.set_vop(q, static_cast<clifford::Vop>(random.below(clifford::vop_count)));
  return reg;
}

inline constexpr engine::Storage both_storages[] = {engine::Storage::sparse,
                                                    engine::Storage::dense};

}  // namespace korvane::testing
