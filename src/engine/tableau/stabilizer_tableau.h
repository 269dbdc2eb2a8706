// A stabilizer tableau of n qubits: n destabilizer and n stabilizer rows (Aaronson and Gottesman),
// kept by column: for each qubit, the x bits of all 2n rows, then their z bits; the signs form one
// more column. A two-qubit gate then changes two columns and the signs, n / 32 words each, where a
// graph state of high degree complements a neighbourhood row by row.
//
// The register keeps its VOPs beside the tableau as beside a graph: the state is the VOPs applied
// to the tableau's state, so single-qubit gates stay one table lookup, and a controlled gate
// conjugated by the VOPs becomes one controlled-Pauli gate on the tableau.
//
// Row order: destabilizer i at bit i of a column, stabilizer i at bit stabilizer_offset() + i; the
// stabilizers start at bit n when all 2n rows fit one word, at the first word after the
// destabilizers otherwise. Bits beyond the rows stay clear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "../../clifford/local_clifford.h"
#include "../base.h"
#include "../containers/large_array.h"
#include "../containers/memory_budget.h"
#include "column_kernels.h"

namespace korvane::engine {

// A measurement as the tableau saw it: the outcome bit, and the word operations it took.
struct TableauOutcome {
  bool outcome;
  std::size_t work;
};

class StabilizerTableau {
 public:
  // The work of a measurement, in the unit of a word XORed into a row: a row product costs this
  // much per word and qubit.
  static constexpr std::size_t measurement_word_work = 4;
  // A measurement visits every column for two rows' bits, a few words far apart: nearly free
  // while the tableau stays in the processor's caches, a wait for memory each once it does not.
  static constexpr std::size_t cached_column_work = 8;
  static constexpr std::size_t uncached_column_work = 100;
  static constexpr std::size_t cached_tableau_bytes = std::size_t{4} << 20;
  static std::size_t column_visit_work(std::size_t qubits) noexcept {
    return tableau_bytes(qubits) <= cached_tableau_bytes ? cached_column_work
                                                         : uncached_column_work;
  }

  // The graph state of `qubits` qubits without edges (|+> on each), charged `charge`.
  // Throws std::bad_alloc.
  StabilizerTableau(std::size_t qubits, MemoryCharge charge);

  // The bytes a tableau of `qubits` qubits takes (which must be addressable), and the words of
  // each of its columns.
  static std::size_t tableau_bytes(std::size_t qubits) noexcept;
  static std::size_t column_words_for(std::size_t qubits) noexcept;

  std::size_t qubits() const noexcept { return qubits_; }
  // Words of one column: every row's bit of one kind at one qubit.
  std::size_t column_words() const noexcept { return words_; }
  std::size_t stabilizer_offset() const noexcept { return stabilizer_offset_; }
  // The work of a two-qubit gate: four columns and the signs.
  std::size_t gate_work() const noexcept { return 5 * words_; }

  std::span<const Word> x_column(Qubit q) const noexcept { return {column(q), words_}; }
  std::span<const Word> z_column(Qubit q) const noexcept { return {column(q) + words_, words_}; }
  std::span<const Word> signs() const noexcept { return {signs_.data(), words_}; }

  // For filling a fresh tableau from a graph: toggles the edge a-b, or sets q's neighbours at
  // once from a row of words_for(qubits) words (q must have none yet). Stabilizer a of a graph
  // state is X_a Z_N(a), so q's neighbours are the stabilizers with Z at q.
  void toggle_graph_edge(Qubit a, Qubit b) noexcept;
  void set_graph_neighbors(Qubit q, std::span<const Word> row) noexcept;

  // The controlled-Pauli gate (I + P_a + Q_b - P_a Q_b) / 2 with unsigned Paulis P on a and Q on
  // b (a != b): CZ when both are Z.
  void controlled_pauli(clifford::Axis p, Qubit a, clifford::Axis q, Qubit b) noexcept {
    controlled_pauli_columns(column(a), column(b), signs_.data(), words_, PauliMasks::of(p),
                             PauliMasks::of(q));
  }

  // A measurement of `axis` on q in two steps: the first says whether the outcome is random
  // (some stabilizer anticommutes with it), the second completes it, with `outcome_if_random` as
  // the outcome if so; a determined outcome is read off the rows. Neither allocates.
  bool begin_measurement(Qubit q, clifford::Axis axis) noexcept;
  TableauOutcome end_measurement(bool outcome_if_random) noexcept;

 private:
  Word* column(Qubit q) noexcept { return data_.data() + 2 * q * words_; }
  const Word* column(Qubit q) const noexcept { return data_.data() + 2 * q * words_; }
  std::size_t stabilizer_row(Qubit i) const noexcept { return stabilizer_offset_ + i; }

  // Row r <- row r * row `pivot` for every r set in anticommuting_ (which must hold neither the
  // pivot nor its partner destabilizer), then the partner <- the pivot and the pivot cleared;
  // returns the work.
  std::size_t replace_pivot(std::size_t pivot, std::size_t partner) noexcept;
  // Asks for the words of two rows in a column (its x part, then its z part) ahead of their use.
  void prefetch_rows(const Word* column_x, std::size_t first_row,
                     std::size_t second_row) const noexcept;
  // The sign of the product of the stabilizers whose destabilizers are set in anticommuting_.
  bool product_sign() const noexcept;

  std::size_t qubits_;
  std::size_t words_;
  std::size_t stabilizer_offset_;
  MemoryCharge charge_;
  std::vector<Word, LargeArrayAllocator<Word>> data_;  // column q: x words, then z words
  std::vector<Word> signs_;
  // Working space for measurements, so that a measurement allocates nothing.
  std::vector<Word> anticommuting_;
  std::vector<Word> phase_low_;
  std::vector<Word> phase_high_;
  std::vector<std::uint32_t> touched_words_;  // the nonzero words of anticommuting_
  Qubit measured_qubit_ = 0;
  PauliBits measured_{};
  std::size_t pivot_ = 0;  // the first anticommuting stabilizer, or 0 when none is
  bool random_ = false;
};

}  // namespace korvane::engine
