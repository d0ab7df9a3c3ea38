#include "export/builder_support.h"

#include <utility>

#include "formats/exchange_names.h"
#include "platform/cp1252.h"

namespace tq {

bool NamesTask(std::string_view materia) {
  return !materia.empty() && materia.front() == kTaskLetter;
}

std::string_view ListNameOf(std::string_view list_expression) {
  constexpr std::string_view kOpen = "[@seq=\"";
  const auto start = list_expression.find(kOpen);
  if (start == std::string_view::npos) return {};
  const auto from = start + kOpen.size();
  const auto end = list_expression.find('"', from);
  if (end == std::string_view::npos) return {};
  return list_expression.substr(from, end - from);
}

PositionalElement::PositionalElement(const xml::Node& element)
    : values_(element.SelectNodes(exchange::kValuesExpression)) {}

std::string PositionalElement::Text(std::size_t position) const {
  if (position >= values_.size()) return {};
  return ValueText(values_[position].Text());
}

void ForEachRowElement(const xml::Document& document,
                       std::string_view list_expression, ExportReport* report,
                       const RowElementFn& row) {
  const std::vector<xml::Node> elements = document.SelectNodes(list_expression);
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const PositionalElement element(elements[i]);
    if (element.ValueCount() < kMinValuesPerRow) {
      ReportSkipped(report, list_expression, i,
                    element.ValueCount() == 0 ? "no tiene valores"
                                              : "tiene un solo valor");
      continue;
    }
    row(i, element);
  }
}

dbf::Table CreateTable(const TableLayout& layout,
                       const std::filesystem::path& file) {
  dbf::Table::Create(file, layout.fields);
  dbf::Table table{std::string(layout.name), file};
  table.Open();
  return table;
}

void ReportRows(ExportReport* report, const TableLayout& layout,
                std::size_t rows) {
  if (report == nullptr) return;
  report->tables.push_back({std::string(layout.name), rows});
}

void ReportSkipped(ExportReport* report, std::string_view list_expression,
                   std::size_t index, std::string reason) {
  if (report == nullptr) return;
  report->skipped.push_back(
      {std::string(ListNameOf(list_expression)), index, std::move(reason)});
}

}  // namespace tq
