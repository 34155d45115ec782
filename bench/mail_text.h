// Made-up but mail-like text for the benchmarks: a large vocabulary of
// pronounceable words used with a Zipf distribution, sentences with
// capitals and punctuation, prices, decimals, dates, times, addresses, links
// and a little markup, wrapped in CR LF lines. Deterministic for a seed.
#ifndef VARNOX_BENCH_MAIL_TEXT_H_
#define VARNOX_BENCH_MAIL_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace varnox::bench {

// The `index`-th word of the vocabulary: distinct for distinct indexes,
// 2 to 15 bytes, lower case.
std::string VocabularyWord(std::uint32_t index);

class MailText {
 public:
  // Words are drawn from the first `vocabulary` words, the common ones far
  // more often (Zipf, exponent 1).
  MailText(std::uint32_t vocabulary, std::uint32_t seed);

  // A message body of about `bytes` bytes.
  std::string Body(std::size_t bytes);
  std::string Subject();

 private:
  unsigned Next() { return static_cast<unsigned>(random_()); }
  std::uint32_t WordIndex();
  void AppendToken(std::string& text, bool sentence_start);

  std::mt19937 random_;
  std::vector<double> cumulative_;  // Zipf weights of the word ranks
};

}  // namespace varnox::bench

#endif  // VARNOX_BENCH_MAIL_TEXT_H_
