#include "formats/day_letters.h"

#include <gtest/gtest.h>

namespace tq {
namespace {

TEST(DayLetters, LetterAndDigitAreInverse) {
  constexpr std::string_view kLetters = "LMXJVSD";
  for (int day = 1; day <= 7; ++day) {
    const char letter = kLetters[day - 1];
    const std::string digit(1, static_cast<char>('0' + day));
    EXPECT_EQ(DayDigitOf(letter), digit[0]);
    EXPECT_EQ(DayLetterOf(digit), letter);
  }
}

TEST(DayLetters, OtherCharactersStandForThemselves) {
  EXPECT_EQ(DayDigitOf('l'), 'l');
  EXPECT_EQ(DayDigitOf('Z'), 'Z');
  EXPECT_EQ(DayDigitOf('1'), '1');
}

TEST(DayLetters, OnlyTheSevenDayTextsHaveALetter) {
  for (std::string_view text : {"0", "8", "01", "", " 1", "1 ", "L"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(DayLetterOf(text).has_value());
  }
}

}  // namespace
}  // namespace tq
