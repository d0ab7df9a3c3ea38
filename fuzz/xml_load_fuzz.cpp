// Fuzzes loading an exchange document and the reads the export makes on it:
// any byte string must either load or raise tq::Error, and whatever loads
// must be walkable and serialisable without a crash, leak or overflow.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/error.h"
#include "platform/xml_document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    tq::xml::Document doc = tq::xml::Document::Parse(bytes, "fuzz.xml");
    const auto elements = doc.SelectNodes(
        "/SERVICIO/SALIDAS/listasal[@seq=\"MATERIAS\"]/listasal");
    for (const tq::xml::Node& element : elements) {
      for (const tq::xml::Node& value : element.SelectNodes("salida")) {
        (void)value.Text();
        (void)value.Attribute("dato");
      }
    }
    const tq::xml::Node root = doc.Root();
    (void)root.Text();
    (void)root.SelectSingleNode("SALIDAS");
    (void)doc.Serialize();
  } catch (const tq::Error&) {
    // Refusing the input with a message is a valid outcome.
  }
  return 0;
}
