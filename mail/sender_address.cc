#include "mail/sender_address.h"

namespace varnox {
namespace {

constexpr std::string_view kFromTag = "From:";
// "From:" and the character after it, normally a space.
constexpr std::size_t kSkippedPrefix = kFromTag.size() + 1;

}  // namespace

int ExtractSenderAddress(std::string_view headers, std::string* address) {
  const std::size_t from = headers.find(kFromTag);
  if (from == std::string_view::npos)
    return 0;
  const std::size_t line_end = headers.find("\r\n", from);
  if (line_end == std::string_view::npos)
    return 0;
  const std::string_view line = headers.substr(from, line_end - from);
  // A bare "From:" holds nothing to skip past; reading on would leave the line.
  if (line.size() < kSkippedPrefix)
    return 0;
  const std::string_view rest = line.substr(kSkippedPrefix);

  const std::size_t open = rest.find('<');
  if (open == std::string_view::npos)
    return 0;
  const std::size_t close = rest.find('>');
  if (close == std::string_view::npos)
    return 0;
  const std::size_t end = close > open ? close : rest.size();
  const std::string_view found = rest.substr(open + 1, end - open - 1);
  if (found.size() > kMaxSenderAddressLength)
    return 0;
  // A lone CR or LF inside the line would end up in the black-list note we
  // append to the headers, as a header line the sender wrote.
  if (found.find_first_of("\r\n") != std::string_view::npos)
    return 0;
  *address = std::string(found);
  return 1;
}

std::string DomainKey(std::string_view address) {
  const std::size_t at = address.find('@');
  return at == std::string_view::npos ? std::string() : std::string(address.substr(at));
}

}  // namespace varnox
