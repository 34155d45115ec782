// What the new-mail pipeline did to the messages of one store, kept in the
// data folder so that the next `varnox watch` knows it at start: which
// messages were judged (whatever the verdict, a white-listed sender's too),
// which were stamped as spam but not yet moved, and up to when every arrival
// had been seen (the watermark). A message is named by the store's own
// identity of it (host::MessageIdentity::unique; for a Maildir, the unique
// name, which survives the flag changes and folder moves that rename its
// file), and the store by its name (a Maildir root). The format is in
// docs/watch-journal.md.
//
// Records are appended, one line each in one write, so a killed process
// leaves whole lines; the file is rewritten atomically (shortened to what
// matters) when a watermark is written and it has grown past a limit. One
// process writes at a time (the word database's lock is held by every
// command that runs the pipeline).
#ifndef VARNOX_LINUX_WATCH_WATCH_JOURNAL_H_
#define VARNOX_LINUX_WATCH_WATCH_JOURNAL_H_

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace varnox::watch {

// Nanoseconds since the epoch, as file times are kept.
using JournalTime = std::int64_t;

// A message that arrived up to this long before the watermark is still
// looked at by the start-up catch-up (file times come from a coarser clock
// than ours, and a message may arrive while the watermark is written).
inline constexpr JournalTime kCatchUpSlack = 60'000'000'000;
// How long a record stays when the file is shortened: well beyond the
// slack, so that every message the catch-up looks at is still named.
inline constexpr JournalTime kJournalRetention = 3'600'000'000'000;
// The size above which writing a watermark shortens the file (or twice its
// size after the last shortening, when that is more: the places below may
// keep it larger).
inline constexpr std::size_t kJournalCompactBytes = 256 * 1024;
// How long the place of a message (see Place) is remembered: a move made
// later than this after Varnox last saw the message is no lesson.
inline constexpr JournalTime kPlaceRetention = 30LL * 24 * 3'600'000'000'000;
// How many content keys of handled messages are remembered (see
// RecordContentKey): the latest, a few hours of busy mail or more.
inline constexpr std::size_t kContentKeysKept = 10'000;

class WatchJournal {
 public:
  enum class State {
    kHandled,      // judged or left alone: done with
    kMovePending,  // stamped as spam; the move to SpamFilter may not have happened
  };
  // Where a message was last seen, kept only while LearnFromMoves is on
  // (move_lessons.h): in a watched folder, or in SpamFilter.
  enum class Place { kWatched, kSpam };
  enum class Opened {
    kNew,      // there was no journal: one was started
    kRead,     // read as it was
    kDamaged,  // not a journal of this store, or damaged: started afresh
  };

  // The journal of `store` (a canonical store root) in `journal_folder`,
  // made (0700) when missing. Null when it cannot be read or made.
  static std::unique_ptr<WatchJournal> Open(FileSystem& files, const std::string& journal_folder,
                                            const std::string& store, Opened* how);
  // The journal file of `store` in `journal_folder`.
  static std::string PathFor(const std::string& journal_folder, const std::string& store);

  const std::string& path() const { return path_; }
  // The time up to which every arrival was seen; nullopt before the first
  // watch wrote one.
  std::optional<JournalTime> watermark() const { return watermark_; }
  // The last record of the message; nullopt when none is kept.
  std::optional<State> StateOf(std::string_view unique) const;
  // The last place recorded for a message of this unique name or, failing
  // that, of this content fingerprint (a mail client or IMAP server may give
  // a moved message a new name); nullopt when neither is known. `found`, when
  // given, is set to the unique name the place was recorded under.
  std::optional<Place> PlaceOf(std::string_view unique, std::uint64_t fingerprint,
                               std::string* found = nullptr) const;
  // Whether the file has grown past the size that shortens it.
  bool large() const { return bytes_ > CompactAt(); }
  // The messages whose last record is kMovePending.
  std::vector<std::string> PendingMoves() const;
  // Whether a message of this content key (mime/content_key.h) was handled
  // lately (RecordContentKey).
  bool HandledContent(std::uint64_t key) const { return content_counts_.contains(key); }
  // The notes a store keeps here for itself (an IMAP account: how far each
  // folder was read, stampings under way), by key.
  const std::map<std::string, std::string, std::less<>>& notes() const { return notes_; }

  // Each appends one record; false when the file could not be written (the
  // record is kept in memory all the same).
  bool RecordHandled(std::string_view unique, JournalTime now);
  bool RecordMovePending(std::string_view unique, JournalTime now);
  bool RecordPlace(Place place, std::string_view unique, std::uint64_t fingerprint,
                   JournalTime now);
  // The content key of a message handled, for a store whose messages may
  // be renumbered (an IMAP folder with a new UIDVALIDITY): the latest
  // kContentKeysKept are remembered.
  bool RecordContentKey(std::uint64_t key, JournalTime now);
  // A store's note: kept until replaced or removed (an empty value removes
  // it), whatever its age.
  bool SetNote(std::string_view key, std::string_view value, JournalTime now);
  // The watermark; the file is then shortened when it is above
  // kJournalCompactBytes (or `force_compact`): only the watermark, the
  // pending moves and the records of the last kJournalRetention are kept.
  bool RecordWatermark(JournalTime now, bool force_compact = false);

  // Parses a journal's text for `store`; false when it is damaged.
  bool Parse(std::string_view text);
  // The text of the shortened journal.
  std::string CompactText() const;

 private:
  struct Entry {
    State state;
    JournalTime time;
  };
  struct Seen {
    Place place;
    JournalTime time;
    std::uint64_t fingerprint;
  };
  WatchJournal(FileSystem& files, std::string path, std::string store)
      : files_(files), path_(std::move(path)), store_(std::move(store)) {}
  void Clear();
  bool Append(std::string line);
  bool ParsePlace(char kind, JournalTime time, std::string_view fields);
  bool ParseNote(std::string_view fields);
  void KeepContentKey(std::uint64_t key, JournalTime time);
  std::size_t CompactAt() const;
  bool Rewrite();
  std::string Header() const;

  FileSystem& files_;
  std::string path_;
  std::string store_;
  std::optional<JournalTime> watermark_;
  std::map<std::string, Entry, std::less<>> entries_;
  // Places by unique name, and the unique name last recorded with each
  // fingerprint.
  std::map<std::string, Seen, std::less<>> places_;
  std::map<std::uint64_t, std::string> fingerprints_;
  // Content keys in the order recorded, the oldest dropped first, and how
  // many times each is among them.
  std::deque<std::pair<std::uint64_t, JournalTime>> content_keys_;
  std::map<std::uint64_t, int> content_counts_;
  std::map<std::string, std::string, std::less<>> notes_;
  std::size_t bytes_ = 0;            // the file's size as written by us
  std::size_t compacted_bytes_ = 0;  // its size after the last shortening
};

// The current time, for the journal.
JournalTime JournalNow();

}  // namespace varnox::watch

#endif  // VARNOX_LINUX_WATCH_WATCH_JOURNAL_H_
