// The conversion of a Pauli product argument: a str such as "X_ZZ" or "-XYZ" (an optional sign,
// then one of _IXYZ per qubit, qubit 0 first), or a dict such as {3: "X", 7: "Z"}.
#pragma once

#include <Python.h>

#include "../engine/ops/pauli_product.h"

namespace korvane::python {

// Reads `object` into `product`, leaving identity factors out: identities may stand anywhere,
// past the end of the register too, while an X, Y or Z must name one of its `qubits` qubits. On
// failure an exception is set, naming the parameter `name`: TypeError for a value of the wrong
// type (or from a qubit index without __index__), ValueError for a letter outside _IXYZ, a qubit
// named twice or a non-identity past the register, OverflowError for a negative index.
bool convert_pauli_argument(const char* name, PyObject* object, std::size_t qubits,
                            engine::PauliProduct& product);

}  // namespace korvane::python
