#include "program.h"

#include <bit>

namespace korvane::circuit {

bool same_circuit(const Program& a, const Program& b) {
  // The channels and counts follow from the rest.
  return a.instructions == b.instructions && a.targets == b.targets && a.arguments == b.arguments &&
         a.repeat_counts == b.repeat_counts && a.conditions == b.conditions &&
         a.num_qubits == b.num_qubits;
}

namespace {

// One step of FNV-1a over the 8 bytes of `value`.
std::uint64_t mix(std::uint64_t hash, std::uint64_t value) {
  constexpr std::uint64_t prime = 0x100000001B3U;
  for (unsigned shift = 0; shift < 64; shift += 8)
    hash = (hash ^ ((value >> shift) & 0xFFU)) * prime;
  return hash;
}

}  // namespace

std::uint64_t circuit_hash(const Program& program) {
  std::uint64_t hash = 0xCBF29CE484222325U;
  for (const Instruction& instruction : program.instructions) {
    hash = mix(hash, static_cast<std::uint64_t>(instruction.gate) << 8 |
                         static_cast<std::uint64_t>(instruction.kind));
    hash = mix(hash, std::uint64_t{instruction.first} << 32 | instruction.count);
    hash = mix(hash, std::uint64_t{instruction.first_argument} << 32 | instruction.argument_count);
    hash = mix(hash, instruction.detail);
  }
  for (const std::uint32_t target : program.targets) hash = mix(hash, target);
  // -0.0 equals 0.0, so both hash as 0.0.
  for (const double argument : program.arguments) {
    hash = mix(hash, std::bit_cast<std::uint64_t>(argument == 0.0 ? 0.0 : argument));
  }
  for (const std::uint64_t count : program.repeat_counts) hash = mix(hash, count);
  return mix(hash, program.num_qubits);
}

}  // namespace korvane::circuit
