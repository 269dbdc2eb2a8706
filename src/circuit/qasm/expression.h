// Arithmetic on gate parameters: numbers, pi, the parameters of a gate block, + - * / and powers,
// and the functions of OpenQASM (sin, cos, ..., sqrt). Parsed once, evaluated per call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "lexer.h"

namespace korvane::circuit::qasm {

class Expression {
 public:
  // Reads an expression starting at tokens[position], advancing `position` past it. `parameters`
  // are the names it may use. Throws engine::InvalidInput naming the line for anything else.
  static Expression parse(std::span<const Token> tokens, std::size_t& position,
                          std::span<const std::string_view> parameters);

  // Its value with parameter k set to values[k].
  double evaluate(std::span<const double> values) const;

 private:
  enum class Op : std::uint8_t {
    number,
    parameter,
    negate,
    add,
    subtract,
    multiply,
    divide,
    power,
    sin,
    cos,
    tan,
    exp,
    ln,
    sqrt,
    arcsin,
    arccos,
    arctan,
  };
  struct Node {
    Op op = Op::number;
    double value = 0;   // a number
    std::size_t a = 0;  // operands, or the index of a parameter
    std::size_t b = 0;
  };

  class Parser;
  double evaluate_node(std::size_t node, std::span<const double> values) const;

  std::vector<Node> nodes_;  // the root last
};

}  // namespace korvane::circuit::qasm
