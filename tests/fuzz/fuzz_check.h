// What a fuzz target does when an invariant fails: it prints what broke and
// aborts, so that libFuzzer keeps the input as a crash. Unlike assert, this
// stays on in optimised builds.
#ifndef VARNOX_TESTS_FUZZ_FUZZ_CHECK_H_
#define VARNOX_TESTS_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

#define VARNOX_FUZZ_CHECK(condition)                                                         \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (0)

#endif  // VARNOX_TESTS_FUZZ_FUZZ_CHECK_H_
