// The on-disk records of a dBase table file, coded explicitly.
//
// A table file is a 32-byte header, one descriptor per field, the header
// terminator 0x0D (FoxPro 0x30-0x32 then add a 263-byte backlink area), then
// `record_count` records of `record_length` bytes each, and optionally the end
// marker 0x1A. A record is the deletion flag (' ' live, '*' deleted) followed
// by the fields' bytes in descriptor order. All integers are little-endian.
//
// Encoding is for the dBase III files the engine writes. Decoding accepts
// dBase III, IV, 5, 7 and FoxPro files and checks every length against the
// others and against the file size, so that a layout it returns can be used to
// read every record without further bounds checks. It knows nothing of file
// names: a refusal is reported as a Spanish cause that the caller places
// after the name of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tq::dbf {

// Sizes in bytes.
inline constexpr std::size_t kHeaderSize = 32;
inline constexpr std::size_t kDescriptorSize = 32;
inline constexpr std::size_t kFieldNameSize = 11;  // 10 characters and a NUL
inline constexpr std::size_t kMaxFieldNameLength = 10;
inline constexpr std::size_t kFoxProBacklinkSize = 263;
// dBase level 7: a 68-byte header (32 plus a 32-byte language driver name and
// 4 reserved bytes) and 48-byte descriptors whose name takes 32 bytes.
inline constexpr std::size_t kLevel7HeaderSize = 68;
inline constexpr std::size_t kLevel7DescriptorSize = 48;
inline constexpr std::size_t kLevel7FieldNameSize = 32;

// Marker bytes.
inline constexpr char kHeaderTerminator = 0x0D;
inline constexpr char kEndOfFile = 0x1A;
inline constexpr char kLiveRecord = ' ';
inline constexpr char kDeletedRecord = '*';

// Header bytes of the files the engine writes.
inline constexpr uint8_t kVersionDbase3 = 0x03;
inline constexpr uint8_t kLanguageDriverAnsi = 0x03;  // Windows ANSI, cp1252

// Widths of fields, as dBase allows them.
inline constexpr int kMaxCharacterLength = 254;
inline constexpr int kMaxNumericLength = 20;

// Little-endian helpers over raw bytes; the caller guarantees the room.
inline void EncodeFixed16(char* out, uint16_t value) {
  out[0] = static_cast<char>(value & 0xFF);
  out[1] = static_cast<char>(value >> 8);
}
inline void EncodeFixed32(char* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}
inline uint16_t DecodeFixed16(const char* in) {
  return static_cast<uint16_t>(static_cast<uint8_t>(in[0]) |
                               (static_cast<uint8_t>(in[1]) << 8));
}
inline uint32_t DecodeFixed32(const char* in) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(in[i]);
  return value;
}

// The table header (bytes 0-31).
struct Header {
  uint8_t version = kVersionDbase3;   // byte 0
  int year = 0;                       // bytes 1-3: last update, year - 1900
  int month = 1;
  int day = 1;
  uint32_t record_count = 0;          // bytes 4-7
  uint16_t header_length = 0;         // bytes 8-9: up to the first record
  uint16_t record_length = 0;         // bytes 10-11: deletion flag included
  uint8_t language_driver = kLanguageDriverAnsi;  // byte 29
};

// Writes exactly kHeaderSize bytes; all reserved bytes zero.
std::string EncodeHeader(const Header& header);
// Reads the first kHeaderSize bytes; nullopt when `bytes` is shorter.
std::optional<Header> DecodeHeader(std::string_view bytes);

// One field descriptor.
struct FieldDescriptor {
  std::string name;      // as stored, without the NUL fill
  char type = 'C';       // 'C', 'N', 'F', 'L', 'D', or another writer's type
  uint8_t length = 0;    // bytes in the record
  uint8_t decimals = 0;  // digits after the point of a numeric field
  std::size_t offset = 0;  // of the field in the record (after decoding)
};

// Writes exactly kDescriptorSize bytes (dBase III layout).
std::string EncodeFieldDescriptor(const FieldDescriptor& field);
// Reads one dBase III/IV/FoxPro descriptor; nullopt when `bytes` is shorter.
std::optional<FieldDescriptor> DecodeFieldDescriptor(std::string_view bytes);

// Everything needed to reach the records of a file.
struct Layout {
  Header header;
  std::vector<FieldDescriptor> fields;  // offsets filled in, first at 1
};

// The header, terminator and descriptors of a dBase III table, as the engine
// writes them (record count 0 unless set in `header`); header_length and
// record_length are computed from `fields`.
std::string EncodeTableHeader(Header header, std::vector<FieldDescriptor>& fields);

// Decodes and checks the layout of the whole file `file`. On refusal returns
// nullopt and sets `*cause` (Spanish, lower case, no final stop). Accepted
// layouts guarantee: at least one field; every field's length is sane for its
// type; offsets fill the record exactly (record_length = 1 + sum of lengths);
// header_length + record_count * record_length <= file.size().
std::optional<Layout> DecodeLayout(std::string_view file, std::string* cause);

}  // namespace tq::dbf
