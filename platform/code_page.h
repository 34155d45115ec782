// Character classes of the system's ANSI code page, 1252 on every host.
//
// The answers match, byte for byte, what Windows gives for
// IsCharAlphaNumericA, IsCharAlphaA, CharLowerA and CharUpperA with code page
// 1252; a test under Wine checks all 256 bytes. The functions are pure table
// lookups and safe to call from any thread.
#ifndef VARNOX_PLATFORM_CODE_PAGE_H_
#define VARNOX_PLATFORM_CODE_PAGE_H_

#include <string>
#include <string_view>

namespace varnox::code_page {

// Letters (accented ones included) and digits, including the superscript
// digits B2, B3 and B9.
bool IsAlphaNumeric(unsigned char byte);
// Letters only. An alphanumeric byte that is not alphabetic counts as a digit.
bool IsAlphabetic(unsigned char byte);
unsigned char ToLower(unsigned char byte);
unsigned char ToUpper(unsigned char byte);

// Lower-cases / upper-cases every byte of `text` in place.
void LowerInPlace(std::string& text);
void UpperInPlace(std::string& text);

// Whole-string equality ignoring letter case in code page 1252: the empty
// text equals only the empty text.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace varnox::code_page

#endif  // VARNOX_PLATFORM_CODE_PAGE_H_
