// Helpers for 8-bit text: trimming of blanks and control bytes, and case mapping of ASCII letters only
// (bytes of 128 and above, such as UTF-8 sequences, stay as they are).
#pragma once

#include <string>
#include <string_view>

// Text without the bytes up to 32 (blanks and control characters) at either end.
std::string_view TrimText(std::string_view text);
std::string AsciiUpperCase(std::string text);
std::string AsciiLowerCase(std::string text);
// Equal when ASCII letter case is ignored.
bool SameTextAscii(std::string_view a, std::string_view b);
