// What the builders share: reading the list elements of a positional list,
// creating a table from its layout, the two rules that more than one builder
// applies, and the entries of the export report.
//
// Value texts are code page 1252 (tq::ValueText of a value's text content);
// report texts are UTF-8.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_run.h"
#include "formats/table_layouts.h"
#include "platform/dbf_table.h"
#include "platform/xml_document.h"

namespace tq {

// A positional list element with fewer values than this gives no row.
inline constexpr std::size_t kMinValuesPerRow = 2;

// The level written for a group or an assignment whose level is empty.
inline constexpr std::string_view kNivelVacio = "NIV";

// A subject identifier beginning with this letter, upper case only, names a
// task rather than a taught subject (ESTAREA, CTAREA).
inline constexpr char kTaskLetter = 'G';
bool NamesTask(std::string_view materia);

// The name of the output list that a list expression selects: the value of
// its [@seq="..."] step ("MATERIAS" for the subjects' expression).
std::string_view ListNameOf(std::string_view list_expression);

// One list element of a positional list: its values in document order.
class PositionalElement {
 public:
  explicit PositionalElement(const xml::Node& element);

  std::size_t ValueCount() const { return values_.size(); }
  // The value text at `position` (0-based); empty when the element has no
  // value there.
  std::string Text(std::size_t position) const;

 private:
  std::vector<xml::Node> values_;
};

// Calls `row` for each list element that `list_expression` selects and that
// gives a row (at least kMinValuesPerRow values), in document order, with its
// 0-based index among all the list's elements. The others are reported as
// passed over, in the same order.
using RowElementFn =
    std::function<void(std::size_t index, const PositionalElement& element)>;
void ForEachRowElement(const xml::Document& document,
                       std::string_view list_expression, ExportReport* report,
                       const RowElementFn& row);

// Creates `layout`'s table anew at `file` (no index) and opens it.
dbf::Table CreateTable(const TableLayout& layout,
                       const std::filesystem::path& file);

// Report entries; `report` may be null.
void ReportRows(ExportReport* report, const TableLayout& layout,
                std::size_t rows);
void ReportSkipped(ExportReport* report, std::string_view list_expression,
                   std::size_t index, std::string reason);

}  // namespace tq
