// The XML document service over libxml2 2.9. This is the only file of the
// project that includes libxml2.
//
// Safety of loading rests on four things, all owned here so no caller can
// forget them: the parse options (XML_PARSE_NONET | XML_PARSE_COMPACT; never NOENT, DTDLOAD or
// HUGE), an external entity loader that refuses every resource, a SAX
// entityDecl/unparsedEntityDecl override that stops the parser at the first
// entity declaration (libxml2 2.9 has no switch against an entity of 50 KB
// referenced 50,000 times, so no document that declares entities is
// accepted), and per-call error capture instead of libxml2's stderr printing.
//
// Ownership: Impl owns the xmlDoc. Nodes made by CreateElement and nodes
// taken out of the tree (RemoveChild, SetText) are kept, not freed, until the
// Document dies, so a handle the caller still holds never dangles; the
// destructor frees the roots of those detached subtrees, then the document.
#include "platform/xml_document.h"

#include <libxml/parser.h>
#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <random>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/error.h"

namespace tq::xml {
namespace {

// ---------------------------------------------------------------------------
// RAII for libxml2 handles.

struct DocDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct ParserCtxtDeleter {
  void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};
struct XPathContextDeleter {
  void operator()(xmlXPathContext* ctx) const { xmlXPathFreeContext(ctx); }
};
struct XPathObjectDeleter {
  void operator()(xmlXPathObject* obj) const { xmlXPathFreeObject(obj); }
};
struct XmlCharDeleter {
  void operator()(xmlChar* text) const { xmlFree(text); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocDeleter>;
using ParserCtxtPtr = std::unique_ptr<xmlParserCtxt, ParserCtxtDeleter>;
using XPathContextPtr = std::unique_ptr<xmlXPathContext, XPathContextDeleter>;
using XPathObjectPtr = std::unique_ptr<xmlXPathObject, XPathObjectDeleter>;
using XmlCharPtr = std::unique_ptr<xmlChar, XmlCharDeleter>;

const xmlChar* X(const char* text) {
  return reinterpret_cast<const xmlChar*>(text);
}
const char* C(const xmlChar* text) {
  return reinterpret_cast<const char*>(text);
}
xmlNode* N(void* node) { return static_cast<xmlNode*>(node); }

std::string TakeString(xmlChar* text) {
  XmlCharPtr owned(text);
  return owned ? std::string(C(owned.get())) : std::string();
}

// ---------------------------------------------------------------------------
// Process-wide libxml2 set-up and per-call error capture.

void SilentGenericError(void*, const char*, ...) {}

// Nothing outside the document itself is ever read: no DTD, no entity.
xmlParserInput* RefuseExternalEntity(const char*, const char*,
                                     xmlParserCtxt*) {
  return nullptr;
}

void InitLibxml() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(RefuseExternalEntity);
    // No libxml2 message ever goes to stderr; each call captures its own.
    xmlThrDefSetGenericErrorFunc(nullptr, SilentGenericError);
    xmlSetGenericErrorFunc(nullptr, SilentGenericError);
  });
}

// Captures the first error libxml2 raises on this thread while it lives and
// restores the previous handler afterwards.
class ErrorCapture {
 public:
  ErrorCapture()
      : previous_handler_(xmlStructuredError),
        previous_context_(xmlStructuredErrorContext) {
    xmlSetGenericErrorFunc(nullptr, SilentGenericError);
    xmlSetStructuredErrorFunc(this, &ErrorCapture::Handle);
  }
  ~ErrorCapture() {
    xmlSetStructuredErrorFunc(previous_context_, previous_handler_);
  }
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;

  bool HasError() const { return has_error_; }
  const std::string& Message() const { return message_; }
  int Line() const { return line_; }
  int Column() const { return column_; }
  int Code() const { return code_; }

 private:
  static void Handle(void* self, xmlError* error) {
    auto* capture = static_cast<ErrorCapture*>(self);
    if (error == nullptr || error->level < XML_ERR_ERROR ||
        capture->has_error_) {
      return;
    }
    capture->has_error_ = true;
    capture->message_ = error->message ? error->message : "error desconocido";
    while (!capture->message_.empty() &&
           (capture->message_.back() == '\n' ||
            capture->message_.back() == '\r' ||
            capture->message_.back() == ' ')) {
      capture->message_.pop_back();
    }
    capture->line_ = error->line;
    capture->column_ = error->int2;
    capture->code_ = error->code;
  }

  xmlStructuredErrorFunc previous_handler_;
  void* previous_context_;
  bool has_error_ = false;
  std::string message_;
  int line_ = 0;
  int column_ = 0;
  int code_ = 0;
};

// ---------------------------------------------------------------------------
// Refusing entity declarations.

struct ParseState {
  bool entity_declared = false;
  std::string entity_name;
  // Set: whitespace-only text outside elements of this name is dropped.
  std::optional<std::string> keep_blanks_in;
  // Set: the root's first child element of this local name, without prefix
  // or namespace, is parsed but not built.
  std::optional<std::string> skip_child;
  bool skip_found = false;
  // Elements open inside the left-out child, itself included; 0 outside it.
  int skip_depth = 0;
  // The handlers that build the tree, called for everything not left out.
  startElementNsSAX2Func next_start = nullptr;
  endElementNsSAX2Func next_end = nullptr;
  charactersSAXFunc next_characters = nullptr;
  ignorableWhitespaceSAXFunc next_whitespace = nullptr;
  cdataBlockSAXFunc next_cdata = nullptr;
  commentSAXFunc next_comment = nullptr;
  processingInstructionSAXFunc next_pi = nullptr;
  referenceSAXFunc next_reference = nullptr;
};

void StopAtEntity(void* ctx, const xmlChar* name) {
  auto* ctxt = static_cast<xmlParserCtxt*>(ctx);
  auto* state = static_cast<ParseState*>(ctxt->_private);
  if (!state->entity_declared) {
    state->entity_declared = true;
    state->entity_name = name ? C(name) : "";
  }
  xmlStopParser(ctxt);
}

void RefuseEntityDecl(void* ctx, const xmlChar* name, int, const xmlChar*,
                      const xmlChar*, xmlChar*) {
  StopAtEntity(ctx, name);
}

void RefuseUnparsedEntityDecl(void* ctx, const xmlChar* name, const xmlChar*,
                              const xmlChar*, const xmlChar*) {
  StopAtEntity(ctx, name);
}

// Text handler of a document loaded only to be read. The parser hands text
// over in pieces (a run is cut at references and at its buffer's end); a
// piece of whitespace alone outside the kept elements is not stored.
// Inside them every piece is, so their text reads as in the file.
void KeepTextThatIsRead(void* ctx, const xmlChar* text, int length) {
  auto* ctxt = static_cast<xmlParserCtxt*>(ctx);
  const auto* state = static_cast<const ParseState*>(ctxt->_private);
  const bool blank = std::all_of(text, text + length, [](xmlChar c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
  });
  if (blank) {
    bool kept = false;
    for (const xmlNode* node = ctxt->node; node != nullptr && !kept;
         node = node->parent) {
      kept = node->type == XML_ELEMENT_NODE && node->name != nullptr &&
             *state->keep_blanks_in == C(node->name);
    }
    if (!kept) return;
  }
  xmlSAX2Characters(ctx, text, length);
}

// Handlers of a load that leaves out the root's first child of a name. The
// parser still reads and checks every byte of that child (well-formedness,
// entity refusal); only the calls that would build its nodes are not passed
// on. While the child is open the current node stays the root, so its text,
// comments and the like must not reach the building handlers either.
ParseState& StateOf(void* ctx) {
  return *static_cast<ParseState*>(static_cast<xmlParserCtxt*>(ctx)->_private);
}

void SkipOrStartElement(void* ctx, const xmlChar* localname,
                        const xmlChar* prefix, const xmlChar* uri,
                        int nb_namespaces, const xmlChar** namespaces,
                        int nb_attributes, int nb_defaulted,
                        const xmlChar** attributes) {
  ParseState& state = StateOf(ctx);
  if (state.skip_depth > 0) {
    ++state.skip_depth;
    return;
  }
  // The element that SelectSingleNode would select: a child of the root,
  // no namespace and no prefix (an undeclared prefix leaves the namespace
  // empty but makes the node's name "prefix:name").
  const xmlNode* current = static_cast<xmlParserCtxt*>(ctx)->node;
  if (!state.skip_found && current != nullptr && current->parent != nullptr &&
      current->parent->type == XML_DOCUMENT_NODE && prefix == nullptr &&
      uri == nullptr && *state.skip_child == C(localname)) {
    state.skip_found = true;
    state.skip_depth = 1;
    return;
  }
  state.next_start(ctx, localname, prefix, uri, nb_namespaces, namespaces,
                   nb_attributes, nb_defaulted, attributes);
}

void SkipOrEndElement(void* ctx, const xmlChar* localname,
                      const xmlChar* prefix, const xmlChar* uri) {
  ParseState& state = StateOf(ctx);
  if (state.skip_depth > 0) {
    --state.skip_depth;
    return;
  }
  state.next_end(ctx, localname, prefix, uri);
}

void SkipOrCharacters(void* ctx, const xmlChar* text, int length) {
  ParseState& state = StateOf(ctx);
  if (state.skip_depth == 0) state.next_characters(ctx, text, length);
}

void SkipOrWhitespace(void* ctx, const xmlChar* text, int length) {
  ParseState& state = StateOf(ctx);
  if (state.skip_depth == 0) state.next_whitespace(ctx, text, length);
}

void SkipOrCdata(void* ctx, const xmlChar* text, int length) {
  ParseState& state = StateOf(ctx);
  if (state.skip_depth == 0) state.next_cdata(ctx, text, length);
}

void SkipOrComment(void* ctx, const xmlChar* text) {
  ParseState& state = StateOf(ctx);
  if (state.skip_depth == 0) state.next_comment(ctx, text);
}

void SkipOrProcessingInstruction(void* ctx, const xmlChar* target,
                                 const xmlChar* data) {
  ParseState& state = StateOf(ctx);
  if (state.skip_depth == 0) state.next_pi(ctx, target, data);
}

void SkipOrReference(void* ctx, const xmlChar* name) {
  ParseState& state = StateOf(ctx);
  if (state.skip_depth == 0) state.next_reference(ctx, name);
}

// ---------------------------------------------------------------------------
// Text checks for what callers write into the tree.

// Decodes `text` as strict UTF-8 and checks every character is allowed in an
// XML 1.0 document. Returns the first offending code (or -1 for a malformed
// byte sequence) through `bad`.
bool IsXmlText(std::string_view text, long& bad) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    // Printable ASCII, nearly every byte the import writes, needs no more.
    if (*p >= 0x20 && *p < 0x80) {
      ++p;
      continue;
    }
    unsigned long c = *p;
    int extra = 0;
    if (c < 0x80) {
      extra = 0;
    } else if ((c & 0xE0) == 0xC0) {
      c &= 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      c &= 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      c &= 0x07;
      extra = 3;
    } else {
      bad = -1;
      return false;
    }
    if (end - p <= extra) {
      bad = -1;
      return false;
    }
    for (int i = 1; i <= extra; ++i) {
      if ((p[i] & 0xC0) != 0x80) {
        bad = -1;
        return false;
      }
      c = (c << 6) | (p[i] & 0x3F);
    }
    static constexpr unsigned long kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (c < kMinimum[extra]) {  // overlong form
      bad = -1;
      return false;
    }
    const bool allowed = c == 0x9 || c == 0xA || c == 0xD ||
                         (c >= 0x20 && c <= 0xD7FF) ||
                         (c >= 0xE000 && c <= 0xFFFD) ||
                         (c >= 0x10000 && c <= 0x10FFFF);
    if (!allowed) {
      bad = static_cast<long>(c);
      return false;
    }
    p += extra + 1;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Selection.

bool IsElementNamed(const xmlNode* node, std::string_view name) {
  return node->type == XML_ELEMENT_NODE && node->ns == nullptr &&
         std::string_view(C(node->name)) == name;
}

// The attribute `name` (no namespace) of `element`, or nullptr. Only the
// attributes present in the document count, as for XPath; DTD defaults are
// never consulted.
xmlAttr* FindAttribute(const xmlNode* element, std::string_view name) {
  for (xmlAttr* attr = element->properties; attr != nullptr;
       attr = attr->next) {
    if (attr->ns == nullptr && std::string_view(C(attr->name)) == name) {
      return attr;
    }
  }
  return nullptr;
}

std::string AttributeValue(xmlAttr* attr) {
  const xmlNode* child = attr->children;
  if (child == nullptr) return std::string();
  if (child->next == nullptr && child->type == XML_TEXT_NODE) {
    return child->content ? std::string(C(child->content)) : std::string();
  }
  return TakeString(xmlNodeGetContent(reinterpret_cast<xmlNode*>(attr)));
}

// ASCII only, whatever the locale.
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

bool IsPlainName(std::string_view name) {
  if (name.empty()) return false;
  const char first = name.front();
  if (!(IsAsciiLetter(first) || first == '_')) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_' || c == '-' ||
           c == '.';
  });
}

// One step of a path the fast path serves: a child element by name, with at
// most one attribute-equality predicate (name[@attribute="value"]).
struct Step {
  std::string_view name;
  std::string_view attribute;  // empty: no predicate
  std::string_view value;
};

// Parses "name", "a/b/c", "/A/B/c[@x="v"]/d" (either quote). Anything else
// (axes, wildcards, functions, spaces, other predicates) returns false and is
// left to the XPath engine.
bool ParseSimplePath(std::string_view expression, bool& absolute,
                     std::vector<Step>& steps) {
  steps.clear();
  absolute = !expression.empty() && expression.front() == '/';
  if (absolute) expression.remove_prefix(1);
  while (true) {
    Step step;
    std::size_t i = 0;
    while (i < expression.size() && expression[i] != '/' &&
           expression[i] != '[') {
      ++i;
    }
    step.name = expression.substr(0, i);
    if (!IsPlainName(step.name)) return false;
    expression.remove_prefix(i);
    if (!expression.empty() && expression.front() == '[') {
      if (expression.size() < 2 || expression[1] != '@') return false;
      expression.remove_prefix(2);
      const std::size_t equals = expression.find('=');
      if (equals == std::string_view::npos) return false;
      step.attribute = expression.substr(0, equals);
      if (!IsPlainName(step.attribute)) return false;
      expression.remove_prefix(equals + 1);
      if (expression.empty()) return false;
      const char quote = expression.front();
      if (quote != '"' && quote != '\'') return false;
      const std::size_t close = expression.find(quote, 1);
      if (close == std::string_view::npos) return false;
      step.value = expression.substr(1, close - 1);
      expression.remove_prefix(close + 1);
      if (expression.empty() || expression.front() != ']') return false;
      expression.remove_prefix(1);
    }
    steps.push_back(step);
    if (expression.empty()) return true;
    if (expression.front() != '/') return false;
    expression.remove_prefix(1);
  }
}

// What a loaded document owns; xmlDoc::_private points here so that node
// handles reach it.
struct DocumentState {
  DocPtr doc;
  std::string name;  // the file (or stand-in) named in messages
  // Nodes that were outside the tree at some point; freed if still outside.
  std::vector<xmlNode*> detached;

  ~DocumentState() {
    std::vector<xmlNode*> roots;
    for (xmlNode* node : detached) {
      if (node->parent == nullptr) roots.push_back(node);
    }
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    // Before the document: the nodes' names live in its dictionary.
    for (xmlNode* node : roots) xmlFreeNode(node);
  }
};

DocumentState& ImplOf(const xmlNode* node) {
  return *static_cast<DocumentState*>(node->doc->_private);
}

const std::string& DocumentName(const xmlNode* node) {
  return ImplOf(node).name;
}

void CheckText(const xmlNode* node, std::string_view text,
               std::string_view what) {
  long bad = 0;
  if (IsXmlText(text, bad)) return;
  std::string message = "No se puede escribir " + std::string(what) +
                        " en el documento XML «" + DocumentName(node) + "»: ";
  if (bad < 0) {
    message += "el texto no es UTF-8 válido";
  } else {
    message += "contiene un carácter que XML no admite (código " +
               std::to_string(bad) + ")";
  }
  throw XmlError(message);
}

void CheckName(const xmlNode* node, std::string_view name,
               std::string_view what) {
  if (IsPlainName(name)) return;  // ASCII names of this form are NCNames
  const std::string copy(name);
  if (!name.empty() && copy.size() == std::strlen(copy.c_str()) &&
      xmlValidateNCName(X(copy.c_str()), 0) == 0) {
    return;
  }
  throw XmlError("El nombre de " + std::string(what) + " «" + copy +
                 "» no es válido en el documento XML «" + DocumentName(node) +
                 "»");
}

xmlNode* RequireElement(void* handle, std::string_view operation) {
  xmlNode* node = N(handle);
  if (node == nullptr) {
    throw XmlError("No se puede " + std::string(operation) +
                   ": el nodo XML no existe");
  }
  if (node->type != XML_ELEMENT_NODE) {
    throw XmlError("No se puede " + std::string(operation) +
                   " en el documento XML «" + DocumentName(node) +
                   "»: el nodo no es un elemento");
  }
  return node;
}

// Walks child steps from `start`. Expanding the nodes of one step in
// document order, each into its children in order, yields document order:
// the subtrees of distinct parents are disjoint and ordered like them.
std::vector<xmlNode*> WalkSteps(xmlNode* start, const std::vector<Step>& steps) {
  std::vector<xmlNode*> current{start};
  std::vector<xmlNode*> next;
  for (const Step& step : steps) {
    next.clear();
    for (xmlNode* parent : current) {
      for (xmlNode* child = parent->children; child != nullptr;
           child = child->next) {
        if (!IsElementNamed(child, step.name)) continue;
        if (!step.attribute.empty()) {
          xmlAttr* attr = FindAttribute(child, step.attribute);
          if (attr == nullptr || AttributeValue(attr) != step.value) continue;
        }
        next.push_back(child);
      }
    }
    current.swap(next);
    if (current.empty()) break;
  }
  return current;
}

std::vector<xmlNode*> EvaluateXPath(xmlDoc* doc, xmlNode* context,
                                    std::string_view expression,
                                    const std::string& document_name) {
  const std::string text(expression);
  ErrorCapture capture;
  XPathContextPtr ctx(xmlXPathNewContext(doc));
  if (!ctx) {
    throw XmlError("No hay memoria para consultar el documento XML «" +
                   document_name + "»");
  }
  ctx->node = context;
  XPathObjectPtr result(xmlXPathEvalExpression(X(text.c_str()), ctx.get()));
  if (!result) {
    throw XmlError("La expresión «" + text +
                   "» no es válida para consultar el documento XML «" +
                   document_name + "»: " +
                   (capture.HasError() ? capture.Message()
                                       : std::string("error desconocido")));
  }
  if (result->type != XPATH_NODESET) {
    throw XmlError("La expresión «" + text +
                   "» no selecciona nodos del documento XML «" +
                   document_name + "»");
  }
  std::vector<xmlNode*> nodes;
  if (xmlNodeSet* set = result->nodesetval; set != nullptr) {
    nodes.reserve(static_cast<std::size_t>(set->nodeNr));
    for (int i = 0; i < set->nodeNr; ++i) {
      if (set->nodeTab[i]->type == XML_ELEMENT_NODE) {
        nodes.push_back(set->nodeTab[i]);
      }
    }
  }
  return nodes;
}

}  // namespace

// ---------------------------------------------------------------------------
// Node

std::string Node::Name() const {
  const xmlNode* node = N(node_);
  if (node == nullptr || node->name == nullptr) return std::string();
  std::string name;
  if (node->ns != nullptr && node->ns->prefix != nullptr) {
    name = C(node->ns->prefix);
    name += ':';
  }
  name += C(node->name);
  return name;
}

std::string Node::Text() const {
  if (node_ == nullptr) return std::string();
  return TakeString(xmlNodeGetContent(N(node_)));
}

std::optional<std::string> Node::Attribute(std::string_view name) const {
  const xmlNode* node = N(node_);
  if (node == nullptr || node->type != XML_ELEMENT_NODE) return std::nullopt;
  xmlAttr* attr = FindAttribute(node, name);
  if (attr == nullptr) return std::nullopt;
  return AttributeValue(attr);
}

std::vector<Node> Node::SelectNodes(std::string_view expression) const {
  xmlNode* node = N(node_);
  if (node == nullptr) return {};
  bool absolute = false;
  std::vector<Step> steps;
  std::vector<xmlNode*> found;
  if (ParseSimplePath(expression, absolute, steps)) {
    found = WalkSteps(absolute ? reinterpret_cast<xmlNode*>(node->doc) : node,
                      steps);
  } else {
    found = EvaluateXPath(node->doc, node, expression, DocumentName(node));
  }
  std::vector<Node> result;
  result.reserve(found.size());
  for (xmlNode* n : found) result.push_back(Node(n));
  return result;
}

Node Node::SelectSingleNode(std::string_view name) const {
  xmlNode* node = N(node_);
  if (node == nullptr) return Node();
  if (IsPlainName(name)) {
    for (xmlNode* child = node->children; child != nullptr;
         child = child->next) {
      if (IsElementNamed(child, name)) return Node(child);
    }
    return Node();
  }
  std::vector<Node> nodes = SelectNodes(name);
  return nodes.empty() ? Node() : nodes.front();
}

void Node::SetAttribute(std::string_view name, std::string_view value) {
  xmlNode* node = RequireElement(node_, "poner un atributo");
  CheckName(node, name, "atributo");
  CheckText(node, value, "el atributo «" + std::string(name) + "»");
  const std::string name_copy(name);
  const std::string value_copy(value);
  // xmlSetProp stores the value as a text node, escaped on output; it does
  // not interpret '&' or '<'.
  if (xmlSetProp(node, X(name_copy.c_str()), X(value_copy.c_str())) ==
      nullptr) {
    throw XmlError("No se puede poner el atributo «" + name_copy +
                   "» en el documento XML «" + DocumentName(node) + "»");
  }
}

void Node::SetText(std::string_view text) {
  xmlNode* node = RequireElement(node_, "escribir un texto");
  CheckText(node, text, "el texto");
  DocumentState& impl = ImplOf(node);
  // Element children may still be held by the caller: keep them until the
  // document dies. Other children (text, comments) have no handles.
  xmlNode* child = node->children;
  while (child != nullptr) {
    xmlNode* next = child->next;
    xmlUnlinkNode(child);
    if (child->type == XML_ELEMENT_NODE) {
      impl.detached.push_back(child);
    } else {
      xmlFreeNode(child);
    }
    child = next;
  }
  if (text.empty()) return;
  if (text.size() > INT_MAX) {
    throw XmlError("El texto es demasiado largo para el documento XML «" +
                   impl.name + "»");
  }
  // A plain text node: xmlNodeSetContent would read '&' as an entity start.
  xmlNode* content = xmlNewDocTextLen(node->doc, X(text.data()),
                                      static_cast<int>(text.size()));
  if (content == nullptr || xmlAddChild(node, content) == nullptr) {
    if (content != nullptr) xmlFreeNode(content);
    throw XmlError("No hay memoria para escribir en el documento XML «" +
                   impl.name + "»");
  }
}

Node Node::AppendChild(Node child) {
  xmlNode* parent = RequireElement(node_, "añadir un nodo");
  xmlNode* node = N(child.node_);
  const std::string& name = DocumentName(parent);
  if (node == nullptr) {
    throw XmlError("No se puede añadir un nodo en el documento XML «" + name +
                   "»: el nodo a añadir no existe");
  }
  if (node->doc != parent->doc || node->type != XML_ELEMENT_NODE) {
    throw XmlError("No se puede añadir un nodo en el documento XML «" + name +
                   "»: el nodo no es un elemento de este documento");
  }
  for (const xmlNode* up = parent; up != nullptr; up = up->parent) {
    if (up == node) {
      throw XmlError("No se puede añadir el elemento «" + child.Name() +
                     "» dentro de sí mismo en el documento XML «" + name +
                     "»");
    }
  }
  if (node->parent != nullptr) {
    xmlUnlinkNode(node);
    ImplOf(node).detached.push_back(node);
  }
  // An element is never merged by xmlAddChild, so `node` stays the handle.
  xmlAddChild(parent, node);
  return Node(node);
}

void Node::RemoveChild(Node child) {
  xmlNode* parent = RequireElement(node_, "quitar un nodo");
  xmlNode* node = N(child.node_);
  if (node == nullptr) {
    throw XmlError("No se puede quitar un nodo de «" + Name() +
                   "» en el documento XML «" + DocumentName(parent) +
                   "»: el nodo a quitar no existe");
  }
  if (node->parent != parent) {
    throw XmlError("No se puede quitar el nodo «" + child.Name() + "» de «" +
                   Name() + "» en el documento XML «" + DocumentName(parent) +
                   "»: no es hijo suyo");
  }
  xmlUnlinkNode(node);
  ImplOf(parent).detached.push_back(node);
}

namespace {

// Frees `node`, which is outside the tree, with its subtree. It is no
// longer owned by the list of detached nodes; nodes of its subtree that were
// detached before and put back are freed with it, so they leave the list
// too.
void FreeDetachedSubtree(DocumentState& state, xmlNode* node) {
  std::erase_if(state.detached, [node](xmlNode* held) {
    for (xmlNode* up = held; up != nullptr; up = up->parent) {
      if (up == node) return true;
    }
    return false;
  });
  xmlFreeNode(node);
}

}  // namespace

void Node::DeleteChild(Node child) {
  RemoveChild(child);
  FreeDetachedSubtree(ImplOf(N(node_)), N(child.node_));
}

// ---------------------------------------------------------------------------
// Document

struct Document::Impl : DocumentState {};

namespace {

std::string ReadCause(int error) {
  switch (error) {
    case ENOENT:
      return "el archivo no existe";
    case EACCES:
    case EPERM:
      return "permiso denegado";
    case EISDIR:
      return "es una carpeta, no un archivo";
    default:
      return error != 0 ? std::generic_category().message(error)
                        : std::string("error de lectura");
  }
}

// Is (line, column), as the parser counts them from 1, past the last
// character of `bytes`? Columns count characters, not UTF-8 bytes.
bool IsEndOfData(std::string_view bytes, int line, int column) {
  const std::size_t lines =
      static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
  if (line <= 0 || static_cast<std::size_t>(line) != lines) return false;
  const std::size_t last_line = bytes.rfind('\n');
  const std::string_view tail =
      last_line == std::string_view::npos ? bytes : bytes.substr(last_line + 1);
  const auto characters = std::count_if(tail.begin(), tail.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  });
  return column > characters;
}

// The Spanish cause of a failed parse of `bytes`: what the user can act on,
// the parser's own (English) message follows it in the report. `at_end`: the
// parser stopped at the end of the data.
std::string ParseFailureCause(std::string_view bytes, int code, bool at_end) {
  if (bytes.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    return "el archivo está vacío";
  }
  // "<" as UTF-16 without a byte-order mark: 3C 00 or 00 3C.
  if (bytes.size() >= 2 && ((bytes[0] == '<' && bytes[1] == '\0') ||
                            (bytes[0] == '\0' && bytes[1] == '<'))) {
    return "parece texto UTF-16 sin marca de orden de bytes (BOM); guárdelo "
           "en UTF-8 o en UTF-16 con BOM";
  }
  if (code == XML_ERR_DOCUMENT_EMPTY) {
    return "no empieza por una etiqueta XML; quizá es un archivo de otro tipo";
  }
  // A wrong closing tag is reported after it is read, also at the end.
  if (at_end && code != XML_ERR_TAG_NAME_MISMATCH) {
    return "el documento termina antes de tiempo; quizá el archivo está "
           "cortado";
  }
  if (code == XML_ERR_INVALID_CHAR) {
    return "contiene un carácter que XML no admite";
  }
  return "está mal formado";
}

}  // namespace

Document::Document(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;
Document::~Document() = default;

namespace {

// The parser's input read from memory, one chunk per call.
struct MemorySource {
  std::string_view rest;

  static int Read(void* self, char* buffer, int length) {
    auto* source = static_cast<MemorySource*>(self);
    const std::size_t n =
        std::min(source->rest.size(), static_cast<std::size_t>(length));
    if (n > 0) std::memcpy(buffer, source->rest.data(), n);  // data() may be null when empty
    source->rest.remove_prefix(n);
    return static_cast<int>(n);
  }
};

// The parser's input read from a file, one chunk per call; a read error
// ends the input and is kept for the report.
struct FileSource {
  std::ifstream* in;
  bool read_error = false;
  int read_errno = 0;

  static int Read(void* self, char* buffer, int length) {
    auto* source = static_cast<FileSource*>(self);
    errno = 0;
    source->in->read(buffer, length);
    if (source->in->bad()) {
      source->read_error = true;
      source->read_errno = errno;
      return -1;
    }
    return static_cast<int>(source->in->gcount());
  }
};

int CloseSource(void*) { return 0; }

}  // namespace

Document Document::Load(const std::filesystem::path& path) {
  return LoadFile(path, LoadMode{});
}

Document Document::LoadForReading(const std::filesystem::path& path,
                                  std::string_view keep_in) {
  return LoadFile(path, LoadMode{.keep_in = keep_in,
                                 .skip_child = std::nullopt,
                                 .skipped = nullptr});
}

Document Document::LoadWithoutFirstChild(const std::filesystem::path& path,
                                         std::string_view name, bool& found) {
  found = false;
  return LoadFile(path, LoadMode{.keep_in = std::nullopt,
                                 .skip_child = name,
                                 .skipped = &found});
}

Document Document::LoadFile(const std::filesystem::path& path,
                            const LoadMode& mode) {
  const std::string name = path.string();
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    throw XmlError("No se puede leer el archivo «" + name +
                   "»: " + ReadCause(EISDIR));
  }
  // Refused before it is read: the tree of a document takes some fifteen
  // times its size, so this bounds the memory a load can take.
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (!ec && size > kMaxDocumentBytes) {
    throw XmlError("El archivo «" + name + "» es demasiado grande (" +
                   std::to_string((size + 1024 * 1024 - 1) / (1024 * 1024)) +
                   " MB; el máximo es " +
                   std::to_string(kMaxDocumentBytes / (1024 * 1024)) +
                   " MB); quizá no es un documento de intercambio");
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw XmlError("No se puede leer el archivo «" + name +
                   "»: " + ReadCause(errno));
  }
  // Fed to the parser straight from the file: no copy of the whole input
  // lives beside the growing tree. A failed parse reads the file again for
  // the diagnosis, which looks at the bytes.
  FileSource source{&in};
  return ParseFrom(&FileSource::Read, &source, name, [&] {
    if (source.read_error) {
      throw XmlError("No se puede leer el archivo «" + name +
                     "»: " + ReadCause(source.read_errno));
    }
    std::ifstream again(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(again)),
                       std::istreambuf_iterator<char>());
  }, mode);
}


Document Document::Parse(std::string_view bytes, std::string_view name) {
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    throw XmlError("El archivo «" + std::string(name) +
                   "» es demasiado grande para leerlo como documento XML");
  }
  MemorySource source{bytes};
  return ParseFrom(&MemorySource::Read, &source, name,
                   [bytes] { return std::string(bytes); }, LoadMode{});
}

Document Document::ParseWithoutFirstChild(std::string_view bytes,
                                          std::string_view name,
                                          std::string_view child_name,
                                          bool& found) {
  found = false;
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    throw XmlError("El archivo «" + std::string(name) +
                   "» es demasiado grande para leerlo como documento XML");
  }
  MemorySource source{bytes};
  return ParseFrom(&MemorySource::Read, &source, name,
                   [bytes] { return std::string(bytes); },
                   LoadMode{.keep_in = std::nullopt,
                            .skip_child = child_name,
                            .skipped = &found});
}

Document Document::ParseFrom(int (*read)(void*, char*, int), void* source,
                             std::string_view name,
                             const std::function<std::string()>& bytes_read,
                             const LoadMode& mode) {
  InitLibxml();
  const std::string file(name);
  ErrorCapture capture;
  ParserCtxtPtr ctxt(xmlNewParserCtxt());
  if (!ctxt || ctxt->sax == nullptr) {
    throw XmlError("No hay memoria para leer el archivo XML «" + file + "»");
  }
  ParseState state;
  ctxt->_private = &state;
  ctxt->sax->entityDecl = RefuseEntityDecl;
  ctxt->sax->unparsedEntityDecl = RefuseUnparsedEntityDecl;
  if (mode.keep_in) {
    state.keep_blanks_in = std::string(*mode.keep_in);
    ctxt->sax->characters = KeepTextThatIsRead;
    ctxt->sax->ignorableWhitespace = KeepTextThatIsRead;
  }
  if (mode.skip_child) {
    xmlSAXHandler& sax = *ctxt->sax;
    state.skip_child = std::string(*mode.skip_child);
    state.next_start = sax.startElementNs;
    state.next_end = sax.endElementNs;
    state.next_characters = sax.characters;
    state.next_whitespace = sax.ignorableWhitespace;
    state.next_cdata = sax.cdataBlock;
    state.next_comment = sax.comment;
    state.next_pi = sax.processingInstruction;
    state.next_reference = sax.reference;
    if (sax.initialized != XML_SAX2_MAGIC || !state.next_start ||
        !state.next_end || !state.next_characters || !state.next_whitespace ||
        !state.next_cdata || !state.next_comment || !state.next_pi ||
        !state.next_reference) {
      throw XmlError("No se puede leer el archivo XML «" + file +
                     "»: el analizador no ofrece lo que esta lectura necesita");
    }
    sax.startElementNs = SkipOrStartElement;
    sax.endElementNs = SkipOrEndElement;
    // Same function for both, as the default handler has them: the parser
    // then never asks whether a blank text could be ignored.
    sax.characters = SkipOrCharacters;
    sax.ignorableWhitespace =
        state.next_whitespace == state.next_characters ? SkipOrCharacters
                                                       : SkipOrWhitespace;
    sax.cdataBlock = SkipOrCdata;
    sax.comment = SkipOrComment;
    sax.processingInstruction = SkipOrProcessingInstruction;
    sax.reference = SkipOrReference;
  }
  // Never XML_PARSE_NOENT, XML_PARSE_DTDLOAD or XML_PARSE_HUGE; blanks are
  // kept (no NOBLANKS) so untouched whitespace is saved as loaded. COMPACT
  // stores short texts inside their nodes: less memory for big documents.
  constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_COMPACT;
  // Fed in chunks rather than through xmlCtxtReadMemory, which first copies
  // the whole input into a buffer of its own: that copy would live beside
  // the growing tree until the end of the parse.
  DocPtr doc(xmlCtxtReadIO(ctxt.get(), read, &CloseSource, source, nullptr,
                           nullptr, kOptions));
  if (state.entity_declared) {
    throw XmlError("El archivo XML «" + file + "» declara entidades («" +
                   state.entity_name +
                   "»), que no se admiten por seguridad");
  }
  if (!doc || !ctxt->wellFormed) {
    const std::string bytes = bytes_read();
    const bool at_end = capture.HasError() &&
                        IsEndOfData(bytes, capture.Line(), capture.Column());
    std::string message =
        "El archivo «" + file + "» no es un documento XML válido: " +
        ParseFailureCause(bytes, capture.Code(), at_end) + " (línea " +
        std::to_string(capture.HasError() ? capture.Line() : 0) +
        ", columna " +
        std::to_string(capture.HasError() ? capture.Column() : 0) + "; " +
        (capture.HasError() ? capture.Message()
                            : std::string("error desconocido")) +
        ")";
    throw XmlError(message);
  }
  if (mode.skipped != nullptr) *mode.skipped = state.skip_found;
  auto impl = std::make_unique<Impl>();
  impl->doc = std::move(doc);
  impl->name = file;
  impl->doc->_private = static_cast<DocumentState*>(impl.get());
  return Document(std::move(impl));
}

Node Document::Root() const {
  if (!impl_) return Node();
  return Node(xmlDocGetRootElement(impl_->doc.get()));
}

std::vector<Node> Document::SelectNodes(std::string_view expression) const {
  if (!impl_) return {};
  bool absolute = false;
  std::vector<Step> steps;
  std::vector<xmlNode*> found;
  xmlNode* start = reinterpret_cast<xmlNode*>(impl_->doc.get());
  if (ParseSimplePath(expression, absolute, steps)) {
    found = WalkSteps(start, steps);
  } else {
    found = EvaluateXPath(impl_->doc.get(), start, expression, impl_->name);
  }
  std::vector<Node> result;
  result.reserve(found.size());
  for (xmlNode* n : found) result.push_back(Node(n));
  return result;
}

Node Document::CreateElement(std::string_view name) {
  if (!impl_) throw XmlError("No se puede crear un elemento: no hay documento");
  xmlDoc* doc = impl_->doc.get();
  const std::string copy(name);
  {
    // CheckName needs a node of this document for its message.
    xmlNode* probe = reinterpret_cast<xmlNode*>(doc);
    CheckName(probe, name, "elemento");
  }
  xmlNode* node = xmlNewDocNode(doc, nullptr, X(copy.c_str()), nullptr);
  if (node == nullptr) {
    throw XmlError("No hay memoria para crear un elemento en el documento "
                   "XML «" + impl_->name + "»");
  }
  impl_->detached.push_back(node);
  return Node(node);
}

namespace {

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// Is `upper` the prefix followed by one or more decimal digits?
bool IsPrefixAndDigits(std::string_view upper, std::string_view prefix) {
  return upper.size() > prefix.size() && upper.starts_with(prefix) &&
         std::all_of(upper.begin() + static_cast<std::ptrdiff_t>(prefix.size()),
                     upper.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Encodings whose output libxml2 detects and reads back by construction
// (markup in ASCII, or UTF-16 with its byte-order mark or '<' pattern).
bool IsTrustedEncoding(std::string_view encoding) {
  const std::string upper = UpperAscii(encoding);
  static constexpr std::string_view kExact[] = {
      "UTF-8", "UTF8", "UTF-16", "UTF-16LE", "UTF-16BE", "US-ASCII", "ASCII",
      "LATIN1", "ISO-LATIN-1"};
  for (std::string_view known : kExact) {
    if (upper == known) return true;
  }
  return IsPrefixAndDigits(upper, "ISO-8859-") ||
         IsPrefixAndDigits(upper, "WINDOWS-") || IsPrefixAndDigits(upper, "CP");
}

// Encodings that write every ASCII character as that one byte and use no
// byte below 0x80 for anything else, so that ASCII markup can be found in
// their output byte for byte.
bool IsAsciiCompatibleEncoding(std::string_view encoding) {
  const std::string upper = UpperAscii(encoding);
  static constexpr std::string_view kExact[] = {
      "UTF-8", "UTF8", "US-ASCII", "ASCII", "LATIN1", "ISO-LATIN-1"};
  for (std::string_view known : kExact) {
    if (upper == known) return true;
  }
  return IsPrefixAndDigits(upper, "ISO-8859-") ||
         IsPrefixAndDigits(upper, "WINDOWS-");
}

// The write callbacks of an output buffer that hands its bytes to a sink.
// Once the sink refuses a piece, nothing more is handed on.
struct SinkOutput {
  const ByteSink* sink;
  bool failed = false;
  static int Write(void* self, const char* bytes, int length) {
    auto* output = static_cast<SinkOutput*>(self);
    if (output->failed ||
        !(*output->sink)(std::string_view(bytes, static_cast<std::size_t>(length)))) {
      output->failed = true;
      return -1;
    }
    return length;
  }
  static int Close(void*) { return 0; }
};

// Hands the document in `encoding` (also put into the declaration) to
// `sink` piece by piece. A piece the sink refuses stops the output; the
// sink's owner reports that failure.
void DumpTo(xmlDoc* doc, const std::string& encoding, const std::string& target,
            const ByteSink& sink) {
  SinkOutput output{&sink};
  ErrorCapture capture;
  xmlCharEncodingHandler* handler = xmlFindCharEncodingHandler(encoding.c_str());
  xmlOutputBuffer* buffer =
      handler == nullptr ? nullptr
                         : xmlOutputBufferCreateIO(&SinkOutput::Write,
                                                   &SinkOutput::Close, &output,
                                                   handler);
  if (buffer == nullptr) {
    throw XmlError("No se puede escribir el documento XML «" + target +
                   "» en la codificación «" + encoding + "»: " +
                   (capture.HasError() ? capture.Message()
                                       : std::string("error desconocido")));
  }
  const xmlChar* declared = doc->encoding;
  doc->encoding = xmlStrdup(X(encoding.c_str()));
  xmlSaveFormatFileTo(buffer, doc, encoding.c_str(), 0);  // closes `buffer`
  xmlFree(const_cast<xmlChar*>(doc->encoding));
  doc->encoding = declared;
  if (output.failed) return;
  if (capture.HasError()) {
    throw XmlError("No se puede escribir el documento XML «" + target +
                   "» en la codificación «" + encoding + "»: " +
                   capture.Message());
  }
}

// The document in `encoding`, which also goes into the declaration.
std::string DumpIn(xmlDoc* doc, const std::string& encoding,
                   const std::string& target) {
  ErrorCapture capture;
  xmlChar* memory = nullptr;
  int size = 0;
  const xmlChar* declared = doc->encoding;
  doc->encoding = xmlStrdup(X(encoding.c_str()));
  xmlDocDumpMemoryEnc(doc, &memory, &size, encoding.c_str());
  xmlFree(const_cast<xmlChar*>(doc->encoding));
  doc->encoding = declared;
  XmlCharPtr owned(memory);
  if (!owned || size < 0 || capture.HasError()) {
    throw XmlError("No se puede escribir el documento XML «" + target +
                   "» en la codificación «" + encoding + "»: " +
                   (capture.HasError() ? capture.Message()
                                       : std::string("error desconocido")));
  }
  return std::string(C(owned.get()), static_cast<std::size_t>(size));
}

// The document in its declared encoding, UTF-8 when none is declared. Some
// encodings libxml2 reads cannot be written so that they read back (UTF-7
// writes '<' as "+ADw-"): for any encoding outside the trusted set the
// output is parsed again, and written in UTF-8 when that fails.
std::string SerializeDocument(xmlDoc* doc, const std::string& target) {
  if (doc->encoding == nullptr) return DumpIn(doc, "UTF-8", target);
  const std::string encoding = C(doc->encoding);
  if (!IsTrustedEncoding(encoding)) {
    try {
      std::string bytes = DumpIn(doc, encoding, target);
      (void)Document::Parse(bytes, target);
      return bytes;
    } catch (const XmlError&) {
      return DumpIn(doc, "UTF-8", target);
    }
  }
  return DumpIn(doc, encoding, target);
}

}  // namespace

std::string Document::Serialize() const {
  if (!impl_) throw XmlError("No se puede escribir: no hay documento XML");
  return SerializeDocument(impl_->doc.get(), impl_->name);
}

void Document::Save(const std::filesystem::path& path) const {
  if (!impl_) throw XmlError("No se puede guardar: no hay documento XML");
  xmlDoc* doc = impl_->doc.get();
  const std::string target = path.string();
  try {
    if (doc->encoding == nullptr || IsTrustedEncoding(C(doc->encoding))) {
      // Written as it is serialised: no copy of the output in memory.
      const std::string encoding =
          doc->encoding == nullptr ? "UTF-8" : C(doc->encoding);
      WriteFileAtomically(path, [&](const ByteSink& sink) {
        DumpTo(doc, encoding, target, sink);
      });
    } else {
      WriteFileAtomically(path, SerializeDocument(doc, target));
    }
  } catch (const XmlError&) {
    throw;
  } catch (const Error& error) {
    // The message already names the target and the cause.
    throw XmlError(error.what());
  }
}

// ---------------------------------------------------------------------------
// Saving with a streamed section.
//
// The document is serialised once with a comment holding a random token as
// the placeholder's only child. Everything before that comment goes to the
// output as it comes, except the '>' that closes the placeholder's start
// tag, which is held back; everything after it (the placeholder's end tag
// and what follows it, a few bytes in a document whose section is last) is
// kept. Then each subtree the producer hands over is serialised by libxml2
// into an output buffer of the same encoding, exactly as the whole-document
// save serialises a child element, and freed. The section ends with the
// held-back '>' and the kept end, or, when nothing was written, with "/>"
// and what follows the end tag: the bytes of <name/>.

namespace {

// The producer's writer could not hand bytes to the output any more; the
// save reports why. Not a tq::Error, so that a producer's handlers of its
// own errors let it through.
struct OutputStopped {};

// The marker was not found once, after a '>' and before "</", in the
// output: the save is made from the tree instead. Raised before the
// producer runs.
struct MarkerNotUsable {};

std::string RandomToken() {
  static constexpr char kHex[] = "0123456789abcdef";
  std::random_device device;
  std::string token;
  for (int i = 0; i < 4; ++i) {
    std::uint32_t bits = device();
    for (int j = 0; j < 8; ++j, bits >>= 4) token += kHex[bits & 0xF];
  }
  return token;
}

// Sets the document's encoding for the length of a serialisation, as
// DumpTo does: attribute values are written by it.
class EncodingOverride {
 public:
  EncodingOverride(xmlDoc* doc, const std::string& encoding)
      : doc_(doc), declared_(doc->encoding) {
    doc_->encoding = xmlStrdup(X(encoding.c_str()));
  }
  ~EncodingOverride() {
    xmlFree(const_cast<xmlChar*>(doc_->encoding));
    doc_->encoding = declared_;
  }
  EncodingOverride(const EncodingOverride&) = delete;
  EncodingOverride& operator=(const EncodingOverride&) = delete;

 private:
  xmlDoc* doc_;
  const xmlChar* declared_;
};

// Splits the serialised document at the marker: the bytes before it, but
// the last, go to `out`; those after it are kept.
class MarkerSplitter {
 public:
  MarkerSplitter(std::string marker, const ByteSink& out)
      : marker_(std::move(marker)), out_(out) {}

  bool Take(std::string_view bytes) {
    if (found_) {
      after_.append(bytes);
      return true;
    }
    pending_.append(bytes);
    const std::size_t at = pending_.find(marker_);
    if (at != std::string::npos) {
      found_ = true;
      usable_ = at > 0 && pending_[at - 1] == '>';
      after_ = pending_.substr(at + marker_.size());
      const bool written =
          !usable_ || out_(std::string_view(pending_).substr(0, at - 1));
      pending_.clear();
      return written;
    }
    // Kept back: a marker cut by the end of this piece, with the byte
    // before it.
    if (pending_.size() > marker_.size()) {
      const std::size_t ready = pending_.size() - marker_.size();
      if (!out_(std::string_view(pending_).substr(0, ready))) return false;
      pending_.erase(0, ready);
    }
    return true;
  }

  // Found once, after the start tag's '>', before an end tag.
  bool Usable() const {
    return found_ && usable_ && after_.starts_with("</") &&
           after_.find('>') != std::string::npos &&
           after_.find(marker_) == std::string::npos;
  }
  const std::string& After() const { return after_; }

 private:
  std::string marker_;
  const ByteSink& out_;
  std::string pending_;
  std::string after_;
  bool found_ = false;
  bool usable_ = false;
};

// Serialises each subtree into the output and frees it.
class StreamedSectionWriter final : public SectionWriter {
 public:
  StreamedSectionWriter(DocumentState& state, const std::string& encoding,
                        const std::string& target, const ByteSink& sink)
      : state_(state), encoding_(encoding), target_(target), output_{&sink} {
    ErrorCapture capture;
    xmlCharEncodingHandler* handler =
        xmlFindCharEncodingHandler(encoding.c_str());
    buffer_ = handler == nullptr
                  ? nullptr
                  : xmlOutputBufferCreateIO(&SinkOutput::Write,
                                            &SinkOutput::Close, &output_,
                                            handler);
    if (buffer_ == nullptr) {
      throw XmlError("No se puede escribir el documento XML «" + target +
                     "» en la codificación «" + encoding + "»: " +
                     (capture.HasError() ? capture.Message()
                                         : std::string("error desconocido")));
    }
  }
  ~StreamedSectionWriter() {
    if (buffer_ != nullptr) xmlOutputBufferClose(buffer_);
  }
  StreamedSectionWriter(const StreamedSectionWriter&) = delete;
  StreamedSectionWriter& operator=(const StreamedSectionWriter&) = delete;

  void Write(Node subtree) override {
    xmlNode* node = N(Handle(subtree));
    if (node == nullptr || node->type != XML_ELEMENT_NODE ||
        node->doc != state_.doc.get() || node->parent != nullptr) {
      throw XmlError("No se puede escribir la sección del documento XML «" +
                     state_.name +
                     "»: el nodo no es un elemento nuevo de este documento");
    }
    if (output_.failed) throw OutputStopped{};
    if (!started_) {
      // Nothing is in the buffer yet: the held-back '>' goes first.
      started_ = true;
      if (!(*output_.sink)(">")) {
        output_.failed = true;
        throw OutputStopped{};
      }
    }
    {
      ErrorCapture capture;
      EncodingOverride encoding(state_.doc.get(), encoding_);
      xmlNodeDumpOutput(buffer_, state_.doc.get(), node, 0, 0,
                        encoding_.c_str());
      if (!output_.failed && (capture.HasError() || buffer_->error != 0)) {
        throw XmlError("No se puede escribir el documento XML «" + target_ +
                       "» en la codificación «" + encoding_ + "»: " +
                       (capture.HasError() ? capture.Message()
                                           : std::string("error de escritura")));
      }
    }
    FreeDetachedSubtree(state_, node);
    if (output_.failed) throw OutputStopped{};
  }

  // The section's end: `after` is what followed the marker.
  void Finish(const std::string& after) {
    xmlOutputBuffer* buffer = buffer_;
    buffer_ = nullptr;
    xmlOutputBufferClose(buffer);  // writes what it still holds
    if (output_.failed) return;
    const ByteSink& sink = *output_.sink;
    if (started_) {
      sink(after);
    } else if (sink("/>")) {
      sink(std::string_view(after).substr(after.find('>') + 1));
    }
  }

 private:
  DocumentState& state_;
  std::string encoding_;
  std::string target_;
  SinkOutput output_;
  xmlOutputBuffer* buffer_ = nullptr;
  bool started_ = false;
};

// Appends each subtree to the placeholder: the fallback that builds the
// whole section before the document is saved.
class TreeSectionWriter final : public SectionWriter {
 public:
  explicit TreeSectionWriter(Node section) : section_(section) {}
  void Write(Node subtree) override {
    const xmlNode* node = N(Handle(subtree));
    if (node != nullptr && node->parent != nullptr) {
      throw XmlError("No se puede escribir la sección del documento XML «" +
                     DocumentName(node) +
                     "»: el nodo no es un elemento nuevo de este documento");
    }
    section_.AppendChild(subtree);
  }

 private:
  Node section_;
};

// The encoding a streamed save writes in, or nullopt when the section must
// be built as a tree (see SaveWithStreamedSection).
std::optional<std::string> StreamingEncoding(const xmlDoc* doc) {
  if (doc->encoding == nullptr) return std::string("UTF-8");
  const std::string encoding = C(doc->encoding);
  if (!IsAsciiCompatibleEncoding(encoding)) return std::nullopt;
  return encoding;
}

// The placeholder as an element of `state`'s tree without children.
xmlNode* RequirePlaceholder(DocumentState& state, void* handle) {
  xmlNode* node = N(handle);
  bool in_tree = false;
  if (node != nullptr && node->type == XML_ELEMENT_NODE &&
      node->doc == state.doc.get() && node->children == nullptr) {
    const xmlNode* top = node;
    while (top->parent != nullptr) top = top->parent;
    in_tree = top == reinterpret_cast<const xmlNode*>(state.doc.get());
  }
  if (!in_tree) {
    throw XmlError("No se puede escribir la sección del documento XML «" +
                   state.name +
                   "»: su lugar no es un elemento vacío del documento");
  }
  return node;
}

// The streamed save into `sink`. Raises MarkerNotUsable before anything of
// the producer has run when the output cannot be split at the marker.
// `producer_failed` tells the caller that an exception came from `produce`.
void StreamDocument(DocumentState& state, xmlNode* section,
                    const std::string& encoding, const std::string& target,
                    const ByteSink& sink, const SectionProducer& produce,
                    bool& producer_failed) {
  xmlDoc* doc = state.doc.get();
  const std::string token = "tq-section-" + RandomToken();
  MarkerSplitter splitter("<!--" + token + "-->", sink);
  {
    xmlNode* marker = xmlNewDocComment(doc, X(token.c_str()));
    if (marker == nullptr || xmlAddChild(section, marker) == nullptr) {
      if (marker != nullptr) xmlFreeNode(marker);
      throw XmlError("No hay memoria para escribir el documento XML «" +
                     target + "»");
    }
    struct Removal {
      xmlNode* marker;
      ~Removal() {
        xmlUnlinkNode(marker);
        xmlFreeNode(marker);
      }
    } removal{marker};
    bool refused = false;
    const ByteSink split = [&](std::string_view bytes) {
      if (splitter.Take(bytes)) return true;
      refused = true;
      return false;
    };
    DumpTo(doc, encoding, target, split);
    if (refused) return;  // the sink's owner reports the failure
  }
  if (!splitter.Usable()) throw MarkerNotUsable{};
  StreamedSectionWriter writer(state, encoding, target, sink);
  try {
    produce(writer);
  } catch (const OutputStopped&) {
    return;
  } catch (...) {
    producer_failed = true;
    throw;
  }
  writer.Finish(splitter.After());
}

}  // namespace

void Document::SaveWithStreamedSection(const std::filesystem::path& path,
                                       Node placeholder,
                                       const SectionProducer& produce) {
  if (!impl_) throw XmlError("No se puede guardar: no hay documento XML");
  xmlNode* section = RequirePlaceholder(*impl_, placeholder.node_);
  if (const auto encoding = StreamingEncoding(impl_->doc.get())) {
    const std::string target = path.string();
    bool producer_failed = false;
    try {
      WriteFileAtomically(path, [&](const ByteSink& sink) {
        StreamDocument(*impl_, section, *encoding, target, sink, produce,
                       producer_failed);
      });
      return;
    } catch (const MarkerNotUsable&) {
      // Saved from the tree below; the temporary file is gone.
    } catch (const XmlError&) {
      throw;
    } catch (const Error& error) {
      if (producer_failed) throw;
      // The message already names the target and the cause.
      throw XmlError(error.what());
    }
  }
  TreeSectionWriter writer(placeholder);
  produce(writer);
  Save(path);
}

std::string Document::SerializeWithStreamedSection(
    Node placeholder, const SectionProducer& produce) {
  if (!impl_) throw XmlError("No se puede escribir: no hay documento XML");
  xmlNode* section = RequirePlaceholder(*impl_, placeholder.node_);
  if (const auto encoding = StreamingEncoding(impl_->doc.get())) {
    std::string bytes;
    bool producer_failed = false;
    try {
      StreamDocument(*impl_, section, *encoding, impl_->name,
                     [&bytes](std::string_view piece) {
                       bytes.append(piece);
                       return true;
                     },
                     produce, producer_failed);
      return bytes;
    } catch (const MarkerNotUsable&) {
      // Serialised from the tree below.
    }
  }
  TreeSectionWriter writer(placeholder);
  produce(writer);
  return Serialize();
}

}  // namespace tq::xml
