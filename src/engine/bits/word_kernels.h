// Loops over long runs of words, compiled for several instruction sets and chosen when the program
// loads: on x86-64 with GCC each function marked KORVANE_WORD_KERNEL is built three times
// (AVX-512, AVX2, baseline) and the loader picks the best the processor has. The loops stay
// plain, so that the compiler vectorises each build. An attribute cannot be spelled as a
// function or a template, so this one macro is the only way in.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define KORVANE_WORD_KERNEL \
  __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define KORVANE_WORD_KERNEL
#endif
