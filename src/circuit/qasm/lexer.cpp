#include "lexer.h"

#include <array>

#include "../../engine/base.h"

namespace korvane::circuit::qasm {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Letters, '_', and every byte of a multi-byte UTF-8 character (pi and tau may be written as
// Greek letters).
bool starts_name(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool continues_name(char c) { return starts_name(c) || is_digit(c); }

// Longest first, so that "->" is not read as "-" then ">".
constexpr std::array<std::string_view, 26> symbols{
    "**", "->", "==", "!=", "<=", ">=", "&&", "||", "++", "+=", "-=", ";", ",",
    "(",  ")",  "[",  "]",  "{",  "}",  "=",  "+",  "-",  "*",  "/",  "^", "@"};
constexpr std::array<std::string_view, 6> single_symbols{":", "!", "<", ">", "%", "~"};

[[noreturn]] void fail(std::uint32_t line, const std::string& message) {
  throw engine::InvalidInput("line " + std::to_string(line) + ": " + message);
}

}  // namespace

std::vector<Token> tokenize(std::string_view text) {
  std::vector<Token> tokens;
  std::uint32_t line = 1;
  std::size_t i = 0;
  const auto emit = [&](Token::Type type, std::size_t start, std::size_t end) {
    tokens.push_back({type, text.substr(start, end - start), line});
  };
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      ++i;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
      ++i;
    } else if (text.substr(i, 2) == "//") {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (text.substr(i, 2) == "/*") {
      const std::uint32_t opened = line;
      const std::size_t close = text.find("*/", i + 2);
      if (close == std::string_view::npos) fail(opened, "the comment opened here is never closed");
      for (std::size_t j = i; j < close; ++j) line += text[j] == '\n' ? 1 : 0;
      i = close + 2;
    } else if (c == '"' || c == '\'') {
      const std::size_t close = text.find(c, i + 1);
      if (close == std::string_view::npos ||
          text.substr(i, close - i).find('\n') != std::string_view::npos) {
        fail(line, "the string opened here is never closed on its line");
      }
      emit(Token::Type::string, i + 1, close);
      i = close + 1;
    } else if (is_digit(c) || (c == '.' && i + 1 < text.size() && is_digit(text[i + 1]))) {
      const std::size_t start = i;
      bool real = false;
      while (i < text.size() && (is_digit(text[i]) || text[i] == '_')) ++i;
      if (i < text.size() && text[i] == '.') {
        real = true;
        ++i;
        while (i < text.size() && is_digit(text[i])) ++i;
      }
      if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && is_digit(text[j])) {
          real = true;
          i = j;
          while (i < text.size() && is_digit(text[i])) ++i;
        }
      }
      emit(real ? Token::Type::real : Token::Type::integer, start, i);
    } else if (starts_name(c)) {
      const std::size_t start = i;
      while (i < text.size() && continues_name(text[i])) ++i;
      emit(Token::Type::name, start, i);
    } else {
      bool found = false;
      for (const std::string_view symbol : symbols) {
        if (text.substr(i, symbol.size()) == symbol) {
          emit(Token::Type::symbol, i, i + symbol.size());
          i += symbol.size();
          found = true;
          break;
        }
      }
      for (const std::string_view symbol : single_symbols) {
        if (!found && text[i] == symbol[0]) {
          emit(Token::Type::symbol, i, i + 1);
          ++i;
          found = true;
        }
      }
      if (!found) fail(line, "unexpected character '" + std::string(1, c) + "'");
    }
  }
  tokens.push_back({Token::Type::end, {}, line});
  return tokens;
}

}  // namespace korvane::circuit::qasm
