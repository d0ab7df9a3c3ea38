#include "import/activity_entry.h"

#include <array>
#include <string_view>

#include "formats/day_letters.h"
#include "formats/exchange_names.h"
#include "formats/table_layouts.h"
#include "platform/cp1252.h"

namespace tq {
namespace {

// The value of `wanted` in the first row of `table` whose `field` equals
// `key`; nullopt when no row does. Locate gives the row a scan from the
// first row would stop at.
std::optional<std::string> FirstMatch(dbf::Table& table, std::string_view field,
                                      std::string_view key,
                                      std::string_view wanted) {
  if (!table.Locate(field, key)) return std::nullopt;
  return table.FieldByName(wanted).AsString();
}

bool IsBlank(std::string_view text) { return TrimControl(text).empty(); }

void AddValue(xml::Document& document, xml::Node parent, std::string_view key,
              std::string_view ansi_text) {
  xml::Node value = document.CreateElement(exchange::kSalida);
  value.SetAttribute(exchange::kDato, key);
  value.SetText(AnsiToUtf8(ansi_text));
  parent.AppendChild(value);
}

}  // namespace

std::string DayHourKey(std::string_view day_text, int32_t hour) {
  std::string key;
  if (const auto letter = DayLetterOf(day_text)) key.push_back(*letter);
  key += std::to_string(hour);
  return key;
}

ActivityValues LookUpActivity(dbf::Table& soluc, LookupTables& tables) {
  using namespace field;
  const std::string tarea = soluc.FieldByName(kTarea).AsString();
  const std::string aula = soluc.FieldByName(kAula).AsString();
  const std::string codgrupo = soluc.FieldByName(kCodgrupo).AsString();
  const std::string asig = soluc.FieldByName(kAsig).AsString();
  // A numeric DIA reads as its number ("1"), a character one as written.
  const std::string day_text = soluc.FieldByName(kDia).AsString();
  const int32_t hour = soluc.FieldByName(kHora).AsInteger();

  ActivityValues values;

  // A matched task gives its subject code, an unmatched one the task itself,
  // and a blank result the fixed default.
  values.activity = FirstMatch(tables.nom_asg, kCod, tarea, kMateria)
                        .value_or(tarea);
  if (IsBlank(values.activity)) {
    values.activity = std::string(exchange::kDefaultActivity);
  }

  values.slot_key = DayHourKey(day_text, hour);
  if (tables.tramos.Locate(kDiho, values.slot_key)) {
    values.slot_found = true;
    values.slot = tables.tramos.FieldByName(kCoddiho).AsString();
    values.slot_day = tables.tramos.FieldByName(kDia).AsString();
  }

  if (auto room = FirstMatch(tables.aulas, kAbrev, aula, kDepcentro)) {
    values.room_found = true;
    values.room = std::move(*room);
  }

  if (auto unit = FirstMatch(tables.grupos, kAbrev, codgrupo, kUnidad)) {
    values.unit_found = true;
    values.unit = std::move(*unit);
  }

  // ASIGT's component is opened at the first lesson that needs it.
  tables.asig.SetActive(true);
  const std::array<dbf::Table::Match, 2> by_subject_and_group = {{
      {kCasig, asig},
      {kCgrup, codgrupo},
  }};
  if (tables.asig.Locate(by_subject_and_group)) {
    values.subject_found = true;
    values.subject = tables.asig.FieldByName(kMateria).AsString();
  }
  if (IsBlank(values.subject)) {
    if (auto subject = FirstMatch(tables.nom_asg, kCod, asig, kMateria)) {
      values.subject_found = true;
      values.subject = std::move(*subject);
    }
  }
  return values;
}

void AppendActivityList(xml::Document& document, xml::Node teacher_list,
                        int32_t& m, const ActivityValues& values) {
  using namespace exchange;
  xml::Node activity = document.CreateElement(kListasal);
  activity.SetAttribute(kSeq,
                        std::string(kActivityListPrefix) + std::to_string(m));
  ++m;
  teacher_list.AppendChild(activity);
  AddValue(document, activity, kXActividadKey, values.activity);
  AddValue(document, activity, kNDiasemanaKey, values.slot_day);
  AddValue(document, activity, kXTramoKey, values.slot);
  AddValue(document, activity, kXDepcentroKey, values.room);
  AddValue(document, activity, kXUnidadKey, values.unit);
  AddValue(document, activity, kXMateriaomcKey, values.subject);
}

ActivityValues AddActivityEntry(xml::Document& document,
                                xml::Node teacher_list, int32_t& m,
                                dbf::Table& soluc, LookupTables& tables) {
  ActivityValues values = LookUpActivity(soluc, tables);
  AppendActivityList(document, teacher_list, m, values);
  return values;
}

}  // namespace tq
