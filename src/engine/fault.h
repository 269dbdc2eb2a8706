// The engine's one failure type: an orderly stop of an operation with a message.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace korvane::engine {

class Fault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "index out of bounds: the len is {len} but the index is {index}"
[[noreturn]] void throw_index_fault(std::size_t len, std::size_t index);

}  // namespace korvane::engine
