// The numbers of a sampling call: how many shots, and the seed.
#pragma once

#include <Python.h>

#include <cstdint>

#include "../circuit/sampling/sampler.h"

namespace korvane::python {

// `shots`: an int (or an object with __index__) of at least 0. TypeError "argument 'shots': ..."
// for anything else, ValueError below 0, MemoryError for a count no array could hold.
bool convert_shots(PyObject* object, std::uint64_t& shots);

// `seed`: None, for a seed drawn from the calling thread's generator (itself seeded from the
// operating system), or an int with 0 <= seed < 2^64 (OverflowError outside, TypeError
// "argument 'seed': ..." for a non-integer).
bool convert_seed(PyObject* object, std::uint64_t& seed);

// `method`: absent for frames, or the str "frames" or "shots" (ValueError for another str,
// TypeError "argument 'method': ..." for a non-str).
bool convert_method(PyObject* object, circuit::SamplingMethod& method);

// Checks that a bool array of shots rows of `width` entries can be addressed, leaving MemoryError
// set when it cannot.
bool check_array_size(std::uint64_t shots, std::uint64_t width);

}  // namespace korvane::python
