// The calling thread's own generator, for everything that Python calls draw without a seed.
#pragma once

#include "random_source.h"

namespace korvane::engine {

// The calling thread's generator (xoshiro128++), seeded from the operating system on its first
// use in the thread and again in a child after fork(). Throws Fault when no seed can be obtained.
RandomSource& thread_generator();

}  // namespace korvane::engine
