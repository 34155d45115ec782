#include "linux/cli/text_message.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "linux/utf8.h"

namespace varnox::cli {

TextMessage ParseTextMessage(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
    bytes.remove_prefix(3);
  const std::string text = utf8::IsValid(bytes) ? utf8::ToCodePage1252(bytes) : std::string(bytes);
  TextMessage message;
  const auto end = text.find('\n');
  message.subject = text.substr(0, end);
  if (!message.subject.empty() && message.subject.back() == '\r')
    message.subject.pop_back();
  if (end != std::string::npos)
    message.body = text.substr(end + 1);
  return message;
}

bool ReadTextMessage(FileSystem& files, const std::string& path, TextMessage* message,
                     std::string* error) {
  // Look first, so that a huge file or a device is never read.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = path + " is not a file";
    return false;
  }
  if (static_cast<std::uint64_t>(st.st_size) > kMaxMessageFileBytes) {
    *error = path + " is larger than " + std::to_string(kMaxMessageFileBytes >> 20) +
             " MiB, too large to be a message";
    return false;
  }
  std::string bytes;
  if (!files.ReadWholeFile(path, &bytes)) {
    *error = "cannot read " + path;
    return false;
  }
  *message = ParseTextMessage(bytes);
  return true;
}

}  // namespace varnox::cli
