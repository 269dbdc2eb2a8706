#include "quoted_text.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace korvane::circuit {
namespace {

bool is_continuation(unsigned char byte) { return (byte & 0xC0U) == 0x80U; }

// The range of the second byte after a lead byte, which rules out overlong forms, surrogates and
// code points above U+10FFFF.
struct SecondByte {
  unsigned char low;
  unsigned char high;
};

SecondByte second_byte_range(unsigned char lead) {
  switch (lead) {
    case 0xE0:
      return {0xA0, 0xBF};
    case 0xED:
      return {0x80, 0x9F};
    case 0xF0:
      return {0x90, 0xBF};
    case 0xF4:
      return {0x80, 0x8F};
    default:
      return {0x80, 0xBF};
  }
}

std::size_t sequence_length(unsigned char lead) {
  if (lead < 0x80U) return 1;
  if (lead >= 0xC2U && lead <= 0xDFU) return 2;
  if (lead >= 0xE0U && lead <= 0xEFU) return 3;
  if (lead >= 0xF0U && lead <= 0xF4U) return 4;
  return 0;
}

bool is_control(unsigned char byte) { return byte < 0x20U || byte == 0x7FU; }

void append_escaped(std::string& text, unsigned char byte) {
  constexpr std::array<char, 16> hex{'0', '1', '2', '3', '4', '5', '6', '7',
                                     '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
  text.append("\\x");
  text.push_back(hex[byte >> 4]);
  text.push_back(hex[byte & 0xFU]);
}

}  // namespace

std::size_t utf8_character_length(std::string_view text) {
  if (text.empty()) return 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = sequence_length(lead);
  if (length <= 1 || text.size() < length) return length <= 1 ? length : 0;
  const SecondByte second = second_byte_range(lead);
  const auto next = static_cast<unsigned char>(text[1]);
  if (next < second.low || next > second.high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!is_continuation(static_cast<unsigned char>(text[i]))) return 0;
  }
  return length;
}

std::string quoted(std::string_view token, std::size_t longest) {
  std::string text = "'";
  std::size_t position = 0;
  while (position < token.size()) {
    const std::size_t length = utf8_character_length(token.substr(position));
    if (position + std::max<std::size_t>(length, 1) > longest) break;
    const auto byte = static_cast<unsigned char>(token[position]);
    if (length == 0 || (length == 1 && is_control(byte))) {
      append_escaped(text, byte);
      ++position;
    } else {
      text.append(token.substr(position, length));
      position += length;
    }
  }
  if (position < token.size()) text.append("...");
  return text + "'";
}

}  // namespace korvane::circuit
