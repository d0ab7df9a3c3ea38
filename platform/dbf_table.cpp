// The table engine's row cursor: open/close, field values, navigation,
// filter, Locate and appending. The file's bytes are decoded by dbf_format,
// the lock is LockedFile's.
//
// While open, the table's header and records live in memory as one string
// (`data`): the header's record count of records as read, followed by the
// rows appended since. Appended rows are written to the file in chunks of
// kFlushBytes and at Close, which then writes the end marker, the record
// count and the date, and syncs.
#include "platform/dbf_table.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <map>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/dbf_format.h"
#include "platform/error.h"
#include "platform/integer_text.h"
#include "platform/locked_file.h"
#include "platform/paths.h"

namespace tq::dbf {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFlushBytes = std::size_t{1} << 20;

// Physical storage of the kinds the engine declares.
constexpr uint8_t kIntegerLength = 11;  // -2147483648 takes 11 characters
constexpr uint8_t kFloatLength = 19;
constexpr uint8_t kFloatDecimals = 9;

std::string Quoted(const fs::path& path) { return "«" + path.string() + "»"; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool IsFill(char c) { return c == ' ' || c == '\0'; }

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && IsFill(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view TrimBoth(std::string_view text) {
  text = TrimRight(text);
  while (!text.empty() && IsFill(text.front())) text.remove_prefix(1);
  return text;
}

bool IsNumeric(const FieldDescriptor& field) {
  return field.type == 'N' || field.type == 'F';
}

bool IsTrue(char c) { return c == 'T' || c == 't' || c == 'Y' || c == 'y'; }
bool IsFalse(char c) { return c == 'F' || c == 'f' || c == 'N' || c == 'n'; }

// A whole decimal number text as dBase stores it ("  -12.50"): trimmed,
// optional sign. nullopt when it is not one.
std::optional<double> ParseNumber(std::string_view text) {
  text = TrimBoth(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double value = 0;
  auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value,
                      std::chars_format::fixed);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::string FormatGeneral(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

// `value` right-aligned in `length` characters with `decimals` digits after
// the point, fewer if the whole part needs the room; nullopt when even the
// whole part does not fit.
std::optional<std::string> EncodeNumber(double value, int length, int decimals) {
  if (!std::isfinite(value)) return std::nullopt;
  for (int d = decimals; d >= 0; --d) {
    // Below the last digit kept: a plain zero, never "-0.000".
    double shown = std::fabs(value) < 0.5 * std::pow(10.0, -d) ? 0.0 : value;
    char buffer[400];
    const int n = std::snprintf(buffer, sizeof buffer, "%.*f", d, shown);
    if (n > 0 && n <= length) {
      return std::string(static_cast<std::size_t>(length - n), ' ') + buffer;
    }
  }
  return std::nullopt;
}

std::string FloatMessage(std::string_view text) {
  return "'" + std::string(text) + "' no es un valor de coma flotante válido";
}

struct ParsedFilter {
  std::string field;
  std::string value;
};

// FIELD= 'value', blanks allowed around the parts, inner quotes doubled.
std::optional<ParsedFilter> ParseFilter(std::string_view text) {
  std::size_t i = 0;
  auto skip_blanks = [&] {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  };
  skip_blanks();
  ParsedFilter filter;
  while (i < text.size() &&
         (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) {
    filter.field += text[i++];
  }
  if (filter.field.empty()) return std::nullopt;
  skip_blanks();
  if (i >= text.size() || text[i] != '=') return std::nullopt;
  ++i;
  skip_blanks();
  if (i >= text.size() || text[i] != '\'') return std::nullopt;
  ++i;
  while (true) {
    if (i >= text.size()) return std::nullopt;  // unterminated
    if (text[i] == '\'') {
      if (i + 1 < text.size() && text[i + 1] == '\'') {
        filter.value += '\'';
        i += 2;
        continue;
      }
      ++i;
      break;
    }
    filter.value += text[i++];
  }
  skip_blanks();
  if (i != text.size()) return std::nullopt;
  return filter;
}

// Key of a row in a first-match index: each value length-prefixed, so that
// no two different value lists give the same key.
void AppendKeyPart(std::string& key, std::string_view value) {
  char length[4];
  EncodeFixed32(length, static_cast<uint32_t>(value.size()));
  key.append(length, 4);
  key.append(value);
}

void TodayInto(Header& header) {
  const std::time_t now = std::time(nullptr);
  if (const std::tm* local = std::localtime(&now)) {
    header.year = local->tm_year;
    header.month = local->tm_mon + 1;
    header.day = local->tm_mday;
  }
}

// The entry of `path`'s folder whose name equals its file name ignoring case.
fs::path ResolveCase(const fs::path& path) {
  std::error_code error;
  if (fs::exists(path, error)) return path;
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  fs::path found = FindIgnoringCase(folder, path.filename().string());
  if (fs::exists(found, error)) return path.has_parent_path() ? found : path.filename();
  return path;
}

}  // namespace

struct Table::Impl {
  std::string name;
  fs::path path;

  bool active = false;
  LockedFile file;
  bool writable = false;
  fs::path open_path;  // the file actually open (case resolved)
  Layout layout;
  std::vector<FieldDef> defs;
  std::string data;  // header bytes, then row_count records
  uint32_t row_count = 0;
  uint32_t flushed_rows = 0;  // rows already in the file
  bool appended = false;

  // Cursor over all rows (unfiltered) or over filter_rows.
  uint32_t row = 0;
  std::string filter_text;
  bool filtered = false;
  std::optional<std::size_t> filter_field;  // set while a filter applies
  std::string filter_value;
  const std::vector<uint32_t>* filter_rows = nullptr;
  std::size_t filter_pos = 0;

  // The row being appended.
  bool editing = false;
  std::string edit_row;
  std::vector<std::optional<double>> edit_floats;

  // Built on first use while open; kept up to date by Post.
  std::unordered_map<std::size_t, std::unordered_map<std::string, std::vector<uint32_t>>>
      value_indexes;  // field -> value -> live rows in file order
  std::map<std::vector<std::size_t>, std::unordered_map<std::string, uint32_t>>
      first_indexes;  // fields -> key -> first live row
  // Locate's last field list as given, the filter field then in force and
  // the index they resolved to: a run of look-ups names the same fields
  // each time. Reset with the indexes.
  std::vector<std::string> locate_names;
  std::optional<std::size_t> locate_filter_field;
  const std::unordered_map<std::string, uint32_t>* locate_index = nullptr;
  std::string locate_key;  // reused, so a look-up allocates nothing

  static const std::vector<uint32_t> kNoRows;

  std::size_t HeaderLength() const { return layout.header.header_length; }
  std::size_t RecordLength() const { return layout.header.record_length; }

  std::string_view Record(uint32_t r) const {
    return std::string_view(data).substr(HeaderLength() + std::size_t{r} * RecordLength(),
                                         RecordLength());
  }
  bool Deleted(uint32_t r) const { return Record(r)[0] == kDeletedRecord; }

  std::optional<uint32_t> CurrentRow() const {
    if (!active) return std::nullopt;
    if (filter_field) {
      if (filter_pos < filter_rows->size()) return (*filter_rows)[filter_pos];
      return std::nullopt;
    }
    if (row < row_count) return row;
    return std::nullopt;
  }

  // The raw bytes of field `i` on the row being appended or the current row;
  // nullopt when there is no row.
  std::optional<std::string_view> Raw(std::size_t i) const {
    const FieldDescriptor& field = layout.fields[i];
    if (editing) return std::string_view(edit_row).substr(field.offset, field.length);
    if (std::optional<uint32_t> r = CurrentRow()) {
      return Record(*r).substr(field.offset, field.length);
    }
    return std::nullopt;
  }

  std::string Value(std::size_t i, std::string_view raw) const {
    const FieldDescriptor& field = layout.fields[i];
    if (IsNumeric(field)) {
      std::string_view text = TrimBoth(raw);
      if (text.empty()) return {};
      if (std::optional<double> number = ParseNumber(text)) return FormatGeneral(*number);
      return std::string(text);
    }
    if (field.type == 'L') {
      std::string_view text = TrimBoth(raw);
      if (text == "?") return {};
      return std::string(text);
    }
    return std::string(TrimRight(raw));
  }

  std::string ValueAt(uint32_t r, std::size_t i) const {
    const FieldDescriptor& field = layout.fields[i];
    return Value(i, Record(r).substr(field.offset, field.length));
  }

  std::string InactiveMessage() const {
    return name + ": la tabla " + Quoted(path) + " no está abierta";
  }
  void CheckActive() const {
    if (!active) throw TableError(InactiveMessage());
  }

  std::size_t FieldIndex(std::string_view field_name) const {
    for (std::size_t i = 0; i < defs.size(); ++i) {
      if (EqualsIgnoringAsciiCase(defs[i].name, field_name)) return i;
    }
    throw TableError(name + ": No se encuentra el campo '" + std::string(field_name) + "'");
  }

  void SkipDeleted() {
    while (row < row_count && Deleted(row)) ++row;
  }

  const std::unordered_map<std::string, std::vector<uint32_t>>& ValueIndex(std::size_t i) {
    auto [it, inserted] = value_indexes.try_emplace(i);
    if (inserted) {
      for (uint32_t r = 0; r < row_count; ++r) {
        if (!Deleted(r)) it->second[ValueAt(r, i)].push_back(r);
      }
    }
    return it->second;
  }

  std::string KeyOf(uint32_t r, const std::vector<std::size_t>& fields) const {
    std::string key;
    for (std::size_t i : fields) AppendKeyPart(key, ValueAt(r, i));
    return key;
  }

  const std::unordered_map<std::string, uint32_t>& FirstIndex(
      const std::vector<std::size_t>& fields) {
    auto [it, inserted] = first_indexes.try_emplace(fields);
    if (inserted) {
      for (uint32_t r = 0; r < row_count; ++r) {
        if (!Deleted(r)) it->second.try_emplace(KeyOf(r, fields), r);
      }
    }
    return it->second;
  }

  void ResolveFilterRows() {
    const auto& index = ValueIndex(*filter_field);
    auto found = index.find(filter_value);
    filter_rows = found == index.end() ? &kNoRows : &found->second;
  }

  // Parses the filter text and stands on the first passing row.
  void ApplyFilter() {
    filter_field.reset();
    if (TrimBoth(filter_text).empty()) {  // an empty filter lets every row pass
      row = 0;
      SkipDeleted();
      return;
    }
    std::optional<ParsedFilter> parsed = ParseFilter(filter_text);
    if (!parsed) {
      throw TableError(name + ": filtro no admitido «" + filter_text + "» en la tabla " +
                       Quoted(path) + "; solo se admite CAMPO= 'valor'");
    }
    const std::size_t field = FieldIndex(parsed->field);
    filter_field = field;
    filter_value = std::move(parsed->value);
    ResolveFilterRows();
    filter_pos = 0;
  }

  // Moves the cursor onto row `r`, or to the end when the filter hides it.
  void StandOn(uint32_t r) {
    if (filter_field) {
      ResolveFilterRows();
      auto it = std::lower_bound(filter_rows->begin(), filter_rows->end(), r);
      filter_pos = static_cast<std::size_t>(it - filter_rows->begin());
      if (it != filter_rows->end() && *it != r) filter_pos = filter_rows->size();
    } else {
      row = r;
    }
  }

  void MoveToEnd() {
    if (filter_field) {
      filter_pos = filter_rows->size();
    } else {
      row = row_count;
    }
  }

  std::string WriteMessage(const std::string& cause) const {
    return "No se puede escribir la tabla " + Quoted(open_path) + ": " + cause;
  }

  // Writes the posted rows not yet in the file.
  void Flush() {
    if (flushed_rows == row_count) return;
    const std::size_t from = HeaderLength() + std::size_t{flushed_rows} * RecordLength();
    try {
      file.WriteAt(from, std::string_view(data).substr(from));
    } catch (const LockedFile::Failure& failure) {
      throw TableError(WriteMessage(failure.cause()));
    }
    flushed_rows = row_count;
  }

  void Post() {
    if (!editing) return;
    const uint32_t r = row_count;
    data += edit_row;
    ++row_count;
    appended = true;
    editing = false;
    for (auto& [field, index] : value_indexes) index[ValueAt(r, field)].push_back(r);
    for (auto& [fields, index] : first_indexes) index.try_emplace(KeyOf(r, fields), r);
    StandOn(r);
    if ((row_count - flushed_rows) * RecordLength() >= kFlushBytes) Flush();
  }

  // Posts the row being appended before the cursor moves, as dBase does.
  void CheckBrowseMode() {
    if (editing) Post();
  }

  void Reset() {
    active = false;
    writable = false;
    layout = Layout{};
    defs.clear();
    data.clear();
    data.shrink_to_fit();
    row_count = flushed_rows = row = 0;
    appended = false;
    filter_field.reset();
    filter_rows = nullptr;
    filter_pos = 0;
    editing = false;
    edit_row.clear();
    edit_floats.clear();
    value_indexes.clear();
    first_indexes.clear();
    locate_index = nullptr;
  }

  // The row being appended, for assignment.
  char* EditBytes(std::size_t i) {
    CheckActive();
    if (!editing) {
      throw TableError(name + ": la tabla " + Quoted(path) +
                       " no está en modo de inserción (falta Append)");
    }
    return edit_row.data() + layout.fields[i].offset;
  }

  void StoreText(std::size_t i, std::string_view text) {
    char* out = EditBytes(i);
    const std::size_t length = layout.fields[i].length;
    text = text.substr(0, length);
    std::fill_n(std::copy(text.begin(), text.end(), out), length - text.size(), ' ');
  }

  void StoreNumber(std::size_t i, double value) {
    const FieldDescriptor& field = layout.fields[i];
    std::optional<std::string> text = EncodeNumber(value, field.length, field.decimals);
    if (!text) {
      throw TableError(name + ": el valor " + FormatGeneral(value) +
                       " no cabe en el campo '" + field.name + "' de la tabla " +
                       Quoted(path));
    }
    StoreText(i, *text);
    edit_floats[i] = value;
  }
};

const std::vector<uint32_t> Table::Impl::kNoRows;

// ---- Field ----

const std::string& Field::Name() const { return table_->impl_->defs[index_].name; }

std::string Field::AsString() const {
  const Table::Impl& t = *table_->impl_;
  t.CheckActive();
  std::optional<std::string_view> raw = t.Raw(index_);
  return raw ? t.Value(index_, *raw) : std::string();
}

int32_t Field::AsInteger() const {
  const Table::Impl& t = *table_->impl_;
  t.CheckActive();
  std::optional<std::string_view> raw = t.Raw(index_);
  if (!raw) return 0;
  const FieldDescriptor& field = t.layout.fields[index_];
  if (IsNumeric(field)) {
    std::string_view text = TrimBoth(*raw);
    if (text.empty()) return 0;
    std::optional<double> number = ParseNumber(text);
    // Round half to even, as the original engine's float-to-integer did.
    const double rounded = number ? std::nearbyint(*number) : 0.0;
    if (!number || rounded < std::numeric_limits<int32_t>::min() ||
        rounded > std::numeric_limits<int32_t>::max()) {
      throw ConversionError(NotAnIntegerMessage(text));
    }
    return static_cast<int32_t>(rounded);
  }
  if (field.type == 'L') throw ConversionError(NotAnIntegerMessage(t.Value(index_, *raw)));
  return StrToInt(t.Value(index_, *raw));
}

double Field::AsFloat() const {
  const Table::Impl& t = *table_->impl_;
  t.CheckActive();
  if (t.editing && t.edit_floats[index_]) return *t.edit_floats[index_];
  std::optional<std::string_view> raw = t.Raw(index_);
  if (!raw) return 0;
  const FieldDescriptor& field = t.layout.fields[index_];
  std::string_view text = TrimBoth(*raw);
  if (IsNumeric(field) && text.empty()) return 0;
  if (field.type != 'L') {
    if (std::optional<double> number = ParseNumber(text)) return *number;
  }
  throw ConversionError(FloatMessage(t.Value(index_, *raw)));
}

bool Field::AsBoolean() const {
  const Table::Impl& t = *table_->impl_;
  t.CheckActive();
  std::optional<std::string_view> raw = t.Raw(index_);
  if (!raw) return false;
  if (IsNumeric(t.layout.fields[index_])) {
    std::optional<double> number = ParseNumber(*raw);
    return number && *number != 0;
  }
  std::string value = t.Value(index_, *raw);
  return !value.empty() && IsTrue(value.front());
}

void Field::SetAsString(std::string_view value) {
  Table::Impl& t = *table_->impl_;
  t.EditBytes(index_);
  const FieldDescriptor& field = t.layout.fields[index_];
  if (IsNumeric(field)) {
    if (TrimBoth(value).empty()) {
      t.StoreText(index_, "");
      t.edit_floats[index_].reset();
      return;
    }
    std::optional<double> number = ParseNumber(value);
    if (!number) throw ConversionError(FloatMessage(value));
    t.StoreNumber(index_, *number);
  } else if (field.type == 'L') {
    std::string_view text = TrimBoth(value);
    if (text.empty()) {
      t.StoreText(index_, "");
    } else if (IsTrue(text.front()) || IsFalse(text.front())) {
      t.StoreText(index_, IsTrue(text.front()) ? "T" : "F");
    } else {
      throw ConversionError("'" + std::string(value) + "' no es un valor lógico válido");
    }
  } else {
    t.StoreText(index_, value);
  }
}

void Field::SetAsInteger(int32_t value) {
  Table::Impl& t = *table_->impl_;
  t.EditBytes(index_);
  const FieldDescriptor& field = t.layout.fields[index_];
  if (IsNumeric(field)) {
    t.StoreNumber(index_, value);
  } else if (field.type == 'L') {
    t.StoreText(index_, value != 0 ? "T" : "F");
  } else {
    t.StoreText(index_, std::to_string(value));
  }
}

void Field::SetAsFloat(double value) {
  Table::Impl& t = *table_->impl_;
  t.EditBytes(index_);
  const FieldDescriptor& field = t.layout.fields[index_];
  if (IsNumeric(field)) {
    t.StoreNumber(index_, value);
  } else if (field.type == 'L') {
    t.StoreText(index_, value != 0 ? "T" : "F");
  } else {
    t.StoreText(index_, FormatGeneral(value));
  }
}

void Field::SetAsBoolean(bool value) {
  Table::Impl& t = *table_->impl_;
  t.EditBytes(index_);
  if (IsNumeric(t.layout.fields[index_])) {
    t.StoreNumber(index_, value ? 1 : 0);
  } else {
    t.StoreText(index_, value ? "T" : "F");
  }
}

// ---- Table ----

void Table::Create(const fs::path& path, std::span<const FieldDef> fields) {
  auto refuse = [&](const std::string& cause) {
    throw TableError("No se puede crear la tabla " + Quoted(path) + ": " + cause);
  };
  if (fields.empty()) refuse("no tiene campos");
  std::vector<FieldDescriptor> descriptors;
  for (const FieldDef& def : fields) {
    if (def.name.empty() || def.name.size() > kMaxFieldNameLength) {
      refuse("el nombre de campo '" + def.name + "' no tiene de 1 a 10 caracteres");
    }
    for (char c : def.name) {
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_') ||
          static_cast<unsigned char>(c) > 0x7F) {
        refuse("el nombre de campo '" + def.name + "' tiene caracteres no admitidos");
      }
    }
    for (const FieldDescriptor& other : descriptors) {
      if (EqualsIgnoringAsciiCase(other.name, def.name)) {
        refuse("el campo '" + def.name + "' está repetido");
      }
    }
    FieldDescriptor d;
    d.name = def.name;
    for (char& c : d.name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    switch (def.kind) {
      case FieldKind::kString:
        if (def.size < 1 || def.size > kMaxCharacterLength) {
          refuse("el campo '" + def.name + "' tiene una anchura de " +
                 std::to_string(def.size) + " (se admite de 1 a 254)");
        }
        d.type = 'C';
        d.length = static_cast<uint8_t>(def.size);
        break;
      case FieldKind::kBoolean:
        d.type = 'L';
        d.length = 1;
        break;
      case FieldKind::kInteger:
        d.type = 'N';
        d.length = kIntegerLength;
        break;
      case FieldKind::kFloat:
        d.type = 'N';
        d.length = kFloatLength;
        d.decimals = kFloatDecimals;
        break;
    }
    descriptors.push_back(std::move(d));
  }
  Header header;
  header.version = kVersionDbase3;
  header.language_driver = kLanguageDriverAnsi;
  TodayInto(header);
  std::string bytes = EncodeTableHeader(header, descriptors);
  bytes += kEndOfFile;
  try {
    // A fresh file renamed into place: a holder of the old file keeps it.
    WriteFileAtomically(ResolveCase(path), bytes);
  } catch (const TableError&) {
    throw;
  } catch (const Error& error) {
    throw TableError(error.what());
  }
}

Table::Table(std::string component_name, fs::path path) : impl_(std::make_unique<Impl>()) {
  impl_->name = std::move(component_name);
  impl_->path = std::move(path);
}

Table::Table(Table&&) noexcept = default;
Table& Table::operator=(Table&& other) noexcept {
  if (this != &other) {
    if (impl_ && impl_->active) {
      try {
        Close();
      } catch (...) {
      }
    }
    impl_ = std::move(other.impl_);
  }
  return *this;
}

Table::~Table() {
  if (impl_ && impl_->active) {
    try {
      Close();
    } catch (...) {
      // Reported only to callers that call Close() themselves.
    }
  }
}

const std::string& Table::Name() const { return impl_->name; }
const fs::path& Table::Path() const { return impl_->path; }

void Table::Open() {
  Impl& t = *impl_;
  if (t.active) return;
  const fs::path path = ResolveCase(t.path);
  LockedFile file;
  bool writable = true;
  try {
    try {
      file = LockedFile::Open(path, LockedFile::Access::kReadWrite);
    } catch (const LockedFile::Failure& failure) {
      if (failure.kind() != LockedFile::Failure::Kind::kDenied) throw;
      // A read-only file can still be read; appending to it fails later.
      file = LockedFile::Open(path, LockedFile::Access::kRead);
      writable = false;
    }
  } catch (const LockedFile::Failure& failure) {
    switch (failure.kind()) {
      case LockedFile::Failure::Kind::kNotFound:
        throw TableError("No se encuentra la tabla " + Quoted(path));
      case LockedFile::Failure::Kind::kInUse:
        throw TableInUseError("La tabla " + Quoted(path) +
                              " está en uso por otro programa y no se puede abrir.");
      default:
        throw TableError("No se puede abrir la tabla " + Quoted(path) + ": " +
                         failure.cause());
    }
  }
  std::string data;
  try {
    data = file.ReadAll();
  } catch (const LockedFile::Failure& failure) {
    throw TableError("No se puede leer la tabla " + Quoted(path) + ": " + failure.cause());
  }
  std::string cause;
  std::optional<Layout> layout = DecodeLayout(data, &cause);
  if (!layout) throw TableError("La tabla " + Quoted(path) + " está dañada: " + cause);

  t.file = std::move(file);
  t.writable = writable;
  t.open_path = path;
  t.layout = std::move(*layout);
  t.row_count = t.layout.header.record_count;
  t.flushed_rows = t.row_count;
  data.resize(t.HeaderLength() + std::size_t{t.row_count} * t.RecordLength());
  t.data = std::move(data);
  for (const FieldDescriptor& field : t.layout.fields) {
    FieldDef def;
    def.name = field.name;
    def.size = field.length;
    if (field.type == 'L') {
      def.kind = FieldKind::kBoolean;
    } else if (IsNumeric(field)) {
      def.kind = field.decimals == 0 ? FieldKind::kInteger : FieldKind::kFloat;
    }
    t.defs.push_back(std::move(def));
  }
  t.active = true;
  try {
    if (t.filtered) {
      t.ApplyFilter();
    } else {
      First();
    }
  } catch (...) {
    t.file = LockedFile();
    t.Reset();
    throw;
  }
}

void Table::Close() {
  Impl& t = *impl_;
  if (!t.active) return;
  t.editing = false;  // an unposted row is dropped
  struct ResetOnExit {
    Impl& t;
    ~ResetOnExit() {
      t.file = LockedFile();
      t.Reset();
    }
  } reset{t};
  if (t.appended) {
    t.Flush();
    try {
      const uint64_t end = t.HeaderLength() + uint64_t{t.row_count} * t.RecordLength();
      t.file.WriteAt(end, std::string_view(&kEndOfFile, 1));
      t.file.Truncate(end + 1);
      Header header = t.layout.header;
      header.record_count = t.row_count;
      TodayInto(header);
      // Bytes 1-7: the date of the last update and the record count.
      t.file.WriteAt(0, std::string_view(EncodeHeader(header)).substr(0, 8));
      t.file.Sync();
    } catch (const LockedFile::Failure& failure) {
      throw TableError(t.WriteMessage(failure.cause()));
    }
  }
  try {
    t.file.Close();
  } catch (const LockedFile::Failure& failure) {
    if (t.appended) throw TableError(t.WriteMessage(failure.cause()));
  }
}

void Table::SetActive(bool active) {
  if (active == impl_->active) return;
  if (active) {
    Open();
  } else {
    Close();
  }
}

bool Table::Active() const { return impl_->active; }

const std::vector<FieldDef>& Table::Fields() const { return impl_->defs; }

Field Table::FieldByName(std::string_view name) {
  return Field(this, impl_->FieldIndex(name));
}

std::optional<std::size_t> Table::FindField(std::string_view name) const {
  for (std::size_t i = 0; i < impl_->defs.size(); ++i) {
    if (EqualsIgnoringAsciiCase(impl_->defs[i].name, name)) return i;
  }
  return std::nullopt;
}

void Table::First() {
  Impl& t = *impl_;
  t.CheckActive();
  t.CheckBrowseMode();
  if (t.filter_field) {
    t.filter_pos = 0;
  } else {
    t.row = 0;
    t.SkipDeleted();
  }
}

void Table::Next() {
  Impl& t = *impl_;
  t.CheckActive();
  t.CheckBrowseMode();
  if (t.filter_field) {
    if (t.filter_pos < t.filter_rows->size()) ++t.filter_pos;
  } else if (t.row < t.row_count) {
    ++t.row;
    t.SkipDeleted();
  }
}

bool Table::Eof() const { return !impl_->CurrentRow(); }

void Table::SetFilter(std::string_view text) {
  Impl& t = *impl_;
  t.filter_text = std::string(text);
  if (t.active && t.filtered) {
    t.CheckBrowseMode();
    try {
      t.ApplyFilter();
    } catch (...) {
      t.filtered = false;  // a refused text leaves the table unfiltered
      throw;
    }
  }
}

void Table::SetFiltered(bool filtered) {
  Impl& t = *impl_;
  if (!t.active) {
    t.filtered = filtered;
    return;
  }
  t.CheckBrowseMode();
  if (filtered) {
    t.filtered = false;  // stays off if the text is refused
    t.ApplyFilter();
    t.filtered = true;
    return;
  }
  const std::optional<uint32_t> current = t.CurrentRow();
  t.filtered = false;
  t.filter_field.reset();
  if (current) {
    t.row = *current;
  } else {
    First();
  }
}

bool Table::Locate(std::span<const Match> matches) {
  Impl& t = *impl_;
  t.CheckActive();
  t.CheckBrowseMode();
  bool resolved = t.locate_index != nullptr &&
                  t.locate_filter_field == t.filter_field &&
                  t.locate_names.size() == matches.size();
  for (std::size_t i = 0; resolved && i < matches.size(); ++i) {
    resolved = t.locate_names[i] == matches[i].field;
  }
  if (!resolved) {
    std::vector<std::size_t> fields;
    for (const Match& match : matches) fields.push_back(t.FieldIndex(match.field));
    // While filtered only passing rows are found: the filter is one more match.
    if (t.filter_field) fields.push_back(*t.filter_field);
    t.locate_index = &t.FirstIndex(fields);
    t.locate_filter_field = t.filter_field;
    t.locate_names.clear();
    for (const Match& match : matches) t.locate_names.emplace_back(match.field);
  }
  std::string& key = t.locate_key;
  key.clear();
  for (const Match& match : matches) AppendKeyPart(key, match.value);
  if (t.filter_field) AppendKeyPart(key, t.filter_value);
  const auto& index = *t.locate_index;
  auto found = index.find(key);
  if (found == index.end()) {
    t.MoveToEnd();
    return false;
  }
  t.StandOn(found->second);
  return true;
}

bool Table::Locate(std::string_view field, std::string_view value) {
  const Match match{field, value};
  return Locate(std::span<const Match>(&match, 1));
}

void Table::Append() {
  Impl& t = *impl_;
  t.CheckActive();
  if (!t.writable) {
    throw TableError(t.WriteMessage("el archivo es de solo lectura"));
  }
  t.CheckBrowseMode();
  t.editing = true;
  t.edit_row.assign(t.RecordLength(), ' ');
  t.edit_row[0] = kLiveRecord;
  t.edit_floats.assign(t.defs.size(), std::nullopt);
}

void Table::Post() {
  Impl& t = *impl_;
  t.CheckActive();
  t.Post();
}

void DeleteTableFiles(const fs::path& dbf_path) {
  const fs::path folder = dbf_path.has_parent_path() ? dbf_path.parent_path() : fs::path(".");
  const std::string stem = dbf_path.stem().string();
  for (const char* extension : {".DBF", ".MDX"}) {
    // Each spelling of the name that exists, one at a time.
    for (int attempt = 0; attempt < 16; ++attempt) {
      const fs::path found = FindIgnoringCase(folder, stem + extension);
      std::error_code error;
      if (!fs::exists(fs::symlink_status(found, error)) || !fs::remove(found, error)) break;
    }
  }
}

}  // namespace tq::dbf
