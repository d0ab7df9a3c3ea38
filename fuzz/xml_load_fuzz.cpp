// Fuzzes loading an exchange document, the reads the export makes on it and
// the edits the import makes: any byte string must either load or raise
// tq::Error; whatever loads must be walkable, editable and serialisable
// without a crash, leak or overflow, and what we write must load again.
// The import's own way (the document loaded without its first SALIDAS, the
// new one streamed while written) must load the same documents and write
// the same bytes as the edits made on the whole tree.
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
    const bool had_salidas = !old.IsNull();
    if (old) root.RemoveChild(old);
    tq::xml::Node salidas = root.AppendChild(doc.CreateElement("SALIDAS"));
    // The section's children: a value with the text read, and a list
    // holding it, or nothing at all.
    const bool empty_section = last_text.size() % 3 == 1;
    const auto make_section = [&](tq::xml::Document& target,
                                  const auto& emit) {
      if (empty_section) return;
      tq::xml::Node value = target.CreateElement("salida");
      value.SetAttribute("dato", last_text);
      value.SetText(last_text);
      emit(value);
      tq::xml::Node list = target.CreateElement("listasal");
      list.SetAttribute("seq", last_text);
      list.AppendChild(target.CreateElement("salida")).SetText(last_text);
      emit(list);
    };
    make_section(doc, [&](tq::xml::Node n) { salidas.AppendChild(n); });
    const std::string written = doc.Serialize();
    try {
      (void)tq::xml::Document::Parse(written, "written.xml");
    } catch (const tq::Error&) {
      std::abort();  // we wrote a document we cannot read back
    }

    std::string streamed;
    try {
      bool found = !had_salidas;
      tq::xml::Document left = tq::xml::Document::ParseWithoutFirstChild(
          bytes, "fuzz.xml", "SALIDAS", found);
      if (found != had_salidas) std::abort();
      tq::xml::Node placeholder =
          left.Root().AppendChild(left.CreateElement("SALIDAS"));
      streamed = left.SerializeWithStreamedSection(
          placeholder, [&](tq::xml::SectionWriter& writer) {
            make_section(left, [&](tq::xml::Node n) { writer.Write(n); });
          });
    } catch (const tq::Error&) {
      std::abort();  // refused what the whole tree took
    }
    if (streamed != written) std::abort();
  } catch (const tq::Error&) {
    // Refusing the input with a message is a valid outcome.
  }
  return 0;
}
