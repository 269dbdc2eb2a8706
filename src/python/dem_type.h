// The class DetectorErrorModel: a detector error model in the text format decoders read, made by
// Circuit.detector_error_model or read from text.
#pragma once

#include <Python.h>

#include "../circuit/program.h"

namespace korvane::python {

// The type object, created on first call; null with a Python exception set when creation fails.
// Called only during module initialisation.
PyTypeObject* detector_error_model_type();

// Circuit.detector_error_model(*, decompose_errors=False, flatten_loops=False) on `program`.
PyObject* circuit_detector_error_model(const circuit::Program& program, PyObject* args,
                                       PyObject* kwargs);

}  // namespace korvane::python
