// The circuit layer's one failure type: a circuit that cannot be read, or cannot be sampled as
// asked. The message says what is wrong and, for text, on which line.
#pragma once

#include <stdexcept>

namespace korvane::circuit {

class CircuitError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

}  // namespace korvane::circuit
