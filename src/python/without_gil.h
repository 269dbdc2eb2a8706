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

}  // namespace korvane::python
