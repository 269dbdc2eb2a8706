// The engine's refusal of data that comes from outside as a whole (a saved register, an edge
// list): unlike a Fault, which stops an operation on a register, it says the data itself is not a
// register, and reaches Python as ValueError.
#pragma once

#include <stdexcept>

namespace korvane::engine {

class InvalidInput : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

}  // namespace korvane::engine
