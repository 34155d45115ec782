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
// Beside the file lies its image (word_image.h), written after the file at
// every save. Load uses the image when it matches the file, without reading
// the file; the table is then the image's, looked up where it lies, until
// something asks to change it (mutable_table, or a save): then the image is
// checked against the file's bytes and copied into memory, or, if it does
// not hold what the file does, the file is read instead.
//
// Judges look words up through Find and FindMany, and reach the whole table
// through table() (which copies an image in) and mutable_table(): everything
// that changes the table asks for it there.
//
// Not thread-safe: the owning judge serialises access.
#ifndef VARNOX_ENGINE_WORD_STORE_H_
#define VARNOX_ENGINE_WORD_STORE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/word_file_format.h"
#include "engine/word_image.h"
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

  // How Load uses a matching image: kMap maps it (a process that judges many
  // messages); kRead reads the bytes of each lookup (a process that judges
  // a message and ends: only the pages it looks at come into memory);
  // kNone reads the text file always.
  enum class ImageUse { kMap, kRead, kNone };
  void set_imageUse(ImageUse use) { imageUse_ = use; }

  // Reads the file, or its image when that matches it: 1 when it was read
  // whole (the table and the counts are replaced). 0 when the path is empty
  // (nothing changes), when there is no file, and when it cannot be read
  // whole or is not of the format; in the last two cases the file is
  // unreadable() from then on, and when memory ran out the table and counts
  // are left empty.
  int Load();
  // The table was loaded from the image and not copied into memory yet.
  bool fromImage() const { return image_ != nullptr; }
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
  // Whether the file on disk holds the bytes a save would write: the table
  // was loaded from the image (so the file is one this system wrote) or
  // saved, nothing changed it since, and the file is still that one.
  bool UpToDate() const;

  // The entry of `key`, or null; lives until the next lookup or change.
  const WordEntry* Find(const WordKey& key) const;
  // found[i] = the entry of keys[i], or null; they live until the next
  // FindMany or change.
  void FindMany(const WordKey* keys, std::size_t count, const WordEntry** found) const;
  std::size_t size() const { return image_ != nullptr ? image_->size() : table_.size(); }

  // The whole table (an image is copied into memory first).
  const WordTable& table() const;
  WordTable& mutable_table();
  const MessageCounts& messages() const { return messages_; }
  MessageCounts& mutable_messages();
  // Forgets every word; the message counts stay.
  void ClearWords();

 private:
  // Copies the image in (or, when it does not hold what the file does,
  // reads the file). Throws std::bad_alloc, leaving the image in place.
  void TakeImage();
  // Reads the text file at `path`; Load's second half.
  int LoadText(const std::string& path);
  // Writes the image of the table just written to the file named by
  // textStamp_ and textChecksum_, whose unmasked header lines are `header`:
  // entries, counts and extra as reading that file gives them. Failures are
  // not reported: the file is read instead.
  void WriteImage(std::string_view header);

  Platform platform_;
  WordFileFormat& format_;
  std::string path_;
  ImageUse imageUse_ = ImageUse::kMap;
  std::unique_ptr<WordImage> image_;
  std::string imageOf_;  // the path of the file the image was loaded for
  WordTable table_;
  MessageCounts messages_;
  bool unreadable_ = false;
  bool onDisk_ = false;
  // The table or the counts may differ from the file.
  bool changed_ = false;
  // The file as last read or written: its stamp (all zero: unknown) and
  // checksum.
  FileStamp textStamp_;
  std::uint64_t textChecksum_ = 0;
  WordFileFormat::ReadNotes readNotes_;
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_WORD_STORE_H_
