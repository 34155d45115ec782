#include "mime/content_key.h"

#include <algorithm>

#include "mime/mime_reader.h"
#include "platform/code_page.h"
#include "platform/fingerprint.h"

namespace varnox::mime {
namespace {

constexpr std::string_view kMessageIdField = "Message-ID:";

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

std::string_view MessageIdOf(std::string_view headers) {
  while (!headers.empty()) {
    const std::size_t end = headers.find('\n');
    const std::string_view line = headers.substr(0, end);
    if (line.size() >= kMessageIdField.size() &&
        code_page::EqualsIgnoreCase(line.substr(0, kMessageIdField.size()), kMessageIdField))
      return Trimmed(line.substr(kMessageIdField.size()));
    if (end == std::string_view::npos)
      break;
    headers.remove_prefix(end + 1);
  }
  return {};
}

std::uint64_t ContentKey(std::string_view raw) {
  const HeaderBlock block = FindHeaderBlock(raw);
  const std::string_view headers = raw.substr(block.start, block.end - block.start);
  return Fingerprint(raw.substr(std::min(block.body_start, raw.size())),
                     Fingerprint("\n", Fingerprint(MessageIdOf(headers))));
}

}  // namespace varnox::mime
