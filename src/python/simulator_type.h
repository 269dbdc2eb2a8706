// The class Korvane: a register of qubits inside a Python object, and its methods.
#pragma once

#include <Python.h>

namespace korvane::python {

// The type object, created on first call and kept for the life of the process; null with a
// Python exception set when creation fails. Called only during module initialisation.
PyTypeObject* simulator_type();

}  // namespace korvane::python
