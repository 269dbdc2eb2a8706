#include "generated_arguments.h"

#include <array>
#include <cstdint>
#include <limits>

#include "../circuit/generated/generated_circuits.h"
#include "errors.h"
#include "owned_ref.h"
#include "shot_arguments.h"

namespace korvane::python {
namespace {

bool convert_count(PyObject* object, const char* name, std::uint32_t& count) {
  const OwnedRef number(PyNumber_Index(object));
  if (!number) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be an int, not %T", name, object);
    return false;
  }
  int overflow = 0;  // numbers beyond a long long are out of range too, not an OverflowError
  const long long value = PyLong_AsLongLongAndOverflow(number.get(), &overflow);
  if (value == -1 && PyErr_Occurred()) return false;
  if (overflow != 0 || value < 0 || value > std::numeric_limits<std::uint32_t>::max()) {
    PyErr_Format(PyExc_ValueError, "%s must lie in [0, 2**32), not %S", name, number.get());
    return false;
  }
  count = static_cast<std::uint32_t>(value);
  return true;
}

bool convert_probability(PyObject* object, const char* name, double& p) {
  if (object == nullptr) return true;
  if (!PyFloat_Check(object) && !PyLong_Check(object)) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be a float, not %T", name, object);
    return false;
  }
  p = PyFloat_AsDouble(object);
  return !(p == -1.0 && PyErr_Occurred());
}

}  // namespace

bool generated_circuit_text(PyObject* args, PyObject* kwargs, std::string& text) {
  static const char* keywords[] = {"kind",
                                   "distance",
                                   "rounds",
                                   "after_clifford_depolarization",
                                   "before_round_data_depolarization",
                                   "before_measure_flip_probability",
                                   "after_reset_flip_probability",
                                   "bases",
                                   "seed",
                                   nullptr};
  PyObject* kind = nullptr;
  PyObject* distance = nullptr;
  PyObject* rounds = nullptr;
  std::array<PyObject*, 4> noise{};
  PyObject* bases = Py_None;
  PyObject* seed = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U|$OOOOOOOO:generated",
                                   const_cast<char**>(keywords), &kind, &distance, &rounds,
                                   &noise[0], &noise[1], &noise[2], &noise[3], &bases, &seed)) {
    return false;
  }
  if (distance == nullptr || rounds == nullptr) {
    PyErr_SetString(PyExc_TypeError, "generated() needs the keyword arguments distance and rounds");
    return false;
  }
  circuit::GeneratedCircuit parameters;
  Py_ssize_t size = 0;
  const char* kind_text = PyUnicode_AsUTF8AndSize(kind, &size);
  if (kind_text == nullptr) return false;
  parameters.kind = {kind_text, static_cast<std::size_t>(size)};
  if (!convert_count(distance, "distance", parameters.distance) ||
      !convert_count(rounds, "rounds", parameters.rounds) ||
      !convert_probability(noise[0], keywords[3], parameters.after_clifford_depolarization) ||
      !convert_probability(noise[1], keywords[4], parameters.before_round_data_depolarization) ||
      !convert_probability(noise[2], keywords[5], parameters.before_measure_flip_probability) ||
      !convert_probability(noise[3], keywords[6], parameters.after_reset_flip_probability) ||
      !convert_seed(seed, parameters.seed)) {
    return false;
  }
  if (bases != Py_None) {
    if (!PyUnicode_Check(bases)) {
      PyErr_Format(PyExc_TypeError, "argument 'bases' must be a str or None, not %T", bases);
      return false;
    }
    const char* bases_text = PyUnicode_AsUTF8AndSize(bases, &size);
    if (bases_text == nullptr) return false;
    parameters.bases = {bases_text, static_cast<std::size_t>(size)};
  }
  try {
    text = circuit::generate_circuit(parameters);
  } catch (...) {
    raise_current_exception();
    return false;
  }
  return true;
}

}  // namespace korvane::python
