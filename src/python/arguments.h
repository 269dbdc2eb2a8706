// Argument descriptors, the parsing of both calling conventions, and the conversion of qubit
// indices and qubit sets from Python objects.
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <vector>

#include "../engine/base.h"

namespace korvane::python {

inline constexpr std::size_t max_parameters = 2;

// Every parameter is required and may be passed by position or by keyword; no extras.
struct ArgumentDescriptor {
  const char* class_name;
  const char* function_name;
  std::array<const char*, max_parameters> parameter_names;
  std::size_t parameter_count;
};

// One borrowed argument object per parameter, in parameter order.
using ArgumentSlots = std::array<PyObject*, max_parameters>;

// The general case of parse_fast, reached whenever keywords or a wrong count are passed.
bool parse_fast_general(const ArgumentDescriptor& descriptor, PyObject* const* args,
                        Py_ssize_t nargs, PyObject* kwnames, ArgumentSlots& slots);

// Fast calling convention: positional arguments in `args`, keyword values after them, their
// names in the tuple `kwnames` (or null). On success `values` points at the arguments in
// parameter order: at `args` itself when exactly the parameters were passed by position, else at
// `slots`, filled here. The common case copies nothing: the interpreter has just stored `args`
// one word at a time, and reading them back as a wider vector would stall on those stores.
// Allocates nothing unless it fails with TypeError.
inline bool parse_fast(const ArgumentDescriptor& descriptor, PyObject* const* args,
                       Py_ssize_t nargs, PyObject* kwnames, ArgumentSlots& slots,
                       PyObject* const*& values) {
  if (kwnames == nullptr && static_cast<std::size_t>(nargs) == descriptor.parameter_count) {
    values = args;
    return true;
  }
  values = slots.data();
  return parse_fast_general(descriptor, args, nargs, kwnames, slots);
}

// Tuple calling convention: an argument tuple and a keyword dictionary (or null).
bool parse_tuple(const ArgumentDescriptor& descriptor, PyObject* args, PyObject* kwargs,
                 ArgumentSlots& slots);

// Reads an int (or an object with __index__) as an unsigned machine word. On failure the
// interpreter's exception stays set: TypeError without __index__, OverflowError out of range.
bool convert_qubit_index(PyObject* object, engine::Qubit& qubit);

// The exact int path of convert_qubit_index, inline for the gate calls.
inline bool convert_qubit_argument_fast(PyObject* object, engine::Qubit& qubit) {
  if (PyLong_CheckExact(object)) {
    // A small int holds its value in one digit: read it without a call.
    const auto* number = reinterpret_cast<PyLongObject*>(object);
    if (PyUnstable_Long_IsCompact(number)) {
      const Py_ssize_t compact = PyUnstable_Long_CompactValue(number);
      if (compact >= 0) {
        qubit = static_cast<engine::Qubit>(compact);
        return true;
      }
    }
    const unsigned long long value = PyLong_AsUnsignedLongLong(object);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    if constexpr (sizeof(engine::Qubit) >= sizeof(unsigned long long)) {
      qubit = static_cast<engine::Qubit>(value);
      return true;
    }
  }
  return convert_qubit_index(object, qubit);
}

// Reads a set or frozenset (or a subclass of either) through the iteration protocol into
// distinct qubit indices, in iteration order.
bool convert_qubit_set(PyObject* object, std::vector<engine::Qubit>& qubits);

// After a failed conversion of parameter `name`: an exception of exactly TypeError is replaced by
// TypeError "argument '{name}': {message}" keeping its __cause__; any other passes unchanged.
void name_argument_error(const char* name);

// Qubit index conversion of parameter `name`, with the error named as above.
inline bool convert_qubit_argument(const char* name, PyObject* object, engine::Qubit& qubit) {
  if (convert_qubit_argument_fast(object, qubit)) return true;
  name_argument_error(name);
  return false;
}

// Qubit set conversion of parameter `name`, with the error named as above.
bool convert_qubit_set_argument(const char* name, PyObject* object,
                                std::vector<engine::Qubit>& qubits);

// Reads an int (or an object with __index__) as a signed machine word. On failure an exception
// is set, which the caller discards.
bool convert_signed_integer(PyObject* object, Py_ssize_t& value);

// TypeError "'{type}' object cannot be cast as '{target}'", {type} the qualified type name.
void raise_cast_error(PyObject* object, const char* target);

}  // namespace korvane::python
