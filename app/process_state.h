// The process-wide variables that both runs share.
//
// One ProcessState lives from start to end of the program (the window, or
// the command-line tool, owns it) and is handed to every run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/xml_document.h"

namespace tq {

struct ProcessState {
  // Full path (UTF-8) of the exchange document chosen last, by either run;
  // empty at start. A cancelled file dialog leaves it unchanged.
  std::string ArchivoXML;
  // The document the last run loaded; replaced by each run.
  std::unique_ptr<xml::Document> DocXML;
  // 2 in host mode, else 0.
  int32_t ModoAnfitrion = 0;
  // The result code handed to the host.
  int32_t CodigoResultado = 0;

  bool HostMode() const { return ModoAnfitrion == 2; }
};

}  // namespace tq
