#include "engine/word_store.h"

#include <new>
#include <utility>

#include "engine/word_database_format.h"

namespace varnox {

int WordStore::Load() {
  if (path_.empty())
    return 0;
  image_.reset();
  if (imageUse_ != ImageUse::kNone) {
    try {
      FileStamp stamp;
      if (platform_.files.Stamp(path_, &stamp)) {
        std::unique_ptr<WordImage> image =
            WordImage::Open(platform_.files, WordImage::PathFor(path_), format_.ImageKind(), stamp,
                            imageUse_ == ImageUse::kMap);
        if (image != nullptr) {
          const WordImage::Facts& facts = image->facts();
          table_.clear();
          messages_ = facts.messages;
          format_.set_imageExtra(facts.extra);
          textStamp_ = stamp;
          textChecksum_ = facts.textChecksum;
          image_ = std::move(image);
          imageOf_ = path_;
          unreadable_ = false;
          onDisk_ = true;
          changed_ = false;
          readNotes_ = {};
          return 1;
        }
      }
    } catch (const std::bad_alloc&) {
      // The text file is read instead.
    }
  }
  return LoadText(path_);
}

int WordStore::LoadText(const std::string& path) {
  // Until the whole file is in the table it counts as unreadable: a load cut
  // short by memory running out must never be saved over the full file.
  unreadable_ = true;
  readNotes_ = {};
  textStamp_ = {};
  try {
    FileStamp before;
    const bool stamped = platform_.files.Stamp(path, &before);
    std::string text;
    if (!platform_.files.ReadWholeFile(path, &text)) {
      unreadable_ = platform_.files.Exists(path);
      onDisk_ = unreadable_;
      return 0;
    }
    onDisk_ = true;
    const std::uint64_t checksum = ImageChecksum::Of(text.data(), text.size());
    word_database::MaskBytes(text.data(), text.size());
    if (!format_.Recognizes(text))
      return 0;  // somebody else's file: kept, never overwritten
    const std::int32_t load_time = platform_.clock.Now();
    table_.clear();
    messages_ = {};
    readNotes_ = format_.Read(text, load_time, table_, messages_);
    // The stamp names these bytes only if the file stayed that file while
    // they were read.
    FileStamp after;
    if (stamped && platform_.files.Stamp(path, &after) && after == before) {
      textStamp_ = before;
      textChecksum_ = checksum;
    }
  } catch (const std::bad_alloc&) {
    // Judging from part of the statistics would mislead; start empty. (The
    // file stays unreadable even if this throws again.)
    table_.clear();
    messages_ = {};
    return 0;
  }
  unreadable_ = false;
  // A file read as text need not be in the form a save writes (nor have an
  // image): the next save writes it whole, as it always did.
  changed_ = true;
  return 1;
}

void WordStore::TakeImage() {
  if (image_ == nullptr)
    return;
  // The image stands for the file as it was when the image was opened.
  // Before anything that may be written back is built on it, that claim is
  // checked: the file is still the one it names, with the bytes it names,
  // and the image holds what it should. Otherwise the file is the record.
  // (The path may have been set aside since: a command that only reads
  // clears it so that nothing is written.)
  FileStamp now;
  std::uint64_t checksum = 0;
  WordTable copy;
  if (platform_.files.Stamp(imageOf_, &now) && now == image_->facts().textStamp &&
      ChecksumOfFile(platform_.files, imageOf_, &checksum) &&
      checksum == image_->facts().textChecksum && image_->CopyTo(copy, format_)) {
    table_ = std::move(copy);
    image_.reset();
    return;
  }
  image_.reset();
  LoadText(imageOf_);
}

const WordTable& WordStore::table() const {
  // Copying the image in changes where the table lies, not what it holds.
  const_cast<WordStore*>(this)->TakeImage();
  return table_;
}

WordTable& WordStore::mutable_table() {
  TakeImage();
  changed_ = true;
  return table_;
}

MessageCounts& WordStore::mutable_messages() {
  // Taken in first, so that a fall-back to the file cannot undo the change.
  TakeImage();
  changed_ = true;
  return messages_;
}

void WordStore::ClearWords() {
  image_.reset();
  table_.clear();
  changed_ = true;
}

const WordEntry* WordStore::Find(const WordKey& key) const {
  return image_ != nullptr ? image_->Find(key) : table_.Find(key);
}

void WordStore::FindMany(const WordKey* keys, std::size_t count, const WordEntry** found) const {
  if (image_ != nullptr)
    image_->FindMany(keys, count, found);
  else
    table_.FindMany(keys, count, found);
}

bool WordStore::Save(const SaveRule& rule) {
  if (path_.empty() || unreadable_)
    return false;
  std::string header;
  try {
    TakeImage();
    if (unreadable_)
      return false;  // the file could not be read again: it is kept
    std::string text;
    text.reserve(64 + table_.size() * 40);
    format_.AppendHeader(messages_, &text);
    header = text;
    for (const auto [word, stored] : std::as_const(table_)) {
      WordEntry entry = stored;
      if (rule(word, entry))
        format_.AppendEntry(word, entry, &text);
    }
    word_database::MaskBytes(text.data(), text.size());
    const std::uint64_t checksum = ImageChecksum::Of(text.data(), text.size());
    FileStamp stamp;
    if (!platform_.files.ReplaceWholeFileStamped(path_, text, &stamp))
      return false;
    textStamp_ = stamp;
    textChecksum_ = checksum;
  } catch (const std::bad_alloc&) {
    return false;
  }
  // The file holds the outcome now; bring the table to it.
  table_.Rewrite([&](std::string_view word, WordEntry& entry) { return rule(word, entry); });
  onDisk_ = true;
  changed_ = false;
  WriteImage(header);
  return true;
}

bool WordStore::SaveHeaderOnly() {
  if (path_.empty() || unreadable_)
    return false;
  try {
    std::string text;
    format_.AppendHeader(messages_, &text);
    word_database::MaskBytes(text.data(), text.size());
    if (!platform_.files.ReplaceWholeFile(path_, text))
      return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  // The table is not what the file holds now; no image is made of it.
  textStamp_ = {};
  changed_ = true;
  onDisk_ = true;
  return true;
}

bool WordStore::UpToDate() const {
  if (changed_ || path_.empty() || unreadable_ || textStamp_ == FileStamp{})
    return false;
  FileStamp now;
  return platform_.files.Stamp(path_, &now) && now == textStamp_;
}

void WordStore::WriteImage(std::string_view header) {
  if (textStamp_ == FileStamp{})
    return;  // the file is not known well enough to be named
  try {
    // The counts and the extra as the header just written reads back (a
    // negative count loses its sign, the version its digits beyond two).
    WordImage::Facts facts{format_.ImageKind(), textStamp_, textChecksum_, {}, 0};
    WordTable none;
    format_.Read(header, platform_.clock.Now(), none, facts.messages);
    facts.extra = format_.ImageExtra();
    std::string bytes;
    if (WordImage::Build(table_, format_, facts, &bytes))
      platform_.files.ReplaceWholeFile(WordImage::PathFor(path_), bytes);
  } catch (const std::bad_alloc&) {
    // No image: the file is read instead.
  }
}

}  // namespace varnox
