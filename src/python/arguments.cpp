#include "arguments.h"

#include <cstdint>
#include <limits>
#include <string>
#include <unordered_set>

#include "owned_ref.h"

namespace korvane::python {
namespace {

std::string full_name(const ArgumentDescriptor& descriptor) {
  return std::string(descriptor.class_name) + "." + descriptor.function_name + "()";
}

void raise_type_error(const std::string& message) {
  PyErr_SetString(PyExc_TypeError, message.c_str());
}

void raise_too_many_positional(const ArgumentDescriptor& descriptor, Py_ssize_t given) {
  raise_type_error(full_name(descriptor) + " takes " + std::to_string(descriptor.parameter_count) +
                   " positional arguments but " + std::to_string(given) +
                   (given == 1 ? " was" : " were") + " given");
}

void raise_missing(const ArgumentDescriptor& descriptor, const ArgumentSlots& slots) {
  std::vector<const char*> missing;
  for (std::size_t i = 0; i < descriptor.parameter_count; ++i) {
    if (slots[i] == nullptr) missing.push_back(descriptor.parameter_names[i]);
  }
  // 'a' alone, 'a' and 'b', 'a', 'b' and 'c'.
  std::string list;
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if (i > 0) list.append(i + 1 == missing.size() ? " and " : ", ");
    list.append("'").append(missing[i]).append("'");
  }
  raise_type_error(full_name(descriptor) + " missing " + std::to_string(missing.size()) +
                   " required positional " + (missing.size() == 1 ? "argument" : "arguments") +
                   ": " + list);
}

// Places one keyword argument; false with TypeError set when it names no parameter or one that
// is already filled.
bool place_keyword(const ArgumentDescriptor& descriptor, PyObject* keyword, PyObject* value,
                   ArgumentSlots& slots) {
  for (std::size_t i = 0; i < descriptor.parameter_count; ++i) {
    if (!PyUnicode_Check(keyword) ||
        !PyUnicode_EqualToUTF8(keyword, descriptor.parameter_names[i])) {
      continue;
    }
    if (slots[i] != nullptr) {
      raise_type_error(full_name(descriptor) + " got multiple values for argument '" +
                       descriptor.parameter_names[i] + "'");
      return false;
    }
    slots[i] = value;
    return true;
  }
  PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'",
               full_name(descriptor).c_str(), keyword);
  return false;
}

bool place_positional(const ArgumentDescriptor& descriptor, PyObject* const* args, Py_ssize_t nargs,
                      ArgumentSlots& slots) {
  slots.fill(nullptr);
  if (static_cast<std::size_t>(nargs) > descriptor.parameter_count) {
    raise_too_many_positional(descriptor, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[static_cast<std::size_t>(i)] = args[i];
  return true;
}

bool check_all_filled(const ArgumentDescriptor& descriptor, const ArgumentSlots& slots) {
  for (std::size_t i = 0; i < descriptor.parameter_count; ++i) {
    if (slots[i] == nullptr) {
      raise_missing(descriptor, slots);
      return false;
    }
  }
  return true;
}

}  // namespace

bool parse_fast_general(const ArgumentDescriptor& descriptor, PyObject* const* args,
                        Py_ssize_t nargs, PyObject* kwnames, ArgumentSlots& slots) {
  if (!place_positional(descriptor, args, nargs, slots)) return false;
  const Py_ssize_t keyword_count = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t i = 0; i < keyword_count; ++i) {
    if (!place_keyword(descriptor, PyTuple_GET_ITEM(kwnames, i), args[nargs + i], slots)) {
      return false;
    }
  }
  return check_all_filled(descriptor, slots);
}

bool parse_tuple(const ArgumentDescriptor& descriptor, PyObject* args, PyObject* kwargs,
                 ArgumentSlots& slots) {
  if (!place_positional(descriptor, PySequence_Fast_ITEMS(args), PyTuple_GET_SIZE(args), slots)) {
    return false;
  }
  if (kwargs != nullptr) {
    Py_ssize_t position = 0;
    PyObject* keyword = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &keyword, &value)) {
      if (!place_keyword(descriptor, keyword, value, slots)) return false;
    }
  }
  return check_all_filled(descriptor, slots);
}

bool convert_qubit_index(PyObject* object, engine::Qubit& qubit) {
  unsigned long long value = 0;
  if (PyLong_Check(object)) {
    value = PyLong_AsUnsignedLongLong(object);
  } else {
    const OwnedRef index(PyNumber_Index(object));
    if (!index) return false;
    value = PyLong_AsUnsignedLongLong(index.get());
  }
  // All ones is a valid value unless an exception says otherwise.
  if (value == std::numeric_limits<unsigned long long>::max() && PyErr_Occurred()) return false;
  if constexpr (sizeof(engine::Qubit) < sizeof(unsigned long long)) {
    if (value > std::numeric_limits<engine::Qubit>::max()) {
      PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
      return false;
    }
  }
  qubit = static_cast<engine::Qubit>(value);
  return true;
}

void raise_cast_error(PyObject* object, const char* target) {
  const OwnedRef type_name(PyType_GetQualName(Py_TYPE(object)));
  if (!type_name) return;
  PyErr_Format(PyExc_TypeError, "'%U' object cannot be cast as '%s'", type_name.get(), target);
}

bool convert_qubit_set(PyObject* object, std::vector<engine::Qubit>& qubits) {
  if (!PySet_Check(object) && !PyFrozenSet_Check(object)) {
    raise_cast_error(object, "set");
    return false;
  }
  // A subclass's own __iter__ runs here.
  const OwnedRef iterator(PyObject_GetIter(object));
  if (!iterator) return false;
  std::vector<engine::Qubit> converted;
  std::unordered_set<engine::Qubit> seen;
  const Py_ssize_t expected = PySet_GET_SIZE(object);
  converted.reserve(static_cast<std::size_t>(expected));
  seen.reserve(static_cast<std::size_t>(expected));
  while (true) {
    const OwnedRef element(PyIter_Next(iterator.get()));
    if (!element) break;
    engine::Qubit qubit = 0;
    if (!convert_qubit_index(element.get(), qubit)) return false;
    // Distinct Python objects (say an int and an __index__ object) can name the same qubit.
    if (seen.insert(qubit).second) converted.push_back(qubit);
  }
  if (PyErr_Occurred()) return false;
  qubits = std::move(converted);
  return true;
}

void name_argument_error(const char* name) {
  PyObject* raised = PyErr_GetRaisedException();
  if (raised == nullptr) return;
  if (!Py_IS_TYPE(raised, reinterpret_cast<PyTypeObject*>(PyExc_TypeError))) {
    PyErr_SetRaisedException(raised);
    return;
  }
  const OwnedRef original(raised);
  const OwnedRef message(PyObject_Str(raised));
  if (!message) return;
  const OwnedRef text(PyUnicode_FromFormat("argument '%s': %U", name, message.get()));
  if (!text) return;
  OwnedRef renamed(PyObject_CallOneArg(PyExc_TypeError, text.get()));
  if (!renamed) return;
  if (PyObject* cause = PyException_GetCause(raised); cause != nullptr) {
    PyException_SetCause(renamed.get(), cause);
  }
  PyErr_SetRaisedException(renamed.release());
}

bool convert_qubit_set_argument(const char* name, PyObject* object,
                                std::vector<engine::Qubit>& qubits) {
  if (convert_qubit_set(object, qubits)) return true;
  name_argument_error(name);
  return false;
}

bool convert_signed_integer(PyObject* object, Py_ssize_t& value) {
  const long long wide = PyLong_AsLongLong(object);
  if (wide == -1 && PyErr_Occurred()) return false;
  if constexpr (sizeof(Py_ssize_t) < sizeof(long long)) {
    if (wide < std::numeric_limits<Py_ssize_t>::min() ||
        wide > std::numeric_limits<Py_ssize_t>::max()) {
      PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
      return false;
    }
  }
  value = static_cast<Py_ssize_t>(wide);
  return true;
}

}  // namespace korvane::python
