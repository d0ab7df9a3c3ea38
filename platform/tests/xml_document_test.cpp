#include "platform/xml_document.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/error.h"

namespace tq::xml {
namespace {

namespace fs = std::filesystem;

constexpr char kName[] = "/x/a.xml";

// Re-encodes UTF-8 text (BMP only) as UTF-16LE with a byte-order mark.
std::string Utf16LeWithBom(std::string_view utf8) {
  std::string out = "\xFF\xFE";
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    unsigned code = 0;
    if (c < 0x80) {
      code = c;
      i += 1;
    } else if ((c & 0xE0) == 0xC0) {
      code = ((c & 0x1Fu) << 6) | (utf8[i + 1] & 0x3F);
      i += 2;
    } else {
      code = ((c & 0x0Fu) << 12) | ((utf8[i + 1] & 0x3Fu) << 6) |
             (utf8[i + 2] & 0x3F);
      i += 3;
    }
    out += static_cast<char>(code & 0xFF);
    out += static_cast<char>(code >> 8);
  }
  return out;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)),
                     std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> Texts(const std::vector<Node>& nodes) {
  std::vector<std::string> texts;
  for (const Node& node : nodes) texts.push_back(node.Text());
  return texts;
}

// The message of the XmlError `action` raises; fails the test when it
// raises nothing.
template <typename Action>
std::string XmlErrorOf(Action action) {
  try {
    action();
  } catch (const XmlError& error) {
    return error.what();
  }
  ADD_FAILURE() << "no XmlError raised";
  return std::string();
}

class XmlDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ = fs::temp_directory_path() /
           ("tq_xml_test_" + std::to_string(random()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    // Give back what a test took away, or remove_all cannot empty it.
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, ec);
    for (auto it = fs::recursive_directory_iterator(dir_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory()) {
        fs::permissions(it->path(), fs::perms::owner_all, ec);
      }
    }
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

// --- Round trips -----------------------------------------------------------

TEST_F(XmlDocumentTest, RoundTripKeepsDeclarationAndUntouchedNodes) {
  struct Case {
    const char* name;
    std::string bytes;      // as loaded
    std::string expected;   // as saved
    const char* text;       // UTF-8 text of <a>
    const char* attribute;  // UTF-8 value of a/@x
  };
  const std::string body_utf8 =
      "<SERVICIO>\n  <a x=\"\xC3\xA9\">\xC3\xA9 <![CDATA[<b>]]></a>\n"
      "\t<!-- c\xC3\xB1 -->\n  <?pi data?>\n</SERVICIO>\n";
  const std::string utf16 = Utf16LeWithBom(
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n" + body_utf8);
  const std::string latin1 =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
      "<SERVICIO>\n  <a x=\"\xE9\">\xE9 <![CDATA[<b>]]></a>\n"
      "\t<!-- c\xF1 -->\n  <?pi data?>\n</SERVICIO>\n";
  const std::string cp1252 =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
      "<SERVICIO>\n  <a x=\"\x80\">\x80\x93\xE9 <![CDATA[<b>]]></a>\n"
      "\t<!-- c\xF1 -->\n  <?pi data?>\n</SERVICIO>\n";
  const std::string utf8 =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + body_utf8;
  const Case cases[] = {
      {"ISO-8859-1", latin1, latin1, "\xC3\xA9 <b>", "\xC3\xA9"},
      {"windows-1252", cp1252, cp1252,
       "\xE2\x82\xAC\xE2\x80\x9C\xC3\xA9 <b>", "\xE2\x82\xAC"},
      {"UTF-8", utf8, utf8, "\xC3\xA9 <b>", "\xC3\xA9"},
      {"UTF-16 with BOM", utf16, utf16, "\xC3\xA9 <b>", "\xC3\xA9"},
      // UTF-7 written back would spell '<' as "+ADw-", unreadable: UTF-8.
      {"UTF-7",
       "<?xml version=\"1.0\" encoding=\"UTF-7\"?>\n"
       "<SERVICIO>\n  <a x=\"+AOk-\">+AOk- <![CDATA[<b>]]></a>\n"
       "\t<!-- c+APE- -->\n  <?pi data?>\n</SERVICIO>\n",
       utf8, "\xC3\xA9 <b>", "\xC3\xA9"},
      // No declaration: saved as UTF-8, declared.
      {"undeclared UTF-8", body_utf8,
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + body_utf8,
       "\xC3\xA9 <b>", "\xC3\xA9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path in = dir_ / "in.xml";
    const fs::path out = dir_ / "out.xml";
    WriteFile(in, c.bytes);
    Document doc = Document::Load(in);
    const Node a = doc.Root().SelectSingleNode("a");
    EXPECT_EQ(a.Text(), c.text);
    EXPECT_EQ(a.Attribute("x"), c.attribute);
    EXPECT_EQ(doc.Serialize(), c.expected);
    doc.Save(out);
    EXPECT_EQ(ReadFile(out), c.expected);
    EXPECT_EQ(Document::Load(out).Root().SelectSingleNode("a").Text(), c.text);
  }
}

TEST_F(XmlDocumentTest, WritesUnencodableCharactersAsCharacterReferences) {
  Document doc = Document::Parse(
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<SERVICIO/>\n", kName);
  Node value = doc.Root().AppendChild(doc.CreateElement("salida"));
  value.SetAttribute("dato", "\xE2\x82\xAC");
  value.SetText("5 \xE2\x82\xAC \xC3\xA9");
  EXPECT_EQ(doc.Serialize(),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
            "<SERVICIO><salida dato=\"&#8364;\">5 &#8364; \xE9</salida>"
            "</SERVICIO>\n");
  const Document again = Document::Parse(doc.Serialize(), kName);
  const Node reread = again.Root().SelectSingleNode("salida");
  EXPECT_EQ(reread.Text(), "5 \xE2\x82\xAC \xC3\xA9");
  EXPECT_EQ(reread.Attribute("dato"), "\xE2\x82\xAC");
}

// --- Safety ----------------------------------------------------------------

TEST_F(XmlDocumentTest, RefusesEveryDocumentThatDeclaresEntities) {
  const fs::path secret = dir_ / "secret.txt";
  WriteFile(secret, "SECRETO-123");
  const std::string secret_url = "file://" + secret.string();

  std::string laughs = "<!DOCTYPE SERVICIO [<!ENTITY l0 \"ha\">";
  for (int i = 1; i <= 10; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) laughs += "&l" + std::to_string(i - 1) + ";";
    laughs += "\">";
  }
  laughs += "]><SERVICIO>&l10;</SERVICIO>";

  // One 50 KB entity referenced 50,000 times: 2.5 GB once expanded, and
  // accepted by a default libxml2 2.9 parse.
  std::string big = "<!DOCTYPE SERVICIO [<!ENTITY e \"" +
                    std::string(50 * 1024, 'x') + "\">]><SERVICIO>";
  for (int i = 0; i < 50000; ++i) big += "&e;";
  big += "</SERVICIO>";

  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"internal", "<!DOCTYPE S [<!ENTITY e \"v\">]><S>&e;</S>"},
      {"external file", "<!DOCTYPE S [<!ENTITY e SYSTEM \"" + secret_url +
                            "\">]><S>&e;</S>"},
      {"external passwd",
       "<!DOCTYPE S [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><S>&e;</S>"},
      {"parameter", "<!DOCTYPE S [<!ENTITY % p SYSTEM \"" + secret_url +
                        "\"> %p;]><S/>"},
      {"unparsed", "<!DOCTYPE S [<!NOTATION n SYSTEM \"n\">"
                   "<!ENTITY u SYSTEM \"" + secret_url + "\" NDATA n>]><S/>"},
      {"billion laughs", laughs},
      {"one big entity", big},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto start = std::chrono::steady_clock::now();
    const std::string message =
        XmlErrorOf([&] { Document::Parse(c.bytes, kName); });
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(5));
    EXPECT_NE(message.find("«/x/a.xml» declara entidades"), std::string::npos)
        << message;
    EXPECT_EQ(message.find("SECRETO"), std::string::npos) << message;
  }
}

TEST_F(XmlDocumentTest, NeverReadsAnExternalDtd) {
  const fs::path dtd = dir_ / "s.dtd";
  WriteFile(dtd, "<!ENTITY e \"SECRETO-123\">");
  const std::string bytes = "<!DOCTYPE SERVICIO SYSTEM \"file://" +
                            dtd.string() + "\"><SERVICIO>[&e;]</SERVICIO>";
  // Undeclared as far as the parser knows: kept as a reference, not read.
  Document doc = Document::Parse(bytes, kName);
  EXPECT_EQ(doc.Root().Text(), "[]");
  EXPECT_EQ(doc.Serialize().find("SECRETO"), std::string::npos);
}

TEST_F(XmlDocumentTest, MalformedInputReportsFileLineAndColumn) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* expected;
  };
  const Case cases[] = {
      {"empty", "",
       "El archivo «/x/a.xml» no es un documento XML válido: el archivo "
       "está vacío (línea 1, columna 1; Document is empty)"},
      {"mismatched tags", "<a>\n<b>\n</a>",
       "El archivo «/x/a.xml» no es un documento XML válido: está mal "
       "formado (línea 3, columna 5; Opening and ending tag mismatch: b "
       "line 2 and a)"},
      {"truncated", "<SERVICIO>\n  <SALIDAS>\n    <listasal seq=\"MAT",
       "El archivo «/x/a.xml» no es un documento XML válido: el documento "
       "termina antes de tiempo; quizá el archivo está cortado (línea 3, "
       "columna 23; AttValue: ' expected)"},
      {"binary garbage", std::string("\x01\x00\xFF\xFE\x9C garbage", 13),
       "El archivo «/x/a.xml» no es un documento XML válido: "},
      {"undeclared entity", "<a>\n&e;</a>",
       "El archivo «/x/a.xml» no es un documento XML válido: está mal "
       "formado (línea 2, columna 4; Entity 'e' not defined)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string message =
        XmlErrorOf([&] { Document::Parse(c.bytes, kName); });
    EXPECT_EQ(message.substr(0, std::string(c.expected).size()), c.expected)
        << message;
  }  // An empty view without a pointer reads like an empty file.
  EXPECT_EQ(XmlErrorOf([] { Document::Parse(std::string_view(), kName); }),
            cases[0].expected);
}

TEST_F(XmlDocumentTest, UnreadableFileNamesTheFileAndTheCause) {
  const fs::path missing = dir_ / "no.xml";
  EXPECT_EQ(XmlErrorOf([&] { Document::Load(missing); }),
            "No se puede leer el archivo «" + missing.string() +
                "»: el archivo no existe");
  EXPECT_EQ(XmlErrorOf([&] { Document::Load(dir_); }),
            "No se puede leer el archivo «" + dir_.string() +
                "»: es una carpeta, no un archivo");

  // Refused by its size before a byte is read (the file is sparse).
  const fs::path huge = dir_ / "huge.xml";
  { std::ofstream(huge) << "<SERVICIO>"; }
  fs::resize_file(huge, Document::kMaxDocumentBytes + 1);
  EXPECT_EQ(XmlErrorOf([&] { Document::Load(huge); }),
            "El archivo «" + huge.string() +
                "» es demasiado grande (65 MB; el máximo es 64 MB); quizá no "
                "es un documento de intercambio");
}

// Loaded only to be read: indentation between elements goes, every text
// inside a salida stays as written (blank, split at references, nested).
// A file that does not parse is reported as the same bytes parsed from
// memory are.
TEST_F(XmlDocumentTest, LoadForReadingDropsOnlyBlanksOutsideTheKeptElements) {
  const fs::path file = dir_ / "a.xml";
  WriteFile(file,
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
            "<A>\n  <l seq=\"x\">\n    <salida dato=\"k\">  </salida>\n"
            "    <salida> \n&#32;&amp; <b> <c>\t</c> </b> </salida>\n"
            "    <salida></salida>\n  </l>\n  <t> x </t> <t>&#32;</t>\n</A>\n");
  const Document read = Document::LoadForReading(file, "salida");
  EXPECT_EQ(Texts(read.SelectNodes("/A/l/salida")),
            (std::vector<std::string>{"  ", " \n &  \t  ", ""}));
  EXPECT_EQ(read.Serialize(),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
            "<A><l seq=\"x\"><salida dato=\"k\">  </salida>"
            "<salida> \n &amp; <b> <c>\t</c> </b> </salida>"
            "<salida/></l><t> x </t><t/></A>\n");
  // Load keeps every blank.
  EXPECT_NE(Document::Load(file).Serialize().find("?>\n<A>\n  <l"),
            std::string::npos);

  const std::string bad = "<A>\n  <salida>\n</A>";
  WriteFile(file, bad);
  const std::string from_memory =
      XmlErrorOf([&] { Document::Parse(bad, file.string()); });
  EXPECT_EQ(XmlErrorOf([&] { Document::LoadForReading(file, "salida"); }),
            from_memory);
  EXPECT_EQ(XmlErrorOf([&] { Document::Load(file); }), from_memory);
}

// --- Selection -------------------------------------------------------------

constexpr char kExchange[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<SERVICIO>
  <SALIDAS>
    <listasal seq="MATERIAS">
      <listasal><salida>M1</salida><salida>Uno</salida></listasal>
      <!-- a comment between elements -->
      <listasal><salida>M2</salida><otro>x</otro><salida>Dos</salida></listasal>
    </listasal>
    <listasal seq="PROFESORES">
      <listasal><salida>P1</salida></listasal>
    </listasal>
    <listasal seq="materias"><listasal><salida>no</salida></listasal></listasal>
    <listasal seq="MATERIAS">
      <listasal xmlns="urn:other"><salida>no</salida></listasal>
      <listasal><salida>M3</salida><listasal><salida>hondo</salida></listasal></listasal>
    </listasal>
  </SALIDAS>
  <listasal seq="MATERIAS"><listasal><salida>fuera</salida></listasal></listasal>
</SERVICIO>
)";

TEST_F(XmlDocumentTest, ListExpressionReadsSameNamedListsInDocumentOrder) {
  Document doc = Document::Parse(kExchange, kName);
  const std::vector<Node> elements =
      doc.SelectNodes(R"(/SERVICIO/SALIDAS/listasal[@seq="MATERIAS"]/listasal)");
  ASSERT_EQ(elements.size(), 3u);
  std::vector<std::string> first_values;
  for (const Node& element : elements) {
    first_values.push_back(element.SelectNodes("salida").front().Text());
  }
  EXPECT_EQ(first_values, (std::vector<std::string>{"M1", "M2", "M3"}));
  EXPECT_EQ(Texts(elements[1].SelectNodes("salida")),
            (std::vector<std::string>{"M2", "Dos"}));
  EXPECT_TRUE(
      doc.SelectNodes(R"(/SERVICIO/SALIDAS/listasal[@seq="AULAS"]/listasal)")
          .empty());
  EXPECT_TRUE(doc.SelectNodes("/OTRO/SALIDAS/listasal").empty());
}

TEST_F(XmlDocumentTest, FastPathsSelectWhatXPathSelects) {
  Document doc = Document::Parse(kExchange, kName);
  // Each pair: a shape served without XPath, and a spelling XPath serves.
  const std::pair<const char*, const char*> absolute[] = {
      {R"(/SERVICIO/SALIDAS/listasal[@seq="MATERIAS"]/listasal)",
       R"(/child::SERVICIO/SALIDAS/listasal[@seq = "MATERIAS"]/listasal)"},
      {"/SERVICIO/SALIDAS/listasal[@seq='PROFESORES']/listasal",
       "/SERVICIO/SALIDAS/listasal[@seq = 'PROFESORES']/child::listasal"},
      {"/SERVICIO/SALIDAS/listasal", "/SERVICIO/SALIDAS/child::listasal"},
      {"/SERVICIO/listasal/listasal", "/SERVICIO/listasal/child::listasal"},
  };
  for (const auto& [fast, xpath] : absolute) {
    SCOPED_TRACE(fast);
    const std::vector<Node> expected = doc.SelectNodes(xpath);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(doc.SelectNodes(fast), expected);
    EXPECT_EQ(doc.Root().SelectNodes(fast), expected);
  }
  for (const Node& list : doc.SelectNodes("//listasal")) {
    EXPECT_EQ(list.SelectNodes("salida"), list.SelectNodes("child::salida"));
    EXPECT_EQ(list.SelectNodes("listasal/salida"),
              list.SelectNodes("child::listasal/salida"));
  }
}

TEST_F(XmlDocumentTest, NodeQueries) {
  Document doc = Document::Parse(
      "<SERVICIO><SALIDAS n=\"1\"/><SALIDAS n=\"2\"/>"
      "<salida dato=\"\" a:dato=\"p\" xmlns:a=\"urn:a\"> x <b>y</b></salida>"
      "</SERVICIO>",
      kName);
  const Node root = doc.Root();
  EXPECT_EQ(root.Name(), "SERVICIO");
  EXPECT_EQ(root.SelectSingleNode("SALIDAS").Attribute("n"), "1");
  EXPECT_TRUE(root.SelectSingleNode("ERROR").IsNull());
  const Node value = root.SelectSingleNode("salida");
  EXPECT_EQ(value.Text(), " x y");
  EXPECT_EQ(value.Attribute("dato"), "");
  EXPECT_EQ(value.Attribute("otro"), std::nullopt);
  EXPECT_EQ(Node().Text(), "");
  EXPECT_TRUE(Node().SelectNodes("salida").empty());
  const std::string message = XmlErrorOf([&] { doc.SelectNodes("/a["); });
  EXPECT_NE(message.find("«/a["), std::string::npos) << message;
  EXPECT_NE(message.find("«/x/a.xml»"), std::string::npos) << message;
}

// --- Changes ---------------------------------------------------------------

TEST_F(XmlDocumentTest, ReplacesSalidasAndKeepsEverythingElse) {
  Document doc = Document::Parse(
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
      "<SERVICIO a=\"1\">\n  <SALIDAS><listasal seq=\"X\"/></SALIDAS>\n"
      "  <SALIDAS>dos</SALIDAS>\n  <otro/>\n</SERVICIO>\n",
      kName);
  Node root = doc.Root();
  const Node old = root.SelectSingleNode("SALIDAS");
  const Node old_list = old.SelectSingleNode("listasal");
  root.RemoveChild(old);
  Node salidas = root.AppendChild(doc.CreateElement("SALIDAS"));
  Node error = salidas.AppendChild(doc.CreateElement("ERROR"));
  Node value = error.AppendChild(doc.CreateElement("salida"));
  value.SetAttribute("dato", "CN_ERROR");
  value.SetText("0");
  Node teacher = doc.CreateElement("listasal");
  teacher.SetAttribute("seq", "EMPLEADO_1");
  salidas.AppendChild(teacher);
  Node empty = teacher.AppendChild(doc.CreateElement("salida"));
  empty.SetAttribute("dato", "F_TOMAPOS");
  empty.SetText("");
  doc.CreateElement("huerfano");  // never appended: freed with the document

  EXPECT_EQ(doc.Serialize(),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
            "<SERVICIO a=\"1\">\n  \n  <SALIDAS>dos</SALIDAS>\n  <otro/>\n"
            "<SALIDAS><ERROR><salida dato=\"CN_ERROR\">0</salida></ERROR>"
            "<listasal seq=\"EMPLEADO_1\"><salida dato=\"F_TOMAPOS\"/>"
            "</listasal></SALIDAS></SERVICIO>\n");
  // Handles into the removed subtree stay usable.
  EXPECT_EQ(old_list.Attribute("seq"), "X");
}

TEST_F(XmlDocumentTest, SetTextEscapesAndReplacesContent) {
  Document doc = Document::Parse("<S><v>old<b>x</b>tail</v></S>", kName);
  Node value = doc.Root().SelectSingleNode("v");
  const Node inner = value.SelectSingleNode("b");
  value.SetText("<&>]]>&amp;\"'");
  value.SetAttribute("dato", "<&>\"\t");
  EXPECT_EQ(doc.Serialize(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<S><v dato=\"&lt;&amp;&gt;&quot;&#9;\">"
            "&lt;&amp;&gt;]]&gt;&amp;amp;\"'</v></S>\n");
  const Document again = Document::Parse(doc.Serialize(), kName);
  const Node reread = again.Root().SelectSingleNode("v");
  EXPECT_EQ(reread.Text(), "<&>]]>&amp;\"'");
  EXPECT_EQ(reread.Attribute("dato"), "<&>\"\t");
  EXPECT_EQ(inner.Text(), "x");  // a replaced child's handle stays usable
  value.SetText("");
  EXPECT_EQ(doc.Serialize(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<S><v dato=\"&lt;&amp;&gt;&quot;&#9;\"/></S>\n");
}

TEST_F(XmlDocumentTest, RefusesChangesThatWouldBreakTheDocument) {
  Document doc = Document::Parse("<S><a/><b/></S>", kName);
  Node root = doc.Root();
  Node a = root.SelectSingleNode("a");
  struct Case {
    const char* name;
    std::function<void()> action;
    const char* expected;  // part of the message
  };
  const Case cases[] = {
      {"remove null", [&] { root.RemoveChild(Node()); }, "no existe"},
      {"remove non-child", [&] { a.RemoveChild(root.SelectSingleNode("b")); },
       "no es hijo"},
      {"append null", [&] { root.AppendChild(Node()); }, "no existe"},
      {"append into itself", [&] { a.AppendChild(root); }, "dentro de sí"},
      {"control character", [&] { a.SetText("a\x01" "b"); }, "código 1"},
      {"invalid UTF-8", [&] { a.SetAttribute("dato", "\xE9"); }, "UTF-8"},
      {"bad element name", [&] { doc.CreateElement("a b"); }, "«a b»"},
      {"bad attribute name", [&] { a.SetAttribute("1x", "v"); }, "«1x»"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string message = XmlErrorOf(c.action);
    EXPECT_NE(message.find(c.expected), std::string::npos) << message;
  }
  EXPECT_EQ(doc.Serialize(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<S><a/><b/></S>\n");
}

// --- Rewriting one section: loaded without it, streamed while saved --------

// The children of a rewritten section, as the import makes them: a status
// block, then `lists` lists, each with values and a nested list. Texts and
// keys hold what escaping, character references and attribute quoting act
// on; one value is empty.
void MakeSection(Document& doc, int lists,
                 const std::function<void(Node)>& emit) {
  Node status = doc.CreateElement("ERROR");
  Node code = status.AppendChild(doc.CreateElement("salida"));
  code.SetAttribute("dato", "CN_ERROR");
  code.SetText("0");
  emit(status);
  for (int i = 1; i <= lists; ++i) {
    Node list = doc.CreateElement("listasal");
    list.SetAttribute("seq", "EMPLEADO_" + std::to_string(i));
    const char* texts[] = {"a&b<c>d \"e\" 'f'", "\xC3\xA9\xE2\x82\xAC \xF0\x9F\x98\x80",
                           "", " tab\tline\ncr\r ", "]]> <!-- -->"};
    for (const char* text : texts) {
      Node value = list.AppendChild(doc.CreateElement("salida"));
      value.SetAttribute("dato", text);
      value.SetText(text);
    }
    Node activity = list.AppendChild(doc.CreateElement("listasal"));
    activity.SetAttribute("seq", "ACTIVIDAD_1");
    activity.AppendChild(doc.CreateElement("salida")).SetAttribute("dato", "X");
    emit(list);
  }
}

TEST_F(XmlDocumentTest, StreamedSectionSavesTheBytesOfTheTree) {
  const std::string old_section =
      "<SALIDAS>\n    <listasal seq=\"MATERIAS\"><salida dato=\"k\">v"
      "</salida><SALIDAS>dentro</SALIDAS><!-- c --><?pi x?>"
      "<![CDATA[<x>]]>&amp;&#233;</listasal>\n  </SALIDAS>";
  const std::string body =
      "<SERVICIO a=\"1\">\n  " + old_section +
      "\n  texto <otro b=\"&#8364;\"/>\n  <SALIDAS>dos</SALIDAS>\n"
      "</SERVICIO>\n<!-- fin -->\n";
  struct Case {
    const char* name;
    std::string bytes;
    bool streamed = true;  // else the section is built as a tree first
  };
  const Case cases[] = {
      {"UTF-8", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + body},
      {"ISO-8859-1",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<SERVICIO>\xE9" +
           old_section + "\xE9</SERVICIO>"},
      {"windows-1252",
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<SERVICIO>\x80" +
           old_section + "<o x=\"\x93\"/></SERVICIO>"},
      {"no declaration", body},
      {"not SERVICIO", "<RAIZ><SALIDAS/><SALIDAS>2</SALIDAS></RAIZ>"},
      {"SALIDAS only", "<SERVICIO>" + old_section + "</SERVICIO>"},
      {"other SALIDAS first",
       "<SERVICIO xmlns:x=\"urn:x\"><x:SALIDAS/><y:SALIDAS/>"
       "<SALIDAS xmlns=\"urn:d\"/><a><SALIDAS/></a>" + old_section +
           "</SERVICIO>"},
      {"UTF-16", Utf16LeWithBom(
                     "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n" + body),
       false},
      {"UTF-7 saved as UTF-8",
       "<?xml version=\"1.0\" encoding=\"UTF-7\"?>\n" + body, false},
  };
  const fs::path in = dir_ / "in.xml";
  const fs::path tree_file = dir_ / "tree.xml";
  const fs::path streamed_file = dir_ / "streamed.xml";
  for (const Case& c : cases) {
    for (const int lists : {0, 1, 3, -1}) {  // -1: an empty section
      SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(lists));
      WriteFile(in, c.bytes);

      Document tree = Document::Load(in);
      Node root = tree.Root();
      root.DeleteChild(root.SelectSingleNode("SALIDAS"));
      Node section = root.AppendChild(tree.CreateElement("SALIDAS"));
      if (lists >= 0) {
        MakeSection(tree, lists, [&](Node n) { section.AppendChild(n); });
      }
      tree.Save(tree_file);
      const std::string expected = ReadFile(tree_file);

      bool found = false;
      Document streamed = Document::LoadWithoutFirstChild(in, "SALIDAS", found);
      EXPECT_TRUE(found);
      Node placeholder =
          streamed.Root().AppendChild(streamed.CreateElement("SALIDAS"));
      const SectionProducer produce = [&](SectionWriter& writer) {
        if (lists >= 0) {
          MakeSection(streamed, lists, [&](Node n) { writer.Write(n); });
        }
      };
      streamed.SaveWithStreamedSection(streamed_file, placeholder, produce);
      EXPECT_EQ(ReadFile(streamed_file), expected);
      // Streamed subtrees are freed as written; a built section stays.
      EXPECT_EQ(placeholder.SelectSingleNode("ERROR").IsNull(),
                c.streamed || lists < 0);

      bool parsed_found = false;
      Document in_memory = Document::ParseWithoutFirstChild(
          c.bytes, kName, "SALIDAS", parsed_found);
      EXPECT_TRUE(parsed_found);
      Node other =
          in_memory.Root().AppendChild(in_memory.CreateElement("SALIDAS"));
      EXPECT_EQ(in_memory.SerializeWithStreamedSection(other, [&](SectionWriter& w) {
        if (lists >= 0) MakeSection(in_memory, lists, [&](Node n) { w.Write(n); });
      }), expected);
    }
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_),
                          fs::directory_iterator()),
            3);  // no temporary file left behind
}

TEST_F(XmlDocumentTest, LoadWithoutFirstChildTellsWhetherItWasThere) {
  struct Case {
    const char* bytes;
    bool found;
    const char* rest;  // the document without it
  };
  const Case cases[] = {
      {"<S><SALIDAS><a/></SALIDAS><SALIDAS>2</SALIDAS></S>", true,
       "<S><SALIDAS>2</SALIDAS></S>"},
      {"<SALIDAS><SALIDAS/><SALIDAS/></SALIDAS>", true,
       "<SALIDAS><SALIDAS/></SALIDAS>"},  // the root itself is no child
      {"<S><a><SALIDAS/></a><salidas/></S>", false,
       "<S><a><SALIDAS/></a><salidas/></S>"},
      {"<S xmlns=\"urn:d\"><SALIDAS/></S>", false,
       "<S xmlns=\"urn:d\"><SALIDAS/></S>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    bool found = !c.found;
    const Document doc =
        Document::ParseWithoutFirstChild(c.bytes, kName, "SALIDAS", found);
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(doc.Serialize(),
              std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") +
                  c.rest + "\n");
  }
  // The left-out child is still read and checked.
  bool found = false;
  EXPECT_NE(XmlErrorOf([&] {
              Document::ParseWithoutFirstChild(
                  "<S><SALIDAS><a></b></SALIDAS></S>", kName, "SALIDAS", found);
            }).find("no es un documento XML válido"),
            std::string::npos);
  EXPECT_NE(XmlErrorOf([&] {
              Document::ParseWithoutFirstChild(
                  "<!DOCTYPE S [<!ENTITY e \"v\">]><S><SALIDAS>&e;</SALIDAS>"
                  "</S>",
                  kName, "SALIDAS", found);
            }).find("declara entidades"),
            std::string::npos);
}

TEST_F(XmlDocumentTest, FailingSectionProducerSavesNothing) {
  for (const char* declaration :
       {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
        "<?xml version=\"1.0\" encoding=\"UTF-7\"?>"}) {
    SCOPED_TRACE(declaration);
    Document doc = Document::Parse(
        std::string(declaration) + "<S><SALIDAS/></S>", kName);
    Node placeholder = doc.Root().AppendChild(doc.CreateElement("SALIDAS"));
    const fs::path target = dir_ / "r.xml";
    try {
      doc.SaveWithStreamedSection(target, placeholder, [&](SectionWriter& w) {
        MakeSection(doc, 2, [&](Node n) { w.Write(n); });
        throw TableError("campo que falta");
      });
      ADD_FAILURE() << "no error";
    } catch (const TableError& error) {
      EXPECT_STREQ(error.what(), "campo que falta");  // as raised
    }
    EXPECT_TRUE(fs::is_empty(dir_));

    // A node that is already in the tree cannot be written.
    EXPECT_NE(XmlErrorOf([&] {
                doc.SaveWithStreamedSection(
                    target, doc.CreateElement("SALIDAS"),
                    [](SectionWriter&) {});
              }).find("no es un elemento vacío"),
              std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir_));
  }
}

// --- Save failures ---------------------------------------------------------

TEST_F(XmlDocumentTest, FailedSaveNamesThePathAndLeavesNoTrace) {
  Document doc = Document::Parse("<S>nuevo</S>", kName);
  const fs::path missing = dir_ / "no-such-folder" / "r.xml";
  const std::string message = XmlErrorOf([&] { doc.Save(missing); });
  EXPECT_NE(message.find(missing.string()), std::string::npos) << message;

  // A folder where the file should be: the rename fails whoever we are.
  const fs::path folder = dir_ / "r.xml";
  fs::create_directories(folder / "dentro");
  const std::string folder_message = XmlErrorOf([&] { doc.Save(folder); });
  EXPECT_NE(folder_message.find(folder.string()), std::string::npos)
      << folder_message;
  EXPECT_TRUE(fs::is_directory(folder / "dentro"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_),
                          fs::directory_iterator()),
            1);  // no temporary file left behind
}

TEST_F(XmlDocumentTest, FailedSaveInReadOnlyFolderKeepsTheOldFile) {
  Document doc = Document::Parse("<S>nuevo</S>", kName);
  const fs::path locked = dir_ / "locked";
  fs::create_directories(locked);
  const fs::path target = locked / "r.xml";
  WriteFile(target, "<S>viejo</S>");
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  if (std::ofstream(locked / "probe")) {
    GTEST_SKIP() << "permissions are not enforced for this user";
  }
  const std::string locked_message = XmlErrorOf([&] { doc.Save(target); });
  EXPECT_NE(locked_message.find(target.string()), std::string::npos)
      << locked_message;
  EXPECT_EQ(ReadFile(target), "<S>viejo</S>");
  EXPECT_EQ(fs::directory_iterator(locked)->path(), target);  // no leftovers
}

}  // namespace
}  // namespace tq::xml
