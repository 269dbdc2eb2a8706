// Which adjacency storage a register keeps: a set per vertex (sparse) or a bit matrix (dense).
// Every choice between them is made here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace korvane::engine {

enum class Storage : std::uint8_t {
  automatic,  // chosen by size and density, and changed as the graph changes
  sparse,     // always a set per vertex
  dense,      // always a bit matrix (for tests and small registers)
};

// Up to 64 qubits a row is one word: dense storage is then smaller and faster than sets.
inline constexpr std::size_t always_dense_qubits = 64;
// Beyond this the matrix (N^2 / 8 bytes, 128 MiB here) is not worth its memory.
inline constexpr std::size_t largest_dense_qubits = 32768;

// Whether a register of `qubits` qubits starts with the bit matrix.
constexpr bool starts_dense(Storage storage, std::size_t qubits) {
  return storage == Storage::dense ||
         (storage == Storage::automatic && qubits > 0 && qubits <= always_dense_qubits);
}

// Whether the storage of a register of `qubits` qubits may change as its graph does.
constexpr bool storage_may_change(Storage storage, std::size_t qubits) {
  return storage == Storage::automatic && qubits > always_dense_qubits &&
         qubits <= largest_dense_qubits;
}

// Mean degree at which the graph turns dense: one per this many qubits, and at least one. There,
// complementing a neighbourhood of d vertices costs d row XORs of N/64 words instead of d^2/2
// toggles, and the matrix costs no more than about twice the sets it replaces.
inline constexpr std::size_t qubits_per_dense_degree = 1024;
// A dense graph turns sparse again below this fraction of that mean degree, so that a graph near
// the limit does not move back and forth.
inline constexpr std::size_t sparse_again_below = 4;

// Whether a graph of `edges` edges on `qubits` qubits is to be kept dense, given whether it is
// dense now.
constexpr bool keeps_dense(std::size_t qubits, std::size_t edges, bool dense_now) {
  const std::size_t dense_degree_sum =
      qubits * std::max<std::size_t>(1, qubits / qubits_per_dense_degree);
  const std::size_t degree_sum = 2 * edges;
  return dense_now ? sparse_again_below * degree_sum >= dense_degree_sum
                   : degree_sum >= dense_degree_sum;
}

}  // namespace korvane::engine
