// Korvane's methods that apply one gate of the gate table (circuit/gates/gate_table.h): the
// single-qubit gates, the controlled gates and the measurements, each built from its record:
// name, parameters, docstring, borrow and engine operation. They are the first rows of the
// class's method table, in the order of the records' positions.
#pragma once

#include <Python.h>

#include <array>

#include "gate_signatures.h"

namespace korvane::python {

// The method entries, ready for the class's method table.
std::array<PyMethodDef, gate_method_count> gate_methods();

}  // namespace korvane::python
