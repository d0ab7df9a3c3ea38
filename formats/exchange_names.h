// Names of the exchange document: elements, attributes, list names, list
// expressions, keys and the fixed texts of the result document.
//
// All names are case-sensitive and carry no namespace.
#pragma once

#include <string_view>

namespace tq::exchange {

// Elements and attributes.
inline constexpr std::string_view kServicio = "SERVICIO";  // root
inline constexpr std::string_view kSalidas = "SALIDAS";    // output lists
inline constexpr std::string_view kListasal = "listasal";  // a list
inline constexpr std::string_view kSeq = "seq";            // a list's name
inline constexpr std::string_view kSalida = "salida";      // a value
inline constexpr std::string_view kDato = "dato";          // a value's key
inline constexpr std::string_view kError = "ERROR";        // status block

// Selects the values of a list element, relative to it.
inline constexpr std::string_view kValuesExpression = kSalida;

// List expressions of the output lists that the export reads.
inline constexpr std::string_view kMateriasExpression =
    R"(/SERVICIO/SALIDAS/listasal[@seq="MATERIAS"]/listasal)";
inline constexpr std::string_view kProfesoresExpression =
    R"(/SERVICIO/SALIDAS/listasal[@seq="PROFESORES"]/listasal)";
inline constexpr std::string_view kAulasExpression =
    R"(/SERVICIO/SALIDAS/listasal[@seq="AULAS"]/listasal)";
inline constexpr std::string_view kGruposExpression =
    R"(/SERVICIO/SALIDAS/listasal[@seq="GRUPOS"]/listasal)";
inline constexpr std::string_view kAsignaturasExpression =
    R"(/SERVICIO/SALIDAS/listasal[@seq="ASIGNATURAS"]/listasal)";
inline constexpr std::string_view kTramosExpression =
    R"(/SERVICIO/SALIDAS/listasal[@seq="TRAMOS"]/listasal)";

// Keys of the keyed list "TRAMOS". "DIA" sets the same slot value as
// "NOMBRE"; "NINUTOS" is spelt so in the documents.
namespace tramos {
inline constexpr std::string_view kCodigoGestaro = "CODIGO_GESTARO";
inline constexpr std::string_view kNombre = "NOMBRE";
inline constexpr std::string_view kDia = "DIA";
inline constexpr std::string_view kInicio = "INICIO";
inline constexpr std::string_view kFin = "FIN";
inline constexpr std::string_view kNinutos = "NINUTOS";
}  // namespace tramos

// The result document written by the import.
inline constexpr std::string_view kResultPrefix = "ResultadoQuadrix";
inline constexpr std::string_view kCnErrorKey = "CN_ERROR";
inline constexpr std::string_view kCnErrorText = "0";
inline constexpr std::string_view kTeErrorKey = "TE_ERROR";
inline constexpr std::string_view kTeErrorText =
    "Servicio finalizado Correctamente";
inline constexpr std::string_view kTeacherListPrefix = "EMPLEADO_";
inline constexpr std::string_view kXEmpleadoKey = "X_EMPLEADO";
inline constexpr std::string_view kFTomaposKey = "F_TOMAPOS";
inline constexpr std::string_view kActivityListPrefix = "ACTIVIDAD_";
inline constexpr std::string_view kXActividadKey = "X_ACTIVIDAD";
inline constexpr std::string_view kNDiasemanaKey = "N_DIASEMANA";
inline constexpr std::string_view kXTramoKey = "X_TRAMO";
inline constexpr std::string_view kXDepcentroKey = "X_DEPCENTRO";
inline constexpr std::string_view kXUnidadKey = "X_UNIDAD";
inline constexpr std::string_view kXMateriaomcKey = "X_MATERIAOMC";

// The activity code written when a lesson's task gives none.
inline constexpr std::string_view kDefaultActivity = "G439";

}  // namespace tq::exchange
