// When a register holds its state as a stabilizer tableau instead of a graph.
//
// Both representations count the work their operations do, in word operations. While the state
// is a graph, the work of each gate and measurement beyond an estimate of what the tableau would
// have done for it accumulates (never below zero); once it exceeds the entry threshold, the state
// moves to the tableau. While it is a tableau, the work beyond an estimate of the graph's
// accumulates the same way, and past the cost of converting back the state returns to a graph.
// Every switch is thus paid for by at least its own cost in work the other representation would
// have saved, so alternation cannot thrash. A conversion forced by a read of the graph raises the
// entry threshold to the cost of such a conversion, so forced ones are paid for as well from then
// on.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "stabilizer_tableau.h"

namespace korvane::engine {

enum class OperationKind : std::uint8_t { gate, measurement };

class RepresentationPolicy {
 public:
  // Costs on `qubits` qubits: a tableau column of `column_words`, a graph row of `row_words`,
  // conversions to the tableau (`entry_cost`) and back (`return_cost`). `divisor` shrinks every
  // threshold (tests make small registers switch often).
  RepresentationPolicy(std::size_t qubits, std::size_t column_words, std::size_t row_words,
                       std::size_t entry_cost, std::size_t return_cost, std::size_t divisor)
      : qubits_(qubits),
        column_words_(column_words),
        row_words_(row_words),
        return_cost_(return_cost / divisor),
        entry_threshold_(entry_cost / divisor) {}

  // A graph operation that did `work`; true when the state should move to the tableau now.
  bool after_graph_operation(OperationKind kind, std::size_t work) noexcept {
    if (kind == OperationKind::gate) {
      gate_work_ = (gate_work_ * (average_weight - 1) + work) / average_weight;
    }
    return accumulate(work, tableau_estimate(kind)) > entry_threshold_;
  }

  // A tableau operation that did `work`; true when the state should return to a graph now.
  bool after_tableau_operation(OperationKind kind, std::size_t work) noexcept {
    return accumulate(work, graph_estimate(kind)) > return_cost_;
  }

  // The state moved to the tableau while the graph had `edges` edges.
  void entered_tableau(std::size_t edges) noexcept {
    excess_ = 0;
    mean_degree_ = qubits_ == 0 ? 0 : 2 * edges / qubits_;
  }

  // The state returned to a graph, by this policy or for a read of the graph: from now on a
  // move to the tableau waits until the graph has done as much work beyond it as a return costs.
  void returned_to_graph() noexcept {
    excess_ = 0;
    entry_threshold_ = std::max(entry_threshold_, return_cost_);
  }

  // The tableau's work for a gate, and a bound on its work for a measurement.
  std::size_t tableau_estimate(OperationKind kind) const noexcept {
    return kind == OperationKind::gate ? tableau_gate_columns * column_words_ + operation_overhead
                                       : StabilizerTableau::measurement_word_work * qubits_ *
                                             column_words_ / measurement_spread;
  }

 private:
  // A gate reads and writes four columns and the signs.
  static constexpr std::size_t tableau_gate_columns = 5;
  // A measurement is assumed to multiply its pivot into rows over half of the tableau.
  static constexpr std::size_t measurement_spread = 2;
  static constexpr std::size_t operation_overhead = 8;
  static constexpr std::size_t average_weight = 16;

  std::size_t graph_estimate(OperationKind kind) const noexcept {
    return kind == OperationKind::gate ? gate_work_
                                       : mean_degree_ * row_words_ + operation_overhead;
  }

  std::size_t accumulate(std::size_t work, std::size_t other) noexcept {
    excess_ = work + excess_ > other ? work + excess_ - other : 0;
    return excess_;
  }

  std::size_t qubits_;
  std::size_t column_words_;
  std::size_t row_words_;
  std::size_t return_cost_;
  std::size_t entry_threshold_;
  std::size_t excess_ = 0;
  std::size_t gate_work_ = 0;  // a running average of the graph's work per gate
  std::size_t mean_degree_ = 0;
};

}  // namespace korvane::engine
