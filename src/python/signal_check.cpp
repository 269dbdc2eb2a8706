#include "signal_check.h"

#include <atomic>

#include "owned_ref.h"

namespace korvane::python {
namespace {

// The identifier of the interpreter's main thread (threading.main_thread().ident), found when
// the module is made; 0 until then.
std::atomic<unsigned long> main_ident{0};

}  // namespace

bool find_main_thread() {
  const OwnedRef threading(PyImport_ImportModule("threading"));
  const OwnedRef main_thread(
      threading ? PyObject_CallMethod(threading.get(), "main_thread", nullptr) : nullptr);
  const OwnedRef ident(main_thread ? PyObject_GetAttrString(main_thread.get(), "ident") : nullptr);
  const unsigned long value = ident ? PyLong_AsUnsignedLong(ident.get()) : 0;
  if (PyErr_Occurred() != nullptr) return false;
  main_ident.store(value, std::memory_order_relaxed);
  return true;
}

// Runs no Python code: a handler run here would raise where no one could take its exception.
SignalCheck::SignalCheck() noexcept : thread_(PyThreadState_Get()) {
  const unsigned long main_thread = main_ident.load(std::memory_order_relaxed);
  on_main_thread_ = main_thread == 0 || PyThread_get_thread_ident() == main_thread;
}

bool SignalCheck::stop_requested() {
  if (PyGILState_Check() != 0) return PyErr_CheckSignals() < 0;
  PyEval_RestoreThread(thread_);
  const bool stop = PyErr_CheckSignals() < 0;
  PyEval_SaveThread();
  return stop;
}

}  // namespace korvane::python
