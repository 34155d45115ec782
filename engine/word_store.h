// WordStore: what one judge has learned, as it is kept: a table of words (or
// tokens) with their entries, the two message counts, and the file at `path`
// they are read from and written to. Every byte of the file is masked with
// 0xA5; its text is the format's (WordFileFormat).
//
// The file is the record; the rules that keep it whole are the same for
// every judge:
// - A file that exists but cannot be read whole (memory running out while it
//   is read included), or that is not of the format, is never replaced.
// - A save writes the whole file beside the old one and renames it over
//   (FileSystem::ReplaceWholeFile), and changes the table only once the file
//   is written; a failed save leaves the file, the table and the counts.
// - An empty path reads and writes nothing.
//
// Judges look words up through table() and learn through mutable_table():
// everything that changes the table asks for it there.
//
// Not thread-safe: the owning judge serialises access.
#ifndef VARNOX_ENGINE_WORD_STORE_H_
#define VARNOX_ENGINE_WORD_STORE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/word_file_format.h"
#include "engine/word_table.h"
#include "platform/platform.h"

namespace varnox {

class WordStore {
 public:
  // What a save does to one entry before it is written (aging, repairs):
  // may change it; false drops it. The same rule is then applied to the
  // table, so that it holds what the file holds.
  using SaveRule = std::function<bool(std::string_view word, WordEntry& entry)>;

  // `platform` (files, clock) and `format` must outlive the store.
  WordStore(const Platform& platform, WordFileFormat& format)
      : platform_(platform), format_(format) {}
  WordStore(const WordStore&) = delete;
  WordStore& operator=(const WordStore&) = delete;

  const std::string& path() const { return path_; }
  void set_path(std::string path) { path_ = std::move(path); }

  // Reads the file: 1 when it was read whole (the table and the counts are
  // replaced). 0 when the path is empty (nothing changes), when there is no
  // file, and when it cannot be read whole or is not of the format; in the
  // last two cases the file is unreadable() from then on, and when memory
  // ran out the table and counts are left empty.
  int Load();
  // The file exists but was not read whole, or is not of the format: it is
  // never replaced.
  bool unreadable() const { return unreadable_; }
  // A file is there as far as the store knows: found by Load (read or not)
  // or written since.
  bool onDisk() const { return onDisk_; }
  // What the last Load that read the file found besides the statistics.
  const WordFileFormat::ReadNotes& readNotes() const { return readNotes_; }

  // Replaces the file with the header and every entry that `rule` keeps, in
  // word order, and then applies `rule` to the table. True when written;
  // false (nothing changed) for an empty path, an unreadable file, a failed
  // write or memory running out.
  bool Save(const SaveRule& rule);
  // Replaces the file with the header lines alone. The same refusals.
  bool SaveHeaderOnly();

  const WordTable& table() const { return table_; }
  WordTable& mutable_table() { return table_; }
  const MessageCounts& messages() const { return messages_; }
  MessageCounts& mutable_messages() { return messages_; }
  // Forgets every word; the message counts stay.
  void ClearWords() { table_.clear(); }

 private:
  Platform platform_;
  WordFileFormat& format_;
  std::string path_;
  WordTable table_;
  MessageCounts messages_;
  bool unreadable_ = false;
  bool onDisk_ = false;
  WordFileFormat::ReadNotes readNotes_;
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_WORD_STORE_H_
