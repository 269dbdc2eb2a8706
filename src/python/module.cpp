// Initialisation of the module `korvane`: one module object per process, in the first
// interpreter that imports it, holding the four classes.
#include <Python.h>

#include <array>
#include <atomic>
#include <cstdint>

#include "circuit_type.h"
#include "dem_type.h"
#include "once_lock.h"
#include "owned_ref.h"
#include "shot_io.h"
#include "signal_check.h"
#include "simulator_type.h"
#include "value_types.h"

namespace korvane::python {
namespace {

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "korvane",
    "Graph-state based quantum circuit simulator exposed as the `korvane` Python module.",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

constexpr int module_api_version = 1013;

std::atomic<std::int64_t> first_interpreter_id{-1};
OnceLock module_creation;
PyObject* cached_module = nullptr;

struct ModuleClass {
  const char* name;
  PyTypeObject* (*type)();
};

constexpr std::array<ModuleClass, 4> module_classes{{
    {"MeasurementResult", measurement_result_type},
    {"Outcome", outcome_type},
    {"Axis", axis_type},
    {"Korvane", simulator_type},
}};

constexpr std::array<ModuleClass, 2> beside_all{{
    {"Circuit", circuit_type},
    {"DetectorErrorModel", detector_error_model_type},
}};

// Refuses every interpreter but the first that imported the module.
bool check_interpreter() {
  const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id == -1) return false;
  std::int64_t expected = -1;
  if (first_interpreter_id.compare_exchange_strong(expected, id) || expected == id) return true;
  PyErr_SetString(PyExc_ImportError,
                  "korvane does not support subinterpreters: it can be imported only in the "
                  "interpreter that imported it first");
  return false;
}

// Appends `name` to the module's __all__, creating the list when there is none.
bool append_to_all(PyObject* module, const char* name) {
  PyObject* found = nullptr;
  if (PyObject_GetOptionalAttrString(module, "__all__", &found) < 0) return false;
  OwnedRef names(found);
  if (!names) {
    names = OwnedRef(PyList_New(0));
    if (!names || PyObject_SetAttrString(module, "__all__", names.get()) < 0) return false;
  }
  if (!PyList_Check(names.get())) {
    PyErr_SetString(PyExc_TypeError, "korvane.__all__ must be a list");
    return false;
  }
  const OwnedRef text(PyUnicode_FromString(name));
  return text && PyList_Append(names.get(), text.get()) == 0;
}

bool add_class(PyObject* module, const ModuleClass& module_class) {
  PyTypeObject* type = module_class.type();
  if (type == nullptr || !append_to_all(module, module_class.name)) return false;
  return PyModule_AddObjectRef(module, module_class.name, reinterpret_cast<PyObject*>(type)) == 0;
}

bool create_module() {
  if (!find_main_thread()) return false;
  OwnedRef module(PyModule_Create2(&module_definition, module_api_version));
  if (!module) return false;
#ifdef Py_GIL_DISABLED
  if (PyUnstable_Module_SetGIL(module.get(), Py_MOD_GIL_USED) < 0) return false;
#endif
  for (const ModuleClass& module_class : module_classes) {
    if (!add_class(module.get(), module_class)) return false;
  }
  if (PyModule_AddFunctions(module.get(), shot_functions) < 0) return false;
  // Beside the four classes of __all__, not among them.
  for (const ModuleClass& beside : beside_all) {
    PyTypeObject* const type = beside.type();
    if (type == nullptr ||
        PyModule_AddObjectRef(module.get(), beside.name, reinterpret_cast<PyObject*>(type)) < 0) {
      return false;
    }
  }
  cached_module = module.release();
  return true;
}

}  // namespace
}  // namespace korvane::python

PyMODINIT_FUNC PyInit_korvane() {
  using namespace korvane::python;
  if (!check_interpreter()) return nullptr;
  if (!module_creation.run(create_module)) return nullptr;
  return Py_NewRef(cached_module);
}
