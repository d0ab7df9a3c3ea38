// ExportarAsignaciones: the list "ASIGNATURAS" into ASIGT, one row per
// teaching assignment.
//
// Positions: 0 CASIG, 1 CGRUP, 2 CAULA, 3 TURNO, 4 NIVEL ("NIV" when empty),
// 5 CURSO, 6 GRUPO, 7 the minutes, 8 MATERIA. CPROF is never assigned.
//
// HORAS: the minutes m (a 32-bit decimal integer; anything else raises
// ConversionError) give m / 60 hours, unrounded; HORAS is then read back from
// the row and raised to 1 when below, so it is the larger of 1 and m / 60,
// and 1 when the minutes are empty. SESIONES: with n = HORAS rounded up, n
// times "1" up to 13, else n - 13 in decimal followed by thirteen "1".
//
// CTAREA: "LE" unless MATERIA begins with "G"; then the COD of the first row
// of ASIGNOMT (as written in this run, in table order) whose MATERIA equals
// it exactly, or MATERIA itself when no row does.
#include <cmath>
#include <string>

#include "export/builder_support.h"
#include "export/builders.h"
#include "formats/dataset_names.h"
#include "formats/exchange_names.h"
#include "formats/table_layouts.h"
#include "platform/integer_text.h"

namespace tq {
namespace {

// CTAREA of an assignment whose subject is not a task.
constexpr std::string_view kTareaLectiva = "LE";

constexpr double kMinutesPerHour = 60.0;
constexpr double kMinHours = 1.0;
// Up to this many lessons SESIONES is one "1" per lesson; beyond, the excess
// is written in decimal before that many "1".
constexpr double kMaxUnitLessons = 13;

std::string LessonString(double hours) {
  const double lessons = std::ceil(hours);
  if (lessons <= kMaxUnitLessons) {
    return std::string(static_cast<std::size_t>(lessons), '1');
  }
  const auto excess = static_cast<long long>(lessons - kMaxUnitLessons);
  return std::to_string(excess) +
         std::string(static_cast<std::size_t>(kMaxUnitLessons), '1');
}

}  // namespace

void ExportarAsignaciones(const BuilderContext& context) {
  dbf::Table table = CreateTable(kAsigt, context.table_file);
  dbf::Field casig = table.FieldByName(field::kCasig);
  dbf::Field cgrup = table.FieldByName(field::kCgrup);
  dbf::Field caula = table.FieldByName(field::kCaula);
  dbf::Field turno = table.FieldByName(field::kTurno);
  dbf::Field nivel = table.FieldByName(field::kNivel);
  dbf::Field curso = table.FieldByName(field::kCurso);
  dbf::Field grupo = table.FieldByName(field::kGrupo);
  dbf::Field horas = table.FieldByName(field::kHoras);
  dbf::Field sesiones = table.FieldByName(field::kSesiones);
  dbf::Field materia = table.FieldByName(field::kMateria);
  dbf::Field ctarea = table.FieldByName(field::kCtarea);

  // Opened at the first task subject, closed when the builder ends.
  dbf::Table subjects{std::string(dataset::kNomAsg), context.subjects_file};

  std::size_t rows = 0;
  const auto write_row = [&](std::size_t, const PositionalElement& element) {
    std::string level = element.Text(4);
    if (level.empty()) level = kNivelVacio;
    const std::string minutes = element.Text(7);
    const std::string subject = element.Text(8);

    table.Append();
    casig.SetAsString(element.Text(0));
    cgrup.SetAsString(element.Text(1));
    caula.SetAsString(element.Text(2));
    turno.SetAsString(element.Text(3));
    nivel.SetAsString(level);
    curso.SetAsString(element.Text(5));
    grupo.SetAsString(element.Text(6));

    if (!minutes.empty()) horas.SetAsFloat(StrToInt(minutes) / kMinutesPerHour);
    if (horas.AsFloat() < kMinHours) horas.SetAsFloat(kMinHours);
    sesiones.SetAsString(LessonString(horas.AsFloat()));

    materia.SetAsString(subject);
    std::string task_code(kTareaLectiva);
    if (NamesTask(subject)) {
      subjects.SetActive(true);
      task_code = subjects.Locate(field::kMateria, subject)
                      ? subjects.FieldByName(field::kCod).AsString()
                      : subject;
    }
    ctarea.SetAsString(task_code);
    table.Post();
    ++rows;
  };
  ForEachRowElement(context.document, exchange::kAsignaturasExpression,
                    context.report, write_row);
  subjects.SetActive(false);
  table.Close();
  ReportRows(context.report, kAsigt, rows);
}

}  // namespace tq
