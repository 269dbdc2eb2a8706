// PanicException: how an engine fault reaches Python. It derives directly from BaseException, so
// `except Exception` does not swallow it, and it is not an attribute of the module.
#pragma once

#include <Python.h>

namespace korvane::python {

// The class, created on first use and kept for the life of the process; null with a Python
// exception set when it cannot be created.
PyObject* panic_exception_type();

// Sets PanicException(message) as the current exception.
void raise_panic(const char* message);

}  // namespace korvane::python
