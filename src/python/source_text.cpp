#include "source_text.h"

#include <cstddef>

namespace korvane::python {

std::optional<std::string_view> source_text(PyObject* text, OwnedRef& holder) {
  Py_ssize_t size = 0;
  if (const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size)) {
    return std::string_view{utf8, static_cast<std::size_t>(size)};
  }
  if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return std::nullopt;
  PyErr_Clear();
  holder = OwnedRef(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass"));
  if (!holder) return std::nullopt;
  return std::string_view{PyBytes_AS_STRING(holder.get()),
                          static_cast<std::size_t>(PyBytes_GET_SIZE(holder.get()))};
}

}  // namespace korvane::python
