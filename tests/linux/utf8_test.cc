#include "linux/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace varnox {
namespace {

TEST(Utf8Test, EveryCodePageByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b)
    all.push_back(static_cast<char>(b));
  const std::string converted = utf8::FromCodePage1252(all);
  EXPECT_TRUE(utf8::IsValid(converted));
  EXPECT_EQ(utf8::ToCodePage1252(converted), all);
}

TEST(Utf8Test, ConvertsBothWays) {
  struct Case {
    const char* what;
    std::string cp1252;
    std::string utf8;
  };
  const Case cases[] = {
      {"ascii", "Spam Filter", "Spam Filter"},
      {"euro sign", "\x80", "\xE2\x82\xAC"},
      {"e acute", "caf\xE9", "caf\xC3\xA9"},
      {"trade mark and s caron", "\x99\x9A", "\xE2\x84\xA2\xC5\xA1"},
      {"y diaeresis", "\xFF", "\xC3\xBF"},
      {"unassigned byte keeps its C1 control", "\x81", "\xC2\x81"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8::FromCodePage1252(c.cp1252), c.utf8) << c.what;
    EXPECT_EQ(utf8::ToCodePage1252(c.utf8), c.cp1252) << c.what;
  }
}

TEST(Utf8Test, WhatCodePage1252LacksBecomesAQuestionMark) {
  struct Case {
    const char* what;
    std::string utf8;
    std::string cp1252;
    bool valid;
  };
  const Case cases[] = {
      {"l with stroke",
       "\xC5\x82"
       "odz",
       "?odz", true},
      {"cyrillic", "\xD0\xB4\xD0\xB0", "??", true},
      {"emoji is one character",
       "a\xF0\x9F\x98\x80"
       "b",
       "a?b", true},
      {"lone continuation byte",
       "a\x80"
       "b",
       "a?b", false},
      {"latin-1 byte alone", "caf\xE9", "caf?", false},
      {"truncated at the end", "x\xE2\x82", "x??", false},
      {"overlong NUL", "\xC0\x80", "??", false},
      {"surrogate", "\xED\xA0\x80", "???", false},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", "????", false},
      {"invalid lead byte", "\xFF", "?", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8::ToCodePage1252(c.utf8), c.cp1252) << c.what;
    EXPECT_EQ(utf8::IsValid(c.utf8), c.valid) << c.what;
  }
}

}  // namespace
}  // namespace varnox
