// The Circuit object's layout, shared by the files that implement its methods: the program,
// built before the object and never changed after (so calls may read it from any thread with the
// GIL released), and the registers of the OpenQASM it was read from, if any.
#pragma once

#include <Python.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "../circuit/program.h"
#include "../circuit/qasm/register_layout.h"
#include "without_gil.h"

namespace korvane::python {

struct CircuitObject {
  PyObject ob_base{};
  circuit::Program program;
  circuit::qasm::RegisterLayout layout;  // version 0 when read from the circuit text format
  Py_hash_t hash = -1;                   // until first asked for
  // Found once when the circuit is made, so that runs skip the passes they would need them for.
  bool holds_products = true;  // the products are checked before each run
  bool places_qubits = true;   // a run gives the register the qubits' coordinates
};

// The Circuit, or null with TypeError set.
const CircuitObject* as_circuit(PyObject* object);

// The program of a Circuit, or null with TypeError set.
const circuit::Program* as_program(PyObject* object);

// A new object of `type` (Circuit) that takes over both; null with an exception set.
PyObject* new_circuit(PyTypeObject* type, circuit::Program&& program,
                      circuit::qasm::RegisterLayout&& layout = {});

// Texts longer than this are read with the GIL released.
inline constexpr std::size_t long_text = std::size_t{1} << 16;

// read(text), with the GIL released when the text is long.
template <class Read>
auto read_released(std::string_view text, Read&& read) {
  if (text.size() < long_text) return read(text);
  decltype(read(text)) result;
  without_gil([&] { result = read(text); });
  return result;
}

}  // namespace korvane::python
