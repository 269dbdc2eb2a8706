// Whole files in and out, for paths given as str, bytes or os.PathLike.
#pragma once

#include <Python.h>

#include <cstddef>
#include <string>

namespace korvane::python {

// Appends the whole file at `path` to `contents`; false with OSError (naming the path) or the
// path's conversion error set.
bool read_whole_file(PyObject* path, std::string& contents);

// Writes `size` bytes at `data` to the file at `path`, replacing what it held; false with OSError
// (naming the path) or the path's conversion error set.
bool write_whole_file(PyObject* path, const void* data, std::size_t size);

// Returns `text` as a str when `path` is None or null, else writes it there and returns None;
// null with an exception set.
PyObject* text_or_file(PyObject* path, const std::string& text);

}  // namespace korvane::python
