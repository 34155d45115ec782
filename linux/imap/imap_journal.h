// Where the IMAP store keeps what must outlive a connection and a run: its
// notes (stamp_note.h) in the account's journal, which the watch service
// keeps (docs/watch-journal.md), and what that journal knows of the last
// run. One thread, the store's.
#ifndef VARNOX_LINUX_IMAP_IMAP_JOURNAL_H_
#define VARNOX_LINUX_IMAP_IMAP_JOURNAL_H_

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace varnox {

class ImapJournal {
 public:
  virtual ~ImapJournal() = default;

  // The notes kept, by key.
  virtual const std::map<std::string, std::string, std::less<>>& Notes() const = 0;
  // Keeps a note (an empty value removes it). The note is written before
  // the call returns; false when it could not be.
  virtual bool SetNote(std::string_view key, std::string_view value) = 0;
  // Up to when every arrival was seen at the last run, in ns since the
  // epoch; nullopt before the first.
  virtual std::optional<std::int64_t> Watermark() const = 0;
};

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_IMAP_JOURNAL_H_
