// Runs an initialiser at most once per process.
#pragma once

#include <Python.h>

#include <atomic>

namespace korvane::python {

class OnceLock {
 public:
  // Runs `init` (returning false with a Python exception set on failure) unless an earlier run
  // succeeded. A failed run may be retried by a later call. A thread that has to wait detaches
  // from the interpreter while it blocks, so it cannot deadlock with a holder that needs the GIL.
  template <class Init>
  bool run(Init&& init) {
    if (done_.load(std::memory_order_acquire)) return true;
    PyMutex_Lock(&mutex_);
    const bool succeeded = done_.load(std::memory_order_relaxed) || init();
    if (succeeded) done_.store(true, std::memory_order_release);
    PyMutex_Unlock(&mutex_);
    return succeeded;
  }

 private:
  PyMutex mutex_{};
  std::atomic<bool> done_{false};
};

}  // namespace korvane::python
