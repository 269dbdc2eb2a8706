// The arguments of Circuit.generated, turned into the text of the circuit they ask for.
#pragma once

#include <Python.h>

#include <string>

namespace korvane::python {

// Parses (kind, *, distance, rounds, after_clifford_depolarization=0, ...) and writes the
// circuit's text to `text`; false with a Python exception set (TypeError, ValueError).
bool generated_circuit_text(PyObject* args, PyObject* kwargs, std::string& text);

}  // namespace korvane::python
