// The converter's command line: stand-alone use or host mode.
//
// The host (the timetabling program) starts the converter with exactly two
// parameters: an action word and the handle of one of its windows written in
// hexadecimal digits. Any other number of parameters means stand-alone use.
// Toolkit-free, so that the rules are tested without a display.
//
// Parameters are the program's arguments without the program path, UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tq {

// The action that parameter 1 names.
enum class HostAction {
  kNone,      // any word other than the two below
  kImportar,  // "importar", ASCII letter case ignored
  kExportar,  // "exportar", ASCII letter case ignored
};

// The number of parameters that asks for host mode.
inline constexpr std::size_t kHostParameterCount = 2;

// True when the parameters ask for host mode (exactly two of them).
bool HostModeRequested(const std::vector<std::string>& parameters);

// Parameter 1 with its ASCII letters lower-cased, compared exactly with
// "importar" and then "exportar". kNone unless host mode is requested.
HostAction RequestedAction(const std::vector<std::string>& parameters);

// Reads a host window handle: one or more hexadecimal digits (0-9, A-F,
// a-f), nothing else (no prefix, sign or blank), value at most FFFFFFFF;
// leading zeros are allowed. Values from 80000000 up come back negative, with
// the same 32 bits. nullopt when the text is not such a number.
std::optional<int32_t> TryParseHostHandle(std::string_view text);

// As TryParseHostHandle, but raises ConversionError
// "'$<text>' no es un valor entero válido" (the text as given, UTF-8).
int32_t HostHandleFromText(std::string_view text);

}  // namespace tq
