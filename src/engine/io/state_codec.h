// The saved form of a register: compact, versioned, and checked in full when loaded, because
// loading is where bytes from outside become a register.
//
//   mark       4 bytes "KRVN"
//   version    1 byte, saved_state_version
//   N          varint: the number of qubits
//   E          varint: the number of edges
//   VOPs       N bytes, qubit 0 first, each below 24
//   adjacency  for each qubit a in increasing order: a varint k, the number of its neighbours
//              above a, then k varints, each the step from the previous neighbour (from a itself
//              for the first) to the next, in increasing order: every step is at least 1, a 0
//              would be a self-loop or a repeated edge
//   checksum   4 bytes: CRC-32 (as zlib computes it) of everything before it, little-endian
//
// A varint is LEB128: seven bits a byte, lowest first, the top bit set on all but the last byte.
// Each edge is stored once, from its smaller end, so a loaded graph is symmetric by
// construction. A cluster wire takes 3 bytes a qubit, a fresh register 2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "../register.h"

namespace korvane::engine {

inline constexpr std::uint8_t saved_state_version = 1;

// The saved form of `reg`. Throws std::bad_alloc.
std::vector<std::uint8_t> save_state(const Register& reg);

// The register saved in `size` bytes at `data`, with automatic storage. Throws InvalidInput,
// naming the first thing wrong, for anything that save_state cannot have written; sizes declared
// in the data are compared with the bytes that follow them before anything is allocated, so a
// hostile input cannot make it allocate more than a small multiple of its own length.
Register load_state(const std::uint8_t* data, std::size_t size);

}  // namespace korvane::engine
