// The portable code page 1252 table against the Windows character functions,
// byte for byte.

#include <windows.h>

#include <gtest/gtest.h>

#include "platform/code_page.h"

namespace varnox {
namespace {

unsigned char WindowsLower(unsigned char byte) {
  char buffer[1] = {static_cast<char>(byte)};
  CharLowerBuffA(buffer, 1);
  return static_cast<unsigned char>(buffer[0]);
}

unsigned char WindowsUpper(unsigned char byte) {
  char buffer[1] = {static_cast<char>(byte)};
  CharUpperBuffA(buffer, 1);
  return static_cast<unsigned char>(buffer[0]);
}

TEST(CodePageWineTest, RunsUnderCodePage1252) {
  ASSERT_EQ(GetACP(), 1252u) << "the comparison below is only meaningful with ACP 1252";
}

TEST(CodePageWineTest, ClassesMatchEveryByte) {
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    const char c = static_cast<char>(byte);
    EXPECT_EQ(code_page::IsAlphaNumeric(byte), IsCharAlphaNumericA(c) != FALSE) << "byte " << b;
    EXPECT_EQ(code_page::IsAlphabetic(byte), IsCharAlphaA(c) != FALSE) << "byte " << b;
  }
}

TEST(CodePageWineTest, CaseMappingsMatchEveryByte) {
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<unsigned char>(b);
    EXPECT_EQ(code_page::ToLower(byte), WindowsLower(byte)) << "byte " << b;
    EXPECT_EQ(code_page::ToUpper(byte), WindowsUpper(byte)) << "byte " << b;
  }
  // The single-character form of CharLowerA agrees with the buffer form.
  for (int b = 1; b < 256; ++b) {
    auto mapped = reinterpret_cast<ULONG_PTR>(CharLowerA(reinterpret_cast<LPSTR>(b)));
    EXPECT_EQ(code_page::ToLower(static_cast<unsigned char>(b)), mapped & 0xFF) << "byte " << b;
  }
}

}  // namespace
}  // namespace varnox
