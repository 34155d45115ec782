// The XML seam over MSXML 6, the system's own XML component, through COM.
//
// Encodings. A document with a byte order mark or an XML declaration is
// decoded by MSXML as it declares (a declaration naming no encoding means
// UTF-8); a document with neither is code page 1252, one byte one character,
// as this system writes its files and as the Linux shell reads them. Values
// reach the core in code page 1252. Print writes code page 1252 under a
// declaration that says so, or UTF-8 when the document holds a character
// that 1252 cannot (from a UTF-8 file, or a reference such as "&#x142;"),
// so that no untouched entry or comment is changed by a rewrite.
//
// Refusals are made here rather than left to MSXML options, because not every
// MSXML honours them (Wine's ignores ProhibitDTD): any document type
// declaration, any NUL byte in 8-bit text, nesting deeper than kMaxXmlDepth.
//
// Element wrappers mirror the tree: each element's child elements are listed
// once, on first use, and kept in step by AppendChild and RemoveChild (the
// only ways the tree changes), so every element has exactly one wrapper and
// a child is known to be a child without asking MSXML for node identity,
// which MSXML does not keep stable everywhere.
//
// The calling thread must have COM initialised (the host's user-interface
// thread has). When MSXML cannot be had, documents parse nothing and print
// nothing, so a list file is never rewritten from a document that was not read.
#include <windows.h>

#include <msxml2.h>
#include <objbase.h>
#include <wrl/client.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/xml_document.h"
#include "win/platform/wide_text.h"

// mingw-w64's msxml2.h declares these interfaces without their identifiers.
__CRT_UUID_DECL(IXMLDOMDocument2, 0x2933bf95, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98,
                0x3e, 0x60)
__CRT_UUID_DECL(IXMLDOMElement, 0x2933bf86, 0x7b36, 0x11d2, 0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98,
                0x3e, 0x60)

namespace varnox {
namespace {

using Microsoft::WRL::ComPtr;
using win::NarrowBstr;
using win::OwnedBstr;

constexpr wchar_t kDocumentProgId[] = L"Msxml2.DOMDocument.6.0";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kPrintedDeclaration =
    "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n";
constexpr std::string_view kUtf8Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool IsUtf16(std::string_view bytes) {
  return StartsWith(bytes, "\xFF\xFE") || StartsWith(bytes, "\xFE\xFF");
}

// MSXML decodes these itself; everything else is code page 1252.
bool DeclaresItsEncoding(std::string_view bytes) {
  return IsUtf16(bytes) || StartsWith(bytes, kUtf8ByteOrderMark) || StartsWith(bytes, "<?xml");
}

// "<!DOCTYPE" anywhere, in 8-bit text or in either UTF-16 byte order. The
// word inside a value is written "DOCTYPE" without "<!", so it does not match.
bool DeclaresDocumentType(std::string_view bytes) {
  constexpr std::string_view kToken = "<!DOCTYPE";
  std::string little, big;
  for (char c : kToken) {
    little += c;
    little += '\0';
    big += '\0';
    big += c;
  }
  return bytes.find(kToken) != std::string_view::npos ||
         bytes.find(little) != std::string_view::npos || bytes.find(big) != std::string_view::npos;
}

// Characters that no XML 1.0 document can carry, not even as references.
bool CarriesInXml(std::wstring_view text) {
  return std::none_of(text.begin(), text.end(),
                      [](wchar_t c) { return c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r'; });
}

std::wstring TakeBstr(BSTR text) {
  std::wstring taken = text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text));
  SysFreeString(text);
  return taken;
}

class MsxmlDocument;

class MsxmlElement final : public XmlElement {
 public:
  MsxmlElement(MsxmlDocument& document, ComPtr<IXMLDOMElement> element, std::wstring name)
      : document_(document), element_(std::move(element)), name_(std::move(name)) {}

  std::vector<XmlElement*> ChildElements(std::string_view name) override;
  bool GetAttribute(std::string_view name, std::string* value) const override;
  bool SetAttribute(std::string_view name, std::string_view value) override;
  XmlElement* AppendChild(std::string_view name) override;
  bool RemoveChild(XmlElement* child) override;

  // This element's child elements, in document order, listed on first use.
  const std::vector<MsxmlElement*>& Children();
  IXMLDOMElement* dom() const { return element_.Get(); }

 private:
  MsxmlDocument& document_;
  ComPtr<IXMLDOMElement> element_;
  std::wstring name_;
  bool listed_ = false;
  std::vector<MsxmlElement*> children_;
};

class MsxmlDocument final : public XmlDocument {
 public:
  bool Parse(std::string_view bytes) override {
    Clear();
    if (bytes.empty() || bytes.size() > 0x7FFFFFFF || DeclaresDocumentType(bytes) ||
        (!IsUtf16(bytes) && bytes.find('\0') != std::string_view::npos) || !Create()) {
      return false;
    }
    const bool loaded = DeclaresItsEncoding(bytes) ? LoadBytes(bytes) : LoadText1252(bytes);
    if (loaded && Root() != nullptr && IsShallowEnough())
      return true;
    Clear();  // a refused document leaves no tree behind
    return false;
  }

  XmlElement* Root() override {
    if (root_ == nullptr && dom_) {
      ComPtr<IXMLDOMElement> element;
      BSTR name = nullptr;
      if (dom_->get_documentElement(&element) == S_OK && element &&
          SUCCEEDED(element->get_tagName(&name))) {
        root_ = Adopt(std::move(element), TakeBstr(name));
      }
    }
    return root_;
  }

  bool Print(std::string* bytes) const override {
    if (!dom_ || holds_nul_ || !IsPrintable())
      return false;
    BSTR xml = nullptr;
    if (FAILED(dom_->get_xml(&xml)))
      return false;
    std::wstring text = TakeBstr(xml);
    // The declaration is ours: it names the encoding the bytes are in.
    if (text.rfind(L"<?xml ", 0) == 0) {
      std::size_t end = text.find(L"?>");
      if (end == std::wstring::npos)
        return false;
      end += 2;
      while (end < text.size() && (text[end] == L'\r' || text[end] == L'\n'))
        ++end;
      text.erase(0, end);
    }
    // A document holding characters that 1252 has no byte for is written
    // in UTF-8, so that a change to one entry loses nothing elsewhere.
    if (win::FitsIn1252(text))
      *bytes = std::string(kPrintedDeclaration) + win::NarrowTo1252(text);
    else
      *bytes = std::string(kUtf8Declaration) + win::NarrowToUtf8(text);
    return true;
  }

  MsxmlElement* Adopt(ComPtr<IXMLDOMElement> element, std::wstring name) {
    elements_.push_back(std::make_unique<MsxmlElement>(*this, std::move(element), std::move(name)));
    return elements_.back().get();
  }

  IXMLDOMDocument2* dom() { return dom_.Get(); }
  // A NUL cannot be stored in MSXML's strings nor carried by XML at all.
  void NoteNul() { holds_nul_ = true; }

 private:
  void Clear() {
    root_ = nullptr;
    holds_nul_ = false;
    elements_.clear();
    dom_.Reset();
  }

  bool Create() {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(kDocumentProgId, &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dom_)))) {
      dom_.Reset();
      return false;
    }
    // A list file is data: no network or file look-ups, no validation.
    dom_->put_async(VARIANT_FALSE);
    dom_->put_validateOnParse(VARIANT_FALSE);
    dom_->put_resolveExternals(VARIANT_FALSE);
    dom_->put_preserveWhiteSpace(VARIANT_FALSE);
    return true;
  }

  // The bytes as a file's contents, for MSXML to decode.
  bool LoadBytes(std::string_view bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (array == nullptr)
      return false;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
      SafeArrayDestroy(array);
      return false;
    }
    std::copy(bytes.begin(), bytes.end(), static_cast<char*>(data));
    SafeArrayUnaccessData(array);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_ARRAY | VT_UI1;
    source.parray = array;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = dom_->load(source, &loaded);
    VariantClear(&source);
    return SUCCEEDED(hr) && loaded == VARIANT_TRUE;
  }

  bool LoadText1252(std::string_view bytes) {
    OwnedBstr text(bytes);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    return text.get() != nullptr && SUCCEEDED(dom_->loadXML(text.get(), &loaded)) &&
           loaded == VARIANT_TRUE;
  }

  // Walks the tree without recursion. MSXML itself refuses much deeper
  // documents before building them; this gives the exact bound.
  bool IsShallowEnough() {
    struct Level {
      MsxmlElement* element;
      int depth;
    };
    std::vector<Level> pending{{root_, 1}};
    while (!pending.empty()) {
      Level level = pending.back();
      pending.pop_back();
      if (level.depth > kMaxXmlDepth)
        return false;
      for (MsxmlElement* child : level.element->Children())
        pending.push_back({child, level.depth + 1});
    }
    return true;
  }

  // Every element name, attribute name and value, and text in the document.
  bool IsPrintable() const {
    std::vector<ComPtr<IXMLDOMNode>> pending;
    ComPtr<IXMLDOMNode> first;
    if (dom_->get_firstChild(&first) == S_OK)
      pending.push_back(first);
    while (!pending.empty()) {
      ComPtr<IXMLDOMNode> node = pending.back();
      pending.pop_back();
      ComPtr<IXMLDOMNode> next;
      if (node->get_nextSibling(&next) == S_OK && next)
        pending.push_back(next);
      DOMNodeType type = NODE_INVALID;
      node->get_nodeType(&type);
      if (type == NODE_ELEMENT || type == NODE_ATTRIBUTE || type == NODE_TEXT ||
          type == NODE_CDATA_SECTION || type == NODE_COMMENT) {
        BSTR name = nullptr;
        VARIANT value;
        VariantInit(&value);
        node->get_nodeName(&name);
        if (!CarriesInXml(TakeBstr(name)))
          return false;
        if (SUCCEEDED(node->get_nodeValue(&value)) && value.vt == VT_BSTR) {
          bool ok = CarriesInXml(std::wstring_view(value.bstrVal, SysStringLen(value.bstrVal)));
          VariantClear(&value);
          if (!ok)
            return false;
        }
      }
      if (type == NODE_ELEMENT) {
        ComPtr<IXMLDOMNamedNodeMap> attributes;
        long count = 0;
        if (node->get_attributes(&attributes) == S_OK && attributes &&
            SUCCEEDED(attributes->get_length(&count))) {
          for (long i = 0; i < count; ++i) {
            ComPtr<IXMLDOMNode> attribute;
            if (attributes->get_item(i, &attribute) == S_OK && attribute)
              pending.push_back(attribute);
          }
        }
      }
      ComPtr<IXMLDOMNode> child;
      if (type == NODE_ELEMENT && node->get_firstChild(&child) == S_OK && child)
        pending.push_back(child);
    }
    return true;
  }

  ComPtr<IXMLDOMDocument2> dom_;
  MsxmlElement* root_ = nullptr;
  bool holds_nul_ = false;
  std::vector<std::unique_ptr<MsxmlElement>> elements_;
};

const std::vector<MsxmlElement*>& MsxmlElement::Children() {
  if (listed_)
    return children_;
  listed_ = true;
  ComPtr<IXMLDOMNode> child;
  if (element_->get_firstChild(&child) != S_OK)
    return children_;
  while (child) {
    DOMNodeType type = NODE_INVALID;
    ComPtr<IXMLDOMElement> element;
    BSTR name = nullptr;
    if (SUCCEEDED(child->get_nodeType(&type)) && type == NODE_ELEMENT &&
        SUCCEEDED(child.As(&element)) && SUCCEEDED(element->get_tagName(&name))) {
      children_.push_back(document_.Adopt(std::move(element), TakeBstr(name)));
    }
    ComPtr<IXMLDOMNode> next;
    if (child->get_nextSibling(&next) != S_OK)
      break;
    child = std::move(next);
  }
  return children_;
}

std::vector<XmlElement*> MsxmlElement::ChildElements(std::string_view name) {
  const std::wstring wanted = win::WidenFrom1252(name);
  std::vector<XmlElement*> found;
  for (MsxmlElement* child : Children()) {
    if (child->name_ == wanted)
      found.push_back(child);
  }
  return found;
}

bool MsxmlElement::GetAttribute(std::string_view name, std::string* value) const {
  OwnedBstr attribute(name);
  VARIANT result;
  VariantInit(&result);
  // S_FALSE with a null variant when the attribute is absent.
  if (attribute.get() == nullptr || element_->getAttribute(attribute.get(), &result) != S_OK)
    return false;
  const bool found = result.vt == VT_BSTR;
  if (found)
    *value = NarrowBstr(result.bstrVal);
  VariantClear(&result);
  return found;
}

bool MsxmlElement::SetAttribute(std::string_view name, std::string_view value) {
  if (name.find('\0') != std::string_view::npos || value.find('\0') != std::string_view::npos)
    document_.NoteNul();
  OwnedBstr attribute(name);
  OwnedBstr text(value);
  if (attribute.get() == nullptr || text.get() == nullptr)
    return false;
  VARIANT data;
  VariantInit(&data);
  data.vt = VT_BSTR;
  data.bstrVal = text.get();  // borrowed: the variant is not cleared
  return SUCCEEDED(element_->setAttribute(attribute.get(), data));
}

XmlElement* MsxmlElement::AppendChild(std::string_view name) {
  if (name.find('\0') != std::string_view::npos)
    document_.NoteNul();
  Children();  // the mirror must hold the existing children before the new one
  OwnedBstr tag(name);
  ComPtr<IXMLDOMElement> created;
  if (tag.get() == nullptr || FAILED(document_.dom()->createElement(tag.get(), &created)) ||
      !created) {
    return nullptr;
  }
  ComPtr<IXMLDOMNode> appended;
  ComPtr<IXMLDOMElement> element;
  if (FAILED(element_->appendChild(created.Get(), &appended)) || !appended ||
      FAILED(appended.As(&element))) {
    return nullptr;
  }
  MsxmlElement* wrapper = document_.Adopt(std::move(element), win::WidenFrom1252(name));
  children_.push_back(wrapper);
  return wrapper;
}

bool MsxmlElement::RemoveChild(XmlElement* child) {
  auto it = std::find(Children().begin(), Children().end(), child);
  if (it == children_.end())
    return false;
  ComPtr<IXMLDOMNode> removed;
  if (FAILED(element_->removeChild((*it)->dom(), &removed)))
    return false;
  // The wrapper stays owned by the document until it is destroyed, so a
  // stale pointer held by a caller does not dangle; it is never handed out
  // again.
  children_.erase(it);
  return true;
}

class MsxmlParser final : public XmlParser {
 public:
  std::unique_ptr<XmlDocument> NewDocument() override { return std::make_unique<MsxmlDocument>(); }
};

}  // namespace

XmlParser& SystemXmlParser() {
  static MsxmlParser parser;
  return parser;
}

}  // namespace varnox
