#include "simulator_type.h"

#include <new>
#include <utility>
#include <vector>

#include "../clifford/local_clifford.h"
#include "../engine/controlled_gates.h"
#include "../engine/entangled_group.h"
#include "../engine/measure.h"
#include "../engine/peek.h"
#include "../engine/random.h"
#include "../engine/register.h"
#include "arguments.h"
#include "borrow.h"
#include "circuit_type.h"
#include "errors.h"
#include "owned_ref.h"
#include "value_types.h"

namespace korvane::python {
namespace {

using engine::ControlledGate;
using engine::Qubit;

// The register, then the borrow flag that guards it.
struct SimulatorObject {
  PyObject ob_base;
  engine::Register reg;
  BorrowFlag borrow;
};

PyTypeObject* simulator_class = nullptr;

constexpr ArgumentDescriptor qubit_arguments(const char* function_name) {
  return {"Korvane", function_name, {"qubit", nullptr}, 1};
}

constexpr ArgumentDescriptor pair_arguments(const char* function_name) {
  return {"Korvane", function_name, {"control", "target"}, 2};
}

constexpr ArgumentDescriptor constructor_arguments{
    "Korvane", "__new__", {"qubit_amount", nullptr}, 1};
constexpr ArgumentDescriptor x_arguments = qubit_arguments("x");
constexpr ArgumentDescriptor y_arguments = qubit_arguments("y");
constexpr ArgumentDescriptor z_arguments = qubit_arguments("z");
constexpr ArgumentDescriptor h_arguments = qubit_arguments("h");
constexpr ArgumentDescriptor s_arguments = qubit_arguments("s");
constexpr ArgumentDescriptor sdag_arguments = qubit_arguments("sdag");
constexpr ArgumentDescriptor cz_arguments = pair_arguments("cz");
constexpr ArgumentDescriptor cx_arguments = pair_arguments("cx");
constexpr ArgumentDescriptor xcx_arguments = pair_arguments("xcx");
constexpr ArgumentDescriptor ycx_arguments = pair_arguments("ycx");
constexpr ArgumentDescriptor xcz_arguments = pair_arguments("xcz");
constexpr ArgumentDescriptor ycz_arguments = pair_arguments("ycz");
constexpr ArgumentDescriptor cy_arguments = pair_arguments("cy");
constexpr ArgumentDescriptor xcy_arguments = pair_arguments("xcy");
constexpr ArgumentDescriptor ycy_arguments = pair_arguments("ycy");
constexpr ArgumentDescriptor measure_x_arguments = qubit_arguments("measure_x");
constexpr ArgumentDescriptor measure_y_arguments = qubit_arguments("measure_y");
constexpr ArgumentDescriptor measure_z_arguments = qubit_arguments("measure_z");
constexpr ArgumentDescriptor entangled_group_arguments = qubit_arguments("get_entangled_group");
constexpr ArgumentDescriptor peek_arguments{"Korvane", "peek_measure_set", {"qubits", nullptr}, 1};
constexpr ArgumentDescriptor run_arguments{"Korvane", "run", {"circuit", nullptr}, 1};

// Null with TypeError set when `self` is not a Korvane.
SimulatorObject* as_simulator(PyObject* self) {
  if (Py_IS_TYPE(self, simulator_class) || PyObject_TypeCheck(self, simulator_class)) {
    return reinterpret_cast<SimulatorObject*>(self);
  }
  raise_cast_error(self, "Korvane");
  return nullptr;
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

template <const ArgumentDescriptor& arguments, clifford::Vop gate>
PyObject* single_qubit_gate(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) noexcept {
  return call_with_borrow<ExclusiveBorrow>(
      arguments, self, args, nargs, kwnames,
      [](SimulatorObject& simulator, PyObject* const* values, ExclusiveBorrow&) -> PyObject* {
        Qubit qubit = 0;
        if (!convert_qubit_argument(arguments.parameter_names[0], values[0], qubit)) return nullptr;
        simulator.reg.apply_clifford(qubit, gate);
        Py_RETURN_NONE;
      });
}

template <const ArgumentDescriptor& arguments, ControlledGate gate>
PyObject* two_qubit_gate(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
  return call_with_borrow<ExclusiveBorrow>(
      arguments, self, args, nargs, kwnames,
      [](SimulatorObject& simulator, PyObject* const* values,
         ExclusiveBorrow& borrow) -> PyObject* {
        Qubit control = 0;
        Qubit target = 0;
        if (!convert_qubit_argument(arguments.parameter_names[0], values[0], control)) {
          return nullptr;
        }
        if (!convert_qubit_argument(arguments.parameter_names[1], values[1], target)) {
          return nullptr;
        }
        borrow.run_change(
            [&] { engine::apply_controlled_gate(simulator.reg, gate, control, target); });
        Py_RETURN_NONE;
      });
}

template <const ArgumentDescriptor& arguments, clifford::Axis axis>
PyObject* measurement(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  return call_with_borrow<ExclusiveBorrow>(
      arguments, self, args, nargs, kwnames,
      [](SimulatorObject& simulator, PyObject* const* values,
         ExclusiveBorrow& borrow) -> PyObject* {
        Qubit qubit = 0;
        if (!convert_qubit_argument(arguments.parameter_names[0], values[0], qubit)) return nullptr;
        engine::RandomSource& source = engine::thread_generator();
        const bool result =
            borrow.run_change([&] { return engine::measure(simulator.reg, qubit, axis, source); });
        return new_measurement_result(result);
      });
}

// A new Python set of the given qubit indices.
PyObject* new_qubit_set(const Qubit* begin, const Qubit* end) {
  OwnedRef members(PySet_New(nullptr));
  if (!members) return nullptr;
  for (const Qubit* member = begin; member != end; ++member) {
    const OwnedRef number(PyLong_FromSize_t(*member));
    if (!number || PySet_Add(members.get(), number.get()) < 0) return nullptr;
  }
  return members.release();
}

PyObject* get_entangled_group(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
  return call_with_borrow<SharedBorrow>(
      entangled_group_arguments, self, args, nargs, kwnames,
      [](SimulatorObject& simulator, PyObject* const* values, SharedBorrow&) -> PyObject* {
        Qubit qubit = 0;
        if (!convert_qubit_argument("qubit", values[0], qubit)) return nullptr;
        const std::vector<Qubit> group = engine::entangled_group(simulator.reg, qubit);
        return new_qubit_set(group.data(), group.data() + group.size());
      });
}

PyObject* peek_measure_set(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) noexcept {
  return call_with_borrow<SharedBorrow>(
      peek_arguments, self, args, nargs, kwnames,
      [](SimulatorObject& simulator, PyObject* const* values, SharedBorrow&) -> PyObject* {
        std::vector<Qubit> qubits;
        if (!convert_qubit_set_argument("qubits", values[0], qubits)) return nullptr;
        const std::vector<engine::TrialOutcome> outcomes =
            engine::peek_measure_set(simulator.reg, qubits, engine::thread_generator());
        OwnedRef results(PyDict_New());
        if (!results) return nullptr;
        for (const engine::TrialOutcome& outcome : outcomes) {
          const OwnedRef key(PyLong_FromSize_t(outcome.qubit));
          if (!key) return nullptr;
          const OwnedRef value(new_outcome(outcome.result, outcome.axis));
          if (!value || PyDict_SetItem(results.get(), key.get(), value.get()) < 0) return nullptr;
        }
        return results.release();
      });
}

PyObject* run(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  return call_with_borrow<ExclusiveBorrow>(
      run_arguments, self, args, nargs, kwnames,
      [](SimulatorObject& simulator, PyObject* const* values, ExclusiveBorrow& borrow) {
        return run_circuit(simulator.reg, values[0], borrow);
      });
}

PyObject* create_simulator(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&]() -> PyObject* {
    ArgumentSlots slots;
    if (!parse_tuple(constructor_arguments, args, kwargs, slots)) return nullptr;
    Qubit qubit_amount = 0;
    if (!convert_qubit_argument("qubit_amount", slots[0], qubit_amount)) return nullptr;
    engine::Register reg(qubit_amount);
    const allocfunc allocate = type->tp_alloc != nullptr ? type->tp_alloc : PyType_GenericAlloc;
    PyObject* object = allocate(type, 0);
    if (object == nullptr) return nullptr;
    auto* simulator = reinterpret_cast<SimulatorObject*>(object);
    new (&simulator->reg) engine::Register(std::move(reg));
    new (&simulator->borrow) BorrowFlag();
    return object;
  });
}

void destroy_simulator(PyObject* self) {
  auto* simulator = reinterpret_cast<SimulatorObject*>(self);
  simulator->reg.~Register();
  simulator->borrow.~BorrowFlag();
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

using FastMethod = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

PyMethodDef method(const char* name, FastMethod function, const char* doc) {
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)),
          METH_FASTCALL | METH_KEYWORDS, doc};
}

using clifford::Axis;

PyMethodDef methods[] = {
    method("x", single_qubit_gate<x_arguments, clifford::pauli_x>,
           "x($self, qubit)\n--\n\nApply an X (Pauli-X) gate to the given qubit.\n\n"
           "`node` is the index of the qubit."),
    method("y", single_qubit_gate<y_arguments, clifford::pauli_y>,
           "y($self, qubit)\n--\n\nApply a Y (Pauli-Y) gate to the given qubit.\n\n"
           "`node` is the index of the qubit."),
    method("z", single_qubit_gate<z_arguments, clifford::pauli_z>,
           "z($self, qubit)\n--\n\nApply a Z (Pauli-Z) gate to the given qubit.\n\n"
           "`node` is the index of the qubit."),
    method("h", single_qubit_gate<h_arguments, clifford::hadamard>,
           "h($self, qubit)\n--\n\nApply an H (Hadamard) gate to the given qubit.\n\n"
           "`node` is the index of the qubit."),
    method("s", single_qubit_gate<s_arguments, clifford::s_gate>,
           "s($self, qubit)\n--\n\nApply an S (phase) gate to the given qubit.\n\n"
           "`node` is the index of the qubit."),
    method("sdag", single_qubit_gate<sdag_arguments, clifford::s_dagger>,
           "sdag($self, qubit)\n--\n\nApply an S\u2020 (inverse phase) gate to the given qubit.\n\n"
           "`node` is the index of the qubit."),
    method("cz", two_qubit_gate<cz_arguments, ControlledGate::cz>,
           "cz($self, control, target)\n--\n\n"
           "Apply a controlled-Z (CZ) gate with `control` and `target` qubits."),
    method("cx", two_qubit_gate<cx_arguments, ControlledGate::cx>,
           "cx($self, control, target)\n--\n\n"
           "Apply a controlled-X (CX) / CNOT gate with `control` and `target`."),
    method("xcx", two_qubit_gate<xcx_arguments, ControlledGate::xcx>,
           "xcx($self, control, target)\n--\n\n"
           "Apply an X-controlled X gate (CX in the X basis)."),
    method("ycx", two_qubit_gate<ycx_arguments, ControlledGate::ycx>,
           "ycx($self, control, target)\n--\n\n"
           "Apply a Y-controlled X gate (control qubit in the Y basis)."),
    method("xcz", two_qubit_gate<xcz_arguments, ControlledGate::xcz>,
           "xcz($self, control, target)\n--\n\n"
           "Apply an X-controlled Z gate (target in X basis)."),
    method("ycz", two_qubit_gate<ycz_arguments, ControlledGate::ycz>,
           "ycz($self, control, target)\n--\n\n"
           "Apply a Y-controlled Z gate (target in Y basis)."),
    method("cy", two_qubit_gate<cy_arguments, ControlledGate::cy>,
           "cy($self, control, target)\n--\n\n"
           "Apply a controlled-Y (CY) gate with `control` and `target`."),
    method("xcy", two_qubit_gate<xcy_arguments, ControlledGate::xcy>,
           "xcy($self, control, target)\n--\n\n"
           "Apply an X-controlled Y gate (control in X basis)."),
    method("ycy", two_qubit_gate<ycy_arguments, ControlledGate::ycy>,
           "ycy($self, control, target)\n--\n\n"
           "Apply a Y-controlled Y gate (both in Y basis)."),
    method("measure_x", measurement<measure_x_arguments, Axis::X>,
           "measure_x($self, qubit)\n--\n\n"
           "Perform a projective measurement of `qubit` in the X basis.\n\n"
           "Returns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."),
    method("measure_y", measurement<measure_y_arguments, Axis::Y>,
           "measure_y($self, qubit)\n--\n\n"
           "Perform a projective measurement of `qubit` in the Y basis.\n\n"
           "Returns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."),
    method("measure_z", measurement<measure_z_arguments, Axis::Z>,
           "measure_z($self, qubit)\n--\n\n"
           "Perform a projective measurement of `qubit` in the Z basis.\n\n"
           "Returns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."),
    method("get_entangled_group", get_entangled_group,
           "get_entangled_group($self, qubit)\n--\n\n"
           "Return the set of qubits that are entangled with `qubit`.\n\n"
           "This follows adjacency in the underlying graph."),
    method("peek_measure_set", peek_measure_set,
           "peek_measure_set($self, qubits)\n--\n\n"
           "Simulate measurements on a set of `qubits` without modifying the real state.\n\n"
           "Returns a map from qubit index to `Outcome` (result and axis used)."),
    method("run", run,
           "run($self, circuit)\n--\n\n"
           "Apply a `Circuit` to the register in place and return its measurement record.\n\n"
           "The record is a numpy bool array, one entry per recorded bit in order. Random "
           "outcomes and noise draw from the calling thread's generator."),
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot simulator_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(create_simulator)},
    {Py_tp_dealloc, reinterpret_cast<void*>(destroy_simulator)},
    {Py_tp_doc,
     const_cast<char*>("Korvane(qubit_amount)\n--\n\n"
                       "Simulator for graph states over a fixed number of qubits.\n\n"
                       "Use this class from Python to apply gates and perform measurements.")},
    {Py_tp_methods, methods},
    {0, nullptr},
};

PyType_Spec simulator_spec{"korvane.Korvane", sizeof(SimulatorObject), 0, Py_TPFLAGS_DEFAULT,
                           simulator_slots};

}  // namespace

PyTypeObject* simulator_type() {
  if (simulator_class == nullptr) {
    simulator_class = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&simulator_spec));
  }
  return simulator_class;
}

}  // namespace korvane::python
