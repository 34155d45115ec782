#include "linux/maildir/message_file_name.h"

#include <algorithm>

namespace varnox::maildir {

std::string_view UniqueName(std::string_view file_name) {
  return file_name.substr(0, file_name.find(':'));
}

bool IsMessageFileName(std::string_view file_name) {
  return !file_name.empty() && file_name[0] != '.' && file_name.find('/') == std::string_view::npos;
}

std::string WithFlag(std::string_view file_name, char flag) {
  const std::size_t colon = file_name.find(':');
  if (colon == std::string_view::npos)
    return std::string(file_name) + ":2," + flag;
  if (file_name.compare(colon, 3, ":2,") != 0)
    return std::string(file_name);
  std::string flags(file_name.substr(colon + 3));
  if (flags.find(flag) == std::string::npos) {
    flags.push_back(flag);
    std::sort(flags.begin(), flags.end());
  }
  return std::string(file_name.substr(0, colon + 3)) + flags;
}

}  // namespace varnox::maildir
