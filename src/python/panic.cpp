#include "panic.h"

#include "once_lock.h"

namespace korvane::python {
namespace {

OnceLock panic_creation;
PyObject* panic_type = nullptr;

}  // namespace

PyObject* panic_exception_type() {
  const bool created = panic_creation.run([] {
    panic_type = PyErr_NewExceptionWithDoc(
        "korvane.PanicException",
        "An operation of the simulator stopped with a fault; the message says why.",
        PyExc_BaseException, nullptr);
    return panic_type != nullptr;
  });
  return created ? panic_type : nullptr;
}

void raise_panic(const char* message) {
  PyObject* type = panic_exception_type();
  if (type != nullptr) PyErr_SetString(type, message);
}

}  // namespace korvane::python
