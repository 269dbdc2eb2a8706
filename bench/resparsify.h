// Re-sparsification: rewrites a register's graph into an equivalent one with fewer edges,
// leaving the represented state as it is.
//
// Local complementation about v toggles every pair of v's neighbours and changes VOPs so that
// the state stays the same; all graphs reachable that way stand for the same state with other
// VOPs. Operations cost in the degrees they meet, so a sparser member of that family is cheaper
// to work on. States made by circuits on nearby qubits carry little entanglement across any cut
// of the line, yet the controlled-Z and measurement rules fill their graphs in; sparser
// equivalent graphs then exist (a complete graph is a star after one complementation).
//
// The search is greedy: a complementation about v is made when more pairs of v's neighbours are
// joined than not, a pivot about an edge when more pairs across its classes are joined than not,
// so the edge count only falls. Research code for the storage benchmark, written against the
// register's public interface alone; the engine does not use it (bench/README.md says why).
#pragma once

#include <cstddef>
#include <span>

#include "korvane/engine/register.h"

namespace korvane::bench {

using engine::Qubit;
using engine::Register;

struct ResparsifyFigures {
  std::size_t edges_before = 0;
  std::size_t edges_after = 0;
  std::size_t complementations = 0;
  std::size_t pivots = 0;
  std::size_t examined = 0;  // vertices examined for a move
};

// Local complementation about v through the register's public interface, the state unchanged.
void complement_about(Register& reg, Qubit v);

// Rewrites the graph greedily: every vertex is examined, and examined again whenever a move
// changed its neighbourhood, until no complementation about a vertex and no pivot with one of
// its first few neighbours removes edges.
ResparsifyFigures resparsify(Register& reg);

// The same search started from `seeds` only (for example the operands of the last operation):
// it spreads to the vertices whose neighbourhoods its moves change.
ResparsifyFigures resparsify_around(Register& reg, std::span<const Qubit> seeds);

}  // namespace korvane::bench
