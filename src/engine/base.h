// The engine's vocabulary: qubit indices, the words that rows of bits are made of (bits/word.h),
// and its two failure types: a Fault stops an operation on a register; InvalidInput refuses data
// that comes from outside as a whole.
#pragma once

#include <cstddef>
#include <stdexcept>

#include "bits/word.h"

namespace korvane::engine {

// A qubit index: 0 .. N-1 for a register of N qubits.
using Qubit = std::size_t;

// The orderly stop of an operation on a register, with a message; it reaches Python as
// PanicException.
class Fault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "index out of bounds: the len is {len} but the index is {index}"
[[noreturn]] void throw_index_fault(std::size_t len, std::size_t index);

// Data from outside that is refused as a whole: a saved register, an edge list, a circuit's text,
// or a circuit that cannot be sampled as asked. The message says what is wrong (for text, on which
// line); it reaches Python as ValueError.
class InvalidInput : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

}  // namespace korvane::engine
