// The command line of the converter (see command_line.h).
#include "app/command_line.h"

#include "platform/error.h"

namespace tq {
namespace {

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& ch : lower) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return lower;
}

int HexDigitValue(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

}  // namespace

bool HostModeRequested(const std::vector<std::string>& parameters) {
  return parameters.size() == kHostParameterCount;
}

HostAction RequestedAction(const std::vector<std::string>& parameters) {
  if (!HostModeRequested(parameters)) return HostAction::kNone;
  const std::string word = LowerAscii(parameters[0]);
  if (word == "importar") return HostAction::kImportar;
  if (word == "exportar") return HostAction::kExportar;
  return HostAction::kNone;
}

std::optional<int32_t> TryParseHostHandle(std::string_view text) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char ch : text) {
    const int digit = HexDigitValue(ch);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<uint64_t>(digit);
    // Checked per digit, so that a long run of digits cannot overflow.
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

int32_t HostHandleFromText(std::string_view text) {
  std::optional<int32_t> handle = TryParseHostHandle(text);
  if (!handle) {
    throw ConversionError("'$" + std::string(text) +
                          "' no es un valor entero válido");
  }
  return *handle;
}

}  // namespace tq
