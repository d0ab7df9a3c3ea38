#include "platform/integer_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/error.h"

namespace tq {
namespace {

TEST(IntegerTextTest, ParsesDecimalThirtyTwoBitText) {
  struct Case {
    std::string text;
    std::optional<int32_t> value;
  };
  const Case cases[] = {
      {"0", 0},
      {"42", 42},
      {"-120", -120},
      {"+7", 7},
      {"  42", 42},
      {"007", 7},
      {"-0", 0},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999", std::nullopt},
      {"123456789012345678901234567890", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"-", std::nullopt},
      {"+-1", std::nullopt},
      {"- 1", std::nullopt},
      {"1.5", std::nullopt},
      {"90 min", std::nullopt},
      {"42 ", std::nullopt},
      {"0x1A", std::nullopt},
      {"$1A", std::nullopt},
      {"1e3", std::nullopt},
      {"\t5", std::nullopt},
      {"\xB9", std::nullopt},  // superscript one is no digit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("\"" + c.text + "\"");
    EXPECT_EQ(TryParseInt32(c.text), c.value);
    if (c.value) {
      EXPECT_EQ(StrToInt(c.text), *c.value);
    } else {
      EXPECT_THROW(StrToInt(c.text), ConversionError);
    }
  }
}

TEST(IntegerTextTest, ErrorNamesTheTextInUtf8) {
  try {
    StrToInt("90 a\xF1os");
    FAIL() << "no error raised";
  } catch (const ConversionError& e) {
    EXPECT_STREQ(e.what(), "'90 años' no es un valor entero válido");
  }
  EXPECT_EQ(NotAnIntegerMessage(""), "'' no es un valor entero válido");
}

}  // namespace
}  // namespace tq
