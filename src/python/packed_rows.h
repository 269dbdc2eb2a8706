// Shots as numpy arrays in and out of the circuit layer's packed rows (ceil(bits / 8) bytes a
// shot, bit k in byte k / 8 at 1 << k % 8, as in b8).
#pragma once

#include <Python.h>

#include <cstdint>
#include <vector>

#include "../circuit/shots/shot_formats.h"
#include "owned_ref.h"

namespace korvane::python {

// The rows of the 2D array `data`, packed: a uint8 array is taken as packed already (its pad
// bits cleared), anything else as one bool per bit. A layout of no bits takes a bool array's
// width as its measurements. False with ValueError set when the shape does not fit the layout.
bool packed_rows(PyObject* data, circuit::ShotLayout& layout, std::vector<std::uint8_t>& packed,
                 std::uint64_t& shots, bool& bit_packed);

// A new array of `shots` rows from packed rows of `bits` bits: uint8 rows as they are when
// `bit_packed`, else one bool per bit.
OwnedRef shot_array(const std::vector<std::uint8_t>& packed, std::uint64_t shots,
                    std::uint64_t bits, bool bit_packed);

}  // namespace korvane::python
