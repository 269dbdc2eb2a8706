#include "gate_methods.h"

#include <cstring>
#include <utility>

#include "../engine/ops/controlled_gates.h"
#include "../engine/ops/measure.h"
#include "../engine/random/thread_generator.h"
#include "arguments.h"
#include "borrow.h"
#include "simulator_object.h"
#include "value_types.h"

namespace korvane::python {
namespace {

using circuit::Gate;
using circuit::GateId;
using circuit::Kind;
using engine::Qubit;

template <GateId id>
constexpr const Gate& gate = circuit::gate_of(id);

template <GateId id>
constexpr ArgumentDescriptor arguments_of = [] {
  const MethodParameters parameters = parameters_of(gate<id>);
  return ArgumentDescriptor{"Korvane",
                            gate<id>.method.name,
                            {parameters.names[0], parameters.names[1]},
                            parameters.count};
}();

// The docstring as CPython wants it: the text signature "name($self, parameters)", a line feed,
// "--", two line feeds, then the record's doc.
template <GateId id>
struct MethodDoc {
  static constexpr std::array<std::string_view, 7> parts() {
    const MethodParameters parameters = parameters_of(gate<id>);
    return {gate<id>.method.name,
            "($self, ",
            parameters.names[0],
            parameters.count == 2 ? ", " : "",
            parameters.count == 2 ? parameters.names[1] : "",
            ")\n--\n\n",
            gate<id>.method.doc};
  }
  static constexpr std::size_t size = [] {
    std::size_t total = 1;  // the terminating null
    for (const std::string_view part : parts()) total += part.size();
    return total;
  }();
  static constexpr std::array<char, size> text = [] {
    std::array<char, size> joined{};
    std::size_t next = 0;
    for (const std::string_view part : parts()) {
      for (const char c : part) joined[next++] = c;
    }
    return joined;
  }();
};

// Every gate method follows the road of simulator_object.h with the exclusive borrow: convert the
// qubits in parameter order, then one engine operation.
template <GateId id>
PyObject* gate_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  return call_with_borrow<ExclusiveBorrow>(
      arguments_of<id>, self, args, nargs, kwnames,
      [](SimulatorObject& simulator, PyObject* const* values,
         ExclusiveBorrow& borrow) -> PyObject* {
        std::array<Qubit, 2> qubits{};
        for (std::size_t i = 0; i < arguments_of<id>.parameter_count; ++i) {
          if (!convert_qubit_argument(arguments_of<id>.parameter_names[i], values[i], qubits[i])) {
            return nullptr;
          }
        }
        if constexpr (gate<id>.kind == Kind::clifford) {
          simulator.reg.apply_clifford(qubits[0], circuit::vop_of(id));
          Py_RETURN_NONE;
        } else if constexpr (gate<id>.kind == Kind::controlled) {
          borrow.run_change([&] {
            engine::apply_controlled_pauli(simulator.reg, gate<id>.controlled, qubits[0],
                                           qubits[1]);
          });
          Py_RETURN_NONE;
        } else {
          static_assert(returns_result(gate<id>), "a gate method applies a gate or measures");
          engine::RandomSource& source = engine::thread_generator();
          const bool result = borrow.run_change(
              [&] { return engine::measure(simulator.reg, qubits[0], gate<id>.axis, source); });
          return new_measurement_result(result);
        }
      });
}

template <GateId id>
PyMethodDef method_entry() {
  return {gate<id>.method.name,
          reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(gate_method<id>)),
          METH_FASTCALL | METH_KEYWORDS, MethodDoc<id>::text.data()};
}

template <std::size_t... rank>
std::array<PyMethodDef, gate_method_count> entries_by_position(std::index_sequence<rank...>) {
  return {method_entry<gates_by_method_position[rank]>()...};
}

}  // namespace

std::array<PyMethodDef, gate_method_count> gate_methods() {
  return entries_by_position(std::make_index_sequence<gate_method_count>());
}

}  // namespace korvane::python
