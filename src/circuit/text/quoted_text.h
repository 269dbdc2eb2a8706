// Pieces of circuit text quoted in messages. The text may hold any bytes, and a message must stay
// valid UTF-8 whatever they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvane::circuit {

// The length of the well-formed UTF-8 character at the front of `text` (1 to 4 bytes), or 0 when
// the first byte starts none (a stray continuation byte, an overlong form, a surrogate, a cut
// sequence).
std::size_t utf8_character_length(std::string_view text);

// 'token' for a message: at most `longest` bytes of it, cut between characters and followed by
// "..." when cut; a byte that starts no character, and a control character, is written \xNN.
std::string quoted(std::string_view token, std::size_t longest = 40);

}  // namespace korvane::circuit
