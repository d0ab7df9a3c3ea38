// ExportarTramos: the keyed list "TRAMOS" into DIASHORAST, one row per time
// slot.
//
// Every list element gives a row, also one without values. Its values are
// read in document order and each sets the slot value its key names to its
// value text, the last one winning; "NOMBRE" and "DIA" set the same slot
// value, the slot name. Keys are compared exactly (no trimming, letter case
// significant); a value with any other key, or without a key, is ignored.
//
// DIHO is the slot name, DIA the day digit of its first character (the
// character itself when it is no day letter, empty for an empty name), HORA
// its second and third characters, CODDIHO the slot code, HORADESDE and
// HORAHASTA the start and end, MINUTOS the "NINUTOS" text as it is.
// TEXTODIA is never assigned.
#include <array>
#include <optional>
#include <string>

#include "export/builder_support.h"
#include "export/builders.h"
#include "formats/day_letters.h"
#include "formats/exchange_names.h"
#include "formats/table_layouts.h"
#include "platform/cp1252.h"

namespace tq {
namespace {

enum Slot { kCode, kName, kStart, kEnd, kMinutes, kSlotCount };

struct KeyedSlot {
  std::string_view key;
  Slot slot;
};
constexpr std::array<KeyedSlot, 6> kKeys = {{
    {exchange::tramos::kCodigoGestaro, kCode},
    {exchange::tramos::kNombre, kName},
    {exchange::tramos::kDia, kName},
    {exchange::tramos::kInicio, kStart},
    {exchange::tramos::kFin, kEnd},
    {exchange::tramos::kNinutos, kMinutes},
}};

// The hour of a slot name: its characters at these positions, as many as it
// has.
constexpr std::size_t kHourFrom = 1;
constexpr std::size_t kHourLength = 2;

std::optional<Slot> SlotOfKey(std::string_view key) {
  for (const KeyedSlot& keyed : kKeys) {
    if (keyed.key == key) return keyed.slot;
  }
  return std::nullopt;
}

}  // namespace

void ExportarTramos(const BuilderContext& context) {
  dbf::Table table = CreateTable(kDiashorast, context.table_file);
  dbf::Field diho = table.FieldByName(field::kDiho);
  dbf::Field dia = table.FieldByName(field::kDia);
  dbf::Field hora = table.FieldByName(field::kHora);
  dbf::Field coddiho = table.FieldByName(field::kCoddiho);
  dbf::Field horadesde = table.FieldByName(field::kHoradesde);
  dbf::Field horahasta = table.FieldByName(field::kHorahasta);
  dbf::Field minutos = table.FieldByName(field::kMinutos);

  std::size_t rows = 0;
  for (const xml::Node& element :
       context.document.SelectNodes(exchange::kTramosExpression)) {
    std::array<std::string, kSlotCount> slots;
    for (const xml::Node& value :
         element.SelectNodes(exchange::kValuesExpression)) {
      const std::optional<std::string> key = value.Attribute(exchange::kDato);
      if (!key) continue;
      // Keys are compared as 8-bit text, converted without trimming.
      const std::optional<Slot> slot = SlotOfKey(Utf8ToAnsi(*key));
      if (slot) slots[*slot] = ValueText(value.Text());
    }
    const std::string& name = slots[kName];
    const std::string day =
        name.empty() ? std::string() : std::string(1, DayDigitOf(name.front()));
    const std::string hour = name.size() > kHourFrom
                                 ? name.substr(kHourFrom, kHourLength)
                                 : std::string();

    table.Append();
    diho.SetAsString(name);
    dia.SetAsString(day);
    hora.SetAsString(hour);
    coddiho.SetAsString(slots[kCode]);
    horadesde.SetAsString(slots[kStart]);
    horahasta.SetAsString(slots[kEnd]);
    minutos.SetAsString(slots[kMinutes]);
    table.Post();
    ++rows;
  }
  table.Close();
  ReportRows(context.report, kDiashorast, rows);
}

}  // namespace tq
