#include "formats/table_layouts.h"

#include <array>
#include <string>

namespace tq {
namespace {

using dbf::FieldDef;
using dbf::FieldKind;

FieldDef C(std::string_view name, int width) {
  return {std::string(name), FieldKind::kString, width};
}
FieldDef L(std::string_view name) {
  return {std::string(name), FieldKind::kBoolean, 0};
}
FieldDef I(std::string_view name) {
  return {std::string(name), FieldKind::kInteger, 0};
}
FieldDef F(std::string_view name) {
  return {std::string(name), FieldKind::kFloat, 0};
}

using namespace field;

const std::array kAsignomtFields = {
    C(kCod, 4), C(kCodlargo, 8), C(kNombre, 40), C(kMateria, 8), L(kEstarea),
};
const std::array kProftFields = {
    C(kAbrev, 4),      C(kNombre, 40),   C(kDepart, 40),
    I(kDni),           C(kXEmpleado, 10), C(kFTomapos, 10),
};
const std::array kAulatFields = {
    C(kAbrev, 4), C(kNombre, 40), C(kEdificio, 1), I(kMaxalum),
    C(kDepcentro, 10),
};
const std::array kGrupostFields = {
    C(kAbrev, 4), C(kTurno, 1),   C(kNivel, 5),    C(kCurso, 3),
    C(kGrupo, 2), C(kUnidad, 10), C(kDescrip, 40),
};
const std::array kAsigtFields = {
    C(kCasig, 4), C(kCprof, 4),      C(kCgrup, 4),    C(kCaula, 4),
    C(kTurno, 1), C(kNivel, 5),      C(kCurso, 3),    C(kGrupo, 2),
    F(kHoras),    C(kSesiones, 20), C(kMateria, 10), C(kCtarea, 4),
};
const std::array kDiashorastFields = {
    C(kDiho, 10),     C(kCoddiho, 10),   C(kDia, 20),       C(kTextodia, 20),
    C(kHora, 8),      C(kHoradesde, 8),  C(kHorahasta, 8),  C(kMinutos, 8),
};

}  // namespace

const TableLayout kAsignomt{"ASIGNOMT", kAsignomtFields};
const TableLayout kProft{"PROFT", kProftFields};
const TableLayout kAulat{"AULAT", kAulatFields};
const TableLayout kGrupost{"GRUPOST", kGrupostFields};
const TableLayout kAsigt{"ASIGT", kAsigtFields};
const TableLayout kDiashorast{"DIASHORAST", kDiashorastFields};

namespace {
const std::array<const TableLayout*, 6> kExportTableList = {
    &kAsignomt, &kProft, &kAulat, &kGrupost, &kAsigt, &kDiashorast};
}
const std::span<const TableLayout* const> kExportTables = kExportTableList;

std::string DataFileName(std::string_view table_name) {
  return std::string(table_name) + std::string(kDataFileExtension);
}

}  // namespace tq
