// Helpers shared by the engine tests.
#ifndef VARNOX_TESTS_ENGINE_ENGINE_TEST_SUPPORT_H_
#define VARNOX_TESTS_ENGINE_ENGINE_TEST_SUPPORT_H_

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/tokenizer.h"
#include "engine/word_database_format.h"
#include "engine/word_table.h"

namespace varnox::testing {

// What a text-mode stream of the host ends its lines with.
#ifdef _WIN32
inline constexpr char kHostLineEnd[] = "\r\n";
#else
inline constexpr char kHostLineEnd[] = "\n";
#endif

// Transport headers of a spam and of a good message, for the mail tokens.
inline constexpr char kSpamHeaders[] =
    "Received: from relay.cheap-pills.example (relay.cheap-pills.example [203.0.113.7])\r\n"
    "\tby mx.home.example\r\n"
    "From: \"Best Offer\" <offers@cheap-pills.example>\r\n"
    "Content-Type: text/html; charset=\"windows-1252\"\r\n"
    "X-Mailer: BulkBlaster 3\r\n";
inline constexpr char kGoodHeaders[] =
    "Received: from mail.friends.example (mail.friends.example [198.51.100.4])\r\n"
    "\tby mx.home.example\r\n"
    "From: Anna <anna@friends.example>\r\n"
    "Content-Type: text/plain; charset=us-ascii\r\n";

// The bytes of a database file holding `text`, and back.
inline std::string Masked(std::string_view text) {
  std::string bytes(text);
  word_database::MaskBytes(bytes.data(), bytes.size());
  return bytes;
}
inline std::string Unmasked(std::string_view bytes) {
  return Masked(bytes);
}

// A message word map: each word with its number of occurrences.
inline WordTable MessageWords(const std::vector<std::pair<std::string, int>>& words) {
  WordTable map;
  for (const auto& [word, count] : words)
    map.Insert(word, WordEntry{count, count, 0.5f, 0});
  return map;
}

// word -> occurrences, in word order, for comparing word maps.
inline std::vector<std::pair<std::string, int>> Occurrences(const WordTable& map) {
  std::vector<std::pair<std::string, int>> out;
  for (const auto [word, entry] : map)
    out.emplace_back(std::string(word), entry.spamCount);
  return out;
}

// The words of a table, in its (byte-wise) order.
inline std::vector<std::string> WordsOf(const WordTable& table) {
  std::vector<std::string> words;
  for (const auto [word, entry] : table)
    words.emplace_back(word);
  return words;
}

inline std::vector<std::pair<std::string, int>> Occurrences(const WordCounts& counts) {
  WordTable map;
  counts.AddTo(map);
  return Occurrences(map);
}

inline std::string TestDataPath(const std::string& name) {
  const char* root = std::getenv("VARNOX_TEST_DATA");
  return std::string(root != nullptr ? root : "tests/data") + "/engine/" + name;
}

inline std::string ReadTestFile(const std::string& name) {
  std::ifstream in(TestDataPath(name), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Compares `actual` with the expected file; with VARNOX_UPDATE_GOLDEN=1 in
// the environment, rewrites the expected file instead (review the diff).
inline bool MatchesGolden(const std::string& name, const std::string& actual) {
  if (const char* update = std::getenv("VARNOX_UPDATE_GOLDEN");
      update != nullptr && std::string_view(update) == "1") {
    std::ofstream(TestDataPath(name), std::ios::binary) << actual;
    return true;
  }
  return ReadTestFile(name) == actual;
}

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_ENGINE_ENGINE_TEST_SUPPORT_H_
