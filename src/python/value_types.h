// The value classes MeasurementResult, Axis and Outcome. Their instances never change value;
// every instance other than the class attributes is a new object.
#pragma once

#include <Python.h>

#include "../clifford/local_clifford.h"

namespace korvane::python {

// The type objects, created on first call and kept for the life of the process; null with a
// Python exception set when creation fails. Called only during module initialisation, which
// runs under a once-lock.
PyTypeObject* measurement_result_type();
PyTypeObject* outcome_type();
PyTypeObject* axis_type();

// New instances (new references, or null with MemoryError). false is PlusOne, true MinusOne.
PyObject* new_measurement_result(bool result);
PyObject* new_outcome(bool result, clifford::Axis axis);

}  // namespace korvane::python
