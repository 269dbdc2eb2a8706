#include "signal_check.h"

namespace korvane::python {

bool SignalCheck::stop_requested() {
  if (PyGILState_Check() != 0) return PyErr_CheckSignals() < 0;
  PyEval_RestoreThread(thread_);
  const bool stop = PyErr_CheckSignals() < 0;
  PyEval_SaveThread();
  return stop;
}

}  // namespace korvane::python
