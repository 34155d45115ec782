// WordImage: a binary image of a statistics file's table (the word database,
// the chi-square judge's file), kept beside it (`path` + ".image") so that a
// process uses the table where it lies instead of reading and parsing the
// text: opening one reads its header alone, and a lookup reads the few
// bytes of the words it asks for.
//
// The text file stays the record. An image holds exactly what reading that
// text gives (WordFileFormat::ReadsBackAs), and names the text file it was
// made with: its stamp (FileStamp: which file, size, times) and a checksum
// of its bytes. An image is used only while the text file has that stamp
// (Open); before a process builds anything on it that it may write back,
// the text's bytes are checked against the checksum and the image's own
// bytes against theirs (CopyTo). Any other image (the text edited or put
// back, an image of an older Varnox, of another byte order or kind, cut
// short, damaged) is not used: the text is read instead, and the next save
// writes a new image.
//
// Layout: docs/word-database.md ("The image"). Every byte is untrusted: a
// lookup never reads outside the file, never loops beyond the index, and
// turns damage into "not found".
//
// Not thread-safe: the owning store serialises access.
#ifndef VARNOX_ENGINE_WORD_IMAGE_H_
#define VARNOX_ENGINE_WORD_IMAGE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/word_entry.h"
#include "engine/word_file_format.h"
#include "engine/word_table.h"
#include "platform/file_system.h"

namespace varnox {

// The 64-bit checksum of images and of the text files they name (XXH3).
class ImageChecksum {
 public:
  ImageChecksum();
  void Add(const void* data, std::size_t size);
  std::uint64_t Value() const;
  static std::uint64_t Of(const void* data, std::size_t size);

 private:
  alignas(64) unsigned char state_[640];
};

// The checksum of the whole file at `path` read in place; false when it
// cannot be read.
bool ChecksumOfFile(FileSystem& files, const std::string& path, std::uint64_t* checksum);

class WordImage {
 public:
  // The image of the text file at `path`.
  static std::string PathFor(const std::string& path) { return path + ".image"; }

  // What an image says about the text file and the table besides entries.
  struct Facts {
    std::uint32_t kind = 0;  // WordFileFormat::ImageKind of the text
    FileStamp textStamp;
    std::uint64_t textChecksum = 0;
    MessageCounts messages;
    std::uint32_t extra = 0;  // WordFileFormat::ImageExtra
  };

  // The bytes of the image of `table`, which was just written to the text
  // in word order: each entry as its line reads back, without the lines
  // reading passes over. False when some line would read as another word or
  // line, or take the load time (then no image is made: the text is read).
  // `facts.messages` and `facts.extra` must be as the text's header reads.
  // Throws std::bad_alloc.
  static bool Build(const WordTable& table, const WordFileFormat& format, const Facts& facts,
                    std::string* bytes);

  // The image at `imagePath` when it is one of `kind` for the text file
  // whose stamp is `textStamp` now; null otherwise (none, another's, not
  // matching, cut short, damaged header). Reads the header alone. `map`:
  // the file is mapped, for a process that judges many messages; otherwise
  // each lookup reads its bytes, so that only those become resident.
  static std::unique_ptr<WordImage> Open(FileSystem& files, const std::string& imagePath,
                                         std::uint32_t kind, const FileStamp& textStamp, bool map);

  const Facts& facts() const { return facts_; }
  std::size_t size() const { return static_cast<std::size_t>(count_); }

  // The entry of `key`, or null. The entry lives until the next lookup.
  const WordEntry* Find(const WordKey& key) const;
  // found[i] = the entry of keys[i], or null; the entries live until the
  // next FindMany.
  void FindMany(const WordKey* keys, std::size_t count, const WordEntry** found) const;

  // Fills the empty `table` with every entry, after checking the image's
  // bytes against their checksum and every record (word order, well-formed
  // words, entries as `format` reads them). False when any check fails;
  // `table` is then left empty. Throws std::bad_alloc.
  bool CopyTo(WordTable& table, const WordFileFormat& format) const;

 private:
  struct Layout;

  WordImage(std::unique_ptr<ReadOnlyFile> file, std::span<const unsigned char> mapped);
  // Reads `size` bytes at `offset`: false beyond the file.
  bool Read(std::uint64_t offset, void* out, std::size_t size) const;
  // Looks `key` up; false when absent or the image is damaged on its way.
  bool Lookup(const WordKey& key, WordEntry* entry) const;

  std::unique_ptr<ReadOnlyFile> file_;
  std::span<const unsigned char> mapped_;
  Facts facts_;
  std::uint64_t count_ = 0;
  unsigned indexBits_ = 0;
  std::uint64_t longWordsSize_ = 0;
  std::uint64_t bodyChecksum_ = 0;
  // Where the lookups' entries live until the next lookup.
  mutable WordEntry one_;
  mutable std::vector<WordEntry> many_;
};

}  // namespace varnox

#endif  // VARNOX_ENGINE_WORD_IMAGE_H_
