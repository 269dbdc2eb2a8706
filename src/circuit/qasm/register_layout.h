// The named registers of a circuit read from OpenQASM: which qubits each quantum register holds,
// where each recorded bit was stored, and each condition as written, so that results can be read
// by register name and the circuit written back with its own names.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace korvane::circuit::qasm {

inline constexpr std::uint32_t no_register = std::numeric_limits<std::uint32_t>::max();

struct QubitRegister {
  std::string name;
  std::vector<std::uint32_t> qubits;
  bool single = false;  // declared as one qubit (qubit q;), used without an index
};

struct BitRegister {
  std::string name;
  std::uint32_t size = 0;
  bool single = false;  // declared as one bit (bit c;)
};

// A bit of a classical register; reg is no_register for a measurement stored nowhere.
struct BitPlace {
  std::uint32_t reg = no_register;
  std::uint32_t bit = 0;
};

// An if() as written: a whole register compared with `value`, or one bit of it (`bit` set).
struct WrittenCondition {
  std::uint32_t reg = 0;
  std::optional<std::uint32_t> bit;
  std::uint64_t value = 0;
  bool not_equal = false;
};

struct RegisterLayout {
  std::uint8_t version = 0;  // 2 or 3: the OpenQASM it was read from
  std::vector<QubitRegister> qubit_registers;
  std::vector<BitRegister> bit_registers;
  std::vector<BitPlace> record_places;       // one per recorded bit, in record order
  std::vector<WrittenCondition> conditions;  // one per condition of the program

  // The recorded bit that holds the final value of each bit of register `reg`, or nothing for a
  // bit never written (which reads 0).
  std::vector<std::optional<std::uint64_t>> final_record_indices(std::uint32_t reg) const {
    std::vector<std::optional<std::uint64_t>> last(bit_registers[reg].size);
    for (std::uint64_t r = 0; r < record_places.size(); ++r) {
      if (record_places[r].reg == reg) last[record_places[r].bit] = r;
    }
    return last;
  }
};

}  // namespace korvane::circuit::qasm
