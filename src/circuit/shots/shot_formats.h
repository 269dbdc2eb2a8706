// The result formats that QEC tools exchange, bit-exact with their public definitions: `01`
// (a line of 0s and 1s per shot), `b8` (bytes, bit k of a shot in byte k / 8 at 1 << k % 8),
// `r8` (the lengths of the runs of zeros before each 1, the shot ended by an extra 1), `hits`
// (the indices of the 1s, comma-separated, a line per shot), `dets` (`shot M3 D1 L0`, a line per
// shot) and `ptb64` (64 shots at a time transposed: one 64-bit word per bit). None has a header:
// the reader is told how many bits a shot has.
//
// Shots are passed in and out as rows of bytes packed as in b8: ceil(bits / 8) bytes a shot,
// pad bits 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::circuit {

enum class ShotFormat : std::uint8_t { text01, b8, r8, hits, dets, ptb64 };

std::optional<ShotFormat> shot_format_named(std::string_view name);

// What the bits of a shot are, in order: measurement results, then detectors, then observables
// (dets names them M, D and L).
struct ShotLayout {
  std::uint64_t measurements = 0;
  std::uint64_t detectors = 0;
  std::uint64_t observables = 0;

  std::uint64_t bits() const noexcept { return measurements + detectors + observables; }
  std::uint64_t row_bytes() const noexcept { return (bits() + 7) / 8; }
};

// Appends `shots` packed rows (starting at `rows`) in `format` to `out`. ptb64 takes whole groups
// of 64 shots: throws engine::InvalidInput for any other count.
void write_shots(ShotFormat format, const ShotLayout& layout, const std::uint8_t* rows,
                 std::uint64_t shots, std::string& out);

struct ReadShots {
  std::vector<std::uint8_t> rows;  // packed
  std::uint64_t shots = 0;
};

// Every shot that `data` holds; throws engine::InvalidInput saying which shot is malformed and how.
// Binary formats of zero-bit shots hold none.
ReadShots read_shots(ShotFormat format, const ShotLayout& layout, std::string_view data);

}  // namespace korvane::circuit
