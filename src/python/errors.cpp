#include "errors.h"

#include <exception>
#include <new>

#include "../engine/base.h"
#include "panic.h"

namespace korvane::python {

void raise_current_exception() noexcept {
  try {
    throw;
  } catch (const engine::InvalidInput& refusal) {
    PyErr_SetString(PyExc_ValueError, refusal.what());
  } catch (const engine::Fault& fault) {
    raise_panic(fault.what());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& failure) {
    raise_panic(failure.what());
  } catch (...) {
    raise_panic("unknown internal failure");
  }
}

}  // namespace korvane::python
