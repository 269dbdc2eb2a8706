// The methods of Circuit that read and write OpenQASM, expose the registers read from it, and
// draw the circuit; their entries are in the tables of circuit_type.cpp.
#pragma once

#include <Python.h>

namespace korvane::python {

// Class methods (METH_O | METH_CLASS).
PyObject* circuit_from_qasm(PyObject* type, PyObject* text) noexcept;
PyObject* circuit_from_qasm_file(PyObject* type, PyObject* path) noexcept;
// Methods with the tuple convention and keywords.
PyObject* circuit_to_qasm(PyObject* self, PyObject* args, PyObject* kwargs) noexcept;
PyObject* circuit_diagram(PyObject* self, PyObject* args, PyObject* kwargs) noexcept;
// Read-only attributes.
PyObject* get_qubit_registers(PyObject* self, void* closure) noexcept;
PyObject* get_bit_registers(PyObject* self, void* closure) noexcept;
// For repr() and pickling: from_qasm's argument when the circuit was read from OpenQASM (it then
// keeps its registers), else null without an exception.
PyObject* qasm_source(PyObject* self) noexcept;

}  // namespace korvane::python
