#include "dem_type.h"

#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "../circuit/errors/detector_error_model.h"
#include "../circuit/errors/error_analysis.h"
#include "errors.h"
#include "file_io.h"
#include "owned_ref.h"
#include "signal_check.h"
#include "source_text.h"
#include "without_gil.h"

namespace korvane::python {
namespace {

using circuit::DetectorErrorModel;

struct ModelObject {
  PyObject ob_base{};
  DetectorErrorModel model;
  circuit::DemCounts counts;
};

PyTypeObject* model_class = nullptr;

PyObject* new_model(PyTypeObject* type, DetectorErrorModel&& model) {
  const circuit::DemCounts counts = circuit::count_detector_error_model(model);
  const allocfunc allocate = type->tp_alloc != nullptr ? type->tp_alloc : PyType_GenericAlloc;
  PyObject* object = allocate(type, 0);
  if (object == nullptr) return nullptr;
  auto* self = reinterpret_cast<ModelObject*>(object);
  new (&self->model) DetectorErrorModel(std::move(model));
  self->counts = counts;
  return object;
}

const DetectorErrorModel& model_of(PyObject* self) {
  return reinterpret_cast<ModelObject*>(self)->model;
}

PyObject* parse_model(PyTypeObject* type, std::string_view text) {
  DetectorErrorModel model;
  without_gil([&] { model = circuit::parse_detector_error_model(text); });
  return new_model(type, std::move(model));
}

PyObject* create_model(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&]() -> PyObject* {
    static const char* keywords[] = {"text", nullptr};
    PyObject* text = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "U:DetectorErrorModel",
                                     const_cast<char**>(keywords), &text)) {
      return nullptr;
    }
    OwnedRef holder;
    const std::optional<std::string_view> source = source_text(text, holder);
    return source ? parse_model(type, *source) : nullptr;
  });
}

PyObject* model_from_file(PyObject* type, PyObject* path) noexcept {
  return guarded([&]() -> PyObject* {
    std::string contents;
    if (!read_whole_file(path, contents)) return nullptr;
    return parse_model(reinterpret_cast<PyTypeObject*>(type), contents);
  });
}

void destroy_model(PyObject* self) {
  reinterpret_cast<ModelObject*>(self)->model.~DetectorErrorModel();
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* model_text(PyObject* self) noexcept {
  return guarded([&]() -> PyObject* {
    std::string text;
    without_gil([&] { text = circuit::print_detector_error_model(model_of(self)); });
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

PyObject* model_repr(PyObject* self) noexcept {
  const OwnedRef text(model_text(self));
  if (!text) return nullptr;
  return PyUnicode_FromFormat("korvane.DetectorErrorModel(%R)", text.get());
}

PyObject* compare_models(PyObject* self, PyObject* other, int operation) noexcept {
  if (!PyObject_TypeCheck(other, model_class) || (operation != Py_EQ && operation != Py_NE)) {
    Py_RETURN_NOTIMPLEMENTED;
  }
  const bool equal = model_of(self) == model_of(other);
  return PyBool_FromLong((operation == Py_EQ) == equal ? 1 : 0);
}

PyObject* flattened(PyObject* self, PyObject* /*unused*/) noexcept {
  return guarded([&]() -> PyObject* {
    DetectorErrorModel flat;
    without_gil([&] { flat = circuit::flatten_detector_error_model(model_of(self)); });
    return new_model(Py_TYPE(self), std::move(flat));
  });
}

PyObject* reduce_model(PyObject* self, PyObject* /*unused*/) noexcept {
  const OwnedRef text(model_text(self));
  if (!text) return nullptr;
  return Py_BuildValue("O(O)", reinterpret_cast<PyObject*>(Py_TYPE(self)), text.get());
}

template <std::uint64_t circuit::DemCounts::*count>
PyObject* get_count(PyObject* self, void* /*closure*/) noexcept {
  return PyLong_FromUnsignedLongLong(reinterpret_cast<ModelObject*>(self)->counts.*count);
}

PyMethodDef methods[] = {
    {"from_file", model_from_file, METH_O | METH_CLASS,
     "from_file($type, path)\n--\n\n"
     "Read a detector error model from the text file at `path` (a str or os.PathLike).\n\n"
     "Raises OSError when the file cannot be read and ValueError, naming the line, when its "
     "text is not a detector error model."},
    {"flattened", flattened, METH_NOARGS,
     "flattened($self, /)\n--\n\n"
     "The same model without repeat blocks or detector shifts: every index and coordinate "
     "absolute."},
    {"__reduce__", reduce_model, METH_NOARGS, "Pickle the model as its text."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef attributes[] = {
    {"num_detectors", get_count<&circuit::DemCounts::detectors>, nullptr,
     "One more than the largest detector index the model names, shifts included.", nullptr},
    {"num_observables", get_count<&circuit::DemCounts::observables>, nullptr,
     "One more than the largest logical observable index the model names.", nullptr},
    {"num_errors", get_count<&circuit::DemCounts::errors>, nullptr,
     "The error mechanisms, each repetition of a repeat block counted.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot model_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(create_model)},
    {Py_tp_dealloc, reinterpret_cast<void*>(destroy_model)},
    {Py_tp_str, reinterpret_cast<void*>(model_text)},
    {Py_tp_repr, reinterpret_cast<void*>(model_repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(compare_models)},
    {Py_tp_doc,
     const_cast<char*>(
         "DetectorErrorModel(text)\n--\n\n"
         "A detector error model: independent error mechanisms, each with its probability and "
         "the detectors and logical observables it flips, in the text format that decoders "
         "read (`error(p) D0 D5 L0`, `detector(...)`, `logical_observable`, "
         "`shift_detectors`, `repeat N { ... }`, `^` between the suggested parts of an error).\n\n"
         "str() gives its canonical text. Raises ValueError, naming the line, for text it "
         "cannot read.")},
    {Py_tp_methods, methods},
    {Py_tp_getset, attributes},
    {0, nullptr},
};

PyType_Spec model_spec{"korvane.DetectorErrorModel", sizeof(ModelObject), 0, Py_TPFLAGS_DEFAULT,
                       model_slots};

bool convert_flag(PyObject* object, const char* name, bool& value) {
  if (object == nullptr) return true;
  if (!PyBool_Check(object)) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be a bool, not %T", name, object);
    return false;
  }
  value = object == Py_True;
  return true;
}

}  // namespace

PyTypeObject* detector_error_model_type() {
  if (model_class == nullptr) {
    model_class = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&model_spec));
  }
  return model_class;
}

PyObject* circuit_detector_error_model(const circuit::Program& program, PyObject* args,
                                       PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static const char* keywords[] = {"decompose_errors", "flatten_loops", nullptr};
    PyObject* decompose = nullptr;
    PyObject* flatten = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|$OO:detector_error_model",
                                     const_cast<char**>(keywords), &decompose, &flatten)) {
      return nullptr;
    }
    circuit::ErrorAnalysisOptions options;
    if (!convert_flag(decompose, "decompose_errors", options.decompose_errors) ||
        !convert_flag(flatten, "flatten_loops", options.flatten_loops)) {
      return nullptr;
    }
    SignalCheck ctrl_c;
    options.stop = ctrl_c.for_this_thread();
    DetectorErrorModel model;
    without_gil([&] { model = circuit::analyze_errors(program, options); });
    return new_model(model_class, std::move(model));
  });
}

}  // namespace korvane::python
