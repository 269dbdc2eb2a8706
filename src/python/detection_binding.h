// Circuit.detection_events: detection events computed from given measurement records.
#pragma once

#include <Python.h>

#include "../circuit/program.h"

namespace korvane::python {

PyObject* circuit_detection_events(const circuit::Program& program, PyObject* args,
                                   PyObject* kwargs);

}  // namespace korvane::python
