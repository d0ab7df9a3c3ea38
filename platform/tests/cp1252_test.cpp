#include "platform/cp1252.h"

#include <gtest/gtest.h>

#include <string>

namespace tq {
namespace {

TEST(Cp1252Test, EveryByteRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    SCOPED_TRACE(b);
    std::string ansi(1, static_cast<char>(b));
    std::string utf8 = AnsiToUtf8(ansi);
    EXPECT_EQ(Utf8ToAnsi(utf8), ansi);
    // Only ASCII stays a single byte; every other byte is a real character.
    EXPECT_EQ(utf8.size() == 1, b < 0x80);
  }
}

TEST(Cp1252Test, ConvertsKnownCharacters) {
  struct Case {
    const char* name;
    std::string ansi;
    std::string utf8;
  };
  const Case cases[] = {
      {"n tilde", "\xF1", "ñ"},
      {"capital N tilde", "\xD1", "Ñ"},
      {"a acute", "\xE1", "á"},
      {"euro", "\x80", "€"},
      {"S caron", "\x8A", "Š"},
      {"y diaeresis capital", "\x9F", "Ÿ"},
      {"right quote", "\x92", "\u2019"},
      {"no-break space", "\xA0", "\u00A0"},
      {"undefined 0x81 is C1", "\x81", "\u0081"},
      {"undefined 0x9D is C1", "\x9D", "\u009D"},
      {"mixed text", "Espa\xF1ol 3\xBA \x80", "Español 3º €"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AnsiToUtf8(c.ansi), c.utf8);
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
  }
}

TEST(Cp1252Test, UnmappableOrMalformedBecomesQuestionMark) {
  struct Case {
    const char* name;
    std::string utf8;
    std::string ansi;
  };
  const Case cases[] = {
      {"CJK", "a中b", "a?b"},
      {"emoji (4 bytes)", "x\xF0\x9F\x98\x80y", "x?y"},
      {"C1 without a character in the code page", "\u0080", "?"},
      {"Latin Extended outside the code page", "\u0100", "?"},
      {"lone continuation byte", "a\x80" "b", "a?b"},
      {"two stray continuation bytes", "\xBF\xBF", "??"},
      {"truncated two-byte sequence at end", "a\xC3", "a?"},
      {"truncated sequence before ASCII", "\xE2\x82" "A", "?A"},
      {"overlong slash", "\xC0\xAF", "??"},
      {"overlong three-byte", "\xE0\x80\x80", "???"},
      {"surrogate", "\xED\xA0\x80", "???"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "????"},
      {"invalid lead byte", "\xFF", "?"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8ToAnsi(c.utf8), c.ansi);
  }
}

TEST(Cp1252Test, TrimControlRemovesCodesUpTo32AtBothEnds) {
  struct Case {
    const char* name;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"blanks", "  abc  ", "abc"},
      {"tabs and line breaks", "\t\r\nabc\r\n\t", "abc"},
      {"NUL and other controls", std::string("\0\x01x\x1F\0", 5), "x"},
      {"inner blanks kept", " a b\tc ", "a b\tc"},
      {"all blanks", " \t\r\n ", ""},
      {"empty", "", ""},
      {"DEL is not trimmed", "\x7F" "a\x7F", "\x7F" "a\x7F"},
      {"no-break space is not trimmed", "\xA0" "a", "\xA0" "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TrimControl(c.in), c.out);
  }
}

TEST(Cp1252Test, ValueTextTrimsThenConverts) {
  EXPECT_EQ(ValueText("\n  Matemáticas \t"), "Matem\xE1ticas");
  EXPECT_EQ(ValueText(" \r\n "), "");
}

TEST(Cp1252Test, UpperCaseFoldsAnsiLetters) {
  struct Case {
    const char* name;
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"ascii", "ab-Zz09", "AB-ZZ09"},
      {"n tilde", "\xF1", "\xD1"},
      {"a acute", "\xE1", "\xC1"},
      {"thorn", "\xFE", "\xDE"},
      {"division sign unchanged", "\xF7", "\xF7"},
      {"sharp s unchanged", "\xDF", "\xDF"},
      {"micro sign unchanged", "\xB5", "\xB5"},
      {"s caron", "\x9A", "\x8A"},
      {"oe ligature", "\x9C", "\x8C"},
      {"z caron", "\x9E", "\x8E"},
      {"y diaeresis", "\xFF", "\x9F"},
      {"upper case unchanged", "\xC1\xD1\x8A", "\xC1\xD1\x8A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AnsiUpperCase(c.in), c.out);
  }
}

TEST(Cp1252Test, EqualsIgnoreCaseComparesFoldedForms) {
  EXPECT_TRUE(AnsiEqualsIgnoreCase("ab", "AB"));
  EXPECT_TRUE(AnsiEqualsIgnoreCase("\xF1" "and\xFA", "\xD1" "AND\xDA"));
  EXPECT_TRUE(AnsiEqualsIgnoreCase("", ""));
  EXPECT_FALSE(AnsiEqualsIgnoreCase("ab", "abc"));
  EXPECT_FALSE(AnsiEqualsIgnoreCase("a", "b"));
  EXPECT_FALSE(AnsiEqualsIgnoreCase("\xDF", "SS"));
  EXPECT_FALSE(AnsiEqualsIgnoreCase("\xF7", "\xD7"));  // ÷ is not ×'s small form
}

}  // namespace
}  // namespace tq
