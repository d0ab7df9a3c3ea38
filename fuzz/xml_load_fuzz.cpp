// Fuzzes loading an exchange document, the reads the export makes on it and
// the edits the import makes: any byte string must either load or raise
// tq::Error; whatever loads must be walkable, editable and serialisable
// without a crash, leak or overflow, and what we write must load again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/xml_document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    tq::xml::Document doc = tq::xml::Document::Parse(bytes, "fuzz.xml");
    std::string last_text;
    const auto elements = doc.SelectNodes(
        "/SERVICIO/SALIDAS/listasal[@seq=\"MATERIAS\"]/listasal");
    for (const tq::xml::Node& element : elements) {
      for (const tq::xml::Node& value : element.SelectNodes("salida")) {
        last_text = value.Text();
        (void)value.Attribute("dato");
      }
    }
    tq::xml::Node root = doc.Root();
    (void)root.Text();
    (void)doc.Serialize();

    // The import's edits, fed with text read from the document.
    if (!root) return 0;
    tq::xml::Node old = root.SelectSingleNode("SALIDAS");
    if (old) root.RemoveChild(old);
    tq::xml::Node salidas = root.AppendChild(doc.CreateElement("SALIDAS"));
    tq::xml::Node value = salidas.AppendChild(doc.CreateElement("salida"));
    value.SetAttribute("dato", last_text);
    value.SetText(last_text);
    const std::string written = doc.Serialize();
    try {
      (void)tq::xml::Document::Parse(written, "written.xml");
    } catch (const tq::Error&) {
      std::abort();  // we wrote a document we cannot read back
    }
  } catch (const tq::Error&) {
    // Refusing the input with a message is a valid outcome.
  }
  return 0;
}
