// Weeks of use compressed: a random walk of learning, saving, emptying,
// list edits and restarts under a ManualClock, checked step by step against
// a model the test keeps of what the word database, the message counts and
// the black list must hold: counts added per occurrence, the two-day aging
// of words unseen for ten days at each Empty or stop that falls due (the
// saves made after teaching write the table as it is), Empty keeping
// the message counts, everything surviving a restart through its files.
//
// VARNOX_MODEL_DAYS sets the simulated span (default 40 days).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/bayesian_filter.h"
#include "engine/message_info.h"
#include "lists/sender_list.h"
#include "platform/code_page.h"
#include "settings/settings_store.h"
#include "tests/fakes/fake_platform.h"

namespace varnox {
namespace {

struct ModelWord {
  std::int32_t spam = 0;
  std::int32_t clean = 0;
  std::int32_t lastSeen = 0;
};

// What the system must hold, kept by plain rules.
struct Model {
  std::map<std::string, ModelWord> words;
  std::int32_t spamMessages = 0;
  std::int32_t cleanMessages = 0;
  std::int32_t lastAgingTime = 0;
  std::vector<std::string> blackList;

  void Learn(const std::map<std::string, int>& occurrences, bool spam, std::int32_t now) {
    for (const auto& [word, count] : occurrences) {
      ModelWord& w = words[word];
      (spam ? w.spam : w.clean) += count;
      w.lastSeen = now;
    }
    ++(spam ? spamMessages : cleanMessages);
  }

  // A save that may age (Empty, a stop): aging when two days passed since
  // the last (or the start).
  // The number of words aged.
  int Save(std::int32_t now) {
    if (static_cast<std::int64_t>(now) - lastAgingTime <= 172800)
      return 0;
    int aged = 0;
    for (auto it = words.begin(); it != words.end();) {
      ModelWord& w = it->second;
      if (static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(w.lastSeen) > 864000u) {
        ++aged;
        w.spam = w.spam > 0 ? w.spam - 1 : 0;
        w.clean = w.clean > 0 ? w.clean - 1 : 0;
        if (w.spam == 0 && w.clean == 0) {
          it = words.erase(it);
          continue;
        }
      }
      ++it;
    }
    lastAgingTime = now;
    return aged;
  }
};

class DayModelTest : public ::testing::Test {
 protected:
  DayModelTest() {
    fakes.registry.CreateKey();
    fakes.registry.SetString(setting::kWordFilePath, "words.db");
    fakes.registry.SetString(setting::kIgnoreFilePath, "ignore.txt");
    fakes.registry.SetString(setting::kBlackListPath, "black.xml");
    fakes.files.files["ignore.txt"] = "the\nand\nwith\n";
    fakes.files.files["black.xml"] =
        "<?xml version=\"1.0\" encoding=\"windows-1252\" ?>\n<List />\n";
    // A vocabulary used unevenly, so that rare words go unseen for days.
    std::mt19937 make(99);
    for (int i = 0; i < 400; ++i) {
      std::string word;
      const int length = 4 + static_cast<int>(make() % 8);
      for (int k = 0; k < length; ++k)
        word.push_back(static_cast<char>('a' + make() % 26));
      vocabulary.push_back(word);
    }
    vocabulary.push_back("the");  // ignored: never counted
    Start();
  }

  void Start() {
    filter = std::make_unique<BayesianFilter>(fakes);
    filter->Initialize();
    model.lastAgingTime = fakes.clock.Now();
    list = std::make_unique<SenderList>(ListKind::Black, fakes);
    ASSERT_TRUE(list->Load());
  }

  // The number of words aged by the save at the stop.
  int Restart() {
    filter.reset();  // saves the database and the ignore file
    const int aged = model.Save(fakes.clock.Now());
    Start();
    return aged;
  }

  // A message of 5 to 40 words; the map of what it counts.
  std::string Message(std::map<std::string, int>* counted) {
    std::string text;
    const int words = 5 + static_cast<int>(random() % 36);
    for (int i = 0; i < words; ++i) {
      // Squared: low indexes far more often than high ones.
      const double u = std::uniform_real_distribution<double>(0, 1)(random);
      const std::string& word = vocabulary[static_cast<std::size_t>(u * u * vocabulary.size())];
      text += word + (i % 7 == 6 ? ".\n" : " ");
      if (word != "the")
        ++(*counted)[word];
    }
    return text;
  }

  void ExpectMatchesModel(const char* after) {
    const BayesianCore& core = filter->core();
    ASSERT_EQ(core.spamMessages(), model.spamMessages) << after;
    ASSERT_EQ(core.cleanMessages(), model.cleanMessages) << after;
    ASSERT_EQ(core.wordCount(), model.words.size()) << after;
    for (const auto& [word, expected] : model.words) {
      const WordEntry* entry = core.words().Find(word);
      ASSERT_NE(entry, nullptr) << word << " after " << after;
      ASSERT_EQ(entry->spamCount, expected.spam) << word << " after " << after;
      ASSERT_EQ(entry->cleanCount, expected.clean) << word << " after " << after;
      ASSERT_EQ(entry->lastSeen, expected.lastSeen) << word << " after " << after;
      ASSERT_GE(entry->probability, 0.0001f);
      ASSERT_LE(entry->probability, 1.0f);
    }
    ASSERT_EQ(list->addresses(), model.blackList) << after;
    ASSERT_EQ(filter->core().ignoreList().size(), 3u) << after;
  }

  testing::FakePlatform fakes;
  std::mt19937 random{2024};
  std::vector<std::string> vocabulary;
  Model model;
  std::unique_ptr<BayesianFilter> filter;
  std::unique_ptr<SenderList> list;
};

TEST_F(DayModelTest, DatabaseListsAndCountsFollowTheModel) {
  const char* wanted = std::getenv("VARNOX_MODEL_DAYS");
  const int days = wanted != nullptr && std::atoi(wanted) > 0 ? std::atoi(wanted) : 40;
  const std::int32_t start = fakes.clock.Now();
  const std::int32_t end = start + days * 86400;
  std::map<std::string, int> counts = {{"learn", 0}, {"empty", 0}, {"restart", 0}, {"list", 0},
                                       {"save", 0},  {"aged", 0},  {"judge", 0}};
  while (fakes.clock.Now() < end) {
    // Mostly minutes apart, sometimes a quiet day or two.
    fakes.clock.Advance(random() % 20 == 0 ? static_cast<std::int32_t>(random() % 200000)
                                           : static_cast<std::int32_t>(random() % 5400));
    const unsigned roll = random() % 1000;
    if (roll < 700) {
      std::map<std::string, int> counted;
      const std::string body = Message(&counted);
      const bool spam = random() % 3 == 0;
      ASSERT_EQ(filter->Learn(body, "", spam ? 1 : 0), 1);
      model.Learn(counted, spam, fakes.clock.Now());
      ++counts["learn"];
      ExpectMatchesModel("learning");
    } else if (roll < 850) {
      const std::string address = "sender" + std::to_string(random() % 12) + "@example.com";
      const bool present = std::find(model.blackList.begin(), model.blackList.end(), address) !=
                           model.blackList.end();
      if (present) {
        ASSERT_TRUE(list->RemoveAddress(address));
        std::erase(model.blackList, address);
      } else {
        ASSERT_TRUE(list->AddAddress(address));
        model.blackList.push_back(address);
      }
      ++counts["list"];
      ExpectMatchesModel("a list edit");
    } else if (roll < 950) {
      ASSERT_EQ(filter->Save(), 1);
      ++counts["save"];
      ExpectMatchesModel("a save");
    } else if (roll < 980) {
      counts["aged"] += Restart();
      ++counts["restart"];
      ExpectMatchesModel("a restart");
    } else if (roll < 984) {
      ASSERT_EQ(filter->Empty(), 1);
      model.words.clear();
      counts["aged"] += model.Save(fakes.clock.Now());
      ++counts["empty"];
      ExpectMatchesModel("emptying");
    } else {
      // Judging teaches nothing and changes nothing.
      std::map<std::string, int> counted;
      MessageInfo info;
      filter->Classify(Message(&counted), info);
      ++counts["judge"];
      ExpectMatchesModel("judging");
    }
  }
  counts["aged"] += Restart();
  ExpectMatchesModel("the last restart");
  std::cout << "[ model    ] " << days << " days:";
  for (const auto& [what, count] : counts)
    std::cout << " " << what << " " << count;
  std::cout << "\n";
  EXPECT_GT(counts["aged"], 0) << "aging never touched a word: the walk proved nothing of it";
  EXPECT_GT(counts["restart"], 0);
  EXPECT_GT(counts["empty"], 0);
}

}  // namespace
}  // namespace varnox
