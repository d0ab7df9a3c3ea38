// Whole numbers from text: decimal only, 32 bits, nothing tolerated after the
// digits. Leading blanks (' ') are skipped; tabs, trailing blanks, hexadecimal
// prefixes and exponents are not numbers.
#include "platform/integer_text.h"

#include <cstdint>

#include "platform/cp1252.h"
#include "platform/error.h"

namespace tq {

std::optional<int32_t> TryParseInt32(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  // Accumulate the magnitude in 64 bits; stop as soon as it exceeds 2^31,
  // which no valid value needs, so that long digit runs cannot overflow.
  constexpr int64_t kLimit = int64_t{1} << 31;
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    char ch = text[i];
    if (ch < '0' || ch > '9') return std::nullopt;
    magnitude = magnitude * 10 + (ch - '0');
    if (magnitude > kLimit) return std::nullopt;
  }
  int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

int32_t StrToInt(std::string_view text) {
  std::optional<int32_t> value = TryParseInt32(text);
  if (!value) throw ConversionError(NotAnIntegerMessage(text));
  return *value;
}

std::string NotAnIntegerMessage(std::string_view text) {
  return "'" + AnsiToUtf8(text) + "' no es un valor entero válido";
}

}  // namespace tq
