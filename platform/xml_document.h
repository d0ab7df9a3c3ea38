// The XML document service: load, query, change and save an XML document.
//
// A Document owns its tree and is move-only. Node and NodeList are cheap
// handles into that tree; they stay valid while the Document lives and the
// node is part of it (or was created by it). All text crossing this API is
// UTF-8, whatever encoding the file declares.
//
// Loading is safe by construction: no network, no external DTD or entity is
// ever read, no entity is substituted, and a document that declares any
// entity is refused (that is what stops entity-expansion bombs). A file that
// is not well-formed raises XmlError naming the file, line, column and the
// parser's message.
//
// Saving writes the whole document in its declared encoding (UTF-8 when none
// is declared, or when the declared one cannot be read back once written, as
// UTF-7), characters the encoding cannot hold as numeric character
// references, untouched nodes (whitespace included) as loaded. The save is
// atomic: a temporary file in the target's folder renamed over the target;
// on failure the old file is left as it was.
//
// For a document that is rewritten around one large new section, a load can
// leave out the section it replaces (LoadWithoutFirstChild) and a save can
// take the new section's content one finished subtree at a time while it
// writes (SaveWithStreamedSection): neither the old nor the new section is
// ever whole in memory, and the bytes saved are those Save would write for
// the same tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tq::xml {

class Document;

class Node {
 public:
  Node() = default;

  bool IsNull() const { return node_ == nullptr; }
  explicit operator bool() const { return node_ != nullptr; }

  // Element name (empty for a null node).
  std::string Name() const;
  // Text content: the concatenated text of all descendants.
  std::string Text() const;
  // The attribute's value, or nullopt when the element lacks it.
  std::optional<std::string> Attribute(std::string_view name) const;

  // Elements selected by `expression` relative to this node, in document
  // order. Besides general XPath 1.0, a plain child name ("salida") is served
  // without the XPath machinery.
  std::vector<Node> SelectNodes(std::string_view expression) const;
  // The first child element called `name`, or a null node.
  Node SelectSingleNode(std::string_view name) const;

  // Changes. `child` must be a node of the same document outside the tree
  // (made by Document::CreateElement) for AppendChild.
  void SetAttribute(std::string_view name, std::string_view value);
  // Replaces the element's content by `text` (none at all when empty).
  void SetText(std::string_view text);
  Node AppendChild(Node child);
  // Removes `child` with its subtree; XmlError when `child` is null or not a
  // child of this node.
  void RemoveChild(Node child);
  // As RemoveChild, and frees `child` with its subtree at once, for a caller
  // that holds no handle into it: every such handle dangles afterwards.
  // What a large document's removed section costs is then reused by the
  // nodes made after it instead of adding to them.
  void DeleteChild(Node child);

  bool operator==(const Node& other) const { return node_ == other.node_; }

 private:
  friend class Document;
  friend class SectionWriter;
  explicit Node(void* node) : node_(node) {}
  void* node_ = nullptr;  // xmlNode*, owned by the Document
};

// Hands the content of a streamed section to the save, one subtree at a
// time (see Document::SaveWithStreamedSection).
class SectionWriter {
 public:
  // Writes `subtree`, an element of the same document made by CreateElement
  // and never put into the tree, as the section's next child, and frees it
  // with everything inside it: the handle and every handle into the subtree
  // must not be used afterwards. XmlError when `subtree` is not such an
  // element, or when it cannot be written.
  virtual void Write(Node subtree) = 0;

 protected:
  ~SectionWriter() = default;
  static void* Handle(Node node) { return node.node_; }
};

// Builds a streamed section: called once, during the save, with the writer
// that takes its children in order. An exception it raises ends the save
// with nothing written and propagates as raised.
using SectionProducer = std::function<void(SectionWriter&)>;

class Document {
 public:
  // Load refuses a larger file before reading it (XmlError): no exchange
  // document comes near this size, and it bounds the memory of a load.
  static constexpr std::uintmax_t kMaxDocumentBytes = 64u * 1024 * 1024;

  // Loads and parses the whole file; raises XmlError on any failure.
  static Document Load(const std::filesystem::path& path);
  // As Load, for a document that is only read and never saved: text made
  // only of whitespace is dropped unless it lies inside (at any depth) an
  // element whose name is `keep_in`. The indentation of a pretty-printed
  // document is some forty per cent of its nodes; the text of `keep_in`
  // elements, blank or not, is kept exactly.
  static Document LoadForReading(const std::filesystem::path& path,
                                 std::string_view keep_in);
  // As Load, without the subtree of the root's first child element that has
  // the local name `name` and no namespace (the element that
  // Root().SelectSingleNode(name) would select): it is parsed and checked
  // like the rest, but never built, so a document whose bulk is that child
  // is loaded for a fraction of its tree. Everything else, whitespace
  // included, is kept as Load keeps it (text on both sides of the left-out
  // child may read as one text node). `found` tells whether such a child
  // was there.
  static Document LoadWithoutFirstChild(const std::filesystem::path& path,
                                        std::string_view name, bool& found);
  // Parses a document held in memory; `name` stands for the file in messages.
  static Document Parse(std::string_view bytes, std::string_view name);
  // As Parse, leaving out the child `child_name` as LoadWithoutFirstChild
  // does.
  static Document ParseWithoutFirstChild(std::string_view bytes,
                                         std::string_view name,
                                         std::string_view child_name,
                                         bool& found);

  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;
  ~Document();

  // The root element; a null node when the document has none.
  Node Root() const;
  // Elements selected by an absolute XPath expression, in document order.
  std::vector<Node> SelectNodes(std::string_view expression) const;
  // A new element outside the tree, owned by this document.
  Node CreateElement(std::string_view name);

  // The whole document, serialised as Save writes it.
  std::string Serialize() const;
  // Atomic save; raises XmlError naming the path on failure.
  void Save(const std::filesystem::path& path) const;
  // Atomic save of the document whose element `placeholder` (in the tree,
  // without children) receives, while the file is written, the subtrees
  // that `produce` hands to its writer: the file holds exactly what Save
  // would write had they all been appended to `placeholder` first (an
  // element left empty still reads <name/>). Each subtree is written and
  // freed as it comes, so the section never stands whole in memory. In an
  // encoding that is not ASCII-compatible (UTF-16, or one saved as UTF-8
  // instead) the subtrees are appended first and the document saved as
  // Save does. Afterwards `placeholder` is empty again, unless that
  // fallback kept the subtrees in it. An exception from `produce`
  // propagates as raised and nothing is saved; other failures raise
  // XmlError naming the path.
  void SaveWithStreamedSection(const std::filesystem::path& path,
                               Node placeholder,
                               const SectionProducer& produce);
  // The bytes SaveWithStreamedSection writes, in memory.
  std::string SerializeWithStreamedSection(Node placeholder,
                                           const SectionProducer& produce);

 private:
  struct Impl;
  explicit Document(std::unique_ptr<Impl> impl);
  // What a load leaves out: blank text outside `keep_in` elements
  // (LoadForReading), the root's first `skip_child` (LoadWithoutFirstChild,
  // which learns through `skipped` whether there was one).
  struct LoadMode {
    std::optional<std::string_view> keep_in;
    std::optional<std::string_view> skip_child;
    bool* skipped = nullptr;
  };
  // Parses what `read` yields from `source` (a libxml2 input callback:
  // bytes copied, 0 at the end, -1 on failure); `bytes_read` gives the
  // whole input again, only for the report of a failed parse.
  static Document ParseFrom(int (*read)(void*, char*, int), void* source,
                            std::string_view name,
                            const std::function<std::string()>& bytes_read,
                            const LoadMode& mode);
  static Document LoadFile(const std::filesystem::path& path,
                           const LoadMode& mode);
  std::unique_ptr<Impl> impl_;
};

}  // namespace tq::xml
