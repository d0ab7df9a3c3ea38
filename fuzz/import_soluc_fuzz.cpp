// Fuzzes the import run on a mutated solution table: the working tables come
// from exporting a small fixed document once per process; each input's bytes
// become SOLUC.DBF and the import runs over them with that document. Any
// input must complete or raise tq::Error; a crash, leak, overflow or
// undefined behaviour is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "app/process_state.h"
#include "export/export_run.h"
#include "fuzz/fuzz_port.h"
#include "import/import_run.h"
#include "platform/error.h"

namespace {

namespace fs = std::filesystem;

// Two of everything, with the codes the seeds' SOLUC rows use.
constexpr std::string_view kDocument = R"(<?xml version="1.0" encoding="UTF-8"?>
<SERVICIO><SALIDAS>
<listasal seq="MATERIAS">
 <listasal><salida>300101</salida><salida>MAT</salida><salida>MATEMAT</salida><salida>Matemáticas</salida></listasal>
 <listasal><salida>G001</salida><salida>GUA</salida><salida>GUARDIA</salida><salida>Guardia</salida></listasal>
</listasal>
<listasal seq="PROFESORES">
 <listasal><salida>1001</salida><salida>01/09/2010</salida><salida>Ana</salida><salida>A1</salida></listasal>
 <listasal><salida>1002</salida><salida>01/09/2012</salida><salida>O'Neill</salida><salida>O'N</salida></listasal>
</listasal>
<listasal seq="AULAS">
 <listasal><salida>D1</salida><salida>A01</salida><salida>Aula 1</salida><salida>A</salida></listasal>
</listasal>
<listasal seq="GRUPOS">
 <listasal><salida>U1</salida><salida>1A</salida><salida>M</salida><salida>ESO</salida><salida>1</salida><salida>A</salida></listasal>
</listasal>
<listasal seq="ASIGNATURAS">
 <listasal><salida>MAT</salida><salida>1A</salida><salida>A01</salida><salida>M</salida><salida>ESO</salida><salida>1</salida><salida>A</salida><salida>240</salida><salida>300101</salida></listasal>
</listasal>
<listasal seq="TRAMOS">
 <listasal><salida dato="CODIGO_GESTARO">9001</salida><salida dato="DIA">L1</salida><salida dato="INICIO">08:30</salida><salida dato="FIN">09:25</salida><salida dato="NINUTOS">55</salida></listasal>
</listasal>
</SALIDAS></SERVICIO>
)";

struct Fixture {
  fs::path document;
  fs::path work;
  Fixture() {
    const fs::path& scratch = tq::fuzz::ScratchFolder("import_soluc_fuzz");
    document = scratch / "datos.xml";
    work = scratch / "work";
    tq::fuzz::WriteBytes(document, kDocument.data(), kDocument.size());
    tq::ProcessState state;
    tq::fuzz::SilentPort port(document.string());
    tq::BExportarClick(state, port, work);  // a failure here is a fault
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static const Fixture fixture;
  tq::fuzz::WriteBytes(fixture.work / "SOLUC.DBF", data, size);
  tq::ProcessState state;
  tq::fuzz::SilentPort port(fixture.document.string());
  try {
    tq::ImportReport report;
    tq::BImportarClick(state, port, fixture.work, &report);
  } catch (const tq::Error&) {
  }
  return 0;
}
