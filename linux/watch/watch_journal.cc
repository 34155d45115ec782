#include "linux/watch/watch_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>

#include "platform/fingerprint.h"

namespace varnox::watch {
namespace {

constexpr std::string_view kMagic = "varnox watch journal 1 ";
// A journal this large was not written by us (the retention keeps it far
// smaller): it is not read.
constexpr off_t kMaxJournalBytes = 64 << 20;

constexpr char kWatermark = 'W';
constexpr char kHandled = 'D';
constexpr char kMovePending = 'S';
constexpr char kInWatched = 'G';
constexpr char kInSpam = 'P';
constexpr char kContentKey = 'K';
constexpr char kNote = 'N';

bool IsPlain(unsigned char c) {
  return c > 0x20 && c < 0x7F && c != '%';
}

// A name with every byte that is not plain printable ASCII written %XX, so
// that a record is one line of space-separated fields whatever the name.
std::string Escaped(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsPlain(byte)) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

bool Unescaped(std::string_view text, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      if (!IsPlain(static_cast<unsigned char>(text[i])))
        return false;
      *out += text[i];
      continue;
    }
    if (i + 2 >= text.size())
      return false;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0)
      return false;
    *out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return !out->empty();
}

bool ParseTime(std::string_view text, JournalTime* time) {
  if (text.empty() || text.size() > 19)
    return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *time);
  return error == std::errc() && end == text.data() + text.size() && *time >= 0;
}

// 16 hex digits.
std::string Hex(std::uint64_t value) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4)
    text[i] = kHex[value & 15];
  return text;
}

bool ParseHex(std::string_view text, std::uint64_t* value) {
  if (text.size() != 16)
    return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value, 16);
  return error == std::errc() && end == text.data() + text.size();
}

std::string Record(char kind, JournalTime time, std::string_view unique) {
  std::string line(1, kind);
  line += ' ';
  line += std::to_string(time);
  if (!unique.empty()) {
    line += ' ';
    line += Escaped(unique);
  }
  return line + "\n";
}

std::string PlaceRecord(WatchJournal::Place place, JournalTime time, std::uint64_t fingerprint,
                        std::string_view unique) {
  return std::string(1, place == WatchJournal::Place::kSpam ? kInSpam : kInWatched) + ' ' +
         std::to_string(time) + ' ' + Hex(fingerprint) + ' ' + Escaped(unique) + "\n";
}

std::string NoteRecord(JournalTime time, std::string_view key, std::string_view value) {
  std::string line = std::string(1, kNote) + ' ' + std::to_string(time) + ' ' + Escaped(key);
  if (!value.empty())
    line += ' ' + Escaped(value);
  return line + "\n";
}

std::string ContentKeyRecord(JournalTime time, std::uint64_t key) {
  return std::string(1, kContentKey) + ' ' + std::to_string(time) + ' ' + Hex(key) + "\n";
}

}  // namespace

std::string WatchJournal::PathFor(const std::string& journal_folder, const std::string& store) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name;
  for (std::uint64_t hash = Fingerprint(store), i = 0; i < 16; ++i, hash >>= 4)
    name += kHex[hash & 15];
  return journal_folder + "/" + name + ".journal";
}

std::unique_ptr<WatchJournal> WatchJournal::Open(FileSystem& files,
                                                 const std::string& journal_folder,
                                                 const std::string& store, Opened* how) {
  if (::mkdir(journal_folder.c_str(), 0700) != 0 && errno != EEXIST)
    return nullptr;
  std::unique_ptr<WatchJournal> journal(
      new WatchJournal(files, PathFor(journal_folder, store), store));
  struct stat st;
  if (::lstat(journal->path_.c_str(), &st) != 0) {
    if (errno != ENOENT)
      return nullptr;
    *how = Opened::kNew;
    return journal->Rewrite() ? std::move(journal) : nullptr;
  }
  std::string text;
  if (S_ISREG(st.st_mode) && st.st_size <= kMaxJournalBytes &&
      files.ReadWholeFile(journal->path_, &text) && journal->Parse(text)) {
    *how = Opened::kRead;
    journal->bytes_ = text.size();
    return journal;
  }
  *how = Opened::kDamaged;
  journal->Clear();
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
    return nullptr;  // a folder or a device in its place is not ours to replace
  return journal->Rewrite() ? std::move(journal) : nullptr;
}

std::string WatchJournal::Header() const {
  return std::string(kMagic) + Escaped(store_) + "\n";
}

void WatchJournal::Clear() {
  watermark_.reset();
  entries_.clear();
  places_.clear();
  fingerprints_.clear();
  content_keys_.clear();
  content_counts_.clear();
  notes_.clear();
}

bool WatchJournal::Parse(std::string_view text) {
  Clear();
  const std::string header = Header();
  if (!text.starts_with(header))
    return false;
  text.remove_prefix(header.size());
  std::string unique;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos)
      return false;  // a torn last line
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (line.size() < 3 || line[1] != ' ')
      return false;
    const char kind = line[0];
    line.remove_prefix(2);
    const std::size_t space = line.find(' ');
    JournalTime time = 0;
    if (!ParseTime(line.substr(0, space), &time))
      return false;
    if (kind == kWatermark) {
      if (space != std::string_view::npos)
        return false;
      watermark_ = time;
      continue;
    }
    if (kind == kInWatched || kind == kInSpam) {
      if (space == std::string_view::npos || !ParsePlace(kind, time, line.substr(space + 1)))
        return false;
      continue;
    }
    if (kind == kContentKey) {
      std::uint64_t key = 0;
      if (space == std::string_view::npos || !ParseHex(line.substr(space + 1), &key))
        return false;
      KeepContentKey(key, time);
      continue;
    }
    if (kind == kNote) {
      if (space == std::string_view::npos || !ParseNote(line.substr(space + 1)))
        return false;
      continue;
    }
    if ((kind != kHandled && kind != kMovePending) || space == std::string_view::npos ||
        !Unescaped(line.substr(space + 1), &unique)) {
      return false;
    }
    entries_[unique] = {kind == kHandled ? State::kHandled : State::kMovePending, time};
  }
  return true;
}

bool WatchJournal::ParsePlace(char kind, JournalTime time, std::string_view fields) {
  const std::size_t space = fields.find(' ');
  std::uint64_t fingerprint = 0;
  std::string unique;
  if (space == std::string_view::npos || !ParseHex(fields.substr(0, space), &fingerprint) ||
      !Unescaped(fields.substr(space + 1), &unique))
    return false;
  places_[unique] = {kind == kInSpam ? Place::kSpam : Place::kWatched, time, fingerprint};
  fingerprints_[fingerprint] = unique;
  return true;
}

bool WatchJournal::ParseNote(std::string_view fields) {
  const std::size_t space = fields.find(' ');
  std::string key, value;
  if (!Unescaped(fields.substr(0, space), &key))
    return false;
  if (space == std::string_view::npos) {
    notes_.erase(key);
    return true;
  }
  if (!Unescaped(fields.substr(space + 1), &value))
    return false;
  notes_[key] = std::move(value);
  return true;
}

void WatchJournal::KeepContentKey(std::uint64_t key, JournalTime time) {
  content_keys_.emplace_back(key, time);
  ++content_counts_[key];
  if (content_keys_.size() <= kContentKeysKept)
    return;
  const std::uint64_t oldest = content_keys_.front().first;
  content_keys_.pop_front();
  if (--content_counts_[oldest] == 0)
    content_counts_.erase(oldest);
}

std::optional<WatchJournal::Place> WatchJournal::PlaceOf(std::string_view unique,
                                                         std::uint64_t fingerprint,
                                                         std::string* found) const {
  if (const auto named = places_.find(unique); named != places_.end()) {
    if (found != nullptr)
      *found = named->first;
    return named->second.place;
  }
  const auto content = fingerprints_.find(fingerprint);
  if (content == fingerprints_.end())
    return std::nullopt;
  const auto seen = places_.find(content->second);
  if (seen == places_.end() || seen->second.fingerprint != fingerprint)
    return std::nullopt;
  if (found != nullptr)
    *found = seen->first;
  return seen->second.place;
}

std::optional<WatchJournal::State> WatchJournal::StateOf(std::string_view unique) const {
  const auto it = entries_.find(unique);
  if (it == entries_.end())
    return std::nullopt;
  return it->second.state;
}

std::vector<std::string> WatchJournal::PendingMoves() const {
  std::vector<std::string> pending;
  for (const auto& [unique, entry] : entries_) {
    if (entry.state == State::kMovePending)
      pending.push_back(unique);
  }
  return pending;
}

bool WatchJournal::RecordHandled(std::string_view unique, JournalTime now) {
  entries_[std::string(unique)] = {State::kHandled, now};
  return Append(Record(kHandled, now, unique));
}

bool WatchJournal::RecordMovePending(std::string_view unique, JournalTime now) {
  entries_[std::string(unique)] = {State::kMovePending, now};
  return Append(Record(kMovePending, now, unique));
}

bool WatchJournal::RecordPlace(Place place, std::string_view unique, std::uint64_t fingerprint,
                               JournalTime now) {
  if (unique.empty())
    return false;
  places_[std::string(unique)] = {place, now, fingerprint};
  fingerprints_[fingerprint] = std::string(unique);
  return Append(PlaceRecord(place, now, fingerprint, unique));
}

bool WatchJournal::RecordContentKey(std::uint64_t key, JournalTime now) {
  KeepContentKey(key, now);
  return Append(ContentKeyRecord(now, key));
}

bool WatchJournal::SetNote(std::string_view key, std::string_view value, JournalTime now) {
  if (key.empty())
    return false;
  if (value.empty()) {
    const auto it = notes_.find(key);
    if (it == notes_.end())
      return true;
    notes_.erase(it);
  } else {
    notes_[std::string(key)] = std::string(value);
  }
  return Append(NoteRecord(now, key, value));
}

std::size_t WatchJournal::CompactAt() const {
  return std::max(kJournalCompactBytes, 2 * compacted_bytes_);
}

bool WatchJournal::RecordWatermark(JournalTime now, bool force_compact) {
  watermark_ = now;
  if (force_compact || bytes_ > CompactAt())
    return Rewrite();
  return Append(Record(kWatermark, now, {}));
}

std::string WatchJournal::CompactText() const {
  std::string text = Header();
  if (watermark_)
    text += Record(kWatermark, *watermark_, {});
  for (const auto& [unique, entry] : entries_) {
    const bool recent = !watermark_ || entry.time >= *watermark_ - kJournalRetention;
    if (entry.state == State::kMovePending)
      text += Record(kMovePending, entry.time, unique);
    else if (recent)
      text += Record(kHandled, entry.time, unique);
  }
  for (const auto& [unique, seen] : places_) {
    if (!watermark_ || seen.time >= *watermark_ - kPlaceRetention)
      text += PlaceRecord(seen.place, seen.time, seen.fingerprint, unique);
  }
  for (const auto& [key, time] : content_keys_)
    text += ContentKeyRecord(time, key);
  for (const auto& [key, value] : notes_)
    text += NoteRecord(watermark_.value_or(0), key, value);
  return text;
}

bool WatchJournal::Rewrite() {
  const std::string text = CompactText();
  if (!files_.ReplaceWholeFile(path_, text))
    return false;
  Parse(text);  // what was dropped is forgotten in memory too
  bytes_ = text.size();
  compacted_bytes_ = text.size();
  return true;
}

bool WatchJournal::Append(std::string line) {
  const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0)
    return false;
  // One write per record: a process killed meanwhile leaves the line whole
  // or absent.
  const ssize_t written = ::write(fd, line.data(), line.size());
  const bool ok = written == static_cast<ssize_t>(line.size());
  ::close(fd);
  if (ok)
    bytes_ += line.size();
  return ok;
}

JournalTime JournalNow() {
  timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<JournalTime>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace varnox::watch
