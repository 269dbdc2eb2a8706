// Reading a whole text file named by a Python path (str, bytes or os.PathLike).
#pragma once

#include <Python.h>

#include <string>

namespace korvane::python {

// The contents of the file at `path`; false with OSError (or TypeError for a non-path) set.
bool read_text_file(PyObject* path, std::string& contents);

}  // namespace korvane::python
