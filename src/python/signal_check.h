// Ctrl-C during long work: the StopCheck that the module passes to long runs of the engine and the
// circuit layer. It runs the interpreter's signal handlers, taking the GIL for that moment when
// the work runs without it; when a handler raises (KeyboardInterrupt), the work stops and the
// exception is left set for the call to return. Signal handlers run on the main thread alone, so
// work on any other thread is given no check at all and never waits for the GIL.
#pragma once

#include <Python.h>

#include "../engine/stop_check.h"

namespace korvane::python {

// Finds the interpreter's main thread, once, when the module is made; false with an exception set.
bool find_main_thread();

class SignalCheck final : public engine::StopCheck {
 public:
  // Made with the GIL held, on the thread that runs the work.
  SignalCheck() noexcept;

  // The check to give the work: this one on the main thread, none elsewhere.
  engine::StopCheck* for_this_thread() noexcept { return on_main_thread_ ? this : nullptr; }

  bool stop_requested() override;

 private:
  PyThreadState* thread_;
  bool on_main_thread_;
};

}  // namespace korvane::python
