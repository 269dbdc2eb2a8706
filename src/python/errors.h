// The one place where C++ exceptions become Python exceptions. No C++ exception may leave a
// function that the interpreter calls.
#pragma once

#include <Python.h>

#include <new>
#include <string>

namespace korvane::python {

// Inside a catch block: sets the Python exception for the exception being handled.
// engine::InvalidInput becomes ValueError; engine::Fault and any other std::exception
// PanicException with its message; std::bad_alloc becomes MemoryError, saying how much memory was
// refused when that is known.
void raise_current_exception() noexcept;

// Inside a catch block for `refusal`: MemoryError "{what}: could not allocate {amount}", the
// amount said when the engine knows it; without `what` when it is empty.
void raise_memory_error(const std::bad_alloc& refusal, const std::string& what) noexcept;

// Calls `body` (returning a new reference or null with a Python exception set) and turns any C++
// exception it throws into a Python exception and a null result. RAII guards inside `body`
// unwind before the Python exception is set.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    raise_current_exception();
    return nullptr;
  }
}

}  // namespace korvane::python
