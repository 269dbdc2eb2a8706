#include "circuit_formats.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "../circuit/qasm/reader.h"
#include "../circuit/qasm/writer.h"
#include "../picture/circuit_diagram.h"
#include "circuit_object.h"
#include "errors.h"
#include "file_io.h"
#include "owned_ref.h"
#include "source_text.h"

namespace korvane::python {
namespace {

CircuitObject& circuit_of(PyObject* self) { return *reinterpret_cast<CircuitObject*>(self); }

PyObject* new_from_qasm(PyObject* type, std::string_view text) {
  circuit::qasm::QasmCircuit read =
      read_released(text, [](std::string_view all) { return circuit::qasm::read_qasm(all); });
  return new_circuit(reinterpret_cast<PyTypeObject*>(type), std::move(read.program),
                     std::move(read.layout));
}

PyObject* new_text(const std::string& text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

}  // namespace

PyObject* circuit_from_qasm(PyObject* type, PyObject* text) noexcept {
  return guarded([&]() -> PyObject* {
    if (!PyUnicode_Check(text)) {
      PyErr_Format(PyExc_TypeError, "from_qasm() argument must be str, not %T", text);
      return nullptr;
    }
    OwnedRef holder;
    const std::optional<std::string_view> source = source_text(text, holder);
    return source ? new_from_qasm(type, *source) : nullptr;
  });
}

PyObject* circuit_from_qasm_file(PyObject* type, PyObject* path) noexcept {
  return guarded([&]() -> PyObject* {
    std::string contents;
    if (!read_whole_file(path, contents)) return nullptr;
    return new_from_qasm(type, contents);
  });
}

PyObject* circuit_to_qasm(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&]() -> PyObject* {
    static const char* keywords[] = {"version", nullptr};
    int version = 2;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|i:to_qasm", const_cast<char**>(keywords),
                                     &version)) {
      return nullptr;
    }
    if (version != 2 && version != 3) {
      PyErr_Format(PyExc_ValueError, "version must be 2 or 3, not %d", version);
      return nullptr;
    }
    const CircuitObject& circuit = circuit_of(self);
    return new_text(circuit::qasm::write_qasm(circuit.program, &circuit.layout, version));
  });
}

PyObject* get_qubit_registers(PyObject* self, void* /*closure*/) noexcept {
  return guarded([&]() -> PyObject* {
    OwnedRef registers(PyDict_New());
    if (!registers) return nullptr;
    for (const circuit::qasm::QubitRegister& reg : circuit_of(self).layout.qubit_registers) {
      OwnedRef qubits(PyTuple_New(static_cast<Py_ssize_t>(reg.qubits.size())));
      if (!qubits) return nullptr;
      for (std::size_t i = 0; i < reg.qubits.size(); ++i) {
        PyObject* index = PyLong_FromUnsignedLong(reg.qubits[i]);
        if (index == nullptr) return nullptr;
        PyTuple_SET_ITEM(qubits.get(), static_cast<Py_ssize_t>(i), index);
      }
      if (PyDict_SetItemString(registers.get(), reg.name.c_str(), qubits.get()) < 0) {
        return nullptr;
      }
    }
    return registers.release();
  });
}

PyObject* get_bit_registers(PyObject* self, void* /*closure*/) noexcept {
  return guarded([&]() -> PyObject* {
    const circuit::qasm::RegisterLayout& layout = circuit_of(self).layout;
    OwnedRef registers(PyDict_New());
    if (!registers) return nullptr;
    for (std::uint32_t r = 0; r < layout.bit_registers.size(); ++r) {
      const std::vector<std::optional<std::uint64_t>> places = layout.final_record_indices(r);
      OwnedRef bits(PyTuple_New(static_cast<Py_ssize_t>(places.size())));
      if (!bits) return nullptr;
      for (std::size_t i = 0; i < places.size(); ++i) {
        PyObject* index = places[i] ? PyLong_FromUnsignedLongLong(*places[i]) : Py_NewRef(Py_None);
        if (index == nullptr) return nullptr;
        PyTuple_SET_ITEM(bits.get(), static_cast<Py_ssize_t>(i), index);
      }
      if (PyDict_SetItemString(registers.get(), layout.bit_registers[r].name.c_str(), bits.get()) <
          0) {
        return nullptr;
      }
    }
    return registers.release();
  });
}

PyObject* qasm_source(PyObject* self) noexcept {
  const CircuitObject& circuit = circuit_of(self);
  if (circuit.layout.version == 0) return nullptr;
  return guarded([&]() -> PyObject* {
    return new_text(
        circuit::qasm::write_qasm(circuit.program, &circuit.layout, circuit.layout.version));
  });
}

PyObject* circuit_diagram(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&]() -> PyObject* {
    static const char* keywords[] = {"path", nullptr};
    PyObject* path = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O:diagram", const_cast<char**>(keywords),
                                     &path)) {
      return nullptr;
    }
    std::string svg;
    const circuit::Program& program = circuit_of(self).program;
    try {
      without_gil([&] { svg = picture::draw_circuit(program); });
    } catch (const std::invalid_argument& too_large) {
      PyErr_SetString(PyExc_ValueError, too_large.what());
      return nullptr;
    }
    return text_or_file(path, svg);
  });
}

}  // namespace korvane::python
