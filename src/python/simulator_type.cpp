#include "simulator_type.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "../engine/ops/entangled_group.h"
#include "../engine/ops/peek.h"
#include "../engine/random/thread_generator.h"
#include "../engine/register.h"
#include "arguments.h"
#include "borrow.h"
#include "circuit_object.h"
#include "circuit_type.h"
#include "errors.h"
#include "gate_methods.h"
#include "graph_input.h"
#include "owned_ref.h"
#include "simulator_object.h"
#include "simulator_picture.h"
#include "simulator_state.h"
#include "value_types.h"

namespace korvane::python {
namespace {

using engine::Qubit;

constexpr ArgumentDescriptor constructor_arguments{
    "Korvane", "__new__", {"qubit_amount", nullptr}, 1};
constexpr ArgumentDescriptor entangled_group_arguments{
    "Korvane", "get_entangled_group", {"qubit", nullptr}, 1};
constexpr ArgumentDescriptor peek_arguments{"Korvane", "peek_measure_set", {"qubits", nullptr}, 1};
constexpr ArgumentDescriptor run_arguments{"Korvane", "run", {"circuit", nullptr}, 1};

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
      [](SimulatorObject& simulator, PyObject* const* values,
         ExclusiveBorrow& borrow) -> PyObject* {
        OwnedRef record(run_circuit(simulator.reg, values[0], borrow));
        if (!record) return nullptr;
        const CircuitObject& given = *as_circuit(values[0]);
        if (!given.places_qubits) return record.release();
        std::vector<circuit::QubitCoordinate> placed = circuit::qubit_coordinates(given.program);
        if (!placed.empty()) simulator.coordinates = std::move(placed);
        return record.release();
      });
}

PyObject* create_simulator(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&]() -> PyObject* {
    ArgumentSlots slots;
    if (!parse_tuple(constructor_arguments, args, kwargs, slots)) return nullptr;
    Qubit qubit_amount = 0;
    if (!convert_qubit_argument("qubit_amount", slots[0], qubit_amount)) return nullptr;
    try {
      return new_simulator(type, engine::Register(qubit_amount));
    } catch (const std::bad_alloc& refusal) {
      raise_register_memory_error(refusal, qubit_amount);
      return nullptr;
    }
  });
}

void destroy_simulator(PyObject* self) {
  auto* simulator = reinterpret_cast<SimulatorObject*>(self);
  simulator->reg.~Register();
  simulator->borrow.~BorrowFlag();
  simulator->coordinates.~vector();
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

using FastMethod = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

PyMethodDef method(const char* name, FastMethod function, const char* doc) {
  return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)),
          METH_FASTCALL | METH_KEYWORDS, doc};
}

// After the gate methods: the entangled group and the trial measurement, then whole states in and
// out, Pauli products, reset and swap, and circuits.
const PyMethodDef other_methods[] = {
    method("get_entangled_group", get_entangled_group,
           "get_entangled_group($self, qubit)\n--\n\n"
           "Return the set of qubits that are entangled with `qubit`.\n\n"
           "This follows adjacency in the underlying graph."),
    method("peek_measure_set", peek_measure_set,
           "peek_measure_set($self, qubits)\n--\n\n"
           "Simulate measurements on a set of `qubits` without modifying the real state.\n\n"
           "Returns a map from qubit index to `Outcome` (result and axis used)."),
    // Beside the twenty methods: whole states in and out, Pauli products, reset and swap.
    {"copy", copy_simulator, METH_NOARGS,
     "copy($self, /)\n--\n\nReturn an independent copy of the register.\n\n"
     "A change to either never shows in the other. copy.copy and copy.deepcopy do the same."},
    {"__copy__", copy_simulator, METH_NOARGS,
     "__copy__($self, /)\n--\n\nReturn an independent copy of the register."},
    {"__deepcopy__", deep_copy_simulator, METH_O,
     "__deepcopy__($self, memo, /)\n--\n\nReturn an independent copy of the register."},
    {"__getstate__", get_state, METH_NOARGS,
     "__getstate__($self, /)\n--\n\nReturn the register in its saved form, a compact bytes "
     "object.\n\nIt holds the VOPs and the edges, versioned and checksummed."},
    {"__setstate__", set_state, METH_O,
     "__setstate__($self, state, /)\n--\n\nReplace the register by the one saved in `state` "
     "(bytes from __getstate__ of a register of the same size).\n\n"
     "Raises ValueError, changing nothing, when `state` is not such a saved form."},
    {"to_bytes", get_state, METH_NOARGS,
     "to_bytes($self, /)\n--\n\nReturn the register in its saved form, a compact bytes "
     "object.\n\nIt holds the VOPs and the edges, versioned and checksummed; from_bytes reads "
     "it back."},
    {"from_bytes", simulator_from_bytes, METH_O | METH_CLASS,
     "from_bytes($type, data, /)\n--\n\nBuild a register from its saved form (bytes from "
     "to_bytes, or any bytes-like object).\n\nEverything is checked before it is used, and "
     "nothing is allocated beyond what the data can describe, so data from anywhere is safe to "
     "give: anything but a saved register raises ValueError saying what is wrong."},
    {"save", save_simulator, METH_O,
     "save($self, path, /)\n--\n\nWrite the register's saved form (to_bytes) to the file at "
     "`path`, replacing it."},
    {"load", load_simulator, METH_O | METH_CLASS,
     "load($type, path, /)\n--\n\nRead a register saved by save() from the file at `path`.\n\n"
     "Checked as from_bytes checks: ValueError, naming the path, for anything else."},
    {"__reduce__", reduce_simulator, METH_NOARGS,
     "__reduce__($self, /)\n--\n\nPickle support: the class, its size and the saved form."},
    {"graph", export_graph, METH_NOARGS,
     "graph($self, /)\n--\n\nReturn the graph and the vertex operators as numpy arrays "
     "`(edges, vops)`.\n\n`edges` has shape (E, 2): each edge once, smaller qubit first, sorted. "
     "`vops` has shape (N,): each qubit's local Clifford as an index 0..23. The graph is one of "
     "many that stand for the same state."},
    {"from_graph",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(simulator_from_graph)),
     METH_CLASS | METH_FASTCALL | METH_KEYWORDS,
     "from_graph($type, qubit_amount, edges, vops=None)\n--\n\n"
     "Build the graph state of `edges` on `qubit_amount` qubits, with the local Cliffords "
     "`vops` (indices 0..23, the identity when None) applied.\n\n"
     "`edges` holds pairs of qubit indices, shape (E, 2), each edge once in either order; or it "
     "yields such arrays in chunks (an iterator or generator, or a list of two-dimensional "
     "arrays), so that a huge graph needs no edge list of its own. A row out of range, a "
     "self-loop or a repeated edge raises ValueError naming the first such row, counted over "
     "all chunks."},
    method("add_edges", add_edges,
           "add_edges($self, edges)\n--\n\n"
           "Add `edges` (pairs of qubit indices, shape (E, 2)) to the register's graph, keeping "
           "every local Clifford.\n\n"
           "On qubits whose local Clifford is the identity, as from_graph and cluster leave them, "
           "this is a CZ on each pair. A row out of range, a self-loop or an edge the graph has "
           "already raises ValueError naming it, and the register is left as it was; so is it "
           "when the call is interrupted."),
    {"cluster", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(simulator_cluster)),
     METH_CLASS | METH_FASTCALL | METH_KEYWORDS,
     "cluster($type, shape, periodic=False)\n--\n\n"
     "Build the cluster state of a lattice: a qubit per site, each in |+>, and a CZ between "
     "every two neighbouring sites.\n\n"
     "`shape` gives the sites along each axis (an int for a chain). Sites are numbered with "
     "the last axis fastest: site (i, j) of shape (rows, columns) is qubit i * columns + j. "
     "`periodic` (a bool, or one per axis) also joins the first and last sites of an axis of "
     "at least three sites."},
    {"stabilizers", list_stabilizers, METH_NOARGS,
     "stabilizers($self, /)\n--\n\nReturn the state's stabilizer generators in canonical "
     "form, as strings such as '+XZ_Y' (qubit 0 first).\n\n"
     "Raises ValueError for a register of more than 4096 qubits."},
    method("peek_pauli", peek_pauli,
           "peek_pauli($self, pauli)\n--\n\n"
           "Return the expectation value of a Pauli product: 1, -1 or 0.\n\n"
           "`pauli` is a str such as 'X_ZZ' (qubit 0 first, an optional sign in front) or a dict "
           "such as {3: 'X', 7: 'Z'}. The register is unchanged."),
    method("measure_pauli", measure_pauli,
           "measure_pauli($self, pauli)\n--\n\n"
           "Perform a projective measurement of a Pauli product, given as for `peek_pauli`.\n\n"
           "Returns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."),
    method("reset", reset_qubit,
           "reset($self, qubit)\n--\n\nReset `qubit` to |0>.\n\n"
           "The qubits entangled with it are left as a Z measurement of it leaves them."),
    method("swap", swap_qubits,
           "swap($self, a, b)\n--\n\nExchange the states of qubits `a` and `b`."),
    method("run", run,
           "run($self, circuit)\n--\n\n"
           "Apply a `Circuit` to the register in place and return its measurement record.\n\n"
           "The record is a numpy bool array, one entry per recorded bit in order. Random "
           "outcomes and noise draw from the calling thread's generator. Ctrl-C stops it with "
           "KeyboardInterrupt, leaving the register as it was after the last whole instruction."),
    {"draw", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(draw_simulator)),
     METH_VARARGS | METH_KEYWORDS,
     "draw($self, /, path=None, *, qubits=None, layout='auto')\n--\n\n"
     "Draw the graph state as SVG: a circle per qubit, labelled with its index and the name "
     "of its vertex operator, a line per edge.\n\n"
     "Without `qubits`, every qubit with an edge is drawn (isolated qubits are left out), and a "
     "graph of more than 5000 such qubits is refused with ValueError. `qubits` (an iterable of "
     "indices) draws those qubits, isolated or not, and their neighbours, outlined dashed. "
     "`layout` is 'auto' (the QUBIT_COORDS of the last circuit run on the register when they "
     "place every drawn qubit, a grid when the edges are those of a lattice, else 'spring'), "
     "'coords', 'grid', 'spring', 'circle', or a dict {qubit: (x, y)}. Returns the SVG text, or "
     "writes it to `path` (a str or os.PathLike) and returns None."},
};

// The class's method table: the gate methods, the others, and the closing null entry.
constexpr std::size_t method_count = gate_method_count + std::size(other_methods);
std::array<PyMethodDef, method_count + 1> methods = [] {
  std::array<PyMethodDef, method_count + 1> all{};
  const std::array<PyMethodDef, gate_method_count> gates = gate_methods();
  const auto after_gates = std::copy(gates.begin(), gates.end(), all.begin());
  std::copy(std::begin(other_methods), std::end(other_methods), after_gates);
  all.back() = {nullptr, nullptr, 0, nullptr};
  return all;
}();

PyGetSetDef simulator_attributes[] = {
    {"qubit_amount", get_qubit_amount, nullptr, "The number of qubits of the register.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot simulator_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(create_simulator)},
    {Py_tp_dealloc, reinterpret_cast<void*>(destroy_simulator)},
    {Py_tp_doc,
     const_cast<char*>("Korvane(qubit_amount)\n--\n\n"
                       "Simulator for graph states over a fixed number of qubits.\n\n"
                       "Use this class from Python to apply gates and perform measurements.")},
    {Py_tp_methods, methods.data()},
    {Py_tp_getset, simulator_attributes},
    {Py_tp_repr, reinterpret_cast<void*>(simulator_repr)},
    {Py_sq_length, reinterpret_cast<void*>(simulator_length)},
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
