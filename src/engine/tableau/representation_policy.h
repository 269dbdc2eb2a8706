// When a register holds its state as a stabilizer tableau instead of a graph.
//
// Both representations count the work their operations do, in word operations, and each
// operation is compared with an estimate of what the other representation would have done for
// it; the estimate of a measurement on the tableau is what measurements cost during the last
// stay there, once there was one, and before that the row products that a tableau made from this
// graph would do. While the state is a graph, the differences add up in a balance
// that gates on a dense graph raise and measurements (dear on a tableau) lower, down to a floor of
// many times the entry threshold (gates cheaper on the graph lower it to zero at most): once the
// balance exceeds the threshold, the state moves to the tableau. A circuit that measures often thus
// keeps its graph however its gates fall, and one that stops measuring moves after a bounded delay.
// While the state is a tableau, the balance of its work beyond the graph's starts from zero and
// never falls below it; past the cost of converting back, the state returns to a graph. Every
// return is thus paid for by at least its own cost in work the graph would have saved, so
// alternation cannot thrash; and after any return, whether by this policy or forced by a read of
// the graph, the entry threshold is raised to the cost of a return, so later entries are paid for
// as well.
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
        return_cost_(signed_work(return_cost / divisor)),
        entry_threshold_(signed_work(entry_cost / divisor)) {}

  // A graph operation that did `work`; true when the state should move to the tableau now.
  bool after_graph_operation(OperationKind kind, std::size_t work) noexcept {
    if (kind == OperationKind::gate) {
      gate_work_ = (gate_work_ * (average_weight - 1) + work) / average_weight;
    }
    const std::ptrdiff_t change = signed_work(work) - signed_work(tableau_estimate(kind, work));
    // Only measurements build credit against the tableau: a gate that was cheaper on the graph
    // says nothing about the gates to come, which grow dearer as the graph fills in.
    const std::ptrdiff_t floor = kind == OperationKind::measurement
                                     ? -credit_factor * entry_threshold_
                                     : std::min<std::ptrdiff_t>(balance_, 0);
    balance_ = std::max(balance_ + change, floor);
    return balance_ > entry_threshold_;
  }

  // A tableau operation that did `work`; true when the state should return to a graph now.
  bool after_tableau_operation(OperationKind kind, std::size_t work) noexcept {
    if (kind == OperationKind::measurement) {
      stint_measurement_work_ += work;
      ++stint_measurements_;
    }
    balance_ = std::max<std::ptrdiff_t>(
        balance_ + signed_work(work) - signed_work(graph_estimate(kind)), 0);
    return balance_ > return_cost_;
  }

  // The state moved to the tableau while the graph had `edges` edges.
  void entered_tableau(std::size_t edges) noexcept {
    balance_ = 0;
    mean_degree_ = qubits_ == 0 ? 0 : 2 * edges / qubits_;
    stint_measurement_work_ = 0;
    stint_measurements_ = 0;
  }

  // The state returned to a graph, by this policy or for a read of the graph. What measurements
  // cost on the tableau is known from now on, as their mean over the stay.
  void returned_to_graph() noexcept {
    balance_ = 0;
    entry_threshold_ = std::max(entry_threshold_, return_cost_);
    if (stint_measurements_ != 0) {
      known_measurement_work_ = stint_measurement_work_ / stint_measurements_;
    }
  }

  // The tableau's work for a gate, and an estimate of it for a measurement that did
  // `graph_work` on the graph: what measurements cost during the last stay on the tableau, or
  // before any, a visit to every column and the row products on a tableau made from this graph.
  // Its rows are the graph's: a random outcome takes a pivot of about the measured qubit's degree
  // d into about d other rows, spread over min(d, column words) words of each column; d is about
  // the rows the graph changed, graph_work / row words.
  std::size_t tableau_estimate(OperationKind kind, std::size_t graph_work) const noexcept {
    if (kind == OperationKind::gate) {
      return tableau_gate_columns * column_words_ + operation_overhead;
    }
    const std::size_t visits = StabilizerTableau::column_visit_work(qubits_) * qubits_;
    if (known_measurement_work_ != 0) return std::max(known_measurement_work_, visits);
    const std::size_t rows = graph_work / std::max<std::size_t>(row_words_, 1);
    return visits + StabilizerTableau::measurement_word_work * rows * std::min(rows, column_words_);
  }

 private:
  // A gate reads and writes four columns and the signs.
  static constexpr std::size_t tableau_gate_columns = 5;
  static constexpr std::size_t operation_overhead = 8;
  static constexpr std::size_t average_weight = 16;
  // How far below zero the graph's balance may fall, in entry thresholds.
  static constexpr std::ptrdiff_t credit_factor = 32;

  static std::ptrdiff_t signed_work(std::size_t work) noexcept {
    return static_cast<std::ptrdiff_t>(std::min<std::size_t>(work, PTRDIFF_MAX / 64));
  }

  std::size_t graph_estimate(OperationKind kind) const noexcept {
    return kind == OperationKind::gate ? gate_work_
                                       : mean_degree_ * row_words_ + operation_overhead;
  }

  std::size_t qubits_;
  std::size_t column_words_;
  std::size_t row_words_;
  std::ptrdiff_t return_cost_;
  std::ptrdiff_t entry_threshold_;
  std::ptrdiff_t balance_ = 0;
  std::size_t gate_work_ = 0;  // a running average of the graph's work per gate
  std::size_t mean_degree_ = 0;
  // Measurements on the tableau: their work and number during the current stay, and the mean
  // work of one during the last stay that measured (zero before any).
  std::size_t stint_measurement_work_ = 0;
  std::size_t stint_measurements_ = 0;
  std::size_t known_measurement_work_ = 0;
};

}  // namespace korvane::engine
