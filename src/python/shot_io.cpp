#include "shot_io.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "../circuit/shots/shot_formats.h"
#include "errors.h"
#include "file_io.h"
#include "numpy_bridge.h"
#include "owned_ref.h"
#include "packed_rows.h"
#include "without_gil.h"

namespace korvane::python {
namespace {

using circuit::ShotFormat;
using circuit::ShotLayout;

// Shots encoded and written at a time: a multiple of 64, for ptb64.
constexpr std::uint64_t shots_per_chunk = std::uint64_t{1} << 16;

bool convert_format(PyObject* object, ShotFormat& format) {
  if (!PyUnicode_Check(object)) {
    PyErr_Format(PyExc_TypeError, "argument 'format' must be a str, not %T", object);
    return false;
  }
  const char* name = PyUnicode_AsUTF8(object);
  if (name == nullptr) return false;
  const std::optional<ShotFormat> found = circuit::shot_format_named(name);
  if (!found) {
    PyErr_Format(PyExc_ValueError,
                 "unknown shot format %R: '01', 'b8', 'r8', 'hits', 'dets' or 'ptb64'", object);
    return false;
  }
  format = *found;
  return true;
}

bool convert_layout(PyObject* measurements, PyObject* detectors, PyObject* observables,
                    ShotLayout& layout) {
  const auto convert = [](PyObject* object, const char* name, std::uint64_t& value) {
    if (object == nullptr) return true;
    const OwnedRef number(PyNumber_Index(object));
    if (!number) {
      PyErr_Format(PyExc_TypeError, "argument '%s' must be an int, not %T", name, object);
      return false;
    }
    const long long count = PyLong_AsLongLong(number.get());
    if (count == -1 && PyErr_Occurred()) return false;
    if (count < 0 || count > (std::int64_t{1} << 40)) {
      PyErr_Format(PyExc_ValueError, "%s must lie in [0, 2**40], not %lld", name, count);
      return false;
    }
    value = static_cast<std::uint64_t>(count);
    return true;
  };
  return convert(measurements, "num_measurements", layout.measurements) &&
         convert(detectors, "num_detectors", layout.detectors) &&
         convert(observables, "num_observables", layout.observables);
}

bool is_path(PyObject* object) {
  return PyUnicode_Check(object) || PyBytes_Check(object) ||
         PyObject_HasAttrString(object, "__fspath__");
}

// Writes `bytes` to the open binary file object's write().
bool write_to(PyObject* file, const std::string& bytes) {
  const OwnedRef chunk(
      PyBytes_FromStringAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size())));
  if (!chunk) return false;
  const OwnedRef result(PyObject_CallMethod(file, "write", "O", chunk.get()));
  return static_cast<bool>(result);
}

// A file at `path` written whole or not at all: the data goes to a sibling file renamed over it
// once complete.
class AtomicFile {
 public:
  explicit AtomicFile(PyObject* path) : path_(path) {}
  ~AtomicFile() {
    if (file_ != nullptr) {
      (void)std::fclose(file_);
      (void)std::remove(temporary_.c_str());
    }
  }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool open() {
    PyObject* converted = nullptr;
    if (PyUnicode_FSConverter(path_, &converted) == 0) return false;
    const OwnedRef bytes(converted);
    target_ = PyBytes_AS_STRING(bytes.get());
    temporary_ = target_ + ".korvane-partial";
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (file_ == nullptr) PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path_);
    return file_ != nullptr;
  }
  bool write(const std::string& bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size()) return true;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path_);
    return false;
  }
  bool commit() {
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0 || std::rename(temporary_.c_str(), target_.c_str()) != 0) {
      PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path_);
      (void)std::remove(temporary_.c_str());
      return false;
    }
    return true;
  }

 private:
  PyObject* path_;
  std::string target_;
  std::string temporary_;
  std::FILE* file_ = nullptr;
};

PyObject* write_shots(PyObject* /*module*/, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&]() -> PyObject* {
    static const char* keywords[] = {
        "data", "path", "format", "num_measurements", "num_detectors", "num_observables", nullptr};
    PyObject* data = nullptr;
    PyObject* path = nullptr;
    PyObject* format_name = nullptr;
    PyObject* counts[3] = {nullptr, nullptr, nullptr};
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO|$OOO:write_shots",
                                     const_cast<char**>(keywords), &data, &path, &format_name,
                                     &counts[0], &counts[1], &counts[2])) {
      return nullptr;
    }
    ShotFormat format{};
    ShotLayout layout;
    std::vector<std::uint8_t> packed;
    std::uint64_t shots = 0;
    bool bit_packed = false;
    if (!convert_format(format_name, format) ||
        !convert_layout(counts[0], counts[1], counts[2], layout) ||
        !packed_rows(data, layout, packed, shots, bit_packed)) {
      return nullptr;
    }
    if (layout.measurements != 0 && layout.detectors + layout.observables != 0) {
      PyErr_SetString(PyExc_ValueError,
                      "measurement results never share a file with detectors or observables");
      return nullptr;
    }
    if (format == ShotFormat::ptb64 && shots % 64 != 0) {
      PyErr_Format(PyExc_ValueError, "ptb64 writes whole groups of 64 shots, not %llu",
                   static_cast<unsigned long long>(shots));
      return nullptr;
    }
    AtomicFile file(path);
    const bool to_path = is_path(path);
    if (to_path && !file.open()) return nullptr;
    std::string chunk;
    for (std::uint64_t first = 0; first < shots || (first == 0 && shots == 0);
         first += shots_per_chunk) {
      const std::uint64_t count = std::min(shots_per_chunk, shots - first);
      chunk.clear();
      without_gil([&] {
        circuit::write_shots(format, layout, packed.data() + first * layout.row_bytes(), count,
                             chunk);
      });
      if (!(to_path ? file.write(chunk) : write_to(path, chunk))) return nullptr;
      if (shots == 0) break;
      if (PyErr_CheckSignals() < 0) return nullptr;
    }
    if (to_path && !file.commit()) return nullptr;
    Py_RETURN_NONE;
  });
}

// The whole contents of a path or of a binary file object's read().
bool read_source(PyObject* source, std::string& contents) {
  if (is_path(source)) return read_whole_file(source, contents);
  const OwnedRef bytes(PyObject_CallMethod(source, "read", nullptr));
  if (!bytes) return false;
  char* buffer = nullptr;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(bytes.get(), &buffer, &size) < 0) return false;
  contents.assign(buffer, static_cast<std::size_t>(size));
  return true;
}

PyObject* read_shots(PyObject* /*module*/, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&]() -> PyObject* {
    static const char* keywords[] = {"path",          "format",          "num_measurements",
                                     "num_detectors", "num_observables", "bit_packed",
                                     nullptr};
    PyObject* path = nullptr;
    PyObject* format_name = nullptr;
    PyObject* counts[3] = {nullptr, nullptr, nullptr};
    int bit_packed = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|$OOOp:read_shots",
                                     const_cast<char**>(keywords), &path, &format_name, &counts[0],
                                     &counts[1], &counts[2], &bit_packed)) {
      return nullptr;
    }
    ShotFormat format{};
    ShotLayout layout;
    std::string contents;
    if (!convert_format(format_name, format) ||
        !convert_layout(counts[0], counts[1], counts[2], layout) || !read_source(path, contents)) {
      return nullptr;
    }
    circuit::ReadShots read;
    without_gil([&] { read = circuit::read_shots(format, layout, contents); });
    return shot_array(read.rows, read.shots, layout.bits(), bit_packed != 0).release();
  });
}

}  // namespace

PyMethodDef shot_functions[] = {
    {"write_shots", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(write_shots)),
     METH_VARARGS | METH_KEYWORDS,
     "write_shots(data, path, format, *, num_measurements=0, num_detectors=0, "
     "num_observables=0)\n--\n\n"
     "Write shots to `path` (a str or os.PathLike, written whole or not at all, or a binary file "
     "object) in `format`: '01', 'b8', 'r8', 'hits', 'dets' or 'ptb64'.\n\n"
     "`data` is a 2D array, one row per shot: bools, one per bit, or uint8 rows bit-packed as "
     "in b8 (bit k in byte k // 8 at 1 << k % 8). The counts say what a shot's bits are: "
     "measurement results, or detectors followed by observables (dets writes them as M, D and "
     "L); with all three 0 every column of a bool array is a measurement result. ptb64 takes a "
     "multiple of 64 shots."},
    {"read_shots", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(read_shots)),
     METH_VARARGS | METH_KEYWORDS,
     "read_shots(path, format, *, num_measurements=0, num_detectors=0, num_observables=0, "
     "bit_packed=False)\n--\n\n"
     "Read every shot of `path` (a str or os.PathLike, or a binary file object) in `format`, "
     "each shot num_measurements + num_detectors + num_observables bits.\n\n"
     "Returns a 2D numpy array, one row per shot: bools, or with `bit_packed` uint8 rows packed "
     "as in b8. Raises ValueError, naming the shot, for data that is not in the format."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace korvane::python
