#include "graph_form.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <utility>

#include "../bits/bit_row.h"
#include "../bits/bit_tile.h"
#include "../containers/pauli_rows.h"

namespace korvane::engine {
namespace {

using clifford::Vop;

// The stabilizers of a tableau by row, for elimination.
class StabilizerRows : public PauliRows {
 public:
  explicit StabilizerRows(const StabilizerTableau& tableau) : PauliRows(tableau.qubits()) {
    transpose_from(tableau);
  }

  // Makes `pivot` the only row with the X bit of q: every other row with it takes the pivot in.
  void clear_x_column(Qubit q, std::size_t pivot) {
    for (std::size_t r = 0; r < qubits(); ++r) {
      if (r != pivot && x_bit(r, q)) multiply(r, pivot);
    }
  }

  // The first row from `from` on with the X bit of q, or qubits() when none has it.
  std::size_t find_x(Qubit q, std::size_t from) const {
    for (std::size_t r = from; r < qubits(); ++r)
      if (x_bit(r, q)) return r;
    return qubits();
  }

  // Conjugation by H on every qubit in `mask`: X and Z bits swap, and Y turns into -Y.
  void hadamard_on(const std::vector<Word>& mask) {
    for (std::size_t r = 0; r < qubits(); ++r) {
      Word* const xr = x(r);
      Word* const zr = z(r);
      std::size_t ys = 0;
      for (std::size_t w = 0; w < words(); ++w) {
        ys += count_bits(xr[w] & zr[w] & mask[w]);
        const Word swapped = (xr[w] ^ zr[w]) & mask[w];
        xr[w] ^= swapped;
        zr[w] ^= swapped;
      }
      set_negative(r, negative(r) != (ys % 2 == 1));
    }
  }

 private:
  void transpose_from(const StabilizerTableau& tableau) {
    const std::size_t offset = tableau.stabilizer_offset();
    const std::size_t n = qubits();
    BitTile block{};
    for (std::size_t row_block = 0; row_block < words(); ++row_block) {
      for (std::size_t qubit_block = 0; qubit_block < words(); ++qubit_block) {
        for (const bool z_part : {false, true}) {
          // Word j of the block: the stabilizers of this row block at qubit 64 qubit_block + j.
          for (std::size_t j = 0; j < word_bits; ++j) {
            const Qubit q = qubit_block * word_bits + j;
            block[j] = q < n ? stabilizer_word(tableau, q, z_part, offset, row_block) : 0;
          }
          transpose(block);
          for (std::size_t i = 0; i < word_bits; ++i) {
            const std::size_t r = row_block * word_bits + i;
            if (r < n) (z_part ? z(r) : x(r))[qubit_block] = block[i];
          }
        }
      }
      for (std::size_t i = 0; i < word_bits; ++i) {
        const std::size_t r = row_block * word_bits + i;
        if (r < n) set_negative(r, stabilizer_bit(tableau.signs(), offset + r));
      }
    }
  }

  static bool stabilizer_bit(std::span<const Word> column, std::size_t bit) {
    return (column[bit / word_bits] & bit_of(bit)) != 0;
  }

  // Bits 64 row_block .. + 63 of the stabilizers in one column of the tableau.
  Word stabilizer_word(const StabilizerTableau& tableau, Qubit q, bool z_part, std::size_t offset,
                       std::size_t row_block) const {
    const std::span<const Word> column = z_part ? tableau.z_column(q) : tableau.x_column(q);
    if (tableau.column_words() == 1) {
      const Word rows = column[0] >> offset;
      return qubits() == word_bits ? rows : rows & ((Word{1} << qubits()) - 1);
    }
    return column[offset / word_bits + row_block];
  }
};

constexpr Vop power_of(Vop gate, bool applied) { return applied ? gate : clifford::identity; }

}  // namespace

GraphForm graph_form(const StabilizerTableau& tableau) {
  const std::size_t n = tableau.qubits();
  StabilizerRows rows(tableau);
  const std::size_t words = rows.words();
  // The row that singles out each qubit's X bit, once found.
  std::vector<std::size_t> pivot_row(n, n);
  std::size_t next = 0;
  for (Qubit q = 0; q < n; ++q) {
    const std::size_t found = rows.find_x(q, next);
    if (found == n) continue;
    rows.swap_rows(found, next);
    rows.clear_x_column(q, next);
    pivot_row[q] = next++;
  }
  // The rows left have no X part; their Z parts at the qubits without a pivot are independent
  // (a Z-only stabilizer commutes with every pivot row, so it cannot live on pivot qubits
  // alone). A Hadamard on those qubits makes them X parts, and the elimination goes on.
  std::vector<Word> unpivoted(words, 0);
  for (Qubit q = 0; q < n; ++q)
    if (pivot_row[q] == n) unpivoted[q / word_bits] |= bit_of(q);
  rows.hadamard_on(unpivoted);
  for (Qubit q = 0; q < n; ++q) {
    if (pivot_row[q] != n) continue;
    const std::size_t found = rows.find_x(q, next);
    if (found == n) throw std::logic_error("the tableau's stabilizers are not independent");
    rows.swap_rows(found, next);
    rows.clear_x_column(q, next);
    pivot_row[q] = next++;
  }
  GraphForm form{n, words, std::vector<Word>(n * words), std::vector<Vop>(n)};
  for (Qubit q = 0; q < n; ++q) {
    const std::size_t r = pivot_row[q];
    const bool y_on_diagonal = rows.z_bit(r, q);
    Word* const neighbors = form.adjacency.data() + q * words;
    std::copy(rows.z(r), rows.z(r) + words, neighbors);
    neighbors[q / word_bits] &= ~bit_of(q);
    // The tableau's state is U^dagger times the graph state, U = Z^sign S^dagger^y H^h.
    const Vop u = clifford::product(
        clifford::product(power_of(clifford::pauli_z, rows.negative(r)),
                          power_of(clifford::s_dagger, y_on_diagonal)),
        power_of(clifford::hadamard, (unpivoted[q / word_bits] & bit_of(q)) != 0));
    form.local_cliffords[q] = clifford::adjoint(u);
  }
  return form;
}

std::size_t graph_form_cost(std::size_t qubits) noexcept {
  // n pivots, each taken into about half the rows, rows of 2 words_for(n) words.
  return qubits * (qubits / 2 + 1) * 2 * words_for(qubits) + qubits * words_for(qubits);
}

}  // namespace korvane::engine
