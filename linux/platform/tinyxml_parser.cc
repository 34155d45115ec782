// The XML seam on Linux: TinyXML builds and prints the documents; expat first
// checks, without building anything, that the bytes are a well-formed document
// this seam accepts.
//
// The check exists because TinyXML is lenient and recursive. It parses one
// element per stack frame, so a few hundred thousand nested elements overflow
// the stack, and it reads on past errors that a strict reader refuses (text
// after the root, unquoted values, unknown entities). Expat is iterative and
// strict, so it can count the depth safely and turn away what TinyXML would
// misread. For a document that passes the check, TinyXML sees exactly the
// elements that expat counted: the constructs where the two would split a
// document differently are refused (a document type declaration, a processing
// instruction holding '>' or named like the XML declaration, and broken UTF-8
// in a document that TinyXML reads as UTF-8).
#include <expat.h>
#include <tinyxml.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ascii_case.h"
#include "platform/utf8.h"
#include "platform/xml_document.h"

namespace varnox {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// Expat takes lengths as int; the bytes are fed in pieces of this size.
constexpr std::size_t kExpatChunkBytes = 1 << 20;

// ----------------------------------------------------------------------------
// Structure check.

struct StructureCheck {
  XML_Parser parser = nullptr;
  int depth = 0;
  bool has_declaration = false;
  std::string declared_encoding;  // empty when the declaration names none
  // A value or text names a character above U+00FF: the bytes are read as
  // ISO-8859-1, so only a character reference can.
  bool wide_reference = false;
};

// Expat hands out UTF-8: a lead byte of C4 or more starts U+0100 and above.
bool HoldsWideCharacter(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0xC4)
      return true;
  }
  return false;
}

void Refuse(StructureCheck* check) {
  XML_StopParser(check->parser, XML_FALSE);
}

void XMLCALL OnStartElement(void* data, const XML_Char* /*name*/, const XML_Char** atts) {
  auto* check = static_cast<StructureCheck*>(data);
  if (++check->depth > kMaxXmlDepth)
    Refuse(check);
  for (; *atts != nullptr; atts += 2)
    check->wide_reference = check->wide_reference || HoldsWideCharacter(atts[1]);
}

void XMLCALL OnCharacterData(void* data, const XML_Char* text, int length) {
  auto* check = static_cast<StructureCheck*>(data);
  check->wide_reference = check->wide_reference || HoldsWideCharacter(std::string_view(
                                                       text, static_cast<std::size_t>(length)));
}

void XMLCALL OnEndElement(void* data, const XML_Char* /*name*/) {
  --static_cast<StructureCheck*>(data)->depth;
}

// Called at "<!DOCTYPE name", before any internal subset is read.
void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  Refuse(static_cast<StructureCheck*>(data));
}

void XMLCALL OnXmlDeclaration(void* data, const XML_Char* /*version*/, const XML_Char* encoding,
                              int /*standalone*/) {
  auto* check = static_cast<StructureCheck*>(data);
  check->has_declaration = true;
  if (encoding != nullptr)
    check->declared_encoding = encoding;
}

// TinyXML's own choice of encoding: UTF-8 after a byte order mark, or when
// the document opens with a declaration that names no encoding or one that
// begins with "UTF-8" or "UTF8"; otherwise one byte is one character.
bool TinyXmlReadsAsUtf8(bool has_byte_order_mark, const StructureCheck& check) {
  if (has_byte_order_mark)
    return true;
  if (!check.has_declaration)
    return false;
  const std::string& name = check.declared_encoding;
  return name.empty() || ascii::StartsWithIgnoreCase(name, "UTF-8") ||
         ascii::StartsWithIgnoreCase(name, "UTF8");
}

// TinyXML ends a processing instruction at its first '>', and reads one whose
// target begins with "xml" as a declaration with quoted values that may run
// past the "?>". Either way it would see markup where expat sees none.
void XMLCALL OnProcessingInstruction(void* data, const XML_Char* target, const XML_Char* text) {
  if (ascii::StartsWithIgnoreCase(target, "xml") ||
      std::string_view(text).find('>') != std::string_view::npos)
    Refuse(static_cast<StructureCheck*>(data));
}

// True when `bytes` form a well-formed document that the seam accepts. The
// bytes are read as ISO-8859-1 whatever they declare, so that every byte is a
// character and code page 1252 text passes whatever the declaration says:
// only the structure is judged here; TinyXML does the decoding.
// `*unprintable`, when given, is set when a rewrite would change the
// document: TinyXML, reading one byte per character, makes a reference to a
// character above U+00FF ("&#x142;") its low byte ("B"), and would write it.
bool IsAcceptableDocument(std::string_view bytes, bool* unprintable = nullptr) {
  const bool has_byte_order_mark = bytes.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark;
  if (has_byte_order_mark)
    bytes.remove_prefix(kUtf8ByteOrderMark.size());
  const std::string_view document = bytes;
  StructureCheck check;
  check.parser = XML_ParserCreate("ISO-8859-1");
  if (check.parser == nullptr)
    return false;
  XML_SetUserData(check.parser, &check);
  XML_SetElementHandler(check.parser, OnStartElement, OnEndElement);
  XML_SetStartDoctypeDeclHandler(check.parser, OnDoctype);
  XML_SetProcessingInstructionHandler(check.parser, OnProcessingInstruction);
  XML_SetXmlDeclHandler(check.parser, OnXmlDeclaration);
  XML_SetCharacterDataHandler(check.parser, OnCharacterData);
  bool ok = true;
  do {
    std::string_view piece = bytes.substr(0, kExpatChunkBytes);
    bytes.remove_prefix(piece.size());
    ok = XML_Parse(check.parser, piece.data(), static_cast<int>(piece.size()),
                   bytes.empty() ? XML_TRUE : XML_FALSE) == XML_STATUS_OK;
  } while (ok && !bytes.empty());
  XML_ParserFree(check.parser);
  const bool utf8 = TinyXmlReadsAsUtf8(has_byte_order_mark, check);
  if (unprintable != nullptr)
    *unprintable = !utf8 && check.wide_reference;
  // Malformed UTF-8 is damage: TinyXML's reader steps over as many bytes as a
  // lead byte announces, and would swallow the markup after a cut-short one.
  return ok && (!utf8 || utf8::IsValid(document));
}

// The text TinyXML is given: line ends turned into "\n" as TinyXML does when
// it loads a file, then NULs after the end. TinyXML's UTF-8 reader steps over
// a multibyte sequence by the length its lead byte announces without looking
// for the terminator. The structure check lets no cut-short sequence through;
// the extra NULs keep TinyXML inside the buffer should it meet one anyway.
std::string TextForTinyXml(std::string_view bytes) {
  constexpr std::size_t kLongestUtf8Sequence = 4;
  std::string text;
  text.reserve(bytes.size() + kLongestUtf8Sequence);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r') {
      text.push_back(bytes[i]);
      continue;
    }
    text.push_back('\n');
    if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
      ++i;
  }
  text.append(kLongestUtf8Sequence, '\0');
  return text;
}

// ----------------------------------------------------------------------------
// Printing.

// Bytes 0x01 to 0x1F other than tab, line feed and carriage return cannot
// appear in an XML 1.0 document, not even as character references; NUL
// cannot either.
bool CarriesInXml(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
      return false;
  }
  return true;
}

// Finds names, values and texts that a printed document could not carry.
class UnprintableFinder final : public TiXmlVisitor {
 public:
  bool VisitEnter(const TiXmlElement& element, const TiXmlAttribute* attribute) override {
    Check(element.ValueStr());
    for (; attribute != nullptr; attribute = attribute->Next()) {
      Check(attribute->NameTStr());
      Check(attribute->ValueStr());
    }
    return !found_;
  }
  bool Visit(const TiXmlText& text) override {
    Check(text.ValueStr());
    return !found_;
  }
  bool found() const { return found_; }

 private:
  void Check(std::string_view text) { found_ = found_ || !CarriesInXml(text); }
  bool found_ = false;
};

// ----------------------------------------------------------------------------
// The seam.

class TinyXmlDocument;

class TinyXmlElement final : public XmlElement {
 public:
  TinyXmlElement(TinyXmlDocument& document, TiXmlElement* element)
      : document_(document), element_(element) {}

  std::vector<XmlElement*> ChildElements(std::string_view name) override;
  bool GetAttribute(std::string_view name, std::string* value) const override;
  bool SetAttribute(std::string_view name, std::string_view value) override;
  XmlElement* AppendChild(std::string_view name) override;
  bool RemoveChild(XmlElement* child) override;

  TiXmlElement* element() const { return element_; }

 private:
  TinyXmlDocument& document_;
  TiXmlElement* element_;
};

class TinyXmlDocument final : public XmlDocument {
 public:
  bool Parse(std::string_view bytes) override;
  XmlElement* Root() override { return Wrap(document_.RootElement()); }
  bool Print(std::string* bytes) const override;

  // The one wrapper of `element` (null for null), made on first use.
  XmlElement* Wrap(TiXmlElement* element);
  void Forget(TiXmlElement* element) { wrappers_.erase(element); }

 private:
  void Clear() {
    wrappers_.clear();
    document_.Clear();
    byte_order_mark_ = false;
    unprintable_ = false;
  }

  TiXmlDocument document_;
  // A document read with a UTF-8 byte order mark is printed with it again, so
  // that a rewrite keeps the file's encoding (TinyXML's printer drops it).
  bool byte_order_mark_ = false;
  // Read with a reference that TinyXML cannot hold (see IsAcceptableDocument):
  // every rewrite is refused, so the file keeps its characters.
  bool unprintable_ = false;
  std::unordered_map<const TiXmlElement*, std::unique_ptr<TinyXmlElement>> wrappers_;
};

std::vector<XmlElement*> TinyXmlElement::ChildElements(std::string_view name) {
  std::vector<XmlElement*> children;
  const std::string wanted(name);
  try {
    for (TiXmlElement* child = element_->FirstChildElement(wanted); child != nullptr;
         child = child->NextSiblingElement(wanted)) {
      children.push_back(document_.Wrap(child));
    }
  } catch (...) {
    children.clear();  // out of memory: nothing can be walked
  }
  return children;
}

bool TinyXmlElement::GetAttribute(std::string_view name, std::string* value) const {
  const std::string* found = element_->Attribute(std::string(name));
  if (found == nullptr)
    return false;
  *value = *found;
  return true;
}

bool TinyXmlElement::SetAttribute(std::string_view name, std::string_view value) {
  try {
    element_->SetAttribute(std::string(name), std::string(value));
    return true;
  } catch (...) {
    return false;
  }
}

XmlElement* TinyXmlElement::AppendChild(std::string_view name) {
  try {
    auto child = std::make_unique<TiXmlElement>(std::string(name));
    TiXmlNode* linked = element_->LinkEndChild(child.get());
    if (linked == nullptr)
      return nullptr;
    child.release();  // now owned by the element
    return document_.Wrap(linked->ToElement());
  } catch (...) {
    return nullptr;
  }
}

bool TinyXmlElement::RemoveChild(XmlElement* child) {
  auto* tiny = dynamic_cast<TinyXmlElement*>(child);
  if (tiny == nullptr || tiny->element_->Parent() != element_)
    return false;
  TiXmlElement* removed = tiny->element_;
  // Wrappers of the removed element's descendants stay in the map. They are
  // never handed out again unless a new element reuses an address, and then
  // the wrapper, which holds nothing but that address, fits the new element.
  document_.Forget(removed);  // destroys `tiny`
  return element_->RemoveChild(removed);
}

XmlElement* TinyXmlDocument::Wrap(TiXmlElement* element) {
  if (element == nullptr)
    return nullptr;
  std::unique_ptr<TinyXmlElement>& wrapper = wrappers_[element];
  if (!wrapper)
    wrapper = std::make_unique<TinyXmlElement>(*this, element);
  return wrapper.get();
}

bool TinyXmlDocument::Parse(std::string_view bytes) {
  try {
    Clear();
    if (!IsAcceptableDocument(bytes, &unprintable_))
      return false;
    byte_order_mark_ = bytes.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark;
    const std::string text = TextForTinyXml(bytes);
    document_.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    if (document_.Error()) {
      Clear();
      return false;
    }
    return true;
  } catch (...) {
    Clear();
    return false;
  }
}

bool TinyXmlDocument::Print(std::string* bytes) const {
  if (unprintable_)
    return false;
  try {
    UnprintableFinder finder;
    document_.Accept(&finder);
    if (finder.found())
      return false;
    TiXmlPrinter printer;
    document_.Accept(&printer);
    std::string printed = byte_order_mark_ ? std::string(kUtf8ByteOrderMark) : std::string();
    printed += printer.Str();
    // Never write what could not be loaded again: an entry of code page 1252
    // text above 0x7F printed into a document that reads as UTF-8 would make
    // the whole file unloadable, and with it every entry.
    if (!IsAcceptableDocument(printed))
      return false;
    *bytes = std::move(printed);
    return true;
  } catch (...) {
    return false;
  }
}

class TinyXmlParser final : public XmlParser {
 public:
  std::unique_ptr<XmlDocument> NewDocument() override {
    try {
      return std::make_unique<TinyXmlDocument>();
    } catch (...) {
      return nullptr;
    }
  }
};

}  // namespace

XmlParser& SystemXmlParser() {
  static TinyXmlParser parser;
  return parser;
}

}  // namespace varnox
