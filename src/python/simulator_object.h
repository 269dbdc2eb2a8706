// The Korvane object's layout and the road every one of its methods follows, shared by the files
// that implement the methods.
#pragma once

#include <Python.h>

#include <new>
#include <utility>

#include <vector>

#include "../circuit/qubit_coordinates.h"
#include "../engine/register.h"
#include "arguments.h"
#include "borrow.h"
#include "errors.h"

namespace korvane::python {

// The register, then the borrow flag that guards it, and where the last circuit run on it with
// QUBIT_COORDS placed its qubits (for draw()).
struct SimulatorObject {
  PyObject ob_base;
  engine::Register reg;
  BorrowFlag borrow;
  std::vector<circuit::QubitCoordinate> coordinates;
};

// The class Korvane, set once when its type object is created.
inline PyTypeObject* simulator_class = nullptr;

// Null with TypeError set when `self` is not a Korvane.
inline SimulatorObject* as_simulator(PyObject* self) {
  if (Py_IS_TYPE(self, simulator_class) || PyObject_TypeCheck(self, simulator_class)) {
    return reinterpret_cast<SimulatorObject*>(self);
  }
  raise_cast_error(self, "Korvane");
  return nullptr;
}

// A new object of `type` (Korvane) that takes over `reg`; null with an exception set when the
// interpreter refuses the memory.
inline PyObject* new_simulator(PyTypeObject* type, engine::Register&& reg,
                               std::vector<circuit::QubitCoordinate> coordinates = {}) {
  const allocfunc allocate = type->tp_alloc != nullptr ? type->tp_alloc : PyType_GenericAlloc;
  PyObject* object = allocate(type, 0);
  if (object == nullptr) return nullptr;
  auto* simulator = reinterpret_cast<SimulatorObject*>(object);
  new (&simulator->reg) engine::Register(std::move(reg));
  new (&simulator->borrow) BorrowFlag();
  new (&simulator->coordinates) std::vector<circuit::QubitCoordinate>(std::move(coordinates));
  return object;
}

// Every method follows the same road: parse, check self, borrow, then `body` converts, runs and
// converts the result; the borrow is released on every way out, before any C++ exception is
// translated.
template <class Borrow, class Body>
PyObject* call_with_borrow(const ArgumentDescriptor& arguments, PyObject* self,
                           PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                           Body&& body) noexcept {
  return guarded([&]() -> PyObject* {
    ArgumentSlots slots;
    PyObject* const* values = nullptr;
    if (!parse_fast(arguments, args, nargs, kwnames, slots, values)) return nullptr;
    SimulatorObject* simulator = as_simulator(self);
    if (simulator == nullptr) return nullptr;
    Borrow borrow(simulator->borrow);
    if (!borrow) return nullptr;
    return body(*simulator, values, borrow);
  });
}

// The road of the methods without parsed arguments: check self, borrow, run `body`.
template <class Borrow, class Body>
PyObject* with_borrow(PyObject* self, Body&& body) noexcept {
  return guarded([&]() -> PyObject* {
    SimulatorObject* simulator = as_simulator(self);
    if (simulator == nullptr) return nullptr;
    Borrow borrow(simulator->borrow);
    if (!borrow) return nullptr;
    return body(*simulator, borrow);
  });
}

}  // namespace korvane::python
