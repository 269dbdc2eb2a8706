#include "circuit_diagram.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "../circuit/pauli_products.h"
#include "svg.h"

namespace korvane::picture {
namespace {

using circuit::gate_named;
using circuit::GateId;
using circuit::Instruction;
using circuit::Kind;
using circuit::Program;

constexpr double column_width = 58;
constexpr double row_height = 44;
constexpr double box_height = 28;
constexpr double left_margin = 52;
constexpr double top_margin = 34;  // room for REPEAT labels
constexpr double frame_label_height = 14;

// One drawn operation: an instruction on one target, pair, or (for annotations of records) none.
struct Mark {
  std::size_t instruction;
  std::size_t column;
  std::vector<std::uint32_t> qubits;  // the rows it touches, in target order
  std::size_t first_target;           // its first target entry within the instruction
  // Outside REPEAT: the recorded bit a measurement makes, the index of a detector; else -1.
  std::int64_t ordinal = -1;
  bool conditional = false;  // in the body of a condition
};

struct Frame {
  std::size_t first_column;
  std::size_t last_column;  // one past
  std::size_t depth;
  std::uint64_t count;
};

std::string number_text(double value) {
  std::array<char, 32> buffer{};
  const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return {buffer.data(), written.ptr};
}

// The name in a box: noise channels shortened to fit.
std::string label_of(const Instruction& instruction) {
  constexpr std::array<std::pair<GateId, std::string_view>, 8> short_names{{
      {gate_named("HERALDED_ERASE"), "H_ERASE"},
      {gate_named("HERALDED_PAULI_CHANNEL_1"), "H_PAULI1"},
      {gate_named("X_ERROR"), "X_ERR"},
      {gate_named("Y_ERROR"), "Y_ERR"},
      {gate_named("Z_ERROR"), "Z_ERR"},
      {gate_named("DEPOLARIZE1"), "DEP1"},
      {gate_named("DEPOLARIZE2"), "DEP2"},
      {gate_named("PAULI_CHANNEL_1"), "PAULI1"},
  }};
  for (const auto& [gate, name] : short_names) {
    if (gate == instruction.gate) return std::string(name);
  }
  return std::string(circuit::gate_of(instruction.gate).name);
}

// The second line of a box: the probabilities of noise and of measurement flips.
std::string arguments_of(const Program& program, const Instruction& instruction) {
  std::string text;
  constexpr std::array<Kind, 7> with_probabilities{
      Kind::pauli_noise, Kind::pair_noise,    Kind::heralded_noise,
      Kind::measure,     Kind::measure_reset, Kind::measure_product,
      Kind::pad};
  if (std::find(with_probabilities.begin(), with_probabilities.end(), instruction.kind) ==
      with_probabilities.end()) {
    return text;
  }
  for (const double argument : program.arguments_of(instruction)) {
    if (!text.empty()) text.push_back(',');
    text += number_text(argument);
  }
  return text;
}

class Diagram {
 public:
  explicit Diagram(const Program& program) : program_(program), next_free_(program.num_qubits, 0) {}

  std::string run() {
    if (program_.num_qubits > most_diagram_qubits) {
      throw std::invalid_argument("the circuit has " + std::to_string(program_.num_qubits) +
                                  " qubits, more than a diagram shows (" +
                                  std::to_string(most_diagram_qubits) + ")");
    }
    place(0, program_.instructions.size(), 0);
    return draw();
  }

 private:
  std::size_t layer_start() const {
    std::size_t start = floor_;
    for (const std::size_t column : next_free_) start = std::max(start, column);
    return start;
  }

  void add(std::size_t index, std::vector<std::uint32_t> qubits, std::size_t first_target,
           std::int64_t ordinal) {
    if (marks_.size() >= most_diagram_operations) {
      throw std::invalid_argument("the circuit has more than " +
                                  std::to_string(most_diagram_operations) +
                                  " operations to draw (a REPEAT block counted once)");
    }
    std::size_t column = floor_;
    if (!qubits.empty()) {
      const auto [low, high] = std::minmax_element(qubits.begin(), qubits.end());
      for (std::uint32_t q = *low; q <= *high; ++q) column = std::max(column, next_free_[q]);
      for (std::uint32_t q = *low; q <= *high; ++q) next_free_[q] = column + 1;
    } else {
      column = std::max(column, records_free_);
      records_free_ = column + 1;
    }
    columns_ = std::max(columns_, column + 1);
    marks_.push_back({index, column, std::move(qubits), first_target, ordinal, conditional_ != 0});
  }

  // Every later mark goes right of all so far.
  void barrier() { floor_ = std::max({layer_start(), records_free_, columns_}); }

  void place(std::size_t begin, std::size_t end, std::size_t depth) {
    for (std::size_t index = begin; index < end; ++index) {
      const Instruction& instruction = program_.instructions[index];
      const std::span<const std::uint32_t> targets = program_.targets_of(instruction);
      if (conditional_ != 0) --conditional_;
      switch (instruction.kind) {
        case Kind::repeat: {
          barrier();
          const std::size_t first = floor_;
          const std::size_t body_end = index + 1 + instruction.count;
          const std::uint64_t records_before = record_, detectors_before = detectors_;
          ++repeat_depth_;
          place(index + 1, body_end, depth + 1);
          --repeat_depth_;
          // The body is drawn once but runs `count` times: later bits and detectors count them all.
          const std::uint64_t more = program_.repeat_counts[instruction.detail] - 1;
          record_ += (record_ - records_before) * more;
          detectors_ += (detectors_ - detectors_before) * more;
          barrier();
          frames_.push_back({first, std::max(floor_, first + 1), depth,
                             program_.repeat_counts[instruction.detail]});
          floor_ = std::max(floor_, first + 1);
          index = body_end - 1;
          break;
        }
        case Kind::annotation:
          if (instruction.gate == gate_named("TICK")) {
            barrier();
            ticks_.push_back(floor_);
          }
          break;
        case Kind::condition:
          conditional_ = program_.conditions[instruction.detail].body + 1;
          break;
        case Kind::detector: {
          const auto detector = static_cast<std::int64_t>(detectors_++);
          add(index, {}, 0, repeat_depth_ == 0 ? detector : -1);
          break;
        }
        case Kind::observable:
          add(index, {}, 0, -1);
          break;
        case Kind::controlled:
        case Kind::swap:
        case Kind::pair_clifford:
        case Kind::pair_noise:
        case Kind::feedback:
          for (std::size_t i = 0; i < targets.size(); i += 2) {
            if (instruction.kind == Kind::feedback) {
              add(index, {targets[i + 1]}, i, -1);
            } else {
              add(index, {targets[i], targets[i + 1]}, i, -1);
            }
          }
          break;
        case Kind::measure:
        case Kind::measure_reset:
        case Kind::heralded_noise:
          for (std::size_t i = 0; i < targets.size(); ++i) {
            add(index, {targets[i] & ~circuit::inverted_flag}, i, next_record());
          }
          break;
        case Kind::pad:
          for (std::size_t i = 0; i < targets.size(); ++i) add(index, {}, i, next_record());
          break;
        case Kind::measure_product:
        case Kind::product_phase:
          // One mark per product, across the rows of its factors.
          circuit::for_each_product(targets, [&](std::span<const std::uint32_t> factors) {
            std::vector<std::uint32_t> qubits;
            for (const std::uint32_t entry : factors)
              qubits.push_back(circuit::factor_qubit(entry));
            std::sort(qubits.begin(), qubits.end());
            qubits.erase(std::unique(qubits.begin(), qubits.end()), qubits.end());
            const auto first = static_cast<std::size_t>(factors.data() - targets.data());
            add(index, std::move(qubits), first,
                instruction.kind == Kind::measure_product ? next_record() : -1);
          });
          break;
        default:
          for (std::size_t i = 0; i < targets.size(); ++i) add(index, {targets[i]}, i, -1);
          break;
      }
    }
  }

  // The ordinal of the next recorded bit, shown only outside REPEAT.
  std::int64_t next_record() {
    const auto record = static_cast<std::int64_t>(record_++);
    return repeat_depth_ == 0 ? record : -1;
  }

  double x_of(std::size_t column) const {
    return left_margin + (static_cast<double>(column) + 0.5) * column_width;
  }
  double y_of(std::uint32_t qubit) const {
    return top_margin + (static_cast<double>(qubit) + 0.5) * row_height;
  }
  double records_y() const { return y_of(static_cast<std::uint32_t>(program_.num_qubits)); }

  // The font size at which `text` fits a box.
  static double fitting_font(std::string_view text, double largest) {
    return std::min(largest, (column_width - 12) / (0.62 * static_cast<double>(text.size())));
  }

  // A box with `label`, and `detail` beneath it in small print when there is one.
  static void box(std::string& svg, double x, double y, const std::string& label,
                  std::string_view fill, bool dashed, const std::string& detail = {}) {
    const double font = fitting_font(label, 12);
    const double width =
        std::clamp(10.0 + 0.62 * font * static_cast<double>(std::max(label.size(), detail.size())),
                   box_height, column_width - 6);
    append_element(svg, "rect",
                   {{"x", x - width / 2},
                    {"y", y - box_height / 2},
                    {"width", width},
                    {"height", box_height},
                    {"fill", fill},
                    {"stroke", "#222"},
                    {"stroke-dasharray", dashed ? "3 2" : ""}});
    append_element(svg, "text",
                   {{"x", x}, {"y", detail.empty() ? y + font / 3 : y - 1}, {"font-size", font}},
                   label);
    if (!detail.empty()) {
      append_element(svg, "text", {{"x", x}, {"y", y + 10}, {"font-size", fitting_font(detail, 9)}},
                     detail);
    }
  }

  static void dot(std::string& svg, double x, double y) {
    append_element(svg, "circle", {{"cx", x}, {"cy", y}, {"r", 5.0}, {"fill", "#222"}});
  }

  static void path(std::string& svg, const std::string& shape, double width) {
    append_element(svg, "path", {{"d", shape}, {"stroke", "#222"}, {"stroke-width", width}});
  }

  // A circled plus: the target of CX.
  static void plus(std::string& svg, double x, double y) {
    append_element(svg, "circle",
                   {{"cx", x}, {"cy", y}, {"r", 10.0}, {"fill", "white"}, {"stroke", "#222"}});
    path(svg,
         joined(
             {"M", number(x - 10), " ", number(y), "h20M", number(x), " ", number(y - 10), "v20"}),
         1);
  }

  // The cross of SWAP.
  static void cross(std::string& svg, double x, double y) {
    path(svg,
         joined({"M", number(x - 6), " ", number(y - 6), "l12 12M", number(x - 6), " ",
                 number(y + 6), "l12 -12"}),
         2);
  }

  static void line(std::string& svg, double x1, double y1, double x2, double y2,
                   std::string_view stroke, std::string_view dashes = {}) {
    append_element(svg, "line",
                   {{"x1", x1},
                    {"y1", y1},
                    {"x2", x2},
                    {"y2", y2},
                    {"stroke", stroke},
                    {"stroke-dasharray", dashes}});
  }

  // A control or a target of the controlled family: Z as a dot, X as a circled plus, else a box.
  static void end_of(std::string& svg, char pauli, bool control, double x, double y, bool dashed) {
    if (pauli == 'Z') {
      dot(svg, x, y);
    } else if (pauli == 'X' && !control) {
      plus(svg, x, y);
    } else {
      box(svg, x, y, std::string(1, pauli), control ? "#ffffff" : "#cfe3ff", dashed);
    }
  }

  void draw_mark(std::string& svg, const Mark& mark) const {
    const Instruction& instruction = program_.instructions[mark.instruction];
    const std::string name(circuit::gate_of(instruction.gate).name);
    const double x = x_of(mark.column);
    append_open(svg, "g", {{"data-gate", name}});
    if (mark.qubits.size() >= 2) {
      line(svg, x, y_of(mark.qubits.front()), x, y_of(mark.qubits.back()), "#222",
           instruction.kind == Kind::pair_noise ? "3 2" : "");
    }
    const double y = mark.qubits.empty() ? records_y() : y_of(mark.qubits[0]);
    switch (instruction.kind) {
      case Kind::controlled:
        // CX is ZCX: the control's basis, then the target's Pauli.
        end_of(svg, name.size() == 2 ? 'Z' : name[0], true, x, y, mark.conditional);
        end_of(svg, name.back(), false, x, y_of(mark.qubits[1]), mark.conditional);
        break;
      case Kind::swap:
        cross(svg, x, y);
        cross(svg, x, y_of(mark.qubits[1]));
        break;
      case Kind::pair_noise:
        box(svg, x, y, label_of(instruction), "#f6c6c6", false,
            arguments_of(program_, instruction));
        box(svg, x, y_of(mark.qubits[1]), label_of(instruction), "#f6c6c6", false,
            arguments_of(program_, instruction));
        break;
      case Kind::pair_clifford:
        box(svg, x, y, name, "#ffffff", mark.conditional);
        box(svg, x, y_of(mark.qubits[1]), name, "#ffffff", mark.conditional);
        break;
      case Kind::pauli_noise:
        box(svg, x, y, label_of(instruction), "#f6c6c6", false,
            arguments_of(program_, instruction));
        break;
      case Kind::feedback: {
        const std::uint32_t k = program_.targets_of(instruction)[mark.first_target];
        box(svg, x, y,
            joined(
                {std::string_view(name).substr(name.size() - 1), "^rec[-", std::to_string(k), "]"}),
            "#fff3c4", false);
        break;
      }
      case Kind::measure:
      case Kind::measure_reset: {
        const bool inverted =
            (program_.targets_of(instruction)[mark.first_target] & circuit::inverted_flag) != 0;
        box(svg, x, y, joined({inverted ? "!" : "", label_of(instruction)}), "#fff3c4",
            mark.conditional, arguments_of(program_, instruction));
        record_label(svg, mark, x, y);
        break;
      }
      case Kind::measure_product:
      case Kind::product_phase:
        draw_factors(svg, mark, x);
        record_label(svg, mark, x, y_of(mark.qubits.back()));
        break;
      case Kind::heralded_noise:
        box(svg, x, y, label_of(instruction), "#f6c6c6", false,
            arguments_of(program_, instruction));
        record_label(svg, mark, x, y);
        break;
      case Kind::pad:
        box(svg, x, y,
            joined(
                {name, " ", std::to_string(program_.targets_of(instruction)[mark.first_target])}),
            "#fff3c4", mark.conditional, arguments_of(program_, instruction));
        record_label(svg, mark, x, y);
        break;
      case Kind::detector:
        box(svg, x, y, joined({"D", mark.ordinal < 0 ? "" : std::to_string(mark.ordinal)}),
            "#e8e8e8", false);
        break;
      case Kind::observable:
        box(svg, x, y, joined({"L", std::to_string(instruction.detail)}), "#d6f0cc", false);
        break;
      case Kind::reset:
        box(svg, x, y, name, "#e4e4e4", mark.conditional);
        break;
      default:
        box(svg, x, y, name, "#ffffff", mark.conditional);
        break;
    }
    if (mark.conditional && !mark.qubits.empty()) {
      append_element(
          svg, "text",
          {{"x", x}, {"y", y - box_height / 2 - 3}, {"font-size", 9.0}, {"fill", "#a05a00"}}, "if");
    }
    append_close(svg, "g");
    svg.push_back('\n');
  }

  // Under a box, the recorded bit it makes.
  static void record_label(std::string& svg, const Mark& mark, double x, double y) {
    if (mark.ordinal < 0) return;
    append_element(svg, "text",
                   {{"x", x}, {"y", y + box_height / 2 + 10}, {"font-size", 9.0}, {"fill", "#666"}},
                   joined({"rec ", std::to_string(mark.ordinal)}));
  }

  // A box per factor of the mark's product, named by the gate and the factor's Pauli (!: negated).
  void draw_factors(std::string& svg, const Mark& mark, double x) const {
    const Instruction& instruction = program_.instructions[mark.instruction];
    const std::string name(circuit::gate_of(instruction.gate).name);
    const bool measures = instruction.kind == Kind::measure_product;
    const std::span<const std::uint32_t> targets =
        program_.targets_of(instruction).subspan(mark.first_target);
    for (const std::uint32_t entry : targets) {
      const circuit::Axis axis = circuit::factor_axis(entry);
      const char pauli = axis == circuit::Axis::X ? 'X' : (axis == circuit::Axis::Y ? 'Y' : 'Z');
      const bool inverted = (entry & circuit::inverted_flag) != 0;
      box(svg, x, y_of(circuit::factor_qubit(entry)),
          joined({inverted ? "!" : "", name, ":", std::string_view(&pauli, 1)}),
          measures ? "#fff3c4" : "#ffffff", mark.conditional,
          measures ? arguments_of(program_, instruction) : std::string());
      if ((entry & circuit::joined_flag) == 0) break;
    }
  }

  std::string draw() const {
    const bool has_records = std::any_of(marks_.begin(), marks_.end(),
                                         [](const Mark& mark) { return mark.qubits.empty(); });
    const std::size_t rows = program_.num_qubits + (has_records ? 1 : 0);
    const double width =
        left_margin + static_cast<double>(std::max<std::size_t>(columns_, 1)) * column_width + 20;
    const double height = top_margin + static_cast<double>(rows) * row_height + 10;
    const std::string title =
        joined({"Circuit of ", std::to_string(program_.num_qubits), " qubits, ",
                std::to_string(program_.num_measurements), " measurements"});
    std::string svg = svg_begin(width, height, title);
    append_open(svg, "g", {{"font-size", 12.0}, {"text-anchor", "middle"}});
    svg.push_back('\n');
    for (std::uint32_t q = 0; q < program_.num_qubits; ++q) {
      line(svg, left_margin, y_of(q), width - 10, y_of(q), "#999");
      append_element(svg, "text", {{"x", left_margin / 2}, {"y", y_of(q) + 4}},
                     joined({"q", std::to_string(q)}));
      svg.push_back('\n');
    }
    if (has_records) {
      line(svg, left_margin, records_y(), width - 10, records_y(), "#bbb", "2 3");
      append_element(svg, "text",
                     {{"x", left_margin / 2}, {"y", records_y() + 4}, {"font-size", 10.0}}, "rec");
      svg.push_back('\n');
    }
    for (const std::size_t tick : ticks_) {
      const double x = left_margin + static_cast<double>(tick) * column_width;
      line(svg, x, top_margin, x, height - 10, "#ddd", "4 4");
    }
    for (const Frame& frame : frames_) {
      const double inset = 3.0 * static_cast<double>(frame.depth);
      const double x = left_margin + static_cast<double>(frame.first_column) * column_width + inset;
      const double right =
          left_margin + static_cast<double>(frame.last_column) * column_width - inset;
      const double top = top_margin - frame_label_height + inset * 4;
      append_element(svg, "rect",
                     {{"class", "repeat"},
                      {"x", x},
                      {"y", top},
                      {"width", right - x},
                      {"height", height - 12 - top - inset},
                      {"fill", "none"},
                      {"stroke", "#3a6ea5"},
                      {"stroke-dasharray", "6 3"}});
      append_element(svg, "text",
                     {{"x", x + 4},
                      {"y", top + 11},
                      {"text-anchor", "start"},
                      {"font-size", 11.0},
                      {"fill", "#3a6ea5"}},
                     joined({"REPEAT ", std::to_string(frame.count)}));
      svg.push_back('\n');
    }
    for (const Mark& mark : marks_) draw_mark(svg, mark);
    append_close(svg, "g");
    svg.push_back('\n');
    return svg + svg_end();
  }

  const Program& program_;
  std::vector<std::size_t> next_free_;  // per qubit row, the first free column
  std::size_t records_free_ = 0;
  std::size_t floor_ = 0;  // no mark left of this column
  std::size_t columns_ = 0;
  std::uint64_t record_ = 0;
  std::uint64_t detectors_ = 0;
  std::size_t repeat_depth_ = 0;
  std::uint32_t conditional_ = 0;  // instructions left in a condition's body, plus one
  std::vector<Mark> marks_;
  std::vector<Frame> frames_;
  std::vector<std::size_t> ticks_;
};

}  // namespace

std::string draw_circuit(const Program& program) { return Diagram(program).run(); }

}  // namespace korvane::picture
