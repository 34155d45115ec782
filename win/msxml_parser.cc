// The XML seam over MSXML 6, the system's own XML component, through COM.
//
// The calling thread must have COM initialised (the host's user-interface
// thread has). A document that MSXML cannot be created for parses nothing
// and prints nothing, so a list is never rewritten from a document that was
// not read.
#include <msxml2.h>
#include <objbase.h>
#include <windows.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/xml_document.h"
#include "win/wide_text.h"

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

// Bytes with no byte order mark and no encoding declaration are UTF-8 to an
// XML parser. Files written by a byte-transparent writer hold code page 1252
// instead; when they are not valid UTF-8 they are read as 1252.
bool IsValidUtf8(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > 0x7FFFFFFF)
    return bytes.empty();
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                             static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

// MSXML 6 refuses document type definitions by default, but not every
// implementation honours that (Wine's does not), and entity expansion would
// let a small file grow without bound. List files never carry one, so a
// declaration anywhere, in 8-bit or UTF-16 text, refuses the document.
bool DeclaresDocumentType(std::string_view bytes) {
  constexpr std::string_view kToken = "<!DOCTYPE";
  if (bytes.find(kToken) != std::string_view::npos)
    return true;
  std::string wide_little, wide_big;
  for (char c : kToken) {
    wide_little += c;
    wide_little += '\0';
    wide_big += '\0';
    wide_big += c;
  }
  return bytes.find(wide_little) != std::string_view::npos ||
         bytes.find(wide_big) != std::string_view::npos;
}

class MsxmlDocument;

class MsxmlElement final : public XmlElement {
 public:
  MsxmlElement(MsxmlDocument& document, ComPtr<IXMLDOMElement> element)
      : document_(document), element_(std::move(element)) {}

  std::vector<XmlElement*> ChildElements(std::string_view name) override;
  bool GetAttribute(std::string_view name, std::string* value) const override;
  void SetAttribute(std::string_view name, std::string_view value) override;
  XmlElement* AppendChild(std::string_view name) override;

 private:
  MsxmlDocument& document_;
  ComPtr<IXMLDOMElement> element_;
};

class MsxmlDocument final : public XmlDocument {
 public:
  MsxmlDocument() { Reset(); }

  bool Parse(std::string_view bytes) override {
    Reset();
    if (!dom_ || DeclaresDocumentType(bytes))
      return false;
    if (LoadBytes(bytes) || (!IsValidUtf8(bytes) && LoadText1252(bytes)))
      return true;
    Reset();  // a failed load leaves no partial tree behind
    return false;
  }

  XmlElement* Root() override {
    if (root_ == nullptr && dom_) {
      ComPtr<IXMLDOMElement> element;
      if (dom_->get_documentElement(&element) == S_OK && element)
        root_ = Adopt(std::move(element));
    }
    return root_;
  }

  bool Print(std::string* bytes) const override {
    bytes->clear();
    if (!dom_)
      return false;
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)))
      return false;
    VARIANT target;
    VariantInit(&target);
    target.vt = VT_UNKNOWN;
    target.punkVal = stream.Get();  // borrowed: the variant is not cleared
    if (FAILED(dom_->save(target)))
      return false;
    HGLOBAL memory = nullptr;
    STATSTG stat{};
    if (FAILED(GetHGlobalFromStream(stream.Get(), &memory)) ||
        FAILED(stream->Stat(&stat, STATFLAG_NONAME))) {
      return false;
    }
    const auto size = static_cast<std::size_t>(stat.cbSize.QuadPart);
    if (size == 0)
      return true;
    const void* data = GlobalLock(memory);
    if (data == nullptr)
      return false;
    bytes->assign(static_cast<const char*>(data), size);
    GlobalUnlock(memory);
    return true;
  }

  // Element wrappers live as long as the document; the pointers handed out
  // stay valid until it is destroyed.
  MsxmlElement* Adopt(ComPtr<IXMLDOMElement> element) {
    elements_.push_back(std::make_unique<MsxmlElement>(*this, std::move(element)));
    return elements_.back().get();
  }

  IXMLDOMDocument2* dom() { return dom_.Get(); }

 private:
  void Reset() {
    root_ = nullptr;
    dom_.Reset();
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(kDocumentProgId, &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dom_)))) {
      dom_.Reset();
      return;
    }
    // A list file is data: no network or file look-ups, no DTD, no
    // validation against anything it names.
    dom_->put_async(VARIANT_FALSE);
    dom_->put_validateOnParse(VARIANT_FALSE);
    dom_->put_resolveExternals(VARIANT_FALSE);
    VARIANT prohibit;
    VariantInit(&prohibit);
    prohibit.vt = VT_BOOL;
    prohibit.boolVal = VARIANT_TRUE;
    OwnedBstr property(std::wstring_view(L"ProhibitDTD"));
    dom_->setProperty(property.get(), prohibit);
  }

  // The bytes as a file's contents: MSXML reads the byte order mark and the
  // encoding declaration itself.
  bool LoadBytes(std::string_view bytes) {
    if (bytes.size() > 0x7FFFFFFF)
      return false;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (array == nullptr)
      return false;
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
      std::copy(bytes.begin(), bytes.end(), static_cast<char*>(data));
      SafeArrayUnaccessData(array);
    }
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
    Reset();
    if (!dom_)
      return false;
    OwnedBstr text(bytes);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    return text.get() != nullptr && SUCCEEDED(dom_->loadXML(text.get(), &loaded)) &&
           loaded == VARIANT_TRUE;
  }

  ComPtr<IXMLDOMDocument2> dom_;
  MsxmlElement* root_ = nullptr;
  std::vector<std::unique_ptr<MsxmlElement>> elements_;
};

std::vector<XmlElement*> MsxmlElement::ChildElements(std::string_view name) {
  std::vector<XmlElement*> found;
  const std::wstring wanted = win::WidenFrom1252(name);
  ComPtr<IXMLDOMNode> child;
  if (element_->get_firstChild(&child) != S_OK)
    return found;
  while (child) {
    DOMNodeType type = NODE_INVALID;
    BSTR child_name = nullptr;
    if (SUCCEEDED(child->get_nodeType(&type)) && type == NODE_ELEMENT &&
        SUCCEEDED(child->get_nodeName(&child_name))) {
      const bool match = child_name != nullptr &&
                         std::wstring_view(child_name, SysStringLen(child_name)) == wanted;
      SysFreeString(child_name);
      ComPtr<IXMLDOMElement> element;
      if (match && SUCCEEDED(child.As(&element)))
        found.push_back(document_.Adopt(std::move(element)));
    }
    ComPtr<IXMLDOMNode> next;
    if (child->get_nextSibling(&next) != S_OK)
      break;
    child = std::move(next);
  }
  return found;
}

bool MsxmlElement::GetAttribute(std::string_view name, std::string* value) const {
  OwnedBstr attribute(name);
  VARIANT result;
  VariantInit(&result);
  // S_FALSE with a null variant when the attribute is absent.
  if (element_->getAttribute(attribute.get(), &result) != S_OK)
    return false;
  bool found = result.vt == VT_BSTR;
  if (found)
    *value = NarrowBstr(result.bstrVal);
  VariantClear(&result);
  return found;
}

void MsxmlElement::SetAttribute(std::string_view name, std::string_view value) {
  OwnedBstr attribute(name);
  OwnedBstr text(value);
  VARIANT data;
  VariantInit(&data);
  data.vt = VT_BSTR;
  data.bstrVal = text.get();  // borrowed: the variant is not cleared
  element_->setAttribute(attribute.get(), data);
}

XmlElement* MsxmlElement::AppendChild(std::string_view name) {
  OwnedBstr tag(name);
  ComPtr<IXMLDOMElement> created;
  if (FAILED(document_.dom()->createElement(tag.get(), &created)) || !created)
    return nullptr;
  ComPtr<IXMLDOMNode> appended;
  ComPtr<IXMLDOMElement> element;
  if (FAILED(element_->appendChild(created.Get(), &appended)) || !appended ||
      FAILED(appended.As(&element))) {
    return nullptr;
  }
  return document_.Adopt(std::move(element));
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
