// Reading whole numbers from text, as the runs and the engine need it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tq {

// Decimal text: optional leading blanks, an optional sign, one or more digits,
// nothing after; the value must fit in 32 signed bits.
std::optional<int32_t> TryParseInt32(std::string_view text);

// As TryParseInt32, but a text that does not fit raises ConversionError
// "'<text>' no es un valor entero válido". `text` is code page 1252; the
// message is UTF-8.
int32_t StrToInt(std::string_view text);

// The message above for `text` (code page 1252 in, UTF-8 out).
std::string NotAnIntegerMessage(std::string_view text);

}  // namespace tq
