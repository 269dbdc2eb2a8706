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

}  // namespace korvane::python
