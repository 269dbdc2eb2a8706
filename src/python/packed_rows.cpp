#include "packed_rows.h"

#include <algorithm>

#include "../circuit/sampling/row_layout.h"
#include "numpy_bridge.h"

namespace korvane::python {

bool packed_rows(PyObject* data, circuit::ShotLayout& layout, std::vector<std::uint8_t>& packed,
                 std::uint64_t& shots, bool& bit_packed) {
  PyObject* numpy = numpy_module();
  if (numpy == nullptr) return false;
  const OwnedRef uint8(PyObject_GetAttrString(numpy, "uint8"));
  const OwnedRef dtype(PyObject_GetAttrString(data, "dtype"));
  if (!dtype) PyErr_Clear();
  bit_packed = dtype && uint8 && PyObject_RichCompareBool(dtype.get(), uint8.get(), Py_EQ) == 1;
  Py_buffer view{};
  const OwnedRef array = contiguous_array(data, bit_packed ? "uint8" : "bool", view);
  if (!array) return false;
  const bool two_dimensional = view.ndim == 2;
  const Py_ssize_t rows = two_dimensional ? view.shape[0] : 0;
  const Py_ssize_t columns = two_dimensional ? view.shape[1] : 0;
  const auto* bytes = static_cast<const std::uint8_t*>(view.buf);
  if (layout.bits() == 0 && !bit_packed) layout.measurements = static_cast<std::uint64_t>(columns);
  const std::uint64_t bits = layout.bits();
  const std::uint64_t row_bytes = layout.row_bytes();
  const std::uint64_t expected = bit_packed ? row_bytes : bits;
  const bool fits = two_dimensional && static_cast<std::uint64_t>(columns) == expected;
  if (fits) {
    shots = static_cast<std::uint64_t>(rows);
    packed.assign(shots * row_bytes, 0);
    if (bit_packed) {
      std::copy(bytes, bytes + shots * row_bytes, packed.begin());
      // Pad bits never reach the output.
      if (bits % 8 != 0) {
        const auto mask = static_cast<std::uint8_t>((1U << (bits % 8)) - 1);
        for (std::uint64_t s = 0; s < shots; ++s) packed[(s + 1) * row_bytes - 1] &= mask;
      }
    } else {
      for (std::uint64_t s = 0; s < shots; ++s) {
        circuit::pack_row(bytes + s * bits, bits, packed.data() + s * row_bytes);
      }
    }
  }
  PyBuffer_Release(&view);
  if (!fits) {
    PyErr_Format(PyExc_ValueError, "data must be a 2D array of %s shots with %llu %s per shot",
                 bit_packed ? "bit-packed (uint8)" : "bool",
                 static_cast<unsigned long long>(expected), bit_packed ? "bytes" : "bits");
  }
  return fits;
}

OwnedRef shot_array(const std::vector<std::uint8_t>& packed, std::uint64_t shots,
                    std::uint64_t bits, bool bit_packed) {
  const std::uint64_t row_bytes = (bits + 7) / 8;
  const std::uint64_t width = bit_packed ? row_bytes : bits;
  void* out = nullptr;
  OwnedRef array = new_array({static_cast<Py_ssize_t>(shots), static_cast<Py_ssize_t>(width)},
                             bit_packed ? "uint8" : "bool", out);
  if (!array) return array;
  auto* target = static_cast<std::uint8_t*>(out);
  if (bit_packed) {
    std::copy(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(shots * row_bytes),
              target);
    return array;
  }
  for (std::uint64_t s = 0; s < shots; ++s) {
    circuit::unpack_row(packed.data() + s * row_bytes, bits, target + s * bits);
  }
  return array;
}

}  // namespace korvane::python
