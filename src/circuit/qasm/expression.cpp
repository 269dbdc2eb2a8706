#include "expression.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <numbers>
#include <string>
#include <utility>

#include "../../engine/base.h"

namespace korvane::circuit::qasm {

class Expression::Parser {
 public:
  Parser(Expression& expression, std::span<const Token> tokens, std::size_t& position,
         std::span<const std::string_view> parameters)
      : nodes_(expression.nodes_), tokens_(tokens), position_(position), parameters_(parameters) {}

  std::size_t sum() {
    std::size_t left = product();
    while (peek().is("+") || peek().is("-")) {
      const Op op = next().is("+") ? Op::add : Op::subtract;
      left = add({op, 0, left, product()});
    }
    return left;
  }

 private:
  const Token& peek() const { return tokens_[position_]; }
  const Token& next() { return tokens_[position_ < tokens_.size() - 1 ? position_++ : position_]; }

  [[noreturn]] void fail(const std::string& message) const {
    throw engine::InvalidInput("line " + std::to_string(peek().line) + ": " + message);
  }

  std::size_t add(Node node) {
    nodes_.push_back(node);
    return nodes_.size() - 1;
  }

  std::size_t product() {
    std::size_t left = unary();
    while (peek().is("*") || peek().is("/")) {
      const Op op = next().is("*") ? Op::multiply : Op::divide;
      left = add({op, 0, left, unary()});
    }
    return left;
  }

  std::size_t unary() {
    if (peek().is("-")) {
      next();
      return add({Op::negate, 0, unary()});
    }
    if (peek().is("+")) {
      next();
      return unary();
    }
    return power();
  }

  std::size_t power() {
    const std::size_t base = primary();
    if (peek().is("^") || peek().is("**")) {
      next();
      return add({Op::power, 0, base, unary()});
    }
    return base;
  }

  std::size_t number(const Token& token) {
    std::string digits(token.text);
    std::erase(digits, '_');
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) {
      fail("bad number '" + std::string(token.text) + "'");
    }
    return add({Op::number, value});
  }

  std::size_t primary() {
    const Token& token = next();
    if (token.type == Token::Type::integer || token.type == Token::Type::real) {
      return number(token);
    }
    if (token.is("(")) {
      const std::size_t inside = sum();
      if (!next().is(")")) fail("expected ')' in an expression");
      return inside;
    }
    if (token.type != Token::Type::name) {
      fail("expected a number or a name in an expression, found '" + std::string(token.text) + "'");
    }
    static constexpr std::array<std::pair<std::string_view, double>, 6> constants{{
        {"pi", std::numbers::pi},
        {"\xCF\x80", std::numbers::pi},  // the Greek letter pi
        {"tau", 2 * std::numbers::pi},
        {"\xCF\x84", 2 * std::numbers::pi},  // tau
        {"euler", std::numbers::e},
        {"\xE2\x84\x87", std::numbers::e},  // the Euler constant sign
    }};
    for (const auto& [name, value] : constants) {
      if (token.text == name) return add({Op::number, value});
    }
    static constexpr std::array<std::pair<std::string_view, Op>, 10> functions{{
        {"sin", Op::sin},
        {"cos", Op::cos},
        {"tan", Op::tan},
        {"exp", Op::exp},
        {"ln", Op::ln},
        {"log", Op::ln},
        {"sqrt", Op::sqrt},
        {"arcsin", Op::arcsin},
        {"arccos", Op::arccos},
        {"arctan", Op::arctan},
    }};
    for (const auto& [name, op] : functions) {
      if (token.text != name) continue;
      if (!next().is("(")) fail("expected '(' after " + std::string(name));
      const std::size_t argument = sum();
      if (!next().is(")")) fail("expected ')' after the argument of " + std::string(name));
      return add({op, 0, argument});
    }
    const auto found = std::find(parameters_.begin(), parameters_.end(), token.text);
    if (found == parameters_.end()) {
      fail("unknown name '" + std::string(token.text) + "' in an expression");
    }
    return add({Op::parameter, 0, static_cast<std::size_t>(found - parameters_.begin())});
  }

  std::vector<Node>& nodes_;
  std::span<const Token> tokens_;
  std::size_t& position_;
  std::span<const std::string_view> parameters_;
};

Expression Expression::parse(std::span<const Token> tokens, std::size_t& position,
                             std::span<const std::string_view> parameters) {
  Expression expression;
  Parser(expression, tokens, position, parameters).sum();
  return expression;
}

double Expression::evaluate(std::span<const double> values) const {
  return evaluate_node(nodes_.size() - 1, values);
}

double Expression::evaluate_node(std::size_t index, std::span<const double> values) const {
  const Node& node = nodes_[index];
  const auto a = [&] { return evaluate_node(node.a, values); };
  const auto b = [&] { return evaluate_node(node.b, values); };
  switch (node.op) {
    case Op::number:
      return node.value;
    case Op::parameter:
      return values[node.a];
    case Op::negate:
      return -a();
    case Op::add:
      return a() + b();
    case Op::subtract:
      return a() - b();
    case Op::multiply:
      return a() * b();
    case Op::divide:
      return a() / b();
    case Op::power:
      return std::pow(a(), b());
    case Op::sin:
      return std::sin(a());
    case Op::cos:
      return std::cos(a());
    case Op::tan:
      return std::tan(a());
    case Op::exp:
      return std::exp(a());
    case Op::ln:
      return std::log(a());
    case Op::sqrt:
      return std::sqrt(a());
    case Op::arcsin:
      return std::asin(a());
    case Op::arccos:
      return std::acos(a());
    case Op::arctan:
      return std::atan(a());
  }
  return 0;
}

}  // namespace korvane::circuit::qasm
