#include "generated_circuits.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <map>
#include <utility>
#include <vector>

#include "../../engine/base.h"
#include "../../engine/random/seeded_generator.h"
#include "../text/number_text.h"

namespace korvane::circuit {
namespace {

using Qubits = std::vector<std::uint32_t>;
using Coordinates = std::vector<double>;

// Writes circuit text, keeping count of the measurements so that detectors can name them by
// their absolute index.
class TextWriter {
 public:
  void gate(std::string_view name, const Qubits& qubits) {
    if (qubits.empty()) return;
    text_.append(indent_, ' ');
    text_.append(name);
    append_targets(qubits);
  }

  void noise(std::string_view name, double p, const Qubits& qubits) {
    if (p == 0.0 || qubits.empty()) return;
    text_.append(indent_, ' ');
    text_.append(name);
    text_.push_back('(');
    append_number(p);
    text_.push_back(')');
    append_targets(qubits);
  }

  // Returns the absolute index of the first result.
  std::uint64_t measure(std::string_view name, const Qubits& qubits) {
    gate(name, qubits);
    const std::uint64_t first = measurements_;
    measurements_ += qubits.size();
    return first;
  }

  void annotation(std::string_view name, const Coordinates& arguments,
                  const std::vector<std::uint64_t>& results) {
    text_.append(indent_, ' ');
    text_.append(name);
    if (!arguments.empty()) {
      text_.push_back('(');
      for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i != 0) text_.append(", ");
        append_number(arguments[i]);
      }
      text_.push_back(')');
    }
    for (const std::uint64_t result : results) {
      text_.append(" rec[-");
      append_number(static_cast<double>(measurements_ - result));
      text_.push_back(']');
    }
    text_.push_back('\n');
  }

  void qubit_coordinates(std::uint32_t qubit, const Coordinates& coordinates) {
    annotation("QUBIT_COORDS", coordinates, {});
    text_.pop_back();
    text_.push_back(' ');
    append_number(qubit);
    text_.push_back('\n');
  }

  void tick() { annotation("TICK", {}, {}); }

  void open_repeat(std::uint64_t repetitions) {
    text_.append("REPEAT ");
    append_number(static_cast<double>(repetitions));
    text_.append(" {\n");
    indent_ = 4;
    repeat_start_ = measurements_;
    repetitions_ = repetitions;
  }

  void close_repeat() {
    text_.append("}\n");
    indent_ = 0;
    measurements_ += (repetitions_ - 1) * (measurements_ - repeat_start_);
  }

  std::string take() { return std::move(text_); }

 private:
  void append_number(double value) { circuit::append_number(text_, value); }
  void append_targets(const Qubits& qubits) {
    for (const std::uint32_t q : qubits) {
      text_.push_back(' ');
      append_number(q);
    }
    text_.push_back('\n');
  }

  std::string text_;
  std::size_t indent_ = 0;
  std::uint64_t measurements_ = 0;
  std::uint64_t repeat_start_ = 0;
  std::uint64_t repetitions_ = 1;
};

constexpr std::size_t no_qubit = ~std::size_t{0};

struct Check {
  std::uint32_t qubit = 0;
  bool x_type = false;
  Coordinates coordinates;
  // The data qubit it meets in each CX layer, or no_qubit.
  std::vector<std::size_t> layer_data;
};

// A memory experiment: data qubits, checks measured by one measure qubit each through CX layers,
// the data qubits of the logical observable.
struct Layout {
  std::vector<std::pair<Coordinates, std::uint32_t>> qubit_coordinates;
  Qubits data;
  std::vector<Check> checks;
  Qubits observable;
  std::size_t layers = 0;
};

Qubits qubits_of(const std::vector<Check>& checks, bool x_type) {
  Qubits qubits;
  for (const Check& check : checks) {
    if (check.x_type == x_type) qubits.push_back(check.qubit);
  }
  return qubits;
}

Qubits all_checks(const std::vector<Check>& checks) {
  Qubits qubits;
  for (const Check& check : checks) qubits.push_back(check.qubit);
  return qubits;
}

Coordinates with_time(Coordinates coordinates, double time) {
  coordinates.push_back(time);
  return coordinates;
}

// One round: data depolarized, X checks turned by H, the CX layers, the checks measured and reset.
void write_round(TextWriter& out, const Layout& layout, const GeneratedCircuit& noise) {
  const Qubits x_checks = qubits_of(layout.checks, true);
  out.noise("DEPOLARIZE1", noise.before_round_data_depolarization, layout.data);
  const auto turn_x_checks = [&] {
    if (x_checks.empty()) return;
    out.gate("H", x_checks);
    out.noise("DEPOLARIZE1", noise.after_clifford_depolarization, x_checks);
    out.tick();
  };
  turn_x_checks();
  for (std::size_t layer = 0; layer < layout.layers; ++layer) {
    Qubits pairs;
    for (const Check& check : layout.checks) {
      const std::size_t data = check.layer_data[layer];
      if (data == no_qubit) continue;
      const auto data_qubit = static_cast<std::uint32_t>(data);
      pairs.push_back(check.x_type ? check.qubit : data_qubit);
      pairs.push_back(check.x_type ? data_qubit : check.qubit);
    }
    out.gate("CX", pairs);
    out.noise("DEPOLARIZE2", noise.after_clifford_depolarization, pairs);
    out.tick();
  }
  turn_x_checks();
  const Qubits checks = all_checks(layout.checks);
  out.noise("X_ERROR", noise.before_measure_flip_probability, checks);
  out.measure("MR", checks);
  out.noise("X_ERROR", noise.after_reset_flip_probability, checks);
}

std::string write_memory(const Layout& layout, bool memory_x, const GeneratedCircuit& p) {
  TextWriter out;
  for (const auto& [coordinates, qubit] : layout.qubit_coordinates) {
    out.qubit_coordinates(qubit, coordinates);
  }
  const Qubits checks = all_checks(layout.checks);
  out.gate(memory_x ? "RX" : "R", layout.data);
  out.gate("R", checks);
  out.noise(memory_x ? "Z_ERROR" : "X_ERROR", p.after_reset_flip_probability, layout.data);
  out.noise("X_ERROR", p.after_reset_flip_probability, checks);
  out.tick();
  write_round(out, layout, p);
  const std::uint64_t round_size = checks.size();
  // The results of the last round written: checks in order.
  std::uint64_t last_round = 0;
  const auto result_of = [&](std::size_t check, std::uint64_t round_start) {
    return round_start + check;
  };
  for (std::size_t c = 0; c < layout.checks.size(); ++c) {
    if (layout.checks[c].x_type != memory_x) continue;
    out.annotation("DETECTOR", with_time(layout.checks[c].coordinates, 0),
                   {result_of(c, last_round)});
  }
  if (p.rounds > 1) {
    out.open_repeat(p.rounds - 1);
    out.tick();
    write_round(out, layout, p);
    const std::uint64_t round_start = last_round + round_size;
    Coordinates shift(layout.checks.front().coordinates.size(), 0.0);
    shift.push_back(1.0);
    out.annotation("SHIFT_COORDS", shift, {});
    for (std::size_t c = 0; c < layout.checks.size(); ++c) {
      out.annotation("DETECTOR", with_time(layout.checks[c].coordinates, 0),
                     {result_of(c, round_start), result_of(c, last_round)});
    }
    out.close_repeat();
    last_round += static_cast<std::uint64_t>(p.rounds - 1) * round_size;
  }
  out.noise(memory_x ? "Z_ERROR" : "X_ERROR", p.before_measure_flip_probability, layout.data);
  const std::uint64_t data_start = out.measure(memory_x ? "MX" : "M", layout.data);
  std::map<std::size_t, std::uint64_t> data_result;
  for (std::size_t i = 0; i < layout.data.size(); ++i) data_result[layout.data[i]] = data_start + i;
  for (std::size_t c = 0; c < layout.checks.size(); ++c) {
    const Check& check = layout.checks[c];
    if (check.x_type != memory_x) continue;
    std::vector<std::uint64_t> results;
    for (const std::size_t data : check.layer_data) {
      if (data != no_qubit) results.push_back(data_result[data]);
    }
    results.push_back(result_of(c, last_round));
    out.annotation("DETECTOR", with_time(check.coordinates, 1), results);
  }
  std::vector<std::uint64_t> logical;
  for (const std::uint32_t q : layout.observable) logical.push_back(data_result[q]);
  out.annotation("OBSERVABLE_INCLUDE", {0}, logical);
  return out.take();
}

Layout repetition_layout(std::uint32_t d) {
  Layout layout;
  layout.layers = 2;
  for (std::uint32_t q = 0; q < 2 * d - 1; ++q) {
    layout.qubit_coordinates.push_back({{static_cast<double>(q)}, q});
    if (q % 2 == 0) {
      layout.data.push_back(q);
      continue;
    }
    layout.checks.push_back({q, false, {static_cast<double>(q)}, {q - 1, q + 1}});
  }
  layout.observable = {2 * d - 2};
  return layout;
}

// Positions (x, y) numbered row by row; each check's neighbours in layer order as offsets.
using Position = std::pair<int, int>;
using Offsets = std::array<Position, 4>;

Layout surface_layout(const std::vector<Position>& data,
                      const std::vector<std::pair<Position, bool>>& checks, const Offsets& x_order,
                      const Offsets& z_order, const std::vector<Position>& observable) {
  std::map<Position, std::uint32_t> index;
  // Row by row: y first.
  std::vector<Position> all = data;
  for (const auto& [position, x_type] : checks) all.push_back(position);
  std::sort(all.begin(), all.end(), [](Position a, Position b) {
    return a.second != b.second ? a.second < b.second : a.first < b.first;
  });
  Layout layout;
  layout.layers = 4;
  for (const Position& position : all) {
    const auto q = static_cast<std::uint32_t>(index.size());
    index[position] = q;
    layout.qubit_coordinates.push_back(
        {{static_cast<double>(position.first), static_cast<double>(position.second)}, q});
  }
  for (const Position& position : data) layout.data.push_back(index[position]);
  std::sort(layout.data.begin(), layout.data.end());
  for (const auto& [position, x_type] : checks) {
    Check check{index[position],
                x_type,
                {static_cast<double>(position.first), static_cast<double>(position.second)},
                {}};
    for (const Position& offset : x_type ? x_order : z_order) {
      const auto found =
          index.find({position.first + offset.first, position.second + offset.second});
      const bool is_data =
          found != index.end() && std::find(data.begin(), data.end(), found->first) != data.end();
      check.layer_data.push_back(is_data ? found->second : no_qubit);
    }
    layout.checks.push_back(std::move(check));
  }
  std::sort(layout.checks.begin(), layout.checks.end(),
            [](const Check& a, const Check& b) { return a.qubit < b.qubit; });
  for (const Position& position : observable) layout.observable.push_back(index[position]);
  return layout;
}

// Data at odd (x, y) up to 2d - 1; checks at even positions, X type where (x + y) / 2 is even,
// weight-two X checks on the top and bottom edges and Z checks on the left and right ones.
Layout rotated_layout(int d, bool memory_x) {
  std::vector<Position> data;
  std::vector<std::pair<Position, bool>> checks;
  for (int y = 1; y < 2 * d; y += 2) {
    for (int x = 1; x < 2 * d; x += 2) data.emplace_back(x, y);
  }
  for (int j = 0; j <= d; ++j) {
    for (int i = 0; i <= d; ++i) {
      const bool x_type = (i + j) % 2 == 0;
      const bool vertical_edge = i == 0 || i == d;
      const bool horizontal_edge = j == 0 || j == d;
      if (vertical_edge && horizontal_edge) continue;
      if (vertical_edge && x_type) continue;
      if (horizontal_edge && !x_type) continue;
      checks.push_back({{2 * i, 2 * j}, x_type});
    }
  }
  // X checks touch a horizontal pair last, Z checks a vertical pair: hook errors run across the
  // logical operator of their own kind.
  const Offsets x_order{{{-1, -1}, {1, -1}, {-1, 1}, {1, 1}}};
  const Offsets z_order{{{-1, -1}, {-1, 1}, {1, -1}, {1, 1}}};
  std::vector<Position> observable;
  for (int k = 1; k < 2 * d; k += 2)
    observable.push_back(memory_x ? Position{1, k} : Position{k, 1});
  return surface_layout(data, checks, x_order, z_order, observable);
}

// Data where x + y is even on a (2d - 1) square, X checks at odd x, Z checks at odd y.
Layout unrotated_layout(int d, bool memory_x) {
  std::vector<Position> data;
  std::vector<std::pair<Position, bool>> checks;
  for (int y = 0; y < 2 * d - 1; ++y) {
    for (int x = 0; x < 2 * d - 1; ++x) {
      if ((x + y) % 2 == 0) {
        data.emplace_back(x, y);
      } else {
        checks.push_back({{x, y}, x % 2 == 1});
      }
    }
  }
  // North, east, west, south for X checks and north, west, east, south for Z checks: every
  // layer free of collisions, and every overlapping pair of checks commuting.
  const Offsets x_order{{{0, -1}, {1, 0}, {-1, 0}, {0, 1}}};
  const Offsets z_order{{{0, -1}, {-1, 0}, {1, 0}, {0, 1}}};
  std::vector<Position> observable;
  for (int k = 0; k < 2 * d - 1; k += 2)
    observable.push_back(memory_x ? Position{0, k} : Position{k, 0});
  return surface_layout(data, checks, x_order, z_order, observable);
}

std::string write_cluster(const GeneratedCircuit& p) {
  const std::uint32_t rows = p.distance;
  const std::uint32_t columns = p.rounds;
  const std::uint64_t qubits = std::uint64_t{rows} * columns;
  std::string bases(p.bases);
  if (bases.empty()) {
    engine::SeededGenerator generator(p.seed);
    constexpr std::array<char, 3> letters{'X', 'Y', 'Z'};
    for (std::uint64_t q = 0; q < qubits; ++q) bases.push_back(letters[generator.next_u64() % 3]);
  }
  std::transform(bases.begin(), bases.end(), bases.begin(), [](char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  });
  if (bases.size() != qubits || bases.find_first_not_of("XYZ") != std::string::npos) {
    throw engine::InvalidInput("the bases must be one of X, Y or Z for each of the cluster's " +
                               std::to_string(qubits) + " qubits");
  }
  TextWriter out;
  const auto qubit = [columns](std::uint32_t row, std::uint32_t column) {
    return row * columns + column;
  };
  Qubits all;
  for (std::uint32_t row = 0; row < rows; ++row) {
    for (std::uint32_t column = 0; column < columns; ++column) {
      out.qubit_coordinates(qubit(row, column),
                            {static_cast<double>(column), static_cast<double>(row)});
      all.push_back(qubit(row, column));
    }
  }
  out.gate("RX", all);
  out.noise("Z_ERROR", p.after_reset_flip_probability, all);
  out.tick();
  // Four layers of CZ: horizontal edges from even and odd columns, vertical ones from even and
  // odd rows.
  for (std::uint32_t layer = 0; layer < 4; ++layer) {
    Qubits pairs;
    for (std::uint32_t row = 0; row < rows; ++row) {
      for (std::uint32_t column = 0; column < columns; ++column) {
        const bool horizontal = layer < 2;
        const std::uint32_t step = horizontal ? column : row;
        if (step % 2 != layer % 2) continue;
        if (horizontal ? column + 1 >= columns : row + 1 >= rows) continue;
        pairs.push_back(qubit(row, column));
        pairs.push_back(horizontal ? qubit(row, column + 1) : qubit(row + 1, column));
      }
    }
    if (pairs.empty()) continue;
    out.gate("CZ", pairs);
    out.noise("DEPOLARIZE2", p.after_clifford_depolarization, pairs);
    out.tick();
  }
  out.noise("DEPOLARIZE1", p.before_round_data_depolarization, all);
  Qubits x_measured, other_measured;
  for (std::uint64_t q = 0; q < qubits; ++q) {
    (bases[q] == 'X' ? x_measured : other_measured).push_back(static_cast<std::uint32_t>(q));
  }
  out.noise("Z_ERROR", p.before_measure_flip_probability, x_measured);
  out.noise("X_ERROR", p.before_measure_flip_probability, other_measured);
  // Runs of equal bases on one line each, in qubit order: result q is qubit q's.
  for (std::uint64_t start = 0; start < qubits;) {
    std::uint64_t end = start;
    Qubits run;
    while (end < qubits && bases[end] == bases[start])
      run.push_back(static_cast<std::uint32_t>(end++));
    out.measure(bases[start] == 'X' ? "MX" : (bases[start] == 'Y' ? "MY" : "M"), run);
    start = end;
  }
  // A qubit measured on X with every neighbour on Z reads its stabilizer X Z Z..: a detector.
  for (std::uint32_t row = 0; row < rows; ++row) {
    for (std::uint32_t column = 0; column < columns; ++column) {
      if (bases[qubit(row, column)] != 'X') continue;
      std::vector<std::uint64_t> results{qubit(row, column)};
      if (column > 0) results.push_back(qubit(row, column - 1));
      if (column + 1 < columns) results.push_back(qubit(row, column + 1));
      if (row > 0) results.push_back(qubit(row - 1, column));
      if (row + 1 < rows) results.push_back(qubit(row + 1, column));
      const bool all_z = std::all_of(results.begin() + 1, results.end(),
                                     [&](std::uint64_t q) { return bases[q] == 'Z'; });
      if (all_z) {
        out.annotation("DETECTOR", {static_cast<double>(column), static_cast<double>(row)},
                       results);
      }
    }
  }
  return out.take();
}

void check_probability(double p, std::string_view name) {
  if (!(p >= 0.0 && p <= 1.0))
    throw engine::InvalidInput(std::string(name) + " must lie in [0, 1]");
}

// Keeps generated circuits within the parser's bounds.
constexpr std::uint64_t largest_generated_qubits = std::uint64_t{1} << 26;

}  // namespace

std::string generate_circuit(const GeneratedCircuit& p) {
  check_probability(p.after_clifford_depolarization, "after_clifford_depolarization");
  check_probability(p.before_round_data_depolarization, "before_round_data_depolarization");
  check_probability(p.before_measure_flip_probability, "before_measure_flip_probability");
  check_probability(p.after_reset_flip_probability, "after_reset_flip_probability");
  if (p.rounds < 1) throw engine::InvalidInput("rounds must be at least 1");
  const bool is_cluster = p.kind == "cluster_state:mbqc_2d";
  if (p.distance < (is_cluster ? 1U : 2U)) {
    throw engine::InvalidInput(std::string(is_cluster ? "the cluster needs at least one row"
                                                      : "distance must be at least 2"));
  }
  const std::uint64_t side = std::uint64_t{2} * p.distance + 1;
  if ((is_cluster ? std::uint64_t{p.distance} * p.rounds : side * side) >
      largest_generated_qubits) {
    throw engine::InvalidInput("the circuit would have more than 2^26 qubits");
  }
  if (!p.bases.empty() && !is_cluster) throw engine::InvalidInput("only the cluster takes bases");
  const auto d = static_cast<int>(p.distance);
  if (p.kind == "repetition_code:memory")
    return write_memory(repetition_layout(p.distance), false, p);
  if (p.kind == "surface_code:rotated_memory_x")
    return write_memory(rotated_layout(d, true), true, p);
  if (p.kind == "surface_code:rotated_memory_z")
    return write_memory(rotated_layout(d, false), false, p);
  if (p.kind == "surface_code:unrotated_memory_x")
    return write_memory(unrotated_layout(d, true), true, p);
  if (p.kind == "surface_code:unrotated_memory_z")
    return write_memory(unrotated_layout(d, false), false, p);
  if (is_cluster) return write_cluster(p);
  throw engine::InvalidInput("unknown circuit kind '" + std::string(p.kind) +
                             "': repetition_code:memory, surface_code:rotated_memory_x, "
                             "surface_code:rotated_memory_z, surface_code:unrotated_memory_x, "
                             "surface_code:unrotated_memory_z or cluster_state:mbqc_2d");
}

}  // namespace korvane::circuit
