// The methods of Korvane that take whole states in and out (copy, save and load, the graph, the
// stabilizers), measure Pauli products, and reset and swap qubits; their entries are in the
// method table of simulator_type.cpp.
#pragma once

#include <Python.h>

namespace korvane::python {

// Methods without arguments (METH_NOARGS).
PyObject* copy_simulator(PyObject* self, PyObject* unused) noexcept;
PyObject* get_state(PyObject* self, PyObject* unused) noexcept;
PyObject* reduce_simulator(PyObject* self, PyObject* unused) noexcept;
PyObject* export_graph(PyObject* self, PyObject* unused) noexcept;
PyObject* list_stabilizers(PyObject* self, PyObject* unused) noexcept;
// Methods with one positional argument (METH_O).
PyObject* deep_copy_simulator(PyObject* self, PyObject* memo) noexcept;
PyObject* set_state(PyObject* self, PyObject* state) noexcept;
PyObject* save_simulator(PyObject* self, PyObject* path) noexcept;
// Class methods with one positional argument (METH_O | METH_CLASS).
PyObject* simulator_from_bytes(PyObject* type, PyObject* data) noexcept;
PyObject* load_simulator(PyObject* type, PyObject* path) noexcept;
// Methods with the fast calling convention and keywords; from_graph is a class method.
PyObject* simulator_from_graph(PyObject* type, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) noexcept;
PyObject* peek_pauli(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept;
PyObject* measure_pauli(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) noexcept;
PyObject* reset_qubit(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept;
PyObject* swap_qubits(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept;
// Slots: len(), repr() and the read-only attribute qubit_amount.
Py_ssize_t simulator_length(PyObject* self) noexcept;
PyObject* simulator_repr(PyObject* self) noexcept;
PyObject* get_qubit_amount(PyObject* self, void* closure) noexcept;

}  // namespace korvane::python
