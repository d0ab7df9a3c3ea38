// The activity list of one scheduled lesson: the lesson's short codes from
// SOLUC turned into the management system's codes by reverse look-ups in the
// working tables that the export built.
//
// Every look-up takes the first row, in table order, whose compared field
// equals the wanted text exactly (case-sensitive, as the engine reads both);
// one that finds nothing leaves its default. Nothing carries over from one
// lesson to the next. All values are code page 1252 text, as the tables hold
// them; they are converted to UTF-8 only when written into the document.
//
// Engine errors (a missing field, an HORA that is not a whole number, ASIGT
// missing or held by another program) leave as exceptions and end the run.
#pragma once

#include <cstdint>
#include <string>

#include "platform/dbf_table.h"
#include "platform/xml_document.h"

namespace tq {

// The look-up tables of the main window, all but ASIGT already open. The run
// owns them; the step only moves their cursors.
struct LookupTables {
  dbf::Table& nom_asg;  // wwTableNomAsg, ASIGNOMT: COD -> MATERIA
  dbf::Table& tramos;   // wwTableTramos, DIASHORAST: DIHO -> CODDIHO, DIA
  dbf::Table& aulas;    // wwTableAulas, AULAT: ABREV -> DEPCENTRO
  dbf::Table& grupos;   // wwTableGrupos, GRUPOST: ABREV -> UNIDAD
  dbf::Table& asig;     // wwTableAsig, ASIGT: CASIG + CGRUP -> MATERIA;
                        // opened by the step when first needed
};

// The six values of one activity list (code page 1252), with what each
// look-up searched for and whether it found a row.
struct ActivityValues {
  std::string activity;  // X_ACTIVIDAD
  std::string slot_day;  // N_DIASEMANA
  std::string slot;      // X_TRAMO
  std::string room;      // X_DEPCENTRO
  std::string unit;      // X_UNIDAD
  std::string subject;   // X_MATERIAOMC

  std::string slot_key;     // day letter + hour, the DIHO searched for
  bool slot_found = false;
  bool room_found = false;  // AULAT.ABREV = AULA
  bool unit_found = false;  // GRUPOST.ABREV = CODGRUPO
  bool subject_found = false;  // by ASIGT, or by ASIGNOMT in the fallback
};

// The key of a lesson's time slot: the letter of the day text "1" to "7"
// (none for any other text) followed by the hour in decimal, without leading
// zeros, a negative hour keeping its sign: ("3", 4) -> "X4", ("8", 2) -> "2".
std::string DayHourKey(std::string_view day_text, int32_t hour);

// Reads TAREA, AULA, CODGRUPO, ASIG, DIA (as text) and HORA (as integer) from
// the current SOLUC row and performs the look-ups.
ActivityValues LookUpActivity(dbf::Table& soluc, LookupTables& tables);

// Appends the activity list "ACTIVIDAD_<m>" with its six values to
// `teacher_list` and raises m by one.
void AppendActivityList(xml::Document& document, xml::Node teacher_list,
                        int32_t& m, const ActivityValues& values);

// The per-lesson step: LookUpActivity, then AppendActivityList.
ActivityValues AddActivityEntry(xml::Document& document,
                                xml::Node teacher_list, int32_t& m,
                                dbf::Table& soluc, LookupTables& tables);

}  // namespace tq
