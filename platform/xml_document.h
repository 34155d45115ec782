// The XML seam used by the sender lists: TinyXML on Linux, the system's own
// XML component on Windows. Documents are parsed from and printed to bytes;
// the caller reads and replaces the file through the FileSystem seam, so the
// write is atomic whatever the XML library does.
//
// Names and values are narrow text in code page 1252.
#ifndef VARNOX_PLATFORM_XML_DOCUMENT_H_
#define VARNOX_PLATFORM_XML_DOCUMENT_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace varnox {

// An element of a document. Pointers to elements are owned by their document
// and stay valid while it lives.
class XmlElement {
 public:
  virtual ~XmlElement() = default;
  // The direct child elements named `name`, in document order.
  virtual std::vector<XmlElement*> ChildElements(std::string_view name) = 0;
  // False and *value unchanged when the attribute is absent.
  virtual bool GetAttribute(std::string_view name, std::string* value) const = 0;
  virtual void SetAttribute(std::string_view name, std::string_view value) = 0;
  // Appends a new, empty element as the last child; returns it.
  virtual XmlElement* AppendChild(std::string_view name) = 0;
};

class XmlDocument {
 public:
  virtual ~XmlDocument() = default;
  // Parses a whole file's bytes. False when they are not a well-formed
  // document; the document is then empty.
  virtual bool Parse(std::string_view bytes) = 0;
  // The root element, or null when there is none.
  virtual XmlElement* Root() = 0;
  // The document as the library prints it, ready to be written to its file.
  virtual bool Print(std::string* bytes) const = 0;
};

class XmlParser {
 public:
  virtual ~XmlParser() = default;
  virtual std::unique_ptr<XmlDocument> NewDocument() = 0;
};

// The host's XML library (implemented by each shell).
XmlParser& SystemXmlParser();

}  // namespace varnox

#endif  // VARNOX_PLATFORM_XML_DOCUMENT_H_
