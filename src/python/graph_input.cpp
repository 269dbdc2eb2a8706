#include "graph_input.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "../engine/io/cluster_state.h"
#include "../engine/io/graph_edges.h"
#include "arguments.h"
#include "borrow.h"
#include "errors.h"
#include "held_buffer.h"
#include "owned_ref.h"
#include "signal_check.h"
#include "simulator_object.h"
#include "without_gil.h"

namespace korvane::python {
namespace {

using engine::Qubit;

constexpr ArgumentDescriptor from_graph_arguments{
    "Korvane", "from_graph", {"qubit_amount", "edges", "vops"}, 3, 1};
constexpr ArgumentDescriptor add_edges_arguments{"Korvane", "add_edges", {"edges"}, 1};
constexpr ArgumentDescriptor cluster_arguments{"Korvane", "cluster", {"shape", "periodic"}, 2, 1};

// Rows of edges taken at a time; signals (Ctrl-C) are looked at in between.
constexpr std::size_t rows_per_step = std::size_t{1} << 20;
// Sites of a lattice built at a time, without the GIL.
constexpr std::size_t sites_per_step = std::size_t{1} << 22;

// The rows of an (E, 2) array of qubit pairs; an empty array of any shape has none. `expected`
// names the shape in the error.
bool edge_rows(const HeldBuffer& edges, const char* expected, std::size_t& rows) {
  const Py_buffer& view = edges.view();
  if (view.len == 0) {
    rows = 0;
    return true;
  }
  if (view.ndim != 2 || view.shape[1] != 2) {
    raise_shape_error("edges", expected, edges.array());
    return false;
  }
  rows = static_cast<std::size_t>(view.shape[0]);
  return true;
}

bool vop_list_fits(const HeldBuffer& vops, std::size_t qubit_amount) {
  const Py_buffer& view = vops.view();
  if (view.ndim == 1 && static_cast<std::size_t>(view.shape[0]) == qubit_amount) return true;
  const std::string expected = "(" + std::to_string(qubit_amount) + ",)";
  raise_shape_error("vops", expected.c_str(), vops.array());
  return false;
}

// Hands the `rows` pairs of `edges` to builder.add_edges a step at a time. The GIL stays held, so
// that no other thread changes the array the engine reads; false with the exception set when a
// signal stops the work.
bool add_in_steps(const HeldBuffer& edges, std::size_t rows, engine::GraphBuilder& builder) {
  const engine::GivenIntegers pairs = edges.integers();
  for (std::size_t first = 0; first < rows; first += rows_per_step) {
    const std::size_t count = std::min(rows_per_step, rows - first);
    builder.add_edges(pairs.from(2 * first), count);
    if (first + count < rows && PyErr_CheckSignals() < 0) return false;
  }
  return true;
}

// Whether `edges` holds chunks of edges rather than edges: an iterator (a generator, say), or a
// list or tuple whose first item is a two-dimensional array. -1 with an exception set on failure.
int holds_chunks(PyObject* edges) {
  if (PyIter_Check(edges)) return 1;
  if ((!PyList_Check(edges) && !PyTuple_Check(edges)) || PySequence_Size(edges) == 0) return 0;
  const OwnedRef first(PySequence_GetItem(edges, 0));
  if (!first) return -1;
  const OwnedRef dimensions(PyObject_GetAttrString(first.get(), "ndim"));
  if (!dimensions) {
    PyErr_Clear();
    return 0;
  }
  return PyLong_Check(dimensions.get()) && PyLong_AsLong(dimensions.get()) == 2 ? 1 : 0;
}

// Adds every chunk that `chunks` yields to `builder`; false with an exception set on failure.
bool add_chunks(PyObject* chunks, engine::GraphBuilder& builder) {
  const OwnedRef iterator(PyObject_GetIter(chunks));
  if (!iterator) return false;
  for (std::size_t index = 0;; ++index) {
    const OwnedRef item(PyIter_Next(iterator.get()));
    if (!item) return PyErr_Occurred() == nullptr;
    HeldBuffer chunk;
    if (!chunk.take_integers(item.get())) {
      name_argument_error("edges");
      return false;
    }
    std::size_t rows = 0;
    const std::string expected = "(k, 2) in chunk " + std::to_string(index);
    if (!edge_rows(chunk, expected.c_str(), rows)) return false;
    if (!add_in_steps(chunk, rows, builder)) return false;
  }
}

// The sides of a lattice: an int, or a sequence of ints.
bool convert_shape(PyObject* shape, std::vector<std::size_t>& sides) {
  if (PyIndex_Check(shape)) {
    Qubit side = 0;
    if (!convert_qubit_argument("shape", shape, side)) return false;
    sides.push_back(side);
    return true;
  }
  const OwnedRef items(PySequence_Fast(shape, "expected an int or a sequence of ints"));
  if (!items) {
    name_argument_error("shape");
    return false;
  }
  const Py_ssize_t count = PySequence_Fast_GET_SIZE(items.get());
  for (Py_ssize_t i = 0; i < count; ++i) {
    Qubit side = 0;
    if (!convert_qubit_argument("shape", PySequence_Fast_GET_ITEM(items.get(), i), side)) {
      return false;
    }
    sides.push_back(side);
  }
  return true;
}

// The periodic flags: one truth value for every axis, or a sequence of one per axis.
bool convert_periodic(PyObject* periodic, std::size_t axes, std::vector<bool>& flags) {
  if (periodic == nullptr) {
    flags.assign(axes, false);
    return true;
  }
  if (PyList_Check(periodic) || PyTuple_Check(periodic)) {
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(periodic);
    for (Py_ssize_t i = 0; i < count; ++i) {
      const int flag = PyObject_IsTrue(PySequence_Fast_GET_ITEM(periodic, i));
      if (flag < 0) return false;
      flags.push_back(flag == 1);
    }
    return true;
  }
  const int flag = PyObject_IsTrue(periodic);
  if (flag < 0) return false;
  flags.assign(axes, flag == 1);
  return true;
}

}  // namespace

PyObject* simulator_from_graph(PyObject* type, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) noexcept {
  return guarded([&]() -> PyObject* {
    ArgumentSlots slots;
    PyObject* const* values = nullptr;
    if (!parse_fast(from_graph_arguments, args, nargs, kwnames, slots, values)) return nullptr;
    Qubit qubit_amount = 0;
    if (!convert_qubit_argument("qubit_amount", values[0], qubit_amount)) return nullptr;
    const int chunked = holds_chunks(values[1]);
    if (chunked < 0) return nullptr;
    // One array is read before the register is made: a wrong argument then costs nothing.
    HeldBuffer edges;
    std::size_t rows = 0;
    if (chunked == 0) {
      if (!edges.take_integers(values[1])) {
        name_argument_error("edges");
        return nullptr;
      }
      if (!edge_rows(edges, "(E, 2)", rows)) return nullptr;
    }
    HeldBuffer vops;
    const bool vops_given = values[2] != nullptr && values[2] != Py_None;
    if (vops_given) {
      if (!vops.take_integers(values[2], true)) {
        name_argument_error("vops");
        return nullptr;
      }
      if (!vop_list_fits(vops, qubit_amount)) return nullptr;
    }
    try {
      engine::GraphBuilder builder =
          !vops_given ? engine::GraphBuilder(qubit_amount)
          : vops.view().itemsize == 1
              ? engine::GraphBuilder(qubit_amount,
                                     static_cast<const std::uint8_t*>(vops.view().buf))
              : engine::GraphBuilder(qubit_amount, vops.integers());
      const bool built =
          chunked == 1 ? add_chunks(values[1], builder) : add_in_steps(edges, rows, builder);
      if (!built) return nullptr;
      return new_simulator(reinterpret_cast<PyTypeObject*>(type), std::move(builder).finish());
    } catch (const std::bad_alloc& refusal) {
      raise_register_memory_error(refusal, qubit_amount);
      return nullptr;
    }
  });
}

PyObject* add_edges(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept {
  return call_with_borrow<ExclusiveBorrow>(
      add_edges_arguments, self, args, nargs, kwnames,
      [](SimulatorObject& simulator, PyObject* const* values, ExclusiveBorrow&) -> PyObject* {
        HeldBuffer edges;
        if (!edges.take_integers(values[0])) {
          name_argument_error("edges");
          return nullptr;
        }
        std::size_t rows = 0;
        if (!edge_rows(edges, "(E, 2)", rows)) return nullptr;
        // All or nothing: a refused row or memory takes back every row, and so does Ctrl-C.
        engine::EdgeAdder adder(simulator.reg, edges.integers(), rows, 0,
                                engine::EarlierEdges::register_own);
        while (adder.add_next(rows_per_step)) {
          if (PyErr_CheckSignals() < 0) {
            adder.take_back();
            return nullptr;
          }
        }
        Py_RETURN_NONE;
      });
}

PyObject* simulator_cluster(PyObject* type, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) noexcept {
  return guarded([&]() -> PyObject* {
    ArgumentSlots slots;
    PyObject* const* values = nullptr;
    if (!parse_fast(cluster_arguments, args, nargs, kwnames, slots, values)) return nullptr;
    std::vector<std::size_t> sides;
    if (!convert_shape(values[0], sides)) return nullptr;
    std::vector<bool> periodic;
    if (!convert_periodic(values[1], sides.size(), periodic)) return nullptr;
    std::size_t sites = 1;
    for (const std::size_t side : sides) sites *= side;
    try {
      engine::ClusterBuilder builder(std::move(sides), std::move(periodic));
      // The register is no one else's yet: it is built without the GIL.
      SignalCheck ctrl_c;
      engine::StopCheck* const check = ctrl_c.for_this_thread();
      without_gil([&] {
        while (builder.build_next(sites_per_step)) {
          if (check != nullptr && check->stop_requested()) throw engine::Interrupted();
        }
      });
      return new_simulator(reinterpret_cast<PyTypeObject*>(type), std::move(builder).finish());
    } catch (const std::bad_alloc& refusal) {
      raise_register_memory_error(refusal, sites);
      return nullptr;
    }
  });
}

}  // namespace korvane::python
