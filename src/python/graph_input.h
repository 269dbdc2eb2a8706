// Graph states given as data: Korvane.from_graph (edges in one array or in chunks),
// Korvane.add_edges and the lattice constructor Korvane.cluster; their entries are in the method
// table of simulator_type.cpp.
#pragma once

#include <Python.h>

namespace korvane::python {

// Class methods with the fast calling convention and keywords.
PyObject* simulator_from_graph(PyObject* type, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) noexcept;
PyObject* simulator_cluster(PyObject* type, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) noexcept;
// A method with the fast calling convention and keywords.
PyObject* add_edges(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept;

}  // namespace korvane::python
