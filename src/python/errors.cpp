#include "errors.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "../engine/base.h"
#include "../engine/containers/large_array.h"
#include "../engine/stop_check.h"
#include "panic.h"

namespace korvane::python {

namespace {

// A message that quotes bytes from outside: a byte that is not UTF-8 shows as \xNN rather than
// failing the decoding.
void raise_value_error(const char* message) {
  PyObject* const text = PyUnicode_DecodeUTF8(
      message, static_cast<Py_ssize_t>(std::strlen(message)), "backslashreplace");
  if (text == nullptr) return;
  PyErr_SetObject(PyExc_ValueError, text);
  Py_DECREF(text);
}

// "1.5 GiB (1610612736 bytes)".
std::string amount_text(std::size_t bytes) {
  constexpr std::array<const char*, 7> units{"bytes", "KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  std::string exact = std::to_string(bytes) + " bytes";
  auto scaled = static_cast<double>(bytes);
  std::size_t unit = 0;
  while (scaled >= 1024.0 && unit + 1 < units.size()) {
    scaled /= 1024.0;
    ++unit;
  }
  if (unit == 0) return exact;
  const auto tenths = static_cast<std::uint64_t>(std::lround(scaled * 10.0));
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + units[unit] +
         " (" + exact + ")";
}

}  // namespace

void raise_memory_error(const std::bad_alloc& refusal, const std::string& what) noexcept {
  try {
    const auto* const sized = dynamic_cast<const engine::MemoryRefused*>(&refusal);
    std::string message = what.empty() ? std::string() : what + ": ";
    message += sized != nullptr ? "could not allocate " + amount_text(sized->bytes())
                                : std::string("out of memory");
    PyErr_SetString(PyExc_MemoryError, message.c_str());
  } catch (...) {
    PyErr_NoMemory();
  }
}

void raise_current_exception() noexcept {
  try {
    throw;
  } catch (const engine::InvalidInput& refusal) {
    raise_value_error(refusal.what());
  } catch (const engine::Interrupted&) {
    // The signal handler's exception is set already.
    if (PyErr_Occurred() == nullptr) PyErr_SetNone(PyExc_KeyboardInterrupt);
  } catch (const engine::Fault& fault) {
    raise_panic(fault.what());
  } catch (const std::bad_alloc& refusal) {
    raise_memory_error(refusal, {});
  } catch (const std::exception& failure) {
    raise_panic(failure.what());
  } catch (...) {
    raise_panic("unknown internal failure");
  }
}

}  // namespace korvane::python
