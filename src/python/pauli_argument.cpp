#include "pauli_argument.h"

#include <array>
#include <optional>
#include <unordered_set>

#include "arguments.h"
#include "owned_ref.h"

namespace korvane::python {
namespace {

using clifford::Axis;

// The axis of a Pauli letter, nothing for the identity (_ or I), or false for anything else.
bool read_letter(Py_UCS4 letter, std::optional<Axis>& axis) {
  switch (letter) {
    case '_':
    case 'I':
      axis.reset();
      return true;
    case 'X':
      axis = Axis::X;
      return true;
    case 'Y':
      axis = Axis::Y;
      return true;
    case 'Z':
      axis = Axis::Z;
      return true;
    default:
      return false;
  }
}

bool convert_string(const char* name, PyObject* text, engine::PauliProduct& product) {
  const Py_ssize_t length = PyUnicode_GetLength(text);
  if (length < 0) return false;
  Py_ssize_t start = 0;
  if (length > 0) {
    const Py_UCS4 first = PyUnicode_ReadChar(text, 0);
    if (first == '+' || first == '-') {
      product.negative = first == '-';
      start = 1;
    }
  }
  for (Py_ssize_t position = start; position < length; ++position) {
    const Py_UCS4 letter = PyUnicode_ReadChar(text, position);
    std::optional<Axis> axis;
    if (!read_letter(letter, axis)) {
      PyErr_Format(PyExc_ValueError,
                   "argument '%s': %R at position %zd is not one of the letters _IXYZ", name,
                   OwnedRef(PyUnicode_FromOrdinal(static_cast<int>(letter))).get(), position);
      return false;
    }
    if (axis) {
      product.factors.push_back({static_cast<engine::Qubit>(position - start), *axis});
    }
  }
  return true;
}

bool convert_mapping(const char* name, PyObject* mapping, engine::PauliProduct& product) {
  // A list of the items, so that code run by a key's __index__ cannot change what is iterated.
  const OwnedRef items(PyMapping_Items(mapping));
  if (!items) return false;
  std::unordered_set<engine::Qubit> seen;
  const Py_ssize_t count = PyList_GET_SIZE(items.get());
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyObject* const item = PyList_GET_ITEM(items.get(), i);
    PyObject* const key = PyTuple_GET_ITEM(item, 0);
    PyObject* const value = PyTuple_GET_ITEM(item, 1);
    engine::Qubit qubit = 0;
    if (!convert_qubit_index(key, qubit)) {
      name_argument_error(name);
      return false;
    }
    std::optional<Axis> axis;
    if (!PyUnicode_Check(value) || PyUnicode_GetLength(value) != 1 ||
        !read_letter(PyUnicode_ReadChar(value, 0), axis)) {
      PyErr_Format(PyUnicode_Check(value) ? PyExc_ValueError : PyExc_TypeError,
                   "argument '%s': the Pauli of qubit %zu must be one of 'X', 'Y', 'Z', 'I', "
                   "'_', not %R",
                   name, qubit, value);
      return false;
    }
    if (!seen.insert(qubit).second) {
      PyErr_Format(PyExc_ValueError, "argument '%s': qubit %zu is named twice", name, qubit);
      return false;
    }
    if (axis) product.factors.push_back({qubit, *axis});
  }
  return true;
}

bool read_product(const char* name, PyObject* object, engine::PauliProduct& product) {
  if (PyUnicode_Check(object)) return convert_string(name, object, product);
  if (PyDict_Check(object)) return convert_mapping(name, object, product);
  raise_cast_error(object, "str or dict");
  name_argument_error(name);
  return false;
}

constexpr std::array<const char*, 3> axis_letters{"X", "Y", "Z"};

}  // namespace

bool convert_pauli_argument(const char* name, PyObject* object, std::size_t qubits,
                            engine::PauliProduct& product) {
  product = {};
  if (!read_product(name, object, product)) return false;
  for (const engine::PauliFactor& factor : product.factors) {
    if (factor.qubit >= qubits) {
      PyErr_Format(PyExc_ValueError,
                   "argument '%s': %s on qubit %zu, beyond the register of %zu qubits (only "
                   "identities may stand past its end)",
                   name, axis_letters[static_cast<std::size_t>(factor.axis)], factor.qubit, qubits);
      return false;
    }
  }
  return true;
}

}  // namespace korvane::python
