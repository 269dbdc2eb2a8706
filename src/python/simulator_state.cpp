#include "simulator_state.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "../engine/io/sorted_edges.h"
#include "../engine/io/stabilizers.h"
#include "../engine/io/state_codec.h"
#include "../engine/ops/pauli_product.h"
#include "../engine/ops/reset.h"
#include "../engine/ops/swap.h"
#include "../engine/random/thread_generator.h"
#include "arguments.h"
#include "borrow.h"
#include "errors.h"
#include "file_io.h"
#include "held_buffer.h"
#include "numpy_bridge.h"
#include "owned_ref.h"
#include "pauli_argument.h"
#include "signal_check.h"
#include "simulator_object.h"
#include "value_types.h"

namespace korvane::python {
namespace {

using engine::Qubit;

constexpr ArgumentDescriptor peek_pauli_arguments{"Korvane", "peek_pauli", {"pauli"}, 1};
constexpr ArgumentDescriptor measure_pauli_arguments{"Korvane", "measure_pauli", {"pauli"}, 1};
constexpr ArgumentDescriptor reset_arguments{"Korvane", "reset", {"qubit"}, 1};
constexpr ArgumentDescriptor swap_arguments{"Korvane", "swap", {"a", "b"}, 2};

PyObject* new_state_bytes(const engine::Register& reg) {
  const std::vector<std::uint8_t> saved = engine::save_state(reg);
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(saved.data()),
                                   static_cast<Py_ssize_t>(saved.size()));
}

}  // namespace

PyObject* copy_simulator(PyObject* self, PyObject* /*unused*/) noexcept {
  return with_borrow<SharedBorrow>(self, [self](SimulatorObject& simulator, SharedBorrow&) {
    return new_simulator(Py_TYPE(self), engine::Register(simulator.reg), simulator.coordinates);
  });
}

PyObject* deep_copy_simulator(PyObject* self, PyObject* /*memo*/) noexcept {
  return copy_simulator(self, nullptr);
}

PyObject* get_state(PyObject* self, PyObject* /*unused*/) noexcept {
  return with_borrow<SharedBorrow>(self, [](SimulatorObject& simulator, SharedBorrow&) {
    return new_state_bytes(simulator.reg);
  });
}

PyObject* set_state(PyObject* self, PyObject* state) noexcept {
  return with_borrow<ExclusiveBorrow>(
      self, [state](SimulatorObject& simulator, ExclusiveBorrow&) -> PyObject* {
        HeldBuffer bytes;
        if (!bytes.take_bytes(state)) {
          name_argument_error("state");
          return nullptr;
        }
        engine::Register loaded = engine::load_state(
            static_cast<const std::uint8_t*>(bytes.view().buf), bytes.elements());
        // A register's size is fixed for its life: a state of another size is refused.
        if (loaded.size() != simulator.reg.size()) {
          PyErr_Format(PyExc_ValueError,
                       "the saved register has %zu qubits, and this register has %zu",
                       loaded.size(), simulator.reg.size());
          return nullptr;
        }
        simulator.reg = std::move(loaded);
        Py_RETURN_NONE;
      });
}

namespace {

// A new Korvane of `type` holding the register saved in `size` bytes at `data`.
PyObject* new_simulator_from_saved(PyObject* type, const void* data, std::size_t size) {
  try {
    return new_simulator(reinterpret_cast<PyTypeObject*>(type),
                         engine::load_state(static_cast<const std::uint8_t*>(data), size));
  } catch (const std::bad_alloc& refusal) {
    raise_memory_error(refusal, "the saved register");
    return nullptr;
  }
}

}  // namespace

PyObject* simulator_from_bytes(PyObject* type, PyObject* data) noexcept {
  return guarded([&]() -> PyObject* {
    HeldBuffer bytes;
    if (!bytes.take_bytes(data)) {
      name_argument_error("data");
      return nullptr;
    }
    return new_simulator_from_saved(type, bytes.view().buf, bytes.elements());
  });
}

PyObject* load_simulator(PyObject* type, PyObject* path) noexcept {
  return guarded([&]() -> PyObject* {
    std::string contents;
    if (!read_whole_file(path, contents)) return nullptr;
    try {
      return new_simulator_from_saved(type, contents.data(), contents.size());
    } catch (const engine::InvalidInput& refusal) {
      PyErr_Format(PyExc_ValueError, "%S: %s", path, refusal.what());
      return nullptr;
    }
  });
}

// The saved form is made under the borrow; the path, which may run Python code, is used after.
PyObject* save_simulator(PyObject* self, PyObject* path) noexcept {
  return guarded([&]() -> PyObject* {
    SimulatorObject* simulator = as_simulator(self);
    if (simulator == nullptr) return nullptr;
    std::vector<std::uint8_t> saved;
    {
      const SharedBorrow borrow(simulator->borrow);
      if (!borrow) return nullptr;
      saved = engine::save_state(simulator->reg);
    }
    if (!write_whole_file(path, saved.data(), saved.size())) return nullptr;
    Py_RETURN_NONE;
  });
}

// (Korvane, (qubit_amount,), saved form): pickle makes a fresh register of that size and gives it
// the saved form through __setstate__.
PyObject* reduce_simulator(PyObject* self, PyObject* /*unused*/) noexcept {
  return with_borrow<SharedBorrow>(
      self, [self](SimulatorObject& simulator, SharedBorrow&) -> PyObject* {
        const OwnedRef state(new_state_bytes(simulator.reg));
        if (!state) return nullptr;
        return Py_BuildValue("(O(n)O)", reinterpret_cast<PyObject*>(Py_TYPE(self)),
                             static_cast<Py_ssize_t>(simulator.reg.size()), state.get());
      });
}

PyObject* export_graph(PyObject* self, PyObject* /*unused*/) noexcept {
  return with_borrow<SharedBorrow>(
      self, [](SimulatorObject& simulator, SharedBorrow&) -> PyObject* {
        const engine::Register& reg = simulator.reg;
        void* edge_data = nullptr;
        void* vop_data = nullptr;
        const OwnedRef edges =
            new_array({static_cast<Py_ssize_t>(reg.edge_count()), 2}, "int64", edge_data);
        if (!edges) return nullptr;
        const OwnedRef vops = new_array({static_cast<Py_ssize_t>(reg.size())}, "uint8", vop_data);
        if (!vops) return nullptr;
        auto* next_end = static_cast<std::int64_t*>(edge_data);
        engine::for_each_sorted_edge(reg, [&next_end](Qubit a, Qubit b) {
          *next_end++ = static_cast<std::int64_t>(a);
          *next_end++ = static_cast<std::int64_t>(b);
        });
        auto* vop_out = static_cast<std::uint8_t*>(vop_data);
        for (Qubit q = 0; q < reg.size(); ++q) vop_out[q] = reg.vop(q);
        return PyTuple_Pack(2, edges.get(), vops.get());
      });
}

PyObject* list_stabilizers(PyObject* self, PyObject* /*unused*/) noexcept {
  return with_borrow<SharedBorrow>(
      self, [](SimulatorObject& simulator, SharedBorrow&) -> PyObject* {
        SignalCheck ctrl_c;
        const std::vector<std::string> texts =
            engine::canonical_stabilizers(simulator.reg, ctrl_c.for_this_thread());
        OwnedRef list(PyList_New(static_cast<Py_ssize_t>(texts.size())));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < texts.size(); ++i) {
          PyObject* const text = PyUnicode_FromStringAndSize(
              texts[i].data(), static_cast<Py_ssize_t>(texts[i].size()));
          if (text == nullptr) return nullptr;
          PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), text);
        }
        return list.release();
      });
}

PyObject* peek_pauli(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) noexcept {
  return call_with_borrow<SharedBorrow>(
      peek_pauli_arguments, self, args, nargs, kwnames,
      [](SimulatorObject& simulator, PyObject* const* values, SharedBorrow&) -> PyObject* {
        engine::PauliProduct product;
        if (!convert_pauli_argument("pauli", values[0], simulator.reg.size(), product)) {
          return nullptr;
        }
        return PyLong_FromLong(engine::pauli_expectation(simulator.reg, product));
      });
}

PyObject* measure_pauli(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) noexcept {
  return call_with_borrow<ExclusiveBorrow>(
      measure_pauli_arguments, self, args, nargs, kwnames,
      [](SimulatorObject& simulator, PyObject* const* values,
         ExclusiveBorrow& borrow) -> PyObject* {
        engine::PauliProduct product;
        if (!convert_pauli_argument("pauli", values[0], simulator.reg.size(), product)) {
          return nullptr;
        }
        engine::RandomSource& source = engine::thread_generator();
        const bool result = borrow.run_change(
            [&] { return engine::measure_pauli(simulator.reg, product, source); });
        return new_measurement_result(result);
      });
}

PyObject* reset_qubit(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  return call_with_borrow<ExclusiveBorrow>(
      reset_arguments, self, args, nargs, kwnames,
      [](SimulatorObject& simulator, PyObject* const* values,
         ExclusiveBorrow& borrow) -> PyObject* {
        Qubit qubit = 0;
        if (!convert_qubit_argument("qubit", values[0], qubit)) return nullptr;
        engine::RandomSource& source = engine::thread_generator();
        borrow.run_change([&] { engine::reset(simulator.reg, qubit, clifford::Axis::Z, source); });
        Py_RETURN_NONE;
      });
}

PyObject* swap_qubits(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  return call_with_borrow<ExclusiveBorrow>(
      swap_arguments, self, args, nargs, kwnames,
      [](SimulatorObject& simulator, PyObject* const* values,
         ExclusiveBorrow& borrow) -> PyObject* {
        Qubit a = 0;
        Qubit b = 0;
        if (!convert_qubit_argument("a", values[0], a)) return nullptr;
        if (!convert_qubit_argument("b", values[1], b)) return nullptr;
        borrow.run_change([&] { engine::swap(simulator.reg, a, b); });
        Py_RETURN_NONE;
      });
}

// The size never changes for an object's life, so it is read without a borrow.
Py_ssize_t simulator_length(PyObject* self) noexcept {
  return static_cast<Py_ssize_t>(reinterpret_cast<SimulatorObject*>(self)->reg.size());
}

PyObject* get_qubit_amount(PyObject* self, void* /*closure*/) noexcept {
  return PyLong_FromSize_t(reinterpret_cast<SimulatorObject*>(self)->reg.size());
}

PyObject* simulator_repr(PyObject* self) noexcept {
  auto* simulator = reinterpret_cast<SimulatorObject*>(self);
  const std::size_t qubits = simulator->reg.size();
  const char* const qubit_word = qubits == 1 ? "qubit" : "qubits";
  // Called while the object is in use (from a callback inside a call), it leaves the graph alone.
  const SharedBorrow borrow(simulator->borrow, SharedBorrow::OnRefusal::stay_silent);
  if (!borrow) return PyUnicode_FromFormat("<korvane.Korvane: %zu %s, in use>", qubits, qubit_word);
  const std::size_t edges = simulator->reg.edge_count();
  return PyUnicode_FromFormat("<korvane.Korvane: %zu %s, %zu %s>", qubits, qubit_word, edges,
                              edges == 1 ? "edge" : "edges");
}

}  // namespace korvane::python
