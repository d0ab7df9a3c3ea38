#include "platform/dbf_format.h"

#include <algorithm>
#include <cstdio>

namespace tq::dbf {
namespace {

// Header field offsets.
constexpr std::size_t kVersionAt = 0;
constexpr std::size_t kDateAt = 1;
constexpr std::size_t kRecordCountAt = 4;
constexpr std::size_t kHeaderLengthAt = 8;
constexpr std::size_t kRecordLengthAt = 10;
constexpr std::size_t kLanguageDriverAt = 29;

// Descriptor field offsets (dBase III/IV/FoxPro).
constexpr std::size_t kTypeAt = 11;
constexpr std::size_t kLengthAt = 16;
constexpr std::size_t kDecimalsAt = 17;

// Version bytes of the dBase and FoxPro tables we read.
constexpr uint8_t kKnownVersions[] = {
    0x03,  // dBase III, dBase IV and later without memo
    0x04,  // dBase IV or level 7 without memo
    0x05,  // dBase 5 without memo
    0x30,  // Visual FoxPro
    0x31,  // Visual FoxPro with autoincrement
    0x32,  // Visual FoxPro with varchar
    0x43,  // dBase IV SQL table
    0x63,  // dBase IV SQL system file
    0x83,  // dBase III with memo
    0x8B,  // dBase IV with memo
    0x8C,  // dBase level 7 with memo
    0x8E,  // dBase IV with SQL table
    0xCB,  // dBase IV SQL table with memo
    0xE5,  // HiPer-Six with memo
    0xF5,  // FoxPro 2 with memo
    0xFB,  // FoxBASE
};

bool IsFoxProVisual(uint8_t version) {
  return version == 0x30 || version == 0x31 || version == 0x32;
}
bool MayBeLevel7(uint8_t version) { return version == 0x04 || version == 0x8C; }

std::string Format(const char* format, auto... args) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, args...);
  return buffer;
}

// A field name shown in a message: printable ASCII kept, the rest '?'.
std::string Printable(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c < 0x20 || c > 0x7E) c = '?';
  }
  return out;
}

struct DescriptorShape {
  std::size_t first;      // offset of the first descriptor in the file
  std::size_t size;       // bytes per descriptor
  std::size_t name_size;  // bytes of the name area
  std::size_t type_at;
  std::size_t length_at;
  std::size_t decimals_at;
};
constexpr DescriptorShape kStandardShape{kHeaderSize, kDescriptorSize, kFieldNameSize,
                                         kTypeAt,     kLengthAt,       kDecimalsAt};
constexpr DescriptorShape kLevel7Shape{kLevel7HeaderSize, kLevel7DescriptorSize,
                                       kLevel7FieldNameSize, 32, 33, 34};

FieldDescriptor DecodeWithShape(std::string_view bytes, const DescriptorShape& shape) {
  FieldDescriptor field;
  std::string_view name = bytes.substr(0, shape.name_size);
  name = name.substr(0, name.find('\0'));
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  field.name = std::string(name);
  field.type = bytes[shape.type_at];
  field.length = static_cast<uint8_t>(bytes[shape.length_at]);
  field.decimals = static_cast<uint8_t>(bytes[shape.decimals_at]);
  return field;
}

// Empty when the field is acceptable, else the cause.
std::string CheckField(const FieldDescriptor& field, std::size_t number) {
  if (field.name.empty()) return Format("el campo n.º %zu no tiene nombre", number);
  const std::string name = Printable(field.name);
  const auto type = static_cast<unsigned char>(field.type);
  if (type < 0x21 || type > 0x7E) {
    return Format("el campo «%s» tiene un tipo inválido (0x%02X)", name.c_str(), type);
  }
  if (field.length == 0) return Format("el campo «%s» tiene longitud 0", name.c_str());
  switch (field.type) {
    case 'N':
    case 'F':
      if (field.length > kMaxNumericLength) {
        return Format("el campo numérico «%s» tiene una longitud imposible (%d)",
                      name.c_str(), field.length);
      }
      if (field.decimals > field.length) {
        return Format("el campo «%s» tiene más decimales (%d) que longitud (%d)",
                      name.c_str(), field.decimals, field.length);
      }
      break;
    case 'L':
      if (field.length != 1) {
        return Format("el campo lógico «%s» tiene longitud %d en lugar de 1",
                      name.c_str(), field.length);
      }
      break;
    case 'D':
      if (field.length != 8) {
        return Format("el campo de fecha «%s» tiene longitud %d en lugar de 8",
                      name.c_str(), field.length);
      }
      break;
    default:
      break;
  }
  return {};
}

// Decodes the descriptors in the shape given and checks them against the
// header and the file. Sets *cause on refusal.
std::optional<std::vector<FieldDescriptor>> DecodeDescriptors(
    std::string_view file, const Header& header, const DescriptorShape& shape,
    std::string* cause) {
  std::vector<FieldDescriptor> fields;
  std::size_t pos = shape.first;
  std::size_t offset = 1;  // after the deletion flag
  while (true) {
    if (pos >= file.size()) {
      *cause = "falta el terminador 0x0D tras los descriptores de campo";
      return std::nullopt;
    }
    if (file[pos] == kHeaderTerminator) break;
    if (file.size() - pos < shape.size) {
      *cause = "falta el terminador 0x0D tras los descriptores de campo";
      return std::nullopt;
    }
    FieldDescriptor field = DecodeWithShape(file.substr(pos, shape.size), shape);
    if (std::string why = CheckField(field, fields.size() + 1); !why.empty()) {
      *cause = why;
      return std::nullopt;
    }
    field.offset = offset;
    offset += field.length;
    fields.push_back(std::move(field));
    pos += shape.size;
  }
  if (fields.empty()) {
    *cause = "la tabla no tiene campos";
    return std::nullopt;
  }
  std::size_t needed = pos + 1;
  if (IsFoxProVisual(header.version)) needed += kFoxProBacklinkSize;
  if (header.header_length < needed) {
    *cause = Format(
        "la longitud de cabecera (%u bytes) no coincide con los descriptores de "
        "campo (%zu bytes)",
        unsigned{header.header_length}, needed);
    return std::nullopt;
  }
  if (header.record_length != offset) {
    *cause = Format(
        "la longitud de registro (%u bytes) no coincide con la suma de los campos "
        "(%zu bytes)",
        unsigned{header.record_length}, offset);
    return std::nullopt;
  }
  return fields;
}

}  // namespace

std::string EncodeHeader(const Header& header) {
  std::string out(kHeaderSize, '\0');
  out[kVersionAt] = static_cast<char>(header.version);
  out[kDateAt] = static_cast<char>(std::clamp(header.year, 0, 255));
  out[kDateAt + 1] = static_cast<char>(std::clamp(header.month, 1, 12));
  out[kDateAt + 2] = static_cast<char>(std::clamp(header.day, 1, 31));
  EncodeFixed32(&out[kRecordCountAt], header.record_count);
  EncodeFixed16(&out[kHeaderLengthAt], header.header_length);
  EncodeFixed16(&out[kRecordLengthAt], header.record_length);
  out[kLanguageDriverAt] = static_cast<char>(header.language_driver);
  return out;
}

std::optional<Header> DecodeHeader(std::string_view bytes) {
  if (bytes.size() < kHeaderSize) return std::nullopt;
  Header header;
  header.version = static_cast<uint8_t>(bytes[kVersionAt]);
  header.year = static_cast<uint8_t>(bytes[kDateAt]);
  header.month = static_cast<uint8_t>(bytes[kDateAt + 1]);
  header.day = static_cast<uint8_t>(bytes[kDateAt + 2]);
  header.record_count = DecodeFixed32(&bytes[kRecordCountAt]);
  header.header_length = DecodeFixed16(&bytes[kHeaderLengthAt]);
  header.record_length = DecodeFixed16(&bytes[kRecordLengthAt]);
  header.language_driver = static_cast<uint8_t>(bytes[kLanguageDriverAt]);
  return header;
}

std::string EncodeFieldDescriptor(const FieldDescriptor& field) {
  std::string out(kDescriptorSize, '\0');
  std::copy_n(field.name.begin(), std::min(field.name.size(), kMaxFieldNameLength),
              out.begin());
  out[kTypeAt] = field.type;
  out[kLengthAt] = static_cast<char>(field.length);
  out[kDecimalsAt] = static_cast<char>(field.decimals);
  return out;
}

std::optional<FieldDescriptor> DecodeFieldDescriptor(std::string_view bytes) {
  if (bytes.size() < kDescriptorSize) return std::nullopt;
  return DecodeWithShape(bytes, kStandardShape);
}

std::string EncodeTableHeader(Header header, std::vector<FieldDescriptor>& fields) {
  std::size_t offset = 1;
  for (FieldDescriptor& field : fields) {
    field.offset = offset;
    offset += field.length;
  }
  header.header_length =
      static_cast<uint16_t>(kHeaderSize + fields.size() * kDescriptorSize + 1);
  header.record_length = static_cast<uint16_t>(offset);
  std::string out = EncodeHeader(header);
  for (const FieldDescriptor& field : fields) out += EncodeFieldDescriptor(field);
  out += kHeaderTerminator;
  return out;
}

std::optional<Layout> DecodeLayout(std::string_view file, std::string* cause) {
  std::optional<Header> header = DecodeHeader(file);
  if (!header) {
    *cause = Format("el archivo mide %zu bytes, menos que la cabecera de %zu",
                    file.size(), kHeaderSize);
    return std::nullopt;
  }
  if (std::find(std::begin(kKnownVersions), std::end(kKnownVersions), header->version) ==
      std::end(kKnownVersions)) {
    *cause = Format("el byte de versión 0x%02X no es el de una tabla dBase",
                    unsigned{header->version});
    return std::nullopt;
  }
  if (header->header_length > file.size()) {
    *cause = Format("la cabecera dice medir %u bytes y el archivo solo tiene %zu",
                    unsigned{header->header_length}, file.size());
    return std::nullopt;
  }
  std::optional<std::vector<FieldDescriptor>> fields =
      DecodeDescriptors(file, *header, kStandardShape, cause);
  if (!fields && MayBeLevel7(header->version)) {
    std::string level7_cause;
    fields = DecodeDescriptors(file, *header, kLevel7Shape, &level7_cause);
  }
  if (!fields) return std::nullopt;
  const uint64_t needed = uint64_t{header->header_length} +
                          uint64_t{header->record_count} * header->record_length;
  if (needed > file.size()) {
    *cause = Format(
        "el archivo está truncado: la cabecera anuncia %u registros de %u bytes "
        "(%llu bytes en total) y el archivo solo tiene %zu",
        unsigned{header->record_count}, unsigned{header->record_length},
        static_cast<unsigned long long>(needed), file.size());
    return std::nullopt;
  }
  return Layout{*header, std::move(*fields)};
}

}  // namespace tq::dbf
