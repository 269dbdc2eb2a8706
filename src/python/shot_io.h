// korvane.write_shots and korvane.read_shots: shots in and out of the result formats other tools
// read, through the circuit layer's encoders.
#pragma once

#include <Python.h>

namespace korvane::python {

// The two functions, for the module's method table (ended by a null entry).
extern PyMethodDef shot_functions[];

}  // namespace korvane::python
