#include "bench/mail_text.h"

#include <algorithm>
#include <cstdio>

namespace varnox::bench {
namespace {

constexpr char kConsonants[] = "bcdfghjklmnprstvwxyz";  // 20
constexpr char kVowels[] = "aeiou";                     // 5
const char* const kEndings[] = {"", "s", "ed", "ing", "er", "ly", "tion", "al"};

}  // namespace

std::string VocabularyWord(std::uint32_t index) {
  // Syllables are consonant + vowel, so the syllable string of a number in
  // base 100 reads back unambiguously; the ending is picked by the number
  // too and begins where no syllable can.
  std::string word;
  const std::uint32_t ending = index % 8;
  std::uint32_t rest = index / 8;
  do {
    const std::uint32_t syllable = rest % 100;
    word.push_back(kConsonants[syllable / 5]);
    word.push_back(kVowels[syllable % 5]);
    rest /= 100;
  } while (rest != 0);
  word += kEndings[ending];
  return word.substr(0, 15);
}

MailText::MailText(std::uint32_t vocabulary, std::uint32_t seed) : random_(seed) {
  cumulative_.reserve(vocabulary);
  double total = 0.0;
  for (std::uint32_t rank = 1; rank <= vocabulary; ++rank) {
    total += 1.0 / rank;
    cumulative_.push_back(total);
  }
}

std::uint32_t MailText::WordIndex() {
  std::uniform_real_distribution<double> pick(0.0, cumulative_.back());
  const auto it = std::lower_bound(cumulative_.begin(), cumulative_.end(), pick(random_));
  return static_cast<std::uint32_t>(it - cumulative_.begin());
}

void MailText::AppendToken(std::string& text, bool sentence_start) {
  char buffer[64];
  const std::uint32_t kind = Next() % 100;
  if (kind < 88) {
    std::string word = VocabularyWord(WordIndex());
    if (sentence_start || Next() % 20 == 0)
      word[0] = static_cast<char>(word[0] - 'a' + 'A');
    if (Next() % 200 == 0)
      std::transform(word.begin(), word.end(), word.begin(),
                     [](char c) { return static_cast<char>(c >= 'a' ? c - 32 : c); });
    text += word;
    return;
  }
  switch (kind) {
    case 88:
    case 89:
      std::snprintf(buffer, sizeof buffer, "$%u.%02u", Next() % 500, Next() % 100);
      break;
    case 90:
    case 91:
      std::snprintf(buffer, sizeof buffer, "%u", Next() % 10000);
      break;
    case 92:
      std::snprintf(buffer, sizeof buffer, "%u.%u%%", Next() % 100, Next() % 10);
      break;
    case 93:
      std::snprintf(buffer, sizeof buffer, "%u/%u/20%02u", 1 + Next() % 12, 1 + Next() % 28,
                    Next() % 30);
      break;
    case 94:
      std::snprintf(buffer, sizeof buffer, "%u:%02u", Next() % 24, Next() % 60);
      break;
    case 95:
      std::snprintf(buffer, sizeof buffer, "%s@%s.com", VocabularyWord(WordIndex()).c_str(),
                    VocabularyWord(WordIndex()).c_str());
      break;
    case 96:
      std::snprintf(buffer, sizeof buffer, "http://www.%s.com/%s?id=%u",
                    VocabularyWord(WordIndex()).c_str(), VocabularyWord(WordIndex()).c_str(),
                    Next() % 1000);
      break;
    case 97:
      std::snprintf(buffer, sizeof buffer, "<%s>", Next() % 2 == 0 ? "b" : "/p");
      break;
    case 98:
      std::snprintf(buffer, sizeof buffer, "\"%s\"", VocabularyWord(WordIndex()).c_str());
      break;
    default:
      std::snprintf(buffer, sizeof buffer, "%s's", VocabularyWord(WordIndex()).c_str());
      break;
  }
  text += buffer;
}

std::string MailText::Body(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 128);
  std::size_t line_start = 0;
  bool sentence_start = true;
  while (text.size() < bytes) {
    AppendToken(text, sentence_start);
    sentence_start = false;
    const std::uint32_t mark = Next() % 100;
    if (mark < 8) {
      text += ',';
    } else if (mark < 14) {
      text += (mark < 12 ? "." : (mark == 12 ? "!" : "?"));
      sentence_start = true;
    }
    if (text.size() - line_start > 72) {
      text += "\r\n";
      line_start = text.size();
      if (Next() % 6 == 0)
        text += "\r\n";
    } else {
      text += ' ';
    }
  }
  return text;
}

std::string MailText::Subject() {
  std::string subject;
  const int words = 3 + static_cast<int>(Next() % 6);
  for (int i = 0; i < words; ++i) {
    if (i != 0)
      subject += ' ';
    AppendToken(subject, i == 0);
  }
  return subject;
}

}  // namespace varnox::bench
