// Small helpers of the XML tests, shared by the contract and by each
// library's own tests.
#ifndef VARNOX_TESTS_PLATFORM_XML_TEST_SUPPORT_H_
#define VARNOX_TESTS_PLATFORM_XML_TEST_SUPPORT_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/xml_document.h"

namespace varnox::testing {

// A document of this build's XML library.
inline std::unique_ptr<XmlDocument> NewDocument() {
  return SystemXmlParser().NewDocument();
}

// Latin-1 text as UTF-16 little-endian bytes with a byte order mark.
inline std::string Utf16(std::string_view latin1) {
  std::string bytes = "\xFF\xFE";
  for (char c : latin1) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

// The Name attribute of the root's first `element` child, or "(none)".
inline std::string NameOfFirst(XmlDocument& document, std::string_view element) {
  std::string name = "(none)";
  auto children = document.Root()->ChildElements(element);
  if (!children.empty())
    children.front()->GetAttribute("Name", &name);
  return name;
}

}  // namespace varnox::testing

#endif  // VARNOX_TESTS_PLATFORM_XML_TEST_SUPPORT_H_
