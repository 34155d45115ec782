// What the IMAP store writes in the account's journal before it changes a
// message on the server, so that a connection cut (or Varnox stopped) at
// any instant is finished, not undone nor done twice, when the connection
// is back:
//
// - a stamping under way (StampNote): a message of a folder is replaced by
//   a stamped copy (appended with the same flags and internal date, in the
//   same folder or straight into the spam folder), or, for an account that
//   marks verdicts with keywords, given its keywords and moved as it is.
//   The note is written before anything is sent; the bound under which the
//   copy's UID cannot lie (the destination's UIDNEXT) before the copy is
//   made; the copy's UID once the server confirmed it; and the note is
//   removed once the original was removed. The original goes only after the
//   copy is confirmed, so a cut leaves the original, or both (settled from
//   the note: the original removed), never neither.
// - how far a watched folder was read (FolderMark): every UID below `next`
//   of that UIDVALIDITY was offered to the pipeline or was there before.
//
// The encodings are this store's own; the journal holds them as opaque text
// (linux/imap/imap_journal.h).
#ifndef VARNOX_LINUX_IMAP_STAMP_NOTE_H_
#define VARNOX_LINUX_IMAP_STAMP_NOTE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "linux/imap/imap_client.h"

namespace varnox {

struct StampNote {
  // The original: its folder (wire name), UIDVALIDITY and UID.
  std::string folder;
  std::uint32_t validity = 0;
  std::uint32_t uid = 0;
  // false: a stamped copy is appended; true: keywords are added and the
  // message itself is moved (when `destination` is another folder).
  bool keyword = false;
  // Where the stamped copy (or the message itself) goes, a wire name.
  std::string destination;
  // The copy's flags (headers), or the keywords added (keyword).
  std::vector<std::string> flags;
  // The copy's internal date (headers).
  std::optional<ImapDate> date;
  // The text the pipeline added to the headers (headers).
  std::string appended;
  // The destination's UIDVALIDITY and a UID at or below the copy's, taken
  // before the copy was made (0: not yet).
  std::uint32_t destination_validity = 0;
  std::uint32_t destination_next = 0;
  // The copy's UID, once the server confirmed the copy (0: not yet).
  std::uint32_t copy_uid = 0;

  bool operator==(const StampNote&) const = default;
};

// The journal key of a stamping: one per original message.
std::string StampNoteKey(const std::string& folder, std::uint32_t validity, std::uint32_t uid);
bool IsStampNoteKey(std::string_view key);
std::string EncodeStampNote(const StampNote& note);
// False when `value` is not what EncodeStampNote writes, or `key` not the
// key of its original.
bool DecodeStampNote(std::string_view key, std::string_view value, StampNote* note);

struct FolderMark {
  std::uint32_t validity = 0;
  std::uint32_t next = 0;
};
std::string FolderMarkKey(const std::string& folder);
std::string EncodeFolderMark(const FolderMark& mark);
bool DecodeFolderMark(std::string_view value, FolderMark* mark);

// A folder name that a note can hold: no line ends, no NUL, not empty.
bool NoteCanName(std::string_view wire_name);

}  // namespace varnox

#endif  // VARNOX_LINUX_IMAP_STAMP_NOTE_H_
