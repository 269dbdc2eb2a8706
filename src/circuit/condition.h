// Conditions (OpenQASM's if()) as the runners see them: evaluated exactly on the register, and on
// Pauli frames only where they are Pauli feedback on one recorded bit.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "program.h"

namespace korvane::circuit {

// Whether the condition with entries `targets` holds, reading rec[-k] through `bit_back(k)`.
template <class BitBack>
bool condition_holds(std::span<const std::uint32_t> targets, const Condition& condition,
                     BitBack&& bit_back) {
  bool all_match = true;
  for (const std::uint32_t entry : targets) {
    const bool expected = (entry & expects_one_flag) != 0;
    if (bit_back(entry & ~expects_one_flag) != expected) all_match = false;
  }
  return all_match != condition.negated;
}

// The k of rec[-k] when the condition at `index` is Pauli feedback on that bit: it names one bit
// and its body applies only Paulis. Frames then multiply the body's Paulis in where the bit flips.
std::optional<std::uint32_t> feedback_lookback(const Program& program, std::size_t index);

// Why Pauli frames cannot run the condition at `index`, or nothing when they can.
std::optional<std::string> frames_refusal(const Program& program, std::size_t index);

// Throws engine::InvalidInput, naming its line, for the condition at `index`, which frames cannot
// run.
[[noreturn]] void refuse_on_frames(const Program& program, std::size_t index);

// Throws as refuse_on_frames for the first condition that frames cannot run.
void check_frames_can_run(const Program& program);

}  // namespace korvane::circuit
