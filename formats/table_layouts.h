// The working tables: their names, files and fields, as data.
//
// The export writes the six tables in the order of kExportTables; the
// timetabling program writes SOLUC. Field names are upper case, at most ten
// characters; every table's fields stand in the order given here.
#pragma once

#include <span>
#include <string_view>

#include "platform/dbf_table.h"

namespace tq {

// Field names, each written once.
namespace field {
inline constexpr std::string_view kCod = "COD";
inline constexpr std::string_view kCodlargo = "CODLARGO";
inline constexpr std::string_view kNombre = "NOMBRE";
inline constexpr std::string_view kMateria = "MATERIA";
inline constexpr std::string_view kEstarea = "ESTAREA";
inline constexpr std::string_view kAbrev = "ABREV";
inline constexpr std::string_view kDepart = "DEPART";
inline constexpr std::string_view kDni = "DNI";
inline constexpr std::string_view kXEmpleado = "X_EMPLEADO";
inline constexpr std::string_view kFTomapos = "F_TOMAPOS";
inline constexpr std::string_view kEdificio = "EDIFICIO";
inline constexpr std::string_view kMaxalum = "MAXALUM";
inline constexpr std::string_view kDepcentro = "DEPCENTRO";
inline constexpr std::string_view kTurno = "TURNO";
inline constexpr std::string_view kNivel = "NIVEL";
inline constexpr std::string_view kCurso = "CURSO";
inline constexpr std::string_view kGrupo = "GRUPO";
inline constexpr std::string_view kUnidad = "UNIDAD";
inline constexpr std::string_view kDescrip = "DESCRIP";
inline constexpr std::string_view kCasig = "CASIG";
inline constexpr std::string_view kCprof = "CPROF";
inline constexpr std::string_view kCgrup = "CGRUP";
inline constexpr std::string_view kCaula = "CAULA";
inline constexpr std::string_view kHoras = "HORAS";
inline constexpr std::string_view kSesiones = "SESIONES";
inline constexpr std::string_view kCtarea = "CTAREA";
inline constexpr std::string_view kDiho = "DIHO";
inline constexpr std::string_view kCoddiho = "CODDIHO";
inline constexpr std::string_view kDia = "DIA";
inline constexpr std::string_view kTextodia = "TEXTODIA";
inline constexpr std::string_view kHora = "HORA";
inline constexpr std::string_view kHoradesde = "HORADESDE";
inline constexpr std::string_view kHorahasta = "HORAHASTA";
inline constexpr std::string_view kMinutos = "MINUTOS";
// SOLUC, as the timetabling program writes it.
inline constexpr std::string_view kProf = "PROF";
inline constexpr std::string_view kTarea = "TAREA";
inline constexpr std::string_view kAula = "AULA";
inline constexpr std::string_view kCodgrupo = "CODGRUPO";
inline constexpr std::string_view kAsig = "ASIG";
}  // namespace field

struct TableLayout {
  std::string_view name;  // table name; its file is name + ".DBF"
  std::span<const dbf::FieldDef> fields;
};

extern const TableLayout kAsignomt;    // subjects
extern const TableLayout kProft;       // teachers
extern const TableLayout kAulat;       // rooms
extern const TableLayout kGrupost;     // groups
extern const TableLayout kAsigt;       // teaching assignments
extern const TableLayout kDiashorast;  // time slots

// The six tables the export writes, in the order it writes them.
extern const std::span<const TableLayout* const> kExportTables;

// The solution table: only its name is ours, its fields are the
// timetabling program's.
inline constexpr std::string_view kSoluc = "SOLUC";

inline constexpr std::string_view kDataFileExtension = ".DBF";
inline constexpr std::string_view kIndexFileExtension = ".MDX";

// "<name>.DBF"
std::string DataFileName(std::string_view table_name);

}  // namespace tq
