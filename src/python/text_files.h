// Reading and writing whole text files named by a Python path (str or os.PathLike), for the
// methods that take a `path`.
#pragma once

#include <Python.h>

#include <string>

namespace korvane::python {

// The whole file in `contents`; false with OSError set.
bool read_text_file(PyObject* path, std::string& contents);

// Replaces the file's contents with `text`; false with OSError set.
bool write_text_file(PyObject* path, const std::string& text);

// Returns `text` as a str when `path` is None or null, else writes it there and returns None.
PyObject* text_or_file(PyObject* path, const std::string& text);

}  // namespace korvane::python
