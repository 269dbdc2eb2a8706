#include "file_io.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>

#include "owned_ref.h"

namespace korvane::python {
namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// The file at `path` opened in `mode`; empty with OSError or the conversion error set.
File open_file(PyObject* path, const char* mode) {
  PyObject* converted = nullptr;
  if (PyUnicode_FSConverter(path, &converted) == 0) return {nullptr, &std::fclose};
  const OwnedRef path_bytes(converted);
  File file(std::fopen(PyBytes_AS_STRING(path_bytes.get()), mode), &std::fclose);
  if (!file) PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path);
  return file;
}

bool raise_io_error(PyObject* path) {
  // A directory, say, opens but cannot be read: EISDIR.
  if (errno == 0) errno = EIO;
  PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path);
  return false;
}

}  // namespace

bool read_whole_file(PyObject* path, std::string& contents) {
  const File file = open_file(path, "rb");
  if (!file) return false;
  std::array<char, 1 << 16> buffer{};
  for (;;) {
    errno = 0;
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    contents.append(buffer.data(), got);
    if (got == buffer.size()) continue;
    if (std::ferror(file.get()) == 0) return true;
    return raise_io_error(path);
  }
}

bool write_whole_file(PyObject* path, const void* data, std::size_t size) {
  File file = open_file(path, "wb");
  if (!file) return false;
  errno = 0;
  if (std::fwrite(data, 1, size, file.get()) != size) return raise_io_error(path);
  errno = 0;
  // Closing flushes: a full disk shows here.
  if (std::fclose(file.release()) != 0) return raise_io_error(path);
  return true;
}

PyObject* text_or_file(PyObject* path, const std::string& text) {
  if (path == nullptr || path == Py_None) {
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  }
  if (!write_whole_file(path, text.data(), text.size())) return nullptr;
  Py_RETURN_NONE;
}

}  // namespace korvane::python
