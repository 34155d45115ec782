// One sender list, black or white: address entries and domain entries, in
// memory as two ordered sequences and on disk as an XML file whose path is a
// setting (BlackListPath / WhiteListPath). docs/list-files.md describes the
// file.
//
// Lookups for new mail (ContainsAddress, ContainsDomain) go to memory only.
// The file operations read the path anew, load the whole file, and, when they
// change it, write it back whole through FileSystem::ReplaceWholeFile, so the
// file is either the old one or the new one, never torn. Neither the path nor
// the parsed document is kept between calls.
//
// Entries are code page 1252 text kept exactly as written: no trimming, no
// change of case, no check of form. Comparisons ignore letter case and match
// whole strings only; the empty text matches only an empty entry. A domain
// entry matches mail only when stored with its leading "@".
//
// Failures are results, never messages: a missing path, a missing, unreadable,
// malformed or oversized file, or a failed write makes the file operations
// return false. Additions, updates and removals change memory whatever the
// file gives; the caller decides what to tell the user.
//
// Not thread-safe: called on the host's user-interface thread only.
#ifndef VARNOX_LISTS_SENDER_LIST_H_
#define VARNOX_LISTS_SENDER_LIST_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/xml_document.h"

namespace varnox {

enum class ListKind { Black, White };

class SenderList {
 public:
  // Files larger than this cannot be loaded. A list of a hundred thousand
  // senders takes about 4 MiB; the parsed document needs over ten times the
  // file's size in memory (about 115 MB at this limit with TinyXML).
  static constexpr std::size_t kMaxFileBytes = 8u << 20;

  // The list starts empty. The services of `platform` must outlive it.
  SenderList(ListKind kind, const Platform& platform);

  ListKind kind() const { return kind_; }

  // The file's path from the settings; empty when the setting is absent or
  // longer than 259 characters.
  std::string FilePath() const;

  // Replaces both sequences with the file's entries, in file order. False,
  // and memory unchanged, when the file cannot be loaded or has no root.
  bool Load();

  // In-memory lookups.
  bool ContainsAddress(std::string_view text) const;
  bool ContainsDomain(std::string_view text) const;

  // Lookups in the file (for the dialogs' duplicate check). False when the
  // file cannot be loaded. Memory is not touched.
  bool FileHasAddress(std::string_view text) const;
  bool FileHasDomain(std::string_view text) const;

  // Appends `text` to memory, then as a new last child of the file's root.
  // No duplicate check. False when the file cannot be loaded or written.
  bool AddAddress(std::string_view text);
  bool AddDomain(std::string_view text);

  // Memory: removes every entry byte-for-byte equal to `old_text` and appends
  // `new_text`. File: renames the first entry equal to `old_text` (ignoring
  // case), in place, and writes the document back even when none matched.
  // False when the file cannot be loaded or written.
  bool UpdateAddress(std::string_view old_text, std::string_view new_text);
  bool UpdateDomain(std::string_view old_text, std::string_view new_text);

  // Removes every entry equal to `text` (ignoring case) from memory and from
  // the file. The file is rewritten only when it held such an entry. False
  // when the file cannot be loaded or written.
  bool RemoveAddress(std::string_view text);
  bool RemoveDomain(std::string_view text);

  // The entries in order: as loaded, then as appended.
  const std::vector<std::string>& addresses() const { return addresses_; }
  const std::vector<std::string>& domains() const { return domains_; }

 private:
  // The file's document, parsed, with a root element; null when there is
  // none. *path receives the path it was read from.
  std::unique_ptr<XmlDocument> LoadDocument(std::string* path) const;
  bool SaveDocument(const XmlDocument& document, const std::string& path) const;

  bool FileHas(const char* element_name, std::string_view text) const;
  bool Add(std::vector<std::string>& entries, const char* element_name, std::string_view text);
  bool Update(std::vector<std::string>& entries, const char* element_name,
              std::string_view old_text, std::string_view new_text);
  bool Remove(std::vector<std::string>& entries, const char* element_name, std::string_view text);

  const ListKind kind_;
  const Platform platform_;  // a copy of the references
  std::vector<std::string> addresses_;
  std::vector<std::string> domains_;
};

}  // namespace varnox

#endif  // VARNOX_LISTS_SENDER_LIST_H_
