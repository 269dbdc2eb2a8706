// Korvane.draw: the SVG of the register's graph, or of the part around some qubits; its entry is
// in the method table of simulator_type.cpp.
#pragma once

#include <Python.h>

namespace korvane::python {

// The tuple convention with keywords: draw(path=None, *, qubits=None, layout='auto').
PyObject* draw_simulator(PyObject* self, PyObject* args, PyObject* kwargs) noexcept;

}  // namespace korvane::python
