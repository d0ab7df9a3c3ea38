// Names of the main window's dataset components, each bound to one working
// table. They prefix the engine's messages ("wwTableSoluc: No se encuentra
// el campo 'AULA'"), so they are the names the user reads.
#pragma once

#include <string_view>

namespace tq::dataset {

inline constexpr std::string_view kSoluc = "wwTableSoluc";        // SOLUC
inline constexpr std::string_view kGrupos = "wwTableGrupos";      // GRUPOST
inline constexpr std::string_view kProfesor = "wwTableProfesor";  // PROFT
inline constexpr std::string_view kAulas = "wwTableAulas";        // AULAT
inline constexpr std::string_view kNomAsg = "wwTableNomAsg";      // ASIGNOMT
inline constexpr std::string_view kTramos = "wwTableTramos";      // DIASHORAST
inline constexpr std::string_view kAsig = "wwTableAsig";          // ASIGT

}  // namespace tq::dataset
