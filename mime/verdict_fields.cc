#include "mime/verdict_fields.h"

#include "platform/ascii_case.h"

namespace varnox::mime {
namespace {

constexpr std::string_view kVerdictFieldNames[] = {"X-VNX-RESULT", "X-VNX-SCORE", "X-VNX-TOP-WORDS",
                                                   "X-VNX-BLACKLIST"};

}  // namespace

bool IsVerdictField(std::string_view line) {
  for (const std::string_view name : kVerdictFieldNames) {
    if (!ascii::StartsWithIgnoreCase(line, name))
      continue;
    std::size_t at = name.size();
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
      ++at;
    if (at < line.size() && line[at] == ':')
      return true;
  }
  return false;
}

}  // namespace varnox::mime
