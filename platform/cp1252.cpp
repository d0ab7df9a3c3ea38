// Code page 1252 <-> UTF-8, table driven and locale free.
//
// Bytes 0x00-0x7F are ASCII and 0xA0-0xFF are U+00A0-U+00FF; only the row
// 0x80-0x9F needs a table. Of its 32 bytes, 27 are typographic characters and
// the five undefined ones stand for the C1 control of the same value.
#include "platform/cp1252.h"

#include <array>
#include <cstdint>

namespace tq {
namespace {

// Unicode code point of each byte 0x80-0x9F.
constexpr std::array<char32_t, 32> kHighRow = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

constexpr char kUnmappable = '?';

// UTF-8 encoding of every byte, at most 3 bytes long (U+20AC and the other
// row 0x80-0x9F characters are below U+FFFF). length 0 never occurs.
struct Utf8Unit {
  std::array<char, 3> bytes;
  uint8_t length;
};

constexpr Utf8Unit EncodeUnit(char32_t c) {
  Utf8Unit u{};
  if (c < 0x80) {
    u.bytes[0] = static_cast<char>(c);
    u.length = 1;
  } else if (c < 0x800) {
    u.bytes[0] = static_cast<char>(0xC0 | (c >> 6));
    u.bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
    u.length = 2;
  } else {
    u.bytes[0] = static_cast<char>(0xE0 | (c >> 12));
    u.bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    u.bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
    u.length = 3;
  }
  return u;
}

constexpr char32_t CodePointOf(uint8_t byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighRow[byte - 0x80] : byte;
}

constexpr std::array<Utf8Unit, 256> MakeToUtf8() {
  std::array<Utf8Unit, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = EncodeUnit(CodePointOf(static_cast<uint8_t>(b)));
  return table;
}
constexpr std::array<Utf8Unit, 256> kToUtf8 = MakeToUtf8();

// The byte for a code point at or above U+0080, or kUnmappable.
char AnsiOf(char32_t c) {
  if (c >= 0xA0 && c <= 0xFF) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i) {
    if (kHighRow[i] == c) return static_cast<char>(0x80 + i);
  }
  return kUnmappable;
}

constexpr std::array<unsigned char, 256> MakeUpper() {
  std::array<unsigned char, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = static_cast<unsigned char>(b);
  for (int b = 'a'; b <= 'z'; ++b) table[b] = static_cast<unsigned char>(b - 0x20);
  // à-þ fold onto À-Þ; ÷ (0xF7) is no letter. ß (0xDF) has no upper case
  // in the code page and stays.
  for (int b = 0xE0; b <= 0xFE; ++b) {
    if (b != 0xF7) table[b] = static_cast<unsigned char>(b - 0x20);
  }
  table[0x9A] = 0x8A;  // š -> Š
  table[0x9C] = 0x8C;  // œ -> Œ
  table[0x9E] = 0x8E;  // ž -> Ž
  table[0xFF] = 0x9F;  // ÿ -> Ÿ
  return table;
}
constexpr std::array<unsigned char, 256> kUpper = MakeUpper();

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* end = p + utf8.size();
  while (p < end) {
    unsigned char b0 = *p;
    if (b0 < 0x80) {
      out.push_back(static_cast<char>(b0));
      ++p;
      continue;
    }
    // Each maximal ill-formed subpart (a stray continuation byte, an invalid
    // lead byte, a lead byte followed by too few or out-of-range continuation
    // bytes) becomes one '?'; the first byte that cannot continue it starts
    // afresh. The ranges of the second byte exclude overlong forms,
    // surrogates and code points above U+10FFFF.
    int need;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t c;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      need = 1;
      c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      need = 2;
      c = b0 & 0x0F;
      if (b0 == 0xE0) lo = 0xA0;
      if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      need = 3;
      c = b0 & 0x07;
      if (b0 == 0xF0) lo = 0x90;
      if (b0 == 0xF4) hi = 0x8F;
    } else {
      out.push_back(kUnmappable);
      ++p;
      continue;
    }
    ++p;
    bool complete = true;
    for (int i = 0; i < need; ++i) {
      unsigned char b = p < end ? *p : 0;
      bool ok = p < end && (i == 0 ? (b >= lo && b <= hi) : IsContinuation(b));
      if (!ok) {
        complete = false;
        break;
      }
      c = (c << 6) | (b & 0x3F);
      ++p;
    }
    out.push_back(complete ? AnsiOf(c) : kUnmappable);
  }
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 8);
  for (char ch : ansi) {
    const Utf8Unit& u = kToUtf8[static_cast<unsigned char>(ch)];
    out.append(u.bytes.data(), u.length);
  }
  return out;
}

std::string_view TrimControl(std::string_view text) {
  auto is_control = [](char ch) { return static_cast<unsigned char>(ch) <= 32; };
  size_t first = 0;
  while (first < text.size() && is_control(text[first])) ++first;
  size_t last = text.size();
  while (last > first && is_control(text[last - 1])) --last;
  return text.substr(first, last - first);
}

std::string ValueText(std::string_view utf8_content) {
  return Utf8ToAnsi(TrimControl(utf8_content));
}

std::string AnsiUpperCase(std::string_view ansi) {
  std::string out(ansi);
  for (char& ch : out) ch = static_cast<char>(kUpper[static_cast<unsigned char>(ch)]);
  return out;
}

bool AnsiEqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (kUpper[static_cast<unsigned char>(a[i])] != kUpper[static_cast<unsigned char>(b[i])]) {
      return false;
    }
  }
  return true;
}

}  // namespace tq
