// Day letters: "L" "M" "X" "J" "V" "S" "D" stand for the days "1" to "7".
#pragma once

#include <optional>
#include <string_view>

namespace tq {

// The day digit of a slot name's first character: the digit for one of the
// seven letters (upper case only), the character itself for anything else.
char DayDigitOf(char letter);

// The letter of the day text "1" to "7"; nullopt for any other text
// ("0", "8", "01", "").
std::optional<char> DayLetterOf(std::string_view day_text);

}  // namespace tq
