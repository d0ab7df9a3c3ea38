// Text conversion between the document's Unicode and the tables' 8-bit text.
//
// In memory the XML service speaks UTF-8; the working tables and every value
// the runs handle are code page 1252 ("ANSI") bytes held in std::string.
// Conversion is exact and needs no locale: a character that code page 1252
// cannot hold becomes '?', and so does a malformed UTF-8 sequence. The five
// bytes that code page 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// map to and from the C1 controls of the same value, as Windows does.
#pragma once

#include <string>
#include <string_view>

namespace tq {

std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);

// Removes every character of code 0 to 32 at both ends; what lies between the
// first and the last kept character stays. Works on UTF-8 and on code page
// 1252 alike, since both keep codes below 128 as ASCII.
std::string_view TrimControl(std::string_view text);

// The value text of a document value: trimmed, then converted to 8-bit text.
std::string ValueText(std::string_view utf8_content);

// Upper-case fold of code page 1252 text (ASCII letters, accented Latin-1
// letters, Š Œ Ž Ÿ), for comparisons that ignore letter case.
std::string AnsiUpperCase(std::string_view ansi);
bool AnsiEqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace tq
