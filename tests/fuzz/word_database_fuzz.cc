// LoadDatabase on arbitrary files, masked (as the system writes them) and
// unmasked (the first byte chooses). What loads must be a table the rest of
// the engine can trust, and what we save from it must load back the same,
// with no repair.
#include <cmath>
#include <cstdint>
#include <string>

#include "engine/bayesian_core.h"
#include "engine/word_database_format.h"
#include "platform/code_page.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fuzz/fuzz_check.h"

namespace varnox {
namespace {

constexpr char kPath[] = "words.db";
constexpr std::int32_t kNow = 1700000000;

void CheckLoaded(const BayesianCore& core) {
  VARNOX_FUZZ_CHECK(core.spamMessages() >= 0 && core.cleanMessages() >= 0);
  for (const auto& item : core.words()) {
    const std::string_view word = item.word;
    // Whatever the tokenizer can make reads back: from one byte, beginning
    // with a letter, a digit or "$".
    VARNOX_FUZZ_CHECK(!word.empty() && word.size() <= BayesianCore::kMaxStoredWordLength);
    const unsigned char first = static_cast<unsigned char>(word.front());
    VARNOX_FUZZ_CHECK(code_page::IsAlphaNumeric(first) || first == '$');
    for (char c : word)
      VARNOX_FUZZ_CHECK(word_database::IsNameByte(static_cast<unsigned char>(c)));
    const WordEntry& e = item.entry;
    VARNOX_FUZZ_CHECK(e.spamCount >= 0 && e.cleanCount >= 0);
    VARNOX_FUZZ_CHECK(e.spamCount > 0 || e.cleanCount > 0);
    VARNOX_FUZZ_CHECK(e.probability >= 0.0001f && e.probability <= 1.0f);
    VARNOX_FUZZ_CHECK(e.lastSeen != 0);
  }
}

}  // namespace
}  // namespace varnox

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnox;
  if (size == 0)
    return 0;
  std::string file(reinterpret_cast<const char*>(data) + 1, size - 1);
  // Odd first byte: the input is the plain text, masked here as the
  // system would have written it.
  if ((data[0] & 1) != 0)
    word_database::MaskBytes(file.data(), file.size());

  testing::FakePlatform fakes;
  fakes.clock.Set(kNow);
  fakes.files.files[kPath] = file;
  BayesianCore first(fakes);
  first.set_databasePath(kPath);
  first.set_lastAgingTime(kNow);
  VARNOX_FUZZ_CHECK(first.LoadDatabase() == 1);
  CheckLoaded(first);

  // Ours, saved and read again: the same table, and nothing to repair.
  VARNOX_FUZZ_CHECK(first.SaveDatabase() == 1);
  BayesianCore second(fakes);
  second.set_databasePath(kPath);
  VARNOX_FUZZ_CHECK(second.LoadDatabase() == 1);
  VARNOX_FUZZ_CHECK(second.saved() == 1);
  CheckLoaded(second);
  VARNOX_FUZZ_CHECK(second.spamMessages() == first.spamMessages());
  VARNOX_FUZZ_CHECK(second.cleanMessages() == first.cleanMessages());
  VARNOX_FUZZ_CHECK(second.wordCount() == first.wordCount());
  for (const auto& item : first.words()) {
    const WordEntry* again = second.words().Find(item.word);
    VARNOX_FUZZ_CHECK(again != nullptr);
    VARNOX_FUZZ_CHECK(again->spamCount == item.entry.spamCount);
    VARNOX_FUZZ_CHECK(again->cleanCount == item.entry.cleanCount);
    VARNOX_FUZZ_CHECK(again->lastSeen == item.entry.lastSeen);
    // Eight decimals: the probability comes back within half a unit of
    // the eighth place (and never below the floor).
    VARNOX_FUZZ_CHECK(std::fabs(again->probability - item.entry.probability) <= 1e-7f);
  }
  return 0;
}
