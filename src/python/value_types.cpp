#include "value_types.h"

#include <array>
#include <cstdint>
#include <new>
#include <utility>

#include "arguments.h"
#include "borrow.h"
#include "owned_ref.h"

namespace korvane::python {
namespace {

// MeasurementResult and Axis: a value byte, then the borrow flag.
struct ValueObject {
  PyObject ob_base;
  std::uint8_t value;
  BorrowFlag borrow;
};

// Outcome: the result byte, then the axis byte; it never changes, so it has no borrow flag.
struct OutcomeObject {
  PyObject ob_base;
  std::uint8_t result;
  std::uint8_t axis;
};

constexpr std::array<const char*, 2> result_reprs{"MeasurementResult.PlusOne",
                                                  "MeasurementResult.MinusOne"};
constexpr std::array<const char*, 3> axis_reprs{"Axis.X", "Axis.Y", "Axis.Z"};
constexpr std::array<const char*, 2> result_short_texts{"+1", "-1"};
constexpr std::array<const char*, 3> axis_short_texts{"X", "Y", "Z"};

PyTypeObject* measurement_result_class = nullptr;
PyTypeObject* outcome_class = nullptr;
PyTypeObject* axis_class = nullptr;

ValueObject* as_value(PyObject* object) { return reinterpret_cast<ValueObject*>(object); }
OutcomeObject* as_outcome(PyObject* object) { return reinterpret_cast<OutcomeObject*>(object); }

// Measurement results that were freed, kept for the next ones: a result is usually dropped as
// soon as it is read, and taking its memory back from here skips the allocator both ways. Only
// with the GIL, which serialises every use; the list is bounded, so it never holds much.
class ResultFreeList {
 public:
#ifdef Py_GIL_DISABLED
  static PyObject* take() { return nullptr; }
  static bool keep(PyObject* /*object*/) { return false; }
#else
  static PyObject* take() { return count_ == 0 ? nullptr : objects_[--count_]; }
  static bool keep(PyObject* object) {
    if (count_ == objects_.size()) return false;
    objects_[count_++] = object;
    return true;
  }

 private:
  static inline std::array<PyObject*, 32> objects_{};
  static inline std::size_t count_ = 0;
#endif
};

PyObject* new_value(PyTypeObject* type, std::uint8_t value) {
  PyObject* object = type == measurement_result_class ? ResultFreeList::take() : nullptr;
  if (object != nullptr) {
    // Makes the kept memory a new object again: its type (and a reference to it), refcount 1.
    PyObject_Init(object, type);
  } else {
    object = type->tp_alloc(type, 0);
    if (object == nullptr) return nullptr;
  }
  ValueObject* fields = as_value(object);
  fields->value = value;
  new (&fields->borrow) BorrowFlag();
  return object;
}

void dealloc_value(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  if (type != measurement_result_class || !ResultFreeList::keep(self)) type->tp_free(self);
  Py_DECREF(type);
}

template <std::size_t count, const std::array<const char*, count>& texts>
PyObject* repr_value(PyObject* self) {
  const SharedBorrow borrow(as_value(self)->borrow);
  if (!borrow) return nullptr;
  return PyUnicode_FromString(texts[as_value(self)->value]);
}

PyObject* int_value(PyObject* self) {
  const SharedBorrow borrow(as_value(self)->borrow);
  if (!borrow) return nullptr;
  return PyLong_FromLong(as_value(self)->value);
}

// Only == and != are defined; the ordering operators are left to Python, which refuses them.
PyObject* equality_result(int op, bool equal) {
  if (op == Py_EQ) return PyBool_FromLong(equal);
  if (op == Py_NE) return PyBool_FromLong(!equal);
  Py_RETURN_NOTIMPLEMENTED;
}

PyObject* compare_instances(ValueObject* self, PyObject* other, int op) {
  const SharedBorrow borrow(as_value(other)->borrow, SharedBorrow::OnRefusal::stay_silent);
  if (!borrow) Py_RETURN_NOTIMPLEMENTED;
  return equality_result(op, self->value == as_value(other)->value);
}

// By value against another instance of the same class or against an integer (an int or an
// object with __index__); NotImplemented for everything else.
PyObject* compare_value(PyTypeObject* type, PyObject* self, PyObject* other, int op) {
  if (!PyObject_TypeCheck(self, type)) Py_RETURN_NOTIMPLEMENTED;
  ValueObject* fields = as_value(self);
  const SharedBorrow borrow(fields->borrow, SharedBorrow::OnRefusal::stay_silent);
  if (!borrow) Py_RETURN_NOTIMPLEMENTED;
  if (op < Py_LT || op > Py_GE) Py_RETURN_NOTIMPLEMENTED;
  if (PyObject_TypeCheck(other, type)) return compare_instances(fields, other, op);
  Py_ssize_t number = 0;
  if (convert_signed_integer(other, number)) return equality_result(op, fields->value == number);
  PyErr_Clear();
  if (PyObject_TypeCheck(other, type)) return compare_instances(fields, other, op);
  Py_RETURN_NOTIMPLEMENTED;
}

PyObject* compare_result(PyObject* self, PyObject* other, int op) {
  return compare_value(measurement_result_class, self, other, op);
}

PyObject* compare_axis(PyObject* self, PyObject* other, int op) {
  return compare_value(axis_class, self, other, op);
}

PyObject* outcome_str(PyObject* self) {
  const OutcomeObject* fields = as_outcome(self);
  return PyUnicode_FromFormat("(%s, %s)", axis_short_texts[fields->axis],
                              result_short_texts[fields->result]);
}

// Both values as their own reprs, so that a printed dict of outcomes reads plainly.
PyObject* outcome_repr(PyObject* self) {
  const OutcomeObject* fields = as_outcome(self);
  return PyUnicode_FromFormat("Outcome(result=%s, axis=%s)", result_reprs[fields->result],
                              axis_reprs[fields->axis]);
}

PyObject* outcome_result(PyObject* self, void*) {
  return new_value(measurement_result_class, as_outcome(self)->result);
}

PyObject* outcome_axis(PyObject* self, void*) {
  return new_value(axis_class, as_outcome(self)->axis);
}

PyGetSetDef outcome_attributes[] = {
    {"result", outcome_result, nullptr, nullptr, nullptr},
    {"axis", outcome_axis, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr unsigned int value_class_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION;

PyType_Slot measurement_result_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_value)},
    {Py_tp_doc, const_cast<char*>("Result of a single-qubit measurement.\n\n"
                                  "Exposed to Python as `korvane.MeasurementResult`.")},
    {Py_tp_repr, reinterpret_cast<void*>(repr_value<2, result_reprs>)},
    {Py_nb_int, reinterpret_cast<void*>(int_value)},
    {Py_tp_richcompare, reinterpret_cast<void*>(compare_result)},
    {0, nullptr},
};

PyType_Slot outcome_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_value)},
    {Py_tp_doc, const_cast<char*>("Measurement outcome and the axis that was measured.\n\n"
                                  "Returned in the values of `peek_measure_set`.")},
    {Py_tp_str, reinterpret_cast<void*>(outcome_str)},
    {Py_tp_repr, reinterpret_cast<void*>(outcome_repr)},
    {Py_tp_getset, outcome_attributes},
    {0, nullptr},
};

PyType_Slot axis_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_value)},
    {Py_tp_repr, reinterpret_cast<void*>(repr_value<3, axis_reprs>)},
    {Py_nb_int, reinterpret_cast<void*>(int_value)},
    {Py_tp_richcompare, reinterpret_cast<void*>(compare_axis)},
    {0, nullptr},
};

PyType_Spec measurement_result_spec{"korvane.MeasurementResult", sizeof(ValueObject), 0,
                                    value_class_flags, measurement_result_slots};
PyType_Spec outcome_spec{"korvane.Outcome", sizeof(OutcomeObject), 0, value_class_flags,
                         outcome_slots};
PyType_Spec axis_spec{"korvane.Axis", sizeof(ValueObject), 0, value_class_flags, axis_slots};

struct ClassAttribute {
  const char* name;
  std::uint8_t value;
};

// Creates the class and stores one shared instance per attribute in its dictionary, in order.
template <std::size_t count>
PyTypeObject* create_class(PyType_Spec& spec, const std::array<ClassAttribute, count>& attributes) {
  OwnedRef type(PyType_FromSpec(&spec));
  if (!type) return nullptr;
  auto* type_object = reinterpret_cast<PyTypeObject*>(type.get());
  for (const ClassAttribute& attribute : attributes) {
    const OwnedRef instance(new_value(type_object, attribute.value));
    if (!instance) return nullptr;
    if (PyObject_SetAttrString(type.get(), attribute.name, instance.get()) < 0) return nullptr;
  }
  return reinterpret_cast<PyTypeObject*>(type.release());
}

constexpr std::array<ClassAttribute, 2> result_attributes{{{"PlusOne", 0}, {"MinusOne", 1}}};
constexpr std::array<ClassAttribute, 3> axis_attributes{{{"X", 0}, {"Y", 1}, {"Z", 2}}};
constexpr std::array<ClassAttribute, 0> no_attributes{};

}  // namespace

PyTypeObject* measurement_result_type() {
  if (measurement_result_class == nullptr) {
    measurement_result_class = create_class(measurement_result_spec, result_attributes);
  }
  return measurement_result_class;
}

PyTypeObject* outcome_type() {
  if (outcome_class == nullptr) outcome_class = create_class(outcome_spec, no_attributes);
  return outcome_class;
}

PyTypeObject* axis_type() {
  if (axis_class == nullptr) axis_class = create_class(axis_spec, axis_attributes);
  return axis_class;
}

PyObject* new_measurement_result(bool result) {
  return new_value(measurement_result_class, result ? 1 : 0);
}

PyObject* new_outcome(bool result, clifford::Axis axis) {
  PyObject* object = outcome_class->tp_alloc(outcome_class, 0);
  if (object == nullptr) return nullptr;
  OutcomeObject* fields = as_outcome(object);
  fields->result = result ? 1 : 0;
  fields->axis = static_cast<std::uint8_t>(axis);
  return object;
}

}  // namespace korvane::python
