// Random sources for tests: one that hands out given words, one seeded and reproducible. Both
// count the words drawn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include "korvane/engine/random/random_source.h"
#include "korvane/engine/random/seeded_generator.h"

namespace korvane::testing {

// Hands out the given words in order, starting over after the last one.
class ScriptedSource final : public engine::RandomSource {
 public:
  explicit ScriptedSource(std::vector<std::uint32_t> words) : words_(std::move(words)) {
    if (words_.empty()) throw std::invalid_argument("ScriptedSource needs at least one word");
  }

  std::uint32_t next_u32() override { return words_[draws_++ % words_.size()]; }

  std::size_t draws() const { return draws_; }

 private:
  std::vector<std::uint32_t> words_;
  std::size_t draws_ = 0;
};

// Words whose top bit, and so whose measurement outcome bit, is 0 or 1.
inline constexpr std::uint32_t word_with_top_bit_clear = 0x12345678U;
inline constexpr std::uint32_t word_with_top_bit_set = 0x92345678U;

// SplitMix64, halved: a reproducible stream for statistical tests and random circuits.
class SeededSource final : public engine::RandomSource {
 public:
  explicit SeededSource(std::uint64_t seed) : state_(seed) {}

  std::uint32_t next_u32() override {
    ++draws_;
    return static_cast<std::uint32_t>(next64() >> 32);
  }

  // A uniform integer below `bound` (bound small, bias negligible for tests).
  std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next64() % bound); }

  std::size_t draws() const { return draws_; }

 private:
  std::uint64_t next64() { return engine::splitmix64(state_); }

  std::uint64_t state_;
  std::size_t draws_ = 0;
};

}  // namespace korvane::testing
