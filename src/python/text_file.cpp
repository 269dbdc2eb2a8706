#include "text_file.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "owned_ref.h"

namespace korvane::python {

bool read_text_file(PyObject* path, std::string& contents) {
  PyObject* converted = nullptr;
  if (PyUnicode_FSConverter(path, &converted) == 0) return false;
  const OwnedRef path_bytes(converted);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
      std::fopen(PyBytes_AS_STRING(path_bytes.get()), "rb"), &std::fclose);
  if (!file) {
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path);
    return false;
  }
  std::array<char, 1 << 16> buffer{};
  for (;;) {
    errno = 0;
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    contents.append(buffer.data(), got);
    if (got == buffer.size()) continue;
    if (std::ferror(file.get()) == 0) return true;
    // A directory, say, opens but cannot be read: EISDIR.
    if (errno == 0) errno = EIO;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path);
    return false;
  }
}

}  // namespace korvane::python
