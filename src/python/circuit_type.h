// The class Circuit: a circuit read from the common text format, compiled once and never changed
// afterwards, with its sampling methods; and the running of a circuit on a Korvane's register.
#pragma once

#include <Python.h>

#include "../engine/register.h"
#include "borrow.h"

namespace korvane::python {

// The type object, created on first call and kept for the life of the process; null with a
// Python exception set when creation fails. Called only during module initialisation.
PyTypeObject* circuit_type();

// Korvane.run's work on a register already borrowed exclusively: checks `circuit` (TypeError) and
// its size against the register (ValueError) before anything changes, runs it with the calling
// thread's generator and returns the measurement record as a numpy bool array.
PyObject* run_circuit(engine::Register& reg, PyObject* circuit, ExclusiveBorrow& borrow);

}  // namespace korvane::python
