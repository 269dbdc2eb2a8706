#include "packed_rows.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "numpy_bridge.h"

namespace korvane::python {
namespace {

// Eight bytes of 0 or 1 (the first in the lowest byte) times this have them as bits 56..63.
constexpr std::uint64_t gather_bits = 0x0102040810204080ULL;

// The eight bytes of 0 or 1 of each byte value, bit k as byte k.
constexpr std::array<std::uint64_t, 256> spread_bits = [] {
  std::array<std::uint64_t, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    for (unsigned k = 0; k < 8; ++k) table[value] |= std::uint64_t{(value >> k) & 1U} << (8 * k);
  }
  return table;
}();

constexpr bool little_endian = std::endian::native == std::endian::little;

// One row of `bits` bools (bytes of 0 or 1) packed into ceil(bits / 8) zeroed bytes.
void pack_row(const std::uint8_t* bools, std::uint64_t bits, std::uint8_t* row) {
  std::uint64_t k = 0;
  for (; little_endian && k + 8 <= bits; k += 8) {
    std::uint64_t eight = 0;
    std::memcpy(&eight, bools + k, 8);
    row[k / 8] = static_cast<std::uint8_t>((eight * gather_bits) >> 56U);
  }
  for (; k < bits; ++k) row[k / 8] = static_cast<std::uint8_t>(row[k / 8] | (bools[k] << (k % 8)));
}

void unpack_row(const std::uint8_t* row, std::uint64_t bits, std::uint8_t* bools) {
  std::uint64_t k = 0;
  for (; little_endian && k + 8 <= bits; k += 8)
    std::memcpy(bools + k, &spread_bits[row[k / 8]], 8);
  for (; k < bits; ++k) bools[k] = static_cast<std::uint8_t>((row[k / 8] >> (k % 8)) & 1U);
}

}  // namespace

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
        pack_row(bytes + s * bits, bits, packed.data() + s * row_bytes);
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
    unpack_row(packed.data() + s * row_bytes, bits, target + s * bits);
  }
  return array;
}

}  // namespace korvane::python
