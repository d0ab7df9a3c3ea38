// The table engine: our own reader and writer of dBase tables.
//
// A Table is one dataset component: a name (used in error messages, such as
// "wwTableSoluc"), the path of its .DBF file, and, while active, the file
// opened for exclusive use (another process, or a second Table in this
// process, cannot open it meanwhile). Rows are read in file order; rows
// marked deleted are skipped. Field values are code page 1252 bytes.
//
// Files written are dBase III (version byte 0x03) with language driver 0x03
// (Windows ANSI, code page 1252), so ordinary dBase readers take them as they
// are. Any dBase III/IV or FoxPro table with C, N, F, L or D fields is read; a
// file whose header, field descriptors, record length or size disagree is
// refused with TableError before any row is read, never read out of bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tq::dbf {

// The kinds of field the working tables declare. Physical storage: kString
// C(size); kBoolean L(1); kInteger N(11,0); kFloat N(19,9).
enum class FieldKind { kString, kBoolean, kInteger, kFloat };

struct FieldDef {
  std::string name;  // upper case, at most 10 characters
  FieldKind kind = FieldKind::kString;
  int size = 0;  // width of a kString field; ignored for the others
};

class Table;

// A field of the table's current row (or of the row being appended). Cheap
// handle; valid while its Table is open.
class Field {
 public:
  const std::string& Name() const;

  // The value without the blanks that fill the field (leading blanks stay).
  // A numeric field gives its number in the shortest form ("3", "1.5"), a
  // logical one "T", "F" or "", a date one its digits YYYYMMDD.
  std::string AsString() const;
  // Numeric fields: the whole number (blank reads 0). Character fields that
  // hold an optional sign and decimal digits: that number. Anything else
  // raises ConversionError "'%s' no es un valor entero válido".
  int32_t AsInteger() const;
  // On the row being appended: the value assigned, 0 when none was.
  double AsFloat() const;
  bool AsBoolean() const;

  // Assigning a string cuts it to the field's width.
  void SetAsString(std::string_view value);
  void SetAsInteger(int32_t value);
  void SetAsFloat(double value);
  void SetAsBoolean(bool value);

 private:
  friend class Table;
  Field(Table* table, std::size_t index) : table_(table), index_(index) {}
  Table* table_;
  std::size_t index_;
};

class Table {
 public:
  // Writes an empty table with exactly `fields`, replacing a file of that
  // name. No index is made.
  static void Create(const std::filesystem::path& path,
                     std::span<const FieldDef> fields);

  // An inactive component bound to `path`.
  Table(std::string component_name, std::filesystem::path path);
  Table(Table&&) noexcept;
  Table& operator=(Table&&) noexcept;
  // Closes the table if it is open; errors are swallowed here, so callers
  // that write call Close() themselves to learn of a failed write.
  ~Table();

  const std::string& Name() const;
  const std::filesystem::path& Path() const;

  // Opens for exclusive use and stands on the first row. TableInUseError when
  // another holder has the file; TableError for a missing or corrupt file.
  // The file is found ignoring the letter case of its name. The lock is a
  // LockedFile (platform/locked_file.h): advisory, held until Close.
  void Open();
  // Writes the appended rows, the record count and the end marker, syncs
  // and releases the file. A failed write or flush raises TableError.
  void Close();
  // Open() or Close(); setting the current state again does nothing.
  void SetActive(bool active);
  bool Active() const;

  const std::vector<FieldDef>& Fields() const;
  // "<component>: No se encuentra el campo '<name>'" when absent.
  Field FieldByName(std::string_view name);
  std::optional<std::size_t> FindField(std::string_view name) const;

  // Cursor over rows in file order; deleted rows are skipped and, while
  // filtered, so are rows that do not pass the filter. Eof() is true after
  // Next() on the last row, and at once on an empty table.
  void First();
  void Next();
  bool Eof() const;

  // Filter text of the form  FIELD= 'value'  (inner quotes doubled):
  // case-sensitive equality of the field's value, read as by AsString.
  // Any other text raises TableError when the filter is switched on.
  void SetFilter(std::string_view text);
  // Switching on moves to the first row that passes.
  void SetFiltered(bool filtered);

  // Moves to the first row, in file order, whose fields equal the given
  // values (each compared as AsString gives it, case-sensitive), and returns
  // true; returns false and leaves the cursor at the end when no row does.
  // The same row a scan from First() would stop at, but served by a hash
  // index built once per field set while the table stays open. While the
  // table is filtered only rows that pass the filter are found, as a scan
  // would find them.
  struct Match {
    std::string_view field;
    std::string_view value;
  };
  bool Locate(std::span<const Match> matches);
  bool Locate(std::string_view field, std::string_view value);

  // Starts a new, blank row; Post() adds it after the others and the cursor
  // stands on it. As in dBase, moving the cursor (First, Next, Locate, a new
  // Append, a filter change) posts a row still being appended; Close drops
  // it. Assigning a field outside Append raises TableError.
  void Append();
  void Post();

 private:
  friend class Field;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Deletes the table's .DBF file and its .MDX production index, each if it
// exists; names are matched ignoring letter case. Failures are not reported.
void DeleteTableFiles(const std::filesystem::path& dbf_path);

}  // namespace tq::dbf
