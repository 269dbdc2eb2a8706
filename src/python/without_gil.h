// Running C++ work with the GIL released, so that other Python threads run meanwhile. The work
// must touch no Python object.
#pragma once

#include <Python.h>

#include <exception>

namespace korvane::python {

// Runs `work` without the GIL. A C++ exception that it throws is rethrown once the GIL is back,
// where the caller's guard turns it into a Python exception.
template <class Work>
void without_gil(Work&& work) {
  std::exception_ptr failure;
  PyThreadState* const saved = PyEval_SaveThread();
  try {
    work();
  } catch (...) {
    failure = std::current_exception();
  }
  PyEval_RestoreThread(saved);
  if (failure) std::rethrow_exception(failure);
}

// Runs work(check_signals) without the GIL and returns what it returns. check_signals() takes
// the GIL back while the interpreter runs its signal handlers (Ctrl-C), and says whether to go on:
// false leaves the handler's exception set. The same rethrowing as without_gil.
template <class Work>
bool without_gil_checking_signals(Work&& work) {
  std::exception_ptr failure;
  PyThreadState* saved = PyEval_SaveThread();
  const auto check_signals = [&saved] {
    PyEval_RestoreThread(saved);
    const bool go_on = PyErr_CheckSignals() == 0;
    saved = PyEval_SaveThread();
    return go_on;
  };
  bool finished = false;
  try {
    finished = work(check_signals);
  } catch (...) {
    failure = std::current_exception();
  }
  PyEval_RestoreThread(saved);
  if (failure) std::rethrow_exception(failure);
  return finished;
}

}  // namespace korvane::python
