// Ctrl-C during long work: the StopCheck that the module passes to long runs of the engine and the
// circuit layer. It runs the interpreter's signal handlers, taking the GIL for that moment when
// the work runs without it; when a handler raises (KeyboardInterrupt), the work stops and the
// exception is left set for the call to return.
#pragma once

#include <Python.h>

#include "../engine/stop_check.h"

namespace korvane::python {

class SignalCheck final : public engine::StopCheck {
 public:
  // Made with the GIL held, on the thread that runs the work.
  SignalCheck() noexcept : thread_(PyThreadState_Get()) {}

  bool stop_requested() override;

 private:
  PyThreadState* thread_;
};

}  // namespace korvane::python
