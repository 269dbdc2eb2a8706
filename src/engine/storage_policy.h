// Which adjacency storage a register keeps: a set per vertex (sparse) or a bit matrix (dense).
// Every choice between them is made here, by cost and by memory: the matrix is taken when the
// graph is dense enough that row XORs beat toggles of single pairs, and only while its N^2 / 8
// bytes fit the process's budget for matrices (containers/memory_budget.h).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace korvane::engine {

enum class Storage : std::uint8_t {
  automatic,  // chosen by size, density and memory, and changed as the graph changes
  sparse,     // always a set per vertex
  dense,      // always a bit matrix (for tests and small registers)
  tableau,    // gates and measurements always on a stabilizer tableau, the graph only for reads
};

// The densities at which an automatic register changes storage. The defaults come from the
// storage benchmark (bench/README.md); tests lower them so that small registers change too.
struct StorageThresholds {
  // Up to this many qubits a row is one word: the matrix is then smaller and faster than sets
  // whatever the graph, and kept throughout.
  std::size_t always_dense_qubits = 64;
  // The mean degree at which the graph turns dense is N / small_qubits_per_degree (at least 1)
  // up to least_dense_degree, then N / qubits_per_dense_degree: a complementation of degree d
  // costs d row XORs of N / 64 words, against d^2 / 2 toggles of about ten words' cost each, and
  // the measured crossover lies at mean degree 6 to 10 for N = 10^4 .. 4 * 10^4, rising slowly.
  std::size_t small_qubits_per_degree = 1024;
  std::size_t least_dense_degree = 8;
  std::size_t qubits_per_dense_degree = 8192;
  // A dense graph turns sparse again below this fraction of that mean degree, so that a graph
  // near the limit does not move back and forth.
  std::size_t sparse_again_below = 4;

  // Every threshold of the choice between a graph and a tableau is divided by this (tests make it
  // large, so that small registers switch often).
  std::size_t tableau_threshold_divisor = 1;

  // Whether a register of `qubits` qubits starts with the bit matrix.
  constexpr bool starts_dense(Storage storage, std::size_t qubits) const {
    return storage == Storage::dense ||
           (storage == Storage::automatic && qubits > 0 && qubits <= always_dense_qubits);
  }

  // Whether the storage of a register of `qubits` qubits may change as its graph does.
  constexpr bool storage_may_change(Storage storage, std::size_t qubits) const {
    return storage == Storage::automatic && qubits > always_dense_qubits;
  }

  // The mean degree from which a graph on `qubits` qubits is worth a matrix.
  constexpr std::size_t dense_mean_degree(std::size_t qubits) const {
    const std::size_t small = std::max<std::size_t>(1, qubits / small_qubits_per_degree);
    const std::size_t large = std::max(least_dense_degree, qubits / qubits_per_dense_degree);
    return std::min(small, large);
  }

  // Whether a graph of `edges` edges on `qubits` qubits is to be kept dense by cost, given
  // whether it is dense now (the memory is asked for separately).
  constexpr bool keeps_dense(std::size_t qubits, std::size_t edges, bool dense_now) const {
    const std::size_t dense_degree_sum = qubits * dense_mean_degree(qubits);
    const std::size_t degree_sum = 2 * edges;
    return dense_now ? sparse_again_below * degree_sum >= dense_degree_sum
                     : degree_sum >= dense_degree_sum;
  }
};

}  // namespace korvane::engine
