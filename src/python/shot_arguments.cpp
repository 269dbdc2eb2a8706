#include "shot_arguments.h"

#include <limits>

#include "../engine/random/thread_generator.h"
#include "arguments.h"
#include "owned_ref.h"

namespace korvane::python {
namespace {

constexpr auto largest_array = static_cast<std::uint64_t>(PY_SSIZE_T_MAX);

PyObject* as_integer(PyObject* object, const char* name) {
  PyObject* number = PyNumber_Index(object);
  if (number == nullptr) name_argument_error(name);
  return number;
}

}  // namespace

bool convert_shots(PyObject* object, std::uint64_t& shots) {
  const OwnedRef number(as_integer(object, "shots"));
  if (!number) return false;
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(number.get(), &overflow);
  if (value == -1 && PyErr_Occurred()) return false;
  if (overflow < 0 || (overflow == 0 && value < 0)) {
    PyErr_Format(PyExc_ValueError, "shots must be at least 0, not %S", number.get());
    return false;
  }
  if (overflow > 0 || static_cast<std::uint64_t>(value) > largest_array) {
    PyErr_Format(PyExc_MemoryError, "%S shots cannot be held in memory", number.get());
    return false;
  }
  shots = static_cast<std::uint64_t>(value);
  return true;
}

bool convert_seed(PyObject* object, std::uint64_t& seed) {
  if (object == nullptr || object == Py_None) {
    seed = engine::draw_u64(engine::thread_generator());
    return true;
  }
  const OwnedRef number(as_integer(object, "seed"));
  if (!number) return false;
  const unsigned long long value = PyLong_AsUnsignedLongLong(number.get());
  if (value == std::numeric_limits<unsigned long long>::max() && PyErr_Occurred()) {
    if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
    PyErr_Format(PyExc_OverflowError,
                 "seed must be None or an integer with 0 <= seed < 2**64, not %S", number.get());
    return false;
  }
  seed = value;
  return true;
}

bool convert_method(PyObject* object, circuit::SamplingMethod& method) {
  if (object == nullptr) {
    method = circuit::SamplingMethod::frames;
    return true;
  }
  if (!PyUnicode_Check(object)) {
    PyErr_Format(PyExc_TypeError, "argument 'method' must be 'frames' or 'shots', not %.200s",
                 Py_TYPE(object)->tp_name);
    return false;
  }
  if (PyUnicode_CompareWithASCIIString(object, "frames") == 0) {
    method = circuit::SamplingMethod::frames;
    return true;
  }
  if (PyUnicode_CompareWithASCIIString(object, "shots") == 0) {
    method = circuit::SamplingMethod::shots;
    return true;
  }
  PyErr_Format(PyExc_ValueError, "method must be 'frames' or 'shots', not %R", object);
  return false;
}

bool check_array_size(std::uint64_t shots, std::uint64_t width) {
  if (width != 0 && shots > largest_array / width) {
    PyErr_Format(PyExc_MemoryError,
                 "%llu shots of %llu values each are more than an array can hold",
                 static_cast<unsigned long long>(shots), static_cast<unsigned long long>(width));
    return false;
  }
  return true;
}

}  // namespace korvane::python
