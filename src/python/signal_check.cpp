#include "signal_check.h"

#include <atomic>

#include "owned_ref.h"

namespace korvane::python {
namespace {

// The identifier of the interpreter's main thread (threading.main_thread().ident), found once;
// 0 when it cannot be found, and every thread then counts as the main one.
unsigned long main_thread_ident() {
  static std::atomic<unsigned long> cached{0};
  static std::atomic<bool> known{false};
  if (known.load(std::memory_order_acquire)) return cached.load(std::memory_order_relaxed);
  const OwnedRef threading(PyImport_ImportModule("threading"));
  const OwnedRef main_thread(
      threading ? PyObject_CallMethod(threading.get(), "main_thread", nullptr) : nullptr);
  const OwnedRef ident(main_thread ? PyObject_GetAttrString(main_thread.get(), "ident") : nullptr);
  const unsigned long value = ident ? PyLong_AsUnsignedLong(ident.get()) : 0;
  if (PyErr_Occurred() != nullptr) {
    PyErr_Clear();
    return 0;
  }
  cached.store(value, std::memory_order_relaxed);
  known.store(true, std::memory_order_release);
  return value;
}

}  // namespace

SignalCheck::SignalCheck() noexcept : thread_(PyThreadState_Get()) {
  const unsigned long main_ident = main_thread_ident();
  on_main_thread_ = main_ident == 0 || PyThread_get_thread_ident() == main_ident;
}

bool SignalCheck::stop_requested() {
  if (PyGILState_Check() != 0) return PyErr_CheckSignals() < 0;
  PyEval_RestoreThread(thread_);
  const bool stop = PyErr_CheckSignals() < 0;
  PyEval_SaveThread();
  return stop;
}

}  // namespace korvane::python
