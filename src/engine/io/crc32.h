// CRC-32 as zlib, PNG and Ethernet compute it (reflected polynomial 0xEDB88320), so a saved
// register can be checked with any common tool. Eight tables let the loop take eight bytes a
// step.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvane::engine {

// The CRC-32 of `size` bytes at `data`, continuing from `crc` (0 to start).
std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) noexcept;

}  // namespace korvane::engine
