#include "crc32.h"

#include <array>

namespace korvane::engine {
namespace {

constexpr std::uint32_t polynomial = 0xEDB88320U;

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

// Table 0 advances the CRC by one byte; table k by a byte followed by k zero bytes.
constexpr Tables make_tables() {
  Tables built{};
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    std::uint32_t crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1U) != 0 ? polynomial : 0U);
    built[0][byte] = crc;
  }
  for (std::size_t k = 1; k < built.size(); ++k) {
    for (std::size_t byte = 0; byte < 256; ++byte) {
      const std::uint32_t previous = built[k - 1][byte];
      built[k][byte] = (previous >> 8) ^ built[0][previous & 0xFFU];
    }
  }
  return built;
}

constexpr Tables crc_tables = make_tables();

}  // namespace

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) noexcept {
  crc = ~crc;
  for (; size >= 8; size -= 8, data += 8) {
    const std::uint32_t low = crc ^ (std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8 |
                                     std::uint32_t{data[2]} << 16 | std::uint32_t{data[3]} << 24);
    crc = crc_tables[7][low & 0xFFU] ^ crc_tables[6][(low >> 8) & 0xFFU] ^
          crc_tables[5][(low >> 16) & 0xFFU] ^ crc_tables[4][low >> 24] ^ crc_tables[3][data[4]] ^
          crc_tables[2][data[5]] ^ crc_tables[1][data[6]] ^ crc_tables[0][data[7]];
  }
  for (; size > 0; --size, ++data) crc = (crc >> 8) ^ crc_tables[0][(crc ^ *data) & 0xFFU];
  return ~crc;
}

}  // namespace korvane::engine
