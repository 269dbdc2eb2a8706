#include "circuit_type.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "../circuit/qubit_coordinates.h"
#include "../circuit/run/register_run.h"
#include "../circuit/sampling/sampler.h"
#include "../circuit/text/parser.h"
#include "../circuit/text/printer.h"
#include "../engine/random/thread_generator.h"
#include "arguments.h"
#include "circuit_formats.h"
#include "circuit_object.h"
#include "dem_type.h"
#include "detection_binding.h"
#include "errors.h"
#include "file_io.h"
#include "generated_arguments.h"
#include "numpy_bridge.h"
#include "owned_ref.h"
#include "shot_arguments.h"
#include "signal_check.h"
#include "source_text.h"
#include "without_gil.h"

namespace korvane::python {
namespace {

using circuit::Program;

PyTypeObject* circuit_class = nullptr;

Program parse(std::string_view text) {
  return read_released(text, [](std::string_view all) { return circuit::parse_circuit(all); });
}

PyObject* create_circuit(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&]() -> PyObject* {
    static const char* keywords[] = {"text", nullptr};
    PyObject* text = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U:Circuit", const_cast<char**>(keywords),
                                     &text)) {
      return nullptr;
    }
    OwnedRef holder;
    const std::optional<std::string_view> source = source_text(text, holder);
    return source ? new_circuit(type, parse(*source)) : nullptr;
  });
}

}  // namespace

const CircuitObject* as_circuit(PyObject* object) {
  if (Py_IS_TYPE(object, circuit_class) || PyObject_TypeCheck(object, circuit_class)) {
    return reinterpret_cast<CircuitObject*>(object);
  }
  raise_cast_error(object, "Circuit");
  return nullptr;
}

const Program* as_program(PyObject* object) {
  const CircuitObject* circuit = as_circuit(object);
  return circuit != nullptr ? &circuit->program : nullptr;
}

PyObject* new_circuit(PyTypeObject* type, Program&& program,
                      circuit::qasm::RegisterLayout&& layout) {
  const allocfunc allocate = type->tp_alloc != nullptr ? type->tp_alloc : PyType_GenericAlloc;
  PyObject* object = allocate(type, 0);
  if (object == nullptr) return nullptr;
  auto* circuit = reinterpret_cast<CircuitObject*>(object);
  new (&circuit->program) Program(std::move(program));
  new (&circuit->layout) circuit::qasm::RegisterLayout(std::move(layout));
  circuit->hash = -1;
  circuit->holds_products = circuit::holds_products(circuit->program);
  circuit->places_qubits = circuit::places_qubits(circuit->program);
  return object;
}

namespace {

PyObject* from_file(PyObject* type, PyObject* path) noexcept {
  return guarded([&]() -> PyObject* {
    std::string contents;
    if (!read_whole_file(path, contents)) return nullptr;
    return new_circuit(reinterpret_cast<PyTypeObject*>(type), parse(contents));
  });
}

void destroy_circuit(PyObject* self) {
  reinterpret_cast<CircuitObject*>(self)->program.~Program();
  reinterpret_cast<CircuitObject*>(self)->layout.~RegisterLayout();
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* circuit_text(PyObject* self) noexcept {
  return guarded([&]() -> PyObject* {
    const std::string text =
        circuit::print_circuit(reinterpret_cast<CircuitObject*>(self)->program);
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

// A circuit read from OpenQASM is shown and pickled as its OpenQASM, which keeps its registers.
PyObject* circuit_repr(PyObject* self) noexcept {
  if (const OwnedRef qasm{qasm_source(self)}) {
    return PyUnicode_FromFormat("korvane.Circuit.from_qasm(%R)", qasm.get());
  }
  if (PyErr_Occurred() != nullptr) return nullptr;
  const OwnedRef text(circuit_text(self));
  if (!text) return nullptr;
  return PyUnicode_FromFormat("korvane.Circuit(%R)", text.get());
}

// Circuits are equal when they are the same circuit, whatever their text's spacing, comments and
// aliases; a circuit never changes, so it hashes by the same content.
PyObject* compare_circuits(PyObject* self, PyObject* other, int op) noexcept {
  if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(other, circuit_class)) {
    Py_RETURN_NOTIMPLEMENTED;
  }
  const bool same = circuit::same_circuit(reinterpret_cast<CircuitObject*>(self)->program,
                                          reinterpret_cast<CircuitObject*>(other)->program);
  return PyBool_FromLong(static_cast<long>(same == (op == Py_EQ)));
}

Py_hash_t hash_circuit(PyObject* self) noexcept {
  auto* circuit = reinterpret_cast<CircuitObject*>(self);
  if (circuit->hash == -1) {
    const auto hash = static_cast<Py_hash_t>(circuit::circuit_hash(circuit->program));
    circuit->hash = hash == -1 ? -2 : hash;
  }
  return circuit->hash;
}

PyObject* reduce_circuit(PyObject* self, PyObject* /*unused*/) noexcept {
  auto* type = reinterpret_cast<PyObject*>(Py_TYPE(self));
  if (const OwnedRef qasm{qasm_source(self)}) {
    const OwnedRef from_qasm(PyObject_GetAttrString(type, "from_qasm"));
    if (!from_qasm) return nullptr;
    return Py_BuildValue("O(O)", from_qasm.get(), qasm.get());
  }
  if (PyErr_Occurred() != nullptr) return nullptr;
  const OwnedRef text(circuit_text(self));
  if (!text) return nullptr;
  return Py_BuildValue("O(O)", type, text.get());
}

template <std::uint64_t Program::*count>
PyObject* get_count(PyObject* self, void* /*closure*/) noexcept {
  return PyLong_FromUnsignedLongLong(reinterpret_cast<CircuitObject*>(self)->program.*count);
}

// A circuit's size is num_qubits, the name the circuit format's tools give it; a register's is
// Korvane.qubit_amount, the name the specified class has always had. Each class keeps the name
// its users know.
PyObject* get_qubit_count(PyObject* self, void* /*closure*/) noexcept {
  return PyLong_FromSize_t(reinterpret_cast<CircuitObject*>(self)->program.num_qubits);
}

constexpr const char* sample_keywords[] = {"shots", "seed", "method", "bit_packed", nullptr};

struct SampleArguments {
  std::uint64_t shots = 0;
  std::uint64_t seed = 0;
  circuit::SamplingMethod method = circuit::SamplingMethod::frames;
  circuit::RowLayout layout = circuit::RowLayout::bytes;

  // The array of one kind of result: (shots, bits) bools, or (shots, ceil(bits / 8)) bytes.
  OwnedRef new_rows(std::uint64_t bits, void*& data) const {
    const bool packed = layout == circuit::RowLayout::packed;
    return new_array(
        {static_cast<Py_ssize_t>(shots), static_cast<Py_ssize_t>(circuit::row_bytes(layout, bits))},
        packed ? "uint8" : "bool", data);
  }
};

bool parse_sample_arguments(PyObject* args, PyObject* kwargs, const char* format,
                            SampleArguments& parsed) {
  PyObject* shots_object = nullptr;
  PyObject* seed_object = nullptr;
  PyObject* method_object = nullptr;
  int bit_packed = 0;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, format, const_cast<char**>(sample_keywords),
                                   &shots_object, &seed_object, &method_object, &bit_packed)) {
    return false;
  }
  parsed.layout = bit_packed != 0 ? circuit::RowLayout::packed : circuit::RowLayout::bytes;
  return convert_shots(shots_object, parsed.shots) && convert_seed(seed_object, parsed.seed) &&
         convert_method(method_object, parsed.method);
}

PyObject* sample(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&]() -> PyObject* {
    SampleArguments arguments;
    if (!parse_sample_arguments(args, kwargs, "O|$OOp:sample", arguments)) return nullptr;
    const Program& program = reinterpret_cast<CircuitObject*>(self)->program;
    const std::uint64_t width = program.num_measurements;
    if (!check_array_size(arguments.shots, width)) return nullptr;
    void* data = nullptr;
    OwnedRef records = arguments.new_rows(width, data);
    if (!records) return nullptr;
    SignalCheck ctrl_c;
    circuit::Sampler sampler(program, arguments.method, arguments.seed, arguments.shots,
                             ctrl_c.for_this_thread(), arguments.layout);
    without_gil([&] { sampler.sample_measurements(static_cast<std::uint8_t*>(data)); });
    return records.release();
  });
}

PyObject* sample_detectors(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&]() -> PyObject* {
    SampleArguments arguments;
    if (!parse_sample_arguments(args, kwargs, "O|$OOp:sample_detectors", arguments)) {
      return nullptr;
    }
    const Program& program = reinterpret_cast<CircuitObject*>(self)->program;
    const std::uint64_t detector_count = program.num_detectors;
    const std::uint64_t observable_count = program.num_observables;
    if (!check_array_size(arguments.shots, detector_count) ||
        !check_array_size(arguments.shots, observable_count)) {
      return nullptr;
    }
    // The arrays first: a sample too large for memory is refused before any work.
    void* detector_data = nullptr;
    void* observable_data = nullptr;
    OwnedRef detectors = arguments.new_rows(detector_count, detector_data);
    if (!detectors) return nullptr;
    OwnedRef observables = arguments.new_rows(observable_count, observable_data);
    if (!observables) return nullptr;
    SignalCheck ctrl_c;
    circuit::Sampler sampler(program, arguments.method, arguments.seed, arguments.shots,
                             ctrl_c.for_this_thread(), arguments.layout);
    without_gil([&] {
      sampler.sample_detectors(static_cast<std::uint8_t*>(detector_data),
                               static_cast<std::uint8_t*>(observable_data));
    });
    return PyTuple_Pack(2, detectors.get(), observables.get());
  });
}

PyObject* generated(PyObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&]() -> PyObject* {
    std::string text;
    if (!generated_circuit_text(args, kwargs, text)) return nullptr;
    return new_circuit(reinterpret_cast<PyTypeObject*>(type), parse(text));
  });
}

PyObject* detection_events(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return circuit_detection_events(reinterpret_cast<CircuitObject*>(self)->program, args, kwargs);
}

PyObject* detector_error_model(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
  return circuit_detector_error_model(reinterpret_cast<CircuitObject*>(self)->program, args,
                                      kwargs);
}

PyMethodDef methods[] = {
    {"from_file", from_file, METH_O | METH_CLASS,
     "from_file($type, path)\n--\n\n"
     "Read a circuit from the text file at `path` (a str or os.PathLike).\n\n"
     "Raises OSError when the file cannot be read and ValueError, naming the line, when its "
     "text is not a circuit korvane reads."},
    {"from_qasm", circuit_from_qasm, METH_O | METH_CLASS,
     "from_qasm($type, text)\n--\n\n"
     "Read a circuit from OpenQASM 2.0 or 3 text.\n\n"
     "korvane reads registers (qreg/creg, qubit/bit, let aliases), the Clifford gates of "
     "qelib1.inc and stdgates.inc (parametrised ones at Clifford angles), gate blocks (a block "
     "that is Clifford only as a whole is recognised from its matrix), gate modifiers, measure, "
     "reset, barrier (read as TICK) and if() on classical registers. Qubit registers take qubit "
     "indices and measurements take recorded bits in the order they appear; qubit_registers and "
     "bit_registers tell which. Raises ValueError, naming the line, for a gate that is not a "
     "Clifford (no approximation), a measurement under if(), loops and classical variables."},
    {"from_qasm_file", circuit_from_qasm_file, METH_O | METH_CLASS,
     "from_qasm_file($type, path)\n--\n\n"
     "Read a circuit from the OpenQASM file at `path` (a str or os.PathLike), as from_qasm()."},
    {"to_qasm", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(circuit_to_qasm)),
     METH_VARARGS | METH_KEYWORDS,
     "to_qasm($self, /, version=2)\n--\n\n"
     "Return the circuit as OpenQASM text, `version` 2 (OpenQASM 2.0) or 3.\n\n"
     "Gates are written by their standard names (the others as U at Clifford angles or as gate "
     "blocks), X and Y measurements and resets through basis changes, REPEAT blocks written out, "
     "TICK as a barrier and feedback as if(). A circuit read from OpenQASM keeps its registers. "
     "Raises ValueError, naming the line, for what OpenQASM cannot express: noise, measurement "
     "flips, detectors and observables."},
    {"diagram", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(circuit_diagram)),
     METH_VARARGS | METH_KEYWORDS,
     "diagram($self, /, path=None)\n--\n\n"
     "Draw the circuit as a timeline: an SVG with one line per qubit, gates as boxes on it.\n\n"
     "Two-qubit gates join their qubits, measurements show the recorded bit they make, and a "
     "REPEAT block is drawn once, framed with its count. Returns the SVG text, or writes it to "
     "`path` (a str or os.PathLike) and returns None."},
    {"sample", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(sample)),
     METH_VARARGS | METH_KEYWORDS,
     "sample($self, /, shots, *, seed=None, method='frames', bit_packed=False)\n--\n\n"
     "Run the circuit `shots` times from |0...0> and return the measurement records.\n\n"
     "The result is a numpy bool array of shape (shots, num_measurements). With an integer "
     "`seed` (0 <= seed < 2**64) the result is the same on every run and machine for a given "
     "korvane version and method; with None the seed is drawn from the calling thread's "
     "generator, itself seeded from the operating system. "
     "`method` 'frames' pushes Pauli frames, 64 shots a word, through the circuit beside one "
     "noiseless run; 'shots' runs every shot on the graph engine. Both are exact; they draw "
     "differently, so one seed gives different (equally distributed) samples. With "
     "`bit_packed` the rows are uint8 bytes of shape (shots, ceil(num_measurements / 8)), bit k "
     "of a shot in byte k // 8 at 1 << k % 8 as in the b8 format, the same shots as unpacked. "
     "The GIL is released while the shots run."},
    {"sample_detectors",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(sample_detectors)),
     METH_VARARGS | METH_KEYWORDS,
     "sample_detectors($self, /, shots, *, seed=None, method='frames', bit_packed=False)\n--\n\n"
     "Run the circuit `shots` times and return (detectors, observables).\n\n"
     "Two numpy bool arrays of shapes (shots, num_detectors) and (shots, num_observables), each "
     "value relative to its value in the noiseless circuit, so that it reads 1 only where noise "
     "flipped it. A detector or observable that is not deterministic without noise is a "
     "ValueError. `seed`, `method` and `bit_packed` as for sample()."},
    {"generated", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(generated)),
     METH_VARARGS | METH_KEYWORDS | METH_CLASS,
     "generated($type, kind, *, distance, rounds, after_clifford_depolarization=0.0, "
     "before_round_data_depolarization=0.0, before_measure_flip_probability=0.0, "
     "after_reset_flip_probability=0.0, bases=None, seed=None)\n--\n\n"
     "A circuit that error-correction experiments start from, with detector coordinates.\n\n"
     "`kind`: 'repetition_code:memory', 'surface_code:rotated_memory_x', "
     "'surface_code:rotated_memory_z', 'surface_code:unrotated_memory_x', "
     "'surface_code:unrotated_memory_z' (code `distance`, `rounds` of measurement), or "
     "'cluster_state:mbqc_2d' (a cluster of `distance` rows and `rounds` columns, each qubit "
     "measured on the axis that `bases` gives it, one of X, Y, Z per qubit row by row, or on "
     "axes drawn from `seed` when `bases` is None; a detector for each X-measured qubit whose "
     "neighbours are all Z-measured).\n\n"
     "Noise is circuit-level, each strength 0 by default and then left out: DEPOLARIZE1 or "
     "DEPOLARIZE2 after every layer of Clifford gates, DEPOLARIZE1 on every data qubit at the "
     "start of each round, a flip before every measurement and after every reset."},
    {"detection_events",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(detection_events)),
     METH_VARARGS | METH_KEYWORDS,
     "detection_events($self, /, measurements)\n--\n\n"
     "The detection events of given measurement records: (detectors, observables), each the "
     "parity of the results it names relative to its value in the noiseless circuit.\n\n"
     "`measurements` has one row per shot: a bool per measurement, or uint8 bytes bit-packed "
     "as in b8, and the results come the same way. A detector or observable that is not "
     "deterministic without noise is a ValueError."},
    {"detector_error_model",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(detector_error_model)),
     METH_VARARGS | METH_KEYWORDS,
     "detector_error_model($self, /, *, decompose_errors=False, flatten_loops=False)\n--\n\n"
     "The circuit's detector error model: every noise mechanism as an independent error with "
     "the detectors and observables it flips, identical symptoms merged.\n\n"
     "`decompose_errors` splits each error that flips more than two detectors into parts of at "
     "most two (X and Z parts first), joined by '^', for matching decoders; `flatten_loops` "
     "writes every repetition out instead of keeping repeat blocks. Raises ValueError, naming "
     "the line, when a detector or observable is not deterministic without noise, when a "
     "channel cannot be written as independent errors, when an error has no such "
     "decomposition, or for heralded noise and the conditions of OpenQASM's if(), which have "
     "no model. The GIL is released while it works."},
    {"__reduce__", reduce_circuit, METH_NOARGS, "Pickle the circuit as its text."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef attributes[] = {
    {"num_qubits", get_qubit_count, nullptr,
     "One more than the largest qubit index the circuit names.", nullptr},
    {"num_measurements", get_count<&Program::num_measurements>, nullptr,
     "Bits recorded by one run, counting every repetition.", nullptr},
    {"num_detectors", get_count<&Program::num_detectors>, nullptr,
     "Detectors of one run, counting every repetition.", nullptr},
    {"num_observables", get_count<&Program::num_observables>, nullptr,
     "One more than the largest logical observable index the circuit names.", nullptr},
    {"qubit_registers", get_qubit_registers, nullptr,
     "The quantum registers of the OpenQASM the circuit was read from, {name: qubit indices}; "
     "empty for a circuit of the text format.",
     nullptr},
    {"bit_registers", get_bit_registers, nullptr,
     "The classical registers of the OpenQASM the circuit was read from, {name: record indices}: "
     "for each bit, the index in the measurement record of the result it holds at the end, or "
     "None for a bit never measured into (it reads 0).",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot circuit_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(create_circuit)},
    {Py_tp_dealloc, reinterpret_cast<void*>(destroy_circuit)},
    {Py_tp_str, reinterpret_cast<void*>(circuit_text)},
    {Py_tp_repr, reinterpret_cast<void*>(circuit_repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(compare_circuits)},
    {Py_tp_hash, reinterpret_cast<void*>(hash_circuit)},
    {Py_tp_doc,
     const_cast<char*>("Circuit(text)\n--\n\n"
                       "A circuit in the common stabilizer-circuit text format, compiled once.\n\n"
                       "str() gives its canonical text, which reads back to the same circuit. "
                       "Raises ValueError, naming the line, for text it cannot read.")},
    {Py_tp_methods, methods},
    {Py_tp_getset, attributes},
    {0, nullptr},
};

PyType_Spec circuit_spec{"korvane.Circuit", sizeof(CircuitObject), 0, Py_TPFLAGS_DEFAULT,
                         circuit_slots};

}  // namespace

PyTypeObject* circuit_type() {
  if (circuit_class == nullptr) {
    circuit_class = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&circuit_spec));
  }
  return circuit_class;
}

PyObject* run_circuit(engine::Register& reg, PyObject* circuit, ExclusiveBorrow& borrow) {
  const CircuitObject* given = as_circuit(circuit);
  if (given == nullptr) {
    name_argument_error("circuit");
    return nullptr;
  }
  const Program* program = &given->program;
  circuit::check_size(*program, reg);
  if (given->holds_products) circuit::check_products(*program);
  const std::uint64_t width = program->num_measurements;
  if (!check_array_size(1, width)) return nullptr;
  void* data = nullptr;
  OwnedRef record = new_array({static_cast<Py_ssize_t>(width)}, "bool", data);
  if (!record) return nullptr;
  engine::RandomSource& source = engine::thread_generator();
  SignalCheck ctrl_c;
  without_gil([&] {
    borrow.run_change([&] {
      circuit::run_once(*program, reg, source, static_cast<std::uint8_t*>(data),
                        ctrl_c.for_this_thread());
    });
  });
  return record.release();
}

}  // namespace korvane::python
