// A message kept as a plain text file, as `varnox learn` and `varnox
// classify` take it: the first line is the subject, the rest is the body.
#ifndef VARNOX_LINUX_CLI_TEXT_MESSAGE_H_
#define VARNOX_LINUX_CLI_TEXT_MESSAGE_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/file_system.h"

namespace varnox::cli {

struct TextMessage {
  std::string subject;  // code page 1252, without its line end
  std::string body;     // code page 1252, as in the file
};

// Mail servers refuse messages far smaller than this; a larger file is not a
// message and is not read into memory.
inline constexpr std::size_t kMaxMessageFileBytes = 64 << 20;

// Splits the file's bytes. A file that is well-formed UTF-8 is converted to
// code page 1252 (characters 1252 lacks become "?"); any other file is taken
// as code page 1252 already. A UTF-8 byte order mark is dropped, and so is
// the "\r" of a subject line ended by "\r\n".
TextMessage ParseTextMessage(std::string_view bytes);

// Reads and parses `path`. False, with *error saying why (in UTF-8), when the
// file cannot be read or is larger than kMaxMessageFileBytes.
bool ReadTextMessage(FileSystem& files, const std::string& path, TextMessage* message,
                     std::string* error);

}  // namespace varnox::cli

#endif  // VARNOX_LINUX_CLI_TEXT_MESSAGE_H_
