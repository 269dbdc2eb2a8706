// numpy arrays in and out of the module. numpy is imported the first time an array is needed, so
// the calls that never make one keep working where numpy is not installed.
#pragma once

#include <Python.h>

#include <cstddef>
#include <initializer_list>

#include "owned_ref.h"

namespace korvane::python {

// The numpy module (a borrowed reference kept for the life of the process), or null with
// ImportError set when numpy cannot be imported.
PyObject* numpy_module();

// A new, zero-filled, C-contiguous numpy array of `shape` and the numpy dtype named `dtype`
// ("bool", "uint8", "int64", ...). On success `data` points at its first element, valid while
// the array lives; no other object sees the array until it is returned, so the data may be
// written with the GIL released. Null with an exception set (MemoryError, ValueError) on failure.
OwnedRef new_array(std::initializer_list<Py_ssize_t> shape, const char* dtype, void*& data);

// A C-contiguous array of `dtype` holding `object` (numpy's own conversion: an array of the
// right kind is taken as it is, a list of lists is copied). `view` describes its memory and must
// be given back with PyBuffer_Release. Null with an exception set when numpy refuses.
OwnedRef contiguous_array(PyObject* object, const char* dtype, Py_buffer& view);

// A C-contiguous array holding `object`, which must hold integers: an array of any integer
// dtype, or what numpy makes one of (a list of lists of ints). It is "uint64" for unsigned
// integers (`is_unsigned` is then set), so that values of 2^63 and more keep their value, and
// "int64" otherwise. Unlike numpy's own conversion it refuses floats, which numpy would truncate,
// with TypeError; an empty object is taken whatever its dtype. `view` is as for contiguous_array.
OwnedRef integer_array(PyObject* object, Py_buffer& view, bool& is_unsigned);

}  // namespace korvane::python
