// korvane_call_floor: a class whose one method takes one argument with the calling convention of
// the korvane methods and does nothing. Its call cost is the floor that a gate call sits on.
#include <Python.h>

namespace {

PyObject* noop(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) { Py_RETURN_NONE; }

using FastMethod = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

PyMethodDef floor_methods[] = {
    {"noop", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(FastMethod{noop})),
     METH_FASTCALL | METH_KEYWORDS, "noop($self, qubit)\n--\n\nDo nothing."},
    {nullptr, nullptr, 0, nullptr},
};

void destroy_floor(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

PyType_Slot floor_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(PyType_GenericNew)},
    {Py_tp_dealloc, reinterpret_cast<void*>(destroy_floor)},
    {Py_tp_methods, floor_methods},
    {0, nullptr},
};

PyType_Spec floor_spec{"korvane_call_floor.CallFloor", sizeof(PyObject), 0, Py_TPFLAGS_DEFAULT,
                       floor_slots};

PyModuleDef floor_module{
    PyModuleDef_HEAD_INIT,
    "korvane_call_floor",
    "A no-op method to measure call cost against.",
    -1,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_korvane_call_floor() {
  PyObject* module = PyModule_Create(&floor_module);
  if (module == nullptr) return nullptr;
  PyObject* type = PyType_FromSpec(&floor_spec);
  if (type == nullptr || PyModule_AddObjectRef(module, "CallFloor", type) < 0) {
    Py_XDECREF(type);
    Py_DECREF(module);
    return nullptr;
  }
  Py_DECREF(type);
  return module;
}
