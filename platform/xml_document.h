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
  explicit Node(void* node) : node_(node) {}
  void* node_ = nullptr;  // xmlNode*, owned by the Document
};

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
  // Parses a document held in memory; `name` stands for the file in messages.
  static Document Parse(std::string_view bytes, std::string_view name);

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

 private:
  struct Impl;
  explicit Document(std::unique_ptr<Impl> impl);
  // Parses what `read` yields from `source` (a libxml2 input callback:
  // bytes copied, 0 at the end, -1 on failure); `bytes_read` gives the
  // whole input again, only for the report of a failed parse. `keep_in`:
  // as for LoadForReading, or nullopt to keep every text.
  static Document ParseFrom(int (*read)(void*, char*, int), void* source,
                            std::string_view name,
                            const std::function<std::string()>& bytes_read,
                            std::optional<std::string_view> keep_in);
  static Document LoadFile(const std::filesystem::path& path,
                           std::optional<std::string_view> keep_in);
  std::unique_ptr<Impl> impl_;
};

}  // namespace tq::xml
