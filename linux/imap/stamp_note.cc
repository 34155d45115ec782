#include "linux/imap/stamp_note.h"

#include <charconv>

namespace varnox {
namespace {

constexpr std::string_view kStampPrefix = "stamp ";
constexpr std::string_view kMarkPrefix = "next ";

// The next field of `text` up to `separator` (the rest when there is none),
// taken off the front.
std::string_view Take(std::string_view* text, char separator) {
  const std::size_t end = text->find(separator);
  const std::string_view field = text->substr(0, end);
  text->remove_prefix(end == std::string_view::npos ? text->size() : end + 1);
  return field;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number* value) {
  if (text.empty())
    return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

bool ParseUids(std::string_view text, std::uint32_t* validity, std::uint32_t* uid) {
  return ParseNumber(Take(&text, ' '), validity) && ParseNumber(text, uid);
}

std::string EncodeDate(const std::optional<ImapDate>& date) {
  if (!date)
    return "-";
  return std::to_string(date->year) + ' ' + std::to_string(date->month) + ' ' +
         std::to_string(date->day) + ' ' + std::to_string(date->hour) + ' ' +
         std::to_string(date->minute) + ' ' + std::to_string(date->second) + ' ' +
         std::to_string(date->zone);
}

bool DecodeDate(std::string_view text, std::optional<ImapDate>* date) {
  if (text == "-") {
    date->reset();
    return true;
  }
  ImapDate d;
  for (int* field : {&d.year, &d.month, &d.day, &d.hour, &d.minute, &d.second}) {
    if (!ParseNumber(Take(&text, ' '), field))
      return false;
  }
  if (!ParseNumber(text, &d.zone))
    return false;
  *date = d;
  return true;
}

}  // namespace

bool NoteCanName(std::string_view wire_name) {
  return !wire_name.empty() &&
         wire_name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string StampNoteKey(const std::string& folder, std::uint32_t validity, std::uint32_t uid) {
  return std::string(kStampPrefix) + std::to_string(validity) + ' ' + std::to_string(uid) + ' ' +
         folder;
}

bool IsStampNoteKey(std::string_view key) {
  return key.starts_with(kStampPrefix);
}

std::string EncodeStampNote(const StampNote& note) {
  std::string flags;
  for (const std::string& flag : note.flags)
    flags += (flags.empty() ? "" : " ") + flag;
  return std::string(note.keyword ? "k" : "h") + '\n' + note.destination + '\n' +
         std::to_string(note.destination_validity) + ' ' + std::to_string(note.destination_next) +
         ' ' + std::to_string(note.copy_uid) + '\n' + flags + '\n' + EncodeDate(note.date) + '\n' +
         note.appended;
}

bool DecodeStampNote(std::string_view key, std::string_view value, StampNote* note) {
  StampNote read;
  if (!key.starts_with(kStampPrefix))
    return false;
  key.remove_prefix(kStampPrefix.size());
  if (!ParseNumber(Take(&key, ' '), &read.validity) || !ParseNumber(Take(&key, ' '), &read.uid) ||
      !NoteCanName(key))
    return false;
  read.folder = key;
  const std::string_view mode = Take(&value, '\n');
  if (mode != "h" && mode != "k")
    return false;
  read.keyword = mode == "k";
  read.destination = Take(&value, '\n');
  std::string_view progress = Take(&value, '\n');
  if (!NoteCanName(read.destination) ||
      !ParseNumber(Take(&progress, ' '), &read.destination_validity) ||
      !ParseNumber(Take(&progress, ' '), &read.destination_next) ||
      !ParseNumber(progress, &read.copy_uid))
    return false;
  for (std::string_view flags = Take(&value, '\n'); !flags.empty();) {
    read.flags.emplace_back(Take(&flags, ' '));
    if (read.flags.back().empty())
      return false;
  }
  if (!DecodeDate(Take(&value, '\n'), &read.date))
    return false;
  read.appended = value;
  if (read.validity == 0 || read.uid == 0)
    return false;
  *note = std::move(read);
  return true;
}

std::string FolderMarkKey(const std::string& folder) {
  return std::string(kMarkPrefix) + folder;
}

std::string EncodeFolderMark(const FolderMark& mark) {
  return std::to_string(mark.validity) + ' ' + std::to_string(mark.next);
}

bool DecodeFolderMark(std::string_view value, FolderMark* mark) {
  FolderMark read;
  if (!ParseUids(value, &read.validity, &read.next) || read.validity == 0)
    return false;
  *mark = read;
  return true;
}

}  // namespace varnox
