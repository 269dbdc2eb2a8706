// The tokens of OpenQASM 2 and 3: names, numbers, strings and punctuation, with their lines.
// Comments (// and /* */) and whitespace are dropped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::circuit::qasm {

struct Token {
  enum class Type : std::uint8_t { name, integer, real, string, symbol, end };
  Type type = Type::end;
  std::string_view text;  // as written; a string without its quotes
  std::uint32_t line = 0;

  bool is(std::string_view symbol) const {
    return (type == Type::symbol || type == Type::name) && text == symbol;
  }
};

// Splits `text` into tokens, ending with one Token::Type::end. Throws engine::InvalidInput, naming
// the line, for a character that starts no token or a comment or string that is never closed.
std::vector<Token> tokenize(std::string_view text);

}  // namespace korvane::circuit::qasm
