// The XML seam used by the sender lists: TinyXML on Linux, the system's own
// XML component on Windows. Documents are parsed from and printed to bytes;
// the caller reads and replaces the file through the FileSystem seam, so the
// write is atomic whatever the XML library does.
//
// Names and values are the document's bytes as the library decodes them with
// its default encoding handling; files written by this system hold code page
// 1252 text.
//
// Every implementation refuses the same hostile input, so that a list file
// behaves alike on every host:
// - anything that is not a well-formed XML 1.0 document (NUL bytes, text
//   after the root, a second root, unquoted attribute values, undefined
//   entities);
// - a document type declaration: no DTD is read, so no entity is ever
//   expanded and no entity bomb can grow;
// - elements nested more than kMaxXmlDepth deep.
// No call throws.
#ifndef VARNOX_PLATFORM_XML_DOCUMENT_H_
#define VARNOX_PLATFORM_XML_DOCUMENT_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace varnox {

// Deepest element nesting that Parse accepts; the root element is depth 1.
inline constexpr int kMaxXmlDepth = 256;

// An element of a document. Pointers to elements are owned by their document
// and stay valid while it lives, until the element is removed.
class XmlElement {
 public:
  virtual ~XmlElement() = default;
  // The direct child elements named `name`, in document order.
  virtual std::vector<XmlElement*> ChildElements(std::string_view name) = 0;
  // False and *value unchanged when the attribute is absent.
  virtual bool GetAttribute(std::string_view name, std::string* value) const = 0;
  // Adds the attribute or replaces its value. False only when memory ran out.
  virtual bool SetAttribute(std::string_view name, std::string_view value) = 0;
  // Appends a new, empty element as the last child; returns it, or null when
  // memory ran out.
  virtual XmlElement* AppendChild(std::string_view name) = 0;
  // Removes `child`, a direct child element of this one, with everything in
  // it; pointers to it and its descendants become invalid. False when `child`
  // is not a child of this element.
  virtual bool RemoveChild(XmlElement* child) = 0;
};

class XmlDocument {
 public:
  virtual ~XmlDocument() = default;
  // Parses a whole file's bytes. False when they are not a well-formed
  // document or are refused (see above); the document is then empty.
  virtual bool Parse(std::string_view bytes) = 0;
  // The root element, or null when there is none.
  virtual XmlElement* Root() = 0;
  // The document as the library prints it, ready to be written to its file.
  // False when it cannot be printed so that Parse reads back the same values:
  // when a name, value or text holds a byte that XML 1.0 cannot carry (a
  // control character other than tab, line feed and carriage return).
  virtual bool Print(std::string* bytes) const = 0;
};

class XmlParser {
 public:
  virtual ~XmlParser() = default;
  // A new, empty document; null only when memory ran out.
  virtual std::unique_ptr<XmlDocument> NewDocument() = 0;
};

// The host's XML library (implemented by each shell).
XmlParser& SystemXmlParser();

}  // namespace varnox

#endif  // VARNOX_PLATFORM_XML_DOCUMENT_H_
