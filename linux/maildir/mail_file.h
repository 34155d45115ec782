// A message as learn and classify take it: a mail file (RFC 822, as a
// Maildir holds it or a delivery agent hands it over), read with the Maildir
// host's MIME reader, so the filter sees exactly the subject and body that
// `varnox watch` would give it. A file without header fields is all body
// (so a plain text file works too: its words are judged, with no subject).
#ifndef VARNOX_LINUX_MAILDIR_MAIL_FILE_H_
#define VARNOX_LINUX_MAILDIR_MAIL_FILE_H_

#include <cstddef>
#include <string>

#include "mime/mime_reader.h"

namespace varnox::maildir {

// Mail servers refuse messages far smaller than this; a larger file is not a
// message and is not read into memory.
inline constexpr std::size_t kMaxMailFileBytes = 64u << 20;

struct MailFile {
  std::string raw;        // the bytes as read
  mime::MimeTexts texts;  // subject and body in code page 1252
};

// Reads the file at `path` ("-": standard input) and its texts. False, with
// *error saying why (UTF-8), when it cannot be read, is not a regular file,
// or is larger than kMaxMailFileBytes.
bool ReadMailFile(const std::string& path, MailFile* file, std::string* error);

}  // namespace varnox::maildir

#endif  // VARNOX_LINUX_MAILDIR_MAIL_FILE_H_
