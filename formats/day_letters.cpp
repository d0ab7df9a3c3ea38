#include "formats/day_letters.h"

namespace tq {
namespace {
constexpr std::string_view kLetters = "LMXJVSD";  // days 1 to 7
}

char DayDigitOf(char letter) {
  const auto at = kLetters.find(letter);
  return at == std::string_view::npos ? letter : static_cast<char>('1' + at);
}

std::optional<char> DayLetterOf(std::string_view day_text) {
  if (day_text.size() != 1 || day_text[0] < '1' || day_text[0] > '7') {
    return std::nullopt;
  }
  return kLetters[static_cast<std::size_t>(day_text[0] - '1')];
}

}  // namespace tq
