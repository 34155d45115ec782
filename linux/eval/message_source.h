// Where the evaluation's messages come from: the message files of a folder
// on disk, and each file read into the filter's three texts by the same MIME
// reading as the Maildir host.
#ifndef VARNOX_LINUX_EVAL_MESSAGE_SOURCE_H_
#define VARNOX_LINUX_EVAL_MESSAGE_SOURCE_H_

#include <string>
#include <string_view>
#include <vector>

#include "mime/mime_reader.h"

namespace varnox::eval {

// The message files of `dir`, as paths beginning with `dir`:
// - a Maildir (it has cur/ and new/): the files of new/, then of cur/, each
//   in byte-wise order of the name, as the Maildir host lists its items;
// - any other directory: its files in byte-wise order of the name.
// Names beginning with "." are left out, and so are names ending in ".json"
// (metadata kept beside messages, never mail); sub-directories are not
// walked. False, with *error saying why, when `dir` cannot be listed.
bool ListMessageFiles(const std::string& dir, std::vector<std::string>* files, std::string* error);

// Reads the file at `path` (a regular file, at most the Maildir host's read
// limit) into the three texts. False when it cannot be read.
bool ReadTextsOfFile(const std::string& path, mime::MimeTexts* texts);

}  // namespace varnox::eval

#endif  // VARNOX_LINUX_EVAL_MESSAGE_SOURCE_H_
