#include "numpy_bridge.h"

#include "once_lock.h"

namespace korvane::python {
namespace {

OnceLock numpy_import;
PyObject* cached_numpy = nullptr;

// Without numpy the ImportError says what to do, with the interpreter's own as its cause.
bool import_numpy() {
  cached_numpy = PyImport_ImportModule("numpy");
  if (cached_numpy != nullptr) return true;
  if (!PyErr_ExceptionMatches(PyExc_ImportError)) return false;
  PyObject* const cause = PyErr_GetRaisedException();
  PyErr_SetString(PyExc_ImportError,
                  "this call needs numpy, which cannot be imported: install it with "
                  "'pip install numpy'");
  PyObject* const replacement = PyErr_GetRaisedException();
  PyException_SetCause(replacement, cause);
  PyErr_SetRaisedException(replacement);
  return false;
}

// Calls numpy.`function`(first, dtype=`dtype`).
OwnedRef call_with_dtype(const char* function, PyObject* first, const char* dtype) {
  PyObject* const numpy = numpy_module();
  if (numpy == nullptr) return {};
  const OwnedRef callable(PyObject_GetAttrString(numpy, function));
  const OwnedRef dtype_name(PyUnicode_FromString(dtype));
  const OwnedRef keywords(PyDict_New());
  const OwnedRef arguments(PyTuple_Pack(1, first));
  if (!callable || !dtype_name || !keywords || !arguments ||
      PyDict_SetItemString(keywords.get(), "dtype", dtype_name.get()) < 0) {
    return {};
  }
  return OwnedRef(PyObject_Call(callable.get(), arguments.get(), keywords.get()));
}

}  // namespace

PyObject* numpy_module() {
  if (!numpy_import.run(import_numpy)) return nullptr;
  return cached_numpy;
}

OwnedRef new_array(std::initializer_list<Py_ssize_t> shape, const char* dtype, void*& data) {
  OwnedRef dimensions(PyTuple_New(static_cast<Py_ssize_t>(shape.size())));
  if (!dimensions) return {};
  Py_ssize_t position = 0;
  for (const Py_ssize_t extent : shape) {
    PyObject* const number = PyLong_FromSsize_t(extent);
    if (number == nullptr) return {};
    PyTuple_SET_ITEM(dimensions.get(), position++, number);
  }
  OwnedRef array = call_with_dtype("zeros", dimensions.get(), dtype);
  if (!array) return {};
  Py_buffer view;
  if (PyObject_GetBuffer(array.get(), &view, PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS) < 0) return {};
  // The array owns its memory and nobody else holds it: the pointer outlives the view.
  data = view.buf;
  PyBuffer_Release(&view);
  return array;
}

OwnedRef contiguous_array(PyObject* object, const char* dtype, Py_buffer& view) {
  OwnedRef array = call_with_dtype("ascontiguousarray", object, dtype);
  if (!array) return {};
  if (PyObject_GetBuffer(array.get(), &view, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) < 0) {
    return {};
  }
  return array;
}

OwnedRef integer_array(PyObject* object, Py_buffer& view, bool& is_unsigned) {
  PyObject* const numpy = numpy_module();
  if (numpy == nullptr) return {};
  const OwnedRef array(PyObject_CallMethod(numpy, "asarray", "O", object));
  if (!array) return {};
  const OwnedRef size(PyObject_GetAttrString(array.get(), "size"));
  const OwnedRef dtype(PyObject_GetAttrString(array.get(), "dtype"));
  if (!size || !dtype) return {};
  const OwnedRef kind(PyObject_GetAttrString(dtype.get(), "kind"));
  if (!kind) return {};
  const int empty = PyObject_Not(size.get());
  if (empty < 0) return {};
  is_unsigned = empty == 0 && PyUnicode_EqualToUTF8(kind.get(), "u");
  if (empty == 0 && !is_unsigned && !PyUnicode_EqualToUTF8(kind.get(), "i")) {
    PyErr_Format(PyExc_TypeError, "expected integers, not an array of %S", dtype.get());
    return {};
  }
  return contiguous_array(array.get(), is_unsigned ? "uint64" : "int64", view);
}

}  // namespace korvane::python
