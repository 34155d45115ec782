#include "engine/word_image.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace varnox {
namespace {

constexpr char kMagic[8] = {'V', 'N', 'X', 'I', 'M', 'A', 'G', 'E'};
// Read back as anything else, the image was written in another byte order.
constexpr std::uint32_t kByteOrder = 0x01020304;
// Raised whenever the layout or the meaning of a field changes: an image of
// another version is never used.
constexpr std::uint32_t kVersion = 1;
constexpr unsigned char kMask = 0xA5;  // the words are masked as in the text
constexpr std::size_t kInlineMax = word_table_internal::kInlineMax;
constexpr unsigned char kLongWord = 0xFF;
constexpr unsigned kTagBits = word_table_internal::kTagBits;
constexpr std::uint32_t kTagMask = (1u << kTagBits) - 1;
constexpr unsigned kMinIndexBits = 4;
constexpr unsigned kMaxIndexBits = 31;

// The lookups find words by WordKey's hash: an image made while it was
// another function would find nothing. The hash of a fixed word tells.
std::uint64_t HashCheck() {
  return WordKey("varnox image").hash();
}

struct Header {
  char magic[8];
  std::uint32_t byteOrder;
  std::uint32_t version;
  std::uint32_t kind;
  std::uint32_t headerSize;
  std::uint64_t hashCheck;
  std::uint64_t textStamp[5];  // size, modified, changed, volume, file
  std::uint64_t textChecksum;
  std::int32_t spamMessages;
  std::int32_t cleanMessages;
  std::uint32_t extra;
  std::uint32_t indexBits;
  std::uint64_t count;
  std::uint64_t longWordsSize;
  std::uint64_t bodyChecksum;    // every byte after the header
  std::uint64_t headerChecksum;  // every byte of the header before this field
};
static_assert(sizeof(Header) == 128);
constexpr std::size_t kHeaderChecked = offsetof(Header, headerChecksum);

// A record: the word's 16 key bytes as WordTable keeps them (an inline word
// with zero padding and its length last; a long word's first 8 bytes, its
// offset in the long words at 8, and 0xFF last), every byte masked; then
// its entry.
struct Record {
  unsigned char key[16];
  WordEntry entry;
};
static_assert(sizeof(Record) == 32);

void MaskKey(unsigned char* key) {
  for (int i = 0; i < 16; ++i)
    key[i] ^= kMask;
}

bool FitsInline(std::string_view word) {
  return word.size() <= kInlineMax && word.find('\0') == std::string_view::npos;
}

unsigned IndexBitsFor(std::uint64_t count) {
  unsigned bits = kMinIndexBits;
  while ((std::uint64_t{1} << bits) / 4 * 3 < count + 1)
    ++bits;
  return bits;
}

std::uint32_t SlotValue(std::uint64_t position, std::uint64_t hash) {
  return static_cast<std::uint32_t>((position + 1) << kTagBits) |
         (static_cast<std::uint32_t>(hash) & kTagMask);
}

}  // namespace

// --- Checksums -------------------------------------------------------------------

ImageChecksum::ImageChecksum() {
  static_assert(sizeof(XXH3_state_t) <= sizeof state_);
  static_assert(alignof(XXH3_state_t) <= 64);
  XXH3_64bits_reset(new (state_) XXH3_state_t);
}

void ImageChecksum::Add(const void* data, std::size_t size) {
  XXH3_64bits_update(reinterpret_cast<XXH3_state_t*>(state_), data, size);
}

std::uint64_t ImageChecksum::Value() const {
  return XXH3_64bits_digest(reinterpret_cast<const XXH3_state_t*>(state_));
}

std::uint64_t ImageChecksum::Of(const void* data, std::size_t size) {
  return XXH3_64bits(data, size);
}

bool ChecksumOfFile(FileSystem& files, const std::string& path, std::uint64_t* checksum) {
  const std::unique_ptr<ReadOnlyFile> file = files.OpenReadOnly(path);
  if (file == nullptr)
    return false;
  const std::span<const unsigned char> mapped = file->Map();
  if (!mapped.empty() || file->size() == 0) {
    *checksum = ImageChecksum::Of(mapped.data(), mapped.size());
    return true;
  }
  ImageChecksum sum;
  std::vector<char> buffer(1 << 20);
  for (std::uint64_t at = 0; at < file->size();) {
    const std::size_t piece =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), file->size() - at));
    if (!file->ReadAt(at, buffer.data(), piece))
      return false;
    sum.Add(buffer.data(), piece);
    at += piece;
  }
  *checksum = sum.Value();
  return true;
}

// --- Building --------------------------------------------------------------------

bool WordImage::Build(const WordTable& table, const WordFileFormat& format, const Facts& facts,
                      std::string* bytes) {
  if (table.size() > word_table_internal::kMaxEntries)
    return false;
  std::vector<Record> records;
  records.reserve(table.size());
  std::vector<std::uint64_t> hashes;
  hashes.reserve(table.size());
  std::string long_words;
  for (const auto [word, stored] : table) {
    WordEntry as_read = stored;
    const WordFileFormat::ReadBack read_back = format.ReadsBackAs(word, &as_read);
    if (read_back == WordFileFormat::ReadBack::kSkipped)
      continue;  // reading passes its line over: not in the image either
    if (read_back != WordFileFormat::ReadBack::kAsWord)
      return false;
    Record& record = records.emplace_back();
    record.entry = as_read;
    std::memset(record.key, 0, sizeof record.key);
    if (FitsInline(word)) {
      std::memcpy(record.key, word.data(), word.size());
      record.key[15] = static_cast<unsigned char>(word.size());
    } else {
      if (long_words.size() + sizeof(std::uint32_t) + word.size() > UINT32_MAX)
        return false;
      const auto offset = static_cast<std::uint32_t>(long_words.size());
      const auto length = static_cast<std::uint32_t>(word.size());
      long_words.append(reinterpret_cast<const char*>(&length), sizeof length);
      const std::size_t at = long_words.size();
      long_words.append(word);
      for (std::size_t i = at; i < long_words.size(); ++i)
        long_words[i] = static_cast<char>(long_words[i] ^ kMask);
      std::memcpy(record.key, word.data(), 8);
      std::memcpy(record.key + 8, &offset, sizeof offset);
      record.key[15] = kLongWord;
    }
    MaskKey(record.key);
    hashes.push_back(WordKey(word).hash());
  }

  // The index, filled with the slots a little ahead fetched: in a large
  // index nearly every slot is a cache miss.
  const std::uint64_t count = records.size();
  const unsigned bits = IndexBitsFor(count);
  const std::size_t slots = std::size_t{1} << bits;
  std::vector<std::uint32_t> index(slots, 0);
  const unsigned shift = 64 - bits;
  constexpr std::size_t kAhead = 16;
  for (std::size_t i = 0; i < hashes.size(); ++i) {
    if (i + kAhead < hashes.size())
      __builtin_prefetch(&index[hashes[i + kAhead] >> shift], 1);
    std::size_t slot = hashes[i] >> shift;
    while (index[slot] != 0)
      slot = (slot + 1) & (slots - 1);
    index[slot] = SlotValue(i, hashes[i]);
  }

  Header header = {};
  std::memcpy(header.magic, kMagic, sizeof kMagic);
  header.byteOrder = kByteOrder;
  header.version = kVersion;
  header.kind = facts.kind;
  header.headerSize = sizeof(Header);
  header.hashCheck = HashCheck();
  const FileStamp& stamp = facts.textStamp;
  header.textStamp[0] = stamp.size;
  header.textStamp[1] = static_cast<std::uint64_t>(stamp.modified);
  header.textStamp[2] = static_cast<std::uint64_t>(stamp.changed);
  header.textStamp[3] = stamp.volume;
  header.textStamp[4] = stamp.file;
  header.textChecksum = facts.textChecksum;
  header.spamMessages = facts.messages.spam;
  header.cleanMessages = facts.messages.clean;
  header.extra = facts.extra;
  header.indexBits = bits;
  header.count = count;
  header.longWordsSize = long_words.size();

  bytes->clear();
  bytes->reserve(sizeof(Header) + records.size() * sizeof(Record) +
                 index.size() * sizeof(std::uint32_t) + long_words.size());
  bytes->append(sizeof(Header), '\0');
  bytes->append(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(Record));
  bytes->append(reinterpret_cast<const char*>(index.data()), index.size() * sizeof(std::uint32_t));
  bytes->append(long_words);
  header.bodyChecksum =
      ImageChecksum::Of(bytes->data() + sizeof(Header), bytes->size() - sizeof(Header));
  header.headerChecksum = ImageChecksum::Of(&header, kHeaderChecked);
  std::memcpy(bytes->data(), &header, sizeof header);
  return true;
}

// --- Opening and lookups ---------------------------------------------------------

struct WordImage::Layout {
  static constexpr std::uint64_t kRecords = sizeof(Header);
  static std::uint64_t Index(std::uint64_t count) { return kRecords + count * sizeof(Record); }
  static std::uint64_t LongWords(std::uint64_t count, unsigned bits) {
    return Index(count) + (std::uint64_t{4} << bits);
  }
};

WordImage::WordImage(std::unique_ptr<ReadOnlyFile> file, std::span<const unsigned char> mapped)
    : file_(std::move(file)), mapped_(mapped) {}

std::unique_ptr<WordImage> WordImage::Open(FileSystem& files, const std::string& imagePath,
                                           std::uint32_t kind, const FileStamp& textStamp,
                                           bool map) {
  std::unique_ptr<ReadOnlyFile> file = files.OpenReadOnly(imagePath);
  if (file == nullptr || file->size() < sizeof(Header))
    return nullptr;
  const std::span<const unsigned char> mapped =
      map ? file->Map() : std::span<const unsigned char>();
  std::unique_ptr<WordImage> image(new WordImage(std::move(file), mapped));
  Header header;
  if (!image->Read(0, &header, sizeof header))
    return nullptr;
  if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 || header.byteOrder != kByteOrder ||
      header.version != kVersion || header.kind != kind || header.headerSize != sizeof(Header) ||
      header.headerChecksum != ImageChecksum::Of(&header, kHeaderChecked) ||
      header.hashCheck != HashCheck() || header.indexBits < kMinIndexBits ||
      header.indexBits > kMaxIndexBits || header.count > word_table_internal::kMaxEntries ||
      header.count + 1 > (std::uint64_t{1} << header.indexBits) / 4 * 3 ||
      header.longWordsSize > UINT32_MAX) {
    return nullptr;
  }
  // Each part lies where the counts say, and the file ends with the last.
  if (Layout::LongWords(header.count, header.indexBits) + header.longWordsSize !=
      image->file_->size())
    return nullptr;
  const FileStamp named{header.textStamp[0], static_cast<std::int64_t>(header.textStamp[1]),
                        static_cast<std::int64_t>(header.textStamp[2]), header.textStamp[3],
                        header.textStamp[4]};
  if (named != textStamp || textStamp == FileStamp{})
    return nullptr;
  image->facts_ = Facts{header.kind, named, header.textChecksum,
                        MessageCounts{header.spamMessages, header.cleanMessages}, header.extra};
  image->count_ = header.count;
  image->indexBits_ = header.indexBits;
  image->longWordsSize_ = header.longWordsSize;
  image->bodyChecksum_ = header.bodyChecksum;
  return image;
}

bool WordImage::Read(std::uint64_t offset, void* out, std::size_t size) const {
  if (!mapped_.empty()) {
    if (offset > mapped_.size() || size > mapped_.size() - offset)
      return false;
    std::memcpy(out, mapped_.data() + offset, size);
    return true;
  }
  if (offset > file_->size() || size > file_->size() - offset)
    return false;
  return file_->ReadAt(offset, out, size);
}

bool WordImage::Lookup(const WordKey& key, WordEntry* entry) const {
  const std::string_view word = key.word();
  const std::uint64_t hash = key.hash();
  const std::size_t slots = std::size_t{1} << indexBits_;
  const std::uint64_t index = Layout::Index(count_);
  const std::uint64_t long_words = Layout::LongWords(count_, indexBits_);
  // Open found the index and the records inside the file: a mapped image is
  // read where it lies. Otherwise slots are read a run at a time: one read
  // covers most probe chains.
  const unsigned char* mapped = mapped_.empty() ? nullptr : mapped_.data();
  constexpr std::size_t kRun = 16;
  std::uint32_t run[kRun];
  std::size_t slot = hash >> (64 - indexBits_);
  std::size_t in_run = 0;
  std::size_t run_length = 0;
  for (std::size_t probes = 0; probes < slots; ++probes, slot = (slot + 1) & (slots - 1)) {
    std::uint32_t held;
    if (mapped != nullptr) {
      std::memcpy(&held, mapped + index + slot * sizeof held, sizeof held);
    } else {
      if (in_run == run_length) {
        run_length = std::min(kRun, slots - slot);
        if (!Read(index + slot * sizeof(std::uint32_t), run, run_length * sizeof(std::uint32_t)))
          return false;
        in_run = 0;
      }
      held = run[in_run++];
    }
    if (held == 0)
      return false;
    if (((held ^ static_cast<std::uint32_t>(hash)) & kTagMask) != 0)
      continue;
    const std::uint64_t position = (held >> kTagBits) - 1;
    Record record;
    if (position >= count_)
      return false;  // damaged
    if (mapped != nullptr)
      std::memcpy(&record, mapped + Layout::kRecords + position * sizeof record, sizeof record);
    else if (!Read(Layout::kRecords + position * sizeof(Record), &record, sizeof record))
      return false;
    MaskKey(record.key);
    const unsigned char length = record.key[15];
    bool same;
    if (length <= kInlineMax) {
      same = word == std::string_view(reinterpret_cast<const char*>(record.key), length);
    } else if (length == kLongWord && !FitsInline(word)) {
      std::uint32_t offset;
      std::uint32_t stored_length;
      std::memcpy(&offset, record.key + 8, sizeof offset);
      same = static_cast<std::uint64_t>(offset) + sizeof stored_length <= longWordsSize_ &&
             Read(long_words + offset, &stored_length, sizeof stored_length) &&
             stored_length == word.size() &&
             offset + sizeof stored_length + word.size() <= longWordsSize_;
      const std::uint64_t at = long_words + offset + sizeof stored_length;
      // Compared a piece at a time: the length is the key's, not the file's.
      for (std::size_t done = 0; same && done < word.size();) {
        char piece[64];
        const std::size_t size = std::min(sizeof piece, word.size() - done);
        same = Read(at + done, piece, size);
        for (std::size_t i = 0; same && i < size; ++i)
          same = static_cast<char>(piece[i] ^ kMask) == word[done + i];
        done += size;
      }
    } else {
      same = false;
    }
    if (same) {
      *entry = record.entry;
      return true;
    }
  }
  return false;
}

const WordEntry* WordImage::Find(const WordKey& key) const {
  return Lookup(key, &one_) ? &one_ : nullptr;
}

void WordImage::FindMany(const WordKey* keys, std::size_t count, const WordEntry** found) const {
  many_.resize(count);
  if (!mapped_.empty()) {
    // Mapped: the index slots and then the records of a batch are fetched
    // before they are compared, so that their cache misses overlap.
    const unsigned shift = 64 - indexBits_;
    const std::uint64_t index = Layout::Index(count_);
    for (std::size_t i = 0; i < count; ++i)
      __builtin_prefetch(mapped_.data() + index + (keys[i].hash() >> shift) * 4);
    for (std::size_t i = 0; i < count; ++i) {
      std::uint32_t held;
      std::memcpy(&held, mapped_.data() + index + (keys[i].hash() >> shift) * 4, sizeof held);
      const std::uint64_t position = (held >> kTagBits) - 1;
      if (held != 0 && position < count_)
        __builtin_prefetch(mapped_.data() + Layout::kRecords + position * sizeof(Record));
    }
  }
  for (std::size_t i = 0; i < count; ++i)
    found[i] = Lookup(keys[i], &many_[i]) ? &many_[i] : nullptr;
}

// --- Copying ----------------------------------------------------------------------

bool WordImage::CopyTo(WordTable& table, const WordFileFormat& format) const {
  std::string read;
  std::span<const unsigned char> bytes = mapped_;
  if (bytes.empty()) {
    read.resize(static_cast<std::size_t>(file_->size()));
    if (!file_->ReadAt(0, read.data(), read.size()))
      return false;
    bytes = {reinterpret_cast<const unsigned char*>(read.data()), read.size()};
  }
  // Open checked the sizes against the file's.
  if (bytes.size() != file_->size() ||
      ImageChecksum::Of(bytes.data() + sizeof(Header), bytes.size() - sizeof(Header)) !=
          bodyChecksum_) {
    return false;
  }
  const unsigned char* long_words = bytes.data() + Layout::LongWords(count_, indexBits_);
  const auto bad = [&table] {
    table.clear();
    return false;
  };
  table.reserve(static_cast<std::size_t>(count_));
  std::string long_word;
  std::string previous;
  for (std::uint64_t i = 0; i < count_; ++i) {
    Record record;
    std::memcpy(&record, bytes.data() + Layout::kRecords + i * sizeof(Record), sizeof record);
    MaskKey(record.key);
    const unsigned char length = record.key[15];
    std::string_view word;
    if (length <= kInlineMax) {
      word = std::string_view(reinterpret_cast<const char*>(record.key), length);
      // Canonical: zero padding, no NUL inside (such a word is a long one).
      for (std::size_t at = length; at < 15; ++at) {
        if (record.key[at] != 0)
          return bad();
      }
      if (!FitsInline(word))
        return bad();
    } else if (length == kLongWord) {
      std::uint32_t offset;
      std::uint32_t size;
      std::memcpy(&offset, record.key + 8, sizeof offset);
      if (static_cast<std::uint64_t>(offset) + sizeof size > longWordsSize_)
        return bad();
      std::memcpy(&size, long_words + offset, sizeof size);
      if (offset + sizeof size + static_cast<std::uint64_t>(size) > longWordsSize_)
        return bad();
      long_word.assign(reinterpret_cast<const char*>(long_words + offset + sizeof size), size);
      for (char& c : long_word)
        c = static_cast<char>(c ^ kMask);
      word = long_word;
      if (FitsInline(word))
        return bad();
    } else {
      return bad();
    }
    // Each entry is what its line reads back as, so reading it back again
    // gives itself.
    WordEntry as_read = record.entry;
    if ((i > 0 && !(std::string_view(previous) < word)) ||
        format.ReadsBackAs(word, &as_read) != WordFileFormat::ReadBack::kAsWord ||
        !(as_read == record.entry)) {
      return bad();
    }
    // Ascending: appended without a lookup.
    const auto [stored, inserted] = table.Insert(word, record.entry);
    if (!inserted)
      return bad();
    previous.assign(word);
  }
  table.IndexAppended();
  return true;
}

}  // namespace varnox
