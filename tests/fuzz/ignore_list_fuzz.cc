// The ignore-word file on arbitrary bytes: every entry is one word that the
// file could give, and the file we write back reads as the same list.
#include <cstdint>
#include <string>

#include "engine/bayesian_core.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool IsFileSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnox;
  const std::string file(reinterpret_cast<const char*>(data), size);
  testing::FakePlatform fakes;
  fakes.files.files["ignore.txt"] = file;

  BayesianCore first(fakes);
  first.LoadIgnoreList("ignore.txt");
  VARNOX_FUZZ_CHECK(first.ignorePath() == "ignore.txt");
  for (const std::string& word : first.ignoreList()) {
    VARNOX_FUZZ_CHECK(!word.empty() && word.front() != ';');
    for (char c : word)
      VARNOX_FUZZ_CHECK(!IsFileSpace(c));
    VARNOX_FUZZ_CHECK(first.IsIgnored(word) == 1);
    VARNOX_FUZZ_CHECK(file.find(word) != std::string::npos);
  }

  // Written elsewhere: the file it was read from holds the list already.
  first.set_ignorePath("written.txt");
  first.SaveIgnoreList();
  BayesianCore second(fakes);
  second.LoadIgnoreList("written.txt");
  VARNOX_FUZZ_CHECK(second.ignoreList() == first.ignoreList());
  return 0;
}
