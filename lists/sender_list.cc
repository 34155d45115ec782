#include "lists/sender_list.h"

#include <algorithm>

#include "platform/code_page.h"
#include "settings/settings_store.h"

namespace varnox {
namespace {

// The file's vocabulary: root element of any name; direct children
// "MailID" (address entries) and "Domain" (domain entries), each with its
// text in the attribute "Name".
constexpr char kAddressElement[] = "MailID";
constexpr char kDomainElement[] = "Domain";
constexpr char kNameAttribute[] = "Name";

bool ContainsIgnoringCase(const std::vector<std::string>& entries, std::string_view text) {
  return std::any_of(entries.begin(), entries.end(), [text](const std::string& entry) {
    return code_page::EqualsIgnoreCase(entry, text);
  });
}

// The "Name" values of the root's direct children named `element_name`, in
// document order. An element without "Name" is no entry and is skipped.
std::vector<std::string> EntriesOf(XmlElement& root, const char* element_name) {
  std::vector<std::string> entries;
  for (XmlElement* element : root.ChildElements(element_name)) {
    std::string name;
    if (element->GetAttribute(kNameAttribute, &name))
      entries.push_back(std::move(name));
  }
  return entries;
}

// The root's direct children named `element_name` whose "Name" equals `text`
// ignoring case, in document order.
std::vector<XmlElement*> ElementsNamed(XmlElement& root, const char* element_name,
                                       std::string_view text) {
  std::vector<XmlElement*> matches;
  for (XmlElement* element : root.ChildElements(element_name)) {
    std::string name;
    if (element->GetAttribute(kNameAttribute, &name) && code_page::EqualsIgnoreCase(name, text))
      matches.push_back(element);
  }
  return matches;
}

}  // namespace

SenderList::SenderList(ListKind kind, const Platform& platform)
    : kind_(kind), platform_(platform) {}

std::string SenderList::FilePath() const {
  SettingsStore settings(platform_.registry);
  std::string path;
  if (kind_ == ListKind::Black)
    settings.BlackListPath(&path);
  else
    settings.WhiteListPath(&path);
  return path;
}

std::unique_ptr<XmlDocument> SenderList::LoadDocument(std::string* path) const {
  *path = FilePath();
  if (path->empty())
    return nullptr;
  std::string bytes;
  if (!platform_.files.ReadWholeFile(*path, &bytes) || bytes.size() > kMaxFileBytes)
    return nullptr;
  std::unique_ptr<XmlDocument> document = platform_.xml.NewDocument();
  if (document == nullptr || !document->Parse(bytes) || document->Root() == nullptr)
    return nullptr;
  return document;
}

bool SenderList::SaveDocument(const XmlDocument& document, const std::string& path) const {
  std::string bytes;
  return document.Print(&bytes) && platform_.files.ReplaceWholeFile(path, bytes);
}

bool SenderList::Load() {
  std::string path;
  std::unique_ptr<XmlDocument> document = LoadDocument(&path);
  if (document == nullptr)
    return false;
  // Both collections are complete before either replaces memory, so a
  // repeated load never doubles entries and a failed one changes nothing.
  std::vector<std::string> addresses = EntriesOf(*document->Root(), kAddressElement);
  std::vector<std::string> domains = EntriesOf(*document->Root(), kDomainElement);
  addresses_ = std::move(addresses);
  domains_ = std::move(domains);
  return true;
}

bool SenderList::ContainsAddress(std::string_view text) const {
  return ContainsIgnoringCase(addresses_, text);
}

bool SenderList::ContainsDomain(std::string_view text) const {
  return ContainsIgnoringCase(domains_, text);
}

bool SenderList::FileHasAddress(std::string_view text) const {
  return FileHas(kAddressElement, text);
}

bool SenderList::FileHasDomain(std::string_view text) const {
  return FileHas(kDomainElement, text);
}

bool SenderList::AddAddress(std::string_view text) {
  return Add(addresses_, kAddressElement, text);
}

bool SenderList::AddDomain(std::string_view text) {
  return Add(domains_, kDomainElement, text);
}

bool SenderList::UpdateAddress(std::string_view old_text, std::string_view new_text) {
  return Update(addresses_, kAddressElement, old_text, new_text);
}

bool SenderList::UpdateDomain(std::string_view old_text, std::string_view new_text) {
  return Update(domains_, kDomainElement, old_text, new_text);
}

bool SenderList::RemoveAddress(std::string_view text) {
  return Remove(addresses_, kAddressElement, text);
}

bool SenderList::RemoveDomain(std::string_view text) {
  return Remove(domains_, kDomainElement, text);
}

bool SenderList::FileHas(const char* element_name, std::string_view text) const {
  std::string path;
  std::unique_ptr<XmlDocument> document = LoadDocument(&path);
  return document != nullptr && !ElementsNamed(*document->Root(), element_name, text).empty();
}

bool SenderList::Add(std::vector<std::string>& entries, const char* element_name,
                     std::string_view text) {
  entries.emplace_back(text);
  std::string path;
  std::unique_ptr<XmlDocument> document = LoadDocument(&path);
  if (document == nullptr)
    return false;
  XmlElement* element = document->Root()->AppendChild(element_name);
  return element != nullptr && element->SetAttribute(kNameAttribute, text) &&
         SaveDocument(*document, path);
}

bool SenderList::Update(std::vector<std::string>& entries, const char* element_name,
                        std::string_view old_text, std::string_view new_text) {
  // Memory drops exact copies only, while the file renames the first entry
  // equal in any letter case: after the next Load, memory holds the file's
  // entries again.
  std::erase_if(entries, [old_text](const std::string& entry) { return entry == old_text; });
  entries.emplace_back(new_text);
  std::string path;
  std::unique_ptr<XmlDocument> document = LoadDocument(&path);
  if (document == nullptr)
    return false;
  std::vector<XmlElement*> matches = ElementsNamed(*document->Root(), element_name, old_text);
  if (!matches.empty() && !matches.front()->SetAttribute(kNameAttribute, new_text))
    return false;
  return SaveDocument(*document, path);
}

bool SenderList::Remove(std::vector<std::string>& entries, const char* element_name,
                        std::string_view text) {
  std::erase_if(entries, [text](const std::string& entry) {
    return code_page::EqualsIgnoreCase(entry, text);
  });
  std::string path;
  std::unique_ptr<XmlDocument> document = LoadDocument(&path);
  if (document == nullptr)
    return false;
  XmlElement* root = document->Root();
  std::vector<XmlElement*> matches = ElementsNamed(*root, element_name, text);
  if (matches.empty())
    return true;
  for (XmlElement* element : matches) {
    if (!root->RemoveChild(element))
      return false;
  }
  return SaveDocument(*document, path);
}

}  // namespace varnox
