// A buffer view held for the duration of a call, and the error for an array of the wrong shape.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>

#include "../engine/io/given_integers.h"
#include "numpy_bridge.h"
#include "owned_ref.h"

namespace korvane::python {

// A buffer view held for the duration of a call.
class HeldBuffer {
 public:
  HeldBuffer() = default;
  HeldBuffer(const HeldBuffer&) = delete;
  HeldBuffer& operator=(const HeldBuffer&) = delete;
  ~HeldBuffer() {
    if (held_) PyBuffer_Release(&view_);
  }

  // A bytes-like object's memory; false with the interpreter's TypeError otherwise.
  bool take_bytes(PyObject* object) {
    held_ = PyObject_GetBuffer(object, &view_, PyBUF_SIMPLE) == 0;
    return held_;
  }
  // An int64 or uint64 array of the integers in `object` (numpy_bridge's integer_array), or with
  // `keep_bytes` a uint8 array kept as it is (byte_or_integer_array).
  bool take_integers(PyObject* object, bool keep_bytes = false) {
    array_ = keep_bytes ? byte_or_integer_array(object, view_, is_unsigned_)
                        : integer_array(object, view_, is_unsigned_);
    held_ = static_cast<bool>(array_);
    return held_;
  }
  // The integers taken, when they are 64-bit (not kept as bytes).
  engine::GivenIntegers integers() const {
    if (is_unsigned_) return static_cast<const std::uint64_t*>(view_.buf);
    return static_cast<const std::int64_t*>(view_.buf);
  }

  const Py_buffer& view() const { return view_; }
  PyObject* array() const { return array_.get(); }
  std::size_t elements() const {
    return static_cast<std::size_t>(view_.len) / static_cast<std::size_t>(view_.itemsize);
  }

 private:
  OwnedRef array_;
  Py_buffer view_{};
  bool held_ = false;
  bool is_unsigned_ = false;
};

// ValueError "argument '{name}': expected shape {expected}, not {actual}".
inline void raise_shape_error(const char* name, const char* expected, PyObject* array) {
  const OwnedRef shape(PyObject_GetAttrString(array, "shape"));
  if (!shape) return;
  PyErr_Format(PyExc_ValueError, "argument '%s': expected shape %s, not %R", name, expected,
               shape.get());
}

}  // namespace korvane::python
