// Memory running out at any moment of the filter's start: whatever was not
// read whole must not be written back over the user's files at teardown, and
// a file that could not be read stops no other from being read.
//
// This program replaces the global allocator: once armed, the n-th
// allocation throws std::bad_alloc, as when memory runs out; every other
// allocation is served by malloc.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "engine/bayesian_filter.h"
#include "settings/settings_store.h"
#include "tests/engine/engine_test_support.h"
#include "tests/fakes/fake_platform.h"

namespace {

std::atomic<long> allocations_until_failure{-1};  // negative: never fail

void* Allocate(std::size_t size) {
  if (allocations_until_failure.load() >= 0 && allocations_until_failure.fetch_sub(1) == 0)
    throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size))
    return memory;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}

namespace varnox {
namespace {

using testing::FakePlatform;
using testing::Masked;

TEST(StartOutOfMemory, FilesNotReadWholeAreNeverReplaced) {
  // Written as a save writes it, so that a save after a whole load gives the
  // same bytes.
  std::string text = "Version = 1.01\nSpam = 2\nClean = 3\n";
  for (int i = 0; i < 40; ++i)
    text += "word" + std::to_string(100 + i) + " = 3,1,0.75000000,1700000000\n";
  const std::string database = Masked(text);
  // Five words: only the ";" itself is passed over.
  const std::string ignore = "; my own comment\nzeta alpha\n";
  constexpr std::size_t kIgnoredWords = 5;
  const std::string tokens = Masked(
      "Varnox second judge = 1\nSpam = 2\nClean = 3\n1 0 1700000000 from:@x.example\n"
      "1 2 1700000000 offer\n0 1 1700000000 url:y.example\n");

  // The chi-square judge's file is read whether the judge is on or off.
  for (const bool judge_on : {true, false}) {
    SCOPED_TRACE(judge_on ? "judge on" : "judge off");
    long failure = 0;
    int database_cut = 0;  // failures that left the word database read in part
    int ignore_cut = 0;    // the same for the ignore file
    int tokens_cut = 0;    // the same for the chi-square judge's file
    for (;; ++failure) {
      FakePlatform fake;
      fake.registry.CreateKey();
      fake.registry.SetString(setting::kWordFilePath, "/words.db");
      fake.registry.SetString(setting::kIgnoreFilePath, "/ignore.txt");
      fake.registry.SetDword(setting::kSecondJudge, judge_on ? 1 : 0);
      fake.files.files["/words.db"] = database;
      fake.files.files["/ignore.txt"] = ignore;
      fake.files.files["/words.db.second"] = tokens;
      bool failed = false;
      {
        BayesianFilter filter(fake);
        allocations_until_failure = failure;
        filter.Initialize();
        failed = allocations_until_failure.exchange(-1) < 0;
        // Without its path the filter reads and writes nothing at all.
        if (failed && !filter.core().databasePath().empty() && filter.WordCount() != 40) {
          ++database_cut;
          ASSERT_FALSE(fake.ui.messages.empty()) << "allocation " << failure;
          EXPECT_EQ(fake.ui.messages[0].text.rfind("Cannot read database", 0), 0u)
              << "allocation " << failure;
        }
        if (failed && !filter.core().ignorePath().empty() &&
            filter.core().ignoreList().size() != kIgnoredWords)
          ++ignore_cut;
        if (failed && !filter.chiSquareJudge().path().empty() &&
            filter.chiSquareJudge().table().size() != 3) {
          ++tokens_cut;
          EXPECT_EQ(filter.core().ignoreList().size(), kIgnoredWords)
              << "allocation " << failure << ": the ignore file is read all the same";
        }
      }
      if (!failed)
        break;  // the start needs fewer allocations: every one has failed once
      ASSERT_EQ(fake.files.files["/words.db"], database) << "allocation " << failure;
      ASSERT_EQ(fake.files.files["/ignore.txt"], ignore) << "allocation " << failure;
      ASSERT_EQ(fake.files.files["/words.db.second"], tokens) << "allocation " << failure;
    }
    EXPECT_GT(database_cut, 0) << "no failure fell inside the database load";
    EXPECT_GT(ignore_cut, 0) << "no failure fell inside the ignore file load";
    EXPECT_GT(tokens_cut, 0) << "no failure fell inside the chi-square judge's file load";
  }
}

}  // namespace
}  // namespace varnox
