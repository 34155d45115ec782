// What a fuzz target does when an invariant fails: it prints what broke and
// aborts, so that libFuzzer keeps the input as a crash. Unlike assert, this
// stays on in optimised builds.
#ifndef VARNOX_TESTS_FUZZ_FUZZ_CHECK_H_
#define VARNOX_TESTS_FUZZ_FUZZ_CHECK_H_

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "mime/verdict_fields.h"

#define VARNOX_FUZZ_CHECK(condition)                                                         \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (0)

namespace varnox::testing {

// Every CR of `text` is followed by an LF and every LF follows a CR.
inline void CheckCrLfLineEnds(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r')
      VARNOX_FUZZ_CHECK(i + 1 < text.size() && text[i + 1] == '\n');
    if (text[i] == '\n')
      VARNOX_FUZZ_CHECK(i > 0 && text[i - 1] == '\r');
  }
}

// How many lines of `text` (a header block) begin a verdict field
// (mime/verdict_fields.h).
inline std::size_t CountVerdictFieldLines(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((i == 0 || text[i - 1] == '\r' || text[i - 1] == '\n') &&
        mime::IsVerdictField(text.substr(i)))
      ++count;
  }
  return count;
}

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_FUZZ_FUZZ_CHECK_H_
